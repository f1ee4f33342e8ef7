// The saved iSCSI files under crashes and concurrent writers, and the file
// work of one change as the saved lines grow.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "base/file_utils.h"
#include "base/library_lock.h"
#include "base/save_file.h"
#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

std::string name_of(int process, int op) { return "iqn.p" + std::to_string(process) + ".t" + std::to_string(op); }

// The savetgt.txt line of a target of LogicalHBA0 with the default options.
std::string line_of(const std::string& name) {
  return std::string(kKey) + "," + name +
         ",10.0.0.9,3260,,iqn.hx,Yes,Yes,None,None,None,,,,,Static,Prohibited,Prohibited,Prohibited,True\n";
}

// The lines of a text in order, so two texts compare by the lines they hold.
std::string sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

// A child killed, or the power cut, at every file call of an append and a
// rewrite: each file holds its old content or its new, nothing else.
TEST_F(TargetsTest, KilledOrPoweredOffSavesLeaveOldOrNew) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t");
  ASSERT_NE(target, nullptr);
  const std::string targets = saved("savetgt.txt"), options = saved("intr_logopts.txt");
  std::string changed_options = options;
  changed_options.replace(changed_options.find(",Yes,Yes,"), 9, ",Yes,No,");
  const struct {
    const char* file;
    std::string before, after;
    std::function<void()> save;
  } saves[] = {
      {"savetgt.txt", targets, targets + line_of(name_of(0, 0)),
       [&] { TAVO_add_target_into_file(lhba, target, name_of(0, 0).c_str(), "10.0.0.9", "3260", nullptr, "True"); }},
      {"intr_logopts.txt", options, changed_options,
       [&] { TAVO_set_initiator_loginoptions(lhba, nullptr, nullptr, "ImmediateData", "No"); }},
  };
  for (const auto& s : saves) {
    SCOPED_TRACE(s.file);
    EXPECT_GE(old_or_new_at_every_file_call(
                  "/etc/config/QVL/tavo/", [&] { put_saved(s.file, s.before); }, s.save,
                  [&] { return saved(s.file); }, s.before, s.after),
              6);
  }
}

// An action that changes several lines is killed, or the power cut, at
// every file call: savetgt.txt holds the lines it held before or those the
// action leaves, never some of each (a target's portals, its sessions).
TEST_F(NetworkTargetsTest, KilledActionsLeaveTheLinesBeforeOrAfter) {
  const std::string lhba = kLhba, auth = lhba + "/Target0/TargetLoginOptions/Authentication/";
  ASSERT_EQ(act(lhba + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
  ASSERT_EQ(act(lhba + "/Target0/AddTargetPortal", {"10.0.0.10", "3261"}), 0u);
  const struct {
    std::string action;
    std::vector<std::string> params;
  } actions[] = {
      {lhba + "/AddTarget", {"iqn.t2", "10.0.0.9"}},  // its line and its session's
      {auth + "ConfigureCHAP", {"One-Way CHAP", "", "", "tname", "tsecret12345"}},  // and the sessions again
      {auth + "DeleteCHAP", {}},
      {lhba + "/DeleteTarget", {"0"}},  // two portals, two sessions
  };
  for (const auto& a : actions) {
    SCOPED_TRACE(a.action);
    const std::string before = saved("savetgt.txt");
    const auto run = [&] { act(a.action, a.params); };
    sim::Fault none;
    none.kind = sim::FaultKind::Crash;
    none.path_contains = "no such file";
    ASSERT_EQ(in_child(none, run), 0);
    const std::string after = saved("savetgt.txt");
    ASSERT_NE(sorted_lines(after), sorted_lines(before));
    EXPECT_GE(old_or_new_at_every_file_call(
                  "/etc/config/QVL/tavo/", [&] { put_saved("savetgt.txt", before); }, run,
                  [&] { return sorted_lines(saved("savetgt.txt")); }, sorted_lines(before), sorted_lines(after)),
              4);
    put_saved("savetgt.txt", before);
    ASSERT_EQ(act(a.action, a.params), 0u);  // the next action starts where this one ends
    EXPECT_EQ(sorted_lines(saved("savetgt.txt")), sorted_lines(after));
  }
}

// Every action that changes the saved files, each under the I/O faults of
// io_faults: an answer of 0 leaves what the action leaves without a fault,
// a failure leaves files, tree and firmware as they were.
constexpr const char* kSavedStateActions[] = {
    "AddTarget",           "AddTargetPortal",       "DeleteTarget",
    "DeleteTargetPortal",  "AddSendTargetPortal",   "DeleteSendTargetPortal",
    "DiscoverTargets",     "RefreshAvailableTargets", "TargetConfigureCHAP",
    "TargetDeleteCHAP",    "InitiatorConfigureCHAP", "InitiatorOption",
    "TargetOption",        "PortalOption",          "Login",
    "Logout",
};

class SavedStateActionTest : public NetworkTargetsTest, public ::testing::WithParamInterface<size_t> {
 protected:
  // Target0 logged in at a, Target1 nowhere on the network (its session
  // closed), Target2 b, not logged in; a send-target portal at a and b.
  void SetUp() override {
    NetworkTargetsTest::SetUp();
    ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}), 0u);
    ASSERT_EQ(act(lhba_ + "/Target0/Login", {"10.0.0.50", "3260"}), 0u);
    ASSERT_EQ(act(lhba_ + "/AddTarget", {"iqn.t1", "10.0.0.9"}), 0u);
    ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetB, "10.0.0.50"}), 0u);
    ASSERT_EQ(act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
  }
  // The row's action, in the order of kSavedStateActions.
  uint32_t run(size_t row) {
    const std::string discovery = lhba_ + "/Discovery", stp = discovery + "/SendTargetPortal0";
    const std::string t0 = lhba_ + "/Target0", t1 = lhba_ + "/Target1", t2 = lhba_ + "/Target2";
    const std::string chap = t1 + "/TargetLoginOptions/Authentication/";
    const std::string not_given(1, static_cast<char>(TAVO_NOT_GIVEN));
    switch (row) {
      case 0: return act(lhba_ + "/AddTarget", {"iqn.t2", "10.0.0.9"});
      case 1: return act(t1 + "/AddTargetPortal", {"10.0.0.10", "3261"});
      case 2: return act(lhba_ + "/DeleteTarget", {"1"});
      case 3: return act(t1 + "/DeleteTargetPortal", {"0"});
      case 4: return act(discovery + "/AddSendTargetPortal", {"10.0.0.60", "3260"});
      case 5: return act(discovery + "/DeleteSendTargetPortal", {"0"});
      case 6: return act(stp + "/DiscoverTargets");
      case 7: return act(discovery + "/RefreshAvailableTargets");
      case 8: return act(chap + "ConfigureCHAP", {"One-Way CHAP", "", "", "tname", "tsecret12345"});
      case 9: return act(chap + "DeleteCHAP");
      case 10:
        return act(lhba_ + "/InitiatorLoginOptions/Authentication/ConfigureCHAP",
                   {"One-Way CHAP", "", "", "in", "nsecret12345"});
      case 11: return set(lhba_ + "/InitiatorLoginOptions/DataDigest", "CRC32C");
      case 12: return set(t1 + "/TargetLoginOptions/HeaderDigest", "CRC32C");
      case 13: return set(stp + "/SendTargetPortalLoginOptions/ImmediateData", "No");
      case 14: return act(t2 + "/Login", {"10.0.0.50", "3260", not_given, "7"});  // beside its closed session
      case 15: return act(t0 + "/Logout");
    }
    return ~0u;
  }
  const std::string lhba_ = kLhba;
};

TEST_P(SavedStateActionTest, AnswersTrulyUnderIoFaults) {
  const size_t row = GetParam();
  const auto restore = saved_files_restorer();
  const std::string before = everything();
  const auto [answer, after] = answer_in_child(no_fault(), [&] { return run(row); }, [&] { return everything(); });
  ASSERT_EQ(answer, 0u);
  ASSERT_NE(after, before);
  EXPECT_GT(true_answer_under_io_faults(
                "/etc/config/QVL/tavo/", restore, [&] { return run(row); }, [&] { return everything(); }, before,
                after),
            0);
}

INSTANTIATE_TEST_SUITE_P(Actions, SavedStateActionTest, ::testing::Range<size_t>(0, std::size(kSavedStateActions)),
                         [](const ::testing::TestParamInfo<size_t>& row) {
                           return std::string(kSavedStateActions[row.param]);
                         });

// Each action writes each saved file at most once: a second flush of what
// was written to any of them (an append, or the new file that replaces it,
// written in one or more calls) would fail here, and none does.
TEST_F(NetworkTargetsTest, EachActionWritesEachSavedFileOnce) {
  const std::string lhba = kLhba, discovery = lhba + "/Discovery";
  const struct {
    std::function<uint32_t()> run;
    const char* what;
  } steps[] = {
      {[&] { return act(lhba + "/AddTarget", {"iqn.t1", "10.0.0.9"}); }, "target and session lines"},
      {[&] { return act(lhba + "/Target0/AddTargetPortal", {"10.0.0.10"}); }, "portal and session lines"},
      {[&] { return set(lhba + "/Target0/TargetLoginOptions/HeaderDigest", "CRC32C"); }, "sessions again"},
      {[&] { return act(discovery + "/AddSendTargetPortal", {"10.0.0.50", "3260"}); }, "send-target portal"},
      {[&] { return act(discovery + "/SendTargetPortal0/DiscoverTargets"); }, "three discovered portals"},
      {[&] { return act(lhba + "/InitiatorLoginOptions/Authentication/ConfigureCHAP",
                        {"One-Way CHAP", "", "", "in", "nsecret12345"}); },
       "initiator CHAP"},
      {[&] { return set(lhba + "/InitiatorLoginOptions/DataDigest", "CRC32C"); }, "initiator option"},
      {[&] { return act(discovery + "/RefreshAvailableTargets"); }, "refresh"},
      {[&] { return act(discovery + "/AddSendTargetPortal", {"10.0.0.60", "3260"}); }, "another portal"},
      {[&] { return act("Corvane0/iSCSIPhysicalHBA0/EraseConfiguration"); }, "all three files"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    for (const char* file : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"}) {
      sim::Fault second_write;
      second_write.kind = sim::FaultKind::FileErrno;
      second_write.file_call = "fsync";
      second_write.path_contains = file;
      second_write.skip = 1;
      second_write.times = -1;
      sim_->inject(second_write);
    }
    EXPECT_EQ(step.run(), 0u);
    EXPECT_EQ(last_status(), std::make_pair(0u, std::string()));
    sim_->clear_faults();
  }
  EXPECT_EQ(target_lines(), std::vector<std::string>());
  EXPECT_EQ(saved("savestp.txt"), "");
}

// 8 processes of 2 threads append and remove lines at once: the file ends
// as the same operations made one after the other leave it.
TEST_F(TargetsTest, ConcurrentWritersEqualTheSerialResult) {
  constexpr int kProcesses = 8, kThreads = 2, kOps = 100;
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t");
  ASSERT_NE(target, nullptr);
  // Every fourth operation of a writer removes the line the one before added.
  const auto writer = [&](int w, uint32_t* failed) {
    for (int i = 0; i < kOps; ++i)
      *failed |= i % 4 == 3 ? TAVO_remove_entry_from_file(lhba, name_of(w, i - 1).c_str(), "10.0.0.9", "3260",
                                                          TAVO_ANY_ISID_QUALIFIER, TAVO_ENTRY_TARGET)
                            : TAVO_add_target_into_file(lhba, target, name_of(w, i).c_str(), "10.0.0.9", "3260",
                                                        nullptr, "True");
  };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      uint32_t failed[kThreads] = {};
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, p * kThreads + t, &failed[t]);
      for (std::thread& t : threads) t.join();
      _exit(failed[0] == 0 && failed[1] == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string serial = line_of("iqn.t");
  for (int w = 0; w < kProcesses * kThreads; ++w)
    for (int i = 0; i < kOps; i += 4)
      for (int kept : {i, i + 1}) serial += line_of(name_of(w, kept));
  EXPECT_EQ(sorted_lines(saved("savetgt.txt")), sorted_lines(serial));
}

// Adding a line reads the tail of the file only, and a reload of options
// that did not change reads nothing. Each is measured inside a hold of the
// library lock, whose taking reads the change count of the gate between
// processes.
TEST_F(TargetsTest, FileWorkPerChangeDoesNotGrowWithTheLines) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t");
  ASSERT_NE(target, nullptr);
  uint64_t read_at_100 = 0;
  for (int i = 1; i <= 1000; ++i) {
    TAVO_LIBRARY_LOCK;
    const uint64_t before = sim_->bytes_read();
    ASSERT_EQ(TAVO_add_target_into_file(lhba, target, name_of(0, i).c_str(), "10.0.0.9", "3260", nullptr, "True"), 0u);
    const uint64_t read = sim_->bytes_read() - before;
    if (i == 100) read_at_100 = read;
    if (i == 1000) {
      // The last line known, the new one, and the byte that tells whether
      // the file ends its last line.
      EXPECT_LE(read, 2 * line_of(name_of(0, i)).size() + 1);
      EXPECT_LE(read, read_at_100 + 2);
    }
  }
  const std::string option = std::string(kLhba) + "/InitiatorLoginOptions/ImmediateData";
  EXPECT_EQ(get(option), "Yes");
  TAVO_LIBRARY_LOCK;
  const uint64_t before = sim_->bytes_read();
  EXPECT_EQ(get(option), "Yes");
  EXPECT_EQ(sim_->bytes_read(), before);
}

// Within one library call (a client holding the library lock over several
// calls) savetgt.txt and the commit record are looked at by the first read
// alone, until the library writes a saved file: the next read then sees
// what it wrote. A change by another process is seen by the next call.
TEST_F(TargetsTest, ReadsOfOneCallLookAtTheFileOnce) {
  TavoNode *cv = node("Corvane0"), *fn = node("Corvane0/iSCSIPhysicalHBA0"), *lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t");
  ASSERT_NE(target, nullptr);
  const std::string tgt_file = "/etc/config/QVL/tavo/savetgt.txt";
  const struct {
    const char* change;
    std::function<void()> make;
    const char* name;  // looked up: found before the change, within the call (-1: either) and in the next
    uint32_t before;
    int in_call;
    uint32_t next_call;
  } cases[] = {
      {"none", [] {}, "iqn.t", 1, 1, 1},
      {"appended by the library",
       [&] { TAVO_add_target_into_file(lhba, target, "iqn.new", "10.0.0.9", "3260", nullptr, "True"); }, "iqn.new", 0,
       1, 1},
      {"deleted by the library", [&] { TAVO_delete_file(tgt_file.c_str()); }, "iqn.t", 1, 0, 0},
      {"renamed in by another process", [&] { put_saved("savetgt.txt", line_of("iqn.new")); }, "iqn.new", 0, -1, 1},
  };
  for (const auto& c : cases) {
    const auto found = [&] {
      return TAVO_check_for_duplicate_tgt(cv, fn, lhba, c.name, "10.0.0.9", "3260", 0, TAVO_ANY_ISID_QUALIFIER);
    };
    put_saved("savetgt.txt", line_of("iqn.t"));
    {
      TAVO_LIBRARY_LOCK;
      EXPECT_EQ(found(), c.before) << c.change;
      c.make();
      if (c.in_call >= 0) {
        EXPECT_EQ(found(), static_cast<uint32_t>(c.in_call)) << c.change;
      }
      found();
      const uint64_t looks = sim_->file_calls("stat");
      for (int i = 0; i < 10; ++i) found();
      EXPECT_EQ(sim_->file_calls("stat"), looks) << c.change;
    }
    EXPECT_EQ(found(), c.next_call) << c.change;
  }
}

// Another writer's rewrite of savetgt.txt is seen whatever its size, when
// the file system stamps it with the very times of the last look (its
// clock stands, as within one tick of a coarse clock): a file so changed
// is read again at every look, until one comes a grain of the clock after
// the change. The library's own saves are trusted at once: a look at them
// costs a stat, no read.
TEST_F(TargetsTest, RewritesWithinOneTickOfTheClockAreSeen) {
  TavoNode *cv = node("Corvane0"), *fn = node("Corvane0/iSCSIPhysicalHBA0"), *lhba = node(kLhba);
  TavoNode* target = add_target("iqn.lib");
  ASSERT_NE(target, nullptr);
  const auto found = [&](const std::string& name) {
    return TAVO_check_for_duplicate_tgt(cv, fn, lhba, name.c_str(), "10.0.0.9", "3260", 0,
                                        TAVO_ANY_ISID_QUALIFIER) == 1;
  };
  const std::string path = saved_path("savetgt.txt");
  const auto write_at = [&](const std::string& text, int flags) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | flags, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  };
  // Names of one length: the rewrites keep the file's size, or its last
  // line where an append would have left it.
  const struct {
    const char* rewrite;
    std::string before, after;
    std::function<void(const std::string&)> write;
  } cases[] = {
      {"same size, same inode", line_of("iqn.a"), line_of("iqn.b"), [&](const std::string& t) { write_at(t, 0); }},
      {"same size, a new inode (its number reused)", line_of("iqn.a"), line_of("iqn.b"),
       [&](const std::string& t) {
         ::unlink(path.c_str());
         write_at(t, O_EXCL);
       }},
      {"truncated and rewritten longer", line_of("iqn.a") + line_of("iqn.c"),
       line_of("iqn.b") + line_of("iqn.c") + line_of("iqn.d"), [&](const std::string& t) { write_at(t, O_TRUNC); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rewrite);
    sim_->stop_file_clock();
    put_saved("savetgt.txt", c.before);
    EXPECT_TRUE(found("iqn.a"));
    c.write(c.after);
    EXPECT_FALSE(found("iqn.a"));
    EXPECT_TRUE(found("iqn.b"));
    // A look a grain of the clock later reads the file once more, then
    // trusts it (the gate between processes is read through its mapping).
    sim_->stop_file_clock(files::kStampGrain + 1);
    EXPECT_TRUE(found("iqn.b"));
    uint64_t read = sim_->bytes_read();
    EXPECT_TRUE(found("iqn.b"));
    EXPECT_EQ(sim_->bytes_read(), read);
    // The library's append, while the clock stands again: its tail read
    // once, then trusted.
    sim_->stop_file_clock();
    ASSERT_EQ(TAVO_add_target_into_file(lhba, target, "iqn.lib", "10.0.0.9", "3260", nullptr, "True"), 0u);
    read = sim_->bytes_read();
    EXPECT_TRUE(found("iqn.lib"));
    EXPECT_LE(sim_->bytes_read() - read, 2 * line_of("iqn.lib").size());
    read = sim_->bytes_read();
    EXPECT_TRUE(found("iqn.lib"));
    EXPECT_EQ(sim_->bytes_read(), read);
    EXPECT_EQ(saved("savetgt.txt"), c.after + line_of("iqn.lib"));
  }
}

}  // namespace
}  // namespace tavo::test
