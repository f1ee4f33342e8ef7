// iSCSI discovery and targets: the LogicalHBA, SendTargetPortal, Target and
// TargetPortal groups and the steps that act on them (adding, deleting,
// discovering, listing and erasing targets, their CHAP and login options),
// and the start-up steps the back end runs. They sit above the sessions
// they log in, list and persist, and above the data both share
// (iscsi/target_data/target_data.h, included here).
//
// Handlers and operations answer 0 or 1 and leave the reason of a failure
// that has a message in the last status.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "iscsi/target_data/target_data.h"
#include "iscsi/sessions/sessions.h"
#include "transport/login_options_block.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- builders: parent, creating node and action (NULL at start-up and in
// refreshes), params (six 256-byte texts or NULL). The new instance, or
// NULL when nothing was built (no free slot); no last status is set. ---
// LogicalHBA0 of an iSCSIPhysicalHBA (one per function), 77 nodes.
TAVO_EXPORT TavoNode* initialize_LogicalHBA(TavoNode* function_group, TavoNode* creating_node,
                                            TavoNode* creating_action, char* params);
// A SendTargetPortal under a Discovery group (128), 21 nodes.
TAVO_EXPORT TavoNode* initialize_SendTargetPortal(TavoNode* discovery, TavoNode* creating_node,
                                                  TavoNode* creating_action, char* params);
// A Target under a LogicalHBA (256), 26 nodes; refreshed by group_Target.
TAVO_EXPORT TavoNode* initialize_Target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action,
                                        char* params);
// A TargetPortal under a Target (64), 4 nodes.
TAVO_EXPORT TavoNode* initialize_TargetPortal(TavoNode* target, TavoNode* creating_node, TavoNode* creating_action,
                                              char* params);

// --- login option sets: the saved line is the master copy. Each read
// through a handler reloads the whole set from its file; each write
// rewrites the line before the tree takes the text. ---
// The six options of InitiatorLoginOptions, SendTargetPortalLoginOptions
// and TargetLoginOptions; a write obeys the digest rules (status 193, 194).
TAVO_EXPORT uint32_t handle_initiator_loginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_stploginoptions(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_target_loginoptions(TavoNode* property, char* buf, uint32_t op);
// Their Authentication options: iscsi/target_data/target_data.h.
// A target option handler for clients: as handle_target_loginoptions
// without the digest rules.
TAVO_EXPORT uint32_t handle_target_loginopts(TavoNode* property, char* buf, uint32_t op);

// --- targets and target portals ---
// The first Target (instance order) whose TargetISCSIName is name without
// case; the LogicalHBA's Targets that wait are built when one of them may
// be it. NULL for none.
TAVO_EXPORT TavoNode* find_target(TavoNode* lhba, const char* name);
// A new Target named name with its type ("Discovered" when discovered is
// set, else "Static") and the controller's default ETO; creating node,
// action and params are kept for the tree's persistence. NULL when the
// name is taken, no instance is left (status 156) or a value cannot be had.
TAVO_EXPORT TavoNode* setup_target(TavoNode* lhba, const char* name, TavoNode* creating_node,
                                   TavoNode* creating_action, char* params, uint32_t discovered);
// A new TargetPortal with its address, port (shown in decimal) and portal
// group tag; the last three arguments are unused (NULL). NULL when it
// cannot be built.
TAVO_EXPORT TavoNode* setup_portal(TavoNode* target, const char* address, const char* port, const char* tag,
                                   TavoNode* creating_node, TavoNode* creating_action, char* params);
// "True" (persistent) or "False" into out[35] when the firmware has a
// session of the target named; out unchanged without one. 0, or 1.
TAVO_EXPORT uint32_t TAVO_get_tgt_persistent_val(TavoNode* node, const char* name, char* out);
// Deletes the targets and portals of the LogicalHBA that savetgt.txt no
// longer holds; 0, or 1.
TAVO_EXPORT uint32_t TAVO_sync_targets_with_file(TavoNode* lhba);
// Creates the targets and portals savetgt.txt holds for the LogicalHBA
// that the tree lacks; 0, or 1.
TAVO_EXPORT uint32_t add_target_from_file(TavoNode* lhba);

// --- sessions listed into their targets ---
// Rebuilds the Session and Connection groups of the LogicalHBA's targets
// (only target's, whose sessions go first, when given) from the firmware's
// active sessions; sessions the tree shows already stay, and one that
// cannot be placed is passed over (logged). params: six 256-byte texts of
// work space. 0, else the status of the list's failure.
TAVO_EXPORT uint32_t get_all_sessions(TavoNode* lhba, uint32_t function_number, uint32_t domain,
                                      uint32_t port_number, TavoNode* target, TavoNode* software_node, char* params);
// The Target of the session's target name, made (static, with a portal of
// the session's connection) when the LogicalHBA has none; NULL when it
// cannot be had.
TAVO_EXPORT TavoNode* TAVO_get_boot_target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action,
                                           char* params, const tavo::FirmwareSessionRecord* record);

// --- send-target portals and discovery ---
// A discovery session to the portal, SendTargets (params: TargetName or
// "" for all) and its logout; targets found become Discovered Targets. 0,
// or the failure's status.
TAVO_EXPORT uint32_t discover_targets(TavoNode* portal, TavoNode* action, char* params);
// The Targets, TargetPortals and saved lines of a SendTargets answer (a
// 64000-byte buffer); 0, or 1.
TAVO_EXPORT uint32_t BuildTargetInfoList(uint8_t* answer, TavoNode* lhba, TavoNode* portal, TavoNode* action,
                                         char* params);
// Lists the targets the firmware holds into Target and TargetPortal groups
// (discovered 1: as discovered, 0: as static) with their saved lines;
// discovery, action and params are unused (NULL at start-up). 0, or the
// failure's status.
TAVO_EXPORT uint32_t get_all_targets(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                                     uint32_t discovered, TavoNode* discovery, TavoNode* action, char* params);
// The body of RefreshAvailableTargets; 0, or 1 with status 79 when a
// send-target portal failed.
TAVO_EXPORT uint32_t refresh_targets(TavoNode* lhba, uint32_t domain, uint32_t port_number, TavoNode* discovery,
                                     TavoNode* action, char* params);
// 1 when a SendTargetPortal of the Discovery group has that IPAddress
// (without case) and PortNumber (by number), else 0.
TAVO_EXPORT uint32_t check_for_stp_in_TAVO(TavoNode* discovery, const char* address, const char* port);
// 0 when savestp.txt has the portal's line for the LogicalHBA, else 1.
TAVO_EXPORT uint32_t TAVO_sync_stp_with_file(TavoNode* controller, TavoNode* function, TavoNode* portal,
                                             TavoNode* lhba, const char* address, const char* port);
// Refresh handler of Discovery: SendTargetPortals in line with savestp.txt.
TAVO_EXPORT uint32_t group_Discovery(TavoNode* discovery);
// DiscoverBootTargetThruDHCP of a LogicalHBA's Discovery group (a read:
// tavo::sessions::dhcp_boot_discovery).
TAVO_EXPORT uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op);
// value "Enabled" (refused with 344 while a boot session exists) or
// "Disabled" (every boot session logged out, targets left without sessions
// deleted) into the BIOS configuration; 0 or 1.
TAVO_EXPORT uint32_t TAVO_perform_DiscoverBootTargetsThruDHCP(TavoNode* discovery, TavoNode* lhba, uint32_t device,
                                                              uint32_t domain, uint32_t port, const char* value);

// --- start-up ---
// --- start-up ---
// Brings one LogicalHBA's function up to date: Enabled, MACAddress, the
// routable IPv6 addresses, the interface, routes and ARP entries, then the
// firmware's targets, sessions and LUNs (the software-initiator operations
// with OPEN_ISCSI_DRIVER_LOADED set). created_tags and its count: none and
// 0 at start-up. work: 1536 bytes (NULL: its own). 0, or non-zero when a
// network or target read failed (sessions and LUNs are then skipped).
TAVO_EXPORT uint32_t setup_iscsi(TavoNode* lhba, const char* enabled, uint32_t* created_tags, uint32_t tag_count,
                                 char* work);
// Builds the LogicalHBA of every iSCSI function and restores the saved
// configuration; 0, or 1 when the walk ended early.
TAVO_EXPORT uint32_t TAVO_set_lhba_prop(void);
// The start-up passes over savetgt.txt (rewritten without the LogicalHBA's
// unusable lines; Targets and TargetPortals built with their options) and
// savestp.txt (SendTargetPortals built). keys: the three key texts. 0, or 1.
TAVO_EXPORT uint32_t TAVO_set_target_loginopts_prop(char (*keys)[TAVO_VALUE_SIZE], TavoNode* lhba);
TAVO_EXPORT uint32_t TAVO_set_stp_loginopts_prop(char (*keys)[TAVO_VALUE_SIZE], TavoNode* lhba);
// Refreshes the ETO of every target without sessions; 0.
TAVO_EXPORT uint32_t TAVO_refresh_backend_client_iscsi_targets(void);
// Enabled of a LogicalHBA: "False" is refused with status 47.
TAVO_EXPORT uint32_t handle_iSCSIPhysicalHBA_LogicalHBA_Enabled(TavoNode* property, char* buf, uint32_t op);
// iSNSEnabled of an iSCSIPhysicalHBA's iSNS group ("Yes", "No"), kept in
// the firmware's discovery parameters (statuses 80, 81).
TAVO_EXPORT uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op);

// --- actions (params: six 256-byte texts as their descriptors name them) ---
TAVO_EXPORT uint32_t do_AddTarget(TavoNode* lhba, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteTarget(TavoNode* lhba, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddTargetPortal(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteTargetPortal(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddSendTargetPortal(TavoNode* discovery, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteSendTargetPortal(TavoNode* discovery, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshAvailableTargets(TavoNode* discovery, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DiscoverTargets(TavoNode* portal, TavoNode* action, char* params);
// The Authentication group of any of the three login option sets.
TAVO_EXPORT uint32_t do_ConfigureCHAP(TavoNode* authentication, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteCHAP(TavoNode* authentication, TavoNode* action, char* params);
// EraseConfiguration of an iSCSIPhysicalHBA: every iSCSI function of the
// controller back to no configuration (status 256 on a VF).
TAVO_EXPORT uint32_t do_EraseConfiguration(TavoNode* function_group, TavoNode* action, char* params);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::targets {

// Another process changed the saved files or the adapter: each LogicalHBA
// whose targets are built follows the saved lines and the firmware's
// targets as they are, and its send-target portals savestp.txt (targets
// that wait are built from them as they are when reached). Writes nothing.
void follow_saved_files();

}  // namespace tavo::targets
#endif
