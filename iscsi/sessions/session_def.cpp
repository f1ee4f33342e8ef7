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

#define SESSION_VALUE(name, type, list, minimum, maximum, initial, handler, help) \
  property(name, RO, type, list, minimum, maximum, initial, handler, "This property displays " help ".")

// Rows the session's and the connection's login options share.
constexpr ChildDef kMethodRow = SESSION_VALUE("AuthenticationMethod", LIST, kMethods, 4, 12, "None", stored,
                                              "the authentication method of the login");
constexpr ChildDef kHeaderDigestRow = SESSION_VALUE("HeaderDigest", LIST, kDigests, 4, 6, "None", stored,
                                                    "whether a CRC32C digest protects the header of each PDU");
constexpr ChildDef kDataDigestRow = SESSION_VALUE("DataDigest", LIST, kDigests, 4, 6, "None", stored,
                                                  "whether a CRC32C digest protects the data segment of each PDU");

// --- Session ---
const ChildDef session_auth_children[] = {
    kMethodRow,
    SESSION_VALUE("InitiatorCHAPName", TEXT, "", 1, 256, "", stored,
                  "the initiator's CHAP name; it is used for Mutual CHAP only"),
    property("InitiatorSecret", RO, TEXT, "", 12, 34, "", stored,
             "This property displays the initiator's CHAP secret used for Mutual CHAP, shown in plain text. It is 12 "
             "to 16 bytes long, as characters (1 character is 1 byte) or as hex digits after 0x (2 digits are 1 "
             "byte)."),
    SESSION_VALUE("TargetCHAPName", TEXT, "", 1, 256, "", stored,
                  "the target's CHAP name; it is used for One-Way and Mutual CHAP"),
    property("TargetSecret", RO, TEXT, "", 12, 34, "", stored,
             "This property displays the target's CHAP secret, shown in plain text. It is 12 to 16 bytes long, as "
             "characters (1 character is 1 byte) or as hex digits after 0x (2 digits are 1 byte)."),
};
const GroupDef session_auth = group("Authentication", session_auth_children,
                                    "This group contains the authentication options used to log into the target.");
const ChildDef session_option_children[] = {
    SESSION_VALUE("InitialR2T", LIST, kYesNo, 0, 3, "Yes", stored,
                  "whether the initiator waits for an R2T before it sends data"),
    SESSION_VALUE("ImmediateData", LIST, kYesNo, 0, 3, "Yes", stored,
                  "whether the initiator may append unsolicited data to a command"),
    kHeaderDigestRow,
    kDataDigestRow,
    subgroup(&session_auth),
};
const GroupDef session_options = group("SessionLoginOptions", session_option_children,
                                       "This group contains the login options used to log into the target.");

const ChildDef negotiated_children[] = {
    SESSION_VALUE("InitialR2T", LIST, kYesNo, 0, 3, "Yes", stored, "the negotiated InitialR2T"),
    SESSION_VALUE("ImmediateData", LIST, kYesNo, 0, 3, "Yes", stored, "the negotiated ImmediateData"),
    SESSION_VALUE("MaxConnections", INT, "", 1, 1, "1", stored,
                  "the most connections the session may have"),
    SESSION_VALUE("MaxOutstandingR2T", INT, "", 1, 0, "1", stored,
                  "the most R2T PDUs that may be outstanding per task"),
    SESSION_VALUE("FirstBurstLength", TEXT, "", 0, 10, "8192", stored,
                  "the unsolicited data in bytes the initiator may send per command, or Irrelevant when InitialR2T "
                  "is Yes and ImmediateData is No"),
    SESSION_VALUE("MaxBurstLength", INT, "", 0, 262144, "262144", stored,
                  "the most data in bytes of one sequence of Data-In or solicited Data-Out PDUs"),
    SESSION_VALUE("DefaultTime2Wait", INT, "", 0, 2, "2", stored,
                  "the seconds to wait before a new connection or task reassignment after a logout or a drop"),
    SESSION_VALUE("DefaultTime2Retain", INT, "", 0, 20, "20", stored,
                  "the seconds after that wait during which task reassignment is still possible"),
    SESSION_VALUE("ErrorRecoveryLevel", INT, "", 0, 0, "0", stored,
                  "the error recovery level (0, 1 or 2, as iSCSI defines them)"),
    SESSION_VALUE("DataPDUInOrder", INT, "", 0, 1, "1", stored, "whether Data PDUs come in order"),
    SESSION_VALUE("DataSequenceInOrder", INT, "", 0, 1, "1", stored, "whether data sequences come in order"),
};
const GroupDef negotiated = group("SessionNegotiatedLoginOptions", negotiated_children,
                                  "This group contains the login options negotiated when the session was created.");

#define SESSION_STAT(name, minimum, maximum, initial, help) \
  SESSION_VALUE(name, INT, "", minimum, maximum, initial, handle_SsnAttr_properties, help)
const ChildDef statistics_children[] = {
    SESSION_STAT("SessionDirection", 1, 2, "1", "the direction of the session: 1 inbound, 2 outbound"),
    SESSION_STAT("CmdPdus", 1, 65536, "0", "the number of command PDUs transferred on the session"),
    SESSION_STAT("RspPdus", 1, 65536, "0", "the number of response PDUs transferred on the session"),
    SESSION_STAT("TxDataOctetsHigh", 1, 2147483647, "0", "the number of data octets sent on the session"),
    SESSION_STAT("RxDataOctetsHigh", 1, 2147483647, "0", "the number of data octets received on the session"),
    SESSION_STAT("DigestErrors", 0, 65536, "0", "the number of PDUs received with a header or data digest error"),
    SESSION_STAT("CxnTimeoutErrors", 0, 65536, "0",
                 "the number of connections of the session ended by a sequence timeout"),
    SESSION_VALUE("SessionTargetAlias", TEXT, "", 0, 30, "", handle_SsnAttr_properties,
                  "the alias of the target of the session"),
};
#undef SESSION_STAT
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
    SESSION_VALUE("SessionTSIH", TEXT, "", 0, 0, "0", handle_session_properties,
                  "the target session identifying handle; 0 when no session is assigned"),
    SESSION_VALUE("ISIDQualifier", INT, "", 0, 0, "0", handle_session_properties,
                  "the ISID qualifier of the session, unique among the sessions of the initiator"),
    SESSION_VALUE("ISID", INT, "", 0, 0, "0", stored, "the initiator session id, unique among the sessions"),
    SESSION_VALUE("SessionInitiatorName", TEXT, "", 1, 223, "iqn.hx", handle_session_properties,
                  "the iSCSI name the initiator uses for the session"),
    SESSION_VALUE("SessionStatus", TEXT, "", 0, 32, "Unknown", handle_session_properties,
                  "the status of the session. Valid values are Open,Closed,Login in Progress,Login Failed,In "
                  "Recovery,Deleted and Unknown."),
    property("iSCSIBoot", RW, LIST, kFalseTrue, 4, 5, "False", handle_boot_session,
             "This property indicates whether the session is marked as a boot session. Note that you cannot log out "
             "of a boot session via SM-CLP."),
    SESSION_VALUE("BootTargetPriority", LIST, kPriorities, 4, 9, "None", handle_BootTargetPriority,
                  "the boot target priority of the session"),
    SESSION_VALUE("Persistent", LIST, kFalseTrue, 4, 5, "False", handle_session_properties,
                  "whether the session is restored automatically after a reboot (True)"),
    ConfigureBootTarget,
};
const GroupDef session = instanced("Session", 64, &session_slots, session_children,
                                   "This group represents an active session with the target.", group_Session);

// --- Connection ---
const ChildDef connection_option_children[] = {
    kMethodRow,
    kHeaderDigestRow,
    kDataDigestRow,
    SESSION_VALUE("MaxSendDataSegmentLength", INT, "", 512, 16384, "16384", stored,
                  "the largest data segment in bytes the target accepts in one PDU"),
    property("TCPMSS", RO, INT, "", 1436, 8248, "1460", stored,
             "This property displays the TCP maximum segment size of the connection. When jumbo frame is enabled, the "
             "minimum value is 8224 bytes, the maximum value is 8248 bytes, and the default value is 8248 bytes. If "
             "jumbo frame is not enabled, the minimum value is 1436 bytes and the maximum value is 1460 bytes."),
};
const GroupDef connection_options =
    group("ConnectionNegotiatedLoginOptions", connection_option_children,
          "This group contains the login options negotiated for the connection.");
#define CONNECTION_VALUE(name, type, minimum, maximum, initial, help) \
  SESSION_VALUE(name, type, "", minimum, maximum, initial, handle_connection_properties, help)
const ChildDef connection_children[] = {
    subgroup(&connection_options),
    CONNECTION_VALUE("iSCSIConnectionID", INT, 1, 32, "1", "the iSCSI connection id"),
    CONNECTION_VALUE("Status", TEXT, 0, 32, "Connection Status Unknown", "the status of the connection"),
    CONNECTION_VALUE("SourcePortNumber", INT, 1024, 65535, "1024", "the TCP port of the initiator"),
    CONNECTION_VALUE("DestinationPortNumber", INT, 1024, 65535, "1024", "the TCP port of the target"),
    CONNECTION_VALUE("SourceIPAddress", IP, 0, 0, "0.0.0.0", "the IP address of the initiator"),
    CONNECTION_VALUE("DestinationIPAddress", IP, 0, 0, "0.0.0.0", "the IP address of the target"),
    CONNECTION_VALUE("RedirectedDestinationPort", TEXT, 0, 0, "0", "the TCP port the target redirected to"),
    CONNECTION_VALUE("RedirectedDestinationIPAddress", TEXT, 0, 0, "0", "the IP address the target redirected to"),
};
#undef CONNECTION_VALUE
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
    SESSION_VALUE("LUNNumber", TEXT, "", 0, 0, "0", handle_LUNNumber, "the logical unit number"),
    SESSION_VALUE("LUNSize", INT, "", 0, 0, "0", handle_lun_block_size, "the size of the LUN in bytes"),
    SESSION_VALUE("BlockSize", INT, "", 0, 0, "0", handle_lun_block_size, "the block size of the LUN in bytes"),
    SESSION_VALUE("DeviceVendorName", TEXT, "", 0, 0, "0", handle_StdInquiry_properties,
                  "the vendor identification of the device"),
    SESSION_VALUE("DeviceModelNumber", INT, "", 0, 0, "0", handle_StdInquiry_properties,
                  "the product identification of the device"),
    SESSION_VALUE("LUNName", TEXT, "", 5, 225, "0", stored,
                  "the host's name of the device, vmhba(bus number):(target id):(LUN number)"),
    SESSION_VALUE("LUNSerialNumber", TEXT, "", 0, 255, "0", handle_StdInquiry_properties,
                  "the unit serial number of the device"),
    SESSION_VALUE("LUNType", TEXT, "", 0, 0, "0", handle_StdInquiry_properties, "the device type"),
    property("BootLUN", RW, LIST, "True,False", 4, 5, "False", handle_BootLUN,
             "This property selects the boot LUN of a boot target."),
    StdInquiry,
    SCSIWrite,
};
#undef SESSION_VALUE
const GroupDef lun = instanced("LUN", 256, &lun_slots, lun_children,
                               "This group represents a LUN available behind the target.", group_LUN);

TAVO_GROUP_BUILDER(Session, session, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target", tavo::sessions::note_session);

TAVO_GROUP_BUILDER(Connection, connection, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target/Session");

TAVO_GROUP_BUILDER(LUN, lun, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target");
