// The last start-up step: every iSCSI function gets its LogicalHBA0 with
// the initiator's saved login options, the adapter name, the function's
// network state and its iSNS servers, controller by controller; the
// controller's configuration signature tells whether the saved initiator
// options still hold.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/library_lock.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/devices.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/network_records.h"
#include "tree/handler_context.h"
#include "tree/waiting.h"

using namespace tavo::targets;
using tavo::tree::handler_context;
using tavo::tree::HandlerContext;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

// A signature other than the library's means the controller's
// configuration was reset: its saved initiator options go (those of other
// controllers stay). The library's signature is written back.
void startup_signature(uint32_t function_number, int32_t controller) {
  tavo::ConfigSignature record{};
  ioctl_get_config_sign(function_number, &record, 0, 0, static_cast<uint32_t>(controller));
  if (record.signature != tavo::kConfigSignature) {
    const std::vector<Match> match = {{Field::Controller, "Corvane" + std::to_string(controller)}};
    drop_lines(Saved::Initiator, match);
  }
  record = tavo::ConfigSignature{};
  record.signature = tavo::kConfigSignature;
  ioctl_set_config_sign(function_number, &record, 0, 0, static_cast<uint32_t>(controller));
}

// The discovery block of the iSNS group's function; 0, else the read's
// status with status 80.
uint32_t startup_discovery_block(const HandlerContext& t, tavo::DiscoveryParamsBlock* b) {
  if (!t) return 1;
  *b = tavo::DiscoveryParamsBlock{};
  const uint32_t r = ioctl_get_discoveryparams(t.number, b, t.domain, t.port);
  if (r != 0) targets_status(80);
  return r;
}

// What a LogicalHBA's targets wait with until a client reaches them: the
// firmware's listing and the function's sessions start-up read (the
// sessions held as the base, which the branch below reaches through the
// wait), and whether start-up's network set-up reached the targets. The
// saved lines stay in the file's view, the LogicalHBA's key their lookup:
// the build copies them when it runs. The tree's wait owns it.
struct WaitingTargets : tavo::sessions::WaitingSessions {
  // Another process changed the files or the adapter since start-up read
  // them: they are built from them as they are.
  bool changed_elsewhere() const { return read_at != tavo::sessions::outside_root_changes(); }
  const uint64_t read_at = tavo::sessions::outside_root_changes();
  bool reached = false;  // false: the network set-up stopped before the targets
  uint32_t result = 0;   // of the network set-up and the firmware's listing
  ListedTargets listed;
  // The listed names' target_name_hash, each with its place, in order: a
  // lookup by name reads the few records of its hash.
  std::vector<std::pair<uint64_t, uint32_t>> listed_names;
  // The LogicalHBA's key and a target's name: a lookup of the saved lines.
  std::vector<Match> named;
  bool listed_named(const char* name) const;
};

bool WaitingTargets::listed_named(const char* name) const {
  const size_t length = strlen(name);
  const uint64_t hash = tavo::target_data::target_name_hash(std::string_view(name, length));
  for (auto it = std::lower_bound(listed_names.begin(), listed_names.end(), std::make_pair(hash, uint32_t{0}));
       it != listed_names.end() && it->first == hash; ++it)
    if (const std::string_view text = listed.name(it->second);
        text.size() == length && strncasecmp(text.data(), name, length) == 0)
      return true;
  return false;
}

// The LogicalHBA's waiting targets; null when its targets do not wait.
WaitingTargets* waiting_targets(TavoNode* lhba) {
  void* data = tavo::tree::waiting_data(lhba, &target_definition());
  return data != nullptr ? static_cast<WaitingTargets*>(static_cast<tavo::sessions::WaitingSessions*>(data)) : nullptr;
}

// The targets, sessions and LUNs of a LogicalHBA from what start-up read
// and the saved lines: as start-up built them before it left them to
// wait. at_startup: a listed target's missing line is written (a build
// later writes nothing).
uint32_t startup_build_targets(TavoNode* lhba, WaitingTargets& waiting, const SavedLines& lines, bool at_startup) {
  tavo::iscsi::ReadScope reads;
  waiting.release(lhba);
  // Targets that joined them while they waited are built whole: their
  // lines are none of the build's.
  const std::unordered_set<std::string> joined = built_target_names(lhba);
  uint32_t result = 0;
  if (waiting.reached) {
    char work[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE] = {};
    build_listed_targets(waiting.listed, at_startup);
    result = setup_iscsi_sessions(lhba, waiting.result, work);
  }
  if (result != 0) {
    char function[TAVO_NAME_SIZE];
    tavo::tree::display_name(lhba->parent, function);
    pdebug(TAVO_LOG_BACKEND, 3, "%s:setup_iscsi failed for %s\n", "TAVO_set_lhba_prop", function);
  }
  return (sync_startup_targets(lhba, lines, &joined) != 0 ? 1 : 0) | (result != 0 ? 1 : 0);
}

// The build of a LogicalHBA's waiting targets, when first reached: from
// what start-up read and the saved lines, unless another process changed
// the files or the adapter since (then from them as they are, writing
// nothing).
uint32_t build_waiting_targets(TavoNode* lhba, void* data) {
  TAVO_LIBRARY_LOCK;
  auto* waiting = static_cast<WaitingTargets*>(static_cast<tavo::sessions::WaitingSessions*>(data));
  if (waiting == nullptr) return 1;
  if (waiting->changed_elsewhere()) {
    waiting->let_go();
    return waiting->reached ? follow_saved_targets(lhba) : 0;
  }
  // The lines are the file's as start-up's pass left them: this process
  // changed none of the LogicalHBA's since but those of Targets that
  // joined them, built whole.
  SavedLines lines;
  const uint32_t read = saved_target_lines(lhba, &lines) ? 0 : 1;
  return startup_build_targets(lhba, *waiting, lines, false) | read;
}

// A function's start-up of its targets. What changes the adapter or the
// saved files runs now: the network set-up, the firmware's listing (which
// writes the initiator's name), the saved lines' pass. What only builds
// the tree waits, unless a listed target lacks its saved line, which its
// listing adds, or the host's software initiator lists them (all built
// now, in the order start-up always took).
void startup_functions_targets(TavoNode* lhba, char (*keys)[TAVO_VALUE_SIZE]) {
  if (OPEN_ISCSI_DRIVER_LOADED) {
    char work[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
    if (setup_iscsi(lhba, "True", nullptr, 0, work) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:setup_iscsi failed for %s\n", "TAVO_set_lhba_prop", keys[1]);
    TAVO_set_target_loginopts_prop(keys, lhba);
    return;
  }
  const auto waiting = std::make_shared<WaitingTargets>();
  const uint32_t network = setup_iscsi_network(lhba, "True", &waiting->reached);
  if (waiting->reached) {
    const HandlerContext c = handler_context(lhba);
    pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", "get_all_targets");
    waiting->result = network | read_listed_targets(lhba, c.number, c.domain, c.port, 0, &waiting->listed);
  } else {
    waiting->result = network;
  }
  bool any_portal = false;
  const bool lines_present = !waiting->reached || listed_lines_present(waiting->listed, &any_portal);
  // The function's session list is read as the listing's persistence
  // lookup reads it first: in one command, kept for the rest of the scope.
  std::vector<uint32_t> handles;
  if (any_portal) active_session_handles(handler_context(lhba), &handles);
  // A new session elsewhere must not take a qualifier of the sessions
  // that wait (the build lists them when the listing above succeeded):
  // unread, they are built now.
  if (waiting->reached && (!lines_present || (waiting->result == 0 && waiting->hold(lhba) != 0))) {
    startup_build_targets(lhba, *waiting, SavedLines(), true);
    TAVO_set_target_loginopts_prop(keys, lhba);
    return;
  }
  if (!waiting->reached) pdebug(TAVO_LOG_BACKEND, 3, "%s:setup_iscsi failed for %s\n", "TAVO_set_lhba_prop", keys[1]);
  std::vector<uint64_t> names;
  startup_target_lines(keys, nullptr, &names);
  waiting->named = key_matches(LhbaKey{{keys[0], keys[1], keys[2]}}, {{Field::TargetName, {}}});
  for (uint32_t i = 0; i < waiting->listed.size(); ++i)
    if (const std::string_view name = waiting->listed.name(i); !name.empty())
      waiting->listed_names.emplace_back(tavo::target_data::target_name_hash(name), i);
  std::sort(waiting->listed_names.begin(), waiting->listed_names.end());
  // A call anywhere in the function finds them built: its handlers, of
  // any branch, may look at the function's targets. The slots of the
  // Targets the build makes are kept when they are known.
  const int32_t built = startup_target_count(std::move(names), waiting->listed);
  tavo::tree::defer_instances(lhba, lhba->parent, target_definition(), build_waiting_targets,
                              std::shared_ptr<tavo::sessions::WaitingSessions>(waiting), built);
}

}  // namespace

bool tavo::targets::may_wait_named(TavoNode* lhba, const char* name) {
  TAVO_LIBRARY_LOCK;
  if (name == nullptr || name[0] == '\0' || !tavo::tree::children_wait(lhba)) return false;
  WaitingTargets* w = waiting_targets(lhba);
  if (w == nullptr || w->changed_elsewhere()) return true;
  if (w->listed_named(name)) return true;
  w->named.back().value.assign(name);
  bool found = true;  // a file that cannot be read may hold it
  with_view(Saved::Targets, [&](const SavedView& view) { found = view.find(w->named) != nullptr; });
  return found;
}

uint32_t handle_iSCSIPhysicalHBA_LogicalHBA_Enabled(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op != TAVO_PROPERTY_SET) return handle_internal_property(property, buf, op);
  if (is_word(buf, "False")) {
    targets_status(47);
    return 1;
  }
  return handle_internal_property(property, buf, op);
}

uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  if (property == nullptr || property->parent == nullptr || buf == nullptr) return 1;
  TavoNode* isns = property->parent;
  const HandlerContext t = handler_context(isns);
  if (op == TAVO_PROPERTY_SET) {
    tavo::DiscoveryParamsBlock block;
    if (startup_discovery_block(t, &block) != 0) return 1;
    const bool enable = is_word(buf, "Yes");
    if (enable && (block.isns_flags & tavo::kIsnsEnabled) != 0) return 0;
    // Only the enable bit changes: the servers and the rest stay as read.
    if (enable)
      block.isns_flags |= tavo::kIsnsEnabled;
    else
      block.isns_flags &= static_cast<uint16_t>(~tavo::kIsnsEnabled);
    if (ioctl_set_discoveryparams(t.number, &block, t.domain, t.port) != 0) {
      targets_status(81);
      return 1;
    }
  } else if (op != TAVO_PROPERTY_GET) {
    return 0;
  }
  if (!t || get_discovery_params(t.number, t.domain, t.port, isns) != 0)
    return 1;
  return op == TAVO_PROPERTY_GET ? handle_internal_property(property, buf, op) : 0;
}

uint32_t TAVO_set_lhba_prop(void) {
  TAVO_LIBRARY_LOCK;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  // A change of a session's two stores cut short is settled first.
  tavo::sessions::settle_pending(true);
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c)) {
    // Controllers with iSCSI functions come first: the walk ends at one without.
    TavoNode* first = get_first_instance(c, "iSCSIPhysicalHBA");
    const HandlerContext first_context = handler_context(first);
    if (first == nullptr || !first_context) return 1;
    const int32_t controller = instance_number(c);
    startup_signature(first_context.number, controller);
    for (TavoNode* fn = first; fn != nullptr; fn = next_instance(fn)) {
      // The function's sessions, their records and list, read once for all
      // of its start-up (a change of them forgets what was read).
      tavo::iscsi::ReadScope reads;
      TavoNode* lhba = initialize_LogicalHBA(fn, nullptr, nullptr, nullptr);
      const HandlerContext function = handler_context(fn);
      const uint32_t function_number = function.number;
      if (lhba == nullptr || !function) return 1;
      char keys[3][TAVO_VALUE_SIZE];
      snprintf(keys[0], sizeof keys[0], "Corvane%d", controller);
      snprintf(keys[1], sizeof keys[1], "iSCSIPhysicalHBA%d", instance_number(fn));
      snprintf(keys[2], sizeof keys[2], "LogicalHBA0");
      TAVO_set_ini_loginopts_prop(lhba, keys);
      char name[TAVO_VALUE_SIZE] = "";
      if (ioctl_get_vmhba_name(function_number, name) == 0) set_prop_val(lhba, "IfName", "%s", name);
      // A function whose state cannot be read is still shown, with its
      // defaults.
      char work[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
      startup_functions_targets(lhba, keys);
      TAVO_set_stp_loginopts_prop(keys, lhba);
      if (TavoNode* isns = internal_get_node(fn, "iSNS", TAVO_KIND_GROUP))
        get_all_isns(fn, function_number, function.domain, function.port, isns,
                     internal_get_node(isns, "ConfigureiSNSServer", TAVO_KIND_ACTION), work);
    }
  }
  return 0;
}
