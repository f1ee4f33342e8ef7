// The adapter's function layout as the firmware keeps it, in its three
// forms: the profile configuration (mailboxes 164 and 165, header version
// 1), Galtor's common profile configuration (164, version 0) and the legacy
// controller configuration (81 and 82). Little-endian, packed; the
// simulator's firmware keeps the same records. The NIC branch owns the
// profile configuration and extends these layouts; the controller branch
// reads and writes all three for the personality.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace tavo {

#pragma pack(push, 1)

// --- profile configuration ---

// Descriptor types.
inline constexpr uint8_t kProfilePciFunction = 80;
inline constexpr uint8_t kProfileNic = 81;
inline constexpr uint8_t kProfileIscsi = 82;
inline constexpr uint8_t kProfileFcoe = 83;
inline constexpr uint8_t kProfileRoce = 84;
inline constexpr uint8_t kProfilePort = 85;
inline constexpr uint8_t kProfileMultiChannel = 86;

// Protocol bits of pf_type and mission_roles.
inline constexpr uint8_t kProtocolNic = 1;
inline constexpr uint8_t kProtocolIscsi = 2;
inline constexpr uint8_t kProtocolFcoe = 4;
inline constexpr uint8_t kProtocolRoce = 8;

// Configuration types of a get request (bits 0-1 of byte 1); bit 2 the
// readback flag, passed through for the firmware.
inline constexpr uint8_t kProfileConfigured = 0;
inline constexpr uint8_t kProfileGiven = 1;
inline constexpr uint8_t kProfileActive = 2;
inline constexpr uint8_t kProfileReadback = 1u << 2;

// The head every descriptor opens with; readers step by its length byte.
struct ProfileResourceDescriptor {
  uint8_t type;
  uint8_t length;        // 1: the whole descriptor
  uint8_t channel;       // 2: bit 7 set by the channel-parameter writer
  uint8_t flags;         // 3: bit 3 vf_template, bit 2 changed by a channel writer
  uint8_t reserved4[2];  // port descriptors: link number and multi-channel type
  uint16_t pf;           // 6: bits 0-9 PF number; writers keep bits 10-15
};
static_assert(sizeof(ProfileResourceDescriptor) == 8);
static_assert(offsetof(ProfileResourceDescriptor, flags) == 3);
static_assert(offsetof(ProfileResourceDescriptor, pf) == 6);

inline constexpr uint8_t kDescriptorVfTemplate = 1u << 3;
inline constexpr uint16_t kPfNumberMask = 0x3FF;

inline uint16_t pf_number_of(uint16_t pf_word) { return pf_word & kPfNumberMask; }
inline uint16_t with_pf_number(uint16_t pf_word, uint32_t pf) {
  return static_cast<uint16_t>((pf_word & ~kPfNumberMask) | (pf & kPfNumberMask));
}
// The 12-bit counts of port descriptors: the top four bits are not read.
inline uint16_t count12_of(uint16_t word) { return word & 0xFFF; }

// Type 80: one PCI function, ahead of its protocol descriptors.
struct ProfilePciFunctionDescriptor {
  ProfileResourceDescriptor head;
  uint8_t reserved8[4];
  uint8_t sriov_state;       // 12: 1 enabled
  uint8_t pf_state;          // 13: 1 enabled (the protocol in pf_type is valid)
  uint8_t pf_type;           // 14: protocol bits
  uint8_t reserved15;
  uint16_t number_vfs;       // 16: 255 with SR-IOV, else 0
  uint8_t reserved18[2];
  uint8_t mission_roles;     // 20: protocols the function may take
  uint8_t reserved21[2];
  uint8_t changeable;        // 23: bit 3 presentation_chg, bit 4 sriov_state_chg
  uint8_t reserved24[64];
};
static_assert(sizeof(ProfilePciFunctionDescriptor) == 88);
static_assert(offsetof(ProfilePciFunctionDescriptor, sriov_state) == 12);
static_assert(offsetof(ProfilePciFunctionDescriptor, pf_state) == 13);
static_assert(offsetof(ProfilePciFunctionDescriptor, pf_type) == 14);
static_assert(offsetof(ProfilePciFunctionDescriptor, number_vfs) == 16);
static_assert(offsetof(ProfilePciFunctionDescriptor, mission_roles) == 20);
static_assert(offsetof(ProfilePciFunctionDescriptor, changeable) == 23);

// Mission roles that mark a storage function.
inline constexpr uint8_t kStorageRoles = kProtocolIscsi | kProtocolFcoe;
// Byte 3 of a PCI function descriptor the personality writer sends.
inline constexpr uint8_t kDescriptorFlagsWritten = 0x80;

// Type 81: NIC personality of a function. A partial write fills the u16
// fields at 8, 18, 20, 28, 32, 38, 60 and 62 and both bandwidths with ones:
// the firmware keeps those unchanged.
struct ProfileNicDescriptor {
  ProfileResourceDescriptor head;
  uint16_t keep8;
  uint8_t mac[6];            // 10
  uint8_t reserved16[2];
  uint16_t keep18;
  uint16_t keep20;
  uint8_t reserved22[6];
  uint16_t keep28;
  uint8_t reserved30[2];
  uint16_t keep32;
  uint8_t reserved34[2];
  uint16_t lpvid;            // 36
  uint16_t keep38;
  uint8_t reserved40[4];
  uint8_t link;              // 44: bits 0-5 link number
  uint8_t link_flags;        // 45: bit 1 logical link disabled
  uint16_t outer_vlan;       // 46: bits 0-11; bits 12-15 set by the channel-parameter writer
  uint32_t min_bandwidth;    // 48
  uint32_t max_bandwidth;    // 52
  uint8_t reserved56[4];
  uint16_t keep60;
  uint16_t keep62;
  uint8_t reserved64[24];
};
static_assert(sizeof(ProfileNicDescriptor) == 88);
static_assert(offsetof(ProfileNicDescriptor, mac) == 10);
static_assert(offsetof(ProfileNicDescriptor, lpvid) == 36);
static_assert(offsetof(ProfileNicDescriptor, link) == 44);
static_assert(offsetof(ProfileNicDescriptor, outer_vlan) == 46);
static_assert(offsetof(ProfileNicDescriptor, min_bandwidth) == 48);
static_assert(offsetof(ProfileNicDescriptor, keep60) == 60);

// Type 82: iSCSI personality of a function.
struct ProfileIscsiDescriptor {
  ProfileResourceDescriptor head;
  uint8_t reserved8[6];
  uint8_t mac[6];            // 14
  uint8_t reserved20[12];
  uint8_t link;              // 32
  uint8_t link_flags;        // 33
  uint8_t reserved34[2];
  uint32_t min_bandwidth;    // 36
  uint32_t max_bandwidth;    // 40
  uint8_t reserved44[44];
};
static_assert(sizeof(ProfileIscsiDescriptor) == 88);
static_assert(offsetof(ProfileIscsiDescriptor, mac) == 14);
static_assert(offsetof(ProfileIscsiDescriptor, link) == 32);
static_assert(offsetof(ProfileIscsiDescriptor, min_bandwidth) == 36);

// Type 83: FCoE personality of a function.
struct ProfileFcoeDescriptor {
  ProfileResourceDescriptor head;
  uint8_t reserved8[32];
  uint8_t mac[6];            // 40
  uint8_t reserved46[6];
  uint8_t link;              // 52
  uint8_t link_flags;        // 53
  uint8_t reserved54[2];
  uint32_t min_bandwidth;    // 56
  uint32_t max_bandwidth;    // 60
  uint8_t reserved64[24];
};
static_assert(sizeof(ProfileFcoeDescriptor) == 88);
static_assert(offsetof(ProfileFcoeDescriptor, mac) == 40);
static_assert(offsetof(ProfileFcoeDescriptor, link) == 52);
static_assert(offsetof(ProfileFcoeDescriptor, max_bandwidth) == 60);

// Type 84: RoCE personality; it belongs to the NIC, iSCSI or FCoE
// descriptor just before it, and only its head is read.
struct ProfileRoceDescriptor {
  ProfileResourceDescriptor head;
  uint8_t reserved8[80];
};
static_assert(sizeof(ProfileRoceDescriptor) == 88);

// Type 85: one port.
struct ProfilePortDescriptor {
  uint8_t type;
  uint8_t length;
  uint8_t reserved2[2];
  uint8_t link;               // 4: bits 0-5 link number
  uint8_t mc_type;            // 5: multi-channel type code
  uint8_t reserved6[6];
  uint16_t max_pf_count;      // 12: 12-bit counts from here on
  uint16_t max_storage_count; // 14
  uint16_t nic_count;         // 16
  uint16_t roce_count;        // 18
  uint16_t iscsi_count;       // 20
  uint16_t fcoe_count;        // 22
  uint8_t reserved24[64];
};
static_assert(sizeof(ProfilePortDescriptor) == 88);
static_assert(offsetof(ProfilePortDescriptor, mc_type) == 5);
static_assert(offsetof(ProfilePortDescriptor, max_pf_count) == 12);
static_assert(offsetof(ProfilePortDescriptor, fcoe_count) == 22);

// Type 86: the multi-channel type of each port, last in a whole write.
struct ProfileMultiChannelDescriptor {
  uint8_t type;
  uint8_t length;             // 68
  uint8_t reserved2[50];
  uint8_t mc_type[4];         // 52: port p at 52 + p
  uint8_t reserved56[12];
};
static_assert(sizeof(ProfileMultiChannelDescriptor) == 68);
static_assert(offsetof(ProfileMultiChannelDescriptor, mc_type) == 52);

inline constexpr size_t kProfileMaxDescriptors = 257;

// Get form (164): the request out and the reply back in one buffer. The
// request is profile id|configuration type and flags|0|0; the reply opens
// with the u16 descriptor count.
struct ProfileConfigBuffer {
  uint8_t profile_id;
  uint8_t config;             // 1: bits 0-1 configuration type, bit 2 readback
  uint8_t reserved2[2];
  uint8_t descriptors[kProfileMaxDescriptors * 88];  // 4
};
static_assert(sizeof(ProfileConfigBuffer) == 22620);
static_assert(offsetof(ProfileConfigBuffer, descriptors) == 4);

// Set form (165): exactly the bytes sent.
struct ProfileConfigSet {
  uint8_t profile_id;
  uint8_t reserved1[2];
  uint8_t whole;              // 3: bit 7 the buffer carries the whole configuration
  uint32_t count;             // 4
  uint8_t descriptors[kProfileMaxDescriptors * 88];  // 8
};
static_assert(sizeof(ProfileConfigSet) == 22624);
static_assert(offsetof(ProfileConfigSet, count) == 4);
static_assert(offsetof(ProfileConfigSet, descriptors) == 8);
inline constexpr uint8_t kProfileWholeConfig = 0x80;

inline uint16_t profile_descriptor_count(const uint8_t* reply) {
  uint16_t count;
  memcpy(&count, reply, sizeof count);
  return count;
}

// Calls visit(descriptor, length) for up to count descriptors of the size
// bytes, the first at byte at, each opening with its type and length bytes
// and the next starting its length further on, until visit answers false.
// The walk ends at a length shorter than minimum (0 among them) and at a
// descriptor that runs past the bytes: firmware counts and lengths are
// never trusted.
template <typename Byte, typename Visit>
void walk_descriptors(Byte* bytes, size_t size, size_t at, size_t count, size_t minimum, Visit visit) {
  if (minimum < 2) minimum = 2;
  for (size_t i = 0; i < count && at <= size && size - at >= minimum; ++i) {
    const uint8_t length = bytes[at + 1];
    if (length < minimum || length > size - at) return;
    if (!visit(bytes + at, static_cast<size_t>(length))) return;
    at += length;
  }
}

// The descriptors of a profile configuration reply of size bytes (a
// get-form buffer): the u16 count at 0, the first descriptor at 4, each at
// least its head long.
template <typename Byte, typename Visit>
void walk_profile_descriptors(Byte* reply, size_t size, Visit visit) {
  if (size < offsetof(ProfileConfigBuffer, descriptors)) return;
  walk_descriptors(reply, size, offsetof(ProfileConfigBuffer, descriptors), profile_descriptor_count(reply),
                   sizeof(ProfileResourceDescriptor), visit);
}

// A typed copy of a descriptor of the given type long enough to hold it.
template <typename Descriptor>
bool read_profile_descriptor(const uint8_t* descriptor, size_t length, uint8_t type, Descriptor* out) {
  if (descriptor[0] != type || length < sizeof *out) return false;
  memcpy(out, descriptor, sizeof *out);
  return true;
}

// Bits of byte 23 of a PCI function descriptor.
inline constexpr uint8_t kPresentationChangeable = 1u << 3;
inline constexpr uint8_t kSriovChangeable = 1u << 4;
// byte 3 bits a writer of whole PCI function descriptors clears.
inline constexpr uint8_t kWholeWriteClearedFlags = 0xC0;
// number_vfs of a function with SR-IOV.
inline constexpr uint16_t kSriovVfCount = 255;
// Link numbers are the low six bits of their byte.
inline constexpr uint8_t kLinkMask = 0x3F;
// Multi-channel type code "None" as writers set it.
inline constexpr uint8_t kMcTypeNone = 1;

// Mailbox 166/1: the profiles the adapter offers, 52,120 bytes each way
// (the request all zero).
inline constexpr size_t kProfileListEntries = 101;
struct ProfileListEntry {
  uint8_t profile_id;
  uint8_t reserved1;
  uint8_t index;              // 2: not shown
  uint8_t reserved3;
  char description[512];      // 4: NUL-terminated
};
struct ProfileList {
  uint32_t count;
  ProfileListEntry entries[kProfileListEntries];  // 4
};
static_assert(sizeof(ProfileListEntry) == 516);
static_assert(offsetof(ProfileListEntry, description) == 4);
static_assert(sizeof(ProfileList) == 52120);

// Mailbox 161/1: what one profile offers, 10,284 bytes each way. Request
// byte 0 the profile id; reply a u32 count, then descriptors (type and
// length bytes first) from byte 4.
inline constexpr uint8_t kCapacitySummary = 144;
inline constexpr uint8_t kCapacityNic = 145;
inline constexpr uint8_t kCapacityIscsi = 146;
inline constexpr uint8_t kCapacityFcoe = 147;
inline constexpr uint8_t kCapacityRoce = 148;
struct ProfileCapacities {
  uint8_t profile_id;         // request; the reply's count covers bytes 0-3
  uint8_t reserved1[3];
  uint8_t descriptors[10280];  // 4
};
static_assert(sizeof(ProfileCapacities) == 10284);
inline uint32_t profile_capacity_count(const uint8_t* reply) {
  uint32_t count;
  memcpy(&count, reply, sizeof count);
  return count;
}
struct ProfileCapacitySummary {
  uint8_t type;               // 144
  uint8_t length;
  uint8_t reserved2[4];
  uint8_t mission_roles;      // 6
  uint8_t reserved7;
  uint16_t total_functions;   // 8
};
static_assert(sizeof(ProfileCapacitySummary) == 10);
static_assert(offsetof(ProfileCapacitySummary, total_functions) == 8);

// Mailbox 167/1 (read) and 168/1 (write), 4 bytes. The read answers the
// active id and the id the adapter runs after its next reset; a write
// names the next one, or asks (byte 3 bit 7, id 0) for the factory profile.
struct ProfileIdRecord {
  uint16_t active_id;
  uint16_t configured_id;     // 2
};
static_assert(sizeof(ProfileIdRecord) == 4);
inline constexpr uint8_t kFactoryDefault = 0x80;
struct ProfileIdRequest {
  uint8_t profile_id;
  uint8_t reserved1[2];
  uint8_t flags;              // 3: bit 7 the factory default
};
static_assert(sizeof(ProfileIdRequest) == 4);

// Mailbox 94/1 (read) and 95/1 (write), 4 bytes: the highest PF number
// with alternative routing-ID interpretation. A write sets byte 0, or
// byte 3 bit 7 for the default.
inline constexpr uint8_t kAriChangeable = 0x80;
struct AriSettingsRecord {
  uint8_t next_max_pf;        // the write's new maximum
  uint8_t ipl_max_pf;         // 1
  uint8_t active_max_pf;      // 2
  uint8_t flags;              // 3: bit 7 changeable (read), the default (write)
};
static_assert(sizeof(AriSettingsRecord) == 4);

// Mailbox 201/1: the link configurations, 1,196 bytes each way (request
// zero). Mailbox 202/1: the next one, 4 bytes, or the factory choice
// (byte 3 bit 7, id 0).
inline constexpr size_t kLinkConfigEntries = 33;
struct LinkConfigDescriptor {
  uint8_t reserved0[3];
  uint8_t id;                 // 3
  char description[32];       // 4: NUL-terminated
};
struct LinkReconfigRecord {
  uint8_t active_id;          // 0: none
  uint8_t reserved1;
  uint8_t next_id;            // 2: 0 none
  uint8_t reserved3;
  uint32_t count;             // 4
  LinkConfigDescriptor entries[kLinkConfigEntries];  // 8
};
static_assert(sizeof(LinkConfigDescriptor) == 36);
static_assert(offsetof(LinkReconfigRecord, count) == 4);
static_assert(sizeof(LinkReconfigRecord) == 1196);
struct LinkReconfigRequest {
  uint8_t id;
  uint8_t reserved1[2];
  uint8_t flags;              // 3: bit 7 the factory default
};
static_assert(sizeof(LinkReconfigRequest) == 4);

// Where a NIC, iSCSI or FCoE descriptor keeps its MAC address and its link
// number (bits 0-5 of that byte); false for any other type.
inline bool protocol_fields_of(uint8_t type, size_t* mac_at, size_t* link_at) {
  switch (type) {
    case kProfileNic:
      *mac_at = offsetof(ProfileNicDescriptor, mac), *link_at = offsetof(ProfileNicDescriptor, link);
      return true;
    case kProfileIscsi:
      *mac_at = offsetof(ProfileIscsiDescriptor, mac), *link_at = offsetof(ProfileIscsiDescriptor, link);
      return true;
    case kProfileFcoe:
      *mac_at = offsetof(ProfileFcoeDescriptor, mac), *link_at = offsetof(ProfileFcoeDescriptor, link);
      return true;
    default:
      return false;
  }
}

// A copy of a descriptor as Descriptor whatever its length: the fields a
// short descriptor does not reach read as zeros.
template <typename Descriptor>
Descriptor profile_descriptor_padded(const uint8_t* descriptor, size_t length) {
  Descriptor out{};
  memcpy(&out, descriptor, length < sizeof out ? length : sizeof out);
  return out;
}

// --- Galtor's common profile configuration (164, version 0) ---

inline constexpr uint8_t kCommonPciFunction = 64;
inline constexpr size_t kCommonMaxDescriptors = 256;

struct CommonProfileDescriptor {
  uint8_t type;               // 64: a PCI function
  uint8_t length;
  uint8_t reserved2[4];
  uint16_t pf;                // 6: bits 0-9 PF number
  uint8_t reserved8[4];
  uint8_t sriov_state;        // 12: 0 disabled, 1 enabled, else not applicable
  uint8_t protocol_valid;     // 13
  uint8_t protocol_type;      // 14
  uint8_t reserved15[57];
};
static_assert(sizeof(CommonProfileDescriptor) == 72);
static_assert(offsetof(CommonProfileDescriptor, pf) == 6);
static_assert(offsetof(CommonProfileDescriptor, sriov_state) == 12);
static_assert(offsetof(CommonProfileDescriptor, protocol_valid) == 13);

// Request: bits 0-1 of byte 1 the configuration type; the rest zero. A
// count above kCommonNotApplicable says the layout does not apply.
inline constexpr uint32_t kCommonNotApplicable = 512;
struct CommonProfileConfig {
  uint32_t count;
  CommonProfileDescriptor descriptors[kCommonMaxDescriptors];  // 4
};
static_assert(sizeof(CommonProfileConfig) == 18436);
static_assert(offsetof(CommonProfileConfig, descriptors) == 4);

// --- legacy controller configuration (81, 82) ---

inline constexpr size_t kControllerConfigEntries = 16;
inline constexpr uint8_t kConfigEntryPciFunction = 0;
// PF state: 0 the storage protocol is on, 1 the function runs as NIC.
inline constexpr uint8_t kPfStorageOn = 0;
inline constexpr uint8_t kPfRunsAsNic = 1;
// PF type: 0 NIC, 1 iSCSI, 2 FCoE.
inline constexpr uint8_t kPfTypeNic = 0;
inline constexpr uint8_t kPfTypeIscsi = 1;
inline constexpr uint8_t kPfTypeFcoe = 2;

// The fields used are the same in both forms; every other byte is written
// back as it was read.
template <size_t Size>
struct ControllerConfigEntry {
  uint8_t resource_type;      // 0: 0 a PCI function
  uint8_t reserved1[3];
  uint8_t pf_number;          // 4
  uint8_t pf_state;           // 5
  uint8_t pf_type;            // 6
  uint8_t reserved7[5];
  uint8_t sriov_state;        // 12: 0 disabled, 1 enabled, 255 not applicable (form 1)
  uint8_t reserved13[Size - 13];
};

template <size_t EntrySize>
struct ControllerConfigForm {
  uint32_t count;
  ControllerConfigEntry<EntrySize> entries[kControllerConfigEntries];  // 4
};

// Form 0 (81 and 82, version 0) and form 1 (81, version 1).
using ControllerConfigRecord = ControllerConfigForm<52>;
using ControllerConfigRecordV1 = ControllerConfigForm<68>;
static_assert(sizeof(ControllerConfigEntry<52>) == 52 && sizeof(ControllerConfigEntry<68>) == 68);
static_assert(offsetof(ControllerConfigEntry<52>, pf_number) == 4);
static_assert(offsetof(ControllerConfigEntry<52>, pf_type) == 6);
static_assert(offsetof(ControllerConfigEntry<68>, sriov_state) == 12);
static_assert(sizeof(ControllerConfigRecord) == 836);
static_assert(sizeof(ControllerConfigRecordV1) == 1092);
static_assert(offsetof(ControllerConfigRecord, entries) == 4);

#pragma pack(pop)

}  // namespace tavo
