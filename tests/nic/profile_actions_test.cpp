// The actions that change what a Moravel adapter runs after its next reset:
// another profile, the edited layout saved, the factory profile, the
// highest function number and the link configuration; with the requests
// they send, their statuses, and the configured view rebuilt after them.
#include <gtest/gtest.h>

#include <functional>

#include "controller/controller.h"
#include "nic/nic.h"
#include "tests/nic/profile_fixture.h"
#include "transport/glob.h"
#include "transport/nic_records.h"
#include "transport/port_records.h"

namespace tavo::test {
namespace {

using Status = std::pair<uint32_t, std::string>;
constexpr char kPm[] = "Corvane0/ProfileManagement/";

// The start-up lines once Corvane0's were written again: after the others.
std::string rebuilt_lines() {
  const std::string all = kStartupLines;
  return all.substr(all.find("MB")) + all.substr(0, all.find("MB"));
}

class ProfileActionTest : public ProfileTest {
 protected:
  // Corvane0 as a system of the OEM server maker.
  void make_oem_system() { set_prop_val(node("Corvane0/iSCSIPhysicalHBA0/PCI"), "SubsysDeviceID", "0xe820"); }
  // The written PCI function descriptors of the last 165/1 request, and
  // its closing multi-channel descriptor.
  std::vector<ProfilePciFunctionDescriptor> written(ProfileMultiChannelDescriptor* mc = nullptr) {
    const Bytes p = last_payload(1, 165);
    std::vector<ProfilePciFunctionDescriptor> out;
    uint32_t count = 0;
    if (p.size() < 8) return out;
    memcpy(&count, p.data() + 4, 4);
    for (uint32_t i = 0; i + 1 < count && 8 + (i + 1) * 88 <= p.size(); ++i) {
      out.emplace_back();
      memcpy(&out.back(), p.data() + 8 + i * 88, 88);
    }
    if (mc != nullptr && p.size() >= 8 + out.size() * 88 + sizeof *mc) memcpy(mc, p.data() + 8 + out.size() * 88, sizeof *mc);
    return out;
  }
  int erases_of(uint8_t region) {
    const Bytes& erased = sim_->flash(0)["/erased"];
    return static_cast<int>(std::count(erased.begin(), erased.end(), region));
  }
};

TEST_F(ProfileActionTest, SetProfileIdNamesTheNextProfile) {
  const std::string action = std::string(kPm) + "SetProfileId";
  sim_->flash(0)["/cfg/profile/21"] =
      profile_image({pci_function(0, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 0, 0, 1),
                     pci_function(3, 1, kProtocolNic, kProtocolNic), protocol(kProfileNic, 3, 0, 3),
                     port_descriptor(0, 1, 4)});
  EXPECT_EQ(act(action, {"21"}), 0u);
  EXPECT_EQ(last_payload(1, 168), (Bytes{21, 0, 0, 0}));
  EXPECT_EQ(last_status(), nic_status_text(280));
  EXPECT_EQ(lines(), "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,21,None,0x0,NIC,N/A\nMA,0x7,21,None,0x3,NIC,N/A\n");
  EXPECT_EQ(get(std::string(kConfigured) + "/ProfileId"), "21");
  EXPECT_EQ(get(std::string(kPm) + "RebootRequired"), "Yes");

  const int sent = mailbox_count(1, 168);
  const struct {
    const char* id;
    Status status;
  } refused[] = {
      {"256", {7, "ProfileId: Value out of range. Valid range is from 1 to 255."}},  // one byte in the request
      {"0", {7, "ProfileId: Value out of range. Valid range is from 1 to 256."}},    // the tree's own range
  };
  for (const auto& r : refused) {
    EXPECT_EQ(act(action, {r.id}), 1u) << r.id;
    EXPECT_EQ(last_status(), r.status) << r.id;
  }
  EXPECT_EQ(mailbox_count(1, 168), sent);
  EXPECT_EQ(act(action, {"3"}), 1u);  // a profile the adapter does not offer
  EXPECT_EQ(last_status(), nic_status_text(281));
  EXPECT_EQ(act("Corvane2/ProfileManagement/SetProfileId", {"3"}), 1u);
  EXPECT_EQ(last_status(), action_failed("SetProfileId"));
  EXPECT_EQ(mailbox_count(1, 168), sent + 1);
}

TEST_F(ProfileActionTest, SaveProfileWritesTheEditedLayout) {
  // The active layout lists PF 0, 2, 1: PF 0 is built from the active
  // descriptor, the others (passed over) from the configured ones. Byte 40
  // tells the sources apart; the active PF 0 carries flags to clear.
  const auto marked = [](Bytes d, uint8_t mark, uint8_t flags = 0) {
    d[40] = mark;
    d[3] = flags;
    return d;
  };
  const uint8_t N = kProtocolNic, R = kStorageRoles | kProtocolNic;
  const Bytes configured = profile_image({
      marked(pci_function(0, 1, N, N, kSriovChangeable), 0xCC), protocol(kProfileNic, 0, 0, 0),
      marked(pci_function(1, 1, N, N), 0xCC), protocol(kProfileNic, 1, 1, 1), roce(1),
      marked(pci_function(2, 1, kProtocolIscsi, R), 0xCC), protocol(kProfileIscsi, 2, 0, 2),
      marked(pci_function(9, 1, N, N), 0xCC),  // no function in the tree
      port_descriptor(0, 1, 4), port_descriptor(1, 1, 4),
  });
  const Bytes active = profile_image({
      marked(pci_function(0, 1, N, N), 0xAA, 0xC4), marked(pci_function(2, 1, N, R), 0xAA),
      marked(pci_function(1, 1, N, N), 0xAA), port_descriptor(0, 1, 4), port_descriptor(1, 1, 4),
  });
  ASSERT_EQ(restart_with({{0, {"/cfg/profile/configured", configured}}, {0, {"/cfg/profile/active", active}}}), 0u);
  const std::string c = kConfigured;
  ASSERT_EQ(set(c + "/Port0/Function0/SRIOVState", "Enabled"), 0u);
  ASSERT_EQ(set(c + "/Port0/Function1/Protocol", "FCoE"), 0u);
  ASSERT_EQ(set(c + "/Port1/Function0/Protocol", "None"), 0u);
  ASSERT_EQ(set(c + "/Port0/MCType", "NPAR"), 0u);
  const size_t flow_controls = payloads(1, 205).size();
  EXPECT_EQ(act(std::string(kPm) + "SaveProfile"), 0u);
  EXPECT_EQ(last_status(), nic_status_text(304));
  // Each port's flow control again (read, then written), for its own
  // configured type: port 0 NPAR (sub-command 11), port 1 None (8).
  const auto flows = payloads(1, 205);
  ASSERT_EQ(flows.size(), flow_controls + 6);
  std::vector<std::pair<int, int>> writes;  // port, sub-command
  for (size_t i = flow_controls; i < flows.size(); ++i)
    if (flows[i].at(1) != tavo::kFlowControlRead) writes.emplace_back(flows[i].at(3), flows[i].at(1));
  EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{0, tavo::kFlowControlWriteNpar}, {1, tavo::kFlowControlWrite}}));

  const Bytes request = last_payload(1, 165);
  ASSERT_EQ(request.size(), 8u + 4 * 88 + 68);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 8), (Bytes{2, 0, 0, 0x80, 5, 0, 0, 0}));
  ProfileMultiChannelDescriptor mc{};
  const auto d = written(&mc);
  ASSERT_EQ(d.size(), 4u);
  struct Row {
    uint16_t pf;
    uint8_t state, type, sriov;
    uint16_t vfs;
    uint8_t source, flags;
  } rows[] = {
      {0, 1, N, 1, 255, 0xAA, 0x04}, {1, 0, N, 0, 0, 0xCC, 0}, {2, 1, kProtocolFcoe, 0, 0, 0xCC, 0},
      {9, 0, N, 0, 0, 0xCC, 0},
  };
  for (size_t i = 0; i < 4; ++i) {
    const auto& r = rows[i];
    EXPECT_EQ(std::vector<int>({d[i].head.type, d[i].head.length, pf_number_of(d[i].head.pf), d[i].pf_state,
                                d[i].pf_type, d[i].sriov_state, d[i].number_vfs, d[i].reserved24[16], d[i].head.flags}),
              std::vector<int>({80, 88, r.pf, r.state, r.type, r.sriov, r.vfs, r.source, r.flags}))
        << "PF " << r.pf;
  }
  EXPECT_EQ(std::vector<int>({mc.type, mc.length, mc.mc_type[0], mc.mc_type[1], mc.mc_type[2]}),
            std::vector<int>({86, 68, 5, 1, 0}));
  // The view shows what the adapter keeps now.
  EXPECT_EQ(lines(),
            "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,2,NPAR,0x0,NIC,N/A\nMA,0x7,2,NPAR,0x2,FCoE,N/A\n"
            "MA,0x7,2,None,0x1,None,N/A\n");
  EXPECT_EQ(view(c, "State"), (std::vector<std::string>{"Port0:Enabled,Enabled", "Port1:Disabled"}));

  // A later save that changes only the profile id keeps PF 1 off; profile
  // 24 runs SR-IOV on every function that runs.
  ASSERT_EQ(set(c + "/ProfileId", "24"), 0u);
  EXPECT_EQ(act(std::string(kPm) + "SaveProfile"), 0u);
  const auto again = written();
  ASSERT_EQ(again.size(), 4u);
  EXPECT_EQ(std::vector<int>({again[0].pf_state, again[1].pf_state, again[2].pf_state, again[3].pf_state}),
            std::vector<int>({1, 0, 1, 0}));
  EXPECT_EQ(std::vector<int>({again[0].sriov_state, again[1].sriov_state, again[2].sriov_state, again[3].sriov_state}),
            std::vector<int>({1, 0, 1, 0}));
}

TEST_F(ProfileActionTest, SaveProfileFailures) {
  const std::string save = std::string(kPm) + "SaveProfile";
  EXPECT_EQ(act("Corvane2/ProfileManagement/SaveProfile"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(303));

  // An invalid layout is refused whole; the edits give way to the adapter's.
  ASSERT_EQ(set(std::string(kConfigured) + "/Port0/Function0/Protocol", "iSCSI"), 0u);
  EXPECT_EQ(act(save), 1u);
  EXPECT_EQ(last_status(), nic_status_text(305));
  EXPECT_EQ(lines(), rebuilt_lines());
  fail_mailbox(1, 84, 3);
  EXPECT_EQ(act(save), 1u);
  EXPECT_EQ(last_status(), (Status{279, base::status_text(279)}));

  // On the OEM maker's systems leaving multi-channel mode resets the
  // virtual MACs and erases their region, only after the adapter took the
  // layout, and keeping a failure before it.
  make_oem_system();
  const struct {
    const char* configured;
    const char* active;
    uint8_t refused;  // the command the firmware refuses (status 3), 0 none
    uint32_t result;
    int erases;
  } rows[] = {
      {"None", "UMC", 0, 0, 1},
      {"UMC", "None", 0, 0, 0},
      {"None", "UMC", 165, 1, 0},  // nothing saved: no OEM step
      {"None", "UMC", 84, 1, 1},   // saved, but the failure stays the answer
  };
  sim::SimNicState* nic = sim_->nic_state(0, 0);
  ASSERT_NE(nic, nullptr);
  for (const auto& r : rows) {
    sim_->flash(0).erase("/erased");
    nic->oem.flags |= kOemVolatileMacValid;  // erased with the virtual MACs
    ASSERT_EQ(set(std::string(kConfigured) + "/Port0/MCType", r.configured), 0u);
    set_prop_val(node(std::string(kActive) + "/Port0"), "MCType", "%s", r.active);
    if (r.refused != 0) fail_mailbox(1, r.refused, 3);
    EXPECT_EQ(act(save), r.result) << r.configured << " over " << r.active << ", refused " << int(r.refused);
    EXPECT_EQ(erases_of(27), r.erases) << r.configured << " over " << r.active << ", refused " << int(r.refused);
    EXPECT_EQ((nic->oem.flags & kOemVolatileMacValid) == 0, r.erases == 1);
  }
  ASSERT_EQ(set(std::string(kConfigured) + "/Port0/MCType", "None"), 0u);
  fail_mailbox(1, 7, 44);
  EXPECT_EQ(act(save), 55u);  // the erase's status
}

// Each change of the adapter that config_prof.txt shows after it takes
// the file's lock before the adapter hears of it: one that cannot be had
// (its open or its lock failing) fails with the save's status, sends no
// write and leaves the adapter and the file as they were; with the lock
// the change is made and the file shows it.
TEST_F(ProfileActionTest, ProfileChangesTakeTheFileLockFirst) {
  const std::string pm = kPm, c = std::string(kConfigured) + "/", lr = "Corvane0/LinkReconfiguration/";
  const std::string start = rebuilt_lines();
  const uint8_t N = kProtocolNic;
  const Bytes one_function = profile_image(
      {pci_function(0, 1, N, N, kSriovChangeable), protocol(kProfileNic, 0, 0, 0), port_descriptor(0, 1, 4)});
  const struct {
    const char* name;
    std::vector<std::pair<int, std::pair<std::string, Bytes>>> objects;  // planted at the start
    std::function<uint32_t()> prepare, change;
    std::vector<std::pair<int, int>> writes;  // with the lock
    std::string after;                        // config_prof.txt with the lock
  } rows[] = {
      {"SaveProfile",
       {},
       [&] { return set(c + "Port0/Function1/Protocol", "FCoE"); },
       [&] { return act(pm + "SaveProfile"); },
       {{1, 165}},
       "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x0,NIC,N/A\nMA,0x7,2,None,0x2,FCoE,N/A\n"
       "MA,0x7,2,None,0x1,NIC,N/A\nMA,0x7,2,None,0x1,NIC+RoCE,N/A\n"},
      {"SetProfileId",
       {{0, {"/cfg/profile/21", one_function}}},
       nullptr,
       [&] { return act(pm + "SetProfileId", {"21"}); },
       {{1, 168}},
       "MB,0x9,2,None,0x0,NIC,N/A\nMA,0x7,21,None,0x0,NIC,Disabled\n"},
      {"SetFactoryDefaults",
       {},
       [&] { return set(c + "ProfileId", "7"); },
       [&] { return act(pm + "SetFactoryDefaults"); },
       {{1, 168}},
       start},
      {"SetMaxFunctionNumber",
       {},
       [&] { return get(c + "SettableMaxFunctionNumber") == "Yes" ? 0u : 1u; },
       [&] { return act(c + "SetMaxFunctionNumber", {"15"}); },
       {{1, 95}},
       start},
      {"SetLinkConfigID", {}, nullptr, [&] { return act(lr + "SetLinkConfigID", {"2"}); }, {{1, 202}}, start},
      {"SetLinkConfigFactoryDefaults",
       {},
       [&] { return act(lr + "SetLinkConfigID", {"2"}); },
       [&] { return act(lr + "SetLinkConfigFactoryDefaults"); },
       {{1, 202}},
       start},
      // A Moravel function's SR-IOV state: the whole layout written, then
      // its line edited.
      {"SRIOVState",
       {{0, {"/cfg/profile/configured", one_function}}},
       [&] { return get("Corvane0/NICPhysicalHBA0/SRIOVState") == "Disabled" ? 0u : 1u; },
       [&] { return set("Corvane0/NICPhysicalHBA0/SRIOVState", "Enabled"); },
       {{1, 165}},
       "MA,0x7,2,None,0x0,NIC,Enabled\nMB,0x9,2,None,0x0,NIC,N/A\n"},
  };
  const char* const locks[] = {"open", "lock", ""};  // the lock's file call that fails (EIO), "" none
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(restart_with(r.objects), 0u);
    ASSERT_EQ(r.prepare ? r.prepare() : 0u, 0u);
    const std::string lines_before = lines();
    for (const char* failing : locks) {
      SCOPED_TRACE(failing);
      const auto adapter = sim_->flash(0);
      sim_->clear_log();
      const bool had = *failing == '\0';
      if (!had) sim_->inject(file_errno(failing, "config_prof.txt.lock"));
      EXPECT_EQ(r.change(), had ? 0u : 1u);
      sim_->clear_faults();
      if (had) {
        EXPECT_EQ(mailbox_writes(), r.writes);
        EXPECT_FALSE(sim_->flash(0) == adapter) << "the adapter kept its state";
        EXPECT_EQ(lines(), r.after);
        continue;
      }
      EXPECT_EQ(last_status(), (Status{1, std::string(kCprofUnsaved) + "Input/output error."}));
      EXPECT_EQ(mailbox_writes(), (std::vector<std::pair<int, int>>{})) << "commands reached the adapter";
      EXPECT_TRUE(sim_->flash(0) == adapter) << "the adapter changed";
      EXPECT_EQ(lines(), lines_before);
    }
  }
}

TEST_F(ProfileActionTest, SetFactoryDefaults) {
  const std::string action = std::string(kPm) + "SetFactoryDefaults";
  ASSERT_EQ(set(std::string(kConfigured) + "/ProfileId", "7"), 0u);
  EXPECT_EQ(act(action), 0u);
  EXPECT_EQ(last_payload(1, 168), (Bytes{0, 0, 0, 0x80}));
  EXPECT_EQ(last_status().first, 0u);
  EXPECT_EQ(lines(), rebuilt_lines());
  EXPECT_EQ(erases_of(27), 0);
  make_oem_system();
  fail_mailbox(1, 7, 3);  // only logged
  EXPECT_EQ(act(action), 0u);
  EXPECT_EQ(mailbox_count(1, 7), 1);
  fail_mailbox(1, 168, 3);
  EXPECT_EQ(act(action), 1u);
  EXPECT_EQ(last_status(), nic_status_text(281));
  vm_flag = 1;
  EXPECT_EQ(act(action), 1u);
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
  EXPECT_EQ(act("Corvane2/ProfileManagement/SetFactoryDefaults"), 1u);
  EXPECT_EQ(last_status(), action_failed("SetFactoryDefaults"));
  ASSERT_EQ(restart("controller 0 generation=moravel serial=U bus=4 nic-device-id=0x0bad\n"
                    "nic controller=0 function=0 name=vmnic0\n"),
            0u);
  EXPECT_EQ(act(std::string(kPm) + "SetFactoryDefaults"), 1u);
  EXPECT_EQ(last_status(), nic_status_text(301));
}

TEST_F(ProfileActionTest, AriSettings) {
  const std::string c = std::string(kConfigured) + "/";
  const std::string action = c + "SetMaxFunctionNumber";
  EXPECT_EQ(act(action, {"15"}), 1u);  // nothing read yet: "No"
  EXPECT_EQ(last_status(), nic_status_text(316));
  EXPECT_EQ(get(c + "IPLMaxFunctionNumber") + get(c + "MaxFunctionNumber") + get(c + "SettableMaxFunctionNumber"),
            "157Yes");
  EXPECT_EQ(act(action, {"8"}), 1u);
  EXPECT_EQ(last_status(), (Status{6, "Invalid Value."}));
  EXPECT_EQ(act(action, {"15"}), 0u);
  EXPECT_EQ(last_payload(1, 95), (Bytes{15, 0, 0, 0}));
  EXPECT_EQ(last_status(), nic_status_text(280));
  EXPECT_EQ(get(c + "MaxFunctionNumber"), "15");
  EXPECT_EQ(act(action), 0u);
  EXPECT_EQ(last_payload(1, 95), (Bytes{0, 0, 0, 0x80}));
  EXPECT_EQ(get(c + "MaxFunctionNumber"), "7");
  fail_mailbox(1, 95, 3);
  EXPECT_EQ(act(action, {"7"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(314));

  // Firmware without the command shows N/A without an error.
  fail_mailbox(1, 94, 1).additional_status = 30;
  EXPECT_EQ(get(c + "MaxFunctionNumber"), "N/A");
  EXPECT_EQ(get(c + "IPLMaxFunctionNumber") + get(c + "SettableMaxFunctionNumber"), "15Yes");
  EXPECT_EQ(last_status().first, 0u);
  fail_mailbox(1, 94, 3);
  EXPECT_EQ(get(c + "IPLMaxFunctionNumber"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(314));
  EXPECT_EQ(get(std::string(kPm) + "MaxFunctionsPerPort"), "4");
  EXPECT_EQ(get("Corvane2/ProfileManagement/MaxFunctionsPerPort") +
                get("Corvane2/ProfileManagement/ConfiguredProfile/MaxFunctionNumber"),
            "N/AN/A");
  vm_flag = 1;
  EXPECT_EQ(get(c + "MaxFunctionNumber"), "<unreadable>");
  EXPECT_EQ(last_status().first, 256u);
  vm_flag = 0;
}

TEST_F(ProfileActionTest, LinkReconfiguration) {
  const std::string lr = "Corvane0/LinkReconfiguration/";
  EXPECT_EQ(get(lr + "ActiveLinkConfigID") + get(lr + "ConfiguredLinkConfigID"), "11");
  EXPECT_EQ(get(lr + "LinkConfig1/LinkConfigID") + " " + get(lr + "LinkConfig1/LinkConfigDescription"), "2 2x25G");
  const int gets = mailbox_count(1, 164);
  EXPECT_EQ(act(lr + "SetLinkConfigID", {"2"}), 0u);
  EXPECT_EQ(last_payload(1, 202), (Bytes{2, 0, 0, 0}));
  EXPECT_GT(mailbox_count(1, 164), gets);  // the configured view again
  EXPECT_EQ(get(lr + "ConfiguredLinkConfigID"), "2");
  EXPECT_EQ(act(lr + "SetLinkConfigFactoryDefaults"), 0u);
  EXPECT_EQ(last_payload(1, 202), (Bytes{0, 0, 0, 0x80}));
  EXPECT_EQ(get(lr + "ConfiguredLinkConfigID"), "1");
  const int sets = mailbox_count(1, 202);
  EXPECT_EQ(act(lr + "SetLinkConfigID", {"33"}), 1u);
  EXPECT_EQ(last_status().first, 7u);
  EXPECT_EQ(mailbox_count(1, 202), sets);
  EXPECT_EQ(act(lr + "SetLinkConfigID", {"9"}), 1u);  // not offered
  EXPECT_EQ(last_status(), nic_status_text(334));
  EXPECT_EQ(act("Corvane2/LinkReconfiguration/SetLinkConfigID", {"2"}), 1u);
  EXPECT_EQ(last_status(), nic_status_text(333));
  fail_mailbox(1, 201, 3);
  EXPECT_EQ(get(lr + "ConfiguredLinkConfigID"), "<unreadable>");
  EXPECT_EQ(last_status(), nic_status_text(332));

  // Ids of 0 show N/A; more entries than slots: 32 shown, the read fails.
  Bytes record(sizeof(LinkReconfigRecord), 0);
  auto* r = reinterpret_cast<LinkReconfigRecord*>(record.data());
  r->count = 40;
  for (uint8_t i = 0; i < kLinkConfigEntries; ++i) r->entries[i].id = static_cast<uint8_t>(i + 1);
  memcpy(r->entries[5].description, "0123456789012345678901234567890123456789", 32);  // no NUL
  ASSERT_EQ(restart_with({{0, {"/cfg/link", record}}}), 0u);
  EXPECT_EQ(get(lr + "ActiveLinkConfigID") + get(lr + "ConfiguredLinkConfigID"), "N/AN/A");
  EXPECT_EQ(children("Corvane0/LinkReconfiguration", TAVO_KIND_GROUP).size(), 32u);
  EXPECT_EQ(get(lr + "LinkConfig5/LinkConfigDescription"), "01234567890123456789012345678901");
  EXPECT_EQ(log_count("TAVO_get_link_reconfig_details:Failed to initialize link_config."), 1);
}

}  // namespace
}  // namespace tavo::test
