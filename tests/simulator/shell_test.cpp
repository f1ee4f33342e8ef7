#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/sim_fixture.h"

namespace tavo {
namespace {

using platform::fixed_path;
using platform::host;

class ShellTest : public test::SimTest {
 protected:
  static int exit_status(int wait_status) { return (wait_status >> 8) & 255; }
};

TEST_F(ShellTest, EthtoolBusInfoPipelineWritesTheAddress) {
  std::string out = fixed_path("/tmp/IfName");
  int r = host().shell("ethtool -i vmnic2 2>/dev/null | grep bus-info | cut -d\" \" -f2 > " + out);
  EXPECT_EQ(exit_status(r), 0);
  EXPECT_EQ(test::read_file(out), "0000:05:00.0\n");
  EXPECT_EQ(sim_->log().back().command.substr(0, 16), "ethtool -i vmnic");
}

TEST_F(ShellTest, OutputIsCapturedUnlessRedirected) {
  std::string out = "stale";
  EXPECT_EQ(exit_status(host().shell_output("ethtool -i vmnic2 2>/dev/null | grep bus-info | cut -d\" \" -f2", &out)),
            0);
  EXPECT_EQ(out, "0000:05:00.0\n");
  EXPECT_EQ(exit_status(host().shell_output("uname -r > " + fixed_path("/tmp/release"), &out)), 0);
  EXPECT_EQ(out, "");
}

TEST_F(ShellTest, LspciConfigDumpIsFoundByVendorBytes) {
  EXPECT_EQ(exit_status(host().shell(
                "lspci -s 0000:03:00.0 -x 2> /dev/null | grep -a 00: | grep -a \"a0 f1\"> /dev/null 2>&1")),
            0);
  // Controller 1 uses the second vendor ID.
  EXPECT_EQ(exit_status(host().shell("lspci -s 0000:05:00.0 -x 2> /dev/null | grep -a 00: | grep -a \"a0 f1\"")), 1);
  EXPECT_EQ(exit_status(host().shell("lspci -s 0000:05:00.0 -x | grep -a 00: | grep -a \"a1 f1\"")), 0);
}

TEST_F(ShellTest, LspciListsFunctionsByVendorAndDevice) {
  std::string out = fixed_path("/tmp/tavo_scsi_ids");
  host().shell("lspci -D -d f1a0:0c32 2> /dev/null | cut -d \" \" -f1 2> /dev/null > " + out);
  EXPECT_EQ(test::read_file(out), "0000:03:00.2\n0000:03:00.3\n");
}

TEST_F(ShellTest, ModinfoUnameMkdirAndUnknownCommands) {
  EXPECT_EQ(exit_status(host().shell(
                "modinfo cv2net 2> /dev/null | grep \"supported:\" | grep \"external\" > /dev/null")),
            0);
  host().shell("mkdir -p /var/log/QVL/tavo");
  EXPECT_TRUE(test::file_exists(root_.at("/var/log/QVL/tavo")));
  EXPECT_EQ(exit_status(host().shell("frobnicate --now")), 127);
  sim_->set_shell_answer("frobnicate", 3, "");
  EXPECT_EQ(exit_status(host().shell("frobnicate --now")), 3);
}

TEST_F(ShellTest, VirtualFunctionSettingsCanBeRefused) {
  EXPECT_EQ(exit_status(host().shell("ip link set vmnic2 vf 1 mac 02:00:00:00:00:01 ")), 0);
  EXPECT_NE(exit_status(host().shell("ip link set vmnic2 vf 5 vlan 3")), 0);  // only 2 VFs
  sim::Fault refuse;
  refuse.kind = sim::FaultKind::VfRefusal;
  sim_->inject(refuse);
  EXPECT_NE(exit_status(host().shell("ip link set vmnic2 vf 1 vlan 3")), 0);
}

// A command whose change the adapters cannot keep (a folder stands where
// their file goes) fails, and leaves the host as it was.
TEST_F(ShellTest, ACommandWhoseChangeCannotBeKeptFails) {
  ASSERT_EQ(mkdir(root_.at("/.tavo-sim/adapters").c_str(), 0755), 0);
  std::string out = "stale";
  EXPECT_EQ(exit_status(host().shell_output("ifconfig vmnic2 down", &out)), 1);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(sim_->interface_up("vmnic2"));
}

}  // namespace
}  // namespace tavo
