// The TCP/IP stack the firmware keeps for one iSCSI function: what the
// network responders read and change, and what tests look at. Starts from
// the function's topology keys.
#pragma once

#include <stdint.h>

#include <array>

#include "simulator/topology.h"

namespace tavo::sim {

struct SimNetwork {
  uint32_t interface_id = 0;
  bool has_address = false;          // with dhcp: the address the DHCP server gave
  std::array<uint8_t, 4> address{};  // network order
  std::array<uint8_t, 4> mask{};
  bool dhcp = false;
  uint32_t vlan_tag = 0xFFFF;        // 65535: no VLAN
  std::array<uint8_t, 4> gateway{};  // 0.0.0.0: none
  std::array<uint8_t, 6> mac{};      // the running MAC address
  uint32_t max_mtu = 0;
  uint32_t max_speed = 0;
  // Counts the firmware reports beyond what it holds (faulty firmware); -1
  // reports the true count.
  int64_t reported_interfaces = -1;
  int64_t reported_entries = -1;

  explicit SimNetwork(const SimFunction& fn);
};

}  // namespace tavo::sim
