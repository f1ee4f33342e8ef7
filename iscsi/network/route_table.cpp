// The static routes of an iSCSI function: RouteTableEntry instances kept in
// step with the firmware's table (a route that stays keeps its number, a
// new one takes the lowest free number), the route actions, and removing
// every route.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"

using namespace tavo::network;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

// A route as the entry properties show it.
struct RouteTexts {
  std::string destination, mask, gateway;
  bool operator==(const RouteTexts&) const = default;
};

std::string route_dotted(const uint8_t* b) {
  char text[16];
  snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return text;
}

// The entry's texts; false when Gateway (strict: any of them) cannot be
// read.
bool route_read(TavoNode* entry, RouteTexts* out, bool strict) {
  char d[TAVO_VALUE_SIZE] = "", m[TAVO_VALUE_SIZE] = "", g[TAVO_VALUE_SIZE] = "";
  const uint32_t others =
      internal_get_property(entry, "Destination", d) | internal_get_property(entry, "SubnetMask", m);
  if (internal_get_property(entry, "Gateway", g) != 0 || (strict && others != 0)) return false;
  *out = RouteTexts{d, m, g};
  return true;
}

bool route_known(const std::vector<RouteTexts>& list, const RouteTexts& r) {
  for (const RouteTexts& other : list)
    if (other == r) return true;
  return false;
}

// Sends one route change; 0, or 1 with status 129 (245 for a refused add
// beyond the firmware's manual-route limit).
uint32_t route_send(const HandlerContext& t, uint32_t action, const uint8_t* destination, const uint8_t* mask,
                    const uint8_t* gateway) {
  tavo::RouteTableRecord r{};
  r.action = action;
  memcpy(r.route.destination, destination, 4);
  memcpy(r.route.mask, mask, 4);
  memcpy(r.route.gateway, gateway, 4);
  const uint32_t status = ioctl_Save_Route_Table(t.number, &r, t.domain, t.port);
  if (status == 0) return 0;
  network_status(status == 245 && action == tavo::kEntryAdd ? 245 : 129);
  return 1;
}

}  // namespace

uint32_t get_routeEntry_attribs(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* tcpip) {
  TAVO_LIBRARY_LOCK;
  if (tcpip == nullptr) return 1;
  auto table = tavo::base::counted_zeroed<tavo::RouteTable>();
  if (!table) {
    network_status(16);
    return 1;
  }
  if (ioctl_Fetch_Route_Table(device_handle, table.get(), sizeof *table, static_cast<uint8_t>(domain),
                              static_cast<uint8_t>(port)) != 0) {
    network_status(100);
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 6, "RoutesCount is :%d\n", table->count);
  // The reply holds 999 routes whatever count it gives.
  const int32_t count = std::clamp(table->count, 0, static_cast<int32_t>(tavo::kMaxRoutes));
  TavoNode* route_table = internal_get_node(tcpip, "RouteTable", TAVO_KIND_GROUP);
  if (route_table == nullptr) return 1;
  std::vector<RouteTexts> firmware;
  for (int32_t i = 0; i < count; ++i) {
    const tavo::RouteEntry& e = table->routes[i];
    firmware.push_back(RouteTexts{route_dotted(e.destination), route_dotted(e.mask), route_dotted(e.gateway)});
  }
  // Entries the firmware still holds keep their numbers; the others go.
  std::vector<RouteTexts> shown;
  std::vector<TavoNode*> stale;
  for (TavoNode* e = get_first_instance(route_table, "RouteTableEntry"); e != nullptr; e = next_instance(e)) {
    RouteTexts texts;
    if (!route_read(e, &texts, false)) return 1;
    if (route_known(firmware, texts))
      shown.push_back(texts);
    else
      stale.push_back(e);
  }
  for (TavoNode* e : stale) delete_node(e);
  for (const RouteTexts& r : firmware) {
    if (route_known(shown, r)) continue;
    TavoNode* e = initialize_RouteTableEntry(route_table, nullptr, nullptr, nullptr);
    if (e == nullptr) return 1;
    pdebug(TAVO_LOG_BACKEND, 5, "routeEntry init called\n");
    if (set_prop_val(e, "Destination", "%s", r.destination.c_str()) != 0 ||
        set_prop_val(e, "SubnetMask", "%s", r.mask.c_str()) != 0 ||
        set_prop_val(e, "Gateway", "%s", r.gateway.c_str()) != 0)
      return 1;
    shown.push_back(r);
  }
  pdebug(TAVO_LOG_BACKEND, 5, "routeEntry init success\n");
  return 0;
}

uint32_t do_AddRouteTableEntry(TavoNode* route_table, TavoNode* action, char* params) {
  HandlerContext t;
  if (params == nullptr || !action_target(route_table, action, &t)) return 1;
  uint8_t destination[4], mask[4], gateway[4];
  if (validateIPAddress(params, destination, 1) != 1 || validateIPAddress(params + TAVO_VALUE_SIZE, mask, 0) != 1 ||
      validateIPAddress(params + 2 * TAVO_VALUE_SIZE, gateway, 1) != 1) {
    network_status(17);
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "gateway is %d %d  %d %d\n", gateway[0], gateway[1], gateway[2], gateway[3]);
  if (route_send(t, tavo::kEntryAdd, destination, mask, gateway) != 0) return 1;
  return get_routeEntry_attribs(t.number, t.domain, t.port, route_table->parent);
}

uint32_t do_DeleteRouteTableEntry(TavoNode* route_table, TavoNode* action, char* params) {
  HandlerContext t;
  TavoNode* entry = nullptr;
  if (!entry_target(route_table, action, "RouteTableEntry", params, &t, &entry)) return 1;
  RouteTexts texts;
  if (!route_read(entry, &texts, true)) return 1;
  uint8_t destination[4] = {}, mask[4] = {}, gateway[4] = {};
  validateIPAddress(texts.destination.c_str(), destination, 1);
  validateIPAddress(texts.mask.c_str(), mask, 0);
  validateIPAddress(texts.gateway.c_str(), gateway, 1);
  if (route_send(t, tavo::kEntryDelete, destination, mask, gateway) != 0) return 1;
  return get_routeEntry_attribs(t.number, t.domain, t.port, route_table->parent);
}

uint32_t do_RefreshRouteTableEntry(TavoNode* route_table, TavoNode* action, char*) {
  HandlerContext t;
  if (!action_target(route_table, action, &t)) return 1;
  return get_routeEntry_attribs(t.number, t.domain, t.port, route_table->parent);
}

uint32_t TAVO_delete_available_routes(TavoNode* function_group) {
  // Firmware that keeps a deleted route would be asked forever.
  constexpr int kPasses = 16;
  TAVO_LIBRARY_LOCK;
  if (function_group == nullptr) return 1;
  pdebug(TAVO_LOG_BACKEND, 5, "%s:NODE_INSTANCE(iscsi_phba) = %d\n", __func__, instance_number(function_group));
  TavoNode* network = internal_get_node(function_group, "Network", TAVO_KIND_GROUP);
  TavoNode* tcpip = internal_get_node(network, "TCPIPConfiguration", TAVO_KIND_GROUP);
  TavoNode* route_table = internal_get_node(tcpip, "RouteTable", TAVO_KIND_GROUP);
  if (route_table == nullptr) return 1;
  TavoNode* refresh = internal_get_node(route_table, "RefreshRouteTableEntry", TAVO_KIND_ACTION);
  if (refresh == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get RefreshRouteTableEntry action node\n", __func__);
    return 1;
  }
  ParamTexts params;
  if (do_RefreshRouteTableEntry(route_table, refresh, params.data()) != 0) return 1;
  for (int pass = 0; pass < kPasses; ++pass) {
    std::vector<int32_t> numbers;
    for (TavoNode* e = get_first_instance(route_table, "RouteTableEntry"); e != nullptr; e = next_instance(e))
      numbers.push_back(instance_number(e));
    if (numbers.empty()) return 0;
    pdebug(TAVO_LOG_BACKEND, 5, "%s:count = %zu\n", __func__, numbers.size());
    TavoNode* remove = internal_get_node(route_table, "DeleteRouteTableEntry", TAVO_KIND_ACTION);
    if (remove == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get DeleteRouteTableEntry action node\n", __func__);
      return 1;
    }
    for (int32_t n : numbers) {
      params = ParamTexts{};
      snprintf(params.text[0], TAVO_VALUE_SIZE, "%d", n);
      if (do_DeleteRouteTableEntry(route_table, remove, params.data()) != 0) return 1;
    }
  }
  if (get_first_instance(route_table, "RouteTableEntry") == nullptr) return 0;
  network_status(129);
  return 1;
}

