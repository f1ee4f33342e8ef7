// The controller's ChannelManagement: the multi-channel types the adapter
// supports and the current and configured type of a CV3 (read by the port
// branch, whose values depend on them), and switching multi-channel on or
// off on a CV3, after which every port's channels are built again.
#include <string.h>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace {

// The controller above a property of its ChannelManagement (the group
// itself for an action).
TavoNode* management_controller(TavoNode* group) {
  return group != nullptr && named(group, "ChannelManagement") != nullptr ? named(group->parent, "Corvane") : nullptr;
}

}  // namespace

uint32_t handle_SupportedMCTypes(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? management_controller(property->parent) : nullptr;
  if (controller == nullptr || buf == nullptr) return 1;
  return tavo::port::read_supported_mc_types(property->parent, buf);
}

uint32_t handle_ChannelManagement_details(TavoNode* property, char* buf, uint32_t) {
  TavoNode* group = property != nullptr ? property->parent : nullptr;
  if (management_controller(group) == nullptr || buf == nullptr) return 1;
  return tavo::port::read_management_type(group, property->name, buf);
}

uint32_t do_ConfigureChannelManagement(TavoNode* group, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* controller = management_controller(group);
  uint32_t result = 0;
  if (controller == nullptr || params == nullptr) return 1;
  if (!tavo::port::channel_management_cv3(controller, &result)) {
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
    if (tavo::port::read_supported_mc_types(group, supported) != 0) return 1;
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
