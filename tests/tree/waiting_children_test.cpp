// Children that wait: which public calls pass the gate that builds them,
// which leave them waiting, what is seen once they are built, and the
// slots and persistence order kept for instances that wait.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/tree/tree_fixture.h"
#include "tree/persist.h"
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
  // Corvane0/Target0/Session0, the Session's children waiting.
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
    tree::defer_children(session_, build_session, data);
  }
  uint32_t tag(TavoNode* group, const char* name) { return tag_of(group, name); }
  TavoNode* c_ = nullptr;
  TavoNode* target_ = nullptr;
  TavoNode* session_ = nullptr;
  std::weak_ptr<int> data_;  // what the build works from, kept by the wait
};

// Only what reaches the Session's children builds them: a look at them, a
// call on the Session, a walk through it. A call elsewhere, even one that
// runs a handler of the group above, leaves them waiting.
TEST_F(WaitingChildrenTest, OnlyWhatReachesTheChildrenBuildsThem) {
  enum Call {
    kNone, kListTarget, kListSession, kLookUp, kGetStored, kSetStored, kAction, kRefresh, kRefreshSession, kWalk,
    kPersistent, kDelete
  };
  const struct {
    Call call;
    bool waits;
  } rows[] = {
      {kNone, true},       {kListTarget, true}, {kListSession, false},   {kLookUp, false},
      {kGetStored, true},  {kSetStored, true},  {kAction, true},         {kRefresh, true},
      {kRefreshSession, false}, {kWalk, false}, {kPersistent, false},    {kDelete, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    fresh();
    char value[TAVO_VALUE_SIZE] = "";
    std::vector<uint32_t> created(TAVO_MAX_NEW_TAGS, 0);
    std::vector<uint32_t> persistent(64);
    int32_t count = static_cast<int32_t>(persistent.size());
    switch (row.call) {
      case kNone: break;
      case kListTarget: EXPECT_EQ(child_names(target_, TAVO_KIND_GROUP), std::vector<std::string>{"Session0"}); break;
      case kListSession: child_names(session_, TAVO_KIND_PROPERTY); break;
      case kLookUp: EXPECT_NE(tag(session_, "State"), 0xFFFFFFFFu); break;
      case kGetStored: EXPECT_EQ(TAVO_get_property_val(c_->tag, tag(c_, "Name"), value, sizeof value), 0u); break;
      case kSetStored: EXPECT_EQ(TAVO_set_property_val(c_->tag, tag(c_, "Name"), "x", 2), 0u); break;
      case kAction:
        EXPECT_EQ(TAVO_do_action(c_->tag, tag(c_, "AddTarget"), params({"t1"}).data(), created.data()), 0u);
        EXPECT_NE(created[0], 0u);
        break;
      case kRefresh: EXPECT_EQ(TAVO_refresh_group(c_->tag), 0u); break;
      case kRefreshSession: {
        uint32_t tags[8], n = 0;
        EXPECT_EQ(TAVO_get_child_tags(session_->tag, tags, &n, TAVO_KIND_ANY), 0u);
        break;
      }
      case kWalk: tree::build_every_waiting_group(root()); break;
      case kPersistent: EXPECT_EQ(TAVO_get_persistent_nodes(persistent.data(), &count), 0u); break;
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

// A Target's Sessions, made when they are reached.
uint32_t build_a_session(TavoNode* target, void*) {
  ++builds;
  return tree::build_group(kSessionDef, target) != nullptr ? 0 : 1;
}

// Waits scoped above their group, as a LogicalHBA's targets are scoped at
// its function: three Targets' Sessions wait with the Corvane as scope. One
// wait is made again, one built by a look at it, one dropped with its
// Target, so the scope keeps one. A public call anywhere in the scope
// builds it (a property of the scope, one in another subtree of it, a
// refresh of the scope); a property of its own Target and one outside the
// scope leave it waiting, and a Session's waiting children below stay
// waiting whatever the call.
TEST_F(WaitingChildrenTest, AWaitScopedAboveItsGroupIsBuiltByACallInTheScope) {
  enum Call { kNone, kGetScope, kGetOtherSubtree, kRefreshScope, kGetOwnGroup, kGetRoot };
  const struct {
    Call call;
    bool waits;
  } rows[] = {
      {kNone, true},          {kGetScope, false},   {kGetOtherSubtree, false},
      {kRefreshScope, false}, {kGetOwnGroup, true}, {kGetRoot, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    fresh();
    TavoNode* second = tree::build_group(kTargetDef, c_);
    TavoNode* third = tree::build_group(kTargetDef, c_);
    ASSERT_NE(third, nullptr);
    for (TavoNode* t : {target_, second, third, third})
      tree::defer_instances(t, c_, kSessionDef, build_a_session, nullptr);
    EXPECT_NE(tag(second, "Session0"), 0xFFFFFFFFu);
    ASSERT_EQ(delete_node(third), 0u);
    ASSERT_EQ(builds, 1);
    char value[TAVO_VALUE_SIZE] = "";
    TavoNode* settings = get_node(tag(c_, "Settings"));
    switch (row.call) {
      case kNone: break;
      case kGetScope: EXPECT_EQ(TAVO_get_property_val(c_->tag, tag(c_, "Name"), value, sizeof value), 0u); break;
      case kGetOtherSubtree:
        EXPECT_EQ(TAVO_get_property_val(settings->tag, tag(settings, "Level"), value, sizeof value), 0u);
        break;
      case kRefreshScope: EXPECT_EQ(TAVO_refresh_group(c_->tag), 0u); break;
      case kGetOwnGroup:
        EXPECT_EQ(TAVO_get_property_val(target_->tag, tag(target_, "TargetName"), value, sizeof value), 0u);
        break;
      case kGetRoot:
        EXPECT_EQ(TAVO_get_property_val(0, tag(root(), "TAVOServiceVersion"), value, sizeof value), 0u);
        break;
    }
    EXPECT_EQ(tree::children_wait(target_), row.waits);
    EXPECT_EQ(builds, row.waits ? 1 : 2);
    EXPECT_TRUE(tree::children_wait(session_));
    EXPECT_EQ(child_names(target_, TAVO_KIND_GROUP), (std::vector<std::string>{"Session0", "Session1"}));
    EXPECT_EQ(builds, 2);
  }
}

// The two Targets of a Corvane that wait, made by its AddTarget as a
// client's action would make them, then a Session below each, made
// persistent by the same action.
uint32_t build_two_targets(TavoNode* c, void*) {
  ++builds;
  TavoNode* action = internal_get_node(c, "AddTarget", TAVO_KIND_ACTION);
  TavoNode* targets[2];
  for (TavoNode*& t : targets)
    if ((t = tree::build_group(kTargetDef, c, c, action, nullptr)) == nullptr) return 1;
  for (TavoNode* t : targets)
    if (tree::build_group(kSessionDef, t, t, action, nullptr) == nullptr) return 1;
  return 0;
}

// A Corvane's two Targets wait; a third comes by its AddTarget action.
// With their slots kept it joins them unbuilt, above them; without, its
// build builds them first. Either way the third ends as Target2 after the
// two, and the two keep the place in the persistent order that their
// deferral gave them, each followed by its Session, though the build made
// more persistent groups than it kept slots.
TEST_F(WaitingChildrenTest, AnInstanceAddedBesideWaitingOnesTakesASlotAboveTheirs) {
  const struct {
    const char* what;
    int32_t kept;
    bool waits;
  } rows[] = {
      {"their slots kept", 2, true},
      {"their number not known", -1, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fresh();
    ASSERT_EQ(delete_node(target_), 0u);
    builds = 0;
    tree::defer_instances(c_, c_, kTargetDef, build_two_targets, nullptr, row.kept);
    std::vector<uint32_t> created(TAVO_MAX_NEW_TAGS, 0);
    ASSERT_EQ(TAVO_do_action(c_->tag, tag(c_, "AddTarget"), params({"t"}).data(), created.data()), 0u);
    // The action created its Target alone, not what its build made.
    TavoNode* added = get_node(created[0]);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(created[1], 0u);
    EXPECT_EQ(tree::instance_number(added), 2);
    EXPECT_EQ(tree::children_wait(c_), row.waits);
    EXPECT_EQ(builds, row.waits ? 0 : 1);
    EXPECT_EQ(tree::slots_taken(c_, kTargetDef), 3);
    // A look for another child passes them by; one for a Target builds them.
    EXPECT_NE(tag(c_, "Settings"), 0xFFFFFFFFu);
    EXPECT_EQ(builds, row.waits ? 0 : 1);
    EXPECT_NE(tag(c_, "Target1"), 0xFFFFFFFFu);
    EXPECT_EQ(builds, 1);
    const std::vector<std::string> shown = {"Settings", "Target0", "Target1", "Target2"};
    EXPECT_EQ(child_names(c_, TAVO_KIND_GROUP), shown);
    // The persistent order is the one a build at their deferral gives.
    std::vector<uint32_t> tags(16);
    int32_t count = static_cast<int32_t>(tags.size());
    ASSERT_EQ(TAVO_get_persistent_nodes(tags.data(), &count), 0u);
    std::vector<std::string> order;
    for (int32_t i = 0; i < count; ++i) {
      char name[TAVO_NAME_SIZE], parent[TAVO_NAME_SIZE];
      TavoNode* n = get_node(tags[i]);
      tree::display_name(n, name);
      tree::display_name(n->parent, parent);
      order.push_back(n->parent == c_ ? name : std::string(parent) + "/" + name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Target0", "Target0/Session0", "Target1", "Target1/Session0",
                                               "Target2"}));
  }
}

// A wait dropped with its group gives its slots back.
TEST_F(WaitingChildrenTest, SlotsKeptForAWaitThatGoesAreFreeAgain) {
  fresh();
  ASSERT_EQ(delete_node(target_), 0u);
  tree::defer_instances(c_, c_, kTargetDef, build_two_targets, nullptr, 3);
  EXPECT_EQ(tree::slots_taken(c_, kTargetDef), 3);
  // No slot is left for a new Target beside them.
  EXPECT_EQ(tree::build_group(kTargetDef, c_), nullptr);
  // A new wait replaces the old, and its slots.
  tree::defer_instances(c_, c_, kTargetDef, build_two_targets, nullptr, 1);
  EXPECT_EQ(tree::slots_taken(c_, kTargetDef), 1);
  tree::forget_waits_within(c_);
  EXPECT_EQ(tree::slots_taken(c_, kTargetDef), 0);
  EXPECT_FALSE(tree::children_wait(c_));
}

}  // namespace
}  // namespace tavo::test
