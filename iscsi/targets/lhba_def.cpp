// The LogicalHBA branch: LogicalHBA0 of an iSCSI function with its static
// sub-groups in the order clients see them, and its action descriptors.
#include "iscsi/network/iscsi_network.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/login_option_defs.h"
#include "nic/iscsi_qos.h"

using namespace tavo::targets::defs;

namespace {

tavo::tree::SlotArea lhba_slots;

// --- InitiatoriSCSIName ---
const ChildDef name_children[] = {
    property("InitiatoriSCSIName",
             "This property specifies the iSCSI name (IQN) of the initiator node, used to identify the initiator to "
             "targets. Use the set command to change it.",
             RW, TEXT, "", 1, 223, "iqn.hx", handle_name_params),
    property("InitiatorAlias",
             "This property specifies a user-friendly alias for the initiator's iSCSI name. Use the set command to "
             "change it.",
             RW, TEXT, "", 0, 31, "hx", handle_name_params),
};
const GroupDef name_group = {"InitiatoriSCSIName", "This group contains the iSCSI name configuration of the initiator "
                             "node.", 0, 0, nullptr, name_children};

// --- InitiatorDefaultLoginOptions: fixed values ---
const ChildDef default_children[] = {
    property("InitialR2T", kInitialR2THelp, RO, LIST, kYesNo, 0, 3, "Yes", STORED),
    property("ImmediateData", kImmediateDataHelp, RO, LIST, kYesNo, 0, 3, "Yes", STORED),
    property("MaxConnections", "This property displays the most connections per session. The default is 1.", RO, INT,
             "", 1, 1, "1", STORED),
    property("MaxOutstandingR2T", "This property displays the most outstanding R2Ts per task. The default is 1.", RO,
             INT, "", 1, 255, "1", STORED),
    property("FirstBurstLength",
             "This property displays the most unsolicited data in bytes the initiator sends with one command. The "
             "default is 8192.",
             RO, INT, "", 0, 8192, "8192", STORED),
    property("MaxBurstLength",
             "This property displays the most data in bytes in one burst, a multiple of the page size. The default "
             "is 262144.",
             RO, INT, "", 0, 262144, "262144", STORED),
    property("DefaultTime2Wait",
             "This property displays the seconds to wait before reconnecting a dropped connection; it is negotiated.",
             RO, INT, "", 0, 2, "2", STORED),
    property("DefaultTime2Retain",
             "This property displays the seconds after DefaultTime2Wait during which a connection may be reassigned; "
             "it is negotiated.",
             RO, INT, "", 0, 20, "20", STORED),
    property("ErrorRecoveryLevel",
             "This property displays the error recovery level: 0 recovery only by session restart, 1 by reissuing "
             "commands, data or status, 2 connection failure recovery. The default is 0.",
             RO, INT, "", 0, 255, "0", STORED),
    property("DataPDUInOrder", "This property displays the order of data PDUs within a sequence.", RO, INT, "", 0, 1,
             "1", STORED),
    property("DataSequenceInOrder", "This property displays the order between sequences.", RO, INT, "", 0, 1, "1",
             STORED),
    property("HeaderDigest", kHeaderDigestHelp, RO, LIST, kDigests, 4, 6, "None", STORED),
    property("DataDigest", kDataDigestHelp, RO, LIST, kDigests, 4, 6, "None", STORED),
    property("MaxRecvDataSegmentLength",
             "This property displays the largest data segment in bytes received in one PDU, a multiple of the page "
             "size. The default is 65536.",
             RO, INT, "", 0, 65536, "65536", STORED),
};
const GroupDef default_group = {"InitiatorDefaultLoginOptions",
                                "This group contains the default login options of the initiator node.", 0, 0, nullptr,
                                default_children};

// --- InitiatorLoginOptions and its Authentication ---
constexpr auto initiator_auth_children = authentication_rows(
    {handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions,
     handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions,
     handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions},
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_ConfigureCHAP_action,
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_DeleteCHAP_action);
const GroupDef initiator_auth = {"Authentication",
                                 "This group contains the configured connection authentication login options of the "
                                 "initiator node.",
                                 0, 0, nullptr, initiator_auth_children};
constexpr auto initiator_option_children = login_option_rows(handle_initiator_loginoptions, &initiator_auth);
const GroupDef initiator_options = {"InitiatorLoginOptions",
                                    "This group contains the configured login options of the initiator node.", 0, 0,
                                    nullptr, initiator_option_children};

// --- iSCSIQoS ---
const ChildDef qos_children[] = {
    property("MinBitsPerSecond",
             "This property displays the minimum iSCSI throughput of the domain in units of 100 Mbit. 0 means no QoS "
             "is set.",
             RO, INT, "", 0, 1000, "0", handle_iscsi_bandwidth_softcap),
    property("MaxBitsPerSecond",
             "This property displays the maximum iSCSI throughput of the domain in units of 100 Mbit. 0 means no QoS "
             "is set.",
             RO, INT, "", 0, 1000, "0", handle_iscsi_bandwidth_softcap),
    property("MaxBytesPerSecond",
             "This property specifies the maximum iSCSI throughput in multiples of 1 MB/s. 0 means no QoS is set.", RW,
             INT, "", 0, 1280, "0", handle_MaxBytesPerSecond),
    property("MaxIosPerSecond",
             "This property specifies the maximum I/Os per second in multiples of 1024. 0 means no QoS is set.", RW,
             INT, "", 0, 250, "0", handle_MaxIosPerSecond),
};
const GroupDef qos = {"iSCSIQoS", "This group contains the QoS properties.", 0, 0, nullptr, qos_children};

// --- iSCSIStatistics: fetched from the firmware ---
#define LHBA_STAT(name, type, minimum, maximum, initial, handler, help) \
  property(name, "This property displays " help ".", RO, type, "", minimum, maximum, initial, handler)
const ChildDef statistics_children[] = {
    LHBA_STAT("NodeRoles", TEXT, 1, 255, "1", handle_NodeAttr_properties, "the node role of this initiator"),
    LHBA_STAT("PortalCount", INT, 1, 5, "1", handle_NodeAttr_properties,
              "the number of rows of the portal table of this instance"),
    LHBA_STAT("NodeCount", INT, 1, 5, "1", handle_NodeAttr_properties,
              "the number of rows of the node table of this instance"),
    LHBA_STAT("SessionCount", INT, 1, 5, "1", handle_intrInstStat_properties,
              "the number of rows of the session table of this instance"),
    LHBA_STAT("SessionFailureCount", INT, 1, 255, "1", handle_intrInstStat_properties,
              "the number of times a session of this instance failed"),
    LHBA_STAT("LastSessionFailureType", TEXT, 1, 255, "1", handle_intrInstStat_properties,
              "the type of the last session failure"),
    LHBA_STAT("LastSessionRmtNodeName", TEXT, 1, 224, "iqn.hx", handle_intrInstStat_properties,
              "the iSCSI name of the remote node of the failed session"),
    LHBA_STAT("SessionDigestErrors", TEXT, 4, 0, "4", handle_intrInstStat_properties,
              "the number of sessions failed on a header or data digest error"),
    LHBA_STAT("SessionConnectionTimeout", TEXT, 4, 0, "4", handle_intrInstStat_properties,
              "the number of sessions failed on a sequence time limit"),
    LHBA_STAT("SessionFormatErrors", TEXT, 4, 0, "4", handle_intrInstStat_properties,
              "the number of sessions failed on a PDU format error"),
    LHBA_STAT("LoginFailures", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of failed logins of this initiator"),
    LHBA_STAT("LastFailureTime", TEXT, 0, 32, "0", handle_intrLoginStat_properties,
              "the time stamp of the latest login failure; 0 means none"),
    LHBA_STAT("LastFailureType", TEXT, 0, 0, "0", handle_intrLoginStat_properties,
              "the failure type of the latest login failure"),
    LHBA_STAT("LastTgtFailureName", TEXT, 1, 224, "iqn.hx", handle_intrLoginStat_properties,
              "the name of the target that most recently failed a login"),
    LHBA_STAT("LastTgtFailureAddr", TEXT, 0, 0, "0", handle_intrLoginStat_properties,
              "the network address of the target that most recently failed a login"),
    LHBA_STAT("LoginAcceptRsps", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of login responses accepted"),
    LHBA_STAT("LoginOtherFailRsps", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of login responses with any other failure status"),
    LHBA_STAT("LoginRedirectRsps", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of login responses of status class redirection"),
    LHBA_STAT("LoginAuthFailRsps", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of login responses with status 0x201, authentication failed"),
    LHBA_STAT("LoginAuthFails", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of logins aborted because the target failed authentication"),
    LHBA_STAT("LoginNegoFails", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of logins aborted because parameter negotiation failed"),
    LHBA_STAT("LogoutNormals", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of logout commands sent with reason normal"),
    LHBA_STAT("LogoutOthers", TEXT, 4, 0, "4", handle_intrLoginStat_properties,
              "the number of logout commands sent with any other reason"),
    LHBA_STAT("PortRowStatus", TEXT, 0, 3, "2", handle_NodeAttr_properties, "the row status of the portal entry"),
    LHBA_STAT("PortalRole", TEXT, 1, 2, "1", handle_NodeAttr_properties,
              "the role of the portal, target or initiator portal"),
    LHBA_STAT("PortalProtocol", TEXT, 1, 2, "1", handle_NodeAttr_properties,
              "the transport protocol of the portal"),
    LHBA_STAT("PortalTag", TEXT, 1, 65535, "1", handle_NodeAttr_properties,
              "the aggregation tag of the portal used as an initiator"),
};
#undef LHBA_STAT
const GroupDef statistics = {"iSCSIStatistics", "This group contains all the SNMP properties.", 0, 0, nullptr,
                             statistics_children};

// --- Discovery ---
const ChildDef discovery_children[] = {
    property("DiscoverBootTargetThruDHCP",
             "This property discovers the boot targets configured at the DHCP server. If selects Disabled option, "
             "then discovered boot target will be removed.",
             RW, LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_DiscoverBootTargetThruDHCP),
    action("AddSendTargetPortal",
           "This command creates a send-target portal from an IP address and a port number. The portal's "
           "DiscoverTargets command then issues the discovery login.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_AddSendTargetPortal_action),
    action("DeleteSendTargetPortal", "This command deletes the send-target portal with the given instance number.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_DeleteSendTargetPortal_action),
    action("RefreshAvailableTargets", "This command rescans and picks up newly discovered targets.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_RefreshAvailableTargets_action),
};
const GroupDef discovery = {"Discovery", "This group contains the discovery parameters configured for the initiator "
                            "node.", 0, 0, group_Discovery, discovery_children};

// --- the LogicalHBA ---
const ChildDef lhba_children[] = {
    property("Enabled",
             "This property indicates whether iSCSI is enabled. 'True' indicates iSCSI is enabled and 'False' "
             "indicates iSCSI is disabled.",
             RW, LIST, "False,True", 4, 5, "False", handle_iSCSIPhysicalHBA_LogicalHBA_Enabled),
    property("IfName", "This property displays the interface name of the iSCSI function.", RO, TEXT, "", 1, 32,
             "vmhba", STORED),
    subgroup(&name_group),
    subgroup(&default_group),
    subgroup(&initiator_options),
    subgroup(&qos),
    subgroup(&statistics),
    subgroup(&discovery),
    action("AddTarget",
           "This command adds a target manually to the list of targets for the initiator. If port number is not "
           "given, it will take \"3260\" as default value for port number.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_AddTarget_action),
    action("DeleteTarget", "This command deletes a manually added target.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_DeleteTarget_action),
};
const GroupDef lhba = {"LogicalHBA", "This group represents one port of a Tessmark controller working as an iSCSI "
                       "initiator.", 1, 0, nullptr, lhba_children, &lhba_slots};

}  // namespace

// --- action descriptors: handler, global 0, parameters ---
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_ConfigureCHAP_action =
    chap_descriptor(do_ConfigureCHAP);
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication_DeleteCHAP_action = {
    do_DeleteCHAP, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_AddSendTargetPortal_action = {
    do_AddSendTargetPortal, 0, 2,
    {{1, "IPAddress", "This parameter specifies the IP address of the sendtarget portal.", IP, "", 0, 0},
     {1, "PortNumber", "This parameter specifies the Port Number of the SendTargetPortal.", INT, "", 1024, 65535}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_DeleteSendTargetPortal_action = {
    do_DeleteSendTargetPortal, 0, 1,
    {{1, "InstanceNumber", TARGETS_INSTANCE_HELP, INT, "", 0, 127}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_RefreshAvailableTargets_action = {
    do_RefreshAvailableTargets, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_AddTarget_action = {
    do_AddTarget, 0, 5,
    {{1, "TargetName",
      "This parameter specifies the full iSCSI name of the target. Adding a target does not log in to it.", TEXT, "",
      6, 223},
     {1, "IPAddress", "This parameter specifies the IP address of the target portal.", IP, "", 0, 0},
     {0, "PortNumber", "This parameter specifies the port number of the target portal; 3260 when not given.", INT, "",
      1024, 65535},
     {0, "BootTarget", "This parameter configures the target as a boot target.", LIST, "True,False", 4, 5},
     {0, "BootTargetPriority",
      "This parameter specifies the boot target priority. Valid values are None, Primary and Secondary.", LIST,
      "Primary,Secondary,None", 4, 9}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_DeleteTarget_action = {
    do_DeleteTarget, 0, 1,
    {{1, "InstanceNumber", TARGETS_INSTANCE_HELP, INT, "", 0, 256}}};

TavoNode* initialize_LogicalHBA(TavoNode* function_group, TavoNode* creating_node, TavoNode* creating_action,
                                char* params) {
  return tavo::tree::build_group(lhba, function_group, creating_node, creating_action, params);
}
