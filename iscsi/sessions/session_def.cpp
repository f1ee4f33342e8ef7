// The Session, Connection and LUN branches below a Target: what the
// firmware's initiator made of the target. The builders lay the nodes out
// with their defaults; the handlers fill them.
#include "iscsi/sessions/sessions.h"
#include "iscsi/sessions/sessions_internal.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea session_slots;
static SlotArea connection_slots;
static SlotArea lun_slots;

namespace {

constexpr char kYesNo[] = "Yes,No";
constexpr char kDigests[] = "None,CRC32C";
constexpr char kMethods[] = "None,Mutual CHAP,One-Way CHAP";
constexpr char kFalseTrue[] = "False,True";
constexpr char kPriorities[] = "Primary,Secondary,None";

}  // namespace

// Rows the session's and the connection's login options share.
constexpr ChildDef kMethodRow = property("AuthenticationMethod", RO, LIST, kMethods, 4, 12, "None", stored,
                                         "This property displays the authentication method of the login.");
constexpr ChildDef kHeaderDigestRow =
    property("HeaderDigest", RO, LIST, kDigests, 4, 6, "None", stored,
             "This property displays whether a CRC32C digest protects the header of each PDU.");
constexpr ChildDef kDataDigestRow =
    property("DataDigest", RO, LIST, kDigests, 4, 6, "None", stored,
             "This property displays whether a CRC32C digest protects the data segment of each PDU.");

// --- Session ---
const ChildDef session_auth_children[] = {
    kMethodRow,
    property("InitiatorCHAPName", RO, TEXT, "", 1, 256, "", stored,
             "This property displays the initiator's CHAP name; it is used for Mutual CHAP only."),
    property("InitiatorSecret", RO, TEXT, "", 12, 34, "", stored,
             "This property displays the initiator's CHAP secret used for Mutual CHAP, shown in plain text. It is 12 "
             "to 16 bytes long, as characters (1 character is 1 byte) or as hex digits after 0x (2 digits are 1 "
             "byte)."),
    property("TargetCHAPName", RO, TEXT, "", 1, 256, "", stored,
             "This property displays the target's CHAP name; it is used for One-Way and Mutual CHAP."),
    property("TargetSecret", RO, TEXT, "", 12, 34, "", stored,
             "This property displays the target's CHAP secret, shown in plain text. It is 12 to 16 bytes long, as "
             "characters (1 character is 1 byte) or as hex digits after 0x (2 digits are 1 byte)."),
};
const GroupDef session_auth = group("Authentication", session_auth_children,
                                    "This group contains the authentication options used to log into the target.");
const ChildDef session_option_children[] = {
    property("InitialR2T", RO, LIST, kYesNo, 0, 3, "Yes", stored,
             "This property displays whether the initiator waits for an R2T before it sends data."),
    property("ImmediateData", RO, LIST, kYesNo, 0, 3, "Yes", stored,
             "This property displays whether the initiator may append unsolicited data to a command."),
    kHeaderDigestRow,
    kDataDigestRow,
    subgroup(&session_auth),
};
const GroupDef session_options = group("SessionLoginOptions", session_option_children,
                                       "This group contains the login options used to log into the target.");

const ChildDef negotiated_children[] = {
    property("InitialR2T", RO, LIST, kYesNo, 0, 3, "Yes", stored, "This property displays the negotiated InitialR2T."),
    property("ImmediateData", RO, LIST, kYesNo, 0, 3, "Yes", stored,
             "This property displays the negotiated ImmediateData."),
    property("MaxConnections", RO, INT, "", 1, 1, "1", stored,
             "This property displays the most connections the session may have."),
    property("MaxOutstandingR2T", RO, INT, "", 1, 0, "1", stored,
             "This property displays the most R2T PDUs that may be outstanding per task."),
    property("FirstBurstLength", RO, TEXT, "", 0, 10, "8192", stored,
             "This property displays the unsolicited data in bytes the initiator may send per command, or Irrelevant "
             "when InitialR2T is Yes and ImmediateData is No."),
    property("MaxBurstLength", RO, INT, "", 0, 262144, "262144", stored,
             "This property displays the most data in bytes of one sequence of Data-In or solicited Data-Out PDUs."),
    property("DefaultTime2Wait", RO, INT, "", 0, 2, "2", stored,
             "This property displays the seconds to wait before a new connection or task reassignment after a logout "
             "or a drop."),
    property("DefaultTime2Retain", RO, INT, "", 0, 20, "20", stored,
             "This property displays the seconds after that wait during which task reassignment is still possible."),
    property("ErrorRecoveryLevel", RO, INT, "", 0, 0, "0", stored,
             "This property displays the error recovery level (0, 1 or 2, as iSCSI defines them)."),
    property("DataPDUInOrder", RO, INT, "", 0, 1, "1", stored,
             "This property displays whether Data PDUs come in order."),
    property("DataSequenceInOrder", RO, INT, "", 0, 1, "1", stored,
             "This property displays whether data sequences come in order."),
};
const GroupDef negotiated = group("SessionNegotiatedLoginOptions", negotiated_children,
                                  "This group contains the login options negotiated when the session was created.");

const ChildDef statistics_children[] = {
    property("SessionDirection", RO, INT, "", 1, 2, "1", handle_SsnAttr_properties,
             "This property displays the direction of the session: 1 inbound, 2 outbound."),
    property("CmdPdus", RO, INT, "", 1, 65536, "0", handle_SsnAttr_properties,
             "This property displays the number of command PDUs transferred on the session."),
    property("RspPdus", RO, INT, "", 1, 65536, "0", handle_SsnAttr_properties,
             "This property displays the number of response PDUs transferred on the session."),
    property("TxDataOctetsHigh", RO, INT, "", 1, 2147483647, "0", handle_SsnAttr_properties,
             "This property displays the number of data octets sent on the session."),
    property("RxDataOctetsHigh", RO, INT, "", 1, 2147483647, "0", handle_SsnAttr_properties,
             "This property displays the number of data octets received on the session."),
    property("DigestErrors", RO, INT, "", 0, 65536, "0", handle_SsnAttr_properties,
             "This property displays the number of PDUs received with a header or data digest error."),
    property("CxnTimeoutErrors", RO, INT, "", 0, 65536, "0", handle_SsnAttr_properties,
             "This property displays the number of connections of the session ended by a sequence timeout."),
    property("SessionTargetAlias", RO, TEXT, "", 0, 30, "", handle_SsnAttr_properties,
             "This property displays the alias of the target of the session."),
};
const GroupDef statistics = group("iSCSISessionStatistics", statistics_children,
                                  "This group contains the statistics of the session as the SNMP tables show them.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Session, ConfigureBootTarget, do_ConfigureBootTarget,
            "This command marks the session as a boot session, or no longer one, and sets its boot target "
            "priority.",
            required("iSCSIBoot", LIST, kFalseTrue, 4, 5,
                     "This parameter makes the session a boot session when True, and no longer one when False."),
            optional("BootTargetPriority", LIST, kPriorities, 4, 9,
                     "This parameter specifies the boot target priority. Valid values are Primary, Secondary and "
                     "None."));
const ChildDef session_children[] = {
    subgroup(&session_options),
    subgroup(&negotiated),
    subgroup(&statistics),
    property("SessionTSIH", RO, TEXT, "", 0, 0, "0", handle_session_properties,
             "This property displays the target session identifying handle; 0 when no session is assigned."),
    property("ISIDQualifier", RO, INT, "", 0, 0, "0", handle_session_properties,
             "This property displays the ISID qualifier of the session, unique among the sessions of the initiator."),
    property("ISID", RO, INT, "", 0, 0, "0", stored,
             "This property displays the initiator session id, unique among the sessions."),
    property("SessionInitiatorName", RO, TEXT, "", 1, 223, "iqn.hx", handle_session_properties,
             "This property displays the iSCSI name the initiator uses for the session."),
    property("SessionStatus", RO, TEXT, "", 0, 32, "Unknown", handle_session_properties,
             "This property displays the status of the session. Valid values are Open,Closed,Login in Progress,Login "
             "Failed,In Recovery,Deleted and Unknown.."),
    property("iSCSIBoot", RW, LIST, kFalseTrue, 4, 5, "False", handle_boot_session,
             "This property indicates whether the session is marked as a boot session. Note that you cannot log out "
             "of a boot session via SM-CLP."),
    property("BootTargetPriority", RO, LIST, kPriorities, 4, 9, "None", handle_BootTargetPriority,
             "This property displays the boot target priority of the session."),
    property("Persistent", RO, LIST, kFalseTrue, 4, 5, "False", handle_session_properties,
             "This property displays whether the session is restored automatically after a reboot (True)."),
    ConfigureBootTarget,
};
const GroupDef session = instanced("Session", 64, &session_slots, session_children,
                                   "This group represents an active session with the target.", group_Session);

// --- Connection ---
const ChildDef connection_option_children[] = {
    kMethodRow,
    kHeaderDigestRow,
    kDataDigestRow,
    property("MaxSendDataSegmentLength", RO, INT, "", 512, 16384, "16384", stored,
             "This property displays the largest data segment in bytes the target accepts in one PDU."),
    property("TCPMSS", RO, INT, "", 1436, 8248, "1460", stored,
             "This property displays the TCP maximum segment size of the connection. When jumbo frame is enabled, the "
             "minimum value is 8224 bytes, the maximum value is 8248 bytes, and the default value is 8248 bytes. If "
             "jumbo frame is not enabled, the minimum value is 1436 bytes and the maximum value is 1460 bytes."),
};
const GroupDef connection_options =
    group("ConnectionNegotiatedLoginOptions", connection_option_children,
          "This group contains the login options negotiated for the connection.");
const ChildDef connection_children[] = {
    subgroup(&connection_options),
    property("iSCSIConnectionID", RO, INT, "", 1, 32, "1", handle_connection_properties,
             "This property displays the iSCSI connection id."),
    property("Status", RO, TEXT, "", 0, 32, "Connection Status Unknown", handle_connection_properties,
             "This property displays the status of the connection."),
    property("SourcePortNumber", RO, INT, "", 1024, 65535, "1024", handle_connection_properties,
             "This property displays the TCP port of the initiator."),
    property("DestinationPortNumber", RO, INT, "", 1024, 65535, "1024", handle_connection_properties,
             "This property displays the TCP port of the target."),
    property("SourceIPAddress", RO, IP, "", 0, 0, "0.0.0.0", handle_connection_properties,
             "This property displays the IP address of the initiator."),
    property("DestinationIPAddress", RO, IP, "", 0, 0, "0.0.0.0", handle_connection_properties,
             "This property displays the IP address of the target."),
    property("RedirectedDestinationPort", RO, TEXT, "", 0, 0, "0", handle_connection_properties,
             "This property displays the TCP port the target redirected to."),
    property("RedirectedDestinationIPAddress", RO, TEXT, "", 0, 0, "0", handle_connection_properties,
             "This property displays the IP address the target redirected to."),
};
const GroupDef connection = instanced("Connection", 1, &connection_slots, connection_children,
                                      "This group represents a connection of the session.");

// --- LUN ---
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_LUN, StdInquiry, do_StdInquiry,
            "This command issues a standard INQUIRY to the LUN and reports its status.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_LUN, SCSIWrite, do_SCSIWrite,
            "This command issues SCSI WRITE commands to the LUN.",
            required("StartBlockAddress", INT, "", 0, 65535,
                     "This parameter specifies the first logical block address of the transfer."),
            required("Count", INT, "", 1, 65535, "This parameter specifies the number of blocks to transfer."));
const ChildDef lun_children[] = {
    property("LUNNumber", RO, TEXT, "", 0, 0, "0", handle_LUNNumber, "This property displays the logical unit number."),
    property("LUNSize", RO, INT, "", 0, 0, "0", handle_lun_block_size,
             "This property displays the size of the LUN in bytes."),
    property("BlockSize", RO, INT, "", 0, 0, "0", handle_lun_block_size,
             "This property displays the block size of the LUN in bytes."),
    property("DeviceVendorName", RO, TEXT, "", 0, 0, "0", handle_StdInquiry_properties,
             "This property displays the vendor identification of the device."),
    property("DeviceModelNumber", RO, INT, "", 0, 0, "0", handle_StdInquiry_properties,
             "This property displays the product identification of the device."),
    property("LUNName", RO, TEXT, "", 5, 225, "0", stored,
             "This property displays the host's name of the device, vmhba(bus number):(target id):(LUN number)."),
    property("LUNSerialNumber", RO, TEXT, "", 0, 255, "0", handle_StdInquiry_properties,
             "This property displays the unit serial number of the device."),
    property("LUNType", RO, TEXT, "", 0, 0, "0", handle_StdInquiry_properties,
             "This property displays the device type."),
    property("BootLUN", RW, LIST, "True,False", 4, 5, "False", handle_BootLUN,
             "This property selects the boot LUN of a boot target."),
    StdInquiry,
    SCSIWrite,
};
const GroupDef lun = instanced("LUN", 256, &lun_slots, lun_children,
                               "This group represents a LUN available behind the target.", group_LUN);

TAVO_GROUP_BUILDER(Session, session, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target", tavo::sessions::note_session);

TavoNode* tavo::sessions::build_session_alone(TavoNode* target) { return tree::build_group_alone(session, target); }
bool tavo::sessions::add_session_children(TavoNode* s) { return tree::add_group_children(session, s); }

TAVO_GROUP_BUILDER(Connection, connection, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session");

TAVO_GROUP_BUILDER(LUN, lun, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target");
