// The DCBX views of a port: each group read in its view, Administrator
// writes that send back what they read, the state, mode and MIB, priority
// groups, application TLVs in both record forms, and QCN.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/port/port_fixture.h"
#include "transport/nic_records.h"

namespace tavo::test {
namespace {

const std::string kInternal = "Application internal error occurred. Please check tavo2d.log file for more information.";
const Status kReadFailed{101, "Cannot obtain DCBX properties. " + kInternal};
const Status kWriteFailed{102, "Cannot set DCBX properites. " + kInternal};
const Status kNone{0, ""};

// The Moravel's port 1 (topology controller 2).
const std::string kDcbx = std::string(kMoravelPort) + "/DCBX/";
const std::string kAdminPg = kDcbx + "PriorityGroups/AdministratorPGSetting/";
const std::string kAdminTlv = kDcbx + "ApplicationTLVGroups/AdministratorTLVSetting/";

class DcbxTest : public PortTest {
 protected:
  DcbxConfigRecordV1 view(int v) {
    DcbxConfigRecordV1 r;
    memcpy(&r, fw(2, 1).dcbx[v].data(), sizeof r);
    return r;
  }
  void plant(int v, const DcbxConfigRecordV1& r) { memcpy(fw(2, 1).dcbx[v].data(), &r, sizeof r); }
  // Priorities 0-7 in groups 0 0 1 1 2 15 15 7; bandwidths 40 30 30 0 ...
  void plant_groups() {
    DcbxConfigRecordV1 r = view(kDcbxAdministrator);
    const uint8_t groups[8] = {0, 0, 1, 1, 2, 15, 15, 7};
    for (int p = 0; p < 8; ++p) {
      r.base.pg_membership[p][0] = groups[p];
      r.base.pg_membership[p][1] = static_cast<uint8_t>(0xA0 + p);  // carried unchanged
    }
    const uint8_t bandwidth[8] = {40, 30, 30, 0, 0, 0, 0, 0};
    memcpy(r.base.pg_bandwidth, bandwidth, 8);
    plant(kDcbxAdministrator, r);
  }
  DcbxConfigRecordV1 last_write() {
    DcbxConfigRecordV1 r{};
    const Bytes b = last_payload(16, 2);
    memcpy(&r, b.data(), std::min(b.size(), sizeof r));
    return r;
  }
  // The bytes of a write that a read-modify-write sends back as read.
  static Bytes kept(DcbxConfigRecordV1 r, bool v1) {
    r.base.state = 0;
    r.base.tlv_count_set = r.base.tlv_count = r.base.pg_supported = 0;
    r.base.reserved20 = 0;
    if (!v1) r.base.qcn_flags = 0;
    const auto* b = reinterpret_cast<const uint8_t*>(&r);
    return Bytes(b, b + (v1 ? 313 : 312));
  }
};

TEST_F(DcbxTest, EachGroupShowsItsViewOfTheRecord) {
  plant_groups();
  DcbxConfigRecordV1 admin = view(kDcbxAdministrator);
  admin.base.pg_flags = kDcbxFlagEnabled | kDcbxFlagWilling;
  admin.base.pfc_flags = kDcbxFlagAdvertise;
  const uint8_t pfc[8] = {1, 0, 1, 0, 0, 0, 0, 2};  // only a 1 counts
  memcpy(admin.base.pfc_enable, pfc, 8);
  plant(kDcbxAdministrator, admin);
  DcbxConfigRecordV1 peer = view(kDcbxPeer);
  peer.base.pfc_flags = kDcbxFlagError | kDcbxFlagEnabled;
  peer.base.app_flags = kDcbxFlagError;
  plant(kDcbxPeer, peer);
  DcbxConfigRecordV1 oper = view(kDcbxOperational);
  oper.base.pfc_flags = kDcbxFlagSynced;
  oper.base.pg_supported = 4;
  plant(kDcbxOperational, oper);
  struct Row {
    std::string property;
    const char* shown;
    uint8_t view;
  } rows[] = {
      {"PFC/AdministratorPFCSetting/Enabled", "No", 0},
      {"PFC/AdministratorPFCSetting/Advertise", "Yes", 0},
      {"PFC/AdministratorPFCSetting/PriorityBitMap", "0x05", 0},
      {"PFC/PeerPFCSetting/Error", "Yes", 2},
      {"PFC/PeerPFCSetting/Enabled", "Yes", 2},
      {"PFC/OperationalPFCSettings/OperationalMode", "False", 1},
      {"PFC/OperationalPFCSettings/Synced", "Yes", 1},
      {"PFC/OperationalPFCSettings/PriorityBitMap", "N/A", 1},  // PFC not in operation
      {"PriorityGroups/AdministratorPGSetting/Willing", "Yes", 0},
      {"PriorityGroups/AdministratorPGSetting/Advertise", "No", 0},
      {"PriorityGroups/AdministratorPGSetting/PG15PriorityMemberShip", "0x60", 0},
      {"PriorityGroups/AdministratorPGSetting/PG0/PriorityMembership", "0x03", 0},
      {"PriorityGroups/AdministratorPGSetting/PG7/PriorityMembership", "0x80", 0},
      {"PriorityGroups/AdministratorPGSetting/PG1/Bandwidth", "30", 0},
      {"PriorityGroups/OperationalPGSettings/NumPGSupported", "4", 1},
      {"PriorityGroups/PeerPGSetting/PG0/PriorityMembership", "0xff", 2},
      {"ApplicationTLVGroups/PeerTLVSetting/Error", "Yes", 2},
      {"ApplicationTLVGroups/OperationalTLVSettings/OperationalMode", "True", 1},
      {"DCBXPortVars/DCBXState", "Enabled", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.property);
    EXPECT_EQ(get(kDcbx + r.property), r.shown);
    const Bytes request = last_payload(16, 1);
    ASSERT_EQ(request.size(), 312u);  // the basic form
    EXPECT_EQ(request[0], r.view);
  }
  // A failed read keeps the text and says why.
  fail_mailbox(16, 1, 3);
  EXPECT_EQ(get(kDcbx + "PFC/AdministratorPFCSetting/Enabled"), "<unreadable>");
  EXPECT_EQ(last_status(), kReadFailed);
  EXPECT_EQ(stored(kDcbx + "PFC/AdministratorPFCSetting/Enabled"), "No");
}

TEST_F(DcbxTest, AnAdministratorWriteChangesOnlyItsSetting) {
  plant_groups();
  DcbxConfigRecordV1 admin = view(kDcbxAdministrator);
  admin.base.pg_flags = kDcbxFlagEnabled | kDcbxFlagAdvertise | 0x100;  // other bits are carried
  admin.base.qcn_flags = kDcbxFlagEnabled;
  admin.base.reserved20 = 0x55;
  plant(kDcbxAdministrator, admin);
  EXPECT_EQ(write(kAdminPg + "Enabled", "No"), (std::pair{0u, kNone}));
  DcbxConfigRecordV1 sent = last_write();
  EXPECT_EQ(last_payload(16, 2).size(), 312u);
  EXPECT_EQ(sent.base.pg_flags, kDcbxFlagAdvertise | 0x100u);
  DcbxConfigRecordV1 expected = admin;
  expected.base.pg_flags = sent.base.pg_flags;
  EXPECT_EQ(kept(sent, false), kept(expected, false));  // 2, 3, 12-15, 20-23 zero; the rest as read
  EXPECT_EQ(sent.base.state, 1);
  EXPECT_EQ(stored(kAdminPg + "Enabled"), "No");
  EXPECT_EQ(view(kDcbxAdministrator).base.qcn_flags, kDcbxFlagEnabled);  // the basic form leaves QCN

  const std::string pfc = kDcbx + "PFC/AdministratorPFCSetting/PriorityBitMap";
  EXPECT_EQ(write(pfc, "0x05"), (std::pair{0u, kNone}));
  sent = last_write();
  EXPECT_EQ(Bytes(sent.base.pfc_enable, sent.base.pfc_enable + 8), (Bytes{1, 0, 1, 0, 0, 0, 0, 0}));
  const int writes = mailbox_count(16, 2);
  for (const char* bad : {"5x", "-1"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(write(pfc, bad), (std::pair{1u, Status{6, "Invalid Value."}}));
  }
  EXPECT_EQ(mailbox_count(16, 2), writes);
  EXPECT_EQ(stored(pfc), "0x05");

  EXPECT_EQ(write(kAdminPg + "PG15PriorityMemberShip", "0x81"), (std::pair{0u, kNone}));
  sent = last_write();
  const uint8_t groups[8] = {15, 0, 1, 1, 2, 15, 15, 15};
  for (int p = 0; p < 8; ++p) {
    EXPECT_EQ(sent.base.pg_membership[p][0], groups[p]) << p;
    EXPECT_EQ(sent.base.pg_membership[p][1], 0xA0 + p) << p;
  }
  // The state: DCBX goes off in the firmware.
  EXPECT_EQ(write(kDcbx + "DCBXPortVars/DCBXState", "Disabled"), (std::pair{0u, kNone}));
  EXPECT_EQ(last_write().base.state, 0);
  EXPECT_EQ(get(kDcbx + "DCBXPortVars/DCBXState"), "Disabled");
  // A refused write keeps the text.
  fail_mailbox(16, 2, 3);
  EXPECT_EQ(write(kAdminPg + "Willing", "No"), (std::pair{1u, kWriteFailed}));
  EXPECT_EQ(stored(kAdminPg + "Willing"), "Yes");
}

TEST_F(DcbxTest, OperationalPgModeAndStateApplyOnlyWhereDcbxDoes) {
  const std::string mode = kDcbx + "PriorityGroups/OperationalPGSettings/OperationalMode";
  DcbxConfigRecordV1 oper = view(kDcbxOperational);
  struct Row {
    uint32_t flags;
    const char* op_modes;  // "": the topology's none
    const char* shown;
  } rows[] = {
      {kDcbxFlagEnabled, "", "True"},
      {0, "", "False"},
      {kDcbxFlagEnabled | kDcbxFlagNotApplicable, "", "N/A"},
      {kDcbxFlagEnabled, "0", "N/A"},  // a link mode without DCBX
      {kDcbxFlagEnabled, "1", "True"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.shown) + " " + r.op_modes);
    oper.base.pg_flags = r.flags;
    plant(kDcbxOperational, oper);
    fw(2, 1).op_modes.clear();
    if (r.op_modes[0] != '\0') fw(2, 1).op_modes.push_back(static_cast<uint8_t>(r.op_modes[0] - '0'));
    EXPECT_EQ(get(mode), r.shown);
  }
  // A CV3 configured to run a channel management type: PG does not apply.
  const std::string cv3_mode = std::string(kCv3Port) + "/DCBX/PriorityGroups/OperationalPGSettings/OperationalMode";
  const std::string cv3_before = get(cv3_mode);
  EXPECT_NE(cv3_before, "N/A");
  ASSERT_EQ(act("Corvane0/ChannelManagement/ConfigureChannelManagement", {"Enabled", "NPAR"}), 0u);
  EXPECT_EQ(get(cv3_mode), "N/A");
  // DCBX state: "N/A" where the function's capabilities say DCBX does not
  // apply, asked on every generation but Galtor.
  sim_->nic_state(2, 2)->config.capabilities = 0x40;  // the iSCSI function serving port 1
  sim_->clear_log();
  EXPECT_EQ(get(kDcbx + "DCBXPortVars/DCBXState"), "N/A");
  EXPECT_EQ(mailbox_count(16, 1), 0);
  EXPECT_EQ(get(std::string(kGaltorPort) + "/DCBX/DCBXPortVars/DCBXState"), "Enabled");
  EXPECT_EQ(mailbox_count(1, 58), 1);
  // PG15 is a Moravel feature.
  sim_->clear_log();
  EXPECT_EQ(get(std::string(kCv3Port) + "/DCBX/PriorityGroups/PeerPGSetting/PG15PriorityMemberShip"), "N/A");
  EXPECT_EQ(mailbox_count(16, 1), 0);
}

TEST_F(DcbxTest, ModeAndCounters) {
  const std::string mode = kDcbx + "DCBXPortVars/DCBXMode";
  EXPECT_EQ(get(mode), "Auto-IEEE");
  EXPECT_EQ(last_payload(16, 4), (Bytes{0, 0, 0, 0}));
  fw(2, 1).dcbx_mode = 9;  // no mode of the table: the text stays
  EXPECT_EQ(get(mode), "Auto-IEEE");
  fw(2, 1).dcbx_mode = 3;
  EXPECT_EQ(write(mode, "auto-ieee"), (std::pair{0u, kNone}));
  EXPECT_EQ(mailbox_count(16, 5), 0);
  EXPECT_EQ(write(mode, "CIN"),
            (std::pair{0u, Status{152, "DCBX mode has changed. Please, reboot the system for the new mode to take "
                                       "effect."}}));
  EXPECT_EQ(last_payload(16, 5), (Bytes{0, 1, 0, 0}));
  EXPECT_EQ(fw(2, 1).dcbx_mode, 1);
  EXPECT_EQ(get(mode), "CIN");
  fail_mailbox(16, 5, 3);
  EXPECT_EQ(write(mode, "CEE"), (std::pair{1u, Status{104, "Cannot set DCBX mode. " + kInternal}}));
  fail_mailbox(16, 4, 3);
  EXPECT_EQ(get(mode), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{103, "Cannot get DCBX mode. " + kInternal}));

  // The MIB: 108 bytes, 60 on Galtor, with the counters at their places.
  fw(2, 1).dcbx_mib = {1, 2, 100, 99, 200, 199, 11, 12, 13, 1000, 0xFFFFFFFF, 3};
  fw(1, 0).dcbx_mib = fw(2, 1).dcbx_mib;
  for (const char* port : {kMoravelPort, kGaltorPort}) {
    SCOPED_TRACE(port);
    const std::string d = std::string(port) + "/DCBX/";
    struct Row {
      const char *property, *shown;
    } rows[] = {{"DCBXPortVars/OperatingVersion", "1"},         {"DCBXPortVars/MaxVersion", "2"},
                {"DCBXPortVars/SequenceNumber", "100"},         {"DCBXPortVars/PeerAckNumber", "199"},
                {"DCBXPortVars/AppFeatureSequenceNumber", "11"}, {"DCBXPortVars/PFCFeatureSequenceNumber", "13"},
                {"DCBXStatistics/TxPacketCount", "1000"},       {"DCBXStatistics/RxPacketCount", "-1"},
                {"DCBXStatistics/NumPacketsDropped", "3"},      {"DCBXStatistics/UnrecognizedTLVs", "0"}};
    for (const Row& r : rows) EXPECT_EQ(get(d + r.property), r.shown) << r.property;
    EXPECT_EQ(last_payload(16, 3).size(), port == kGaltorPort ? 60u : 108u);
  }
  fail_mailbox(16, 3, 3);
  EXPECT_EQ(get(kDcbx + "DCBXStatistics/TxPacketCount"), "<unreadable>");
  EXPECT_EQ(last_status(), (Status{108, "Cannot obtain DCBX MIB params. " + kInternal}));
}

TEST_F(DcbxTest, PriorityGroupsKeepEveryReassignment) {
  plant_groups();
  const std::string configure = kAdminPg + "PG1/ConfigurePGSettings";
  // Priorities 0 and 4 move to PG1: PG0 and PG2 lose them, the rest stays.
  EXPECT_EQ(run(configure, {"0x11", "30"}), (std::pair{0u, kNone}));
  DcbxConfigRecordV1 sent = last_write();
  const uint8_t groups[8] = {1, 0, 15, 15, 1, 15, 15, 7};  // PG1 takes only what it was given
  for (int p = 0; p < 8; ++p) {
    EXPECT_EQ(sent.base.pg_membership[p][0], groups[p]) << p;
    EXPECT_EQ(sent.base.pg_membership[p][1], 0xA0 + p) << p;
  }
  EXPECT_EQ(sent.base.pg_bandwidth[1], 30);
  EXPECT_EQ(get(kAdminPg + "PG0/PriorityMembership"), "0x02");
  EXPECT_EQ(get(kAdminPg + "PG1/PriorityMembership"), "0x11");
  EXPECT_EQ(get(kAdminPg + "PG2/PriorityMembership"), "0x00");
  // The total: 40 + 31 + 30 is over; 255 is no limit, of others or given.
  const int writes = mailbox_count(16, 2);
  EXPECT_EQ(run(configure, {"0x11", "31"}),
            (std::pair{1u, Status{51, "Cannot set bandwidth as total bandwidth exceeds 100 percent."}}));
  EXPECT_EQ(mailbox_count(16, 2), writes);
  EXPECT_EQ(run(configure, {"0x11", "255"}), (std::pair{0u, kNone}));
  DcbxConfigRecordV1 r = view(kDcbxAdministrator);
  r.base.pg_bandwidth[2] = 255;
  plant(kDcbxAdministrator, r);
  EXPECT_EQ(run(configure, {"0x11", "60"}), (std::pair{0u, kNone}));  // 40 + 60 = 100 exactly
  EXPECT_EQ(run(kAdminPg + "PG1/ConfigurePGSettings", {"0x1g", "5"}), (std::pair{1u, Status{6, "Invalid Value."}}));
  EXPECT_EQ(run(configure, {"011", "010"}), (std::pair{0u, kNone}));  // octal, like the tree's check
  EXPECT_EQ(last_write().base.pg_bandwidth[1], 8);
  EXPECT_EQ(last_write().base.pg_membership[3][0], 1);
}

TEST_F(DcbxTest, ApplicationTlvsStandForTheirSlots) {
  DcbxConfigRecordV1 r = view(kDcbxAdministrator);
  for (int slot : {0, 2}) {
    r.base.applications[slot].in_use = 1;
    r.base.applications[slot].protocol_id = static_cast<uint16_t>(3260 + slot);
    r.base.applications[slot].protocol_selector = 1;
  }
  r.cnpv_bitmap = 0x40;
  plant(kDcbxAdministrator, r);
  EXPECT_EQ(TAVO_refresh_group(tag(kAdminTlv)), 0u);
  EXPECT_EQ(children(kAdminTlv, TAVO_KIND_GROUP), (std::vector<std::string>{"ApplicationTLV0", "ApplicationTLV2"}));
  EXPECT_EQ(get(kAdminTlv + "ApplicationTLV2/ProtocolID"), "0xcbe");
  // A write through instance 2 reaches slot 2.
  EXPECT_EQ(set(kAdminTlv + "ApplicationTLV2/PriorityBitMap", "0x3"), 0u);
  EXPECT_EQ(view(kDcbxAdministrator).base.applications[2].priority_enable[1], 1);
  // The add takes free slot 1; without an OUI the DCBX one.
  EXPECT_EQ(run(kAdminTlv + "AddApplicationTLV", {"0", "0x8906", "0x08"}), (std::pair{0u, kNone}));
  const Bytes payload = last_payload(16, 2);
  ASSERT_EQ(payload.size(), 368u);
  DcbxConfigRecordV1 sent = last_write();
  EXPECT_EQ(sent.base.tlv_count_set, 3);
  EXPECT_EQ(sent.base.applications[1].protocol_id, 0x8906);
  EXPECT_EQ(sent.base.applications[1].oui, 0x1B21u);
  EXPECT_EQ(sent.cnpv_bitmap, 0x08);  // the TLV's priorities stand for the CNPV bitmap
  EXPECT_EQ(get(kAdminTlv + "ApplicationTLV1/OUI"), "0x1b21");
  EXPECT_EQ(get(kAdminTlv + "ApplicationTLV1/PriorityBitMap"), "0x08");
  EXPECT_GT(tree::group_record(node(kAdminTlv + "ApplicationTLV1"))->persistence_priority, 0u);
  // Deleting instance 2 frees slot 2; instance 7 does not exist.
  EXPECT_EQ(run(kAdminTlv + "DeleteApplicationTLV", {"2"}), (std::pair{0u, kNone}));
  EXPECT_EQ(last_write().base.tlv_count_set, 2);
  EXPECT_EQ(view(kDcbxAdministrator).base.applications[2].in_use, 0);
  EXPECT_EQ(view(kDcbxAdministrator).base.applications[1].in_use, 1);
  EXPECT_EQ(tag(kAdminTlv + "ApplicationTLV2"), kNoTag);
  const int writes = mailbox_count(16, 2);
  EXPECT_EQ(run(kAdminTlv + "DeleteApplicationTLV", {"7"}),
            (std::pair{1u, Status{20, "Invalid instance number. Please use valid instance number."}}));
  EXPECT_EQ(run(kAdminTlv + "AddApplicationTLV", {"1", "3260", "0x1", "0x1bx"}),
            (std::pair{1u, Status{6, "OUI: Invalid Value."}}));
  EXPECT_EQ(mailbox_count(16, 2), writes);
  // Full: fifteen slots, and no sixteenth.
  for (int i = 0; i < 13; ++i) ASSERT_EQ(act(kAdminTlv + "AddApplicationTLV", {"1", std::to_string(i), "1"}), 0u);
  EXPECT_EQ(children(kAdminTlv, TAVO_KIND_GROUP).size(), 15u);
  EXPECT_EQ(run(kAdminTlv + "AddApplicationTLV", {"1", "860", "1"}),
            (std::pair{1u, Status{158, "Failed to add ApplicationTLV. Max ApplicationTLV's are reached."}}));
  EXPECT_EQ(mailbox_count(16, 2), writes + 13);
}

TEST_F(DcbxTest, OlderFirmwareTakesTheBasicForm) {
  sim::Fault& v1 = fail_mailbox(16, 1, 1);
  v1.additional_status = 30;
  v1.version = 1;
  v1.times = -1;
  DcbxConfigRecordV1 r = view(kDcbxAdministrator);
  r.base.qcn_flags = kDcbxFlagWilling;
  r.cnpv_bitmap = 0x40;
  plant(kDcbxAdministrator, r);
  EXPECT_EQ(run(kAdminTlv + "AddApplicationTLV", {"1", "3260", "0x10", "0x1122"}), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(16, 2).size(), 312u);
  EXPECT_EQ(view(kDcbxAdministrator).base.applications[0].oui, 0x1122u);
  EXPECT_EQ(view(kDcbxAdministrator).cnpv_bitmap, 0x40);  // not in the basic form
  EXPECT_EQ(get(kAdminTlv + "ApplicationTLV0/ProtocolID"), "0xcbc");
  EXPECT_EQ(run(kAdminTlv + "DeleteApplicationTLV", {"0"}), (std::pair{0u, kNone}));
  EXPECT_EQ(last_payload(16, 2).size(), 312u);
  EXPECT_EQ(tag(kAdminTlv + "ApplicationTLV0"), kNoTag);
  // A failure there too is a read failure.
  fail_mailbox(16, 2, 3);
  EXPECT_EQ(run(kAdminTlv + "AddApplicationTLV", {"1", "3260", "0x10"}), (std::pair{1u, kReadFailed}));
  EXPECT_EQ(tag(kAdminTlv + "ApplicationTLV0"), kNoTag);
  // QCN lives in the version-1 form only.
  EXPECT_EQ(get(kDcbx + "QCN/AdministratorQCNSetting/Willing"), "<unreadable>");
  EXPECT_EQ(last_status(), kReadFailed);
}

TEST_F(DcbxTest, QcnOnMoravelOnly) {
  const std::string qcn = kDcbx + "QCN/";
  DcbxConfigRecordV1 admin = view(kDcbxAdministrator);
  admin.base.qcn_flags = kDcbxFlagEnabled | kDcbxFlagWilling;
  admin.base.pfc_flags = kDcbxFlagAdvertise;
  admin.base.pg_bandwidth[3] = 7;
  admin.cnpv_bitmap = 0x28;
  admin.ready_bitmap = 0x08;
  plant(kDcbxAdministrator, admin);
  EXPECT_EQ(get(qcn + "AdministratorQCNSetting/CNPVBitMap"), "0x28");
  EXPECT_EQ(get(qcn + "AdministratorQCNSetting/Willing"), "Yes");
  EXPECT_EQ(last_payload(16, 1).size(), 368u);
  EXPECT_EQ(write(qcn + "AdministratorQCNSetting/Willing", "No"), (std::pair{0u, kNone}));
  DcbxConfigRecordV1 sent = last_write();
  DcbxConfigRecordV1 expected = admin;
  expected.base.qcn_flags = kDcbxFlagEnabled;
  expected.ready_bitmap = 0;  // read only
  EXPECT_EQ(kept(sent, true), kept(expected, true));
  const Bytes payload = last_payload(16, 2);
  EXPECT_EQ(Bytes(payload.begin() + 313, payload.end()), Bytes(55, 0));
  // Operational: bit 30 wins over bit 0.
  DcbxConfigRecordV1 oper = view(kDcbxOperational);
  oper.base.qcn_flags = kDcbxFlagEnabled | kDcbxFlagNotApplicable;
  oper.ready_bitmap = 0x81;
  plant(kDcbxOperational, oper);
  EXPECT_EQ(get(qcn + "OperationalQCNSettings/OperationalMode"), "N/A");
  EXPECT_EQ(get(qcn + "OperationalQCNSettings/ReadyBitMap"), "0x81");
  EXPECT_EQ(last_payload(16, 1)[0], kDcbxOperational);
  fail_mailbox(16, 2, 3);
  EXPECT_EQ(write(qcn + "AdministratorQCNSetting/Enabled", "No"), (std::pair{1u, kWriteFailed}));
  EXPECT_EQ(stored(qcn + "AdministratorQCNSetting/Enabled"), "Yes");
  // Not on the other generations, without a command.
  const Status not_here{326, "Configuring QCN parameters are not supported on this adapter."};
  sim_->clear_log();
  for (const char* port : {kCv3Port, kGaltorPort, kCv2Port}) {
    SCOPED_TRACE(port);
    const std::string p = std::string(port) + "/DCBX/QCN/AdministratorQCNSetting/Enabled";
    EXPECT_EQ(get(p), "<unreadable>");
    EXPECT_EQ(last_status(), not_here);
    EXPECT_EQ(write(p, "Yes"), (std::pair{1u, not_here}));
  }
  EXPECT_EQ(mailbox_count(16, 1), 0);
}

}  // namespace
}  // namespace tavo::test
