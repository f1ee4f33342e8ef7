// The host-side download through the simulated shell: every command line
// byte for byte, ethtool's refusals, the sysfs path, the interface brought
// up and down again, folders of any name, and hostile file and interface
// names that run no command and touch no file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "firmware/flash_update.h"
#include "tests/firmware/firmware_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

const std::vector<std::string> kEthtool = {
    "ifconfig 'vmnic0' 2> /dev/null | grep UP > /dev/null",
    "ethtool -h 2>&1 | grep \"ethtool -f\" > /dev/null",
    "getenforce 2> /dev/null | grep Enforcing >/dev/null",
    "ethtool -f 'vmnic0' 'fw.ufi' 2>&1 >/dev/null",
};

class HostDownloadTest : public FirmwareTest {
 protected:
  uint32_t download(const std::string& path, const char* controller = "Corvane0", uint32_t port = 1,
                    uint32_t generation = 3) {
    sim_->clear_log();
    tavo_set_last_status(0, "");
    return TAVO_firmware_download(get_node(tag(controller)), port, generation, path.c_str());
  }
  std::vector<std::string> commands() {
    std::vector<std::string> out;
    for (const sim::LogEntry& e : sim_->log())
      if (e.kind == sim::LogKind::Shell) out.push_back(e.command);
    return out;
  }
  std::set<std::string> files() {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_.path())) out.insert(e.path().string());
    return out;
  }
};

TEST_F(HostDownloadTest, EthtoolFlashesTheCopyInTheFirmwareFolder) {
  const std::string image = pattern(5000, 1);
  place("/tmp/new/fw.ufi", image);
  ASSERT_EQ(download("/tmp/new/fw.ufi"), 0u);
  EXPECT_EQ(last_status(), kUpdated);
  EXPECT_EQ(commands(), kEthtool);
  EXPECT_EQ(read_file(root_.at("/lib/firmware/fw.ufi")), image);
  EXPECT_EQ(object(0, "/prg"), image) << "the driver got the file";
  EXPECT_TRUE(file_exists(root_.at("/tmp/new/fw.ufi")));
  // A file already in the folder is flashed where it is.
  ASSERT_EQ(download("/lib/firmware/fw.ufi"), 0u);
  EXPECT_EQ(read_file(root_.at("/lib/firmware/fw.ufi")), image);
  EXPECT_TRUE(sim_->outside_root_writes().empty());
}

// The folder is only opened with file calls: any folder they open will do,
// and only the plain file name reaches the shell.
TEST_F(HostDownloadTest, AnyFolderTheFileCallsOpenIsTaken) {
  for (const char* folder : {"/tmp/a b", "/tmp/x+y@z~,=%", "/tmp/it's;$(reboot)`id`", "/tmp/new\nline"}) {
    const std::string image = pattern(300, static_cast<uint8_t>(folder[5]));
    place(std::string(folder) + "/fw.ufi", image);
    ASSERT_EQ(download(std::string(folder) + "/fw.ufi"), 0u) << folder;
    EXPECT_EQ(last_status(), kUpdated) << folder;
    EXPECT_EQ(commands(), kEthtool) << folder;
    EXPECT_EQ(read_file(root_.at("/lib/firmware/fw.ufi")), image) << folder;
  }
}

TEST_F(HostDownloadTest, AnInterfaceThatWasDownIsTakenDownAgain) {
  place("/tmp/fw.ufi", "image");
  for (const auto& [status, error] : {std::make_pair(0, ""), std::make_pair(255, "Key was rejected by service")}) {
    sim_->set_interface_up("vmnic0", false);
    sim_->set_shell_answer("ethtool -f", status, "", error);
    download("/tmp/fw.ufi");
    std::vector<std::string> expected = kEthtool;
    expected.insert(expected.begin() + 1, "ifconfig 'vmnic0' up 2> /dev/null");
    expected.push_back("ifconfig 'vmnic0' down 2> /dev/null");
    EXPECT_EQ(commands(), expected);
    EXPECT_FALSE(sim_->interface_up("vmnic0"));
  }
}

TEST_F(HostDownloadTest, EthtoolRefusalsAreToldByTheFirstLineOfItsErrors) {
  place("/tmp/fw.ufi", "image");
  struct Case {
    int exit_status;
    const char* error;
    uint32_t result;
    Status status;
  };
  const Case cases[] = {
      {255, "Cannot flash: Resource temporarily unavailable\n", 318, kTwice},
      {255, "Flashing failed: Required key not available\n", 337, kNoSignature},
      {255, "Flashing failed: Key was rejected by service\n", 336, kBadSignature},
      {255, "Flashing failed: Input/output error\nKey was rejected by service\n", 1, kUpgradeFailed},
      {255, "", 1, kUpgradeFailed},
      {1, "Key was rejected by service\n", 1, kUpgradeFailed},
      {0, "warning: slow flash\n", 0, kUpdated},
  };
  for (const Case& c : cases) {
    sim_->set_shell_answer("ethtool -f", c.exit_status, "", c.error);
    EXPECT_EQ(download("/tmp/fw.ufi"), c.result) << c.error;
    EXPECT_EQ(last_status(), c.status) << c.error;
  }
  // With SELinux enforcing, it is off for the length of the flash.
  sim_->set_shell_answer("getenforce", 0, "Enforcing\n");
  ASSERT_EQ(download("/tmp/fw.ufi"), 0u);
  std::vector<std::string> expected = kEthtool;
  expected.insert(expected.begin() + 3, "setenforce 0");
  expected.push_back("setenforce 1");
  EXPECT_EQ(commands(), expected);
}

TEST_F(HostDownloadTest, WithoutEthtoolFlashTheDriverFileTakesTheName) {
  sim_->set_shell_answer("ethtool -h", 0, "Usage:\n        ethtool -i|--driver DEVNAME\n");
  place("/tmp/fw.ufi", "image");
  EXPECT_EQ(download("/tmp/fw.ufi"), 1u);
  EXPECT_EQ(last_status(), kUpgradeFailed) << "no flash_fw file";
  EXPECT_FALSE(file_exists(root_.at("/lib/firmware/fw.ufi")));
  place("/sys/class/net/vmnic0/flash_fw", "");
  place("/sys/class/firmware/timeout", "60\n");
  ASSERT_EQ(download("/tmp/fw.ufi"), 0u);
  EXPECT_EQ(last_status(), kUpdated);
  EXPECT_EQ(read_file(root_.at("/sys/class/net/vmnic0/flash_fw")), "fw.ufi\n");
  EXPECT_EQ(read_file(root_.at("/sys/class/firmware/timeout")), "60\n");
  EXPECT_EQ(read_file(root_.at("/lib/firmware/fw.ufi")), "image");
  EXPECT_EQ(commands(), (std::vector<std::string>{kEthtool[0], kEthtool[1]}));
}

TEST_F(HostDownloadTest, GaltorComparesItsVersionsAfterward) {
  place("/tmp/fw.ufi", "image");
  // A success leaves no status of an earlier call that failed.
  tavo_set_last_status(39, "Failed to upgrade the flash ROM.");
  ASSERT_EQ(TAVO_firmware_download(get_node(tag("Corvane1")), 3, 4, "/tmp/fw.ufi"), 0u);
  EXPECT_EQ(last_status(), kNone) << "the versions match";
  std::string topology = sim::default_topology_text();
  topology.replace(topology.find("vendor=0xF1A1"), 13, "vendor=0xF1A1 firmware=4.2.0.0 flash-firmware=4.2.9.0");
  start(topology);
  place("/tmp/fw.ufi", "image");
  ASSERT_EQ(download("/tmp/fw.ufi", "Corvane1", 3, 4), 0u);
  EXPECT_EQ(last_status(), kUpdated);
}

// Two processes download images of one file name to two controllers at
// once, each many times: every download answered 0 flashed its caller's
// own bytes, whatever the other copied meanwhile.
TEST_F(HostDownloadTest, DownloadsOfOneNameByTwoProcessesFlashEachItsOwnImage) {
  constexpr int kDownloads = 25;
  const struct {
    const char* controller;
    int index;
    uint32_t port, generation;
  } sides[] = {{"Corvane0", 0, 1, 3}, {"Corvane1", 1, 3, 4}};
  std::vector<pid_t> children;
  for (const auto& s : sides) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int wrong = 0;
      for (int i = 0; i < kDownloads; ++i) {
        const std::string image = pattern(3000 + 7 * i, static_cast<uint8_t>(16 * s.index + i));
        const std::string path = place("/tmp/side" + std::to_string(s.index) + "/fw.ufi", image);
        if (TAVO_firmware_download(get_node(tag(s.controller)), s.port, s.generation, path.c_str()) != 0 ||
            object(s.index, "/prg") != image)
          ++wrong;
      }
      _exit(wrong);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "downloads that flashed the other process's image";
  }
}

// A download killed at any file call may leave its copy before the
// rename; the next download of that image removes it, a start-up does not.
// Only the image's own copies go, regular files whose process no longer
// runs: a download under way elsewhere keeps its copy, and another
// program's file, a name with a line feed, a link, a second name of a file
// or a folder stays, as does what a link names.
TEST_F(HostDownloadTest, OnlyTheImagesOwnCopiesOfKilledDownloadsAreRemoved) {
  const std::string image = pattern(5000, 3);
  place("/tmp/fw.ufi", image);
  const auto copies = [&] {
    std::vector<std::string> out;
    std::error_code none;  // no folder yet: no copies
    for (const auto& e : std::filesystem::directory_iterator(root_.at("/lib/firmware"), none))
      if (e.path().filename().string().find(".tmp") != std::string::npos) out.push_back(e.path().filename());
    return out;
  };
  size_t left = 0;
  int status = sim::kCrashExitCode;
  for (int call = 0; status == sim::kCrashExitCode; ++call) {
    sim::Fault kill;
    kill.kind = sim::FaultKind::Crash;
    kill.path_contains = "/lib/firmware";
    kill.skip = call;
    status = in_child(kill, [&] { download("/tmp/fw.ufi"); });
    const std::vector<std::string> killed = copies();
    left += killed.size();
    start(sim::default_topology_text());
    EXPECT_EQ(copies(), killed) << call;
    ASSERT_EQ(download("/tmp/fw.ufi"), 0u) << call;
    EXPECT_EQ(last_status(), kUpdated) << call;
    EXPECT_EQ(read_file(root_.at("/lib/firmware/fw.ufi")), image) << call;
    EXPECT_TRUE(copies().empty()) << call;
  }
  EXPECT_GT(left, 0u) << "no kill came between the copy and its rename";

  const pid_t running = fork();
  if (running == 0) {
    pause();
    _exit(0);
  }
  const std::string dead = ".tmp.999999999.";
  place("/outside", "kept");
  struct Planted {
    std::string name;
    char kind;  // f a file, l a link to /outside, h a second name of it, d a folder
    bool stays;
  } planted[] = {
      {"fw.ufi.tmp." + std::to_string(running) + ".0", 'f', true},  // its process runs
      {"fw.ufi.tmp." + std::to_string(getpid()) + ".7", 'f', true},  // this process's own
      {"fw.ufi" + dead + "2", 'f', false},
      {"other.bin" + dead + "2", 'f', true},
      {"iwlwifi-9000.ucode.tmp.2024.1", 'f', true},
      {"x\nfw.ufi" + dead + "3", 'f', true},
      {"fw.ufi" + dead + "3\n", 'f', true},
      {"fw.ufi" + dead + "4", 'l', true},
      {"fw.ufi" + dead + "5", 'h', true},
      {"fw.ufi" + dead + "6", 'd', true},
      {"fw.ufi.tmp.999999999", 'f', true},
      {"notes.tmp.txt", 'f', true},
      {"fw.ufi.tmp.12x.0", 'f', true},
  };
  for (const Planted& p : planted) {
    const std::string at = root_.at("/lib/firmware/" + p.name);
    int made = 0;
    if (p.kind == 'f') place("/lib/firmware/" + p.name, "partial");
    if (p.kind == 'l') made = symlink(root_.at("/outside").c_str(), at.c_str());
    if (p.kind == 'h') made = link(root_.at("/outside").c_str(), at.c_str());
    if (p.kind == 'd') made = mkdir(at.c_str(), 0755);
    ASSERT_EQ(made, 0) << p.name;
  }
  ASSERT_EQ(download("/tmp/fw.ufi"), 0u);
  for (const Planted& p : planted) {
    const auto kept = std::filesystem::symlink_status(root_.at("/lib/firmware/" + p.name)).type();
    EXPECT_EQ(kept != std::filesystem::file_type::not_found, p.stays) << p.name;
  }
  EXPECT_EQ(read_file(root_.at("/outside")), "kept");
  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  start(sim::default_topology_text());
  EXPECT_TRUE(file_exists(root_.at("/lib/firmware/" + planted[0].name)));
  ASSERT_EQ(download("/tmp/fw.ufi"), 0u);
  EXPECT_FALSE(file_exists(root_.at("/lib/firmware/" + planted[0].name)));
}

TEST_F(HostDownloadTest, HostileNamesRunNothingAndTouchNoFile) {
  place("/tmp/fw.ufi", "image");
  struct Case {
    std::string path;
    uint32_t status;  // 0: none
  };
  const Case cases[] = {
      {"/tmp/fw'; reboot; '.ufi", 257}, {"/tmp/$(reboot).ufi", 257}, {"/tmp/`reboot`.ufi", 257},
      {"/tmp/a b.ufi", 257},            {"/tmp/a\nb.ufi", 257},       {"/tmp/\"x\".ufi", 257},
      {"/tmp/a+b.ufi", 257},            {"/tmp/..", 0},              {"/tmp/.", 0},
      {"/tmp/", 0},                     {"fw.ufi", 0},               {"", 0},
      // A folder that does not open: nothing runs either.
      {"/tmp/a;rm -rf /.ufi", 166},     {"/tmp/none/fw.ufi", 166},
  };
  const std::set<std::string> before = files();
  for (const Case& c : cases) {
    EXPECT_EQ(download(c.path), 1u) << c.path;
    EXPECT_EQ(last_status().first, c.status) << c.path;
    EXPECT_TRUE(commands().empty()) << c.path;
    // Through the update action no name runs a command either.
    sim_->clear_log();
    EXPECT_EQ(act("Corvane0/UpgradeFlashROM", {c.path}), 1u) << c.path;
    EXPECT_TRUE(commands().empty()) << c.path;
  }
  EXPECT_EQ(files(), before);
  // An interface name that is no plain name runs nothing either.
  char saved[sizeof tavo_glob.if_names[0]];
  memcpy(saved, tavo_glob.if_names[0], sizeof saved);
  snprintf(tavo_glob.if_names[0], sizeof saved, "%s", "vmnic0;reboot");
  EXPECT_EQ(download("/tmp/fw.ufi"), 1u);
  memcpy(tavo_glob.if_names[0], saved, sizeof saved);
  EXPECT_EQ(last_status(), kUpgradeFailed);
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(download("/tmp/fw.ufi", "Corvane0", 0), 1u) << "no NIC port 0";
  EXPECT_EQ(files(), before);
  EXPECT_TRUE(sim_->outside_root_writes().empty());
}

}  // namespace
}  // namespace tavo::test
