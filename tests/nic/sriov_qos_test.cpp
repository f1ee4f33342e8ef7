// SR-IOV state through the profile and the legacy paths, VEPA, the
// bandwidth caps of NIC functions and iSCSI domains, and the iSCSI QoS
// limits: the requests each sends, what it shows and its statuses.
#include <gtest/gtest.h>

#include "tests/nic/channel_fixture.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

namespace tavo::test {
namespace {

constexpr char kCv3Nic[] = "Corvane0/NICPhysicalHBA0/";
constexpr char kMoravelSriov[] = "Corvane1/NICPhysicalHBA1/";  // PF 1, SR-IOV on
constexpr char kQos[] = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0/iSCSIQoS/";

class SriovQosTest : public ChannelTest {
 protected:
  sim::SimPort& fw(int controller, int port) { return *sim::find_port(sim_->topology(), controller, port); }
  // Byte at of the legacy configuration's entry for PF pf.
  uint8_t* legacy_byte(uint8_t pf, size_t at) {
    Bytes& b = sim_->flash(0)["/cfg/cv_conf"];
    for (size_t e = 4; e + 68 <= b.size(); e += 68)
      if (b[e + 4] == pf) return &b[e + at];
    return nullptr;
  }
  sim::Fault& fail_v1(uint8_t opcode) {
    sim::Fault& f = fail_mailbox(1, opcode, 1);
    f.additional_status = 30;
    f.version = 1;
    return f;
  }
};

TEST_F(SriovQosTest, SriovThroughTheProfile) {
  EXPECT_EQ(get(std::string(kCv3Nic) + "SRIOVState"), "Disabled");
  EXPECT_EQ(set(std::string(kCv3Nic) + "SRIOVState", "Enabled"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(252));
  // CV3: one PCI function descriptor that leaves the function's state.
  const Bytes p = last_payload(1, 165);
  ASSERT_EQ(p.size(), sizeof(ProfileConfigSet));
  EXPECT_EQ(Bytes(p.begin(), p.begin() + 24),
            (Bytes{0, 0, 0, 0, 1, 0, 0, 0, 80, 88, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 1, 0}));
  EXPECT_EQ(get(std::string(kCv3Nic) + "SRIOVState"), "Enabled");
  // A function whose SR-IOV cannot change shows N/A and refuses.
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA1/SRIOVState"), "N/A");
  EXPECT_EQ(set("Corvane0/NICPhysicalHBA1/SRIOVState", "Enabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(247));

  // Moravel: the configured functions written whole; port 0 keeps NPAR.
  edit(1, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 5);
  EXPECT_EQ(get(std::string(kMoravelSriov) + "SRIOVState"), "Enabled");
  EXPECT_EQ(set(std::string(kMoravelSriov) + "SRIOVState", "Disabled"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(252));
  const Bytes whole = last_payload(1, 165);
  ASSERT_EQ(whole.size(), 8u + 3 * 88 + 68);
  EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 8), (Bytes{2, 0, 0, 0x80, 4, 0, 0, 0}));
  const size_t pf1 = 8 + 88;  // PCI functions in PF order: 0, 1, 2
  EXPECT_EQ((std::vector<int>{whole[pf1], whole[pf1 + 1], u16_of(whole, pf1 + 6), whole[pf1 + 12], whole[pf1 + 13],
                              u16_of(whole, pf1 + 16)}),
            (std::vector<int>{80, 88, 1, 0, 1, 0}));
  // The closing record keeps each port's multi-channel type.
  EXPECT_EQ(Bytes(whole.end() - 68, whole.end() - 66), (Bytes{86, 68}));
  EXPECT_EQ(Bytes(whole.end() - 16, whole.end() - 12), (Bytes{5, 5, 0, 0}));
  EXPECT_EQ(get(std::string(kMoravelSriov) + "SRIOVState"), "Disabled");
  EXPECT_EQ(get("Corvane1/ProfileManagement/ConfiguredProfile/Port1/Function0/SRIOVState"), "Disabled");
  // The running profile still has it.
  EXPECT_EQ(get("Corvane1/ProfileManagement/ActiveProfile/Port1/Function0/SRIOVState"), "Enabled");
  fail_mailbox(1, 165, 3);
  EXPECT_EQ(set(std::string(kMoravelSriov) + "SRIOVState", "Enabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(305));
  // Capabilities that say SR-IOV does not apply.
  sim_->nic_state(1, 1)->config.capabilities = kCapabilityNoChannels;
  EXPECT_EQ(get(std::string(kMoravelSriov) + "SRIOVState"), "N/A");
  sim_->nic_state(1, 0)->config.capabilities = kCapabilityNoChannels;
  EXPECT_EQ(get("Corvane1/ProfileManagement/ActiveProfile/Port1/Function0/SRIOVState"), "N/A");
}

TEST_F(SriovQosTest, SriovEnablingKeepsEachPortsType) {
  edit(1, "configured", kProfilePort, offsetof(ProfilePortDescriptor, mc_type), 5);
  ASSERT_EQ(set(std::string(kMoravelSriov) + "SRIOVState", "Enabled"), 0u);
  const Bytes whole = last_payload(1, 165);
  const size_t pf1 = 8 + 88;  // PCI functions in PF order: 0, 1, 2
  EXPECT_EQ((std::vector<int>{u16_of(whole, pf1 + 6), whole[pf1 + 12], u16_of(whole, pf1 + 16)}),
            (std::vector<int>{1, 1, 255}));
  // The firmware kept NPAR on port 0.
  Bytes& configured = image(1, "configured");
  int types = 0;
  walk_profile_descriptors(configured.data(), configured.size(), [&](uint8_t* d, size_t) {
    if (d[0] == kProfilePort) types = types * 10 + d[5];
    return true;
  });
  EXPECT_EQ(types, 55);
}

// The Moravel's configured view follows the adapter in config_prof.txt: a
// file that cannot be saved fails the write, naming the file, the line as
// it was.
TEST_F(SriovQosTest, SriovWriteFailsWhenTheConfiguredViewCannotShowIt) {
  const std::string cprof = root_.at("/etc/config/QVL/tavo/config_prof.txt");
  const auto state = [&] {
    const bool unsaved = last_status().second.rfind(kCprofUnsaved, 0) == 0;
    return read_file(cprof) + get("Corvane1/ProfileManagement/ConfiguredProfile/Port1/Function0/SRIOVState") +
           (unsaved ? " unsaved" : " saved");
  };
  const auto disable = [&] { return set(std::string(kMoravelSriov) + "SRIOVState", "Disabled"); };
  const std::string lines = read_file(cprof);
  ASSERT_NE(lines.find("M,0x7,2,None,0x1,NIC,Enabled\n"), std::string::npos);
  const auto [answer, after] = answer_in_child(no_fault(), disable, state);
  ASSERT_EQ(answer, 0u);
  EXPECT_NE(after.find("M,0x7,2,None,0x1,NIC,Disabled\nDisabled saved"), std::string::npos);
  EXPECT_GT(true_answer_under_io_faults(
                "/etc/config/QVL/tavo/config_prof", [&] { write_file(cprof, lines); }, disable, state,
                lines + "Enabled unsaved", after),
            0);
}

TEST_F(SriovQosTest, LegacyPathsOnCv3Cv2AndGaltor) {
  const std::string cv3 = std::string(kCv3Nic) + "SRIOVState";
  // The firmware lacks the version-1 profile commands: the controller
  // configuration record.
  fail_v1(165);
  EXPECT_EQ(set(cv3, "Enabled"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(252));
  EXPECT_EQ(*legacy_byte(0, 12), 1);
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 82, &h).size(), sizeof(ControllerConfigRecordV1));
  EXPECT_EQ(h.version, 1);
  const struct {
    uint8_t state;
    const char* shown;
  } reads[] = {{0, "Disabled"}, {1, "Enabled"}, {255, "N/A"}, {7, "N/A"}};  // 7: the value before stays
  for (const auto& r : reads) {
    *legacy_byte(0, 12) = r.state;
    fail_v1(164);
    EXPECT_EQ(get(cv3), r.shown) << int{r.state};
  }
  fail_v1(165);
  sim::Fault& umc = fail_mailbox(1, 82, 1);
  umc.additional_status = 104;
  EXPECT_EQ(set(cv3, "Enabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(253));
  fail_v1(165);
  fail_mailbox(1, 81, 3);
  EXPECT_EQ(set(cv3, "Enabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(241));

  // CV2: not applicable. Galtor: the common profile, never changed here.
  sim_->clear_log();
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA0/SRIOVState"), "N/A");
  EXPECT_EQ(set("Corvane2/NICPhysicalHBA0/SRIOVState", "Enabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(247));
  EXPECT_EQ(sim_->mailbox_log().size(), 0u);
  const std::string galtor = "Corvane3/NICPhysicalHBA0/SRIOVState";
  EXPECT_EQ(get(galtor), "Enabled");
  EXPECT_EQ(mailbox_count(1, 58), 0);
  EXPECT_EQ(set(galtor, "Disabled"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(247));
  // Counts the buffer cannot hold: above 512 not believed, up to it walked
  // no further than the buffer's 256 descriptors.
  Bytes& common = image(3, "common");
  common.resize(sizeof(CommonProfileConfig));
  for (const auto& [count, shown] : {std::pair{300u, "Enabled"}, std::pair{513u, "N/A"}}) {
    memcpy(common.data(), &count, 4);
    EXPECT_EQ(get(galtor), shown) << count;
  }
  common[4 + 6] = 9;  // no descriptor of the function
  const uint32_t count = 300;
  memcpy(common.data(), &count, 4);
  EXPECT_EQ(get(galtor), "N/A");
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(get(galtor), "<unreadable>");
  EXPECT_EQ(last_status().first, 140u);

  // A Galtor with an iSCSI function takes the common profile on the iSCSI
  // device, through that function, whichever NIC function asks.
  ASSERT_EQ(restart("controller 0 generation=galtor serial=G bus=5\n"
                    "nic controller=0 function=0 name=vmnic0 sriov=on\n"
                    "nic controller=0 function=1 port=1 name=vmnic1\n"
                    "iscsi controller=0 function=2 device=0\n"),
            0u);
  for (const auto& [function, shown] :
       {std::pair{"NICPhysicalHBA0", "Enabled"}, std::pair{"NICPhysicalHBA1", "Disabled"}}) {
    sim_->clear_log();
    EXPECT_EQ(get("Corvane0/" + std::string(function) + "/SRIOVState"), shown) << function;
    ASSERT_FALSE(sim_->mailbox_log().empty());
    EXPECT_NE(sim_->mailbox_log().back().device.find("cv2iscsi_0"), std::string::npos) << function;
  }
}

TEST_F(SriovQosTest, VepaOnAMoravelNeedsSriov) {
  const std::string vepa = std::string(kMoravelSriov) + "VEPAState";
  EXPECT_EQ(get(vepa), "Disabled");
  EXPECT_EQ(last_payload(1, 152), (Bytes{1, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(set(vepa, "Enabled"), 0u);
  Bytes expected(20, 0);
  expected[0] = 1, expected[3] = 0x80, expected[4] = 0xC0;
  EXPECT_EQ(last_payload(1, 153), expected);
  EXPECT_EQ(get(vepa), "Enabled");
  EXPECT_EQ(fw(1, 1).forwarding, 3);
  EXPECT_EQ(set(vepa, "enabled"), 0u);  // the value it has: nothing sent
  EXPECT_EQ(mailbox_count(1, 153), 1);
  EXPECT_EQ(set(vepa, "Disabled"), 0u);
  EXPECT_EQ(last_payload(1, 153).at(4), 0x80);  // VEB

  const struct {
    const char* path;
    const char* value;
    uint32_t code;
  } refused[] = {
      {"Corvane1/NICPhysicalHBA0/VEPAState", "Enabled", 297},  // SR-IOV is off
      {"Corvane0/NICPhysicalHBA0/VEPAState", "Enabled", 297},  // CV3
      {"Corvane3/NICPhysicalHBA0/VEPAState", "Disabled", 297},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(set(r.path, r.value), 1u) << r.path;
    EXPECT_EQ(last_status(), nic_status_text(r.code)) << r.path;
  }
  EXPECT_EQ(get("Corvane0/NICPhysicalHBA0/VEPAState"), "N/A");
  fail_mailbox(1, 152, 66);
  EXPECT_EQ(get(vepa), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{149, "This Operation is not supported."}));
  EXPECT_STREQ(tree::property_record(get_node(tag(vepa)))->value, "N/A");
  vm_flag = 1;
  EXPECT_EQ(get(vepa), "<unreadable>");
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
  EXPECT_EQ(get_nic_count(node("Corvane1/PortDiscoveryAndConfiguration1")), 1u);
}

TEST_F(SriovQosTest, SoftCapsAreTheFunctionsShareOfTheLink) {
  const struct {
    uint8_t code;  // link speed
    uint32_t min, max;
    const char *min_shown, *max_shown;
  } rows[] = {
      {4, 10, 60, "10", "60"},
      {3, 25, 60, "2.5", "6"},
      {6, 10, 100, "25", "250"},
      {2, 10, 60, "0", "0"},
  };
  for (const auto& r : rows) {
    fw(0, 0).speed_code = r.code;
    edit(0, "active", kProfileNic, 48, r.min, 4);
    edit(0, "active", kProfileNic, 52, r.max, 4);
    EXPECT_EQ(get(std::string(kCv3Nic) + "MinBitsPerSecond"), r.min_shown) << int{r.code};
    EXPECT_EQ(get(std::string(kCv3Nic) + "MaxBitsPerSecond"), r.max_shown) << int{r.code};
  }
  MailboxRequestHeader h{};
  last_payload(1, 5, &h);
  EXPECT_EQ(h.version, 1);
  fw(0, 0).speed_code = 4;
  EXPECT_EQ(get(std::string(kQos) + "MinBitsPerSecond"), "20");
  EXPECT_EQ(get(std::string(kQos) + "MaxBitsPerSecond"), "40");
  fail_mailbox(1, 5, 3);
  EXPECT_EQ(get(std::string(kQos) + "MaxBitsPerSecond"), "<unreadable>");
  EXPECT_EQ(last_status().first, 93u);
  EXPECT_STREQ(tree::property_record(get_node(tag(std::string(kQos) + "MinBitsPerSecond")))->value, "N/A");
  fail_mailbox(1, 5, 3);
  EXPECT_EQ(get(std::string(kCv3Nic) + "MaxBitsPerSecond"), "<unreadable>");

  // CV2: the QoS record's bit rate; Galtor has none.
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA0/MinBitsPerSecond"), "N/A");
  EXPECT_EQ(get("Corvane2/NICPhysicalHBA0/MaxBitsPerSecond"), "900");
  EXPECT_EQ(get("Corvane3/NICPhysicalHBA0/MaxBitsPerSecond"), "<unreadable>");
  EXPECT_EQ(last_status().first, 259u);
  vm_flag = 1;
  EXPECT_EQ(get(std::string(kCv3Nic) + "MaxBitsPerSecond"), "<unreadable>");
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
}

TEST_F(SriovQosTest, IscsiQosLimits) {
  const struct {
    const char* property;
    const char* value;
    uint32_t code;
    uint32_t flags, at, sent;  // the 28/1 request: flags, where the value lies, the value
  } writes[] = {
      {"MaxBytesPerSecond", "1280", 0, 0x40, 16, 1310720},
      {"MaxIosPerSecond", "250", 0, 0x04, 12, 250},
      {"MaxBytesPerSecond", "1281", 7, 0, 0, 0},
  };
  for (const auto& w : writes) {
    sim_->clear_log();
    const std::string path = std::string(kQos) + w.property;
    EXPECT_EQ(set(path, w.value), w.code == 0 ? 0u : 1u) << w.property;
    if (w.code != 0) {
      EXPECT_EQ(last_status(), (Status{7, "Value out of range. Valid range is from 0 to 1280."}));
      EXPECT_EQ(mailbox_count(1, 28), 0);
      continue;
    }
    const Bytes p = last_payload(1, 28);
    ASSERT_EQ(p.size(), 36u);
    EXPECT_EQ((std::vector<uint32_t>{u32_of(p, 0), u32_of(p, w.at)}), (std::vector<uint32_t>{w.flags, w.sent}));
    EXPECT_EQ(get(path), w.value);
  }
  // A read drops the remainder of the adapter's bytes.
  sim_->nic_state(0, 2)->qos.max_bytes_per_second = 1048575;
  EXPECT_EQ(get(std::string(kQos) + "MaxBytesPerSecond"), "1023");
  fail_mailbox(1, 27, 3);
  EXPECT_EQ(get(std::string(kQos) + "MaxIosPerSecond"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(114));
  fail_mailbox(1, 28, 3);
  EXPECT_NE(set(std::string(kQos) + "MaxIosPerSecond", "5"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(115));
}

// What clients show for the statuses of channels, QoS and SR-IOV, as the
// adapter tools word them (their spelling kept).
TEST(ChannelStatusTexts, ReadAsTheToolsWordThem) {
  const struct {
    uint32_t code;
    const char* text;
  } rows[] = {
      {93, "Failed to obtain NIC configuration params. Application internal error occurred. Please check tavo2d.log "
           "file for more information."},
      {115, "Failed to set iSCSI QoS properties. Application internal error occurred. Please check tavo2d.log file "
            "for more information."},
      {241, "Failed to get SRIOV state for the interface. Please check tavo2d.log file for more information."},
      {242, "Failed to set SRIOV state for the interface. Please check tavo2d.log file for more information."},
      {247, "Failed to change SRIOVState. SRIOV state change is not supported on this function."},
      {252, "Changed the SRIOV state successfully. Please reboot the machine for changes to take effect."},
      {253, "Enabling SRIOV is not supported when UMC is enabled."},
      {284, "MultiChannel state change. Please reboot your system for the changes to take effect."},
      {285, "Configuring channel parameter is not supported when LogicalLinkState is disabled."},
      {286, "Configuring LPVID is not supported for Storage functions."},
      {287, "Failed to configure QoS.Min Bandwidth is greater then Max Bandwidth."},
      {289, "Configuring Multi Channel is not supported on given adapter."},
      {292, "Failed to get capabilities. Please check tavo2d.log file for more information."},
      {293, "Failed to execute command. Please specify ChannelType."},
      {297, "Failed to configure VEPAState. VEPA is not supported on this adapter."},
      {308, "Failed to set LPVID. Valid range of LPVID is from 2 to 4094."},
      {323, "Configuring requested channel parameter is not supported."},
  };
  for (const auto& r : rows) EXPECT_EQ(nic_status_text(r.code).second, r.text) << r.code;
}

}  // namespace
}  // namespace tavo::test
