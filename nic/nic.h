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

// Enumeration of one function: its factory MAC (protocol 1 iSCSI, 2 NIC)
// and its virtual functions (their number in *vf_count).
TAVO_EXPORT uint32_t TAVO_update_fd_mac(uint32_t function_number, TavoNode* function_group, uint32_t protocol);
TAVO_EXPORT uint32_t TAVO_get_nic_logicalhba(TavoNode* function_group, uint32_t function_number,
                                             uint32_t* vf_count, uint32_t create);
// Empty hook at the start of each NIC function's enumeration.
TAVO_EXPORT void TAVO_enumerate_nic_domain(void);
// IfName of the group from tavo_glob.if_names[function_number - 1].
TAVO_EXPORT uint32_t TAVO_update_nic_ifname(TavoNode* function_group, uint32_t function_number);
// Empty hook where a NIC function's port number would be refreshed.
TAVO_EXPORT uint32_t TAVO_update_nic_port_number(void);

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
