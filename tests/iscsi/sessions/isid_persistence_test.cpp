// ISID qualifiers across the tree, and sessions that outlive a restart: the
// firmware's persistent targets come back closed and are reopened under
// their qualifier; a saved session restored from savetgt.txt keeps its.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/iscsi/sessions/sessions_fixture.h"
#include "tree/waiting.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

class IsidTest : public SessionsTest {
 protected:
  // Target0 (a): Session0 open to 10.0.0.50 under 0, Session1 closed to
  // 10.0.0.51:3261 under 10 (000a); Target1 (c): Session0 closed under 2.
  void SetUp() override {
    SessionsTest::SetUp();
    ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
    ASSERT_EQ(act(at(0, "AddTargetPortal"), {"10.0.0.51", "3261"}), 0u);
    ASSERT_EQ(login(0), 0u);
    ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
    for (sim::SimSession& s : firmware())
      if (s.isid == 1) s.isid = 10;
    ASSERT_EQ(get(at(0, "Session1/ISIDQualifier")), "000a");
  }
};

TEST_F(IsidTest, AQualifierIsUniqueAcrossTheTree) {
  EXPECT_EQ(generate_isid_qualifier(), 1u);
  TavoNode* bare = initialize_Target(node(kLhba), nullptr, nullptr, nullptr);  // Target2, never logged in
  ASSERT_NE(bare, nullptr);
  const Status none{0, ""}, held = sessions_text(71);
  struct Row {
    int target;
    const char* qualifier;
    const char* address;
    const char* port;
    uint32_t result;
    uint32_t got;
    const char* reused;  // the Session taken over, or ""
    Status status;
  } rows[] = {
      {0, "", "10.0.0.50", "3260", 0, 1, "", none},  // the open session lends nothing
      {0, "", "10.0.0.51", "3261", 0, 10, "Target0/Session1", none},
      {0, "10", "10.0.0.51", "3261", 0, 10, "Target0/Session1", none},
      {0, "0x0a", "10.0.0.51", "3261", 0, 10, "Target0/Session1", none},
      {0, "012", "10.0.0.51", "3261", 0, 10, "Target0/Session1", none},
      {0, "10", "10.0.0.50", "3260", 1, 0, "", held},  // closed, but to another portal
      {0, "0", "10.0.0.50", "3260", 1, 0, "", held},   // open
      {0, "2", "10.0.0.50", "3260", 1, 0, "", held},   // another target's
      {1, "2", "10.0.0.60", "3260", 0, 2, "Target1/Session0", none},
      {0, "7", "10.0.0.50", "3260", 0, 7, "", none},
      {0, "65543", "10.0.0.50", "3260", 0, 7, "", none},  // cut to 16 bits
      {0, "12x", "10.0.0.50", "3260", 1, 0, "", sessions_text(8)},
      // A target's first login takes the qualifier given, as its restore does.
      {2, "7", "10.0.0.50", "3260", 0, 7, "", none},
      {2, "0", "10.0.0.50", "3260", 1, 0, "", held},
      {2, "", "10.0.0.50", "3260", 0, 1, "", none},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.target) + " \"" + r.qualifier + "\" " + r.address);
    uint32_t reused = 0, qualifier = 0;
    TavoNode* session = nullptr;
    tavo_set_last_status(0, "");
    EXPECT_EQ(TAVO_get_isid(node(at(r.target)), r.qualifier, "t", "i", r.address, r.port, &reused, &qualifier, &session),
              r.result);
    EXPECT_EQ(last_status(), r.status);
    if (r.result != 0) continue;
    EXPECT_EQ(qualifier, r.got);
    EXPECT_EQ(session, r.reused[0] != '\0' ? node(std::string(kLhba) + "/" + r.reused) : nullptr);
    EXPECT_EQ(reused, r.reused[0] != '\0' ? 1u : 0u);
  }
  EXPECT_EQ(check_for_isid_existence(0x1000a), 1u);  // the low 16 bits count
  EXPECT_EQ(check_for_isid_existence(3), 0u);
  // The lowest free one, also below a gap.
  ASSERT_EQ(login(0, {"", "", "", "3"}), 0u);
  EXPECT_EQ(generate_isid_qualifier(), 1u);
  ASSERT_EQ(login(0, {"", "", "", "1"}), 0u);
  EXPECT_EQ(generate_isid_qualifier(), 4u);
}

// The qualifiers held follow the tree whatever changes it: a value read
// again from the firmware, one two Sessions show, a deleted target, the
// last client leaving and one coming again; a second adapter's sessions
// count too.
TEST_F(IsidTest, HeldQualifiersFollowTheTree) {
  const auto qualifier_of = [&](int isid_was, int isid) {
    for (sim::SimSession& s : firmware())
      if (s.isid == isid_was) s.isid = isid;
  };
  struct Step {
    const char* what;
    std::function<void()> change;
    uint32_t lowest;
    std::vector<uint32_t> held;  // among 0 to 11
  };
  const Step steps[] = {
      {"as set up", [] {}, 1, {0, 2, 10}},
      {"Session0 read again under 1",
       [&] {
         qualifier_of(0, 1);
         EXPECT_EQ(get(at(0, "Session0/ISIDQualifier")), "0001");
       },
       0, {1, 2, 10}},
      {"Target1's Session read again under 10, which two hold",
       [&] {
         qualifier_of(2, 10);
         EXPECT_EQ(get(at(1, "Session0/ISIDQualifier")), "000a");
       },
       0, {1, 10}},
      {"Target1 deleted, Target0's Session1 holds 10 still",
       [&] { ASSERT_EQ(act(std::string(kLhba) + "/DeleteTarget", {"1"}), 0u); }, 0, {1, 10}},
      {"the Moravel's session", [&] {
         ASSERT_EQ(act("Corvane1/iSCSIPhysicalHBA0/LogicalHBA0/AddTarget", {kA, "10.0.0.50"}), 0u);
       }, 2, {0, 1, 10}},
      {"the last client left", [&] { ASSERT_EQ(TAVO_exit(), 0u); }, 0, {}},
      {"a client again", [&] { ASSERT_EQ(TAVO_init(), 0u); }, 2, {0, 1, 10}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(generate_isid_qualifier(), step.lowest);
    std::vector<uint32_t> held;
    for (uint32_t q = 0; q < 12; ++q)
      if (check_for_isid_existence(q) != 0) held.push_back(q);
    EXPECT_EQ(held, step.held);
  }
}

// Qualifiers held at a word's edges and at the top of the range count as
// held, by built Sessions as by sessions whose targets wait after a new
// start; those above the highest held are free, the lowest is generated.
TEST_F(IsidTest, QualifiersUpToTheTopOfTheRangeAreHeld) {
  for (sim::SimSession& s : firmware()) s.isid = s.isid == 0 ? 63 : s.isid == 10 ? 64 : 65534;
  for (const bool waiting : {true, false}) {
    SCOPED_TRACE(waiting ? "waiting" : "built");
    ASSERT_EQ(TAVO_exit(), 0u);
    ASSERT_EQ(TAVO_init(), 0u);
    if (!waiting) walk_whole_tree();
    std::vector<uint32_t> held;
    for (const uint32_t q : {0u, 62u, 63u, 64u, 65u, 127u, 128u, 65533u, 65534u, 65535u, 65536u + 64u})
      if (check_for_isid_existence(q) != 0) held.push_back(q);
    EXPECT_EQ(held, (std::vector<uint32_t>{63, 64, 65534, 65536 + 64}));
    EXPECT_EQ(generate_isid_qualifier(), 0u);
    EXPECT_EQ(tree::children_wait(node(kLhba)), waiting);  // the questions build nothing
    // A given one on a Target, which its lookup builds.
    uint32_t reused = 0, qualifier = 0;
    TavoNode* session = nullptr;
    EXPECT_EQ(TAVO_get_isid(node(at(0)), "65534", "t", "i", "10.9.9.9", "3260", &reused, &qualifier, &session), 1u);
    EXPECT_EQ(last_status(), sessions_text(71));
    EXPECT_EQ(TAVO_get_isid(node(at(0)), "65535", "t", "i", "10.9.9.9", "3260", &reused, &qualifier, &session), 0u);
    EXPECT_EQ(qualifier, 65535u);
  }
}

// The adapter restarts: its persistent targets come back closed, and a
// login reopens each under its qualifier without persisting it again.
TEST_F(SessionsTest, APersistentSessionIsReopenedAfterARestart) {
  ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
  ASSERT_EQ(login(0, {"", "", "", "6"}), 0u);
  ASSERT_EQ(logout(0, {"0"}), 0u);  // the added target's own session goes
  const std::vector<std::string> lines = target_lines();
  sim::SimIscsi kept = *sim_->sessions(0);
  std::erase_if(kept.sessions, [](const sim::SimSession& s) { return !s.persistent; });
  for (sim::SimSession& s : kept.sessions) s.open = false;
  use(kSessionsTopology);
  *sim_->sessions(0) = kept;
  ASSERT_EQ(TAVO_init(), 0u);
  ASSERT_EQ(instances(at(0), "Session"), std::vector<std::string>{"Session0"});
  EXPECT_EQ(get(at(0, "Session0/SessionStatus")), "Closed");
  EXPECT_EQ(get(at(0, "Session0/Persistent")), "True");
  sim_->clear_log();
  ASSERT_EQ(login(0), 0u) << last_status().second;
  EXPECT_EQ(mailbox_count(6, 27), 0);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].isid_qualifier, 6);
  EXPECT_EQ(get(at(0, "Session0/SessionStatus")), "Open");
  EXPECT_EQ(target_lines(), lines);
}

// savetgt.txt holds a session of a target the tree and the firmware lack:
// the refresh builds the target from the session's line and logs it in
// under the saved qualifier, adding no line and no second firmware entry.
TEST_F(SessionsTest, ASavedSessionIsRestoredUnderItsQualifier) {
  const std::string options = ",iqn.hx,Yes,Yes,None,None,One-Way CHAP,,,tgt-c,csecret123456,Static,Required,"
                              "Prohibited,Prohibited,True";
  const std::string target = std::string(kKey) + "," + kC + ",10.0.0.60,3260,";
  // The LogicalHBA's targets are built first: waiting, they are built from
  // the lines the file holds when they are reached, this one's too.
  ASSERT_EQ(instances(kLhba, "Target").size(), 0u);
  put_saved("savetgt.txt", target + "5" + options + "\n" + target + options + "\n");
  sim_->clear_log();
  ASSERT_EQ(act(std::string(kLhba) + "/Discovery/RefreshAvailableTargets"), 0u) << last_status().second;
  const std::vector<IscsiLoginRequest> persisted = sent(27);
  ASSERT_EQ(persisted.size(), 1u);
  EXPECT_EQ(persisted[0].isid_qualifier, 5);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].isid_qualifier, 5);
  EXPECT_EQ(get(at(0, "Session0/SessionStatus")), "Open");
  EXPECT_EQ(get(at(0, "Session0/ISIDQualifier")), "0005");
  EXPECT_EQ(session_lines().size(), 1u);
  EXPECT_EQ(std::count_if(firmware().begin(), firmware().end(), [](const sim::SimSession& s) { return s.persistent; }),
            1);
}

// A change of a target's CHAP makes its closed sessions persistent again
// with the new values; open ones keep theirs.
TEST_F(SessionsTest, ChangedCredentialsReachTheClosedSessions) {
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  options(0, {"One-Way CHAP", "", "", "tgt-c", "csecret123456", "Required"});
  ASSERT_EQ(login(0, {"", "", "", "4"}), 0u);
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "TargetLoginOptions/Authentication/ConfigureCHAP"),
                {"One-Way CHAP", "", "", "tgt-c", "newsecret1234", "Required"}),
            0u);
  // The closed session (qualifier 0): its entry deleted, then added again
  // with the new secret; the open one is left alone.
  ASSERT_EQ(payloads(6, 28).size(), 1u);
  const std::vector<IscsiLoginRequest> again = sent(27);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].isid_qualifier, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(again[0].options.target_secret), 13), "newsecret1234");
  EXPECT_EQ(session_lines().size(), 2u);
  EXPECT_NE(session_lines().back().find(",0,iqn.hx,"), std::string::npos);
  EXPECT_NE(session_lines().back().find("newsecret1234"), std::string::npos);
  // The target's sessions were read again in the firmware's order.
  EXPECT_EQ(get(at(0, "Session0/ISIDQualifier")) + " " + get(at(0, "Session0/SessionStatus")), "0004 Open");
  EXPECT_EQ(get(at(0, "Session1/ISIDQualifier")) + " " + get(at(0, "Session1/SessionStatus")), "0000 Closed");
}

}  // namespace
}  // namespace tavo::test
