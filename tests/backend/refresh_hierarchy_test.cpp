#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include "tests/tree/tree_fixture.h"
#include "backend/backend.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"

namespace tavo {
namespace {

class RefreshHierarchyTest : public test::TreeTest {
 protected:
  // The tree is built without an adapter; the NIC driver then lists the
  // default adapters' eight NIC functions.
  void SetUp() override {
    TreeTest::SetUp();
    std::string error;
    sim_ = sim::install("default", root_.path(), &error);
    ASSERT_NE(sim_, nullptr) << error;
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
  static uint32_t payload_length(const sim::LogEntry& e) {
    MailboxRequestHeader h;
    memcpy(&h, e.bytes.data() + (e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0), sizeof h);
    return h.request_length;
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

// The check asks the driver only: host names are not read again, so a
// missing esx.conf is no change of the NIC set.
TEST_F(RefreshHierarchyTest, TheCheckReadsNoHostFile) {
  ASSERT_EQ(::unlink(root_.at("/etc/vmware/esx.conf").c_str()), 0);
  EXPECT_EQ(refresh_tavo_hierarchy(), 0u);
  EXPECT_EQ(nic_command(), 0u);
  EXPECT_EQ(tavo_glob.nic_valid_hba, 8);
}

TEST_F(RefreshHierarchyTest, ChangeOutsideACallRebuildsAtOnce) {
  corvane();
  change_nic_count(3);
  EXPECT_EQ(refresh_tavo_hierarchy(), 1u);
  // The tree was built again over the three NIC functions now listed.
  EXPECT_EQ(tavo_glob.nic_valid_hba, 3);
  EXPECT_NE(internal_get_node(get_first_instance(root(), "Corvane"), "ControllerStatus", TAVO_KIND_PROPERTY), nullptr);
  EXPECT_EQ(sim_->open_device_count(), static_cast<int>(tavo_glob.iscsi_valid_hba));
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
  for (const auto& e : sim_->mailbox_log())  // the handler's requests
    if (e.kind == sim::LogKind::NicIoctl) {
      EXPECT_NE(payload_length(e), 8u);
    }
  EXPECT_TRUE(get_node(c0_tag) == nullptr || internal_get_node(get_node(c0_tag), "AddTarget", TAVO_KIND_ACTION) == nullptr);
  EXPECT_EQ(tavo_glob.nic_valid_hba, 3);
}

}  // namespace
}  // namespace tavo
