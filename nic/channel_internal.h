// What the channel, QoS and bandwidth code shares: where a channel's
// fields lie in its profile descriptor, the groups above a channel and the
// multi-channel state of its port.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include "nic/channels.h"
#include "nic/profile_internal.h"

namespace tavo::nic {

// Where a channel's fields lie in its NIC (81), iSCSI (82) or FCoE (83)
// descriptor: the MAC, the link number (bits 0-5), the byte whose bit 1
// disables the logical link and the u32 bandwidth percentages.
struct ChannelLayout {
  uint8_t type;
  const char* name;  // the channel's Type
  uint8_t mac, link, link_flags, min, max;
};
inline constexpr uint8_t kLinkDisabled = 0x02;
inline constexpr size_t kLpvidAt = 36;  // NIC only, as the outer VLAN at 46
inline constexpr size_t kOuterVlanAt = 46;
inline constexpr size_t kDescriptorSize = 88;
// The layout of a descriptor type, and of a channel's Type ("NIC" and
// "NIC+RoCE" are NIC, "iSCSI", "FCOE"; case ignored); null for none.
const ChannelLayout* channel_layout(uint8_t type);
const ChannelLayout* channel_layout_of(const char* type);

inline uint16_t u16_at(const uint8_t* d, size_t at) {
  uint16_t v;
  memcpy(&v, d + at, sizeof v);
  return v;
}
inline uint32_t u32_at(const uint8_t* d, size_t at) {
  uint32_t v;
  memcpy(&v, d + at, sizeof v);
  return v;
}
inline void put_u16(uint8_t* d, size_t at, uint16_t v) { memcpy(d + at, &v, sizeof v); }
inline void put_u32(uint8_t* d, size_t at, uint32_t v) { memcpy(d + at, &v, sizeof v); }

// The first descriptor of config of the layout's type whose PF the match
// takes (match(pf number)), copied into out (88 bytes, a short one padded
// with zeros); false for none.
template <typename Match>
bool channel_descriptor(const ProfileConfigBuffer& config, const ChannelLayout& layout, Match match,
                        uint8_t out[kDescriptorSize]) {
  bool found = false;
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&config), sizeof config,
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] != layout.type || !match(pf_number_of(u16_at(d, 6)))) return true;
                             memset(out, 0, kDescriptorSize);
                             memcpy(out, d, length < kDescriptorSize ? length : kDescriptorSize);
                             found = true;
                             return false;
                           });
  return found;
}

// A channel and the groups above it; false when one is missing.
struct ChannelPlace {
  TavoNode* channel = nullptr;
  TavoNode* management = nullptr;  // the port's ChannelManagement
  TavoNode* port = nullptr;        // PortDiscoveryAndConfiguration
  TavoNode* controller = nullptr;
};
bool channel_place(TavoNode* channel, ChannelPlace* out);

// The multi-channel state of a channel's port: CV3 the controller's
// ChannelManagement types (never a reboot pending), Moravel its profiles
// (TAVO_get_mvk_mc_type), any other generation empty texts. wanted names
// the values a caller tests; false when one cannot be read.
struct McState {
  char current[TAVO_VALUE_SIZE] = "";
  char configured[TAVO_VALUE_SIZE] = "";
  char reboot[TAVO_VALUE_SIZE] = "";
};
enum : unsigned { kMcCurrent = 1, kMcConfigured = 2, kMcReboot = 4, kMcAll = 7 };
bool mc_state(const ChannelPlace& place, unsigned wanted, McState* out);

// Text equality without case; a null text equals nothing.
inline bool same(const char* a, const char* b) { return a != nullptr && b != nullptr && strcasecmp(a, b) == 0; }
// "N/A" or "None": no multi-channel type.
inline bool no_mc_type(const char* type) { return same(type, "N/A") || same(type, "None"); }

// A profile configuration of the controller read, and the channel's
// property set from its descriptor; quiet: no status when that fails.
uint32_t channel_read(const ChannelPlace& place, TavoNode* property, bool active, bool quiet);

}  // namespace tavo::nic
