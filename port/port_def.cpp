// The PortDiscoveryAndConfiguration branch: one instance per physical port
// of a controller, with its link, PHY, speed, beacon and flow-control
// properties, the port actions, and the ChannelManagement (the NIC
// branch's to supply), BaseT10G, LLDP and DCBX sub-groups; and the PG and
// ApplicationTLV instance groups of the DCBX views.
#include <strings.h>

#include "port/port_internal.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr int32_t kMaxCount = 2147483647;
constexpr char kEnabledDisabled[] = "Enabled,Disabled";
constexpr char kYesNo[] = "Yes,No";
constexpr char kTrueFalse[] = "True,False";
constexpr char kSpeedNames[] = "0,10Mb,100Mb,1Gb,10Gb";
static SlotArea port_slots;
static SlotArea admin_pg_slots, peer_pg_slots, oper_pg_slots;
static SlotArea admin_tlv_slots, peer_tlv_slots, oper_tlv_slots;

// --- BaseT10G ---
#define BASET_TEXT(name, what, maximum) \
  property(name, RO, TEXT, "", 0, maximum, "0", handle_10GbaseT_properties, "This property displays " what ".")
#define BASET_RESULT(name, pair)                                                                                 \
  property(name, RO, INT, "", 0, 3, "0", stored,                                                                 \
           "This property displays the TDR result of pair " pair                                                 \
           ": 0 pair OK, length estimated; 1 pair OK, no "                                                       \
           "length estimation; 2 pair open, length or distance to fault estimated; 3 pair shorted, distance to " \
           "fault estimated; 4 pair high mismatch (above 115 ohm), distance to fault estimated; 5 pair low "     \
           "mismatch (above 85 ohm), distance to fault estimated; 6 to 9 the pair is connected to pair A, B, C " \
           "or D respectively, length to fault not applicable.")
#define BASET_LENGTH(name, pair)                   \
  property(name, RO, INT, "", 0, 100, "0", stored, \
           "This property displays the estimated length in metres of pair " pair " from the last RunTDR.")
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
    BASET_TEXT("10GBaseTDiagStatus", "the diagnostics state of the 10GBase-T PHY", 32),
    BASET_TEXT("Temperature", "the temperature of the 10GBase-T PHY in degrees Celsius", 120),
    property("PHYLinkDownReason", RO, INT, "", 0, 5, "0", handle_over_temperature,
             "This property displays why the PHY link went down: 0 none, 1 PHY link down due to DCC, 2 due to FIP, "
             "3 due to VNIC, 4 due to PAUSE FLOOD, 5 due to PHY THERMAL."),
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
    property("SelfTestResult", RO, INT, "", 0, 4, "", stored,
             "This property displays the result of the last SelfTest: 0 test successful, 1 test initialisation "
             "failed, 4 test failed."),
    BASET_RESULT("PairAResult", "A"),
    BASET_RESULT("PairBResult", "B"),
    BASET_RESULT("PairCResult", "C"),
    BASET_RESULT("PairDResult", "D"),
    BASET_LENGTH("PairALengthEstimation", "A"),
    BASET_LENGTH("PairBLengthEstimation", "B"),
    BASET_LENGTH("PairCLengthEstimation", "C"),
    BASET_LENGTH("PairDLengthEstimation", "D"),
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
#undef BASET_LENGTH
#undef BASET_RESULT
#undef BASET_TEXT
const GroupDef baset =
    group("BaseT10G", baset_children, "This group contains the 10GBase-T PHY diagnostics of the port.");

constinit SuppliedRows tavo::port::channel_management_place;

// --- LLDP ---
#define LLDP_TLV(name, what)                                                          \
  property(name, RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties, \
           "This property specifies whether " what " is sent.")
#define LLDP_TEXT(name, what) \
  property(name, RO, TEXT, "", 0, 255, "Unknown", handle_LLDP_properties, "This property displays " what ".")
// The nine rows the local and the peer configuration share.
#define LLDP_SYSTEM_ROWS                                                                                             \
  LLDP_TEXT("ChassisId", "the chassis identifier"),                                                                  \
      property("ChassisType", RO, LIST,                                                                              \
               "Chasis Component,Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Locally " \
               "Assigned,Unknown",                                                                                   \
               7, 17, "Unknown", handle_LLDP_properties, "This property displays the kind of chassis identifier."),  \
      LLDP_TEXT("PortId", "the port identifier"),                                                                    \
      property("PortType", RO, LIST,                                                                                 \
               "Interface Alias,Port Component,MAC Address,Network Address,Interface Name,Agent Circuit Id,Locally " \
               "Assigned,Unknown",                                                                                   \
               7, 16, "Unknown", handle_LLDP_properties, "This property displays the kind of port identifier."),     \
      LLDP_TEXT("PortDescription", "the port description"), LLDP_TEXT("SystemName", "the system name"),              \
      LLDP_TEXT("SystemDescription", "the system description"),                                                      \
      property("SystemCapabilities", RO, LIST, "Other,Repeater,Bridge,WLAN,Router,Telephone,Docsis,Station,Unknown", \
               4, 9, "Unknown", handle_LLDP_properties, "This property displays the system capabilities."),          \
      property("TTL", RO, INT, "", 0, 255, "0", handle_LLDP_properties,                                              \
               "This property displays the time to live of the LLDP information in seconds.")
const ChildDef lldp_local_children[] = {
    LLDP_TLV("TxState", "LLDP"),
    property("RxState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_LLDP_properties,
             "This property specifies whether LLDP is received."),
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
const GroupDef lldp_local =
    group("LocalConfiguration", lldp_local_children, "This group contains the LLDP configuration this port sends.");
const GroupDef lldp_peer =
    group("PeerConfiguration", lldp_peer_children, "This group contains the LLDP configuration the link partner sent.");

#define STATISTIC(name, what, handler) \
  property(name, RO, INT, "", 0, kMaxCount, "0", handler, "This property displays the number of " what ".")
const ChildDef lldp_statistics_children[] = {
    STATISTIC("TxPacketCount", "LLDP packets sent", handle_lldp_stats_props),
    STATISTIC("RxPacketCount", "LLDP packets received", handle_lldp_stats_props),
    STATISTIC("UnrecognizedTLVs", "unrecognized TLVs received", handle_lldp_stats_props),
    STATISTIC("NumPacketsDropped", "LLDP packets dropped", handle_lldp_stats_props),
    STATISTIC("OrganizationalTLVCount", "organizational TLVs received", handle_lldp_stats_props),
};
const GroupDef lldp_statistics =
    group("LLDPStatistics", lldp_statistics_children, "This group contains the LLDP statistics of the port.");
const ChildDef lldp_children[] = {subgroup(&lldp_local), subgroup(&lldp_peer), subgroup(&lldp_statistics)};
const GroupDef lldp =
    group("LLDP", lldp_children, "This group contains the LLDP configuration and statistics of the port.");

// --- DCBX ---
#define DCBX_COUNTER(name, what) \
  property(name, RO, INT, "", 0, kMaxCount, "0", handle_dcbx_port_vars, "This property displays " what ".")
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
    DCBX_COUNTER("SequenceNumber", "the DCBX sequence number"),
    DCBX_COUNTER("AckNumber", "the DCBX acknowledgement number"),
    DCBX_COUNTER("PeerSequenceNumber", "the link partner's sequence number"),
    DCBX_COUNTER("PeerAckNumber", "the link partner's acknowledgement number"),
    DCBX_COUNTER("PFCFeatureSequenceNumber", "the sequence number of the PFC feature"),
    DCBX_COUNTER("PGFeatureSequenceNumber", "the sequence number of the priority-group feature"),
    DCBX_COUNTER("AppFeatureSequenceNumber", "the sequence number of the application feature"),
};
#undef DCBX_COUNTER
const GroupDef dcbx_port_vars =
    group("DCBXPortVars", dcbx_port_vars_children, "This group contains the DCBX state of the port.");
const ChildDef dcbx_statistics_children[] = {
    STATISTIC("TxPacketCount", "DCBX packets sent", handle_dcbx_stats_props),
    STATISTIC("RxPacketCount", "DCBX packets received", handle_dcbx_stats_props),
    STATISTIC("UnrecognizedTLVs", "unrecognized TLVs received", stored),
    STATISTIC("NumPacketsDropped", "DCBX packets dropped", handle_dcbx_stats_props),
    STATISTIC("OrganizationalTLVCount", "organizational TLVs received", stored),
};
#undef STATISTIC
const GroupDef dcbx_statistics =
    group("DCBXStatistics", dcbx_statistics_children, "This group contains the DCBX statistics of the port.");

// The rows of the feature views: flags "Yes" or "No" (OperationalMode
// "True" or "False"), bitmaps of priorities.
#define FLAG(name, what, access, default_value, handler) \
  property(name, access, LIST, kYesNo, 2, 3, default_value, handler, "This property " what ".")
#define ADVERTISE(access, handler) \
  FLAG("Advertise", "indicates whether the feature is advertised", access, "Yes", handler)
#define ENABLED(access, default_value, handler) \
  FLAG("Enabled", "indicates whether the feature is enabled", access, default_value, handler)
#define WILLING(access, handler) \
  FLAG("Willing", "indicates whether the feature takes the link partner's settings", access, "Yes", handler)
#define ERROR_FLAG(handler) FLAG("Error", "indicates whether the feature is in error", RO, "Yes", handler)
#define SYNCED(handler) \
  FLAG("Synced", "indicates whether the feature is in sync with the link partner", RO, "Yes", handler)
#define OPERATIONAL_MODE(default_value, handler)                                  \
  property("OperationalMode", RO, LIST, kTrueFalse, 4, 5, default_value, handler, \
           "This property indicates whether the feature is in operation.")
#define PFC_BITMAP(access, verb)                                                   \
  property("PriorityBitMap", access, TEXT, "", 1, 4, "0", handle_pfc_feature_vars, \
           "This property " verb                                                   \
           " the priorities with priority flow control; bit i stands for priority i (0 to 7), 0xFF for all eight.")

const ChildDef admin_pfc_children[] = {ADVERTISE(RW, handle_pfc_feature_vars),
                                       ENABLED(RW, "No", handle_pfc_feature_vars), PFC_BITMAP(RW, "specifies"),
                                       WILLING(RW, handle_pfc_feature_vars)};
const ChildDef peer_pfc_children[] = {ADVERTISE(RO, handle_pfc_feature_vars),
                                      ENABLED(RO, "Yes", handle_pfc_feature_vars), ERROR_FLAG(handle_pfc_feature_vars),
                                      PFC_BITMAP(RO, "displays"), WILLING(RO, handle_pfc_feature_vars)};
const ChildDef oper_pfc_children[] = {ERROR_FLAG(handle_pfc_feature_vars),
                                      OPERATIONAL_MODE("True", handle_pfc_feature_vars), PFC_BITMAP(RO, "displays"),
                                      SYNCED(handle_pfc_feature_vars)};
#undef PFC_BITMAP
const GroupDef admin_pfc =
    group("AdministratorPFCSetting", admin_pfc_children, "This group contains the PFC settings this port asks for.");
const GroupDef peer_pfc =
    group("PeerPFCSetting", peer_pfc_children, "This group contains the PFC settings the link partner sent.");
const GroupDef oper_pfc =
    group("OperationalPFCSettings", oper_pfc_children, "This group contains the PFC settings in force.");
const ChildDef pfc_children[] = {subgroup(&admin_pfc), subgroup(&peer_pfc), subgroup(&oper_pfc)};
const GroupDef pfc = group("PFC", pfc_children, "This group contains the priority flow control views of the port.");

#define PG15(access)                                                                                            \
  property("PG15PriorityMemberShip", access, TEXT, "", 0, 7, "0", handle_pg15_membership,                       \
           "This property displays the priorities in the strict-priority group PG15 as a bitmap of priorities " \
           "0 to 7 (a RoCE priority).")
#define NUM_PG                                                               \
  property("NumPGSupported", RO, INT, "", 2, 5, "2", handle_pg_feature_vars, \
           "This property displays the number of priority groups supported.")
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
                                     OPERATIONAL_MODE("True", handle_pg_feature_vars), SYNCED(handle_pg_feature_vars),
                                     NUM_PG};
#undef NUM_PG
#undef PG15
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
const ChildDef admin_tlv_children[] = {ADVERTISE(RW, handle_app_feature_vars),
                                       ENABLED(RW, "Yes", handle_app_feature_vars),
                                       WILLING(RW, handle_app_feature_vars), AddApplicationTLV, DeleteApplicationTLV};
const ChildDef peer_tlv_children[] = {ADVERTISE(RO, handle_app_feature_vars),
                                      ENABLED(RO, "Yes", handle_app_feature_vars), ERROR_FLAG(handle_app_feature_vars),
                                      WILLING(RO, handle_app_feature_vars)};
const ChildDef oper_tlv_children[] = {ERROR_FLAG(handle_app_feature_vars),
                                      OPERATIONAL_MODE("True", handle_app_feature_vars),
                                      SYNCED(handle_app_feature_vars)};
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

#define CNPV                                                                                             \
  property("CNPVBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props,                               \
           "This property displays the congestion-notification priorities; bit i stands for priority i " \
           "(0 to 7), 0xFF for all eight.")
#define READY                                                                                                    \
  property("ReadyBitMap", RO, TEXT, "", 1, 4, "0", handle_update_qcn_props,                                      \
           "This property displays the priorities ready for congestion notification; bit i stands for priority " \
           "i (0 to 7), 0xFF for all eight.")
const ChildDef admin_qcn_children[] = {ADVERTISE(RW, handle_update_qcn_props),
                                       ENABLED(RW, "No", handle_update_qcn_props), CNPV,
                                       WILLING(RW, handle_update_qcn_props)};
const ChildDef peer_qcn_children[] = {
    ADVERTISE(RO, handle_update_qcn_props), ENABLED(RO, "Yes", handle_update_qcn_props),
    ERROR_FLAG(handle_update_qcn_props),    CNPV,
    WILLING(RO, handle_update_qcn_props),   READY};
const ChildDef oper_qcn_children[] = {ERROR_FLAG(handle_update_qcn_props),
                                      OPERATIONAL_MODE("N/A", handle_update_qcn_props), CNPV,
                                      SYNCED(handle_update_qcn_props), READY};
#undef READY
#undef CNPV
#undef OPERATIONAL_MODE
#undef SYNCED
#undef ERROR_FLAG
#undef WILLING
#undef ENABLED
#undef ADVERTISE
#undef FLAG
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
const GroupDef dcbx =
    group("DCBX", dcbx_children, "This group contains the Data Center Bridging Exchange configuration of the port.");

// --- the port ---
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, Beacon, do_Beacon,
            "This command switches the beacon pattern of the port's LEDs on or off.",
            optional("BeaconDuration", INT, "", 0, 255,
                     "This parameter specifies the seconds the port's LEDs blink the beacon pattern."),
            optional("StatusDuration", INT, "", 0, 255,
                     "This parameter specifies the seconds the activity and link LEDs show their normal state."),
            required("BeaconState", LIST, kEnabledDisabled, 7, 8,
                     "This parameter specifies whether the beacon is switched on or off."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, SetPortSpeed, do_SetPortSpeed,
            "This command sets the port's speed mode and speed; the change takes effect in the firmware.",
            optional("Speed", LIST,
                     "10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,40Gb,40Gb/10Gb,"
                     "40Gb/1Gb,40Gb/10Gb/1Gb,20Gb,20Gb/1Gb,20Gb/10Gb,20Gb/10Gb/1Gb",
                     3, 15, "This parameter specifies the speed, or the speeds to negotiate."),
            required("Mode", LIST, "Force,Auto-Negotiate,Default", 5, 15,
                     "This parameter specifies whether the speed is forced, auto-negotiated, or the default programmed "
                     "in the adapter."),
            optional("DACCableLength", INT, "", 0, 10,
                     "This parameter specifies the cable length in metres; DAC cables only."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, DumpTransceiverData, do_DumpTransceiverData,
            "This command reads one page of the port's transceiver and returns it as hexadecimal text in the last "
            "status.",
            required("WireAddress", LIST, "A0,A2", 2, 2,
                     "This parameter specifies the 2-wire address of the transceiver page."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, ErasePortandDiscoveryConfiguration,
            do_ErasePortandDiscoveryConfiguration,
            "This command erases the port and discovery configuration; the change takes effect after a reboot.");
const ChildDef port_children[] = {
    property("PortNumber", RO, INT, "", 0, 3, "0", stored, "This property displays the physical port number."),
    property("PortName", RO, TEXT, "", 1, 1, "0", stored, "This property displays the name of the port."),
    property("PortState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_PortState,
             "This property specifies whether the port is enabled."),
    property("PhysicalLinkStatus", RO, LIST, "Up,Down,Unknown", 2, 7, "Unknown", handle_PhysicalLinkStatus,
             "This property displays the state of the physical link."),
    property("PHYType", RO, INT, "", 0, 255, "0x0", handle_PHYType,
             "This property displays the PHY type code the firmware reports: 0x0 XAUI (XAUI interface, no external "
             "PHY), 0x1 AEL_2020 (Aeluris/Netlogic PHY), 0x2 LSI_OSTR1 (pre-production board PHY that needs special "
             "handling of the XAUI internal clock), 0x3 LSI_OSTR2 (production board PHY), 0x4 SOLARFLARE (Solarflare "
             "PHY, Dell recommended), 0x5 AMCC_QT2025 (AMCC PHY), 0x6 AMCC_QT2225 (AMCC PHY), 0x7 OSTR_4417 (Ostrand "
             "PHY used on an HP LAN-on-motherboard), 0x8 CV3_INTERNAL_10GB (internal 10Gb PHY of the CV3 controller), "
             "0x9 CV3_INTERNAL_1GB (internal 1Gb PHY of the CV3 controller), 0xA TN_2022 (Teranetics dual-port 65 nm "
             "PHY), 0xB MARVELL_88E1340 (Marvell 1G PHY), 0xC MARVELL_88E1322 (Marvell 1G PHY), 0xD TN_8022 "
             "(Teranetics dual-port 40 nm PHY), 0xE MARVELL_88E1145 (Marvell 1G PHY), 0x10 OSTR_7316 (Ostrand 1G "
             "PHY), 0x11 OSTR_63606 (Ostrand 10GBase-T PHY), 0x12 AQUANTIA_1103 (Aquantia 10GBase-T PHY), 0x13 "
             "MARVEL_88E1514 (Marvell 1G SGMII PHY), 0x20 PHY_TYPE_INTERNAL (internal controller PHY), 0xFF "
             "PHY_TYPE_NOT_SUPPORTED (no PHY on this board)."),
    property("InterfaceType", RO, TEXT, "", 2, 26, "Unknown", stored,
             "This property displays the interface type of the port: CX4_10GB_TYPE, XFP_10GB_TYPE, SFP_1GB_TYPE, "
             "SFP_PLUS_10GB_TYPE, KR_10GB_TYPE, KX4_10GB_TYPE, BASET_10GB_TYPE, BASET_1000_TYPE, BASEX_1000_TYPE, "
             "SGMII_TYPE, QSFP_TYPE, KR4_TYPE, KR2_TYPE, or Not Supported."),
    property("BeaconState", RO, LIST, "Enabled,Disabled,Not Supported", 7, 13, "Disabled", handle_BeaconState,
             "This property displays whether the port's LEDs show the beacon pattern."),
    property("TXThrottle", RW, TEXT, "", 1, 2, "2", handle_TXThrottle,
             "This property specifies how soon FCoE traffic stops after a PFC pause frame: 1 a slow reaction to "
             "incoming PFC pause frames, 2 a fast reaction."),
    supplied(&tavo::port::channel_management_place),
    subgroup(&baset),
    property("FCoEWWPN", RO, TEXT, "", 0, 16, "0", handle_FCoEWWPN,
             "This property displays the world-wide port name of the port's FCoE function."),
    property("Mode", RO, LIST, "Force,Auto-Negotiate,Default", 5, 15, "Default", handle_get_link_speed_properties,
             "This property displays how the port's speed is chosen."),
    property("ConfiguredSpeed", RO, LIST,
             "All Supported Speeds,10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,"
             "40Gb",
             3, 20, "0", handle_get_link_speed_properties,
             "This property displays the configured speed; 0 means all supported speeds."),
    property("DACCableLength", RO, TEXT, "", 0, 10, "0", handle_get_link_speed_properties,
             "This property displays the configured DAC cable length in metres."),
    property("ANSpeedsSupported", RO, LIST, kSpeedNames, 3, 10, "0", stored,
             "This property displays the speeds the port's PHY can auto-negotiate; 0 means the mode is not supported "
             "by the port's PHY."),
    property("ForceSpeedsSupported", RO, LIST, kSpeedNames, 3, 10, "0", stored,
             "This property displays the speeds the port's PHY can be forced to; 0 means the mode is not supported by "
             "the port's PHY."),
    property("TxFlowControl", RW, LIST, kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties,
             "This property specifies whether the port sends pause frames."),
    property("RxFlowControl", RW, LIST, kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties,
             "This property specifies whether the port honours pause frames."),
    property("FCoELinkSpeed", RO, LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3,
             13, "0 (Link Down)", handle_FCoELinkSpeed,
             "This property displays the share of the port's link the FCoE function has."),
    Beacon,
    SetPortSpeed,
    DumpTransceiverData,
    ErasePortandDiscoveryConfiguration,
    subgroup(&lldp),
    subgroup(&dcbx),
};
const GroupDef port_group =
    instanced("PortDiscoveryAndConfiguration", 4, &port_slots, port_children,
              "This group instance corresponds to one physical port of the Tessmark controller.");

// --- PG and ApplicationTLV instances ---
#define PG_CHILDREN(bandwidth_max)                                                                            \
  property("Bandwidth", RO, INT, "", 0, bandwidth_max, "0", handle_bwg_props,                                 \
           "This property displays the bandwidth share of the priority group in percent; 255 means no "       \
           "bandwidth limit."),                                                                               \
      property("PriorityMembership", RO, TEXT, "", 0, 7, "0", handle_bwg_props,                               \
               "This property displays the bitmap of the priorities in this priority group; a group without " \
               "priorities has 0, and a priority belongs to at most one group.")
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_DCBX_PriorityGroups_AdministratorPGSetting_PG, ConfigurePGSettings,
            do_ConfigurePGSettings, "This command sets the priorities and the bandwidth of this priority group.",
            required("PriorityMembership", TEXT, "", 0, 7,
                     "This parameter specifies the bitmap of the priorities in the group."),
            required("Bandwidth", INT, "", 0, 255,
                     "This parameter specifies the bandwidth share in percent; 255 means no bandwidth limit."));
const ChildDef admin_pg_instance_children[] = {PG_CHILDREN(255), ConfigurePGSettings};
const ChildDef view_pg_instance_children[] = {PG_CHILDREN(100)};
#undef PG_CHILDREN
constexpr char kPgHelp[] = "This group instance corresponds to one priority group of the view.";
const GroupDef admin_pg_instance = instanced("PG", 8, &admin_pg_slots, admin_pg_instance_children, kPgHelp);
const GroupDef peer_pg_instance = instanced("PG", 8, &peer_pg_slots, view_pg_instance_children, kPgHelp);
const GroupDef oper_pg_instance = instanced("PG", 8, &oper_pg_slots, view_pg_instance_children, kPgHelp);

#define TLV_CHILDREN(bitmap_access)                                                                                   \
  property("OUI", RO, TEXT, "", 1, 8, "0x001b21", handle_apptlv_feature_vars,                                         \
           "This property displays the DCBX OUI, 0x001b21."),                                                         \
      property("PriorityBitMap", bitmap_access, TEXT, "", 1, 4, "0", handle_apptlv_feature_vars,                      \
               "This property displays the priorities the protocol uses; bit i stands for priority i (0 to 7), 0xFF " \
               "for all eight."),                                                                                     \
      property("ProtocolID", RO, INT, "", 0, 99999, "0", handle_apptlv_feature_vars,                                  \
               "This property displays the protocol: with ProtocolSelector 1 the iSCSI TCP port; with 0 an Ethernet " \
               "type (FCoE 0x8906 or 0x8914, RoCE 0x8915)."),                                                         \
      property("ProtocolSelector", RO, INT, "", 0, 1, "0", handle_apptlv_feature_vars,                                \
               "This property displays the kind of ProtocolID: 0 an Ethernet type, 1 a TCP port.")
const ChildDef admin_tlv_instance_children[] = {TLV_CHILDREN(RW)};
const ChildDef view_tlv_instance_children[] = {TLV_CHILDREN(RO)};
#undef TLV_CHILDREN
constexpr char kTlvHelp[] = "This group instance corresponds to one application TLV of the view.";
const GroupDef admin_tlv_instance =
    instanced("ApplicationTLV", 15, &admin_tlv_slots, admin_tlv_instance_children, kTlvHelp);
const GroupDef peer_tlv_instance =
    instanced("ApplicationTLV", 15, &peer_tlv_slots, view_tlv_instance_children, kTlvHelp);
const GroupDef oper_tlv_instance =
    instanced("ApplicationTLV", 15, &oper_tlv_slots, view_tlv_instance_children, kTlvHelp);

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
TavoNode* initialize_PeerTLVSetting_ApplicationTLV(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                                   char* params) {
  return tavo::tree::build_group(peer_tlv_instance, parent, creating_node, creating_action, params);
}
TavoNode* initialize_OperationalTLVSettings_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                           TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(oper_tlv_instance, parent, creating_node, creating_action, params);
}

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
