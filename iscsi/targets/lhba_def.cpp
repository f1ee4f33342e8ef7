// The LogicalHBA branch: LogicalHBA0 of an iSCSI function with its static
// sub-groups in the order clients see them, and its action descriptors.
#include "iscsi/network/iscsi_network.h"
#include "iscsi/targets/targets.h"
#include "iscsi/targets/login_option_defs.h"
#include "nic/iscsi_qos.h"

using namespace tavo::targets::defs;

static SlotArea lhba_slots;

// --- InitiatoriSCSIName ---
const ChildDef name_children[] = {
    property("InitiatoriSCSIName", RW, TEXT, "", 1, 223, "iqn.hx", handle_name_params,
             "This property specifies the iSCSI name (IQN) of the initiator node, used to identify the initiator to "
             "targets. Use the set command to change it."),
    property("InitiatorAlias", RW, TEXT, "", 0, 31, "hx", handle_name_params,
             "This property specifies a user-friendly alias for the initiator's iSCSI name. Use the set command to "
             "change it."),
};
const GroupDef name_group = group("InitiatoriSCSIName", name_children,
                                  "This group contains the iSCSI name configuration of the initiator node.");

// --- InitiatorDefaultLoginOptions: fixed values ---
const ChildDef default_children[] = {
    property("InitialR2T", RO, LIST, kYesNo, 0, 3, "Yes", stored, kInitialR2THelp),
    property("ImmediateData", RO, LIST, kYesNo, 0, 3, "Yes", stored, kImmediateDataHelp),
    property("MaxConnections", RO, INT, "", 1, 1, "1", stored,
             "This property displays the most connections per session. The default is 1."),
    property("MaxOutstandingR2T", RO, INT, "", 1, 255, "1", stored,
             "This property displays the most outstanding R2Ts per task. The default is 1."),
    property("FirstBurstLength", RO, INT, "", 0, 8192, "8192", stored,
             "This property displays the most unsolicited data in bytes the initiator sends with one command. The "
             "default is 8192."),
    property("MaxBurstLength", RO, INT, "", 0, 262144, "262144", stored,
             "This property displays the most data in bytes in one burst, a multiple of the page size. The default is "
             "262144."),
    property("DefaultTime2Wait", RO, INT, "", 0, 2, "2", stored,
             "This property displays the seconds to wait before reconnecting a dropped connection; it is negotiated."),
    property("DefaultTime2Retain", RO, INT, "", 0, 20, "20", stored,
             "This property displays the seconds after DefaultTime2Wait during which a connection may be reassigned; "
             "it is negotiated."),
    property("ErrorRecoveryLevel", RO, INT, "", 0, 255, "0", stored,
             "This property displays the error recovery level: 0 recovery only by session restart, 1 by reissuing "
             "commands, data or status, 2 connection failure recovery. The default is 0."),
    property("DataPDUInOrder", RO, INT, "", 0, 1, "1", stored,
             "This property displays the order of data PDUs within a sequence."),
    property("DataSequenceInOrder", RO, INT, "", 0, 1, "1", stored,
             "This property displays the order between sequences."),
    property("HeaderDigest", RO, LIST, kDigests, 4, 6, "None", stored, kHeaderDigestHelp),
    property("DataDigest", RO, LIST, kDigests, 4, 6, "None", stored, kDataDigestHelp),
    property("MaxRecvDataSegmentLength", RO, INT, "", 0, 65536, "65536", stored,
             "This property displays the largest data segment in bytes received in one PDU, a multiple of the page "
             "size. The default is 65536."),
};
const GroupDef default_group = group("InitiatorDefaultLoginOptions", default_children,
                                     "This group contains the default login options of the initiator node.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication, ConfigureCHAP, do_ConfigureCHAP,
            kConfigureChapHelp, kChapParameters);
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_InitiatorLoginOptions_Authentication, DeleteCHAP, do_DeleteCHAP,
            kDeleteChapHelp);
// --- InitiatorLoginOptions and its Authentication ---
constexpr auto initiator_auth_children =
    authentication_rows({handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions,
                         handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions,
                         handle_authentication_initiator_loginoptions, handle_authentication_initiator_loginoptions},
                        ConfigureCHAP, DeleteCHAP);
const GroupDef initiator_auth =
    group("Authentication", initiator_auth_children,
          "This group contains the configured connection authentication login options of the initiator node.");
constexpr auto initiator_option_children = login_option_rows(handle_initiator_loginoptions, &initiator_auth);
const GroupDef initiator_options = group("InitiatorLoginOptions", initiator_option_children,
                                         "This group contains the configured login options of the initiator node.");

// --- iSCSIQoS ---
const ChildDef qos_children[] = {
    property("MinBitsPerSecond", RO, INT, "", 0, 1000, "0", handle_iscsi_bandwidth_softcap,
             "This property represents the minimum iSCSI throughput for this domain. The number 'n' indicates "
             "'n*100Mbit' throughput on this interface. A value of 0 indicates no QoS was set and allows all "
             "available bandwidth for this domain."),
    property("MaxBitsPerSecond", RO, INT, "", 0, 1000, "0", handle_iscsi_bandwidth_softcap,
             "This property represents the maximum iSCSI throughput this domain. The number 'n' indicates "
             "'n*100Mbit' throughput on this interface. A value of 0 indicates no QoS was set and allows all "
             "available bandwidth for this domain."),
    property("MaxBytesPerSecond", RW, INT, "", 0, 1280, "0", handle_MaxBytesPerSecond,
             "This property represents the maximum iSCSI throughput for this domain, specified in 1MBps multiples. A "
             "value of 0 indicates no QoS was set and allows all available bandwidth for this domain."),
    property("MaxIosPerSecond", RW, INT, "", 0, 250, "0", handle_MaxIosPerSecond,
             "This property represents the maximum number of I/Os per second of iSCSI traffic for this domain, "
             "specified in multiples of 1024. A value of 0 indicates no QoS was set and allows all available "
             "bandwidth for this domain."),
};
const GroupDef qos = group("iSCSIQoS", qos_children, "This group contains the properties of QoS.");


// --- Discovery ---
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery, AddSendTargetPortal, do_AddSendTargetPortal,
            "This command creates a send-target portal from an IP address and a port number. The portal's "
            "DiscoverTargets command then issues the discovery login.",
            required("IPAddress", IP, "", 0, 0, "This parameter specifies the IP address of the sendtarget portal."),
            required("PortNumber", INT, "", 1024, 65535,
                     "This parameter specifies the Port Number of the SendTargetPortal."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery, DeleteSendTargetPortal, do_DeleteSendTargetPortal,
            "This command deletes the send-target portal with the given instance number.",
            required("InstanceNumber", INT, "", 0, 127, kInstanceHelp));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery, RefreshAvailableTargets, do_RefreshAvailableTargets,
            "This command rescans and picks up newly discovered targets.");
const ChildDef discovery_children[] = {
    property("DiscoverBootTargetThruDHCP", RW, LIST, "Enabled,Disabled", 7, 8, "Disabled",
             handle_DiscoverBootTargetThruDHCP,
             "This property discovers the boot targets configured at the DHCP server. If selects Disabled option, then "
             "discovered boot target will be removed."),
    AddSendTargetPortal,
    DeleteSendTargetPortal,
    RefreshAvailableTargets,
};
const GroupDef discovery =
    group("Discovery", discovery_children,
          "This group contains the discovery parameters configured for the initiator node.", group_Discovery);

// --- the LogicalHBA's iSCSIStatistics: fetched from the firmware ---
const ChildDef statistics_children[] = {
    property("NodeRoles", RO, TEXT, "", 1, 255, "1", handle_NodeAttr_properties,
             "This property displays the node role of this initiator."),
    property("PortalCount", RO, INT, "", 1, 5, "1", handle_NodeAttr_properties,
             "This property displays the number of rows of the portal table of this instance."),
    property("NodeCount", RO, INT, "", 1, 5, "1", handle_NodeAttr_properties,
             "This property displays the number of rows of the node table of this instance."),
    property("SessionCount", RO, INT, "", 1, 5, "1", handle_intrInstStat_properties,
             "This property displays the number of rows of the session table of this instance."),
    property("SessionFailureCount", RO, INT, "", 1, 255, "1", handle_intrInstStat_properties,
             "This property displays the number of times a session of this instance failed."),
    property("LastSessionFailureType", RO, TEXT, "", 1, 255, "1", handle_intrInstStat_properties,
             "This property displays the type of the last session failure."),
    property("LastSessionRmtNodeName", RO, TEXT, "", 1, 224, "iqn.hx", handle_intrInstStat_properties,
             "This property displays the iSCSI name of the remote node of the failed session."),
    property("SessionDigestErrors", RO, TEXT, "", 4, 0, "4", handle_intrInstStat_properties,
             "This property displays the number of sessions failed on a header or data digest error."),
    property("SessionConnectionTimeout", RO, TEXT, "", 4, 0, "4", handle_intrInstStat_properties,
             "This property displays the number of sessions failed on a sequence time limit."),
    property("SessionFormatErrors", RO, TEXT, "", 4, 0, "4", handle_intrInstStat_properties,
             "This property displays the number of sessions failed on a PDU format error."),
    property("LoginFailures", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of failed logins of this initiator."),
    property("LastFailureTime", RO, TEXT, "", 0, 32, "0", handle_intrLoginStat_properties,
             "This property displays the time stamp of the latest login failure; 0 means none."),
    property("LastFailureType", RO, TEXT, "", 0, 0, "0", handle_intrLoginStat_properties,
             "This property displays the failure type of the latest login failure."),
    property("LastTgtFailureName", RO, TEXT, "", 1, 224, "iqn.hx", handle_intrLoginStat_properties,
             "This property displays the name of the target that most recently failed a login."),
    property("LastTgtFailureAddr", RO, TEXT, "", 0, 0, "0", handle_intrLoginStat_properties,
             "This property displays the network address of the target that most recently failed a login."),
    property("LoginAcceptRsps", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of login responses accepted."),
    property("LoginOtherFailRsps", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of login responses with any other failure status."),
    property("LoginRedirectRsps", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of login responses of status class redirection."),
    property("LoginAuthFailRsps", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of login responses with status 0x201, authentication failed."),
    property("LoginAuthFails", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of logins aborted because the target failed authentication."),
    property("LoginNegoFails", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of logins aborted because parameter negotiation failed."),
    property("LogoutNormals", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of logout commands sent with reason normal."),
    property("LogoutOthers", RO, TEXT, "", 4, 0, "4", handle_intrLoginStat_properties,
             "This property displays the number of logout commands sent with any other reason."),
    property("PortRowStatus", RO, TEXT, "", 0, 3, "2", handle_NodeAttr_properties,
             "This property displays the row status of the portal entry."),
    property("PortalRole", RO, TEXT, "", 1, 2, "1", handle_NodeAttr_properties,
             "This property displays the role of the portal, target or initiator portal."),
    property("PortalProtocol", RO, TEXT, "", 1, 2, "1", handle_NodeAttr_properties,
             "This property displays the transport protocol of the portal."),
    property("PortalTag", RO, TEXT, "", 1, 65535, "1", handle_NodeAttr_properties,
             "This property displays the aggregation tag of the portal used as an initiator."),
};
const GroupDef statistics =
    group("iSCSIStatistics", statistics_children, "This group contains all the SNMP properties.");
// --- the LogicalHBA ---
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA_LogicalHBA, AddTarget, do_AddTarget,
    "This command adds a target manually to the list of targets for the initiator. If port number is not given, it "
    "will take \"3260\" as default value for port number.",
    required("TargetName", TEXT, "", 6, 223,
             "This parameter specifies the full iSCSI name of the target. Adding a target does not log in to it."),
    required("IPAddress", IP, "", 0, 0, "This parameter specifies the IP address of the target portal."),
    optional("PortNumber", INT, "", 1024, 65535,
             "This parameter specifies the port number of the target portal; 3260 when not given."),
    optional("BootTarget", LIST, "True,False", 4, 5, "This parameter configures the target as a boot target."),
    optional("BootTargetPriority", LIST, "Primary,Secondary,None", 4, 9,
             "This parameter specifies the boot target priority. Valid values are None, Primary and Secondary."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA, DeleteTarget, do_DeleteTarget,
            "This command deletes a manually added target.",
            required("InstanceNumber", INT, "", 0, 256, kInstanceHelp));
const ChildDef lhba_children[] = {
    property("Enabled", RW, LIST, "False,True", 4, 5, "False", handle_iSCSIPhysicalHBA_LogicalHBA_Enabled,
             "This property indicates whether iSCSI is enabled. 'True' indicates iSCSI is enabled and 'False' "
             "indicates iSCSI is disabled."),
    property("IfName", RO, TEXT, "", 1, 32, "vmhba", stored,
             "This property displays the interface name of the iSCSI function."),
    subgroup(&name_group),
    subgroup(&default_group),
    subgroup(&initiator_options),
    subgroup(&qos),
    subgroup(&statistics),
    subgroup(&discovery),
    AddTarget,
    DeleteTarget,
};
const GroupDef lhba =
    instanced("LogicalHBA", 1, &lhba_slots, lhba_children,
              "This group represents one port of a Tessmark controller working as an iSCSI initiator.");

TAVO_GROUP_BUILDER(LogicalHBA, lhba, "Corvane/iSCSIPhysicalHBA");
