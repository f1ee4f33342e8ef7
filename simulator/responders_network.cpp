// The firmware's TCP/IP stack of each iSCSI function: one interface with at
// most one IPv4 address (given by hand or by DHCP), typed IPv6 addresses, a
// VLAN tag and a default gateway of each family; the NIC parameters and MAC
// addresses of a function. A change that does not fit the stack (a second
// address, deleting what is not there, a static address under DHCP) is
// refused with firmware status 3.
#include <string.h>

#include <algorithm>

#include "simulator/network_call.h"
#include "simulator/responders.h"
#include "transport/network_records.h"
#include "transport/nic_records.h"

namespace tavo::sim {
namespace {

using network::answer;
using network::call_with;
using network::kRefused;

bool network_is_zero(const uint8_t* bytes, size_t n) {
  return std::all_of(bytes, bytes + n, [](uint8_t b) { return b == 0; });
}

void network_clear_address(SimNetwork& net) {
  net.has_address = false;
  net.address = {};
  net.mask = {};
}

// Another iSCSI function already answers to that address (IPv4: its 4
// bytes; IPv6: one of its interface entries).
bool network_address_taken(Simulator& sim, const SimNetwork& self, const uint8_t* address, bool ipv6) {
  for (const SimFunction& f : sim.topology().functions) {
    if (f.kind != FunctionKind::Iscsi) continue;
    const SimNetwork* other = sim.network(f.iscsi_device);
    if (other == &self) continue;
    if (!ipv6 && other->has_address && memcmp(other->address.data(), address, 4) == 0) return true;
    if (ipv6)
      for (const SimAddress& a : other->ipv6)
        if (memcmp(a.bytes.data(), address, 16) == 0) return true;
  }
  return false;
}

MailboxReply network_interfaces(Simulator& sim, MailboxCall& call) {
  return call_with<InterfaceIdList>(sim, call, [&](SimNetwork& net, InterfaceIdList& list) {
    list = InterfaceIdList{};
    list.count = net.reported_interfaces >= 0 ? static_cast<uint32_t>(net.reported_interfaces) : 1;
    list.ids[0] = net.interface_id;
    return answer(call, list);
  });
}

MailboxReply network_interface_info(Simulator& sim, MailboxCall& call) {
  return call_with<InterfaceInfoBlock>(sim, call, [&](SimNetwork& net, InterfaceInfoBlock& block) {
    const uint32_t family = block.family_or_vlan_tag;
    if (block.interface_id != net.interface_id || (family != kAddressFamilyIPv4 && family != kAddressFamilyIPv6))
      return kRefused;
    block = InterfaceInfoBlock{};
    block.interface_id = net.interface_id;
    block.family_or_vlan_tag = net.vlan_tag;
    auto add = [&](uint8_t type, const uint8_t* address, size_t length) -> IpAddressEntry& {
      IpAddressEntry& e = block.entries[block.entry_count++];
      e.length = sizeof e;
      e.type = type;
      memcpy(e.address, address, length);
      return e;
    };
    if (family == kAddressFamilyIPv4 && net.has_address)
      memcpy(add(kAddressTypeIPv4, net.address.data(), 4).mask, net.mask.data(), 4);
    if (family == kAddressFamilyIPv6)
      for (const SimAddress& a : net.ipv6) add(a.type, a.bytes.data(), 16);
    if (net.reported_entries >= 0) block.entry_count = static_cast<uint32_t>(net.reported_entries);
    // Header version 1 carries state bits: 0x400 auto-assignment, 0x200
    // DHCP, 0x100 static.
    if (call.header.version == 1)
      block.dhcp_or_state = family == kAddressFamilyIPv6 ? net.ipv6_state()
                            : net.dhcp                    ? kStateDhcp
                            : net.has_address             ? kStateStatic
                                                          : 0;
    else
      block.dhcp_or_state = net.dhcp ? 1 : 0;
    return answer(call, block);
  });
}

// IPv6 entries: at most one link-local and two static addresses; an
// address another function holds is refused with address status 47 and
// not kept.
MailboxReply network_modify_ipv6(Simulator& sim, MailboxCall& call, SimNetwork& net, IpAddressRecord& r) {
  const uint8_t type = r.entry.type;
  auto held = std::find_if(net.ipv6.begin(), net.ipv6.end(), [&](const SimAddress& a) {
    return a.type == type && memcmp(a.bytes.data(), r.entry.address, 16) == 0;
  });
  if (r.action == kEntryDelete) {
    if (held == net.ipv6.end()) return kRefused;
    net.ipv6.erase(held);
    return MailboxReply{};
  }
  const auto of_type =
      std::count_if(net.ipv6.begin(), net.ipv6.end(), [&](const SimAddress& a) { return a.type == type; });
  const long room = type == kIPv6LinkLocal ? 1 : type == kIPv6Routable ? 2 : 0;
  if (r.action != kEntryAdd || held != net.ipv6.end() || of_type >= room || network_is_zero(r.entry.address, 16))
    return kRefused;
  r.address_status = 0;
  if (network_address_taken(sim, net, r.entry.address, true)) {
    r.address_status = kDuplicateAddressStatus;
  } else {
    SimAddress a;
    a.type = type;
    memcpy(a.bytes.data(), r.entry.address, 16);
    net.ipv6.push_back(a);
  }
  return answer(call, r);
}

MailboxReply network_modify_address(Simulator& sim, MailboxCall& call) {
  return call_with<IpAddressRecord>(sim, call, [&](SimNetwork& net, IpAddressRecord& r) {
    if (r.entry_count != 1 || r.interface_id != net.interface_id) return kRefused;
    if (r.entry.type == kIPv6LinkLocal || r.entry.type == kIPv6Routable) return network_modify_ipv6(sim, call, net, r);
    if (r.entry.type != kAddressTypeIPv4) return kRefused;
    const bool same = net.has_address && memcmp(net.address.data(), r.entry.address, 4) == 0 &&
                      memcmp(net.mask.data(), r.entry.mask, 4) == 0;
    if (r.action == kEntryDelete) {
      if (!same) return kRefused;
      network_clear_address(net);
      return MailboxReply{};
    }
    if (r.action != kEntryAdd || net.dhcp || (net.has_address && !same)) return kRefused;
    r.address_status = 0;
    network_clear_address(net);
    if (!network_is_zero(r.entry.address, 4)) {
      if (network_address_taken(sim, net, r.entry.address, false)) r.address_status = kDuplicateAddressStatus;
      net.has_address = true;
      memcpy(net.address.data(), r.entry.address, 4);
      memcpy(net.mask.data(), r.entry.mask, 4);
    }
    return answer(call, r);
  });
}

// The IPv4 gateway takes the first 4 bytes, the IPv6 one all 16.
MailboxReply network_get_gateway(Simulator& sim, MailboxCall& call) {
  return call_with<DefaultGatewayQuery>(sim, call, [&](SimNetwork& net, DefaultGatewayQuery& q) {
    const uint32_t type = q.address_type;
    if (type != kAddressFamilyIPv4 && type != kAddressFamilyIPv6) return kRefused;
    q = DefaultGatewayQuery{};
    q.address_type = type;
    if (type == kAddressFamilyIPv4) memcpy(q.gateway, net.gateway.data(), 4);
    if (type == kAddressFamilyIPv6) {
      memcpy(q.gateway, net.ipv6_gateway.data(), 16);
      if (!network_is_zero(q.gateway, 16)) q.address_type |= uint32_t{kAddressTypeIPv6} << 24;  // type at byte 3
    }
    return answer(call, q);
  });
}

MailboxReply network_set_gateway(Simulator& sim, MailboxCall& call) {
  return call_with<DefaultGatewayRecord>(sim, call, [&](SimNetwork& net, DefaultGatewayRecord& r) {
    const bool ipv6 = r.address_type == kAddressTypeIPv6;
    if (r.address_type != kAddressFamilyIPv4 && !ipv6) return kRefused;
    uint8_t* held = ipv6 ? net.ipv6_gateway.data() : net.gateway.data();
    const size_t length = ipv6 ? 16 : 4;
    const bool none = network_is_zero(held, length);
    const bool same = memcmp(held, r.gateway, length) == 0;
    if (r.action == kEntryDelete) {
      if (none || !same || (ipv6 && r.length != kGatewayRecordLength)) return kRefused;
      memset(held, 0, length);
      return MailboxReply{};
    }
    if (r.action != kEntryAdd || r.length != kGatewayRecordLength || (!none && !same)) return kRefused;
    memcpy(held, r.gateway, length);
    return MailboxReply{};
  });
}

// IPv4 (kind 5) takes an address from the DHCP server; IPv6 (kind 144)
// switches auto-assignment.
MailboxReply network_config_dhcp(Simulator& sim, MailboxCall& call) {
  return call_with<DhcpConfigRecord>(sim, call, [&](SimNetwork& net, DhcpConfigRecord& r) {
    if (r.kind != kDhcpKindIPv4 && r.kind != kDhcpKindIPv6) return MailboxReply{network::kStatusNotSupported, 0, 0};
    if (r.interface_id != net.interface_id) return kRefused;
    if (r.kind == kDhcpKindIPv6) {
      net.ipv6_auto = true;
      return MailboxReply{};
    }
    // A static address must go first.
    if (net.has_address && !net.dhcp) return kRefused;
    net.dhcp = true;
    return MailboxReply{};
  });
}

MailboxReply network_release_dhcp(Simulator& sim, MailboxCall& call) {
  return call_with<DhcpReleaseRecord>(sim, call, [&](SimNetwork& net, DhcpReleaseRecord& r) {
    if (r.interface_id != net.interface_id || (r.kind != kDhcpKindIPv4 && r.kind != kDhcpKindIPv6)) return kRefused;
    if (r.kind == kDhcpKindIPv6) {
      net.ipv6_auto = false;
      return MailboxReply{};
    }
    if (net.dhcp) network_clear_address(net);  // the lease goes back
    net.dhcp = false;
    return MailboxReply{};
  });
}

MailboxReply network_set_vlan(Simulator& sim, MailboxCall& call) {
  return call_with<VlanConfigRecord>(sim, call, [&](SimNetwork& net, VlanConfigRecord& r) {
    const bool valid = r.tag == kNoVlanTag || (r.tag <= 0xFFFF && (r.tag & 0xFFF) <= 4094);
    if (r.interface_id != net.interface_id || !valid) return kRefused;
    net.vlan_tag = r.tag;
    return MailboxReply{};
  });
}

MailboxReply network_nic_params(Simulator& sim, MailboxCall& call) {
  return call_with<NicParamsRecord>(sim, call, [&](SimNetwork& net, NicParamsRecord& r) {
    r = NicParamsRecord{};
    r.max_speed_code = net.max_speed;
    r.max_mtu = net.max_mtu;
    return answer(call, r);
  });
}

// Types 0 and 1: the function's running MAC; type 9: the factory MAC of
// each PCI function 0-7 of the controller.
MailboxReply network_mac_query(Simulator& sim, MailboxCall& call) {
  MacQueryRecord q{};
  if (call.function == nullptr) return kRefused;
  if (call.payload.size() < sizeof q) return MailboxReply{network::kStatusTooSmall, 0, 0};
  memcpy(&q, call.payload.data(), sizeof q);
  const uint8_t type = q.query_type;
  q = MacQueryRecord{};
  q.query_type = type;
  if (type == kMacQueryOwn || type == kMacQueryCurrent) {
    SimNetwork* net = network::stack_of(sim, call);
    if (net != nullptr)
      memcpy(q.mac, net->mac.data(), sizeof q.mac);
    else
      parse_mac(call.function->mac, q.mac);
    return answer(call, q);
  }
  if (type != kMacQueryFactory) return MailboxReply{network::kStatusNotSupported, 0, 0};
  for (const SimFunction& f : sim.topology().functions)
    if (f.controller == call.function->controller && f.pci_function < kMacQueryFunctions && !f.virtual_function)
      parse_mac(f.factory_mac.empty() ? f.mac : f.factory_mac, q.functions[f.pci_function].mac);
  return answer(call, q);
}

}  // namespace

SimNetwork::SimNetwork(const SimFunction& fn)
    : interface_id(0x10 + static_cast<uint32_t>(fn.iscsi_device)),
      has_address(!network_is_zero(fn.ipv4, 4)),
      dhcp(fn.dhcp),
      vlan_tag(fn.vlan_tag),
      max_mtu(fn.max_mtu),
      max_speed(fn.max_speed),
      ipv6(fn.ipv6),
      ipv6_auto(std::any_of(fn.ipv6.begin(), fn.ipv6.end(),
                            [](const SimAddress& a) { return a.type == kIPv6AutoRoutable; })),
      ipv6_gateway(fn.ipv6_gateway),
      routes(fn.routes),
      arp(fn.arp),
      reachable(fn.reachable),
      initiator_name(fn.initiator_name.empty() ? "iqn.2026-12.com.tessmark:" + fn.vmhba : fn.initiator_name),
      initiator_alias(fn.initiator_alias) {
  memcpy(address.data(), fn.ipv4, 4);
  memcpy(mask.data(), fn.ipv4_mask, 4);
  memcpy(gateway.data(), fn.gateway, 4);
  parse_mac(fn.mac, mac.data());
}

uint16_t SimNetwork::ipv6_state() const {
  if (reported_ipv6_state >= 0) return static_cast<uint16_t>(reported_ipv6_state);
  if (ipv6_auto) return kStateAutoAssign;
  const bool fixed = std::any_of(ipv6.begin(), ipv6.end(), [](const SimAddress& a) { return a.type == kIPv6Routable; });
  return fixed ? kStateStatic : 0;
}

SimNetwork* Simulator::network(int iscsi_device) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto it = networks_.find(iscsi_device);
  if (it == networks_.end())
    for (const SimFunction& f : topology_.functions)
      if (f.kind == FunctionKind::Iscsi && f.iscsi_device == iscsi_device)
        it = networks_.emplace(iscsi_device, SimNetwork(f)).first;
  if (it == networks_.end()) return nullptr;
  touch(kPartNetwork, iscsi_device);
  return &it->second;
}

void install_network_responders(Simulator& sim) {
  sim.on(2, 24, network_interfaces);
  sim.on(2, 25, network_interface_info);
  sim.on(2, 21, network_modify_address);
  sim.on(2, 22, network_get_gateway);
  sim.on(2, 23, network_set_gateway);
  sim.on(2, 17, network_config_dhcp);
  sim.on(2, 18, network_release_dhcp);
  sim.on(2, 14, network_set_vlan);
  sim.on(2, 7, network_nic_params);
  sim.on(1, 1, network_mac_query);
}

}  // namespace tavo::sim
