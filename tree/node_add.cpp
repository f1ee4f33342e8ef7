// Adding nodes: a free tag, the place among the parent's children and in
// an instance ring, the name index; links.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "tree/node_index.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

namespace tavo::tree {
namespace {

// Only an instance of the same number, or a link to the same target, of
// the same name counts as the node already there.
bool are_twins(const TavoNode* a, const TavoNode* b) {
  if (a->parent != b->parent || a->kind != b->kind || strcasecmp(a->name, b->name) != 0) return false;
  if (a->kind == TAVO_KIND_LINK)
    return a->record != nullptr && b->record != nullptr &&
           static_cast<const TavoLinkRecord*>(a->record)->target == static_cast<const TavoLinkRecord*>(b->record)->target;
  return is_instanced_group(a) && is_instanced_group(b) && instance_number(a) == instance_number(b);
}

void ring_insert_after(TavoNode* parent, TavoNode* after, TavoNode* node) {
  TavoGroupRecord* p = group_record(parent);
  node->prev = after;
  node->next = after->next;
  if (after->next == parent)
    p->last_child = node;
  else
    after->next->prev = node;
  after->next = node;
}

void ring_insert_before(TavoNode* parent, TavoNode* before, TavoNode* node) {
  TavoGroupRecord* p = group_record(parent);
  node->next = before;
  node->prev = before->prev;
  if (before->prev == parent)
    p->first_child = node;
  else
    before->prev->next = node;
  before->prev = node;
}

// Puts a new instance into its ring (creating the sentinel for the first).
enum class Joined { Failed, NewRing, Ring };
Joined join_instance_ring(TavoNode* node) {
  TavoInstanceRecord* mine = group_record(node)->instance;
  // The ring's key, for the search and for a new sentinel alike.
  const uint64_t key = name_key(node->parent, node->name != nullptr ? node->name : "");
  TavoNode* first = ring_first(node->parent, node->name, key);
  if (first != nullptr) {
    // From the highest instance down: new instances mostly come last.
    TavoNode* cur = group_record(first)->instance->prev_instance;  // the sentinel
    for (TavoNode* below = group_record(cur)->instance->prev_instance;
         instance_number(below) != -1 && instance_number(below) > mine->instance_number;
         below = group_record(below)->instance->prev_instance)
      cur = below;
    TavoInstanceRecord* at = group_record(cur)->instance;
    mine->next_instance = cur;
    mine->prev_instance = at->prev_instance;
    group_record(at->prev_instance)->instance->next_instance = node;
    at->prev_instance = node;
    return Joined::Ring;
  }
  TavoNode* sentinel = new_node(TAVO_KIND_GROUP, nullptr, nullptr, nullptr, sizeof(SentinelRecord));
  if (sentinel == nullptr) return Joined::Failed;
  auto* record = static_cast<SentinelRecord*>(sentinel->record);
  auto* srec = &record->group;
  auto* sinst = &record->instance;
  record->key = key;
  srec->first_child = srec->last_child = sentinel;
  srec->instance = sinst;
  sinst->slot_bitmap = mine->slot_bitmap;
  sinst->max_instances = mine->max_instances;
  sinst->first_instance = mine->first_instance;
  sinst->instance_number = -1;
  sinst->next_instance = sinst->prev_instance = node;
  mine->next_instance = mine->prev_instance = sentinel;
  ring_index().insert(record->key, sentinel);
  return Joined::NewRing;
}

// node_exists for an instance or a link whose key is worked out already.
bool has_twin(const TavoNode* node, uint64_t key) {
  if (node->parent == nullptr || node->parent == node || !has_children(node->parent)) return false;
  // A twin shows the same display name.
  bool twin = false;
  name_index().each(key, [&](const TavoNode* n) { return !(twin = are_twins(n, node)); });
  return twin;
}

// The lowest free tag of h for node, the table grown when full (taken at
// once with take); -1 when none can be had, or when twin_key is given and
// node has a twin.
int32_t free_tag(TavoHierarchy* h, const TavoNode* node, const uint64_t* twin_key, bool take = false) {
  for (;;) {
    const int32_t tag = take ? take_lowest_free_tag(h) : lowest_free_tag(h);
    if (twin_key != nullptr && has_twin(node, *twin_key)) return -1;
    if (tag >= 0 && static_cast<uint32_t>(tag) > h->max_tag_count) printf("BUG %d\n", tag);
    if (tag >= 0) return tag;
    if (h->capacity > 239343095u) {
      printf("Hierarchy FULL!");
      return -1;
    }
    if (reinit_hm(h) != 0) return -1;
  }
}

// The slot of a node's taken tag names it: a new generation of the slot,
// so references to its former nodes go stale.
void fill_tag_slot(TavoHierarchy* h, TavoNode* node) {
  const uint32_t tag = node->tag;
  h->tag_table[tag] = node;
  if (++h->tag_generation[tag] == 0) h->tag_generation[tag] = 1;
}

// The tag of a node put into its parent's ring is taken.
void take_tag(TavoHierarchy* h, TavoNode* node) {
  set_bit(h->tag_bitmap, h->capacity, node->tag);
  tag_taken(h, node->tag);
  fill_tag_slot(h, node);
}

}  // namespace

int32_t add_library_node(TavoNode* node, TavoHierarchy* h) {
  if (node == nullptr || h == nullptr || h->tag_bitmap == nullptr) return -1;
  // Only an instance or a link can have a twin (node_exists); its key,
  // worked out once, serves the index too.
  const bool twin_possible = node->kind == TAVO_KIND_LINK || is_instanced_group(node);
  const bool indexed = node->parent != nullptr && node->parent != node;
  const uint64_t key = twin_possible && indexed ? name_key(node) : 0;
  const int32_t tag = free_tag(h, node, twin_possible && indexed ? &key : nullptr);
  if (tag < 0) return -1;
  node->tag = static_cast<uint32_t>(tag);
  bool joined_ring = false;
  if (node->kind == TAVO_KIND_GROUP) {
    if (node->record == nullptr) return -1;
    if (is_instanced_group(node) && node->parent != nullptr && node->parent != node) {
      const Joined joined = join_instance_ring(node);
      if (joined == Joined::Failed) return -1;
      joined_ring = joined == Joined::Ring;
    }
    group_record(node)->first_child = group_record(node)->last_child = node;
    group_record(node)->scoped_waits = nullptr;
  }
  TavoNode* parent = node->parent;
  if (parent == nullptr || parent == node) {
    node->next = node->prev = node;
  } else if (!has_children(parent)) {
    node->next = node->prev = parent;
    group_record(parent)->first_child = group_record(parent)->last_child = node;
  } else if (joined_ring) {
    TavoInstanceRecord* mine = group_record(node)->instance;
    if (instance_number(mine->next_instance) == -1)
      ring_insert_after(parent, mine->prev_instance, node);
    else
      ring_insert_before(parent, mine->next_instance, node);
  } else {
    ring_insert_after(parent, group_record(parent)->last_child, node);
  }
  take_tag(h, node);
  if (indexed) name_index().insert(twin_possible ? key : name_key(node), node);
  return tag;
}

namespace {

// A defined child with its tag: last among its parent's children, in its
// tag slot and in the name index.
void join_defined(TavoHierarchy* h, NameIndex& index, TavoNode* node, uint64_t key) {
  TavoNode* parent = node->parent;
  TavoGroupRecord* p = group_record(parent);
  if (p->first_child == parent) {
    node->next = node->prev = parent;
    p->first_child = p->last_child = node;
  } else {
    ring_insert_after(parent, p->last_child, node);
  }
  fill_tag_slot(h, node);
  index.insert(key, node);
}

}  // namespace

size_t add_defined_children(TavoHierarchy* h, std::span<DefinedChild> children) {
  // Mostly the tags from the floor up are free: one run for them all, else
  // the lowest free one each (no twin to look for, nothing below can fail).
  const int32_t first = take_tag_run(h, static_cast<uint32_t>(children.size()));
  NameIndex& index = name_index();
  for (size_t i = 0; i < children.size(); ++i) {
    TavoNode* node = children[i].node;
    const int32_t tag = first >= 0 ? first + static_cast<int32_t>(i) : free_tag(h, node, nullptr, true);
    if (tag < 0) return i;
    node->tag = static_cast<uint32_t>(tag);
    join_defined(h, index, node, children[i].key);
  }
  return children.size();
}

}  // namespace tavo::tree

using namespace tavo::tree;

int32_t node_exists(const TavoNode* node) {
  if (node == nullptr) return 0;
  if (!is_instanced_group(node) && node->kind != TAVO_KIND_LINK) return 0;
  if (node->parent == nullptr || node->parent == node) return 0;
  build_waiting(node->parent, node->name);
  if (!has_children(node->parent)) return 0;
  return has_twin(node, name_key(node)) ? 1 : 0;
}

// A caller's node: remembered, so that it is freed part by part as it was
// made.
int32_t add_node(TavoNode* node, TavoHierarchy* h) {
  if (node == nullptr || !remember_caller_made(node)) return -1;
  const int32_t tag = add_library_node(node, h);
  if (tag < 0) forget_caller_made(node);
  return tag;
}

TavoNode* create_link(TavoNode* parent, const char* name, TavoNode* target, TavoNode* creating_node,
                      TavoNode* creating_action, const char* params) {
  if (parent == nullptr || name == nullptr || target == nullptr) return nullptr;
  TavoHierarchy* h = hm_find_hierarchy_by_node(parent);
  if (h == nullptr) return nullptr;
  TavoNode* node = new_node(TAVO_KIND_LINK, name, target->description != nullptr ? target->description : "", parent,
                            sizeof(TavoLinkRecord));
  if (node == nullptr) return nullptr;
  TavoLinkRecord* rec = link_record(node);
  rec->target = target;
  rec->creating_node = node_ref(creating_node);
  rec->creating_action = node_ref(creating_action);
  if (params != nullptr) copy_params(rec->params, params);
  if (add_library_node(node, h) < 0) {
    free_node(node);
    return nullptr;
  }
  if (rec->creating_action.generation != 0) rec->persistence_priority = take_persistence_priority(node);
  ++target->link_count;
  return node;
}
