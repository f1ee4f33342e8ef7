// Network boot state and method of a NIC function and its management VLAN:
// what is read per generation and what SetNetworkBoot and ConfigureVLAN
// send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/nic/nic_fixture.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

constexpr char kBoot[] = "Corvane0/NICPhysicalHBA0/NetworkBootConfiguration/";

using NetworkBootTest = ClientTest;

// Outside Galtor the state needs the function's expansion ROM: its bit is
// the PCI function masked with 7 on CV2 and CV3, with 255 elsewhere.
TEST_F(NetworkBootTest, StateAndMethodPerGeneration) {
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/NetworkBootConfiguration/AvailableNetworkBootMethods"), "PXE");
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA0/NetworkBootConfiguration/AvailableNetworkBootMethods"), "PXE,iBFT");
  EXPECT_EQ(get(std::string(kBoot) + "NetworkBootMethod"), "PXE");
  EXPECT_EQ(get(std::string(kBoot) + "NetworkBootState"), "Disabled");
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=C bus=3\ncontroller 1 generation=moravel serial=M bus=7\n"
                    "controller 2 generation=galtor serial=G bus=5\n"
                    "nic controller=0 function=0 name=vmnic0 boot=none\nnic controller=0 function=8 name=vmnic1 boot=pxe\n"
                    "nic controller=1 function=0 name=vmnic2 boot=none\nnic controller=1 function=8 name=vmnic3 boot=ibft\n"
                    "nic controller=1 function=40 name=vmnic4 boot=pxe\nnic controller=2 function=0 name=vmnic5 boot=none\n"
                    "nic controller=2 function=1 name=vmnic6 boot=ibft\n"),
            0u);
  struct Row {
    const char* function;
    const char* state;
    const char* method;
  } rows[] = {
      {"Corvane0/NICPhysicalHBA1", "N/A", "PXE"},       // bit 0: function 0's ROM is off
      {"Corvane1/NICPhysicalHBA1", "Enabled", "iBFT"},  // bit 8
      {"Corvane1/NICPhysicalHBA2", "N/A", "PXE"},       // no bit 40
      {"Corvane2/NICPhysicalHBA0", "Disabled", "PXE"},  // Galtor: the boot record alone
      {"Corvane2/NICPhysicalHBA1", "Enabled", "iBFT"},
  };
  for (const Row& r : rows) {
    const std::string boot = std::string(r.function) + "/NetworkBootConfiguration/";
    EXPECT_EQ(get(boot + "NetworkBootState"), r.state) << r.function;
    EXPECT_EQ(get(boot + "NetworkBootMethod"), r.method) << r.function;
  }
  fail_mailbox(1, 83, 3);
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA1/NetworkBootConfiguration/NetworkBootState"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(141));
  fail_mailbox(1, 66, 3);
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA1/NetworkBootConfiguration/NetworkBootMethod"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(141));
}

TEST_F(NetworkBootTest, SetNetworkBoot) {
  const std::string action = std::string(kBoot) + "SetNetworkBoot";
  EXPECT_EQ(act(action, {"Disabled"}), 0u);
  EXPECT_EQ(last_payload(1, 67), (Bytes{0, 0, 1, 0, 0, 0, 0, 0}));  // native mode kept
  EXPECT_EQ(act(action, {"enabled", "pxe"}), 0u);
  EXPECT_EQ(last_payload(1, 67), (Bytes{1, 0, 1, 1, 0, 0, 0, 0}));
  EXPECT_STREQ(tree::property_record(get_node(tag(std::string(kBoot) + "NetworkBootState")))->value, "enabled");
  EXPECT_EQ(get(std::string(kBoot) + "NetworkBootState"), "Enabled");
  sim_->clear_log();
  EXPECT_EQ(act(action, {"Enabled"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(274));
  EXPECT_EQ(act(action, {"Enabled", "iBFT"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(273));
  EXPECT_EQ(mailbox_count(1, 67), 0);
  EXPECT_EQ(act("Corvane1/NICPhysicalHBA0/NetworkBootConfiguration/SetNetworkBoot", {"Enabled", "iBFT"}), 0u);
  EXPECT_EQ(last_payload(1, 67)[3], 2);
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA0/NetworkBootConfiguration/NetworkBootMethod"), "iBFT");
  fail_mailbox(1, 67, 3);
  EXPECT_EQ(act(action, {"Disabled"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(142));

  ASSERT_EQ(restart("controller 0 generation=cv3 serial=C\nnic controller=0 function=0 name=vmnic0 boot=none\n"), 0u);
  EXPECT_EQ(act(action, {"Disabled"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(272));
  ASSERT_EQ(restart("controller 0 nic-device-id=0x1234 serial=C\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  EXPECT_EQ(act(action, {"Disabled"}), 1u);  // no known generation: refused with the generic reason
  EXPECT_EQ(last_status(), action_failed("SetNetworkBoot"));
}

TEST_F(NetworkBootTest, ManagementVlan) {
  const std::string action = std::string(kBoot) + "ConfigureVLAN";
  EXPECT_EQ(act(action, {"100", "3"}), 0u);
  const Bytes sent = last_payload(21, 4);
  ASSERT_EQ(sent.size(), 48u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 16), (Bytes{2, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 3, 0x80}));
  EXPECT_EQ(get(std::string(kBoot) + "VLANId"), "100");
  EXPECT_EQ(get(std::string(kBoot) + "VLANPriority"), "3");
  EXPECT_EQ(act(action, {"0x100"}), 0u);  // the stored priority; hexadecimal as the tree reads it
  EXPECT_EQ(last_payload(21, 4)[12], 0);
  EXPECT_EQ(last_payload(21, 4)[13], 1);
  EXPECT_EQ(last_payload(21, 4)[14], 3);
  fail_mailbox(21, 4, 3);
  EXPECT_EQ(act(action, {"5"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(124));
  fail_mailbox(21, 4, 3);
  EXPECT_EQ(get(std::string(kBoot) + "VLANId"), "<unreadable>");

  ASSERT_EQ(restart("controller 0 generation=cv2 serial=V\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  EXPECT_EQ(get(std::string(kBoot) + "VLANId"), "0");  // CV2 keeps none: the stored text
  EXPECT_EQ(act(action, {"5"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(291));
}

// Inside a virtual function the NIC function's boot, VLAN, volatile MAC and
// vNIC values are refused.
TEST_F(NetworkBootTest, VirtualFunctionRefusals) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M bus=3\nnic controller=0 function=0 name=vmnic0\n"
                    "vf controller=0 function=1 parent=0 name=vmnic1\n"),
            0u);
  const Status vf{256, "Performed operation is not supported on a SR-IOV virtual function."};
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/IsVF"), "True");
  sim_->clear_log();
  for (const char* p : {"NetworkBootConfiguration/NetworkBootState", "vNIC/vNICEnabled", "vNIC/MaxBandwidth"}) {
    EXPECT_EQ(get(std::string("Corvane0/NICPhysicalHBA0/") + p), "<unreadable>") << p;
    EXPECT_EQ(last_status(), vf) << p;
  }
  EXPECT_EQ(act(std::string(kBoot) + "ConfigureVLAN", {"5"}), 1u);
  EXPECT_EQ(last_status(), vf);
  EXPECT_EQ(set(std::string(kBoot) + "VolatileMACAddress", "00:11:22:33:44:55"), 1u);
  EXPECT_EQ(last_status(), vf);
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

}  // namespace
}  // namespace tavo::test
