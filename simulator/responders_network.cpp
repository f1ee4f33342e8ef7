// The firmware's TCP/IP stack of each iSCSI function: one interface with at
// most one IPv4 address (given by hand or by DHCP), a VLAN tag and a default
// gateway; the NIC parameters and MAC addresses of a function. A change that
// does not fit the stack (a second address, deleting what is not there, a
// static address under DHCP) is refused with firmware status 3.
#include <string.h>

#include <algorithm>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/network_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusFailed = 3;
constexpr uint8_t kStatusTooSmall = 4;
constexpr uint8_t kStatusNotSupported = 66;
constexpr MailboxReply kRefused{kStatusFailed, 0, 0};

template <typename Record>
bool network_request(const MailboxCall& call, Record* r) {
  if (call.payload.size() < sizeof *r) return false;
  memcpy(r, call.payload.data(), sizeof *r);
  return true;
}

template <typename Record>
MailboxReply network_answer(MailboxCall& call, const Record& r) {
  memcpy(call.payload.data(), &r, sizeof r);
  return MailboxReply{};
}

MailboxReply network_too_small() { return MailboxReply{kStatusTooSmall, 0, 0}; }

SimNetwork* network_of(Simulator& sim, const MailboxCall& call) {
  if (call.via_nic || call.function == nullptr || call.function->kind != FunctionKind::Iscsi) return nullptr;
  return sim.network(call.function->iscsi_device);
}

// Runs body on the calling function's stack and its request record; a call
// of no iSCSI function is refused, a request shorter than the record
// answered with status 4.
template <typename Record, typename Body>
MailboxReply network_call(Simulator& sim, MailboxCall& call, Body body) {
  SimNetwork* net = network_of(sim, call);
  Record r{};
  if (net == nullptr) return kRefused;
  if (!network_request(call, &r)) return network_too_small();
  return body(*net, r);
}

bool network_is_zero(const uint8_t* bytes, size_t n) {
  return std::all_of(bytes, bytes + n, [](uint8_t b) { return b == 0; });
}

void network_clear_address(SimNetwork& net) {
  net.has_address = false;
  net.address = {};
  net.mask = {};
}

// Another iSCSI function already answers to that address.
bool network_address_taken(Simulator& sim, const SimNetwork& self, const uint8_t* address) {
  for (const SimFunction& f : sim.topology().functions) {
    if (f.kind != FunctionKind::Iscsi) continue;
    const SimNetwork* other = sim.network(f.iscsi_device);
    if (other != &self && other->has_address && memcmp(other->address.data(), address, 4) == 0) return true;
  }
  return false;
}

MailboxReply network_interfaces(Simulator& sim, MailboxCall& call) {
  return network_call<InterfaceIdList>(sim, call, [&](SimNetwork& net, InterfaceIdList& list) {
    list = InterfaceIdList{};
    list.count = net.reported_interfaces >= 0 ? static_cast<uint32_t>(net.reported_interfaces) : 1;
    list.ids[0] = net.interface_id;
    return network_answer(call, list);
  });
}

MailboxReply network_interface_info(Simulator& sim, MailboxCall& call) {
  return network_call<InterfaceInfoBlock>(sim, call, [&](SimNetwork& net, InterfaceInfoBlock& block) {
    const uint32_t family = block.family_or_vlan_tag;
    if (block.interface_id != net.interface_id || (family != kAddressFamilyIPv4 && family != kAddressFamilyIPv6))
      return kRefused;
    block = InterfaceInfoBlock{};
    block.interface_id = net.interface_id;
    block.family_or_vlan_tag = net.vlan_tag;
    if (family == kAddressFamilyIPv4 && net.has_address) {
      IpAddressEntry& e = block.entries[block.entry_count++];
      e.length = sizeof e;
      e.type = kAddressTypeIPv4;
      memcpy(e.address, net.address.data(), 4);
      memcpy(e.mask, net.mask.data(), 4);
    }
    if (net.reported_entries >= 0) block.entry_count = static_cast<uint32_t>(net.reported_entries);
    // Header version 1 carries state bits: 0x200 DHCP, 0x100 static.
    if (call.header.version == 1)
      block.dhcp_or_state = net.dhcp ? 0x200 : (net.has_address ? 0x100 : 0);
    else
      block.dhcp_or_state = net.dhcp ? 1 : 0;
    return network_answer(call, block);
  });
}

MailboxReply network_modify_address(Simulator& sim, MailboxCall& call) {
  return network_call<IpAddressRecord>(sim, call, [&](SimNetwork& net, IpAddressRecord& r) {
    if (r.entry_count != 1 || r.interface_id != net.interface_id || r.entry.type != kAddressTypeIPv4) return kRefused;
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
      if (network_address_taken(sim, net, r.entry.address)) r.address_status = kDuplicateAddressStatus;
      net.has_address = true;
      memcpy(net.address.data(), r.entry.address, 4);
      memcpy(net.mask.data(), r.entry.mask, 4);
    }
    return network_answer(call, r);
  });
}

MailboxReply network_get_gateway(Simulator& sim, MailboxCall& call) {
  return network_call<DefaultGatewayQuery>(sim, call, [&](SimNetwork& net, DefaultGatewayQuery& q) {
    const uint32_t type = q.address_type;
    if (type != kAddressFamilyIPv4 && type != kAddressFamilyIPv6) return kRefused;
    q = DefaultGatewayQuery{};
    q.address_type = type;
    if (type == kAddressFamilyIPv4) memcpy(q.gateway, net.gateway.data(), 4);
    return network_answer(call, q);
  });
}

MailboxReply network_set_gateway(Simulator& sim, MailboxCall& call) {
  return network_call<DefaultGatewayRecord>(sim, call, [&](SimNetwork& net, DefaultGatewayRecord& r) {
    if (r.address_type != kAddressFamilyIPv4) return kRefused;
    const bool none = network_is_zero(net.gateway.data(), 4);
    const bool same = memcmp(net.gateway.data(), r.gateway, 4) == 0;
    if (r.action == kEntryDelete) {
      if (none || !same) return kRefused;
      net.gateway = {};
      return MailboxReply{};
    }
    if (r.action != kEntryAdd || r.length != kGatewayRecordLength || (!none && !same)) return kRefused;
    memcpy(net.gateway.data(), r.gateway, 4);
    return MailboxReply{};
  });
}

MailboxReply network_config_dhcp(Simulator& sim, MailboxCall& call) {
  return network_call<DhcpConfigRecord>(sim, call, [&](SimNetwork& net, DhcpConfigRecord& r) {
    if (r.kind != kDhcpKindIPv4) return MailboxReply{kStatusNotSupported, 0, 0};
    // A static address must go first.
    if (r.interface_id != net.interface_id || (net.has_address && !net.dhcp)) return kRefused;
    net.dhcp = true;
    return MailboxReply{};
  });
}

MailboxReply network_release_dhcp(Simulator& sim, MailboxCall& call) {
  return network_call<DhcpReleaseRecord>(sim, call, [&](SimNetwork& net, DhcpReleaseRecord& r) {
    if (r.interface_id != net.interface_id || r.kind != kDhcpKindIPv4) return kRefused;
    if (net.dhcp) network_clear_address(net);  // the lease goes back
    net.dhcp = false;
    return MailboxReply{};
  });
}

MailboxReply network_set_vlan(Simulator& sim, MailboxCall& call) {
  return network_call<VlanConfigRecord>(sim, call, [&](SimNetwork& net, VlanConfigRecord& r) {
    const bool valid = r.tag == kNoVlanTag || (r.tag <= 0xFFFF && (r.tag & 0xFFF) <= 4094);
    if (r.interface_id != net.interface_id || !valid) return kRefused;
    net.vlan_tag = r.tag;
    return MailboxReply{};
  });
}

MailboxReply network_nic_params(Simulator& sim, MailboxCall& call) {
  return network_call<NicParamsRecord>(sim, call, [&](SimNetwork& net, NicParamsRecord& r) {
    r = NicParamsRecord{};
    r.max_speed_code = net.max_speed;
    r.max_mtu = net.max_mtu;
    return network_answer(call, r);
  });
}

// Type 0: the function's running MAC; type 9: the factory MAC of each PCI
// function 0-7 of the controller.
MailboxReply network_mac_query(Simulator& sim, MailboxCall& call) {
  MacQueryRecord q{};
  if (call.function == nullptr) return kRefused;
  if (!network_request(call, &q)) return network_too_small();
  const uint8_t type = q.query_type;
  q = MacQueryRecord{};
  q.query_type = type;
  if (type == kMacQueryOwn) {
    SimNetwork* net = network_of(sim, call);
    if (net != nullptr)
      memcpy(q.mac, net->mac.data(), sizeof q.mac);
    else
      parse_mac(call.function->mac, q.mac);
    return network_answer(call, q);
  }
  if (type != kMacQueryFactory) return MailboxReply{kStatusNotSupported, 0, 0};
  for (const SimFunction& f : sim.topology().functions)
    if (f.controller == call.function->controller && f.pci_function < kMacQueryFunctions && !f.virtual_function)
      parse_mac(f.factory_mac.empty() ? f.mac : f.factory_mac, q.functions[f.pci_function].mac);
  return network_answer(call, q);
}

}  // namespace

SimNetwork::SimNetwork(const SimFunction& fn)
    : interface_id(0x10 + static_cast<uint32_t>(fn.iscsi_device)),
      has_address(!network_is_zero(fn.ipv4, 4)),
      dhcp(fn.dhcp),
      vlan_tag(fn.vlan_tag),
      max_mtu(fn.max_mtu),
      max_speed(fn.max_speed) {
  memcpy(address.data(), fn.ipv4, 4);
  memcpy(mask.data(), fn.ipv4_mask, 4);
  memcpy(gateway.data(), fn.gateway, 4);
  parse_mac(fn.mac, mac.data());
}

SimNetwork* Simulator::network(int iscsi_device) {
  auto it = networks_.find(iscsi_device);
  if (it != networks_.end()) return &it->second;
  for (const SimFunction& f : topology_.functions)
    if (f.kind == FunctionKind::Iscsi && f.iscsi_device == iscsi_device)
      return &networks_.emplace(iscsi_device, SimNetwork(f)).first->second;
  return nullptr;
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
