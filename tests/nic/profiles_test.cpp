// The profiles of a Moravel controller: the views built at start-up with
// their config_prof.txt lines, the walk rules over planted configurations,
// the offered profiles and their protocols, the protocols a function may
// take, and the editable values that change only the file.
#include <gtest/gtest.h>

#include "nic/nic.h"
#include "tests/nic/profile_fixture.h"
#include "transport/glob.h"

namespace tavo::test {
namespace {

using Views = std::vector<std::string>;

TEST_F(ProfileTest, StartupBuildsBothViewsAndTheirLines) {
  EXPECT_EQ(lines(), kStartupLines);
  EXPECT_EQ(get(std::string(kActive) + "/ProfileId"), "2");
  EXPECT_EQ(get(std::string(kConfigured) + "/ProfileId"), "2");
  EXPECT_EQ(view(kActive, "Protocol"), (Views{"Port0:NIC,iSCSI", "Port1:NIC+RoCE"}));
  EXPECT_EQ(view(kActive, "FunctionNumber"), (Views{"Port0:0x0,0x2", "Port1:0x1"}));
  EXPECT_EQ(view(kActive, "MACAddress"), (Views{"Port0:00-0e-1e-60-00-00,00-0e-1e-60-00-02", "Port1:00-0e-1e-60-00-01"}));
  // A NIC function with RoCE reads its second line.
  EXPECT_EQ(view(kConfigured, "Protocol"), (Views{"Port0:NIC,iSCSI", "Port1:NIC+RoCE"}));
  EXPECT_EQ(view(kConfigured, "State"), (Views{"Port0:Enabled,Enabled", "Port1:Enabled"}));
  EXPECT_EQ(view(kConfigured, "AvailableProtocols"), (Views{"Port0:NIC,NIC,iSCSI,FCoE", "Port1:NIC"}));
  // Each port counts from its own descriptor of the configured profile:
  // the iSCSI function is port 0's.
  for (const auto& [view_path, counts] : {std::pair{"Port0", "201"}, std::pair{"Port1", "110"}}) {
    const std::string port = std::string(kActive) + "/" + view_path;
    EXPECT_EQ(get(port + "/MaxNICPFCount") + get(port + "/MaxRoCEPFCount") + get(port + "/MaxiSCSIPFCount"), counts)
        << view_path;
  }
  // Another generation has no views.
  EXPECT_EQ(get("Corvane2/ProfileManagement/ConfiguredProfile/ProfileId"), "N/A");
  EXPECT_TRUE(view("Corvane2/ProfileManagement/ActiveProfile", "Protocol").empty());
  EXPECT_EQ(TAVO_get_configured_profiles(node("Corvane2")), 1u);
}

TEST_F(ProfileTest, ViewsFollowTheDescriptorRules) {
  const uint8_t N = kProtocolNic, F = kProtocolFcoe, I = kProtocolIscsi;
  const Bytes configured = profile_image({
      pci_function(0, 1, N, N, kSriovChangeable, 1), protocol(kProfileNic, 0, 0, 0x10),
      pci_function(1, 0, N, N, kSriovChangeable, 0), protocol(kProfileNic, 1, 0, 0x11),
      pci_function(4, 1, F, N | F), protocol(kProfileFcoe, 4, 0, 0x14),  // the third on port 0: past its count
      pci_function(6, 1, I, N | I), protocol(kProfileIscsi, 6, 1, 0x16, kDescriptorVfTemplate), roce(6),
      // Port 0 counts two functions of its own, whatever the last port's;
      // code 9 has no name: port 1 keeps its own code.
      port_descriptor(0, 2, 2, 2, 0, 1), port_descriptor(1, 9, 3, 0, 1, 0, 1),
  });
  const Bytes active = profile_image({
      pci_function(0, 1, N, N), protocol(kProfileNic, 0, 0, 0x20),
      pci_function(1, 0, N, N), protocol(kProfileNic, 1, 0, 0x21),
      pci_function(8, 1, N, N), protocol(kProfileNic, 8, 0, 0x28),  // above the ARI limit 7
      port_descriptor(0, 5, 4),
  });
  ASSERT_EQ(restart_with({{0, {"/cfg/profile/configured", configured}}, {0, {"/cfg/profile/active", active}}}), 0u);
  // A disabled function shows "None", as in the active view.
  EXPECT_EQ(lines(),
            "MA,0x7,2,UMC,0x0,NIC,Enabled\nMA,0x7,2,UMC,0x1,None,Disabled\nMA,0x7,2,9,0x6,RoCE,N/A\n"
            "MB,0x9,2,None,0x0,NIC,N/A\n");
  EXPECT_EQ(view(kConfigured, "Protocol"), (Views{"Port0:NIC,None", "Port1:RoCE"}));
  EXPECT_EQ(view(kConfigured, "SRIOVState"), (Views{"Port0:Enabled,Disabled", "Port1:N/A"}));
  EXPECT_EQ(view(kConfigured, "State"), (Views{"Port0:Enabled,Disabled", "Port1:Enabled"}));
  EXPECT_EQ(get(std::string(kConfigured) + "/Port0/MCType"), "UMC");
  EXPECT_EQ(get(std::string(kConfigured) + "/Port1/MCType"), "9");
  EXPECT_EQ(view(kActive, "Protocol"), (Views{"Port0:NIC,None"}));
  const std::string counts = std::string(kActive) + "/Port0/";
  EXPECT_EQ(get(counts + "MaxNICPFCount") + get(counts + "MaxiSCSIPFCount") + get(counts + "MaxFCoEPFCount"), "201");
  // A save writes the port's own code back and keeps the disabled PF off.
  act("Corvane0/ProfileManagement/SaveProfile");
  EXPECT_EQ(get(std::string(kConfigured) + "/Port1/MCType"), "9");
  EXPECT_EQ(view(kConfigured, "Protocol").at(0), "Port0:NIC,None");
  EXPECT_EQ(view(kActive, "MACAddress"), (Views{"Port0:00-0e-1e-99-00-20,00-0e-1e-99-00-21"}));
  EXPECT_EQ(get(std::string(kActive) + "/Port0/MCType"), "NPAR");
  EXPECT_EQ(get("Corvane0/ProfileManagement/MaxFunctionsPerPort"), "3");  // the last port's

  // Without ARI settings the active view has no limit; a failed id read
  // leaves both views without ports.
  sim::Fault& ari = fail_mailbox(1, 94, 3);
  ari.times = -1;
  sim_->flash(0).erase("/cfg/profile/configured");  // the active one again, 4 functions a port
  ASSERT_EQ(purge_nodes_within(node(kActive), "Port"), 0u);
  EXPECT_EQ(TAVO_get_active_profiles(node("Corvane0")), 0u);
  EXPECT_EQ(view(kActive, "FunctionNumber"), (Views{"Port0:0x0,0x1,0x8"}));
  fail_mailbox(1, 167, 3);
  EXPECT_EQ(TAVO_get_active_profiles(node("Corvane0")), 1u);
  EXPECT_EQ(last_status(), nic_status_text(277));
}

// The profiles the adapter offers, each with the protocols of its ports.
TEST_F(ProfileTest, OfferedProfilesAndTheirProtocols) {
  const std::string pm = "Corvane0/ProfileManagement/";
  std::string ids;
  for (int i = 0; i < 4; ++i) ids += get(pm + "Profile" + std::to_string(i) + "/ProfileId") + " ";
  EXPECT_EQ(ids, "1 2 21 24 ");  // 20 is never shown
  EXPECT_EQ(get(pm + "Profile2/ProfileDescription"), "NIC and RoCE");
  EXPECT_EQ(children(pm + "Profile1", TAVO_KIND_GROUP), (std::vector<std::string>{"Protocol0", "Protocol1"}));
  EXPECT_EQ(get(pm + "Profile1/Protocol0/ProtocolName") + "=" + get(pm + "Profile1/Protocol0/FunctionCount"),
            "NIC+RoCE=3");
  EXPECT_EQ(get(pm + "Profile1/Protocol1/ProtocolName") + "=" + get(pm + "Profile1/Protocol1/FunctionCount"),
            "iSCSI=1");

  const auto caps = [](std::vector<std::pair<uint8_t, uint8_t>> descriptors) {
    Bytes image(4, 0);
    const auto count = static_cast<uint32_t>(descriptors.size());
    memcpy(image.data(), &count, 4);
    for (const auto& [type, length] : descriptors) {
      image.push_back(type);
      image.push_back(length);
      image.resize(image.size() + (length > 2 ? length - 2 : 0), 0);
    }
    return image;
  };
  Bytes list(sizeof(ProfileList), 0);
  auto* l = reinterpret_cast<ProfileList*>(list.data());
  l->count = 300;  // more than the reply holds
  for (uint32_t i = 0; i < kProfileListEntries; ++i) l->entries[i].profile_id = static_cast<uint8_t>(30 + i);
  ASSERT_EQ(restart_with({{0, {"/cfg/profile/cap/21", caps({{kCapacityRoce, 4}, {kCapacityNic, 4}, {kCapacityIscsi, 4}})}},
                          {0, {"/cfg/profile/cap/24", caps({{kCapacityNic, 4}, {kCapacityIscsi, 0}, {kCapacityFcoe, 4}})}},
                          {1, {"/cfg/profile/list", list}}}),
            0u);
  // RoCE first stands alone; a length of 0 ends the walk.
  std::string names;
  for (const char* p : {"Profile2/Protocol0", "Profile2/Protocol1", "Profile2/Protocol2", "Profile3/Protocol0",
                        "Profile3/Protocol1"})
    names += get(pm + p + "/ProtocolName") + " ";
  EXPECT_EQ(names, "RoCE NIC iSCSI NIC <unreadable> ");
  MailboxRequestHeader h{};
  EXPECT_EQ(last_payload(1, 161, &h)[0], 129);
  EXPECT_EQ(h.version, 1);
  // A list beyond the slots: 100 profiles, the rest refused.
  EXPECT_EQ(children("Corvane1/ProfileManagement", TAVO_KIND_GROUP).size(), 2u + 100u);
  EXPECT_EQ(get("Corvane1/ProfileManagement/Profile99/ProfileId"), "129");
  EXPECT_EQ(TAVO_list_available_profiles(node("Corvane2")), 1u);

  // A failed capacity read leaves its profile without protocols.
  ASSERT_EQ(purge_nodes_within(node("Corvane0/ProfileManagement"), "Profile"), 0u);
  // The firmware without the version-1 capacity command (213).
  sim::Fault& v1 = fail_mailbox(1, 161, 1);
  v1.additional_status = 30;
  v1.version = 1;
  EXPECT_EQ(TAVO_list_available_profiles(node("Corvane0")), 0u);
  EXPECT_EQ(last_status(), nic_status_text(276));
  EXPECT_TRUE(children(pm + "Profile0", TAVO_KIND_GROUP).empty());
  EXPECT_EQ(children(pm + "Profile1", TAVO_KIND_GROUP).size(), 2u);
  fail_mailbox(1, 166, 3);
  EXPECT_EQ(TAVO_list_available_profiles(node("Corvane0")), 1u);
  EXPECT_EQ(last_status(), nic_status_text(275));
}

TEST_F(ProfileTest, AvailableProtocolsFromTheMissionRoles) {
  const uint8_t N = kProtocolNic, I = kProtocolIscsi, F = kProtocolFcoe;
  struct Row {
    uint8_t roles, changeable;
    const char* shown;
  } rows[] = {
      {N | I, kPresentationChangeable, "NIC,iSCSI,None"},
      {I | F, 0, "iSCSI,FCoE"},
      {N | I | F | kProtocolRoce, 0, "NIC,iSCSI,FCoE,RoCE"},
      {0, kPresentationChangeable, ",None"},
  };
  std::vector<Bytes> descriptors;
  for (uint16_t pf = 0; pf < 4; ++pf) {
    descriptors.push_back(pci_function(pf, 1, N, rows[pf].roles, rows[pf].changeable));
    descriptors.push_back(protocol(kProfileNic, pf, 0, static_cast<uint8_t>(pf)));
  }
  descriptors.push_back(port_descriptor(0, 1, 8));
  ASSERT_EQ(restart_with({{0, {"/cfg/profile/configured", profile_image(descriptors)}}}), 0u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(get(std::string(kConfigured) + "/Port0/Function" + std::to_string(i) + "/AvailableProtocols"),
              rows[i].shown);
  // A PF the configuration no longer lists takes nothing.
  sim_->flash(0)["/cfg/profile/configured"] = profile_image({port_descriptor(0, 1, 8)});
  EXPECT_EQ(get(std::string(kConfigured) + "/Port0/Function0/AvailableProtocols"), "");
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(get(std::string(kConfigured) + "/Port0/Function0/AvailableProtocols"), "<unreadable>");
  EXPECT_EQ(last_status().first, 278u);
}

// Edits change config_prof.txt and the stored values only.
TEST_F(ProfileTest, EditsLiveInTheFile) {
  const std::string c = kConfigured;
  const int writes = mailbox_count(1, 165);
  // Function 0x1 may change its SR-IOV state.
  std::string changeable = kStartupLines;
  for (size_t at = 0; (at = changeable.find("0x1,NIC", at)) != std::string::npos; ++at)
    changeable.replace(changeable.find("N/A", at), 3, "Disabled");
  put_lines(changeable);
  EXPECT_EQ(set(c + "/ProfileId", "0x5"), 0u);
  EXPECT_EQ(get(c + "/ProfileId"), "5");
  EXPECT_EQ(set(c + "/Port1/Function0/SRIOVState", "enabled"), 0u);
  EXPECT_EQ(set(c + "/Port0/Function1/Protocol", "fcoe"), 0u);
  EXPECT_EQ(set(c + "/Port0/Function0/Protocol", "None"), 0u);  // function 0 stays a NIC
  EXPECT_EQ(lines(),
            "MA,0x7,5,None,0x0,NIC,N/A\nMA,0x7,5,None,0x2,FCoE,N/A\nMA,0x7,5,None,0x1,NIC,Enabled\n"
            "MA,0x7,5,None,0x1,NIC+RoCE,Enabled\nMB,0x9,2,None,0x0,NIC,N/A\n");
  EXPECT_EQ(get(c + "/Port0/Function1/Protocol"), "FCoE");
  EXPECT_EQ(get(c + "/Port1/Function0/SRIOVState"), "Enabled");
  EXPECT_EQ(mailbox_count(1, 165), writes);  // nothing went to the adapter

  // Only protocol names reach the line; RoCE takes its own profile.
  for (const char* bad : {"NIC,x", "Bogus", ""}) {
    EXPECT_EQ(set(c + "/Port0/Function1/Protocol", bad), 1u) << bad;
    EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{6, "Invalid value."})) << bad;
  }
  EXPECT_EQ(set(c + "/Port1/Function0/Protocol", "nic+roce"), 0u);
  EXPECT_EQ(get(c + "/ProfileId"), "21");
  EXPECT_EQ(lines(),
            "MA,0x7,21,None,0x0,NIC,N/A\nMA,0x7,21,None,0x2,FCoE,N/A\nMA,0x7,21,None,0x1,NIC+RoCE,Enabled\n"
            "MA,0x7,21,None,0x1,NIC+RoCE,Enabled\nMB,0x9,2,None,0x0,NIC,N/A\n");

  // A multi-channel type the controller does not support by its whole
  // name, or an HP one, is refused; None always goes.
  sim_->topology().controllers[0].mc_capabilities = 0x208;  // NPAR and HPUMC, not UMC
  for (const char* refused : {"vNIC1", "UMC", "HPFlex", "hpflexqbg"}) {
    EXPECT_EQ(set(c + "/Port0/MCType", refused), 1u) << refused;
    EXPECT_EQ(last_status(), nic_status_text(294)) << refused;
  }
  EXPECT_EQ(set(c + "/Port0/MCType", "npar"), 0u);
  EXPECT_EQ(get(c + "/Port0/MCType"), "NPAR");
  EXPECT_EQ(set(c + "/Port1/MCType", "None"), 0u);
  EXPECT_NE(lines().find("MA,0x7,21,NPAR,0x2,FCoE,N/A\n"), std::string::npos);

  // A function without a line answers its stored value.
  put_lines("");
  EXPECT_EQ(get(c + "/Port0/Function1/Protocol"), "FCoE");
  EXPECT_EQ(set(c + "/Port0/Function1/Protocol", "iSCSI"), 0u);
  EXPECT_EQ(get(c + "/Port0/Function1/Protocol"), "iSCSI");

  // Inside a virtual function reads show N/A and writes are refused.
  vm_flag = 1;
  EXPECT_EQ(get(c + "/ProfileId"), "<unreadable>");
  EXPECT_EQ(last_status().first, 256u);
  EXPECT_EQ(get(c + "/Port0/Function1/Protocol"), "N/A");
  EXPECT_EQ(set(c + "/Port0/Function1/SRIOVState", "Enabled"), 1u);
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
  // Another generation has no profile to edit.
  EXPECT_EQ(set("Corvane2/ProfileManagement/ConfiguredProfile/ProfileId", "3"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(259));
  EXPECT_EQ(get("Corvane2/ProfileManagement/ConfiguredProfile/ProfileId"), "N/A");
}

// A rebuild writes the controller's lines again and keeps every other line,
// also one without its line feed.
TEST_F(ProfileTest, RebuildKeepsTheOtherControllersLines) {
  put_lines(std::string(kStartupLines) + "ZZ,0x1,3,UMC,0x0,NIC,N/A");
  sim_->flash(1)["/cfg/profile/configured"] =
      profile_image({pci_function(0, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 0, 0, 1),
                     pci_function(1, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 1, 0, 2),
                     port_descriptor(0, 2, 4)});
  ASSERT_EQ(purge_nodes_within(node("Corvane1/ProfileManagement/ConfiguredProfile"), "Port"), 0u);
  ASSERT_EQ(TAVO_get_configured_profiles(node("Corvane1")), 0u);
  EXPECT_EQ(lines(),
            "MA,0x7,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x2,iSCSI,N/A\nMA,0x7,2,None,0x1,NIC,N/A\n"
            "MA,0x7,2,None,0x1,NIC+RoCE,N/A\nZZ,0x1,3,UMC,0x0,NIC,N/A\n"
            "MB,0x9,2,UMC,0x0,NIC,N/A\nMB,0x9,2,UMC,0x1,NIC,N/A\n");
  // A build that fails leaves the others' lines alone.
  ASSERT_EQ(purge_nodes_within(node("Corvane1/ProfileManagement/ConfiguredProfile"), "Port"), 0u);
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(TAVO_get_configured_profiles(node("Corvane1")), 1u);
  EXPECT_EQ(lines(), std::string(kStartupLines).substr(0, std::string(kStartupLines).find("MB")) +
                         "ZZ,0x1,3,UMC,0x0,NIC,N/A\n");
}

}  // namespace
}  // namespace tavo::test
