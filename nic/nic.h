// NIC functions, channels and profiles: the NICPhysicalHBA branch, and the
// operations the back end's start-up and client hooks call.
#pragma once

#include <stdint.h>

#include "transport/profile_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// One NICPhysicalHBA instance (32 per controller) with its sub-groups;
// params: six 256-byte texts or NULL. NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_NICPhysicalHBA(TavoNode* controller, TavoNode* creating_node,
                                                TavoNode* creating_action, char* params);

// One NICLogicalHBA instance (64 per NICPhysicalHBA): a virtual function.
TAVO_EXPORT TavoNode* initialize_NICLogicalHBA(TavoNode* function_group, TavoNode* creating_node,
                                               TavoNode* creating_action, char* params);
// Refresh of a NICPhysicalHBA: its NICLogicalHBA instances rebuilt from the
// driver's VF table; 0.
TAVO_EXPORT uint32_t group_NICPhysicalHBA(TavoNode* function_group);

// Enumeration of one function: its factory MAC into FactoryDefaultMACAddress
// (protocol 1 iSCSI: of its Network/NICConfiguration group; 2 NIC) and its
// virtual functions (their number in *vf_count). 0 or 1.
TAVO_EXPORT uint32_t TAVO_update_fd_mac(uint32_t function_number, TavoNode* function_group, uint32_t protocol);
TAVO_EXPORT uint32_t TAVO_get_nic_logicalhba(TavoNode* function_group, uint32_t function_number,
                                             uint32_t* vf_count, uint32_t create);
// Empty hook at the start of each NIC function's enumeration.
TAVO_EXPORT void TAVO_enumerate_nic_domain(void);
// IfName of the group from tavo_glob.if_names[function_number - 1]; 0, or
// 1 for a missing property or a number outside the table.
TAVO_EXPORT uint32_t TAVO_update_nic_ifname(TavoNode* function_group, uint32_t function_number);
// IfName of every NIC function of every controller; 0.
TAVO_EXPORT uint32_t update_nic_ifname(void);
// Empty hook where a NIC function's port number would be refreshed.
TAVO_EXPORT uint32_t TAVO_update_nic_port_number(void);

// --- the NIC function's own values ---
// MTUSize of node from the NIC driver; 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_nic_mtusize(TavoNode* node, uint32_t function_number);
// MaxBitsPerSecond of node from the function's QoS record: 0, or the
// command's status (status 114).
TAVO_EXPORT uint32_t get_nicphba_params(uint32_t function_number, TavoNode* node);
// Sends a zero switch type (124/1) when the function's firmware
// configuration has the switch mode bit; 0 (a failure is only logged).
TAVO_EXPORT uint32_t TAVO_update_switch_type(TavoNode* controller, uint32_t function_number, uint8_t domain,
                                             uint8_t port_number);
TAVO_EXPORT uint32_t handle_IsRoCEEnabled(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_nic_MTUSize(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_nic_logical_link_status(TavoNode* property, char* buf, uint32_t op);

// --- MAC addresses (texts "%02x-%02x-%02x-%02x-%02x-%02x") ---
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_MACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_PermanentMACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_VolatileMACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ProfileManagement_ConfiguredProfile_Port_Function_MACAddress(TavoNode* property,
                                                                                        char* buf, uint32_t op);
// The current MAC into the group's MACAddress; 0, or 1 (status 246).
TAVO_EXPORT uint32_t TAVO_get_nic_macaddress(TavoNode* function_group);
// Refused: status 70, 1.
TAVO_EXPORT uint32_t TAVO_set_nic_macaddress(void);
// The CV2 forms of TAVO_get_last_configured_mac and
// TAVO_set_last_configured_mac, through the legacy controller configuration.
TAVO_EXPORT uint32_t TAVO_get_legacy_last_configured_mac(TavoNode* function_group, TavoNode* group);
TAVO_EXPORT uint32_t TAVO_set_legacy_last_configured_mac(TavoNode* function_group, TavoNode* group,
                                                         const char* mac);
TAVO_EXPORT uint32_t do_NICPhysicalHBA_ResetMACAddress(TavoNode* group, TavoNode* action, char* params);

// --- virtual functions ---
// Reads the function's VF table, the count into *vf_count; with create 1
// builds one NICLogicalHBA under parent per VF. 0, or 1 when the driver
// refuses.
TAVO_EXPORT uint32_t TAVO_Get_VF_Info(uint32_t function_number, uint32_t* vf_count, uint32_t create,
                                      TavoNode* parent);
// One field of VF vf's entry as text into out[256], by property name
// ("TxRate", "VLANID", "MACAddress", "LinkStatus"; others leave out as it
// was). 0, or 1 when the driver refuses or vf lies past the table.
TAVO_EXPORT uint32_t TAVO_get_vf_params(uint32_t function_number, uint32_t vf, char* out, const char* name);
TAVO_EXPORT uint32_t handle_niclogicalhba_macaddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_niclogicalhba_vlanid(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LinkStatus(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_niclogicalhba_txrate(TavoNode* property, char* buf, uint32_t op);

// --- network boot and management VLAN ---
TAVO_EXPORT uint32_t handle_AvailableNetworkBootMethods(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_networkboot_config(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_vlan_properties(TavoNode* property, char* buf, uint32_t op);
// SetNetworkBoot (NetworkBootState, NetworkBootMethod) and ConfigureVLAN
// (VLANId, Priority) of a NetworkBootConfiguration group.
TAVO_EXPORT uint32_t do_SetNetworkBoot(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN(TavoNode* group, TavoNode* action,
                                                                             char* params);

// --- CIM ---
TAVO_EXPORT uint32_t handle_ProtocolIfType(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LinkTechnology(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_Corvane_NICPhysicalHBA_CIM_Capabilities(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_EnabledCapabilities(TavoNode* property, char* buf, uint32_t op);
// Handlers of a CIM IP protocol endpoint (no group of the tree has one):
// each answers the value stored into the property's group.
TAVO_EXPORT uint32_t handle_CIM_IPProtocolIfType(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_IPProtocolEndPointName(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_IPv4Address(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_IPv6Address(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_CIM_SubnetMask(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_GateWay(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_IPv6GateWay(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CIM_AddressOrigin(TavoNode* property, char* buf, uint32_t op);
// The NIC accessors behind them: this host has none of these values, so
// each stores "N/A" (IPProtocolIfType, SubnetMask, Gateway, IPv6GateWay,
// AddressOrigin of group; the address into text[256]). 0, or 1 for a
// missing property.
TAVO_EXPORT uint32_t TAVO_get_nic_iftype(TavoNode* group);
TAVO_EXPORT uint32_t TAVO_get_nic_ipaddress(TavoNode* group, char* text);
TAVO_EXPORT uint32_t TAVO_get_nic_subnetmask(TavoNode* group);
TAVO_EXPORT uint32_t TAVO_get_nic_gateway(TavoNode* group);
TAVO_EXPORT uint32_t TAVO_get_nic_ipv6gateway(TavoNode* group);
TAVO_EXPORT uint32_t TAVO_get_address_origin(TavoNode* group);

// --- vNIC (transport 1: an iSCSI function's vNIC group, 2: a NIC function's) ---
TAVO_EXPORT uint32_t handle_nic_vnic_name_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_nic_vnic_stats(TavoNode* property, char* buf, uint32_t op);
// vNICEnabled and vNICName of vnic: 0 (also when the firmware lacks the
// command), or 1 (status 186).
TAVO_EXPORT uint32_t get_vnic_name(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                                   uint32_t transport);
// OuterVLANID, MinBandwidth and MaxBandwidth of vnic: 0 or 1 (status 185).
TAVO_EXPORT uint32_t get_vnic_stats(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                                    uint32_t transport);

// --- channels, bandwidth, SR-IOV and VEPA of a NIC function ---
TAVO_EXPORT uint32_t handle_nic_bandwidth_softcap(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_SRIOVState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_VEPAState(TavoNode* property, char* buf, uint32_t op);

// Profiles and link configurations of a live controller, loaded at start-up.
TAVO_EXPORT uint32_t TAVO_list_available_profiles(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_get_active_profiles(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_get_configured_profiles(TavoNode* controller);
// ids_only other than 1 also builds the LinkConfig instances.
TAVO_EXPORT uint32_t TAVO_get_link_reconfig_details(TavoNode* controller, uint8_t ids_only);

// The controller's profile configuration (config type 0 configured, 1 the
// profile named by profile_id, 2 active; readback non-zero sets the
// readback flag), read through its first iSCSI, else NIC, function. A new
// buffer the caller frees with tavo_dfree; NULL without a controller or
// function, or with status 16 or 278.
TAVO_EXPORT tavo::ProfileConfigBuffer* TAVO_get_profile(TavoNode* controller, uint8_t config_type,
                                                        uint8_t profile_id, uint8_t readback);

// Handlers and actions of the controller's link reconfiguration, channel
// and profile groups (params: six 256-byte texts).
TAVO_EXPORT uint32_t handle_ConfiguredLinkConfigID(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_SupportedMCTypes(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ChannelManagement_details(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MaxFunctionsPerPort(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_IPLMaxFunctionNumber(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_SettableMaxFunctionNumber(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MaxFunctionNumber(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ConfiguredProfile_ProfileId(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t do_SetLinkConfigFactoryDefaults(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SetLinkConfigID(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureChannelManagement(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SetMaxFunctionNumber(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SetProfileId(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SaveProfile(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SetFactoryDefaults(TavoNode* group, TavoNode* action, char* params);

// vNICEnabled, vNICName and OuterVLANID, MinBandwidth, MaxBandwidth of an
// iSCSI function's vNIC group.
TAVO_EXPORT uint32_t handle_iscsi_vnic_name_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_iscsi_vnic_stats(TavoNode* property, char* buf, uint32_t op);
// The function's last configured MAC into the group's PermanentMACAddress,
// and writing a new one (protocol 1 iSCSI, 2 NIC); 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_last_configured_mac(TavoNode* function_group, TavoNode* group, char* buf,
                                                  uint32_t protocol);
TAVO_EXPORT uint32_t TAVO_set_last_configured_mac(TavoNode* function_group, TavoNode* group, const char* mac,
                                                  uint32_t protocol);

TAVO_END_DECLS
