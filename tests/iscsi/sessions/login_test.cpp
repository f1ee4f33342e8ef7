// Logins against the simulated targets: the request as sent, the nodes and
// values the answer builds, the CHAP and digest tries in their order, what
// a failed login leaves behind, and the limits checked before anything is
// sent.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"
#include "tests/iscsi/sessions/sessions_fixture.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;
using Try = std::tuple<int, int, int>;  // CHAP, header digest, data digest asked

std::vector<Try> tries_of(const std::vector<IscsiLoginRequest>& sent) {
  std::vector<Try> out;
  for (const IscsiLoginRequest& r : sent) out.emplace_back(r.options.chap, r.options.header_digest, r.options.data_digest);
  return out;
}

// The login of a target added by hand reopens the closed session its
// addition left, under that session's qualifier and node.
TEST_F(SessionsTest, LoginReopensTheAddedTargetsSession) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  ASSERT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session0"});
  EXPECT_EQ(get(at(0, "Session0/SessionStatus")), "Closed");
  sim_->clear_log();
  ASSERT_EQ(login(0), 0u) << last_status().second;
  EXPECT_EQ(mailbox_count(6, 27), 0);
  const std::vector<IscsiLoginRequest> r = sent();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_STREQ(r[0].target_name, kA);
  EXPECT_STREQ(r[0].initiator_name, "iqn.hx");
  EXPECT_EQ(std::make_tuple(r[0].word224, r[0].address_type, r[0].port, r[0].flags, r[0].eto, r[0].isid_qualifier,
                            r[0].word1398, r[0].word1400),
            std::make_tuple(uint16_t{24}, uint8_t{1}, uint16_t{3260}, 0x41u, 0xFFFFFFFFu, uint16_t{0}, uint16_t{0xFFFF},
                            uint16_t{0xFFFF}));
  EXPECT_EQ(std::vector<uint8_t>(r[0].address, r[0].address + 4), (std::vector<uint8_t>{10, 0, 0, 50}));
  const std::string s = at(0, "Session0/"), c = s + "Connection0/";
  const std::pair<std::string, std::string> shown[] = {
      {s + "SessionStatus", "Open"},
      {s + "SessionTSIH", "1"},
      {s + "ISIDQualifier", "0000"},
      {s + "ISID", "800e1e000000"},
      {s + "SessionInitiatorName", "iqn.hx"},
      {s + "Persistent", "True"},
      {s + "SessionNegotiatedLoginOptions/InitialR2T", "Yes"},
      {s + "SessionNegotiatedLoginOptions/FirstBurstLength", "8192"},
      {s + "SessionNegotiatedLoginOptions/MaxBurstLength", "262144"},
      {s + "SessionNegotiatedLoginOptions/DataSequenceInOrder", "Yes"},
      {s + "SessionLoginOptions/Authentication/AuthenticationMethod", "None"},
      {c + "Status", "Logged-in"},
      {c + "iSCSIConnectionID", "1"},
      {c + "SourceIPAddress", "10.0.0.21"},
      {c + "DestinationIPAddress", "10.0.0.50"},
      {c + "DestinationPortNumber", "3260"},
      {c + "RedirectedDestinationIPAddress", "10.0.0.50"},
      {c + "ConnectionNegotiatedLoginOptions/MaxSendDataSegmentLength", "65536"},
      {c + "ConnectionNegotiatedLoginOptions/TCPMSS", "1460"},
      {c + "ConnectionNegotiatedLoginOptions/HeaderDigest", "None"},
      {at(0, "ETO"), "30"},
  };
  for (const auto& [path, value] : shown) EXPECT_EQ(get(path), value) << path;
  // The target's ETO went to the new session.
  EXPECT_EQ(mailbox_count(6, 17), 1);
  EXPECT_EQ(firmware()[0].eto, 30u);
  // A second login to the same portal opens a second session.
  ASSERT_EQ(login(0), 0u);
  EXPECT_EQ(instances(at(0), "Session"), (std::vector<std::string>{"Session0", "Session1"}));
  EXPECT_EQ(get(at(0, "Session1/ISIDQualifier")), "0001");
}

// A session that reuses nothing is persistent under its own qualifier, in
// the firmware, in savetgt.txt and in the tree's persistent groups.
TEST_F(SessionsTest, ANewSessionIsPersistentUnderItsQualifier) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  ASSERT_EQ(act(at(0, "AddTargetPortal"), {"10.0.0.51", "3261"}), 0u);
  ASSERT_EQ(set(at(0, "ETO"), "45"), 0u);  // the ETO of both closed sessions
  sim_->clear_log();
  const uint32_t before = persistency_priority;
  ASSERT_EQ(login(0, {"10.0.0.51", "3261", "", "0x10"}), 0u) << last_status().second;
  const std::vector<IscsiLoginRequest> persisted = sent(27);
  ASSERT_EQ(persisted.size(), 1u);
  EXPECT_EQ(std::make_tuple(persisted[0].isid_qualifier, persisted[0].eto, persisted[0].flags, persisted[0].port),
            std::make_tuple(uint16_t{16}, 45u, 0x40u, uint16_t{3261}));
  EXPECT_EQ(session_lines().back(),
            std::string(kKey) + "," + kA + ",10.0.0.51,3261,16,iqn.hx,Yes,Yes,None,None,None,,,,,Static,Prohibited,"
                                           "Prohibited,Prohibited,True");
  TavoNode* session = node(at(0, "Session2"));
  ASSERT_NE(session, nullptr);
  const TavoGroupRecord* g = tree::group_record(session);
  EXPECT_EQ(g->persistence_priority, before);
  EXPECT_EQ(tree::ref_node(&hierarchy_name_, g->creating_action), node(at(0, "Login")));
  EXPECT_STREQ(g->params[0], "10.0.0.51");
  EXPECT_STREQ(g->params[2], "iqn.hx");
  EXPECT_STREQ(g->params[3], "0x10");
  EXPECT_EQ(get(at(0, "Session2/ISIDQualifier")), "0010");
  EXPECT_EQ(get(at(0, "Session2/SessionNegotiatedLoginOptions/MaxConnections")), "1");
  // Sessions rebuilt from the firmware are nobody's creation.
  EXPECT_EQ(tree::group_record(node(at(0, "Session0")))->persistence_priority, 0u);
}

// The tries a target's login options allow, in their order; every try of a
// session that reuses nothing is persisted once and, when it fails, its
// persistence taken back.
TEST_F(SessionsTest, TriesFollowTheLoginOptions) {
  const std::vector<std::string> wrong = {"One-Way CHAP", "", "", "tgt-c", "wrongsecret12"};
  const std::vector<std::string> right_c = {"One-Way CHAP", "", "", "tgt-c", "csecret123456"};
  const std::vector<std::string> right_m = {"Mutual CHAP", "ini-m", "isecret123456", "tgt-m", "msecret123456"};
  const auto with = [](std::vector<std::string> chap, const std::string& level) {
    chap.push_back(level);
    return chap;
  };
  const Status none{0, ""};
  const Status invalid = sessions_text(237);
  struct Row {
    const char* name;
    const char* address;
    std::vector<std::string> chap;
    std::string header, data;
    std::vector<Try> tries;
    uint32_t result;
    Status status;
  } rows[] = {
      {kC, "10.0.0.60", with(wrong, "Preferred"), "Preferred", "Preferred",
       {{1, 1, 1}, {1, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 1, 1}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}, 1, sessions_text(25)},
      {kC, "10.0.0.60", with(wrong, "Required"), "Prohibited", "Prohibited", {{1, 0, 0}}, 1, sessions_text(25)},
      {kC, "10.0.0.60", with(right_c, "Discouraged"), "Prohibited", "Prohibited", {{0, 0, 0}, {1, 0, 0}}, 0, none},
      {kM, "10.0.0.70", with(right_m, "Required"), "Prohibited", "Prohibited", {{1, 0, 0}}, 1, sessions_text(243)},
      {kM, "10.0.0.70", with(right_m, "Required"), "Preferred", "Preferred", {{1, 1, 1}, {1, 1, 0}}, 0, none},
      {"iqn.2026-12.com.example:x", "10.0.0.50", {}, "Preferred", "Preferred", {{0, 1, 1}}, 1, invalid},
      {"iqn.2026-12.com.example:y", "10.0.0.99", {}, "Prohibited", "Prohibited", {{0, 0, 0}}, 1, invalid},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + (r.chap.empty() ? "" : r.chap.back()) + " " + r.header);
    ASSERT_EQ(add(r.name, r.address), 0u);
    options(0, r.chap, r.header, r.data);
    const auto lines = session_lines();
    sim_->clear_log();
    // A qualifier of its own: the closed session the addition left is not
    // reused.
    EXPECT_EQ(login(0, {"", "", "", "100"}), r.result);
    EXPECT_EQ(last_status(), r.status);
    const std::vector<IscsiLoginRequest> tries = sent();
    EXPECT_EQ(tries_of(tries), r.tries);
    EXPECT_EQ(mailbox_count(6, 27), static_cast<int>(r.tries.size()));
    for (const IscsiLoginRequest& p : sent(27)) EXPECT_EQ(p.eto, 30u);  // the target's
    for (const IscsiLoginRequest& t : tries)  // a try without CHAP carries none of it
      if (t.options.chap == 0) {
        EXPECT_EQ(t.options.target_chap_name_length + t.options.target_chap_name[0], 0);
      }
    EXPECT_EQ(mailbox_count(6, 28), static_cast<int>(r.tries.size()) - (r.result == 0 ? 1 : 0));
    std::set<uint16_t> qualifiers;  // each retry under a new one
    for (const IscsiLoginRequest& t : tries) qualifiers.insert(t.isid_qualifier);
    EXPECT_EQ(qualifiers.size(), tries.size());
    EXPECT_EQ(tries.empty() ? 100 : tries[0].isid_qualifier, 100);
    if (r.result != 0) {
      // Nothing of a failed login stays: no node, no line, no firmware entry.
      EXPECT_EQ(instances(at(0), "Session").size(), 1u);
      EXPECT_EQ(session_lines(), lines);
      for (const sim::SimSession& s : firmware()) EXPECT_FALSE(qualifiers.contains(s.isid)) << s.isid;
    } else {
      EXPECT_EQ(get(at(0, "Session1/SessionStatus")), "Open");
    }
    while (!instances(at(0), "Session").empty()) ASSERT_EQ(logout(0), 0u);
    ASSERT_EQ(act(std::string(kLhba) + "/DeleteTarget", {"0"}), 0u);
  }
  // The secrets of every try stayed out of the log.
  for (const char* secret : {"wrongsecret12", "csecret123456", "isecret123456", "msecret123456"})
    EXPECT_EQ(log_count(secret), 0) << secret;
  EXPECT_GT(log_count("ioctl"), 0);  // the log was written at level 6
}

// A login takes its target's set as a read of its options answers: from
// the target's own saved line (not the texts the tree last showed), else
// from those texts; an empty level reads "Prohibited". The new session's
// line keeps the set the tries used.
TEST_F(SessionsTest, LoginTakesTheSetItsSavedLineHolds) {
  // Fields of a saved target line: HeaderDigest, the three levels.
  constexpr size_t kDigest = 10, kChapLevel = 18, kHeaderLevel = 19, kDataLevel = 20;
  struct Row {
    const char* name;
    std::vector<std::pair<size_t, std::string>> line;  // the target's line changed so; empty: none left
    const char* tree_digest;                           // HeaderDigest and HeaderParam the tree shows
    const char* tree_level;
    Try first;
    std::string kept;  // HeaderDigest to DataParam of the session's line
  } rows[] = {
      {"the line over the tree", {{kDigest, "CRC32C"}, {kHeaderLevel, "Preferred"}}, "None", "Prohibited",
       {0, 1, 0}, "CRC32C,None,None,,,,,Static,Prohibited,Preferred,Prohibited"},
      {"empty levels", {{kChapLevel, ""}, {kHeaderLevel, ""}, {kDataLevel, ""}}, "CRC32C", "Preferred",
       {0, 0, 0}, "None,None,None,,,,,Static,Prohibited,Prohibited,Prohibited"},
      {"no line of its own", {}, "CRC32C", "Preferred", {0, 1, 0},
       "CRC32C,None,None,,,,,Static,Prohibited,Preferred,Prohibited"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
    std::istringstream in(saved("savetgt.txt"));
    std::string text;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::istringstream f(line);
      for (std::string field; std::getline(f, field, ',');) fields.push_back(field);
      if (line.back() == ',') fields.emplace_back();
      const bool own = fields.size() > kDataLevel && fields[3] == kA && fields[6].empty();
      if (own && r.line.empty()) continue;
      if (own)
        for (const auto& [at_field, value] : r.line) fields[at_field] = value;
      for (size_t i = 0; i < fields.size(); ++i) text += (i == 0 ? "" : ",") + fields[i];
      text += "\n";
    }
    put_saved("savetgt.txt", text);
    TavoNode* options = node(at(0, "TargetLoginOptions"));
    set_prop_val(options, "HeaderDigest", "%s", r.tree_digest);
    set_prop_val(options, "HeaderParam", "%s", r.tree_level);
    sim_->clear_log();
    ASSERT_EQ(login(0, {"", "", "", "100"}), 0u) << last_status().second;
    const std::vector<Try> tries = tries_of(sent());
    ASSERT_FALSE(tries.empty());
    EXPECT_EQ(tries[0], r.first);
    EXPECT_EQ(session_lines().back(),
              std::string(kKey) + "," + kA + ",10.0.0.50,3260,100,iqn.hx,Yes,Yes," + r.kept + ",True");
    while (!instances(at(0), "Session").empty()) ASSERT_EQ(logout(0), 0u);
    ASSERT_EQ(act(std::string(kLhba) + "/DeleteTarget", {"0"}), 0u);
  }
}

// The parameters of Login and Logout as clients read them.
TEST_F(SessionsTest, LoginAndLogoutDescribeTheirParameters) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  const struct {
    const char* action;
    std::vector<std::string> descriptions;
  } actions[] = {
      {"Login",
       {"This parameter specifies the IP address of the target portal to login.",
        "This parameter specifies the port number of the target to login.",
        "This parameter specifies the initiator iSCSI name for the session to login.",
        "This parameter indicates the ISIDQualifier for the session to login.",
        "This parameter configures the boot session.",
        "This parameter is used to configure the iSCSI boot target priority. Valid values are None, Primary and "
        "Secondary."}},
      {"Logout",
       {"This parameter accepts string input and converts it to an equivalent number and uses that as an instance "
        "number."}},
  };
  for (const auto& a : actions) {
    TavoParamInfo info;
    ASSERT_EQ(TAVO_get_param_info(tag(at(0, a.action)), &info), 0u);
    ASSERT_EQ(info.param_count, static_cast<int32_t>(a.descriptions.size()));
    for (size_t i = 0; i < a.descriptions.size(); ++i) EXPECT_EQ(info.params[i].description, a.descriptions[i]);
  }
}

// Limits and lookups checked before anything is sent.
TEST_F(SessionsTest, ChecksBeforeTheLogin) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  for (int i = 1; i < 64; ++i) ASSERT_NE(initialize_Session(node(at(0)), nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(initialize_Session(node(at(0)), nullptr, nullptr, nullptr), nullptr);  // a 65th has no slot
  sim_->clear_log();
  EXPECT_EQ(login(0), 1u);
  EXPECT_EQ(last_status(), sessions_text(118));
  // A freed slot is the lowest taken again.
  ASSERT_EQ(delete_node(node(at(0, "Session5"))), 0u);
  EXPECT_EQ(instances(at(0), "Session").size(), 63u);
  const Status portal = sessions_text(29);
  struct Portal {
    std::vector<std::string> params;
    Status status;
  } portals[] = {
      {{"10.0.0.77"}, portal},
      {{"10.0.0.50", "3261"}, portal},
      {{"", "3260"}, portal},
      {{"10.0.0.50", "3260", "", "12x"}, {6, "ISIDQualifier: Invalid value."}},
  };
  for (const Portal& p : portals) {
    EXPECT_EQ(login(0, p.params), 1u) << p.params[0];
    EXPECT_EQ(last_status(), p.status) << p.params[0];
  }
  EXPECT_EQ(mailbox_count(6, 23), 0);
  // A target without portals has nothing to log in to.
  ASSERT_EQ(act(at(0, "DeleteTargetPortal"), {"0"}), 0u);
  EXPECT_EQ(login(0), 1u);
  EXPECT_EQ(last_status(), portal);
}

// Firmware answers that break a login part way.
TEST_F(SessionsTest, FirmwareFaultsDuringALogin) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  // The firmware refuses the persistent form: nothing is sent.
  fail_mailbox(6, 27, 3);
  EXPECT_EQ(login(0, {"", "", "", "9"}), 1u);
  EXPECT_EQ(mailbox_count(6, 23), 0);
  // No answer to the login: the call returns, the simulated clock ran on.
  sim::Fault silent;
  silent.kind = sim::FaultKind::NoAnswer;
  silent.subsystem = 6;
  silent.opcode = 23;
  sim_->inject(silent);
  const uint64_t before = sim_->monotonic_ms();
  EXPECT_EQ(login(0, {"", "", "", "9"}), 1u);
  EXPECT_GE(sim_->monotonic_ms() - before, 120000u);
  EXPECT_EQ(last_status().first, 237u);
  EXPECT_EQ(session_lines().size(), 1u);  // only the added target's
  // The ETO cannot be written: the login stands, with status 58.
  fail_mailbox(6, 17, 3);
  EXPECT_EQ(login(0), 0u);
  EXPECT_EQ(last_status(), sessions_text(58));
  EXPECT_EQ(get(at(0, "Session0/SessionStatus")), "Open");
  // An answer that says the session did not open builds nothing and takes
  // its entry back.
  const auto lines = session_lines();
  sim_->on(6, 23, [](sim::Simulator&, sim::MailboxCall& call) {
    IscsiLoginReply reply{};
    reply.session_state = kSessionNotOpened;
    memcpy(call.payload.data(), &reply, sizeof reply);
    return sim::MailboxReply{};
  });
  EXPECT_EQ(login(0, {"", "", "", "11"}), 1u);
  EXPECT_EQ(last_status(), Status(1, "Login failed. Please check tavo2d.log file for more information."));
  EXPECT_EQ(instances(at(0), "Session").size(), 1u);
  EXPECT_EQ(session_lines(), lines);
  for (const sim::SimSession& s : firmware()) EXPECT_NE(s.isid, 11);
}

// A set of qualifiers as text, in order.
std::string listed(const std::set<int>& qualifiers, const std::set<int>& open = {}) {
  std::string out;
  for (int q : qualifiers) out += std::to_string(q) + (open.contains(q) ? "+ " : " ");
  return out;
}

// Logins that fail and logins that succeed on a retry, through the tree and
// through the host's framework: one that ends open answers 0 and reads
// back; the firmware's sessions, the saved lines and the tree always agree.
TEST_F(SessionsTest, RetriedLoginsLeaveFirmwareFileAndTreeAgreeing) {
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);  // Session0, closed, qualifier 0
  ASSERT_EQ(IMA_VMW_PluginInit(0x5a17), 0u);
  IMA_OID portal{IMA_OBJECT_TYPE_TARGET, 0x5a17, tag(at(0, "TargetPortal0"))};
  const std::vector<std::string> wrong = {"One-Way CHAP", "", "", "tgt-c", "wrongsecret12"};
  const std::vector<std::string> right = {"One-Way CHAP", "", "", "tgt-c", "csecret123456"};
  struct Step {
    const char* what;
    std::vector<std::string> chap;
    const char* level;
    bool host;  // through IMA_VMW_AddSession
    uint32_t result;
    std::string firmware;  // qualifiers the firmware holds, '+' open
  } steps[] = {
      {"a failed reopening leaves the closed session", wrong, "Discouraged", false, 25, "0 "},
      {"reopened on the retry, under a new qualifier", right, "Discouraged", true, 0, "1+ "},
      {"a new session whose every try fails", wrong, "Preferred", false, 25, "1+ "},
      {"a new session on its first try", right, "Preferred", false, 0, "0+ 1+ "},
      {"a new session whose retry logs in", right, "Discouraged", false, 0, "0+ 1+ 3+ "},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    std::vector<std::string> chap = step.chap;
    chap.push_back(step.level);
    options(0, chap);
    if (step.host) {
      EXPECT_EQ(IMA_VMW_AddSession(portal), step.result == 0 ? 0u : 1u);
    } else {
      EXPECT_EQ(login(0), step.result == 0 ? 0u : 1u);
      EXPECT_EQ(last_status().first, step.result);
    }
    // What the firmware, the saved lines and the tree hold, '+' open.
    std::set<int> firmware_held, firmware_open, saved, shown, shown_open;
    for (const sim::SimSession& x : firmware()) {
      if (x.persistent || x.open) firmware_held.insert(x.isid);
      if (x.open) firmware_open.insert(x.isid);
    }
    for (const std::string& line : session_lines()) {
      std::istringstream in(line);
      std::string field;
      for (int i = 0; i <= 6; ++i) std::getline(in, field, ',');
      saved.insert(std::stoi(field));
    }
    for (const std::string& session : instances(at(0), "Session")) {
      const int q = std::stoi(get(at(0, session + "/ISIDQualifier")), nullptr, 16);
      shown.insert(q);
      if (get(at(0, session + "/SessionStatus")) == "Open") shown_open.insert(q);
    }
    EXPECT_EQ(listed(firmware_held, firmware_open), step.firmware);
    EXPECT_EQ(listed(shown, shown_open), step.firmware);
    EXPECT_EQ(listed(saved, firmware_open), step.firmware);
    EXPECT_EQ(get(at(0, "ETO")), "30");
  }
  IMA_VMW_PluginCleanup();
}

// A process killed, or the power cut, at any file call of a login or a
// logout leaves savetgt.txt as it was before the action or after it.
TEST_F(SessionsTest, KilledLoginsAndLogoutsLeaveTheSavedFileBeforeOrAfter) {
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  const std::vector<std::string> right = {"One-Way CHAP", "", "", "tgt-c", "csecret123456", "Discouraged"};
  const std::vector<std::string> wrong = {"One-Way CHAP", "", "", "tgt-c", "wrongsecret12", "Preferred"};
  const struct {
    const char* what;
    std::vector<std::string> chap;
    bool logged_in;  // a session is logged in first
    std::function<uint32_t()> action;
    bool changes;
  } actions[] = {
      {"a failed login", wrong, false, [&] { return login(0); }, false},
      {"a reopening under a new qualifier", right, false, [&] { return login(0); }, true},
      {"a new session after a retry", right, false, [&] { return login(0, {"", "", "", "100"}); }, true},
      {"a logout", right, true, [&] { return logout(0, {"0"}); }, true},
  };
  for (const auto& a : actions) {
    SCOPED_TRACE(a.what);
    options(0, a.chap);
    if (a.logged_in) {
      ASSERT_EQ(login(0), 0u);
    }
    const std::string before = saved("savetgt.txt");
    sim::Fault none;
    none.kind = sim::FaultKind::Crash;
    none.path_contains = "/nothing/";
    ASSERT_EQ(in_child(none, [&] { a.action(); }), 0);
    const std::string after = saved("savetgt.txt");
    EXPECT_EQ(after != before, a.changes);
    EXPECT_GE(old_or_new_at_every_file_call(
                  "/etc/config/QVL/tavo/", [&] { put_saved("savetgt.txt", before); }, [&] { a.action(); },
                  [&] { return saved("savetgt.txt"); }, before, after),
              a.changes ? 4 : 1);
    put_saved("savetgt.txt", before);
  }
}

}  // namespace
}  // namespace tavo::test
