// The five MAC kinds of a NIC function: current, factory default, last
// configured (profile and CV2 legacy paths), volatile and configured
// function MACs, with the requests they send and their statuses.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "nic/nic.h"
#include "tests/nic/nic_fixture.h"
#include "transport/nic_records.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kTwoGenerations[] =
    "controller 0 generation=cv3 serial=C bus=3\ncontroller 1 generation=moravel serial=M bus=7\n"
    "nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:30:00:00 factory-mac=00:0e:1e:3f:00:00\n"
    "nic controller=0 function=8 port=1 name=vmnic1 mac=00:0e:1e:30:00:08\n"
    "iscsi controller=0 function=2 port=0 device=0 mac=00:0e:1e:30:00:02 factory-mac=00:0e:1e:3f:00:02\n"
    "nic controller=1 function=0 port=0 name=vmnic2 mac=00:0e:1e:50:00:00 factory-mac=00:0e:1e:5f:00:00\n"
    "nic controller=1 function=1 port=1 name=vmnic3 mac=00:0e:1e:50:00:01 factory-mac=00:0e:1e:5f:00:01\n";
const Bytes kNewMac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class MacAddressTest : public ClientTest {
 protected:
  MacAddressTest() : ClientTest(kTwoGenerations) {}
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  static Bytes at(const Bytes& b, size_t offset, size_t n) {
    return offset + n <= b.size() ? Bytes(b.begin() + offset, b.begin() + offset + n) : Bytes{};
  }
};

TEST_F(MacAddressTest, CurrentAndFactoryDefault) {
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/MACAddress"), "00-0e-1e-30-00-00");
  EXPECT_EQ(at(last_payload(1, 1), 0, 2), (Bytes{1, 1}));
  EXPECT_EQ(set("Corvane0/NICPhysicalHBA0/MACAddress", "00:11:22:33:44:55"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(70));
  fail_mailbox(1, 1, 3);
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/MACAddress"), "<unreadable>");
  EXPECT_EQ(last_status(),
            nic_status_text(246));
  // CV3 from the type-9 table, Moravel from the MAC list; an iSCSI
  // function's into its NICConfiguration.
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/FactoryDefaultMACAddress"), "00-0e-1e-3f-00-00");
  EXPECT_EQ(get("Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/FactoryDefaultMACAddress"), "00-0e-1e-3f-00-02");
  EXPECT_EQ(get("Corvane1/NICPhysicalHBA1/FactoryDefaultMACAddress"), "00-0e-1e-5f-00-01");
  // PCI function 8 has no slot in the table.
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/FactoryDefaultMACAddress"), "00:00:00:00:00:00");
  EXPECT_EQ(TAVO_update_fd_mac(2, node("Corvane0/NICPhysicalHBA1"), 2), 1u);
  EXPECT_EQ(last_status(), nic_status_text(76));
  fail_mailbox(1, 147, 3);
  EXPECT_EQ(TAVO_update_fd_mac(4, node("Corvane1/NICPhysicalHBA1"), 2), 1u);
  EXPECT_EQ(last_status(), nic_status_text(76));
  EXPECT_EQ(TAVO_update_fd_mac(4, node("Corvane1/NICPhysicalHBA1"), 3), 1u);
}

TEST_F(MacAddressTest, LastConfiguredThroughTheProfile) {
  const std::string permanent = "Corvane1/NICPhysicalHBA1/PermanentMACAddress";
  EXPECT_EQ(get(permanent), "00-0e-1e-50-00-01");
  EXPECT_EQ(set(permanent, "00-11-22-33-44-55"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(304));
  MailboxRequestHeader h{};
  const Bytes sent = last_payload(1, 165, &h);
  ASSERT_EQ(sent.size(), 184u);
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(at(sent, 4, 4), (Bytes{1, 0, 0, 0}));
  const Bytes d = at(sent, 8, 88);
  EXPECT_EQ(at(d, 0, 8), (Bytes{kProfileNic, 88, 0, 0x02, 0, 0, 1, 0}));
  EXPECT_EQ(at(d, 10, 6), kNewMac);
  for (size_t kept : {8, 18, 20, 28, 32, 38, 60, 62}) EXPECT_EQ(at(d, kept, 2), Bytes(2, 0xFF)) << kept;
  EXPECT_EQ(at(d, 48, 8), Bytes(8, 0xFF));
  EXPECT_EQ(d[44], 1);  // the port
  EXPECT_TRUE(std::all_of(sent.begin() + 96, sent.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(get(permanent), "00-11-22-33-44-55");

  TavoNode* fn = node("Corvane1/NICPhysicalHBA1");
  EXPECT_EQ(TAVO_set_last_configured_mac(fn, fn, "00:11:22:33:44", 2), 1u);
  EXPECT_EQ(last_status(), nic_status_text(17));
  EXPECT_EQ(TAVO_set_last_configured_mac(fn, fn, "00:11:22:33:44:55", 3), 1u);
  fail_mailbox(1, 165, 3);
  EXPECT_EQ(set(permanent, "00:11:22:33:44:66"), 1u);
  EXPECT_EQ(last_status().first, 161u);
  EXPECT_EQ(get(permanent), "00-11-22-33-44-55");

  // An iSCSI function's descriptor (type 82), through its own device.
  const std::string iscsi = "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/PermanentMACAddress";
  EXPECT_EQ(get(iscsi), "00-0e-1e-30-00-02");
  EXPECT_EQ(set(iscsi, "00:11:22:33:44:55"), 0u);
  const Bytes di = at(last_payload(1, 165), 8, 88);
  EXPECT_EQ(at(di, 0, 8), (Bytes{kProfileIscsi, 88, 0, 0x02, 0, 0, 2, 0}));
  EXPECT_EQ(at(di, 14, 6), kNewMac);
  EXPECT_EQ(at(di, 36, 8), Bytes(8, 0xFF));
  EXPECT_EQ(get(iscsi), "00-11-22-33-44-55");
}

// A profile without the function's descriptor: a read keeps the stored text,
// a write sends nothing and fails.
TEST_F(MacAddressTest, NoDescriptorForTheFunction) {
  ASSERT_EQ(restart("controller 0 generation=galtor serial=G bus=5\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/PermanentMACAddress"), "00:00:00:00:00:00");
  EXPECT_EQ(set("Corvane0/NICPhysicalHBA0/PermanentMACAddress", "00:11:22:33:44:55"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(161));
  EXPECT_EQ(mailbox_count(1, 165), 0);
}

TEST_F(MacAddressTest, ResetToTheFactoryMac) {
  EXPECT_EQ(act("Corvane0/NICPhysicalHBA0/ResetMACAddress"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(304));
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/PermanentMACAddress"), "00-0e-1e-3f-00-00");
  sim_->clear_log();
  EXPECT_EQ(act("Corvane0/NICPhysicalHBA1/ResetMACAddress"), 1u);  // PCI function 8: no slot
  EXPECT_EQ(last_status().first, 159u);
  EXPECT_EQ(mailbox_count(1, 165), 0);
}

TEST_F(MacAddressTest, LegacyConfigurationOnCv2) {
  ASSERT_EQ(restart("controller 0 generation=cv2 serial=V bus=2\nnic controller=0 function=0 name=vmnic0\n"
                    "nic controller=0 function=1 port=1 name=vmnic1\niscsi controller=0 function=2 device=0\n"),
            0u);
  const std::string nic1 = "Corvane0/NICPhysicalHBA1/PermanentMACAddress";
  EXPECT_EQ(get(nic1), "00-00-00-00-00-00");
  EXPECT_EQ(set(nic1, "00:11:22:33:44:55"), 0u);
  const Bytes sent = last_payload(1, 82);
  ASSERT_EQ(sent.size(), 836u);
  EXPECT_EQ(at(sent, 64 + 52, 6), kNewMac);  // entry 1
  EXPECT_EQ(get(nic1), "00-11-22-33-44-55");
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/PermanentMACAddress"), "00-00-00-00-00-00");
  EXPECT_EQ(set("Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/PermanentMACAddress", "00:11:22:33:44:66"), 0u);
  EXPECT_EQ(at(last_payload(1, 82), 68 + 2 * 52, 6), (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x66}));

  // The function's entry last of sixteen: its MAC would lie past the record.
  ControllerConfigRecordV1 full{};
  full.count = 16;
  for (uint8_t i = 0; i < 16; ++i) full.entries[i] = {0, {}, static_cast<uint8_t>(i == 15 ? 1 : 20 + i), 0, 0, {}, 0, {}};
  auto& legacy = sim_->flash(0)["/cfg/cv_conf"];
  legacy.assign(reinterpret_cast<uint8_t*>(&full), reinterpret_cast<uint8_t*>(&full) + sizeof full);
  sim_->clear_log();
  EXPECT_EQ(get(nic1), "<unreadable>");
  EXPECT_EQ(last_status().first, 160u);
  EXPECT_EQ(set(nic1, "00:11:22:33:44:55"), 1u);
  EXPECT_EQ(last_status().first, 161u);
  full.count = 0;  // no entry: a write fails with the generic reason
  legacy.assign(reinterpret_cast<uint8_t*>(&full), reinterpret_cast<uint8_t*>(&full) + sizeof full);
  EXPECT_EQ(set(nic1, "00:11:22:33:44:55"), 1u);
  EXPECT_EQ(last_status(), set_failed("PermanentMACAddress"));
  EXPECT_EQ(mailbox_count(1, 82), 0);
  fail_mailbox(1, 81, 3);
  EXPECT_EQ(get(nic1), "<unreadable>");
  EXPECT_EQ(last_status().first, 160u);
}

TEST_F(MacAddressTest, VolatileMac) {
  const std::string path = "Corvane0/NICPhysicalHBA0/NetworkBootConfiguration/VolatileMACAddress";
  EXPECT_EQ(get(path), "00-00-00-00-00-00");
  EXPECT_EQ(set(path, "00:0E:1E:AA:BB:CC"), 0u);
  const Bytes sent = last_payload(21, 4);
  ASSERT_EQ(sent.size(), 48u);
  EXPECT_EQ(at(sent, 0, 10), (Bytes{1, 0, 0, 0x80, 0x00, 0x0e, 0x1e, 0xaa, 0xbb, 0xcc}));
  EXPECT_EQ(get(path), "00-0e-1e-aa-bb-cc");
  sim_->clear_log();
  EXPECT_EQ(set(path, "00-0E-1E-AA-BB-CC"), 0u);  // the stored text: nothing sent
  EXPECT_EQ(mailbox_count(21, 4), 0);
  char bad[TAVO_VALUE_SIZE] = "00:0e:1e:aa:bb";
  EXPECT_EQ(handle_VolatileMACAddress(node(path), bad, TAVO_PROPERTY_SET), 1u);
  EXPECT_EQ(last_status().first, 17u);
  fail_mailbox(21, 4, 3);
  EXPECT_EQ(set(path, "00:0e:1e:aa:bb:dd"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(328));

  ASSERT_EQ(restart("controller 0 generation=cv2 serial=V\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  EXPECT_EQ(get(path), "00:00:00:00:00:00");  // CV2 keeps none: the stored text
  EXPECT_EQ(set(path, "00:0e:1e:aa:bb:dd"), 1u);
  EXPECT_EQ(last_status().first, 291u);
}

// Only hexadecimal digits make a MAC: a letter beyond F is refused with 17
// wherever a client writes one, and nothing reaches the adapter or the host.
TEST_F(MacAddressTest, ALetterBeyondFIsRefusedEverywhere) {
  ASSERT_EQ(restart(std::string(kTwoGenerations) + "nic controller=1 function=2 port=1 name=vmnic4 vfs=1\n"
                    "controller 2 generation=cv2 serial=V bus=2\nnic controller=2 function=0 name=vmnic5\n"),
            0u);
  for (const char* path : {"Corvane1/NICPhysicalHBA1/PermanentMACAddress",  // the profile path, NIC and iSCSI
                           "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration/PermanentMACAddress",
                           "Corvane2/NICPhysicalHBA0/PermanentMACAddress",  // CV2's legacy configuration
                           "Corvane0/NICPhysicalHBA0/NetworkBootConfiguration/VolatileMACAddress",
                           "Corvane1/NICPhysicalHBA2/NICLogicalHBA0/MACAddress"}) {  // a VF, through ip
    const std::string before = get(path);
    sim_->clear_log();
    for (const char* bad : {"00:0e:1e:aa:bb:0g", "0G-0E-1E-AA-BB-CC"}) {
      EXPECT_EQ(set(path, bad), 1u) << path << " " << bad;
      EXPECT_EQ(last_status().first, 17u) << path << " " << bad;
    }
    // No profile, legacy or volatile MAC write, no ip command.
    EXPECT_EQ(mailbox_count(1, 165) + mailbox_count(1, 82) + mailbox_count(21, 4) + shell_lines(*sim_).size(), 0u)
        << path;
    EXPECT_EQ(get(path), before) << path;
  }
}

// A Function of the configured profile: the factory MAC of its PCI
// function through the MAC list.
TEST_F(MacAddressTest, ConfiguredFunctionMac) {
  const std::string path = "Corvane1/ProfileManagement/ConfiguredProfile/Port1/Function0/MACAddress";
  EXPECT_EQ(get(path), "00-0e-1e-5f-00-01");
  MailboxRequestHeader h{};
  last_payload(1, 147, &h);
  EXPECT_EQ(h.pf_vh & 0x3FF, 2);
  fail_mailbox(1, 147, 3);
  EXPECT_EQ(get(path), "<unreadable>");
  EXPECT_EQ(last_status().first, 76u);
  char text[TAVO_VALUE_SIZE] = "";  // a property elsewhere: no Function above it
  EXPECT_EQ(handle_ProfileManagement_ConfiguredProfile_Port_Function_MACAddress(node("Corvane1/NICPhysicalHBA0/IfName"),
                                                                                 text, TAVO_PROPERTY_GET),
            1u);
}

}  // namespace
}  // namespace tavo::test
