// The multi-channel types of a Moravel port as the profile groups show
// them, which the port's FCoE settings and flow control and the NIC's
// channels read.
#include <stdio.h>
#include <strings.h>

#include <string>
#include <vector>

#include "base/validate.h"
#include "controller/controller.h"
#include "port/config_prof.h"
#include "port/port_internal.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace {

// The controller of a ConfiguredProfile's Port; null when the groups
// above are not Port, ConfiguredProfile, ProfileManagement, Corvane.
TavoNode* mc_type_controller(TavoNode* profile_port) {
  static const char* const kLevels[] = {"Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* at = profile_port;
  for (const char* name : kLevels) {
    if (at == nullptr || tavo::tree::group_above(at, name) != at) return nullptr;
    if (name != kLevels[3]) at = at->parent;
  }
  return at;
}

}  // namespace

uint32_t tavo::port::read_configured_mc_type(TavoNode* profile_port, char text[TAVO_VALUE_SIZE]) {
  TavoNode* controller = mc_type_controller(profile_port);
  TavoNode* property = internal_get_node(profile_port, "MCType", TAVO_KIND_PROPERTY);
  if (controller == nullptr || property == nullptr || text == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationCV2:
    case kGenerationCV3:
    case kGenerationGaltor:
      return store_and_answer(property, "None", text);
    default:
      break;
  }
  if (vm_flag) {
    snprintf(text, TAVO_VALUE_SIZE, "N/A");
    return 0;
  }
  std::vector<std::string> numbers;
  for (TavoNode* f = get_first_instance(profile_port, "Function"); f != nullptr; f = tree::next_instance(f)) {
    char number[TAVO_VALUE_SIZE];
    if (internal_get_property(f, "FunctionNumber", number) != 0) return 1;
    numbers.emplace_back(number);
  }
  // A port without functions has no line: its stored value stands.
  char fields[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE] = {};
  if (!numbers.empty() &&
      TAVO_get_config_prof_prop(controller, numbers.front().c_str(), fields, TAVO_CPROF_FUNCTION_LINE) == 0)
    set_prop_val(profile_port, "MCType", "%s", fields[TAVO_CPROF_MC_TYPE]);
  return answer_stored(property, text);
}

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
  if (configured == nullptr || tavo::port::read_configured_mc_type(configured, configured_type) != 0 ||
      internal_get_property(g.management, "RebootRequired", reboot_required) != 0)
    return 1;
  return 0;
}
