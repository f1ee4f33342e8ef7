// The actions that add and delete targets and their portals by hand. An
// added target leaves three traces kept in step: its node, its saved line
// and (outside the software initiator) its persistent session. Each action
// writes savetgt.txt once, when it ends (a deletion before its nodes go).
#include <string.h>
#include <strings.h>

#include <string>
#include <utility>
#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "tree/waiting.h"

using namespace tavo::targets;
using tavo::tree::next_instance;

namespace {

constexpr uint32_t kMostTargetsSmall = 128;

// The Targets built and those that wait to be.
uint32_t actions_target_count(TavoNode* lhba) {
  return static_cast<uint32_t>(tavo::tree::slots_taken(lhba, target_definition()));
}

bool actions_initiator_name(TavoNode* lhba, char out[TAVO_VALUE_SIZE]) {
  tavo::network::InitiatorNames names;
  if (tavo::network::initiator_names(lhba, tavo::network::NameRead::Name, &names) != 0) return false;
  memcpy(out, names.name, sizeof names.name);
  return true;
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

// The port as the tree read it, in decimal from here on (3260 when not
// given); a text that is no port number is refused as the tree would.
bool actions_port(char port[TAVO_VALUE_SIZE]) {
  if (port_parameter(port, true)) return true;
  tavo::tree::validation_status(TAVO_INVALID_VALUE, "PortNumber", 1024, 65535);
  return false;
}

// The boot checks of AddTarget before anything changes.
uint32_t actions_boot_checks(TavoNode* lhba, const char* boot) {
  char dhcp[TAVO_VALUE_SIZE];
  if (tavo::sessions::dhcp_boot_discovery(lhba, dhcp) != 0) return 1;
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
  if (is_word(boot, "True") && TAVO_check_boot_target_num(lhba, &number) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: a boot target needs every target of the LogicalHBA to have a session\n",
           __func__);
    return 1;
  }
  return 0;
}

// A new portal of a target (and the target itself when it is new), kept
// by value: a failed save takes it back after the action returned.
struct NewPortal {
  tavo::tree::HandlerContext place;
  TavoNode* target;
  TavoNode* node;  // the target when new, else the portal
  std::string name, address, port, initiator;
};

// The new node is kept only while its lines are: a failed save deletes it.
void actions_keep(const NewPortal& n) {
  TavoNode* node = n.node;
  SavedBatch::on_failure([node] { delete_with_records(node); });
}

// The new portal's persistent session, under the lowest free qualifier,
// and the target's sessions read back. A failed save deletes the entry
// again and, for a portal of a target that stays, reads its sessions anew.
// The portal moves into the step kept for a failure: the texts are not
// copied again.
uint32_t actions_persist(NewPortal&& n, const char* boot) {
  const uint32_t qualifier = generate_isid_qualifier();
  const uint32_t persisted = make_session_persistent(n.target, n.address.c_str(), n.port.c_str(), qualifier,
                                                             nullptr, boot, n.initiator.c_str(), 0);
  if (persisted != 0) return persisted;
  const tavo::tree::HandlerContext place = n.place;
  TavoNode* target = n.target;
  SavedBatch::on_failure([n = std::move(n), qualifier] {
    delete_persistent(n.place.number, n.place.domain, n.place.port, n.target, n.name.c_str(),
                                      n.address.c_str(), n.port.c_str(), qualifier, n.initiator.c_str(), 1);
    if (n.node != n.target) group_Target(n.target);
  });
  tavo::iscsi::ParamTexts cleared;
  get_all_sessions(place.lhba, place.number, place.domain, place.port, target, nullptr, cleared.data());
  return 0;
}

// Whether the tree holds the target with that portal already.
bool actions_already_added(TavoNode* lhba, const char* name, const char* address, const char* port) {
  TavoNode* target = find_target(lhba, name);
  return target != nullptr && find_target_portal(target, address, port) != nullptr;
}

// The portal's address and port texts, read from the tree.
struct PortalText {
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
};
bool actions_portal_text(TavoNode* portal, PortalText* out) {
  return read_text(portal, "TargetIPAddress", out->address) && read_text(portal, "TargetPortNumber", out->port);
}

// Whether the target's sessions (to the portal when given) allow its
// deletion; status 34 while one is logged in.
bool actions_sessions_closed(TavoNode* target, const char* name, TavoNode* action, TavoNode* portal) {
  uint32_t logged_in = 0;
  if (TAVO_check_session_status(target, name, tavo::tree::handler_context(target).number, &logged_in,
                                     action, portal, portal != nullptr ? 1 : 0) != 0)
    return false;
  if (logged_in == 0) return true;
  targets_status(34);
  return false;
}

// The saved lines of the target's portals go in one rewrite, and are
// written before the nodes go: a node whose lines stay would come back.
uint32_t actions_forget(SavedBatch& batch, TavoNode* lhba, const char* name, const std::vector<PortalText>& portals,
                        TavoNode* gone) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const PortalText& t : portals) entries.emplace_back(t.address, t.port);
  if (!entry_removed(remove_target_lines(lhba, name, entries)) || batch.commit() != 0) return 1;
  return delete_with_records(gone);
}

// The new Target joins the LogicalHBA's waiting targets unbuilt, in a slot
// above those kept for them, unless the add needs them: a boot target's
// checks read them all, and the add's lookup of the new name, under the
// file's hold, builds them when one of them may have it (find_target).
// Without kept slots they are built first.
void add_target_beside(TavoNode* lhba, char* params) {
  if (lhba != nullptr && params != nullptr && !is_word(param(params, 3), "True") && param(params, 4)[0] == '\0' &&
      tavo::tree::slots_reserved(lhba, target_definition()))
    return;
  tavo::tree::build_waiting(lhba, "Target");
}

uint32_t add_target(const tavo::tree::HandlerContext& p, TavoNode* action, char* params) {
  TavoNode* lhba = p.lhba;
  if (lhba == nullptr || params == nullptr) return 1;
  char* name = param(params, 0);
  char* address = param(params, 1);
  char* port = param(params, 2);
  const char* boot = param(params, 3);
  const char* priority = param(params, 4);
  if (name[0] == '\0' || address[0] == '\0' || actions_boot_checks(lhba, boot) != 0 || !below_lhba(p)) return 1;
  const uint32_t generation = generation_of(p);
  if (generation == TAVO_GENERATION_UNREADABLE || !actions_address_allowed(address, generation)) return 1;
  if (small_generation(generation) && actions_target_count(lhba) >= kMostTargetsSmall) {
    targets_status(175);
    return 1;
  }
  char initiator[TAVO_VALUE_SIZE];
  if (actions_boot_target_checks(lhba, boot, priority) != 0 || !actions_initiator_name(lhba, initiator)) return 1;
  // The port is defaulted first, so the duplicate check sees what is saved;
  // the target keeps it in decimal among its parameters too.
  if (!actions_port(port)) return 1;
  // The duplicate check and the line's append see the file under one look.
  SavedBatch::hold(tavo::iscsi::Saved::Targets);
  if (TAVO_check_for_duplicate_tgt(p.controller, p.function, lhba, name, address, port, TAVO_ENTRY_TARGET,
                                   TAVO_ANY_ISID_QUALIFIER) == 1 &&
      actions_already_added(lhba, name, address, port))
    return 0;
  // The one lookup of the name among the targets, those that wait too.
  if (find_target(lhba, name) != nullptr) {
    targets_status(21);
    return 1;
  }
  if (OPEN_ISCSI_DRIVER_LOADED && TAVO_add_open_iscsi_target(lhba, params) != 0) return 1;
  TavoNode* target = new_target(lhba, name, lhba, action, params, false);
  if (target == nullptr) return 1;
  // A target is never left without its portal or its saved lines.
  if (setup_portal(target, address, port, "0", nullptr, nullptr, nullptr) == nullptr) {
    delete_with_records(target);
    return 1;
  }
  NewPortal n{p, target, target, name, address, port, initiator};
  const uint32_t saved = add_target_line(lhba, target, name, address, port, nullptr, "True", initiator);
  if (saved != 0) {
    tavo::iscsi::keeping_last_status([&] { delete_with_records(target); });
    return saved;
  }
  actions_keep(n);
  if (OPEN_ISCSI_DRIVER_LOADED && !is_word(boot, "True")) return 0;
  const bool boot_target = is_word(boot, "True");
  uint32_t result = actions_persist(std::move(n), boot_target ? "True" : "False");
  TavoNode* session = get_first_instance(target, "Session");
  if (result == 0 && boot_target && generation == tavo::kGenerationMoravel && session != nullptr &&
      TAVO_add_boottarget_tlv(p.number, p.domain, p.port, session, actions_priority_code(priority), 1) != 0) {
    targets_status(306);
    result = 1;
  }
  return result;
}

uint32_t add_target_portal(TavoNode* target, char* params) {
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(target);
  if (target == nullptr || params == nullptr || !below_lhba(p)) return 1;
  char* address = param(params, 0);
  char* port = param(params, 1);
  if (address[0] == '\0' || !actions_address_allowed(address, generation_of(p)) || !actions_port(port)) return 1;
  char name[TAVO_VALUE_SIZE], initiator[TAVO_VALUE_SIZE];
  if (!read_text(target, "TargetISCSIName", name) || !actions_initiator_name(p.lhba, initiator)) return 1;
  for (TavoNode* tp = get_first_instance(target, "TargetPortal"); tp != nullptr; tp = next_instance(tp)) {
    PortalText t;
    if (actions_portal_text(tp, &t) && is_word(t.address, address) && same_port(t.port, port)) {
      targets_status(214);
      return 1;
    }
  }
  if (OPEN_ISCSI_DRIVER_LOADED) TAVO_add_open_iscsi_target(target, params);
  TavoNode* portal = setup_portal(target, address, port, "0", nullptr, nullptr, nullptr);
  if (portal == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s has no free TargetPortal instance\n", __func__, name);
    return 1;
  }
  // As for a new target: no portal without its saved lines.
  NewPortal n{p, target, portal, name, address, port, initiator};
  const uint32_t saved = add_target_line(p.lhba, target, name, address, port, nullptr, "True", initiator);
  if (saved != 0) {
    tavo::iscsi::keeping_last_status([&] { delete_node(portal); });
    return saved;
  }
  actions_keep(n);
  if (OPEN_ISCSI_DRIVER_LOADED) return 0;
  return actions_persist(std::move(n), "False");
}

uint32_t delete_target(TavoNode* lhba, TavoNode* action, char* params, SavedBatch& batch) {
  if (lhba == nullptr || params == nullptr) return 1;
  TavoNode* target = get_selected_group_node(lhba, "Target", param(params, 0));
  if (target == nullptr) {
    targets_status(20);
    return 1;
  }
  char name[TAVO_VALUE_SIZE];
  if (!read_text(target, "TargetISCSIName", name) || !actions_sessions_closed(target, name, action, nullptr))
    return 1;
  TavoNode* first = get_first_instance(target, "TargetPortal");
  if (OPEN_ISCSI_DRIVER_LOADED && first != nullptr) {
    char address[TAVO_VALUE_SIZE];
    read_text(first, "TargetIPAddress", address);
    const uint32_t removed = TAVO_delete_open_iscsi_target(target, address);
    if (removed != 0 && removed != 21) return 1;
  }
  std::vector<PortalText> portals;
  for (TavoNode* tp = first; tp != nullptr; tp = next_instance(tp))
    if (!actions_portal_text(tp, &portals.emplace_back())) return 1;
  return actions_forget(batch, lhba, name, portals, target);
}

uint32_t delete_target_portal(TavoNode* target, TavoNode* action, char* params, SavedBatch& batch) {
  if (target == nullptr || params == nullptr) return 1;
  TavoNode* portal = get_selected_group_node(target, "TargetPortal", param(params, 0));
  if (portal == nullptr) {
    targets_status(20);
    return 1;
  }
  char name[TAVO_VALUE_SIZE];
  std::vector<PortalText> portals(1);
  if (!read_text(target, "TargetISCSIName", name) || !actions_sessions_closed(target, name, action, portal) ||
      !actions_portal_text(portal, &portals[0]))
    return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) TAVO_delete_open_iscsi_tpg(portal, portals[0].address, portals[0].port);
  return actions_forget(batch, target->parent, name, portals, portal);
}

}  // namespace

uint32_t do_AddTarget(TavoNode* lhba, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  add_target_beside(lhba, params);
  // The initiator's name block, the sessions and their configurations are
  // read once (the persistent entry added makes the sessions read anew).
  tavo::iscsi::ReadScope reads;
  SavedBatch batch;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  const uint32_t added = batch.end(add_target(p, action, params));
  // What start-up read of the function's sessions, for the targets still
  // waiting, takes the add's in, so that their build reads none again.
  if (tavo::sessions::WaitingSessions* w = tavo::sessions::waiting_sessions_of(lhba)) w->renew(p);
  return added;
}

uint32_t do_AddTargetPortal(TavoNode* target, TavoNode*, char* params) {
  TAVO_LIBRARY_LOCK;
  tavo::iscsi::ReadScope reads;  // as AddTarget's
  SavedBatch batch;
  return batch.end(add_target_portal(target, params));
}

uint32_t do_DeleteTarget(TavoNode* lhba, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  SavedBatch batch;
  return batch.end(delete_target(lhba, action, params, batch));
}

uint32_t do_DeleteTargetPortal(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  SavedBatch batch;
  return batch.end(delete_target_portal(target, action, params, batch));
}
