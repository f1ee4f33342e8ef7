#include <gtest/gtest.h>

#include "tests/tree/tree_fixture.h"
#include "backend/backend.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"

namespace tavo {
namespace {

class RefreshHierarchyTest : public test::TreeTest {
 protected:
  void SetUp() override {
    TreeTest::SetUp();
    transport::reset_glob();
    tavo_glob.nic_valid_hba = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    sim_->on(1, 32, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; });
  }
  void TearDown() override {
    os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
    transport::reset_glob();
    TreeTest::TearDown();
  }
  void change_nic_count(int count) {
    sim::Fault f;
    f.kind = sim::FaultKind::NicCountChange;
    f.nic_count = count;
    sim_->inject(f);
  }
  static uint32_t nic_command() {
    uint8_t payload[8] = {};
    return TAVO_prepare_mailbox_cmd(1, 32, 1, sizeof payload, sizeof payload + 16, payload, 1, 0, 0, TAVO_VIA_NIC);
  }
};

TEST_F(RefreshHierarchyTest, UnchangedCountLeavesTheNicDeviceOpenForTheRequest) {
  TavoNode* c0 = corvane();
  ASSERT_EQ(refresh_tavo_hierarchy(), 0u);
  EXPECT_GE(tavo_glob.nic_handles[0], 0);
  EXPECT_EQ(sim_->open_device_count(), 1);
  EXPECT_EQ(get_first_instance(root(), "Corvane"), c0);
}

TEST_F(RefreshHierarchyTest, ChangeOutsideACallRebuildsAtOnce) {
  corvane();
  change_nic_count(3);
  EXPECT_EQ(refresh_tavo_hierarchy(), 1u);
  EXPECT_EQ(get_first_instance(root(), "Corvane"), nullptr);  // the tree was built again
  EXPECT_NE(get_node(0), nullptr);
  EXPECT_EQ(sim_->open_device_count(), 0);
}

// A NIC command inside a handler that meets a changed NIC set is abandoned;
// the handler's nodes live until the call returns, then the tree is rebuilt.
TEST_F(RefreshHierarchyTest, ChangeDuringAHandlerAbandonsTheRequestAndRebuildsAfterTheCall) {
  TavoNode* c0 = corvane();
  const uint32_t c0_tag = c0->tag;
  change_nic_count(3);
  test::action_hook = [](TavoNode* group) {
    EXPECT_EQ(nic_command(), 1u);
    EXPECT_EQ(set_prop_val(group, "Name", "alive"), 0u);
    EXPECT_EQ(nic_command(), 1u);  // still changed: abandoned again, no second rebuild now
  };
  std::string block = params({"t"});
  EXPECT_EQ(TAVO_do_action(c0_tag, tag_of(c0, "AddTarget"), block.data(), nullptr), 0u);
  EXPECT_TRUE(sim_->mailbox_log().empty());
  EXPECT_EQ(get_node(c0_tag), nullptr);
  EXPECT_EQ(get_first_instance(root(), "Corvane"), nullptr);
  EXPECT_EQ(sim_->open_device_count(), 0);
}

}  // namespace
}  // namespace tavo
