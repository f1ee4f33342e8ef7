// iSCSI sessions, LUNs and boot: what the network branch asks of them.
#pragma once

#include <stdint.h>

#include "transport/iscsi_records.h"
#include "tree/status_texts.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// 1 with status 44 when a session under the iSCSIPhysicalHBA (any
// LogicalHBA, any target) reads iSCSIBoot "True", else 0. domain is unused.
TAVO_EXPORT uint32_t check_for_boot_session(TavoNode* function_group, int32_t domain);
// iSCSIBIOSEnable and MPIOEnabled of an iSCSIPhysicalHBA.
TAVO_EXPORT uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op);

// --- loaders not built yet: they answer 0 and change nothing ---
// Rebuilds the Session and Connection groups of the LogicalHBA's targets
// (only target's when given) from the firmware's active sessions.
TAVO_EXPORT uint32_t get_all_sessions(TavoNode* lhba, uint32_t function_number, uint32_t domain,
                                      uint32_t port_number, TavoNode* target, TavoNode* software_node, char* params);
// Rebuilds the target's LUN groups; the first new LUN records the creating
// node, action and params. answer: 256 bytes. 90 when no LUN data came.
TAVO_EXPORT uint32_t get_all_luns(TavoNode* target, uint32_t domain, uint32_t port_number, TavoNode* creating_node,
                                  TavoNode* creating_action, char* params, char* answer);

// --- software-initiator operations: taken in place of the firmware while
// OPEN_ISCSI_DRIVER_LOADED is set. The host's software initiator does the
// work; each operation changes nothing and answers 0. ---
TAVO_EXPORT uint32_t TAVO_add_open_iscsi_target(TavoNode* target, char* params);
TAVO_EXPORT uint32_t TAVO_delete_open_iscsi_target(TavoNode* target, const char* address);
TAVO_EXPORT uint32_t TAVO_convert_mac(const char* mac, char* converted);
TAVO_EXPORT uint32_t TAVO_get_iscsi_iface(TavoNode* node, char* iface);
TAVO_EXPORT uint32_t TAVO_delete_open_iscsi_tpg(TavoNode* portal, const char* address, const char* port);
TAVO_EXPORT uint32_t TAVO_op_iscsi_login(TavoNode* target, TavoNode* portal, char* params);
TAVO_EXPORT uint32_t TAVO_discover_op_targets(TavoNode* portal, TavoNode* action, char* params);
TAVO_EXPORT uint32_t TAVO_list_op_iscsi_targets(TavoNode* lhba);
TAVO_EXPORT uint32_t TAVO_list_op_sessions_luns(TavoNode* lhba);
TAVO_EXPORT uint32_t TAVO_op_setup_connection(TavoNode* session, char* params);
TAVO_EXPORT uint32_t TAVO_op_setup_session(TavoNode* target, char* params);
TAVO_EXPORT uint32_t TAVO_op_iscsi_logout(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_all_luns(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t TAVO_op_configure_chap(TavoNode* owner);
TAVO_EXPORT uint32_t TAVO_op_delete_chap(TavoNode* owner);
TAVO_EXPORT uint32_t TAVO_get_BlockSize(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t TAVO_get_LUNSize(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t delete_op_iscsi_STP(TavoNode* portal);
TAVO_EXPORT uint32_t TAVO_op_add_sendtaregtportal(TavoNode* discovery, char* params);
TAVO_EXPORT uint32_t TAVO_op_get_lun_props(TavoNode* lun, char* text);
TAVO_EXPORT uint32_t TAVO_discover_isns_targets(TavoNode* isns_server);
TAVO_EXPORT uint32_t delete_op_iscsi_isns(TavoNode* isns_server);
TAVO_EXPORT uint32_t TAVO_op_add_isns(const char* address, const char* port, TavoNode* lhba);
// Besides 0, a caller also takes 0xFFFF: no iSNS server is configured.
TAVO_EXPORT uint32_t TAVO_get_all_op_isns(TavoNode* isns);
TAVO_EXPORT uint32_t TAVO_op_iscsi_check_session(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_session_attribs(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_session_details(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_set_session_connection_login_options(TavoNode* session, char* params);
TAVO_EXPORT uint32_t TAVO_op_set_intr_name(TavoNode* property, const char* name);
TAVO_EXPORT uint32_t TAVO_op_refresh_session_attribs(TavoNode* session);
TAVO_EXPORT uint32_t TAVO_op_get_isid(TavoNode* target, char* isid);

// --- what the targets branches bind, not built yet: handlers answer their
// stored text, actions and refreshes success ---
// Login, Logout and ReScanLUNS of a Target; group_Target refreshes it.
TAVO_EXPORT uint32_t do_Login(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_Logout(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ReScanLUNS(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t group_Target(TavoNode* target);
TAVO_EXPORT uint32_t handle_TargetAlias(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_Target_ETO(TavoNode* property, char* buf, uint32_t op);
// The iSCSIStatistics of a LogicalHBA.
TAVO_EXPORT uint32_t handle_NodeAttr_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrInstStat_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrLoginStat_properties(TavoNode* property, char* buf, uint32_t op);
// DiscoverBootTargetThruDHCP of a LogicalHBA's Discovery group.
TAVO_EXPORT uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op);
// Makes the target's closed sessions persistent again after a change of
// its login options; 0.
TAVO_EXPORT uint32_t TAVO_update_session_authentication(TavoNode* target);

// --- the login engine. options: the login-options group whose HeaderParam,
// DataParam and Authentication CHAPParam pick the tries (a Target's
// TargetLoginOptions, a SendTargetPortal's options in discovery); request:
// filled by the caller, its option block filled here for each try; params:
// the action's six texts; mode 0 a discovery login (nothing persisted),
// mode 1 a session login. 0 once a try logged in, else its status (25 and
// 243 with their messages) or 1. ---
TAVO_EXPORT uint32_t TAVO_esx_login(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request,
                                    char* params, const char* initiator_name, uint32_t reused, uint32_t mode);

// --- session and boot calls not built yet: they answer as for a target
// without sessions and change nothing ---
// The Session of target whose first Connection goes to address and port
// (without case), or NULL.
TAVO_EXPORT TavoNode* find_session(TavoNode* target, const char* address, const char* port);
// *logged_in becomes 1 when a session of the target (mode 1: to portal)
// is neither closed nor failed; the persistence of the closed ones goes.
// anchor gives the domain and port. 0, or 1.
TAVO_EXPORT uint32_t TAVO_check_session_status(TavoNode* target, const char* target_name, uint32_t function_number,
                                               uint32_t* logged_in, TavoNode* anchor, TavoNode* portal,
                                               uint32_t mode);
// The firmware's record of one session (14/6), allocated with tavo_dmalloc
// (the caller frees it); NULL, with status 85, when it cannot be read.
TAVO_EXPORT tavo::FirmwareSessionRecord* TAVO_get_session_params(uint32_t session_handle, uint32_t function_number,
                                                                 uint32_t domain, uint32_t port);
// The lowest ISID qualifier no Session holds; 65535 when all are held.
TAVO_EXPORT uint32_t generate_isid_qualifier(void);
// Makes a login persistent in the firmware (27/6) and in savetgt.txt.
// block: the options to send, or NULL for the target's; boot: "True" or
// "False"; eto 0 for none. 0, 1 or the failed command's status.
TAVO_EXPORT uint32_t make_session_persistent(TavoNode* target, const char* address, const char* port,
                                             uint32_t isid_qualifier, IscsiLoginOptionsBlock* block,
                                             const char* boot, const char* initiator_name, uint32_t eto);
// 0 when no boot target of the LogicalHBA has that priority ("Primary",
// "Secondary"), 341 when one has, 1 on failure.
TAVO_EXPORT uint32_t TAVO_check_boot_target_priority(TavoNode* lhba, const char* priority);
// The number a new boot target of the LogicalHBA takes; 0, or 1 while a
// target has no session.
TAVO_EXPORT uint32_t TAVO_check_boot_target_num(TavoNode* lhba, uint8_t* count);
// Writes the session's boot-target record into the boot region; 0 or 1.
TAVO_EXPORT uint32_t TAVO_add_boottarget_tlv(uint32_t function_number, uint32_t domain, uint32_t port,
                                             TavoNode* session, uint32_t priority, uint32_t target_number);
// Gives every Target without sessions under the LogicalHBA the
// controller's default ETO; 0 or 1.
TAVO_EXPORT uint32_t refresh_eto(TavoNode* lhba, uint32_t domain, uint32_t port);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::sessions {

// Leaves the branch's text of code (its own table, else the shared texts)
// in the last status.
void sessions_status(uint32_t code);
// The branch's table, for tests.
std::span<const tree::StatusText> sessions_status_texts();

}  // namespace tavo::sessions
#endif
