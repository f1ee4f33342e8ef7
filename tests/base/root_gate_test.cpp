#include "base/root_gate.h"

#include <errno.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/library_lock.h"
#include "tests/support/sim_fixture.h"

namespace tavo::test {
namespace {

// A child process that takes the library lock, tells the parent so over a
// pipe, runs inside, and lets the lock go (or is killed holding it).
class GateChild {
 public:
  template <typename Inside>
  explicit GateChild(Inside inside) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      {
        TAVO_LIBRARY_LOCK;
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

class RootGateTest : public SimTest {
 protected:
  std::string marker() const { return root_.at("/inside-done"); }
  // The epoch as a call of this process finds it.
  uint64_t epoch_at_call() {
    TAVO_LIBRARY_LOCK;
    return base::root_epoch();
  }
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

// Only a change another process made moves the epoch: a call that only
// reads does not, nor this process's own change; one killed after it began
// to change does.
TEST_F(RootGateTest, TheEpochMovesWithAnotherProcessesChangesOnly) {
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
    const uint64_t before = epoch_at_call();
    const bool changes = c.changes, killed = c.killed;
    GateChild child([&] {
      if (changes) base::note_root_change();
      if (killed) raise(SIGKILL);
    });
    ASSERT_TRUE(child.holding());
    EXPECT_EQ(child.wait(), c.killed ? -1 : 0);
    EXPECT_EQ(epoch_at_call() != before, c.moves);
  }
  const uint64_t before = epoch_at_call();
  {
    TAVO_LIBRARY_LOCK;
    base::note_root_change();
    base::note_root_change();
  }
  EXPECT_EQ(epoch_at_call(), before);
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

}  // namespace
}  // namespace tavo::test
