#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/transport/transport_fixture.h"

namespace tavo {
namespace {

const char kAdapters[] = R"(controller 0 generation=cv3 bus=3
controller 1 generation=galtor bus=5 vendor=0xF1A1
controller 2 generation=galtor bus=6 vendor=0xF1A1 nic-device-id=0x0CEE
controller 3 generation=cv3 bus=8 vendor=0x8086
nic controller=0 function=0 name=vmnic0
nic controller=1 function=0 name=vmnic2
nic controller=2 function=0 name=vmnic9
nic controller=3 function=0 name=vmnic.other
)";

class InterfaceCheckTest : public test::TransportTest {
 protected:
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& e : sim_->log())
      if (e.kind == sim::LogKind::Shell) out.push_back(e.command);
    return out;
  }
};

TEST_F(InterfaceCheckTest, VendorAndRejectedDeviceBytesDecide) {
  reopen_with(kAdapters);
  const struct {
    const char* name;
    uint32_t result;
    size_t commands;
  } rows[] = {
      {"vmnic0", 0, 2},       // first vendor ID
      {"vmnic2", 0, 4},       // second vendor ID, not the rejected device
      {"vmnic9", 1, 4},       // second vendor ID and the rejected device
      {"vmnic.other", 1, 3},  // neither vendor: another maker's NIC
      {"vmnic77", 1, 1},      // ethtool knows no such interface: no address
  };
  for (const auto& r : rows) {
    sim_->clear_log();
    EXPECT_EQ(TAVO_check_valid_interface(r.name), r.result) << r.name;
    EXPECT_EQ(commands().size(), r.commands) << r.name;
  }
  sim_->clear_log();
  TAVO_check_valid_interface("vmnic9");
  const auto cmds = commands();
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_EQ(cmds[0], "ethtool -i 'vmnic9' 2> /dev/null | grep -a bus-info | cut -d\" \" -f2");
  EXPECT_EQ(cmds[1], "lspci -s '0000:06:00.0' -x 2> /dev/null | grep -a 00: | grep -a \"a0 f1\" > /dev/null 2>&1");
  EXPECT_EQ(cmds[2], "lspci -s '0000:06:00.0' -x 2> /dev/null | grep -a 00: | grep -a \"a1 f1\" > /dev/null 2>&1");
  EXPECT_EQ(cmds[3], "lspci -s '0000:06:00.0' -x 2> /dev/null | grep -a 00: | grep -a \"ee 0c\" > /dev/null 2>&1");
  EXPECT_NE(debug_log().find("Given Interface name is not valid or not PF."), std::string::npos);
  EXPECT_TRUE(sim_->outside_root_writes().empty());
}

// The bus address is read straight from the command's output, whole;
// only a well-formed domain:bus:device.function address goes on to lspci.
TEST_F(InterfaceCheckTest, BusAddressIsReadWholeAndMustBeWellFormed) {
  const struct {
    std::string output;
    uint32_t result;
  } rows[] = {
      {"0000:03:00.0\n", 0},
      {"0000:03:00.0", 0},                  // no final line break
      {std::string("0000:03:00.0\0x\n", 15), 0},  // a NUL ends the text
      {"junk\n0000:03:00.0\n", 0},         // the last line counts
      {"0000:03:00.0\n\n", 1},             // an empty last line
      {"", 1},
      {"03:00.0\n", 1},
      {"0000:03:00.8\n", 1},
      {"0000:03:0g.0\n", 1},
      {"0000:03:00.0 \n", 1},
      {"0000:03:00.0:1\n", 1},
  };
  for (const auto& r : rows) {
    sim_->set_shell_answer("cut", 0, r.output);
    sim_->clear_log();
    EXPECT_EQ(TAVO_check_valid_interface("vmnic0"), r.result) << r.output;
    EXPECT_EQ(commands().size(), r.result == 0 ? 2u : 1u) << r.output;
  }
  // A link planted where a temporary file used to be is never followed.
  const std::string outside = root_.path() + "-victim";
  test::write_file(outside, "keep");
  ASSERT_EQ(symlink(outside.c_str(), root_.at("/tmp/ifname_vmnic0").c_str()), 0);
  TAVO_check_valid_interface("vmnic0");
  EXPECT_EQ(test::read_file(outside), "keep");
  unlink(outside.c_str());
}

TEST_F(InterfaceCheckTest, NamesUnfitForAShellRunNothing) {
  for (const char* name : {"", "vmnic0;reboot", "a b", "vmnic0'", "$(id)", "abcdefghijklmnop", "vm/nic"}) {
    sim_->clear_log();
    EXPECT_EQ(TAVO_check_valid_interface(name), 1u) << name;
    EXPECT_TRUE(commands().empty()) << name;
  }
  EXPECT_EQ(TAVO_check_valid_interface(nullptr), 1u);
  // A bus address that is no plain address is not passed on either.
  sim_->set_shell_answer("cut", 0, "03:00.0;reboot\n");
  sim_->clear_log();
  EXPECT_EQ(TAVO_check_valid_interface("vmnic0"), 1u);
  EXPECT_EQ(commands().size(), 1u);
}

}  // namespace
}  // namespace tavo
