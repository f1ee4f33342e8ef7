// Statistics read from the firmware (one session's in batches of sessions,
// the LogicalHBA's three families) and the ETO a target keeps in its
// sessions' configurations.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/iscsi/sessions/sessions_fixture.h"
#include "transport/glob.h"
#include "transport/session_records.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

class StatisticsTest : public SessionsTest {
 protected:
  // Target0 (a) with Session0 open.
  void SetUp() override {
    SessionsTest::SetUp();
    ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
    ASSERT_EQ(login(0), 0u);
    handle_ = firmware()[0].handle;
  }
  sim::SimSession& ours() { return *sim_->sessions(0)->find(handle_); }
  // Open sessions of another initiator put around ours: before of them
  // first, after of them behind it.
  void surround(size_t before, size_t after) {
    sim::SimSession mine = ours();
    firmware().clear();
    for (size_t i = 0; i < before + after; ++i) {
      sim::SimSession other = mine;
      other.handle = 0x9000 + static_cast<uint32_t>(i);
      other.isid = static_cast<uint16_t>(500 + i);
      firmware().push_back(other);
    }
    firmware().insert(firmware().begin() + static_cast<long>(before), mine);
  }
  uint32_t handle_ = 0;
  // The count and first handle of each 48/6 request.
  std::vector<std::pair<uint32_t, uint32_t>> batches() {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& p : payloads(6, 48)) {
      uint32_t words[3];
      memcpy(words, p.data(), sizeof words);
      out.emplace_back(words[1], words[2]);
    }
    return out;
  }
};

TEST_F(StatisticsTest, ASessionsStatisticsComeInBatches) {
  ours().command_pdus = 7;
  ours().tx_octets = 0x100000005ull;
  ours().digest_errors = 1;
  ours().timeout_errors = 2;
  const std::string st = at(0, "Session0/iSCSISessionStatistics/");
  const std::pair<std::string, std::string> shown[] = {
      {st + "CmdPdus", "7"},          {st + "TxDataOctetsHigh", "4294967301"},
      {st + "SessionDirection", "2"}, {st + "SessionTargetAlias", "arrayA"},
      {st + "DigestErrors", "1"},     {st + "CxnTimeoutErrors", "2"},
      {at(0, "TargetAlias"), "arrayA"},
  };
  for (const auto& [path, value] : shown) EXPECT_EQ(get(path), value) << path;
  const uint32_t handle = handle_;
  const struct {
    size_t before, after;
    std::vector<std::pair<uint32_t, uint32_t>> batches;
  } rows[] = {
      {50, 69, {{50, 0x9000}, {50, handle}}},
      {50, 0, {{50, 0x9000}, {1, handle}}},
      {3, 2, {{6, 0x9000}}},
  };
  for (const auto& r : rows) {
    surround(r.before, r.after);
    sim_->clear_log();
    EXPECT_EQ(get(st + "CmdPdus"), "7");
    EXPECT_EQ(batches(), r.batches) << r.before;
  }
  // Not listed any more: the read fails and says so, the values stay.
  std::erase_if(firmware(), [&](const sim::SimSession& s) { return s.handle == handle; });
  EXPECT_EQ(get(st + "CmdPdus"), "<unreadable>");
  EXPECT_EQ(last_status(), Status(1, "Failed to get CmdPdus. Please check tavo2d.log file for more information."));
  EXPECT_EQ(tree::property_record(node(st + "CmdPdus"))->value, std::string("7"));
  // A list answered with no length is no fresh value either.
  answer_length(6, 29, 0);
  EXPECT_EQ(get(st + "CmdPdus"), "<unreadable>");
  EXPECT_EQ(last_status(), targets_text(31));
}

TEST_F(StatisticsTest, FailedStatisticsReadsSayWhy) {
  const std::string lhba = std::string(kLhba) + "/iSCSIStatistics/";
  const struct {
    uint8_t subsystem, opcode, status;
    uint16_t additional;
    std::string path;
    uint32_t code;
  } rows[] = {
      {6, 48, 1, 18, at(0, "Session0/iSCSISessionStatistics/RspPdus"), 35},
      {6, 48, 3, 0, at(0, "Session0/iSCSISessionStatistics/RspPdus"), 92},
      {6, 29, 3, 0, at(0, "Session0/iSCSISessionStatistics/RspPdus"), 31},
      {2, 30, 3, 0, lhba + "NodeRoles", 91},
      {6, 46, 3, 0, lhba + "SessionCount", 95},
      {6, 47, 3, 0, lhba + "LoginFailures", 96},
  };
  for (const auto& r : rows) {
    sim::Fault f;
    f.subsystem = r.subsystem;
    f.opcode = r.opcode;
    f.status = r.status;
    f.additional_status = r.additional;
    sim_->inject(f);
    EXPECT_EQ(get(r.path), "<unreadable>") << r.path;
    const char* text = base::status_text(r.code);
    EXPECT_EQ(last_status(), (Status{r.code, text != nullptr ? text : ""})) << r.path;
  }
}

TEST_F(StatisticsTest, TheLogicalHbasStatistics) {
  sim::SimIscsi& fw = *sim_->sessions(0);
  fw.node_attributes.node_roles = -1;
  fw.node_attributes.portal_role = 1;
  fw.instance_stats.last_failure_type = 2;
  snprintf(fw.instance_stats.last_remote_node, sizeof fw.instance_stats.last_remote_node, "%s", kA);
  // A login that fails on its CHAP counts in the login statistics.
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  options(1, {"One-Way CHAP", "", "", "tgt-c", "wrongsecret12", "Required"});
  ASSERT_EQ(login(1), 1u);
  const std::string s = std::string(kLhba) + "/iSCSIStatistics/";
  std::pair<std::string, std::string> shown[] = {
      {s + "NodeRoles", "ffffffff"},
      {s + "PortalRole", "1"},
      {s + "PortalTag", "1"},
      {s + "NodeCount", "1"},
      {s + "SessionCount", "1"},
      {s + "LastSessionFailureType", "ConnectionTimeoutErrors"},
      {s + "LastSessionRmtNodeName", kA},
      {s + "LoginFailures", "1"},
      {s + "LoginAuthFails", "1"},
      {s + "LastFailureType", "LoginAuthenticationFailure"},
      {s + "LastTgtFailureName", kC},
      {s + "LastTgtFailureAddr", "10.0.0.60"},
      {s + "LoginAcceptRsps", "1"},
  };
  for (const auto& [path, value] : shown) EXPECT_EQ(get(path), value) << path;
  // A failure type outside its table leaves the text as it was.
  fw.login_stats.last_failure_type = 7;
  EXPECT_EQ(get(s + "LastFailureType"), "LoginAuthenticationFailure");
  // The host's own initiator: every value reads N/A, nothing is asked.
  OPEN_ISCSI_DRIVER_LOADED = 1;
  sim_->clear_log();
  for (const auto& [path, value] : shown) EXPECT_EQ(get(path), "N/A") << path;
  OPEN_ISCSI_DRIVER_LOADED = 0;
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

TEST_F(StatisticsTest, TheEtoLivesInTheSessions) {
  ASSERT_EQ(act(at(0, "AddTargetPortal"), {"10.0.0.51", "3261"}), 0u);
  ASSERT_EQ(login(0, {"10.0.0.51", "3261", "", "9"}), 0u);
  ASSERT_EQ(instances(at(0), "Session").size(), 3u);
  TavoNode* bare = initialize_Target(node(kLhba), nullptr, nullptr, nullptr);  // Target1, no sessions
  ASSERT_NE(bare, nullptr);
  sim_->clear_log();
  EXPECT_EQ(get(at(1, "ETO")), "30");
  EXPECT_TRUE(sim_->mailbox_log().empty());
  // Every session takes a new value, carrying back the rest of its
  // configuration (the firmware refuses it otherwise).
  ASSERT_EQ(set(at(0, "ETO"), "120"), 0u) << last_status().second;
  const auto writes = payloads(6, 17);
  ASSERT_EQ(writes.size(), 3u);
  for (const auto& w : writes) {
    SessionConfigUpdate u;
    memcpy(&u, w.data(), sizeof u);
    EXPECT_EQ(u.eto, 120u);
  }
  for (const sim::SimSession& fwd : firmware()) EXPECT_EQ(fwd.eto, 120u);
  EXPECT_EQ(get(at(0, "ETO")), "120");
  ASSERT_EQ(set(at(0, "ETO"), "0x10"), 0u);
  EXPECT_EQ(tree::property_record(node(at(0, "ETO")))->value, std::string("0x10"));
  EXPECT_EQ(get(at(0, "ETO")), "16");
  EXPECT_EQ(set(at(0, "ETO"), "4000"), 1u);
  EXPECT_EQ(last_status().first, 7u);
  // A configuration shorter than an update carries is refused, as is a
  // refused write.
  answer_length(6, 16, 200);
  sim_->clear_log();
  EXPECT_EQ(set(at(0, "ETO"), "60"), 1u);
  EXPECT_EQ(last_status(), targets_text(31));
  EXPECT_EQ(mailbox_count(6, 17), 0);
  fail_mailbox(6, 17, 3);
  EXPECT_EQ(set(at(0, "ETO"), "60"), 1u);
  EXPECT_EQ(last_status(), sessions_text(87));
  // Targets without sessions take the controller's default.
  sim_->topology().controllers[0].default_eto = 77;
  ASSERT_EQ(refresh_eto(node(kLhba), 0, 0), 0u);
  EXPECT_EQ(get(at(1, "ETO")), "77");
  EXPECT_EQ(get(at(0, "ETO")), "16");
  // The host's own initiator serves the function: no ETO.
  tavo_glob.function_flags[0] = TAVO_FUNCTION_SOFTWARE_INITIATOR;
  EXPECT_EQ(get(at(0, "ETO")), "N/A");
  EXPECT_EQ(set(at(0, "ETO"), "60"), 1u);
  EXPECT_EQ(last_status(), sessions_text(302));
  tavo_glob.function_flags[0] = 0;
}

}  // namespace
}  // namespace tavo::test
