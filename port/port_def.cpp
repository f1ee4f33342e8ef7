// The port's BaseT10G, LLDP and DCBX sub-groups, which the
// PortDiscoveryAndConfiguration group lists where they stand (nic/ defines
// it with the channels it owns), and the PG and ApplicationTLV instance
// groups of the DCBX views.
#include <strings.h>

#include "port/port_internal.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr int32_t kMaxCount = 2147483647;
constexpr char kEnabledDisabled[] = "Enabled,Disabled";
constexpr char kYesNo[] = "Yes,No";
constexpr char kTrueFalse[] = "True,False";
static SlotArea admin_pg_slots, peer_pg_slots, oper_pg_slots;
static SlotArea admin_tlv_slots, peer_tlv_slots, oper_tlv_slots;

// --- BaseT10G ---
constexpr char kCablePairs[] = "PairA,PairB,PairC,PairD";
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_BaseT10G, SelfTest, do_SelfTest,
            "This command runs a self test of the 10GBase-T PHY on the given cable pairs.",
            required("TestType", LIST, "Noise,NonLinear,CrossTalk", 0, 10, "This parameter specifies the test."),
            required("SourceCable", LIST, kCablePairs, 0, 6, "This parameter specifies the cable pair tested."),
            optional("TargetCable", LIST, kCablePairs, 0, 6,
                     "This parameter specifies the second cable pair; used by the CrossTalk test only."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_BaseT10G, RunTDR, do_RunTDR,
            "This command runs time-domain reflectometry on the four cable pairs.");
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_BaseT10G, ClearCounters, do_ClearCounters,
            "This command clears the 10GBase-T PHY counters.");
const ChildDef baset_children[] = {
    property("10GBaseTDiagStatus", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the diagnostics state of the 10GBase-T PHY."),
    property("Temperature", RO, TEXT, "", 0, 120, "0", handle_10GbaseT_properties,
             "This property displays the temperature of the 10GBase-T PHY in degrees Celsius."),
    property("PHYLinkDownReason", RO, INT, "", 0, 5, "0", handle_over_temperature,
             "This property displays why the PHY link went down: 0 none, 1 PHY link down due to DCC, 2 due to FIP, "
             "3 due to VNIC, 4 due to PAUSE FLOOD, 5 due to PHY THERMAL."),
    property("PairASNR", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the signal-to-noise ratio of pair A."),
    property("PairBSNR", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the signal-to-noise ratio of pair B."),
    property("PairCSNR", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the signal-to-noise ratio of pair C."),
    property("PairDSNR", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the signal-to-noise ratio of pair D."),
    property("TimeSinceLinkHigh", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the high word of the time since the link came up."),
    property("TimeSinceLinkLow", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the low word of the time since the link came up."),
    property("AverageMSEPairA", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the average mean squared error of pair A."),
    property("AverageMSEPairB", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the average mean squared error of pair B."),
    property("AverageMSEPairC", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the average mean squared error of pair C."),
    property("AverageMSEPairD", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the average mean squared error of pair D."),
    property("LDPCFrameHigh", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the high word of the LDPC frame count."),
    property("LDPCFrameLow", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the low word of the LDPC frame count."),
    property("PHYCRC8High", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the high word of the PHY CRC-8 error count."),
    property("PHYCRC8Low", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the low word of the PHY CRC-8 error count."),
    property("MDIPLLEventCounter", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the number of MDI PLL events."),
    property("10GEMIEventCounter", RO, TEXT, "", 0, 32, "0", handle_10GbaseT_properties,
             "This property displays the number of 10G EMI events."),
    property("PHYFrameCounter", RO, TEXT, "", 0, 64, "0", handle_10GbaseT_properties,
             "This property displays the number of PHY frames."),
    property("SelfTestResult", RO, INT, "", 0, 4, "", stored,
             "This property displays the result of the last SelfTest: 0 test successful, 1 test initialisation "
             "failed, 4 test failed."),
    property("PairAResult", RO, INT, "", 0, 3, "0", stored,
             "This property displays the TDR result of pair A: 0 pair OK, length estimated; 1 pair OK, no length "
             "estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to fault "
             "estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low mismatch (above "
             "85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C or D respectively, "
             "length to fault not applicable."),
    property("PairBResult", RO, INT, "", 0, 3, "0", stored,
             "This property displays the TDR result of pair B: 0 pair OK, length estimated; 1 pair OK, no length "
             "estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to fault "
             "estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low mismatch (above "
             "85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C or D respectively, "
             "length to fault not applicable."),
    property("PairCResult", RO, INT, "", 0, 3, "0", stored,
             "This property displays the TDR result of pair C: 0 pair OK, length estimated; 1 pair OK, no length "
             "estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to fault "
             "estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low mismatch (above "
             "85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C or D respectively, "
             "length to fault not applicable."),
    property("PairDResult", RO, INT, "", 0, 3, "0", stored,
             "This property displays the TDR result of pair D: 0 pair OK, length estimated; 1 pair OK, no length "
             "estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to fault "
             "estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low mismatch (above "
             "85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C or D respectively, "
             "length to fault not applicable."),
    property("PairALengthEstimation", RO, INT, "", 0, 100, "0", stored,
             "This property displays the estimated length in metres of pair A from the last RunTDR."),
    property("PairBLengthEstimation", RO, INT, "", 0, 100, "0", stored,
             "This property displays the estimated length in metres of pair B from the last RunTDR."),
    property("PairCLengthEstimation", RO, INT, "", 0, 100, "0", stored,
             "This property displays the estimated length in metres of pair C from the last RunTDR."),
    property("PairDLengthEstimation", RO, INT, "", 0, 100, "0", stored,
             "This property displays the estimated length in metres of pair D from the last RunTDR."),
    property("NVPValue", RW, TEXT, "", 0, 100, "72", handle_10baseT_nvpvalue,
             "This property specifies the nominal velocity of propagation in percent that RunTDR uses."),
    property("NVPUsed", RO, INT, "", 0, 100, "72", stored,
             "This property displays the nominal velocity of propagation in percent in force when RunTDR last ran."),
    property("IsClearCountersSupported", RO, LIST, kTrueFalse, 4, 5, "False", stored,
             "This property indicates whether ClearCounters is supported on this port."),
    SelfTest,
    RunTDR,
    ClearCounters,
};
const GroupDef tavo::port::port_baset =
    group("BaseT10G", baset_children, "This group contains the 10GBase-T PHY diagnostics of the port.");

// --- LLDP ---
// The local and the peer configuration share nine rows.
constexpr char kChassisTypes[] =
    "Chasis Component,Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Locally "
    "Assigned,Unknown";
constexpr char kPortTypes[] =
    "Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Agent Circuit Id,Locally "
    "Assigned,Unknown";
constexpr char kSystemCapabilities[] = "Other,Repeater,Bridge,WLAN,Router,Telephone,Docsis,Station,Unknown";
const ChildDef lldp_local_children[] = {
    property("TxState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether LLDP is sent."),
    property("RxState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether LLDP is received."),
    property("PortDescriptionTLV", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether the port description TLV is sent."),
    property("SystemDescriptionTLV", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether the system description TLV is sent."),
    property("SystemNameTLV", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether the system name TLV is sent."),
    property("SystemCapabilitiesTLV", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether the system capabilities TLV is sent."),
    property("ChassisId", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the chassis identifier."),
    property("ChassisType", RO, LIST, kChassisTypes, 7, 17, "Unknown", handle_LLDP_properties,
             "This property displays the kind of chassis identifier."),
    property("PortId", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the port identifier."),
    property("PortType", RO, LIST, kPortTypes, 7, 16, "Unknown", handle_LLDP_properties,
             "This property displays the kind of port identifier."),
    property("PortDescription", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the port description."),
    property("SystemName", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the system name."),
    property("SystemDescription", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the system description."),
    property("SystemCapabilities", RO, LIST, kSystemCapabilities, 4, 9, "Unknown", handle_LLDP_properties,
             "This property displays the system capabilities."),
    property("TTL", RO, INT, "", 0, 255, "0", handle_LLDP_properties,
             "This property displays the time to live of the LLDP information in seconds."),
};
const ChildDef lldp_peer_children[] = {
    property("ChassisId", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the chassis identifier."),
    property("ChassisType", RO, LIST, kChassisTypes, 7, 17, "Unknown", handle_LLDP_properties,
             "This property displays the kind of chassis identifier."),
    property("PortId", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the port identifier."),
    property("PortType", RO, LIST, kPortTypes, 7, 16, "Unknown", handle_LLDP_properties,
             "This property displays the kind of port identifier."),
    property("PortDescription", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the port description."),
    property("SystemName", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the system name."),
    property("SystemDescription", RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties,
             "This property displays the system description."),
    property("SystemCapabilities", RO, LIST, kSystemCapabilities, 4, 9, "Unknown", handle_LLDP_properties,
             "This property displays the system capabilities."),
    property("TTL", RO, INT, "", 0, 255, "0", handle_LLDP_properties,
             "This property displays the time to live of the LLDP information in seconds."),
};
const GroupDef lldp_local =
    group("LocalConfiguration", lldp_local_children, "This group contains the LLDP configuration this port sends.");
const GroupDef lldp_peer =
    group("PeerConfiguration", lldp_peer_children, "This group contains the LLDP configuration the link partner sent.");

const ChildDef lldp_statistics_children[] = {
    property("TxPacketCount", RO, INT, "", 0, kMaxCount, "0", handle_lldp_stats_props,
             "This property displays the number of LLDP packets sent."),
    property("RxPacketCount", RO, INT, "", 0, kMaxCount, "0", handle_lldp_stats_props,
             "This property displays the number of LLDP packets received."),
    property("UnrecognizedTLVs", RO, INT, "", 0, kMaxCount, "0", handle_lldp_stats_props,
             "This property displays the number of unrecognized TLVs received."),
    property("NumPacketsDropped", RO, INT, "", 0, kMaxCount, "0", handle_lldp_stats_props,
             "This property displays the number of LLDP packets dropped."),
    property("OrganizationalTLVCount", RO, INT, "", 0, kMaxCount, "0", handle_lldp_stats_props,
             "This property displays the number of organizational TLVs received."),
};
const GroupDef lldp_statistics =
    group("LLDPStatistics", lldp_statistics_children, "This group contains the LLDP statistics of the port.");
const ChildDef lldp_children[] = {
    subgroup(&lldp_local),
    subgroup(&lldp_peer),
    subgroup(&lldp_statistics),
};
const GroupDef tavo::port::port_lldp =
    group("LLDP", lldp_children, "This group contains the LLDP configuration and statistics of the port.");

// --- DCBX ---
const ChildDef dcbx_port_vars_children[] = {
    property("OperatingVersion", RO, INT, "", 0, 3, "0", handle_dcbx_port_vars,
             "This property displays the DCBX version in operation."),
    property("MaxVersion", RO, INT, "", 0, 3, "0", handle_dcbx_port_vars,
             "This property displays the highest DCBX version supported."),
    property("DCBXState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_DCBXState,
             "This property specifies whether DCBX runs on the port."),
    property("DCBXMode", RW, LIST, "CEE,CIN,Auto-CEE,Auto-IEEE", 3, 9, "Auto-IEEE", handle_DCBXMode,
             "This property specifies the DCBX protocol: CIN is the Cisco/Intel/Nuovo protocol, CEE the CEE "
             "standard; Auto-CEE and Auto-IEEE negotiate. Auto-IEEE is the default; a change takes effect after a "
             "reboot."),
    property("SequenceNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the DCBX sequence number."),
    property("AckNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the DCBX acknowledgement number."),
    property("PeerSequenceNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the link partner's sequence number."),
    property("PeerAckNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the link partner's acknowledgement number."),
    property("PFCFeatureSequenceNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the sequence number of the PFC feature."),
    property("PGFeatureSequenceNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the sequence number of the priority-group feature."),
    property("AppFeatureSequenceNumber", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars,
             "This property displays the sequence number of the application feature."),
};
const GroupDef dcbx_port_vars =
    group("DCBXPortVars", dcbx_port_vars_children, "This group contains the DCBX state of the port.");
const ChildDef dcbx_statistics_children[] = {
    property("TxPacketCount", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_stats_props,
             "This property displays the number of DCBX packets sent."),
    property("RxPacketCount", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_stats_props,
             "This property displays the number of DCBX packets received."),
    property("UnrecognizedTLVs", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the number of unrecognized TLVs received."),
    property("NumPacketsDropped", RO, INT, "", 0, kMaxCount, "0", handle_dcbx_stats_props,
             "This property displays the number of DCBX packets dropped."),
    property("OrganizationalTLVCount", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the number of organizational TLVs received."),
};
const GroupDef dcbx_statistics =
    group("DCBXStatistics", dcbx_statistics_children, "This group contains the DCBX statistics of the port.");

// The rows of the feature views: flags "Yes" or "No" (OperationalMode
// "True" or "False"), bitmaps of priorities.
constexpr char kAdvertiseHelp[] = "This property indicates whether the feature is advertised.";
constexpr char kEnabledHelp[] = "This property indicates whether the feature is enabled.";
constexpr char kWillingHelp[] = "This property indicates whether the feature takes the link partner's settings.";
constexpr char kErrorHelp[] = "This property indicates whether the feature is in error.";
constexpr char kOperationalModeHelp[] = "This property indicates whether the feature is in operation.";
constexpr char kSyncedHelp[] = "This property indicates whether the feature is in sync with the link partner.";
constexpr char kPg15Help[] =
    "This property displays the priorities in the strict-priority group PG15 as a bitmap of priorities 0 to 7 (a RoCE "
    "priority).";
constexpr char kNumPgHelp[] = "This property displays the number of priority groups supported.";
constexpr char kCnpvHelp[] =
    "This property displays the congestion-notification priorities; bit i stands for priority i (0 to 7), 0xFF for all "
    "eight.";
constexpr char kReadyHelp[] =
    "This property displays the priorities ready for congestion notification; bit i stands for priority i (0 to 7), "
    "0xFF for all eight.";
const ChildDef admin_pfc_children[] = {
    property("Advertise", RW, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kAdvertiseHelp),
    property("Enabled", RW, LIST, kYesNo, 2, 3, "No", handle_pfc_feature_vars, kEnabledHelp),
    property("PriorityBitMap", RW, TEXT, "", 1, 4, "0", handle_pfc_feature_vars,
             "This property specifies the priorities with priority flow control; bit i stands for priority i (0 to 7), "
             "0xFF for all eight."),
    property("Willing", RW, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kWillingHelp),
};
const ChildDef peer_pfc_children[] = {
    property("Advertise", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kAdvertiseHelp),
    property("Enabled", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kEnabledHelp),
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kErrorHelp),
    property("PriorityBitMap", RO, TEXT, "", 1, 4, "0", handle_pfc_feature_vars,
             "This property displays the priorities with priority flow control; bit i stands for priority i (0 to 7), "
             "0xFF for all eight."),
    property("Willing", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kWillingHelp),
};
const ChildDef oper_pfc_children[] = {
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kErrorHelp),
    property("OperationalMode", RO, LIST, kTrueFalse, 4, 5, "True", handle_pfc_feature_vars, kOperationalModeHelp),
    property("PriorityBitMap", RO, TEXT, "", 1, 4, "0", handle_pfc_feature_vars,
             "This property displays the priorities with priority flow control; bit i stands for priority i (0 to 7), "
             "0xFF for all eight."),
    property("Synced", RO, LIST, kYesNo, 2, 3, "Yes", handle_pfc_feature_vars, kSyncedHelp),
};
const GroupDef admin_pfc =
    group("AdministratorPFCSetting", admin_pfc_children, "This group contains the PFC settings this port asks for.");
const GroupDef peer_pfc =
    group("PeerPFCSetting", peer_pfc_children, "This group contains the PFC settings the link partner sent.");
const GroupDef oper_pfc =
    group("OperationalPFCSettings", oper_pfc_children, "This group contains the PFC settings in force.");
const ChildDef pfc_children[] = {subgroup(&admin_pfc), subgroup(&peer_pfc), subgroup(&oper_pfc)};
const GroupDef pfc = group("PFC", pfc_children, "This group contains the priority flow control views of the port.");

const ChildDef admin_pg_children[] = {
    property("PG15PriorityMemberShip", RW, TEXT, "", 0, 7, "0", handle_pg15_membership, kPg15Help),
    property("Advertise", RW, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kAdvertiseHelp),
    property("Enabled", RW, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kEnabledHelp),
    property("Willing", RW, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kWillingHelp),
    property("NumPGSupported", RO, INT, "", 2, 5, "2", handle_pg_feature_vars, kNumPgHelp),
};
const ChildDef peer_pg_children[] = {
    property("PG15PriorityMemberShip", RO, TEXT, "", 0, 7, "0", handle_pg15_membership, kPg15Help),
    property("Advertise", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kAdvertiseHelp),
    property("Enabled", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kEnabledHelp),
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kErrorHelp),
    property("Willing", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kWillingHelp),
    property("NumPGSupported", RO, INT, "", 2, 5, "2", handle_pg_feature_vars, kNumPgHelp),
};
const ChildDef oper_pg_children[] = {
    property("PG15PriorityMemberShip", RO, TEXT, "", 0, 7, "0", handle_pg15_membership, kPg15Help),
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kErrorHelp),
    property("OperationalMode", RO, LIST, kTrueFalse, 4, 5, "True", handle_pg_feature_vars, kOperationalModeHelp),
    property("Synced", RO, LIST, kYesNo, 2, 3, "Yes", handle_pg_feature_vars, kSyncedHelp),
    property("NumPGSupported", RO, INT, "", 2, 5, "2", handle_pg_feature_vars, kNumPgHelp),
};
const GroupDef admin_pg =
    group("AdministratorPGSetting", admin_pg_children, "This group contains the priority groups this port asks for.");
const GroupDef peer_pg =
    group("PeerPGSetting", peer_pg_children, "This group contains the priority groups the link partner sent.");
const GroupDef oper_pg =
    group("OperationalPGSettings", oper_pg_children, "This group contains the priority groups in force.");
const ChildDef pg_children[] = {subgroup(&admin_pg), subgroup(&peer_pg), subgroup(&oper_pg)};
const GroupDef priority_groups =
    group("PriorityGroups", pg_children, "This group contains the priority-group views of the port.");

TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting, AddApplicationTLV,
            do_AddApplicationTLV, "This command adds an application TLV to the port's DCBX configuration.",
            required("ProtocolSelector", INT, "", 0, 1,
                     "This parameter specifies the kind of ProtocolID: 0 an Ethernet type (FCoE or RoCE), 1 a TCP port "
                     "(iSCSI)."),
            required("ProtocolID", INT, "", 0, 99999, "This parameter specifies the Ethernet type or TCP port."),
            required("PriorityBitMap", TEXT, "", 1, 4,
                     "This parameter specifies the priorities the protocol uses as a bitmap."),
            optional("OUI", TEXT, "", 1, 8, "This parameter specifies the DCBX OUI; 0x1B21 when not given."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting,
            DeleteApplicationTLV, do_DeleteApplicationTLV,
            "This command deletes an application TLV from the port's DCBX configuration.",
            required("InstanceNumber", INT, "", 0, 14,
                     "This parameter specifies the number of the ApplicationTLV instance to delete."));
const ChildDef admin_tlv_children[] = {
    property("Advertise", RW, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kAdvertiseHelp),
    property("Enabled", RW, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kEnabledHelp),
    property("Willing", RW, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kWillingHelp),
    AddApplicationTLV,
    DeleteApplicationTLV,
};
const ChildDef peer_tlv_children[] = {
    property("Advertise", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kAdvertiseHelp),
    property("Enabled", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kEnabledHelp),
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kErrorHelp),
    property("Willing", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kWillingHelp),
};
const ChildDef oper_tlv_children[] = {
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kErrorHelp),
    property("OperationalMode", RO, LIST, kTrueFalse, 4, 5, "True", handle_app_feature_vars, kOperationalModeHelp),
    property("Synced", RO, LIST, kYesNo, 2, 3, "Yes", handle_app_feature_vars, kSyncedHelp),
};
const GroupDef admin_tlv =
    group("AdministratorTLVSetting", admin_tlv_children, "This group contains the application TLVs this port asks for.",
          group_AdministratorTLVSetting);
const GroupDef peer_tlv =
    group("PeerTLVSetting", peer_tlv_children, "This group contains the application TLVs the link partner sent.",
          group_PeerTLVSetting);
const GroupDef oper_tlv = group("OperationalTLVSettings", oper_tlv_children,
                                "This group contains the application TLVs in force.", group_OperationalTLVSettings);
const ChildDef tlv_children[] = {subgroup(&admin_tlv), subgroup(&peer_tlv), subgroup(&oper_tlv)};
const GroupDef tlv_groups =
    group("ApplicationTLVGroups", tlv_children, "This group contains the application-TLV views of the port.");

const ChildDef admin_qcn_children[] = {
    property("Advertise", RW, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kAdvertiseHelp),
    property("Enabled", RW, LIST, kYesNo, 2, 3, "No", handle_update_qcn_props, kEnabledHelp),
    property("CNPVBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props, kCnpvHelp),
    property("Willing", RW, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kWillingHelp),
};
const ChildDef peer_qcn_children[] = {
    property("Advertise", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kAdvertiseHelp),
    property("Enabled", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kEnabledHelp),
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kErrorHelp),
    property("CNPVBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props, kCnpvHelp),
    property("Willing", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kWillingHelp),
    property("ReadyBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props, kReadyHelp),
};
const ChildDef oper_qcn_children[] = {
    property("Error", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kErrorHelp),
    property("OperationalMode", RO, LIST, kTrueFalse, 4, 5, "N/A", handle_update_qcn_props, kOperationalModeHelp),
    property("CNPVBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props, kCnpvHelp),
    property("Synced", RO, LIST, kYesNo, 2, 3, "Yes", handle_update_qcn_props, kSyncedHelp),
    property("ReadyBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props, kReadyHelp),
};
const GroupDef admin_qcn =
    group("AdministratorQCNSetting", admin_qcn_children, "This group contains the QCN settings this port asks for.");
const GroupDef peer_qcn =
    group("PeerQCNSetting", peer_qcn_children, "This group contains the QCN settings the link partner sent.");
const GroupDef oper_qcn =
    group("OperationalQCNSettings", oper_qcn_children, "This group contains the QCN settings in force.");
const ChildDef qcn_children[] = {subgroup(&admin_qcn), subgroup(&peer_qcn), subgroup(&oper_qcn)};
const GroupDef qcn =
    group("QCN", qcn_children, "This group contains the quantized congestion notification views of the port.");

const ChildDef dcbx_children[] = {subgroup(&dcbx_port_vars),  subgroup(&dcbx_statistics), subgroup(&pfc),
                                  subgroup(&priority_groups), subgroup(&tlv_groups),      subgroup(&qcn)};
const GroupDef tavo::port::port_dcbx =
    group("DCBX", dcbx_children, "This group contains the Data Center Bridging Exchange configuration of the port.");

// --- PG and ApplicationTLV instances ---
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_DCBX_PriorityGroups_AdministratorPGSetting_PG, ConfigurePGSettings,
            do_ConfigurePGSettings, "This command sets the priorities and the bandwidth of this priority group.",
            required("PriorityMembership", TEXT, "", 0, 7,
                     "This parameter specifies the bitmap of the priorities in the group."),
            required("Bandwidth", INT, "", 0, 255,
                     "This parameter specifies the bandwidth share in percent; 255 means no bandwidth limit."));
constexpr char kPgBandwidthHelp[] =
    "This property displays the bandwidth share of the priority group in percent; 255 means no bandwidth limit.";
constexpr char kPgMembershipHelp[] =
    "This property displays the bitmap of the priorities in this priority group; a group without priorities has 0, and "
    "a priority belongs to at most one group.";
const ChildDef admin_pg_instance_children[] = {
    property("Bandwidth", RO, INT, "", 0, 255, "0", handle_bwg_props, kPgBandwidthHelp),
    property("PriorityMembership", RO, TEXT, "", 0, 7, "0", handle_bwg_props, kPgMembershipHelp),
    ConfigurePGSettings,
};
const ChildDef view_pg_instance_children[] = {
    property("Bandwidth", RO, INT, "", 0, 100, "0", handle_bwg_props, kPgBandwidthHelp),
    property("PriorityMembership", RO, TEXT, "", 0, 7, "0", handle_bwg_props, kPgMembershipHelp),
};
constexpr char kPgHelp[] = "This group instance corresponds to one priority group of the view.";
const GroupDef admin_pg_instance = instanced("PG", 8, &admin_pg_slots, admin_pg_instance_children, kPgHelp);
const GroupDef peer_pg_instance = instanced("PG", 8, &peer_pg_slots, view_pg_instance_children, kPgHelp);
const GroupDef oper_pg_instance = instanced("PG", 8, &oper_pg_slots, view_pg_instance_children, kPgHelp);

constexpr char kOuiHelp[] = "This property displays the DCBX OUI, 0x001b21.";
constexpr char kTlvBitmapHelp[] =
    "This property displays the priorities the protocol uses; bit i stands for priority i (0 to 7), 0xFF for all "
    "eight.";
constexpr char kProtocolIdHelp[] =
    "This property displays the protocol: with ProtocolSelector 1 the iSCSI TCP port; with 0 an Ethernet type (FCoE "
    "0x8906 or 0x8914, RoCE 0x8915).";
constexpr char kProtocolSelectorHelp[] =
    "This property displays the kind of ProtocolID: 0 an Ethernet type, 1 a TCP port.";
const ChildDef admin_tlv_instance_children[] = {
    property("OUI", RO, TEXT, "", 1, 8, "0x001b21", handle_apptlv_feature_vars, kOuiHelp),
    property("PriorityBitMap", RW, TEXT, "", 1, 4, "0", handle_apptlv_feature_vars, kTlvBitmapHelp),
    property("ProtocolID", RO, INT, "", 0, 99999, "0", handle_apptlv_feature_vars, kProtocolIdHelp),
    property("ProtocolSelector", RO, INT, "", 0, 1, "0", handle_apptlv_feature_vars, kProtocolSelectorHelp),
};
const ChildDef view_tlv_instance_children[] = {
    property("OUI", RO, TEXT, "", 1, 8, "0x001b21", handle_apptlv_feature_vars, kOuiHelp),
    property("PriorityBitMap", RO, TEXT, "", 1, 4, "0", handle_apptlv_feature_vars, kTlvBitmapHelp),
    property("ProtocolID", RO, INT, "", 0, 99999, "0", handle_apptlv_feature_vars, kProtocolIdHelp),
    property("ProtocolSelector", RO, INT, "", 0, 1, "0", handle_apptlv_feature_vars, kProtocolSelectorHelp),
};
constexpr char kTlvHelp[] = "This group instance corresponds to one application TLV of the view.";
const GroupDef admin_tlv_instance =
    instanced("ApplicationTLV", 15, &admin_tlv_slots, admin_tlv_instance_children, kTlvHelp);
const GroupDef peer_tlv_instance =
    instanced("ApplicationTLV", 15, &peer_tlv_slots, view_tlv_instance_children, kTlvHelp);
const GroupDef oper_tlv_instance =
    instanced("ApplicationTLV", 15, &oper_tlv_slots, view_tlv_instance_children, kTlvHelp);

TAVO_GROUP_BUILDER(AdministratorPGSetting_PG, admin_pg_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/PriorityGroups/AdministratorPGSetting");
TAVO_GROUP_BUILDER(PeerPGSetting_PG, peer_pg_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/PriorityGroups/PeerPGSetting");
TAVO_GROUP_BUILDER(OperationalPGSettings_PG, oper_pg_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/PriorityGroups/OperationalPGSettings");
TAVO_GROUP_BUILDER(AdministratorTLVSetting_ApplicationTLV, admin_tlv_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/ApplicationTLVGroups/AdministratorTLVSetting");
TAVO_GROUP_BUILDER(PeerTLVSetting_ApplicationTLV, peer_tlv_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/ApplicationTLVGroups/PeerTLVSetting");
TAVO_GROUP_BUILDER(OperationalTLVSettings_ApplicationTLV, oper_tlv_instance,
                   "Corvane/PortDiscoveryAndConfiguration/DCBX/ApplicationTLVGroups/OperationalTLVSettings");

namespace tavo::port {

TavoNode* build_application_tlv_in_slot(TavoNode* view, int32_t slot, TavoNode* creating_node,
                                        TavoNode* creating_action, char* params) {
  static const struct {
    const char* view;
    const GroupDef* instance;
  } kViews[] = {{"AdministratorTLVSetting", &admin_tlv_instance},
                {"PeerTLVSetting", &peer_tlv_instance},
                {"OperationalTLVSettings", &oper_tlv_instance}};
  if (view == nullptr) return nullptr;
  for (const auto& v : kViews)
    if (strcasecmp(view->name, v.view) == 0)
      return tree::build_group_in_slot(*v.instance, view, slot, creating_node, creating_action, params);
  return nullptr;
}

}  // namespace tavo::port
