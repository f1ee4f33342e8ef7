// Galtor firmware through UpgradeFlashROM (the object file checked and
// written to "/prg" in pieces, the firmware's change status), and flash
// objects read into host files piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/flash_update.h"
#include "tests/firmware/firmware_fixture.h"
#include "transport/mailbox.h"
#include "transport/object_records.h"

namespace tavo::test {
namespace {

const Status kInvalidObject{263, "Invalid file format. Please use the valid file and check tavo2d.log file for more "
                                 "information."};
const Status kNoData{271, "No data avaialable to read."};

// Corvane1 of the default adapter is a Galtor.
class FlashObjectsTest : public FirmwareTest {
 protected:
  uint32_t upgrade(const std::string& file) {
    place("/tmp/galtor.obj", file);
    sim_->clear_log();
    return act("Corvane1/UpgradeFlashROM", {"/tmp/galtor.obj"});
  }
  // (length word, offset) of every object write.
  std::vector<std::pair<uint32_t, uint32_t>> pieces(uint8_t opcode) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const auto& p : payloads(1, opcode)) {
      uint32_t words[2];
      memcpy(words, p.data(), sizeof words);
      out.emplace_back(words[0], words[1]);
    }
    return out;
  }
  uint32_t read_object(uint32_t kind, const std::string& path) {
    TavoNode* nic = get_node(tag("Corvane1/NICPhysicalHBA0"));
    return galtor_get_read_object(get_node(tag("Corvane1")), static_cast<uint32_t>(get_port_number(nic)),
                                  path.c_str(), 0, 0, TAVO_VIA_NIC, kind);
  }
};

TEST_F(FlashObjectsTest, GaltorObjectIsWrittenInPiecesAndAsksForARebootWhenItChanged) {
  const std::string file = galtor_object(70000);
  ASSERT_EQ(upgrade(file), 0u);
  EXPECT_EQ(last_status(), kUpdated);
  EXPECT_EQ(object(1, "/prg"), file);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {32768, 0}, {32768, 32768}, {4464 | kObjectEndOfFile, 65536}};
  EXPECT_EQ(pieces(172), expected);
  ASSERT_EQ(upgrade(file), 0u);
  EXPECT_EQ(last_status(), kNone) << "the same image needs no reboot";
  // One of the other byte order is taken and written as it is.
  const std::string swapped = galtor_object(32768, true);
  ASSERT_EQ(upgrade(swapped), 0u);
  EXPECT_EQ(object(1, "/prg"), swapped);
  EXPECT_EQ(pieces(172), (std::vector<std::pair<uint32_t, uint32_t>>{{32768 | kObjectEndOfFile, 0}}));
}

TEST_F(FlashObjectsTest, ObjectFilesWithoutTheirHeaderAreRefusedUnwritten) {
  std::string wrong_type = galtor_object(500);
  wrong_type[11] = 0x7F;
  std::string wrong_magic = galtor_object(500);
  wrong_magic[4] = 9;
  wrong_magic[7] = 9;
  const std::pair<std::string, Status> cases[] = {
      {galtor_object(500) + "x", kInvalidObject},
      {galtor_object(500).substr(0, 183), kInvalidObject},
      {wrong_type, kInvalidObject},
      {wrong_magic, kInvalidObject},
      {"", kInvalidObject},
  };
  for (const auto& [file, status] : cases) {
    EXPECT_EQ(upgrade(file), 1u);
    EXPECT_EQ(last_status(), status);
    EXPECT_EQ(mailbox_count(1, 172), 0);
  }
  EXPECT_EQ(act("Corvane1/UpgradeFlashROM", {"/tmp/none.obj"}), 1u);
  EXPECT_EQ(last_status().first, 39u);
  // The download checks what it read itself before writing it.
  place("/tmp/bad.obj", wrong_type);
  EXPECT_EQ(TAVO_galtor_fw_download(get_node(tag("Corvane1")), 1, "/tmp/bad.obj", 0, 0, TAVO_VIA_NIC), 1u);
  EXPECT_EQ(mailbox_count(1, 172), 0);
}

TEST_F(FlashObjectsTest, WhatTheFirmwareDidNotTakeGoesAgain) {
  // A firmware that takes at most 20000 bytes of a piece.
  sim_->on(1, 172, [](sim::Simulator& sim, sim::MailboxCall& call) {
    uint32_t word;
    memcpy(&word, call.payload.data(), sizeof word);
    const uint32_t taken = std::min(word & kObjectLengthMask, 20000u);
    auto& prg = sim.flash(call.controller->index)["/prg"];
    uint32_t offset;
    memcpy(&offset, call.payload.data() + 4, sizeof offset);
    prg.resize(offset);
    prg.insert(prg.end(), call.payload.begin() + 112, call.payload.begin() + 112 + taken);
    memcpy(call.payload.data(), &taken, sizeof taken);
    call.payload[4] = 1;
    return sim::MailboxReply{};
  });
  const std::string file = galtor_object(50000);
  ASSERT_EQ(upgrade(file), 0u);
  EXPECT_EQ(object(1, "/prg"), file);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {32768, 0}, {30000 | kObjectEndOfFile, 20000}, {10000 | kObjectEndOfFile, 40000}};
  EXPECT_EQ(pieces(172), expected);
  // Nothing taken, or a failed piece, fails the update.
  fail_mailbox(1, 172, 3);
  EXPECT_EQ(upgrade(file), 1u);
  EXPECT_EQ(last_status(), kUpgradeFailed);
}

TEST_F(FlashObjectsTest, ObjectsAreAppendedToTheFileInPieces) {
  struct Case {
    uint32_t size;
    size_t reads;  // requests after the length query
  };
  for (const Case& c : {Case{32768, 1}, Case{32769, 2}, Case{100, 1}}) {
    const std::string dump = pattern(c.size, 3);
    sim_->flash(1)["/dbg/dump.bin"].assign(dump.begin(), dump.end());
    place("/tmp/fat.bin", "kept");
    sim_->clear_log();
    ASSERT_EQ(read_object(TAVO_OBJECT_DUMP, "/tmp/fat.bin"), 0u) << c.size;
    EXPECT_EQ(read_file(root_.at("/tmp/fat.bin")), "kept" + dump);
    const auto requests = pieces(171);
    ASSERT_EQ(requests.size(), c.reads + 1);
    EXPECT_EQ(requests[0], std::make_pair(0u, 0u));
    EXPECT_EQ(requests[1], std::make_pair(std::min(c.size, 32768u), 0u));
  }
  const std::string vpd = pattern(40, 4);
  sim_->flash(1)["/vpd/ntr_pf.vpd"].assign(vpd.begin(), vpd.end());
  ASSERT_EQ(read_object(TAVO_OBJECT_VPD, "/tmp/vpd.bin"), 0u);
  EXPECT_EQ(read_file(root_.at("/tmp/vpd.bin")), vpd);
}

TEST_F(FlashObjectsTest, ObjectReadsFailWithTheirStatus) {
  sim_->flash(1)["/dbg/dump.bin"].clear();
  EXPECT_EQ(read_object(TAVO_OBJECT_DUMP, "/tmp/empty.bin"), 1u);
  EXPECT_EQ(last_status(), kNoData);
  EXPECT_EQ(read_file(root_.at("/tmp/empty.bin")), "");
  const std::string dump = pattern(40000, 5);
  sim_->flash(1)["/dbg/dump.bin"].assign(dump.begin(), dump.end());
  fail_mailbox(1, 171, 3).skip = 1;
  EXPECT_EQ(read_object(TAVO_OBJECT_DUMP, "/tmp/failed.bin"), 1u);
  EXPECT_EQ(last_status(), Status(65, "Unable to retrieve FAT data. Application internal error occurred. Please check "
                                      "tavo2d.log file for more information."));
  // A firmware that answers more than was asked is not believed.
  sim_->on(1, 171, [](sim::Simulator&, sim::MailboxCall& call) {
    const uint32_t length = 40000;
    memcpy(call.payload.data(), &length, sizeof length);
    return sim::MailboxReply{};
  });
  EXPECT_EQ(read_object(TAVO_OBJECT_DUMP, "/tmp/long.bin"), 1u);
  EXPECT_EQ(read_file(root_.at("/tmp/long.bin")), "");
  EXPECT_EQ(read_object(9, "/tmp/other.bin"), 1u);
}

TEST_F(FlashObjectsTest, ByteOrderSwapsWholeWords) {
  uint32_t words[3] = {0x11223344, 0x55667788, 0x99AABBCC};
  swap32_buffer(words, 5);  // rounded up to two words
  EXPECT_EQ(words[0], 0x44332211u);
  EXPECT_EQ(words[1], 0x88776655u);
  EXPECT_EQ(words[2], 0x99AABBCCu);
  swap16_buffer(words, 4);
  EXPECT_EQ(words[0], 0x22114433u);
  swap16_buffer(words, 3);
  swap32_buffer(nullptr, 8);
  EXPECT_EQ(words[0], 0x22114433u);
}

}  // namespace
}  // namespace tavo::test
