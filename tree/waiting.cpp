// The groups whose instances wait, few (one per LogicalHBA), kept in a
// short list under the library lock; an empty list costs one load.
#include "tree/waiting.h"

#include <strings.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/library_lock.h"
#include "tree/handler_watch.h"
#include "tree/node_index.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

struct Wait {
  TavoNode* group;
  TavoNodeRef ref;  // a group deleted and its memory reused never matches
  const char* name;
  TavoGroupRefreshHandler build;
  const char* spared;  // the action whose call leaves them waiting
};
const TavoNode* left_waiting = nullptr;  // under the lock

std::vector<Wait>& waits() {
  static std::vector<Wait> all;
  return all;
}
std::atomic<size_t> wait_count{0};

// The waiting groups as plain addresses, readable without the lock: a
// lookup in a group that does not wait (nearly every one while a few do)
// costs a short scan. Only compared, never followed. Past kMirrored waits
// every lookup takes the lock.
constexpr size_t kMirrored = 64;
std::atomic<const TavoNode*> mirrored[kMirrored];
std::atomic<const TavoNode*> mirrored_scope[kMirrored];  // each group's parent
std::atomic<uint64_t> mirrored_bits{0};                // one bit per address, of groups and scopes
std::atomic<bool> all_mirrored{true};

uint64_t address_bit(const TavoNode* n) { return uint64_t{1} << ((reinterpret_cast<uintptr_t>(n) >> 6) & 63); }

// Under the lock, after every change of the list.
void mirror_waits() {
  const std::vector<Wait>& all = waits();
  uint64_t bits = 0;
  for (size_t i = 0; i < kMirrored; ++i) {
    const TavoNode* group = i < all.size() ? all[i].group : nullptr;
    const TavoNode* scope = group != nullptr ? group->parent : nullptr;
    mirrored[i].store(group, std::memory_order_relaxed);
    mirrored_scope[i].store(scope, std::memory_order_relaxed);
    if (group != nullptr) bits |= address_bit(group) | address_bit(scope);
  }
  mirrored_bits.store(bits, std::memory_order_relaxed);
  all_mirrored.store(all.size() <= kMirrored, std::memory_order_release);
  wait_count.store(all.size(), std::memory_order_release);
}

// Whether node is a mirrored group (or, with scopes, a group's parent):
// false only when it surely is not.
bool mirrored_as(const TavoNode* node, const std::atomic<const TavoNode*>* list) {
  if (!all_mirrored.load(std::memory_order_acquire)) return true;
  if ((mirrored_bits.load(std::memory_order_relaxed) & address_bit(node)) == 0) return false;
  const size_t n = wait_count.load(std::memory_order_acquire);
  for (size_t i = 0; i < n && i < kMirrored; ++i)
    if (list[i].load(std::memory_order_relaxed) == node) return true;
  return false;
}
// Whether is accepts node or one of its ancestors.
template <typename Is>
bool at_or_below(const TavoNode* node, Is&& is) {
  for (int depth = 0; node != nullptr && depth < 4096; ++depth) {
    if (is(node)) return true;
    if (is_root(node)) return false;
    node = node->parent;
  }
  return false;
}
bool is_within(const TavoNode* n, const TavoNode* top) {
  return at_or_below(n, [top](const TavoNode* a) { return a == top; });
}
bool may_wait(const TavoNode* group) { return mirrored_as(group, mirrored); }
// Whether a wait's scope may hold node: one of its ancestors is a scope.
bool may_be_in_scope(const TavoNode* node) {
  return at_or_below(node, [](const TavoNode* a) { return mirrored_as(a, mirrored_scope); });
}

bool live(const Wait& w) { return ref_node(hm_find_hierarchy_by_node(w.group), w.ref) == w.group; }

// In start-up's order: a walk of the whole tree builds in that order.
void erase_at(size_t i) {
  std::vector<Wait>& all = waits();
  all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
  mirror_waits();
}

// Runs a wait's build of group, handler with its arguments (what: the
// name of what waits, for the log).
template <typename Handler, typename... Args>
void run_build(Handler handler, TavoNode* group, const char* what, Args... args) {
  watch_handler(HandlerRun::Refresh, handler, group);
  // What the build makes was there before the running action: it is no
  // group the action created.
  uint32_t* const created = tavo_internal_new_tags;
  const int32_t created_count = new_tag_index;
  tavo_internal_new_tags = nullptr;
  const uint32_t built = handler(group, args...);
  tavo_internal_new_tags = created;
  new_tag_index = created_count;
  if (built != 0)
    pdebug(TAVO_LOG_TREE, 3, "%s: the waiting %s of %s were not all built\n", __func__, what,
           group->name != nullptr ? group->name : "");
}

// Takes the first wait that pick accepts out of the list and builds it;
// false when none is left. The wait leaves before its build, which looks
// its own group's children up.
template <typename Pick>
bool build_one(Pick&& pick) {
  std::vector<Wait>& all = waits();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!pick(all[i])) continue;
    const Wait w = all[i];
    erase_at(i);
    if (live(w)) run_build(w.build, w.group, w.name);
    return true;
  }
  return false;
}

// Groups whose children wait: thousands (one per Session start-up read),
// so found by the group, and by their scope (few: the functions) for a
// call. A waiting group has no children, which a lookup checks first.
struct ChildWait {
  TavoNodeRef ref;
  const TavoNode* scope;
  ChildrenBuild build;
  std::shared_ptr<void> data;  // goes with the wait, built or dropped
  uint64_t order;              // of deferral: a scope's groups build in it
};
struct ChildWaits {
  std::unordered_map<const TavoNode*, ChildWait> by_group;
  std::vector<std::pair<const TavoNode*, size_t>> scopes;  // each with its count
  uint64_t next_order = 0;
};
ChildWaits& child_waits() {
  static ChildWaits all;
  return all;
}
std::atomic<size_t> child_wait_count{0};
// True while a call that runs a handler builds the waits in its scope, or a
// walk those of a subtree (under the lock): each builds their waiting
// children right after.
bool building_for_call = false;

void count_scope(const TavoNode* scope, bool add) {
  auto& scopes = child_waits().scopes;
  const auto it = std::find_if(scopes.begin(), scopes.end(), [scope](const auto& s) { return s.first == scope; });
  if (add) {
    if (it == scopes.end())
      scopes.emplace_back(scope, 1);
    else
      ++it->second;
  } else if (it != scopes.end() && --it->second == 0) {
    scopes.erase(it);
  }
}

// Takes group's wait out; false when it has none.
bool take_child_wait(const TavoNode* group, ChildWait* out) {
  auto& by_group = child_waits().by_group;
  const auto it = by_group.find(group);
  if (it == by_group.end()) return false;
  *out = std::move(it->second);
  count_scope(it->second.scope, false);
  by_group.erase(it);
  child_wait_count.store(by_group.size(), std::memory_order_release);
  return true;
}

// Builds group's waiting children: the wait leaves first, since the build
// looks its own group up.
void build_children(TavoNode* group) {
  ChildWait w;
  if (take_child_wait(group, &w) && ref_node(hm_find_hierarchy_by_node(group), w.ref) == group)
    run_build(w.build, group, "children", w.data.get());
}

// Builds, in the order they were deferred, every waiting group keep
// accepts; how many there were.
template <typename Keep>
size_t build_children_where(Keep&& keep) {
  std::vector<std::pair<uint64_t, TavoNode*>> picked;
  for (const auto& [group, w] : child_waits().by_group)
    if (keep(group, w)) picked.emplace_back(w.order, const_cast<TavoNode*>(group));
  std::sort(picked.begin(), picked.end());
  for (const auto& [order, group] : picked) build_children(group);
  return picked.size();
}

}  // namespace

void defer_children(TavoNode* group, TavoNode* scope, ChildrenBuild build, std::shared_ptr<void> data) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || scope == nullptr || build == nullptr || has_children(group)) return;
  const TavoNodeRef ref = node_ref(group);
  if (ref.generation == 0) return;
  ChildWaits& all = child_waits();
  ChildWait dropped;
  take_child_wait(group, &dropped);
  all.by_group.emplace(group, ChildWait{ref, scope, build, std::move(data), all.next_order++});
  count_scope(scope, true);
  child_wait_count.store(all.by_group.size(), std::memory_order_release);
}

namespace {
TavoNode* wait_scope = nullptr;  // under the lock

// What a scope object sets for its life: value into *slot, under the
// lock; the value it replaces.
template <typename T>
T set_locked(T* slot, T value) {
  TAVO_LIBRARY_LOCK;
  T before = *slot;
  *slot = value;
  return before;
}
}  // namespace

ChildrenWaitScope::ChildrenWaitScope(TavoNode* scope) : before_(set_locked(&wait_scope, scope)) {}
ChildrenWaitScope::~ChildrenWaitScope() { set_locked(&wait_scope, before_); }

TavoNode* children_wait_scope() {
  TAVO_LIBRARY_LOCK;
  // A build for a call or a walk would build them right after.
  return building_for_call ? nullptr : wait_scope;
}

namespace {

// group's live wait; null when its children do not wait.
const ChildWait* child_wait(const TavoNode* group) {
  if (child_wait_count.load(std::memory_order_acquire) == 0 || group == nullptr) return nullptr;
  TAVO_LIBRARY_LOCK;
  const auto& by_group = child_waits().by_group;
  const auto it = by_group.find(group);
  return it != by_group.end() && ref_node(hm_find_hierarchy_by_node(group), it->second.ref) == group ? &it->second
                                                                                                    : nullptr;
}

}  // namespace

bool children_wait(const TavoNode* group) { return child_wait(group) != nullptr; }

void* waiting_children_data(const TavoNode* group) {
  const ChildWait* w = child_wait(group);
  return w != nullptr ? w->data.get() : nullptr;
}

void defer_instances(TavoNode* group, const char* name, TavoGroupRefreshHandler build, const char* spared) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || name == nullptr || build == nullptr) return;
  forget_waits_within(group);
  const TavoNodeRef ref = node_ref(group);
  if (ref.generation == 0) return;
  waits().push_back(Wait{group, ref, name, build, spared});
  mirror_waits();
}

void reach_instances(TavoNode* group, const char* name) {
  if (group != nullptr && child_wait_count.load(std::memory_order_relaxed) != 0 && !has_children(group)) {
    TAVO_LIBRARY_LOCK;
    build_children(group);
  }
  if (wait_count.load(std::memory_order_relaxed) == 0 || group == nullptr || !may_wait(group)) return;
  TAVO_LIBRARY_LOCK;
  if (group == left_waiting) return;
  while (build_one([&](const Wait& w) {
    return w.group == group && (name == nullptr || strncasecmp(name, w.name, strlen(w.name)) == 0);
  })) {
  }
}

void reach_within(TavoNode* node) {
  if (node == nullptr) return;
  if (wait_count.load(std::memory_order_relaxed) != 0) {
    TAVO_LIBRARY_LOCK;
    const bool before = building_for_call;
    building_for_call = true;
    while (build_one([&](const Wait& w) { return is_within(w.group, node); })) {
    }
    building_for_call = before;
  }
  // The instances just built may hold groups whose children wait.
  if (child_wait_count.load(std::memory_order_relaxed) != 0) {
    TAVO_LIBRARY_LOCK;
    build_children_where([node](const TavoNode* group, const ChildWait&) { return is_within(group, node); });
  }
}

void reach_for_call(TavoNode* node, bool stored_value, const TavoNode* action) {
  if (node == nullptr) return;
  if (wait_count.load(std::memory_order_relaxed) != 0 && may_be_in_scope(node)) {
    TAVO_LIBRARY_LOCK;
    const bool before = building_for_call;
    building_for_call = !stored_value;
    const auto spares = [&](const Wait& w) {
      return action != nullptr && w.group == node && w.spared != nullptr && action->name != nullptr &&
             strcmp(action->name, w.spared) == 0;
    };
    while (build_one([&](const Wait& w) {
      return w.group->parent != nullptr && is_within(node, w.group->parent) && !spares(w);
    })) {
    }
    building_for_call = before;
  }
  if (stored_value || child_wait_count.load(std::memory_order_relaxed) == 0) return;
  TAVO_LIBRARY_LOCK;
  // Few scopes: each is looked for among node's ancestors.
  const auto& scopes = child_waits().scopes;
  for (size_t i = 0; i < scopes.size();) {
    const TavoNode* scope = scopes[i].first;
    if (!is_within(node, scope)) {
      ++i;
      continue;
    }
    // The builds changed the list; a scope that held none is passed.
    i = build_children_where([scope](const TavoNode*, const ChildWait& w) { return w.scope == scope; }) > 0 ? 0 : i + 1;
  }
}

void forget_waits_within(const TavoNode* node) {
  if (node == nullptr) return;
  if (child_wait_count.load(std::memory_order_relaxed) != 0) {
    TAVO_LIBRARY_LOCK;
    ChildWait dropped;
    // A waiting group, or a node without children, holds no other.
    if (!take_child_wait(node, &dropped) && has_children(node)) {
      auto& by_group = child_waits().by_group;
      for (auto it = by_group.begin(); it != by_group.end();) {
        if (!is_within(it->first, node)) {
          ++it;
          continue;
        }
        count_scope(it->second.scope, false);
        it = by_group.erase(it);
      }
      child_wait_count.store(by_group.size(), std::memory_order_release);
    }
  }
  if (wait_count.load(std::memory_order_relaxed) == 0) return;
  TAVO_LIBRARY_LOCK;
  std::vector<Wait>& all = waits();
  for (size_t i = all.size(); i-- > 0;)
    if (is_within(all[i].group, node)) erase_at(i);
}

InstancesLeftWaiting::InstancesLeftWaiting(const TavoNode* group) : before_(set_locked(&left_waiting, group)) {}
InstancesLeftWaiting::~InstancesLeftWaiting() { set_locked(&left_waiting, before_); }

TavoNode* first_built_instance(TavoNode* group, const char* name) {
  TAVO_LIBRARY_LOCK;
  const InstancesLeftWaiting left(group);
  return get_first_instance(group, name);
}

bool instances_wait(const TavoNode* group) {
  if (wait_count.load(std::memory_order_relaxed) == 0) return false;
  TAVO_LIBRARY_LOCK;
  for (const Wait& w : waits())
    if (w.group == group && live(w)) return true;
  return false;
}

}  // namespace tavo::tree
