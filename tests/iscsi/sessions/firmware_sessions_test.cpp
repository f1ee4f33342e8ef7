// The tree mirrors the firmware's sessions: what start-up and refreshes
// build from its records, what they leave alone, and what a firmware that
// answers badly leaves; then logouts, one session at a time.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "iscsi/common/iscsi_common.h"
#include "tests/iscsi/sessions/sessions_fixture.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

// The firmware of the CV3's function holds a logged in at both its portals
// and c closed.
std::string mirrored_topology() {
  std::string t = kSessionsTopology;
  t.insert(t.find(" alias=arrayA") + strlen(" alias=arrayA"), " logged-in=0");
  t.insert(t.find(" chap=tgt-c/"), " persistent=0");
  return t;
}

class MirrorTest : public SessionsTest {
 protected:
  MirrorTest() : SessionsTest(mirrored_topology()) {}
  sim::SimSession* held(uint16_t isid) {
    for (sim::SimSession& s : firmware())
      if (s.isid == isid) return &s;
    return nullptr;
  }
};

TEST_F(MirrorTest, StartupShowsTheFirmwaresSessions) {
  EXPECT_EQ(instances(kLhba, "Target"), (std::vector<std::string>{"Target0", "Target1"}));
  const std::string a = at(0, "Session0/"), c = at(1, "Session0/");
  const std::pair<std::string, std::string> shown[] = {
      {a + "SessionStatus", "Open"},
      {a + "ISIDQualifier", "0000"},
      {a + "Persistent", "True"},
      {a + "iSCSIBoot", "False"},
      {a + "Connection0/DestinationIPAddress", "10.0.0.50"},
      {at(0, "Session1/Connection0/DestinationPortNumber"), "3261"},
      {at(0, "Session1/ISIDQualifier"), "0001"},
      {c + "SessionStatus", "Closed"},
      {c + "Connection0/Status", "Connection closed"},
      {c + "Persistent", "True"},
      {at(0, "TargetAlias"), "arrayA"},
      {at(1, "TargetAlias"), "<unreadable>"},  // its session is closed: no statistics
  };
  for (const auto& [path, value] : shown) EXPECT_EQ(get(path), value) << path;
  // Refreshes add nothing the tree shows already.
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(TAVO_refresh_group(tag(at(0))), 0u);
    ASSERT_EQ(act(std::string(kLhba) + "/Discovery/RefreshAvailableTargets"), 0u);
  }
  EXPECT_EQ(instances(at(0), "Session").size(), 2u);
  EXPECT_EQ(instances(at(1), "Session").size(), 1u);
}

TEST_F(MirrorTest, SessionValuesFollowTheirRecords) {
  const struct {
    uint32_t bits;
    const char* status;
  } states[] = {{0x21, "Open"},   {0x140, "Login failed"}, {0x4000, "Unknown"}, {0x800, "Logout failed"},
                {0x40, "In Recovery"}, {0x2000, "Deleted"},  {0x2, "Login in Progress"}};
  for (const auto& s : states) {
    held(0)->state_bits = s.bits;
    EXPECT_EQ(get(at(0, "Session0/SessionStatus")), s.status) << s.bits;
  }
  // A redirection shows only where it names an address.
  const std::string c = at(0, "Session0/Connection0/");
  held(0)->redirect_port = 3262;
  EXPECT_EQ(get(c + "RedirectedDestinationIPAddress") + ":" + get(c + "RedirectedDestinationPort"), "10.0.0.50:3260");
  held(0)->redirect.bytes = {10, 0, 0, 52};
  EXPECT_EQ(get(c + "RedirectedDestinationIPAddress") + ":" + get(c + "RedirectedDestinationPort"), "10.0.0.52:3262");
  // A record claiming more connections than it holds is read as the one, a
  // list claiming more sessions than it holds as the ones it holds.
  sim_->sessions(0)->reported_connections = 9;
  sim_->sessions(0)->reported_sessions = 5000;
  EXPECT_EQ(get(c + "Status"), "Logged-in");
  ASSERT_EQ(TAVO_refresh_group(tag(at(0))), 0u);
  EXPECT_EQ(instances(at(0), "Session").size(), 2u);
}

// A rebuilt Session shows the options its record holds: the negotiated
// values, the digests, the method and the CHAP names and secrets (a
// secret that does not print in hexadecimal).
TEST_F(MirrorTest, RebuiltSessionsShowTheirRecordsOptions) {
  struct Row {
    uint8_t flags, chap;
    uint32_t mutual, first_burst;
    uint16_t r2t;
    uint8_t digest;
    std::vector<uint8_t> secret;
    std::vector<std::pair<std::string, std::string>> shown;
  };
  const std::string s = "Session0/", n = s + "SessionNegotiatedLoginOptions/", a = s + "SessionLoginOptions/",
                    c = s + "Connection0/ConnectionNegotiatedLoginOptions/";
  const Row rows[] = {
      {0x01, 0, 0, 4096, 7, 1, {'x', 'y'},
       {{n + "InitialR2T", "Yes"}, {n + "ImmediateData", "No"}, {n + "FirstBurstLength", "Irrelevant"},
        {n + "MaxOutstandingR2T", "7"}, {n + "DataPDUInOrder", "No"}, {n + "ErrorRecoveryLevel", "2"},
        {a + "HeaderDigest", "CRC32C"}, {a + "DataDigest", "None"}, {a + "Authentication/AuthenticationMethod", "None"},
        {a + "Authentication/TargetSecret", "xy"}, {c + "HeaderDigest", "CRC32C"},
        {c + "AuthenticationMethod", "None"}, {c + "MaxSendDataSegmentLength", "4096"}}},
      {0x0E, 1, 1, 65536, 1, 0, {0x01, 0xFF, 'a', 0x7F},
       {{n + "InitialR2T", "No"}, {n + "ImmediateData", "Yes"}, {n + "FirstBurstLength", "65536"},
        {n + "DataSequenceInOrder", "Yes"}, {a + "HeaderDigest", "None"},
        {a + "Authentication/AuthenticationMethod", "Mutual CHAP"}, {a + "Authentication/TargetCHAPName", "tgt"},
        {a + "Authentication/InitiatorCHAPName", "ini"}, {a + "Authentication/TargetSecret", "0x01ff617f"},
        {c + "AuthenticationMethod", "Mutual CHAP"}}},
      {0x03, 1, 0, 512, 1, 0, {},
       {{n + "FirstBurstLength", "512"}, {a + "Authentication/AuthenticationMethod", "One-Way CHAP"},
        {a + "Authentication/TargetSecret", ""}, {c + "AuthenticationMethod", "One-Way CHAP"}}},
      // A method of no known kind leaves the new groups' own.
      {0x03, 2, 0, 512, 1, 0, {}, {{a + "Authentication/AuthenticationMethod", "None"}, {c + "AuthenticationMethod", "None"}}},
  };
  for (const Row& row : rows) {
    IscsiLoginOptionsBlock& o = held(0)->options;
    o.flags = row.flags;
    o.error_recovery_level = 2;
    o.first_burst_length = row.first_burst;
    o.max_outstanding_r2t = row.r2t;
    o.header_digest = row.digest;
    o.max_recv_data_segment_length = row.first_burst;
    o.chap = row.chap;
    o.mutual_chap = row.mutual;
    snprintf(o.initiator_chap_name, sizeof o.initiator_chap_name, "ini");
    snprintf(o.target_chap_name, sizeof o.target_chap_name, "tgt");
    if (!row.secret.empty()) memcpy(o.target_secret, row.secret.data(), row.secret.size());
    o.target_secret_length = static_cast<uint16_t>(row.secret.size());
    ASSERT_EQ(TAVO_refresh_group(tag(at(0))), 0u);
    ASSERT_EQ(get(at(0, "Session0/ISIDQualifier")), "0000");
    for (const auto& [path, value] : row.shown) EXPECT_EQ(get(at(0, path)), value) << path << " " << int{row.flags};
  }
}

// A session the tree cannot show (its portal or its target missing, its
// record unreadable) is passed over, told in the log with the reason: the
// sessions after it are listed still, by a rebuild and by a start over
// such a firmware. A failure of the list itself fails the rebuild.
TEST_F(MirrorTest, AListingPassesOverWhatTheTreeCannotShow) {
  TavoNode* lhba = node(kLhba);
  const auto rebuild = [&] {
    std::vector<char> work(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE);
    return get_all_sessions(lhba, 1, 0, 0, nullptr, nullptr, work.data());
  };
  ASSERT_EQ(firmware().back().target, kC);  // listed after both of a's
  const struct {
    const char* what;
    std::function<void(sim::SimSession&)> spoil;
    const char* reason;
  } rows[] = {
      {"a session to a portal the target does not show", [](sim::SimSession& s) { s.port = 3999; },
       "not listed: its target has no portal of its address and port"},
      {"a session of a target the tree does not show",
       [](sim::SimSession& s) { s.target = "iqn.2026-12.com.example:gone"; }, "not listed: no target of that name"},
      {"a session whose record cannot be read",
       [&](sim::SimSession&) { fail_mailbox(6, 14, 3).skip = 1; }, "not listed: its record cannot be read"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const sim::SimSession kept = *held(1);
    const int told = log_count(row.reason);
    ASSERT_EQ(iscsi::delete_with_records(node(at(1, "Session0"))), 0u);
    row.spoil(*held(1));
    EXPECT_EQ(rebuild(), 0u);
    EXPECT_EQ(instances(at(1), "Session").size(), 1u);
    EXPECT_EQ(log_count(row.reason), told + 1);
    sim_->clear_faults();
    *held(1) = kept;
  }
  // The list's size asked and refused, or answered 0.
  fail_mailbox(6, 29, 3);
  EXPECT_EQ(rebuild(), 1u);
  EXPECT_EQ(last_status().first, 31u);
  answer_length(6, 29, 0);
  EXPECT_EQ(rebuild(), 0u);
  EXPECT_EQ(last_status().first, 31u);
  // A start over a firmware whose first session is of a target no longer
  // saved lists the others.
  const sim::SimIscsi firmware_kept = *sim_->sessions(0);
  const std::function<void()> files = saved_files_restorer();
  use(mirrored_topology());
  *sim_->sessions(0) = firmware_kept;
  files();
  rows[1].spoil(*held(0));
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(instances(at(0), "Session").size(), 1u);
  EXPECT_EQ(get(at(0, "Session0/ISIDQualifier")), "0001");
  EXPECT_EQ(instances(at(1), "Session").size(), 1u);
  EXPECT_EQ(log_count(rows[1].reason), 1);
  // A firmware that reports no session leaves the target none.
  firmware().clear();
  ASSERT_EQ(TAVO_refresh_group(tag(at(0))), 0u);
  EXPECT_TRUE(instances(at(0), "Session").empty());
}

TEST_F(SessionsTest, LogoutEndsOneSessionAtATime) {
  ASSERT_NE(initialize_Target(node(kLhba), nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(logout(0), 1u);
  EXPECT_EQ(last_status(), sessions_text(174));
  ASSERT_EQ(delete_node(node(at(0))), 0u);
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(login(0), 0u);
  EXPECT_EQ(logout(0, {"5"}), 1u);
  EXPECT_EQ(last_status(), targets_text(20));
  // Without a number the lowest session goes, with its persistence.
  const uint32_t handle = firmware()[0].handle;
  sim_->clear_log();
  fail_mailbox(6, 24, 3).times = 2;
  ASSERT_EQ(logout(0), 0u);
  EXPECT_EQ(mailbox_count(6, 24), 3);
  EXPECT_EQ(last_payload(6, 24), std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&handle),
                                                      reinterpret_cast<const uint8_t*>(&handle) + 4));
  EXPECT_EQ(mailbox_count(6, 28), 1);
  EXPECT_EQ(instances(at(0), "Session"), (std::vector<std::string>{"Session1", "Session2"}));
  EXPECT_EQ(session_lines().size(), 2u);
  // The persistence cannot be taken away: the session is gone, its line stays.
  fail_mailbox(6, 28, 3);
  EXPECT_EQ(logout(0, {"2"}), 1u);
  EXPECT_EQ(last_status(), sessions_text(127));
  EXPECT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session1"});
  EXPECT_EQ(session_lines().size(), 2u);
  // Three refusals: the last one's status, and everything stays.
  sim::Fault busy;
  busy.subsystem = 6;
  busy.opcode = 24;
  busy.status = 49;
  busy.times = 3;
  sim_->inject(busy);
  EXPECT_EQ(logout(0), 1u);
  EXPECT_EQ(last_status().first, 117u);
  EXPECT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session1"});
  EXPECT_EQ(session_lines().size(), 2u);
  // A session the firmware does not keep has no persistence to remove.
  for (sim::SimSession& s : firmware()) s.persistent = false;
  sim_->clear_log();
  ASSERT_EQ(logout(0), 0u);
  EXPECT_EQ(mailbox_count(6, 28), 0);
  EXPECT_TRUE(instances(at(0), "Session").empty());
}

// An open boot session is refused; closed, it is logged out. Deletions
// count only the sessions that are logged in, and a refused one keeps the
// persistence of the closed sessions.
TEST_F(SessionsTest, BootSessionsAndDeletionsRespectOpenSessions) {
  ASSERT_EQ(add(kA, "10.0.0.50", "3260"), 0u);
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kC, "10.0.0.60", "3260", "True"}), 0u);
  EXPECT_EQ(get(at(1, "Session0/iSCSIBoot")), "True");
  options(1, {"One-Way CHAP", "", "", "tgt-c", "csecret123456", "Required"});
  ASSERT_EQ(login(1), 0u);
  sim_->clear_log();
  EXPECT_EQ(logout(1), 1u);
  EXPECT_EQ(last_status(), sessions_text(126));
  EXPECT_EQ(mailbox_count(6, 24), 0);
  for (sim::SimSession& s : firmware()) s.open = false;
  ASSERT_EQ(logout(1), 0u);
  EXPECT_EQ(mailbox_count(6, 24), 1);
  // Target a: an open session to its first portal, none to its second.
  ASSERT_EQ(act(at(0, "AddTargetPortal"), {"10.0.0.51", "3261"}), 0u);
  ASSERT_EQ(login(0, {"10.0.0.50", "3260"}), 0u);
  EXPECT_EQ(act(std::string(kLhba) + "/DeleteTarget", {"0"}), 1u);
  EXPECT_EQ(last_status(), targets_text(34));
  EXPECT_EQ(act(at(0, "DeleteTargetPortal"), {"0"}), 1u);
  EXPECT_EQ(last_status(), targets_text(34));
  EXPECT_EQ(session_lines().size(), 2u);
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "DeleteTargetPortal"), {"1"}), 0u);
  EXPECT_EQ(mailbox_count(6, 28), 1);  // the closed session's persistence went
  EXPECT_EQ(instances(at(0), "TargetPortal"), std::vector<std::string>{"TargetPortal0"});
  // Once logged out, the target goes, though a session of the deleted
  // portal is still shown.
  ASSERT_EQ(logout(0, {"0"}), 0u);
  EXPECT_EQ(act(std::string(kLhba) + "/DeleteTarget", {"0"}), 0u) << last_status().second;
}

}  // namespace
}  // namespace tavo::test
