#include "base/root_gate.h"

#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/library_lock.h"
#include "tests/support/sim_fixture.h"

namespace tavo::test {
namespace {

// Lets the library lock go at the end of a block that took it.
struct LockedAlready {
  ~LockedAlready() { base::library_mutex().unlock(); }
};

// A child process that takes the library lock, tells the parent so over a
// pipe, runs inside, and lets the lock go (or is killed holding it).
class GateChild {
 public:
  template <typename Inside>
  explicit GateChild(Inside inside, base::RootUse use = base::RootUse::Change) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      {
        base::library_mutex().lock(use);
        const LockedAlready locked;
        const char held = 'h';
        if (write(fds[1], &held, 1) != 1) _exit(2);
        inside();
      }
      _exit(0);
    }
    close(fds[1]);
    char held = 0;
    holding_ = read(fds[0], &held, 1) == 1;
    close(fds[0]);
  }
  bool holding() const { return pid_ > 0 && holding_; }
  pid_t pid() const { return pid_; }
  // Waits until the child stopped itself (SIGSTOP inside the lock).
  bool stopped() {
    int status = 0;
    return pid_ > 0 && waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
  }
  // The child's exit status (-1 when it was killed).
  int wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void kill_it() { kill(pid_, SIGKILL); }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

// How often the gate had this process's keepers catch up.
uint64_t catch_ups = 0;
void count_catch_up() { ++catch_ups; }

class RootGateTest : public SimTest {
 protected:
  // The library's keepers, and one that counts.
  void SetUp() override {
    SimTest::SetUp();
    library_followers_ = base::root_followers();
    followers_.assign(library_followers_.begin(), library_followers_.end());
    followers_.push_back(count_catch_up);
    base::set_root_followers(followers_);
  }
  void TearDown() override {
    base::set_root_followers(library_followers_);
    SimTest::TearDown();
  }
  std::string marker() const { return root_.at("/inside-done"); }
  // The catch-ups as a call of this process finds them.
  uint64_t catch_ups_at_call() {
    TAVO_LIBRARY_LOCK;
    return catch_ups;
  }
  std::string gate_path() const { return root_.at("/etc/config/QVL/tavo/libtavo.lock"); }
  // A call of this process: its refusal (0 when it had the gate) and the
  // last status text it left.
  std::pair<uint32_t, std::string> call(base::RootUse use, const std::function<void()>& inside = [] {}) {
    base::library_mutex().lock(use);
    const LockedAlready locked;
    inside();
    const uint32_t refused = base::root_gate_refusal();
    return {refused, refused != 0 ? tavo_last_status_string : ""};
  }

 private:
  std::span<const base::RootFollower> library_followers_;
  std::vector<base::RootFollower> followers_;
};

// The wait for the gate, set short for a test.
class ShortWait {
 public:
  explicit ShortWait(const char* ms) { setenv("TAVO_GATE_WAIT_MS", ms, 1); }
  ~ShortWait() { unsetenv("TAVO_GATE_WAIT_MS"); }
};

// A call waits for the call another process is in; a process killed in a
// call lets the gate go.
TEST_F(RootGateTest, CallsOfProcessesOnOneRootRunOneAfterAnother) {
  const struct {
    const char* name;
    bool killed;
  } cases[] = {{"the other call ends", false}, {"the other process is killed in its call", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(marker().c_str());
    const std::string done = marker();
    const bool killed = c.killed;
    GateChild child([&] {
      usleep(200 * 1000);
      if (killed) pause();
      write_file(done, "done");
    });
    ASSERT_TRUE(child.holding());
    if (c.killed) child.kill_it();
    {
      TAVO_LIBRARY_LOCK;
      EXPECT_EQ(file_exists(marker()), !c.killed);
    }
    EXPECT_EQ(child.wait(), c.killed ? -1 : 0);
  }
}

// Only a change another process made has the keepers catch up: a call
// that only reads does not, nor this process's own change; one killed
// after it began to change does.
TEST_F(RootGateTest, KeepersCatchUpWithAnotherProcessesChangesOnly) {
  const struct {
    const char* name;
    bool changes;
    bool killed;
    bool moves;
  } cases[] = {
      {"a call that reads", false, false, false},
      {"a call that changes", true, false, true},
      {"a call killed after its first change", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint64_t before = catch_ups_at_call();
    const bool changes = c.changes, killed = c.killed;
    GateChild child([&] {
      if (changes) base::note_root_change();
      if (killed) raise(SIGKILL);
    });
    ASSERT_TRUE(child.holding());
    EXPECT_EQ(child.wait(), c.killed ? -1 : 0);
    EXPECT_EQ(catch_ups_at_call() != before, c.moves);
  }
  const uint64_t before = catch_ups_at_call();
  {
    TAVO_LIBRARY_LOCK;
    base::note_root_change();
    base::note_root_change();
  }
  EXPECT_EQ(catch_ups_at_call(), before);
  // Nested holds are one call: the gate is let go by the outermost only.
  GateChild child([] {});
  ASSERT_TRUE(child.holding());
  EXPECT_EQ(child.wait(), 0);
}

// A root the process may not write is gated by a shared lock: a reader
// waits for a writer's call and writes nothing, and readers do not wait
// for each other.
TEST_F(RootGateTest, AReadOnlyRootWaitsForWritersAndWritesNothing) {
  const std::string done = marker();
  GateChild writer([&] {
    usleep(200 * 1000);
    write_file(done, "done");
  });
  ASSERT_TRUE(writer.holding());
  // This process now looks at the root afresh, as one that may not write it.
  reinstall_with("");
  sim_->inject(file_errno("open", "libtavo.lock", 1, EROFS));
  const std::string gate = root_.at("/etc/config/QVL/tavo/libtavo.lock");
  const std::string count = read_file(gate);
  {
    TAVO_LIBRARY_LOCK;
    EXPECT_TRUE(file_exists(done));
    base::note_root_change();
  }
  EXPECT_EQ(writer.wait(), 0);
  EXPECT_EQ(read_file(gate), count);
  // A second reader holds the gate while this one takes it.
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  GateChild reader([&] {
    close(go[1]);
    struct timeval wait = {5, 0};
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(go[0], &ready);
    if (select(go[0] + 1, &ready, nullptr, nullptr, &wait) != 1) _exit(3);
  });
  ASSERT_TRUE(reader.holding());
  {
    TAVO_LIBRARY_LOCK;
    close(go[1]);
  }
  close(go[0]);
  EXPECT_EQ(reader.wait(), 0);
}

// A process stopped inside a call holds the gate: another's change, and a
// read once the stopped one changed the root, fail at the bound with a
// status that names the file and the holder; a read of a root nobody
// changed since this process looked takes no lock and goes on.
TEST_F(RootGateTest, AStoppedHolderHoldsOthersOffForTheBoundOnly) {
  const struct {
    const char* name;
    base::RootUse use;
    bool holder_changes;
    bool refused;
  } cases[] = {
      {"a change", base::RootUse::Change, false, true},
      {"a read after the holder's change", base::RootUse::Read, true, true},
      {"a read of a root nobody changed", base::RootUse::Read, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    catch_ups_at_call();  // this process's picture is the root's
    const bool changes = c.holder_changes;
    GateChild holder([&] {
      if (changes) base::note_root_change();
      raise(SIGSTOP);
    });
    ASSERT_TRUE(holder.holding());
    ASSERT_TRUE(holder.stopped());
    const ShortWait wait("100");
    const auto [refused, text] = call(c.use);
    EXPECT_EQ(refused, c.refused ? 348u : 0u);
    if (c.refused) {
      EXPECT_EQ(text, "Waited 100 ms for " + gate_path() + ", held by process " + std::to_string(holder.pid()) +
                          ". Please try again.");
    }
    holder.kill_it();
    EXPECT_EQ(holder.wait(), -1);
    EXPECT_EQ(call(c.use).first, 0u);  // the gate went with the holder
  }
}

// Whatever is found at the gate's name: a file of the library's own is
// taken (made again when it went), and the process follows the root as if
// another had changed it; anything else refuses every call with a status
// naming it, and nothing is written through it. Once it is gone, calls go
// on.
TEST_F(RootGateTest, TheGateFileIsTheLibrarysOwn) {
  const std::string gate = gate_path(), outside = root_.at("/outside.txt");
  const auto replace_with = [&](const std::function<int()> make) {
    return [&gate, make] { return ::unlink(gate.c_str()) == 0 ? make() : -1; };
  };
  const struct {
    const char* name;
    std::function<int()> plant;
    const char* what;  // null: taken
    bool outside_kept = false;  // a file of its own stands outside, to be left as it is
  } cases[] = {
      {"removed", [&] { return ::unlink(gate.c_str()); }, nullptr},
      {"renamed away", [&] { return ::rename(gate.c_str(), (gate + ".old").c_str()); }, nullptr},
      {"replaced by a file", replace_with([&] { return write_file(gate, std::string(16, '\0')), 0; }), nullptr},
      {"linked elsewhere too", [&] { return ::link(gate.c_str(), outside.c_str()); }, "a file of several links"},
      {"replaced by a hard link",
       replace_with([&] { return write_file(outside, "outside!"), ::link(outside.c_str(), gate.c_str()); }),
       "a file of several links", true},
      {"replaced by a symbolic link",
       replace_with([&] { return write_file(outside, "outside!"), ::symlink(outside.c_str(), gate.c_str()); }),
       "a symbolic link", true},
      {"replaced by a directory", replace_with([&] { return ::mkdir(gate.c_str(), 0755); }), "a directory"},
      {"replaced by a FIFO", replace_with([&] { return ::mkfifo(gate.c_str(), 0644); }), "a FIFO"},
  };
  for (const bool looked_before : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (looked_before ? ", after the process looked" : ", before it looked"));
      EXPECT_EQ(call(base::RootUse::Change).first, 0u);
      ASSERT_EQ(c.plant(), 0);
      // A process that looks for the first time.
      if (!looked_before) reinstall_with("");
      const uint64_t before = catch_ups;
      for (const base::RootUse use : {base::RootUse::Change, base::RootUse::Read}) {
        const auto [refused, text] = call(use, [] { base::note_root_change(); });
        if (c.what == nullptr) {
          EXPECT_EQ(refused, 0u);
          EXPECT_NE(catch_ups, before);
          continue;
        }
        EXPECT_EQ(refused, 349u);
        EXPECT_EQ(text, gate + " is " + c.what +
                            ", not the library's own file: calls cannot be gated from other processes.");
      }
      if (c.outside_kept) {
        EXPECT_EQ(read_file(outside), "outside!") << "written through a link";
      }
      ::unlink(outside.c_str());
      ::unlink((gate + ".old").c_str());
      ::rmdir(gate.c_str());
      ::unlink(gate.c_str());
      EXPECT_EQ(call(base::RootUse::Change).first, 0u);
    }
  }
}

// Reads of a root nobody changed make no system call for the gate; after
// another process's change one read takes it (shared, so readers never wait
// for each other), then none again.
TEST_F(RootGateTest, ReadsTakeTheGateOnlyAfterAnotherProcessChangedTheRoot) {
  catch_ups_at_call();
  const auto locks_of_reads = [&](int reads) {
    const uint64_t before = sim_->file_calls("lock");
    for (int i = 0; i < reads; ++i) EXPECT_EQ(call(base::RootUse::Read).first, 0u);
    return sim_->file_calls("lock") - before;
  };
  EXPECT_EQ(locks_of_reads(100), 0u);
  GateChild changer([] { base::note_root_change(); });
  ASSERT_TRUE(changer.holding());
  EXPECT_EQ(changer.wait(), 0);
  EXPECT_EQ(locks_of_reads(1), 2u);  // taken and let go
  EXPECT_EQ(locks_of_reads(100), 0u);

  // A reader holds the gate shared while another reads: the second never
  // waits for the first, whose wait is short.
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const auto reader = [&] {
    return GateChild(
        [&] {
          close(go[1]);
          char byte;
          if (read(go[0], &byte, 1) < 0) _exit(3);
        },
        base::RootUse::Read);
  };
  GateChild moved([] { base::note_root_change(); });  // the readers' pictures are behind
  ASSERT_EQ(moved.wait(), 0);
  GateChild first = reader();
  ASSERT_TRUE(first.holding());
  {
    const ShortWait wait("100");
    GateChild second([] {
      if (base::root_gate_refusal() != 0) _exit(4);
    }, base::RootUse::Read);
    EXPECT_TRUE(second.holding());
    EXPECT_EQ(second.wait(), 0);
  }
  close(go[1]);
  close(go[0]);
  EXPECT_EQ(first.wait(), 0);
}

// With the simulated file clock stood, a read makes the same file calls
// whenever it runs: the gate's once-a-second look at its names waits for
// the clock too (a test that kills at the N-th call relies on it).
TEST_F(RootGateTest, AStoodClockHoldsTheOnceASecondLookBack) {
  sim_->stop_file_clock();
  ASSERT_EQ(call(base::RootUse::Read).first, 0u);
  const uint64_t before = sim_->file_calls("stat");
  const time_t second = time(nullptr);
  while (time(nullptr) == second) usleep(20000);
  EXPECT_EQ(call(base::RootUse::Read).first, 0u);
  EXPECT_EQ(sim_->file_calls("stat"), before);
}

// A call that reads and then must change the root may, unless another
// process changed the root since the call began: its picture is then old,
// and the change is refused with a status; the next call follows.
TEST_F(RootGateTest, AReadThatChangesAfterAnotherProcessChangedIsRefused) {
  for (const bool other_changes : {false, true}) {
    SCOPED_TRACE(other_changes ? "another changed meanwhile" : "nobody changed meanwhile");
    catch_ups_at_call();
    // The other process is forked outside the call, and changes when told.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t other = fork();
    if (other == 0) {
      close(go[1]);
      char byte;
      if (read(go[0], &byte, 1) == 1) call(base::RootUse::Change, [] { base::note_root_change(); });
      _exit(0);
    }
    close(go[0]);
    uint32_t refused = 0;
    bool allowed = false;
    std::tie(refused, std::ignore) = call(base::RootUse::Read, [&] {
      if (other_changes) {
        EXPECT_EQ(write(go[1], "c", 1), 1);
      }
      close(go[1]);
      int status = 0;
      EXPECT_EQ(waitpid(other, &status, 0), other);
      allowed = base::note_root_change();
    });
    EXPECT_EQ(allowed, !other_changes);
    EXPECT_EQ(refused, other_changes ? 350u : 0u);
    EXPECT_EQ(call(base::RootUse::Change).first, 0u);
  }
}

// A process killed in a change leaves a mark naming the change: the next
// call that holds the gate exclusively, in any process, finds it once (a
// read never does); a second change cut under the same process id (the
// first process of a new pid namespace is always 1) is found again.
TEST_F(RootGateTest, AChangeCutShortIsFoundOnceEachTime) {
  const auto found_in_child = [&](base::RootUse use) {
    const pid_t other = fork();
    if (other == 0) {
      reinstall_with("");  // a process that looks at the root for the first time
      bool cut = false;
      call(use, [&] { cut = base::root_change_cut(); });
      _exit(cut ? 7 : 0);
    }
    int status = 0;
    return waitpid(other, &status, 0) == other && WIFEXITED(status) && WEXITSTATUS(status) == 7;
  };
  // Killed inside a change, as the first process of a pid namespace of its
  // own where one can be made (killed from outside: a namespace's first
  // process ignores its own SIGKILL).
  const auto cut_change = [&](bool own_namespace) {
    const pid_t outer = fork();
    if (outer == 0) {
      const bool alone = own_namespace && unshare(CLONE_NEWPID) == 0;
      int inside[2];
      if (pipe(inside) != 0) _exit(6);
      const pid_t killed = fork();
      if (killed == 0) {
        call(base::RootUse::Change, [&] {
          base::note_root_change();
          if (write(inside[1], "c", 1) != 1) _exit(6);
          pause();
        });
        _exit(0);
      }
      char byte = 0;
      if (read(inside[0], &byte, 1) == 1) kill(killed, SIGKILL);
      int status = 0;
      waitpid(killed, &status, 0);
      _exit(WIFSIGNALED(status) ? (alone ? 5 : 0) : 6);
    }
    int status = 0;
    waitpid(outer, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 5;
  };
  bool cut = false;
  cut_change(false);
  EXPECT_FALSE(found_in_child(base::RootUse::Read));
  call(base::RootUse::Read, [&] { cut = base::root_change_cut(); });
  EXPECT_FALSE(cut) << "found by a read";
  EXPECT_TRUE(found_in_child(base::RootUse::Change));
  EXPECT_FALSE(found_in_child(base::RootUse::Change));
  call(base::RootUse::Change, [&] { cut = base::root_change_cut(); });
  EXPECT_FALSE(cut) << "found again";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    if (!cut_change(true)) GTEST_SKIP() << "no pid namespace can be made here";
    call(base::RootUse::Change, [&] {
      cut = base::root_change_cut();
      EXPECT_FALSE(base::root_change_cut()) << "told twice";
    });
    EXPECT_TRUE(cut);
  }
}

// Calls wait in turn: a process that changes the root back to back keeps
// no other writer, reader or flash waiting behind it. While a process
// waits, the others go before it about once each (how often depends on the
// machine's load only through the few that were already waiting); polling
// let the one that let go take the gate back at once, again and again.
TEST_F(RootGateTest, AWriterBackToBackStarvesNobody) {
  // Changes made in the gate, counted where every child sees them.
  void* shared = mmap(nullptr, sizeof(std::atomic<uint32_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* changes = new (shared) std::atomic<uint32_t>(0);
  int rounds[2];
  ASSERT_EQ(pipe(rounds), 0);
  // Each child tells, every round, how many changes went before it while
  // it waited; they are stopped at the end.
  const auto looping = [&](char tag, const std::function<uint32_t()>& round) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(rounds[0]);
      for (;;) {
        const char told[2] = {tag, static_cast<char>(std::min<uint32_t>(round(), 127))};
        if (write(rounds[1], told, 2) != 2) _exit(0);
      }
    }
    return pid;
  };
  const auto in_gate = [&](base::RootUse use, bool changing) {
    const uint32_t before = changes->load();
    uint32_t passed = 0;
    call(use, [&] {
      passed = changes->load() - before;
      if (changing && base::note_root_change()) changes->fetch_add(1);
    });
    return passed;
  };
  const pid_t writer = looping('w', [&] { return in_gate(base::RootUse::Change, true); });
  const pid_t other = looping('o', [&] { return in_gate(base::RootUse::Change, true); });
  // Each of the reader's rounds follows a change, under the gate shared.
  // It waits for the change outside the gate first: stopped by the machine
  // there, it would count as passed what went by while it was not waiting.
  const pid_t reader = looping('r', [&] {
    uint32_t passed = 0;
    for (const uint64_t before = catch_ups; catch_ups == before;) {
      for (const uint32_t seen = changes->load(); changes->load() == seen;) sched_yield();
      passed = in_gate(base::RootUse::Read, false);
    }
    return passed;
  });
  const pid_t flash = looping('f', [&] {
    call(base::RootUse::Change, [] {
      base::RootFlashLock lock;
      const base::RootGateLetGo let_go;
      if (!lock.held() && lock.take() != 0) _exit(4);
    });
    return 0u;
  });
  close(rounds[1]);
  std::map<char, std::vector<int>> passed;
  char told[2];
  // Until each has made rounds enough to judge, or the writer so many that
  // the others plainly could not.
  const auto enough = [&] {
    return passed['w'].size() >= 400 && passed['o'].size() >= 60 && passed['r'].size() >= 60 &&
           passed['f'].size() >= 5;
  };
  while (!enough() && passed['w'].size() < 40000 && read(rounds[0], told, 2) == 2) passed[told[0]].push_back(told[1]);
  for (const pid_t pid : {reader, flash, other, writer}) kill(pid, SIGKILL);
  for (const pid_t pid : {reader, flash, other, writer}) waitpid(pid, nullptr, 0);
  close(rounds[0]);
  munmap(shared, sizeof(std::atomic<uint32_t>));
  for (const char tag : {'w', 'o', 'r'}) {
    SCOPED_TRACE(tag);
    std::vector<int>& waits = passed[tag];
    ASSERT_GE(waits.size(), 60u);
    std::sort(waits.begin(), waits.end());
    // Three rounds in four see the others go before them about once each, a
    // few times under load (a process the machine did not run for a while
    // sees more); polling let a hundred and more go first.
    EXPECT_LE(waits[waits.size() * 3 / 4], 10);
  }
  EXPECT_GE(passed['f'].size(), 5u);
}

// Processes that all leave at once (the last exit of each) leave no page
// behind, whichever of them is last.
TEST_F(RootGateTest, TheLastProcessToLeaveTakesThePageAway) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 12; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        close(go[1]);
        call(base::RootUse::Change, [] { base::note_root_change(); });
        char byte;
        if (read(go[0], &byte, 1) != 0) _exit(3);
        call(base::RootUse::Change, [] { base::close_root_gate(); });
        _exit(0);
      }
      children.push_back(pid);
    }
    close(go[0]);
    close(go[1]);  // all leave together
    for (const pid_t pid : children) {
      int status = 0;
      EXPECT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(base::root_pages(root_.at("")).size(), 0u);
  }
}

// A TAVO_GATE_WAIT_MS that is a whole number of milliseconds up to a day is
// the bound; anything else is not used: 60 s stands, and a start says so.
TEST_F(RootGateTest, OnlyAWholeNumberOfMillisecondsSetsTheWait) {
  const struct {
    const char* value;
    unsigned ms;
    bool used;
  } cases[] = {
      {"0", 0, true},           {"100", 100, true},      {"86400000", 86400000, true}, {"", 60000, true},
      {"500ms", 60000, false},  {"abc", 60000, false},   {"-1", 60000, false},         {"+5", 60000, false},
      {" 5", 60000, false},     {"86400001", 60000, false}, {"99999999999", 60000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const ShortWait wait(c.value);
    EXPECT_EQ(base::root_gate_wait_ms(), c.ms);
    tavo_set_last_status(0, "");
    EXPECT_EQ(base::tell_gate_at_start(), c.used);
    if (!c.used) {
      EXPECT_EQ(tavo_last_status_code, 352u);
      EXPECT_EQ(std::string(tavo_last_status_string),
                "TAVO_GATE_WAIT_MS is \"" + std::string(c.value) +
                    "\", not a whole number of milliseconds from 0 to 86400000: the wait for the gate is 60000 ms.");
    }
  }
}

// A child forked while another thread is inside a call starts with the
// library lock free: its own calls go on.
TEST_F(RootGateTest, AChildForkedWhileAnotherThreadIsInACallCanCall) {
  int inside[2];
  ASSERT_EQ(pipe(inside), 0);
  std::thread caller([&] {
    TAVO_LIBRARY_LOCK;
    const char byte = 'i';
    EXPECT_EQ(write(inside[1], &byte, 1), 1);
    usleep(100 * 1000);
  });
  char byte = 0;
  ASSERT_EQ(read(inside[0], &byte, 1), 1);
  const pid_t child = fork();
  if (child == 0) {
    {
      TAVO_LIBRARY_LOCK;
      base::note_root_change();
    }
    caller.detach();  // the child has no such thread to join
    _exit(0);
  }
  caller.join();
  // A child that hangs is ended after a minute: far beyond any machine's
  // load, never the case it decides.
  int status = 0;
  for (int waited = 0; waited < 600 && waitpid(child, &status, WNOHANG) == 0; ++waited) usleep(100 * 1000);
  if (waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    ADD_FAILURE() << "the child hangs at its first call";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(inside[0]);
  close(inside[1]);
}

}  // namespace
}  // namespace tavo::test
