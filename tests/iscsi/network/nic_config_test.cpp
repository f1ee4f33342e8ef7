// The NIC view of an iSCSI function: MTU and speed limits, the running MAC,
// and the refresh and reset of the configured MAC.
#include <gtest/gtest.h>

#include "tests/iscsi/network/network_fixture.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

const std::string kN0 = kNic0;
const std::string kN1 = kNic1;

TEST_F(NetworkTest, NicViewReadsTheFirmware) {
  struct Row {
    std::string group;
    const char* mtu;
    const char* speed;
    const char* mac;
  } rows[] = {
      {kN0, "9000", "10Gb", "00-0e-1e-30-00-02"},
      // Code 5 shows "20Gb" although the property's list does not name it.
      {kN1, "1500", "20Gb", "00-0e-1e-30-00-03"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.group);
    sim_->clear_log();
    EXPECT_EQ(get(r.group + "/MaxMTUSize"), r.mtu);
    EXPECT_EQ(mailbox_count(2, 7), 1);
    EXPECT_EQ(get(r.group + "/PortMaxSpeed"), r.speed);
    EXPECT_EQ(get(r.group + "/MACAddress"), r.mac);
    EXPECT_EQ(get(r.group + "/LogicalLinkStatus"), "Up");
  }
  // An unknown speed code keeps the previous text.
  stack(1).max_speed = 9;
  stack(1).max_mtu = 9200;
  EXPECT_EQ(get(kN1 + "/MaxMTUSize"), "9200");
  EXPECT_EQ(get(kN1 + "/PortMaxSpeed"), "20Gb");
  refuse(2, 7);
  EXPECT_EQ(get(kN1 + "/MaxMTUSize"), "<unreadable>");
  EXPECT_EQ(last_status(), std::make_pair(93u, message_of(93)));
}

TEST_F(NetworkTest, RefreshAndResetOfTheConfiguredMac) {
  sim_->clear_log();
  ASSERT_EQ(act(kN0, "RefreshNICConfig"), 0u);
  EXPECT_EQ(mailbox_count(2, 7), 1);
  EXPECT_EQ(mailbox_count(1, 1), 1);
  EXPECT_EQ(get(kN0 + "/PermanentMACAddress"), "00-0e-1e-30-00-02");

  // FunctionNumber reads "0x2": the factory MAC of PCI function 2, from
  // bytes 26-31 of the type-9 answer.
  sim_->clear_log();
  ASSERT_EQ(act(kN0, "ResetMACAddress"), 0u);
  EXPECT_EQ(last_status(), std::make_pair(304u, message_of(304)));
  const auto query = last_payload(1, 1);
  ASSERT_EQ(query.size(), 72u);
  EXPECT_EQ(query[0], 9);
  EXPECT_EQ(query[1], 0);
  EXPECT_EQ(get(kN0 + "/PermanentMACAddress"), "00-0e-1e-3f-00-02");
  EXPECT_EQ(get(kN0 + "/MACAddress"), "00-0e-1e-30-00-02");

  TavoNode* pci = get_node(tag("Corvane0/iSCSIPhysicalHBA0/PCI"));
  for (const char* number : {"8", "-1", "2x"}) {
    SCOPED_TRACE(number);
    set_prop_val(pci, "FunctionNumber", "%s", number);
    sim_->clear_log();
    EXPECT_EQ(act(kN0, "ResetMACAddress"), 1u);
    EXPECT_EQ(mailbox_count(1, 1), 0);
  }
  set_prop_val(pci, "FunctionNumber", "%s", "0x2");
  refuse(1, 1);
  EXPECT_EQ(act(kN0, "ResetMACAddress"), 1u);
  EXPECT_EQ(last_status(), std::make_pair(159u, message_of(159)));

  EXPECT_EQ(set(kN0 + "/PermanentMACAddress", "00-11-22-33-44-55"), 0u);
  EXPECT_EQ(last_status().first, 304u);
}

}  // namespace
}  // namespace tavo::test
