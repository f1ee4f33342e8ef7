// The SendTargetPortal branch: one send-target portal under the Discovery
// group of a LogicalHBA, with its login options.
#include "iscsi/targets/login_option_defs.h"

using namespace tavo::targets::defs;

namespace {

tavo::tree::SlotArea stp_slots;

constexpr auto stp_auth_children = authentication_rows(
    {handle_authentication_stploginoptions, handle_authentication_stploginoptions,
     handle_authentication_stploginoptions, handle_authentication_stploginoptions,
     handle_authentication_stploginoptions, handle_authentication_stploginoptions},
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_ConfigureCHAP_action,
    &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_DeleteCHAP_action);
const GroupDef stp_auth = {"Authentication",
                           "This group consists of the authentication options used to create a discovery session "
                           "with the SendTarget Portal.",
                           0, 0, nullptr, stp_auth_children};
constexpr auto stp_option_children = login_option_rows(handle_stploginoptions, &stp_auth);
const GroupDef stp_options = {"SendTargetPortalLoginOptions",
                              "This group consists of the login options used to create a discovery session with the "
                              "SendTarget Portal.",
                              0, 0, nullptr, stp_option_children};

// The portal's creator stores its real values right after the build.
const ChildDef stp_children[] = {
    subgroup(&stp_options),
    property("IPAddress", "This property displays the IP address of the send-target portal.", RO, IP, "", 0, 0,
             "0.0.0.0", STORED),
    property("PortNumber", "This property displays the port number of the send-target portal.", RO, INT, "", 1024,
             65535, "3260", STORED),
    property("PortMacAddress", "This property displays the MAC address of the port the portal is added to.", RO, TEXT,
             "", 17, 17, "00:00:00:00:00:00", STORED),
    action("DiscoverTargets",
           "This command starts a discovery session: a discovery login goes to the portal's IP address and port "
           "number, and each target found becomes a Target group that can be logged in to like a target added by "
           "hand.",
           &ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_DiscoverTargets_action),
};
const GroupDef stp = {"SendTargetPortal", "This group instance corresponds to a SendTarget Portal for discovering "
                      "targets.", 128, 0, nullptr, stp_children, &stp_slots};

}  // namespace

const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_ConfigureCHAP_action =
        chap_descriptor(do_ConfigureCHAP);
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_SendTargetPortalLoginOptions_Authentication_DeleteCHAP_action = {
        do_DeleteCHAP, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_LogicalHBA_Discovery_SendTargetPortal_DiscoverTargets_action = {
    do_DiscoverTargets, 0, 1,
    {{0, "TargetName", "This parameter used to discover the address of this named target.", TEXT, "", 0, 255}}};

TavoNode* initialize_SendTargetPortal(TavoNode* discovery, TavoNode* creating_node, TavoNode* creating_action,
                                      char* params) {
  return tavo::tree::build_group(stp, discovery, creating_node, creating_action, params);
}
