// The IPv4 side of an iSCSI function's interface: reading it into the
// TCPIPConfiguration group, its interface record, and the address records.
#include <stdio.h>
#include <string.h>

#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"
#include "transport/network_records.h"

using namespace tavo::network;
using tavo::tree::group_record;

namespace {

bool tcpip_is_group(const TavoNode* n) { return n != nullptr && n->kind == TAVO_KIND_GROUP && n->record != nullptr; }

// The group's record, made on its first read.
TcpipInterfaceHandle* tcpip_record(TavoNode* tcpip) {
  auto* h = static_cast<TcpipInterfaceHandle*>(group_record(tcpip)->nhandle);
  if (h != nullptr) return h;
  h = static_cast<TcpipInterfaceHandle*>(tavo_dmalloc(sizeof(TcpipInterfaceHandle)));
  if (h != nullptr) {
    memset(h, 0, sizeof *h);
    group_record(tcpip)->nhandle = h;
  }
  return h;
}

}  // namespace

namespace tavo::network {

TcpipInterfaceHandle* tcpip_interface(TavoNode* tcpip) {
  if (!tcpip_is_group(tcpip)) return nullptr;
  auto* h = static_cast<TcpipInterfaceHandle*>(group_record(tcpip)->nhandle);
  if (h != nullptr) return h;
  // Until the interface was read once no action could run: read it now.
  const HandlerContext t = handler_context(tcpip);
  if (!t || get_all_interfaces(t.number, t.port, t.domain, tcpip) != 0) return nullptr;
  return static_cast<TcpipInterfaceHandle*>(group_record(tcpip)->nhandle);
}

bool configured_entry(const char* address, const char* mask, AddressEntry* out) {
  return validateIPAddress(address, out->address, 1) == 1 && validateIPAddress(mask, out->mask, 0) == 1;
}

uint32_t send_ip_entry(const HandlerContext& t, uint32_t interface_id, uint32_t action, const AddressEntry& entry,
                       uint32_t* address_status) {
  IpAddressRecord r{};
  r.entry_count = 1;
  r.action = action;
  r.interface_id = interface_id;
  r.entry.length = sizeof r.entry;
  r.entry.type = entry.type;
  memcpy(r.entry.address, entry.address, sizeof r.entry.address);
  memcpy(r.entry.mask, entry.mask, sizeof r.entry.mask);
  const uint32_t status = ioctl_modify_ip_entry(t.number, &r, sizeof r, t.domain, t.port);
  if (address_status != nullptr) *address_status = r.address_status;
  return status;
}

}  // namespace tavo::network

uint32_t get_all_interfaces(uint32_t device_handle, uint8_t port_number, uint8_t domain, TavoNode* tcpip) {
  if (!tcpip_is_group(tcpip)) return 1;
  tavo::InterfaceIdList ids{};
  if (ioctl_get_all_if_id(device_handle, &ids, sizeof ids, domain, port_number) != 0) {
    network_status(98);
    return 1;
  }
  TcpipInterfaceHandle* h = tcpip_record(tcpip);
  if (h == nullptr) return 1;
  h->device_handle = device_handle;
  h->interface_id = ids.ids[0];
  return get_if_info_params(device_handle, h->interface_id, tcpip, domain, port_number);
}

uint32_t get_if_info_params(uint32_t device_handle, uint32_t interface_id, TavoNode* tcpip, uint8_t domain,
                            uint8_t port_number) {
  if (!tcpip_is_group(tcpip)) return 1;
  tavo::InterfaceInfoBlock block{};
  block.interface_id = interface_id;
  block.family_or_vlan_tag = tavo::kAddressFamilyIPv4;
  if (ioctl_get_if_info_params(device_handle, &block, sizeof block, domain, port_number) != 0) {
    network_status(99);
    return 1;
  }
  const uint8_t zero[4] = {};
  const bool any = tavo::interface_entry_count(block) > 0;
  const uint8_t* a = any ? block.entries[0].address : zero;
  const uint8_t* m = any ? block.entries[0].mask : zero;
  if (set_prop_val(tcpip, "InitiatorIPAddress", "%d.%d.%d.%d", a[0], a[1], a[2], a[3]) != 0 ||
      set_prop_val(tcpip, "InitiatorSubnetMask", "%d.%d.%d.%d", m[0], m[1], m[2], m[3]) != 0)
    return 1;
  if (set_prop_val(tcpip, "DHCPEnabled", "%s", block.dhcp_or_state != 0 ? "True" : "False") != 0) return 1;
  const uint32_t tag = block.family_or_vlan_tag;
  const bool vlan = tag != tavo::kNoVlanTag;
  char id[16] = "", priority[16] = "";
  if (vlan) {
    snprintf(id, sizeof id, "%u", tag & 0xFFFu);
    snprintf(priority, sizeof priority, "%u", (tag >> 13) & 7u);
  }
  set_prop_val(tcpip, "VLANEnabled", "%s", vlan ? "True" : "False");
  set_prop_val(tcpip, "VLANId", "%s", id);
  return set_prop_val(tcpip, "Priority", "%s", priority);
}

uint32_t TAVO_delete_ip_from_firmware(uint32_t device_handle, uint32_t interface_id, TavoNode*, uint8_t domain,
                                      uint8_t port_number, const uint8_t* address, const uint8_t* mask) {
  if (address == nullptr || mask == nullptr) return 1;
  AddressEntry entry;
  memcpy(entry.address, address, sizeof entry.address);
  memcpy(entry.mask, mask, sizeof entry.mask);
  if (send_ip_entry(HandlerContext{.number = device_handle, .domain = domain, .port = port_number}, interface_id,
                    tavo::kEntryDelete, entry, nullptr) != 0) {
    network_status(122);
    return 1;
  }
  return 0;
}

uint32_t handle_tcpip_properties(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* tcpip = property->parent;
  const HandlerContext t = handler_context(tcpip);
  if (!t || get_all_interfaces(t.number, t.port, t.domain, tcpip) != 0) return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

