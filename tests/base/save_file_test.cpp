#include "base/save_file.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/tree/tree_fixture.h"
#include "base/file_utils.h"

namespace tavo::test {
namespace {

const std::string kDir = "/etc/config/QVL/tavo";

class SaveFileTest : public TreeTest {
 protected:
  void SetUp() override {
    TreeTest::SetUp();
    ASSERT_EQ(files::make_dirs(root_.at(kDir), 0755), 0);
  }
};

// libtavo.conf replaced through the public call, and lines appended: a
// killed process or a power cut at any file call leaves the old content or
// the new, a failed call fails the save with a status and leaves the old,
// but the save is done once its rename is: a directory that cannot be
// flushed after it is only logged.
TEST_F(SaveFileTest, SavedFilesAreOldOrNewWhateverHappens) {
  ASSERT_EQ(TAVO_set_debug_level(), 0u);
  const std::string level = read_file(root_.at(kDir + "/libtavo.conf"));
  const struct {
    std::string path, before, after;
    std::function<uint32_t()> save;
  } saves[] = {
      {kDir + "/libtavo.conf", level, level.substr(0, level.size() - 1) + "5",
       [] { return TAVO_set_property_val(0, 3, "5", 2); }},
      {kDir + "/saved.txt", "a\n", "a\nb\n", [] { return files::append_lines(kDir + "/saved.txt", "b\n", 0644); }},
  };
  // ENOSPC at every call named (or the first) under the directory.
  const auto no_space = [&](const char* call, int times) {
    sim_->inject(SimTest::file_errno(call, kDir, times, ENOSPC));
  };
  {
    // The log tells of a directory that could not be flushed (read before a
    // power cut in a child drops the log, which is never flushed).
    no_space("fsync_dir", -1);
    tavo_debug_level = 2;
    EXPECT_EQ(saves[0].save(), 0u);
    tavo_debug_level = 0;
    sim_->clear_faults();
    const std::string log = read_file(root_.at("/var/log/QVL/tavo/tavo2d.log"));
    EXPECT_NE(log.find("CRITICAL:save_file: flushing " + root_.at(kDir) + " after saving " + root_.at(kDir) +
                       "/libtavo.conf failed: No space left on device; the save stands\n"),
              std::string::npos)
        << log;
    ASSERT_EQ(saves[0].save(), 0u);  // its rename made to stand
  }
  for (const auto& s : saves) {
    SCOPED_TRACE(s.path);
    EXPECT_GE(old_or_new_at_every_file_call(
                  kDir, [&] { write_file(root_.at(s.path), s.before); }, [&] { s.save(); },
                  [&] { return read_file(root_.at(s.path)); }, s.before, s.after),
              5);
    for (const char* call : {"open", "fstat", "write", "fsync", "close", "rename", "fsync_dir", "lock"}) {
      for (int times : {1, -1}) {  // once, always
        write_file(root_.at(s.path), s.before);
        no_space(call, times);
        const uint32_t result = s.save();
        sim_->clear_faults();
        const std::string content = read_file(root_.at(s.path));
        if (std::string(call) == "fsync_dir") {
          // The save is done once its rename is: a directory that cannot be
          // flushed, even when tried again, is only logged.
          EXPECT_EQ(result, 0u) << s.path;
          EXPECT_EQ(content, s.after) << s.path;
          continue;
        }
        if (result == 0) {  // a call this save does not make
          EXPECT_EQ(content, s.after) << s.path << " " << call;
          continue;
        }
        // The public call's gate between processes is the first lock it
        // asks for: a refused one is the call's status.
        const std::string status = std::string(call) == "lock" && s.path == kDir + "/libtavo.conf"
                                       ? "Calls are not gated from other processes: " + root_.at(kDir) +
                                             "/libtavo.lock: No space left on device."
                                       : "Failed to save " + s.path + ": No space left on device.";
        EXPECT_EQ(std::string(tavo_last_status_string), status) << call << " " << times;
        EXPECT_EQ(content, s.before) << s.path << " " << call;
      }
    }
  }
}

// Whether a look at a file may be trusted to tell every later change,
// while the file system's clock stands (every change stamped alike, as
// within one tick): after a save of the library at once, after another
// writer's change only once the clock moved a grain on. An append told
// that the file ends its lines at an identity it no longer has reads its
// last byte, and tells the caller to read the file again.
TEST_F(SaveFileTest, LooksAreTrustedOnceNoChangeCanHideInTheirTick) {
  const std::string path = kDir + "/saved.txt";
  const std::string host = root_.at(path);
  const struct {
    const char* change;
    std::function<void()> make;
    bool settled;
  } cases[] = {
      {"none: no file", [&] { ::unlink(host.c_str()); }, true},
      {"replaced by a save", [&] { ASSERT_EQ(files::replace_file(path, "a\n", 0600), 0u); }, true},
      {"appended to by a save", [&] { ASSERT_EQ(files::append_lines(path, "b\n", 0600), 0u); }, true},
      {"written by another writer", [&] { write_file(host, "a\nb\n"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    sim_->stop_file_clock();
    c.make();
    std::string text;
    files::FileIdentity read;
    files::read_saved(path, 0, &text, &read);
    EXPECT_EQ(files::identify(path).settled, c.settled);
    EXPECT_EQ(read.settled, c.settled);
    sim_->stop_file_clock(files::kStampGrain + 1);
    EXPECT_TRUE(files::identify(path).settled);
  }
  // Rewritten in place, without its last line feed, within the tick of the
  // look that told it ended its lines.
  sim_->stop_file_clock();
  write_file(host, "a\nb\n");
  const files::FileIdentity ended = files::identify(path);
  write_file(host, "a\nbc");
  ASSERT_TRUE(files::identify(path) == ended);
  files::FileIdentity after;
  ASSERT_EQ(files::append_lines(path, "d\n", 0600, &after, &ended), 0u);
  EXPECT_EQ(read_file(host), "a\nbc\nd\n");
  EXPECT_FALSE(after.settled);
  const files::FileIdentity untrusted = after;
  ASSERT_EQ(files::append_lines(path, "e\n", 0600, &after, &untrusted), 0u);
  EXPECT_FALSE(after.settled);
  const files::FileIdentity now = files::identify(path);
  ASSERT_EQ(files::append_lines(path, "f\n", 0600, &after, &now), 0u);
  EXPECT_TRUE(after.settled);
}

// A file appended to through a kept descriptor: a kill or a power cut at
// any of its file calls leaves the old content, or it followed by a part
// of what was appended; a failed write leaves the old content, a failed
// flush the new, both with the status of a failed save. One flush of the
// data an append, the folder's only for a file made, nothing renamed, and
// the file opened once for all the appends of its owner.
TEST_F(SaveFileTest, AppendsLeaveTheOldContentFollowedByAPrefixOfTheNew) {
  const std::string path = kDir + "/notes.txt", host = root_.at(path);
  const std::string none = "<none>", added = "c,3\nd,4\n";
  const auto content = [&] { return file_exists(host) ? read_file(host) : none; };
  for (const std::string& before : {std::string("a,1\nb,2\n"), none}) {
    SCOPED_TRACE(before);
    const auto restore = [&] {
      if (before == none)
        ::unlink(host.c_str());
      else
        write_file(host, before);
    };
    const std::string kept = before == none ? "" : before, after = kept + added;
    const auto allowed = [&](const std::string& now) {
      return now == before || (now.size() >= kept.size() && after.compare(0, now.size(), now) == 0);
    };
    // Its open, fstat, write and flush at least.
    EXPECT_GE(at_every_file_call(
                  kDir, restore, [&] { files::AppendedFile(path, 0600).append(added); },
                  [&](int, const std::string& cut) { EXPECT_TRUE(allowed(content())) << cut << ": " << content(); }),
              4);
    EXPECT_EQ(content(), after);
    const struct {
      const char* what;
      std::vector<sim::Fault> faults;
      bool written;
    } failures[] = {
        {"open", {SimTest::file_errno("open", kDir, -1, ENOSPC)}, false},
        {"fstat", {SimTest::file_errno("fstat", kDir, -1, ENOSPC)}, false},
        {"write", {SimTest::file_errno("write", kDir, -1, ENOSPC)}, false},
        {"the write after half of it went",
         [&] {
           sim::Fault half = SimTest::file_errno("write", kDir, 1), rest = SimTest::file_errno("write", kDir, 1, ENOSPC);
           half.kind = sim::FaultKind::ShortWrite;
           return std::vector<sim::Fault>{half, rest};
         }(),
         false},
        {"fsync", {SimTest::file_errno("fsync", kDir, -1, ENOSPC)}, true},
    };
    for (const auto& f : failures) {
      SCOPED_TRACE(f.what);
      restore();
      for (const sim::Fault& fault : f.faults) sim_->inject(fault);
      EXPECT_EQ(files::AppendedFile(path, 0600).append(added), 1u);
      sim_->clear_faults();
      EXPECT_EQ(std::string(tavo_last_status_string), "Failed to save " + path + ": No space left on device.");
      // A file made for the append may stay, empty.
      const std::string now = content();
      EXPECT_TRUE(now == (f.written ? after : before) || (before == none && now == "")) << now;
    }
    restore();
    sim_->clear_log();
    files::AppendedFile file(path, 0600);
    ASSERT_EQ(file.append(added), 0u);
    EXPECT_EQ(sim_->file_calls("fsync"), 1u);
    EXPECT_EQ(sim_->file_calls("fsync_dir"), before == none ? 1u : 0u);
    EXPECT_EQ(sim_->file_calls("rename"), 0u);
    struct stat st{};
    ASSERT_EQ(::stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    sim_->clear_log();
    ASSERT_EQ(file.append("e,5\n"), 0u);
    EXPECT_EQ(sim_->file_calls("open"), 0u);
    EXPECT_EQ(sim_->file_calls("fsync"), 1u);
    EXPECT_EQ(content(), after + "e,5\n");
  }
}

// The owner of an appended file cuts it to nothing in place, and appends
// from its start again; once it lets its descriptor go, it appends to the
// file that stands at the path then, not the one another writer renamed
// away.
TEST_F(SaveFileTest, AnAppendedFileIsEmptiedInPlaceAndFoundAgainAfterItsDescriptorGoes) {
  const std::string path = kDir + "/notes.txt", host = root_.at(path);
  files::AppendedFile file(path, 0600);
  ASSERT_EQ(file.append("a,1\n"), 0u);
  struct stat made{}, now{};
  ASSERT_EQ(::stat(host.c_str(), &made), 0);
  sim_->clear_log();
  ASSERT_EQ(file.empty(), 0u);
  EXPECT_EQ(sim_->file_calls("fsync"), 0u);
  ASSERT_EQ(file.append("b,2\n"), 0u);
  EXPECT_EQ(read_file(host), "b,2\n");
  ASSERT_EQ(::stat(host.c_str(), &now), 0);
  EXPECT_EQ(now.st_ino, made.st_ino);
  write_file(host + ".new", "c,3\n");
  ASSERT_EQ(::rename((host + ".new").c_str(), host.c_str()), 0);
  file.close();
  ASSERT_EQ(file.append("d,4\n"), 0u);
  EXPECT_EQ(read_file(host), "c,3\nd,4\n");
}

// Only a regular file of one link at the path is appended to, never
// through a link, a FIFO never waited on: each fails the append and
// leaves everything as it was.
TEST_F(SaveFileTest, AppendsRefuseWhatIsNotTheirFile) {
  const std::string path = kDir + "/notes.txt", host = root_.at(path), outside = root_.at("/outside.txt");
  const struct {
    const char* what;
    std::function<int()> plant;
    int err;  // 0: any
  } cases[] = {
      {"a symbolic link", [&] { return ::symlink(outside.c_str(), host.c_str()); }, ELOOP},
      {"a hard link", [&] { return ::link(outside.c_str(), host.c_str()); }, EMLINK},
      {"a directory", [&] { return ::mkdir(host.c_str(), 0700); }, EISDIR},
      {"a FIFO", [&] { return ::mkfifo(host.c_str(), 0600); }, 0},  // no reader (ENXIO), or no regular file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(outside, "outside\n");
    ASSERT_EQ(c.plant(), 0);
    struct stat before{};
    ASSERT_EQ(::lstat(host.c_str(), &before), 0);
    EXPECT_EQ(files::AppendedFile(path, 0600).append("b,2\n"), 1u);
    const std::string status = tavo_last_status_string, failed = "Failed to save " + path + ": ";
    EXPECT_EQ(c.err != 0 ? status : status.substr(0, failed.size()),
              c.err != 0 ? failed + strerror(c.err) + "." : failed);
    EXPECT_EQ(read_file(outside), "outside\n");
    struct stat after{};
    ASSERT_EQ(::lstat(host.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_size, before.st_size);
    ::unlink(host.c_str());
    ::rmdir(host.c_str());
  }
}

}  // namespace
}  // namespace tavo::test
