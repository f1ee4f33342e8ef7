// Deleting nodes: a subtree with the links into it, a node leaving its
// parent's children, its instance ring and the indexes, and a whole tree
// at its tear-down. Each node is freed the way it was made (release_node).
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

// The whole tree of h goes (its tear-down): nothing outside it is left to
// keep in step, so its nodes are freed without leaving the name index, the
// tag table and their siblings one at a time. Instance rings are still
// left one by one, for their sentinels and the slot bitmaps, which outlive
// the tree until the slot areas are released.
void delete_whole_tree(TavoHierarchy* h) {
  const auto in_tree = [h](const TavoNode* n) { return n->tag < h->capacity && h->tag_table[n->tag] == n; };
  name_index().drop_all(in_tree);
  // Only a target elsewhere outlives the links to it.
  for (uint32_t t = 0; t < h->capacity; ++t) {
    TavoNode* n = h->tag_table[t];
    if (n == nullptr || n->kind != TAVO_KIND_LINK || link_record(n) == nullptr) continue;
    TavoNode* target = link_record(n)->target;
    if (target != nullptr && !in_tree(target) && target->link_count > 0) --target->link_count;
  }
  for_each_in_subtree(h->root, [](TavoNode* n) {
    if (is_instanced_group(n)) leave_instance_ring(n);
    release_node(n);
  });
  memset(h->tag_table, 0, h->capacity * sizeof(TavoNode*));
  memset(h->tag_bitmap, 0, h->capacity / 8 + 1);
  tag_freed(h, 0);
}

}  // namespace
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
    delete_whole_tree(h);
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
