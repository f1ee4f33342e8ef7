#include "base/file_utils.h"

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/sim_fixture.h"
#include "tests/tree/file_mode.h"
#include "base/debug_log.h"
#include "base/save_file.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

class FileUtilsTest : public SimTest {
 protected:
  mode_t mode_of(const std::string& fixed) { return file_mode(root_.at(fixed)); }
};

TEST_F(FileUtilsTest, OpenCloseDeleteUnderTheRoot) {
  EXPECT_EQ(TAVO_file_open(nullptr, "r"), nullptr);
  EXPECT_EQ(TAVO_file_open("/etc/x.txt", nullptr), nullptr);
  EXPECT_EQ(TAVO_file_open("/etc/x.txt", "r"), nullptr);
  FILE* f = TAVO_file_open("/etc/x.txt", "w");
  ASSERT_NE(f, nullptr);
  fputs("abc", f);
  TAVO_file_close(f);
  TAVO_file_close(nullptr);
  EXPECT_EQ(read_file(root_.at("/etc/x.txt")), "abc");
  EXPECT_TRUE(sim_->outside_root_writes().empty());

  TAVO_delete_file("/etc/missing.txt");
  TAVO_delete_file(nullptr);
  TAVO_delete_file("/etc/x.txt");
  EXPECT_FALSE(file_exists(root_.at("/etc/x.txt")));
}

// A mode that writes, and a saved file's append, never write through a link
// planted at the path; a read follows it.
TEST_F(FileUtilsTest, WritingModesFollowNoLink) {
  write_file(root_.at("/victim.txt"), "keep");
  ASSERT_EQ(symlink(root_.at("/victim.txt").c_str(), root_.at("/etc/link.txt").c_str()), 0);
  for (const char* mode : {"r", "rb", "r+", "w", "w+", "a", "ab+"}) {
    FILE* f = TAVO_file_open("/etc/link.txt", mode);
    EXPECT_EQ(f != nullptr, mode[0] == 'r' && mode[strlen(mode) - 1] != '+') << mode;
    TAVO_file_close(f);
  }
  EXPECT_EQ(files::append_lines("/etc/link.txt", "x\n", 0644), 1u);
  EXPECT_EQ(read_file(root_.at("/victim.txt")), "keep");
}

// A file gets 0644, with a failure logged; one that has it already is left
// alone (a chmod would change its status time for nothing).
TEST_F(FileUtilsTest, PermissionsAre0644AndAFailureIsLogged) {
  write_file(root_.at("/etc/x.txt"), "abc");
  TAVO_change_permissions_file("/etc/missing.txt");
  EXPECT_FALSE(file_exists(root_.at("/etc/missing.txt")));
  FILE* log = platform::open_stream(root_.at("/log.txt"), "w");
  ASSERT_NE(log, nullptr);
  tavo_log_fp = log;
  const uint32_t saved_level = tavo_debug_level;
  tavo_debug_level = 3;
  // The one failing chmod comes last: the log builds up across the rows.
  const struct {
    mode_t before;
    bool chmod_fails;
    mode_t after;
    uint64_t chmods;
  } rows[] = {{0600, false, 0644, 1}, {0644, false, 0644, 0}, {0644, true, 0644, 0}, {0600, true, 0600, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.before) + (r.chmod_fails ? " failing" : ""));
    ASSERT_EQ(chmod(root_.at("/etc/x.txt").c_str(), r.before), 0);
    if (r.chmod_fails) {
      sim::Fault fault;
      fault.kind = sim::FaultKind::FileErrno;
      fault.file_call = "chmod";
      sim_->inject(fault);
    }
    const uint64_t chmods = sim_->file_calls("chmod");
    TAVO_change_permissions_file("/etc/x.txt");
    EXPECT_EQ(sim_->file_calls("chmod") - chmods, r.chmods);
    sim_->clear_faults();
    EXPECT_EQ(mode_of("/etc/x.txt"), r.after);
    fflush(log);
    const std::string text = read_file(root_.at("/log.txt"));
    EXPECT_EQ(text.find("ERROR:Failed change the permissions for /etc/x.txt file\n") != std::string::npos,
              r.chmod_fails && r.chmods == 1)
        << text;
  }
  tavo_debug_level = saved_level;
  tavo_log_fp = nullptr;
  fclose(log);
}

TEST(FileFields, BackendSplitReplacesEveryDelimiter) {
  const struct {
    const char* text;
    const char* delimiters;
    uint32_t count;
  } cases[] = {{"a,b,,c", ",", 3}, {"a b\tc", " \t", 2}, {"abc", ",", 0}, {"", ",", 0}, {",,,", ",", 3}};
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(backend_split(text.data(), c.delimiters), c.count) << c.text;
    for (char ch : text) EXPECT_EQ(strchr(c.delimiters, ch) == nullptr || ch == '\0', true);
  }
  EXPECT_EQ(backend_split(nullptr, ","), 0u);
}

TEST(FileFields, ParseSkipsAndParseFileCountsEmptyFields) {
  const char* kNone = "<none>";
  const struct {
    const char* text;
    uint32_t field;
    const char* delimiters;
    const char* parsed;      // tavo_parse
    const char* file_field;  // parse_file
  } cases[] = {
      {"a,,b", 1, ",", "a", "a"},
      {"a,,b", 2, ",", "b", ""},
      {"a,,b", 3, ",", kNone, "b"},
      {"a,,b", 4, ",", kNone, kNone},
      {"x,y\n", 2, ",", "y", "y"},
      {"x,y\n\n", 2, ",", "y\n", "y\n"},
      {"abc", 1, ",", kNone, kNone},
      {"abc\n", 2, ",", kNone, kNone},
      {",a", 1, ",", "", ""},
      {",a", 2, ",", "a", "a"},
      {"a,,", 2, ",", kNone, ""},
      {"a,,", 3, ",", kNone, ""},
      {"ROOT/Corvane0/Target2", 3, "/", "Target2", "Target2"},
      {"a;b,c", 3, ",;", "c", "c"},
      {"a,b", 0, ",", kNone, kNone},
  };
  uint32_t before = tavo_counter;
  for (const auto& c : cases) {
    char* parsed = tavo_parse(c.text, c.field, c.delimiters);
    char* file_field = parse_file(c.text, c.field, c.delimiters);
    EXPECT_EQ(parsed ? std::string(parsed) : kNone, c.parsed) << c.text << " field " << c.field;
    EXPECT_EQ(file_field ? std::string(file_field) : kNone, c.file_field) << c.text << " field " << c.field;
    if (parsed) tavo_dfree(parsed);
    if (file_field) tavo_dfree(file_field);
  }
  EXPECT_EQ(tavo_parse(nullptr, 1, ","), nullptr);
  EXPECT_EQ(parse_file(nullptr, 1, ","), nullptr);
  EXPECT_EQ(tavo_counter, before);
}

}  // namespace
}  // namespace tavo::test
