// The tree's targets and portals in step with savetgt.txt: at start-up (the
// file's unusable lines of the LogicalHBA go, the others build targets and
// portals with their options) and on refresh (what the file lacks goes,
// what it holds is added). Lines match by whole fields.
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/library_lock.h"
#include "base/root_gate.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/glob.h"
#include "tree/waiting.h"

using namespace tavo::targets;
using tavo::tree::next_instance;

namespace {

std::string_view sync_field(const SavedFields& line, Field f) { return field_of(line, Saved::Targets, f); }
const char* sync_text(const SavedFields& line, Field f) { return field_text(line, Saved::Targets, f); }

// A line without a name, an address or a port.
bool sync_incomplete(std::span<const std::string_view> fields) {
  for (const Field f : {Field::TargetName, Field::Address, Field::Port})
    if (fields[static_cast<size_t>(position(Saved::Targets, f))].empty()) return true;
  return false;
}

// The LogicalHBA's Targets read once for all the start-up lines: by the
// name of the line that made each (folded; the first in instance order of
// each), and the names they keep (folded), which a new Target's name must
// not repeat.
struct SyncTargets {
  std::unordered_map<std::string, TavoNode*> by_line;
  std::unordered_set<std::string> kept;
  // The names whose target has a line of its own (without an ISID
  // qualifier), and those whose options that line gave already.
  std::unordered_set<std::string> own_line, options_given;
};
std::string sync_folded(const char* name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return folded;
}

// A Static target built from a line, with its portal and type; the
// LogicalHBA's AddTarget with the name, address and port creates it. Given
// the LogicalHBA's Targets, the name is checked among the names they keep
// rather than by a walk of them all.
TavoNode* sync_new_target(TavoNode* lhba, const SavedFields& line, bool discovered, SyncTargets* known = nullptr) {
  tavo::iscsi::ParamTexts params;
  snprintf(params.text[0], TAVO_VALUE_SIZE, "%s", sync_text(line, Field::TargetName));
  snprintf(params.text[1], TAVO_VALUE_SIZE, "%s", sync_text(line, Field::Address));
  snprintf(params.text[2], TAVO_VALUE_SIZE, "%s", decimal_port(sync_field(line, Field::Port)).c_str());
  TavoNode* action = internal_get_node(lhba, "AddTarget", TAVO_KIND_ACTION);
  TavoNode* target = nullptr;
  if (known == nullptr)
    target = setup_target(lhba, params.text[0], lhba, action, params.data(), discovered ? 1 : 0);
  else if (known->kept.count(sync_folded(params.text[0])) == 0)
    target = new_target(lhba, params.text[0], lhba, action, params.data(), discovered);
  if (target == nullptr) return nullptr;
  if (setup_portal(target, params.text[1], params.text[2], "0", nullptr, nullptr, nullptr) == nullptr) {
    delete_with_records(target);
    return nullptr;
  }
  if (known != nullptr) known->kept.insert(sync_folded(params.text[0]));
  return target;
}

void sync_type(TavoNode* target, const SavedFields& line) {
  const char* type = sync_text(line, Field::TargetType);
  set_prop_val(target, "TargetType", "%s", type[0] == '\0' ? "Static" : type);
}

// The Targets already there; false when one lacks its name or its option
// groups.
bool sync_targets(TavoNode* lhba, SyncTargets* targets) {
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    char text[TAVO_VALUE_SIZE];
    TavoNode* options = internal_get_node(t, "TargetLoginOptions", TAVO_KIND_GROUP);
    if (!read_text(t, "TargetISCSIName", text) || options == nullptr ||
        (!tavo::tree::children_wait(options) && internal_get_node(options, "Authentication", TAVO_KIND_GROUP) == nullptr))
      return false;
    targets->by_line.emplace(sync_folded(text), t);
    targets->kept.insert(sync_folded(text));
  }
  return true;
}

// One usable start-up line in the tree: its target (made when missing),
// its portal unless a portal or session goes there, and its options. A
// target's options are those of its first own line, which every later
// read of them reloads: a session's line gives them only to a target
// without one.
uint32_t sync_startup_line(TavoNode* lhba, const SavedFields& line, SyncTargets* targets) {
  const char* name = sync_text(line, Field::TargetName);
  const std::string folded = sync_folded(name);
  const bool options = sync_field(line, Field::Qualifier).empty() ? targets->options_given.insert(folded).second
                                                                  : targets->own_line.count(folded) == 0;
  const char* address = sync_text(line, Field::Address);
  const char* port = sync_text(line, Field::Port);
  const auto known = targets->by_line.find(sync_folded(name));
  TavoNode* target = known != targets->by_line.end() ? known->second : nullptr;
  if (target == nullptr) {
    target = sync_new_target(lhba, line, false, targets);
    if (target == nullptr) return 1;
    targets->by_line.emplace(sync_folded(name), target);
    sync_type(target, line);
  } else if (find_target_portal(target, address, port) == nullptr && find_session(target, address, port) == nullptr) {
    if (setup_portal(target, address, port, "0", nullptr, nullptr, nullptr) == nullptr) return 1;
    sync_type(target, line);
  }
  return !options || store_line_options(target, "TargetLoginOptions", Saved::Targets, line) ? 0 : 1;
}

}  // namespace

uint32_t tavo::targets::startup_target_lines(char (*keys)[TAVO_VALUE_SIZE], SavedLines* usable,
                                             std::vector<uint64_t>* names) {
  // The file loses the LogicalHBA's unusable lines, and a port saved in
  // another form than decimal is written in decimal; every other line stays.
  // The tree takes the lines read also when the file could not be written:
  // it then shows what the file still holds.
  return startup_lines(Saved::Targets, LhbaKey{{keys[0], keys[1], keys[2]}}, sync_incomplete, usable, names);
}

bool tavo::targets::saved_target_lines(TavoNode* lhba, SavedLines* usable) {
  LhbaKey key;
  return lhba_key(lhba, &key) && usable_lines(Saved::Targets, key, sync_incomplete, usable);
}

uint32_t tavo::targets::sync_startup_targets(TavoNode* lhba, const SavedLines& usable,
                                             const std::unordered_set<std::string>* passed_over) {
  SyncTargets targets;
  if (!usable.empty() && !sync_targets(lhba, &targets)) return 1;
  const auto passed = [&](const SavedFields& line) {
    return passed_over != nullptr && passed_over->count(sync_folded(sync_text(line, Field::TargetName))) != 0;
  };
  for (const SavedFields& line : usable)
    if (sync_field(line, Field::Qualifier).empty()) targets.own_line.insert(sync_folded(sync_text(line, Field::TargetName)));
  for (const SavedFields& line : usable)
    if (!passed(line) && sync_startup_line(lhba, line, &targets) != 0) return 1;
  return 0;
}

std::unordered_set<std::string> tavo::targets::built_target_names(TavoNode* lhba) {
  std::unordered_set<std::string> names;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t))
    if (const char* name = tavo::target_data::target_stored_name(t)) names.insert(sync_folded(name));
  return names;
}

int32_t tavo::targets::startup_target_count(std::vector<uint64_t> names, const ListedTargets& listed) {
  std::sort(names.begin(), names.end());
  int32_t count = 0;
  for (size_t run = 0; run < names.size();) {
    size_t end = run + 1;
    while (end < names.size() && names[end] == names[run]) ++end;
    // More lines than a Target holds portals: its portals may run out.
    if (end - run >= static_cast<size_t>(kMostPortals)) return -1;
    ++count;
    run = end;
  }
  // A listed target no line names would be one more.
  for (size_t i = 0; i < listed.size(); ++i)
    if (const std::string_view name = listed.name(i);
        !name.empty() && !std::binary_search(names.begin(), names.end(), tavo::target_data::target_name_hash(name)))
      return -1;
  return count < kMostTargets ? count : -1;
}

uint32_t TAVO_set_target_loginopts_prop(char (*keys)[TAVO_VALUE_SIZE], TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  if (keys == nullptr || lhba == nullptr) return 1;
  SavedLines usable;
  const uint32_t rewritten = startup_target_lines(keys, &usable);
  return sync_startup_targets(lhba, usable) != 0 ? 1 : rewritten;
}

uint32_t TAVO_sync_targets_with_file(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  LhbaKey key;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (!below_lhba(p) || !lhba_key(lhba, &key)) return 1;
  std::vector<TavoNode*> gone;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    char name[TAVO_VALUE_SIZE];
    if (!read_text(t, "TargetISCSIName", name)) return 1;
    bool kept = true;
    std::vector<TavoNode*> gone_portals;
    const bool read = with_view(Saved::Targets, [&](const SavedView& view) {
      if (!view.exists()) return;
      const std::vector<Match> target_match = key_matches(key, {{Field::TargetName, name}});
      kept = view.find(target_match) != nullptr;
      for (TavoNode* tp = get_first_instance(t, "TargetPortal"); kept && tp != nullptr; tp = next_instance(tp)) {
        char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
        if (!read_text(tp, "TargetIPAddress", address) || !read_text(tp, "TargetPortNumber", port)) continue;
        const std::vector<Match> portal_match =
            key_matches(key, {{Field::TargetName, name}, {Field::Address, address}, {Field::Port, port}});
        if (view.find(portal_match) == nullptr) gone_portals.push_back(tp);
      }
    });
    if (!read) return 1;
    if (!kept) gone.push_back(t);
    for (TavoNode* tp : gone_portals) delete_with_records(tp);
  }
  for (TavoNode* t : gone) delete_with_records(t);
  return 0;
}

namespace {

// A target's name and a portal of it as keys, folded as the tree compares
// them (a name without case, a port in decimal).
std::string held_target(std::string_view name) { return sync_folded(std::string(name).c_str()); }
std::string held_portal(std::string_view name, std::string_view address, std::string_view port) {
  return held_target(name) + '\n' + std::string(address) + '\n' + decimal_port(port);
}

// What the saved lines and the firmware's list hold: targets by name, and
// their portals.
struct Held {
  std::unordered_set<std::string> targets, portals;
};
Held held_by(const ListedTargets& listed, const SavedLines& lines) {
  Held held;
  for (const SavedFields& line : lines) {
    held.targets.insert(held_target(sync_field(line, Field::TargetName)));
    held.portals.insert(
        held_portal(sync_field(line, Field::TargetName), sync_field(line, Field::Address), sync_field(line, Field::Port)));
  }
  for_each_listed_portal(listed, [&](std::string_view name, const char* address, const char* port) {
    held.targets.insert(held_target(name));
    held.portals.insert(held_portal(name, address, port));
  });
  return held;
}

}  // namespace

uint32_t tavo::targets::follow_saved_targets(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  tavo::iscsi::ReadScope reads;
  LhbaKey key;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (!below_lhba(p) || !lhba_key(lhba, &key)) return 1;
  ListedTargets listed;
  uint32_t result = read_target_records(p, 0, &listed);
  SavedLines lines;
  if (!usable_lines(Saved::Targets, key, sync_incomplete, &lines)) return 1;
  // What neither holds goes, a portal as a target.
  const Held held = held_by(listed, lines);
  std::vector<TavoNode*> gone;
  std::unordered_set<TavoNode*> before;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    char name[TAVO_VALUE_SIZE];
    if (!read_text(t, "TargetISCSIName", name)) return 1;
    if (held.targets.count(held_target(name)) == 0) {
      gone.push_back(t);
      continue;
    }
    before.insert(t);
    std::vector<TavoNode*> gone_portals;
    for (TavoNode* tp = get_first_instance(t, "TargetPortal"); tp != nullptr; tp = next_instance(tp)) {
      char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
      if (read_text(tp, "TargetIPAddress", address) && read_text(tp, "TargetPortNumber", port) &&
          held.portals.count(held_portal(name, address, port)) == 0)
        gone_portals.push_back(tp);
    }
    for (TavoNode* tp : gone_portals) delete_with_records(tp);
  }
  for (TavoNode* t : gone) delete_with_records(t);
  // The sessions another process ended go first: the listing could not
  // place a target's new session beside one it cannot read.
  const uint32_t dropped = tavo::sessions::drop_ended_sessions(lhba);
  // What they hold and the tree lacks is built, with its sessions and LUNs.
  if (result == 0) build_listed_targets(listed, false);
  result |= dropped | sync_startup_targets(lhba, lines);
  char work[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE] = {};
  result |= get_all_sessions(lhba, p.number, p.domain, p.port, nullptr, nullptr, work);
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    if (before.count(t) != 0) continue;
    char answer[TAVO_VALUE_SIZE] = "";
    tavo::iscsi::ParamTexts luns;
    get_all_luns(t, p.domain, p.port, t, internal_get_node(t, "ReScanLUNS", TAVO_KIND_ACTION), luns.data(), answer);
  }
  return result != 0 ? 1 : 0;
}

void tavo::targets::follow_saved_files() {
  TAVO_LIBRARY_LOCK;
  // What a process killed in a change left half-done of a session's two
  // stores first.
  if (tavo::base::root_change_cut()) tavo::sessions::settle_pending();
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c))
    for (TavoNode* fn = get_first_instance(c, "iSCSIPhysicalHBA"); fn != nullptr; fn = next_instance(fn)) {
      TavoNode* lhba = get_first_instance(fn, "LogicalHBA");
      if (lhba == nullptr) continue;
      // Targets that wait are built from the files as they are.
      if (!tavo::tree::children_wait(lhba)) follow_saved_targets(lhba);
      if (TavoNode* discovery = internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP)) group_Discovery(discovery);
    }
}

uint32_t add_target_from_file(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  LhbaKey key;
  SavedLines lines;
  if (!lhba_key(lhba, &key)) return 1;
  if (!copy_lines(Saved::Targets, key_matches(key), &lines)) return 1;
  for (const SavedFields& line : lines) {
    std::string_view fields[kMaxFields];
    if (!line_usable(Saved::Targets, sync_incomplete, {fields, line.views(fields)})) continue;
    const char* name = sync_text(line, Field::TargetName);
    TavoNode* target = find_target(lhba, name);
    if (target != nullptr) {
      const char* address = sync_text(line, Field::Address);
      const char* port = sync_text(line, Field::Port);
      if (find_target_portal(target, address, port) == nullptr &&
          setup_portal(target, address, port, "0", nullptr, nullptr, nullptr) == nullptr)
        return 1;
      continue;
    }
    target = sync_new_target(lhba, line, !is_word(sync_text(line, Field::TargetType), "Static"));
    if (target == nullptr) return 1;
    sync_type(target, line);
    if (!store_line_options(target, "TargetLoginOptions", Saved::Targets, line)) return 1;
    if (sync_field(line, Field::Qualifier).empty()) continue;
    // A saved session logs in again; its result is the login's own affair.
    tavo::iscsi::ParamTexts login;
    snprintf(login.text[0], TAVO_VALUE_SIZE, "%s", sync_text(line, Field::Address));
    snprintf(login.text[1], TAVO_VALUE_SIZE, "%s", decimal_port(sync_field(line, Field::Port)).c_str());
    snprintf(login.text[2], TAVO_VALUE_SIZE, "%s", sync_text(line, Field::InitiatorName));
    snprintf(login.text[3], TAVO_VALUE_SIZE, "%s", sync_text(line, Field::Qualifier));
    do_Login(target, internal_get_node(target, "Login", TAVO_KIND_ACTION), login.data());
  }
  return 0;
}
