// Firmware image files as the host holds them: TKI images (signature
// header, image headers, a copy of the flash with its directory) for CV2,
// CV3 and Moravel, and Galtor object files. Little-endian, packed.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace tavo {

#pragma pack(push, 1)

// The maker's signature, compared over all 18 bytes (no terminator).
inline constexpr char kUfiSignature[18] = {'H', 'a', 'l', 'v', 'e', 'x', 'm', 'o', 'o',
                                           'r', 'a', 'n', 'd', ' ', 'C', 'o', 'r', 'p'};
// Generation characters of the header, and its two forms.
inline constexpr uint8_t kUfiCv2 = '2';
inline constexpr uint8_t kUfiCv3 = '3';
inline constexpr uint8_t kUfiMoravel = '4';
inline constexpr uint32_t kUfiHeaderCv2Size = 96;
inline constexpr uint32_t kUfiHeaderSize = 128;

// signature|...|image header count (128-byte form)|generation character|
// ...|ASIC support byte (128-byte form). The CV2 form is the first 96 bytes.
struct UfiHeader {
  char signature[18];
  uint8_t reserved18[50];
  uint32_t image_count;         // 68
  uint8_t generation;           // 72
  uint8_t reserved73[23];
  uint8_t asic_support;         // 96
  uint8_t reserved97[31];
};
static_assert(sizeof(UfiHeader) == kUfiHeaderSize);
static_assert(offsetof(UfiHeader, image_count) == 68);
static_assert(offsetof(UfiHeader, generation) == 72);
static_assert(offsetof(UfiHeader, asic_support) == 96);

// One record per image after the 128-byte header; id 1 is flashed.
inline constexpr uint32_t kUfiImageFlashed = 1;
struct UfiImageHeader {
  uint32_t image_id;
  uint8_t reserved4[44];
};
static_assert(sizeof(UfiImageHeader) == 48);

// The image data starts right after the last image header.
constexpr uint64_t ufi_image_base(uint32_t image_count) {
  return kUfiHeaderSize + uint64_t{sizeof(UfiImageHeader)} * image_count;
}

// image type|offset from the image base|size (the last 4 bytes its CRC)|
// ...|optype (0xFFFF: from the image type).
inline constexpr uint16_t kOptypeFromImageType = 0xFFFF;
struct FlashDirectoryEntry {
  uint32_t image_type;
  uint32_t image_offset;        // 4
  uint32_t image_size;          // 8
  uint8_t reserved12[12];
  uint16_t optype;              // 24
  uint8_t reserved26[38];
};
static_assert(sizeof(FlashDirectoryEntry) == 64);
static_assert(offsetof(FlashDirectoryEntry, image_size) == 8);
static_assert(offsetof(FlashDirectoryEntry, optype) == 24);

// cookie|...|entries used (Moravel)|...|32 entries. Found by its cookie on
// a 32-byte step.
inline constexpr size_t kFlashDirectoryEntries = 32;
inline constexpr char kFlashDirectoryCookie[32] = {'*', '*', '*', ' ', 'H', 'X', ' ', 'F', 'L', 'A', 'S',
                                                   0,   0,   0,   0,   0,   'H', ' ', 'D', 'I', 'R', 'E',
                                                   'C', 'T', 'O', 'R', 'Y', ' ', '*', '*', '*', ' '};
struct FlashDirectory {
  char cookie[32];
  uint8_t reserved32[12];
  uint32_t entry_count;         // 44
  uint8_t reserved48[144];
  FlashDirectoryEntry entries[kFlashDirectoryEntries];  // 192
};
static_assert(sizeof(FlashDirectory) == 2240);
static_assert(offsetof(FlashDirectory, entry_count) == 44);
static_assert(offsetof(FlashDirectory, entries) == 192);
// The CV2 search reads 16 bytes more at each candidate.
inline constexpr uint32_t kFlashDirectoryReadCv2 = 2256;

// The first 184 bytes of a Galtor object file; the first three words may
// be stored in either byte order.
inline constexpr uint16_t kObjectMagicLow = 1;
inline constexpr uint16_t kObjectMagicHigh = 0xFEAA;
inline constexpr uint8_t kObjectFileType = 0xF7;
struct ObjectFileHeader {
  uint32_t file_size;
  uint16_t magic_low;           // 4
  uint16_t magic_high;          // 6
  uint8_t reserved8[3];
  uint8_t file_type;            // 11
  char revision_name[128];      // 12
  char date[12];                // 140
  char revision[32];            // 152
};
static_assert(sizeof(ObjectFileHeader) == 184);
static_assert(offsetof(ObjectFileHeader, magic_high) == 6);
static_assert(offsetof(ObjectFileHeader, file_type) == 11);
static_assert(offsetof(ObjectFileHeader, revision_name) == 12);
static_assert(offsetof(ObjectFileHeader, date) == 140);
static_assert(offsetof(ObjectFileHeader, revision) == 152);

#pragma pack(pop)

}  // namespace tavo
