// The ARP table of an iSCSI function: ARPTableEntry instances rebuilt
// whole from the firmware's table after every change, and the ARP actions.
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/network/network_internal.h"
#include "transport/commands.h"

using namespace tavo::network;

namespace {

// Sends one ARP change; 0, or 1 with status 130.
uint32_t arp_send(const HandlerContext& t, uint32_t action, const uint8_t address[4], const uint8_t mac[6]) {
  tavo::ArpTableRecord r{};
  r.action = action;
  memcpy(r.entry.address, address, 4);
  memcpy(r.entry.mac, mac, 6);
  if (ioctl_Save_Arp_Table(t.number, &r, t.domain, t.port) == 0) return 0;
  network_status(130);
  return 1;
}

}  // namespace

uint32_t get_Arp_Entry_attribs(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* tcpip,
                               TavoNode* creating_node, TavoNode* creating_action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (tcpip == nullptr) return 1;
  tavo::ArpTable table{};
  if (ioctl_Fetch_ARP_Table(device_handle, &table, sizeof table, static_cast<uint8_t>(domain),
                            static_cast<uint8_t>(port)) != 0) {
    network_status(97);
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 6, "ArpsCount is :%d\n", table.count);
  // A count the reply cannot hold leaves the shown entries as they are.
  if (table.count < 0 || table.count > static_cast<int32_t>(tavo::kMaxArpEntries)) return 1;
  TavoNode* arp_table = internal_get_node(tcpip, "ARPTable", TAVO_KIND_GROUP);
  if (arp_table == nullptr || purge_nodes_within(arp_table, "ARPTableEntry") != 0) return 1;
  for (int32_t i = 0; i < table.count; ++i) {
    const bool first = i == 0;
    TavoNode* e = initialize_ARPTableEntry(arp_table, first ? creating_node : nullptr,
                                           first ? creating_action : nullptr, first ? params : nullptr);
    if (e == nullptr) return 1;
    pdebug(TAVO_LOG_BACKEND, 5, "ArpEntry init called\n");
    const uint8_t* a = table.entries[i].address;
    const uint8_t* m = table.entries[i].mac;
    if (set_prop_val(e, "IPAddress", "%d.%d.%d.%d", a[0], a[1], a[2], a[3]) != 0 ||
        set_prop_val(e, "MACAddress", "%02x-%02x-%02x-%02x-%02x-%02x", m[0], m[1], m[2], m[3], m[4], m[5]) != 0)
      return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "Arpentry init success\n");
  return 0;
}

uint32_t do_AddARPTableEntry(TavoNode* arp_table, TavoNode* action, char* params) {
  HandlerContext t;
  if (params == nullptr || !action_target(arp_table, action, &t)) return 1;
  uint8_t address[4], mac[6];
  if (validateIPAddress(params, address, 1) != 1 || validateMACAddress(params + TAVO_VALUE_SIZE, mac) != 1) {
    network_status(17);
    return 1;
  }
  if (arp_send(t, tavo::kEntryAdd, address, mac) != 0) return 1;
  return get_Arp_Entry_attribs(t.number, t.domain, t.port, arp_table->parent, arp_table, action, params);
}

// The rebuilt entries record no creating action: a restore must never
// replay a delete.

uint32_t do_DeleteARPTableEntry(TavoNode* arp_table, TavoNode* action, char* params) {
  HandlerContext t;
  TavoNode* entry = nullptr;
  if (!entry_target(arp_table, action, "ARPTableEntry", params, &t, &entry)) return 1;
  char address_text[TAVO_VALUE_SIZE] = "", mac_text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(entry, "IPAddress", address_text) != 0 ||
      internal_get_property(entry, "MACAddress", mac_text) != 0)
    return 1;
  uint8_t address[4] = {}, mac[6] = {};
  validateIPAddress(address_text, address, 1);
  validateMACAddress(mac_text, mac);
  if (arp_send(t, tavo::kEntryDelete, address, mac) != 0) return 1;
  return get_Arp_Entry_attribs(t.number, t.domain, t.port, arp_table->parent, nullptr, nullptr, nullptr);
}

uint32_t do_RefreshARPTableEntry(TavoNode* arp_table, TavoNode* action, char*) {
  HandlerContext t;
  if (!action_target(arp_table, action, &t)) return 1;
  return get_Arp_Entry_attribs(t.number, t.domain, t.port, arp_table->parent, nullptr, nullptr, nullptr);
}

