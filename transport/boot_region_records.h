// The iSCSI boot regions in the adapter's flash, which the pre-boot
// initiator reads: flash objects of an iSCSI function's port, each a
// 16-byte header and a run of type-length-value records ending on a 4-byte
// boundary. Region 2 holds the initiator's mutual CHAP credentials and the
// MPIO switch, region 3 the boot targets. Little-endian, packed; the
// simulator's firmware makes default regions of the same layout.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// The object name: the port in hexadecimal, the region in decimal.
inline constexpr char kIscsiRegionName[] = "/iscsidata/Port%x/Instance0/Region%d";
inline constexpr int kInitiatorRegion = 2;
inline constexpr int kBootTargetRegion = 3;

// The header; the library changes only tlv_length, the rest belongs to the
// firmware and the pre-boot utility that made the region.
struct IscsiRegion {
  uint32_t word0;
  uint32_t tlv_length;  // 4: bytes of records after the header
  uint8_t words8[8];
};
static_assert(sizeof(IscsiRegion) == 16);

// A record's head; length value bytes follow it.
struct IscsiRegionTlv {
  uint8_t type;
  uint16_t length;  // 1, unaligned
};
static_assert(sizeof(IscsiRegionTlv) == 3);

// Record types (region 2 and 3 give type 3 different meanings).
inline constexpr uint8_t kTlvInitiatorChapName = 2;    // region 2
inline constexpr uint8_t kTlvInitiatorChapSecret = 3;  // region 2
inline constexpr uint8_t kTlvMpio = 18;                // region 2
inline constexpr uint8_t kTlvBootTarget = 3;           // region 3
inline constexpr uint8_t kTlvBootTargetOther = 4;      // region 3: removed, never made
inline constexpr uint8_t kTlvPad = 0xFF;
inline constexpr uint8_t kTlvVersion = 3;  // first value byte of CHAP and boot-target records

// A boot target's record: this fixed part, then the target address (4
// bytes IPv4, 16 IPv6), the target name, the CHAP name and secret, one
// byte each of the mutual CHAP name and secret lengths, and those two.
struct BootTargetTlv {
  IscsiRegionTlv head;         // type 3, length from offset 3 to the end
  uint8_t version;             // 3
  uint8_t target_number;       // 4
  uint8_t priority;            // 5: 1 Primary, 2 Secondary
  uint8_t byte6;               // 0
  uint8_t byte7;               // 1
  uint8_t boot_lun[8];         // 8
  uint8_t authentication;      // 16: 0 none, 1 CHAP, 2 mutual CHAP
  uint16_t isid_qualifier;     // 17
  uint8_t session_bytes[2];    // 19: the session record's bytes 585 and 586
  uint16_t port;               // 21
  uint8_t ip_version;          // 23: 0 IPv4, 1 IPv6
  uint8_t name_length;         // 24
  uint8_t chap_name_length;    // 25
  uint8_t chap_secret_length;  // 26
};
static_assert(sizeof(BootTargetTlv) == 27);
static_assert(offsetof(BootTargetTlv, boot_lun) == 8);
static_assert(offsetof(BootTargetTlv, isid_qualifier) == 17);
static_assert(offsetof(BootTargetTlv, port) == 21);
static_assert(offsetof(BootTargetTlv, name_length) == 24);
// The record's length field counts from the version byte: the fixed part
// past the head and the two mutual lengths.
inline constexpr size_t kBootTargetFixedLength = sizeof(BootTargetTlv) - sizeof(IscsiRegionTlv) + 2;
static_assert(kBootTargetFixedLength == 26);

#pragma pack(pop)

}  // namespace tavo
