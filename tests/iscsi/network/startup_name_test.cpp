// The start-up of a function's LogicalHBA (what it reads, in which order,
// what a failure skips, the software-initiator diversion) and the
// initiator name and alias against the simulated firmware.
#include <gtest/gtest.h>
#include <string.h>

#include <map>

#include "iscsi/network/iscsi_network.h"
#include "iscsi/targets/targets.h"
#include "tests/iscsi/network/network_fixture.h"
#include "transport/device_layout.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

const std::string kLhba0 = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0";
const std::string kName = kLhba0 + "/InitiatoriSCSIName/InitiatoriSCSIName";
const std::string kAlias = kLhba0 + "/InitiatoriSCSIName/InitiatorAlias";

class StartupNameTest : public NetworkTest {
 protected:
  StartupNameTest() : NetworkTest(kTablesTopology) {}
  // The commands sent since the log was cleared, as "subsystem/opcode".
  std::string sent() {
    std::string out;
    for (const sim::LogEntry& e : sim_->mailbox_log())
      out += (out.empty() ? "" : " ") + std::to_string(e.bytes[1]) + "/" + std::to_string(e.bytes[0]);
    return out;
  }
  uint32_t setup() {
    sim_->clear_log();
    return setup_iscsi(get_node(tag(kLhba0)), "True", nullptr, 0, nullptr);
  }
  // How many times the log says the loader was entered, since the last ask.
  int entered(const std::string& loader) {
    const int now = log_count("--- entering " + loader + " ---");
    const int delta = now - seen_[loader];
    seen_[loader] = now;
    return delta;
  }
  InitiatorNameBlock saved() {
    InitiatorNameBlock b{};
    const auto p = last_payload(6, 7);
    if (p.size() == sizeof b) memcpy(&b, p.data(), sizeof b);
    return b;
  }
  std::map<std::string, int> seen_;
};

TEST_F(StartupNameTest, SetupReadsTheNetworkThenTargetsSessionsAndLuns) {
  // Start-up stored the routable addresses, the zero form where none is.
  const std::string cv3 = "Corvane1/iSCSIPhysicalHBA0/Network/TCPIPConfiguration/IPv6Configuration/";
  for (const char* p : {"InitiatorRoutableAddress1", "InitiatorRoutableAddress2"})
    EXPECT_STREQ(tree::property_record(get_node(tag(cv3 + p)))->value, "0000:0000:0000:0000:0000:0000:0000:0000");
  EXPECT_EQ(get(kLhba0 + "/Enabled"), "True");
  children(kLhba0, TAVO_KIND_GROUP);  // the targets start-up left waiting are built
  initialize_Target(get_node(tag(kLhba0)), nullptr, nullptr, nullptr);
  for (const char* loader : {"get_all_targets", "get_all_sessions", "get_all_luns"}) entered(loader);

  ASSERT_EQ(setup(), 0u);
  EXPECT_EQ(sent(), "1/1 2/24 2/25 2/24 2/25 2/24 2/25 2/10 2/8 2/28 6/6 2/29 6/30 6/29 6/29");
  EXPECT_EQ(entered("get_all_targets") + entered("get_all_sessions") + entered("get_all_luns"), 3);
  // A failed route read still reads the ARP table, but no sessions or LUNs.
  refuse(2, 10);
  EXPECT_NE(setup(), 0u);
  expect_status(100);
  EXPECT_EQ(sent(), "1/1 2/24 2/25 2/24 2/25 2/24 2/25 2/10 2/8 2/28 6/6 2/29 6/30");
  EXPECT_EQ(entered("get_all_targets") * 10 + entered("get_all_sessions") + entered("get_all_luns"), 10);
  // Without the MAC address nothing else is read.
  refuse(1, 1);
  EXPECT_NE(setup(), 0u);
  EXPECT_EQ(sent(), "1/1");
  // The software initiator: no firmware target list, its own LUN listing.
  OPEN_ISCSI_DRIVER_LOADED = 1;
  ASSERT_EQ(setup(), 0u);
  EXPECT_EQ(entered("get_all_targets") * 10 + entered("get_all_sessions") + entered("get_all_luns"), 1);
}

TEST_F(StartupNameTest, StartupLoadsTheIsnsServers) {
  use(kTablesTopology);
  DiscoveryParamsBlock& b = sim_->network(0)->discovery_of(0);
  b.srv_count = 1;
  b.servers[0].server.type = 1;
  memcpy(b.servers[0].server.address, "\x0a\x00\x00\x07", 4);
  b.servers[0].port = 3205;
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(get("Corvane0/iSCSIPhysicalHBA0/iSNS/iSNSServer0/IPAddress"), "10.0.0.7");
}

TEST_F(StartupNameTest, NameIsKeptInLowerCaseAndAliasBesideIt) {
  EXPECT_EQ(get(kName) + "|" + get(kAlias), "iqn.2001-04.com.example:host0|host0");
  sim_->clear_log();
  ASSERT_EQ(set(kName, "iqn.2001-04.Test:Host1"), 0u);
  InitiatorNameBlock b = saved();
  EXPECT_STREQ(b.name, "iqn.2001-04.test:host1");
  EXPECT_STREQ(b.alias, "host0");
  EXPECT_EQ(b.flags, 0x8000);  // bit 0 cleared, the others as read
  EXPECT_EQ(b.reserved2[0], 0x5A);
  EXPECT_EQ(get(kName), "iqn.2001-04.test:host1");
  const std::string alias31(31, 'a');
  ASSERT_EQ(set(kAlias, alias31), 0u);
  b = saved();
  EXPECT_EQ(std::string(b.alias, 32), alias31 + std::string(1, '\0'));
  EXPECT_STREQ(b.name, "iqn.2001-04.test:host1");
  for (const char* bad : {"iqn.2001-04.test host", "iqn.2001-04.test_host"}) {
    sim_->clear_log();
    EXPECT_EQ(set(kName, bad), 1u) << bad;
    expect_status(30);
    EXPECT_EQ(mailbox_count(6, 7), 0);
  }
  char text[TAVO_VALUE_SIZE] = "untouched";
  EXPECT_EQ(get_initiator_name(get_node(tag("Corvane0/iSCSIPhysicalHBA0/iSNS")), text, 1), 1u);
  EXPECT_STREQ(text, "untouched");
}

TEST_F(StartupNameTest, VersionOneFirstVersionZeroOnlyWhenUnknown) {
  // Firmware without the version-1 commands: one try each, then version 0.
  sim::Fault unknown;
  unknown.subsystem = 6;
  unknown.status = 1;
  unknown.additional_status = 30;
  unknown.version = 1;
  unknown.times = -1;
  sim_->inject(unknown);
  sim_->clear_log();
  ASSERT_EQ(set(kAlias, "fallback"), 0u);
  std::string versions;
  for (const sim::LogEntry& e : sim_->mailbox_log()) versions += std::to_string(e.bytes[12]);
  EXPECT_EQ(versions, "1010");
  EXPECT_EQ(get(kAlias), "fallback");
  sim_->clear_faults();
  // Any other failure is not tried again.
  fail_mailbox(6, 6, 3).version = 1;
  sim_->clear_log();
  EXPECT_EQ(get(kName), "<unreadable>");
  expect_status(110);
  EXPECT_EQ(mailbox_count(6, 6), 1);
  fail_mailbox(6, 7, 3).version = 1;
  EXPECT_EQ(set(kAlias, "x"), 1u);
  expect_status(111);
}

}  // namespace
}  // namespace tavo::test
