// Deleting nodes: a subtree with the links into it, a node leaving its
// parent's children, its instance ring and the indexes, and a whole tree
// at its tear-down. Each node is freed the way it was made (release_node),
// or with the node pool's chunks when a whole tree holds them all.
#include <string.h>

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tree/node_index.h"
#include "tree/state_changes.h"
#include "tree/tree_internal.h"

namespace tavo::tree {

bool linked_from_outside(TavoNode* node) {
  bool any = false;
  for_each_in_subtree(node, [&](TavoNode* n) { any |= n->link_count != 0; });
  if (!any) return false;
  // Links inside the subtree go with it; only the others hold it in place.
  std::unordered_map<TavoNode*, uint32_t> inside;
  for_each_in_subtree(node, [&](TavoNode* n) { inside[n] = 0; });
  for_each_in_subtree(node, [&](TavoNode* n) {
    if (n->kind == TAVO_KIND_LINK && link_record(n) && inside.count(link_record(n)->target))
      ++inside[link_record(n)->target];
  });
  for (auto& [n, count] : inside)
    if (n->link_count > count) return true;
  return false;
}

namespace {

void ring_remove(TavoNode* node) {
  TavoNode* parent = node->parent;
  if (parent == nullptr || parent == node || parent->record == nullptr) return;
  TavoGroupRecord* p = group_record(parent);
  if (node->prev == parent)
    p->first_child = node->next == parent ? parent : node->next;
  else
    node->prev->next = node->next;
  if (node->next == parent)
    p->last_child = node->prev == parent ? parent : node->prev;
  else
    node->next->prev = node->prev;
  node->next = node->prev = node;
}

void free_sentinel(TavoNode* sentinel) {
  ring_index().erase(static_cast<SentinelRecord*>(sentinel->record)->key, sentinel);
  free_node(sentinel);
}

// Leaves the instance ring; releases the sentinel when the ring is empty.
void leave_instance_ring(TavoNode* node) {
  TavoInstanceRecord* mine = group_record(node)->instance;
  if (mine->next_instance == nullptr) return;
  TavoNode* next = mine->next_instance;
  TavoNode* prev = mine->prev_instance;
  group_record(prev)->instance->next_instance = next;
  group_record(next)->instance->prev_instance = prev;
  int32_t slot = mine->instance_number - mine->first_instance;
  if (slot >= 0) {
    clear_bit(mine->slot_bitmap, mine->max_instances, static_cast<uint32_t>(slot));
    slot_freed(mine->slot_bitmap, slot);
  }
  if (next == prev && instance_number(next) == -1) free_sentinel(next);
  mine->next_instance = mine->prev_instance = nullptr;
}

// Deletes one node whose children are gone already.
void delete_leaf(TavoHierarchy* h, TavoNode* node) {
  name_index_forget(node);
  if (node->kind == TAVO_KIND_LINK) {
    TavoLinkRecord* l = link_record(node);
    if (l && l->target && l->target->link_count > 0) --l->target->link_count;
  }
  if (is_instanced_group(node)) leave_instance_ring(node);
  if (node->tag < h->capacity && h->tag_table[node->tag] == node) {
    clear_bit(h->tag_bitmap, h->capacity, node->tag);
    h->tag_table[node->tag] = nullptr;
    tag_freed(h, node->tag);
  }
  ring_remove(node);
  release_node(node);
}

// The whole tree of h goes: nothing outside it is left to keep in step but
// the links into other trees and the indexes the trees share. Its nodes
// leave no sibling ring, instance ring or index one at a time; the indexes
// are dropped whole when only this tree is in them, and so is the node
// pool when only this tree's nodes hold its blocks. At a tear-down the tag
// table and the instance slots are left to be released whole as well.
enum class TreeEnd { Emptied, TornDown };

class WholeTree {
 public:
  explicit WholeTree(TavoHierarchy* h) : h_(h) {}

  bool has(const TavoNode* n) const { return n->tag < h_->capacity && h_->tag_table[n->tag] == n; }

  void delete_all(TreeEnd end) {
    look_over_nodes();
    const bool pool_goes = pooled_ != 0 && pooled_ == pooled_nodes();
    if (indexed_ == name_index().size())
      name_index().clear();
    else
      name_index().drop_all([this](const TavoNode* n) { return has(n); });
    ring_index().drop_all([&](TavoNode* s) {
      if (!ours(s)) return false;
      if (end == TreeEnd::Emptied) free_slots(s);
      if (!pool_goes || !pool_holds_all_of(s)) free_node(s);
      return true;
    });
    if (pool_goes) {
      for (TavoNode* n : unpooled_) release_node(n);
      // Under the library lock no other node is made meanwhile.
      release_pool_whole(pooled_);
    } else {
      for (uint32_t t = 0; t < h_->capacity; ++t)
        if (h_->tag_table[t] != nullptr) release_node(h_->tag_table[t]);
    }
    if (end == TreeEnd::TornDown) return;
    memset(h_->tag_table, 0, h_->capacity * sizeof(TavoNode*));
    memset(h_->tag_bitmap, 0, h_->capacity / 8 + 1);
    tag_freed(h_, 0);
  }

 private:
  // A ring is the tree's when its instances are (a sentinel holds no tag).
  bool ours(const TavoNode* sentinel) const {
    return has(static_cast<const SentinelRecord*>(sentinel->record)->instance.next_instance);
  }

  // Only a target elsewhere outlives the links to it. On the way: the nodes
  // the name index holds (all but a root), and the nodes and sentinels
  // that are all the pool's, and the other nodes.
  void look_over_nodes() {
    for (uint32_t t = 0; t < h_->capacity; ++t) {
      TavoNode* n = h_->tag_table[t];
      if (n == nullptr) continue;
      indexed_ += n->parent != nullptr && n->parent != n;
      if (pool_holds_all_of(n))
        ++pooled_;
      else
        unpooled_.push_back(n);
      if (n->kind != TAVO_KIND_LINK || link_record(n) == nullptr) continue;
      TavoNode* target = link_record(n)->target;
      if (target != nullptr && !has(target) && target->link_count > 0) --target->link_count;
    }
    ring_index().each_node([this](const TavoNode* s) { pooled_ += ours(s) && pool_holds_all_of(s); });
  }

  // The slots of a ring's instances are free again: the tree is built anew
  // in the same slot areas.
  static void free_slots(TavoNode* sentinel) {
    for (TavoNode* i = group_record(sentinel)->instance->next_instance; i != sentinel;
         i = group_record(i)->instance->next_instance) {
      const TavoInstanceRecord* mine = group_record(i)->instance;
      const int32_t slot = mine->instance_number - mine->first_instance;
      if (slot < 0) continue;
      clear_bit(mine->slot_bitmap, mine->max_instances, static_cast<uint32_t>(slot));
      slot_freed(mine->slot_bitmap, slot);
    }
  }

  TavoHierarchy* h_;
  size_t indexed_ = 0;
  size_t pooled_ = 0;
  std::vector<TavoNode*> unpooled_;
};

}  // namespace

void tear_down_tree(TavoHierarchy* h) {
  if (h->root == nullptr || hm_find_hierarchy_by_node(h->root) != h) return;
  count_deletion();
  WholeTree(h).delete_all(TreeEnd::TornDown);
}

}  // namespace tavo::tree

using namespace tavo::tree;

uint32_t delete_node(TavoNode* node) {
  if (node == nullptr) return 1;
  if (node->link_count != 0 || linked_from_outside(node)) return 4;
  _delete_node(node);
  return 0;
}

void _delete_node(TavoNode* node) {
  TavoHierarchy* h = hm_find_hierarchy_by_node(node);
  if (h == nullptr) return;
  tavo::tree::count_deletion();
  if (node == h->root) {
    WholeTree(h).delete_all(TreeEnd::Emptied);
    return;
  }
  // Links go first, so no link is ever left pointing at a freed node: those
  // inside the subtree, then any outside link that points into it. A link
  // may point at another link, so every doomed link lets go of its target
  // while all targets still stand, and only then are they freed.
  std::vector<TavoNode*> links;
  bool targeted = false;
  for_each_in_subtree(node, [&](TavoNode* n) {
    targeted |= n->link_count != 0;
    if (n->kind == TAVO_KIND_LINK && n != node) links.push_back(n);
  });
  if (targeted) {
    std::unordered_set<const TavoNode*> inside;
    for_each_in_subtree(node, [&](TavoNode* n) { inside.insert(n); });
    for (uint32_t t = 0; t < h->capacity; ++t) {
      TavoNode* n = h->tag_table[t];
      if (n && n->kind == TAVO_KIND_LINK && !inside.count(n) && link_record(n) && inside.count(link_record(n)->target))
        links.push_back(n);
    }
  }
  for (TavoNode* l : links) {
    TavoLinkRecord* r = link_record(l);
    if (r == nullptr || r->target == nullptr) continue;
    if (r->target->link_count > 0) --r->target->link_count;
    r->target = nullptr;
  }
  for (TavoNode* l : links) delete_leaf(h, l);
  for_each_in_subtree(node, [&](TavoNode* n) { delete_leaf(h, n); });
}
