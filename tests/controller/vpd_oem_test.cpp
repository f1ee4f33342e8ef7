// Raw data the adapter keeps about itself: FRU and function VPD as hex
// segments, the OEM record, the NIC CIM constants and the NC-SI version.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "tests/support/client_fixture.h"
#include "transport/mailbox.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

std::string hex_run(unsigned first, size_t count) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < count; ++i) {
    snprintf(b, sizeof b, "%02x", static_cast<unsigned>((first + i) & 0xFF));
    s += b;
  }
  return s;
}

class VpdOemTest : public ClientTest {
 protected:
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  uint16_t vpd_pf(MailboxRequestHeader* h = nullptr) {
    const std::vector<uint8_t> p = last_payload(1, 91, h);
    return p.size() < 3 ? 0xFFFF : static_cast<uint16_t>(p[0] | p[1] << 8);
  }
};

// The default adapter's FRU VPD byte i is (i + 16 x controller) mod 256.
TEST_F(VpdOemTest, FruVpdSegments) {
  const std::string path = "Corvane0/FRUVPD/FRUVPDData";
  EXPECT_EQ(get(path + "0"), hex_run(0, 127));
  for (int i = 1; i <= 7; ++i) EXPECT_EQ(get(path + std::to_string(i)), hex_run(127u * i, 127)) << i;
  EXPECT_EQ(get(path + "8"), "f8f9fafbfcfdfeff");
  EXPECT_EQ(get(path + "9"), hex_run(0, 127));                  // block one: bytes 1,024 on
  EXPECT_EQ(get(path + "10"), hex_run(127, 127) + "f");         // cut at 255 characters
  const std::vector<uint8_t> block_one = last_payload(19, 3);
  ASSERT_EQ(block_one.size(), 1024u);
  EXPECT_EQ(std::vector<uint8_t>(block_one.begin(), block_one.begin() + 8),
            (std::vector<uint8_t>{0, 1, 0, 0, 0, 4, 0, 0}));
  // Block one failing: block zero is new, the read fails.
  fail_mailbox(19, 3, 3).skip = 1;
  EXPECT_EQ(get("Corvane1/FRUVPD/FRUVPDData0"), "<unreadable>");
  EXPECT_EQ(get("Corvane1/FRUVPD/FRUVPDData1"), hex_run(16 + 127, 127));
  EXPECT_EQ(get("Corvane1/FRUVPD/FRUVPDData9"), "");
}

// The request names the PCI function the PCI group shows, read with
// automatic base; a CV2 NIC names its fixed PF per port.
TEST_F(VpdOemTest, FunctionVpdRequestsAndSegments) {
  const std::string vpd = get("Corvane2/NICPhysicalHBA1/VPD/VPDData0");
  EXPECT_EQ(vpd.substr(0, 6), "821800");  // identifier string of 24 characters
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA1/VPD/VPDData8"), std::string(16, '0'));
  TavoNode* nic = node("Corvane2/NICPhysicalHBA1");  // NIC function 6, PCI function 1
  TavoNode* pci = internal_get_node(nic, "PCI", TAVO_KIND_GROUP);
  struct Row {
    const char* function;
    uint32_t result;
    uint16_t pf;
  } rows[] = {{"0x1", 0, 1}, {"0x3", 0, 3}, {"010", 0, 8}, {"0x3z", 1, 8}, {"-1", 1, 8}};
  for (const Row& r : rows) {
    set_prop_val(pci, "FunctionNumber", "%s", r.function);
    EXPECT_EQ(TAVO_update_vpd_data(nic, 6, TAVO_VIA_NIC), r.result) << r.function;
    EXPECT_EQ(vpd_pf(), r.pf) << r.function;
  }
  EXPECT_EQ(log_count("TAVO_update_vpd_data: pf_num is invalid"), 2);
  // Through an iSCSI device the flag byte is set.
  static const tree::GroupDef vpd_group = {"VPD", "A test group.", 0, 0, nullptr, {}};
  TavoNode* iscsi = node("Corvane0/iSCSIPhysicalHBA0");
  ASSERT_NE(tree::build_group(vpd_group, iscsi), nullptr);
  ASSERT_EQ(TAVO_update_vpd_data(iscsi, 1, TAVO_VIA_ISCSI), 0u);
  EXPECT_EQ(vpd_pf(), 2);
  EXPECT_EQ(last_payload(1, 91)[2], 1);
  // Galtor: version 1 first, version 0 when it is refused.
  fail_mailbox(1, 91, 66).version = 1;
  sim_->clear_log();
  ASSERT_EQ(TAVO_update_vpd_data(node("Corvane1/NICPhysicalHBA0"), 3, TAVO_VIA_NIC), 0u);
  MailboxRequestHeader h{};
  EXPECT_EQ(mailbox_count(1, 91), 2);
  vpd_pf(&h);
  EXPECT_EQ(h.version, 0);
  ASSERT_EQ(restart("controller 0 generation=cv2 serial=V\nnic controller=0 function=0 port=1 name=vmnic0\n"), 0u);
  EXPECT_EQ(vpd_pf(), 3);
}

TEST_F(VpdOemTest, OemSerialNumbersPerGeneration) {
  EXPECT_EQ(get("Corvane0/OEM/QuorvelSerialNumber"), "TM33433030303030313031");
  EXPECT_EQ(get("Corvane0/OEM/OEMSerialNumber"), "OEMTM3C00000101");
  EXPECT_EQ(get("Corvane0/OEM/PersonalityManagementWord"), "0x00000007");
  auto bytes = [](const char* maker, size_t maker_size, const std::string& oem, uint32_t word) {
    std::vector<uint8_t> b(44, 0);
    memcpy(b.data(), maker, maker_size);
    memcpy(b.data() + 12, oem.data(), std::min<size_t>(oem.size(), 24));
    memcpy(b.data() + 36, &word, 4);
    return b;
  };
  const std::string full(24, 'Z');
  struct Row {
    int controller;  // 0 CV3, 1 Galtor
    std::vector<uint8_t> record;
    const char* maker;
    const char* serial;
    const char* word;
  } rows[] = {
      {1, bytes("TM\x01\x02\xAB\x04\x05", 7, "ABC", 0x12), "TM0102ab04", "ABC", "0x00000012"},
      {1, bytes("\x00M", 2, "AB\xFF" "C", 0x80000000), "N/A", "AB", "0x80000000"},
      {1, bytes("\xFFM", 2, "A", 1), "N/A", "N/A", "0x00000001"},
      {1, bytes("TM", 2, "\xFF" "ABC", 1), "TM00000000", "N/A", "0x00000001"},
      {1, bytes("TM", 2, full, 1), "TM00000000", full.c_str(), "0x00000001"},
      {0, bytes("TM\x01", 3, full, 0), "TM01000000000000000000", full.c_str(), "0x00000000"},
      {0, bytes("TM", 2, "AB\xFF", 0), "TM00000000000000000000", "AB\xFF", "0x00000000"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.serial);
    const std::string c = "Corvane" + std::to_string(r.controller);
    sim_->topology().controllers[static_cast<size_t>(r.controller)].oem = r.record;
    EXPECT_EQ(TAVO_update_oem_props(node(c)), 0u);
    EXPECT_EQ(get(c + "/OEM/QuorvelSerialNumber"), r.maker);
    EXPECT_EQ(get(c + "/OEM/OEMSerialNumber"), r.serial);
    EXPECT_EQ(get(c + "/OEM/PersonalityManagementWord"), r.word);
  }
  fail_mailbox(1, 76, 3);
  EXPECT_EQ(TAVO_update_oem_props(node("Corvane0")), 1u);
  EXPECT_EQ(last_status(), (Status{74, "Failed to obtain OEM attributes. Application internal error occurred. Please "
                                       "check tavo2d.log file for more information."}));
  EXPECT_EQ(get("Corvane0/OEM/OEMSerialNumber"), "AB\xFF");
}

TEST_F(VpdOemTest, NicCimConstants) {
  EXPECT_EQ(get("Corvane0/NICCIM/PortControllerName"), "Quorvel Tessmark at 0x3:0x0");
  EXPECT_EQ(get("Corvane0/NICCIM/ControllerType"), "Ethernet");
  EXPECT_EQ(get("Corvane0/NICCIM/ProtocolSupported"), "IEEE P802.3ae");
  EXPECT_EQ(get("Corvane2/NICCIM/MaxSupportedController"), "4");
  ASSERT_EQ(restart("controller 0 serial=I\niscsi controller=0 function=0 device=0\n"), 0u);
  for (const auto& [p, v] : std::vector<std::pair<std::string, std::string>>{{"PortControllerName", "N/A"},
                                                                             {"ControllerType", "N/A"},
                                                                             {"ProtocolSupported", "N/A"},
                                                                             {"MaxSupportedController", "0"}})
    EXPECT_EQ(get("Corvane0/NICCIM/" + p), v) << p;
}

// A CV3 version text ends with its 12-byte field, whatever follows it.
TEST_F(VpdOemTest, NcsiVersionReadsOnlyItsField) {
  ASSERT_EQ(restart("controller 0 generation=cv3 serial=C\nnic controller=0 function=0 name=vmnic0\n"
                    "controller 1 generation=cv2 serial=V\nnic controller=1 function=0 name=vmnic1\n"
                    "controller 2 generation=moravel serial=M\nnic controller=2 function=0 name=vmnic2\n"),
            0u);
  sim_->on(1, 32, [](sim::Simulator&, sim::MailboxCall& call) {
    ControllerAttributes a{};
    if (call.controller->generation == 2) {
      const uint16_t parts[5] = {1, 2, 3, 4, 5};
      memcpy(a.ncsi_version, parts, sizeof parts);
    } else {
      memset(a.ncsi_version, 'N', sizeof a.ncsi_version);
    }
    a.default_eto = 0x41414141;  // "AAAA" right after the field
    memcpy(call.payload.data(), &a, sizeof a);
    return sim::MailboxReply{};
  });
  set_prop_val(internal_get_node(node("Corvane0"), "NCSI", TAVO_KIND_GROUP), "NCSISupport", "Not Supported");
  EXPECT_EQ(get("Corvane0/NCSI/NCSIVersion"), "N/A");  // not supported
  for (const char* c : {"Corvane0", "Corvane1", "Corvane2"})
    set_prop_val(internal_get_node(node(c), "NCSI", TAVO_KIND_GROUP), "NCSISupport", "Supported");
  EXPECT_EQ(get("Corvane0/NCSI/NCSIVersion"), std::string(12, 'N'));
  EXPECT_EQ(get("Corvane1/NCSI/NCSIVersion"), "1.2.3.4-5");
  EXPECT_EQ(get("Corvane2/NCSI/NCSIVersion"), "N/A");
}

}  // namespace
}  // namespace tavo::test
