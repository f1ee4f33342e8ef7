// What start-up and a Target's refresh ask the firmware for among many
// sessions: start-up reads the session list once per function and each
// session's record once; a Target's refresh reads the records of its own
// sessions, whatever the other Targets of its function hold.
#include <ctype.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/iscsi/sessions/sessions_fixture.h"

namespace tavo::test {
namespace {

constexpr int kNetworkTargets = 6;
std::string reads_name(int i) { return "iqn.2026-12.com.example:r" + std::to_string(i); }

// The sessions topology with six more targets on the CV3's network, each
// alone behind its own portal.
std::string reads_topology() {
  std::string t = kSessionsTopology;
  for (int i = 0; i < kNetworkTargets; ++i)
    t += "target name=" + reads_name(i) + " portal=10.0.2." + std::to_string(10 + i) + "/3260/1\n";
  return t;
}

class SessionReadsTest : public SessionsTest {
 protected:
  SessionReadsTest() : SessionsTest(reads_topology()) {}
  // AddTarget of network target i (Target<i> of the CV3's LogicalHBA): its
  // saved line and its persistent session.
  void add_reads_target(int i) {
    ASSERT_EQ(add(reads_name(i), "10.0.2." + std::to_string(10 + i)), 0u) << last_status().second;
  }
  // The process ends and a new one starts over the firmware as it is.
  void restart_over_firmware() {
    const sim::SimIscsi kept = *sim_->sessions(0);
    use(reads_topology());
    *sim_->sessions(0) = kept;
    ASSERT_EQ(TAVO_init(), 0u);
  }
};

// Each saved target brings its persistent session back: every session's
// record is read once and each function's list once (the CV3's with its
// targets, in one command; the Moravel's, which lists none, asked for its
// length and read), however many there are.
TEST_F(SessionReadsTest, StartUpReadsEachSessionAndEachListOnce) {
  const int rows[] = {1, 3, 6};  // saved targets, each with its session
  int added = 0;
  for (const int targets : rows) {
    SCOPED_TRACE(targets);
    for (; added < targets; ++added) add_reads_target(added);
    restart_over_firmware();
    walk_whole_tree();  // every function's targets built, as start-up built them before
    int sessions = 0;
    for (int t = 0; t < targets; ++t) sessions += static_cast<int>(instances(at(t), "Session").size());
    EXPECT_EQ(sessions, targets);
    EXPECT_EQ(mailbox_count(6, 14), sessions);
    EXPECT_EQ(mailbox_count(6, 29), 3);
  }
}

// A target the firmware lists but the file lacks gets its line back at
// start-up, persistent as its first session in the firmware's list is
// (names compared without case). A session record that cannot be read
// leaves only the target that asked without a flag: the next one reads it
// again.
TEST_F(SessionReadsTest, StartUpSavesAListedTargetAsPersistentAsItsFirstSession) {
  constexpr int kTargets = 4;
  for (int i = 0; i < kTargets; ++i) add_reads_target(i);
  std::vector<sim::SimSession>& fw = firmware();
  ASSERT_EQ(fw.size(), static_cast<size_t>(kTargets));
  const auto upper = [](std::string name) {
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name;
  };
  // r1 and r3: a closed session ahead of the persistent one (r3's two
  // first in the list, the closed one named in upper case, so that both
  // are read before r3 asks); r2's only session named in upper case.
  const auto closed_ahead = [&](size_t at, const std::string& name) {
    sim::SimSession closed = fw[at];
    closed.persistent = false;
    closed.target = name;
    closed.handle = sim_->sessions(0)->next_handle++;
    fw.insert(fw.begin() + static_cast<long>(at), closed);
  };
  fw[2].target = upper(reads_name(2));
  closed_ahead(1, reads_name(1));
  std::rotate(fw.begin(), fw.end() - 1, fw.end());
  closed_ahead(0, upper(reads_name(3)));
  const sim::SimIscsi kept = *sim_->sessions(0);
  const struct {
    const char* what;
    int failed_reads;  // of session records, from the first
    std::vector<std::string> persistence;  // r0 ... r3
  } rows[] = {
      {"every record read", 0, {"True", "False", "True", "False"}},
      {"the first record read fails once", 1, {"", "False", "True", "False"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    put_saved("savetgt.txt", "");
    use(reads_topology());
    *sim_->sessions(0) = kept;
    if (row.failed_reads > 0) fail_mailbox(6, 14, 1).times = row.failed_reads;
    ASSERT_EQ(TAVO_init(), 0u);
    std::map<std::string, std::string> found, expected;
    for (const std::string& line : portal_lines()) {
      const size_t name = line.find(',', line.find(',', line.find(',') + 1) + 1) + 1;
      found[line.substr(name, line.find(',', name) - name)] = line.substr(line.rfind(',') + 1);
    }
    for (int i = 0; i < kTargets; ++i) expected[reads_name(i)] = row.persistence[static_cast<size_t>(i)];
    EXPECT_EQ(found, expected);
    EXPECT_LE(mailbox_count(6, 14), static_cast<int>(kept.sessions.size()) + row.failed_reads);
  }
}

// A Target's refresh reads the list and the records of its own sessions;
// the sessions the function holds for its other Targets cost nothing.
TEST_F(SessionReadsTest, ATargetRefreshReadsItsOwnSessionsOnly) {
  struct Row {
    int on_function;  // sessions of the CV3's function
    int own;          // of those, Target0's
  } rows[] = {{1, 1}, {5, 2}, {50, 3}};
  int qualifier = 20, targets = 0;
  const auto log_in = [&](int target) {
    ASSERT_EQ(login(target, {"", "", "", std::to_string(qualifier++)}), 0u) << last_status().second;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.on_function);
    if (targets == 0) add_reads_target(targets++);
    while (static_cast<int>(instances(at(0), "Session").size()) < row.own) log_in(0);
    const auto on_function = [&] {
      int n = 0;
      for (int t = 0; t < targets; ++t) n += static_cast<int>(instances(at(t), "Session").size());
      return n;
    };
    for (int next = 1; on_function() < row.on_function; next = next % (kNetworkTargets - 1) + 1) {
      if (next >= targets) {
        add_reads_target(targets++);
        continue;
      }
      log_in(next);
    }
    ASSERT_EQ(on_function(), row.on_function);
    sim_->clear_log();
    ASSERT_EQ(TAVO_refresh_group(tag(at(0))), 0u);
    EXPECT_EQ(static_cast<int>(instances(at(0), "Session").size()), row.own);
    EXPECT_EQ(mailbox_count(6, 29), 2);
    EXPECT_EQ(mailbox_count(6, 14), row.own);
    EXPECT_EQ(on_function(), row.on_function);
  }
}

// A handle the firmware gives again after a logout names the new session
// only: each Target's refresh reads and shows its own sessions, whichever
// Target's session held the handle before.
TEST_F(SessionReadsTest, AHandleGivenAgainBelongsToTheSessionHoldingItNow) {
  add_reads_target(0);
  add_reads_target(1);
  ASSERT_EQ(login(0, {"", "", "", "30"}), 0u) << last_status().second;
  const uint32_t handle = firmware().back().handle;
  ASSERT_EQ(logout(0, {"1"}), 0u) << last_status().second;
  sim_->sessions(0)->next_handle = handle;
  ASSERT_EQ(login(1, {"", "", "", "31"}), 0u) << last_status().second;
  ASSERT_EQ(firmware().back().handle, handle);
  const struct {
    int target;
    int own;
  } rows[] = {{1, 2}, {0, 1}, {1, 2}, {0, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.target);
    sim_->clear_log();
    ASSERT_EQ(TAVO_refresh_group(tag(at(r.target))), 0u);
    EXPECT_EQ(static_cast<int>(instances(at(r.target), "Session").size()), r.own);
    EXPECT_EQ(mailbox_count(6, 14), r.own);
  }
}

}  // namespace
}  // namespace tavo::test
