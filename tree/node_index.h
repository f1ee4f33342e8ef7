// The indexes the tree's node files share: every node by its parent and
// display name, and every instance ring's sentinel by its parent and group
// name. Adding (node_add.cpp), finding (nodes.cpp) and deleting
// (node_delete.cpp) keep them in step.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <bit>
#include <vector>

#include "base/probe_table.h"
#include "tree/tree_internal.h"

namespace tavo::tree {

// The key of a parent and a display name without case (cut as display
// names are): every key of the name and ring indexes is made so.
inline uint64_t name_key(const TavoNode* parent, const char* shown) { return child_key(parent, name_hash(shown)); }

// The same as name_key(n->parent, display name of n).
inline uint64_t name_key(const TavoNode* n) {
  if (!is_instanced_group(n)) return name_key(n->parent, n->name != nullptr ? n->name : "");
  char shown[TAVO_NAME_SIZE];
  display_name(n, shown);
  return name_key(n->parent, shown);
}

// Nodes by a 64-bit key, several to a key. Open addressing in one array: a
// node added or deleted costs no allocation of its own.
class NameIndex {
 public:
  void insert(uint64_t key, TavoNode* node) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    size_t i = home(key);
    while (slots_[i].node != nullptr) i = (i + 1) & mask();
    slots_[i] = Entry{key, node};
    ++count_;
  }

  // Starts bringing the slot a key's probe begins at into the cache.
  void prefetch(uint64_t key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[home(key)], 1);
  }

  void erase(uint64_t key, const TavoNode* node) {
    if (slots_.empty()) return;
    size_t i = home(key);
    for (; slots_[i].node != nullptr; i = (i + 1) & mask())
      if (slots_[i].node == node) break;
    if (slots_[i].node == nullptr) return;
    i = base::close_probe_gap(
        slots_, i, [](const Entry& e) { return e.node != nullptr; }, [this](const Entry& e) { return home(e.key); });
    slots_[i] = Entry{};
    --count_;
  }

  // Calls fn(node) for each node of that key until fn answers false.
  template <typename Fn>
  void each(uint64_t key, Fn&& fn) const {
    if (slots_.empty()) return;
    for (size_t i = home(key); slots_[i].node != nullptr; i = (i + 1) & mask())
      if (slots_[i].key == key && !fn(slots_[i].node)) return;
  }

  size_t size() const { return count_; }

  // Calls fn(node) for every node.
  template <typename Fn>
  void each_node(Fn&& fn) const {
    for (const Entry& e : slots_)
      if (e.node != nullptr) fn(e.node);
  }

  // Drops every node, and the slots with them: a stopped library holds none.
  void clear() {
    std::vector<Entry>().swap(slots_);
    count_ = 0;
    shift_ = 64;
  }

  // Drops every node for which drop(node) is true, at once (the slots too
  // when none is left); drop is asked once for each.
  template <typename Drop>
  void drop_all(Drop&& drop) {
    std::vector<Entry> kept;
    for (const Entry& e : slots_)
      if (e.node != nullptr && !drop(e.node)) kept.push_back(e);
    if (kept.empty()) {
      clear();
      return;
    }
    slots_.assign(slots_.size(), Entry{});
    count_ = 0;
    for (const Entry& e : kept) insert(e.key, e.node);
  }

 private:
  struct Entry {
    uint64_t key = 0;
    TavoNode* node = nullptr;  // none: an empty slot
  };

  size_t mask() const { return slots_.size() - 1; }
  size_t home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_); }

  void grow() {
    std::vector<Entry> old;
    old.swap(slots_);
    const size_t size = old.empty() ? 1024 : old.size() * 2;
    slots_.assign(size, Entry{});
    shift_ = 64 - std::countr_zero(size);
    // The count stays: every entry comes back, into room enough.
    for (const Entry& e : old) {
      if (e.node == nullptr) continue;
      size_t i = home(e.key);
      while (slots_[i].node != nullptr) i = (i + 1) & mask();
      slots_[i] = e;
    }
  }

  std::vector<Entry> slots_;
  size_t count_ = 0;
  int shift_ = 64;
};

// Every node but a hierarchy's root by its parent and its display name
// without case, so that a child is found by name, and a new node's twin,
// without walking the siblings.
inline NameIndex& name_index() {
  static NameIndex index;
  return index;
}

inline void name_index_forget(TavoNode* node) { name_index().erase(name_key(node), node); }

// Every instance ring's sentinel by the ring's parent and exact group name
// (the key folds case, a hit is checked exactly): a ring is found without
// walking the parent's children.
inline NameIndex& ring_index() {
  static NameIndex index;
  return index;
}

// A ring's sentinel carries the key it is indexed by, so that it leaves the
// index even when the instances' parent is gone first (a tear-down).
struct SentinelRecord {
  TavoGroupRecord group;
  TavoInstanceRecord instance;
  uint64_t key;
};

inline bool has_children(const TavoNode* group) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return false;
  return static_cast<const TavoGroupRecord*>(group->record)->first_child != group;
}

// get_first_instance with the key of group and name worked out already.
TavoNode* first_instance_by_key(TavoNode* group, const char* name, uint64_t key);
// The same among the instances built, for the tree's own joining of a new
// one to its ring: past no gate.
TavoNode* ring_first(TavoNode* group, const char* name, uint64_t key);

}  // namespace tavo::tree
