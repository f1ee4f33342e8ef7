// What tells one controller from another: its generation, identity texts,
// serial numbers, PCI Express link and PCI domain.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "tests/support/client_fixture.h"
#include "tree/declare.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

class IdentityTest : public ClientTest {
 protected:
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
};

TEST_F(IdentityTest, CapabilitiesAndFirmwareVersions) {
  struct Row {
    uint32_t bits;
    uint8_t state;
    const char* capabilities;
    const char* status;
  } rows[] = {
      {0x011, 0, "TCP offload,iSCSI Initiator", "Working"},
      {0x3C2, 1, "Raw Ethernet,FCoE Initiator,FCoE Target,DAL,LRO", "Degraded"},
      {0x8000, 2, "Invalid", "Critical"},
      {0x8010, 3, "Invalid", "Failed"},
      {0, 7, "", "Unknown"},
  };
  for (const Row& r : rows) {
    ControllerAttributes block{};
    block.capabilities = r.bits;
    block.firmware_status = r.state;
    ASSERT_EQ(TAVO_update_cntr_attribs(node("Corvane0"), &block, 0), 0u);
    EXPECT_EQ(get("Corvane0/Capabilities"), r.capabilities);
    EXPECT_EQ(get("Corvane0/FirmwareStatus"), r.status);
  }
  EXPECT_EQ(TAVO_update_cntr_attribs(node("Corvane0"), nullptr, 0), 1u);
  // The running versions keep what enumeration read, except on Galtor; the
  // version on flash is asked anew and refreshes all five.
  sim_->on(1, 32, [](sim::Simulator&, sim::MailboxCall& call) {
    ControllerAttributes a{};
    a.firmware_status = 3;
    snprintf(a.active_firmware_version, sizeof a.active_firmware_version, "12.0.0.0");
    snprintf(a.flash_firmware_version, sizeof a.flash_firmware_version, "12.0.0.1");
    memcpy(call.payload.data(), &a, sizeof a);
    return sim::MailboxReply{};
  });
  sim_->clear_log();
  EXPECT_EQ(get("Corvane2/ActiveFirmwareVersion"), "11.1.0.0");
  EXPECT_EQ(mailbox_count(1, 32), 0);
  EXPECT_EQ(get("Corvane2/FirmwareVersionOnFlash"), "12.0.0.1");
  EXPECT_EQ(get("Corvane2/FirmwareStatus"), "Failed");
  EXPECT_EQ(get("Corvane1/BIOSVersion"), "");
  EXPECT_EQ(mailbox_count(1, 32), 2);
}

TEST_F(IdentityTest, GenerationFromTheDeviceId) {
  struct Row {
    const char* device_id;
    uint32_t generation;
  } rows[] = {
      {"0x0c32", 3}, {"0c41", 4}, {"0x0C52", 5}, {"0x0c2b", 2}, {"0x1234", 0xFFFF},
      {"0x0c3z", 1}, {"", 1},     {"-0x0c32", 1}, {" 0c32", 1},
  };
  TavoNode* pci = node("Corvane0/iSCSIPhysicalHBA0/PCI");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.device_id);
    tavo_set_last_status(0, "");
    set_prop_val(pci, "DeviceID", "%s", r.device_id);
    EXPECT_EQ(get_cv_type(node("Corvane0")), r.generation);
    EXPECT_EQ(last_status().first, r.generation == 1 ? 163u : 0u);
  }
  EXPECT_EQ(last_status().second, "Failed to get the controller type.");
  set_prop_val(pci, "DeviceID", "0x0c32");
  for (const auto& [subsys, answer] : std::vector<std::pair<const char*, uint32_t>>{
           {"0xe82e", 0}, {"0x1F81", 0}, {"0xe839", 0}, {"0xe83a", 1}, {"0x0c32", 1}, {"e82e!", 1}}) {
    set_prop_val(pci, "SubsysDeviceID", "%s", subsys);
    EXPECT_EQ(TAVO_DetermineIfDellSystem(node("Corvane0")), answer) << subsys;
  }
}

TEST_F(IdentityTest, SerialNumbersFallBackToTheBus) {
  set_prop_val(node("Corvane1"), "SerialNumber", "n/a");
  char text[TAVO_VALUE_SIZE] = "";
  ASSERT_EQ(TAVO_get_asic_serial_number(node("Corvane1/NICPhysicalHBA0/PCI"), text), 0u);
  EXPECT_STREQ(text, "0x5");
  EXPECT_EQ(TAVO_get_asic_serial_number(get_node(0), text), 1u);
  std::vector<char> texts(8 * TAVO_VALUE_SIZE, '\0');
  int32_t count = 2;
  ASSERT_EQ(TAVO_enumerate_serial_numbers(&count, texts.data()), 0);
  EXPECT_EQ(count, 5);
  EXPECT_STREQ(&texts[2 * TAVO_VALUE_SIZE], "TM3C00000101");
  EXPECT_STREQ(&texts[3 * TAVO_VALUE_SIZE], "0x5");
  EXPECT_STREQ(&texts[4 * TAVO_VALUE_SIZE], "TM5M00000303");
  char bus[4], device[4], function[4], port[4];
  EXPECT_EQ(get_lhba_count(node("Corvane0/iSCSIPhysicalHBA1"), bus, device, function, port), 1u);
  EXPECT_EQ(std::string(bus) + device + function + port, "3031");
}

TEST_F(IdentityTest, PciExpressLinkIsTheRateOfItsCode) {
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=A pcie=1x4\ncontroller 1 generation=cv2 serial=B pcie=2x8\n"
                    "controller 2 generation=moravel serial=C pcie=3x16\n"
                    "controller 3 generation=cv3 serial=D pcie=4x8\n"
                    "controller 4 generation=moravel serial=E pcie=5x32\n"
                    "controller 5 generation=cv3 serial=F pcie=6x1\n"
                    "iscsi controller=0 function=0 device=0\niscsi controller=1 function=0 device=1\n"
                    "iscsi controller=2 function=0 device=2\nnic controller=3 function=1 name=vmnic0\n"
                    "nic controller=3 function=0 name=vmnic1\nnic controller=4 function=0 name=vmnic2\n"
                    "iscsi controller=5 function=0 device=5\n"),
            0u);
  // Controllers with an iSCSI function come first.
  const char* speeds[] = {"2.5GT/s", "5.0GT/s", "8.0GT/s", "Unknown", "16.0GT/s", "32.0GT/s"};
  const char* widths[] = {"x4", "x8", "x16", "x1", "x8", "x32"};
  for (int i = 0; i < 6; ++i) {
    const std::string c = "Corvane" + std::to_string(i);
    EXPECT_EQ(get(c + "/PCIExpressLinkSpeed"), speeds[i]) << c;
    EXPECT_EQ(get(c + "/PCIExpressBusWidth"), widths[i]) << c;
  }
  // The word comes from offset 0xD0 of the function's configuration space.
  const std::vector<uint8_t> request = last_payload(1, 72);
  ASSERT_GE(request.size(), 8u);
  EXPECT_EQ(request[0] | request[1] << 8, 0xD0);
  EXPECT_EQ(request[4], 4);
  fail_mailbox(1, 72, 3);
  EXPECT_EQ(get("Corvane0/PCIExpressLinkSpeed"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{121, "Cannot dump the config region for the given offset."}));
}

// Galtor's link word is read through the NIC device, so it goes to a NIC
// function (that of PCI function 0), never to an iSCSI function's number.
TEST_F(IdentityTest, GaltorReadsTheLinkThroughItsNicFunctionZero) {
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=A bus=3\niscsi controller=0 function=2 device=0\n"
                    "iscsi controller=0 function=3 device=1\n"
                    "controller 1 generation=galtor serial=G bus=5 pcie=2x4\niscsi controller=1 function=2 device=2\n"
                    "nic controller=1 function=1 port=1 name=vmnic0\nnic controller=1 function=0 name=vmnic1\n"),
            0u);
  sim_->clear_log();
  // A 64-bit process cannot hand the driver its buffer's address: nothing
  // is sent there.
  const bool sent = sizeof(void*) == sizeof(uint32_t);
  if (sent) {
    EXPECT_EQ(get("Corvane1/PCIExpressLinkSpeed"), "5.0GT/s");
    EXPECT_EQ(get("Corvane1/PCIExpressBusWidth"), "x4");
  } else {
    get("Corvane1/PCIExpressLinkSpeed");
    get("Corvane1/PCIExpressBusWidth");
  }
  EXPECT_EQ(mailbox_count(1, 72), 0);
  int reads = 0;
  for (const sim::LogEntry& e : sim_->log()) {
    if (e.kind != sim::LogKind::NicIoctl || e.request != kNicPciConfigRequest) continue;
    PciConfigRequest r;
    memcpy(&r, e.bytes.data(), sizeof r);
    const uint32_t function = r.function, offset = r.offset;
    EXPECT_EQ(function, 0u);
    EXPECT_EQ(offset, 0xA4u);
    ++reads;
  }
  EXPECT_EQ(reads, sent ? 2 : 0);
}

// The whole vmhba name is matched: vmhba3 is not found in vmhba33's line.
TEST_F(IdentityTest, DomainNumberMatchesTheWholeVmhbaName) {
  ASSERT_EQ(restart("controller 0 serial=A bus=3 domain=0x2b\ncontroller 1 serial=B bus=4 domain=1\n"
                    "iscsi controller=0 function=0 device=0 vmhba=vmhba33\n"
                    "iscsi controller=1 function=0 device=1 vmhba=vmhba3\n"),
            0u);
  static tree::SlotArea lhba_slots;
  static const tree::ChildDef lhba_children[] = {
      declare::property("IfName", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 32, "", handle_internal_property,
                        "Name."),
  };
  static const tree::GroupDef lhba = {"LogicalHBA", "A test group.", 1, 0, nullptr, lhba_children, &lhba_slots};
  struct Row {
    const char* function;
    const char* vmhba;
    const char* domain;
  } rows[] = {
      {"Corvane1/iSCSIPhysicalHBA0", "vmhba3", "0x0001"},
      {"Corvane0/iSCSIPhysicalHBA0", "vmhba33", "0x002b"},
      {"Corvane0/iSCSIPhysicalHBA0", "vmhba4", "<unreadable>"},
  };
  for (const Row& r : rows) {
    TavoNode* fn = node(r.function);
    TavoNode* group = internal_get_node(fn, "LogicalHBA0", TAVO_KIND_GROUP);
    if (group == nullptr) group = tree::build_group(lhba, fn);
    set_prop_val(group, "IfName", "%s", r.vmhba);
    EXPECT_EQ(get(std::string(r.function) + "/PCI/DomainNumber"), r.domain) << r.vmhba;
  }
}

}  // namespace
}  // namespace tavo::test
