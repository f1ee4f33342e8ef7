// The iSNS servers of an iSCSI function: iSNSServer instances kept in line
// with slot 0 of the firmware's discovery parameters, and the iSNS actions.
// Every change reads the whole block, changes what iSNS owns (its flags,
// the server count and slots, the initiator name) and writes the rest back
// as it was.
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "iscsi/network/network_internal.h"
#include "iscsi/common/software_initiator.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::network;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

constexpr uint32_t kHostNotReachable = 32;
constexpr uint32_t kNoServers = 0xFFFF;  // the software initiator holds none

// Reads the domain's block; 0, else the command's status with status 80.
uint32_t isns_read(const HandlerContext& t, tavo::DiscoveryParamsBlock* b) {
  *b = tavo::DiscoveryParamsBlock{};
  const uint32_t status = ioctl_get_discoveryparams(t.number, b, t.domain, t.port);
  if (status != 0) network_status(80);
  return status;
}

// Writes the block; the command's status, with status 32 (the server is
// not reachable) or 81 left.
uint32_t isns_write(const HandlerContext& t, const tavo::DiscoveryParamsBlock& b) {
  tavo::DiscoveryParamsBlock sent = b;
  const uint32_t status = ioctl_set_discoveryparams(t.number, &sent, t.domain, t.port);
  if (status != 0) network_status(status == kHostNotReachable ? kHostNotReachable : 81);
  return status;
}

// The domain's initiator name into the block; get_initiator_name's result.
uint32_t isns_take_name(TavoNode* isns, uint32_t domain, tavo::DiscoveryParamsBlock* b) {
  char name[TAVO_VALUE_SIZE] = "";
  const uint32_t result = get_initiator_name(isns, name, domain);
  if (result != 0) return result;
  memset(b->initiator_iscsiname, 0, sizeof b->initiator_iscsiname);
  memcpy(b->initiator_iscsiname, name, strnlen(name, sizeof b->initiator_iscsiname - 1));
  return 0;
}

// Writes the block and reads the servers again. An unreachable server
// does not stop the refresh and stays the last status; any other failed
// write answers its status.
uint32_t isns_write_and_refresh(TavoNode* function_group, const HandlerContext& t, const tavo::DiscoveryParamsBlock* b,
                                TavoNode* isns, TavoNode* action, char* params) {
  const uint32_t written = b != nullptr ? isns_write(t, *b) : 0;
  if (written != 0 && written != kHostNotReachable) return written;
  const uint32_t result = get_all_isns(function_group, t.number, t.domain, t.port, isns, action, params);
  if (written == kHostNotReachable && result == 0) network_status(kHostNotReachable);
  return result;
}

}  // namespace

uint32_t get_discovery_params(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* isns) {
  if (isns == nullptr) return 1;
  tavo::DiscoveryParamsBlock b;
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  if (const uint32_t status = isns_read(t, &b)) return status;
  return set_prop_val(isns, "iSNSEnabled", "%s", (b.isns_flags & tavo::kIsnsEnabled) != 0 ? "Yes" : "No");
}

uint32_t get_all_isns(TavoNode* function_group, uint32_t device_handle, uint32_t domain, uint32_t port,
                      TavoNode* isns, TavoNode* creating_action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    const uint32_t listed = TAVO_get_all_op_isns(isns);
    if (listed == 0) return 0;
    if (listed != kNoServers) return 1;
    return purge_nodes_within(isns, "iSNSServer") != 0 ? 1 : 0;
  }
  tavo::DiscoveryParamsBlock b;
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  if (const uint32_t status = isns_read(t, &b)) return status;
  if (b.srv_count == 0) return purge_nodes_within(isns, "iSNSServer") != 0 ? 1 : 0;
  const tavo::IsnsServerSlot& slot = b.servers[0];
  pdebug(TAVO_LOG_BACKEND, 6, "%s:ip_type = 0x%x\n", __func__, slot.server.type);
  char address[40] = "", port_text[16];
  ipaddr_to_string(slot.server.address, address, slot.server.type);
  snprintf(port_text, sizeof port_text, "%d", slot.port);
  TavoNode* group = internal_get_node(function_group, "iSNS", TAVO_KIND_GROUP);
  if (group == nullptr) return 1;
  if (TavoNode* lowest = get_first_instance(group, "iSNSServer")) {
    char shown_address[TAVO_VALUE_SIZE] = "", shown_port[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(lowest, "IPAddress", shown_address) != 0 ||
        internal_get_property(lowest, "PortNumber", shown_port) != 0)
      return 1;
    if (strcmp(shown_address, address) == 0 && strcmp(shown_port, port_text) == 0) return 0;
  }
  // The new instance replays as the creating action with this server.
  ParamTexts own;
  char* texts = params != nullptr ? params : own.data();
  memset(texts, 0, sizeof own.text);
  snprintf(texts, TAVO_VALUE_SIZE, "%s", address);
  snprintf(texts + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", port_text);
  TavoNode* server = initialize_iSNSServer(group, isns, creating_action, texts);
  if (server == nullptr) return 1;
  const uint32_t result =
      internal_set_property(server, "IPAddress", address) | internal_set_property(server, "PortNumber", port_text);
  if (result != 0) delete_node(server);
  return result;
}

uint32_t group_iSNS(TavoNode* isns) {
  if (isns == nullptr || isns->parent == nullptr) return 1;
  TavoNode* function_group = isns->parent;
  ParamTexts params;
  const HandlerContext c = handler_context(function_group);
  const uint32_t result = get_all_isns(function_group, c.number, c.domain, c.port, isns,
                                       internal_get_node(isns, "ConfigureiSNSServer", TAVO_KIND_ACTION), params.data());
  return result != 0 ? 1 : 0;
}

uint32_t do_ConfigureiSNSServer(TavoNode* isns, TavoNode* action, char* params) {
  HandlerContext t;
  TavoNode* function_group = isns != nullptr ? isns->parent : nullptr;
  TavoNode* controller = group_above(function_group, "Corvane");
  if (params == nullptr || controller == nullptr || !action_target(isns, action, &t)) return 1;
  const uint32_t generation = get_cv_type(controller);
  TavoNode* lhba = get_first_instance(function_group, "LogicalHBA");
  if (generation == TAVO_GENERATION_UNREADABLE || lhba == nullptr) return 1;
  // CV3 firmware takes one server only.
  if (generation == tavo::kGenerationCV3 && get_first_instance(isns, "iSNSServer") != nullptr) {
    network_status(81);
    return 1;
  }
  tavo::TypedAddress server{};
  char address[40];
  snprintf(address, sizeof address, "%.39s", params);
  if (validateIPAddress(params, server.address, 1) == 1) {
    server.type = tavo::kAddressTypeIPv4;
    pdebug(TAVO_LOG_BACKEND, 5, "%s:ip_type = 0x%x ipAddress = %d.%d.%d.%d\n\n", __func__, server.type,
           server.address[0], server.address[1], server.address[2], server.address[3]);
  } else {
    memset(server.address, 0, sizeof server.address);
    if (validateIPv6Address(address) != 0) {
      network_status(17);
      return 1;
    }
    server.type = tavo::kAddressTypeIPv6;
    StrToU8IPv6(address, server.address);
    pdebug(TAVO_LOG_BACKEND, 5, "%s:ip_type = 0x%x ipv6address = %s\n", __func__, server.type, address);
  }
  // The number as the tree accepted it; none is the iSNS port.
  const char* port_text = params + TAVO_VALUE_SIZE;
  int32_t port = tavo::kIsnsDefaultPort;
  if (port_text[0] != '\0' && !parse_integer(port_text, 1024, 65535, &port)) {
    network_status(17);
    return 1;
  }
  char port_decimal[16];
  snprintf(port_decimal, sizeof port_decimal, "%d", port);
  pdebug(TAVO_LOG_BACKEND, 5, "domainid is:%d\n", t.domain);
  if (OPEN_ISCSI_DRIVER_LOADED) {
    if (TAVO_op_add_isns(address, port_decimal, lhba) != 0) return 1;
    return isns_write_and_refresh(function_group, t, nullptr, isns, action, params);
  }
  tavo::DiscoveryParamsBlock b;
  if (const uint32_t status = isns_read(t, &b)) return status;
  pdebug(TAVO_LOG_BACKEND, 5, "srv_count  is:%d\n", b.srv_count);
  if (b.srv_count == 0) b.srv_count = 1;
  b.servers[0] = tavo::IsnsServerSlot{};
  b.servers[0].server = server;
  b.servers[0].port = static_cast<uint16_t>(port);
  if (const uint32_t result = isns_take_name(isns, t.domain, &b)) return result;
  b.isns_flags = static_cast<uint16_t>((b.isns_flags | tavo::kIsnsUserServers) & ~tavo::kIsnsDhcpServers);
  pdebug(TAVO_LOG_BACKEND, 5, "initiator_name is :%.223s\n", b.initiator_iscsiname);
  return isns_write_and_refresh(function_group, t, &b, isns, action, params);
}

uint32_t do_DeleteiSNSServer(TavoNode* isns, TavoNode* action, char* params) {
  HandlerContext t;
  TavoNode* server = nullptr;
  if (!entry_target(isns, action, "iSNSServer", params, &t, &server)) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) return delete_op_iscsi_isns(server) == 0 && delete_node(server) == 0 ? 0 : 1;
  tavo::DiscoveryParamsBlock b;
  if (const uint32_t status = isns_read(t, &b)) return status;
  if (b.srv_count > 0) --b.srv_count;
  const int32_t slot = instance_number(server);
  if (slot >= 0 && slot < static_cast<int32_t>(tavo::kIsnsSlots)) b.servers[slot] = tavo::IsnsServerSlot{};
  b.isns_flags = static_cast<uint16_t>((b.isns_flags | tavo::kIsnsUserServers) & ~tavo::kIsnsDhcpServers);
  const uint32_t count = b.srv_count;
  if (isns_write(t, b) == 0) return delete_node(server) != 0 ? 1 : 0;
  // The firmware may have taken the change all the same: its count is then
  // the one written.
  if (const uint32_t status = isns_read(t, &b)) return status;
  if (b.srv_count != count) return 1;
  tavo::base::clear_last_status();
  return delete_node(server) != 0 ? 1 : 0;
}

uint32_t do_DiscoveryiSNSThruDHCP(TavoNode* isns, TavoNode* action, char* params) {
  if (OPEN_ISCSI_DRIVER_LOADED) {
    network_status(310);
    return 1;
  }
  HandlerContext base;
  TavoNode* function_group = isns != nullptr ? isns->parent : nullptr;
  if (!action_target(isns, action, &base)) return 1;
  for (TavoNode* lhba = get_first_instance(function_group, "LogicalHBA"); lhba != nullptr; lhba = next_instance(lhba)) {
    HandlerContext t = base;
    t.domain = static_cast<uint8_t>(instance_number(lhba));
    tavo::DiscoveryParamsBlock b;
    if (const uint32_t status = isns_read(t, &b)) return status;
    b.isns_flags = static_cast<uint16_t>((b.isns_flags | tavo::kIsnsDhcpServers) & ~tavo::kIsnsUserServers);
    if (const uint32_t result = isns_take_name(isns, t.domain, &b)) return result;
    pdebug(TAVO_LOG_BACKEND, 5, "discovery_params.isns_param.entity.initiator_iscsiname = %.223s\n",
           b.initiator_iscsiname);
    if (const uint32_t result = isns_write_and_refresh(function_group, t, &b, isns, action, params)) return result;
  }
  return 0;
}

