// The firmware event log as EventLogEntry instances: descriptions and
// severities per event code, more records than fit, refresh and clear with
// their failures, Galtor and a virtual function.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/firmware/logs_fixture.h"

namespace tavo::test {
namespace {

std::string event(uint16_t code, uint16_t severity, uint32_t sequence, std::vector<uint32_t> args = {},
                  const std::string& text = "") {
  FirmwareEventRecord r{};
  r.code = code;
  r.severity = severity;
  r.sequence = sequence;
  r.time_stamp = sequence * 10;
  memcpy(r.detail, text.data(), std::min(text.size(), sizeof r.detail));
  if (!args.empty()) memcpy(r.detail, args.data(), args.size() * 4);
  return bytes_of(r);
}

class EventLogTest : public LogsTest {
 protected:
  // Each entry as "sequence|stamp|severity|code|description".
  std::vector<std::string> entries() {
    std::vector<std::string> out;
    for (const std::string& e : children("Corvane0/EventLog", TAVO_KIND_GROUP)) {
      const std::string at = "Corvane0/EventLog/" + e + "/";
      out.push_back(get(at + "SequenceNumber") + "|" + get(at + "TimeStamp") + "|" + get(at + "Severity") + "|" +
                    get(at + "ErrorCode") + "|" + get(at + "Description"));
    }
    return out;
  }
};

TEST_F(EventLogTest, RecordsAreDescribedByTheirCodeAndSeverity) {
  const std::string long_text(60, 'x');  // no NUL within the record
  start_with(
      kCv3, {{"/log/events", event(7, 0, 1, {1, 2, 3, 4, 5}) + event(40, 1, 2, {2}) + event(47, 2, 3, {0x1f, 2, 3, 4}) +
                                 event(61, 3, 4, {14, 2048}) + event(65, 0, 5, {0xab, 0x1234}) +
                                 event(67, 1, 6, {0xbeef}) + event(94, 0, 7) + event(95, 0, 8, {}, "Own text") +
                                 event(200, 2, 9, {}, long_text) + event(3, 4, 10, {9}) + event(0, 0, 0x80000000u)}});
  EXPECT_EQ(entries(),
            (std::vector<std::string>{
                "1|10|Informational|7|Ioctl failed: page code:1, subsystem:2, IRB:3, status:4, addnl status:5",
                "2|20|Warning|40|Ethernet link is down on Port :2",
                "3|30|Error|47|Port failover info: 0x1f 2 3 4",
                "4|40|Fatal|61|Vantsec: Diffie-Hellman group 14 (2048 bits)",
                "5|50|Informational|65|Vantsec: AH inbound [000000ab] | outbound [00001234]",
                "6|60|Warning|67|Vantsec: Rule selection failure, mask[beef]",
                "7|70|Informational|94|Vantsec: Could not start certificate request operation",
                "8|80|Informational|95|Own text",
                "9|90|Error|200|" + std::string(48, 'x'),
                "10|100|INVALID SEVERITY LEVEL!|3|INVALID Description!!",
                "-2147483648|0|Informational|0|Management firmware load successful",
            }));
}

TEST_F(EventLogTest, CountsAndTheBufferBound) {
  for (const auto& [records, shown] : std::vector<std::pair<uint32_t, size_t>>{{0, 0}, {1023, 1023}, {1500, 1023}}) {
    std::string log;
    for (uint32_t i = 0; i < records; ++i) log += event(21, 0, i);
    start_with(kCv3, {{"/log/events", log}});
    EXPECT_EQ(children("Corvane0/EventLog", TAVO_KIND_GROUP).size(), shown) << records;
    EXPECT_EQ(last_status().first, 0u);
  }
  // Start-up goes on without the log.
  use(kCv3);
  fail_mailbox(2, 63, 3);
  ASSERT_EQ(TAVO_init(), 0u);
  EXPECT_TRUE(entries().empty());
  EXPECT_EQ(log_count("CRITICAL:Eventlog failure"), 1);
}

TEST_F(EventLogTest, RefreshAndClear) {
  start_with(kCv3, {{"/log/events", event(21, 0, 1)}});
  plant(0, "/log/events", event(21, 0, 1) + event(16, 0, 2));
  EXPECT_EQ(act("Corvane0/EventLog/RefreshEventLog"), 0u);
  EXPECT_EQ(entries().size(), 2u);

  sim_->clear_log();
  EXPECT_EQ(act("Corvane0/EventLog/ClearEventLog"), 0u);
  EXPECT_EQ(last_payload(2, 62), std::vector<uint8_t>(16, 0));
  EXPECT_EQ(mailbox_count(2, 63), 1);  // read again at once
  EXPECT_TRUE(entries().empty());

  plant(0, "/log/events", event(21, 0, 1));
  fail_mailbox(2, 62, 3);
  EXPECT_EQ(act("Corvane0/EventLog/ClearEventLog"), 1u);
  EXPECT_EQ(last_status(), firmware_status(113));
  // A failed read leaves the group empty.
  ASSERT_EQ(act("Corvane0/EventLog/RefreshEventLog"), 0u);
  fail_mailbox(2, 63, 3);
  EXPECT_EQ(act("Corvane0/EventLog/RefreshEventLog"), 1u);
  EXPECT_EQ(last_status(), firmware_status(112));
  EXPECT_TRUE(entries().empty());
}

TEST_F(EventLogTest, GaltorAndVirtualFunctions) {
  start_with(kGaltor, {{"/log/events", event(21, 0, 1)}});
  EXPECT_EQ(mailbox_count(2, 63), 0);
  EXPECT_TRUE(entries().empty());
  for (const char* action : {"RefreshEventLog", "ClearEventLog"}) {
    EXPECT_EQ(act(std::string("Corvane0/EventLog/") + action), 1u);
    EXPECT_EQ(last_status(), firmware_status(259));
  }
  // Inside a virtual function only the refresh is refused.
  start_with(kInsideVf, {});
  sim_->clear_log();
  EXPECT_EQ(act("Corvane0/EventLog/RefreshEventLog"), 1u);
  EXPECT_EQ(last_status(), Status(256, "Performed operation is not supported on a SR-IOV virtual function."));
  EXPECT_EQ(act("Corvane0/EventLog/ClearEventLog"), 0u);
  EXPECT_EQ(mailbox_count(2, 62), 1);
}

}  // namespace
}  // namespace tavo::test
