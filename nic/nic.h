// NIC functions, channels and profiles: the NICPhysicalHBA branch, and the
// operations the back end's start-up and client hooks call.
#pragma once

#include <stdint.h>

#include "port/config_prof.h"
#include "transport/profile_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// One NICPhysicalHBA instance (32 per controller) with its sub-groups;
// params: six 256-byte texts or NULL. NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_NICPhysicalHBA(TavoNode* controller, TavoNode* creating_node,
                                                TavoNode* creating_action, char* params);

// One PortDiscoveryAndConfiguration instance (4 per controller) with all
// its sub-groups.
TAVO_EXPORT TavoNode* initialize_PortDiscoveryAndConfiguration(TavoNode* controller, TavoNode* creating_node,
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
// IfName of every NIC function of every controller
// (TAVO_update_nic_ifname of controller/controller.h); 0.
TAVO_EXPORT uint32_t update_nic_ifname(void);

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
// PortSpeed of a NICPhysicalHBA and of an iSCSI function's NICConfiguration.
TAVO_EXPORT uint32_t handle_portspeed(TavoNode* property, char* buf, uint32_t op);
// Stores PortSpeed of group (path 1: a NICConfiguration, 2: a
// NICPhysicalHBA); 0, or 1 (status 93 when the link cannot be read).
TAVO_EXPORT uint32_t get_portspeed(TavoNode* group, uint32_t device, uint8_t domain, uint8_t port_number, uint32_t path,
                                   uint32_t generation);

// --- MAC addresses (texts "%02x-%02x-%02x-%02x-%02x-%02x") ---
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_MACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_PermanentMACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_VolatileMACAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ProfileManagement_ConfiguredProfile_Port_Function_MACAddress(TavoNode* property,
                                                                                        char* buf, uint32_t op);
// Puts the factory MAC of every ConfiguredProfile function back into its
// NIC region (skip_first 1: not the first partition of a port); 0, or 1
// when any partition failed.
TAVO_EXPORT uint32_t TAVO_reset_virt_mac(TavoNode* controller, uint32_t skip_first);
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
// OuterVLANID, MinBandwidth and MaxBandwidth of vnic: 0 or 1 (status 185).
TAVO_EXPORT uint32_t get_vnic_stats(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                                    uint32_t transport);

// --- channels, bandwidth, SR-IOV and VEPA of a NIC function ---
TAVO_EXPORT uint32_t handle_nic_bandwidth_softcap(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_NICPhysicalHBA_SRIOVState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_VEPAState(TavoNode* property, char* buf, uint32_t op);

// Profiles and link configurations of a live controller, loaded at start-up.
// Each answers 0 or 1 (a Moravel controller only).
TAVO_EXPORT uint32_t TAVO_list_available_profiles(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_get_active_profiles(TavoNode* controller);
// Also after every change of the configured layout, once the Port
// instances under ConfiguredProfile were purged: the view again and the
// controller's lines of config_prof.txt with it.
TAVO_EXPORT uint32_t TAVO_get_configured_profiles(TavoNode* controller);
// ids_only other than 1 also builds the LinkConfig instances.
TAVO_EXPORT uint32_t TAVO_get_link_reconfig_details(TavoNode* controller, uint8_t ids_only);

// --- profiles (ProfileManagement of a Moravel controller) ---
// Builders of the instanced groups (params: six 256-byte texts or NULL):
// Profile (100 under ProfileManagement) and its Protocol (8), Port (4)
// and Function (64) of ActiveProfile and of ConfiguredProfile, LinkConfig
// (32 under LinkReconfiguration). NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_Profile(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                         char* params);
TAVO_EXPORT TavoNode* initialize_Profile_Protocol(TavoNode* parent, TavoNode* creating_node,
                                                  TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_ActiveProfile_Port(TavoNode* parent, TavoNode* creating_node,
                                                    TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_ActiveProfile_Port_Function(TavoNode* parent, TavoNode* creating_node,
                                                             TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_ConfiguredProfile_Port(TavoNode* parent, TavoNode* creating_node,
                                                        TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_ConfiguredProfile_Port_Function(TavoNode* parent, TavoNode* creating_node,
                                                                 TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_LinkConfig(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                            char* params);

// The Protocol instances of one Profile instance from the profile's port
// counts (164/1) and what it offers (161/1); 0 or 1 (status 31, 276).
TAVO_EXPORT uint32_t TAVO_get_profile_capacities(uint32_t profile_id, TavoNode* profile, TavoNode* controller);
// AvailableProtocols of a configured Function: the protocols its PF may
// take, "NIC,iSCSI,FCoE,RoCE" in that order, and ",None" where it may be
// switched off.
TAVO_EXPORT uint32_t handle_AvailableProtocols(TavoNode* property, char* buf, uint32_t op);

// The new content of config_prof.txt while a configured view is built.
typedef struct TavoConfigProfLines TavoConfigProfLines;

// The Port instances of view (ActiveProfile or ConfiguredProfile) from the
// configuration of config_type (0 configured, 2 active); functions of the
// active view above a non-zero ari_limit are left out. The configured view
// also writes the controller's lines of config_prof.txt afresh. 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_port_profile(TavoNode* controller, TavoNode* view, uint32_t profile_id,
                                           uint8_t config_type, uint32_t ari_limit);
// The PF counts of the port's own descriptor of the configured profile (the
// port instance number n: its n-th port descriptor) into an ActiveProfile
// Port (MaxStoragePFCount ... MaxFCoEPFCount) and its most functions into
// *pf_count (0 without such a descriptor); 0 or 1.
TAVO_EXPORT uint32_t TAVO_update_max_pf_count(TavoNode* controller, TavoNode* view, TavoNode* port,
                                              int32_t* pf_count);
// The Function instances of one Port (at most pf_count) from the
// descriptors of its link; the configured form also appends each
// function's line to lines, after the prefix "serial,bus,profile id,
// multi-channel type". 0 or 1.
TAVO_EXPORT uint32_t TAVO_enumerate_profile_port_function(TavoNode* controller, TavoNode* port, uint8_t link,
                                                          uint8_t config_type, uint32_t profile_id,
                                                          uint32_t ari_limit, int32_t pf_count);
TAVO_EXPORT uint32_t TAVO_enum_cfg_profile_port_function(TavoNode* controller, TavoNode* port, uint8_t link,
                                                         uint8_t config_type, uint32_t profile_id, int32_t pf_count,
                                                         const char* prefix, TavoConfigProfLines* lines);

// Editable values of ConfiguredProfile: each changes only config_prof.txt
// (SaveProfile writes it to the adapter).
TAVO_EXPORT uint32_t handle_ConfiguredProfile_Port_MCType(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ConfiguredProfile_Port_Function_Protocol(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_CProf_SRIOVState(TavoNode* property, char* buf, uint32_t op);
// SRIOVState of an ActiveProfile Function.
TAVO_EXPORT uint32_t handle_AProf_SRIOVState(TavoNode* property, char* buf, uint32_t op);

// The saved state of one channel across SaveProfile: 4 ports by 16
// channels, 3,072 bytes.
#pragma pack(push, 1)
typedef struct McPropRecord {
  uint32_t bw_min;
  uint32_t bw_max;
  uint16_t vlan_id;
  uint16_t mc_type;  // the port's multi-channel type code, in its first entry
  char func_type[32];
  uint32_t lld;      // 1: the logical link was not enabled
} McPropRecord;
#pragma pack(pop)
static_assert(sizeof(McPropRecord) == 48);
enum { TAVO_MC_PORTS = 4, TAVO_MC_CHANNELS = 16 };
// The channels of a port's ChannelManagement group into the port's row of
// table (port_index: the PortDiscoveryAndConfiguration instance), their
// number into *count: 0, 1, or 317 for a port without channels.
TAVO_EXPORT uint32_t TAVO_save_mc_props(TavoNode* channel_management, McPropRecord* table, uint32_t port_index,
                                        uint32_t* count);
// Applies them again to the rebuilt channels; configured_mc_types holds
// the saved multi-channel type code of each of the 4 ports. 0 or 1.
TAVO_EXPORT uint32_t TAVO_reset_mc_props(TavoNode* channel_management, McPropRecord* table, uint32_t port_index,
                                         const uint8_t* configured_mc_types, uint32_t count);

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

#ifdef __cplusplus
#include <span>

#include "tree/group_builder.h"

namespace tavo::nic {

// The Corvane group's sub-groups this branch owns, which backend/'s
// definition of the group lists.
extern const tree::GroupDef corvane_link_reconfiguration, corvane_channel_management, corvane_profile_management;

}  // namespace tavo::nic
#endif
