// Group definitions as data, and the one builder that makes a group from its
// definition (every initialize_<Group> is a call of build_group).
#pragma once

#include <stdint.h>
#include <string.h>

#include <bit>
#include <span>
#include <type_traits>
#include <unordered_map>

#include "base/no_destructor.h"
#include "tree/tree.h"

namespace tavo::tree {

struct GroupDef;

// The hash of a name's first length characters without case, as the name
// index keys a child by (its parent combined in by child_key): a
// definition's static names have theirs worked out as constants. The bit
// 0x20 of every byte is set, so names equal without case fold alike; other
// bytes may fold together too, which only costs a hit the exact compare
// turns away. A short tail is read as fixed-size pieces that may overlap
// what came before: no byte outside the name is read.
namespace name_hashing {
inline constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
constexpr uint64_t load(const char* p, size_t size) {
  if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
    uint64_t w = 0;
    memcpy(&w, p, size);
    return w;
  }
  uint64_t w = 0;
  for (size_t i = 0; i < size; ++i) w |= uint64_t{static_cast<uint8_t>(p[i])} << (8 * i);
  return w;
}
constexpr uint64_t mix(uint64_t h, uint64_t w) {
  h = (h ^ (w | 0x2020202020202020ull)) * kMul;
  return h ^ h >> 29;
}
}  // namespace name_hashing

constexpr uint64_t name_hash(const char* name, size_t length) {
  using namespace name_hashing;
  uint64_t h = (length + 1) * kMul;
  if (length >= 8) {
    size_t i = 0;
    for (; i + 8 <= length; i += 8) h = mix(h, load(name + i, 8));
    if (i < length) h = mix(h, load(name + length - 8, 8));
  } else if (length >= 4) {
    h = mix(h, load(name, 4) | load(name + length - 4, 4) << 32);
  } else if (length > 0) {
    const auto byte = [name](size_t i) { return uint64_t{static_cast<uint8_t>(name[i])}; };
    h = mix(h, byte(0) | byte(length / 2) << 8 | byte(length - 1) << 16);
  }
  return h;
}

// The same over the name's first TAVO_NAME_SIZE - 1 characters, the part
// names are compared over: a constant for a definition's static name, else
// worked out by runtime_name_hash.
uint64_t runtime_name_hash(const char* name);
constexpr uint64_t name_hash(const char* name) {
  if (!std::is_constant_evaluated()) return runtime_name_hash(name);
  size_t length = 0;
  while (length < TAVO_NAME_SIZE - 1 && name[length] != '\0') ++length;
  return name_hash(name, length);
}

// A child's key in the name index: its parent and its name's hash.
inline uint64_t child_key(const TavoNode* parent, uint64_t hash) {
  uint64_t k = (hash ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(parent))) * name_hashing::kMul;
  return k ^ k >> 29;
}

// One child of a group definition, in child order: a property, an action,
// or a static sub-group (built whole before the next child is added).
// Definitions write them with the builders of tree/declare.h. A group whose
// rows belong to several branches is defined at the level of the highest.
// Names and help texts are static text: the nodes built point at them.
struct ChildDef {
  uint32_t kind;  // TAVO_KIND_PROPERTY, TAVO_KIND_ACTION or TAVO_KIND_GROUP
  const char* name;
  const char* description;
  // property
  uint32_t access = TAVO_ACCESS_READ_ONLY;
  uint8_t type = TAVO_TYPE_TEXT;
  const char* list = "";
  int32_t minimum = 0;
  int32_t maximum = 0;
  const char* default_value = "";
  TavoPropertyHandler handler = nullptr;
  // action
  const TavoActionDescriptor* action = nullptr;
  // static sub-group (name and description are its definition's)
  const GroupDef* group = nullptr;
  // name_hash(name) for a property or an action
  uint64_t name_hash = 0;
  // a property's list and default value cut to a stored text
  // (TAVO_VALUE_SIZE - 1 characters): the lengths copied
  uint16_t list_length = 0;
  uint16_t default_length = 0;
};

// The length of text cut to a stored value's TAVO_VALUE_SIZE - 1
// characters (0 for null).
constexpr uint16_t stored_length(const char* text) {
  // A null text cannot stand in a constant.
  if (!std::is_constant_evaluated() && text == nullptr) return 0;
  uint16_t n = 0;
  while (n < TAVO_VALUE_SIZE - 1 && text[n] != '\0') ++n;
  return n;
}

// A static sub-group among a group's children.
constexpr ChildDef subgroup(const GroupDef* definition) {
  ChildDef c{TAVO_KIND_GROUP, nullptr, nullptr};
  c.group = definition;
  return c;
}

// The instance-slot bitmaps of one instanced group type: one bitmap per
// combination of the instance numbers of the instanced groups above.
class SlotArea {
 public:
  // A bitmap and its floor, when it keeps one: every slot below the floor
  // is taken.
  struct Slots {
    uint8_t* bits;
    int32_t* floor;
  };
  // The bitmap for a combination index, allocated on first use; none
  // (null bits) when it cannot be had.
  Slots bitmap(uint64_t index, uint16_t max_instances);
  // Releases every bitmap (tree tear-down).
  void clear();

 private:
  // One per instance of the group above among thousands: a hash, not a
  // tree of pointers, finds the one a new instance goes into. Never
  // destroyed: the areas are static, and the tree's end empties them.
  base::NoDestructor<std::unordered_map<uint64_t, Slots>> bitmaps_;
};

struct GroupDef {
  const char* name;
  const char* description;
  uint16_t max_instances = 0;  // 0: a static group
  uint16_t first_instance = 0;
  TavoGroupRefreshHandler refresh = nullptr;
  std::span<const ChildDef> children = {};
  SlotArea* slots = nullptr;  // instanced groups only
  // name_hash(name) for a static group
  uint64_t name_hash = 0;
};

// Builds a group under parent from its definition. creating_node,
// creating_action and params (six 256-byte texts) are given for groups
// created by an action (the group becomes persistent), else null.
// Answers the new group, or null when nothing was built.
TavoNode* build_group(const GroupDef& def, TavoNode* parent, TavoNode* creating_node = nullptr,
                      TavoNode* creating_action = nullptr, const char* params = nullptr);

// The group alone, as build_group makes it but without its children, which
// add_group_children adds later: a group whose subtree waits (waiting.h).
// While an action runs it is built whole: nothing an action makes waits.
TavoNode* build_group_alone(const GroupDef& def, TavoNode* parent);
// build_group, but the static sub-group of definition alone among def's
// rows (not deeper) is made by build_group_alone, given in *alone_group
// (null when def has no such row): its children wait.
TavoNode* build_group_leaving(const GroupDef& def, const GroupDef& alone, TavoNode** alone_group, TavoNode* parent,
                              TavoNode* creating_node = nullptr, TavoNode* creating_action = nullptr,
                              const char* params = nullptr);
// def's children added to group, made by build_group_alone, unless it has
// children already (built whole); false when one cannot be added.
bool add_group_children(const GroupDef& def, TavoNode* group);

// The same for an instanced group whose number stands for a numbered thing
// (a firmware slot): the instance takes slot `slot` (its number is the
// first number + slot). Null when that slot is taken or out of range.
TavoNode* build_group_in_slot(const GroupDef& def, TavoNode* parent, int32_t slot, TavoNode* creating_node = nullptr,
                              TavoNode* creating_action = nullptr, const char* params = nullptr);

// Releases the bitmaps of every slot area used (tree tear-down).
void release_slot_areas();

// The exported builder initialize_<Group> of an instanced group (written
// with TAVO_GROUP_BUILDER of tree/declare.h), registered at load with its
// definition and the place of its instances: parent_path names the group
// they go under, the type names from below ROOT joined by '/' ("" for
// ROOT). A check walks these to build one instance of every instanced
// group.
class InstancedBuilder {
 public:
  using Build = TavoNode* (*)(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action, char* params);
  InstancedBuilder(const GroupDef* definition, const char* parent_path, Build builder);
  InstancedBuilder(const InstancedBuilder&) = delete;
  InstancedBuilder& operator=(const InstancedBuilder&) = delete;

  const GroupDef& definition() const { return *definition_; }
  const char* parent_path() const { return parent_path_; }
  TavoNode* build(TavoNode* parent) const { return build_(parent, nullptr, nullptr, nullptr); }
  const InstancedBuilder* next() const { return next_; }

 private:
  const GroupDef* definition_;
  const char* parent_path_;
  Build build_;
  const InstancedBuilder* next_;
};

// The registered builders, latest first.
const InstancedBuilder* first_instanced_builder();

}  // namespace tavo::tree
