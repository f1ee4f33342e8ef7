#include "base/debug_log.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "tests/support/sim_fixture.h"
#include "tests/tree/file_mode.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

const std::string kConfHead =
    "#TAVOLogLevel: Control the number of messages logged to the tavo2d.log file.\n"
    "#Possible values are 0 - Disabled, 1 - FATAL, 2 - CRITICAL, 3 - ERROR, 4 - WARNING, 5 - INFORMATION, 6 - "
    "DEBUG.\n"
    "TAVOLogLevel ";

class DebugLogTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    const char* tz = getenv("TZ");
    saved_tz_ = tz ? tz : "";
    had_tz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
    tavo_debug_level = 0;
    // An installed host has the configuration directory.
    for (const char* dir : {"/etc/config", "/etc/config/QVL", "/etc/config/QVL/tavo"})
      ASSERT_EQ(mkdir(root_.at(dir).c_str(), 0755), 0);
  }
  void TearDown() override {
    if (own_log_ != nullptr) fclose(own_log_);
    tavo_log_fp = nullptr;
    tavo_debug_level = 0;
    if (had_tz_)
      setenv("TZ", saved_tz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    SimTest::TearDown();
  }
  void open_log() {
    own_log_ = platform::open_stream(root_.at("/log.txt"), "a");
    ASSERT_NE(own_log_, nullptr);
    tavo_log_fp = own_log_;
  }
  std::string log() { return read_file(root_.at("/log.txt")); }
  std::string conf() { return read_file(root_.at("/etc/config/QVL/tavo/libtavo.conf")); }
  void write_conf(const std::string& text) { write_file(root_.at("/etc/config/QVL/tavo/libtavo.conf"), text); }
  std::string stamp() { return "Thu Dec 31 00:00:00 2026," + std::to_string(getpid()) + ",   "; }

  FILE* own_log_ = nullptr;
  std::string saved_tz_;
  bool had_tz_ = false;
};

TEST_F(DebugLogTest, LineCarriesTimePidAndTheLevelsPrefix) {
  open_log();
  tavo_debug_level = 6;
  const struct {
    int32_t level;
    const char* prefix;
  } levels[] = {{1, "FATAL:"}, {2, "CRITICAL:"}, {3, "ERROR:"}, {4, "Warning:"}, {5, "INFO:"}, {6, ""}};
  std::string expected;
  for (const auto& l : levels) {
    pdebug(TAVO_LOG_BACKEND, l.level, "%s:value = %d\n", "fn", l.level);
    expected += stamp() + l.prefix + "fn:value = " + std::to_string(l.level) + "\n";
  }
  EXPECT_EQ(log(), expected);
}

TEST_F(DebugLogTest, MaskAndLevelFilterLines) {
  open_log();
  tavo_debug_level = 3;
  pdebug(TAVO_LOG_TREE, 3, "tree\n");
  pdebug(TAVO_LOG_BACKEND, 4, "too detailed\n");
  pdebug(4, 1, "unknown subsystem\n");
  pdebug(TAVO_LOG_BACKEND, 2, "backend\n");
  tavo_debug_level = 0;
  pdebug(TAVO_LOG_BACKEND, 1, "logging off\n");
  EXPECT_EQ(log(), stamp() + "ERROR:tree\n" + stamp() + "CRITICAL:backend\n");
  tavo_log_fp = nullptr;
  tavo_debug_level = 6;
  pdebug(TAVO_LOG_BACKEND, 1, "no log open\n");  // nothing to write to
}

// A line below the level or of another subsystem costs no argument; a
// client calling the exported function directly is filtered alike.
TEST_F(DebugLogTest, ALineNotWrittenEvaluatesNoArgumentAndTheExportFiltersAlike) {
  open_log();
  tavo_debug_level = 3;
  const struct {
    uint32_t mask;
    int32_t level;
    const char* prefix;  // null: not written
  } rows[] = {{TAVO_LOG_TREE, 3, "ERROR:"},    {TAVO_LOG_TREE, 4, nullptr}, {TAVO_LOG_BACKEND, 1, "FATAL:"},
              {TAVO_LOG_BACKEND, 7, nullptr}, {4, 1, nullptr},             {TAVO_LOG_TREE | 4, 2, "CRITICAL:"}};
  std::string expected;
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.mask) + "/" + std::to_string(r.level));
    int evaluated = 0;
    pdebug(r.mask, r.level, "by the macro %d\n", ++evaluated);
    (pdebug)(r.mask, r.level, "%s\n", "by the export");
    EXPECT_EQ(evaluated, r.prefix != nullptr ? 1 : 0);
    if (r.prefix != nullptr)
      expected += stamp() + r.prefix + "by the macro 1\n" + stamp() + r.prefix + "by the export\n";
  }
  EXPECT_EQ(log(), expected);
}

TEST_F(DebugLogTest, LevelFileHoldsTwoCommentsAndTheKeyWithoutLineEnd) {
  tavo_debug_level = 6;
  EXPECT_EQ(TAVO_set_debug_level(), 0u);
  EXPECT_EQ(conf(), kConfHead + "6");
  EXPECT_EQ(kConfHead.size(), 202u);
  tavo_debug_level = 0;
  EXPECT_EQ(TAVO_get_debug_level(), 0u);
  EXPECT_EQ(tavo_debug_level, 6u);
}

TEST_F(DebugLogTest, ReadingTheLevelFile) {
  const struct {
    const char* text;
    uint32_t level;        // in force afterwards (2 before)
    bool rewritten;        // the file then holds the level in force
  } cases[] = {
      {"TAVOLogLevel 5", 5, false},
      {"TAVOLogLevel 5\n", 5, false},
      {"TAVOLogLevel 9", 2, true},
      {"TAVOLogLevel -1", 2, true},
      {"TAVOLogLevel abc", 0, false},
      {"#TAVOLogLevel: 6\nTAVOLogLevel 4", 4, false},
      {"TAVOLogLevel 4\nTAVOLogLevel 9\nTAVOLogLevel 1\n", 1, true},
      {"TAVOLogLevel 4\nTAVOLogLevel 9\n", 4, true},
      {"TAVOLogLevel ", 2, false},
      {"TAVOLogLevel \nx", 2, false},
      {"nothing here", 2, false},
  };
  for (const auto& c : cases) {
    write_conf(c.text);
    tavo_debug_level = 2;
    EXPECT_EQ(TAVO_get_debug_level(), 0u);
    EXPECT_EQ(tavo_debug_level, c.level) << c.text;
    EXPECT_EQ(conf(), c.rewritten ? kConfHead + std::to_string(c.level) : std::string(c.text)) << c.text;
  }
  // Missing, or something the library never writes there: a FIFO (not
  // waited on) or a link to an endless file (not followed).
  const std::string path = root_.at("/etc/config/QVL/tavo/libtavo.conf");
  for (const char* planted : {"missing", "fifo", "link"}) {
    unlink(path.c_str());
    const std::string plant = planted;
    EXPECT_EQ(plant == "fifo" ? mkfifo(path.c_str(), 0644) : plant == "link" ? symlink("/dev/zero", path.c_str()) : 0,
              0);
    tavo_debug_level = 2;
    EXPECT_EQ(TAVO_get_debug_level(), 1u) << planted;
    EXPECT_EQ(tavo_debug_level, 2u) << planted;
  }
  unlink(path.c_str());
}

class DebugLevelTreeTest : public DebugLogTest {
 protected:
  void SetUp() override {
    DebugLogTest::SetUp();
    ASSERT_EQ(TAVO_init(), 0u);
  }
  void TearDown() override {
    while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
    }
    DebugLogTest::TearDown();
  }
  std::string read_level() {
    char buf[256] = "";
    EXPECT_EQ(TAVO_get_property_val(0, 3, buf, sizeof buf), 0u);
    return buf;
  }
  std::string tree_log() { return read_file(root_.at("/var/log/QVL/tavo/tavo2d.log")); }
  mode_t mode_of(const std::string& fixed) { return file_mode(root_.at(fixed)); }
};

TEST_F(DebugLevelTreeTest, FreshHostStartsWithLoggingOff) {
  EXPECT_EQ(conf(), kConfHead + "0");
  EXPECT_EQ(mode_of("/etc/config/QVL/tavo/libtavo.conf"), 0644u);
  EXPECT_EQ(mode_of("/var/log/QVL/tavo"), 0755u);
  EXPECT_EQ(read_level(), "0");
  EXPECT_EQ(tree_log(), "");
}

// The first start on a fresh machine, before any configuration directory:
// it writes libtavo.conf with logging off, as every later start finds it.
TEST_F(DebugLogTest, StartWithoutTheConfigurationDirectoryWritesTheLevelFile) {
  ASSERT_EQ(rmdir(root_.at("/etc/config/QVL/tavo").c_str()), 0);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(tavo_debug_level, 0u);
  EXPECT_EQ(conf(), kConfHead + "0");
  EXPECT_EQ(file_mode(root_.at("/etc/config/QVL/tavo/libtavo.conf")), 0644u);
  EXPECT_EQ(file_mode(root_.at("/etc/config/QVL/tavo")), 0755u);
  EXPECT_EQ(TAVO_exit(), 0u);
}

TEST_F(DebugLevelTreeTest, WritingTheLevelRewritesTheFileAndTakesEffect) {
  EXPECT_EQ(TAVO_set_property_val(0, 3, "6", 2), 0u);
  EXPECT_EQ(conf(), kConfHead + "6");
  pdebug(TAVO_LOG_BACKEND, 6, "now visible\n");
  EXPECT_NE(tree_log().find(",   now visible\n"), std::string::npos);
  EXPECT_EQ(read_level(), "6");

  EXPECT_EQ(TAVO_set_property_val(0, 3, "7", 2), 1u);
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE];
  TAVO_get_last_status(&code, text);
  EXPECT_EQ(code, 6u);
  EXPECT_EQ(conf(), kConfHead + "6");
}

TEST_F(DebugLevelTreeTest, HandlerRefusesLevelsOutsideTheRange) {
  TavoNode* property = get_node(3);
  ASSERT_NE(property, nullptr);
  for (const char* value : {"7", "-1", "abc", ""}) {
    char buf[256];
    snprintf(buf, sizeof buf, "%s", value);
    EXPECT_EQ(handle_TAVODebugLevel(property, buf, TAVO_PROPERTY_SET), 1u) << value;
    EXPECT_EQ(tavo_debug_level, 0u);
  }
  EXPECT_EQ(conf(), kConfHead + "0");
  char buf[256] = "x";
  EXPECT_EQ(handle_TAVODebugLevel(property, buf, 7), 0u);
  EXPECT_STREQ(buf, "x");
  EXPECT_EQ(handle_TAVODebugLevel(nullptr, buf, TAVO_PROPERTY_GET), 1u);
}

TEST_F(DebugLevelTreeTest, DeletedLevelFileShowsTheLevelInForce) {
  ASSERT_EQ(TAVO_set_property_val(0, 3, "4", 2), 0u);
  unlink(root_.at("/etc/config/QVL/tavo/libtavo.conf").c_str());
  EXPECT_EQ(read_level(), "4");
  EXPECT_FALSE(file_exists(root_.at("/etc/config/QVL/tavo/libtavo.conf")));
  // The next client's start writes it again.
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(conf(), kConfHead + "4");
}

// Each line is written whole with one write: long lines of two processes
// never mix.
TEST_F(DebugLevelTreeTest, LongLinesOfTwoProcessesNeverMix) {
  ASSERT_EQ(TAVO_set_property_val(0, 3, "1", 2), 0u);
  auto write_lines = [](char fill) {
    const std::string text(20000, fill);
    for (int i = 0; i < 50; ++i) pdebug(TAVO_LOG_TREE, 1, "%s\n", text.c_str());
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    write_lines('c');
    _exit(0);
  }
  write_lines('p');
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  std::istringstream log(tree_log());
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    const std::string text = line.substr(line.find("FATAL:") + 6);
    ASSERT_EQ(text, std::string(20000, text[0])) << "line " << lines;
  }
  EXPECT_EQ(lines, 100);
}

// A link, a second name or anything but a plain file at the log's path is
// never written: it is told of once on standard error (until the log opens
// again) and left as it is.
TEST_F(DebugLogTest, APlantedLogIsLeftAloneAndToldOnce) {
  const std::string log = root_.at("/var/log/QVL/tavo/tavo2d.log"), victim = root_.at("/victim");
  write_conf(kConfHead + "6");
  const std::pair<std::function<int()>, bool> cases[] = {  // how it is planted, whether the log is written
      {[&] { return symlink(victim.c_str(), log.c_str()); }, false},
      {[&] { return symlink(root_.at("/none").c_str(), log.c_str()); }, false},
      {[&] { return link(victim.c_str(), log.c_str()); }, false},
      {[&] { return mkdir(log.c_str(), 0755); }, false},
      {[&] { return 0; }, true}};
  for (const auto& [plant, written] : cases) {
    std::filesystem::create_directories(root_.at("/var/log/QVL/tavo"));
    write_file(victim, "keep");
    ASSERT_EQ(plant(), 0);
    testing::internal::CaptureStderr();
    for (int client = 0; client < 2; ++client) {
      ASSERT_EQ(TAVO_init(), 0u);
      pdebug(TAVO_LOG_TREE, 1, "planted\n");
      ASSERT_EQ(TAVO_exit(), 0u);
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(read_file(victim) == "keep" && !file_exists(root_.at("/none")));
    struct stat st;
    EXPECT_EQ(lstat(log.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1, written);
    EXPECT_EQ(written ? 0 : 1, std::count(told.begin(), told.end(), '\n')) << told;
    EXPECT_EQ(written, written && read_file(log).find("planted\n") != std::string::npos);
    // Once the log opens again, a name planted later is told of again.
    std::filesystem::remove_all(root_.at("/var/log/QVL"));
    ASSERT_EQ(TAVO_init(), 0u);
    ASSERT_EQ(TAVO_exit(), 0u);
    std::filesystem::remove_all(root_.at("/var/log/QVL"));
  }
}

TEST_F(DebugLevelTreeTest, StartReadsAnExistingFile) {
  write_conf(kConfHead + "5");
  ASSERT_EQ(chmod(root_.at("/etc/config/QVL/tavo/libtavo.conf").c_str(), 0600), 0);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_EQ(tavo_debug_level, 5u);
  EXPECT_EQ(mode_of("/etc/config/QVL/tavo/libtavo.conf"), 0644u);
  EXPECT_NE(tree_log().find("INFO:New client #2!\n"), std::string::npos);
}

}  // namespace
}  // namespace tavo::test
