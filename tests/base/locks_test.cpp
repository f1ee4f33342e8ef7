#include "base/locks.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/tree/hooked_host.h"
#include "base/file_utils.h"

namespace tavo::test {
namespace {

class LocksTest : public SimTest {
 protected:
  std::string marker(const std::string& name) { return root_.at("/tmp/TAVO_ASIC_" + name + ".txt"); }
  uint64_t clock() { return platform::host().monotonic_ms(); }
};

TEST_F(LocksTest, FreeMarkerIsTakenAtOnce) {
  uint64_t before = clock();
  EXPECT_EQ(tavo_acquire_lock("cv0"), 0u);
  EXPECT_TRUE(file_exists(marker("cv0")));
  EXPECT_EQ(clock(), before);
  EXPECT_EQ(tavo_init_acquire_lock(), 0u);
  EXPECT_TRUE(file_exists(root_.at("/tmp/tavo_lock_init.txt")));
  EXPECT_EQ(clock(), before);
}

TEST_F(LocksTest, HeldMarkerAnswers1AfterOneWaitOf3Seconds) {
  ASSERT_EQ(tavo_acquire_lock("cv0"), 0u);
  ASSERT_EQ(tavo_init_acquire_lock(), 0u);
  uint64_t before = clock();
  EXPECT_EQ(tavo_acquire_lock("cv0"), 1u);
  EXPECT_EQ(clock() - before, 3000u);
  EXPECT_EQ(tavo_init_acquire_lock(), 1u);
  EXPECT_EQ(clock() - before, 6000u);
  // Another name is another lock.
  EXPECT_EQ(tavo_acquire_lock("cv1"), 0u);
}

TEST_F(LocksTest, MarkerDeletedDuringTheWaitIsTakenWithANewMarker) {
  HookedHost* host = HookedHost::install(root_.path());
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(tavo_acquire_lock("cv0"), 0u);
  host->on_sleep = [&](unsigned) { unlink(marker("cv0").c_str()); };
  EXPECT_EQ(tavo_acquire_lock("cv0"), 0u);
  // The lock is held again: the next client waits and is refused.
  EXPECT_TRUE(file_exists(marker("cv0")));
  host->on_sleep = nullptr;
  EXPECT_EQ(tavo_acquire_lock("cv0"), 1u);
}

TEST_F(LocksTest, MarkerTakenByAnotherDuringTheWaitIsRefused) {
  HookedHost* host = HookedHost::install(root_.path());
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(tavo_acquire_lock("cv0"), 0u);
  // The holder releases and a third client takes it while we wait.
  host->on_sleep = [&](unsigned) {
    unlink(marker("cv0").c_str());
    write_file(marker("cv0"), "");
  };
  EXPECT_EQ(tavo_acquire_lock("cv0"), 1u);
}

TEST_F(LocksTest, ReleaseAndRefusals) {
  EXPECT_EQ(tavo_release_lock("cv0"), 1u);
  EXPECT_EQ(tavo_init_release_lock(), 1u);
  EXPECT_EQ(tavo_acquire_lock(""), 1u);
  EXPECT_EQ(tavo_acquire_lock(nullptr), 1u);
  EXPECT_EQ(tavo_release_lock(""), 1u);
  ASSERT_EQ(tavo_acquire_lock("cv0"), 0u);
  ASSERT_EQ(tavo_init_acquire_lock(), 0u);
  EXPECT_EQ(tavo_release_lock("cv0"), 0u);
  EXPECT_FALSE(file_exists(marker("cv0")));
  EXPECT_EQ(tavo_init_release_lock(), 0u);
  EXPECT_FALSE(file_exists(root_.at("/tmp/tavo_lock_init.txt")));
  EXPECT_EQ(tavo_acquire_lock("cv0"), 0u);
  EXPECT_EQ(tavo_lock_init(), 0u);
  EXPECT_EQ(tavo_lock_free(), 0u);
}

// Only plain names make markers: none leads out of /tmp, and a link planted
// at a marker's place is never followed.
TEST_F(LocksTest, NamesAndPlantedLinksNeverReachOutsideTmp) {
  ASSERT_EQ(mkdir(root_.at("/tmp/TAVO_ASIC_").c_str(), 0755), 0);
  write_file(root_.at("/victim.txt"), "keep");
  const std::string too_long(201, 'n');
  for (const char* name : {"/../../made", "/../../victim", "a/b", "x y", "cv0;id", too_long.c_str()}) {
    EXPECT_EQ(tavo_acquire_lock(name), 1u) << name;
    EXPECT_EQ(tavo_release_lock(name), 1u) << name;
  }
  EXPECT_FALSE(file_exists(root_.at("/made.txt")));
  EXPECT_EQ(read_file(root_.at("/victim.txt")), "keep");
  const std::string outside = root_.path() + "-outside";
  write_file(outside, "keep");
  for (const std::string& marker : {marker("cv1"), root_.at("/tmp/tavo_lock_init.txt")})
    ASSERT_EQ(symlink(outside.c_str(), marker.c_str()), 0);
  EXPECT_EQ(tavo_acquire_lock("cv1"), 1u);  // held, as far as anyone can tell
  EXPECT_EQ(tavo_init_acquire_lock(), 1u);
  EXPECT_EQ(tavo_release_lock("cv1"), 0u);
  EXPECT_EQ(tavo_init_release_lock(), 0u);
  EXPECT_EQ(read_file(outside), "keep");
  unlink(outside.c_str());
}

TEST_F(LocksTest, UncreatableMarkerFailsWithoutWaiting) {
  ASSERT_EQ(rmdir(root_.at("/tmp").c_str()), 0);
  uint64_t before = clock();
  EXPECT_EQ(tavo_acquire_lock("cv0"), 1u);
  EXPECT_EQ(tavo_init_acquire_lock(), 1u);
  EXPECT_EQ(clock(), before);
}

// Appends one numbered line: under the lock, the number is one more than the
// lines already there.
bool locked_append(const char* path) {
  FILE* f = TAVO_file_open(path, "a+");
  if (f == nullptr || tavo_lock_file(f) != 0) return false;
  rewind(f);
  int lines = 0;
  char buf[64];
  while (fgets(buf, sizeof buf, f) != nullptr) ++lines;
  usleep(50);  // widen the window a missing lock would leave open
  fseek(f, 0, SEEK_END);
  fprintf(f, "%d\n", lines + 1);
  bool ok = tavo_unlock_file(f) == 0;
  TAVO_file_close(f);
  return ok;
}

TEST_F(LocksTest, TwoProcessesAppendingUnderTheFileLockLoseNoLine) {
  constexpr int kLines = 150;
  const char* path = "/etc/saved.txt";
  // Both processes find the file made here: the simulator snapshots a file
  // it did not create at its first write, and closing that snapshot's
  // descriptor would drop the process's record locks.
  TAVO_file_close(TAVO_file_open(path, "w"));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = true;
    for (int i = 0; i < kLines; ++i) ok = locked_append(path) && ok;
    _exit(ok ? 0 : 1);
  }
  bool ok = true;
  for (int i = 0; i < kLines; ++i) ok = locked_append(path) && ok;
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(ok);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string expected;
  for (int i = 1; i <= 2 * kLines; ++i) expected += std::to_string(i) + "\n";
  EXPECT_EQ(read_file(root_.at(path)), expected);
}

TEST_F(LocksTest, FileLockIsReleasedByCloseAndRefusedWithoutAFile) {
  FILE* f = TAVO_file_open("/etc/saved.txt", "w");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(tavo_lock_file(f), 0u);
  fputs("line\n", f);
  TAVO_file_close(f);  // without an unlock
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another process finds the file unlocked.
    int fd = open(root_.at("/etc/saved.txt").c_str(), O_WRONLY);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    _exit(fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(read_file(root_.at("/etc/saved.txt")), "line\n");

  EXPECT_EQ(tavo_lock_file(nullptr), 1u);
  EXPECT_EQ(tavo_unlock_file(nullptr), 1u);
  FILE* unknown = platform::open_stream(root_.at("/etc/other.txt"), "w");
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(tavo_lock_file(unknown), 1u);
  fclose(unknown);
  FILE* g = TAVO_file_open("/etc/saved.txt", "a");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(tavo_unlock_file(g), 1u);  // nothing held
  // What was written under the lock cannot reach the file: a failed unlock.
  ASSERT_EQ(tavo_lock_file(g), 0u);
  fputs("more\n", g);
  sim::Fault full;
  full.kind = sim::FaultKind::FileErrno;
  full.file_call = "write";
  full.err = ENOSPC;
  full.times = -1;
  sim_->inject(full);
  EXPECT_EQ(tavo_unlock_file(g), 1u);
  TAVO_file_close(g);
}

}  // namespace
}  // namespace tavo::test
