// A connected client over a tree of test groups:
//   ROOT/Corvane<n> (4 instances) with properties of every type, a static
//   Settings group, Target<n> instances (3 per controller) made by the
//   AddTarget action, and Session<n> instances under a Target.
#pragma once

#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tree/group_builder.h"
#include "tree/tree.h"

namespace tavo::test {

struct ActionCall {
  TavoNode* group;
  TavoNode* action;
  std::vector<std::string> params;
};

extern std::vector<ActionCall> action_calls;
extern uint32_t action_result;
extern void (*action_hook)(TavoNode* group);  // runs inside the AddTarget handler

extern const tree::GroupDef kCorvaneDef;
extern const tree::GroupDef kTargetDef;
extern const tree::GroupDef kSessionDef;
extern const tree::GroupDef kEntryDef;  // 5000 instances, no children

// No adapter: the test's own groups stand alone under ROOT.
class TreeTest : public SimTest {
 protected:
  TreeTest() : SimTest("") {}
  void SetUp() override;
  void TearDown() override;
  TavoNode* root() { return get_node(0); }
  TavoNode* corvane(int n = -1);  // builds a new controller, or returns instance n
  uint32_t tag_of(TavoNode* parent, const std::string& name, uint32_t kind = TAVO_KIND_ANY);
  std::vector<std::string> child_names(TavoNode* group, uint32_t kind);
  // Parameter block of six texts; "\xff", and every slot past the values,
  // means not given.
  static std::string params(std::vector<std::string> values);
  uint32_t baseline_allocations_ = 0;
};

}  // namespace tavo::test
