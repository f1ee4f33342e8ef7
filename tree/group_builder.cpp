// The one group builder: every group of every branch is made here from its
// definition.
#include "tree/group_builder.h"

#include <stdio.h>
#include <string.h>

#include <unordered_map>
#include <vector>

#include "base/no_destructor.h"
#include "tree/node_index.h"
#include "tree/tree_internal.h"
#include "tree/waiting.h"

namespace tavo::tree {
namespace {

std::vector<SlotArea*>& areas_in_use() {
  static base::NoDestructor<std::vector<SlotArea*>> areas;
  return *areas;
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

// The node a property or an action row makes.
NodeShape row_shape(const ChildDef& def) {
  return NodeShape{def.kind, def.name != nullptr ? def.name : "", def.description != nullptr ? def.description : "",
                   def.kind == TAVO_KIND_ACTION ? 0 : sizeof(TavoPropertyRecord)};
}

// A property's or an action's node made, its record filled from the row.
void fill_row_node(const ChildDef& def, TavoNode* n) {
  if (def.kind == TAVO_KIND_ACTION) {
    n->record = const_cast<TavoActionDescriptor*>(def.action);
    return;
  }
  TavoPropertyRecord* p = property_record(n);
  p->flags = def.access;
  p->handler = def.handler;
  p->value_type = def.type;
  p->minimum = def.minimum;
  p->maximum = def.maximum;
  // The record came zeroed: the texts' terminators are there already.
  static_assert(sizeof p->valid_list == TAVO_VALUE_SIZE && sizeof p->value == TAVO_VALUE_SIZE);
  if (def.list_length != 0) memcpy(p->valid_list, def.list, def.list_length);
  if (def.default_length != 0) memcpy(p->value, def.default_value, def.default_length);
}

}  // namespace

namespace {

// Per slot bitmap of more than kScannedSlots slots: every slot below it is
// taken, so the lowest free slot is found without scanning from slot 0.
// Its area holds a pointer to the floor (a map's entries stay where they
// are), so a build looks it up once. A smaller bitmap is scanned from slot
// 0 at less cost than keeping its floor.
constexpr uint16_t kScannedSlots = 64;
std::unordered_map<const uint8_t*, int32_t>& slot_floors() {
  static base::NoDestructor<std::unordered_map<const uint8_t*, int32_t>> floors;
  return *floors;
}

int32_t take_lowest_free_slot(SlotArea::Slots slots, uint16_t max_instances) {
  const int32_t slot = base::first_bit_from(slots.bits, max_instances, slots.floor ? *slots.floor : 0, 0);
  if (slots.floor != nullptr) *slots.floor = slot >= 0 ? slot : max_instances;
  return slot;
}

}  // namespace

void slot_freed(const uint8_t* bitmap, int32_t slot) {
  auto it = slot_floors().find(bitmap);
  if (it != slot_floors().end() && slot < it->second) it->second = slot;
}

SlotArea::Slots SlotArea::bitmap(uint64_t index, uint16_t max_instances) {
  auto& maps = *bitmaps_;
  auto [it, added] = maps.try_emplace(index, Slots{nullptr, nullptr});
  if (!added) return it->second;
  uint8_t* bits = alloc_bitfield(max_instances);
  if (bits == nullptr) {
    maps.erase(it);
    return Slots{nullptr, nullptr};
  }
  if (maps.size() == 1) areas_in_use().push_back(this);
  it->second = Slots{bits, nullptr};
  if (max_instances > kScannedSlots) {
    int32_t& floor = slot_floors()[bits];
    floor = 0;
    it->second.floor = &floor;
  }
  return it->second;
}

void SlotArea::clear() {
  for (auto& [index, slots] : *bitmaps_) {
    if (slots.floor != nullptr) slot_floors().erase(slots.bits);
    free_bitfield(slots.bits);
  }
  base::release(*bitmaps_);
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
  base::release(areas_in_use());
  base::release(slot_floors());
}

namespace {

// The most rows made and added at once.
constexpr size_t kRowRun = 64;

// Property and action rows (at most kRowRun) made, then added at once.
bool add_row_run(std::span<const ChildDef> rows, TavoNode* group, TavoHierarchy* h) {
  NodeShape shapes[kRowRun];
  DefinedChild children[kRowRun];
  TavoNode* nodes[kRowRun];
  // The index's cache misses overlap the making rather than come one per
  // child.
  for (size_t i = 0; i < rows.size(); ++i) {
    children[i].key = child_key(group, rows[i].name_hash);
    name_index().prefetch(children[i].key);
    shapes[i] = row_shape(rows[i]);
  }
  const size_t made = new_kept_nodes({shapes, rows.size()}, group, nodes);
  for (size_t i = 0; i < made; ++i) {
    fill_row_node(rows[i], nodes[i]);
    children[i].node = nodes[i];
  }
  const size_t added = add_defined_children(h, {children, made});
  for (size_t i = added; i < made; ++i) free_node(nodes[i]);
  return added == rows.size();
}

// A static sub-group of one definition made as its group alone, given
// back to the caller.
struct LeftAlone {
  const GroupDef* def = nullptr;
  TavoNode* group = nullptr;
};

// The rows in order; false at the first that cannot be added. A sub-group
// is built whole before the rows after it, but that of alone->def alone.
bool add_children(std::span<const ChildDef> rows, TavoNode* group, TavoHierarchy* h, LeftAlone* alone = nullptr) {
  for (size_t i = 0; i < rows.size();) {
    if (rows[i].kind == TAVO_KIND_GROUP) {
      const bool leave = alone != nullptr && rows[i].group == alone->def;
      TavoNode* sub = leave ? build_group_alone(*rows[i].group, group) : build_group(*rows[i].group, group);
      if (sub == nullptr) return false;
      if (leave) alone->group = sub;
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < rows.size() && end - i < kRowRun && rows[end].kind != TAVO_KIND_GROUP) ++end;
    if (!add_row_run(rows.subspan(i, end - i), group, h)) return false;
    i = end;
  }
  return true;
}

bool slot_taken(const uint8_t* bitmap, int32_t slot) { return (bitmap[slot / 8] >> (slot % 8) & 1) != 0; }

// with_children false: the group alone (its children come later). wanted:
// the slot an instance takes; -1, the lowest free one.
TavoNode* build(const GroupDef& def, TavoNode* parent, int32_t wanted, TavoNode* creating_node,
                TavoNode* creating_action, const char* params, bool with_children = true,
                LeftAlone* alone = nullptr) {
  TavoHierarchy* h = hm_find_hierarchy_by_node(parent);
  if (h == nullptr) return nullptr;
  const bool instanced = def.max_instances > 0 && def.slots != nullptr;
  uint8_t* bitmap = nullptr;
  int32_t slot = -1;
  if (instanced) {
    // A new instance takes a slot its waiting namesakes have not kept:
    // where they keep none, they are built first.
    if (!slots_reserved(parent, def)) build_waiting(parent, def.name);
    const SlotArea::Slots slots = def.slots->bitmap(slot_index(parent), def.max_instances);
    bitmap = slots.bits;
    if (bitmap == nullptr) return nullptr;
    if (wanted < 0) {
      slot = take_lowest_free_slot(slots, def.max_instances);
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
  if (with_children && !add_children(def.children, group, h, alone)) {
    _delete_node(group);
    return nullptr;
  }
  rec->creating_node = node_ref(creating_node);
  rec->creating_action = node_ref(creating_action);
  if (params != nullptr) copy_params(rec->params, params);
  if (rec->creating_action.generation != 0) rec->persistence_priority = take_persistence_priority(group);
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

TavoNode* build_group_alone(const GroupDef& def, TavoNode* parent) {
  return build(def, parent, -1, nullptr, nullptr, nullptr, action_making);
}

TavoNode* build_group_leaving(const GroupDef& def, const GroupDef& alone, TavoNode** alone_group, TavoNode* parent,
                              TavoNode* creating_node, TavoNode* creating_action, const char* params) {
  LeftAlone left{&alone, nullptr};
  TavoNode* group = build(def, parent, -1, creating_node, creating_action, params, true, &left);
  *alone_group = group != nullptr ? left.group : nullptr;
  return group;
}

bool add_group_children(const GroupDef& def, TavoNode* group) {
  TavoHierarchy* h = hm_find_hierarchy_by_node(group);
  return h != nullptr && (has_children(group) || add_children(def.children, group, h));
}

TavoNode* build_group_in_slot(const GroupDef& def, TavoNode* parent, int32_t slot, TavoNode* creating_node,
                              TavoNode* creating_action, const char* params) {
  if (slot < 0) return nullptr;
  return build(def, parent, slot, creating_node, creating_action, params);
}

std::vector<int32_t> keep_slots(TavoNode* parent, const GroupDef& def, int32_t count) {
  std::vector<int32_t> kept;
  if (parent == nullptr || def.slots == nullptr || def.max_instances == 0) return kept;
  const SlotArea::Slots slots = def.slots->bitmap(slot_index(parent), def.max_instances);
  if (slots.bits == nullptr) return kept;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t slot = take_lowest_free_slot(slots, def.max_instances);
    if (slot < 0) break;
    set_bit(slots.bits, def.max_instances, static_cast<uint32_t>(slot));
    kept.push_back(slot);
  }
  return kept;
}

void free_slots(TavoNode* parent, const GroupDef& def, const std::vector<int32_t>& kept) {
  if (parent == nullptr || def.slots == nullptr || kept.empty()) return;
  const SlotArea::Slots slots = def.slots->bitmap(slot_index(parent), def.max_instances);
  if (slots.bits == nullptr) return;
  for (const int32_t slot : kept) {
    clear_bit(slots.bits, def.max_instances, static_cast<uint32_t>(slot));
    slot_freed(slots.bits, slot);
  }
}

int32_t taken_slots(TavoNode* parent, const GroupDef& def) {
  if (parent == nullptr || def.slots == nullptr || def.max_instances == 0) return 0;
  const SlotArea::Slots slots = def.slots->bitmap(slot_index(parent), def.max_instances);
  int32_t taken = 0;
  for (int32_t i = 0; slots.bits != nullptr && i < def.max_instances; ++i) taken += slot_taken(slots.bits, i);
  return taken;
}

}  // namespace tavo::tree
