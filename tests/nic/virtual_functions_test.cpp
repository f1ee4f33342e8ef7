// Virtual functions: read from the NIC driver's table, changed through the
// simulated host's "ip link set ... vf", and hostile texts that must never
// reach a shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nic/nic.h"
#include "tests/nic/nic_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

using Lines = std::vector<std::string>;

class VirtualFunctionTest : public ClientTest {
 protected:
  static constexpr char kVf0[] = "Corvane1/NICPhysicalHBA0/NICLogicalHBA0/";
  static constexpr char kVf1[] = "Corvane1/NICPhysicalHBA0/NICLogicalHBA1/";
  // A write straight through the handler, past the tree's checks.
  uint32_t write(const std::string& path, TavoPropertyHandler handler, const std::string& value) {
    char buf[TAVO_VALUE_SIZE] = "";
    snprintf(buf, sizeof buf, "%s", value.c_str());
    return handler(get_node(tag(path)), buf, TAVO_PROPERTY_SET);
  }
};

TEST_F(VirtualFunctionTest, ReadFromTheDriverTable) {
  EXPECT_EQ(get(std::string(kVf0) + "MACAddress"), "02:0e:1e:40:00:01");
  EXPECT_EQ(get(std::string(kVf0) + "VLANID"), "0");
  EXPECT_EQ(get(std::string(kVf0) + "LinkStatus"), "Up");
  sim::SimVf& vf1 = sim_->nic_state(1, 0)->vfs[1];
  vf1.qos = 25;
  vf1.vlan_id = 10;
  vf1.link = 0;
  EXPECT_EQ(get(std::string(kVf1) + "TxRate"), "250");
  EXPECT_EQ(get(std::string(kVf1) + "VLANID"), "10");
  EXPECT_EQ(get(std::string(kVf1) + "LinkStatus"), "Down");
  sim_->inject(nic_fault(sim::FaultKind::VfRefusal));
  EXPECT_EQ(get(std::string(kVf0) + "MACAddress"), "<unreadable>");

  char out[TAVO_VALUE_SIZE] = "kept";
  EXPECT_EQ(TAVO_get_vf_params(3, 1, out, "Other"), 0u);
  EXPECT_STREQ(out, "kept");
  EXPECT_EQ(TAVO_get_vf_params(3, 59, out, "VLANID"), 0u);  // the table's last entry
  EXPECT_EQ(TAVO_get_vf_params(3, 60, out, "VLANID"), 1u);  // past it
  // A driver reporting 255 VFs: the table holds 60.
  sim_->inject(nic_fault(sim::FaultKind::CountOverflow, static_cast<long>(kNicVfTableRequest)));
  ASSERT_EQ(TAVO_refresh_group(tag("Corvane1/NICPhysicalHBA0")), 0u);
  EXPECT_NE(tag("Corvane1/NICPhysicalHBA0/NICLogicalHBA59"), kNoTag);
  EXPECT_EQ(tag("Corvane1/NICPhysicalHBA0/NICLogicalHBA60"), kNoTag);
  EXPECT_EQ(tavo_glob.vf_counts[2], 60u);
}

TEST_F(VirtualFunctionTest, SettingsReachIpAndReadBack) {
  sim_->clear_log();
  EXPECT_EQ(set(std::string(kVf0) + "MACAddress", "00-11-22-33-44-55"), 0u);
  EXPECT_EQ(set(std::string(kVf1) + "VLANID", "4094"), 0u);
  EXPECT_EQ(set(std::string(kVf1) + "VLANID", "10"), 0u);
  EXPECT_EQ(set(std::string(kVf1) + "TxRate", "500"), 0u);
  EXPECT_EQ(shell_lines(*sim_), (Lines{"ip link set 'vmnic2' vf 0 mac 00:11:22:33:44:55 ",
                                       "ip link set 'vmnic2' vf 1 vlan 4094", "ip link set 'vmnic2' vf 1 vlan 10",
                                       "ip link set 'vmnic2' vf 1 vlan 10 rate 500"}));
  EXPECT_EQ(get(std::string(kVf0) + "MACAddress"), "00:11:22:33:44:55");
  EXPECT_EQ(get(std::string(kVf1) + "TxRate"), "500");
  EXPECT_EQ(get(std::string(kVf1) + "VLANID"), "10");

  sim_->clear_log();
  EXPECT_EQ(set(std::string(kVf1) + "VLANID", "4095"), 1u);  // the tree's range
  EXPECT_EQ(last_status().first, 7u);
  EXPECT_EQ(write(std::string(kVf1) + "VLANID", handle_niclogicalhba_vlanid, "4095"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(17));
  EXPECT_EQ(write(std::string(kVf0) + "MACAddress", handle_niclogicalhba_macaddress, "00:11:22:33:44"), 1u);
  EXPECT_EQ(last_status().first, 17u);
  EXPECT_EQ(write(std::string(kVf0) + "LinkStatus", handle_LinkStatus, "Down"), 0u);  // read-only: nothing done
  EXPECT_TRUE(shell_lines(*sim_).empty());

  // A refusal of ip (or of the VF) fails the write.
  sim_->set_shell_answer("ip link set vmnic2 vf 0", 2, "RTNETLINK answers: Operation not permitted\n");
  EXPECT_EQ(set(std::string(kVf0) + "TxRate", "100"), 1u);
  EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{1, "Failed to configure the virtual function: \"ip "
                                                                "link set 'vmnic2' vf 0 vlan 0 rate 100\" exited "
                                                                "with status 2."}));
  sim_->inject(nic_fault(sim::FaultKind::VfRefusal));
  EXPECT_EQ(set(std::string(kVf1) + "VLANID", "11"), 1u);
  EXPECT_EQ(get(std::string(kVf1) + "VLANID"), "10");
}

// Client texts reach ip only as values formatted from what they parse to;
// a name that is no plain interface name reaches no shell at all.
TEST_F(VirtualFunctionTest, HostileTextsRunNothingElse) {
  sim_->clear_log();
  const std::string mac = std::string(kVf0) + "MACAddress";
  for (const char* text : {"00:11:22:33:44:55;touch /pwned", "00:11:22:33:44:55\ntouch /pwned",
                           "00:11:22:33:44:55$(touch /pwned)", "00:11:22:33:44:55`touch /pwned`"})
    EXPECT_EQ(write(mac, handle_niclogicalhba_macaddress, text), 0u) << text;
  EXPECT_EQ(shell_lines(*sim_), Lines(4, "ip link set 'vmnic2' vf 0 mac 00:11:22:33:44:55 "));
  sim_->clear_log();
  for (const char* text : {"1;touch /pwned", "$(touch /pwned)", "`touch /pwned`", "1\ntouch /pwned", "1'", "1 > /pwned"}) {
    EXPECT_EQ(write(std::string(kVf1) + "VLANID", handle_niclogicalhba_vlanid, text), 1u) << text;
    EXPECT_EQ(write(std::string(kVf1) + "TxRate", handle_niclogicalhba_txrate, text), 1u) << text;
  }
  EXPECT_TRUE(shell_lines(*sim_).empty());

  ASSERT_EQ(restart("controller 0 generation=galtor serial=G bus=5\n"
                    "nic controller=0 function=0 name=a;true>x vfs=1\nnic controller=0 function=1 name=$(true) vfs=1\n"
                    "nic controller=0 function=2 name=a'b vfs=1\nnic controller=0 function=3 name=`true` vfs=1\n"),
            0u);
  ASSERT_EQ(get("Corvane0/NICPhysicalHBA0/IfName"), "a;true>x");
  sim_->clear_log();
  for (int fn = 0; fn < 4; ++fn) {
    const std::string vf = "Corvane0/NICPhysicalHBA" + std::to_string(fn) + "/NICLogicalHBA0/";
    EXPECT_EQ(set(vf + "VLANID", "5"), 1u) << fn;
    EXPECT_EQ(last_status().first, 1u);
    EXPECT_EQ(set(vf + "MACAddress", "00:11:22:33:44:55"), 1u) << fn;
  }
  EXPECT_TRUE(shell_lines(*sim_).empty());
  EXPECT_FALSE(file_exists(root_.at("/pwned")));
  EXPECT_FALSE(file_exists(root_.at("/x")));
}

}  // namespace
}  // namespace tavo::test
