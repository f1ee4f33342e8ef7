// The controller's personality on every path: storage functions of the
// profile configuration, the legacy configuration of CV2/CV3, Galtor's
// common profile; SetPersonality's requests and answers, the configured
// personality, the reboot flag and the available personalities; and the
// refusals of this and the erase actions inside a virtual function.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "tests/support/client_fixture.h"
#include "transport/profile_records.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

// Default adapter: Corvane0 CV3 (iSCSI on PF 2, 3), Corvane1 Galtor (iSCSI
// on PF 2), Corvane2 Moravel (iSCSI on PF 4, 5).
constexpr char kCv2[] =
    "controller 0 generation=cv2 serial=V\nnic controller=0 function=0 port=0 name=vmnic0\n"
    "nic controller=0 function=1 port=1 name=vmnic1\niscsi controller=0 function=2 port=0 device=0\n"
    "iscsi controller=0 function=3 port=1 device=1\n";

struct Pf {
  uint16_t pf;
  uint8_t type;
  uint8_t valid;
  uint8_t roles;
};

Bytes profile_image(const std::vector<Pf>& pfs, uint8_t first_type = kProfilePciFunction) {
  Bytes image(4, 0);
  image[0] = static_cast<uint8_t>(pfs.size());
  for (const Pf& p : pfs) {
    ProfilePciFunctionDescriptor d{};
    d.head.type = image.size() == 4 ? first_type : kProfilePciFunction;
    d.head.length = sizeof d;
    d.head.pf = p.pf;
    d.pf_state = p.valid;
    d.pf_type = p.type;
    d.mission_roles = p.roles;
    const auto* b = reinterpret_cast<const uint8_t*>(&d);
    image.insert(image.end(), b, b + sizeof d);
  }
  return image;
}

class PersonalityTest : public ClientTest {
 protected:
  std::string current(int controller, const char* object = nullptr, const Bytes& image = {}) {
    if (object != nullptr) sim_->flash(controller)[object] = image;
    const std::string c = "Corvane" + std::to_string(controller);
    set_prop_val(get_node(tag(c + "/Personality")), "CurrentPersonality", "%s", "-");
    EXPECT_EQ(TAVO_update_current_personality(get_node(tag(c))), 0u);
    return get(c + "/Personality/CurrentPersonality");
  }
};

TEST_F(PersonalityTest, StorageFunctionsOfTheProfile) {
  // Start-up: Galtor from its common profile (PF 3 absent: entry 0, a NIC).
  EXPECT_EQ(get("Corvane1/Personality/CurrentPersonality"), "Unknown");
  EXPECT_EQ(get("Corvane2/Personality/CurrentPersonality"), "iSCSI");
  constexpr uint8_t S = kStorageRoles, N = kProtocolNic;
  const char* kActive = "/cfg/profile/active";
  struct Row {
    const char* name;
    Bytes image;
    const char* shown;
  } rows[] = {
      {"empty configuration", profile_image({}), "NIC"},
      {"no storage roles", profile_image({{2, kProtocolIscsi, 1, N}}), "NIC"},
      {"FCoE", profile_image({{2, kProtocolFcoe, 1, S}, {0, N, 1, N}}), "FCoE"},
      {"last one decides", profile_image({{2, kProtocolIscsi, 1, 2}, {3, kProtocolFcoe, 1, 4}}), "FCoE"},
      {"invalid protocol left out", profile_image({{2, kProtocolFcoe, 1, S}, {3, kProtocolIscsi, 0, S}}), "FCoE"},
      {"RoCE", profile_image({{2, kProtocolRoce, 1, S}}), "Illegal"},
      {"first type below 80: legacy", profile_image({{2, kProtocolFcoe, 1, S}}, 79), "iSCSI"},
  };
  for (const Row& r : rows) EXPECT_EQ(current(0, kActive, r.image), r.shown) << r.name;
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 164, &h).size(), sizeof(ProfileConfigBuffer));
  EXPECT_EQ(h.version, 1);
  // More storage functions than the list holds: the first eight count.
  std::vector<Pf> many;
  for (uint16_t pf = 0; pf < 12; ++pf) many.push_back({pf, pf < 8 ? kProtocolFcoe : kProtocolIscsi, 1, S});
  EXPECT_EQ(current(0, kActive, profile_image(many)), "FCoE");
  // Firmware without the version-1 command: the legacy configuration.
  fail_mailbox(1, 164, 1).additional_status = 30;
  sim_->clear_log();
  EXPECT_EQ(current(0), "iSCSI");
  EXPECT_EQ(mailbox_count(1, 81), 1);
  fail_mailbox(1, 164, 1).additional_status = 30;
  fail_mailbox(1, 81, 3);
  EXPECT_EQ(TAVO_update_current_personality(get_node(tag("Corvane0"))), 1u);
  EXPECT_EQ(last_status().first, 140u);
}

// The walk's log line names the function that walks, not the lambda inside it.
TEST_F(PersonalityTest, TheStorageWalkLogsItsFunction) {
  std::vector<Pf> many;
  for (uint16_t pf = 0; pf < 12; ++pf) many.push_back({pf, kProtocolFcoe, 1, kStorageRoles});
  EXPECT_EQ(current(0, "/cfg/profile/active", profile_image(many)), "FCoE");
  const std::string log = debug_log();
  EXPECT_NE(log.find("TAVO_get_storage_functions: more than 8 storage functions"), std::string::npos);
  EXPECT_EQ(log.find("operator()"), std::string::npos);
}

TEST_F(PersonalityTest, LegacyAndCommonConfigurations) {
  ASSERT_EQ(restart(kCv2), 0u);
  auto legacy = [](uint8_t type2, uint8_t state2, uint8_t type3, uint8_t state3) {
    ControllerConfigRecordV1 r{};
    r.count = 4;
    const uint8_t types[4] = {0, 0, type2, type3}, states[4] = {0, 0, state2, state3};
    for (uint8_t i = 0; i < 4; ++i) r.entries[i] = {kConfigEntryPciFunction, {}, i, states[i], types[i], {}, 0, {}};
    const auto* b = reinterpret_cast<const uint8_t*>(&r);
    return Bytes(b, b + sizeof r);
  };
  struct Row {
    Bytes record;
    const char* shown;
  } legacy_rows[] = {
      {legacy(1, 0, 1, 0), "iSCSI"}, {legacy(2, 0, 2, 0), "FCoE"},    {legacy(2, 1, 2, 1), "NIC"},
      {legacy(1, 0, 2, 0), "Unknown"}, {legacy(1, 0, 1, 1), "Unknown"}, {legacy(7, 0, 7, 0), "Illegal"},
      {legacy(1, 5, 1, 5), "Illegal"},
  };
  for (const Row& r : legacy_rows) EXPECT_EQ(current(0, "/cfg/cv_conf", r.record), r.shown);
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 81, &h).size(), sizeof(ControllerConfigRecordV1));
  EXPECT_EQ(h.version, 1);

  ASSERT_EQ(restart("controller 0 generation=galtor serial=G\nnic controller=0 function=0 name=vmnic0\n"), 0u);
  auto common = [](uint32_t count, uint8_t type, uint8_t valid) {
    CommonProfileConfig c{};
    c.count = count;
    for (uint16_t i = 0; i < kCommonMaxDescriptors; ++i)
      c.descriptors[i] = {kCommonPciFunction, 72, {}, i, {}, 0, valid, type, {}};
    const auto* b = reinterpret_cast<const uint8_t*>(&c);
    return Bytes(b, b + sizeof c);
  };
  Row common_rows[] = {
      {common(4, kProtocolFcoe, 1), "FCoE"}, {common(4, kProtocolIscsi, 1), "Illegal"},
      {common(4, kProtocolIscsi, 0), "NIC"},  {common(300, kProtocolFcoe, 1), "FCoE"},
      {common(513, kProtocolFcoe, 1), "N/A"},
  };
  for (const Row& r : common_rows) EXPECT_EQ(current(0, "/cfg/profile/common", r.record), r.shown);
}

TEST_F(PersonalityTest, SetPersonalityRequestsAndAnswers) {
  const Status changed{143, "Corvane personality has been changed. Please reboot your system for the changes to "
                            "take effect."};
  const Status refused{151, "The Personality Change attempted is not supported on this Corvane controller."};
  EXPECT_EQ(get("Corvane0/ProfileManagement/RebootRequired"), "No");
  ASSERT_EQ(act("Corvane0/Personality/SetPersonality", {"fcoe"}), 0u);
  EXPECT_EQ(last_status(), changed);
  Bytes expected(sizeof(ProfileConfigSet), 0);
  expected[4] = 2;
  for (uint8_t i = 0; i < 2; ++i) {
    uint8_t* d = &expected[8 + 88 * i];
    d[0] = 80, d[1] = 88, d[3] = 0x80, d[6] = static_cast<uint8_t>(2 + i), d[13] = 1, d[14] = kProtocolFcoe;
  }
  EXPECT_EQ(last_payload(1, 165), expected);
  EXPECT_EQ(get("Corvane0/Personality/ConfiguredPersonality"), "FCoE");
  EXPECT_EQ(get("Corvane0/ProfileManagement/RebootRequired"), "Yes");
  EXPECT_EQ(get("Corvane0/Personality/CurrentPersonality"), "iSCSI");  // until the next start
  // The personality already running: no message.
  ASSERT_EQ(act("Corvane0/Personality/SetPersonality", {"ISCSI"}), 0u);
  EXPECT_EQ(last_status(), (Status{0, ""}));
  // A storage function without a valid protocol is written too.
  for (const char* object : {"/cfg/profile/active", "/cfg/profile/configured"})
    sim_->flash(0)[object] = profile_image({{5, kProtocolIscsi, 0, kStorageRoles}});
  ASSERT_EQ(act("Corvane0/Personality/SetPersonality", {"NIC"}), 0u);
  EXPECT_EQ(last_payload(1, 165)[4], 1);
  EXPECT_EQ(last_payload(1, 165)[8 + 6], 5);
  struct Row {
    uint8_t status;
    uint16_t additional;
    Status left;
  } rows[] = {
      {1, 79, refused},
      {1, 81, refused},
      {3, 0, {283, "Failed to SetPortProtocol. Please check tavo2d.log file for more information."}},
  };
  for (const Row& r : rows) {
    fail_mailbox(1, 165, r.status).additional_status = r.additional;
    EXPECT_EQ(act("Corvane0/Personality/SetPersonality", {"FCoE"}), 1u);
    EXPECT_EQ(last_status(), r.left);
  }
  sim_->flash(0)["/cfg/profile/active"] = profile_image({});
  EXPECT_EQ(act("Corvane0/Personality/SetPersonality", {"FCoE"}), 1u);
  EXPECT_EQ(last_status(), refused);
  // Galtor's profile path does not apply, and setting has no fall-back.
  EXPECT_EQ(act("Corvane1/Personality/SetPersonality", {"FCoE"}), 1u);
  EXPECT_EQ(last_status(),
            (Status{278, "Failed to get profile config. Please check tavo2d.log file for more information."}));

  // CV2: the legacy configuration, form 0, PF 2 and 3 only.
  ASSERT_EQ(restart(kCv2), 0u);
  ASSERT_EQ(act("Corvane0/Personality/SetPersonality", {"FCoE"}), 0u);
  EXPECT_EQ(last_status(), changed);
  ControllerConfigRecord expected_record{};
  expected_record.count = 4;
  for (uint8_t i = 0; i < 4; ++i)
    expected_record.entries[i] = {kConfigEntryPciFunction, {}, i, kPfStorageOn, i < 2 ? kPfTypeNic : kPfTypeFcoe, {}, 0, {}};
  const auto* b = reinterpret_cast<const uint8_t*>(&expected_record);
  EXPECT_EQ(last_payload(1, 82), Bytes(b, b + sizeof expected_record));
  EXPECT_EQ(get("Corvane0/Personality/ConfiguredPersonality"), "FCoE");
  fail_mailbox(1, 82, 1).additional_status = 79;
  EXPECT_EQ(act("Corvane0/Personality/SetPersonality", {"NIC"}), 1u);
  EXPECT_EQ(last_status(), refused);
  fail_mailbox(1, 81, 3);
  EXPECT_EQ(act("Corvane0/Personality/SetPersonality", {"NIC"}), 1u);
  EXPECT_EQ(last_status().first, 139u);
}

TEST_F(PersonalityTest, ConfiguredAvailableAndRebootAnswers) {
  EXPECT_EQ(get("Corvane1/Personality/AvailablePersonalities"), "");     // Galtor
  EXPECT_EQ(get("Corvane2/Personality/AvailablePersonalities"), "NIC");  // Moravel: not asked
  sim_->flash(0)["/cfg/personality"] = Bytes{'i', 'S', 'C', 'S', 'I', '-', 'n', 'e', 'w'};
  EXPECT_EQ(get("Corvane0/Personality/ConfiguredPersonality"), "iSCSI-ne");  // at most 8 characters
  for (const auto& [length, shown] : {std::pair<int64_t, const char*>{2, "iS"}, {0x7FFFFFFF, "iSCSI-ne"}}) {
    sim::Fault f;
    f.kind = sim::FaultKind::ResponseLength;
    f.opcode = 114;
    f.length = length;
    sim_->inject(f);
    EXPECT_EQ(get("Corvane0/Personality/ConfiguredPersonality"), shown);
  }
  EXPECT_EQ(get("Corvane1/Personality/ConfiguredPersonality"), "N/A");
  fail_mailbox(1, 114, 3);
  EXPECT_EQ(get("Corvane0/Personality/ConfiguredPersonality"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{177, "Failed to get the configured personality for the controller. Please check "
                                        "tavo2d.log file for more information."}));
  fail_mailbox(1, 84, 3);
  EXPECT_EQ(get("Corvane0/ProfileManagement/RebootRequired"), "<unreadable>");
  EXPECT_EQ(last_status(),
            (Status{279, "Failed to get reset needed. Please check tavo2d.log file for more information."}));

  TavoNode* cv3 = get_node(tag("Corvane0"));
  const std::string long_text(300, 'P');
  sim_->flash(0)["/cfg/personalities"] = Bytes(long_text.begin(), long_text.end());
  ASSERT_EQ(TAVO_update_available_personalities(cv3), 0u);
  EXPECT_EQ(get("Corvane0/Personality/AvailablePersonalities"), long_text.substr(0, 255));
  fail_mailbox(1, 113, 3);
  EXPECT_EQ(TAVO_update_available_personalities(cv3), 1u);
  EXPECT_EQ(last_status().first, 176u);
  fail_mailbox(1, 76, 3);
  EXPECT_EQ(TAVO_update_available_personalities(get_node(tag("Corvane1"))), 1u);
  EXPECT_EQ(last_status().first, 74u);
}

TEST_F(PersonalityTest, VirtualFunctionRefusals) {
  ASSERT_EQ(restart("controller 0 generation=moravel serial=M\nnic controller=0 function=0 name=vmnic0\n"
                    "vf controller=0 function=1 parent=0 name=vmnic1\n"),
            0u);
  const Status vf{256, "Performed operation is not supported on a SR-IOV virtual function."};
  EXPECT_EQ(get("Corvane0/Personality/CurrentPersonality"), "N/A");
  EXPECT_EQ(get("Corvane0/Personality/AvailablePersonalities"), "N/A");
  sim_->clear_log();
  for (const char* p : {"Corvane0/Personality/ConfiguredPersonality", "Corvane0/ProfileManagement/RebootRequired"}) {
    EXPECT_EQ(get(p), "<unreadable>") << p;
    EXPECT_EQ(last_status(), vf);
  }
  for (const char* action : {"Corvane0/Personality/SetPersonality", "Corvane0/EraseAllConfiguration",
                             "Corvane0/ResetFactoryDefaults", "Corvane0/NICPhysicalHBA0/EraseNICConfiguration"}) {
    EXPECT_EQ(act(action, {strstr(action, "Personality") ? "NIC" : "1"}), 1u) << action;
    EXPECT_EQ(last_status(), vf);
  }
  EXPECT_TRUE(sim_->mailbox_log().empty());
}

}  // namespace
}  // namespace tavo::test
