// Channel management and channels: the multi-channel types a controller
// supports, runs and is configured for; switching them on a CV3; the
// channels each port shows from the profiles; the changes of a channel
// (QoS, LPVID, logical link) as the one descriptor they write; and the
// channel settings SaveProfile carries across a new layout; and writes of
// values that do not apply on a controller.
#include <gtest/gtest.h>

#include "nic/channels.h"
#include "tests/nic/channel_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

constexpr char kCm[] = "Corvane0/ChannelManagement/";
constexpr char kCv3Port0[] = "Corvane0/PortDiscoveryAndConfiguration0";

TEST_F(ChannelTest, SupportedTypesFollowTheCapabilityWord) {
  const std::string supported = std::string(kCm) + "SupportedMCTypes";
  const struct {
    int64_t word;
    const char* shown;
  } rows[] = {
      {0x59, "UMC,NPAR,vNIC1,UFP"},
      {0x21, "vNIC2"},  // vNIC2 includes UMC
      {0x80, "HPFlexQBG"},
      {0x7FF, "vNIC2,NPAR,vNIC1,UFP,HPUMC,HPFlex,HPFlexQBG"},
      {0x100, "N/A"},  // no type's bit
  };
  for (const auto& r : rows) {
    sim_->topology().controllers[0].mc_capabilities = r.word;
    EXPECT_EQ(get(supported), r.shown) << r.word;
  }
  EXPECT_EQ(get("Corvane2/ChannelManagement/SupportedMCTypes"), "N/A");
  EXPECT_EQ(get("Corvane3/ChannelManagement/SupportedMCTypes"), "N/A");
  EXPECT_EQ(get("Corvane1/ChannelManagement/SupportedMCTypes"), "UMC,NPAR");

  fail_mailbox(1, 123, 3);
  EXPECT_EQ(get(supported), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(292));
  vm_flag = 1;
  EXPECT_EQ(get(supported), "<unreadable>");
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
  // The first function's capabilities say channels do not apply.
  sim_->nic_state(0, 2)->config.capabilities = kCapabilityNoChannels;
  sim_->clear_log();
  EXPECT_EQ(get(supported), "N/A");
  EXPECT_EQ(mailbox_count(1, 123), 0);
}

TEST_F(ChannelTest, Cv3TypesFollowTheLastPortDescriptor) {
  const std::string current = std::string(kCm) + "CurrentManagementType";
  const std::string configured = std::string(kCm) + "ConfiguredManagementType";
  const struct {
    uint8_t code;
    const char* shown;  // null: the value before stays
  } rows[] = {{2, "UMC"},    {3, "N/A"},  {4, "vNIC1"}, {8, nullptr}, {7, "vNIC2"},
              {10, nullptr}, {5, "NPAR"}, {6, "UFP"},   {1, "N/A"},   {0, "N/A"}};
  std::string before = "N/A";
  for (const auto& r : rows) {
    const std::string expected = r.shown != nullptr ? r.shown : before;
    edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.code);
    edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.code);
    EXPECT_EQ(get(current), expected) << int{r.code};
    EXPECT_EQ(last_payload(1, 164).at(1), kProfileActive);
    EXPECT_EQ(get(configured), expected) << int{r.code};
    EXPECT_EQ(last_payload(1, 164).at(1), kProfileConfigured);
    before = expected;
  }
  // Where no type is supported, or on the other generations: N/A.
  edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 2);
  sim_->topology().controllers[0].mc_capabilities = 0;
  EXPECT_EQ(get(configured), "N/A");
  for (const char* c : {"Corvane1", "Corvane2", "Corvane3"})
    EXPECT_EQ(get(std::string(c) + "/ChannelManagement/CurrentManagementType"), "N/A") << c;
}

TEST_F(ChannelTest, ConfigureChannelManagementWritesThePortTypeAndRebuildsChannels) {
  const std::string action = std::string(kCm) + "ConfigureChannelManagement";
  set_prop_val(node(kCv3Channel), "FunctionNumber", "0x9");
  EXPECT_EQ(act(action, {"Enabled", "NPAR"}), 0u);
  EXPECT_EQ(last_status(), nic_status_text(284));
  Bytes expected(184, 0);
  expected[4] = 1;
  expected[8] = 85, expected[9] = 88, expected[13] = 5;
  EXPECT_EQ(last_payload(1, 165), expected);
  EXPECT_EQ(get(std::string(kCm) + "ConfiguredManagementType"), "NPAR");
  EXPECT_EQ(get(std::string(kCm) + "CurrentManagementType"), "N/A");
  // Every port's channels again.
  EXPECT_EQ(channels(kCv3Port0), "Channel0:0x0,NIC,00-0e-1e-30-00-00;Channel1:0x2,iSCSI,00-0e-1e-30-00-02;");
  EXPECT_EQ(channels("Corvane0/PortDiscoveryAndConfiguration1"), "Channel0:0x1,NIC,00-0e-1e-30-00-01;");

  // Disabled needs no type and writes "None" whatever is given.
  EXPECT_EQ(act(action, {"Disabled"}), 0u);
  EXPECT_EQ(last_payload(1, 165).at(13), 1);
  EXPECT_EQ(act(action, {"Disabled", "UFP"}), 0u);
  EXPECT_EQ(last_payload(1, 165).at(13), 1);
  EXPECT_EQ(get(std::string(kCm) + "ConfiguredManagementType"), "N/A");

  const int sent = mailbox_count(1, 165);
  const struct {
    const char* controller;
    std::vector<std::string> params;
    uint32_t code;
  } refused[] = {
      {"Corvane1", {"Enabled", "NPAR"}, 289}, {"Corvane2", {"Disabled"}, 289},         {"Corvane3", {"Disabled"}, 289},
      {"Corvane0", {"Enabled"}, 293},         {"Corvane0", {"Enabled", "vNIC2"}, 294},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(act(std::string(r.controller) + "/ChannelManagement/ConfigureChannelManagement", r.params), 1u)
        << r.controller << " " << r.code;
    EXPECT_EQ(last_status(), nic_status_text(r.code)) << r.controller;
  }
  EXPECT_EQ(mailbox_count(1, 165), sent);
  // A type is supported only by its whole name: HPUMC does not let UMC in.
  for (const auto& [word, result] : {std::pair{0x200, 1u}, std::pair{0x201, 0u}}) {
    sim_->topology().controllers[0].mc_capabilities = word;
    EXPECT_EQ(act(action, {"Enabled", "UMC"}), result) << word;
  }
  EXPECT_EQ(mailbox_count(1, 165), sent + 1);
  EXPECT_EQ(last_payload(1, 165).at(13), 2);
  fail_mailbox(1, 165, 3);
  EXPECT_EQ(act(action, {"Enabled", "UMC"}), 1u);
  EXPECT_EQ(last_status().first, 283u);
  fail_mailbox(1, 84, 3);
  EXPECT_EQ(act(action, {"Enabled", "UMC"}), 1u);
  EXPECT_EQ(last_status().first, 279u);
}

// A value shown "N/A" because it does not apply on this controller,
// generation or function cannot be written: the refusal, no change sent.
TEST_F(ChannelTest, WritesThatCannotApplyFailAndChangeNothing) {
  // Corvane0's port 1 function says DCBX does not apply there.
  sim_->nic_state(0, 1)->config.capabilities = 0x40;
  const std::string pg15 = "/DCBX/PriorityGroups/AdministratorPGSetting/PG15PriorityMemberShip";
  const struct {
    std::string path, value;
    uint32_t code;
  } rows[] = {
      // Profiles and PG15 membership are Moravel features; CV2 has no
      // 10GBase-T PHY.
      {"Corvane2/ProfileManagement/ConfiguredProfile/ProfileId", "3", 259},
      {"Corvane3/ProfileManagement/ConfiguredProfile/ProfileId", "3", 259},
      {"Corvane0/PortDiscoveryAndConfiguration0" + pg15, "0x80", 291},
      {"Corvane3/PortDiscoveryAndConfiguration0" + pg15, "0x80", 291},
      {"Corvane2/PortDiscoveryAndConfiguration0/BaseT10G/NVPValue", "70", 291},
      {"Corvane0/PortDiscoveryAndConfiguration1/DCBX/DCBXPortVars/DCBXState", "Disabled", 291},
      // A function whose SR-IOV state cannot change.
      {"Corvane1/ProfileManagement/ConfiguredProfile/Port0/Function1/SRIOVState", "Enabled", 247},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(get(r.path), "N/A") << r.path;
    sim_->clear_log();
    EXPECT_EQ(set(r.path, r.value), 1u) << r.path;
    EXPECT_EQ(last_status(), nic_status_text(r.code)) << r.path;
    EXPECT_EQ(mailbox_count(1, 165) + mailbox_count(16, 2) + mailbox_count(18, 10), 0) << r.path;
    EXPECT_EQ(get(r.path), "N/A") << r.path;  // for SR-IOV: its config_prof.txt line
  }
}

TEST_F(ChannelTest, ChannelsAreTheEnabledFunctionsOfEachPort) {
  EXPECT_EQ(channels(kCv3Port0), "Channel0:0x0,NIC,00-0e-1e-30-00-00;Channel1:0x2,iSCSI,00-0e-1e-30-00-02;");
  EXPECT_EQ(channels("Corvane1/PortDiscoveryAndConfiguration0"),
            "Channel0:0x0,NIC+RoCE,00-0e-1e-70-00-00;Channel1:0x2,iSCSI,00-0e-1e-70-00-02;");
  EXPECT_EQ(channels("Corvane3/PortDiscoveryAndConfiguration0"), "");
  EXPECT_EQ(get(std::string(kCv3Channel) + "LPVID"), "5");
  EXPECT_EQ(get(std::string(kCv3Iscsi) + "LPVID"), "N/A");

  // A disabled function, a VF template, another port's function and a RoCE
  // descriptor without a NIC channel make none; an FCoE one does.
  auto channel_of = [](uint8_t type, uint16_t n, uint8_t link, uint8_t flags = 0) {
    Bytes d(88, 0);
    d[0] = type, d[1] = 88, d[3] = flags, d[6] = static_cast<uint8_t>(n);
    d[type == kProfileNic ? 44 : type == kProfileIscsi ? 32 : 52] = link;
    d[type == kProfileNic ? 45 : type == kProfileIscsi ? 33 : 53] = 0x02;  // logical link down
    return d;
  };
  std::vector<Bytes> ds = {pci_function(4, 0, 0, 0),      channel_of(kProfileNic, 4, 0),
                           pci_function(5, 1, 0, 0),      channel_of(kProfileNic, 5, 0, kDescriptorVfTemplate),
                           channel_of(kProfileNic, 5, 1), channel_of(kProfileRoce, 5, 0),
                           channel_of(kProfileFcoe, 5, 0)};
  image(0, "configured") = profile_image(ds);
  ASSERT_EQ(TAVO_refresh_group(tag(std::string(kCv3Port0) + "/ChannelManagement")), 0u);
  EXPECT_EQ(channels(kCv3Port0), "Channel0:0x5,FCOE,00-00-00-00-00-00;");
  EXPECT_EQ(get(std::string(kCv3Channel) + "LogicalLinkState"), "Disabled");

  // Sixteen channels a port at most: the 17th stops the build.
  std::vector<Bytes> seventeen = {ds[2]};
  for (uint16_t n = 0; n < 17; ++n) seventeen.push_back(channel_of(kProfileNic, n, 0));
  const Bytes many = profile_image(seventeen);
  image(0, "configured") = many;
  TavoNode* port = node(kCv3Port0);
  ASSERT_EQ(purge_nodes_within(node(std::string(kCv3Port0) + "/ChannelManagement"), "Channel"), 0u);
  EXPECT_EQ(TAVO_get_multi_channels_info(0, port), 1u);
  EXPECT_EQ(children(std::string(kCv3Port0) + "/ChannelManagement", TAVO_KIND_GROUP).size(), 16u);
  EXPECT_EQ(log_count("Failed to initialize Channel group."), 1);

  // A descriptor of length 0 ends the walk.
  Bytes stuck = many;
  stuck[4 + 88 + 1] = 0;
  image(0, "configured") = stuck;
  ASSERT_EQ(TAVO_refresh_group(tag(std::string(kCv3Port0) + "/ChannelManagement")), 0u);
  EXPECT_EQ(channels(kCv3Port0), "");

  // A Galtor builds none; on CV2 the profile command decides (it has none).
  EXPECT_EQ(TAVO_get_multi_channels_info(0, node("Corvane3/PortDiscoveryAndConfiguration0")), 0u);
  EXPECT_EQ(TAVO_get_multi_channels_info(0, node("Corvane2/PortDiscoveryAndConfiguration0")), 213u);
  EXPECT_EQ(last_status(), nic_status_text(278));
}

TEST_F(ChannelTest, ChannelValuesComeFromTheProfileTheTypesName) {
  // The active profile differs: bandwidths 30/70, outer VLAN 0x123 (the
  // high bits of byte 47 are not the VLAN's).
  edit(0, "active", kProfileNic, 48, 30, 4);
  edit(0, "active", kProfileNic, 52, 70, 4);
  edit(0, "active", kProfileNic, 46, 0xF123, 2);
  const struct {
    uint8_t current, configured;  // port descriptor codes
    const char *min, *outer, *lpvid, *vnic;
  } rows[] = {
      {1, 1, "10", "N/A", "5", "N/A"},    {5, 5, "10", "N/A", "5", "N/A"}, {4, 4, "30", "291", "5", "blue"},
      {6, 6, "30", "291", "N/A", "blue"}, {5, 4, "10", "291", "5", "N/A"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.current) + "/" + std::to_string(r.configured));
    edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.current);
    edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.configured);
    EXPECT_EQ(get(std::string(kCv3Channel) + "MinBandWidth"), r.min);
    EXPECT_EQ(get(std::string(kCv3Channel) + "OuterVLANID"), r.outer);
    EXPECT_EQ(get(std::string(kCv3Channel) + "LPVID"), r.lpvid);
    EXPECT_EQ(get(std::string(kCv3Channel) + "vNICName"), r.vnic);
  }
  // An iSCSI channel has no vNIC name here, and no LPVID or outer VLAN.
  edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 4);
  EXPECT_EQ(get(std::string(kCv3Iscsi) + "vNICName"), "");
  EXPECT_EQ(get(std::string(kCv3Iscsi) + "OuterVLANID"), "N/A");
  EXPECT_EQ(get(std::string(kCv3Iscsi) + "MaxBandWidth"), "40");
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(get(std::string(kCv3Channel) + "MaxBandWidth"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(278));
}

TEST_F(ChannelTest, ChannelChangesSendOneEditedDescriptor) {
  const std::string channel = kCv3Channel;
  ASSERT_EQ(act(std::string(kCm) + "ConfigureChannelManagement", {"Enabled", "NPAR"}), 0u);

  // LPVID: byte 2 bit 7, byte 3 bit 2 (bit 6 clear: no type runs yet), the
  // kept fields all ones, the link the port's, the logical link up while
  // the channel has bandwidth.
  EXPECT_EQ(set(channel + "LPVID", "100"), 0u);
  Bytes d = written();
  ASSERT_EQ(d.size(), 88u);
  EXPECT_EQ((std::vector<int>{d[0], d[1], d[2], d[3], u16_of(d, 6), u16_of(d, 36), d[44], d[45], d[47] & 0xF0}),
            (std::vector<int>{81, 88, 0x80, 0x04, 0, 100, 0, 0, 0xF0}));
  for (size_t at : {8, 18, 20, 28, 32, 38, 60, 62}) EXPECT_EQ(u16_of(d, at), 0xFFFF) << at;
  EXPECT_EQ(u32_of(d, 48), 0xFFFFFFFFu);
  EXPECT_EQ(get(channel + "LPVID"), "100");

  EXPECT_EQ(set(channel + "LogicalLinkState", "Disabled"), 0u);
  d = written();
  EXPECT_EQ((std::vector<int>{d[2], d[3], d[45], u16_of(d, 36)}), (std::vector<int>{0x80, 0x04, 0x02, 100}));
  EXPECT_EQ(get(channel + "LogicalLinkState"), "Disabled");
  EXPECT_EQ(set(std::string(kCv3Iscsi) + "LogicalLinkState", "Disabled"), 0u);
  d = written();
  EXPECT_EQ((std::vector<int>{d[0], d[2], d[3], d[33], static_cast<int>(u32_of(d, 36))}),
            (std::vector<int>{82, 0x80, 0, 0x02, -1}));

  // QoS: byte 3 bit 4 cleared, the percentages and the channel's LPVID.
  edit(0, "configured", kProfileNic, 3, 0x10);
  EXPECT_EQ(act(channel + "ConfigureQoS", {"30", "50"}), 0u);
  d = written();
  EXPECT_EQ((std::vector<int>{d[3], static_cast<int>(u32_of(d, 48)), static_cast<int>(u32_of(d, 52)), u16_of(d, 36)}),
            (std::vector<int>{0x04, 30, 50, 100}));
  EXPECT_EQ(get(channel + "MinBandWidth"), "30");
  for (auto [lo, hi] : {std::pair{"40", "40"}, std::pair{"0", "0"}})
    EXPECT_EQ(act(channel + "ConfigureQoS", {lo, hi}), 0u);

  const int sent = mailbox_count(1, 165);
  const struct {
    std::string path, value;  // a property, or ConfigureQoS's "MIN,MAX"
    uint32_t result, code;
  } refused[] = {
      {"LPVID", "1", 1, 308},
      {"ConfigureQoS", "60,40", 1, 287},
      {std::string("../Channel1/") + "LPVID", "10", 1, 286},
  };
  for (const auto& r : refused) {
    const size_t comma = r.value.find(',');
    const uint32_t result = r.path == "ConfigureQoS"
                                ? act(channel + r.path, {r.value.substr(0, comma), r.value.substr(comma + 1)})
                                : set(r.path[0] == '.' ? std::string(kCv3Iscsi) + "LPVID" : channel + r.path, r.value);
    EXPECT_EQ(result, r.result) << r.path;
    EXPECT_EQ(last_status(), nic_status_text(r.code)) << r.path;
  }
  EXPECT_EQ(mailbox_count(1, 165), sent);

  // A channel whose descriptor is gone sends nothing.
  edit(0, "configured", kProfileNic, 6, 9);
  EXPECT_EQ(act(channel + "ConfigureQoS", {"10", "20"}), 1u);
  EXPECT_EQ(last_status().first, 283u);
  EXPECT_EQ(mailbox_count(1, 165), sent);
}

TEST_F(ChannelTest, ChangesFollowTheConfiguredType) {
  const std::string channel = kCv3Channel;
  // Under UFP the LPVID reads N/A: a logical link change keeps the
  // descriptor's, never VLAN 0.
  edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 6);
  EXPECT_EQ(get(channel + "LPVID"), "N/A");
  EXPECT_EQ(set(channel + "LogicalLinkState", "Disabled"), 0u);
  EXPECT_EQ(u16_of(written(), 36), 5);
  const struct {
    uint8_t configured;
    uint32_t qos, lpvid, link;  // results
    uint32_t code;              // the status they leave (0: none)
    uint32_t lpvid_code;        // the status the LPVID write leaves
  } rows[] = {
      {1, 1, 1, 1, 323, 323},    // None
      {6, 285, 1, 0, 285, 259},  // UFP: QoS refused with its own result; no LPVID of its own
      {4, 285, 0, 0, 285, 0},    // vNIC1
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(int{r.configured});
    edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.configured);
    edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), r.configured);
    EXPECT_EQ(act(channel + "ConfigureQoS", {"10", "20"}), r.qos);
    EXPECT_EQ(last_status().first, r.code);
    EXPECT_EQ(set(channel + "LPVID", "0"), r.lpvid);
    EXPECT_EQ(last_status().first, r.lpvid_code);
    EXPECT_EQ(set(channel + "LogicalLinkState", "Enabled"), r.link);
  }
  edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 1);
  // vNIC1 changes go into the running profile's descriptor; LPVID 0 is
  // allowed only where vNIC1 runs.
  edit(0, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 5);
  EXPECT_EQ(set(channel + "LPVID", "0"), 1u);
  edit(0, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 4);
  EXPECT_EQ(set(channel + "LPVID", "0"), 0u);
  EXPECT_EQ(written()[3] & 0x40, 0x40);  // vNIC1 runs: the change applies now
}

TEST_F(ChannelTest, MoravelChangesWaitForAPendingReboot) {
  const std::string channel = kMoravelChannel;
  ASSERT_EQ(set("Corvane1/ProfileManagement/ConfiguredProfile/Port0/MCType", "NPAR"), 0u);
  // Nothing runs yet: written for the next reset.
  EXPECT_EQ(act(channel + "ConfigureQoS", {"20", "30"}), 0u);
  EXPECT_EQ(written()[3] & 0x40, 0);
  EXPECT_EQ(get("Corvane1/ProfileManagement/RebootRequired"), "Yes");
  // NPAR runs: applied at once unless a reboot is pending.
  edit(1, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 5);
  ASSERT_EQ(reload_active("Corvane1"), 0u);
  EXPECT_EQ(act(channel + "ConfigureQoS", {"20", "30"}), 0u);
  EXPECT_EQ(written()[3] & 0x40, 0);
  sim_->flash(1)["/cfg/reset_needed"] = Bytes{0};
  EXPECT_EQ(act(channel + "ConfigureQoS", {"25", "35"}), 0u);
  EXPECT_EQ(written()[3] & 0x40, 0x40);
  EXPECT_EQ(get(channel + "MaxBandWidth"), "35");
}

TEST_F(ChannelTest, SaveProfileCarriesChannelSettingsAcross) {
  // Port 0 runs and keeps NPAR; its channels' settings survive the new
  // layout, which the firmware builds without them.
  edit(1, "active", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 5);
  ASSERT_EQ(reload_active("Corvane1"), 0u);
  ASSERT_EQ(set("Corvane1/ProfileManagement/ConfiguredProfile/Port0/MCType", "NPAR"), 0u);
  const std::string channel = kMoravelChannel;
  const std::string iscsi = "Corvane1/PortDiscoveryAndConfiguration0/ChannelManagement/Channel1/";
  ASSERT_EQ(set(channel + "LogicalLinkState", "Disabled"), 0u);
  sim_->clear_log();
  EXPECT_EQ(act("Corvane1/ProfileManagement/SaveProfile"), 0u);
  // QoS for both channels (the NIC's with the new layout's LPVID), then the
  // NIC channel's saved LPVID and each logical link.
  const auto writes = payloads(1, 165);
  ASSERT_EQ(writes.size(), 6u);
  const struct {
    uint8_t type;
    uint32_t min, max;
  } qos[] = {{81, 25, 100}, {82, 10, 25}};
  EXPECT_EQ(writes[1][8], qos[0].type);
  EXPECT_EQ((std::vector<uint32_t>{u32_of(writes[1], 8 + 48), u32_of(writes[1], 8 + 52), u16_of(writes[1], 8 + 36)}),
            (std::vector<uint32_t>{qos[0].min, qos[0].max, 0}));
  EXPECT_EQ(u16_of(writes[2], 8 + 36), 7);    // the saved LPVID
  EXPECT_EQ(writes[3][8 + 45] & 0x02, 0x02);  // the logical link stays down
  EXPECT_EQ((std::vector<uint32_t>{writes[4][8], u32_of(writes[4], 8 + 36), u32_of(writes[4], 8 + 40)}),
            (std::vector<uint32_t>{qos[1].type, qos[1].min, qos[1].max}));
  EXPECT_EQ(get(channel + "MaxBandWidth"), "100");
  EXPECT_EQ(get(channel + "LPVID"), "7");
  EXPECT_EQ(get(channel + "LogicalLinkState"), "Disabled");
  EXPECT_EQ(get(iscsi + "MinBandWidth"), "10");

  // A port that leaves multi-channel keeps the new layout's values.
  ASSERT_EQ(set("Corvane1/ProfileManagement/ConfiguredProfile/Port0/MCType", "None"), 0u);
  sim_->clear_log();
  EXPECT_EQ(act("Corvane1/ProfileManagement/SaveProfile"), 0u);
  EXPECT_EQ(payloads(1, 165).size(), 1u);
  EXPECT_EQ(get(channel + "MaxBandWidth"), "0");
}

}  // namespace
}  // namespace tavo::test
