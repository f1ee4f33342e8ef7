// ARI on a Moravel adapter: the highest PCI function number it exposes
// (the IPL's, the configured one and whether it may change), the choice
// of it for the next reset, and how many functions a port may have.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "nic/profile_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"

using namespace tavo::nic;

namespace {

// The maximum function numbers the adapter accepts.
constexpr long kAriChoices[] = {7, 15};

// The three ARI values of ConfiguredProfile, from one reading (94/1).
uint32_t ari_read(TavoNode* property, char* buf) {
  if (buf == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  static constexpr const char* kLevels[] = {"ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[3];
  if (!groups_above(property, kLevels, levels)) return 1;
  TavoNode* configured = levels[0];
  TavoNode* controller = levels[2];
  uint32_t result = 0;
  if (!profiles_apply(controller, property, TAVO_PROPERTY_GET, "N/A", buf, &result)) return result;
  const HandlerContext c = handler_context(property);
  if (!c) return 1;
  tavo::AriSettingsRecord ari{};
  const uint32_t status =
      ioctl_get_ari_settings(c.number, &ari, c.domain, c.port, tavo::controller::controller_transport(controller));
  if (status == tavo::controller::kVersionNotSupported) {
    for (const char* name : {"IPLMaxFunctionNumber", "MaxFunctionNumber", "SettableMaxFunctionNumber"})
      set_prop_val(configured, name, "N/A");
  } else if (status != 0) {
    nic_status(314);
    return 1;
  } else {
    set_prop_val(configured, "IPLMaxFunctionNumber", "%d", ari.ipl_max_pf);
    set_prop_val(configured, "MaxFunctionNumber", "%d", ari.next_max_pf);
    set_prop_val(configured, "SettableMaxFunctionNumber", "%s", (ari.flags & tavo::kAriChangeable) ? "Yes" : "No");
  }
  return answer_stored(property, buf);
}

}  // namespace

uint32_t handle_IPLMaxFunctionNumber(TavoNode* property, char* buf, uint32_t) { return ari_read(property, buf); }

uint32_t handle_SettableMaxFunctionNumber(TavoNode* property, char* buf, uint32_t) {
  return ari_read(property, buf);
}

uint32_t handle_MaxFunctionNumber(TavoNode* property, char* buf, uint32_t) { return ari_read(property, buf); }

uint32_t handle_MaxFunctionsPerPort(TavoNode* property, char* buf, uint32_t) {
  if (buf == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  static constexpr const char* kLevels[] = {"ProfileManagement", "Corvane"};
  TavoNode* levels[2];
  uint32_t result = 0;
  if (!groups_above(property, kLevels, levels)) return 1;
  if (!profiles_apply(levels[1], property, TAVO_PROPERTY_GET, "N/A", buf, &result)) return result;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(levels[1], tavo::kProfileConfigured, 0, 0));
  if (!config) return 1;
  // The most functions of the last port descriptor; 0 without one.
  uint32_t most = 0;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(tavo::ProfileConfigBuffer),
                                 [&](const uint8_t* d, size_t length) {
                                   if (d[0] == tavo::kProfilePort)
                                     most = tavo::count12_of(
                                         tavo::profile_descriptor_padded<tavo::ProfilePortDescriptor>(d, length)
                                             .max_pf_count);
                                   return true;
                                 });
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%u", most);
  return tavo::controller::store_and_answer(property, text, buf);
}

uint32_t do_SetMaxFunctionNumber(TavoNode* configured, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (configured == nullptr || action == nullptr || params == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  TavoNode* management = named(configured->parent, "ProfileManagement");
  TavoNode* controller = management != nullptr ? named(management->parent, "Corvane") : nullptr;
  if (controller == nullptr || profile_support(controller) != ProfileSupport::Supported) return 1;
  // As its last read left it: "No" until then.
  char settable[TAVO_VALUE_SIZE] = "";
  TavoNode* property = internal_get_node(configured, "SettableMaxFunctionNumber", TAVO_KIND_PROPERTY);
  if (property == nullptr || answer_stored(property, settable) != 0 || strcasecmp(settable, "No") == 0) {
    nic_status(316);
    return 1;
  }
  tavo::AriSettingsRecord request{};
  if (params[0] == '\0') {
    request.flags = tavo::kAriChangeable;  // back to the default
  } else {
    char* end = nullptr;
    const long number = strtol(params, &end, 10);
    if (*end != '\0' || (number != kAriChoices[0] && number != kAriChoices[1])) {
      nic_status(6);
      return 1;
    }
    request.next_max_pf = static_cast<uint8_t>(number);
  }
  const HandlerContext fn = handler_context(action);
  if (!fn) return 1;
  if (change_and_rebuild(controller, 314, [&] {
        return ioctl_set_ari_settings(fn.number, &request, fn.domain, fn.port,
                                      tavo::controller::controller_transport(controller));
      }) != 0)
    return 1;
  nic_status(280);
  return 0;
}
