// A group built alone whose children wait: which public calls build them,
// which leave them waiting, and what is seen once they are built.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/tree/tree_fixture.h"
#include "tree/waiting.h"

namespace tavo::test {
namespace {

int builds = 0;

uint32_t build_session(TavoNode* session, void* data) {
  ++builds;
  if (data == nullptr || *static_cast<int*>(data) != 7) return 1;
  if (!tree::add_group_children(kSessionDef, session)) return 1;
  return set_prop_val(session, "State", "%s", "built");
}

class WaitingChildrenTest : public TreeTest {
 protected:
  // Corvane0/Target0/Session0, the Session's children waiting in the
  // Corvane's scope.
  void fresh() {
    if (c_ != nullptr) {
      ASSERT_EQ(delete_node(c_), 0u);
    }
    builds = 0;
    c_ = corvane();
    target_ = tree::build_group(kTargetDef, c_);
    session_ = tree::build_group_alone(kSessionDef, target_);
    ASSERT_NE(session_, nullptr);
    const auto data = std::make_shared<int>(7);
    data_ = data;
    tree::defer_children(session_, c_, build_session, data);
  }
  uint32_t tag(TavoNode* group, const char* name) { return tag_of(group, name); }
  TavoNode* c_ = nullptr;
  TavoNode* target_ = nullptr;
  TavoNode* session_ = nullptr;
  std::weak_ptr<int> data_;  // what the build works from, kept by the wait
};

TEST_F(WaitingChildrenTest, OnlyWhatReachesTheGroupOrRunsAHandlerInScopeBuildsIt) {
  enum Call { kNone, kListTarget, kListSession, kLookUp, kGetStored, kSetStored, kAction, kRefresh, kWalk, kDelete };
  const struct {
    Call call;
    bool waits;
  } rows[] = {
      {kNone, true},   {kListTarget, true}, {kListSession, false}, {kLookUp, false}, {kGetStored, true},
      {kSetStored, true}, {kAction, false}, {kRefresh, false},     {kWalk, false},   {kDelete, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    fresh();
    char value[TAVO_VALUE_SIZE] = "";
    std::vector<uint32_t> created(TAVO_MAX_NEW_TAGS, 0);
    switch (row.call) {
      case kNone: break;
      case kListTarget: EXPECT_EQ(child_names(target_, TAVO_KIND_GROUP), std::vector<std::string>{"Session0"}); break;
      case kListSession: child_names(session_, TAVO_KIND_PROPERTY); break;
      case kLookUp: EXPECT_NE(tag(session_, "State"), 0xFFFFFFFFu); break;
      case kGetStored: EXPECT_EQ(TAVO_get_property_val(c_->tag, tag(c_, "Name"), value, sizeof value), 0u); break;
      case kSetStored: EXPECT_EQ(TAVO_set_property_val(c_->tag, tag(c_, "Name"), "x", 2), 0u); break;
      case kAction:
        EXPECT_EQ(TAVO_do_action(c_->tag, tag(c_, "AddTarget"), params({"t1"}).data(), created.data()), 0u);
        // The action created the new Target alone, not what the call built.
        EXPECT_NE(created[0], 0u);
        EXPECT_EQ(created[1], 0u);
        EXPECT_EQ(get_node(created[0])->parent, c_);
        break;
      case kRefresh: EXPECT_EQ(TAVO_refresh_group(c_->tag), 0u); break;
      case kWalk: tree::reach_within(root()); break;
      case kDelete: EXPECT_EQ(delete_node(session_), 0u); break;
    }
    // The wait keeps its data while it waits, and no longer.
    EXPECT_EQ(data_.expired(), !row.waits);
    if (row.call == kDelete) {
      EXPECT_EQ(builds, 0);
      continue;
    }
    EXPECT_EQ(tree::children_wait(session_), row.waits);
    EXPECT_EQ(builds, row.waits ? 0 : 1);
    if (row.waits) continue;
    // Built once, as a group built whole shows it.
    EXPECT_EQ(child_names(session_, TAVO_KIND_PROPERTY), std::vector<std::string>{"State"});
    char state[TAVO_VALUE_SIZE] = "";
    EXPECT_EQ(internal_get_property(session_, "State", state), 0u);
    EXPECT_STREQ(state, "built");
    EXPECT_EQ(builds, 1);
  }
}

uint32_t build_two_targets(TavoNode* c) {
  ++builds;
  return tree::build_group(kTargetDef, c) != nullptr && tree::build_group(kTargetDef, c) != nullptr ? 0 : 1;
}

// A Corvane's two Targets wait; a third comes by its AddTarget action (the
// wait sparing it or not) or is built above their slots. The third always
// ends as Target2 after the two, and only what is built above them leaves
// them waiting, their slots free, until a listing builds them.
TEST_F(WaitingChildrenTest, AnInstanceBuiltAboveWaitingOnesLeavesThemTheirSlots) {
  const struct {
    const char* what;
    const char* spared;
    bool above, waits;
  } rows[] = {
      {"the action, not spared", nullptr, false, false},
      {"the action spared: its handler's build reaches them", "AddTarget", false, false},
      {"built above them", "AddTarget", true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fresh();
    ASSERT_EQ(delete_node(target_), 0u);
    builds = 0;
    tree::defer_instances(c_, "Target", build_two_targets, row.spared);
    TavoNode* added = nullptr;
    if (row.above) {
      added = tree::build_group_above(kTargetDef, c_, 2);
      // Their two slots stay theirs, and no third one is free.
      EXPECT_EQ(tree::build_group_above(kTargetDef, c_, 2), nullptr);
      EXPECT_EQ(tree::first_built_instance(c_, "Target"), added);
    } else {
      std::vector<uint32_t> created(TAVO_MAX_NEW_TAGS, 0);
      ASSERT_EQ(TAVO_do_action(c_->tag, tag(c_, "AddTarget"), params({"t"}).data(), created.data()), 0u);
      added = get_node(created[0]);
    }
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(tree::instances_wait(c_), row.waits);
    EXPECT_EQ(builds, row.waits ? 0 : 1);
    const std::vector<std::string> shown = {"Settings", "Target0", "Target1", "Target2"};
    EXPECT_EQ(child_names(c_, TAVO_KIND_GROUP), shown);
    EXPECT_EQ(tree::instance_number(added), 2);
    EXPECT_EQ(builds, 1);
  }
}

}  // namespace
}  // namespace tavo::test
