// The IPv6 default gateway and the actions of IPv6Configuration. Changes
// are remove-then-add; a failed removal ends the change with its status,
// so a failure is never reported as success.
#include <stdio.h>
#include <string.h>

#include <iterator>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"

using namespace tavo::network;

namespace {

// The group's interface record and where its commands go; false (no status
// of its own) when the interface cannot be read.
struct Ipv6Action {
  TcpipInterfaceHandle* handle = nullptr;
  HandlerContext target{};
};

bool ipv6_action_start(TavoNode* ipv6, TavoNode* action, Ipv6Action* a) {
  if (ipv6 == nullptr || action == nullptr) return false;
  a->handle = tcpip_interface(ipv6->parent);
  if (a->handle == nullptr) return false;
  a->target = handler_context(action);
  return static_cast<bool>(a->target);
}

// The IPv6 text of value (at most 39 characters) in full form; false with
// status 17.
bool ipv6_full_form(const char* value, char text[40]) {
  snprintf(text, 40, "%.39s", value != nullptr ? value : "");
  if (validateIPv6Address(text) == 0) return true;
  network_status(17);
  return false;
}

uint32_t ipv6_drop_gateway(const HandlerContext& t, TavoNode* ipv6, const char* caller) {
  if (TAVO_delete_IPv6Gateway(t.number, t.domain, t.port, ipv6) == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s:Deleteing Gateway Address failed.\n", caller);
  return 1;
}

}  // namespace

uint32_t handle_DefaultIPv6Gateway(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (!ipv6_capable(property)) {
    // Nothing to show, and a new gateway is refused like the actions.
    if (op == TAVO_PROPERTY_SET) return ipv6_refused(property) ? 1 : 0;
    set_prop_val(property->parent, property->name, "%s", "N/A");
    if (buf != nullptr) handle_internal_property(property, buf, TAVO_PROPERTY_GET);
    return 0;
  }
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  const HandlerContext t = handler_context(property);
  if (!t) return 1;
  if (op == TAVO_PROPERTY_GET) {
    tavo::DefaultGatewayQuery q{};
    q.address_type = tavo::kAddressFamilyIPv6;
    if (ioctl_get_default_gateway(t.number, &q, t.domain, t.port) != 0) {
      network_status(133);
      return 1;
    }
    pdebug(TAVO_LOG_BACKEND, 5, "%s:gateway type = 0x%x\n", __func__, q.address_type >> 24);
    char text[40] = "";
    U8IPv6ToStr(q.gateway, text);
    validateIPv6Address(text);
    if (set_prop_val(property->parent, property->name, "%s", text[0] != '\0' ? text : kNoIPv6Address) != 0) return 1;
    if (buf != nullptr) handle_internal_property(property, buf, TAVO_PROPERTY_GET);
    return 0;
  }
  char text[40];
  pdebug(TAVO_LOG_BACKEND, 5, "%s:gateway = %s\n", __func__, buf != nullptr ? buf : "");
  if (!ipv6_full_form(buf, text)) return 1;
  // A gateway goes with DeleteDefaultIPv6Gateway, not by writing zeros.
  if (strcmp(text, kNoIPv6Address) == 0) {
    network_status(17);
    return 1;
  }
  if (ipv6_drop_gateway(t, property->parent, __func__) != 0) return 1;
  uint8_t gateway[16];
  StrToU8IPv6(text, gateway);
  return send_gateway(t, tavo::kEntryAdd, gateway, true);
}

uint32_t TAVO_delete_IPv6Gateway(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* ipv6) {
  if (ipv6 == nullptr) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(ipv6, "DefaultIPv6Gateway", text) != 0) return 1;
  text[39] = '\0';
  if (strcmp(text, kNoIPv6Address) == 0 || validateIPv6Address(text) != 0) return 0;
  uint8_t gateway[16];
  StrToU8IPv6(text, gateway);
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  return send_gateway(t, tavo::kEntryDelete, gateway, true);
}

uint32_t do_DeleteDefaultIPv6Gateway(TavoNode* ipv6, TavoNode* action, char*) {
  Ipv6Action a;
  if (ipv6_refused(ipv6) || !ipv6_action_start(ipv6, action, &a)) return 1;
  return TAVO_delete_IPv6Gateway(a.target.number, a.target.domain, a.target.port, ipv6) != 0 ? 1 : 0;
}

// "Auto" and "DHCP" both switch the firmware's auto-assignment on.

uint32_t do_AutoAssignEnable(TavoNode* ipv6, TavoNode* action, char*) {
  Ipv6Action a;
  if (ipv6_refused(ipv6) || !ipv6_action_start(ipv6, action, &a)) return 1;
  if (ipv6_drop_gateway(a.target, ipv6, __func__) != 0) return 1;
  // Addresses auto-assignment shows instead are not static: their delete
  // may be refused and changes nothing.
  for (const char* name : {"InitiatorRoutableAddress2", "InitiatorRoutableAddress1"})
    TAVO_delete_ipv6_address(ipv6, name, tavo::kIPv6Routable, a.target.number, a.target.domain, a.target.port,
                             a.handle->interface_id);
  tavo::DhcpConfigRecord r{a.handle->interface_id, tavo::kDhcpKindIPv6, 1, 1};
  if (ioctl_config_dhcp(a.target.number, &r, a.target.domain, a.target.port) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to AutoAssignEnabled\n", __func__);
    return 1;
  }
  return 0;
}

uint32_t do_AutoAssignDisable(TavoNode* ipv6, TavoNode* action, char*) {
  Ipv6Action a;
  if (ipv6_refused(ipv6) || !ipv6_action_start(ipv6, action, &a)) return 1;
  tavo::DhcpReleaseRecord r{a.handle->interface_id, tavo::kDhcpKindIPv6};
  if (ioctl_release_dhcp(a.target.number, &r, a.target.domain, a.target.port) != 0) {
    network_status(123);
    return 1;
  }
  return 0;
}

uint32_t do_ConfigureIPv6Address(TavoNode* ipv6, TavoNode* action, char* params) {
  static constexpr struct {
    const char* kind;
    const char* property;
    uint8_t type;
  } kKinds[] = {{"0", "InitiatorLinkLocalAddress", tavo::kIPv6LinkLocal},
                {"1", "InitiatorRoutableAddress1", tavo::kIPv6Routable},
                {"2", "InitiatorRoutableAddress2", tavo::kIPv6Routable}};
  if (params == nullptr || ipv6_refused(ipv6)) return 1;
  const auto* kind = kKinds;
  while (kind != std::end(kKinds) && strcmp(kind->kind, params) != 0) ++kind;
  if (kind == std::end(kKinds)) {
    network_status(17);
    return 1;
  }
  Ipv6Action a;
  char text[40];
  if (!ipv6_action_start(ipv6, action, &a) || !ipv6_full_form(params + TAVO_VALUE_SIZE, text)) return 1;
  if (TAVO_delete_ipv6_address(ipv6, kind->property, kind->type, a.target.number, a.target.domain, a.target.port,
                               a.handle->interface_id) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to delete ipaddress %s with iptype %d\n", __func__, text, kind->type);
    return 1;
  }
  if (strcmp(text, kNoIPv6Address) == 0) {
    pdebug(TAVO_LOG_BACKEND, 5, "%s:IPv6address = %s.So returning success\n", __func__, text);
    return 0;
  }
  AddressEntry entry;
  entry.type = kind->type;
  StrToU8IPv6(text, entry.address);
  pdebug(TAVO_LOG_BACKEND, 5, "%s:ip_record_params.ip_record[0].ip_address.IPType = 0x%x\n", __func__, kind->type);
  uint32_t address_status = 0;
  if (send_ip_entry(a.target, a.handle->interface_id, tavo::kEntryAdd, entry, &address_status) != 0) {
    network_status(122);
    return 1;
  }
  if (address_status == 0) return set_prop_val(ipv6, kind->property, "%s", text);
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_modify_ip_entry succeded,but the status of the given IP is %d\n", __func__,
         address_status);
  if (address_status == tavo::kDuplicateAddressStatus) network_status(69);
  return 1;
}

