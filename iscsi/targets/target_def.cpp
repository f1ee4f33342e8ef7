// The Target and TargetPortal branches: a target known to a LogicalHBA's
// initiator, with its login options, and one portal of a target.
#include "iscsi/common/help_texts.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/targets/login_option_defs.h"
#include "iscsi/targets/targets_internal.h"
#include "tree/waiting.h"

using namespace tavo::targets::defs;
using tavo::iscsi::kInstanceHelp;

static SlotArea target_slots;
static SlotArea target_portal_slots;

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication, ConfigureCHAP,
            do_ConfigureCHAP, kConfigureChapHelp, kChapParameters);
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target_TargetLoginOptions_Authentication, DeleteCHAP, do_DeleteCHAP,
            kDeleteChapHelp);
// InitiatorSecret and TargetCHAPName answer their stored text unreloaded.
constexpr auto target_auth_children =
    authentication_rows({handle_authentication_target_loginopts, handle_authentication_target_loginopts, stored, stored,
                         handle_authentication_target_loginopts, handle_authentication_target_loginopts},
                        ConfigureCHAP, DeleteCHAP);
const GroupDef target_auth = group("Authentication", target_auth_children,
                                   "This group consists of the connection authentication login options used to create "
                                   "an iSCSI session with the target.");
constexpr auto target_option_children = login_option_rows(handle_target_loginoptions, &target_auth);
const GroupDef target_options = group("TargetLoginOptions", target_option_children,
                                      "This group consists of the set of login options used to log into the target.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, DeleteTargetPortal, do_DeleteTargetPortal,
            "This command deletes the target portal with the given instance number. SM-CLP will not allow to delete "
            "TargetPortal if any session is there for respective TargetPortal.",
            optional("InstanceNumber", INT, "", 0, 63, kInstanceHelp));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, AddTargetPortal, do_AddTargetPortal,
            "This command adds a target portal with the given IP address and port number.",
            required("IPAddress", IP, "", 0, 0, "This parameter specifies the IP address of the target portal."),
            optional("PortNumber", INT, "", 1024, 65535,
                     "This parameter specifies the port number of the target portal."));
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
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, Logout, do_Logout,
            "This command sends a logout request on the session given by its instance number. SM-CLP will not allow "
            "logout of BootSessions.",
            optional("InstanceNumber", INT, "", 0, 63, kInstanceHelp));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Target, ReScanLUNS, do_ReScanLUNS,
            "This command reports the LUNs of the target.");
const ChildDef target_children[] = {
    subgroup(&target_options),
    property("TargetISCSIName", RO, TEXT, "", 6, 223, "6", stored,
             "This property displays the iSCSI name of the target."),
    property("TargetAlias", RO, TEXT, "", 0, 0, "", handle_TargetAlias,
             "This property displays the alias of the target node."),
    property("ETO", RW, INT, "", 0, 3600, "30", handle_Target_ETO,
             "This property specifies the extended timeout of the target in seconds. The driver will ensure that the "
             "I/Os are not errored back until this time has expired (from the time the target stopped responding)."),
    property("TargetType", RO, LIST, "Static,Discovered", 6, 10, "Static", handle_target_type,
             "This property indicates whether the target is static or discovered."),
    Login,
    DeleteTargetPortal,
    AddTargetPortal,
    Logout,
    ReScanLUNS,
};
const GroupDef target = instanced(
    "Target", tavo::targets::kMostTargets, &target_slots, target_children,
    "This group represents the information about the targets that are available in the network.", group_Target);

// The portal set-up stores the real values right after the build.
const ChildDef target_portal_children[] = {
    property("TargetIPAddress", RO, IP, "", 0, 0, "0.0.0.0", stored,
             "This property displays the IP address of the target portal."),
    property("TargetPortNumber", RO, INT, "", 1, 65535, "1036", stored,
             "This property displays the port number of the target portal."),
    property("PortalGroupTag", RO, INT, "", 0, 255, "0", stored, "This property displays the tag of the portal group."),
};
const GroupDef target_portal = instanced(
    "TargetPortal", tavo::targets::kMostPortals, &target_portal_slots, target_portal_children,
    "This group instance corresponds to a portal of the target identified by its IP address and port number.");

TAVO_GROUP_BUILDER(Target, target, "Corvane/iSCSIPhysicalHBA/LogicalHBA", tavo::targets::note_target);

TAVO_GROUP_BUILDER(TargetPortal, target_portal, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target");

const tavo::tree::GroupDef& tavo::targets::target_definition() { return target; }

TavoNode* tavo::targets::build_target(TavoNode* lhba, TavoNode* creating_node, TavoNode* creating_action,
                                      char* params) {
  TavoNode* options = nullptr;
  TavoNode* built = tree::build_group_leaving(target, target_options, &options, lhba, creating_node, creating_action,
                                              params);
  if (built == nullptr) return nullptr;
  note_target(built);
  if (!defer_options(options, target_options)) {
    delete_with_records(built);
    return nullptr;
  }
  return built;
}
