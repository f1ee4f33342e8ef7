// The controller's multi-channel types as its ChannelManagement group shows
// them: the types the adapter supports (its capability word) and the
// current and configured type of a CV3 (its port descriptors). The port's
// DCBX and FCoE values depend on them, and the NIC branch shows them.
#include <string.h>
#include <strings.h>

#include <string>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/nic_records.h"
#include "transport/profile_records.h"

namespace {

using tavo::tree::Commands;
using tavo::tree::HandlerContext;

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
const char* channel_type_name(uint8_t code) {
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

// Whether the function's capabilities say channels do not apply (the
// firmware configuration's answer is not looked at: a failed read reads
// as zeros).
bool channel_types_not_applicable(TavoNode* controller, const HandlerContext& fn) {
  tavo::FirmwareConfig config{};
  ioctl_get_fw_config(fn.number, &config, fn.domain, fn.port, tavo::controller::controller_transport(controller));
  return (config.capabilities & tavo::kCapabilityNoChannels) != 0;
}

// The value stored in the group's property, copied into text; 0.
uint32_t channel_types_store(TavoNode* channels, const char* name, const char* value, char* text) {
  set_prop_val(channels, name, "%s", value);
  TavoNode* property = internal_get_node(channels, name, TAVO_KIND_PROPERTY);
  if (property == nullptr) return 1;
  return tavo::port::answer_stored(property, text);
}

uint32_t channel_types_both(TavoNode* channels, const char* name, const char* value, char* text) {
  set_prop_val(channels, "CurrentManagementType", "%s", value);
  set_prop_val(channels, "ConfiguredManagementType", "%s", value);
  return channel_types_store(channels, name, value, text);
}

TavoNode* channel_types_controller(TavoNode* channels) {
  return channels != nullptr && tavo::tree::group_above(channels, "ChannelManagement") == channels
             ? tavo::tree::group_above(channels->parent, "Corvane")
             : nullptr;
}

}  // namespace

bool tavo::port::channel_management_cv3(TavoNode* controller, uint32_t* result) {
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

uint32_t tavo::port::read_supported_mc_types(TavoNode* channels, char text[TAVO_VALUE_SIZE]) {
  TavoNode* controller = channel_types_controller(channels);
  if (controller == nullptr || text == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationCV2:
    case kGenerationGaltor:
      return channel_types_store(channels, "SupportedMCTypes", "N/A", text);
    default:
      break;
  }
  const HandlerContext fn = tree::handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  if (channel_types_not_applicable(controller, fn))
    return channel_types_store(channels, "SupportedMCTypes", "N/A", text);
  if (vm_flag) return refuse_on_vf(text);
  CapabilityRecord caps{};
  if (ioctl_get_capabilities(fn.number, &caps, fn.domain, fn.port, controller::controller_instance(controller)) != 0) {
    port_status(292);
    return 1;
  }
  std::string list;
  for (const McCapability& c : kMcCapabilities) {
    if ((caps.word & c.bit) == 0 || (c.bit == kUmc && (caps.word & kVnic2) != 0)) continue;
    if (!list.empty()) list += ',';
    list += c.name;
  }
  return channel_types_store(channels, "SupportedMCTypes", list.empty() ? "N/A" : list.c_str(), text);
}

uint32_t tavo::port::read_management_type(TavoNode* channels, const char* name, char text[TAVO_VALUE_SIZE]) {
  TavoNode* controller = channel_types_controller(channels);
  uint32_t result = 0;
  if (controller == nullptr || name == nullptr || text == nullptr) return 1;
  if (!channel_management_cv3(controller, &result))
    return result != 0 ? result : channel_types_both(channels, name, "N/A", text);
  if (vm_flag) return refuse_on_vf(text);
  char supported[TAVO_VALUE_SIZE] = "";
  if (read_supported_mc_types(channels, supported) != 0) return 1;
  const HandlerContext fn = tree::handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  if (strcasecmp(supported, "N/A") == 0 || channel_types_not_applicable(controller, fn))
    return channel_types_both(channels, name, "N/A", text);
  const bool current = strcasecmp(name, "CurrentManagementType") == 0;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, current ? kProfileActive : kProfileConfigured, 0, 0));
  if (!config) return 1;
  // The last port descriptor decides.
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] != kProfilePort) return true;
                             const auto port = profile_descriptor_padded<ProfilePortDescriptor>(d, length);
                             if (const char* type = channel_type_name(port.mc_type))
                               set_prop_val(channels, name, "%s", type);
                             return true;
                           });
  TavoNode* property = internal_get_node(channels, name, TAVO_KIND_PROPERTY);
  return property != nullptr ? answer_stored(property, text) : 1;
}
