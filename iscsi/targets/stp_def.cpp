// The SendTargetPortal branch: one send-target portal under the Discovery
// group of a LogicalHBA, with its login options.
#include "iscsi/targets/login_option_defs.h"

using namespace tavo::targets::defs;

static SlotArea stp_slots;

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication,
            ConfigureCHAP, do_ConfigureCHAP, kConfigureChapHelp, kChapParameters);
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication,
            DeleteCHAP, do_DeleteCHAP, kDeleteChapHelp);
constexpr auto stp_auth_children =
    authentication_rows({handle_authentication_stploginoptions, handle_authentication_stploginoptions,
                         handle_authentication_stploginoptions, handle_authentication_stploginoptions,
                         handle_authentication_stploginoptions, handle_authentication_stploginoptions},
                        ConfigureCHAP, DeleteCHAP);
const GroupDef stp_auth = group(
    "Authentication", stp_auth_children,
    "This group consists of the authentication options used to create a discovery session with the SendTarget Portal.");
constexpr auto stp_option_children = login_option_rows(handle_stploginoptions, &stp_auth);
const GroupDef stp_options =
    group("SendTargetPortalLoginOptions", stp_option_children,
          "This group consists of the login options used to create a discovery session with the SendTarget Portal.");

// The portal's creator stores its real values right after the build.
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal, DiscoverTargets, do_DiscoverTargets,
    "This command starts a discovery session: a discovery login goes to the portal's IP address and port number, and "
    "each target found becomes a Target group that can be logged in to like a target added by hand.",
    optional("TargetName", TEXT, "", 0, 255, "This parameter used to discover the address of this named target."));
const ChildDef stp_children[] = {
    subgroup(&stp_options),
    property("IPAddress", RO, IP, "", 0, 0, "0.0.0.0", stored,
             "This property displays the IP address of the send-target portal."),
    property("PortNumber", RO, INT, "", 1024, 65535, "3260", stored,
             "This property displays the port number of the send-target portal."),
    property("PortMacAddress", RO, TEXT, "", 17, 17, "00:00:00:00:00:00", stored,
             "This property displays the MAC address of the port the portal is added to."),
    DiscoverTargets,
};
const GroupDef stp = instanced("SendTargetPortal", 128, &stp_slots, stp_children,
                               "This group instance corresponds to a SendTarget Portal for discovering targets.");

TAVO_GROUP_BUILDER(SendTargetPortal, stp, "Corvane/iSCSIPhysicalHBA/LogicalHBA/Discovery");
