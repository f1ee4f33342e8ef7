// FAT data, the flash dump, PCI configuration texts and the firmware
// command line: files byte for byte, pieces as sent, failures of the
// firmware and of the output file, Galtor and virtual functions.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "firmware/flash_update.h"
#include "tests/firmware/logs_fixture.h"
#include "transport/firmware_records.h"

namespace tavo::test {
namespace {

using Words = std::vector<std::vector<uint32_t>>;

const Status kFatFailed{65,
                        "Unable to retrieve FAT data. Application internal error occurred. Please check "
                        "tavo2d.log file for more information."};
const Status kBadFatFile{66, "Invalid FAT file name. Please use valid FAT file name."};

class DumpsTest : public LogsTest {
 protected:
  uint32_t retrieve_fat(const std::string& path) { return act("Corvane0/FATData/RetrieveFATData", {root_.at(path)}); }
  // (operation, offset, length) of each FAT request.
  Words fat_requests() {
    Words out;
    for (const auto& p : payloads(1, 68)) {
      FatLogRequest r;
      memcpy(&r, p.data(), sizeof r);
      out.push_back({r.operation, r.offset, r.length});
    }
    return out;
  }
};

TEST_F(DumpsTest, FatDataIsWrittenWithoutItsFirstFourBytes) {
  const std::string data = pattern(64001, 3);
  start_with(kCv3, {{"/fat", data}});
  sim_->clear_log();
  ASSERT_EQ(retrieve_fat("/tmp/fat.bin"), 0u);
  EXPECT_EQ(file("/tmp/fat.bin"), data.substr(4));
  EXPECT_EQ(fat_requests(), (Words{{1, 0, 0}, {1, 0, 0}, {0, 0, 64000}, {0, 64000, 1}}));
  // A file that cannot be made fails only once every piece was read.
  sim_->clear_log();
  EXPECT_EQ(retrieve_fat("/none/fat.bin"), 1u);
  EXPECT_EQ(last_status(), kBadFatFile);
  EXPECT_EQ(mailbox_count(1, 68), 4);

  sim_->clear_log();
  ASSERT_EQ(act("Corvane0/FATData/ClearFATData"), 0u);
  EXPECT_EQ(fat_requests(), (Words{{2, 0, 0}}));
  EXPECT_EQ(get("Corvane0/FATData/FATDataValid"), "No");
  EXPECT_EQ(retrieve_fat("/tmp/none.bin"), 0u);
  EXPECT_EQ(last_status(), Status(77, "There is no FAT data to be retrieved."));
  EXPECT_EQ(file("/tmp/none.bin"), "-");
  fail_mailbox(1, 68, 3);
  EXPECT_EQ(act("Corvane0/FATData/ClearFATData"), 1u);
  EXPECT_EQ(last_status(), kFatFailed);
}

TEST_F(DumpsTest, FatFailuresNeverLeaveACutFile) {
  const std::string data = pattern(150000, 4);
  struct Case {
    int skip;             // a firmware failure after so many 68/1 requests,
    sim::FaultKind file;  // else this fault on the file's write
    uint32_t result;
    Status status;
    std::string file_after;  // the file is made once the data is whole
  };
  const Case cases[] = {{0, sim::FaultKind::FirmwareStatus, 1, kFatFailed, "old"},  // the size query
                        {3, sim::FaultKind::FirmwareStatus, 1, kFatFailed, "old"},  // the middle piece
                        {-1, sim::FaultKind::FileErrno, 1, kBadFatFile, "-"},
                        {-1, sim::FaultKind::ShortWrite, 0, kNone, data.substr(4)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.skip);
    start_with(kCv3, {{"/fat", data}});
    place("/tmp/fat.bin", "old");
    if (c.skip >= 0)
      fail_mailbox(1, 68, 3).skip = c.skip;
    else
      fail_write(c.file, "fat.bin");
    EXPECT_EQ(retrieve_fat("/tmp/fat.bin"), c.result);
    EXPECT_EQ(last_status(), c.status);
    EXPECT_TRUE(file("/tmp/fat.bin") == c.file_after);
  }
}

TEST_F(DumpsTest, GaltorFatDataIsItsDumpObjectAppended) {
  const std::string dump = pattern(40000, 5);
  start_with(kGaltor, {{"/dbg/dump.bin", dump}});
  sim_->clear_log();
  EXPECT_EQ(get("Corvane0/FATData/FATDataValid"), "Yes");
  EXPECT_EQ(sim_->mailbox_log().back().kind, sim::LogKind::NicIoctl);
  place("/tmp/fat.bin", "kept");
  ASSERT_EQ(retrieve_fat("/tmp/fat.bin"), 0u);
  EXPECT_EQ(file("/tmp/fat.bin"), "kept" + dump);
  EXPECT_EQ(mailbox_count(1, 68), 0);
  EXPECT_EQ(retrieve_fat("/no-such-dir/fat.bin"), 1u);
  EXPECT_EQ(last_status(), kFatFailed);
  plant(0, "/dbg/dump.bin", "");
  EXPECT_EQ(get("Corvane0/FATData/FATDataValid"), "No");
}

TEST_F(DumpsTest, FlashDumpIsTheWholeFlash) {
  const std::string image = pattern(kFlashImageSize, 6);
  start_with(kCv3, {{"/optype/22", image}});
  place("/tmp/flash.bin", "old content");
  sim_->clear_log();
  ASSERT_EQ(act("Corvane0/RetrieveTessmarkPCIDump", {root_.at("/tmp/flash.bin")}), 0u);
  EXPECT_TRUE(file("/tmp/flash.bin") == image);
  const auto pieces = payloads(1, 6);
  ASSERT_EQ(pieces.size(), 263u);
  EXPECT_EQ(pieces.back().size(), 20u + 9216);
  EXPECT_EQ(std::vector<uint8_t>(pieces.back().begin(), pieces.back().begin() + 16),
            (std::vector<uint8_t>{4, 0, 0, 0, 22, 0, 0, 0, 0, 0x24, 0, 0, 0, 0xDC, 0xFF, 0}));
  for (const auto& e : sim_->mailbox_log()) EXPECT_EQ(e.kind, sim::LogKind::NicIoctl);
  // A failed piece ends the action with no file and the generic reason.
  fail_mailbox(1, 6, 3).skip = 100;
  EXPECT_EQ(act("Corvane0/RetrieveTessmarkPCIDump", {root_.at("/tmp/flash.bin")}), 1u);
  EXPECT_EQ(last_status(), action_failed("RetrieveTessmarkPCIDump"));
  EXPECT_EQ(file("/tmp/flash.bin"), "-");
  fail_write(sim::FaultKind::FileErrno, "flash.bin");
  EXPECT_EQ(act("Corvane0/RetrieveTessmarkPCIDump", {root_.at("/tmp/flash.bin")}), 1u);
  EXPECT_EQ(last_status(), kBadFile);
  EXPECT_EQ(file("/tmp/flash.bin"), "-");
}

// Configuration bytes from offset, as many as count and the space hold.
std::string config_text(const std::vector<uint8_t>& cfg, uint32_t offset, uint32_t count) {
  std::string text;
  for (uint32_t i = 0; i < count && offset + i < 256; ++i) {
    char hex[4];
    snprintf(hex, sizeof hex, "%02x ", cfg[offset + i]);
    text += (i > 0 && i % 16 == 0 ? "\n" : "") + std::string(hex);
  }
  return text;
}

TEST_F(DumpsTest, PciConfigurationTexts) {
  start_with(kCv3, {});
  struct Case {
    const char* action;
    int function;  // of the topology
    uint32_t offset, count;
    size_t length;
  };
  const Case cases[] = {{"iSCSIPhysicalHBA0/PCI/DumpiSCSIPCIConfigRegion", 0, 0, 4, 12},
                        {"NICPhysicalHBA0/PCI/DumpNICPCIConfigRegion", 1, 0, 4, 12},
                        {"NICPhysicalHBA0/PCI/DumpNICPCIConfigRegion", 1, 0, 20, 61},
                        {"iSCSIPhysicalHBA0/PCI/DumpiSCSIPCIConfigRegion", 0, 0x20, 64, 195},
                        {"NICPhysicalHBA0/PCI/DumpNICPCIConfigRegion", 1, 252, 64, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.offset));
    sim_->clear_log();
    ASSERT_EQ(act("Corvane0/" + std::string(c.action), {std::to_string(c.offset), std::to_string(c.count)}), 0u);
    const auto [code, text] = last_status();
    EXPECT_EQ(code, 61u);
    EXPECT_EQ(text, config_text(sim_->pci_config_space(sim_->topology().functions[c.function]), c.offset, c.count));
    EXPECT_EQ(text.size(), c.length);
    EXPECT_EQ(sim_->mailbox_log().back().kind, c.function == 1 ? sim::LogKind::NicIoctl : sim::LogKind::IscsiIoctl);
  }
  fail_mailbox(1, 72, 3);
  EXPECT_EQ(act("Corvane0/NICPhysicalHBA0/PCI/DumpNICPCIConfigRegion", {"0x10", "4"}), 1u);
  EXPECT_EQ(last_status(), Status(121, "Cannot dump the config region for the given offset."));
  // Galtor's NIC functions are read through the NIC driver, which a 64-bit
  // process cannot give its buffer.
  start_with(kGaltor, {});
  const bool wide = sizeof(void*) > sizeof(uint32_t);
  EXPECT_EQ(act("Corvane0/NICPhysicalHBA0/PCI/DumpNICPCIConfigRegion", {"0", "20"}), wide ? 1u : 0u);
  EXPECT_EQ(last_status(), wide
                               ? Status(1, last_status().second)
                               : Status(61, config_text(sim_->pci_config_space(sim_->topology().functions[0]), 0, 20)));
}

TEST_F(DumpsTest, FirmwareCommandLineOutput) {
  const std::string shown = pattern(3000, 7);
  start_with(kCv3, {{"/fwcli/show port 0", shown}});
  const std::string path = root_.at("/tmp/cli.txt");
  place("/tmp/cli.txt", "old");
  ASSERT_EQ(act("Corvane0/RetrieveFwCliData", {path, "show port 0"}), 0u);
  EXPECT_EQ(file("/tmp/cli.txt"), shown);
  const std::vector<uint8_t> sent = last_payload(11, 24);
  const uint32_t head[6] = {3, 0xFFFFFFFF, 0, 0, 64000, 11};
  EXPECT_EQ(memcmp(sent.data(), head, sizeof head), 0);
  EXPECT_EQ(std::string(sent.begin() + 24, sent.begin() + 36), std::string("show port 0") + '\0');

  EXPECT_EQ(act("Corvane0/RetrieveFwCliData", {path, "reboot"}), 331u);
  EXPECT_EQ(last_status(), Status(331, "Given FWCliString not supported."));
  EXPECT_EQ(file("/tmp/cli.txt"), "-");
  // Output past the buffer is cut to it; a failed command or another
  // segment status fails.
  sim_->on(11, 24, [](sim::Simulator&, sim::MailboxCall& call) {
    const uint32_t answer[2] = {0, 70000};
    memset(call.payload.data(), 'z', call.payload.size());
    memcpy(call.payload.data(), answer, sizeof answer);
    return sim::MailboxReply{};
  });
  EXPECT_EQ(act("Corvane0/RetrieveFwCliData", {path, "dump"}), 0u);
  EXPECT_EQ(file("/tmp/cli.txt"), std::string(64000, 'z'));
  fail_mailbox(11, 24, 3);
  EXPECT_EQ(act("Corvane0/RetrieveFwCliData", {path, "dump"}), 1u);
  EXPECT_EQ(last_status(), firmware_status(269));
  // Refused unsent, with the generic reason, on Galtor and inside a virtual function.
  for (const std::string& topology : {kGaltor, kInsideVf}) {
    start_with(topology, {{"/fwcli/xy", "z"}});
    sim_->clear_log();
    EXPECT_EQ(act("Corvane0/RetrieveFwCliData", {path, "xy"}), 1u);
    EXPECT_EQ(mailbox_count(11, 24), 0);
    EXPECT_EQ(last_status(), action_failed("RetrieveFwCliData"));
  }
}

// A name above the root stays under it, as in a chroot: what the actions
// write and read lands at the root, never beside it.
TEST_F(DumpsTest, NamesAboveTheRootStayUnderIt) {
  start_with(kCv3, {{"/optype/22", pattern(kFlashImageSize, 6)}, {"/fwcli/show", "shown"}, {"/arm/strings", "table"},
                    {"/arm/ram", pattern(3 * kArmEntrySize, 3)}});
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(root_.at("/tmp").c_str()), 0);  // the ARM log's table file goes there
  place("/image.ufi", TkiImage('3').directory(0, {{0xA0, 0, 0}}, 0).fill(0x200000, 0x200000, 1).bytes());
  place("/fw.ufi", "image");
  const std::pair<std::function<uint32_t()>, const char*> cases[] = {  // the call, the file it wrote or read
      {[&] { return act("Corvane0/RetrieveTessmarkCoreDump", {"/../../core.dmp"}); }, "/core.dmp"},
      {[&] { return act("Corvane0/RetrieveTessmarkPCIDump", {"/../../tmp/../../flash.bin"}); }, "/flash.bin"},
      {[&] { return act("Corvane0/ExtFATData/RetrieveARMLog", {"/../../arm.log", "RAM"}); }, "/arm.log"},
      {[&] { return act("Corvane0/RetrieveFwCliData", {"/../../cli.txt", "show"}); }, "/cli.txt"},
      {[&] { return act("Corvane0/UpgradeFlashROM", {"/../../image.ufi"}); }, "/image.ufi"},
      {[&] { return TAVO_firmware_download(get_node(tag("Corvane0")), 1, 3, "/../../fw.ufi"); },
       "/lib/firmware/fw.ufi"},
  };
  for (const auto& [run, lands] : cases) {
    EXPECT_EQ(run(), 0u) << lands;
    const std::string name = std::string(lands).substr(std::string(lands).rfind('/'));
    EXPECT_TRUE(file_exists(root_.at(lands)) && !file_exists(root_.path() + "/../.." + name)) << lands;
  }
  EXPECT_EQ(file("/cli.txt"), "shown");
  EXPECT_GT(mailbox_count(1, 7), 0) << "the image under the root was flashed";
  ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
}  // namespace tavo::test
