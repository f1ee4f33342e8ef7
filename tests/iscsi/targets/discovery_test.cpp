// Send-target portals and SendTargets discovery against the simulated
// targets, the targets the firmware holds, and firmware answers that count
// beyond their buffers.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "iscsi/sessions/sessions.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "transport/iscsi_records.h"
#include "transport/network_records.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

const std::string kL = kLhba;
const std::string kDiscovery = kL + "/Discovery";
const std::string kMoravel = kMoravelLhba;

class DiscoveryTest : public NetworkTargetsTest {
 protected:
  uint32_t add_stp(const std::string& lhba, const std::string& address, const std::string& port = "3260") {
    return act(lhba + "/Discovery/AddSendTargetPortal", {address, port});
  }
  uint32_t discover(const std::string& lhba, int portal, const std::vector<std::string>& name = {}) {
    return act(lhba + "/Discovery/SendTargetPortal" + std::to_string(portal) + "/DiscoverTargets", name);
  }
  // The head of the last continuation request.
  std::vector<uint8_t> continuation() {
    std::vector<uint8_t> p = last_payload(6, 34);
    p.resize(8);
    return p;
  }
  std::string sendtargets_text() {
    const std::vector<uint8_t> p = last_payload(6, 33);
    return p.size() > 8 ? std::string(reinterpret_cast<const char*>(p.data() + 8)) : "";
  }
  // Target and portal texts under a LogicalHBA: "name address:port/tag".
  std::vector<std::string> shown(const std::string& lhba) {
    std::vector<std::string> out;
    for (const std::string& t : instances(lhba, "Target"))
      for (const std::string& p : instances(lhba + "/" + t, "TargetPortal")) {
        const std::string at = lhba + "/" + t + "/" + p + "/";
        out.push_back(get(lhba + "/" + t + "/TargetISCSIName") + " " + get(at + "TargetIPAddress") + ":" +
                      get(at + "TargetPortNumber") + "/" + get(at + "PortalGroupTag"));
      }
    return out;
  }
};

TEST_F(DiscoveryTest, TwoTargetsThreePortals) {
  ASSERT_EQ(add_stp(kL, "10.0.0.50"), 0u);
  const std::string mac = get("Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/MACAddress");
  EXPECT_EQ(saved("savestp.txt"), std::string(kKey) + ",10.0.0.50,3260," + mac + "," + kDefaults + "\n");
  sim_->clear_log();
  ASSERT_EQ(discover(kL, 0), 0u);
  EXPECT_EQ(shown(kL), (std::vector<std::string>{std::string(kTargetA) + " 10.0.0.50:3260/1",
                                                 std::string(kTargetA) + " 10.0.0.51:3260/2",
                                                 std::string(kTargetB) + " 10.0.0.50:3260/1"}));
  EXPECT_EQ(get(kL + "/Target0/TargetType"), "Discovered");
  const std::string options = ",,iqn.hx,Yes,Yes,None,None,None,,,,,Discovered,Prohibited,Prohibited,Prohibited,True";
  EXPECT_EQ(target_lines(),
            (std::vector<std::string>{std::string(kKey) + "," + kTargetA + ",10.0.0.50,3260" + options,
                                      std::string(kKey) + "," + kTargetA + ",10.0.0.51,3260" + options,
                                      std::string(kKey) + "," + kTargetB + ",10.0.0.50,3260" + options}));
  // Login, SendTargets, logout of the same session; the request as sent.
  tavo::IscsiLoginRequest login{};
  const auto sent = last_payload(6, 23);
  ASSERT_EQ(sent.size(), sizeof login);
  memcpy(&login, sent.data(), sizeof login);
  EXPECT_STREQ(login.target_name, "iSCSI");
  EXPECT_EQ(login.flags, 0x11u);
  EXPECT_EQ(login.address_type, 1);
  EXPECT_EQ(std::vector<uint8_t>(login.address, login.address + 4), (std::vector<uint8_t>{10, 0, 0, 50}));
  EXPECT_EQ(login.eto, 0xFFFFFFFFu);
  EXPECT_STREQ(login.initiator_name, "iqn.hx");
  EXPECT_EQ(sendtargets_text(), "SendTargets=All");
  uint32_t handle = 0;
  memcpy(&handle, last_payload(6, 33).data(), 4);
  EXPECT_EQ(last_payload(6, 24),
            std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&handle), reinterpret_cast<uint8_t*>(&handle) + 4));
  EXPECT_TRUE(sim_->sessions(0)->sessions.empty());  // logged out
  // Again: nothing new, nothing doubled; a name is asked in lower case.
  ASSERT_EQ(discover(kL, 0, {"IQN.2026-12.COM.EXAMPLE:B"}), 0u);
  EXPECT_EQ(sendtargets_text(), std::string("SendTargets=") + kTargetB);
  EXPECT_EQ(shown(kL).size(), 3u);
  EXPECT_EQ(target_lines().size(), 3u);
  EXPECT_EQ(discover(kL, 0, {"bad name!"}), 1u);
  EXPECT_EQ(last_status().first, 30u);
}

TEST_F(DiscoveryTest, PortalsAndTheirFile) {
  const Status duplicate = targets_text(22);
  // The port is the number the tree read: saved, shown and compared in decimal.
  ASSERT_EQ(add_stp(kL, "10.0.0.50", "0xCBC"), 0u);
  EXPECT_EQ(get(kDiscovery + "/SendTargetPortal0/PortNumber"), "3260");
  EXPECT_EQ(saved("savestp.txt").find(std::string(kKey) + ",10.0.0.50,3260,"), 0u);
  struct Row {
    std::string address, port;
    Status status;
  } refused[] = {
      {"10.0.0.50", "3260", duplicate},
      {"10.0.0.50", "+3260", duplicate},
      {"10.0.0.50", "06274", duplicate},
      {"fe80::1", "3260", targets_text(330)},
  };
  for (const Row& r : refused) {
    EXPECT_EQ(add_stp(kL, r.address, r.port), 1u);
    EXPECT_EQ(last_status(), r.status);
  }
  // A portal only the file holds is a duplicate too.
  put_saved("savestp.txt", saved("savestp.txt") + kKey + ",10.0.0.51,3260,00:00:00:00:00:00," + kDefaults + "\n");
  EXPECT_EQ(add_stp(kL, "10.0.0.51"), 1u);
  EXPECT_EQ(last_status(), duplicate);
  // The refresh of Discovery builds it from the line; a line removed by
  // hand makes discovery fail with the generic reason and the portal vanish.
  ASSERT_EQ(TAVO_refresh_group(tag(kDiscovery)), 0u);
  EXPECT_EQ(get(kDiscovery + "/SendTargetPortal1/IPAddress"), "10.0.0.51");
  put_saved("savestp.txt", std::string(kKey) + ",10.0.0.51,3260,00:00:00:00:00:00," + kDefaults + "\n");
  EXPECT_EQ(discover(kL, 0), 1u);
  EXPECT_EQ(last_status(), (Status{1, "DiscoverTargets failed. Please check tavo2d.log file for more information."}));
  ASSERT_EQ(TAVO_refresh_group(tag(kDiscovery)), 0u);
  EXPECT_EQ(instances(kDiscovery, "SendTargetPortal"), (std::vector<std::string>{"SendTargetPortal1"}));
  EXPECT_EQ(act(kDiscovery + "/DeleteSendTargetPortal", {"01"}), 1u);
  EXPECT_EQ(last_status().first, 20u);
  ASSERT_EQ(act(kDiscovery + "/DeleteSendTargetPortal", {"1"}), 0u);
  EXPECT_EQ(saved("savestp.txt"), "");
  // A LogicalHBA that is not enabled discovers nothing.
  set_prop_val(node(kL), "Enabled", "False");
  EXPECT_EQ(add_stp(kL, "10.0.0.50"), 1u);
  EXPECT_EQ(last_status().first, 46u);
  EXPECT_EQ(act(kDiscovery + "/RefreshAvailableTargets"), 1u);
  EXPECT_EQ(last_status().first, 46u);
}

TEST_F(DiscoveryTest, ChapOfThePortalReachesTheLogin) {
  ASSERT_EQ(add_stp(kL, "10.0.0.60"), 0u);
  EXPECT_EQ(discover(kL, 0), 1u);
  EXPECT_EQ(last_status().first, 25u);
  ASSERT_EQ(act(kDiscovery + "/SendTargetPortal0/SendTargetPortalLoginOptions/Authentication/ConfigureCHAP",
                {"One-Way CHAP", "", "", "tgt-c", "csecret123456"}),
            0u);
  EXPECT_EQ(get(kDiscovery + "/SendTargetPortal0/SendTargetPortalLoginOptions/Authentication/CHAPParam"), "Required");
  sim_->clear_log();
  ASSERT_EQ(discover(kL, 0), 0u);
  EXPECT_EQ(mailbox_count(6, 23), 1);  // CHAP required: one try
  EXPECT_EQ(shown(kL), (std::vector<std::string>{std::string(kTargetC) + " 10.0.0.60:3260/3"}));
  // The target took the portal's options; no secret reached the log.
  EXPECT_EQ(get(kL + "/Target0/TargetLoginOptions/Authentication/TargetSecret"), "csecret123456");
  EXPECT_EQ(debug_log().find("csecret123456"), std::string::npos);
}

TEST_F(DiscoveryTest, RefreshCountsFailedPortals) {
  for (const char* address : {"10.0.0.50", "10.0.0.70", "10.0.0.51", "10.0.0.71", "10.0.0.60"})
    ASSERT_EQ(add_stp(kL, address), 0u);
  ASSERT_EQ(act(kDiscovery + "/SendTargetPortal4/SendTargetPortalLoginOptions/Authentication/ConfigureCHAP",
                {"One-Way CHAP", "", "", "tgt-c", "csecret123456"}),
            0u);
  walk_whole_tree();
  const int sessions = log_count("--- entering get_all_sessions ---");
  EXPECT_EQ(act(kDiscovery + "/RefreshAvailableTargets"), 1u);
  EXPECT_EQ(last_status(), (Status{79, "2 out of 5 SendTargetsPortals are failed to discover targets."}));
  EXPECT_EQ(shown(kL).size(), 4u);  // a, b and c all found
  EXPECT_EQ(log_count("--- entering get_all_sessions ---"), sessions + 1);
  // A login answered without a discovery session found nothing: a failure.
  sim_->on(6, 23, [](sim::Simulator&, sim::MailboxCall& call) {
    memset(call.payload.data(), 0, 8);
    return sim::MailboxReply{};
  });
  EXPECT_EQ(discover(kL, 0), 1u);
  EXPECT_EQ(last_status(), targets_text(131));
}

TEST_F(DiscoveryTest, AnswersInPartsAndBeyondTheirBuffers) {
  // Moravel asks for the rest: the most targets less those received.
  sim_->sessions(2)->targets_per_answer = 1;
  ASSERT_EQ(add_stp(kMoravel, "10.0.0.50"), 0u);
  ASSERT_EQ(discover(kMoravel, 0), 0u);
  EXPECT_EQ(continuation(), (std::vector<uint8_t>{1, 0, 255, 0, 2, 0, 0, 0}));
  EXPECT_EQ(instances(kMoravel, "Target").size(), 2u);  // a (held already) and b
  // CV3 takes the first answer only.
  sim_->sessions(0)->targets_per_answer = 1;
  ASSERT_EQ(add_stp(kL, "10.0.0.50"), 0u);
  sim_->clear_log();
  ASSERT_EQ(discover(kL, 0), 0u);
  EXPECT_EQ(mailbox_count(6, 34), 0);
  EXPECT_EQ(instances(kL, "Target").size(), 1u);
  // Counts beyond what came: the records that are there, no more.
  sim_->sessions(0)->targets_per_answer = -1;
  sim_->sessions(0)->reported_sendtargets = 1000000;
  ASSERT_EQ(discover(kL, 0), 0u);
  EXPECT_EQ(instances(kL, "Target").size(), 2u);
  sim_->sessions(2)->reported_portal_groups = 100000;
  sim_->sessions(2)->reported_target_ids = 1;
  ASSERT_EQ(get_all_targets(node(kMoravel), 3, 0, 0, 1, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(shown(kMoravel).size(), 3u);
  sim::Fault& length = fail_mailbox(6, 32, 0);
  length.kind = sim::FaultKind::ResponseLength;
  length.length = 0;
  EXPECT_EQ(get_all_targets(node(kMoravel), 3, 0, 0, 1, nullptr, nullptr, nullptr), 1u);
  EXPECT_EQ(last_status().first, 31u);
  // A continuation never asks for less than nothing.
  sim_->topology().controllers[1].max_targets = 1;
  sim_->sessions(2)->targets_per_answer = 1;
  ASSERT_EQ(discover(kMoravel, 0), 0u);
  EXPECT_EQ(continuation(), (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0}));
}

TEST_F(DiscoveryTest, TargetsTheFirmwareHolds) {
  // Start-up listed target a of the Moravel firmware as static.
  EXPECT_EQ(shown(kMoravel), (std::vector<std::string>{std::string(kTargetA) + " 10.0.0.50:3260/1",
                                                       std::string(kTargetA) + " 10.0.0.51:3260/2"}));
  EXPECT_EQ(get(kMoravel + "/Target0/TargetType"), "Static");
  const std::string moravel_key = "Corvane1,iSCSIPhysicalHBA0,LogicalHBA0";
  EXPECT_EQ(target_lines(moravel_key).size(), 2u);
  EXPECT_EQ(target_lines(moravel_key)[0].substr(target_lines(moravel_key)[0].size() - 5), ",True");
  // The listing writes the initiator name into the discovery block and
  // keeps the rest: the iSNS settings and servers stay.
  tavo::DiscoveryParamsBlock& block = sim_->network(2)->discovery_of(0);
  block.isns_flags = tavo::kIsnsEnabled;
  block.srv_count = 1;
  block.servers[0].port = 3205;
  const tavo::DiscoveryParamsBlock before = block;
  ASSERT_EQ(act(kMoravel + "/Discovery/RefreshAvailableTargets"), 0u);
  EXPECT_EQ(memcmp(&sim_->network(2)->discovery_of(0), &before, sizeof before), 0);
  EXPECT_EQ(last_payload(6, 30)[0], 1);  // refreshed as discovered
  // A name server out of reach (32) is no failure; the listing flag is 0.
  fail_mailbox(2, 29, 1).additional_status = 19;
  ASSERT_EQ(act(kMoravel + "/Discovery/RefreshAvailableTargets"), 0u);
  EXPECT_EQ(last_payload(6, 30)[0], 0);
  // A portal that cannot be made takes the target along only when the
  // listing made it: a target with no slot left stays.
  TavoNode* a = node(kMoravel + "/Target0");
  ASSERT_EQ(act(kMoravel + "/Target0/DeleteTargetPortal", {"1"}), 0u);
  for (int i = 0; i < 63; ++i)
    ASSERT_NE(setup_portal(a, ("10.1.0." + std::to_string(i)).c_str(), "3260", "0", nullptr, nullptr, nullptr),
              nullptr);
  ASSERT_EQ(get_all_targets(node(kMoravel), 3, 0, 0, 0, nullptr, nullptr, nullptr), 0u);
  EXPECT_EQ(node(kMoravel + "/Target0"), a);
}

// Whatever the firmware answers to the target and session queries, every
// read stays inside its buffer (ASan watches) and nothing leaks.
TEST_F(DiscoveryTest, RandomAnswersStayInTheirBuffers) {
  ASSERT_EQ(add_stp(kMoravel, "10.0.0.50"), 0u);
  uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  auto random_answer = [&](sim::Simulator&, sim::MailboxCall& call) {
    const size_t filled = next() % (std::min<size_t>(call.payload.size(), 2048) + 1);
    for (size_t i = 0; i < filled; ++i) call.payload[i] = static_cast<uint8_t>(next() >> 16);
    // Mostly small counts, so that records are walked too.
    if (call.payload.size() >= 4 && next() % 4 != 0) {
      const uint32_t count = next() % 4;
      memcpy(call.payload.data(), &count, sizeof count);
    }
    return sim::MailboxReply{static_cast<uint8_t>(next() % 3 == 0 ? 4 : 0), 0, static_cast<int64_t>(next() % 70000)};
  };
  for (uint8_t opcode : {14, 29, 30, 32, 33, 34}) sim_->on(6, opcode, random_answer);
  for (int round = 0; round < 40; ++round) {
    discover(kMoravel, 0);
    get_all_targets(node(kMoravel), 3, 0, 0, 1, nullptr, nullptr, nullptr);
    char persistent[35] = "";
    TAVO_get_tgt_persistent_val(node(kMoravel), kTargetA, persistent);
  }
  EXPECT_LE(instances(kMoravel, "Target").size(), 256u);
}

}  // namespace
}  // namespace tavo::test
