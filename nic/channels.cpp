// The channels of a port: built from the controller's configured profile
// (one per NIC, iSCSI or FCoE function on the port), the multi-channel
// state of the port, and the handlers of a channel's properties, which
// read the channel's descriptor of the active or configured profile.
#include <stdio.h>
#include <string.h>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/nic_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace tavo::nic {
namespace {

constexpr ChannelLayout kChannelLayouts[] = {
    {kProfileNic, "NIC", 10, 44, 45, 48, 52},
    {kProfileIscsi, "iSCSI", 14, 32, 33, 36, 40},
    {kProfileFcoe, "FCOE", 40, 52, 53, 56, 60},
};

}  // namespace

const ChannelLayout* channel_layout(uint8_t type) {
  for (const ChannelLayout& l : kChannelLayouts)
    if (l.type == type) return &l;
  return nullptr;
}

const ChannelLayout* channel_layout_of(const char* type) {
  if (same(type, "NIC+RoCE")) return channel_layout(kProfileNic);
  for (const ChannelLayout& l : kChannelLayouts)
    if (same(type, l.name)) return &l;
  return nullptr;
}

bool channel_place(TavoNode* channel, ChannelPlace* out) {
  out->channel = named(channel, "Channel");
  out->management = out->channel != nullptr ? named(out->channel->parent, "ChannelManagement") : nullptr;
  out->port = out->management != nullptr ? named(out->management->parent, "PortDiscoveryAndConfiguration") : nullptr;
  out->controller = out->port != nullptr ? named(out->port->parent, "Corvane") : nullptr;
  return out->controller != nullptr;
}

bool mc_state(const ChannelPlace& place, unsigned wanted, McState* out) {
  *out = McState{};
  switch (get_cv_type(place.controller)) {
    case kGenerationCV3: {
      TavoNode* types = internal_get_node(place.controller, "ChannelManagement", TAVO_KIND_GROUP);
      if (types == nullptr) return false;
      snprintf(out->reboot, sizeof out->reboot, "No");
      return ((wanted & kMcCurrent) == 0 ||
              tavo::port::read_management_type(types, "CurrentManagementType", out->current) == 0) &&
             ((wanted & kMcConfigured) == 0 ||
              tavo::port::read_management_type(types, "ConfiguredManagementType", out->configured) == 0);
    }
    case kGenerationMoravel:
      return TAVO_get_mvk_mc_type(place.controller, place.port, out->current, out->configured, out->reboot) == 0;
    default:
      return true;
  }
}

uint32_t channel_read(const ChannelPlace& place, TavoNode* property, bool active, bool quiet) {
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(place.controller, active ? kProfileActive : kProfileConfigured, 0, 0));
  if (!config) return 1;
  if (TAVO_get_mchannel_params(place.channel, property, config.get()) != 0) {
    if (!quiet) base::set_status(278);
    return 1;
  }
  return 0;
}

}  // namespace tavo::nic

namespace {

// The start of a channel property handler: the operations it serves and
// the channel's place.
bool channel_begin(TavoNode* property, char* buf, ChannelPlace* place) {
  return property != nullptr && buf != nullptr && channel_place(property->parent, place);
}

// vNIC1 and UFP channels show what the adapter runs.
bool runs_active(const char* type) { return same(type, "vNIC1") || same(type, "UFP"); }

uint32_t channels_bandwidth(TavoNode* property, char* buf) {
  ChannelPlace at;
  McState s;
  if (!channel_begin(property, buf, &at) || !mc_state(at, kMcCurrent, &s)) return 1;
  const uint32_t result = channel_read(at, property, runs_active(s.current), false);
  answer_stored(property, buf);
  return result;
}

// The value the tree took, in the list's spelling.
const char* link_state_text(const char* value) { return same(value, "Enabled") ? "Enabled" : "Disabled"; }

}  // namespace

uint32_t TAVO_initialize_channels(uint8_t type, const char* pf, TavoNode* channel_management,
                                  const uint8_t* descriptor) {
  if (pf == nullptr || channel_management == nullptr || descriptor == nullptr) return 1;
  if (type == kProfileRoce) {
    for (TavoNode* channel : instances_of(channel_management, "Channel")) {
      char kind[TAVO_VALUE_SIZE], number[TAVO_VALUE_SIZE];
      stored_text(channel, "Type", kind);
      stored_text(channel, "FunctionNumber", number);
      if (same(kind, "NIC") && same(number, pf)) return set_prop_val(channel, "Type", "NIC+RoCE");
    }
    return 0;
  }
  const ChannelLayout* l = channel_layout(type);
  if (l == nullptr) return 0;
  TavoNode* channel = initialize_Channel(channel_management, nullptr, nullptr, nullptr);
  if (channel == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "Failed to initialize Channel group.\n");
    return 1;
  }
  char mac[18];
  mac_text(descriptor + l->mac, mac);
  set_prop_val(channel, "FunctionNumber", "%s", pf);
  set_prop_val(channel, "Type", "%s", l->name);
  set_prop_val(channel, "LogicalLinkState", "%s",
               (descriptor[l->link_flags] & kLinkDisabled) != 0 ? "Disabled" : "Enabled");
  set_prop_val(channel, "MACAddress", "%s", mac);
  if (type == kProfileNic)
    set_prop_val(channel, "LPVID", "%u", u16_at(descriptor, kLpvidAt));
  else
    set_prop_val(channel, "LPVID", "N/A");
  set_prop_val(channel, "MinBandWidth", "%u", u32_at(descriptor, l->min));
  set_prop_val(channel, "MaxBandWidth", "%u", u32_at(descriptor, l->max));
  return 0;
}

uint32_t TAVO_get_multi_channels_info(uint32_t port_number, TavoNode* port) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* controller = port != nullptr ? named(port->parent, "Corvane") : nullptr;
  if (controller == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationGaltor:
      return 0;
    default:
      break;
  }
  TavoNode* channels = internal_get_node(port, "ChannelManagement", TAVO_KIND_GROUP);
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (channels == nullptr || !fn) return 1;
  uint32_t status = 0;
  const auto config =
      read_profile(fn, tavo::controller::controller_transport(controller), kProfileConfigured, 0, 0, &status);
  if (!config) {
    if (status != 16) nic_status(278);
    return status;
  }
  // Protocol descriptors count while the PCI function before them is
  // enabled; a RoCE one sits on the link of the descriptor before it.
  bool enabled = false;
  uint32_t link = 0, result = 0;
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             uint8_t full[kDescriptorSize] = {};
                             memcpy(full, d, length < sizeof full ? length : sizeof full);
                             if (full[0] == kProfilePciFunction) {
                               enabled = full[offsetof(ProfilePciFunctionDescriptor, pf_state)] == 1;
                               return true;
                             }
                             if (full[0] < kProfileNic || full[0] > kProfileRoce) return true;
                             if (const ChannelLayout* l = channel_layout(full[0])) link = full[l->link] & kLinkMask;
                             if (!enabled ||
                                 (full[offsetof(ProfileResourceDescriptor, flags)] & kDescriptorVfTemplate) != 0 ||
                                 link != port_number)
                               return true;
                             char pf[TAVO_VALUE_SIZE];
                             pf_text(pf_number_of(u16_at(full, offsetof(ProfileResourceDescriptor, pf))), pf);
                             result = TAVO_initialize_channels(full[0], pf, channels, full);
                             return result == 0;
                           });
  return result;
}

uint32_t group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement(TavoNode* group) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* port = group != nullptr ? named(group->parent, "PortDiscoveryAndConfiguration") : nullptr;
  char number[TAVO_VALUE_SIZE] = "";
  long long n = 0;
  if (port == nullptr || named(port->parent, "Corvane") == nullptr ||
      internal_get_property(port, "PortNumber", number) != 0 || !parse_within(number, 0, 0xFFFFFFFF, &n))
    return 1;
  purge_nodes_within(group, "Channel");
  TAVO_get_multi_channels_info(static_cast<uint32_t>(n), port);
  return 0;
}

uint32_t handle_MinBandWidth(TavoNode* property, char* buf, uint32_t) { return channels_bandwidth(property, buf); }

uint32_t handle_MaxBandWidth(TavoNode* property, char* buf, uint32_t) { return channels_bandwidth(property, buf); }

uint32_t handle_LogicalLinkState(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  ChannelPlace at;
  McState s;
  if (!channel_begin(property, buf, &at) || !mc_state(at, op == TAVO_PROPERTY_GET ? kMcCurrent : kMcAll, &s)) return 1;
  if (op == TAVO_PROPERTY_GET)
    return channel_read(at, property, runs_active(s.current), false) != 0 ? 1 : answer_stored(property, buf);
  if (no_mc_type(s.configured)) {
    nic_status(323);
    return 1;
  }
  const char* value = link_state_text(buf);
  if (TAVO_set_mchannel_params(at.controller, at.channel, property, value, s.current, s.reboot) != 0) return 1;
  return set_prop_val(at.channel, "LogicalLinkState", "%s", value);
}

uint32_t handle_LPVID(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  ChannelPlace at;
  McState s;
  if (!channel_begin(property, buf, &at) || !mc_state(at, op == TAVO_PROPERTY_GET ? kMcConfigured : kMcAll, &s))
    return 1;
  // UFP keeps no LPVID of its own.
  if (same(s.configured, "UFP")) return tavo::controller::not_applicable_here(property, buf, op, kNotOnThisController);
  if (op == TAVO_PROPERTY_GET)
    return channel_read(at, property, same(s.configured, "vNIC1"), false) != 0 ? 1 : answer_stored(property, buf);
  if (no_mc_type(s.configured)) {
    nic_status(323);
    return 1;
  }
  long long vlan = 0;
  if (!parse_within(buf, 0, 4094, &vlan)) return 1;
  if (vlan < 2 && !same(s.current, "vNIC1")) {
    nic_status(308);
    return 1;
  }
  char text[TAVO_VALUE_SIZE];
  snprintf(text, sizeof text, "%lld", vlan);
  if (TAVO_set_mchannel_params(at.controller, at.channel, property, text, s.current, s.reboot) != 0) return 1;
  return set_prop_val(at.channel, "LPVID", "%s", text);
}

uint32_t handle_channel_outer_vlan(TavoNode* property, char* buf, uint32_t) {
  ChannelPlace at;
  McState s;
  if (!channel_begin(property, buf, &at) || !mc_state(at, kMcConfigured, &s)) return 1;
  if (!runs_active(s.configured)) return tavo::controller::store_and_answer(property, "N/A", buf);
  return channel_read(at, property, true, true) != 0 ? 1 : answer_stored(property, buf);
}

uint32_t handle_channel_vnic_name(TavoNode* property, char* buf, uint32_t) {
  ChannelPlace at;
  McState s;
  if (!channel_begin(property, buf, &at) || !mc_state(at, kMcCurrent, &s)) return 1;
  if (!runs_active(s.current)) return tavo::controller::store_and_answer(property, "N/A", buf);
  char number[TAVO_VALUE_SIZE] = "", type[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(at.channel, "FunctionNumber", number) != 0 ||
      internal_get_property(at.channel, "Type", type) != 0)
    return 1;
  const bool nic = same(type, "NIC");
  if (!nic && !same(type, "iSCSI")) return tavo::controller::store_and_answer(property, "", buf);
  TavoNode* function = nullptr;
  for (TavoNode* f : instances_of(at.controller, nic ? "NICPhysicalHBA" : "iSCSIPhysicalHBA")) {
    TavoNode* pci = internal_get_node(f, "PCI", TAVO_KIND_GROUP);
    char text[TAVO_VALUE_SIZE] = "";
    if (pci == nullptr || internal_get_property(pci, "FunctionNumber", text) != 0) return 1;
    if (same(text, number)) {
      function = f;
      break;
    }
  }
  if (function == nullptr) return answer_stored(property, buf);
  const HandlerContext c = handler_context(function);
  VnicName record{};
  if (!c || ioctl_get_vnic_function_name(c.number, &record, c.domain, c.port, nic ? TAVO_VIA_NIC : TAVO_VIA_ISCSI) != 0)
    return 1;
  if (record.enabled != 1) return tavo::controller::store_and_answer(property, "", buf);
  tavo::controller::store_field(at.channel, "vNICName", record.name, sizeof record.name);
  return answer_stored(property, buf);
}
