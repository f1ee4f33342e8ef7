// TAVO_MAX_CHILDREN holds the children of any group: its own rows and sub-
// groups, and every instance each group placed under it may have.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "tavo/tavo.h"
#include "tests/support/client_fixture.h"
#include "tree/group_builder.h"
#include "tree/tree.h"
#include "tree/persist.h"
#include "tree/waiting.h"

namespace tavo::test {
namespace {

class ChildCapacityTest : public ClientTest {
 protected:
  // The most children each group of the tree below `group` can have;
  // where is its path of type names ("" for ROOT), as builders name it.
  void check(TavoNode* group, const std::string& where) {
    uint32_t rows = 0, possible = 0;
    for (TavoNode* c = tree::group_record(group)->first_child; c != group; c = c->next) {
      const bool instance = c->kind == TAVO_KIND_GROUP && tree::group_record(c)->instance != nullptr;
      rows += instance ? 0 : 1;
      if (c->kind == TAVO_KIND_GROUP) check(c, where.empty() ? c->name : where + "/" + c->name);
    }
    for (const tree::InstancedBuilder* b = tree::first_instanced_builder(); b != nullptr; b = b->next())
      if (where == b->parent_path()) possible += b->definition().max_instances;
    EXPECT_LE(rows + possible, uint32_t{TAVO_MAX_CHILDREN}) << where;
    most_ = std::max(most_, rows + possible);
    seen_.insert(where);
  }
  uint32_t most_ = 0;
  std::set<std::string> seen_;
};

TEST_F(ChildCapacityTest, HoldsEveryGroupsChildren) {
  ASSERT_LE(uint32_t{TAVO_MAX_INSTANCES}, uint32_t{TAVO_MAX_CHILDREN});
  tree::build_every_waiting_group(get_node(0));  // the walk reads the children as they are held
  check(get_node(0), "");
  EXPECT_GE(most_, uint32_t{TAVO_MAX_INSTANCES});  // the event log and route tables
  // Every place an instanced group goes was walked.
  for (const tree::InstancedBuilder* b = tree::first_instanced_builder(); b != nullptr; b = b->next())
    EXPECT_TRUE(seen_.contains(b->parent_path())) << b->definition().name << " under " << b->parent_path();
}

}  // namespace
}  // namespace tavo::test
