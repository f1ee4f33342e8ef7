// The tables and blocks of an iSCSI function's TCP/IP stack: static routes
// (at most 16 per controller, beyond that status 1/22), ARP entries (64),
// ping answered by the reachable hosts (else 1/19, host not reachable),
// the discovery parameters and the initiator name block of each domain.
// Both blocks are kept whole as written; a fresh discovery block carries a
// pattern in the bytes nobody owns, a name block sets flag bit 0, which
// every request must clear.
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "simulator/network_call.h"
#include "simulator/responders.h"
#include "transport/network_records.h"

namespace tavo::sim {
namespace {

using network::answer;
using network::call_with;
using network::kRefused;

constexpr MailboxReply kRouteLimit{1, 22, 0};
constexpr MailboxReply kNotReachable{1, 19, 0};
constexpr size_t kRoutesPerController = 16;

template <size_t N>
bool tables_same(const std::array<uint8_t, N>& held, const uint8_t* sent) {
  return memcmp(held.data(), sent, N) == 0;
}

template <size_t N>
void tables_copy(std::array<uint8_t, N>& held, const uint8_t* sent) {
  memcpy(held.data(), sent, N);
}

bool tables_route_is(const SimRoute& r, const RouteEntry& e) {
  return tables_same(r.destination, e.destination) && tables_same(r.mask, e.mask) && tables_same(r.gateway, e.gateway);
}

size_t tables_controller_routes(Simulator& sim, int controller) {
  size_t n = 0;
  for (const SimFunction& f : sim.topology().functions)
    if (f.kind == FunctionKind::Iscsi && f.controller == controller) n += sim.network(f.iscsi_device)->routes.size();
  return n;
}

// A reported count beyond the table is the firmware's, the entries stop
// at what the answer holds.
int32_t tables_count(size_t held, int64_t reported) {
  return static_cast<int32_t>(reported >= 0 ? reported : static_cast<int64_t>(held));
}

// Written in place: the request's bytes are never read, and the table is
// 64 KB, so it is cleared once rather than copied in, cleared and back.
MailboxReply tables_fetch_routes(Simulator& sim, MailboxCall& call) {
  const SimNetwork* net = network::stack_of(sim, call);
  if (net == nullptr) return kRefused;
  if (call.payload.size() < sizeof(RouteTable)) return MailboxReply{network::kStatusTooSmall, 0, 0};
  uint8_t* out = call.payload.data();
  memset(out, 0, sizeof(RouteTable));
  const int32_t count = tables_count(net->routes.size(), net->reported_routes);
  memcpy(out + offsetof(RouteTable, count), &count, sizeof count);
  for (size_t i = 0; i < net->routes.size() && i < kMaxRoutes; ++i) {
    uint8_t* entry = out + offsetof(RouteTable, routes) + sizeof(RouteEntry) * i;
    memcpy(entry + offsetof(RouteEntry, destination), net->routes[i].destination.data(), 4);
    memcpy(entry + offsetof(RouteEntry, mask), net->routes[i].mask.data(), 4);
    memcpy(entry + offsetof(RouteEntry, gateway), net->routes[i].gateway.data(), 4);
  }
  return MailboxReply{};
}

MailboxReply tables_save_route(Simulator& sim, MailboxCall& call) {
  return call_with<RouteTableRecord>(sim, call, [&](SimNetwork& net, RouteTableRecord& r) {
    auto held = std::find_if(net.routes.begin(), net.routes.end(),
                             [&](const SimRoute& route) { return tables_route_is(route, r.route); });
    if (r.action == kEntryDelete) {
      if (held == net.routes.end()) return kRefused;
      if (!net.routes_stay) net.routes.erase(held);
      return MailboxReply{};
    }
    if (r.action != kEntryAdd || held != net.routes.end()) return kRefused;
    if (tables_controller_routes(sim, call.function->controller) >= kRoutesPerController) return kRouteLimit;
    SimRoute route;
    tables_copy(route.destination, r.route.destination);
    tables_copy(route.mask, r.route.mask);
    tables_copy(route.gateway, r.route.gateway);
    net.routes.push_back(route);
    return MailboxReply{};
  });
}

MailboxReply tables_fetch_arp(Simulator& sim, MailboxCall& call) {
  return call_with<ArpTable>(sim, call, [&](SimNetwork& net, ArpTable& t) {
    t = ArpTable{};
    t.count = tables_count(net.arp.size(), net.reported_arp);
    for (size_t i = 0; i < net.arp.size() && i < kMaxArpEntries; ++i) {
      memcpy(t.entries[i].address, net.arp[i].address.data(), 4);
      memcpy(t.entries[i].mac, net.arp[i].mac.data(), 6);
    }
    return answer(call, t);
  });
}

// An add for a known address replaces its MAC; a delete must name both.
MailboxReply tables_save_arp(Simulator& sim, MailboxCall& call) {
  return call_with<ArpTableRecord>(sim, call, [&](SimNetwork& net, ArpTableRecord& r) {
    auto held = std::find_if(net.arp.begin(), net.arp.end(),
                             [&](const SimArpEntry& e) { return tables_same(e.address, r.entry.address); });
    if (r.action == kEntryDelete) {
      if (held == net.arp.end() || !tables_same(held->mac, r.entry.mac)) return kRefused;
      net.arp.erase(held);
      return MailboxReply{};
    }
    if (r.action != kEntryAdd) return kRefused;
    if (held == net.arp.end()) {
      if (net.arp.size() >= kMaxArpEntries) return kRefused;
      held = net.arp.insert(net.arp.end(), SimArpEntry{});
      tables_copy(held->address, r.entry.address);
    }
    tables_copy(held->mac, r.entry.mac);
    return MailboxReply{};
  });
}

MailboxReply tables_ping(Simulator& sim, MailboxCall& call) {
  return call_with<PingRequest>(sim, call, [&](SimNetwork& net, PingRequest& p) {
    const uint8_t type = p.host.type;
    if (type != kAddressTypeIPv4 && type != kAddressTypeIPv6) return kRefused;
    const size_t length = type == kAddressTypeIPv4 ? 4 : 16;
    const bool answered = std::any_of(net.reachable.begin(), net.reachable.end(), [&](const SimAddress& a) {
      return a.type == type && memcmp(a.bytes.data(), p.host.address, length) == 0;
    });
    return answered ? MailboxReply{} : kNotReachable;
  });
}

MailboxReply tables_get_discovery(Simulator& sim, MailboxCall& call) {
  return call_with<DiscoveryParamsBlock>(sim, call, [&](SimNetwork& net, DiscoveryParamsBlock&) {
    return answer(call, net.discovery_of(call.header.domain));
  });
}

MailboxReply tables_set_discovery(Simulator& sim, MailboxCall& call) {
  return call_with<DiscoveryParamsBlock>(sim, call, [&](SimNetwork& net, DiscoveryParamsBlock& b) {
    net.discovery_of(call.header.domain) = b;
    return MailboxReply{};
  });
}

MailboxReply tables_get_names(Simulator& sim, MailboxCall& call) {
  return call_with<InitiatorNameBlock>(sim, call, [&](SimNetwork& net, InitiatorNameBlock& b) {
    if (b.flags & 1) return kRefused;
    return answer(call, net.names_of(call.header.domain));
  });
}

MailboxReply tables_set_names(Simulator& sim, MailboxCall& call) {
  return call_with<InitiatorNameBlock>(sim, call, [&](SimNetwork& net, InitiatorNameBlock& b) {
    if (b.flags & 1) return kRefused;
    b.flags |= 1;
    net.names_of(call.header.domain) = b;
    return MailboxReply{};
  });
}

}  // namespace

DiscoveryParamsBlock& SimNetwork::discovery_of(int domain) {
  auto it = discovery.find(domain);
  if (it != discovery.end()) return it->second;
  DiscoveryParamsBlock b{};
  for (size_t i = 0; i < sizeof b.other; ++i) b.other[i] = static_cast<uint8_t>(i * 7 + 1);
  b.reserved546[0] = 0xA5;
  b.reserved546[1] = 0x5A;
  return discovery.emplace(domain, b).first->second;
}

InitiatorNameBlock& SimNetwork::names_of(int domain) {
  auto it = names.find(domain);
  if (it != names.end()) return it->second;
  InitiatorNameBlock b{};
  b.flags = 0x8001;
  b.reserved2[0] = 0x5A;
  snprintf(b.name, sizeof b.name, "%s", initiator_name.c_str());
  snprintf(b.alias, sizeof b.alias, "%s", initiator_alias.c_str());
  return names.emplace(domain, b).first->second;
}

void install_network_table_responders(Simulator& sim) {
  sim.on(2, 10, tables_fetch_routes);
  sim.on(2, 11, tables_save_route);
  sim.on(2, 8, tables_fetch_arp);
  sim.on(2, 9, tables_save_arp);
  sim.on(2, 6, tables_ping);
  sim.on(2, 28, tables_get_discovery);
  sim.on(2, 29, tables_set_discovery);
  sim.on(6, 6, tables_get_names);
  sim.on(6, 7, tables_set_names);
}

}  // namespace tavo::sim
