// The IPv4 default gateway of an iSCSI function: DefaultGateway and the
// DeleteDefaultGateway action.
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"
#include "transport/network_records.h"

using namespace tavo::network;

namespace tavo::network {

uint32_t send_gateway(const HandlerContext& t, uint32_t action, const uint8_t* gateway, bool ipv6) {
  DefaultGatewayRecord r{};
  r.action = action;
  // An IPv4 delete carries no length.
  r.length = action == kEntryAdd || ipv6 ? kGatewayRecordLength : 0;
  r.address_type = ipv6 ? kAddressTypeIPv6 : static_cast<uint8_t>(kAddressFamilyIPv4);
  memcpy(r.gateway, gateway, ipv6 ? 16 : 4);
  if (ioctl_set_default_gateway(t.number, &r, t.domain, t.port) != 0) {
    network_status(132);
    return 1;
  }
  return 0;
}

}  // namespace tavo::network

namespace {

// The IPv4 default gateway; 0, or 1 with status 133.
uint32_t gateway_read(const HandlerContext& t, uint8_t gateway[4]) {
  tavo::DefaultGatewayQuery q{};
  q.address_type = tavo::kAddressFamilyIPv4;
  if (ioctl_get_default_gateway(t.number, &q, t.domain, t.port) != 0) {
    network_status(133);
    return 1;
  }
  memcpy(gateway, q.gateway, 4);
  return 0;
}

// DHCP "True" refuses a gateway change with code.
bool gateway_dhcp_refuses(TavoNode* tcpip, uint32_t code, bool* failed) {
  char dhcp[TAVO_VALUE_SIZE] = "";
  *failed = internal_get_property(tcpip, "DHCPEnabled", dhcp) != 0;
  if (*failed || strcasecmp(dhcp, "True") != 0) return false;
  network_status(code);
  return true;
}

}  // namespace

uint32_t handle_DefaultGateway(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* tcpip = property->parent;
  const HandlerContext t = handler_context(tcpip);
  uint8_t current[4];
  if (!t || gateway_read(t, current) != 0) return 1;
  if (op == TAVO_PROPERTY_GET) {
    const uint32_t r =
        set_prop_val(tcpip, "DefaultGateway", "%d.%d.%d.%d", current[0], current[1], current[2], current[3]);
    handle_internal_property(property, buf, TAVO_PROPERTY_GET);
    return r;
  }
  if (op != TAVO_PROPERTY_SET || buf == nullptr) return 0;
  bool failed = false;
  char text[TAVO_VALUE_SIZE];
  if (gateway_dhcp_refuses(tcpip, 49, &failed)) return 1;
  if (failed || internal_get_property(tcpip, "InitiatorIPAddress", text) != 0 ||
      internal_get_property(tcpip, "InitiatorSubnetMask", text) != 0)
    return 1;
  // The new address is checked before the old gateway goes: a refused
  // value changes nothing.
  uint8_t fresh[4];
  if (validateIPAddress(buf, fresh, 1) != 1) {
    network_status(17);
    return 1;
  }
  const bool had = current[0] != 0;
  if (had && send_gateway(t, tavo::kEntryDelete, current) != 0) return 1;
  if (send_gateway(t, tavo::kEntryAdd, fresh) != 0) {
    if (had) keeping_last_status([&] { send_gateway(t, tavo::kEntryAdd, current); });
    return 1;
  }
  return 0;
}

uint32_t do_DeleteDefaultGateway(TavoNode* tcpip, TavoNode*, char*) {
  const HandlerContext t = handler_context(tcpip);
  if (tcpip_interface(tcpip) == nullptr || !t) return 1;
  bool failed = false;
  if (gateway_dhcp_refuses(tcpip, 43, &failed) || failed) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(tcpip, "DefaultGateway", text) != 0) return 1;
  uint8_t gateway[4];
  if (validateIPAddress(text, gateway, 1) == 1 && send_gateway(t, tavo::kEntryDelete, gateway) != 0) return 1;
  return 0;
}

