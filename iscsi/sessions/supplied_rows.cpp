// The rows of the network and targets branches' groups whose handlers live
// here (network.h, session_hooks.h), and the calls those branches make
// into this one, registered as the library loads.
#include "iscsi/common/help_texts.h"
#include "iscsi/network/network.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/session_hooks.h"
#include "iscsi/targets/targets.h"
#include "tree/declare.h"

using namespace tavo::declare;
using tavo::iscsi::kInstanceHelp;

namespace {

// --- the iSCSIPhysicalHBA ---
const ChildDef bios_enable_rows[] = {
    property("iSCSIBIOSEnable", RW, LIST, "Yes,No", 2, 3, "Yes", handle_iSCSIBIOSEnable,
             "This property indicates whether the function's iSCSI boot BIOS is enabled."),
};
const ChildDef mpio_enabled_rows[] = {
    property("MPIOEnabled", RW, LIST, "True,False", 4, 5, "False", handle_MPIOEnabled,
             "This property indicates whether multipath I/O is enabled for the function."),
};

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
const ChildDef statistics_rows[] = {subgroup(&statistics)};

// --- the Discovery group ---
const ChildDef discover_boot_target_rows[] = {
    property("DiscoverBootTargetThruDHCP", RW, LIST, "Enabled,Disabled", 7, 8, "Disabled",
             handle_DiscoverBootTargetThruDHCP,
             "This property discovers the boot targets configured at the DHCP server. If selects Disabled option, then "
             "discovered boot target will be removed."),
};

// --- the Target ---
const ChildDef alias_and_eto_rows[] = {
    property("TargetAlias", RO, TEXT, "", 0, 0, "", handle_TargetAlias,
             "This property displays the alias of the target node."),
    property("ETO", RW, INT, "", 0, 3600, "30", handle_Target_ETO,
             "This property specifies the extended timeout of the target in seconds. The driver will ensure that the "
             "I/Os are not errored back until this time has expired (from the time the target stopped responding)."),
};
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, Login, do_Login,
    "This command logs in to the target with its current login options. The first 2 parameters will be defaulted to "
    "the values from the first instance of TargetPortal group. SessionInitiatorName parameter can be used to provide a "
    "different iSCSI Initiator Name other than what is inherited from InitiatoriSCSIName property, for this session. "
    "ISIDQualifier parameter can be used to override firmware assigned ISIDQualifier for this session.",
    optional("IPAddress", IP, "", 0, 0, "This parameter specifies the IP address of the target portal to login."),
    optional("PortNumber", INT, "", 1024, 65535, "This parameter specifies the port number of the target to login."),
    optional("SessionInitiatorName", TEXT, "", 1, 223,
             "This parameter specifies the initiator iSCSI name for the session to login."),
    optional("ISIDQualifier", INT, "", 0, 65535,
             "This parameter indicates the ISIDQualifier for the session to login."),
    optional("BootTarget", LIST, "True,False", 4, 5, "This parameter configures the boot session."),
    optional("BootTargetPriority", LIST, "Primary,Secondary,None", 4, 9,
             "This parameter is used to configure the iSCSI boot target priority. Valid values are None, Primary and "
             "Secondary."));
const ChildDef login_rows[] = {Login};
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, Logout, do_Logout,
            "This command sends a logout request on the session given by its instance number. SM-CLP will not allow "
            "logout of BootSessions.",
            optional("InstanceNumber", INT, "", 0, 63, kInstanceHelp));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, ReScanLUNS, do_ReScanLUNS,
            "This command reports the LUNs of the target.");
const ChildDef logout_and_rescan_rows[] = {Logout, ReScanLUNS};

const bool supplied_and_registered = [] {
  tavo::network::phba_places.bios_enable.supply(bios_enable_rows);
  tavo::network::phba_places.mpio_enabled.supply(mpio_enabled_rows);
  tavo::network::set_session_hooks({get_all_sessions, get_all_luns, check_for_boot_session});
  tavo::targets::SessionPlaces& places = tavo::targets::session_places;
  places.statistics.supply(statistics_rows);
  places.discover_boot_target.supply(discover_boot_target_rows);
  places.alias_and_eto.supply(alias_and_eto_rows);
  places.login.supply(login_rows);
  places.logout_and_rescan.supply(logout_and_rescan_rows);
  tavo::targets::SessionHooks hooks;
  hooks.refresh_target = group_Target;
  hooks.login = do_Login;
  hooks.logout = do_Logout;
  hooks.login_engine = TAVO_esx_login;
  hooks.list_sessions = get_all_sessions;
  hooks.list_luns = get_all_luns;
  hooks.find_session = find_session;
  hooks.session_record = TAVO_get_session_params;
  hooks.session_status = TAVO_check_session_status;
  hooks.new_qualifier = generate_isid_qualifier;
  hooks.make_persistent = make_session_persistent;
  hooks.delete_persistent = delete_persistent;
  hooks.update_authentication = TAVO_update_session_authentication;
  hooks.refresh_eto = refresh_eto;
  hooks.boot_target_count = TAVO_check_boot_target_num;
  hooks.boot_target_priority = TAVO_check_boot_target_priority;
  hooks.add_boot_target = TAVO_add_boottarget_tlv;
  tavo::targets::set_session_hooks(hooks);
  return true;
}();

}  // namespace
