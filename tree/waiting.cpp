// The waits, by the group whose children wait: thousands at most (one per
// listed Session and per Target's login options), read and changed under
// the library lock only. A group with nothing waiting costs one hash probe
// at its gate, and a tree with nothing waiting one load. The waits of a
// scope are listed from the scope's record (scoped_waits, each wait naming
// the next), so that a public call meets the waits in whose scope it acts
// by a load on each group above it, with no lookup.
#include "tree/waiting.h"

#include <ctype.h>
#include <strings.h>

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "tree/handler_watch.h"
#include "tree/node_index.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

// The persistence priorities kept for the groups a build makes, so that
// they take the place in the persistent order that a build at the
// deferral would have given them. first 0: none kept.
struct Priorities {
  uint32_t first = 0, next = 0, end = 0;
};
// The builds that run with a block, the innermost first: a build without
// one takes from the build it runs in.
struct Building {
  Priorities block;
  Building* outer;
  const TavoNode* group;
  bool below = false;  // a node below the group's children took one
};
Building* building = nullptr;

struct Wait {
  TavoNodeRef ref{};              // a group deleted and its memory reused never matches
  TavoNode* scope = nullptr;
  const GroupDef* def = nullptr;  // the instances that wait; null: every child
  WaitBuild build = nullptr;
  std::shared_ptr<void> data;     // goes with the wait, built or dropped
  bool kept = false;              // an add needs no build: slots are kept
  std::vector<int32_t> slots{};   // kept in def's bitmap for the build
  Priorities priorities{};
  TavoNodeRef scope_ref{};
  TavoNode* next_in_scope = nullptr;  // the next waiting group of the scope's list
  InstancesWait listed{};  // of a wait of instances: its place in their list
};

std::unordered_map<const TavoNode*, Wait>& waits() {
  static base::NoDestructor<std::unordered_map<const TavoNode*, Wait>> all;
  return *all;
}
// The first wait of instances, each naming the next: a few, one per
// LogicalHBA, listed apart from the thousands of other waits. The map's
// entries never move, so the list links them where they lie.
InstancesWait* instances_waits = nullptr;

// Whether a look for a child called name meets def's instances: their type
// name, alone or with an instance number.
bool meets(const char* name, const GroupDef& def) {
  const size_t n = strlen(def.name);
  if (strncasecmp(name, def.name, n) != 0) return false;
  for (const char* p = name + n; *p != '\0'; ++p)
    if (!isdigit(static_cast<unsigned char>(*p))) return false;
  return true;
}

// A group with the record that holds its children.
bool is_group(const TavoNode* n) { return n != nullptr && n->kind == TAVO_KIND_GROUP && n->record != nullptr; }

// The waiting group after group in its scope's list.
TavoNode* next_in_scope(const TavoNode* group) {
  const auto at = waits().find(group);
  return at != waits().end() ? at->second.next_in_scope : nullptr;
}

bool live(const TavoNode* group, const Wait& w) {
  return ref_node(hm_find_hierarchy_by_node(group), w.ref) == group;
}

// group's wait w, taken, leaves its scope's list: a scope deleted took
// the list with it.
void leave_scope(const TavoNode* group, const Wait& w) {
  TavoNode* scope = ref_node(hm_find_hierarchy_by_node(group), w.scope_ref);
  if (scope == nullptr || scope != w.scope) return;
  TavoNode** link = &group_record(scope)->scoped_waits;
  while (*link != group) {
    const auto before = waits().find(*link);
    if (before == waits().end()) return;  // not listed
    link = &before->second.next_in_scope;
  }
  *link = w.next_in_scope;
}

// A wait of instances, about to be taken, leaves their list.
void leave_instances(const Wait& w) {
  for (InstancesWait** link = &instances_waits; *link != nullptr; link = &(*link)->next)
    if (*link == &w.listed) {
      *link = w.listed.next;
      return;
    }
}

// The wait leaves the lists, and its slots are free again.
Wait take(std::unordered_map<const TavoNode*, Wait>::iterator at) {
  leave_instances(at->second);
  Wait w = std::move(at->second);
  TavoNode* group = const_cast<TavoNode*>(at->first);
  waits().erase(at);
  leave_scope(group, w);
  if (w.def != nullptr && !w.slots.empty() && live(group, w)) free_slots(group, *w.def, w.slots);
  return w;
}

// The running build has taken all of its block's priorities: count more
// are put at its end, and every node and other block holding one from there
// on moves up by count.
void grow_block(uint32_t count) {
  Priorities& grown = building->block;
  const uint32_t at = grown.end;
  if (TavoNode* root = get_node(0))
    for_each_in_subtree(root, [&](TavoNode* n) {
      if (uint32_t* p = persistence_priority_of(n); p != nullptr && *p >= at) *p += count;
    });
  const auto move = [&](Priorities& b) {
    if (b.first < at) return;
    b.first += count;
    b.next += count;
    b.end += count;
  };
  for (auto& [group, w] : waits()) move(w.priorities);
  for (Building* b = building->outer; b != nullptr; b = b->outer) move(b->block);
  grown.end += count;
  persistency_priority += count;
}

bool in_block(TavoNode* n, const Priorities& block) {
  const uint32_t* p = persistence_priority_of(n);
  return p != nullptr && *p >= block.first && *p < block.end;
}

// The nodes below group that took a priority of the block, the nearest
// in the order they took them, each followed by those below it likewise.
void block_order(TavoNode* group, const Priorities& block, std::vector<TavoNode*>* out) {
  std::vector<TavoNode*> nearest;
  const auto gather = [&](auto& self, TavoNode* g) -> void {
    for (TavoNode* c = group_record(g)->first_child; c != g; c = c->next) {
      if (in_block(c, block))
        nearest.push_back(c);
      else if (c->kind == TAVO_KIND_GROUP && c->record != nullptr)
        self(self, c);
    }
  };
  gather(gather, group);
  std::sort(nearest.begin(), nearest.end(),
            [](TavoNode* a, TavoNode* b) { return *persistence_priority_of(a) < *persistence_priority_of(b); });
  for (TavoNode* n : nearest) {
    out->push_back(n);
    if (n->kind == TAVO_KIND_GROUP) block_order(n, block, out);
  }
}

// A build makes a group's instances before what it makes below them (a
// Target's LUNs come of a scan of every Target's sessions): the
// priorities it took go to its groups each followed by those below it,
// as they are saved from a tree built one group after another.
void order_block(TavoNode* group, const Priorities& block) {
  std::vector<TavoNode*> nodes;
  block_order(group, block, &nodes);
  std::vector<uint32_t> taken;
  taken.reserve(nodes.size());
  for (TavoNode* n : nodes) taken.push_back(*persistence_priority_of(n));
  std::sort(taken.begin(), taken.end());
  for (size_t i = 0; i < nodes.size(); ++i) *persistence_priority_of(nodes[i]) = taken[i];
}

// Calls a build of group's children, as a refresh handler of the owning
// folder would.
uint32_t call_build(TavoNode* group, WaitBuild build, void* data) {
  watch_handler(HandlerRun::Refresh, build, group);
  const uint32_t built = build(group, data);
  if (built != 0)
    pdebug(TAVO_LOG_TREE, 3, "%s: the children of %s were not all built\n", __func__,
           group->name != nullptr ? group->name : "");
  return built;
}

// Runs a wait's build of group.
void run_build(TavoNode* group, const Wait& w) {
  // What the build makes was there before the running action: it is no
  // group the action created, and may wait as start-up's does.
  uint32_t* const created = tavo_internal_new_tags;
  const int32_t created_count = new_tag_index;
  tavo_internal_new_tags = nullptr;
  const bool making = std::exchange(action_making, false);
  Building frame{w.priorities, building, group};
  if (frame.block.first != 0) building = &frame;
  call_build(group, w.build, w.data.get());
  if (building == &frame) {
    building = frame.outer;
    if (frame.below && live(group, w)) order_block(group, frame.block);
  }
  action_making = making;
  tavo_internal_new_tags = created;
  new_tag_index = created_count;
}

// A public call's gate once its walk met a scope with waits: those scoped
// at group and at each group above it are built, save spared's own.
[[gnu::noinline]] void build_scoped(TavoNode* group, const TavoNode* spared) {
  std::vector<TavoNode*> due;
  for (TavoNode* a = group; a != nullptr && due.size() < 4096; a = is_root(a) ? nullptr : a->parent)
    for (TavoNode* g = group_record(a)->scoped_waits; g != nullptr; g = next_in_scope(g))
      if (g != spared) due.push_back(g);
  for (TavoNode* g : due) build_waiting(g);
}

// False when the wait cannot be kept.
bool add_wait(TavoNode* group, Wait w) {
  TAVO_LIBRARY_LOCK;
  if (w.scope == nullptr) w.scope = group;
  if (!is_group(group) || !is_group(w.scope) || w.build == nullptr) return false;
  w.ref = node_ref(group);
  w.scope_ref = node_ref(w.scope);
  if (w.ref.generation == 0 || w.scope_ref.generation == 0) return false;
  if (const auto at = waits().find(group); at != waits().end()) take(at);
  TavoNode*& scoped = group_record(w.scope)->scoped_waits;
  w.next_in_scope = scoped;
  scoped = group;
  Wait& kept = waits().emplace(group, std::move(w)).first->second;
  if (kept.def != nullptr) {
    kept.listed = InstancesWait{group, kept.data.get(), instances_waits};
    instances_waits = &kept.listed;
  }
  return true;
}

}  // namespace

void defer_instances(TavoNode* group, TavoNode* scope, const GroupDef& def, WaitBuild build,
                     std::shared_ptr<void> data, int32_t slots) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || def.slots == nullptr) return;
  // A second wait replaces the first, which gives its slots back first.
  if (const auto at = waits().find(group); at != waits().end()) take(at);
  Wait w{.scope = scope, .def = &def, .build = build, .data = std::move(data)};
  if (slots > 0) w.slots = keep_slots(group, def, slots);
  // Slots that cannot be kept leave an add to build the instances first.
  w.kept = slots >= 0 && static_cast<int32_t>(w.slots.size()) == slots;
  if (!w.kept) {
    free_slots(group, def, w.slots);
    w.slots.clear();
  }
  // As many priorities as the build may make instances.
  const uint32_t made = w.kept ? static_cast<uint32_t>(w.slots.size()) : def.max_instances;
  w.priorities = Priorities{persistency_priority, persistency_priority, persistency_priority + made};
  persistency_priority += made;
  add_wait(group, std::move(w));
}

bool defer_children(TavoNode* group, WaitBuild build, std::shared_ptr<void> data) {
  TAVO_LIBRARY_LOCK;
  if (!is_group(group) || build == nullptr) return false;
  // An action's group is built whole (build_group_alone), and a wait that
  // cannot be kept is none: either is built now, for its maker.
  if (!has_children(group) && add_wait(group, Wait{.scope = group, .build = build, .data = data})) return true;
  return call_build(group, build, data.get()) == 0;
}

void build_waiting(TavoNode* group, const char* name) {
  auto& all = waits();
  if (all.empty() || group == nullptr) return;
  const auto at = all.find(group);
  if (at == all.end() || (name != nullptr && at->second.def != nullptr && !meets(name, *at->second.def))) return;
  // The wait leaves before its build, which looks its own group up.
  const Wait w = take(at);
  if (live(group, w)) run_build(group, w);
}

void build_waiting_for_call(TavoNode* node) {
  if (node == nullptr || waits().empty()) return;
  // Scopes are groups, and a group's parent is one: a property's or an
  // action's walk starts at its group, whose own wait is no concern of theirs.
  const bool own = node->kind == TAVO_KIND_GROUP;
  TavoNode* a = own ? node : node->parent;
  if (!is_group(a)) return;
  const TavoNode* const start = a;
  for (int depth = 0; group_record(a)->scoped_waits == nullptr; a = a->parent)
    if (is_root(a) || ++depth == 4096) return;
  build_scoped(a, own ? nullptr : start);
}

TavoNode* first_child(TavoNode* group) {
  build_waiting(group);
  return group_record(group)->first_child;
}

uint32_t take_persistence_priority(const TavoNode* node) {
  if (building == nullptr) return persistency_priority++;
  building->below = building->below || node->parent != building->group;
  Priorities& block = building->block;
  // A build that makes more than its block holds (what it makes below its
  // instances) makes room after it, as much again.
  if (block.next == block.end) grow_block(std::max<uint32_t>(block.end - block.first, 1));
  return block.next++;
}

bool children_wait(const TavoNode* group) {
  const auto at = waits().find(group);
  return at != waits().end() && live(group, at->second);
}

void* waiting_data(const TavoNode* group, const GroupDef* def) {
  const auto at = waits().find(group);
  if (at == waits().end() || !live(group, at->second) || (def != nullptr && at->second.def != def)) return nullptr;
  return at->second.data.get();
}

bool slots_reserved(const TavoNode* group, const GroupDef& def) {
  const auto at = waits().find(group);
  return at != waits().end() && at->second.def == &def && at->second.kept;
}

int32_t slots_taken(TavoNode* group, const GroupDef& def) { return taken_slots(group, def); }

const InstancesWait* first_instances_wait() { return instances_waits; }

void release_waits() {
  TAVO_LIBRARY_LOCK;
  // The tree's tear-down took every wait: the room goes.
  base::release(waits());
  instances_waits = nullptr;
}

void forget_waits_within(const TavoNode* node) {
  auto& all = waits();
  if (all.empty() || node == nullptr) return;
  if (const auto at = all.find(node); at != all.end()) take(at);
  // A node without children holds no other.
  if (!has_children(node)) return;
  std::vector<const TavoNode*> within;
  for (const auto& [group, w] : all) {
    const TavoNode* n = group;
    for (int depth = 0; n != nullptr && depth < 4096 && n != node && !is_root(n); ++depth) n = n->parent;
    if (n == node) within.push_back(group);
  }
  for (const TavoNode* group : within) take(all.find(group));
}

}  // namespace tavo::tree
