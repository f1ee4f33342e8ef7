// The fuzz targets' own small tree: controller groups with properties of
// every type, a static sub-group, and an action that creates (nested)
// instances. For targets that drive the tree without the adapters.
#pragma once

#include "tree/declare.h"
#include "tree/group_builder.h"

namespace fuzz_tree {

using tavo::tree::ChildDef;
using tavo::tree::GroupDef;

uint32_t do_AddTarget(TavoNode* group, TavoNode* action, char* params);

inline tavo::tree::SlotArea controller_slots, target_slots;

inline const TavoActionDescriptor add_target = {
    do_AddTarget, 0, 4,
    {{1, "TargetName", "Name.", TAVO_TYPE_TEXT, "", 1, 32},
     {0, "Port", "TCP port.", TAVO_TYPE_INTEGER, "", 1, 65535},
     {0, "Kind", "Kind.", TAVO_TYPE_LIST, "A,B", 0, 0},
     {0, "Address", "Portal.", TAVO_TYPE_IP_ADDRESS, "", 0, 0}}};

inline const ChildDef settings_children[] = {
    tavo::declare::property("Level", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_INTEGER, "", 1, 5, "1", handle_internal_property,
                            "Level."),
};
inline const GroupDef settings = {"Settings", "Static.", 0, 0, nullptr, settings_children};

inline const ChildDef controller_children[] = {
    tavo::declare::property("Name", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_TEXT, "", 0, 255, "cv", handle_internal_property,
                            "Text."),
    tavo::declare::property("Count", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_INTEGER, "", -5, 100, "0",
                            handle_internal_property, "Integer."),
    tavo::declare::property("Address", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_IP_ADDRESS, "", 0, 0, "",
                            handle_internal_property, "Address."),
    tavo::declare::property("Mask", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_SUBNET_MASK, "", 0, 0, "",
                            handle_internal_property, "Mask."),
    tavo::declare::property("Mode", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_LIST, "On,Off", 0, 0, "On",
                            handle_internal_property, "Choice."),
    tavo::declare::property("Serial", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "S1", handle_internal_property,
                            "Read-only."),
    tavo::declare::property("Bare", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_TEXT, "", 0, 255, "", nullptr, "No handler."),
    tavo::declare::action_row("AddTarget", "Adds a target.", &add_target),
    tavo::declare::subgroup(&settings),
};
inline const ChildDef target_children[] = {
    tavo::declare::property("TargetName", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "",
                            handle_internal_property, "Name."),
    tavo::declare::action_row("AddTarget", "Adds a nested target.", &add_target),
};
inline const GroupDef controller = {"Corvane", "Controller.", 2, 0, nullptr, controller_children, &controller_slots};
inline const GroupDef target = {"Target", "Target.", 4, 0, nullptr, target_children, &target_slots};

inline uint32_t do_AddTarget(TavoNode* group, TavoNode* action, char* params) {
  TavoNode* t = tavo::tree::build_group(target, group, group, action, params);
  if (t == nullptr) return 1;
  return set_prop_val(t, "TargetName", "%s", params);
}

// The two controller groups under ROOT of a started tree.
inline void build_controllers() {
  tavo::tree::build_group(controller, get_node(0));
  tavo::tree::build_group(controller, get_node(0));
}

}  // namespace fuzz_tree
