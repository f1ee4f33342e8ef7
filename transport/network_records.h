// Payloads of the mailbox commands of an iSCSI function's TCP/IP stack
// (mailbox subsystem 2) and of its NIC view (7/2, 1/1). Little-endian,
// packed; the simulator's firmware reads and fills the same records.
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

// Mailbox 18/2: interface id|5.
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

#pragma pack(pop)

}  // namespace tavo
