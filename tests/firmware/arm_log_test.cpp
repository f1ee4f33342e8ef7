// RetrieveARMLog: the string table and the entries, byte for byte, from
// flash or a RAM snapshot, the table file gone afterwards, empty logs,
// failing commands and files, and answers beyond the buffers. The current
// directory is inside the root, where the table file goes.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/firmware/logs_fixture.h"

namespace tavo::test {
namespace {

const Status kEmpty{205, "There is no ExtFat Data to be retreived. Because number of log entries are Zero."};

std::string entries(uint32_t n, uint8_t seed) { return pattern(n * kArmEntrySize, seed); }

class ArmLogTest : public LogsTest {
 protected:
  void SetUp() override {
    LogsTest::SetUp();
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(root_.at("/tmp").c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(cwd_), 0);
    LogsTest::TearDown();
  }
  uint32_t retrieve(const char* mode, const std::string& path = "/tmp/arm.log") {
    sim_->clear_log();
    return act("Corvane0/ExtFATData/RetrieveARMLog", {root_.at(path), mode});
  }
  // (source, first) of each entry request.
  std::vector<std::pair<uint32_t, uint32_t>> entry_requests() {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& p : payloads(1, 128)) {
      uint32_t r[3];  // source, first, wanted
      memcpy(r, p.data(), sizeof r);
      EXPECT_EQ(r[2], 998u);
      out.emplace_back(r[0], r[1]);
    }
    return out;
  }
  char cwd_[4096] = "";
};

TEST_F(ArmLogTest, TableThenEntriesFromFlashOrTheRamSnapshot) {
  const std::string table = pattern(70000, 1);
  struct Case {
    const char* mode;
    std::string expected;
    std::vector<std::pair<uint32_t, uint32_t>> requests;
  };
  const Case cases[] = {
      {"FLASH", table + entries(1500, 2), {{1, 0}, {1, 998}, {1, 1500}}},
      {"RAM", table + entries(3, 3), {{0, 0}}},
      {"DDR", table + entries(3, 3), {{0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    start_with(kCv3, {{"/arm/strings", table}, {"/arm/flash", entries(1500, 2)}, {"/arm/ram", entries(3, 3)}});
    place("/tmp/arm.log", "old");
    ASSERT_EQ(retrieve(c.mode), 0u);
    EXPECT_TRUE(file("/tmp/arm.log") == c.expected);
    EXPECT_EQ(entry_requests(), c.requests);
    EXPECT_EQ(payloads(1, 130).size(), 2u);
    EXPECT_FALSE(file_exists(root_.at("/tmp/arm_string_table.bin")));
    EXPECT_EQ(mailbox_count(1, 127), std::string(c.mode) == "RAM" || std::string(c.mode) == "DDR" ? 1 : 0);
  }
}

TEST_F(ArmLogTest, EmptyLogsAndFailures) {
  const std::string table = pattern(100, 1);
  struct Case {
    const char* name;
    const char* mode;
    std::string flash, ram;
    int fail_opcode;  // 0: none
    std::string path;
    Status status;
    std::string file;  // "-": none
  };
  const Case cases[] = {
      {"one flash entry", "FLASH", entries(1, 2), "", 0, "/tmp/arm.log", kEmpty, table},
      {"an empty snapshot", "RAM", "", "", 0, "/tmp/arm.log", kEmpty, "-"},
      {"no snapshot",
       "RAM",
       "",
       entries(3, 3),
       127,
       "/tmp/arm.log",
       {204, "Failed to Configure Snapshot.Please check tavo2d.log file for more information."},
       "-"},
      {"no entries",
       "FLASH",
       entries(5, 2),
       "",
       128,
       "/tmp/arm.log",
       {206, "Failed to RetrieveExtFAT Data. Please check tavo2d.log file for more information."},
       table},
      {"no table, RAM",
       "RAM",
       "",
       entries(3, 3),
       130,
       "/tmp/arm.log",
       {207, "Failed to Read ExtFat String Table. Please check tavo2d.log file for more information."},
       ""},
      {"no table, FLASH", "FLASH", entries(5, 2), "", 130, "/tmp/arm.log", kBadFile, ""},
      {"no output file, RAM", "RAM", "", entries(3, 3), 0, "/none/arm.log", kBadFile, "-"},
      {"no output file, FLASH", "FLASH", entries(5, 2), "", 0, "/none/arm.log", action_failed("RetrieveARMLog"), "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start_with(kCv3, {{"/arm/strings", table}, {"/arm/flash", c.flash}, {"/arm/ram", c.ram}});
    ::unlink(root_.at("/tmp/arm.log").c_str());
    if (c.fail_opcode != 0) fail_mailbox(1, static_cast<uint8_t>(c.fail_opcode), 3);
    EXPECT_EQ(retrieve(c.mode, c.path), 1u);
    EXPECT_EQ(last_status(), c.status);
    EXPECT_TRUE(file("/tmp/arm.log") == c.file) << file("/tmp/arm.log").size();
    EXPECT_FALSE(file_exists(root_.at("/tmp/arm_string_table.bin")));
  }
  // A full disk under the entries fails the retrieval.
  start_with(kCv3, {{"/arm/strings", table}, {"/arm/flash", entries(1500, 2)}});
  fail_write(sim::FaultKind::FileErrno, "arm.log", 1);
  EXPECT_EQ(retrieve("FLASH"), 1u);
  EXPECT_EQ(last_status(), kBadFile);
  EXPECT_TRUE(file("/tmp/arm.log") == table) << "the table, and no entry cut";
}

TEST_F(ArmLogTest, AnswersBeyondTheBuffersAreCut) {
  start_with(kCv3, {{"/arm/ram", entries(2000, 3)}});
  // A string table answered whole at once, and entries counted past the
  // buffer; a snapshot that promised more than arrives.
  sim_->on(1, 130, [](sim::Simulator&, sim::MailboxCall& call) {
    const uint32_t answer[2] = {70000, 0};  // returned, remaining
    memcpy(call.payload.data(), answer, sizeof answer);
    memset(call.payload.data() + 8, 's', call.payload.size() - 8);
    return sim::MailboxReply{};
  });
  sim_->on(1, 127, [](sim::Simulator&, sim::MailboxCall& call) {
    const uint32_t promised = 5000;
    memcpy(call.payload.data(), &promised, sizeof promised);
    return sim::MailboxReply{};
  });
  int answered = 0;
  sim_->on(1, 128, [&answered](sim::Simulator&, sim::MailboxCall& call) {
    const int32_t count = answered++ == 0 ? 100000 : 0;
    memcpy(call.payload.data(), &count, sizeof count);
    memset(call.payload.data() + 4, 'e', call.payload.size() - 4);
    return sim::MailboxReply{};
  });
  ASSERT_EQ(retrieve("RAM"), 0u);
  EXPECT_TRUE(file("/tmp/arm.log") == std::string(62992, 's') + std::string(998 * 64, 'e'));
  EXPECT_EQ(entry_requests(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {0, 998}}));
}

}  // namespace
}  // namespace tavo::test
