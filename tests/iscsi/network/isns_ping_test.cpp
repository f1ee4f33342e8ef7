// iSNS servers and ping against the simulated firmware: the bytes of the
// discovery block each action writes (and those it must keep), the
// instances the refresh keeps, and the statuses of refusals.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>

#include "iscsi/network/iscsi_network.h"
#include "tests/iscsi/network/network_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

const std::string kIsns = "Corvane0/iSCSIPhysicalHBA0/iSNS";
const std::string kCv3Isns = "Corvane1/iSCSIPhysicalHBA0/iSNS";

class IsnsTest : public NetworkTest {
 protected:
  IsnsTest() : NetworkTest(kTablesTopology) {}
  DiscoveryParamsBlock& block(int device = 0) { return stack(device).discovery_of(0); }
  // The last block written, as a record.
  DiscoveryParamsBlock written() {
    DiscoveryParamsBlock b{};
    const auto p = last_payload(2, 29);
    EXPECT_EQ(p.size(), sizeof b);
    if (p.size() == sizeof b) memcpy(&b, p.data(), sizeof b);
    return b;
  }
  std::string servers(const std::string& isns = kIsns) {
    std::string out;
    for (const std::string& s : children(isns, TAVO_KIND_GROUP))
      out += (out.empty() ? "" : " ") + s + "=" + get(isns + "/" + s + "/IPAddress") + ":" +
             get(isns + "/" + s + "/PortNumber");
    return out;
  }
};

// Everything but what iSNS owns: flags, name, count and slots.
bool kept_apart_from_isns(const DiscoveryParamsBlock& a, const DiscoveryParamsBlock& b) {
  return memcmp(a.other, b.other, sizeof a.other) == 0 && memcmp(a.reserved546, b.reserved546, 2) == 0;
}

TEST_F(IsnsTest, ConfigureWritesSlotZeroAndKeepsTheRest) {
  const DiscoveryParamsBlock before = block();
  ASSERT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.50", std::nullopt}), 0u);
  DiscoveryParamsBlock sent = written();
  EXPECT_TRUE(kept_apart_from_isns(sent, before));
  EXPECT_EQ(sent.srv_count, 1u);
  EXPECT_EQ(sent.isns_flags, 0x10);
  EXPECT_EQ(sent.servers[0].server.type, 1);
  EXPECT_EQ(dotted(sent.servers[0].server.address), "10.0.0.50");
  EXPECT_EQ(sent.servers[0].port, 3205);
  EXPECT_STREQ(sent.initiator_iscsiname, "iqn.2001-04.com.example:host0");
  EXPECT_EQ(servers(), "iSNSServer0=10.0.0.50:3205");
  EXPECT_NE(tree::group_record(get_node(tag(kIsns + "/iSNSServer0")))->persistence_priority, 0u);

  // Two servers, DHCP-learned: slot 0 is replaced, slot 1 and the count
  // stay, the user bit replaces the DHCP bit. The port is read with the
  // tree's base.
  block().srv_count = 2;
  block().isns_flags = 0x41;
  block().servers[1].port = 3300;
  ASSERT_EQ(act(kIsns, "ConfigureiSNSServer", {"fe80::1", "0x0C86"}), 0u);
  sent = written();
  EXPECT_EQ(sent.srv_count, 2u);
  EXPECT_EQ(sent.isns_flags, 0x11);
  EXPECT_EQ(sent.servers[0].server.type, 0x10);
  EXPECT_EQ(sent.servers[0].server.address[0], 0xfe);
  EXPECT_EQ(sent.servers[0].server.address[15], 1);
  EXPECT_EQ(sent.servers[1].port, 3300);
  EXPECT_EQ(servers(), "iSNSServer0=10.0.0.50:3205 iSNSServer1=FE80:0000:0000:0000:0000:0000:0000:0001:3206");
  // A refresh that finds the lowest instance's server changes nothing.
  block().servers[0] = IsnsServerSlot{};
  block().servers[0].server.type = 1;
  memcpy(block().servers[0].server.address, "\x0a\x00\x00\x32", 4);
  block().servers[0].port = 3205;
  ASSERT_EQ(TAVO_refresh_group(tag(kIsns)), 0u);
  EXPECT_EQ(servers(), "iSNSServer0=10.0.0.50:3205 iSNSServer1=FE80:0000:0000:0000:0000:0000:0000:0001:3206");

  // CV3 firmware takes one server.
  ASSERT_EQ(act(kCv3Isns, "ConfigureiSNSServer", {"10.0.0.50", std::nullopt}), 0u);
  EXPECT_EQ(act(kCv3Isns, "ConfigureiSNSServer", {"10.0.0.51", std::nullopt}), 1u);
  expect_status(81);
  // An unreachable server still refreshes, and says so.
  fail_mailbox(2, 29, 1).additional_status = 19;
  EXPECT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.60", std::nullopt}), 0u);
  expect_status(32);
  sim_->inject(refusal(2, 28));
  EXPECT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.61", std::nullopt}), 1u);
  expect_status(80);
}

TEST_F(IsnsTest, DeleteAndDhcpDiscoveryChangeOnlyWhatIsnsOwns) {
  ASSERT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.50", "3210"}), 0u);
  block().isns_flags |= 0x1;
  const DiscoveryParamsBlock before = block();
  EXPECT_EQ(act(kIsns, "DeleteiSNSServer", {"1"}), 1u);
  expect_status(20);
  ASSERT_EQ(act(kIsns, "DeleteiSNSServer", {"0"}), 0u);
  DiscoveryParamsBlock sent = written();
  EXPECT_TRUE(kept_apart_from_isns(sent, before));
  EXPECT_EQ(sent.srv_count, 0u);
  EXPECT_EQ(sent.isns_flags, 0x11);
  EXPECT_STREQ(sent.initiator_iscsiname, "iqn.2001-04.com.example:host0");
  EXPECT_EQ(sent.servers[0].port, 0);
  EXPECT_EQ(servers(), "");

  // Firmware that lost its count: the delete never takes it below 0.
  ASSERT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.50", std::nullopt}), 0u);
  block().srv_count = 0;
  ASSERT_EQ(act(kIsns, "DeleteiSNSServer", {"0"}), 0u);
  EXPECT_EQ(written().srv_count, 0u);

  ASSERT_EQ(act(kIsns, "DiscoveryiSNSThruDHCP"), 0u);
  sent = written();
  EXPECT_EQ(sent.isns_flags & 0x50, 0x40);
  EXPECT_TRUE(kept_apart_from_isns(sent, before));

  // A refused write keeps the instance, unless the firmware took the
  // change all the same.
  ASSERT_EQ(act(kIsns, "ConfigureiSNSServer", {"10.0.0.50", std::nullopt}), 0u);
  sim_->inject(refusal(2, 29));
  EXPECT_EQ(act(kIsns, "DeleteiSNSServer", {"0"}), 1u);
  expect_status(81);
  EXPECT_EQ(servers(), "iSNSServer0=10.0.0.50:3205");
  sim_->on(
      2, 29,
      [](sim::Simulator& s, sim::MailboxCall& call) {
        memcpy(&s.network(0)->discovery_of(0), call.payload.data(), sizeof(DiscoveryParamsBlock));
        return sim::MailboxReply{3, 0, 0};
      },
      0);
  EXPECT_EQ(act(kIsns, "DeleteiSNSServer", {"0"}), 0u);
  EXPECT_EQ(last_status().first, 0u);
  EXPECT_EQ(servers(), "");

  OPEN_ISCSI_DRIVER_LOADED = 1;
  sim_->clear_log();
  EXPECT_EQ(act(kIsns, "DiscoveryiSNSThruDHCP"), 1u);
  expect_status(310);
  EXPECT_EQ(mailbox_count(2, 28) + mailbox_count(2, 29), 0);
}

TEST_F(IsnsTest, PingSendsTheAddressAndReportsItsOwnFailure) {
  const std::string tcpip = kTcpip0;
  const struct {
    const char* address;
    uint32_t result, status;
    uint8_t type;  // 0: nothing sent
    std::vector<uint8_t> bytes;
  } rows[] = {
      {"10.0.0.1", 0, 0, 1, {10, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"fe80::1", 0, 0, 0x10, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
      // Unreachable: the ping's own status, not the firmware's 32.
      {"10.0.0.99", 1, 53, 1, {10, 0, 0, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"127.0.0.1", 1, 6, 0, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.address);
    sim_->clear_log();
    EXPECT_EQ(act(tcpip, "Ping", {r.address}), r.result);
    if (r.status != 6) expect_status(r.status);
    const auto sent = last_payload(2, 6);
    if (r.type == 0) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    ASSERT_EQ(sent.size(), 24u);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 4), (std::vector<uint8_t>{0, 0, 0, r.type}));
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 4, sent.begin() + 20), r.bytes);
  }
}

}  // namespace
}  // namespace tavo::test
