// restore_hm replaying arbitrary record streams into a small tree: a
// controller group with properties of every type, a static sub-group, and an
// action that creates instances. Each input gets a freshly built tree.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "base/debug_log.h"
#include "fuzz/fuzz_root.h"
#include "tree/backend_hooks.h"
#include "tree/declare.h"
#include "tree/group_builder.h"
#include "tree/persist.h"

namespace {

using tavo::tree::ChildDef;
using tavo::tree::GroupDef;

tavo::tree::SlotArea fuzz_controller_slots, fuzz_target_slots;
std::string fuzz_root;

extern const GroupDef kFuzzTarget;

uint32_t do_AddTarget(TavoNode* group, TavoNode* action, char* params) {
  TavoNode* t = tavo::tree::build_group(kFuzzTarget, group, group, action, params);
  if (t == nullptr) return 1;
  return set_prop_val(t, "TargetName", "%s", params);
}

const TavoActionDescriptor add_target = {
    do_AddTarget, 0, 4,
    {{1, "TargetName", "Name.", TAVO_TYPE_TEXT, "", 1, 32},
     {0, "Port", "TCP port.", TAVO_TYPE_INTEGER, "", 1, 65535},
     {0, "Kind", "Kind.", TAVO_TYPE_LIST, "A,B", 0, 0},
     {0, "Address", "Portal.", TAVO_TYPE_IP_ADDRESS, "", 0, 0}}};

const ChildDef settings_children[] = {
    tavo::declare::property("Level", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_INTEGER, "", 1, 5, "1", handle_internal_property,
                            "Level."),
};
const GroupDef settings = {"Settings", "Static.", 0, 0, nullptr, settings_children};

const ChildDef controller_children[] = {
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
const ChildDef target_children[] = {
    tavo::declare::property("TargetName", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "",
                            handle_internal_property, "Name."),
    tavo::declare::action_row("AddTarget", "Adds a nested target.", &add_target),
};
const GroupDef kFuzzController = {"Corvane", "Controller.", 2, 0, nullptr, controller_children,
                                  &fuzz_controller_slots};
const GroupDef kFuzzTarget = {"Target", "Target.", 4, 0, nullptr, target_children, &fuzz_target_slots};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No adapter: the fuzzer's own controller groups stand alone under ROOT.
  fuzz_root = fuzz_install_root();
  // The tree alone: the back end's start would only cost time per input.
  tavo::tree::set_backend_hooks({nullptr, nullptr});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (TAVO_init() != 0) abort();
  TavoNode* root = get_node(0);
  tavo::tree::build_group(kFuzzController, root);
  tavo::tree::build_group(kFuzzController, root);
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (f != nullptr) {
    restore_hm(f);
    fclose(f);
  }
  // What was replayed saves again without harm.
  char* out = nullptr;
  size_t out_size = 0;
  FILE* saved = open_memstream(&out, &out_size);
  if (saved != nullptr) {
    save_node(root, saved, 3);
    fclose(saved);
    free(out);
  }
  TAVO_exit();
  // A replayed TAVODebugLevel must not fill the disk over a long run.
  tavo_debug_level = 0;
  TAVO_set_debug_level();
  unlink((fuzz_root + "/var/log/QVL/tavo/tavo2d.log").c_str());
  return 0;
}
