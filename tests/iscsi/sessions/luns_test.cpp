// LUNs behind a logged-in target: the scan and the groups it builds, the
// values read from each LUN, the SCSI commands as sent, CHECK CONDITION
// and firmware failures, and writes landing on the simulated disk.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/iscsi/sessions/sessions_fixture.h"
#include "transport/scsi_records.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

// Target a holds LUN 0 (512 MB), LUN 5 (two blocks) and a flat-addressed
// LUN 300.
const std::string kLunTopology = std::string(kSessionsTopology) +
                                 "lun target=iqn.2026-12.com.example:a id=0 blocks=0x100000 vendor=ACME "
                                 "product=ARRAY-A serial=A0\n"
                                 "lun target=iqn.2026-12.com.example:a id=5 blocks=2 type=5 serial=A5\n"
                                 "lun target=iqn.2026-12.com.example:a id=300 serial=A300\n";

class LunsTest : public SessionsTest {
 protected:
  LunsTest() : SessionsTest(kLunTopology) {}
  void SetUp() override {
    SessionsTest::SetUp();
    // Handles beyond 16 bits reach the LUNs whole.
    sim_->sessions(0)->next_handle = 0x00ABC000;
    ASSERT_EQ(add(kA, "10.0.0.50"), 0u);
    ASSERT_EQ(login(0), 0u) << last_status().second;
  }
  std::vector<sim::SimLun>& luns() { return sim_->topology().targets[0].luns; }
  // The pass-through requests sent, each with its data area.
  std::vector<std::vector<uint8_t>> scsi() { return payloads(6, 59); }
  static ScsiPassthroughRequest head(const std::vector<uint8_t>& p) {
    ScsiPassthroughRequest r{};
    memcpy(&r, p.data(), sizeof r);
    return r;
  }
};

TEST_F(LunsTest, ScanBuildsOneGroupPerLunWithItsValues) {
  EXPECT_EQ(instances(at(0), "LUN"), (std::vector<std::string>{"LUN0", "LUN1", "LUN2"}));
  const struct {
    std::string property, lun0, lun1, lun2;
  } rows[] = {
      {"LUNNumber", "0000000000000000", "0000000000000500", "0000000000002c41"},
      {"DeviceVendorName", "ACME    ", "TESSMARK", "TESSMARK"},
      {"DeviceModelNumber", "ARRAY-A         ", "VDISK           ", "VDISK           "},
      {"LUNSerialNumber", "A0", "A5", "A300"},
      {"LUNType", "0x0", "0x5", "0x0"},
      {"BlockSize", "512", "512", "512"},
      {"LUNSize", "512.00 MB", "1.00 KB", "1.00 MB"},
      {"BootLUN", "N/A", "N/A", "N/A"},
  };
  for (const auto& r : rows)
    for (const auto& [lun, value] : {std::pair{0, r.lun0}, {1, r.lun1}, {2, r.lun2}})
      EXPECT_EQ(get(at(0, "LUN" + std::to_string(lun) + "/" + r.property)), value) << r.property << lun;
  // The host's name of the device: the LogicalHBA's interface, the
  // session's target and LUN numbers from its configuration.
  ASSERT_EQ(get_lunname_prop(0, 0, node(at(0, "LUN1"))), 0u);
  EXPECT_EQ(get(at(0, "LUN1/LUNName")), "vmhba40:0:0");
  // A rescan asks REPORT LUNS for 16 bytes, then for the list; the LUN
  // commands address LUN 5 by its bytes.
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "ReScanLUNS")), 0u);
  std::vector<std::vector<uint8_t>> sent = scsi();
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& [i, length] : {std::pair{0, 16}, {1, 32}}) {
    const ScsiPassthroughRequest r = head(sent[i]);
    EXPECT_EQ(r.cdb[0], kScsiReportLuns);
    EXPECT_EQ(r.cdb[9], length);
    EXPECT_EQ(r.data_length, length);
    EXPECT_EQ(r.direction, kScsiDataIn);
    EXPECT_EQ(sent[i].size(), sizeof r + length);
  }
  sim_->clear_log();
  EXPECT_EQ(get(at(0, "LUN1/BlockSize")), "512");
  sent = scsi();
  ASSERT_EQ(sent.size(), 1u);
  const ScsiPassthroughRequest capacity = head(sent[0]);
  EXPECT_EQ(std::vector<uint8_t>(capacity.lun, capacity.lun + 8), (std::vector<uint8_t>{0, 5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(capacity.cdb[0], kScsiReadCapacity10);
  EXPECT_EQ(capacity.session_handle, firmware()[0].handle);
}

TEST_F(LunsTest, SizesFollowTheUnitRulesAfterEitherCapacityCommand) {
  const struct {
    uint64_t blocks;
    uint32_t block_size;
    std::string size;
    int commands;
  } rows[] = {
      {0x100000, 512, "512.00 MB", 1},
      {1023, 1, "1023 Bytes", 1},
      {2, 512, "1.00 KB", 1},
      {0x40000, 4096, "1.00 GB", 1},
      {0xFFFFFFFF, 512, "2048.00 GB", 1},  // last block 0xFFFFFFFE still fits READ
                                           // CAPACITY(10)
      {0x100000001, 512, "2.00 TB", 2},
      {0x100000001, 1, "4.00 GB", 2},  // under 2^40 after READ CAPACITY(16)
  };
  for (const auto& r : rows) {
    luns()[0].blocks = r.blocks;
    luns()[0].block_size = r.block_size;
    sim_->clear_log();
    EXPECT_EQ(get(at(0, "LUN0/LUNSize")), r.size) << r.blocks;
    EXPECT_EQ(get(at(0, "LUN0/BlockSize")), std::to_string(r.block_size));
    EXPECT_EQ(static_cast<int>(scsi().size()), 2 * r.commands) << r.blocks;
  }
}

TEST_F(LunsTest, ReportLunsIsBoundedToTheGroupsATargetHolds) {
  luns().resize(3);
  for (int i = 3; i < 300; ++i) {
    sim::SimLun more = luns()[2];
    more.id = {0x40, static_cast<uint8_t>(i), 0, 0, 0, 0, 0, 0};
    luns().push_back(more);
  }
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "ReScanLUNS")), 0u);
  EXPECT_EQ(instances(at(0), "LUN").size(), 255u);
  const std::vector<std::vector<uint8_t>> sent = scsi();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(head(sent[1]).data_length, 256 * 8);
  // Two open sessions reporting the same LUNs give a group for each.
  luns().resize(1);
  ASSERT_EQ(login(0), 0u);
  EXPECT_EQ(instances(at(0), "LUN"), (std::vector<std::string>{"LUN0", "LUN1"}));
  EXPECT_EQ(get(at(0, "LUN1/LUNNumber")), get(at(0, "LUN0/LUNNumber")));
}

TEST_F(LunsTest, CheckConditionsAndFirmwareFailures) {
  // One CHECK CONDITION: the action's second try answers.
  luns()[1].check_conditions = 1;
  sim_->clear_log();
  EXPECT_EQ(act(at(0, "LUN1/StdInquiry")), 0u);
  EXPECT_EQ(scsi().size(), 2u);
  // Every command refused: the reads and actions fail with 1 and say so.
  luns()[1].check_conditions = -1;
  const std::string hint = ". Please check tavo2d.log file for more information.";
  const struct {
    std::string path;
    bool action;
    std::vector<std::string> params;
    std::string message;
  } refused[] = {
      {at(0, "LUN1/LUNSize"), false, {}, "Failed to get LUNSize" + hint},
      {at(0, "LUN1/DeviceVendorName"), false, {}, "Failed to get DeviceVendorName" + hint},
      {at(0, "LUN1/StdInquiry"), true, {}, "StdInquiry failed" + hint},
      {at(0, "LUN1/SCSIWrite"), true, {"0", "1"}, "SCSIWrite failed" + hint},
  };
  for (const auto& r : refused) {
    if (r.action) {
      EXPECT_EQ(act(r.path, r.params), 1u) << r.path;
    } else {
      EXPECT_EQ(get(r.path), "<unreadable>") << r.path;
    }
    EXPECT_EQ(last_status(), Status(1, r.message)) << r.path;
  }
  EXPECT_TRUE(luns()[1].written.empty());
  // The firmware refusing the command: 90 with its texts.
  fail_mailbox(6, 59, 3).times = -1;
  EXPECT_EQ(get(at(0, "LUN0/BlockSize")), "<unreadable>");
  EXPECT_EQ(last_status(), Status(90,
                                  "Failed to get LUN info. Application internal error occurred. Please check "
                                  "tavo2d.log file for more information."));
  EXPECT_EQ(act(at(0, "ReScanLUNS")), 0u);
  EXPECT_EQ(last_status(), Status(90,
                                  "Failed to get LUN info for some sessions. Please check tavo2d.log for the "
                                  "actual sessions failed."));
  EXPECT_TRUE(instances(at(0), "LUN").empty());
  EXPECT_EQ(log_count("Failed to scan LUNs for Session0."), 1);
  sim_->clear_faults();
  // Without sessions the rescan succeeds and says why nothing is there.
  ASSERT_EQ(add(kC, "10.0.0.60"), 0u);
  purge_nodes_within(node(at(1)), "Session");
  EXPECT_EQ(act(at(1, "ReScanLUNS")), 0u);
  EXPECT_EQ(last_status(), sessions_text(42));
}

TEST_F(LunsTest, WritesLandOnTheDiskInCommandsThatFit) {
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "LUN0/SCSIWrite"), {"7", "1"}), 0u);
  std::vector<std::vector<uint8_t>> sent = scsi();
  ASSERT_EQ(sent.size(), 1u);
  const uint8_t cdb[16] = {0x2A, 0, 0, 0, 0, 7, 0, 0, 1};
  const ScsiPassthroughRequest write = head(sent[0]);
  EXPECT_EQ(memcmp(write.cdb, cdb, sizeof cdb), 0);
  EXPECT_EQ(head(sent[0]).direction, kScsiDataOut);
  EXPECT_EQ(std::vector<uint8_t>(sent[0].begin() + sizeof(ScsiPassthroughRequest), sent[0].end()),
            std::vector<uint8_t>(512, 0));
  ASSERT_EQ(luns()[0].written.count(7), 1u);
  // 300 blocks go as 127, 127 and 46, each at its own address.
  luns()[0].written.clear();
  sim_->clear_log();
  ASSERT_EQ(act(at(0, "LUN0/SCSIWrite"), {"1000", "300"}), 0u);
  sent = scsi();
  ASSERT_EQ(sent.size(), 3u);
  const int counts[] = {127, 127, 46}, starts[] = {1000, 1127, 1254};
  for (int i = 0; i < 3; ++i) {
    const ScsiPassthroughRequest r = head(sent[i]);
    EXPECT_EQ(r.cdb[4] << 8 | r.cdb[5], starts[i]);
    EXPECT_EQ(r.cdb[7] << 8 | r.cdb[8], counts[i]);
    EXPECT_EQ(r.data_length, counts[i] * 512);
  }
  EXPECT_EQ(luns()[0].written.size(), 300u);
  EXPECT_EQ(luns()[0].written.begin()->first, 1000u);
  EXPECT_EQ(luns()[0].written.rbegin()->first, 1299u);
  EXPECT_EQ(luns()[0].written.at(1299), std::vector<uint8_t>(512, 0));
  // Past the disk's end: CHECK CONDITION, the second try too.
  EXPECT_EQ(act(at(0, "LUN1/SCSIWrite"), {"1", "2"}), 1u);
}

// A LUN's INQUIRY and serial number page are asked once per request for
// all its values, and the serial number is shown whole up to the 251
// bytes the page keeps.
TEST_F(LunsTest, ALunsInquiryIsReadOncePerRequest) {
  for (const size_t length : {1u, 16u, 64u, 251u}) {
    luns()[1].serial = std::string(length, 'S');
    EXPECT_EQ(get(at(0, "LUN1/LUNSerialNumber")), std::string(length, 'S')) << length;
  }
  // The logout looks at each LUN's vendor and model first: one INQUIRY and
  // one serial page each.
  sim_->clear_log();
  ASSERT_EQ(logout(0, {"0"}), 0u) << last_status().second;
  int before_logout = 0;
  for (const sim::LogEntry& e : sim_->mailbox_log()) {
    if (e.kind != sim::LogKind::IscsiIoctl) continue;
    MailboxRequestHeader h;
    memcpy(&h, e.bytes.data(), sizeof h);
    if (h.opcode == 24) break;
    before_logout += h.opcode == 59;
  }
  EXPECT_EQ(before_logout, 2 * 3);
}

}  // namespace
}  // namespace tavo::test
