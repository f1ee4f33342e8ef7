// Payloads of the mailbox commands of an iSCSI function's TCP/IP stack
// (mailbox subsystem 2), its NIC view (7/2, 1/1) and its initiator name
// (6/6, 7/6). Little-endian, packed; the simulator's firmware reads and
// fills the same records.
// Addresses are in network order; an IPv4 address fills the first 4 of
// its 16 bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

inline constexpr uint32_t kAddressFamilyIPv4 = 1;
inline constexpr uint32_t kAddressFamilyIPv6 = 16;
inline constexpr uint8_t kAddressTypeIPv4 = 1;
inline constexpr uint32_t kEntryAdd = 1;
inline constexpr uint32_t kEntryDelete = 2;
inline constexpr uint32_t kNoVlanTag = 65535;
inline constexpr uint32_t kDhcpKindIPv4 = 5;
inline constexpr uint32_t kMaxInterfaceEntries = 32;
inline constexpr uint32_t kDuplicateAddressStatus = 47;
inline constexpr uint16_t kGatewayRecordLength = 24;
inline constexpr uint8_t kAddressTypeIPv6 = 0x10;  // pings, gateways, iSNS servers
inline constexpr uint8_t kIPv6LinkLocal = 0x50;     // interface entry types
inline constexpr uint8_t kIPv6Routable = 0x30;
inline constexpr uint8_t kIPv6AutoRoutable = 0x90;
inline constexpr uint32_t kDhcpKindIPv6 = 144;
// Configuration-state bits of a header-version-1 interface reply.
inline constexpr uint16_t kStateStatic = 0x100;
inline constexpr uint16_t kStateDhcp = 0x200;
inline constexpr uint16_t kStateAutoAssign = 0x400;
inline constexpr uint32_t kMaxRoutes = 999;
inline constexpr uint32_t kMaxArpEntries = 64;
inline constexpr uint32_t kIsnsSlots = 4;
inline constexpr uint16_t kIsnsDefaultPort = 3205;
// iSNS flags of the discovery parameters.
inline constexpr uint16_t kIsnsEnabled = 0x1;
inline constexpr uint16_t kIsnsUserServers = 0x10;
inline constexpr uint16_t kIsnsDhcpServers = 0x40;
inline constexpr uint8_t kMacQueryOwn = 0;
inline constexpr uint8_t kMacQueryFactory = 9;
inline constexpr uint32_t kMacQueryFunctions = 8;

#pragma pack(push, 1)

// Mailbox 24/2 reply: interface count|interface ids (only the first is used).
struct InterfaceIdList {
  uint32_t count;
  uint32_t ids[kMaxInterfaceEntries];
};
static_assert(sizeof(InterfaceIdList) == 132);
static_assert(offsetof(InterfaceIdList, ids) == 4);

// length 40|0|type (1 IPv4; IPv6 types 0x50, 0x30, 0x90)|0|address|mask|0
struct IpAddressEntry {
  uint8_t length;
  uint8_t reserved1;
  uint8_t type;
  uint8_t reserved3;
  uint8_t address[16];
  uint8_t mask[16];
  uint8_t reserved36[4];
};
static_assert(sizeof(IpAddressEntry) == 40);
static_assert(offsetof(IpAddressEntry, type) == 2);
static_assert(offsetof(IpAddressEntry, address) == 4);
static_assert(offsetof(IpAddressEntry, mask) == 20);

// Mailbox 25/2, request and reply in one buffer: interface id|family asked
// (reply: VLAN tag, 65535 none; bits 0-11 id, 13-15 priority)|entry count|
// DHCP flag (header version 1: configuration-state bits in its low u16)|
// entries.
struct InterfaceInfoBlock {
  uint32_t interface_id;
  uint32_t family_or_vlan_tag;
  uint32_t entry_count;
  uint32_t dhcp_or_state;
  IpAddressEntry entries[kMaxInterfaceEntries];
};
static_assert(sizeof(InterfaceInfoBlock) == 1296);
static_assert(offsetof(InterfaceInfoBlock, family_or_vlan_tag) == 4);
static_assert(offsetof(InterfaceInfoBlock, entry_count) == 8);
static_assert(offsetof(InterfaceInfoBlock, dhcp_or_state) == 12);
static_assert(offsetof(InterfaceInfoBlock, entries) == 16);

// The entries a reply really holds: its count bounded by the array.
inline uint32_t interface_entry_count(const InterfaceInfoBlock& block) {
  return block.entry_count < kMaxInterfaceEntries ? block.entry_count : kMaxInterfaceEntries;
}

// Mailbox 21/2: 1 entry|action|interface id|entry|reply: address status.
struct IpAddressRecord {
  uint32_t entry_count;
  uint32_t action;
  uint32_t interface_id;
  IpAddressEntry entry;
  uint32_t address_status;
};
static_assert(sizeof(IpAddressRecord) == 56);
static_assert(offsetof(IpAddressRecord, interface_id) == 8);
static_assert(offsetof(IpAddressRecord, entry) == 12);
static_assert(offsetof(IpAddressRecord, address_status) == 52);

// Mailbox 22/2: request address type|reply gateway|0.
struct DefaultGatewayQuery {
  uint32_t address_type;
  uint8_t gateway[16];
  uint8_t reserved20[4];
};
static_assert(sizeof(DefaultGatewayQuery) == 24);
static_assert(offsetof(DefaultGatewayQuery, gateway) == 4);

// Mailbox 23/2: action|length (24, 0 in IPv4 deletes)|0|address type|gateway|0.
struct DefaultGatewayRecord {
  uint32_t action;
  uint16_t length;
  uint8_t reserved6;
  uint8_t address_type;
  uint8_t gateway[16];
  uint8_t reserved24[4];
};
static_assert(sizeof(DefaultGatewayRecord) == 28);
static_assert(offsetof(DefaultGatewayRecord, length) == 4);
static_assert(offsetof(DefaultGatewayRecord, address_type) == 7);
static_assert(offsetof(DefaultGatewayRecord, gateway) == 8);

// Mailbox 17/2: interface id|kind (5 IPv4, 144 IPv6)|1|1.
struct DhcpConfigRecord {
  uint32_t interface_id;
  uint32_t kind;
  uint32_t word8;
  uint32_t word12;
};
static_assert(sizeof(DhcpConfigRecord) == 16);

// Mailbox 18/2: interface id|kind (5 IPv4, 144 IPv6).
struct DhcpReleaseRecord {
  uint32_t interface_id;
  uint32_t kind;
};
static_assert(sizeof(DhcpReleaseRecord) == 8);

// Mailbox 14/2: interface id|VLAN tag.
struct VlanConfigRecord {
  uint32_t interface_id;
  uint32_t tag;
};
static_assert(sizeof(VlanConfigRecord) == 8);

// Mailbox 7/2 reply: the largest port speed (code) and MTU the function allows.
struct NicParamsRecord {
  uint8_t reserved0[8];
  uint32_t max_speed_code;
  uint8_t reserved12[4];
  uint32_t max_mtu;
  uint8_t reserved20[32];
};
static_assert(sizeof(NicParamsRecord) == 52);
static_assert(offsetof(NicParamsRecord, max_speed_code) == 8);
static_assert(offsetof(NicParamsRecord, max_mtu) == 16);

// Mailbox 1/1: query type|1 for type 0|type 0: the function's MAC|type 9:
// per PCI function 0-7 an entry whose bytes 2-7 are its factory MAC.
struct MacQueryRecord {
  uint8_t query_type;
  uint8_t own_flag;
  uint8_t mac[6];
  struct {
    uint8_t reserved[2];
    uint8_t mac[6];
  } functions[kMacQueryFunctions];
};
static_assert(sizeof(MacQueryRecord) == 72);
static_assert(offsetof(MacQueryRecord, mac) == 2);
static_assert(offsetof(MacQueryRecord, functions) == 8);
static_assert(offsetof(MacQueryRecord, functions[2].mac) == 26);

// 0|address type (1 IPv4, 0x10 IPv6)|address
struct TypedAddress {
  uint8_t reserved0[3];
  uint8_t type;
  uint8_t address[16];
};
static_assert(sizeof(TypedAddress) == 20);
static_assert(offsetof(TypedAddress, type) == 3);
static_assert(offsetof(TypedAddress, address) == 4);

// Mailbox 6/2: the host to ping|0.
struct PingRequest {
  TypedAddress host;
  uint8_t reserved20[4];
};
static_assert(sizeof(PingRequest) == 24);

// One route: 0|destination|mask|0|gateway|0 (IPv4 in the first 4 bytes).
struct RouteEntry {
  uint8_t reserved0[4];
  uint8_t destination[16];
  uint8_t mask[16];
  uint8_t reserved36[8];
  uint8_t gateway[16];
  uint8_t reserved60[4];
};
static_assert(sizeof(RouteEntry) == 64);
static_assert(offsetof(RouteEntry, destination) == 4);
static_assert(offsetof(RouteEntry, mask) == 20);
static_assert(offsetof(RouteEntry, gateway) == 44);

// Mailbox 11/2: action (1 add, 2 delete)|0|route.
struct RouteTableRecord {
  uint32_t action;
  uint32_t reserved4;
  RouteEntry route;
};
static_assert(sizeof(RouteTableRecord) == 72);
static_assert(offsetof(RouteTableRecord, route) + offsetof(RouteEntry, destination) == 12);
static_assert(offsetof(RouteTableRecord, route) + offsetof(RouteEntry, gateway) == 52);

// Mailbox 10/2 reply: route count|0|999 routes|0.
struct RouteTable {
  int32_t count;
  uint32_t reserved4;
  RouteEntry routes[kMaxRoutes];
  uint8_t reserved63944[56];
};
static_assert(sizeof(RouteTable) == 64000);
static_assert(offsetof(RouteTable, routes) == 8);

// One ARP entry: 0|address (IPv4 in the first 4 bytes)|0|MAC|0.
struct ArpEntry {
  uint8_t reserved0[4];
  uint8_t address[16];
  uint8_t reserved20[6];
  uint8_t mac[6];
  uint8_t reserved32[8];
};
static_assert(sizeof(ArpEntry) == 40);
static_assert(offsetof(ArpEntry, address) == 4);
static_assert(offsetof(ArpEntry, mac) == 26);

// Mailbox 9/2: action (1 add, 2 delete)|0|entry.
struct ArpTableRecord {
  uint32_t action;
  uint32_t reserved4;
  ArpEntry entry;
};
static_assert(sizeof(ArpTableRecord) == 48);
static_assert(offsetof(ArpTableRecord, entry) + offsetof(ArpEntry, address) == 12);
static_assert(offsetof(ArpTableRecord, entry) + offsetof(ArpEntry, mac) == 34);

// Mailbox 8/2 reply: entry count|0|64 entries.
struct ArpTable {
  int32_t count;
  uint32_t reserved4;
  ArpEntry entries[kMaxArpEntries];
};
static_assert(sizeof(ArpTable) == 2568);
static_assert(offsetof(ArpTable, entries) == 8);

// An iSNS server: its address|0|TCP port|0.
struct IsnsServerSlot {
  TypedAddress server;
  uint8_t reserved20[4];
  uint16_t port;
  uint8_t reserved26[2];
};
static_assert(sizeof(IsnsServerSlot) == 28);
static_assert(offsetof(IsnsServerSlot, port) == 24);

// Mailbox 28/2 and 29/2: other discovery parameters|iSNS flags|other|
// initiator name|servers in use|server slots.
struct DiscoveryParamsBlock {
  uint8_t other[544];
  uint16_t isns_flags;
  uint8_t reserved546[2];
  char initiator_iscsiname[224];
  uint32_t srv_count;
  IsnsServerSlot servers[kIsnsSlots];
};
static_assert(sizeof(DiscoveryParamsBlock) == 888);
static_assert(offsetof(DiscoveryParamsBlock, isns_flags) == 544);
static_assert(offsetof(DiscoveryParamsBlock, initiator_iscsiname) == 548);
static_assert(offsetof(DiscoveryParamsBlock, srv_count) == 772);
static_assert(offsetof(DiscoveryParamsBlock, servers) == 776);

// Mailbox 6/6 and 7/6 (mailbox subsystem 6): flags (bit 0 cleared in every
// request)|other|initiator name|alias, each NUL-terminated.
struct InitiatorNameBlock {
  uint16_t flags;
  uint8_t reserved2[2];
  char name[224];
  char alias[32];
};
static_assert(sizeof(InitiatorNameBlock) == 260);
static_assert(offsetof(InitiatorNameBlock, name) == 4);
static_assert(offsetof(InitiatorNameBlock, alias) == 228);

#pragma pack(pop)

}  // namespace tavo
