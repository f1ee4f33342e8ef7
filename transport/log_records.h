// Payloads of the firmware's logs and diagnostic data: the event log
// (63/2), the extended FAT configuration and ARM log (125/1 to 130/1), FAT
// data (68/1), flash reads (6/1) and the firmware command line (24/11).
// Little-endian, packed; the simulator's firmware fills the same records.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// --- event log ---
// One event: code|unused|seconds since the ARM processor booted|sequence
// number|severity (0-3)|unused|detail. Codes below kEventDescribedCodes
// fill the detail with five argument words; any other code with its own
// NUL-terminated text.
inline constexpr uint32_t kEventDescribedCodes = 95;
inline constexpr uint32_t kEventArguments = 5;
struct FirmwareEventRecord {
  uint16_t code;
  uint8_t reserved2[2];
  uint32_t time_stamp;          // 4
  uint32_t sequence;            // 8
  uint16_t severity;            // 12
  uint8_t reserved14[2];
  uint8_t detail[48];           // 16
};
static_assert(sizeof(FirmwareEventRecord) == 64);
static_assert(offsetof(FirmwareEventRecord, time_stamp) == 4);
static_assert(offsetof(FirmwareEventRecord, sequence) == 8);
static_assert(offsetof(FirmwareEventRecord, severity) == 12);
static_assert(offsetof(FirmwareEventRecord, detail) == 16);

// Mailbox 63/2: unused|number of records the firmware holds|the records
// that fit. The request is all zeros; status 4 tells that more were held.
inline constexpr uint32_t kEventRecordsMax = 1023;
struct EventLogBuffer {
  uint32_t reserved0;
  uint32_t count;               // 4
  FirmwareEventRecord records[kEventRecordsMax];  // 8
};
static_assert(sizeof(EventLogBuffer) == 65480);
static_assert(offsetof(EventLogBuffer, records) == 8);

// --- extended FAT configuration (125/1 read, 126/1 write) ---
// A 64,000-byte block: its head, then the module records one after the
// other. A read request sets only the first word: which configuration.
inline constexpr uint32_t kExtFatBlockSize = 64000;
inline constexpr uint32_t kExtFatDefaultConfig = 0;
inline constexpr uint32_t kExtFatCurrentConfig = 1;
inline constexpr uint32_t kExtFatModeUart = 1u << 0;  // supported-mode bits
inline constexpr uint32_t kExtFatModeRam = 1u << 1;
struct ExtFatCapabilityBlock {
  uint32_t max_log_entries;     // request: the configuration wanted
  uint32_t log_entry_size;      // 4
  uint8_t logging_type;         // 8: 0 synchronous, 1 asynchronous
  uint8_t max_logging_functions;  // 9
  uint8_t max_logging_ports;    // 10
  uint8_t reserved11;
  uint32_t supported_modes;     // 12
  int32_t module_count;         // 16: below 1, none
  uint8_t modules[kExtFatBlockSize - 20];  // 20
};
static_assert(sizeof(ExtFatCapabilityBlock) == kExtFatBlockSize);
static_assert(offsetof(ExtFatCapabilityBlock, logging_type) == 8);
static_assert(offsetof(ExtFatCapabilityBlock, supported_modes) == 12);
static_assert(offsetof(ExtFatCapabilityBlock, module_count) == 16);
static_assert(offsetof(ExtFatCapabilityBlock, modules) == 20);

// A module: name|id|number of mode records, then the mode records; it
// occupies at least one mode record's room.
struct ExtFatModuleRecord {
  char name[32];
  uint32_t id;                  // 32
  uint32_t mode_count;          // 36
};
static_assert(sizeof(ExtFatModuleRecord) == 40);
static_assert(offsetof(ExtFatModuleRecord, mode_count) == 36);

// A mode: 0 UART, 1 RAM, 2 NVRAM, 3 TFTP|unused|port mask|trace level|PCI
// function mask.
struct ExtFatModeRecord {
  uint8_t mode;
  uint8_t reserved1;
  uint16_t port_mask;           // 2
  uint32_t trace_level;         // 4
  uint64_t function_mask;       // 8
};
static_assert(sizeof(ExtFatModeRecord) == 16);
static_assert(offsetof(ExtFatModeRecord, port_mask) == 2);
static_assert(offsetof(ExtFatModeRecord, trace_level) == 4);
static_assert(offsetof(ExtFatModeRecord, function_mask) == 8);

// The bytes from one module record to the next.
constexpr uint64_t extfat_module_length(uint32_t mode_count) {
  return sizeof(ExtFatModuleRecord) + sizeof(ExtFatModeRecord) * uint64_t{mode_count < 1 ? 1 : mode_count};
}

// --- ARM log ---
// Mailbox 127/1: a zero word; the answer's word is the number of entries
// in the snapshot of the RAM log just taken.
// Mailbox 128/1: source (1 flash, 0 the RAM snapshot)|first entry|entries
// wanted (998). Answer: entries returned (signed), then the 64-byte
// entries from byte 4.
inline constexpr uint32_t kArmSourceRam = 0;
inline constexpr uint32_t kArmSourceFlash = 1;
inline constexpr uint32_t kArmEntrySize = 64;
inline constexpr uint32_t kArmEntriesPerPiece = 998;
inline constexpr size_t kArmEntriesData = 4;
struct ExtFatSnapshotBuffer {
  uint32_t source;              // answer: entries returned
  uint32_t first;               // 4
  uint32_t wanted;              // 8
  uint8_t reserved12[kExtFatBlockSize - 12];
};
static_assert(sizeof(ExtFatSnapshotBuffer) == kExtFatBlockSize);
static_assert(kArmEntriesData + kArmEntriesPerPiece * kArmEntrySize <= kExtFatBlockSize);

// Mailbox 130/1: offset in the string table|bytes wanted (62,992). Answer:
// bytes returned|bytes still remaining|the bytes.
inline constexpr uint32_t kArmStringsPerPiece = 62992;
struct ExtFatStringTableBuffer {
  uint32_t offset;              // answer: bytes returned
  uint32_t wanted;              // 4; answer: bytes remaining
  uint8_t bytes[kExtFatBlockSize - 8];  // 8
};
static_assert(sizeof(ExtFatStringTableBuffer) == kExtFatBlockSize);
static_assert(offsetof(ExtFatStringTableBuffer, bytes) + kArmStringsPerPiece <= kExtFatBlockSize);

// --- FAT data (68/1) ---
// operation (0 read a piece, 1 size, 2 clear)|offset|piece length|piece
// length again|0, followed by the piece's room. A size answer's first word
// is the size of the FAT data; a read answers the piece from byte 16.
inline constexpr uint32_t kFatRead = 0;
inline constexpr uint32_t kFatSize = 1;
inline constexpr uint32_t kFatClear = 2;
inline constexpr uint32_t kFatPieceMax = 64000;
inline constexpr size_t kFatAnswerData = 16;
struct FatLogRequest {
  uint32_t operation;
  uint32_t offset;              // 4
  uint32_t length;              // 8
  uint32_t length_again;        // 12
  uint32_t zero;                // 16
};
static_assert(sizeof(FatLogRequest) == 20);
static_assert(offsetof(FatLogRequest, length) == 8);

// --- flash reads (6/1) ---
// operation 4|optype|length|offset, then length bytes of room and a last
// word: the request is 20 + length bytes and the answer's bytes start at 16
// (FlashComponentQuery is the 4-byte form). Optype 22 is the whole flash.
inline constexpr uint32_t kFlashReadOperation = 4;
inline constexpr uint32_t kFlashImageOptype = 22;
inline constexpr uint32_t kFlashImageSize = 16u << 20;
inline constexpr uint32_t kFlashReadPieceMax = 64000;
inline constexpr size_t kFlashReadData = 16;
struct FlashDumpRequest {
  uint32_t operation;
  uint32_t optype;              // 4
  uint32_t length;              // 8
  uint32_t offset;              // 12
};
static_assert(sizeof(FlashDumpRequest) == 16);

// --- firmware command line (24/11 of component 3) ---
// A segment request of 65,000 bytes whose byte code is the command string:
// component 3|segment 0xFFFFFFFF|instance 0|offset 0|length 64,000|string
// length|the string, not terminated. Answer: segment status (0, or 0x30004
// for a string the firmware does not take)|output length|the output.
inline constexpr uint32_t kFwCliPayload = 65000;
inline constexpr uint32_t kFwCliComponent = 3;
inline constexpr uint32_t kFwCliSegment = 0xFFFFFFFF;
inline constexpr uint32_t kFwCliOutputMax = 64000;
inline constexpr uint32_t kFwCliUnsupported = 0x30004;
inline constexpr size_t kFwCliAnswerData = 8;
struct FwCliRequest {
  uint32_t component;
  uint32_t segment;             // 4
  uint32_t instance;            // 8
  uint32_t offset;              // 12
  uint32_t length;              // 16
  uint32_t string_length;       // 20
  char string[kFwCliPayload - 24];  // 24
};
static_assert(sizeof(FwCliRequest) == kFwCliPayload);
static_assert(offsetof(FwCliRequest, string) == 24);

#pragma pack(pop)

}  // namespace tavo
