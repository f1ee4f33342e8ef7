// The multi-channel types of a Moravel port as the profile groups show
// them, which the port's FCoE settings and the NIC's channels both read.
#include <strings.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "port/port_internal.h"

tavo::port::ProfileGroups tavo::port::profile_groups(TavoNode* controller) {
  ProfileGroups g;
  if (controller == nullptr) return g;
  g.management = internal_get_node(controller, "ProfileManagement", TAVO_KIND_GROUP);
  if (g.management == nullptr) return g;
  g.active = internal_get_node(g.management, "ActiveProfile", TAVO_KIND_GROUP);
  g.configured = internal_get_node(g.management, "ConfiguredProfile", TAVO_KIND_GROUP);
  return g;
}

uint32_t TAVO_get_mvk_mc_type(TavoNode* controller, TavoNode* port, char* current_type, char* configured_type,
                              char* reboot_required) {
  for (char* text : {current_type, configured_type, reboot_required})
    if (text != nullptr) text[0] = '\0';
  if (controller == nullptr || port == nullptr || current_type == nullptr || configured_type == nullptr ||
      reboot_required == nullptr)
    return 1;
  const tavo::port::ProfileGroups g = tavo::port::profile_groups(controller);
  char number[TAVO_VALUE_SIZE] = "", interface[TAVO_VALUE_SIZE] = "";
  long long n = 0;
  if (g.management == nullptr || g.active == nullptr || g.configured == nullptr ||
      internal_get_property(port, "PortNumber", number) != 0 || tavo::base::parse_number(number, &n) != 0 || n < 0 ||
      n > 0xFFFF || internal_get_property(port, "InterfaceType", interface) != 0)
    return 1;
  // Each view's port is the one whose descriptor carries the port's link
  // number, not the one counted to it.
  const auto link = static_cast<uint32_t>(n);
  if (strcasecmp(interface, "Unknown") != 0) {
    TavoNode* active = tavo::controller::profile_port_of_link(controller, g.active, tavo::kProfileActive, link);
    if (active == nullptr || internal_get_property(active, "MCType", current_type) != 0) return 1;
  }
  TavoNode* configured =
      tavo::controller::profile_port_of_link(controller, g.configured, tavo::kProfileConfigured, link);
  if (configured == nullptr || internal_get_property(configured, "MCType", configured_type) != 0 ||
      internal_get_property(g.management, "RebootRequired", reboot_required) != 0)
    return 1;
  return 0;
}
