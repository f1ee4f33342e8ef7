#include "base/save_file.h"

#include <errno.h>

#include <functional>

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
        EXPECT_EQ(std::string(tavo_last_status_string), "Failed to save " + s.path + ": No space left on device.");
        EXPECT_EQ(content, s.before) << s.path << " " << call;
      }
    }
  }
}

}  // namespace
}  // namespace tavo::test
