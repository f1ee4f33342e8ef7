// Actions that change an iSCSI function's IPv4 settings: address, DHCP and
// VLAN. A change that fails after the old address or gateway was deleted
// puts them back, so a refused change never leaves the port without them.
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"
#include "transport/network_records.h"

using namespace tavo::network;

namespace {

// What a TCPIPConfiguration action works with.
struct TcpipAction {
  TavoNode* tcpip = nullptr;
  TcpipInterfaceHandle* handle = nullptr;
  HandlerContext target{};
};

bool tcpip_action_start(TavoNode* tcpip, TcpipAction* a) {
  a->tcpip = tcpip;
  a->handle = tcpip_interface(tcpip);
  if (a->handle == nullptr) return false;
  a->target = handler_context(tcpip);
  return static_cast<bool>(a->target);
}

bool tcpip_stored_text(TavoNode* tcpip, const char* name, char out[TAVO_VALUE_SIZE]) {
  TavoNode* p = internal_get_node(tcpip, name, TAVO_KIND_PROPERTY);
  if (p == nullptr || p->record == nullptr) return false;
  handle_internal_property(p, out, TAVO_PROPERTY_GET);
  return true;
}

// 1 (status 44) when a boot session forbids changing the address.
uint32_t tcpip_boot_session(const TcpipAction& a) {
  return check_for_boot_session(group_above(a.tcpip, "iSCSIPhysicalHBA"), a.target.domain);
}

void tcpip_restore_address(const TcpipAction& a, const AddressEntry& old) {
  keeping_last_status([&] {
    if (send_ip_entry(a.target, a.handle->interface_id, tavo::kEntryAdd, old, nullptr) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "tcpip_restore_address:Failed to put the previous IP address back.\n");
  });
}

void tcpip_restore_gateway(const TcpipAction& a, const AddressEntry& old) {
  keeping_last_status([&] {
    if (send_gateway(a.target, tavo::kEntryAdd, old.address) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "tcpip_restore_gateway:Failed to put the previous default gateway back.\n");
  });
}

uint32_t tcpip_set_vlan(TavoNode* tcpip, uint32_t tag) {
  TcpipAction a;
  if (!tcpip_action_start(tcpip, &a)) return 1;
  tavo::VlanConfigRecord r{a.handle->interface_id, tag};
  if (ioctl_set_vlan_params(a.target.number, &r, a.target.domain, a.target.port) != 0) {
    network_status(124);
    return 1;
  }
  return get_if_info_params(a.target.number, a.handle->interface_id, tcpip, a.target.domain, a.target.port);
}

}  // namespace

uint32_t do_ConfigureIPAddress(TavoNode* tcpip, TavoNode*, char* params) {
  TcpipAction a;
  if (params == nullptr || !tcpip_action_start(tcpip, &a)) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(tcpip, "DHCPEnabled", text) != 0) return 1;
  if (strcasecmp(text, "True") == 0) {
    network_status(43);
    return 1;
  }
  if (const uint32_t refused = tcpip_boot_session(a)) return refused;
  const char* address = params;
  const char* mask = params + TAVO_VALUE_SIZE;
  AddressEntry fresh;
  if ((strcasecmp(address, "0.0.0.0") != 0 && validateIPAddress(address, fresh.address, 1) != 1) ||
      (strcasecmp(mask, "0.0.0.0") != 0 && validateIPAddress(mask, fresh.mask, 5) != 1)) {
    network_status(17);
    return 1;
  }
  char stored_address[TAVO_VALUE_SIZE], stored_mask[TAVO_VALUE_SIZE];
  if (!tcpip_stored_text(tcpip, "InitiatorIPAddress", stored_address) ||
      !tcpip_stored_text(tcpip, "InitiatorSubnetMask", stored_mask))
    return 1;
  if (strcmp(stored_address, address) == 0 && strcmp(stored_mask, mask) == 0) {
    network_status(56);
    return 0;
  }
  AddressEntry old;
  const bool had = configured_entry(stored_address, stored_mask, &old);
  if (had && TAVO_delete_ip_from_firmware(a.target.number, a.handle->interface_id, tcpip, a.target.domain,
                                          a.target.port, old.address, old.mask) != 0)
    return 1;
  uint32_t address_status = 0;
  if (send_ip_entry(a.target, a.handle->interface_id, tavo::kEntryAdd, fresh, &address_status) != 0) {
    network_status(122);
    if (had) tcpip_restore_address(a, old);
    return 1;
  }
  if (address_status == tavo::kDuplicateAddressStatus) network_status(69);
  if (address_status == 11 || address_status == 13)
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Address status %u from the firmware.\n", __func__, address_status);
  return 0;
}

uint32_t do_DHCPEnable(TavoNode* tcpip, TavoNode*, char*) {
  TcpipAction a;
  if (!tcpip_action_start(tcpip, &a)) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(tcpip, "DHCPEnabled", text) == 0 && strcasecmp(text, "True") == 0) {
    network_status(57);
    return 0;
  }
  // The gateway is read from the firmware: its stored text may be older
  // than a change made since.
  char stored_address[TAVO_VALUE_SIZE], stored_mask[TAVO_VALUE_SIZE], gateway[TAVO_VALUE_SIZE];
  if (!tcpip_stored_text(tcpip, "InitiatorIPAddress", stored_address) ||
      !tcpip_stored_text(tcpip, "InitiatorSubnetMask", stored_mask) ||
      internal_get_property(tcpip, "DefaultGateway", gateway) != 0)
    return 1;
  if (const uint32_t refused = tcpip_boot_session(a)) return refused;
  AddressEntry old_address, old_gateway;
  const bool had_address = configured_entry(stored_address, stored_mask, &old_address);
  const bool had_gateway = validateIPAddress(gateway, old_gateway.address, 1) == 1;
  if (had_address && TAVO_delete_ip_from_firmware(a.target.number, a.handle->interface_id, tcpip, a.target.domain,
                                                  a.target.port, old_address.address, old_address.mask) != 0)
    return 1;
  auto restore = [&](bool gateway_deleted) {
    if (had_address) tcpip_restore_address(a, old_address);
    if (gateway_deleted) tcpip_restore_gateway(a, old_gateway);
  };
  if (had_gateway && send_gateway(a.target, tavo::kEntryDelete, old_gateway.address) != 0) {
    restore(false);
    return 1;
  }
  tavo::DhcpConfigRecord r{a.handle->interface_id, tavo::kDhcpKindIPv4, 1, 1};
  if (ioctl_config_dhcp(a.target.number, &r, a.target.domain, a.target.port) != 0) {
    restore(had_gateway);
    return 1;
  }
  if (internal_get_property(tcpip, "DHCPEnabled", text) != 0) return 1;
  if (strcasecmp(text, "False") == 0) {
    network_status(135);
    restore(had_gateway);
    return 1;
  }
  return 0;
}

uint32_t do_DHCPDisable(TavoNode* tcpip, TavoNode*, char*) {
  TcpipAction a;
  if (!tcpip_action_start(tcpip, &a)) return 1;
  if (const uint32_t refused = tcpip_boot_session(a)) return refused;
  tavo::DhcpReleaseRecord r{a.handle->interface_id, tavo::kDhcpKindIPv4};
  if (ioctl_release_dhcp(a.target.number, &r, a.target.domain, a.target.port) != 0) {
    network_status(123);
    return 1;
  }
  const uint32_t stored = set_prop_val(tcpip, "DHCPEnabled", "%s", "False") |
                          set_prop_val(tcpip, "InitiatorIPAddress", "%s", "0.0.0.0") |
                          set_prop_val(tcpip, "InitiatorSubnetMask", "%s", "0.0.0.0");
  return stored != 0 ? 1 : 0;
}

uint32_t do_ConfigureVLAN(TavoNode* tcpip, TavoNode*, char* params) {
  if (params == nullptr) return 1;
  // Read as the tree accepted them: "0x64" is VLAN 100, not 0.
  const char* priority_text = params + TAVO_VALUE_SIZE;
  int32_t id = 0, priority = 0;
  if (!parse_integer(params, 0, 4094, &id) ||
      (priority_text[0] != '\0' && !parse_integer(priority_text, 0, 7, &priority))) {
    network_status(17);
    return 1;
  }
  const uint32_t tag = ((static_cast<uint32_t>(priority) << 13) & 0xFFFFu) | (static_cast<uint32_t>(id) & 0xFFFFu);
  return tcpip_set_vlan(tcpip, tag);
}

uint32_t do_VLANDisable(TavoNode* tcpip, TavoNode*, char*) { return tcpip_set_vlan(tcpip, tavo::kNoVlanTag); }

