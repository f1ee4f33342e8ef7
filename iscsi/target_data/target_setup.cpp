// Targets and their portals: lookups and the target type kept in
// savetgt.txt.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/target_records.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "tree/state_changes.h"
#include "tree/waiting.h"

using namespace tavo::target_data;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

// The stored name of a target (its property keeps the stored text); null
// without one. Its place among the first children makes this cheap.
const char* setup_stored_name(TavoNode* target) {
  for (TavoNode* c = tavo::tree::first_child(target); c != target; c = c->next)
    if (c->kind == TAVO_KIND_PROPERTY && strcmp(c->name, "TargetISCSIName") == 0)
      return tavo::tree::property_record(c)->value;
  return nullptr;
}

using tavo::iscsi::GroupKey;

// Filed by the hash of its name without case: a lookup compares the names
// it finds.
bool setup_answers(const GroupKey& key, TavoNode* target) {
  const char* text = setup_stored_name(target);
  return text != nullptr && target_name_hash(text) == key.value;
}

// The Targets by name, under the group they were built in. A Target is
// filed when it is built (the builder's hook), before its builder names
// it: it waits beside its group's names, compared as it stands, until its
// name is no longer the one it was built with or a public call began or
// ended since its build; it is filed by its name then. A Target's name
// changes once at most (when its builder names it, before the next
// public call begins or ends), so every Target is filed by its name or
// waits, and a lookup reads only the few filed under its name; what it
// finds answers to the name now (node_index.h).
class TargetIndex {
 public:
  void built(TavoNode* target) {
    TavoNode* group = target->parent;
    settle(group, [](TavoNode*) {});
    // The groups the tree deleted leave their last Targets waiting: they
    // go once such groups may outnumber the others.
    if (waiting_.size() >= 2 * groups_kept_ + 64) {
      for (auto it = waiting_.begin(); it != waiting_.end();) {
        std::erase_if(it->second, [](const Waiting& w) { return tavo::tree::ref_node(w.h, w.ref) != w.target; });
        it = it->second.empty() ? waiting_.erase(it) : std::next(it);
      }
      groups_kept_ = waiting_.size();
    }
    const TavoHierarchy* h = hm_find_hierarchy_by_node(target);
    if (h == nullptr) return;
    const char* text = setup_stored_name(target);
    waiting_[group].push_back({h, tavo::tree::node_ref(target), target, tavo::tree::state_changes(),
                               text != nullptr ? target_name_hash(text) : 0});
  }

  // The first (instance order) Target under group named name, case aside.
  TavoNode* find(TavoNode* group, const char* name) {
    TavoNode* found = nullptr;
    const auto consider = [&](TavoNode* t) {
      const char* text = setup_stored_name(t);
      if (text != nullptr && strcasecmp(text, name) == 0 &&
          (found == nullptr || instance_number(t) < instance_number(found)))
        found = t;
    };
    settle(group, consider);
    names_.each(GroupKey{group, target_name_hash(name)}, consider);
    return found;
  }

 private:
  struct Waiting {
    const TavoHierarchy* h;
    TavoNodeRef ref;
    TavoNode* target;
    uint64_t built_at;    // tree::state_changes() then
    uint64_t built_name;  // the hash of its name then
  };

  // Files the group's waiting Targets that may be, and gives the others
  // to consider.
  template <typename F>
  void settle(TavoNode* group, F&& consider) {
    const auto it = waiting_.find(group);
    if (it == waiting_.end()) return;
    const uint64_t now = tavo::tree::state_changes();
    std::vector<Waiting>& list = it->second;
    for (size_t i = 0; i < list.size();) {
      const Waiting& w = list[i];
      const char* text = tavo::tree::ref_node(w.h, w.ref) == w.target ? setup_stored_name(w.target) : nullptr;
      if (text != nullptr) {
        const uint64_t hash = target_name_hash(text);
        if (hash == w.built_name && w.built_at == now) {
          consider(w.target);
          ++i;
          continue;
        }
        names_.note(GroupKey{group, hash}, w.target);
      }
      list[i] = list.back();
      list.pop_back();
    }
    if (list.empty()) waiting_.erase(it);
  }

  tavo::iscsi::NodeIndex<setup_answers> names_;
  std::unordered_map<const TavoNode*, std::vector<Waiting>> waiting_;

 public:
  void release() {
    names_.release();
    std::unordered_map<const TavoNode*, std::vector<Waiting>>().swap(waiting_);
    groups_kept_ = 0;
  }

 private:
  size_t groups_kept_ = 0;  // the groups the last clearing left
};

TargetIndex& target_index() {
  static tavo::base::NoDestructor<TargetIndex> index;
  return *index;
}

#ifndef NDEBUG
// What the index stands for: every Target of the group built in turn.
TavoNode* setup_walk(TavoNode* group, const char* name) {
  for (TavoNode* t = get_first_instance(group, "Target"); t != nullptr; t = next_instance(t)) {
    const char* text = setup_stored_name(t);
    if (text != nullptr && strcasecmp(text, name) == 0) return t;
  }
  return nullptr;
}
#endif

}  // namespace

namespace {
// Eight bytes with their ASCII capitals made small, as strcasecmp sees
// them: per byte, 0x20 added where 'A' <= b <= 'Z'.
uint64_t folded_bytes(uint64_t w) {
  const uint64_t low = w & 0x7f7f7f7f7f7f7f7full;
  const uint64_t from_a = low + 0x3f3f3f3f3f3f3f3full;  // bit 7: at least 'A'
  const uint64_t past_z = low + 0x2525252525252525ull;  // bit 7: past 'Z'
  return w | ((from_a & ~past_z & ~w & 0x8080808080808080ull) >> 2);
}
}  // namespace

// Eight bytes at a time: a first add among thousands of saved lines hashes
// every line's name.
uint64_t tavo::target_data::target_name_hash(std::string_view name) {
  uint64_t h = 0x9e3779b97f4a7c15ull ^ name.size();
  const auto mix = [&h](uint64_t w) {
    h = (h ^ folded_bytes(w)) * 0xff51afd7ed558ccdull;
    h ^= h >> 32;
  };
  size_t i = 0;
  for (uint64_t w; i + 8 <= name.size(); i += 8) {
    memcpy(&w, name.data() + i, 8);
    mix(w);
  }
  uint64_t last = 0;
  if (i < name.size()) memcpy(&last, name.data() + i, name.size() - i);
  mix(last);
  return h;
}

const char* tavo::target_data::target_stored_name(TavoNode* target) {
  return target != nullptr && target->kind == TAVO_KIND_GROUP && target->record != nullptr ? setup_stored_name(target)
                                                                                           : nullptr;
}

void tavo::target_data::release_target_names() { target_index().release(); }

void tavo::target_data::note_target(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  if (target != nullptr && target->parent != nullptr) target_index().built(target);
}

TavoNode* tavo::target_data::built_target(TavoNode* lhba, const char* name) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || name == nullptr || name[0] == '\0') return nullptr;
  TavoNode* found = target_index().find(lhba, name);
#ifndef NDEBUG
  // A Target named otherwise than the index knows would be missed: the
  // debug builds check every lookup against the walk (of built Targets:
  // a walk would build those that wait).
  if (!tavo::tree::children_wait(lhba) && setup_walk(lhba, name) != found) {
    pdebug(TAVO_LOG_BACKEND, 0, "%s: the name index lost a target named %s\n", __func__, name);
    abort();
  }
#endif
  return found;
}

namespace {

// A portal's address and port as stored (neither property has a handler),
// read in one walk of its first children; false when one is missing.
bool portal_stored(TavoNode* portal, const char** address, const char** port) {
  *address = *port = nullptr;
  if (portal->kind != TAVO_KIND_GROUP || portal->record == nullptr) return false;
  for (TavoNode* c = tavo::tree::first_child(portal); c != portal && (*address == nullptr || *port == nullptr);
       c = c->next) {
    if (c->kind != TAVO_KIND_PROPERTY || c->name == nullptr) continue;
    const char** text = *address == nullptr && strcasecmp(c->name, "TargetIPAddress") == 0 ? address
                        : *port == nullptr && strcasecmp(c->name, "TargetPortNumber") == 0 ? port
                                                                                            : nullptr;
    if (text == nullptr) continue;
    if (c->record == nullptr) return false;
    *text = tavo::tree::property_record(c)->value;
  }
  return *address != nullptr && *port != nullptr;
}

}  // namespace

TavoNode* find_target_portal(TavoNode* target, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    const char *a, *n;
    if (!portal_stored(p, &a, &n)) continue;
    const bool address_ok = address == nullptr || address[0] == '\0' || strcmp(a, address) == 0;
    const bool port_ok = port == nullptr || port[0] == '\0' || same_port(n, port);
    if (address_ok && port_ok) return p;
  }
  return nullptr;
}

uint32_t validate_target_portal(TavoNode* target, uint32_t* instance, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  if (instance == nullptr || address == nullptr) return 1;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    const char *a, *n;
    if (!portal_stored(p, &a, &n)) continue;
    if (strcmp(a, address) == 0 && (port == nullptr || port[0] == '\0' || same_port(n, port))) {
      *instance = static_cast<uint32_t>(instance_number(p));
      return 0;
    }
  }
  return 1;
}

namespace {

// The matches of a target's saved line: its LogicalHBA's key and its name.
// Kept between reads (each under the library lock): their texts keep their
// room, so a read of the type allocates nothing.
bool type_matches(TavoNode* target, const char* name, std::array<Match, 4>** out) {
  static LhbaKey key;
  static std::array<Match, 4> m{Match{Field::Controller, {}}, Match{Field::Function, {}},
                                Match{Field::Logical, {}}, Match{Field::TargetName, {}}};
  if (!lhba_key(target, &key)) return false;
  for (size_t i = 0; i < 3; ++i) m[i].value.assign(key.text[i]);
  m[3].value.assign(name);
  *out = &m;
  return true;
}

}  // namespace

uint32_t get_target_type(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) return set_prop_val(target, "TargetType", "%s", "Static");
  // The name as stored (a Target's name property has no handler).
  const char* name = target_stored_name(target);
  std::array<Match, 4>* match = nullptr;
  if (name == nullptr || !type_matches(target, name, &match)) return 1;
  struct Found {
    std::span<const Match> match;
    char type[35] = "";
    bool found = false;
  } f{*match};
  // A file that cannot be read leaves the type as the tree knows it.
  if (!with_view(Saved::Targets, [&f](const SavedView& view) {
        if (const SavedView::Line* line = view.find(f.match)) {
          const std::string_view type = line->fields()[position(Saved::Targets, Field::TargetType)].substr(0, 34);
          memcpy(f.type, type.data(), type.size());
          f.type[type.size()] = '\0';
          f.found = true;
        }
      }))
    pdebug(TAVO_LOG_BACKEND, 3, "%s: savetgt.txt cannot be read\n", __func__);
  // A line without a type holds a static target, as start-up reads it.
  return f.found ? set_prop_val(target, "TargetType", "%s", f.type[0] == '\0' ? "Static" : f.type) : 0;
}

bool tavo::target_data::target_type(TavoNode* target, char out[TAVO_VALUE_SIZE]) {
  TavoNode* property = internal_get_node(target, "TargetType", TAVO_KIND_PROPERTY);
  return property != nullptr && handle_target_type(property, out, TAVO_PROPERTY_GET) == 0;
}

uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op != TAVO_PROPERTY_GET) return 0;
  if (get_target_type(property->parent) != 0) return 1;
  return handle_internal_property(property, buf, op);
}
