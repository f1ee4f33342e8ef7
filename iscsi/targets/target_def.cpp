// The Target and TargetPortal branches: a target known to a LogicalHBA's
// initiator, with its login options, and one portal of a target.
#include "iscsi/targets/login_option_defs.h"
#include "iscsi/targets/targets_internal.h"

using namespace tavo::targets::defs;
using tavo::targets::session_places;

namespace {

// A Target is refreshed from the firmware's sessions (sessions/).
uint32_t refresh_target(TavoNode* target) { return tavo::targets::session_hooks().refresh_target(target); }

}  // namespace

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
const ChildDef target_children[] = {
    subgroup(&target_options),
    property("TargetISCSIName", RO, TEXT, "", 6, 223, "6", stored,
             "This property displays the iSCSI name of the target."),
    supplied(&session_places.alias_and_eto),
    property("TargetType", RO, LIST, "Static,Discovered", 6, 10, "Static", handle_target_type,
             "This property indicates whether the target is static or discovered."),
    supplied(&session_places.login),
    DeleteTargetPortal,
    AddTargetPortal,
    supplied(&session_places.logout_and_rescan),
};
const GroupDef target = instanced(
    "Target", 256, &target_slots, target_children,
    "This group represents the information about the targets that are available in the network.", refresh_target);

// The portal set-up stores the real values right after the build.
const ChildDef target_portal_children[] = {
    property("TargetIPAddress", RO, IP, "", 0, 0, "0.0.0.0", stored,
             "This property displays the IP address of the target portal."),
    property("TargetPortNumber", RO, INT, "", 1, 65535, "1036", stored,
             "This property displays the port number of the target portal."),
    property("PortalGroupTag", RO, INT, "", 0, 255, "0", stored, "This property displays the tag of the portal group."),
};
const GroupDef target_portal = instanced(
    "TargetPortal", 64, &target_portal_slots, target_portal_children,
    "This group instance corresponds to a portal of the target identified by its IP address and port number.");

TAVO_GROUP_BUILDER(Target, target, "Corvane/iSCSIPhysicalHBA/LogicalHBA");

TAVO_GROUP_BUILDER(TargetPortal, target_portal, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Target");
