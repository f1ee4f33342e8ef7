// Byte layouts exchanged with the adapter drivers: the mailbox header, the
// NIC driver's wrapper and its side requests. Little-endian, packed; the
// simulator uses the same definitions.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

// ioctl request numbers of the two drivers.
inline constexpr unsigned long kIscsiMailboxRequest = 0x4580;
inline constexpr unsigned long kIscsiVmhbaNameRequest = 1;
inline constexpr unsigned long kNicMtuRequest = 4;
inline constexpr unsigned long kNicMailboxRequest = 5;
inline constexpr unsigned long kNicChipInfoRequest = 6;
inline constexpr unsigned long kNicVfTableRequest = 7;
inline constexpr unsigned long kNicPciConfigRequest = 8;

inline constexpr const char kIscsiDevicePrefix[] = "/vmfs/devices/char/vmkdriver/cv2iscsi_";
inline constexpr const char kNicDevicePath[] = "/vmfs/devices/char/vmkdriver/cv_esx_nic";
inline constexpr int kMaxIscsiDevices = 128;

#pragma pack(push, 1)

// opcode|subsystem|port|domain|timeout(4)|request_length(4)|version|vf|pf+vh(2)
struct MailboxRequestHeader {
  uint8_t opcode;
  uint8_t subsystem;
  uint8_t port_number;
  uint8_t domain;
  uint32_t timeout;
  uint32_t request_length;
  uint8_t version;
  uint8_t vf_number;
  uint16_t pf_vh;  // bits 0-9 pf_number, bits 10-15 vh_number
};
static_assert(sizeof(MailboxRequestHeader) == 16);
static_assert(offsetof(MailboxRequestHeader, timeout) == 4);
static_assert(offsetof(MailboxRequestHeader, request_length) == 8);
static_assert(offsetof(MailboxRequestHeader, version) == 12);
static_assert(offsetof(MailboxRequestHeader, pf_vh) == 14);

// The firmware's answer overwrites the header: status at 4, additional
// status (unaligned) at 5, actual response length at 12.
struct MailboxResponseHeader {
  uint8_t opcode;
  uint8_t subsystem;
  uint8_t port_number;
  uint8_t domain;
  uint8_t status;
  uint16_t additional_status;
  uint8_t reserved7;
  uint32_t reserved8;
  uint32_t actual_response_length;
};
static_assert(sizeof(MailboxResponseHeader) == 16);
static_assert(offsetof(MailboxResponseHeader, status) == 4);
static_assert(offsetof(MailboxResponseHeader, additional_status) == 5);
static_assert(offsetof(MailboxResponseHeader, actual_response_length) == 12);

inline constexpr size_t kMailboxHeaderSize = sizeof(MailboxRequestHeader);
inline constexpr uint32_t kMaxMailboxPayload = 65519;

// signature(16)|marker(2)|bus|device|function|header+payload
inline constexpr const char kNicSignature[16] = {'H', 'A', 'L', 'V', 'E', 'X', 'M', 'O',
                                                 'O', 'R', 'A', 'N', 'D', ' ', 'C', 'O'};
inline constexpr uint16_t kNicMarker = 0x5052;
struct NicIoctlPrefix {
  char signature[16];
  uint16_t marker;
  uint8_t bus;
  uint8_t device;
  uint8_t function;
};
static_assert(sizeof(NicIoctlPrefix) == 21);
static_assert(offsetof(NicIoctlPrefix, marker) == 16);
static_assert(offsetof(NicIoctlPrefix, bus) == 18);
inline constexpr size_t kNicWrapperOverhead = sizeof(NicIoctlPrefix) + kMailboxHeaderSize;  // 37

// Request 6: count, then 8 entries of bus|device|nfuncs|functions[8].
inline constexpr int kMaxNicChips = 8;
inline constexpr int kMaxNicChipFunctions = 8;
struct NicChipEntry {
  uint8_t bus;
  uint8_t device;
  uint8_t function_count;
  uint8_t functions[kMaxNicChipFunctions];
};
struct NicChipInfo {
  uint8_t chip_count;
  NicChipEntry chips[kMaxNicChips];
};
static_assert(sizeof(NicChipEntry) == 11);
static_assert(sizeof(NicChipInfo) == 89);

// Requests 4 and 7: bus|device|function|0|answer(976).
struct NicCharInfo {
  uint8_t bus;
  uint8_t device;
  uint8_t function;
  uint8_t zero;
  uint8_t answer[976];
};
static_assert(sizeof(NicCharInfo) == 980);
inline constexpr size_t kNicPhyLinkDownReasonOffset = 9;  // request 4, u8
inline constexpr size_t kNicMtuOffset = 12;               // request 4, u16
inline constexpr size_t kNicVfCountOffset = 16;           // request 7, u8
inline constexpr size_t kNicVfEntryOffset = 20;           // request 7, 16 bytes each
inline constexpr size_t kNicVfEntrySize = 16;
inline constexpr int kMaxNicVfEntries = 60;

// Request 8: bus|device|function|offset(4)|data_length(4)|address(4); the
// driver writes the data at kPciConfigDataOffset of the same buffer.
struct PciConfigRequest {
  uint8_t bus;
  uint8_t device;
  uint8_t function;
  uint32_t offset;
  uint32_t data_length;
  uint32_t address;
};
static_assert(sizeof(PciConfigRequest) == 15);
static_assert(offsetof(PciConfigRequest, data_length) == 7);
inline constexpr size_t kPciConfigDataOffset = 60;
inline constexpr uint32_t kPciConfigSpaceSize = 256;

// Request 1 on an iSCSI device: the function's vmhba name.
inline constexpr size_t kVmhbaNameSize = 32;

// Mailbox 7/1, one chunk of a flash write:
// operation|optype|length|offset|data(32768)|zero(4).
inline constexpr uint32_t kFlashChunkData = 32768;
inline constexpr uint32_t kFlashChunkLength = 32788;
inline constexpr uint32_t kFlashOperationLast = 1;  // the chunk that completes the data
inline constexpr uint32_t kFlashOperationMore = 2;
struct FlashChunkHead {
  uint32_t operation;
  uint32_t optype;
  uint32_t length;
  uint32_t offset;
};
static_assert(sizeof(FlashChunkHead) == 16);
static_assert(sizeof(FlashChunkHead) + kFlashChunkData + 4 == kFlashChunkLength);

// Mailbox 6/1, a flash component query: operation(4)|optype|length(4)|
// offset of the CRC word|data (the firmware answers the word)|zero.
struct FlashComponentQuery {
  uint32_t operation;
  uint32_t optype;
  uint32_t length;
  uint32_t offset;
  uint32_t data;
  uint32_t zero;
};
static_assert(sizeof(FlashComponentQuery) == 24);
static_assert(offsetof(FlashComponentQuery, data) == 16);

#pragma pack(pop)

}  // namespace tavo
