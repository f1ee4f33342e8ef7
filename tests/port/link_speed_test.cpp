// Link, PHY and speed of ports and functions on each generation, the FCoE
// share of the link, and SetPortSpeed through every one of its checks.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/port/port_fixture.h"
#include "transport/profile_records.h"

namespace tavo::test {
namespace {

const std::string kSeeLog = "Please check tavo2d.log file for more information.";
const std::string kInternal = "Application internal error occurred. " + kSeeLog;

class LinkSpeedTest : public PortTest {
 protected:
  std::string at(const char* port, const std::string& name) { return std::string(port) + "/" + name; }
  // A SetPortSpeed: result, then the last status.
  std::pair<uint32_t, Status> set_speed(const char* port, const std::vector<std::string>& params) {
    const uint32_t result = act(at(port, "SetPortSpeed"), params);
    return {result, last_status()};
  }
};

TEST_F(LinkSpeedTest, PortsShowTheirLinkAndPhy) {
  struct Row {
    const char* port;
    const char *phy, *interface, *an, *force;
  } rows[] = {
      {kCv3Port, "0x8", "SFP_PLUS_10GB_TYPE", "1Gb,10Gb", "1Gb,10Gb"},
      {kMoravelPort, "0x12", "BASET_10GB_TYPE", "100Mb,1Gb,10Gb", "100Mb,1Gb,10Gb"},
      {kGaltorPort, "0x20", "KR_10GB_TYPE", "10Gb", "10Gb"},
      {kCv2Port, "0x3", "SFP_PLUS_10GB_TYPE", "N/A", "N/A"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.port);
    EXPECT_EQ(get(at(r.port, "PortState")), "Enabled");
    EXPECT_EQ(get(at(r.port, "PhysicalLinkStatus")), "Up");
    EXPECT_EQ(get(at(r.port, "PHYType")), r.phy);
    EXPECT_EQ(get(at(r.port, "InterfaceType")), r.interface);
    EXPECT_EQ(get(at(r.port, "ANSpeedsSupported")), r.an);
    EXPECT_EQ(get(at(r.port, "ForceSpeedsSupported")), r.force);
  }
  EXPECT_EQ(get(at(kMoravelPort, "FCoEWWPN")), "20:01:00:0e:1e:02:01:00");
  fw(2, 1).speed_code = 9;  // past the table: down
  EXPECT_EQ(get(at(kMoravelPort, "PhysicalLinkStatus")), "Down");
  // Galtor's port state is version 1 with the port in byte 2.
  fw(1, 0).enabled = false;
  MailboxRequestHeader h{};
  EXPECT_EQ(get(at(kGaltorPort, "PortState")), "Disabled");
  EXPECT_EQ(last_payload(1, 71, &h), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(set(at(kGaltorPort, "PortState"), "enabled"), 0u);
  EXPECT_EQ(last_payload(1, 62, &h), (Bytes{1, 0, 0, 0}));
  EXPECT_TRUE(fw(1, 0).enabled);
  EXPECT_EQ(set(at(kMoravelPort, "PortState"), "Disabled"), 0u);
  EXPECT_EQ(last_payload(1, 62, &h), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(h.version, 0);
  sim_->clear_log();
  EXPECT_EQ(set(at(kMoravelPort, "PortState"), "DISABLED"), 0u);  // already: nothing sent
  EXPECT_EQ(mailbox_count(1, 62), 0);
}

TEST_F(LinkSpeedTest, FailedQueriesLeaveTheirMessages) {
  struct Row {
    uint8_t opcode;
    const char* property;
    bool write;
    Status left;
  } rows[] = {
      {5, "PhysicalLinkStatus", false, {93, "Failed to obtain NIC configuration params. " + kInternal}},
      {71, "PortState", false, {72, "Failed to get port status. " + kInternal}},
      {62, "PortState", true, {73, "Failed to set port status. " + kInternal}},
      {121, "FCoEWWPN", false, {192, "Failed to obtain additional controller attributes. " + kInternal}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.property);
    fail_mailbox(1, r.opcode, 3);
    if (r.write)
      EXPECT_NE(set(at(kCv3Port, r.property), "Disabled"), 0u);
    else
      EXPECT_EQ(get(at(kCv3Port, r.property)), "<unreadable>");
    EXPECT_EQ(last_status(), r.left);
  }
  fail_mailbox(1, 102, 3);
  EXPECT_EQ(get(at(kCv3Port, "PHYType")), "<unreadable>");
  EXPECT_EQ(stored(at(kCv3Port, "PHYType")), "N/A");
}

TEST_F(LinkSpeedTest, InterfaceTypeAndSpeedListsComeFromThePhy) {
  TavoNode* port = node(kCv3Port);
  const uint32_t device = static_cast<uint32_t>(get_port_number(port));
  struct Row {
    uint16_t interface, an, force;
    bool marker;
    uint32_t interface_result;
    const char *interface_text, *an_text, *force_text;
  } rows[] = {
      {13, 0x0C, 0x3F, true, 0, "Not Supported", "1Gb,10Gb", "10Mb,100Mb,1Gb,10Gb,20Gb,40Gb"},
      {14, 0, 0xC0, true, 1, "N/A", "0", "0"},
      {10, 0x0C, 0x0C, false, 0, "QSFP_TYPE", "N/A", "N/A"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.interface);
    fw(0, 0).interface_type = r.interface;
    fw(0, 0).auto_speeds = r.an;
    fw(0, 0).fixed_speeds = r.force;
    fw(0, 0).speed_list = r.marker;
    EXPECT_EQ(TAVO_update_interfacetype(device, port), r.interface_result);
    EXPECT_EQ(TAVO_update_speed_props(device, port), 0u);
    EXPECT_EQ(stored(at(kCv3Port, "InterfaceType")), r.interface_text);
    EXPECT_EQ(stored(at(kCv3Port, "ANSpeedsSupported")), r.an_text);
    EXPECT_EQ(stored(at(kCv3Port, "ForceSpeedsSupported")), r.force_text);
  }
  fail_mailbox(1, 102, 3);
  EXPECT_EQ(TAVO_update_speed_props(device, port), 1u);
  EXPECT_EQ(last_status(), (Status{228, "Failed to get PHY Detail properties. " + kSeeLog}));
}

// PortSpeed of an iSCSI function's NICConfiguration: the QoS speed, the
// link speed, or the Moravel bandwidth cap.
TEST_F(LinkSpeedTest, FunctionsShowTheirShareOfTheLink) {
  const std::string cv3 = "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration";
  struct Row {
    uint8_t code;
    uint16_t qos;
    const char* shown;
  } rows[] = {{4, 250, "2.5Gb"}, {4, 300, "3Gb"}, {4, 50, "500Mb"}, {5, 0, "20Gb"}, {9, 0, "0 (Link Down)"}};
  for (const Row& r : rows) {
    fw(0, 1).speed_code = r.code;
    fw(0, 1).qos_speed = r.qos;
    EXPECT_EQ(get(cv3 + "/PortSpeed"), r.shown) << r.qos;
  }
  // Both links down: no speed is asked for.
  fw(0, 1).speed_code = fw(0, 1).logical_state = 0;
  sim_->clear_log();
  EXPECT_EQ(get(cv3 + "/PortSpeed"), "0 (Link Down)");
  EXPECT_EQ(mailbox_count(1, 5), 2);
  const std::string moravel = "Corvane1/iSCSIPhysicalHBA0";
  // The Moravel's cap: its iSCSI function's share of the 10Gb link in the
  // running profile.
  for (auto [percent, shown] : {std::pair{25u, "2.5Gb"}, std::pair{0u, "0 (Link Down)"}}) {
    auto& image = sim_->flash(2)["/cfg/profile/active"];
    walk_profile_descriptors(image.data(), image.size(), [&](uint8_t* d, size_t) {
      if (d[0] == kProfileIscsi) memcpy(d + offsetof(ProfileIscsiDescriptor, max_bandwidth), &percent, 4);
      return true;
    });
    EXPECT_EQ(get(moravel + "/Network/NICConfiguration/PortSpeed"), shown);
  }
  // ActivePort: 15 is none; another value leaves the text.
  for (auto [active, shown] : {std::pair{1, "1"}, std::pair{15, "None"}, std::pair{7, "None"}}) {
    fw(0, 1).active_port = static_cast<uint8_t>(active);
    EXPECT_EQ(get(cv3 + "/ActivePort"), shown);
  }
  fw(0, 1).logical_state = 2;  // unknown: the old text stays
  EXPECT_EQ(get(cv3 + "/LogicalLinkStatus"), "Down");
  fail_mailbox(1, 5, 3);
  EXPECT_EQ(get(cv3 + "/ActivePort"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{94, "Failed to get physical port. " + kInternal}));
  fail_mailbox(1, 5, 3);
  EXPECT_EQ(get(cv3 + "/LogicalLinkStatus"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{227, "Failed to get LogicalLinkStatus." + kSeeLog}));
}

TEST_F(LinkSpeedTest, FcoeLinkSpeedIsTheFcoeFunctionsShare) {
  // One FCoE descriptor for port 0 in the configured profile, and the
  // port's descriptor with its multi-channel type where one is given.
  auto plant = [this](const char* object, uint32_t percent, uint8_t mc_type = 0) {
    ProfileFcoeDescriptor d{};
    d.head.type = kProfileFcoe;
    d.head.length = sizeof d;
    d.max_bandwidth = percent;
    ProfilePortDescriptor port{};
    port.type = kProfilePort;
    port.length = sizeof port;
    port.mc_type = mc_type;
    Bytes image(4, 0);
    image[0] = mc_type != 0 ? 2 : 1;
    image.insert(image.end(), reinterpret_cast<uint8_t*>(&d), reinterpret_cast<uint8_t*>(&d) + sizeof d);
    if (mc_type != 0)
      image.insert(image.end(), reinterpret_cast<uint8_t*>(&port), reinterpret_cast<uint8_t*>(&port) + sizeof port);
    sim_->flash(0)[object] = image;
  };
  struct Row {
    uint8_t code;
    uint32_t percent;
    const char* shown;
  } rows[] = {{4, 15, "1.5Gb"}, {4, 5, "500Mb"}, {4, 50, "5Gb"},           {1, 25, "2.5Mb"},
              {3, 50, "500Mb"}, {3, 100, "1Gb"}, {7, 3, "1.2Gb"},          {8, 15, "15Gb"},
              {2, 30, "30Mb"},  {4, 0, "10Gb"},  {0, 15, "0 (Link Down)"}, {9, 15, "0 (Link Down)"}};
  for (const Row& r : rows) {
    plant("/cfg/profile/configured", r.percent);
    fw(0, 0).speed_code = r.code;
    EXPECT_EQ(get(at(kCv3Port, "FCoELinkSpeed")), r.shown) << int{r.code} << " " << r.percent;
  }
  // vNIC1 (the running type) takes the active profile.
  plant("/cfg/profile/active", 20, 4);
  fw(0, 0).speed_code = 4;
  EXPECT_EQ(get(at(kCv3Port, "FCoELinkSpeed")), "2Gb");
  EXPECT_EQ(get(at(kGaltorPort, "FCoELinkSpeed")), "10Gb");  // the link's own speed
  // Moravel asks the NIC branch for its port's multi-channel type.
  ProfileFcoeDescriptor moravel{};
  moravel.head.type = kProfileFcoe;
  moravel.head.length = sizeof moravel;
  moravel.link = 1;
  moravel.max_bandwidth = 25;
  // Its ports' descriptors (links 1 and 3) name the configured ports.
  Bytes image{3, 0, 0, 0};
  for (uint8_t link : {1, 3}) {
    ProfilePortDescriptor port{};
    port.type = kProfilePort;
    port.length = sizeof port;
    port.link = link;
    port.mc_type = kMcTypeNone;
    image.insert(image.end(), reinterpret_cast<uint8_t*>(&port), reinterpret_cast<uint8_t*>(&port) + sizeof port);
  }
  image.insert(image.end(), reinterpret_cast<uint8_t*>(&moravel),
               reinterpret_cast<uint8_t*>(&moravel) + sizeof moravel);
  sim_->flash(2)["/cfg/profile/configured"] = image;
  fw(2, 1).speed_code = 4;
  EXPECT_EQ(get(at(kMoravelPort, "FCoELinkSpeed")), "2.5Gb");
  fw(2, 1).wwpn = {};
  EXPECT_EQ(get(at(kMoravelPort, "FCoELinkSpeed")), "N/A");
}

TEST_F(LinkSpeedTest, SpeedPropertiesReadTheConfiguredCode) {
  struct Row {
    uint16_t code;
    const char *mode, *configured;
  } rows[] = {{22, "Auto-Negotiate", "20Gb/1Gb"},
              {13, "Force", "10Mb"},
              {30, "Auto-Negotiate", "10Mb"},
              {0, "Default", "All Supported Speeds"}};
  fw(2, 1).dac_length = 7;
  for (const Row& r : rows) {
    fw(2, 1).configured_speed = r.code;
    EXPECT_EQ(get(at(kMoravelPort, "Mode")), r.mode) << r.code;
    EXPECT_EQ(stored(at(kMoravelPort, "ConfiguredSpeed")), r.configured);
    EXPECT_EQ(stored(at(kMoravelPort, "DACCableLength")), "7");
  }
  EXPECT_EQ(last_payload(1, 134), (Bytes{1, 0, 0, 0}));
  sim::Fault& old = fail_mailbox(1, 134, 1);
  old.additional_status = 30;
  EXPECT_EQ(get(at(kMoravelPort, "ConfiguredSpeed")), "N/A");
  EXPECT_EQ(stored(at(kMoravelPort, "Mode")), "N/A");
  fail_mailbox(1, 134, 3);
  EXPECT_EQ(get(at(kMoravelPort, "Mode")), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{230, "Failed to get link speed properties. " + kSeeLog}));
  EXPECT_EQ(get(at(kCv2Port, "DACCableLength")), "N/A");
}

TEST_F(LinkSpeedTest, SetPortSpeedChecksEveryRule) {
  const Status refused{229,
                       "Failed to SetPortSpeed. Please check ANSpeedsSupported and ForceSpeedsSupported "
                       "properties for supported PortSpeed values on existing PHY."};
  const Status none{0, ""}, failed = action_failed("SetPortSpeed");
  struct Row {
    const char* port;
    const char *interface, *force, *an;
    std::vector<std::string> params;  // Speed, Mode, DACCableLength
    uint32_t result;
    Status left;
    Bytes sent;  // empty: nothing sent
  } rows[] = {
      {kCv2Port,
       "",
       "",
       "",
       {"10Gb", "Force"},
       1,
       {226,
        "Failed to SetPortSpeed. This command is not Supported on "
        "CV2 controller."},
       {}},
      {kGaltorPort, "KR_10GB_TYPE", "100Mb,1Gb,10Gb", "", {"10Gb", "Force", "3"}, 0, none, {0, 0, 1, 0, 0, 0, 0, 0}},
      {kGaltorPort, "KR_10GB_TYPE", "1Gb", "", {"10Gb", "Force"}, 1, refused, {}},
      {kGaltorPort, "KR_10GB_TYPE", "", "", {"10Gb", "Force"}, 1, failed, {}},
      {kGaltorPort,
       "KR_10GB_TYPE",
       "10Gb,40Gb/1Gb",
       "",
       {"40Gb/1Gb", "force"},
       1,
       {223, "Failed to SetPortSpeed. When Mode is Force, valid speed values are 1Gb or 10Gb."},
       {}},
      {kGaltorPort,
       "KR_10GB_TYPE",
       "",
       "1Gb,10Gb",
       {"40Gb/10Gb", "Auto-Negotiate"},
       0,
       none,
       {0, 0, 16, 0, 0, 0, 0, 0}},
      {kGaltorPort, "KR_10GB_TYPE", "", "10Gb", {"40Gb/10Gb", "Auto-Negotiate"}, 1, refused, {}},
      {kGaltorPort,
       "KR_10GB_TYPE",
       "",
       "1Gb,10Gb",
       {kNotGiven, "Auto-Negotiate"},
       1,
       {225, "Failed to SetPortSpeed. Speed is requried when Mode is Force or Auto-Negotiate."},
       {}},
      {kGaltorPort, "KR_10GB_TYPE", "", "", {"10Gb", "Auto-Negotiate"}, 1, failed, {}},
      {kGaltorPort, "KR_10GB_TYPE", "", "", {"10Gb", "Default"}, 0, none, {0, 0, 0, 0, 0, 0, 0, 0}},
      {kCv3Port,
       "SFP_PLUS_10GB_TYPE",
       "1Gb",
       "",
       {"1Gb", "Force"},
       1,
       {224, "Failed to SetPortSpeed. DAC Cable Length is required when mode is Force."},
       {}},
      {kCv3Port, "QSFP_TYPE", "1Gb", "", {"40Gb", "Force", "0x5"}, 0, none, {0, 0, 14, 0, 5, 0, 0, 0}},
      {kCv3Port,
       "QSFP_TYPE",
       "1Gb",
       "",
       {"1Gb", "Force"},
       1,
       {260, "When vNIC is Enabled 1GB port speed is not supported."},
       {}},
      // Every rule passes, but no row has the pair: refused, not sent as Default.
      {kCv3Port, "QSFP_TYPE", "1Gb", "", {"10Gb/1Gb", "Force"}, 1, refused, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.params[0] + " " + r.params[1] + " on " + r.port);
    set_prop_val(node(r.port), "InterfaceType", "%s", r.interface);
    set_prop_val(node(r.port), "ForceSpeedsSupported", "%s", r.force);
    set_prop_val(node(r.port), "ANSpeedsSupported", "%s", r.an);
    sim_->clear_log();
    EXPECT_EQ(set_speed(r.port, r.params), (std::pair{r.result, r.left}));
    MailboxRequestHeader h{};
    EXPECT_EQ(last_payload(1, 57, &h), r.sent);
    EXPECT_EQ(h.version, r.sent.empty() ? 0 : 1);
  }
  // What was set reads back, and setting it again changes nothing.
  EXPECT_EQ(set_speed(kCv3Port, {"40Gb", "Force", "5"}),
            (std::pair{0u, Status{240, "Given port speed settings are already configured. No changes done."}}));
  // The firmware's refusals.
  struct Refusal {
    uint8_t status;
    uint16_t additional;
    Status left;
  } refusals[] = {{1, 75, refused}, {3, 0, refused}, {4, 0, {222, "Failed to SetPortSpeed. " + kSeeLog}}};
  for (const Refusal& f : refusals) {
    fail_mailbox(1, 57, f.status).additional_status = f.additional;
    EXPECT_EQ(set_speed(kGaltorPort, {"10Gb", "Default"}), (std::pair{1u, f.left}));
  }
}

}  // namespace
}  // namespace tavo::test
