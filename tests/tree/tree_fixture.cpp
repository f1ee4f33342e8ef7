#include "tests/tree/tree_fixture.h"

#include <string.h>

#include "tree/declare.h"

namespace tavo::test {

std::vector<ActionCall> action_calls;
uint32_t action_result = 0;
void (*action_hook)(TavoNode* group) = nullptr;

namespace {

tree::SlotArea corvane_slots, target_slots, session_slots, entry_slots;

uint32_t do_AddTarget(TavoNode* group, TavoNode* action, char* params) {
  ActionCall call{group, action, {}};
  for (int i = 0; i < TAVO_MAX_PARAMS; ++i) call.params.emplace_back(params + i * TAVO_VALUE_SIZE);
  action_calls.push_back(call);
  if (action_hook) action_hook(group);
  TavoNode* t = tree::build_group(kTargetDef, group, group, action, params);
  if (t == nullptr) return 1;
  set_prop_val(t, "TargetName", "%s", params);
  return action_result;
}

uint32_t do_Nothing(TavoNode*, TavoNode*, char*) { return 0; }

const TavoActionDescriptor add_target = {
    do_AddTarget, 0, 3,
    {{1, "TargetName", "The target's name.", TAVO_TYPE_TEXT, "", 1, 16},
     {0, "Port", "TCP port.", TAVO_TYPE_INTEGER, "", 1, 65535},
     {0, "Kind", "Kind of target.", TAVO_TYPE_LIST, "A,B", 0, 0}}};
const TavoActionDescriptor no_handler = {nullptr, 0, 0, {}};
const TavoActionDescriptor nothing = {do_Nothing, 0, 0, {}};

const tree::ChildDef settings_children[] = {
    declare::property("Level", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_INTEGER, "", 1, 5, "1", handle_internal_property,
                      "A level."),
};
const tree::GroupDef settings_def = {"Settings", "Static settings.", 0, 0, nullptr, settings_children};

const tree::ChildDef corvane_children[] = {
    declare::property("Name", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_TEXT, "", 1, 10, "cv", handle_internal_property,
                      "Controller name."),
    declare::property("Count", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_INTEGER, "", 0, 100, "0", handle_internal_property,
                      "A number."),
    declare::property("Mode", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_LIST, "On,Off", 0, 0, "On", handle_internal_property,
                      "A choice."),
    declare::property("Serial", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "01234567890123456789",
                      handle_internal_property, "Read-only."),
    declare::property("Hidden", static_cast<uint32_t>(TAVO_ACCESS_READ_WRITE) | TAVO_FLAG_HIDDEN, TAVO_TYPE_TEXT, "", 0,
                      255, "", handle_internal_property, "Writable, flag bit 3."),
    declare::property("Bare", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_TEXT, "", 0, 255, "stored", nullptr, "No handler."),
    declare::property("Address", TAVO_ACCESS_READ_WRITE, TAVO_TYPE_IP_ADDRESS, "", 0, 0, "0.0.0.0",
                      handle_internal_property, "An address."),
    declare::property("PortNumber", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_INTEGER, "", 0, 3, "2", handle_internal_property,
                      "Port."),
    declare::action_row("AddTarget", "Adds a target.", &add_target),
    declare::action_row("Broken", "No handler.", &no_handler),
    declare::action_row("Nothing", "Does nothing.", &nothing),
    declare::subgroup(&settings_def),
};

const tree::ChildDef target_children[] = {
    declare::property("TargetName", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "", handle_internal_property,
                      "Name."),
};
const tree::ChildDef session_children[] = {
    declare::property("State", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "up", handle_internal_property,
                      "State."),
};

uint32_t refresh_corvane(TavoNode* group) {
  set_prop_val(group, "Count", "%d", 42);
  return 0;
}

}  // namespace

const tree::GroupDef kCorvaneDef = {"Corvane", "A controller.", 4, 0, refresh_corvane, corvane_children,
                                    &corvane_slots};
const tree::GroupDef kTargetDef = {"Target", "A target.", 3, 0, nullptr, target_children, &target_slots};
const tree::GroupDef kSessionDef = {"Session", "A session.", 8, 0, nullptr, session_children, &session_slots};
const tree::GroupDef kEntryDef = {"Entry", "An entry.", 5000, 0, nullptr, {}, &entry_slots};

void TreeTest::SetUp() {
  SimTest::SetUp();
  action_calls.clear();
  action_result = 0;
  action_hook = nullptr;
  baseline_allocations_ = tavo_counter;
  ASSERT_EQ(TAVO_init(), 0u);
}

void TreeTest::TearDown() {
  while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
  }
  // Everything the tree allocated went back, and nothing left the root.
  EXPECT_EQ(tavo_counter, baseline_allocations_);
  EXPECT_TRUE(sim_->outside_root_writes().empty());
  SimTest::TearDown();
}

TavoNode* TreeTest::corvane(int n) {
  if (n < 0) return tree::build_group(kCorvaneDef, root());
  return get_node(tag_of(root(), "Corvane" + std::to_string(n), TAVO_KIND_GROUP));
}

uint32_t TreeTest::tag_of(TavoNode* parent, const std::string& name, uint32_t kind) {
  uint32_t tag = 0xFFFFFFFF;
  if (parent == nullptr || TAVO_get_node_tag(parent->tag, name.c_str(), &tag, kind) != 0) return 0xFFFFFFFF;
  return tag;
}

std::vector<std::string> TreeTest::child_names(TavoNode* group, uint32_t kind) {
  std::vector<uint32_t> tags(4096);
  uint32_t count = 0;
  std::vector<std::string> names;
  if (TAVO_get_child_tags(group->tag, tags.data(), &count, kind) != 0) return names;
  for (uint32_t i = 0; i < count; ++i) {
    char name[TAVO_NAME_SIZE];
    TavoNode* n = tree::follow_links(get_node(tags[i]));
    tree::display_name(get_node(tags[i]), name);
    names.push_back(std::string(name) + (n != get_node(tags[i]) ? "@" : ""));
  }
  return names;
}

std::string TreeTest::params(std::vector<std::string> values) {
  std::string block(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE, '\0');
  // Slots past the values given are not given.
  for (size_t i = values.size(); i < TAVO_MAX_PARAMS; ++i) block[i * TAVO_VALUE_SIZE] = '\xff';
  for (size_t i = 0; i < values.size() && i < TAVO_MAX_PARAMS; ++i)
    memcpy(&block[i * TAVO_VALUE_SIZE], values[i].data(), std::min<size_t>(values[i].size(), TAVO_VALUE_SIZE - 1));
  return block;
}

}  // namespace tavo::test
