// The PortDiscoveryAndConfiguration branch: one instance per physical port
// of a controller, with its link, PHY, speed, beacon and flow-control
// properties, the port actions, and the ChannelManagement, BaseT10G, LLDP
// and DCBX sub-groups; and the PG and ApplicationTLV instance groups of the
// DCBX views.
#include "nic/port_calls.h"
#include "port/port.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::action;
using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;
constexpr uint32_t RW = TAVO_ACCESS_READ_WRITE;
constexpr int32_t kMaxCount = 2147483647;
constexpr TavoPropertyHandler stored = handle_internal_property;
constexpr char kEnabledDisabled[] = "Enabled,Disabled";
constexpr char kYesNo[] = "Yes,No";
constexpr char kTrueFalse[] = "True,False";
constexpr char kSpeedNames[] = "0,10Mb,100Mb,1Gb,10Gb";

tavo::tree::SlotArea port_slots;
tavo::tree::SlotArea admin_pg_slots, peer_pg_slots, oper_pg_slots;
tavo::tree::SlotArea admin_tlv_slots, peer_tlv_slots, oper_tlv_slots;

// --- BaseT10G ---
#define BASET_TEXT(name, what, maximum) \
  property(name, "This property displays " what ".", RO, TAVO_TYPE_TEXT, "", 0, maximum, "0", handle_10GbaseT_properties)
#define BASET_RESULT(name, pair)                                                                                 \
  property(name,                                                                                                 \
           "This property displays the TDR result of pair " pair ": 0 pair OK, length estimated; 1 pair OK, no " \
           "length estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to " \
           "fault estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low "     \
           "mismatch (above 85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C " \
           "or D respectively, length to fault not applicable.",                                                 \
           RO, TAVO_TYPE_INTEGER, "", 0, 3, "0", stored)
#define BASET_LENGTH(name, pair)                                                                                 \
  property(name, "This property displays the estimated length in metres of pair " pair " from the last RunTDR.", \
           RO, TAVO_TYPE_INTEGER, "", 0, 100, "0", stored)
const ChildDef baset_children[] = {
    BASET_TEXT("10GBaseTDiagStatus", "the diagnostics state of the 10GBase-T PHY", 32),
    BASET_TEXT("Temperature", "the temperature of the 10GBase-T PHY in degrees Celsius", 120),
    property("PHYLinkDownReason",
             "This property displays why the PHY link went down: 0 none, 1 PHY link down due to DCC, 2 due to FIP, "
             "3 due to VNIC, 4 due to PAUSE FLOOD, 5 due to PHY THERMAL.",
             RO, TAVO_TYPE_INTEGER, "", 0, 5, "0", handle_over_temperature),
    BASET_TEXT("PairASNR", "the signal-to-noise ratio of pair A", 32),
    BASET_TEXT("PairBSNR", "the signal-to-noise ratio of pair B", 32),
    BASET_TEXT("PairCSNR", "the signal-to-noise ratio of pair C", 32),
    BASET_TEXT("PairDSNR", "the signal-to-noise ratio of pair D", 32),
    BASET_TEXT("TimeSinceLinkHigh", "the high word of the time since the link came up", 32),
    BASET_TEXT("TimeSinceLinkLow", "the low word of the time since the link came up", 32),
    BASET_TEXT("AverageMSEPairA", "the average mean squared error of pair A", 32),
    BASET_TEXT("AverageMSEPairB", "the average mean squared error of pair B", 32),
    BASET_TEXT("AverageMSEPairC", "the average mean squared error of pair C", 32),
    BASET_TEXT("AverageMSEPairD", "the average mean squared error of pair D", 32),
    BASET_TEXT("LDPCFrameHigh", "the high word of the LDPC frame count", 32),
    BASET_TEXT("LDPCFrameLow", "the low word of the LDPC frame count", 32),
    BASET_TEXT("PHYCRC8High", "the high word of the PHY CRC-8 error count", 32),
    BASET_TEXT("PHYCRC8Low", "the low word of the PHY CRC-8 error count", 32),
    BASET_TEXT("MDIPLLEventCounter", "the number of MDI PLL events", 32),
    BASET_TEXT("10GEMIEventCounter", "the number of 10G EMI events", 32),
    BASET_TEXT("PHYFrameCounter", "the number of PHY frames", 64),
    property("SelfTestResult",
             "This property displays the result of the last SelfTest: 0 test successful, 1 test initialisation "
             "failed, 4 test failed.",
             RO, TAVO_TYPE_INTEGER, "", 0, 4, "", stored),
    BASET_RESULT("PairAResult", "A"),
    BASET_RESULT("PairBResult", "B"),
    BASET_RESULT("PairCResult", "C"),
    BASET_RESULT("PairDResult", "D"),
    BASET_LENGTH("PairALengthEstimation", "A"),
    BASET_LENGTH("PairBLengthEstimation", "B"),
    BASET_LENGTH("PairCLengthEstimation", "C"),
    BASET_LENGTH("PairDLengthEstimation", "D"),
    property("NVPValue", "This property specifies the nominal velocity of propagation in percent that RunTDR uses.",
             RW, TAVO_TYPE_TEXT, "", 0, 100, "72", handle_10baseT_nvpvalue),
    property("NVPUsed", "This property displays the nominal velocity of propagation in percent in force when RunTDR "
             "last ran.", RO, TAVO_TYPE_INTEGER, "", 0, 100, "72", stored),
    property("IsClearCountersSupported", "This property indicates whether ClearCounters is supported on this port.",
             RO, TAVO_TYPE_LIST, kTrueFalse, 4, 5, "False", stored),
    action("SelfTest", "This command runs a self test of the 10GBase-T PHY on the given cable pairs.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_SelfTest_action),
    action("RunTDR", "This command runs time-domain reflectometry on the four cable pairs.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_RunTDR_action),
    action("ClearCounters", "This command clears the 10GBase-T PHY counters.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_ClearCounters_action),
};
#undef BASET_LENGTH
#undef BASET_RESULT
#undef BASET_TEXT
const GroupDef baset = {"BaseT10G", "This group contains the 10GBase-T PHY diagnostics of the port.", 0, 0, nullptr,
                        baset_children};

const GroupDef port_channels = {"ChannelManagement", "This group contains the channels of the port.", 0, 0,
                                group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement};

// --- LLDP ---
#define LLDP_TLV(name, what)                                                                                  \
  property(name, "This property specifies whether " what " is sent.", RW, TAVO_TYPE_LIST, kEnabledDisabled, 7, \
           8, "Enabled", handle_LLDP_properties)
#define LLDP_TEXT(name, what) \
  property(name, "This property displays " what ".", RO, TAVO_TYPE_TEXT, "", 0, 255, "Unknown", handle_LLDP_properties)
// The nine rows the local and the peer configuration share.
#define LLDP_SYSTEM_ROWS                                                                                            \
  LLDP_TEXT("ChassisId", "the chassis identifier"),                                                                  \
      property("ChassisType", "This property displays the kind of chassis identifier.", RO, TAVO_TYPE_LIST,         \
               "Chasis Component,Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Locally " \
               "Assigned,Unknown",                                                                                   \
               7, 17, "Unknown", handle_LLDP_properties),                                                            \
      LLDP_TEXT("PortId", "the port identifier"),                                                                    \
      property("PortType", "This property displays the kind of port identifier.", RO, TAVO_TYPE_LIST,              \
               "Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Agent Circuit Id,Locally " \
               "Assigned,Unknown",                                                                                   \
               7, 16, "Unknown", handle_LLDP_properties),                                                            \
      LLDP_TEXT("PortDescription", "the port description"), LLDP_TEXT("SystemName", "the system name"),             \
      LLDP_TEXT("SystemDescription", "the system description"),                                                     \
      property("SystemCapabilities", "This property displays the system capabilities.", RO, TAVO_TYPE_LIST,         \
               "Other,Repeater,Bridge,WLAN,Router,Telephone,Docsis,Station,Unknown", 4, 9, "Unknown",                \
               handle_LLDP_properties),                                                                              \
      property("TTL", "This property displays the time to live of the LLDP information in seconds.", RO,            \
               TAVO_TYPE_INTEGER, "", 0, 255, "0", handle_LLDP_properties)
const ChildDef lldp_local_children[] = {
    LLDP_TLV("TxState", "LLDP"),
    property("RxState", "This property specifies whether LLDP is received.", RW, TAVO_TYPE_LIST, kEnabledDisabled,
             7, 8, "Enabled", handle_LLDP_properties),
    LLDP_TLV("PortDescriptionTLV", "the port description TLV"),
    LLDP_TLV("SystemDescriptionTLV", "the system description TLV"),
    LLDP_TLV("SystemNameTLV", "the system name TLV"),
    LLDP_TLV("SystemCapabilitiesTLV", "the system capabilities TLV"),
    LLDP_SYSTEM_ROWS,
};
const ChildDef lldp_peer_children[] = {LLDP_SYSTEM_ROWS};
#undef LLDP_SYSTEM_ROWS
#undef LLDP_TEXT
#undef LLDP_TLV
const GroupDef lldp_local = {"LocalConfiguration", "This group contains the LLDP configuration this port sends.", 0,
                             0, nullptr, lldp_local_children};
const GroupDef lldp_peer = {"PeerConfiguration", "This group contains the LLDP configuration the link partner sent.",
                            0, 0, nullptr, lldp_peer_children};

#define STATISTIC(name, what, handler)                                                                           \
  property(name, "This property displays the number of " what ".", RO, TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", \
           handler)
const ChildDef lldp_statistics_children[] = {
    STATISTIC("TxPacketCount", "LLDP packets sent", handle_lldp_stats_props),
    STATISTIC("RxPacketCount", "LLDP packets received", handle_lldp_stats_props),
    STATISTIC("UnrecognizedTLVs", "unrecognized TLVs received", handle_lldp_stats_props),
    STATISTIC("NumPacketsDropped", "LLDP packets dropped", handle_lldp_stats_props),
    STATISTIC("OrganizationalTLVCount", "organizational TLVs received", handle_lldp_stats_props),
};
const GroupDef lldp_statistics = {"LLDPStatistics", "This group contains the LLDP statistics of the port.", 0, 0,
                                  nullptr, lldp_statistics_children};
const ChildDef lldp_children[] = {subgroup(&lldp_local), subgroup(&lldp_peer), subgroup(&lldp_statistics)};
const GroupDef lldp = {"LLDP", "This group contains the LLDP configuration and statistics of the port.", 0, 0, nullptr,
                       lldp_children};

// --- DCBX ---
#define DCBX_COUNTER(name, what) \
  property(name, "This property displays " what ".", RO, TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", handle_dcbx_port_vars)
const ChildDef dcbx_port_vars_children[] = {
    property("OperatingVersion", "This property displays the DCBX version in operation.", RO, TAVO_TYPE_INTEGER, "",
             0, 3, "0", handle_dcbx_port_vars),
    property("MaxVersion", "This property displays the highest DCBX version supported.", RO, TAVO_TYPE_INTEGER, "",
             0, 3, "0", handle_dcbx_port_vars),
    property("DCBXState", "This property specifies whether DCBX runs on the port.", RW, TAVO_TYPE_LIST,
             kEnabledDisabled, 7, 8, "Enabled", handle_DCBXState),
    property("DCBXMode",
             "This property specifies the DCBX protocol: CIN is the Cisco/Intel/Nuovo specification, CEE the CEE "
             "specification; Auto-CEE and Auto-IEEE negotiate. Auto-IEEE is the default; a change takes effect "
             "after a reboot.",
             RW, TAVO_TYPE_LIST, "CEE,CIN,Auto-CEE,Auto-IEEE", 3, 9, "Auto-IEEE", handle_DCBXMode),
    DCBX_COUNTER("SequenceNumber", "the DCBX sequence number"),
    DCBX_COUNTER("AckNumber", "the DCBX acknowledgement number"),
    DCBX_COUNTER("PeerSequenceNumber", "the link partner's sequence number"),
    DCBX_COUNTER("PeerAckNumber", "the link partner's acknowledgement number"),
    DCBX_COUNTER("PFCFeatureSequenceNumber", "the sequence number of the PFC feature"),
    DCBX_COUNTER("PGFeatureSequenceNumber", "the sequence number of the priority-group feature"),
    DCBX_COUNTER("AppFeatureSequenceNumber", "the sequence number of the application feature"),
};
#undef DCBX_COUNTER
const GroupDef dcbx_port_vars = {"DCBXPortVars", "This group contains the DCBX state of the port.", 0, 0, nullptr,
                                 dcbx_port_vars_children};
const ChildDef dcbx_statistics_children[] = {
    STATISTIC("TxPacketCount", "DCBX packets sent", handle_dcbx_stats_props),
    STATISTIC("RxPacketCount", "DCBX packets received", handle_dcbx_stats_props),
    STATISTIC("UnrecognizedTLVs", "unrecognized TLVs received", stored),
    STATISTIC("NumPacketsDropped", "DCBX packets dropped", handle_dcbx_stats_props),
    STATISTIC("OrganizationalTLVCount", "organizational TLVs received", stored),
};
#undef STATISTIC
const GroupDef dcbx_statistics = {"DCBXStatistics", "This group contains the DCBX statistics of the port.", 0, 0,
                                  nullptr, dcbx_statistics_children};

// Feature flags: "Yes" or "No" (OperationalMode "True" or "False").
#define FLAG(name, what, access, default_value, handler)                                                       \
  property(name, "This property " what ".", access, TAVO_TYPE_LIST, kYesNo, 2, 3, default_value, handler)
#define ADVERTISE(access, handler) FLAG("Advertise", "indicates whether the feature is advertised", access, "Yes", handler)
#define ENABLED(access, default_value, handler) \
  FLAG("Enabled", "indicates whether the feature is enabled", access, default_value, handler)
#define WILLING(access, handler) \
  FLAG("Willing", "indicates whether the feature takes the link partner's settings", access, "Yes", handler)
#define ERROR_FLAG(handler) FLAG("Error", "indicates whether the feature is in error", RO, "Yes", handler)
#define SYNCED(handler) FLAG("Synced", "indicates whether the feature is in sync with the link partner", RO, "Yes", handler)
#define OPERATIONAL_MODE(default_value, handler)                                                                 \
  property("OperationalMode", "This property indicates whether the feature is in operation.", RO, TAVO_TYPE_LIST, \
           kTrueFalse, 4, 5, default_value, handler)
#define BITMAP(name, what, access, handler)                                                                       \
  property(name, "This property " what "; bit i stands for priority i (0 to 7), 0xFF for all eight.", access, \
           TAVO_TYPE_TEXT, "", 1, 4, "0", handler)

const ChildDef admin_pfc_children[] = {
    ADVERTISE(RW, handle_pfc_feature_vars), ENABLED(RW, "No", handle_pfc_feature_vars),
    BITMAP("PriorityBitMap", "specifies the priorities with priority flow control", RW, handle_pfc_feature_vars),
    WILLING(RW, handle_pfc_feature_vars)};
const ChildDef peer_pfc_children[] = {
    ADVERTISE(RO, handle_pfc_feature_vars), ENABLED(RO, "Yes", handle_pfc_feature_vars),
    ERROR_FLAG(handle_pfc_feature_vars),
    BITMAP("PriorityBitMap", "displays the priorities with priority flow control", RO, handle_pfc_feature_vars),
    WILLING(RO, handle_pfc_feature_vars)};
const ChildDef oper_pfc_children[] = {
    ERROR_FLAG(handle_pfc_feature_vars), OPERATIONAL_MODE("True", handle_pfc_feature_vars),
    BITMAP("PriorityBitMap", "displays the priorities with priority flow control", RO, handle_pfc_feature_vars),
    SYNCED(handle_pfc_feature_vars)};
const GroupDef admin_pfc = {"AdministratorPFCSetting", "This group contains the PFC settings this port asks for.", 0,
                            0, nullptr, admin_pfc_children};
const GroupDef peer_pfc = {"PeerPFCSetting", "This group contains the PFC settings the link partner sent.", 0, 0,
                           nullptr, peer_pfc_children};
const GroupDef oper_pfc = {"OperationalPFCSettings", "This group contains the PFC settings in force.", 0, 0, nullptr,
                           oper_pfc_children};
const ChildDef pfc_children[] = {subgroup(&admin_pfc), subgroup(&peer_pfc), subgroup(&oper_pfc)};
const GroupDef pfc = {"PFC", "This group contains the priority flow control views of the port.", 0, 0, nullptr,
                      pfc_children};

#define PG15(access)                                                                                              \
  property("PG15PriorityMemberShip",                                                                             \
           "This property displays the priorities in the strict-priority group PG15 as a bitmap of priorities 0 " \
           "to 7 (a RoCE priority).",                                                                            \
           access, TAVO_TYPE_TEXT, "", 0, 7, "0", handle_pg15_membership)
#define NUM_PG                                                                                                      \
  property("NumPGSupported", "This property displays the number of priority groups supported.", RO,              \
           TAVO_TYPE_INTEGER, "", 2, 5, "2", handle_pg_feature_vars)
const ChildDef admin_pg_children[] = {PG15(RW), ADVERTISE(RW, handle_pg_feature_vars),
                                      ENABLED(RW, "Yes", handle_pg_feature_vars), WILLING(RW, handle_pg_feature_vars),
                                      NUM_PG};
const ChildDef peer_pg_children[] = {PG15(RO),
                                     ADVERTISE(RO, handle_pg_feature_vars),
                                     ENABLED(RO, "Yes", handle_pg_feature_vars),
                                     ERROR_FLAG(handle_pg_feature_vars),
                                     WILLING(RO, handle_pg_feature_vars),
                                     NUM_PG};
const ChildDef oper_pg_children[] = {PG15(RO), ERROR_FLAG(handle_pg_feature_vars),
                                     OPERATIONAL_MODE("True", handle_pg_feature_vars),
                                     SYNCED(handle_pg_feature_vars), NUM_PG};
#undef NUM_PG
#undef PG15
const GroupDef admin_pg = {"AdministratorPGSetting", "This group contains the priority groups this port asks for.", 0,
                           0, nullptr, admin_pg_children};
const GroupDef peer_pg = {"PeerPGSetting", "This group contains the priority groups the link partner sent.", 0, 0,
                          nullptr, peer_pg_children};
const GroupDef oper_pg = {"OperationalPGSettings", "This group contains the priority groups in force.", 0, 0, nullptr,
                          oper_pg_children};
const ChildDef pg_children[] = {subgroup(&admin_pg), subgroup(&peer_pg), subgroup(&oper_pg)};
const GroupDef priority_groups = {"PriorityGroups", "This group contains the priority-group views of the port.", 0, 0,
                                  nullptr, pg_children};

const ChildDef admin_tlv_children[] = {
    ADVERTISE(RW, handle_app_feature_vars), ENABLED(RW, "Yes", handle_app_feature_vars),
    WILLING(RW, handle_app_feature_vars),
    action("AddApplicationTLV", "This command adds an application TLV to the port's DCBX configuration.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_AddApplicationTLV_action),
    action("DeleteApplicationTLV", "This command deletes an application TLV from the port's DCBX configuration.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_DeleteApplicationTLV_action),
};
const ChildDef peer_tlv_children[] = {ADVERTISE(RO, handle_app_feature_vars),
                                      ENABLED(RO, "Yes", handle_app_feature_vars),
                                      ERROR_FLAG(handle_app_feature_vars), WILLING(RO, handle_app_feature_vars)};
const ChildDef oper_tlv_children[] = {ERROR_FLAG(handle_app_feature_vars),
                                      OPERATIONAL_MODE("True", handle_app_feature_vars),
                                      SYNCED(handle_app_feature_vars)};
const GroupDef admin_tlv = {"AdministratorTLVSetting", "This group contains the application TLVs this port asks for.",
                            0, 0, group_AdministratorTLVSetting, admin_tlv_children};
const GroupDef peer_tlv = {"PeerTLVSetting", "This group contains the application TLVs the link partner sent.", 0, 0,
                           group_PeerTLVSetting, peer_tlv_children};
const GroupDef oper_tlv = {"OperationalTLVSettings", "This group contains the application TLVs in force.", 0, 0,
                           group_OperationalTLVSettings, oper_tlv_children};
const ChildDef tlv_children[] = {subgroup(&admin_tlv), subgroup(&peer_tlv), subgroup(&oper_tlv)};
const GroupDef tlv_groups = {"ApplicationTLVGroups", "This group contains the application-TLV views of the port.", 0,
                             0, nullptr, tlv_children};

#define CNPV(access)                                                                                             \
  property("CNPVBitMap", "This property displays the congestion-notification priorities; bit i stands for "   \
           "priority i (0 to 7), 0xFF for all eight.", access, TAVO_TYPE_TEXT, "", 1, 4, "0",                 \
           handle_update_qcn_props)
#define READY                                                                                                     \
  property("ReadyBitMap", "This property displays the priorities ready for congestion notification; bit i "     \
           "stands for priority i (0 to 7), 0xFF for all eight.", RO, TAVO_TYPE_TEXT, "", 1, 4, "0",          \
           handle_update_qcn_props)
const ChildDef admin_qcn_children[] = {ADVERTISE(RW, handle_update_qcn_props),
                                       ENABLED(RW, "No", handle_update_qcn_props), CNPV(RO),
                                       WILLING(RW, handle_update_qcn_props)};
const ChildDef peer_qcn_children[] = {ADVERTISE(RO, handle_update_qcn_props),
                                      ENABLED(RO, "Yes", handle_update_qcn_props),
                                      ERROR_FLAG(handle_update_qcn_props),
                                      CNPV(RO),
                                      WILLING(RO, handle_update_qcn_props),
                                      READY};
const ChildDef oper_qcn_children[] = {ERROR_FLAG(handle_update_qcn_props),
                                      OPERATIONAL_MODE("N/A", handle_update_qcn_props), CNPV(RO),
                                      SYNCED(handle_update_qcn_props), READY};
#undef READY
#undef CNPV
const GroupDef admin_qcn = {"AdministratorQCNSetting", "This group contains the QCN settings this port asks for.", 0,
                            0, nullptr, admin_qcn_children};
const GroupDef peer_qcn = {"PeerQCNSetting", "This group contains the QCN settings the link partner sent.", 0, 0,
                           nullptr, peer_qcn_children};
const GroupDef oper_qcn = {"OperationalQCNSettings", "This group contains the QCN settings in force.", 0, 0, nullptr,
                           oper_qcn_children};
const ChildDef qcn_children[] = {subgroup(&admin_qcn), subgroup(&peer_qcn), subgroup(&oper_qcn)};
const GroupDef qcn = {"QCN", "This group contains the quantized congestion notification views of the port.", 0, 0,
                      nullptr, qcn_children};
#undef BITMAP
#undef OPERATIONAL_MODE
#undef SYNCED
#undef ERROR_FLAG
#undef WILLING
#undef ENABLED
#undef ADVERTISE
#undef FLAG

const ChildDef dcbx_children[] = {subgroup(&dcbx_port_vars),  subgroup(&dcbx_statistics), subgroup(&pfc),
                                  subgroup(&priority_groups), subgroup(&tlv_groups),      subgroup(&qcn)};
const GroupDef dcbx = {"DCBX", "This group contains the Data Center Bridging Exchange configuration of the port.", 0,
                       0, nullptr, dcbx_children};

// --- the port ---
const ChildDef port_children[] = {
    property("PortNumber", "This property displays the physical port number.", RO, TAVO_TYPE_INTEGER, "", 0, 3, "0",
             stored),
    property("PortName", "This property displays the name of the port.", RO, TAVO_TYPE_TEXT, "", 1, 1, "0", stored),
    property("PortState", "This property specifies whether the port is enabled.", RW, TAVO_TYPE_LIST,
             kEnabledDisabled, 7, 8, "Enabled", handle_PortState),
    property("PhysicalLinkStatus", "This property displays the state of the physical link.", RO, TAVO_TYPE_LIST,
             "Up,Down,Unknown", 2, 7, "Unknown", handle_PhysicalLinkStatus),
    property("PHYType",
             "This property displays the PHY type code the firmware reports: 0x0 XAUI (XAUI interface, no external "
             "PHY), 0x1 AEL_2020 (Aeluris/Netlogic PHY), 0x2 LSI_OSTR1 (pre-production board PHY that needs special "
             "handling of the XAUI internal clock), 0x3 LSI_OSTR2 (production board PHY), 0x4 SOLARFLARE "
             "(Solarflare PHY, Dell recommended), 0x5 AMCC_QT2025 (AMCC PHY), 0x6 AMCC_QT2225 (AMCC PHY), 0x7 "
             "OSTR_4417 (Ostrand PHY used on an HP LAN-on-motherboard), 0x8 CV3_INTERNAL_10GB (internal 10Gb PHY of "
             "the CV3 controller), 0x9 CV3_INTERNAL_1GB (internal 1Gb PHY of the CV3 controller), 0xA TN_2022 "
             "(Teranetics dual-port 65 nm PHY), 0xB MARVELL_88E1340 (Marvell 1G PHY), 0xC MARVELL_88E1322 (Marvell "
             "1G PHY), 0xD TN_8022 (Teranetics dual-port 40 nm PHY), 0xE MARVELL_88E1145 (Marvell 1G PHY), 0x10 "
             "OSTR_7316 (Ostrand 1G PHY), 0x11 OSTR_63606 (Ostrand 10GBase-T PHY), 0x12 AQUANTIA_1103 (Aquantia "
             "10GBase-T PHY), 0x13 MARVEL_88E1514 (Marvell 1G SGMII PHY), 0x20 PHY_TYPE_INTERNAL (internal "
             "controller PHY), 0xFF PHY_TYPE_NOT_SUPPORTED (no PHY on this board).",
             RO, TAVO_TYPE_INTEGER, "", 0, 255, "0x0", handle_PHYType),
    property("InterfaceType",
             "This property displays the interface type of the port: CX4_10GB_TYPE, XFP_10GB_TYPE, SFP_1GB_TYPE, "
             "SFP_PLUS_10GB_TYPE, KR_10GB_TYPE, KX4_10GB_TYPE, BASET_10GB_TYPE, BASET_1000_TYPE, BASEX_1000_TYPE, "
             "SGMII_TYPE, QSFP_TYPE, KR4_TYPE, KR2_TYPE, or Not Supported.",
             RO, TAVO_TYPE_TEXT, "", 2, 26, "Unknown", stored),
    property("BeaconState", "This property displays whether the port's LEDs show the beacon pattern.", RO,
             TAVO_TYPE_LIST, "Enabled,Disabled,Not Supported", 7, 13, "Disabled", handle_BeaconState),
    property("TXThrottle",
             "This property specifies how soon FCoE traffic stops after a PFC pause frame: 1 a slow reaction to "
             "incoming PFC pause frames, 2 a fast reaction.",
             RW, TAVO_TYPE_TEXT, "", 1, 2, "2", handle_TXThrottle),
    subgroup(&port_channels),
    subgroup(&baset),
    property("FCoEWWPN", "This property displays the world-wide port name of the port's FCoE function.", RO,
             TAVO_TYPE_TEXT, "", 0, 16, "0", handle_FCoEWWPN),
    property("Mode", "This property displays how the port's speed is chosen.", RO, TAVO_TYPE_LIST,
             "Force,Auto-Negotiate,Default", 5, 15, "Default", handle_get_link_speed_properties),
    property("ConfiguredSpeed", "This property displays the configured speed; 0 means all supported speeds.", RO,
             TAVO_TYPE_LIST,
             "All Supported Speeds,10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,"
             "40Gb",
             3, 20, "0", handle_get_link_speed_properties),
    property("DACCableLength", "This property displays the configured DAC cable length in metres.", RO,
             TAVO_TYPE_TEXT, "", 0, 10, "0", handle_get_link_speed_properties),
    property("ANSpeedsSupported",
             "This property displays the speeds the port's PHY can auto-negotiate; 0 means the mode is not "
             "supported by the port's PHY.",
             RO, TAVO_TYPE_LIST, kSpeedNames, 3, 10, "0", stored),
    property("ForceSpeedsSupported",
             "This property displays the speeds the port's PHY can be forced to; 0 means the mode is not supported "
             "by the port's PHY.",
             RO, TAVO_TYPE_LIST, kSpeedNames, 3, 10, "0", stored),
    property("TxFlowControl", "This property specifies whether the port sends pause frames.", RW, TAVO_TYPE_LIST,
             kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties),
    property("RxFlowControl", "This property specifies whether the port honours pause frames.", RW, TAVO_TYPE_LIST,
             kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties),
    property("FCoELinkSpeed", "This property displays the share of the port's link the FCoE function has.", RO,
             TAVO_TYPE_LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3, 13,
             "0 (Link Down)", handle_FCoELinkSpeed),
    action("Beacon", "This command switches the beacon pattern of the port's LEDs on or off.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_Beacon_action),
    action("SetPortSpeed", "This command sets the port's speed mode and speed; the change takes effect in the "
           "firmware.", &ROOT_Corvane_PortDiscoveryAndConfiguration_SetPortSpeed_action),
    action("DumpTransceiverData",
           "This command reads one page of the port's transceiver and returns it as hexadecimal text in the last "
           "status.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_DumpTransceiverData_action),
    action("ErasePortandDiscoveryConfiguration",
           "This command erases the port and discovery configuration; the change takes effect after a reboot.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_ErasePortandDiscoveryConfiguration_action),
    subgroup(&lldp),
    subgroup(&dcbx),
};

const GroupDef port_group = {"PortDiscoveryAndConfiguration",
                             "This group instance corresponds to one physical port of the Tessmark controller.", 4,
                             0, nullptr, port_children, &port_slots};

// --- PG and ApplicationTLV instances ---
#define PG_CHILDREN(bandwidth_max)                                                                               \
  property("Bandwidth", "This property displays the bandwidth share of the priority group in percent; 255 means " \
           "no bandwidth limit.", RO, TAVO_TYPE_INTEGER, "", 0, bandwidth_max, "0", handle_bwg_props),           \
      property("PriorityMembership", "This property displays the bitmap of the priorities in this priority "     \
               "group; a group without priorities has 0, and a priority belongs to at most one group.", RO,       \
               TAVO_TYPE_TEXT, "", 0, 7, "0", handle_bwg_props)
const ChildDef admin_pg_instance_children[] = {
    PG_CHILDREN(255),
    action("ConfigurePGSettings", "This command sets the priorities and the bandwidth of this priority group.",
           &ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_PriorityGroups_AdministratorPGSetting_PG_ConfigurePGSettings_action),
};
const ChildDef view_pg_instance_children[] = {PG_CHILDREN(100)};
#undef PG_CHILDREN
constexpr char kPgDescription[] = "This group instance corresponds to one priority group of the view.";
const GroupDef admin_pg_instance = {"PG", kPgDescription, 8, 0, nullptr, admin_pg_instance_children, &admin_pg_slots};
const GroupDef peer_pg_instance = {"PG", kPgDescription, 8, 0, nullptr, view_pg_instance_children, &peer_pg_slots};
const GroupDef oper_pg_instance = {"PG", kPgDescription, 8, 0, nullptr, view_pg_instance_children, &oper_pg_slots};

#define TLV_CHILDREN(bitmap_access)                                                                                \
  property("OUI", "This property displays the DCBX OUI, 0x001b21.", RO, TAVO_TYPE_TEXT, "", 1, 8, "0x001b21",    \
           handle_apptlv_feature_vars),                                                                            \
      property("PriorityBitMap", "This property displays the priorities the protocol uses; bit i stands for "     \
               "priority i (0 to 7), 0xFF for all eight.", bitmap_access, TAVO_TYPE_TEXT, "", 1, 4, "0",          \
               handle_apptlv_feature_vars),                                                                        \
      property("ProtocolID", "This property displays the protocol: with ProtocolSelector 1 the iSCSI TCP port; "  \
               "with 0 an Ethernet type (FCoE 0x8906 or 0x8914, RoCE 0x8915).", RO, TAVO_TYPE_INTEGER, "", 0,   \
               99999, "0", handle_apptlv_feature_vars),                                                            \
      property("ProtocolSelector", "This property displays the kind of ProtocolID: 0 an Ethernet type, 1 a TCP "   \
               "port.", RO, TAVO_TYPE_INTEGER, "", 0, 1, "0", handle_apptlv_feature_vars)
const ChildDef admin_tlv_instance_children[] = {TLV_CHILDREN(RW)};
const ChildDef view_tlv_instance_children[] = {TLV_CHILDREN(RO)};
#undef TLV_CHILDREN
constexpr char kTlvDescription[] = "This group instance corresponds to one application TLV of the view.";
const GroupDef admin_tlv_instance = {"ApplicationTLV", kTlvDescription, 15, 0, nullptr, admin_tlv_instance_children,
                                     &admin_tlv_slots};
const GroupDef peer_tlv_instance = {"ApplicationTLV", kTlvDescription, 15, 0, nullptr, view_tlv_instance_children,
                                    &peer_tlv_slots};
const GroupDef oper_tlv_instance = {"ApplicationTLV", kTlvDescription, 15, 0, nullptr, view_tlv_instance_children,
                                    &oper_tlv_slots};

constexpr TavoActionParam param(uint8_t required, const char* name, const char* description, uint8_t type,
                                const char* list, int32_t minimum, int32_t maximum) {
  TavoActionParam p{};
  p.required = required;
  for (size_t i = 0; name[i] != '\0' && i + 1 < sizeof p.name; ++i) p.name[i] = name[i];
  for (size_t i = 0; description[i] != '\0' && i + 1 < sizeof p.description; ++i) p.description[i] = description[i];
  p.value_type = type;
  for (size_t i = 0; list[i] != '\0' && i + 1 < sizeof p.valid_list; ++i) p.valid_list[i] = list[i];
  p.minimum = minimum;
  p.maximum = maximum;
  return p;
}

constexpr char kCablePairs[] = "PairA,PairB,PairC,PairD";

}  // namespace

const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_Beacon_action = {
    do_Beacon, 0, 3,
    {param(0, "BeaconDuration", "This parameter specifies the seconds the port's LEDs blink the beacon pattern.",
           TAVO_TYPE_INTEGER, "", 0, 255),
     param(0, "StatusDuration",
           "This parameter specifies the seconds the activity and link LEDs show their normal state.",
           TAVO_TYPE_INTEGER, "", 0, 255),
     param(1, "BeaconState", "This parameter specifies whether the beacon is switched on or off.", TAVO_TYPE_LIST,
           kEnabledDisabled, 7, 8)}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_SetPortSpeed_action = {
    do_SetPortSpeed, 0, 3,
    {param(0, "Speed", "This parameter specifies the speed, or the speeds to negotiate.", TAVO_TYPE_LIST,
           "10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,40Gb,40Gb/10Gb,40Gb/1Gb,"
           "40Gb/10Gb/1Gb,20Gb,20Gb/1Gb,20Gb/10Gb,20Gb/10Gb/1Gb",
           3, 15),
     param(1, "Mode",
           "This parameter specifies whether the speed is forced, auto-negotiated, or the default programmed in "
           "the adapter.",
           TAVO_TYPE_LIST, "Force,Auto-Negotiate,Default", 5, 15),
     param(0, "DACCableLength", "This parameter specifies the cable length in metres; DAC cables only.",
           TAVO_TYPE_INTEGER, "", 0, 10)}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_DumpTransceiverData_action = {
    do_DumpTransceiverData, 0, 1,
    {param(1, "WireAddress", "This parameter specifies the 2-wire address of the transceiver page.", TAVO_TYPE_LIST,
           "A0,A2", 2, 2)}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_ErasePortandDiscoveryConfiguration_action = {
    do_ErasePortandDiscoveryConfiguration, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_SelfTest_action = {
    do_SelfTest, 0, 3,
    {param(1, "TestType", "This parameter specifies the test.", TAVO_TYPE_LIST, "Noise,NonLinear,CrossTalk", 0, 10),
     param(1, "SourceCable", "This parameter specifies the cable pair tested.", TAVO_TYPE_LIST, kCablePairs, 0, 6),
     param(0, "TargetCable", "This parameter specifies the second cable pair; used by the CrossTalk test only.",
           TAVO_TYPE_LIST, kCablePairs, 0, 6)}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_RunTDR_action = {do_RunTDR, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_PortDiscoveryAndConfiguration_BaseT10G_ClearCounters_action = {
    do_ClearCounters, 0, 0, {}};
const TavoActionDescriptor
    ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_AddApplicationTLV_action =
        {do_AddApplicationTLV,
         0,
         4,
         {param(1, "ProtocolSelector",
                "This parameter specifies the kind of ProtocolID: 0 an Ethernet type (FCoE or RoCE), 1 a TCP port "
                "(iSCSI).",
                TAVO_TYPE_INTEGER, "", 0, 1),
          param(1, "ProtocolID", "This parameter specifies the Ethernet type or TCP port.", TAVO_TYPE_INTEGER, "", 0,
                99999),
          param(1, "PriorityBitMap", "This parameter specifies the priorities the protocol uses as a bitmap.",
                TAVO_TYPE_TEXT, "", 1, 4),
          param(0, "OUI", "This parameter specifies the DCBX OUI; 0x1B21 when not given.", TAVO_TYPE_TEXT, "", 1,
                8)}};
const TavoActionDescriptor
    ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_ApplicationTLVGroups_AdministratorTLVSetting_DeleteApplicationTLV_action =
        {do_DeleteApplicationTLV,
         0,
         1,
         {param(1, "InstanceNumber", "This parameter specifies the number of the ApplicationTLV instance to delete.",
                TAVO_TYPE_INTEGER, "", 0, 14)}};
const TavoActionDescriptor
    ROOT_Corvane_PortDiscoveryAndConfiguration_DCBX_PriorityGroups_AdministratorPGSetting_PG_ConfigurePGSettings_action =
        {do_ConfigurePGSettings,
         0,
         2,
         {param(1, "PriorityMembership", "This parameter specifies the bitmap of the priorities in the group.",
                TAVO_TYPE_TEXT, "", 0, 7),
          param(1, "Bandwidth", "This parameter specifies the bandwidth share in percent; 255 means no bandwidth "
                "limit.", TAVO_TYPE_INTEGER, "", 0, 255)}};

TavoNode* initialize_PortDiscoveryAndConfiguration(TavoNode* controller, TavoNode* creating_node,
                                                   TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(port_group, controller, creating_node, creating_action, params);
}
TavoNode* initialize_AdministratorPGSetting_PG(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                               char* params) {
  return tavo::tree::build_group(admin_pg_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_PeerPGSetting_PG(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                      char* params) {
  return tavo::tree::build_group(peer_pg_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_OperationalPGSettings_PG(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                              char* params) {
  return tavo::tree::build_group(oper_pg_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_AdministratorTLVSetting_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                            TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(admin_tlv_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_PeerTLVSetting_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                   TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(peer_tlv_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_OperationalTLVSettings_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                           TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(oper_tlv_instance, parent, creating_node, creating_action, params);
}
