// Processes that share a root: a process sees what another answered as the
// files and the adapter hold it, and its reads write nothing.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/library_lock.h"
#include "base/root_gate.h"
#include "tests/iscsi/targets/targets_fixture.h"
#include "tree/waiting.h"

namespace tavo::test {
namespace {

class SharedRootTest : public NetworkTargetsTest {
 protected:
  explicit SharedRootTest(std::string topology = std::string(kTargetsTopology) + kNetworkTargets)
      : NetworkTargetsTest(std::move(topology)) {}
  // Three targets added here, then a start of this process over the root
  // as they left it.
  void SetUp() override {
    NetworkTargetsTest::SetUp();
    for (const char* name : {"iqn.t1", "iqn.t2", "iqn.t3"})
      ASSERT_EQ(act(lhba_ + "/AddTarget", {name, "10.0.0.9"}), 0u) << last_status().second;
    ASSERT_EQ(start_again(), 0u);
  }
  // The library started again over the files and the adapters as they are.
  uint32_t start_again() {
    TAVO_exit();
    return TAVO_init();
  }
  // The targets' names as a client lists them.
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const std::string& t : instances(lhba_, "Target")) out.push_back(get(lhba_ + "/" + t + "/TargetISCSIName"));
    return out;
  }
  // What another process answers, run in a process of its own.
  std::string elsewhere(const std::function<uint32_t()>& change) {
    return in_process([&] { return std::to_string(change()); });
  }
  // The LogicalHBA's tree as everything() shows it.
  std::string tree() {
    const std::string all = everything();
    const size_t from = all.find("[tree]\n"), to = all.find("[firmware]\n");
    return from == std::string::npos || to == std::string::npos ? all : all.substr(from, to - from);
  }
  // The Target of that name, by path.
  std::string target_named(const std::string& name) {
    for (const std::string& t : instances(lhba_, "Target"))
      if (get(lhba_ + "/" + t + "/TargetISCSIName") == name) return lhba_ + "/" + t;
    return "";
  }
  const std::string lhba_ = kLhba;
};

class SharedRootListingTest : public SharedRootTest, public ::testing::WithParamInterface<bool> {};

// Another process deletes a target and adds one: this process, whether it
// had reached its targets or not, lists what a new process lists, and its
// listing writes nothing.
TEST_P(SharedRootListingTest, AListingAfterAnotherProcessChangedShowsWhatItAnswered) {
  if (GetParam()) {
    EXPECT_EQ(names(), (std::vector<std::string>{"iqn.t1", "iqn.t2", "iqn.t3"}));
  }
  EXPECT_EQ(elsewhere([&] {
              return act(lhba_ + "/DeleteTarget", {"0"}) | act(lhba_ + "/AddTarget", {"iqn.t4", "10.0.0.9"});
            }),
            "0");
  const std::string files = saved("savetgt.txt") + saved("savestp.txt");
  std::vector<std::string> listed = names();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"iqn.t2", "iqn.t3", "iqn.t4"}));
  EXPECT_EQ(saved("savetgt.txt") + saved("savestp.txt"), files);
  // A change of what this process reads is its own again.
  EXPECT_EQ(set(target_named("iqn.t4") + "/TargetLoginOptions/HeaderDigest", "CRC32C"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Targets, SharedRootListingTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& reached) {
                           return reached.param ? "Reached" : "Waiting";
                         });

// A live process of its own, forked from this one's picture: it runs
// first, waits to be told to go on, then runs next and exits with its
// answer (0 when it went well).
class LiveProcess {
 public:
  LiveProcess(const std::function<void()>& first, const std::function<int()>& next) {
    if (pipe(go_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(go_[1]);
      first();
      char byte = 0;
      _exit(read(go_[0], &byte, 1) == 1 ? next() : 9);
    }
    close(go_[0]);
  }
  // Tells it to go on; its exit status, -1 when a signal ended it.
  int go_on() {
    const bool told = write(go_[1], "g", 1) == 1;
    close(go_[1]);
    if (!told) return -3;
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  int go_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// Whatever is done to the gate file (truncated, removed, renamed over, an
// older copy put back) or to the page that orders processes (removed,
// written over) while a process that reads and one that changes live:
// neither dies, and the reader sees the change the other makes after it.
TEST_F(SharedRootTest, NothingDoneToTheGateFileOrPageBlindsOrKillsALiveProcess) {
  const std::string gate = root_.at("/etc/config/QVL/tavo/libtavo.lock");
  const std::string older = read_file(gate);
  // The page as a call that holds the gate finds it.
  const auto page = [] {
    TAVO_LIBRARY_LOCK;
    return base::root_page_id();
  };
  const struct {
    const char* name;
    std::function<int()> act;
  } acts[] = {
      {"the file truncated to 0", [&] { return ::truncate(gate.c_str(), 0); }},
      {"the file truncated to 8 bytes", [&] { return ::truncate(gate.c_str(), 8); }},
      {"the file removed", [&] { return ::unlink(gate.c_str()); }},
      {"the file renamed over",
       [&] { return write_file(gate + ".new", "xyz"), ::rename((gate + ".new").c_str(), gate.c_str()); }},
      {"an older copy of the file put back", [&] { return write_file(gate, older + "older"), 0; }},
      {"the page removed", [&] { return shmctl(page(), IPC_RMID, nullptr); }},
      {"the page written over",
       [&] {
         void* at = shmat(page(), nullptr, 0);
         if (at == reinterpret_cast<void*>(-1)) return -1;
         memset(at, 0xa5, 64);
         return shmdt(at);
       }},
  };
  int round = 0;
  for (const auto& a : acts) {
    SCOPED_TRACE(a.name);
    const std::string added = "iqn.after" + std::to_string(round++);
    LiveProcess reader([&] { names(); },
                       [&] {
                         // A process blind to the change would list the old
                         // targets for good: given up on after a minute.
                         for (int looks = 0; looks < 60000; ++looks) {
                           const std::vector<std::string> now = names();
                           if (std::find(now.begin(), now.end(), added) != now.end()) return 0;
                           usleep(1000);
                         }
                         return 3;
                       });
    LiveProcess writer([&] { names(); }, [&] { return static_cast<int>(act(lhba_ + "/AddTarget", {added.c_str(), "10.0.0.9"})); });
    ASSERT_EQ(a.act(), 0);
    EXPECT_EQ(writer.go_on(), 0);
    EXPECT_EQ(reader.go_on(), 0);
  }
}

// A saved file that keeps its identity but for its size (a file made anew
// under a reused inode number, or one written over in place), as if
// appended to, is read whole after another process changed the root: the
// listing shows what the file holds, not the lines this process kept.
TEST_F(SharedRootTest, AFileThatOnlySeemsAppendedToIsReadWholeAfterAnotherProcessChanged) {
  EXPECT_EQ(names(), (std::vector<std::string>{"iqn.t1", "iqn.t2", "iqn.t3"}));
  const std::string path = saved_path("savetgt.txt");
  EXPECT_EQ(elsewhere([&] {
              // A change of another file.
              const uint32_t changed = act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.77", "3260"});
              // iqn.t1 becomes iqn.t9 where it lies, and a line of iqn.t4 follows.
              std::string text = read_file(path);
              const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
              text.replace(text.find("iqn.t1"), 6, "iqn.t9");
              std::string added = last;
              added.replace(added.find("iqn.t3"), 6, "iqn.t4");
              const int fd = ::open(path.c_str(), O_WRONLY);
              const bool written = fd >= 0 && ::pwrite(fd, (text + added).data(), text.size() + added.size(), 0) > 0;
              // Stamped as a save of the library's stamps what it writes.
              const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
              return changed | (written && ::futimens(fd, times) == 0 && ::close(fd) == 0 ? 0u : 1u);
            }),
            "0");
  std::vector<std::string> listed = names();
  std::sort(listed.begin(), listed.end());
  // iqn.t1 stays: the adapter lists it.
  EXPECT_EQ(listed, (std::vector<std::string>{"iqn.t1", "iqn.t2", "iqn.t3", "iqn.t4", "iqn.t9"}));
}

// A change elsewhere that leaves this process's targets as they are
// leaves its tree as it is: the same nodes under the same tags, the same
// values.
TEST_F(SharedRootTest, AChangeElsewhereOfNothingHereKeepsTheTree) {
  ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}), 0u);
  ASSERT_EQ(act(target_named(kTargetA) + "/Login", {"10.0.0.50", "3260"}), 0u);
  const std::string before = tree();
  const uint32_t target = tag(lhba_ + "/Target1"), session = tag(target_named(kTargetA) + "/Session1");
  EXPECT_EQ(elsewhere([&] { return act("Corvane0/iSCSIPhysicalHBA1/LogicalHBA0/AddTarget", {"iqn.other", "10.0.0.9"}); }),
            "0");
  EXPECT_EQ(tree(), before);
  EXPECT_EQ(tag(lhba_ + "/Target1"), target);
  EXPECT_EQ(tag(target_named(kTargetA) + "/Session1"), session);
}

// A change to a target another process removed, through the tags this
// process had of it, fails with a reason that names the tag, writes
// nothing, and the target goes from this process's tree. (Its tags are
// free for the nodes the tree makes next: a reason may say the tag names a
// node of another kind.)
TEST_F(SharedRootTest, AChangeToATargetAnotherProcessRemovedFailsAndWritesNothing) {
  const std::string t1 = target_named("iqn.t1");
  ASSERT_FALSE(t1.empty());
  const uint32_t options = tag(t1 + "/TargetLoginOptions"), digest = tag(t1 + "/TargetLoginOptions/HeaderDigest");
  const uint32_t auth = tag(t1 + "/TargetLoginOptions/Authentication");
  const uint32_t chap = tag(t1 + "/TargetLoginOptions/Authentication/ConfigureCHAP");
  EXPECT_EQ(elsewhere([&] { return act(lhba_ + "/DeleteTarget", {t1.substr(t1.size() - 1)}); }), "0");
  const std::string files = saved("savetgt.txt");
  const auto refused_for = [&](uint32_t tag) {
    const auto [code, text] = last_status();
    return code == 1 && text.starts_with("Tag " + std::to_string(tag) + " names no ");
  };
  EXPECT_EQ(TAVO_set_property_val(options, digest, "CRC32C", 7), 1u);
  EXPECT_TRUE(refused_for(options)) << last_status().second;
  const std::string values(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE, '\0');
  EXPECT_EQ(TAVO_do_action(auth, chap, values.data(), nullptr), 1u);
  EXPECT_TRUE(refused_for(auth)) << last_status().second;
  EXPECT_EQ(saved("savetgt.txt"), files);
  EXPECT_EQ(target_named("iqn.t1"), "");
}

// What another process saved of a target's options is what a read here
// answers, whether this process had built them or not, and a change here
// keeps it.
TEST_F(SharedRootTest, AReadOfAnOptionAnswersWhatItsSavedLineHolds) {
  for (const bool reached : {false, true}) {
    SCOPED_TRACE(reached ? "options built" : "options waiting");
    ASSERT_EQ(start_again(), 0u);
    const std::string t2 = target_named("iqn.t2") + "/TargetLoginOptions";
    if (reached) {
      EXPECT_EQ(get(t2 + "/HeaderDigest"), "None");
    }
    EXPECT_EQ(elsewhere([&] { return set(t2 + "/HeaderDigest", reached ? "CRC32C" : "None"); }), "0");
    EXPECT_EQ(act(t2 + "/Authentication/ConfigureCHAP", {"One-Way CHAP", "", "", "auser", "asecret12345"}), 0u);
    EXPECT_EQ(get(t2 + "/HeaderDigest"), reached ? "CRC32C" : "None");
    // A new process's first read of the CHAP name, or of the method first.
    for (const char* first : {"TargetCHAPName", "AuthenticationMethod"}) {
      EXPECT_EQ(in_process([&] {
                  start_again();
                  const std::string auth = target_named("iqn.t2") + "/TargetLoginOptions/Authentication/";
                  const std::string a = get(auth + first);
                  return a + "|" + get(auth + "TargetCHAPName") + "|" + get(auth + "AuthenticationMethod");
                }),
                std::string(first == std::string("TargetCHAPName") ? "auser" : "One-Way CHAP") +
                    "|auser|One-Way CHAP");
    }
  }
}

// The firmware and the saved files are two stores of one target. Beside
// the three targets added here: kTargetA with a persistent session logged
// in, iqn.f, whose persistent session only the firmware holds (its flash
// configured before this host's files), and iqn.t4, which an action adds.
constexpr char kFirmwareOnly[] = "iqn.2026-12.com.example:f";
class CutShortTest : public SharedRootTest, public ::testing::WithParamInterface<int> {
 protected:
  CutShortTest()
      : SharedRootTest(std::string(kTargetsTopology) + kNetworkTargets +
                       "target name=iqn.2026-12.com.example:f portal=10.0.0.70/3260/7 alias=eff persistent=0\n") {}
  void SetUp() override {
    SharedRootTest::SetUp();
    ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetA, "10.0.0.50"}), 0u);
    ASSERT_EQ(act(target_named(kTargetA) + "/Login", {"10.0.0.50", "3260"}), 0u);
    ASSERT_EQ(act(lhba_ + "/AddTarget", {kTargetB, "10.0.0.50"}), 0u);
    ASSERT_EQ(start_again(), 0u);
  }
  // What a start shows of one target: its values, portals and sessions,
  // its saved lines and the firmware's sessions of it.
  std::string target_view(const std::string& name) {
    const std::string t = target_named(name);
    std::string out = "no target\n";
    if (!t.empty()) {
      const std::string o = t + "/TargetLoginOptions/";
      out = "alias " + get(t + "/TargetAlias") + " digest " + get(o + "HeaderDigest") + " " +
            get(o + "Authentication/AuthenticationMethod") + " " + get(o + "Authentication/TargetCHAPName") + "\n";
      for (const std::string& p : instances(t, "TargetPortal"))
        out += "portal " + get(t + "/" + p + "/TargetIPAddress") + " tag " + get(t + "/" + p + "/PortalGroupTag") +
               "\n";
      std::vector<std::string> sessions;
      for (const std::string& s : instances(t, "Session")) {
        const std::string at = t + "/" + s + "/";
        sessions.push_back("session " + get(at + "ISIDQualifier") + " " + get(at + "SessionStatus") + " " +
                           get(at + "Persistent") + " " + get(at + "SessionLoginOptions/HeaderDigest") + " " +
                           get(at + "SessionLoginOptions/Authentication/AuthenticationMethod") + "\n");
      }
      std::sort(sessions.begin(), sessions.end());
      for (const std::string& s : sessions) out += s;
    }
    std::vector<std::string> lines;
    for (const std::string& l : target_lines())
      if (l.find("," + name + ",") != std::string::npos) lines.push_back(l + "\n");
    std::sort(lines.begin(), lines.end());
    for (const std::string& l : lines) out += l;
    for (const sim::SimSession& s : sim_->sessions(0)->sessions)
      if (s.target == name)
        out += "firmware " + std::to_string(s.isid) + (s.persistent ? " persistent" : "") + (s.open ? " open" : "") +
               " options " +
               std::to_string(std::hash<std::string_view>()(
                   std::string_view(reinterpret_cast<const char*>(&s.options), sizeof s.options))) +
               "\n";
    return out;
  }
  // target_view of each target a start shows, after a start in a new process.
  std::map<std::string, std::string> next_start() {
    const std::string text = in_process([&] {
      start_again();
      std::string all;
      for (const char* name : kNames) all += std::string(name) + "\n" + target_view(name) + "\x1e";
      all += "portals\n";
      for (const std::string& p : instances(lhba_ + "/Discovery", "SendTargetPortal"))
        all += get(lhba_ + "/Discovery/" + p + "/IPAddress") + "\n";
      all += (file_exists(saved_path("savestp.txt")) ? saved("savestp.txt") : "") + "\x1e";
      return all;
    });
    std::map<std::string, std::string> out;
    for (size_t from = 0, end; (end = text.find('\x1e', from)) != std::string::npos; from = end + 1) {
      const size_t key_end = text.find('\n', from);
      out[text.substr(from, key_end - from)] = text.substr(key_end + 1, end - key_end - 1);
    }
    if (out.empty()) out["start"] = text;
    return out;
  }
  static constexpr const char* kNames[] = {"iqn.t1", "iqn.t2", "iqn.t3", "iqn.t4", kTargetA, kTargetB, kFirmwareOnly};
};

// Every action on a target, a persistent session or their options, killed
// at any of its file calls (or its power cut there) or before any of its
// requests that change the firmware, leaves the next start to find each
// target as it was or as asked, in both stores, the session only the
// firmware held too.
TEST_P(CutShortTest, AnActionCutShortLeavesEachTargetAsItWasOrAsAsked) {
  const std::string chap = "/TargetLoginOptions/Authentication/ConfigureCHAP";
  const std::vector<std::string> mutual = {"Mutual CHAP", "iuser", "isecret123456", "tuser", "tsecret12345"};
  const struct {
    const char* what;
    std::function<void()> prepare;  // before the state both cuts start from
    std::function<uint32_t()> op;
    int changes_of_firmware = 2;  // at least: the cuts before them
  } changes[] = {
      {"AddTarget", [] {}, [&] { return act(lhba_ + "/AddTarget", {"iqn.t4", "10.0.0.50"}); }},
      {"AddTargetPortal", [] {},
       [&] { return act(target_named("iqn.t1") + "/AddTargetPortal", {"10.0.0.51", "3260"}); }},
      {"Login reopening a closed session", [] {},
       [&] { return act(target_named(kTargetB) + "/Login", {"10.0.0.50", "3260"}); }},
      {"Login of a new persistent session", [] {},
       [&] { return act(target_named(kTargetA) + "/Login", {"10.0.0.50", "3260", "iqn.hx", "9"}); }},
      {"Logout", [] {}, [&] { return act(target_named(kTargetA) + "/Logout"); }},
      {"Logout of the session only the firmware held",
       [&] { ASSERT_EQ(act(target_named(kFirmwareOnly) + "/Login", {"10.0.0.70", "3260"}), 0u); },
       [&] { return act(target_named(kFirmwareOnly) + "/Logout"); }},
      {"DeleteTarget", [] {},
       [&] { return act(lhba_ + "/DeleteTarget", {target_named("iqn.t1").substr(lhba_.size() + 7)}); }},
      {"DeleteTarget of the session only the firmware held", [] {},
       [&] { return act(lhba_ + "/DeleteTarget", {target_named(kFirmwareOnly).substr(lhba_.size() + 7)}); }},
      {"ConfigureCHAP of a closed session", [] {},
       [&] { return act(target_named("iqn.t2") + chap, {"One-Way CHAP", "", "", "tuser", "tsecret12345"}); }},
      {"ConfigureCHAP of a logged-in session", [] {}, [&] { return act(target_named(kTargetA) + chap, mutual); }},
      {"HeaderDigest of a closed session", [] {},
       [&] { return set(target_named(kTargetB) + "/TargetLoginOptions/HeaderDigest", "CRC32C"); }},
      {"Login of the session only the firmware held", [] {},
       [&] { return act(target_named(kFirmwareOnly) + "/Login", {"10.0.0.70", "3260"}); }},
      {"AddSendTargetPortal", [] {},
       [&] { return act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}); }},
      {"DeleteSendTargetPortal",
       [&] { ASSERT_EQ(act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.52", "3260"}), 0u); },
       [&] {
         const std::string portal = instances(lhba_ + "/Discovery", "SendTargetPortal").back();
         return act(lhba_ + "/Discovery/DeleteSendTargetPortal", {portal.substr(portal.rfind("SendTargetPortal") + 16)});
       },
       0},
      {"EraseAllConfiguration", [] {}, [&] { return act("Corvane0/EraseAllConfiguration"); }},
  };
  const auto& c = changes[GetParam()];
  SCOPED_TRACE(c.what);
  c.prepare();
  const auto restore = root_restorer();
  const auto before = next_start();
  restore();
  // Without a fault the action answers 0 (the child's exit tells).
  ASSERT_EQ(in_child(no_fault(), [&] { _exit(c.op() == 0 ? 0 : 1); }, true), 0);
  const auto after = next_start();
  ASSERT_NE(after, before);
  const auto check = [&](int, const std::string& cut) {
    const auto found = next_start();
    for (const auto& [name, view] : found)
      EXPECT_TRUE(view == before.at(name) || view == after.at(name))
          << cut << ": [" << name << "]\n" << view << "before:\n" << before.at(name) << "after:\n" << after.at(name);
  };
  const auto op = [&] { c.op(); };
  EXPECT_GE(at_every_file_call("/etc/config/QVL/tavo", restore, op, check, true), 15);
  EXPECT_GE(at_every_command(restore, op, check, true), c.changes_of_firmware);
  restore();
}

INSTANTIATE_TEST_SUITE_P(Actions, CutShortTest, ::testing::Range(0, 15));

// A start settles every whole note it finds and leaves the file empty (in
// place): a session noted without its line loses its firmware entry. A
// line cut short, one holding a NUL or one of other fields names no
// session; what a save by rename left beside the file goes, but for what
// such a save never made.
TEST_F(SharedRootTest, AStartSettlesWholeNotesAndRemovesDeadTemporaries) {
  // The three targets' session lines go, their entries stay.
  const std::vector<std::string> sessions = session_lines();
  ASSERT_EQ(sessions.size(), 3u);
  std::string kept;
  for (const std::string& l : portal_lines()) kept += l + "\n";
  put_saved("savetgt.txt", kept);
  // A note: a session line's first eight fields.
  const auto note = [&](size_t i) {
    size_t at = 0;
    for (int commas = 0; commas < 8; ++commas) at = sessions[i].find(',', at) + 1;
    return sessions[i].substr(0, at - 1);
  };
  std::string with_nul = note(1);
  with_nul.insert(with_nul.size() - 2, 1, '\0');
  write_file(saved_path("iscsi_pending.txt"), note(0) + "\n" + with_nul + "\nCorvane0,iSCSIPhysicalHBA0,x\n" + note(2));
  const std::string dir = saved_path(""), outside = root_.path() + "/outside";
  write_file(outside, "outside\n");
  write_file(dir + "iscsi_pending.txt.tmp.77.3", note(1) + "\n");
  ASSERT_EQ(::symlink(outside.c_str(), (dir + "iscsi_pending.txt.tmp.77.4").c_str()), 0);
  write_file(dir + "iscsi_pending.txt.tmp.x", "kept\n");
  struct stat before{}, after{};
  ASSERT_EQ(::stat(saved_path("iscsi_pending.txt").c_str(), &before), 0);
  ASSERT_EQ(start_again(), 0u);
  std::vector<std::string> entries;
  for (const sim::SimSession& s : sim_->sessions(0)->sessions)
    if (s.persistent) entries.push_back(s.target);
  EXPECT_EQ(entries, (std::vector<std::string>{"iqn.t2", "iqn.t3"}));
  EXPECT_EQ(saved("iscsi_pending.txt"), "");
  ASSERT_EQ(::stat(saved_path("iscsi_pending.txt").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_FALSE(file_exists(dir + "iscsi_pending.txt.tmp.77.3"));
  struct stat link{};
  EXPECT_EQ(::lstat((dir + "iscsi_pending.txt.tmp.77.4").c_str(), &link), 0);
  EXPECT_TRUE(file_exists(dir + "iscsi_pending.txt.tmp.x"));
  EXPECT_EQ(read_file(outside), "outside\n");
}

// Another process's notes, of changes that went through, are left to the
// next start: a process that only follows the change reads and asks
// nothing; the start settles each once (a note whose line is saved asks
// for nothing, one whose line went has its entry's removal asked) and
// leaves the file empty, so that no later start sends anything again.
TEST_F(SharedRootTest, AnotherProcesssNotesAreSettledOnce) {
  const struct {
    const char* what;
    std::function<uint32_t()> change;
    int removals;
  } cases[] = {
      {"an add", [&] { return act(lhba_ + "/AddTarget", {"iqn.t5", "10.0.0.9"}); }, 0},
      {"an add and a deletion",
       [&] {
         return act(lhba_ + "/AddTarget", {"iqn.t6", "10.0.0.9"}) |
                act(lhba_ + "/DeleteTarget", {target_named("iqn.t6").substr(lhba_.size() + 7)});
       },
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(elsewhere(c.change), "0");
    const std::string left = saved("iscsi_pending.txt");
    ASSERT_NE(left, "");
    sim_->clear_log();
    names();  // follows the change
    EXPECT_EQ(mailbox_count(6, 28), 0);
    EXPECT_EQ(saved("iscsi_pending.txt"), left);
    const auto removals_of_a_start = [&] {
      return in_process([&] {
        sim_->clear_log();
        start_again();
        names();
        return std::to_string(mailbox_count(6, 28));
      });
    };
    EXPECT_EQ(removals_of_a_start(), std::to_string(c.removals));
    EXPECT_EQ(saved("iscsi_pending.txt"), "");
    EXPECT_EQ(removals_of_a_start(), "0");
  }
}

// After a start the persistent groups come in the saved files' order,
// function by function, each function's targets before its send-target
// portals, whichever function a client reached first.
TEST_F(SharedRootTest, PersistentGroupsFollowTheSavedFilesAfterAStart) {
  const std::string second = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";
  ASSERT_EQ(act(lhba_ + "/Discovery/AddSendTargetPortal", {"10.0.0.50", "3260"}), 0u);
  ASSERT_EQ(act(second + "/AddTarget", {"iqn.s1", "10.0.0.9"}), 0u);
  ASSERT_EQ(act(second + "/Discovery/AddSendTargetPortal", {"10.0.0.60", "3260"}), 0u);
  ASSERT_EQ(start_again(), 0u);
  children(second, TAVO_KIND_GROUP);  // the second function reached first
  // The Moravel's firmware holds a target of its own.
  const std::string f0 = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0/", f1 = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0/";
  EXPECT_EQ(persistent_paths(), (std::vector<std::string>{f0 + "Target0", f0 + "Target1", f0 + "Target2",
                                             f0 + "Discovery/SendTargetPortal0", f1 + "Target0",
                                             f1 + "Discovery/SendTargetPortal0",
                                             "Corvane1/iSCSIPhysicalHBA0/LogicalHBA0/Target0"}));
}

}  // namespace
}  // namespace tavo::test
