// Channel changes: QoS (ConfigureQoS) and the logical link state and LPVID
// of a channel, each one edited copy of the channel's descriptor written
// to the configured profile (a partial 165 write); the channel values read
// back from a descriptor; and the channel settings SaveProfile carries
// across a profile change.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "transport/commands.h"
#include "transport/nic_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace {

// Byte 3 of a written channel descriptor: bit 6 the change applies now,
// bit 4 cleared by a QoS write, bit 2 a changed channel, bits 1 and 7
// always cleared.
constexpr uint8_t kChannelActive = 0x40;
constexpr uint8_t kChannelQosCleared = 0x10;
constexpr uint8_t kChannelChanged = 0x04;
constexpr uint8_t kChannelCleared = 0x82;
// Byte 2 bit 7: a parameter change; byte 47 bits 4-7: the outer VLAN kept.
constexpr uint8_t kChannelParameter = 0x80;
constexpr uint8_t kOuterVlanKept = 0xF0;
// The u16 fields of a NIC descriptor the firmware keeps when all ones.
constexpr size_t kNicKeptWords[] = {8, 18, 20, 28, 32, 38, 60, 62};
constexpr uint32_t kAllOnes = 0xFFFFFFFF;

// A change takes effect at once while the port runs a multi-channel type
// and no reboot is pending.
bool qos_applies_now(const McState& s) { return !no_mc_type(s.current) && !same(s.reboot, "Yes"); }

// A channel's stored or handled value; false when it cannot be read.
bool qos_read(TavoNode* channel, const char* name, char text[TAVO_VALUE_SIZE]) {
  text[0] = '\0';
  return internal_get_property(channel, name, text) == 0;
}

// The changes every channel write makes to its copied descriptor.
void qos_common(uint8_t* d, const ChannelLayout& l, uint32_t pf, uint8_t phba_port, bool now) {
  d[0] = l.type;
  d[1] = kDescriptorSize;
  put_u16(d, offsetof(ProfileResourceDescriptor, pf),
          with_pf_number(u16_at(d, offsetof(ProfileResourceDescriptor, pf)), pf));
  uint8_t& flags = d[offsetof(ProfileResourceDescriptor, flags)];
  flags = static_cast<uint8_t>((flags & ~(kChannelCleared | kChannelActive)) | (now ? kChannelActive : 0));
  if (l.type != kProfileNic) return;
  for (const size_t at : kNicKeptWords) put_u16(d, at, 0xFFFF);
  d[l.link] = static_cast<uint8_t>((d[l.link] & ~kLinkMask) | (phba_port & kLinkMask));
}

// The LPVID of a NIC channel into its descriptor; a channel whose LPVID
// is not a number ("N/A") keeps the descriptor's.
void qos_lpvid(uint8_t* d, const char* lpvid) {
  long long vlan = 0;
  if (parse_within(lpvid, 0, 4095, &vlan)) put_u16(d, kLpvidAt, static_cast<uint16_t>(vlan));
}

// The channel's descriptor of config: a copy into out; false (status 283)
// when there is none to edit, so nothing is sent.
bool qos_target(const ProfileConfigBuffer& config, const ChannelLayout& l, const char* number, uint8_t* out) {
  char* end = nullptr;
  const unsigned long pf = strtoul(number, &end, 16);
  if (end != number && *end == '\0' &&
      channel_descriptor(
          config, l, [&](uint16_t n) { return n == pf; }, out))
    return true;
  pdebug(TAVO_LOG_BACKEND, 3, "%s:No descriptor of type %u for PCI function %s\n", __func__, l.type, number);
  tavo::controller::controller_status(283);
  return false;
}

// Sends one edited descriptor (165, 184 bytes); 0, or 1 with status 283.
uint32_t qos_send(const char* caller, TavoNode* controller, const HandlerContext& fn, uint8_t phba_port,
                  const uint8_t* d) {
  auto request = base::counted_zeroed<ProfileDescriptorSet>();
  if (!request) {
    base::set_status(16);
    return 1;
  }
  request->count = 1;
  memcpy(request->descriptor, d, sizeof request->descriptor);
  const uint32_t status = ioctl_set_profile_config(fn.number, request.get(), sizeof *request, fn.domain, phba_port,
                                                   tavo::controller::controller_transport(controller));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:status of ioctl_set_profile_config = %d\n", caller, static_cast<int>(status));
    tavo::controller::controller_status(283);
    return 1;
  }
  return 0;
}

McPropRecord* qos_row(McPropRecord* table, uint32_t port_index) { return table + port_index * TAVO_MC_CHANNELS; }

}  // namespace

uint32_t do_ConfigureQoS(TavoNode* channel, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  ChannelPlace at;
  if (params == nullptr || !channel_place(channel, &at)) return 1;
  HandlerContext fn = handler_context(at.controller, Commands::OfController);
  if (!fn) return 1;
  const HandlerContext above = handler_context(action != nullptr ? action : channel);
  fn.domain = above.domain;
  McState s;
  if (!mc_state(at, kMcAll, &s)) return 1;
  if (no_mc_type(s.configured)) {
    nic_status(323);
    return 1;
  }
  if (same(s.configured, "vNIC1") || same(s.configured, "UFP")) {
    nic_status(285);
    return 285;
  }
  long long minimum = 0, maximum = 0;
  if (!parse_within(params, 0, 100, &minimum) || !parse_within(params + TAVO_VALUE_SIZE, 0, 100, &maximum)) return 1;
  if (minimum > maximum) {
    nic_status(287);
    return 1;
  }
  char number[TAVO_VALUE_SIZE], lpvid[TAVO_VALUE_SIZE], type[TAVO_VALUE_SIZE];
  if (!qos_read(at.channel, "FunctionNumber", number) || !qos_read(at.channel, "LPVID", lpvid) ||
      !qos_read(at.channel, "Type", type))
    return 1;
  const ChannelLayout* l = channel_layout_of(type);
  if (l == nullptr) return 1;
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(at.controller, kProfileConfigured, 0, 0));
  uint8_t d[kDescriptorSize];
  if (!config || !qos_target(*config, *l, number, d)) return 1;
  qos_common(d, *l, pf_number_of(static_cast<uint16_t>(strtoul(number, nullptr, 16))), above.port, qos_applies_now(s));
  uint8_t& flags = d[offsetof(ProfileResourceDescriptor, flags)];
  flags = static_cast<uint8_t>(flags & ~kChannelQosCleared);
  if (l->type == kProfileNic) {
    flags |= kChannelChanged;
    qos_lpvid(d, lpvid);
  }
  put_u32(d, l->min, static_cast<uint32_t>(minimum));
  put_u32(d, l->max, static_cast<uint32_t>(maximum));
  if (qos_send(__func__, at.controller, fn, above.port, d) != 0) return 1;
  set_prop_val(at.channel, "MinBandWidth", "%lld", minimum);
  set_prop_val(at.channel, "MaxBandWidth", "%lld", maximum);
  return 0;
}

uint32_t TAVO_set_mchannel_params(TavoNode* controller, TavoNode* channel, TavoNode* property, const char* value,
                                  const char* current_type, const char* reboot) {
  if (controller == nullptr || channel == nullptr || property == nullptr || value == nullptr ||
      current_type == nullptr || reboot == nullptr)
    return 1;
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  const uint8_t phba_port = handler_context(channel).port;
  char number[TAVO_VALUE_SIZE], type[TAVO_VALUE_SIZE], minimum[TAVO_VALUE_SIZE], maximum[TAVO_VALUE_SIZE];
  if (!qos_read(channel, "FunctionNumber", number) || !qos_read(channel, "Type", type) ||
      !qos_read(channel, "MinBandwidth", minimum) || !qos_read(channel, "MaxBandwidth", maximum))
    return 1;
  const ChannelLayout* l = channel_layout_of(type);
  if (l == nullptr) return 1;
  const bool lpvid = same(property->name, "LPVID");
  if (lpvid && l->type != kProfileNic) {
    nic_status(286);
    return 1;
  }
  const tavo::controller::SharedProfile config(tavo::controller::controller_profile(
      controller, same(current_type, "vNIC1") ? kProfileActive : kProfileConfigured, 0, 0));
  uint8_t d[kDescriptorSize];
  if (!config || !qos_target(*config, *l, number, d)) return 1;
  McState s;
  snprintf(s.current, sizeof s.current, "%s", current_type);
  snprintf(s.reboot, sizeof s.reboot, "%s", reboot);
  qos_common(d, *l, pf_number_of(static_cast<uint16_t>(strtoul(number, nullptr, 16))), phba_port, qos_applies_now(s));
  const bool nic = l->type == kProfileNic;
  if (nic) d[kOuterVlanAt + 1] |= kOuterVlanKept;
  put_u32(d, l->min, kAllOnes);
  put_u32(d, l->max, kAllOnes);
  uint8_t& flags = d[offsetof(ProfileResourceDescriptor, flags)];
  if (same(property->name, "LogicalLinkState")) {
    d[offsetof(ProfileResourceDescriptor, channel)] |= kChannelParameter;
    if (same(value, "Enabled"))
      d[l->link_flags] = static_cast<uint8_t>(d[l->link_flags] & ~kLinkDisabled);
    else
      d[l->link_flags] |= kLinkDisabled;
    if (nic) {
      flags |= kChannelChanged;
      char channel_lpvid[TAVO_VALUE_SIZE];
      if (qos_read(channel, "LPVID", channel_lpvid)) qos_lpvid(d, channel_lpvid);
    }
  } else if (lpvid) {
    d[offsetof(ProfileResourceDescriptor, channel)] |= kChannelParameter;
    flags |= kChannelChanged;
    qos_lpvid(d, value);
    // A channel without bandwidth has its logical link down.
    if (strcmp(minimum, "0") == 0 && strcmp(maximum, "0") == 0)
      d[l->link_flags] |= kLinkDisabled;
    else
      d[l->link_flags] = static_cast<uint8_t>(d[l->link_flags] & ~kLinkDisabled);
  }
  return qos_send(__func__, controller, fn, phba_port, d);
}

uint32_t TAVO_get_mchannel_params(TavoNode* channel, TavoNode* property, const ProfileConfigBuffer* config) {
  char number[TAVO_VALUE_SIZE], type[TAVO_VALUE_SIZE];
  if (channel == nullptr || property == nullptr || config == nullptr || !qos_read(channel, "Type", type) ||
      !qos_read(channel, "FunctionNumber", number))
    return 1;
  const ChannelLayout* l = channel_layout_of(type);
  uint8_t d[kDescriptorSize];
  if (l == nullptr || !channel_descriptor(
                          *config, *l,
                          [&](uint16_t n) {
                            char text[TAVO_VALUE_SIZE];
                            pf_text(n, text);
                            return same(text, number);
                          },
                          d))
    return 0;
  const bool nic = l->type == kProfileNic;
  const char* name = property->name;
  if (same(name, "LogicalLinkState"))
    set_prop_val(channel, name, "%s", (d[l->link_flags] & kLinkDisabled) != 0 ? "Disabled" : "Enabled");
  else if (same(name, "LPVID") && nic)
    set_prop_val(channel, name, "%u", u16_at(d, kLpvidAt));
  else if (same(name, "OuterVLANID") && nic)
    set_prop_val(channel, name, "%u", d[kOuterVlanAt] | ((d[kOuterVlanAt + 1] & 0x0F) << 8));
  else if (same(name, "LPVID") || same(name, "OuterVLANID"))
    set_prop_val(channel, name, "N/A");
  else if (same(name, "MinBandWidth"))
    set_prop_val(channel, name, "%u", u32_at(d, l->min));
  else if (same(name, "MaxBandWidth"))
    set_prop_val(channel, name, "%u", u32_at(d, l->max));
  return 0;
}

uint32_t TAVO_save_mc_props(TavoNode* channel_management, McPropRecord* table, uint32_t port_index, uint32_t* count) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* port =
      channel_management != nullptr ? named(channel_management->parent, "PortDiscoveryAndConfiguration") : nullptr;
  TavoNode* controller = port != nullptr ? named(port->parent, "Corvane") : nullptr;
  const ProfileGroups g = profile_groups(controller);
  char interface[TAVO_VALUE_SIZE] = "";
  if (table == nullptr || count == nullptr || port_index >= TAVO_MC_PORTS || g.active == nullptr ||
      internal_get_property(port, "InterfaceType", interface) != 0)
    return 1;
  McPropRecord* row = qos_row(table, port_index);
  if (!same(interface, "Unknown")) {
    char name[TAVO_NAME_SIZE], type[TAVO_VALUE_SIZE] = "";
    snprintf(name, sizeof name, "Port%u", port_index);
    TavoNode* active = internal_get_node(g.active, name, TAVO_KIND_GROUP);
    if (active == nullptr) return 1;
    internal_get_property(active, "MCType", type);
    if (const uint8_t code = mc_type_code(type); code != 0) row[0].mc_type = code;
  }
  const std::vector<TavoNode*> channels = instances_of(channel_management, "Channel");
  if (channels.empty()) return 317;
  uint32_t n = 0;
  for (TavoNode* channel : channels) {
    if (n == TAVO_MC_CHANNELS) break;
    McPropRecord& e = row[n++];
    char text[TAVO_VALUE_SIZE];
    long long v = 0;
    stored_text(channel, "MinBandWidth", text);
    if (parse_within(text, 0, kAllOnes, &v)) e.bw_min = static_cast<uint32_t>(v);
    stored_text(channel, "MaxBandWidth", text);
    if (parse_within(text, 0, kAllOnes, &v)) e.bw_max = static_cast<uint32_t>(v);
    stored_text(channel, "LPVID", text);
    if (same(text, "N/A"))
      e.vlan_id = 0;
    else if (parse_within(text, 0, 0xFFFF, &v))
      e.vlan_id = static_cast<uint16_t>(v);
    stored_text(channel, "LogicalLinkState", text);
    if (text[0] != '\0') e.lld = same(text, "Enabled") ? 0 : 1;
    stored_text(channel, "Type", text);
    if (text[0] != '\0') snprintf(e.func_type, sizeof e.func_type, "%.31s", text);
  }
  *count = n;
  return 0;
}

uint32_t TAVO_reset_mc_props(TavoNode* channel_management, McPropRecord* table, uint32_t port_index,
                             const uint8_t* configured_mc_types, uint32_t count) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (channel_management == nullptr || table == nullptr || configured_mc_types == nullptr ||
      port_index >= TAVO_MC_PORTS)
    return 1;
  const McPropRecord* row = qos_row(table, port_index);
  if (row[0].mc_type == kMcTypeNone || configured_mc_types[port_index] == kMcTypeNone) return 0;
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  uint32_t i = 0;
  for (TavoNode* channel : instances_of(channel_management, "Channel")) {
    memset(params, 0, sizeof params);
    if (i >= count || i >= TAVO_MC_CHANNELS) {
      // Beyond the saved channels: no bandwidth reserved.
      snprintf(params, TAVO_VALUE_SIZE, "0");
      snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "0");
      const uint32_t result = do_ConfigureQoS(channel, channel, params);
      pdebug(TAVO_LOG_BACKEND, 5, "%s:ConfigureQoS of channel %u answered %u\n", __func__, i, result);
      ++i;
      continue;
    }
    const McPropRecord& e = row[i++];
    snprintf(params, TAVO_VALUE_SIZE, "%u", e.bw_min);
    snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%u", e.bw_max);
    if (const uint32_t result = do_ConfigureQoS(channel, channel, params); result != 0) return result == 285 ? 0 : 1;
    ChannelPlace at;
    McState s;
    TavoNode* type = internal_get_node(channel, "Type", TAVO_KIND_PROPERTY);
    TavoNode* lpvid = internal_get_node(channel, "LPVID", TAVO_KIND_PROPERTY);
    if (!channel_place(channel, &at) ||
        TAVO_get_mvk_mc_type(at.controller, at.port, s.current, s.configured, s.reboot) != 0 || type == nullptr ||
        lpvid == nullptr)
      return 1;
    char kind[TAVO_VALUE_SIZE] = "", text[TAVO_VALUE_SIZE];
    answer_stored(type, kind);
    char saved_type[sizeof e.func_type + 1] = "";
    memcpy(saved_type, e.func_type, sizeof e.func_type);
    if (same(kind, saved_type) && strstr(kind, "NIC") != nullptr) {
      snprintf(text, sizeof text, "%u", e.vlan_id);
      if (strcmp(text, "0") != 0) TAVO_set_mchannel_params(at.controller, channel, lpvid, text, s.current, s.reboot);
      set_prop_val(channel, "LPVID", "%s", text);
    }
    TavoNode* link = internal_get_node(channel, "LogicalLinkState", TAVO_KIND_PROPERTY);
    if (link == nullptr) return 1;
    const char* state = e.lld != 0 ? "Disabled" : "Enabled";
    TAVO_set_mchannel_params(at.controller, channel, link, state, s.current, s.reboot);
    set_prop_val(channel, "LogicalLinkState", "%s", state);
  }
  return 0;
}
