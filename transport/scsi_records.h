// Payloads of the SCSI pass-through and boot commands of mailbox subsystem
// 6: one SCSI command to a LUN behind a session (59/6), a session's boot
// flags (52/6, 53/6), its boot LUN (54/6, 55/6) and the BIOS configuration
// (57/6, 58/6). Little-endian, packed; the simulator's firmware reads and
// fills the same records. CDB fields are big-endian, as SCSI defines them.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// Mailbox 59/6: the fixed part; the data area follows it, data_length
// bytes (zero in a request, the LUN's answer in a read's reply).
inline constexpr uint8_t kScsiDataIn = 1;   // data comes from the LUN
inline constexpr uint8_t kScsiDataOut = 2;  // data goes to the LUN
inline constexpr uint8_t kScsiGood = 0;
inline constexpr uint8_t kScsiCheckCondition = 2;
struct ScsiPassthroughRequest {
  uint32_t session_handle;
  uint8_t lun[8];     // 4: SCSI byte order; zero for REPORT LUNS
  uint8_t direction;  // 12
  uint8_t reserved13[2];
  uint8_t scsi_status;  // 15: written by the firmware
  uint8_t cdb[16];      // 16
  uint8_t reserved32[2];
  uint16_t data_length;  // 34
  uint8_t reserved36[256];
};
static_assert(sizeof(ScsiPassthroughRequest) == 292);
static_assert(offsetof(ScsiPassthroughRequest, scsi_status) == 15);
static_assert(offsetof(ScsiPassthroughRequest, cdb) == 16);
static_assert(offsetof(ScsiPassthroughRequest, data_length) == 34);
// The most data one request carries: its length is a u16 over the fixed
// part and the data.
inline constexpr size_t kScsiMostData = 0xFFFF - sizeof(ScsiPassthroughRequest);

// The CDBs the library sends.
inline constexpr uint8_t kScsiReportLuns = 0xA0;
inline constexpr uint8_t kScsiReadCapacity10 = 0x25;
inline constexpr uint8_t kScsiServiceActionIn16 = 0x9E;
inline constexpr uint8_t kScsiReadCapacity16 = 0x10;  // its service action
inline constexpr uint8_t kScsiInquiry = 0x12;
inline constexpr uint8_t kScsiUnitSerialPage = 0x80;
inline constexpr uint8_t kScsiRead10 = 0x28;
inline constexpr uint8_t kScsiWrite10 = 0x2A;
inline constexpr uint32_t kScsiBlock = 512;       // the transfer unit of READ(10)/WRITE(10) here
inline constexpr uint16_t kScsiMostBlocks = 127;  // blocks of one transfer: 127 x 512 fits a request

// Mailbox 52/6 (read, 8 bytes): the session handle in, its flags out;
// 53/6 (528 bytes): new flags for a session.
struct BootTargetParams {
  uint32_t session_handle;
  uint32_t flags;  // 4: 0x100 boot session (iscsi_records.h)
  uint8_t reserved8[520];
};
static_assert(sizeof(BootTargetParams) == 528);

// Mailbox 54/6 (8 bytes: the session handle in, the boot LUN out) and 55/6.
struct BootLunUpdate {
  uint32_t session_handle;
  uint8_t lun[8];  // 4
};
static_assert(sizeof(BootLunUpdate) == 12);

// Mailbox 57/6, 58/6: the BIOS configuration, one DHCP boot-target
// discovery bit per port in byte 4 (port + 1 as its mask).
struct BiosConfig {
  uint8_t reserved0[4];
  uint8_t dhcp_discovery;  // 4
  uint8_t reserved5[15];
};
static_assert(sizeof(BiosConfig) == 20);

#pragma pack(pop)

}  // namespace tavo
