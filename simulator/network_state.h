// The TCP/IP stack the firmware keeps for one iSCSI function: what the
// network responders read and change, and what tests look at. Starts from
// the function's topology keys.
#pragma once

#include <stdint.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "simulator/topology.h"
#include "transport/network_records.h"

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
  // IPv6: typed interface entries (at most one 0x50 and two 0x30),
  // auto-assignment, the default gateway (all zero: none).
  std::vector<SimAddress> ipv6;
  bool ipv6_auto = false;
  std::array<uint8_t, 16> ipv6_gateway{};
  std::vector<SimRoute> routes;
  std::vector<SimArpEntry> arp;
  std::vector<SimAddress> reachable;
  // Faulty firmware: a route delete is accepted but the route stays.
  bool routes_stay = false;
  // Counts the firmware reports beyond what it holds (faulty firmware); -1
  // reports the true count.
  int64_t reported_interfaces = -1;
  int64_t reported_entries = -1;
  int64_t reported_routes = -1;
  int64_t reported_arp = -1;
  int32_t reported_ipv6_state = -1;  // state bits of the IPv6 view
  // Per domain, made on first use: the discovery parameters (kept whole as
  // written) and the initiator name block.
  std::map<int, DiscoveryParamsBlock> discovery;
  std::map<int, InitiatorNameBlock> names;
  std::string initiator_name, initiator_alias;  // of each new name block

  explicit SimNetwork(const SimFunction& fn);
  // The configuration-state bits of the IPv6 view.
  uint16_t ipv6_state() const;
  // The domain's blocks, made on first use.
  DiscoveryParamsBlock& discovery_of(int domain);
  InitiatorNameBlock& names_of(int domain);
};

}  // namespace tavo::sim
