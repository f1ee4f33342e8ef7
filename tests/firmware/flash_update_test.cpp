// UpgradeFlashROM with images the tests build: the image and ASIC checks,
// the CV2 table, the CV3 rows the directory and the controller allow, the
// Moravel directory walk with its CRC skip and offset mode, the chunks and
// the raw firmware statuses, and bounds on what the file claims.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/flash_update.h"
#include "tests/firmware/firmware_fixture.h"
#include "transport/glob.h"
#include "transport/port_records.h"

namespace tavo::test {
namespace {

std::string adapter(const char* generation, const std::string& keys = "") {
  return std::string("controller 0 generation=") + generation + " serial=TM7 bus=3 " + keys +
         "\nnic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:30:00:00\n"
         "nic controller=0 function=1 port=1 name=vmnic1 mac=00:0e:1e:30:00:01\n";
}

struct Row {
  uint32_t optype, offset, size;
};
constexpr Row kCv2Rows[] = {{0, 0x100000, 0x140000}, {9, 0x240000, 0x140000}, {10, 0x380000, 0x140000},
                            {11, 0x4C0000, 0x140000}, {1, 0, 0x40000},            {2, 0x700000, 0x40000},
                            {8, 0x080000, 0x40000},  {3, 0x780000, 0x40000}};

// The chunks of one component sent with offsets from `offset` (or all 0).
Written chunks_of(uint32_t optype, uint32_t size, uint32_t offset = 0, bool offset_mode = false) {
  Written w{optype, {}};
  for (uint32_t sent = 0; sent < size; sent += kFlashChunkData) {
    const uint32_t n = std::min(size - sent, kFlashChunkData);
    w.chunks.push_back({sent + n == size ? kFlashOperationLast : kFlashOperationMore, n,
                        offset_mode ? offset + sent : offset});
  }
  return w;
}

class FlashUpdateTest : public FirmwareTest {
 protected:
  uint32_t upgrade(const std::string& image, int controller = 0) {
    place("/tmp/image.ufi", image);
    sim_->clear_log();
    return act("Corvane" + std::to_string(controller) + "/UpgradeFlashROM", {"/tmp/image.ufi"});
  }
  // The PHY the firmware reports for every port.
  void phy(uint16_t type, uint16_t interface) {
    sim_->on(1, 102, [type, interface](sim::Simulator&, sim::MailboxCall& call) {
      PhyDetailsRecord r{};
      r.phy_type = type;
      r.interface_type = interface;
      memcpy(call.payload.data(), &r, sizeof r);
      return sim::MailboxReply{};
    });
  }
};

TEST_F(FlashUpdateTest, Cv2FlashesItsTableAndSkipsABootCodeAlreadyInFlash) {
  start(adapter("cv2"));
  TkiImage image('2');
  for (const Row& r : kCv2Rows) image.fill(r.offset, r.size, static_cast<uint8_t>(r.optype));
  image.directory(0x40000, {}, 0);
  std::vector<Written> all;
  for (const Row& r : kCv2Rows) all.push_back(chunks_of(r.optype, r.size));
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(last_status(), kUpdated);
  EXPECT_EQ(writes(), all);
  for (const Row& r : kCv2Rows) EXPECT_EQ(component(0, r.optype), image.at(r.offset, r.size)) << r.optype;
  // The boot code's CRC now matches: the other seven go again.
  all.erase(all.begin() + 4);
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(writes(), all);
  EXPECT_EQ(last_payload(1, 6), (std::vector<uint8_t>{4, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 0xFC, 0xFF, 3, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0}));
}

TEST_F(FlashUpdateTest, ImagesOfAnotherGenerationOrWithoutSignatureAreRefused) {
  struct Case {
    const char* generation;
    std::string image;  // "" : no file
    Status status;
  };
  const std::string cv3_empty = TkiImage('3', 0, {}).bytes();
  const Case cases[] = {
      {"cv2", cv3_empty, kIncompatible},
      {"cv3", TkiImage('2').directory(0, {}, 0).bytes(), kIncompatible},
      {"moravel", cv3_empty, kIncompatible},
      {"cv3", TkiImage('3', 0, {}).signature("Halvexmoorand Corq").bytes(), kIncompatible},
      {"cv3", cv3_empty.substr(0, 100), kIncompatible},
      {"cv3", "", {39, "Cannot open the specified TKI file. Please make sure the TKI file is present in the "
                       "specified path."}},
      {"cv2", TkiImage('2').fill(0, 0x7C0000, 1).bytes(), kUpgradeFailed},  // no directory
  };
  for (const Case& c : cases) {
    start(adapter(c.generation));
    uint32_t result = 0;
    if (c.image.empty())
      result = act("Corvane0/UpgradeFlashROM", {"/tmp/none.ufi"});
    else
      result = upgrade(c.image);
    EXPECT_NE(result, 0u) << c.generation;
    EXPECT_EQ(last_status(), c.status) << c.generation;
    EXPECT_EQ(mailbox_count(1, 7), 0) << c.generation;
  }
  vm_flag = 1;
  EXPECT_EQ(upgrade(cv3_empty), 1u);
  vm_flag = 0;
  EXPECT_EQ(last_status(), Status(235, "Firmware update cannot be performed on a SR-IOV virtual function."));
}

TEST_F(FlashUpdateTest, TheAsicRevisionRefusesOlderImages) {
  struct Case {
    const char* generation;
    int revision;
    uint8_t image_asic;
    bool refused;
  };
  const Case cases[] = {
      {"cv3", 16, 16, false}, {"cv3", 16, 17, false}, {"cv3", 16, 0, true},   {"cv3", 17, 17, false},
      {"cv3", 17, 16, true},  {"cv3", 18, 5, true},   {"cv3", 15, 0, false},  {"moravel", 17, 16, true},
      {"moravel", 16, 16, false}, {"moravel", 0, 3, false}, {"moravel", 32, 17, true}, {"moravel", 17, 32, false},
  };
  for (const Case& c : cases) {
    start(adapter(c.generation, "asic=" + std::to_string(c.revision)));
    const char character = std::string(c.generation) == "cv3" ? '3' : '4';
    const uint32_t result = upgrade(TkiImage(character, c.image_asic, {}).bytes());
    EXPECT_EQ(last_status(), c.refused ? kIncompatible : kUpdated) << c.generation << " " << c.revision;
    EXPECT_EQ(result, c.refused ? 1u : 0u);
  }
}

TEST_F(FlashUpdateTest, Cv3FlashesTheListedRowsTheControllerTakes) {
  struct Case {
    const char* firmware;
    uint16_t phy_type, interface;
    std::vector<uint32_t> optypes;
  };
  const Case cases[] = {
      {"3.102.148.0", 13, 6, {0, 2, 13, 99}},
      {"3.102.147.9", 13, 5, {0, 2}},
      {"4.0.0.0", 12, 6, {0, 2, 13}},
      {"3.102", 13, 6, {0, 2, 99}},
  };
  const TkiImage image = TkiImage::cv3_four_rows();
  for (const Case& c : cases) {
    start(adapter("cv3", std::string("asic=16 firmware=") + c.firmware));
    phy(c.phy_type, c.interface);
    ASSERT_EQ(upgrade(image.bytes()), 0u) << c.firmware;
    EXPECT_EQ(last_status(), kUpdated);
    EXPECT_EQ(optypes(), c.optypes) << c.firmware;
  }
  EXPECT_EQ(component(0, 0), image.at(0x200000, 0x200000));
  EXPECT_EQ(component(0, 99), image.at(0x140000, 0x40000));
  // A PHY the firmware cannot take now is passed over; any other refusal
  // ends the update.
  fail_mailbox(1, 7, 3).skip = 64 + 16;
  EXPECT_EQ(upgrade(image.bytes()), 0u);
  fail_mailbox(1, 7, 4);
  EXPECT_EQ(upgrade(image.bytes()), 1u);
  EXPECT_EQ(last_status(), kUpgradeFailed);
  EXPECT_EQ(optypes(), std::vector<uint32_t>{0});
}

TEST_F(FlashUpdateTest, MoravelWalksItsDirectorySkippingWhatIsInFlash) {
  TkiImage image('4', 32);
  image.directory(0, {{0xA0, 0x1000, 0x9000, 0}, {0xE0, 0xA000, 0x2000}, {0x99, 0xC000, 0x100},
                      {0x30, 0xC000, 0x100}},
                  4)
      .fill(0x1000, 0xB100, 9);
  const std::string crc = image.at(0x1000 + 0x9000 - 4, 4);
  // A firmware of the 10.0 line takes optypes; any other takes offsets.
  start(adapter("moravel", "firmware=10.0.12.0"));
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(writes(), (std::vector<Written>{chunks_of(0, 0x9000), chunks_of(1, 0x2000), chunks_of(22, 0x100)}));
  EXPECT_EQ(last_payload(1, 6), (std::vector<uint8_t>{4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0xFC, 0x8F, 0, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(optypes(), (std::vector<uint32_t>{1, 22})) << "the flashed CRC matches";

  start(adapter("moravel"));
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(writes(), (std::vector<Written>{chunks_of(7, 0x9000, 0x1000, true), chunks_of(1, 0x2000, 0xA000, true),
                                            chunks_of(22, 0x100, 0xC000, true)}));
  EXPECT_EQ(object(0, "/optype/7").substr(0x1000, 0x9000), image.at(0x1000, 0x9000));
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  EXPECT_EQ(optypes(), (std::vector<uint32_t>{1, 22}));
}

TEST_F(FlashUpdateTest, MoravelFirmwareStatusesMapToTheirMessages) {
  struct Case {
    uint8_t opcode, status;
    uint16_t additional;
    int skip;  // requests of the command let through first
    Status expected;
    std::vector<uint32_t> optypes;
  };
  const Case cases[] = {
      {6, 2, 0, 0, kTwice, {}},
      {6, 3, 0, 0, kTwice, {}},
      {6, 4, 0, 0, kUpdated, {0, 1}},  // the CRC cannot be compared: flashed
      {7, 3, 0, 0, kTwice, {0}},
      {7, 23, 86, 0, kBadSignature, {0}},
      {7, 23, 87, 0, kNoSignature, {0}},
      {7, 5, 0, 0, kUpgradeFailed, {0}},
      {7, 5, 0, 2, kUpdated, {0, 1}},  // a component of the image type table may fail
  };
  TkiImage image('4', 16);
  image.directory(0, {{0xA0, 0x1000, 0x9000, 0}, {0xE0, 0xA000, 0x2000}}, 2).fill(0x1000, 0xB000, 3);
  for (const Case& c : cases) {
    start(adapter("moravel", "asic=16 firmware=10.0.1.0"));
    sim::Fault& f = fail_mailbox(1, c.opcode, c.status);
    f.skip = c.skip;
    f.additional_status = c.additional;
    const uint32_t result = upgrade(image.bytes());
    EXPECT_EQ(last_status(), c.expected) << int(c.opcode) << "/" << int(c.status);
    EXPECT_EQ(result, c.expected == kUpdated ? 0u : c.expected == kUpgradeFailed ? 1u : c.expected.first);
    EXPECT_EQ(optypes(), c.optypes) << int(c.opcode) << "/" << int(c.status);
  }
  // A CRC mismatch reported for optype 23 is taken as written.
  sim::Fault& f = fail_mailbox(1, 7, 1);
  f.additional_status = 77;
  EXPECT_EQ(upgrade(TkiImage('4', 16).directory(0, {{0xD2, 0x1000, 0x100, 23}}, 1).fill(0x1000, 0x100, 4).bytes()),
            0u);
  EXPECT_EQ(last_status(), kUpdated);
}

TEST_F(FlashUpdateTest, ComponentsGoInChunksOf32768) {
  start(adapter("moravel"));
  TkiImage image('4');
  image.directory(0, {{0xE0, 0x1000, 32768}, {0x20, 0x9000, 32769}, {0x21, 0x12000, 0}}, 3).fill(0x1000, 0x12000, 5);
  ASSERT_EQ(upgrade(image.bytes()), 0u);
  const std::vector<Written> expected = {{1, {{1, 32768, 0}}}, {3, {{2, 32768, 0}, {1, 1, 0}}}};
  EXPECT_EQ(writes(), expected);
  EXPECT_EQ(component(0, 3), image.at(0x9000, 32769));
}

TEST_F(FlashUpdateTest, NothingIsFlashedWithoutAnImageToFlash) {
  start(adapter("cv3"));
  for (const auto& ids : {std::vector<uint32_t>{}, std::vector<uint32_t>{0, 2, 3}}) {
    TkiImage image('3', 0, ids);
    image.directory(0, {{0xA0, 0, 0}}, 1).fill(0x200000, 0x200000, 1);
    ASSERT_EQ(upgrade(image.bytes()), 0u);
    EXPECT_EQ(last_status(), kUpdated);
    EXPECT_EQ(mailbox_count(1, 7), 0);
  }
}

TEST_F(FlashUpdateTest, WhatTheFileClaimsIsBounded) {
  start(adapter("moravel"));
  struct Case {
    const char* what;
    std::string image;
  };
  const Case cases[] = {
      {"33 directory entries", TkiImage('4').directory(0, {{0xE0, 0x1000, 0x100}}, 33).fill(0x1000, 0x100, 1).bytes()},
      {"an image past the file's end", TkiImage('4').directory(0, {{0xE0, 0x1000, 0x1000000}}, 1).bytes()},
      {"image headers past the file's end", TkiImage('4', 0, std::vector<uint32_t>(1000, 1)).bytes().substr(0, 1024)},
      {"a directory cut by the file's end", TkiImage('4').directory(0, {}, 0).bytes().substr(0, 128 + 48 + 2000)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(upgrade(c.image), 1u) << c.what;
    EXPECT_EQ(last_status(), kUpgradeFailed) << c.what;
    EXPECT_EQ(mailbox_count(1, 7), 0) << c.what;
  }
  // A component too short for a CRC is flashed without asking for one.
  ASSERT_EQ(upgrade(TkiImage('4').directory(0, {{0xE0, 0x1000, 3, 1}}, 1).fill(0x1000, 3, 1).bytes()), 0u);
  EXPECT_EQ(mailbox_count(1, 6), 0);
  EXPECT_EQ(optypes(), std::vector<uint32_t>{7});
}

TEST_F(FlashUpdateTest, TheFirstFailingPassIsTheAnswer) {
  start(adapter("cv3"));
  TkiImage image('3', 0, {1, 1});
  image.directory(0, {{0x20, 0, 0}}, 0).fill(0xC80000, 0x80000, 1);
  fail_mailbox(1, 7, 4);
  EXPECT_EQ(upgrade(image.bytes()), 1u);
  EXPECT_EQ(last_status(), kUpgradeFailed);
  EXPECT_EQ(mailbox_count(1, 7), 1 + 16) << "the second pass still runs";
}

TEST_F(FlashUpdateTest, ImageChecksAnswerAsTheyAreCalled) {
  start(adapter("cv3"));
  const std::string path = place("/tmp/check.ufi", TkiImage('3', 17, {1}).directory(64, {}, 0).bytes());
  uint32_t type = 99;
  EXPECT_EQ(TAVO_get_ufi_type(path.c_str(), &type, 3), 3u);
  EXPECT_EQ(type, 11u);
  EXPECT_EQ(TAVO_get_ufi_type(path.c_str(), &type, 2), 0xFFFFu);
  EXPECT_EQ(TAVO_get_ufi_type("/tmp/missing.ufi", &type, 3), 39u);
  EXPECT_EQ(TAVO_fw_download(get_node(tag("Corvane0")), 1, "/tmp/missing.ufi", 0, 0, 2, 3), 1u);
  EXPECT_EQ(last_status().first, 39u);
  place("/tmp/unsigned.ufi", TkiImage('3').signature("X").bytes());
  EXPECT_EQ(TAVO_fw_download(get_node(tag("Corvane0")), 1, "/tmp/unsigned.ufi", 0, 0, 2, 3), 1u);
  EXPECT_EQ(last_status(), Status(40, "Invalid TKI file format. Please use valid TKI file."));
  uint8_t header[96], directory[2256];
  place("/tmp/cv2.ufi", TkiImage('2').bytes());
  EXPECT_EQ(ChkForValidUFI("/tmp/cv2.ufi", header, directory), 1u);
  EXPECT_EQ(last_status().first, 40u);
  // By name, the image is found in the adapter's folder.
  place("/opt/Quorvel/Tessmark/named.ufi", TkiImage('2').directory(0, {}, 0).fill(0x100, 8, 2).bytes());
  uint8_t* data = nullptr;
  ASSERT_EQ(ProcessFlashFirmwareCmd("named.ufi", 0x100, 8, &data), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 8), pattern(8, 2));
  tavo_dfree(data);
  EXPECT_EQ(ProcessFlashFirmwareCmd("named.ufi", 0x100, 0x100000, &data), 1u) << "a short read fails";
  EXPECT_EQ(TAVO_get_ufi_type("named.ufi", &type, 2), 2u);
  EXPECT_EQ(TAVO_get_ufi_type("", &type, 2), 39u) << "no name is no file in the folder";
}

// A bare name is looked for in the adapter's folder by every step of the
// update: the type check, the passes and the Galtor object reads.
TEST_F(FlashUpdateTest, BareNamesAreFoundInTheAdaptersFolder) {
  TkiImage cv2('2');
  for (const Row& r : kCv2Rows) cv2.fill(r.offset, r.size, static_cast<uint8_t>(r.optype));
  const std::pair<const char*, std::string> cases[] = {
      {"cv2", cv2.directory(0x40000, {}, 0).bytes()},
      {"cv3", TkiImage('3').directory(0, {{0xA0, 0, 0}}, 0).fill(0x200000, 0x200000, 1).bytes()},
      {"moravel", TkiImage('4').directory(0, {{0xE0, 0x1000, 64}}, 1).fill(0x1000, 64, 5).bytes()},
      {"galtor", galtor_object(1000)}};
  for (const auto& [generation, file] : cases) {
    start(adapter(generation));
    place("/opt/Quorvel/Tessmark/named.img", file);
    sim_->clear_log();
    EXPECT_EQ(act("Corvane0/UpgradeFlashROM", {"named.img"}), 0u) << generation;
    EXPECT_EQ(last_status(), kUpdated) << generation;
    EXPECT_GT(mailbox_count(1, 7) + mailbox_count(1, 172), 0) << generation;
    EXPECT_EQ(act("Corvane0/UpgradeFlashROM", {"missing.img"}), 1u);
    EXPECT_EQ(last_status().first, 39u) << "a name found nowhere is still missing";
  }
}

}  // namespace
}  // namespace tavo::test
