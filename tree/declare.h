// The vocabulary every group definition is written in: one row per
// property, one statement per action (its exported descriptor and its row
// together), and the group builders. A definition file says
// `using namespace tavo::declare;` and writes, in the column order of the
// tables it is transcribed from:
//
//   TAVO_ACTION(Corvane_Personality, SetPersonality, do_SetPersonality, "This command sets ...",
//               required("NewPersonality", LIST, "NIC,iSCSI,FCoE", 3, 5, "This parameter ..."));
//   const ChildDef personality_children[] = {
//       property("ConfiguredPersonality", RO, LIST, "NIC,iSCSI,FCoE", 3, 6, "NIC",
//                handle_ConfiguredPersonality, "This property displays ..."),
//       SetPersonality,
//   };
//   const GroupDef personality = group("Personality", personality_children, "This group ...");
//
// Rows and groups are constants with internal linkage; only the descriptors
// are exported.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <span>
#include <type_traits>

#include "tree/group_builder.h"

namespace tavo::declare {

using tree::ChildDef;
using tree::GroupDef;
using tree::SlotArea;
// subgroup(&definition): a static sub-group, built whole where it stands.
using tree::subgroup;

// Access, value types and the handler of a property that only keeps its text.
inline constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;
inline constexpr uint32_t RW = TAVO_ACCESS_READ_WRITE;
inline constexpr uint8_t TEXT = TAVO_TYPE_TEXT;
inline constexpr uint8_t INT = TAVO_TYPE_INTEGER;
inline constexpr uint8_t IP = TAVO_TYPE_IP_ADDRESS;
inline constexpr uint8_t MASK = TAVO_TYPE_SUBNET_MASK;
inline constexpr uint8_t LIST = TAVO_TYPE_LIST;
inline constexpr TavoPropertyHandler stored = handle_internal_property;

// A property: list is "" unless type is LIST; minimum and maximum bound a
// number's value or a text's length; handler is stored for a plain value.
constexpr ChildDef property(const char* name, uint32_t access, uint8_t type, const char* list, int32_t minimum,
                            int32_t maximum, const char* default_value, TavoPropertyHandler handler,
                            const char* help) {
  return ChildDef{TAVO_KIND_PROPERTY, name, help, access, type, list, minimum, maximum, default_value, handler,
                  nullptr, nullptr, tree::name_hash(name), tree::stored_length(list),
                  tree::stored_length(default_value)};
}

// The row of an action; TAVO_ACTION writes it beside its descriptor.
constexpr ChildDef action_row(const char* name, const char* help, const TavoActionDescriptor* descriptor) {
  ChildDef c{TAVO_KIND_ACTION, name, help};
  c.action = descriptor;
  c.name_hash = tree::name_hash(name);
  return c;
}

namespace detail {
// A text into a fixed field of the exported layout; a text that does not
// fit (with its terminator) stops the build.
template <size_t N>
constexpr void copy_field(char (&field)[N], const char* text) {
  size_t i = 0;
  for (; text[i] != '\0'; ++i) {
    if (i + 1 >= N) throw "text too long for its field";
    field[i] = text[i];
  }
}

constexpr TavoActionParam param(uint8_t is_required, const char* name, uint8_t type, const char* list,
                                int32_t minimum, int32_t maximum, const char* help) {
  TavoActionParam p{};
  p.required = is_required;
  copy_field(p.name, name);
  copy_field(p.description, help);
  p.value_type = type;
  copy_field(p.valid_list, list);
  p.minimum = minimum;
  p.maximum = maximum;
  return p;
}
}  // namespace detail

// Action parameters, in the order their values reach the handler.
constexpr TavoActionParam required(const char* name, uint8_t type, const char* list, int32_t minimum,
                                   int32_t maximum, const char* help) {
  return detail::param(1, name, type, list, minimum, maximum, help);
}
constexpr TavoActionParam optional(const char* name, uint8_t type, const char* list, int32_t minimum,
                                   int32_t maximum, const char* help) {
  return detail::param(0, name, type, list, minimum, maximum, help);
}

// A group's descriptor: its parameter count is the number of parameters
// given, at most six.
template <typename... Params>
  requires(sizeof...(Params) <= TAVO_MAX_PARAMS && (std::is_same_v<Params, TavoActionParam> && ...))
constexpr TavoActionDescriptor descriptor(TavoActionHandler handler, Params... params) {
  return TavoActionDescriptor{handler, 0, static_cast<int32_t>(sizeof...(Params)), {params...}};
}

// The same from a parameter list several actions share.
template <size_t N>
  requires(N <= TAVO_MAX_PARAMS)
constexpr TavoActionDescriptor descriptor(TavoActionHandler handler, const std::array<TavoActionParam, N>& params) {
  TavoActionDescriptor d{handler, 0, static_cast<int32_t>(N), {}};
  for (size_t i = 0; i < N; ++i) d.params[i] = params[i];
  return d;
}

// A static group (one per parent), and an instanced one: up to
// max_instances numbered from first_instance, its slots kept in *slots (one
// SlotArea object per instanced group type). refresh rebuilds the group's
// instances from the firmware when a client asks.
constexpr GroupDef group(const char* name, std::span<const ChildDef> children, const char* help,
                         TavoGroupRefreshHandler refresh = nullptr) {
  return GroupDef{name, help, 0, 0, refresh, children, nullptr, tree::name_hash(name)};
}
constexpr GroupDef instanced(const char* name, uint16_t max_instances, SlotArea* slots,
                             std::span<const ChildDef> children, const char* help,
                             TavoGroupRefreshHandler refresh = nullptr, uint16_t first_instance = 0) {
  return GroupDef{name, help, max_instances, first_instance, refresh, children, slots};
}

}  // namespace tavo::declare

// The exported builder of the instanced group `definition`:
// TavoNode* initialize_<Name>(parent, creating_node, creating_action,
// params) builds one instance under parent (tree::build_group); a function
// given after parent_path is then called with the new group (null when
// nothing was built). parent_path names the group the instances go under,
// the type names from below ROOT joined by '/' ("" for ROOT); the builder
// is registered with it (tree::InstancedBuilder) so that every instanced
// group is checked. Written at namespace scope after the declaration of
// initialize_<Name>.
#define TAVO_GROUP_BUILDER(Name, definition, parent_path, ...)                                              \
  TavoNode* initialize_##Name(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,         \
                              char* params) {                                                               \
    TavoNode* built = ::tavo::tree::build_group(definition, parent, creating_node, creating_action, params); \
    __VA_OPT__(__VA_ARGS__(built);)                                                                         \
    return built;                                                                                           \
  }                                                                                                         \
  static const ::tavo::tree::InstancedBuilder initialize_##Name##_builder{&(definition), parent_path,       \
                                                                          &initialize_##Name}

// An action of the group at path (the names from below ROOT joined by '_'):
// defines the exported descriptor ROOT_<path>_<Name>_action (the handler,
// then the parameters, their count derived) and, beside it, the row `Name`
// that the group's child table lists. Written at namespace scope (not in an
// unnamed namespace); a second action of the same name in one file goes
// into a named namespace of its own.
#define TAVO_ACTION(path, Name, handler, help, ...)                                                 \
  extern "C" TAVO_EXPORT constinit const TavoActionDescriptor ROOT_##path##_##Name##_action =      \
      ::tavo::declare::descriptor(handler __VA_OPT__(, ) __VA_ARGS__);                            \
  constexpr ::tavo::tree::ChildDef Name = ::tavo::declare::action_row(#Name, help, &ROOT_##path##_##Name##_action)
