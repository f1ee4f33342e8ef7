// Ping from an iSCSI function's own interface: an IPv4 address, or an IPv6
// address (a text with ':' of more than two characters).
#include <stdio.h>
#include <string.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"

using namespace tavo::network;

uint32_t do_Ping(TavoNode* tcpip, TavoNode* action, char* params) {
  HandlerContext t;
  if (params == nullptr || !action_target(tcpip, action, &t)) return 1;
  pdebug(TAVO_LOG_BACKEND, 5, "%s:params[0] = %s\n", __func__, params);
  tavo::PingRequest r{};
  bool valid = false;
  if (strchr(params, ':') != nullptr && strlen(params) > 2) {
    char text[40];
    snprintf(text, sizeof text, "%.39s", params);
    valid = validateIPv6Address(text) == 0;
    if (valid) StrToU8IPv6(text, r.host.address);
    r.host.type = tavo::kAddressTypeIPv6;
  } else {
    valid = validateIPAddress(params, r.host.address, 1) == 1;
    r.host.type = tavo::kAddressTypeIPv4;
  }
  if (!valid) {
    network_status(17);
    return 1;
  }
  // Any failure, an unreachable host among them, is the ping's.
  if (ioctl_ping(t.number, &r, t.domain, t.port) != 0) {
    network_status(53);
    return 1;
  }
  return 0;
}

