// The one group builder: every group of every branch is made here from its
// definition.
#include "tree/group_builder.h"

#include <stdio.h>
#include <string.h>

#include <unordered_map>
#include <vector>

#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

std::vector<SlotArea*>& areas_in_use() {
  static std::vector<SlotArea*> areas;
  return areas;
}

// Index of the slot bitmap for a new instance under parent: the instance
// numbers of the instanced groups above, nearest least significant.
uint64_t slot_index(TavoNode* parent) {
  uint64_t index = 0, multiplier = 1;
  for (TavoNode* g = parent; g != nullptr && !is_root(g); g = g->parent) {
    if (!is_instanced_group(g)) continue;
    const TavoInstanceRecord* inst = group_record(g)->instance;
    index += static_cast<uint64_t>(inst->instance_number - inst->first_instance) * multiplier;
    multiplier *= inst->max_instances;
  }
  return index;
}

// A definition's texts are static: its nodes point at them.
TavoNode* node_of(uint32_t kind, const char* name, const char* description, TavoNode* parent, size_t record_size) {
  return new_node(kind, name != nullptr ? name : "", description != nullptr ? description : "", parent, record_size,
                  Texts::Kept);
}

bool add_child(const ChildDef& def, TavoNode* group, TavoHierarchy* h) {
  if (def.kind == TAVO_KIND_ACTION) {
    TavoNode* n = node_of(def.kind, def.name, def.description, group, 0);
    if (n == nullptr) return false;
    n->record = const_cast<TavoActionDescriptor*>(def.action);
    if (add_defined_child(n, h, def.name_hash) < 0) {
      free_node(n);
      return false;
    }
    return true;
  }
  TavoNode* n = node_of(def.kind, def.name, def.description, group, sizeof(TavoPropertyRecord));
  if (n == nullptr) return false;
  TavoPropertyRecord* p = property_record(n);
  p->flags = def.access;
  p->handler = def.handler;
  if (add_defined_child(n, h, def.name_hash) < 0) {
    free_node(n);
    return false;
  }
  p->value_type = def.type;
  p->minimum = def.minimum;
  p->maximum = def.maximum;
  // The record came zeroed: the texts' terminators are there already.
  static_assert(sizeof p->valid_list == TAVO_VALUE_SIZE && sizeof p->value == TAVO_VALUE_SIZE);
  if (def.list_length != 0) memcpy(p->valid_list, def.list, def.list_length);
  if (def.default_length != 0) memcpy(p->value, def.default_value, def.default_length);
  return true;
}

}  // namespace

namespace {

// Per slot bitmap: every slot below it is taken, so the lowest free slot is
// found without scanning from slot 0.
std::unordered_map<const uint8_t*, int32_t>& slot_floors() {
  static std::unordered_map<const uint8_t*, int32_t> floors;
  return floors;
}

int32_t take_lowest_free_slot(uint8_t* bitmap, uint16_t max_instances) {
  int32_t& floor = slot_floors()[bitmap];
  const int32_t slot = base::first_bit_from(bitmap, max_instances, floor, 0);
  floor = slot >= 0 ? slot : max_instances;
  return slot;
}

}  // namespace

void slot_freed(const uint8_t* bitmap, int32_t slot) {
  auto it = slot_floors().find(bitmap);
  if (it != slot_floors().end() && slot < it->second) it->second = slot;
}

uint8_t* SlotArea::bitmap(uint64_t index, uint16_t max_instances) {
  auto it = bitmaps_.find(index);
  if (it != bitmaps_.end()) return it->second;
  uint8_t* bits = alloc_bitfield(max_instances);
  if (bits == nullptr) return nullptr;
  if (bitmaps_.empty()) areas_in_use().push_back(this);
  bitmaps_[index] = bits;
  slot_floors()[bits] = 0;
  return bits;
}

void SlotArea::clear() {
  for (auto& [index, bits] : bitmaps_) {
    slot_floors().erase(bits);
    free_bitfield(bits);
  }
  bitmaps_.clear();
}

namespace {

constinit const InstancedBuilder* registered_builders = nullptr;

}  // namespace

InstancedBuilder::InstancedBuilder(const GroupDef* definition, const char* parent_path, Build builder)
    : definition_(definition), parent_path_(parent_path), build_(builder), next_(registered_builders) {
  registered_builders = this;
}

const InstancedBuilder* first_instanced_builder() { return registered_builders; }

void release_slot_areas() {
  for (SlotArea* area : areas_in_use()) area->clear();
  areas_in_use().clear();
}

namespace {

// The rows in order; false at the first that cannot be added.
bool add_children(std::span<const ChildDef> rows, TavoNode* group, TavoHierarchy* h) {
  for (const ChildDef& child : rows)
    if (child.kind == TAVO_KIND_PROPERTY || child.kind == TAVO_KIND_ACTION) prefetch_child_slot(group, child.name_hash);
  for (const ChildDef& child : rows) {
    const bool added =
        child.kind == TAVO_KIND_GROUP ? build_group(*child.group, group) != nullptr : add_child(child, group, h);
    if (!added) return false;
  }
  return true;
}

bool slot_taken(const uint8_t* bitmap, int32_t slot) { return (bitmap[slot / 8] >> (slot % 8) & 1) != 0; }

// wanted: the instance slot to take, or -1 for the lowest free one.
TavoNode* build(const GroupDef& def, TavoNode* parent, int32_t wanted, TavoNode* creating_node,
                TavoNode* creating_action, const char* params) {
  TavoHierarchy* h = hm_find_hierarchy_by_node(parent);
  if (h == nullptr) return nullptr;
  const bool instanced = def.max_instances > 0 && def.slots != nullptr;
  uint8_t* bitmap = nullptr;
  int32_t slot = -1;
  if (instanced) {
    bitmap = def.slots->bitmap(slot_index(parent), def.max_instances);
    if (bitmap == nullptr) return nullptr;
    if (wanted < 0) {
      slot = take_lowest_free_slot(bitmap, def.max_instances);
    } else if (wanted < def.max_instances && !slot_taken(bitmap, wanted)) {
      // Every free slot lies at or above the floor, so the floor stays true.
      slot = wanted;
    }
    if (slot < 0) return nullptr;
  } else if (wanted >= 0) {
    return nullptr;
  }
  TavoNode* group = node_of(TAVO_KIND_GROUP, def.name, def.description, parent,
                            sizeof(TavoGroupRecord) + (instanced ? sizeof(TavoInstanceRecord) : 0));
  if (group == nullptr) return nullptr;
  TavoGroupRecord* rec = group_record(group);
  rec->refresh = def.refresh;
  if (instanced) {
    auto* inst = reinterpret_cast<TavoInstanceRecord*>(rec + 1);
    inst->slot_bitmap = bitmap;
    inst->max_instances = def.max_instances;
    inst->first_instance = def.first_instance;
    inst->instance_number = def.first_instance + slot;
    rec->instance = inst;
  }
  if (add_library_node(group, h) < 0) {
    free_node(group);
    return nullptr;
  }
  // From here on a failure deletes the group with what it holds.
  if (!add_children(def.children, group, h)) {
    _delete_node(group);
    return nullptr;
  }
  rec->creating_node = node_ref(creating_node);
  rec->creating_action = node_ref(creating_action);
  if (params != nullptr) copy_params(rec->params, params);
  if (rec->creating_action.generation != 0) rec->persistence_priority = persistency_priority++;
  if (instanced) set_bit(bitmap, def.max_instances, static_cast<uint32_t>(slot));
  if (tavo_internal_new_tags != nullptr) {
    if (new_tag_index > TAVO_MAX_NEW_TAGS - 1) {
      printf("Too many groups added in this action");
      _delete_node(group);
      return nullptr;
    }
    tavo_internal_new_tags[new_tag_index++] = group->tag;
  }
  return group;
}

}  // namespace

TavoNode* build_group(const GroupDef& def, TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                      const char* params) {
  return build(def, parent, -1, creating_node, creating_action, params);
}

TavoNode* build_group_in_slot(const GroupDef& def, TavoNode* parent, int32_t slot, TavoNode* creating_node,
                              TavoNode* creating_action, const char* params) {
  if (slot < 0) return nullptr;
  return build(def, parent, slot, creating_node, creating_action, params);
}

}  // namespace tavo::tree
