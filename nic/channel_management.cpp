// The controller's ChannelManagement: the multi-channel types the adapter
// supports (its capability word), the current and configured type of a
// CV3 (its port descriptors), and switching multi-channel on or off on a
// CV3, after which every port's channels are built again.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace {

// The capability bits of the multi-channel types, in the order they are
// listed; UMC only where vNIC2 (which includes it) is not announced.
struct McCapability {
  uint32_t bit;
  const char* name;
};
constexpr McCapability kMcCapabilities[] = {
    {1u << 5, "vNIC2"}, {1u << 0, "UMC"},   {1u << 3, "NPAR"},    {1u << 4, "vNIC1"},
    {1u << 6, "UFP"},   {1u << 9, "HPUMC"}, {1u << 10, "HPFlex"}, {1u << 7, "HPFlexQBG"},
};
constexpr uint32_t kVnic2 = 1u << 5, kUmc = 1u << 0;

// How a CV3 shows a port descriptor's code; null for the codes (8 and up)
// that leave the value as it was.
const char* management_name(uint8_t code) {
  switch (code) {
    case 2:
      return "UMC";
    case 4:
      return "vNIC1";
    case 5:
      return "NPAR";
    case 6:
      return "UFP";
    case 7:
      return "vNIC2";
    default:
      return code < 8 ? "N/A" : nullptr;
  }
}

// The controller above a property of its ChannelManagement (the group
// itself for an action).
TavoNode* management_controller(TavoNode* group) {
  return group != nullptr && named(group, "ChannelManagement") != nullptr ? named(group->parent, "Corvane") : nullptr;
}

// Whether the function's capabilities say channels do not apply (the
// firmware configuration's answer is not looked at: a failed read reads
// as zeros).
bool management_not_applicable(TavoNode* controller, const HandlerContext& fn) {
  FirmwareConfig config{};
  ioctl_get_fw_config(fn.number, &config, fn.domain, fn.port, tavo::controller::controller_transport(controller));
  return (config.capabilities & kCapabilityNoChannels) != 0;
}

// Whether the controller's generation manages channels here (CV3, or an
// unknown one); false with *result 1 (unreadable) or 0 (another).
bool management_cv3(TavoNode* controller, uint32_t* result) {
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      *result = 1;
      return false;
    case kGenerationCV2:
    case kGenerationGaltor:
    case kGenerationMoravel:
      *result = 0;
      return false;
    default:
      return true;
  }
}

uint32_t management_both(TavoNode* group, TavoNode* property, const char* value, char* buf) {
  set_prop_val(group, "CurrentManagementType", "%s", value);
  set_prop_val(group, "ConfiguredManagementType", "%s", value);
  return answer_stored(property, buf);
}

}  // namespace

uint32_t handle_SupportedMCTypes(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? management_controller(property->parent) : nullptr;
  if (controller == nullptr || buf == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationCV2:
    case kGenerationGaltor:
      return tavo::controller::store_and_answer(property, "N/A", buf);
    default:
      break;
  }
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  if (management_not_applicable(controller, fn)) return tavo::controller::store_and_answer(property, "N/A", buf);
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  CapabilityRecord caps{};
  if (ioctl_get_capabilities(fn.number, &caps, fn.domain, fn.port, tavo::controller::controller_instance(controller)) !=
      0) {
    nic_status(292);
    return 1;
  }
  std::string list;
  for (const McCapability& c : kMcCapabilities) {
    if ((caps.word & c.bit) == 0 || (c.bit == kUmc && (caps.word & kVnic2) != 0)) continue;
    if (!list.empty()) list += ',';
    list += c.name;
  }
  return tavo::controller::store_and_answer(property, list.empty() ? "N/A" : list.c_str(), buf);
}

uint32_t handle_ChannelManagement_details(TavoNode* property, char* buf, uint32_t) {
  TavoNode* group = property != nullptr ? property->parent : nullptr;
  TavoNode* controller = management_controller(group);
  uint32_t result = 0;
  if (controller == nullptr || buf == nullptr) return 1;
  if (!management_cv3(controller, &result)) return result != 0 ? result : management_both(group, property, "N/A", buf);
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  char supported[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(group, "SupportedMCTypes", supported) != 0) return 1;
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  if (same(supported, "N/A") || management_not_applicable(controller, fn))
    return management_both(group, property, "N/A", buf);
  const bool current = same(property->name, "CurrentManagementType");
  base::Counted<ProfileConfigBuffer> config(
      TAVO_get_profile(controller, current ? kProfileActive : kProfileConfigured, 0, 0));
  if (!config) return 1;
  // The last port descriptor decides.
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] != kProfilePort) return true;
                             const auto port = profile_descriptor_padded<ProfilePortDescriptor>(d, length);
                             if (const char* name = management_name(port.mc_type))
                               set_prop_val(group, property->name, "%s", name);
                             return true;
                           });
  return answer_stored(property, buf);
}

uint32_t do_ConfigureChannelManagement(TavoNode* group, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* controller = management_controller(group);
  uint32_t result = 0;
  if (controller == nullptr || params == nullptr) return 1;
  if (!management_cv3(controller, &result)) {
    if (result == 0) nic_status(289);
    return 1;
  }
  const char* type = params + TAVO_VALUE_SIZE;
  uint8_t code = kMcTypeNone;
  if (same(params, "Enabled")) {
    if (type[0] == '\0') {
      nic_status(293);
      return 1;
    }
    char supported[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(group, "SupportedMCTypes", supported) != 0) return 1;
    if (!mc_type_supported(supported, type)) {
      nic_status(294);
      return 1;
    }
    code = mc_type_code(type);
    if (code == kMcTypeNone || code == 3 || code == 8) code = 0;
  }
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  auto request = base::counted_zeroed<ProfileDescriptorSet>();
  if (!request) {
    base::set_status(16);
    return 1;
  }
  ProfilePortDescriptor port{};
  port.type = kProfilePort;
  port.length = sizeof port;
  port.mc_type = code;
  request->count = 1;
  memcpy(request->descriptor, &port, sizeof port);
  if (ioctl_set_profile_config(fn.number, request.get(), sizeof *request, fn.domain, fn.port,
                               tavo::controller::controller_transport(controller)) != 0) {
    tavo::controller::controller_status(283);
    return 1;
  }
  ResetNeeded reset{};
  if (ioctl_get_reset_needed(fn.number, &reset, fn.domain, fn.port,
                             tavo::controller::controller_instance(controller)) != 0) {
    tavo::controller::controller_status(279);
    return 1;
  }
  if (reset.change != 0) nic_status(284);
  // Every port's channels again; a failure leaves the ports after it
  // without channels.
  const std::vector<TavoNode*> ports = instances_of(controller, "PortDiscoveryAndConfiguration");
  if (ports.empty()) return 1;
  for (TavoNode* p : ports) {
    char number[TAVO_VALUE_SIZE] = "";
    long long n = 0;
    TavoNode* channels = internal_get_node(p, "ChannelManagement", TAVO_KIND_GROUP);
    if (internal_get_property(p, "PortNumber", number) != 0 || !parse_within(number, 0, 0xFFFF, &n) ||
        channels == nullptr || purge_nodes_within(channels, "Channel") != 0 ||
        TAVO_get_multi_channels_info(static_cast<uint32_t>(n), p) != 0)
      return 1;
  }
  return 0;
}
