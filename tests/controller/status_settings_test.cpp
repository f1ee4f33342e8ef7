// The controller's live values and settings on each generation: additional
// attributes, temperature, status, advanced mode, FFV name, OneView and the
// refusals inside a virtual function.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;

// Corvane0 CV3 (with an iSCSI function), Corvane1 Galtor, Corvane2 Moravel,
// Corvane3 CV2 (dead).
constexpr char kFourGenerations[] =
    "controller 0 generation=cv3 serial=C bus=3\nnic controller=0 function=0 name=vmnic0\n"
    "iscsi controller=0 function=2 device=0\n"
    "controller 1 generation=galtor serial=G bus=5 ffv=GaltorFFV oneview=enabled\n"
    "nic controller=1 function=0 name=vmnic1\n"
    "controller 2 generation=moravel serial=M bus=7 oneview=none temperature=0\n"
    "nic controller=2 function=0 name=vmnic2\n"
    "controller 3 generation=cv2 serial=V bus=9 chip-state=dead\nnic controller=3 function=0 name=vmnic3\n";

class StatusSettingsTest : public ClientTest {
 protected:
  StatusSettingsTest() : ClientTest(kFourGenerations) {}
  sim::SimController& sim_controller(int i) { return sim_->topology().controllers[static_cast<size_t>(i)]; }
  std::string stored(const std::string& path) { return tree::property_record(get_node(tag(path)))->value; }
};

TEST_F(StatusSettingsTest, AdditionalAttributesAndTemperature) {
  EXPECT_EQ(get("Corvane0/CorvaneOnDieTemperature"), "55");
  EXPECT_EQ(get("Corvane2/CorvaneOnDieTemperature"), "N/A");
  sim_controller(2).temperature = 200;  // outside the declared range, shown all the same
  EXPECT_EQ(get("Corvane2/CorvaneOnDieTemperature"), "200");
  fail_mailbox(1, 121, 3);
  EXPECT_EQ(get("Corvane2/CorvaneOnDieTemperature"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{192, "Failed to obtain additional controller attributes. Application internal "
                                        "error occurred. Please check tavo2d.log file for more information."}));
  EXPECT_EQ(get("Corvane0/PHYConfigurationId"), "0x5A3C");
  EXPECT_EQ(get("Corvane1/PHYFirmwareVersion"), "N/A");  // Galtor: none, whatever the reply holds
  EXPECT_EQ(get("Corvane3/IPLFileName"), "0");             // dead: not loaded
  struct Row {
    int controller;
    uint16_t number;
    const char* name;
    const char* shown;
  } rows[] = {
      {0, 5, "", "CV3IPL005_1A"},  {0, 113, "", "CV3IPL113_1A"}, {0, 0, "", "N/A"},   {0, 114, "", "N/A"},
      {2, 256, "", "MRVIPL256_1A"}, {2, 293, "", "MRVIPL293_1A"}, {2, 294, "", "N/A"}, {1, 5, "", "N/A"},
      {1, 5, "galtor.ipl", "galtor.ipl"},
  };
  for (const Row& r : rows) {
    sim_controller(r.controller).ipl_number = r.number;
    sim_controller(r.controller).ipl_revision = 0x1A;
    sim_controller(r.controller).ipl_name = r.name;
    const std::string c = "Corvane" + std::to_string(r.controller);
    ASSERT_EQ(TAVO_update_cntr_additional_attribs(get_node(tag(c))), 0u);
    EXPECT_EQ(get(c + "/IPLFileName"), r.shown) << c << " " << r.number;
  }
}

// Texts that fill their fields end with them.
TEST_F(StatusSettingsTest, FirmwareTextsStayInTheirFields) {
  sim_->on(1, 121, [](sim::Simulator&, sim::MailboxCall& call) {
    memset(call.payload.data(), 'A', call.payload.size());
    return sim::MailboxReply{};
  });
  ASSERT_EQ(TAVO_update_cntr_additional_attribs(get_node(tag("Corvane0"))), 0u);
  EXPECT_EQ(get("Corvane0/UEFISCSIVersion"), std::string(32, 'A'));
  EXPECT_EQ(get("Corvane0/PXEBIOSVersion"), std::string(32, 'A'));  // the FCoE WWPN follows
  EXPECT_EQ(get("Corvane0/PHYFirmwareVersion"), std::string(160, 'A'));
  EXPECT_EQ(get("Corvane0/PHYConfigurationId"), "0x" + std::string(8, 'A'));
  EXPECT_EQ(get("Corvane0/IPLFileName"), std::string(88, 'A'));
  sim_->on(19, 2, [](sim::Simulator&, sim::MailboxCall& call) {
    FfvParams p{};
    p.length = 200;
    memset(p.name, 'F', sizeof p.name);
    memcpy(call.payload.data(), &p, sizeof p);
    return sim::MailboxReply{};
  });
  EXPECT_EQ(get("Corvane1/FFVName"), std::string(32, 'F'));
}

TEST_F(StatusSettingsTest, ControllerStatusAndAdvancedMode) {
  sim_->clear_log();
  EXPECT_EQ(get("Corvane0/ControllerStatus"), "Alive");
  EXPECT_EQ(get("Corvane3/ControllerStatus"), "Dead");
  EXPECT_EQ(mailbox_count(11, 21), 2);
  EXPECT_EQ(get("Corvane1/ControllerStatus"), "N/A");
  EXPECT_EQ(mailbox_count(11, 21), 2);  // none for Galtor

  EXPECT_EQ(get("Corvane0/AdvancedMode"), "Enabled");
  EXPECT_EQ(set("Corvane0/AdvancedMode", "disabled"), 0u);
  EXPECT_EQ(last_status(), (Status{312, "Advance mode settings changed successfully. Please reboot the machine for "
                                        "changes to take effect."}));
  EXPECT_EQ(last_payload(1, 67), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(get("Corvane0/AdvancedMode"), "Disabled");
  EXPECT_EQ(get("Corvane2/AdvancedMode"), "N/A");
  EXPECT_EQ(set("Corvane2/AdvancedMode", "Enabled"), 1u);
  EXPECT_EQ(last_status(), (Status{311, "Configuring AdvanceMode is not supported on this adapter."}));
  fail_mailbox(1, 67, 3);
  EXPECT_EQ(set("Corvane0/AdvancedMode", "Enabled"), 1u);
  EXPECT_EQ(last_status(), (Status{142, "Cannot set boot status. Application internal error occurred. Please check "
                                        "tavo2d.log file for more information."}));
  fail_mailbox(1, 66, 3);
  EXPECT_EQ(get("Corvane0/AdvancedMode"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{141, "Unable to obtain boot status. Application internal error occurred. Please "
                                        "check tavo2d.log file for more information."}));
  fail_mailbox(11, 21, 3);
  EXPECT_EQ(get("Corvane0/ControllerStatus"), "<unreadable>");
  EXPECT_EQ(last_status(),
            (Status{265, "Failed to get core dump properties. Please check tavo2d.log file for more information."}));
}

TEST_F(StatusSettingsTest, FfvNameOneViewAndSecureJumper) {
  EXPECT_EQ(get("Corvane1/FFVName"), "GaltorFFV");
  ASSERT_EQ(set("Corvane1/FFVName", "Rack7"), 0u);
  std::vector<uint8_t> written(36, 0);
  written[0] = 1;
  written[1] = 32;
  memcpy(&written[4], "Rack7", 5);
  EXPECT_EQ(last_payload(19, 2), written);
  EXPECT_EQ(stored("Corvane1/FFVName"), "GaltorFFV");  // the handler does not store a write
  EXPECT_EQ(get("Corvane1/FFVName"), "Rack7");
  // Not offered (149): "N/A", and the read fails.
  EXPECT_EQ(get("Corvane2/FFVName"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{149, "This Operation is not supported."}));
  EXPECT_EQ(stored("Corvane2/FFVName"), "N/A");
  EXPECT_EQ(get("Corvane0/FFVName"), "N/A");
  EXPECT_EQ(set("Corvane0/FFVName", "Rack7"), 1u);
  EXPECT_EQ(last_status(), (Status{298, "Failed to configure FFVName. FFVName is not supported on this adapter."}));

  EXPECT_EQ(get("Corvane1/OneView"), "Enabled");
  EXPECT_EQ(last_payload(1, 191)[0], kFeatureOneView);
  EXPECT_EQ(get("Corvane2/OneView"), "N/A");
  EXPECT_EQ(get("Corvane3/OneView"), "N/A");
  sim_controller(1).oneview = 0;
  EXPECT_EQ(get("Corvane1/OneView"), "Disabled");
  fail_mailbox(1, 191, 3);
  EXPECT_EQ(get("Corvane1/OneView"), "<unreadable>");
  EXPECT_EQ(last_status(),
            (Status{340, "Failed to get OneView parameter. Please check tavo2d.log file for more information."}));
  for (const char* c : {"Corvane0", "Corvane1", "Corvane2"})
    EXPECT_EQ(get(std::string(c) + "/IsSecureJumperEnabled"), "N/A") << c;
}

// Inside a virtual function the controller's own settings are refused.
TEST_F(StatusSettingsTest, VirtualFunctionRefusals) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M bus=3 ffv=Old1\nnic controller=0 function=0 "
                    "name=vmnic0\nvf controller=0 function=1 parent=0 name=vmnic1\n"),
            0u);
  const Status vf{256, "Performed operation is not supported on a SR-IOV virtual function."};
  EXPECT_EQ(get("Corvane0/ControllerStatus"), "<unreadable>");
  EXPECT_EQ(last_status(), vf);
  sim_->clear_log();
  EXPECT_EQ(set("Corvane0/FFVName", "NewName"), 1u);
  EXPECT_EQ(last_status(), vf);
  EXPECT_EQ(mailbox_count(19, 2), 0);
  EXPECT_EQ(get("Corvane0/FRUVPD/FRUVPDData0"), "<unreadable>");
  EXPECT_EQ(last_status(), vf);
  EXPECT_EQ(get("Corvane0/OEM/OEMSerialNumber"), "N/A");
  EXPECT_EQ(TAVO_update_oem_props(get_node(tag("Corvane0"))), 1u);
}

}  // namespace
}  // namespace tavo::test
