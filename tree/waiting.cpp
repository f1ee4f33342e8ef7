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

bool is_within(const TavoNode* n, const TavoNode* top) {
  for (int depth = 0; n != nullptr && depth < 4096; ++depth) {
    if (n == top) return true;
    if (is_root(n)) return false;
    n = n->parent;
  }
  return false;
}

bool live(const Wait& w) { return ref_node(hm_find_hierarchy_by_node(w.group), w.ref) == w.group; }

void erase_at(size_t i) {
  std::vector<Wait>& all = waits();
  all[i] = all.back();
  all.pop_back();
  wait_count.store(all.size(), std::memory_order_relaxed);
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
    if (w.build(w.group) != 0) pdebug(TAVO_LOG_TREE, 3, "%s: the waiting %s of %s were not all built\n", __func__,
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
  wait_count.store(waits().size(), std::memory_order_relaxed);
}

void reach_instances(TavoNode* group, const char* name) {
  if (wait_count.load(std::memory_order_relaxed) == 0 || group == nullptr) return;
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
  if (wait_count.load(std::memory_order_relaxed) == 0 || node == nullptr) return;
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
