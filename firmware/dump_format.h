// The core dump file: segment records (a 64-byte header, then the data,
// deflated with its length appended when compressed) and one closing
// 1,024-byte record. Little-endian, packed.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

inline constexpr char kSegmentMagic[4] = {'s', 'E', 'g', 'M'};
inline constexpr char kCoreMagic[4] = {'c', 'O', 'r', 'E'};

// magic|component|segment|compressed|first and second template byte (or
// the segment's low and high version)|PCI function of NIC function 0|
// start offset|data length|status of the last piece|elapsed ms|64|instance.
struct CoreDumpSegmentHeader {
  char magic[4];
  uint32_t component;           // 4
  uint32_t segment;             // 8
  uint32_t compressed;          // 12
  uint8_t first;                // 16
  uint8_t second;               // 17
  uint16_t pci_function;        // 18
  uint32_t start_offset;        // 20
  uint32_t length;              // 24
  uint32_t status;              // 28
  uint32_t elapsed_ms;          // 32
  uint32_t header_length;       // 36
  uint32_t instance;            // 40
  uint8_t reserved44[20];
};
static_assert(sizeof(CoreDumpSegmentHeader) == 64);
static_assert(offsetof(CoreDumpSegmentHeader, first) == 16);
static_assert(offsetof(CoreDumpSegmentHeader, pci_function) == 18);
static_assert(offsetof(CoreDumpSegmentHeader, length) == 24);
static_assert(offsetof(CoreDumpSegmentHeader, header_length) == 36);
static_assert(offsetof(CoreDumpSegmentHeader, instance) == 40);

// year|month (1-12)|hour|day|minute|second|UTC bias in minutes.
struct CoreDumpTime {
  uint16_t year;
  uint16_t month;
  uint16_t hour;
  uint16_t day;
  uint16_t minute;
  uint16_t second;
  int16_t utc_bias;
};
static_assert(sizeof(CoreDumpTime) == 14);

inline constexpr uint32_t kDumpStatusIncomplete = 0xFFFFFFFF;
struct CoreDumpRecord {
  char magic[4];
  uint8_t reserved4[5];
  uint8_t one;                  // 9
  uint8_t chip_state;           // 10
  uint8_t reserved11[5];
  char host_name[32];           // 16
  CoreDumpTime started;         // 48
  uint8_t reserved62[2];
  char dump_string[256];        // 64
  uint32_t segments;            // 320
  uint32_t os_major;            // 324
  uint32_t os_minor;            // 328
  uint8_t reserved332[4];
  char os_name[32];             // 336
  CoreDumpTime written;         // 368
  uint8_t reserved382[2];
  uint32_t hpi_intf;            // 384
  uint32_t asic_id;             // 388
  uint32_t dump_status;         // 392
  uint8_t low_version;          // 396
  uint8_t high_version;         // 397
  uint8_t reserved398[626];
};
static_assert(sizeof(CoreDumpRecord) == 1024);
static_assert(offsetof(CoreDumpRecord, one) == 9);
static_assert(offsetof(CoreDumpRecord, host_name) == 16);
static_assert(offsetof(CoreDumpRecord, started) == 48);
static_assert(offsetof(CoreDumpRecord, dump_string) == 64);
static_assert(offsetof(CoreDumpRecord, segments) == 320);
static_assert(offsetof(CoreDumpRecord, os_name) == 336);
static_assert(offsetof(CoreDumpRecord, written) == 368);
static_assert(offsetof(CoreDumpRecord, hpi_intf) == 384);
static_assert(offsetof(CoreDumpRecord, dump_status) == 392);
static_assert(offsetof(CoreDumpRecord, low_version) == 396);

#pragma pack(pop)

// One entry of a component-1 template; its index is the segment id. An
// entry without byte code is unused.
struct CoreDumpSegmentTemplate {
  uint8_t first;                // copied to the segment header
  uint8_t second;
  uint8_t dead;                 // read in a dead-chip dump
  uint8_t live;                 // read in a live dump
  uint8_t compress;
  uint8_t reserved5[3];
  uint32_t highest_instance;    // 8: instances 0 to this are read
  uint32_t start_offset;        // 12
  uint32_t length;              // 16
  uint32_t code_words;          // 20
  const uint32_t* code;         // 24
};
static_assert(offsetof(CoreDumpSegmentTemplate, highest_instance) == 8);
static_assert(offsetof(CoreDumpSegmentTemplate, code) == 24);
static_assert(sizeof(CoreDumpSegmentTemplate) == 24 + sizeof(void*));

}  // namespace tavo
