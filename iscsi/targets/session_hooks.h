// What the sessions branch registers with the targets branch. Targets are
// added, deleted, listed and discovered here, but the sessions, logins,
// persistent entries and boot records those steps touch belong to the
// branch above; it fills these as the library loads, so that this branch
// never names it.
#pragma once

#include <stdint.h>

#include "transport/iscsi_records.h"
#include "transport/login_options_block.h"
#include "tree/group_builder.h"

namespace tavo::targets {

// The rows of the LogicalHBA, Discovery and Target groups whose handlers
// belong to the sessions branch, in the order the groups list them.
struct SessionPlaces {
  tree::SuppliedRows statistics;            // LogicalHBA: iSCSIStatistics
  tree::SuppliedRows discover_boot_target;  // Discovery: DiscoverBootTargetThruDHCP
  tree::SuppliedRows alias_and_eto;         // Target: TargetAlias, ETO
  tree::SuppliedRows login;                 // Target: Login
  tree::SuppliedRows logout_and_rescan;     // Target: Logout, ReScanLUNS
};
extern SessionPlaces session_places;

// The session calls the target steps make; each answers as the exported
// call of sessions.h it stands for.
struct SessionHooks {
  // group_Target: a Target refreshed from the firmware's sessions.
  uint32_t (*refresh_target)(TavoNode* target) = nullptr;
  // do_Login, do_Logout
  uint32_t (*login)(TavoNode* target, TavoNode* action, char* params) = nullptr;
  uint32_t (*logout)(TavoNode* target, TavoNode* action, char* params) = nullptr;
  // TAVO_esx_login
  uint32_t (*login_engine)(TavoNode* action, TavoNode* options, IscsiLoginRequest* request, char* params,
                           const char* initiator_name, uint32_t reused, uint32_t mode) = nullptr;
  // get_all_sessions, get_all_luns
  uint32_t (*list_sessions)(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                            TavoNode* target, TavoNode* software_node, char* params) = nullptr;
  uint32_t (*list_luns)(TavoNode* target, uint32_t domain, uint32_t port_number, TavoNode* creating_node,
                        TavoNode* creating_action, char* params, char* answer) = nullptr;
  // find_session
  TavoNode* (*find_session)(TavoNode* target, const char* address, const char* port) = nullptr;
  // TAVO_get_session_params
  FirmwareSessionRecord* (*session_record)(uint32_t session_handle, uint32_t function_number, uint32_t domain,
                                           uint32_t port) = nullptr;
  // TAVO_check_session_status
  uint32_t (*session_status)(TavoNode* target, const char* target_name, uint32_t function_number,
                             uint32_t* logged_in, TavoNode* anchor, TavoNode* portal, uint32_t mode) = nullptr;
  // generate_isid_qualifier
  uint32_t (*new_qualifier)() = nullptr;
  // make_session_persistent, delete_persistent,
  // TAVO_update_session_authentication
  uint32_t (*make_persistent)(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                              IscsiLoginOptionsBlock* block, const char* boot, const char* initiator_name,
                              uint32_t eto) = nullptr;
  uint32_t (*delete_persistent)(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target,
                                const char* target_name, const char* address, const char* port_text,
                                uint32_t isid_qualifier, const char* initiator_name, uint32_t keep_file) = nullptr;
  uint32_t (*update_authentication)(TavoNode* target) = nullptr;
  // refresh_eto
  uint32_t (*refresh_eto)(TavoNode* lhba, uint32_t domain, uint32_t port) = nullptr;
  // TAVO_check_boot_target_num, TAVO_check_boot_target_priority,
  // TAVO_add_boottarget_tlv
  uint32_t (*boot_target_count)(TavoNode* lhba, uint8_t* count) = nullptr;
  uint32_t (*boot_target_priority)(TavoNode* lhba, const char* priority) = nullptr;
  uint32_t (*add_boot_target)(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session,
                              uint32_t priority, uint32_t target_number) = nullptr;
};
// Called once, while the library loads (sessions/).
void set_session_hooks(const SessionHooks& hooks);

}  // namespace tavo::targets
