// The Target and TargetPortal branches: a target known to a LogicalHBA's
// initiator, with its login options, and one portal of a target.
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/login_option_defs.h"

using namespace tavo::targets::defs;

namespace {

tavo::tree::SlotArea target_slots;
tavo::tree::SlotArea target_portal_slots;

// InitiatorSecret and TargetCHAPName answer their stored text unreloaded.
constexpr auto target_auth_children = authentication_rows(
    {handle_authentication_target_loginopts, handle_authentication_target_loginopts, STORED, STORED,
     handle_authentication_target_loginopts, handle_authentication_target_loginopts},
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_ConfigureCHAP_action,
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_DeleteCHAP_action);
const GroupDef target_auth = {"Authentication",
                              "This group consists of the connection authentication login options used to create an "
                              "iSCSI session with the target.",
                              0, 0, nullptr, target_auth_children};
constexpr auto target_option_children = login_option_rows(handle_target_loginoptions, &target_auth);
const GroupDef target_options = {"TargetLoginOptions",
                                 "This group consists of the set of login options used to log into the target.", 0, 0,
                                 nullptr, target_option_children};

const ChildDef target_children[] = {
    subgroup(&target_options),
    property("TargetISCSIName", "This property displays the iSCSI name of the target.", RO, TEXT, "", 6, 223, "6",
             STORED),
    property("TargetAlias", "This property displays the alias of the target node.", RO, TEXT, "", 0, 0, "",
             handle_TargetAlias),
    property("ETO",
             "This property specifies the extended timeout of the target in seconds. The driver will ensure that the "
             "I/Os are not errored back until this time has expired (from the time the target stopped responding).",
             RW, INT, "", 0, 3600, "30", handle_Target_ETO),
    property("TargetType", "This property indicates whether the target is static or discovered.", RO, LIST,
             "Static,Discovered", 6, 10, "Static", handle_target_type),
    action("Login",
           "This command logs in to the target with its current login options. The first 2 parameters will be "
           "defaulted to the values from the first instance of TargetPortal group. SessionInitiatorName parameter "
           "can be used to provide a different iSCSI Initiator Name other than what is inherited from "
           "InitiatoriSCSIName property, for this session. ISIDQualifier parameter can be used to override firmware "
           "assigned ISIDQualifier for this session.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Login_action),
    action("DeleteTargetPortal",
           "This command deletes the target portal with the given instance number. SM-CLP will not allow to delete "
           "TargetPortal if any session is there for respective TargetPortal.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_DeleteTargetPortal_action),
    action("AddTargetPortal", "This command adds a target portal with the given IP address and port number.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_AddTargetPortal_action),
    action("Logout",
           "This command sends a logout request on the session given by its instance number. SM-CLP will not allow "
           "logout of BootSessions.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Logout_action),
    action("ReScanLUNS", "This command reports the LUNs of the target.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_ReScanLUNS_action),
};
const GroupDef target = {"Target", "This group represents the information about the targets that are available in "
                         "the network.", 256, 0, group_Target, target_children, &target_slots};

// The portal set-up stores the real values right after the build.
const ChildDef target_portal_children[] = {
    property("TargetIPAddress", "This property displays the IP address of the target portal.", RO, IP, "", 0, 0,
             "0.0.0.0", STORED),
    property("TargetPortNumber", "This property displays the port number of the target portal.", RO, INT, "", 1,
             65535, "1036", STORED),
    property("PortalGroupTag", "This property displays the tag of the portal group.", RO, INT, "", 0, 255, "0",
             STORED),
};
const GroupDef target_portal = {"TargetPortal", "This group instance corresponds to a portal of the target "
                                "identified by its IP address and port number.", 64, 0, nullptr,
                                target_portal_children, &target_portal_slots};

}  // namespace

const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_ConfigureCHAP_action =
    chap_descriptor(do_ConfigureCHAP);
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication_DeleteCHAP_action = {
    do_DeleteCHAP, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Login_action = {
    do_Login, 0, 6,
    {{0, "IPAddress", "This parameter specifies the IP address of the target portal to log in to.", IP, "", 0, 0},
     {0, "PortNumber", "This parameter specifies the port number of the target to log in to.", INT, "", 1024, 65535},
     {0, "SessionInitiatorName", "This parameter specifies the initiator iSCSI name for the session.", TEXT, "", 1,
      223},
     {0, "ISIDQualifier", "This parameter specifies the ISID qualifier for the session.", INT, "", 0, 65535},
     {0, "BootTarget", "This parameter configures the boot session.", LIST, "True,False", 4, 5},
     {0, "BootTargetPriority",
      "This parameter specifies the boot target priority. Valid values are None, Primary and Secondary.", LIST,
      "Primary,Secondary,None", 4, 9}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_DeleteTargetPortal_action = {
    do_DeleteTargetPortal, 0, 1, {{0, "InstanceNumber", TARGETS_INSTANCE_HELP, INT, "", 0, 63}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_AddTargetPortal_action = {
    do_AddTargetPortal, 0, 2,
    {{1, "IPAddress", "This parameter specifies the IP address of the target portal.", IP, "", 0, 0},
     {0, "PortNumber", "This parameter specifies the port number of the target portal.", INT, "", 1024, 65535}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_Logout_action = {
    do_Logout, 0, 1,
    {{0, "InstanceNumber", "This parameter specifies the instance number of the session to log out.", INT, "", 0,
      63}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_ReScanLUNS_action = {
    do_ReScanLUNS, 0, 0, {}};

TavoNode* initialize_Target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(target, lhba, creating_node, creating_action, params);
}

TavoNode* initialize_TargetPortal(TavoNode* target_group, TavoNode* creating_node, TavoNode* creating_action,
                                  char* params) {
  return tavo::tree::build_group(target_portal, target_group, creating_node, creating_action, params);
}
