// The actions that add and delete targets and their portals by hand. An
// added target leaves three traces kept in step: its node, its saved line
// and (outside the software initiator) its persistent session.
#include <string.h>
#include <strings.h>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/network/network_internal.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::targets;
using tavo::tree::next_instance;

namespace {

constexpr char kDefaultPort[] = "3260";
constexpr uint32_t kMostTargetsSmall = 128;

uint32_t actions_target_count(TavoNode* lhba) {
  uint32_t n = 0;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) ++n;
  return n;
}

bool actions_initiator_name(TavoNode* lhba, char out[TAVO_VALUE_SIZE]) {
  return read_text(internal_get_node(lhba, "InitiatoriSCSIName", TAVO_KIND_GROUP), "InitiatoriSCSIName", out);
}

uint32_t actions_priority_code(const char* priority) {
  return is_word(priority, "Primary") ? 1 : is_word(priority, "Secondary") ? 2 : 0;
}

// The address in its full form; CV2 and CV3 have no IPv6 (status 330).
bool actions_address_allowed(char address[TAVO_VALUE_SIZE], uint32_t generation) {
  if (!full_address(address)) return false;
  if (small_generation(generation) && strlen(address) > 15) {
    targets_status(330);
    return false;
  }
  return true;
}

// The boot checks of AddTarget before anything changes.
uint32_t actions_boot_checks(TavoNode* lhba, const char* boot) {
  char dhcp[TAVO_VALUE_SIZE];
  if (!read_text(internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP), "DiscoverBootTargetThruDHCP", dhcp)) return 1;
  if (is_word(boot, "True") && is_word(dhcp, "Enabled")) {
    targets_status(342);
    return 1;
  }
  return 0;
}

uint32_t actions_boot_target_checks(TavoNode* lhba, const char* boot, const char* priority) {
  if (priority[0] != '\0') {
    const uint32_t taken = TAVO_check_boot_target_priority(lhba, priority);
    if (taken == 341) targets_status(341);
    if (taken != 0) return 1;
  }
  uint8_t number = 0;
  return is_word(boot, "True") && TAVO_check_boot_target_num(lhba, &number) != 0 ? 1 : 0;
}

// A new target's persistent session, its sessions read back, and on
// Moravel the boot-target record of a boot target.
uint32_t actions_persist(const Place& p, TavoNode* target, const char* address, const char* port, const char* boot,
                         const char* initiator, uint32_t generation, uint32_t priority) {
  const bool boot_target = is_word(boot, "True");
  const uint32_t persisted = make_session_persistent(target, address, port, generate_isid_qualifier(), nullptr,
                                                     boot_target ? "True" : "False", initiator, 0);
  if (persisted != 0) return persisted;
  tavo::network::ParamTexts cleared;
  get_all_sessions(p.lhba, p.number, p.domain, p.port, target, nullptr, cleared.data());
  if (!boot_target || generation != tavo::kGenerationMoravel) return 0;
  TavoNode* session = get_first_instance(target, "Session");
  if (session != nullptr && TAVO_add_boottarget_tlv(p.number, p.domain, p.port, session, priority, 1) != 0) {
    targets_status(306);
    return 1;
  }
  return 0;
}

// Whether the tree holds the target with that portal already.
bool actions_already_added(TavoNode* lhba, const char* name, const char* address, const char* port) {
  TavoNode* target = find_target(lhba, name);
  return target != nullptr && find_target_portal(target, address, port) != nullptr;
}

}  // namespace

uint32_t do_AddTarget(TavoNode* lhba, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || params == nullptr) return 1;
  char* name = param(params, 0);
  char* address = param(params, 1);
  char* port = param(params, 2);
  const char* boot = param(params, 3);
  const char* priority = param(params, 4);
  Place p;
  if (name[0] == '\0' || address[0] == '\0' || actions_boot_checks(lhba, boot) != 0 || !place_of(lhba, &p)) return 1;
  const uint32_t generation = generation_of(p);
  if (generation == TAVO_GENERATION_UNREADABLE || !actions_address_allowed(address, generation)) return 1;
  if (small_generation(generation) && actions_target_count(lhba) >= kMostTargetsSmall) {
    targets_status(175);
    return 1;
  }
  char initiator[TAVO_VALUE_SIZE];
  if (actions_boot_target_checks(lhba, boot, priority) != 0 || !actions_initiator_name(lhba, initiator)) return 1;
  // The port is defaulted first, so the duplicate check sees what is saved.
  if (port[0] == '\0') snprintf(port, TAVO_VALUE_SIZE, "%s", kDefaultPort);
  if (TAVO_check_for_duplicate_tgt(p.controller, p.function, lhba, name, address, port, TAVO_ENTRY_TARGET,
                                   TAVO_ANY_ISID_QUALIFIER) == 1 &&
      actions_already_added(lhba, name, address, port))
    return 0;
  if (find_target(lhba, name) != nullptr) {
    targets_status(21);
    return 1;
  }
  if (OPEN_ISCSI_DRIVER_LOADED && TAVO_add_open_iscsi_target(lhba, params) != 0) return 1;
  TavoNode* target = new_target(lhba, name, lhba, action, params, false);
  if (target == nullptr) return 1;
  // A target is never left without its portal or its saved line.
  if (setup_portal(target, address, port, "0", nullptr, nullptr, nullptr) == nullptr) {
    delete_with_records(target);
    return 1;
  }
  const uint32_t saved = TAVO_add_target_into_file(lhba, target, name, address, port, nullptr, "True");
  if (saved != 0) {
    tavo::network::keeping_last_status([&] { delete_with_records(target); });
    return saved;
  }
  if (OPEN_ISCSI_DRIVER_LOADED && !is_word(boot, "True")) return 0;
  return actions_persist(p, target, address, port, boot, initiator, generation, actions_priority_code(priority));
}

uint32_t do_AddTargetPortal(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  (void)action;
  Place p;
  if (target == nullptr || params == nullptr || !place_of(target, &p)) return 1;
  char* address = param(params, 0);
  char* port = param(params, 1);
  if (address[0] == '\0' || !actions_address_allowed(address, generation_of(p))) return 1;
  if (port[0] == '\0') snprintf(port, TAVO_VALUE_SIZE, "%s", kDefaultPort);
  char name[TAVO_VALUE_SIZE], initiator[TAVO_VALUE_SIZE];
  if (!read_text(target, "TargetISCSIName", name) || !actions_initiator_name(p.lhba, initiator)) return 1;
  for (TavoNode* tp = get_first_instance(target, "TargetPortal"); tp != nullptr; tp = next_instance(tp)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (read_text(tp, "TargetIPAddress", a) && read_text(tp, "TargetPortNumber", n) && is_word(a, address) &&
        is_word(n, port)) {
      targets_status(214);
      return 1;
    }
  }
  if (OPEN_ISCSI_DRIVER_LOADED) TAVO_add_open_iscsi_target(target, params);
  TavoNode* portal = setup_portal(target, address, port, "0", nullptr, nullptr, nullptr);
  if (portal == nullptr) return 1;
  // As for a new target: no portal without its saved line.
  const uint32_t saved = TAVO_add_target_into_file(p.lhba, target, name, address, port, nullptr, "True");
  if (saved != 0) {
    tavo::network::keeping_last_status([&] { delete_node(portal); });
    return saved;
  }
  if (OPEN_ISCSI_DRIVER_LOADED) return 0;
  const uint32_t persisted =
      make_session_persistent(target, address, port, generate_isid_qualifier(), nullptr, "False", initiator, 0);
  if (persisted != 0) return persisted;
  tavo::network::ParamTexts cleared;
  get_all_sessions(p.lhba, p.number, p.domain, p.port, target, nullptr, cleared.data());
  return 0;
}

uint32_t do_DeleteTarget(TavoNode* lhba, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || params == nullptr) return 1;
  TavoNode* target = get_selected_group_node(lhba, "Target", param(params, 0));
  if (target == nullptr) {
    targets_status(20);
    return 1;
  }
  char name[TAVO_VALUE_SIZE];
  uint32_t logged_in = 0;
  if (!read_text(target, "TargetISCSIName", name) ||
      TAVO_check_session_status(target, name, static_cast<uint32_t>(get_port_number(target)), &logged_in, action,
                                nullptr, 0) != 0)
    return 1;
  if (logged_in != 0) {
    targets_status(34);
    return 1;
  }
  TavoNode* first = get_first_instance(target, "TargetPortal");
  if (OPEN_ISCSI_DRIVER_LOADED && first != nullptr) {
    char address[TAVO_VALUE_SIZE];
    read_text(first, "TargetIPAddress", address);
    const uint32_t removed = TAVO_delete_open_iscsi_target(target, address);
    if (removed != 0 && removed != 21) return 1;
  }
  // The lines go first: a target whose lines stay would come back.
  for (TavoNode* tp = first; tp != nullptr; tp = next_instance(tp)) {
    char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
    if (!read_text(tp, "TargetIPAddress", address) || !read_text(tp, "TargetPortNumber", port) ||
        !entry_removed(
            TAVO_remove_entry_from_file(lhba, name, address, port, TAVO_ANY_ISID_QUALIFIER, TAVO_ENTRY_TARGET)))
      return 1;
  }
  return delete_with_records(target);
}

uint32_t do_DeleteTargetPortal(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || params == nullptr) return 1;
  TavoNode* portal = get_selected_group_node(target, "TargetPortal", param(params, 0));
  if (portal == nullptr) {
    targets_status(20);
    return 1;
  }
  char name[TAVO_VALUE_SIZE], address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
  uint32_t logged_in = 0;
  if (!read_text(target, "TargetISCSIName", name) ||
      TAVO_check_session_status(target, name, static_cast<uint32_t>(get_port_number(target)), &logged_in, action,
                                portal, 1) != 0)
    return 1;
  if (logged_in != 0) {
    targets_status(34);
    return 1;
  }
  if (!read_text(portal, "TargetIPAddress", address) || !read_text(portal, "TargetPortNumber", port)) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) TAVO_delete_open_iscsi_tpg(portal, address, port);
  if (!entry_removed(
          TAVO_remove_entry_from_file(target->parent, name, address, port, TAVO_ANY_ISID_QUALIFIER, TAVO_ENTRY_TARGET)))
    return 1;
  return delete_with_records(portal);
}
