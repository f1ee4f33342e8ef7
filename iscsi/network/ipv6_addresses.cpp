// IPv6 addresses of an iSCSI function: the address query, IPv6State, the
// link-local and routable addresses, and deleting one of them. Every text
// is in full form; the all-zero address stands for none.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"

using namespace tavo::network;

namespace {

// The first interface of the function; false with status 98.
bool ipv6_first_interface(const HandlerContext& t, uint32_t* id) {
  tavo::InterfaceIdList ids{};
  if (ioctl_get_all_if_id(t.number, &ids, sizeof ids, t.domain, t.port) != 0) {
    network_status(98);
    return false;
  }
  *id = ids.ids[0];
  return true;
}

// The IPv6 view of an interface in header version 0 or 1; the command's
// status.
uint32_t ipv6_view(const HandlerContext& t, uint32_t id, bool v1, tavo::InterfaceInfoBlock* block) {
  *block = tavo::InterfaceInfoBlock{};
  block->interface_id = id;
  block->family_or_vlan_tag = tavo::kAddressFamilyIPv6;
  return v1 ? ioctl_get_if_info_params_v1(t.number, block, sizeof *block, t.domain, t.port)
            : ioctl_get_if_info_params(t.number, block, sizeof *block, t.domain, t.port);
}

// Stores text in the property, or the all-zero form for an empty text,
// and answers it into buf.
uint32_t ipv6_show(TavoNode* property, const char* text, char* buf) {
  if (set_prop_val(property->parent, property->name, "%s", text[0] != '\0' ? text : kNoIPv6Address) != 0) return 1;
  if (buf != nullptr) handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  return 0;
}

uint32_t ipv6_not_available(TavoNode* property, char* buf) { return ipv6_show(property, "N/A", buf); }

}  // namespace

uint32_t TAVO_get_IPv6configuration_properties(uint32_t device_handle, uint32_t domain, uint32_t port,
                                               uint32_t address_type, char* text, uint32_t which) {
  pdebug(TAVO_LOG_BACKEND, 6, "%s:ip_type = 0x%x which = %u\n", __func__, address_type, which);
  if (text == nullptr) return 1;
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  uint32_t id = 0;
  tavo::InterfaceInfoBlock block;
  if (!ipv6_first_interface(t, &id)) return 1;
  if (ipv6_view(t, id, false, &block) != 0) {
    network_status(99);
    return 1;
  }
  // The reply holds 32 entries whatever count it gives.
  const tavo::IpAddressEntry* taken = nullptr;
  bool passed_first = false;
  for (uint32_t i = 0; i < tavo::interface_entry_count(block) && taken == nullptr; ++i) {
    const tavo::IpAddressEntry& e = block.entries[i];
    if (e.type != address_type) continue;
    if (address_type == tavo::kIPv6LinkLocal) {
      taken = &e;
    } else if (address_type == tavo::kIPv6Routable || address_type == tavo::kIPv6AutoRoutable) {
      if (which == 1 && !passed_first)
        passed_first = true;
      else
        taken = &e;
    } else {
      return 0;
    }
  }
  if (taken == nullptr) return 0;
  U8IPv6ToStr(taken->address, text);
  validateIPv6Address(text);
  pdebug(TAVO_LOG_BACKEND, 6, "%s:ipv6 address = %s\n", __func__, text);
  return 0;
}

uint32_t handle_IPv6State(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  if (!ipv6_capable(property)) return ipv6_not_available(property, buf);
  const HandlerContext t = handler_context(property);
  uint32_t id = 0, result = 1;
  tavo::InterfaceInfoBlock block;
  if (!t) return 1;
  if (ipv6_first_interface(t, &id)) {
    const uint32_t status = ipv6_view(t, id, true, &block);
    if (status == 327) return ipv6_not_available(property, buf);
    result = 0;
    if (status != 0) {
      network_status(99);
      result = 1;
    } else if (block.dhcp_or_state & tavo::kStateAutoAssign) {
      set_prop_val(property->parent, property->name, "%s", "AutoAssign");
    } else if (block.dhcp_or_state & tavo::kStateDhcp) {
      set_prop_val(property->parent, property->name, "%s", "DHCP");
    } else if (block.dhcp_or_state & tavo::kStateStatic) {
      set_prop_val(property->parent, property->name, "%s", "Static");
    }
  }
  if (buf != nullptr) handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  return result;
}

uint32_t handle_InitiatorLinkLocalAddress(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  if (!ipv6_capable(property)) return ipv6_not_available(property, buf);
  const HandlerContext t = handler_context(property);
  char text[40] = "";
  // A failed query leaves its status and shows nothing.
  if (!t || TAVO_get_IPv6configuration_properties(t.number, t.domain, t.port, tavo::kIPv6LinkLocal, text, 0) != 0)
    return 1;
  return ipv6_show(property, text, buf);
}

uint32_t handle_InitiatorRoutableAddress(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* ipv6 = property != nullptr ? property->parent : nullptr;
  if (!named_group(ipv6, "IPv6Configuration") || !named_group(ipv6->parent, "TCPIPConfiguration") ||
      !named_group(ipv6->parent->parent, "Network") || !named_group(ipv6->parent->parent->parent, "iSCSIPhysicalHBA"))
    return 1;
  char state[TAVO_VALUE_SIZE] = "";
  internal_get_property(ipv6, "IPv6State", state);
  const uint32_t type = strcasecmp(state, "Static") == 0 ? tavo::kIPv6Routable : tavo::kIPv6AutoRoutable;
  const uint32_t which = strcasecmp(property->name, "InitiatorRoutableAddress1") == 0 ? 0 : 1;
  const HandlerContext t = handler_context(property);
  char text[40] = "";
  if (!t || TAVO_get_IPv6configuration_properties(t.number, t.domain, t.port, type, text, which) != 0) return 1;
  return ipv6_show(property, text, buf);
}

uint32_t TAVO_delete_ipv6_address(TavoNode* ipv6, const char* property_name, uint32_t address_type,
                                  uint32_t device_handle, uint32_t domain, uint32_t port, uint32_t interface_id) {
  if (ipv6 == nullptr || property_name == nullptr) return 0;
  pdebug(TAVO_LOG_BACKEND, 5, "%s:ip_type = 0x%x property = %s\n", __func__, address_type, property_name);
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(ipv6, property_name, text) != 0) return 1;
  if (strcmp(text, kNoIPv6Address) == 0) return 0;
  text[39] = '\0';
  if (validateIPv6Address(text) != 0) {
    network_status(6);
    return 0;
  }
  AddressEntry entry;
  entry.type = static_cast<uint8_t>(address_type);
  StrToU8IPv6(text, entry.address);
  const HandlerContext t{
      .number = device_handle, .domain = static_cast<uint8_t>(domain), .port = static_cast<uint8_t>(port)};
  if (send_ip_entry(t, interface_id, tavo::kEntryDelete, entry, nullptr) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_modify_ip_entry failed\n", __func__);
    network_status(122);
    return 1;
  }
  return 0;
}

