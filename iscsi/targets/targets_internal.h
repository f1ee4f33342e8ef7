// What the steps that act on targets share: the data below them
// (target_records.h) and the builders of their groups.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/target_records.h"
#include "iscsi/targets/targets.h"

namespace tavo::targets {

// The steps work on the data below them in its own words.
using namespace target_data;
using namespace iscsi;

// The firmware's active session handles (29/6, the whole buffer asked at
// once); false when the command fails.
bool active_session_handles(const tree::HandlerContext& p, std::vector<uint32_t>* handles);
// The persistence of the sessions of each target of one function, for a
// listing that asks it of every target: the function's active sessions
// listed at the first lookup, their records read in the list's order as
// far as a lookup needs, each once, and what they tell kept by target
// name, so the cost of all lookups follows the sessions, not sessions
// times targets. A command that changes sessions since makes the next
// lookup read again from the first.
class SessionPersistence {
 public:
  explicit SessionPersistence(const tree::HandlerContext& p) : p_(p) {}
  // "True" (persistent) or "False" into out[35] for the first of the
  // sessions whose target is name (without case); out unchanged without
  // one. 0, or 1 when the list or a session before it cannot be read.
  uint32_t lookup(const char* name, char* out);

 private:
  void drop_if_changed();
  tree::HandlerContext p_;
  bool listed_ = false;
  std::vector<uint32_t> handles_;
  size_t read_ = 0;  // the handles whose records were read
  std::unordered_map<std::string, bool> persistent_;  // by name in lower case
  uint64_t seen_ = 0;  // the changes noted when the first record was read
};

// Ends a change of a login option set: write (its lines) and batch
// written; with the set's target given, its closed sessions persisted
// again with the change (tavo::sessions::change_target_options). 0, or 1
// with the reason.
uint32_t save_option_change(SavedBatch& batch, TavoNode* target, const std::function<uint32_t()>& write);

// The most Targets a LogicalHBA holds, and portals a Target.
constexpr int32_t kMostTargets = 256;
constexpr int32_t kMostPortals = 64;
// The definition of the Target group.
const tree::GroupDef& target_definition();
// A Target as initialize_Target makes it, but that its TargetLoginOptions
// is its group alone, whose children wait (tree/waiting.h), unless an
// action makes it.
TavoNode* build_target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action, char* params);
// setup_target for a name the caller found no target of.
TavoNode* new_target(TavoNode* lhba, const char* name, TavoNode* creating_node, TavoNode* creating_action, char* params,
                     bool discovered);
// Whether a Target called name may be among lhba's waiting ones: those
// another process's change outdated may hold any name; else the firmware
// listed one so named, or the saved lines of the LogicalHBA's key hold
// the name.
bool may_wait_named(TavoNode* lhba, const char* name);
// The LogicalHBA's targets and portals brought in line with its saved
// lines and the firmware's targets as they are: what neither holds goes,
// what they hold and the tree lacks is built, with its sessions and LUNs.
// It writes nothing. 0, or 1 when not all could be read or built.
uint32_t follow_saved_targets(TavoNode* lhba);

// get_all_targets in two steps: the firmware's targets of a LogicalHBA
// read (the discovery block written with the initiator's name, the list,
// each record; those read before one that fails are kept), then listed
// into the tree with their saved lines (save_lines false: none is written).
struct ListedTargets {
  tree::HandlerContext context;  // lhba null: nothing was listed
  uint32_t discovered = 0;
  // The records one after another, each cut after the last byte a listing
  // reads of it (they may wait long with their LogicalHBA).
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> ends;
  size_t size() const { return ends.size(); }
  std::span<const uint8_t> record(size_t i) const {
    const uint32_t from = i == 0 ? 0 : ends[i - 1];
    return {bytes.data() + from, ends[i] - from};
  }
  std::string_view name(size_t i) const;
  void add(std::span<const uint8_t> record);
};
uint32_t read_listed_targets(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                             uint32_t discovered, ListedTargets* listed);
// The list and the records alone, asked of the firmware with that flag:
// what a read of the firmware's targets needs, writing nothing.
uint32_t read_target_records(const tree::HandlerContext& p, uint32_t discovered, ListedTargets* listed);
void build_listed_targets(const ListedTargets& listed, bool save_lines = true);
// Whether listing them would add no saved line: each portal has its line;
// any_portal tells whether they have one at all.
bool listed_lines_present(const ListedTargets& listed, bool* any_portal);
// Calls fn with each listed target's name and each of its portals.
void for_each_listed_portal(const ListedTargets& listed,
                            const std::function<void(std::string_view, const char*, const char*)>& fn);
// The Targets sync_startup_targets makes from the lines start-up's pass
// kept (the target_name_hash of each) in a LogicalHBA whose firmware
// listed these: one of each name; -1 when they might be others: a name on
// more lines than a Target holds portals (the pass stops there), a listed
// name no line holds, or more than a LogicalHBA holds. Two names of one
// LogicalHBA that share a hash count once: an add beside the Targets
// then takes a slot of theirs, which the build moves past.
int32_t startup_target_count(std::vector<uint64_t> names, const ListedTargets& listed);

// setup_iscsi in steps, for a start-up that leaves the targets to wait:
// the LogicalHBA's network state (reached_targets false when the set-up
// stopped before the targets, which are then not listed); then, after the
// targets' listing, given the result of both, the sessions and LUNs
// (none after a failure, which is answered).
uint32_t setup_iscsi_network(TavoNode* lhba, const char* enabled, bool* reached_targets);
uint32_t setup_iscsi_sessions(TavoNode* lhba, uint32_t result, char* work);

// TAVO_set_target_loginopts_prop in two steps: the saved lines of the
// LogicalHBA of keys (the file loses its unusable ones; those kept are
// copied to usable when given, their names' hashes to names), then the
// tree given them.
uint32_t startup_target_lines(char (*keys)[TAVO_VALUE_SIZE], SavedLines* usable,
                              std::vector<uint64_t>* names = nullptr);
// The LogicalHBA's lines that pass kept, copied from the file as it is;
// false when it cannot be read.
bool saved_target_lines(TavoNode* lhba, SavedLines* usable);
// The lines of a name in passed_over (folded) are left alone.
uint32_t sync_startup_targets(TavoNode* lhba, const SavedLines& usable,
                              const std::unordered_set<std::string>* passed_over = nullptr);
// The names of the LogicalHBA's Targets built, folded.
std::unordered_set<std::string> built_target_names(TavoNode* lhba);

}  // namespace tavo::targets
