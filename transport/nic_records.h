// Payloads of the mailbox commands and NIC driver requests that serve a NIC
// function: its MAC addresses, virtual functions, network boot, vNIC and
// QoS data, firmware configuration and switch type. Little-endian, packed;
// the simulator's firmware and driver fill the same records.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "transport/device_layout.h"
#include "transport/profile_records.h"

namespace tavo {

#pragma pack(push, 1)

// Mailbox 1/1 query types beyond those of network_records.h: 1 the
// function's current MAC (byte 1 = 1).
inline constexpr uint8_t kMacQueryCurrent = 1;

// Mailbox 147/1: type 9|1|the factory MAC of the function (or of the PCI
// function the header names).
inline constexpr uint8_t kMacListFactory = 9;
struct MacListRecord {
  uint8_t list_type;
  uint8_t one;            // 1
  uint8_t mac[6];         // 2
  uint8_t reserved8[524];
};
static_assert(sizeof(MacListRecord) == 532);
static_assert(offsetof(MacListRecord, mac) == 2);

// Mailbox 4/21: the OEM exec configuration. Byte 3 bit 7 marks a write;
// the flag bits tell which fields hold (or carry) a value.
inline constexpr uint8_t kOemVolatileMacValid = 1u << 0;
inline constexpr uint8_t kOemVlanValid = 1u << 1;
inline constexpr uint8_t kOemWrite = 0x80;
struct OemExecConfig {
  uint8_t flags;
  uint8_t reserved1[2];
  uint8_t write;          // 3: bit 7
  uint8_t volatile_mac[6];  // 4
  uint8_t reserved10[2];
  uint16_t vlan_id;       // 12
  uint8_t vlan_priority;  // 14
  uint8_t vlan_write;     // 15: bit 7 with a VLAN write
  uint8_t reserved16[32];
};
static_assert(sizeof(OemExecConfig) == 48);
static_assert(offsetof(OemExecConfig, volatile_mac) == 4);
static_assert(offsetof(OemExecConfig, vlan_id) == 12);
static_assert(offsetof(OemExecConfig, vlan_priority) == 14);
static_assert(offsetof(OemExecConfig, vlan_write) == 15);

// Mailbox 66/1, 67/1 (BootConfig of firmware_records.h): boot state and
// method values.
inline constexpr uint8_t kNetworkBootEnabled = 1;
inline constexpr uint8_t kNetworkBootPxe = 1;
inline constexpr uint8_t kNetworkBootIbft = 2;

// Mailbox 83/1: bit f of the word at 32 is set when PCI function f has its
// expansion ROM (boot code) enabled.
struct PciFunctionMapping {
  uint8_t reserved0[32];
  uint32_t rom_enabled;   // 32
  uint8_t reserved36[32];
};
static_assert(sizeof(PciFunctionMapping) == 68);
static_assert(offsetof(PciFunctionMapping, rom_enabled) == 32);

// Mailbox 64/1: the vNIC's outer VLAN and bandwidths (units of 10 Mb/s).
struct VnicStats {
  uint32_t reserved0;
  uint32_t outer_vlan;    // 4
  uint32_t reserved8;
  uint32_t min_bandwidth; // 12
  uint32_t max_bandwidth; // 16
  uint32_t reserved20;
};
static_assert(sizeof(VnicStats) == 24);
static_assert(offsetof(VnicStats, outer_vlan) == 4);
static_assert(offsetof(VnicStats, min_bandwidth) == 12);
static_assert(offsetof(VnicStats, max_bandwidth) == 16);

// Mailbox 120/1: 1 when the function has a vNIC name|the name.
struct VnicName {
  uint32_t enabled;
  char name[88];          // 4: NUL-terminated within the field, or filling it
};
static_assert(sizeof(VnicName) == 92);
static_assert(offsetof(VnicName, name) == 4);

// Mailbox 27/1: the function's QoS limits.
struct QosRecord {
  uint32_t max_bit_rate;
  uint32_t reserved4;
  uint32_t max_ios_per_second;   // 8
  uint32_t max_bytes_per_second; // 12
  uint8_t reserved16[16];
};
static_assert(sizeof(QosRecord) == 32);
static_assert(offsetof(QosRecord, max_ios_per_second) == 8);
static_assert(offsetof(QosRecord, max_bytes_per_second) == 12);

// Mailbox 28/1: new QoS limits; the flags name the fields given.
inline constexpr uint32_t kQosIosGiven = 1u << 2;
inline constexpr uint32_t kQosBytesGiven = 1u << 6;
struct QosSetRecord {
  uint32_t flags;
  uint32_t reserved4[2];
  uint32_t max_ios_per_second;   // 12
  uint32_t max_bytes_per_second; // 16
  uint8_t reserved20[16];
};
static_assert(sizeof(QosSetRecord) == 36);
static_assert(offsetof(QosSetRecord, max_ios_per_second) == 12);
static_assert(offsetof(QosSetRecord, max_bytes_per_second) == 16);

// Mailbox 123/1: the controller's capabilities; the word's bits announce
// the multi-channel types it can run.
struct CapabilityRecord {
  uint32_t word;
  uint8_t reserved4[8];
};
static_assert(sizeof(CapabilityRecord) == 12);

// Mailboxes 152/1 (read, 16 bytes) and 153/1 (write, 20 bytes): how the
// adapter's embedded switch forwards a port's traffic, in bits 6-8 of the
// word at 0 (read) or 4 (write): 3 VEPA, 2 VEB.
inline constexpr uint8_t kSwitchConfigMark = 0x80;
inline constexpr uint16_t kForwardingShift = 6;
inline constexpr uint16_t kForwardingMask = 0x7;
inline constexpr uint16_t kForwardingVepa = 3;
inline constexpr uint16_t kForwardingVeb = 2;
struct SwitchConfigGet {
  uint16_t port;          // the reply: forwarding type in bits 6-8
  uint8_t reserved2;
  uint8_t mark;           // 3: 0x80
  uint8_t reserved4[12];
};
static_assert(sizeof(SwitchConfigGet) == 16);
struct SwitchConfigSet {
  uint16_t port;
  uint8_t reserved2;
  uint8_t mark;           // 3: 0x80
  uint16_t forwarding;    // 4: bits 6-8
  uint8_t reserved6[14];
};
static_assert(sizeof(SwitchConfigSet) == 20);
static_assert(offsetof(SwitchConfigSet, forwarding) == 4);
inline uint16_t forwarding_of(uint16_t word) { return (word >> kForwardingShift) & kForwardingMask; }

// Mailbox 58/1: the firmware configuration of a function.
inline constexpr uint32_t kFunctionModeSwitch = 1u << 17;
inline constexpr uint32_t kCapabilityNoChannels = 1u << 6;
struct FirmwareConfig {
  uint8_t reserved0[4];
  uint8_t asic_revision;  // 4
  uint8_t reserved5[7];
  uint32_t function_mode; // 12
  uint8_t reserved16[16];
  uint32_t targets;       // 32: with more_targets, the most targets it holds
  uint8_t reserved36[48];
  uint32_t more_targets;  // 84
  uint8_t reserved88[32];
  uint32_t capabilities;  // 120
  uint8_t reserved124[32];
};
static_assert(sizeof(FirmwareConfig) == 156);
static_assert(offsetof(FirmwareConfig, function_mode) == 12);
static_assert(offsetof(FirmwareConfig, asic_revision) == 4);
static_assert(offsetof(FirmwareConfig, capabilities) == 120);
static_assert(offsetof(FirmwareConfig, targets) == 32 && offsetof(FirmwareConfig, more_targets) == 84);
inline constexpr size_t kFirmwareConfigSize = sizeof(FirmwareConfig);

// Mailbox 124/1: the switch type to set.
struct SwitchTypeRecord {
  uint32_t switch_type;
  uint32_t reserved4;
};
static_assert(sizeof(SwitchTypeRecord) == 8);

// NIC request 7: one virtual function of the table that follows the 16-byte
// head of the answer area.
struct VfTableEntry {
  uint8_t mac[6];
  uint16_t vlan_id;       // 6
  uint16_t qos;           // 8: transmit rate in units of 10 Mb/s
  uint8_t link;           // 10: non-zero up
  uint8_t reserved11[5];
};
static_assert(sizeof(VfTableEntry) == kNicVfEntrySize);
static_assert(offsetof(VfTableEntry, vlan_id) == 6);
static_assert(offsetof(VfTableEntry, qos) == 8);
static_assert(offsetof(VfTableEntry, link) == 10);
// Where entry n lies in the answer area; entries past the area do not exist.
inline constexpr size_t kVfTableHead = kNicVfEntryOffset - 4;
static_assert(kVfTableHead + kNicVfEntrySize * kMaxNicVfEntries <= 976);

// Mailbox 165/1 carrying one edited protocol descriptor: 0|count 1|the
// descriptor|zeros.
struct ProfileDescriptorSet {
  uint8_t reserved0[4];
  uint32_t count;         // 4
  uint8_t descriptor[88]; // 8
  uint8_t reserved96[88];
};
static_assert(sizeof(ProfileDescriptorSet) == 184);
static_assert(offsetof(ProfileDescriptorSet, descriptor) == 8);
// Byte 3 of such a descriptor: the old flags' low six bits and the
// partial-write mark.
inline constexpr uint8_t kDescriptorFlagsKept = 0x3F;
inline constexpr uint8_t kDescriptorPartialWrite = 0x02;

// The legacy controller configuration (81/82, form 0) keeps the MAC of
// entry i 60 (NIC) or 64 (iSCSI) bytes after the entry's start. The offset
// of that MAC in the 836-byte record, or 0 when it would not lie wholly
// inside it.
inline constexpr size_t kLegacyNicMacOffset = 64;
inline constexpr size_t kLegacyIscsiMacOffset = 68;
inline size_t legacy_config_mac_offset(size_t entry, bool iscsi) {
  const size_t at = (iscsi ? kLegacyIscsiMacOffset : kLegacyNicMacOffset) + 52 * entry;
  return at + 6 <= sizeof(ControllerConfigRecord) ? at : 0;
}

#pragma pack(pop)

}  // namespace tavo
