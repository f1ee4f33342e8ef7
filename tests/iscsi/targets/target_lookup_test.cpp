// find_target among Targets made, named and deleted by every path that
// does so: the actions, the exported builder and the tree's deletes, with
// names that differ in case only and names that two Targets share.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

const std::string kLhbaPath = kLhba;

TEST_F(NetworkTargetsTest, FindTargetFollowsTheTargetsWhateverMakesThem) {
  TavoNode* lhba = node(kLhbaPath);
  std::vector<TavoNode*> built;  // by the exported builder
  const auto build = [&](const std::string& name) {
    TavoNode* t = initialize_Target(lhba, nullptr, nullptr, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(set_prop_val(t, "TargetISCSIName", "%s", name.c_str()), 0u);
    built.push_back(t);
  };
  struct Row {
    std::string step;
    std::function<void()> run;
    std::vector<std::pair<std::string, std::string>> finds;  // name, instance found ("" for none)
  } rows[] = {
      {"added", [&] { ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.Lookup.a", "10.0.0.9"}), 0u); },
       {{"iqn.lookup.a", "Target0"}, {"IQN.LOOKUP.A", "Target0"}, {"iqn.lookup.a2", ""}, {"iqn.lookup", ""}}},
      {"a second added", [&] { ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.lookup.b", "10.0.0.9"}), 0u); },
       {{"iqn.lookup.a", "Target0"}, {"iqn.LOOKUP.b", "Target1"}}},
      {"its name again in other case",
       [&] { EXPECT_EQ(act(kLhbaPath + "/AddTarget", {"IQN.lookup.B", "10.0.0.10"}), 1u); },
       {{"iqn.lookup.b", "Target1"}}},
      {"the first deleted", [&] { ASSERT_EQ(act(kLhbaPath + "/DeleteTarget", {"0"}), 0u); },
       {{"iqn.lookup.a", ""}, {"iqn.lookup.b", "Target1"}}},
      {"another of that name in its place",
       [&] { ASSERT_EQ(act(kLhbaPath + "/AddTarget", {"iqn.lookup.A", "10.0.0.11"}), 0u); },
       {{"iqn.lookup.a", "Target0"}, {"iqn.lookup.b", "Target1"}}},
      // Found as soon as its builder names it, and after the next call.
      {"built and named", [&] { build("iqn.lookup.c"); }, {{"iqn.lookup.c", "Target2"}, {"iqn.lookup.d", ""}}},
      {"a call later", [&] { get(kLhbaPath + "/Target2/TargetISCSIName"); }, {{"IQN.lookup.c", "Target2"}}},
      // Two of one name: the first instance answers.
      {"a second of its name", [&] { build("IQN.LOOKUP.C"); }, {{"iqn.lookup.c", "Target2"}}},
      {"the first of them deleted", [&] { ASSERT_EQ(delete_node(built[0]), 0u); }, {{"iqn.lookup.c", "Target3"}}},
      {"another built in its place", [&] { build("iqn.lookup.c"); }, {{"iqn.lookup.c", "Target2"}}},
      {"a call later", [&] { get(kLhbaPath + "/Target2/TargetISCSIName"); },
       {{"iqn.lookup.c", "Target2"}, {"iqn.lookup.a", "Target0"}}},
      {"every one deleted",
       [&] {
         for (const char* instance : {"0", "1"}) ASSERT_EQ(act(kLhbaPath + "/DeleteTarget", {instance}), 0u);
         for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = get_first_instance(lhba, "Target"))
           ASSERT_EQ(delete_node(t), 0u);
       },
       {{"iqn.lookup.a", ""}, {"iqn.lookup.b", ""}, {"iqn.lookup.c", ""}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.step);
    r.run();
    for (const auto& [name, instance] : r.finds) {
      SCOPED_TRACE(name);
      TavoNode* t = find_target(lhba, name.c_str());
      char shown[TAVO_NAME_SIZE] = "";
      if (t != nullptr) tree::display_name(t, shown);
      EXPECT_EQ(shown, instance);
    }
  }
  // Another LogicalHBA's targets are none of this one's.
  ASSERT_EQ(act(std::string(kMoravelLhba) + "/AddTarget", {"iqn.lookup.m", "10.0.0.9"}), 0u);
  EXPECT_EQ(find_target(lhba, "iqn.lookup.m"), nullptr);
  EXPECT_NE(find_target(node(kMoravelLhba), "iqn.lookup.m"), nullptr);
}

}  // namespace
}  // namespace tavo::test
