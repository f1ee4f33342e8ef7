// The NICPhysicalHBA branch as clients see it, and the function's own values:
// MTU, interface name, RoCE state, QoS cap, switch type and the refresh of
// its virtual functions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "nic/nic.h"
#include "tests/nic/nic_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

using Names = std::vector<std::string>;

class NicFunctionTest : public ClientTest {
 protected:
  // Nodes of one kind in a group and its static sub-groups.
  int count_within(const std::string& path, uint32_t kind) {
    int n = static_cast<int>(children(path, kind).size());
    for (const std::string& g : children(path, TAVO_KIND_GROUP))
      if (g.find("NICLogicalHBA") != 0) n += count_within(path + "/" + g, kind);
    return n;
  }
};

TEST_F(NicFunctionTest, BranchAsClientsSeeIt) {
  const std::string fn = "Corvane2/NICPhysicalHBA0";
  EXPECT_EQ(children(fn, TAVO_KIND_GROUP), (Names{"VPD", "vNIC", "NetworkBootConfiguration", "CIM", "PCI", "Driver"}));
  EXPECT_EQ(children(fn, TAVO_KIND_PROPERTY),
            (Names{"IsRoCEEnabled", "IsVF", "PortNumber", "MTUSize", "MaxMTUSize", "LogicalLinkStatus", "IfName",
                   "MACAddress", "PermanentMACAddress", "FactoryDefaultMACAddress", "MinBitsPerSecond",
                   "MaxBitsPerSecond", "PortSpeed", "SRIOVState", "VEPAState"}));
  EXPECT_EQ(children(fn, TAVO_KIND_ACTION), (Names{"ResetMACAddress", "EraseNICConfiguration"}));
  EXPECT_EQ(children(fn + "/NetworkBootConfiguration", TAVO_KIND_ACTION), (Names{"SetNetworkBoot", "ConfigureVLAN"}));
  EXPECT_EQ(count_within(fn, TAVO_KIND_PROPERTY), 49);
  EXPECT_EQ(count_within(fn, TAVO_KIND_ACTION), 5);
  // Virtual functions from the driver's table: two on vmnic2 only.
  EXPECT_EQ(children("Corvane1/NICPhysicalHBA0", TAVO_KIND_GROUP).size(), 8u);
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA0/NICLogicalHBA1/LinkStatus"), "Up");
  EXPECT_EQ(tag("Corvane1/NICPhysicalHBA1/NICLogicalHBA0"), kNoTag);
  EXPECT_EQ(tavo_glob.vf_counts[2], 2u);
  // 32 functions a controller: the 33rd gets no group.
  TavoNode* controller = get_node(tag("Corvane0"));
  for (int i = 2; i < 32; ++i) ASSERT_NE(initialize_NICPhysicalHBA(controller, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(initialize_NICPhysicalHBA(controller, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(NicFunctionTest, RefreshRebuildsTheVirtualFunctions) {
  sim_->nic_state(1, 0)->vfs.resize(3);
  ASSERT_EQ(TAVO_refresh_group(tag("Corvane1/NICPhysicalHBA0")), 0u);
  EXPECT_NE(tag("Corvane1/NICPhysicalHBA0/NICLogicalHBA2"), kNoTag);
  EXPECT_EQ(tavo_glob.vf_counts[2], 3u);
  sim_->inject(nic_fault(sim::FaultKind::VfRefusal));
  EXPECT_EQ(TAVO_refresh_group(tag("Corvane1/NICPhysicalHBA0")), 0u);  // whatever the driver answers
  EXPECT_EQ(tag("Corvane1/NICPhysicalHBA0/NICLogicalHBA0"), kNoTag);
}

TEST_F(NicFunctionTest, ValuesOfTheFunction) {
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA2/MTUSize"), "9000");
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA3/IfName"), "vmnic7");
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/IsVF"), "False");
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/IsRoCEEnabled"), "N/A");
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA0/IsRoCEEnabled"), "N/A");
  sim_->inject(nic_fault(sim::FaultKind::IoctlErrno, static_cast<long>(kNicMtuRequest)));
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA2/MTUSize"), "<unreadable>");
  TavoNode* fn = get_node(tag("Corvane2/NICPhysicalHBA0"));
  EXPECT_EQ(TAVO_update_nic_ifname(fn, 0), 1u);
  EXPECT_EQ(TAVO_update_nic_ifname(fn, TAVO_MAX_FUNCTIONS + 1), 1u);
  set_prop_val(fn, "IfName", "stale");
  EXPECT_EQ(update_nic_ifname(), 0u);
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA0/IfName"), "vmnic4");
}

// RoCE from the active profile: a descriptor of type 84 for this PF only.
TEST_F(NicFunctionTest, RoceOnMoravel) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M bus=7\n"
                    "nic controller=0 function=0 name=vmnic0\nnic controller=0 function=1 name=vmnic1 roce=on\n"),
            0u);
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/IsRoCEEnabled"), "False");
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/IsRoCEEnabled"), "True");
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 164, &h)[1], kProfileActive);
  EXPECT_EQ(h.version, 1);
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/IsRoCEEnabled"), "<unreadable>");
  EXPECT_EQ(last_status(),
            nic_status_text(278));
  EXPECT_STREQ(tree::property_record(get_node(tag("Corvane0/NICPhysicalHBA1/IsRoCEEnabled")))->value, "False");
}

TEST_F(NicFunctionTest, QosCapAndSwitchType) {
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=C bus=3\n"
                    "nic controller=0 function=0 name=vmnic0 qos=2500 fw-mode=0x20000\n"
                    "nic controller=0 function=1 name=vmnic1\n"),
            0u);
  TavoNode* controller = get_node(tag("Corvane0"));
  TavoNode* fn = get_node(tag("Corvane0/NICPhysicalHBA0"));
  EXPECT_EQ(get_nicphba_params(1, fn), 0u);
  EXPECT_STREQ(tree::property_record(get_node(tag("Corvane0/NICPhysicalHBA0/MaxBitsPerSecond")))->value, "2500");
  fail_mailbox(1, 27, 3);
  EXPECT_EQ(get_nicphba_params(1, fn), 1u);
  EXPECT_EQ(last_status().first, 114u);

  sim_->clear_log();
  EXPECT_EQ(TAVO_update_switch_type(controller, 2, 0, 1), 0u);  // no switch mode: nothing written
  EXPECT_EQ(mailbox_count(1, 124), 0);
  EXPECT_EQ(TAVO_update_switch_type(controller, 1, 0, 0), 0u);
  EXPECT_EQ(last_payload(1, 124), std::vector<uint8_t>(8, 0));
  fail_mailbox(1, 124, 3);
  EXPECT_EQ(TAVO_update_switch_type(controller, 1, 0, 0), 0u);  // only logged
}

}  // namespace
}  // namespace tavo::test
