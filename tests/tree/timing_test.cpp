#include "base/timing.h"

#include "tests/tree/tree_fixture.h"

namespace tavo::test {
namespace {

class TimingTest : public TreeTest {};

TEST_F(TimingTest, StopGivesTheMillisecondsSinceTheStart) {
  TavoNode* c0 = corvane();
  TavoNode* c1 = corvane();
  ASSERT_NE(c1, nullptr);
  ASSERT_EQ(TAVO_start_clock(c0), 0u);
  sim_->advance_ms(900);
  ASSERT_EQ(TAVO_start_clock(c1), 0u);
  EXPECT_EQ(tavo_glob_timer[2].seconds, tavo_glob_timer[0].seconds);
  EXPECT_EQ(tavo_glob_timer[2].microseconds, tavo_glob_timer[0].microseconds + 900000u);
  sim_->advance_ms(1600);
  uint32_t ms = 0;
  EXPECT_EQ(TAVO_stop_clock(c0, &ms), 0u);
  EXPECT_EQ(ms, 2500u);
  // The microseconds of the stop lie below those of the start.
  sim_->advance_ms(600);
  EXPECT_EQ(TAVO_stop_clock(c1, &ms), 0u);
  EXPECT_EQ(ms, 2200u);
}

TEST_F(TimingTest, StaticGroupsAndInstancesPastTheTableAnswer1) {
  uint32_t ms = 77;
  EXPECT_EQ(TAVO_start_clock(nullptr), 1u);
  EXPECT_EQ(TAVO_start_clock(root()), 1u);
  EXPECT_EQ(TAVO_stop_clock(root(), &ms), 1u);
  TavoNode* c0 = corvane();
  TavoNode* settings = get_node(tag_of(c0, "Settings", TAVO_KIND_GROUP));
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(TAVO_start_clock(settings), 1u);
  EXPECT_EQ(TAVO_start_clock(get_node(tag_of(c0, "Name"))), 1u);  // a property
  TavoNode* entry = nullptr;
  for (int i = 0; i <= 16; ++i) entry = tree::build_group(kEntryDef, root());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(tree::instance_number(entry), 16);
  TavoTimeStamp before[TAVO_TIMER_SLOTS];
  memcpy(before, tavo_glob_timer, sizeof before);
  EXPECT_EQ(TAVO_start_clock(entry), 1u);
  EXPECT_EQ(TAVO_stop_clock(entry, &ms), 1u);
  EXPECT_EQ(memcmp(before, tavo_glob_timer, sizeof before), 0);
  EXPECT_EQ(ms, 77u);
  EXPECT_EQ(TAVO_stop_clock(c0, nullptr), 1u);
}

}  // namespace
}  // namespace tavo::test
