// The groups whose instances wait, few (one per LogicalHBA), kept in a
// short list under the library lock; an empty list costs one load.
#include "tree/waiting.h"

#include <strings.h>
#include <string.h>

#include <atomic>
#include <vector>

#include "base/library_lock.h"
#include "tree/handler_watch.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

struct Wait {
  TavoNode* group;
  TavoNodeRef ref;  // a group deleted and its memory reused never matches
  const char* name;
  TavoGroupRefreshHandler build;
};

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
    if (!live(w)) return true;
    watch_handler(HandlerRun::Refresh, w.build, w.group);
    // What the build makes was there before the running action: it is no
    // group the action created.
    uint32_t* const created = tavo_internal_new_tags;
    const int32_t created_count = new_tag_index;
    tavo_internal_new_tags = nullptr;
    const uint32_t built = w.build(w.group);
    tavo_internal_new_tags = created;
    new_tag_index = created_count;
    if (built != 0) pdebug(TAVO_LOG_TREE, 3, "%s: the waiting %s of %s were not all built\n", __func__,
                                      w.name, w.group->name != nullptr ? w.group->name : "");
    return true;
  }
  return false;
}

}  // namespace

void defer_instances(TavoNode* group, const char* name, TavoGroupRefreshHandler build) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || name == nullptr || build == nullptr) return;
  forget_waits_within(group);
  const TavoNodeRef ref = node_ref(group);
  if (ref.generation == 0) return;
  waits().push_back(Wait{group, ref, name, build});
  mirror_waits();
}

void reach_instances(TavoNode* group, const char* name) {
  if (wait_count.load(std::memory_order_relaxed) == 0 || group == nullptr || !may_wait(group)) return;
  TAVO_LIBRARY_LOCK;
  while (build_one([&](const Wait& w) {
    return w.group == group && (name == nullptr || strncasecmp(name, w.name, strlen(w.name)) == 0);
  })) {
  }
}

void reach_within(TavoNode* node) {
  if (wait_count.load(std::memory_order_relaxed) == 0 || node == nullptr) return;
  TAVO_LIBRARY_LOCK;
  while (build_one([&](const Wait& w) { return is_within(w.group, node); })) {
  }
}

void reach_for_call(TavoNode* node) {
  if (wait_count.load(std::memory_order_relaxed) == 0 || node == nullptr || !may_be_in_scope(node)) return;
  TAVO_LIBRARY_LOCK;
  while (build_one([&](const Wait& w) {
    return w.group->parent != nullptr && is_within(node, w.group->parent);
  })) {
  }
}

void forget_waits_within(const TavoNode* node) {
  if (wait_count.load(std::memory_order_relaxed) == 0 || node == nullptr) return;
  TAVO_LIBRARY_LOCK;
  std::vector<Wait>& all = waits();
  for (size_t i = all.size(); i-- > 0;)
    if (is_within(all[i].group, node)) erase_at(i);
}

bool instances_wait(const TavoNode* group) {
  if (wait_count.load(std::memory_order_relaxed) == 0) return false;
  TAVO_LIBRARY_LOCK;
  for (const Wait& w : waits())
    if (w.group == group && live(w)) return true;
  return false;
}

}  // namespace tavo::tree
