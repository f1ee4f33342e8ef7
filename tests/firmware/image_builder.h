// Firmware files the tests make themselves: TKI images (signature header,
// image headers, a flash copy with its directory) and Galtor object files.
#pragma once

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/image_format.h"

namespace tavo::test {

// size bytes that differ from one seed to the next and along the run.
inline std::string pattern(uint32_t size, uint8_t seed) {
  std::string out(size, '\0');
  for (uint32_t i = 0; i < size; ++i) out[i] = static_cast<char>(seed * 37 + i * 13 + (i >> 9));
  return out;
}

struct DirEntry {
  uint32_t image_type;
  uint32_t offset;  // from the image base
  uint32_t size;
  uint16_t optype = kOptypeFromImageType;
};

class TkiImage {
 public:
  // generation: the header's character ('2' the 96-byte form).
  explicit TkiImage(char generation, uint8_t asic = 0, std::vector<uint32_t> image_ids = {1})
      : cv2_(generation == '2') {
    UfiHeader h{};
    memcpy(h.signature, kUfiSignature, sizeof h.signature);
    h.image_count = static_cast<uint32_t>(image_ids.size());
    h.generation = static_cast<uint8_t>(generation);
    h.asic_support = asic;
    header_.assign(reinterpret_cast<const char*>(&h), cv2_ ? kUfiHeaderCv2Size : sizeof h);
    for (uint32_t id : cv2_ ? std::vector<uint32_t>{} : image_ids) {
      UfiImageHeader ih{};
      ih.image_id = id;
      header_.append(reinterpret_cast<const char*>(&ih), sizeof ih);
    }
  }
  uint32_t base() const { return static_cast<uint32_t>(header_.size()); }
  TkiImage& put(uint32_t at, const std::string& bytes) {
    if (image_.size() < at + bytes.size()) image_.resize(at + bytes.size(), '\0');
    image_.replace(at, bytes.size(), bytes);
    return *this;
  }
  TkiImage& fill(uint32_t at, uint32_t size, uint8_t seed) { return put(at, pattern(size, seed)); }
  // The directory at an offset of the image (a multiple of 32), with the
  // entry count the Moravel pass reads.
  TkiImage& directory(uint32_t at, const std::vector<DirEntry>& entries, uint32_t count) {
    FlashDirectory d{};
    memcpy(d.cookie, kFlashDirectoryCookie, sizeof d.cookie);
    d.entry_count = count;
    for (size_t i = 0; i < entries.size() && i < kFlashDirectoryEntries; ++i) {
      d.entries[i].image_type = entries[i].image_type;
      d.entries[i].image_offset = entries[i].offset;
      d.entries[i].image_size = entries[i].size;
      d.entries[i].optype = entries[i].optype;
    }
    // The CV2 search reads 16 bytes more than the directory.
    std::string bytes(reinterpret_cast<const char*>(&d), sizeof d);
    if (cv2_) bytes.append(16, '\0');
    return put(at, bytes);
  }
  TkiImage& signature(const std::string& text) {
    header_.replace(0, text.size(), text);
    return *this;
  }
  std::string at(uint32_t offset, uint32_t size) const { return image_.substr(offset, size); }
  // A CV3 image whose four rows a CV3 controller takes (2 MiB, 512 KiB and
  // two of 256 KiB).
  static TkiImage cv3_four_rows() {
    TkiImage image('3', 16, {2, 1});
    image.directory(0, {{0xA0, 0, 0}, {0x22, 0, 0}, {0x10, 0, 0}, {0xC0, 0, 0}}, 0)
        .fill(0x200000, 0x200000, 1)
        .fill(0xC00000, 0x80000, 2)
        .fill(0xF40000, 0x40000, 3)
        .fill(0x140000, 0x40000, 4);
    return image;
  }
  std::string bytes() const { return header_ + image_; }

 private:
  bool cv2_;
  std::string header_, image_;
};

// A Galtor object file of size bytes (at least the header): the header
// with its first three words in the other byte order when swapped.
inline std::string galtor_object(uint32_t size, bool swapped = false, uint8_t seed = 7) {
  ObjectFileHeader h{};
  h.file_size = size;
  h.magic_low = kObjectMagicLow;
  h.magic_high = kObjectMagicHigh;
  h.file_type = kObjectFileType;
  memcpy(h.revision_name, "GT 4.2 release", 14);
  memcpy(h.date, "2026-11-30", 10);
  memcpy(h.revision, "4.2.17.0", 8);
  std::string bytes(reinterpret_cast<const char*>(&h), sizeof h);
  if (swapped)
    for (size_t w = 0; w < 12; w += 4) std::reverse(bytes.begin() + static_cast<long>(w), bytes.begin() + static_cast<long>(w) + 4);
  return bytes + pattern(size - static_cast<uint32_t>(sizeof h), seed);
}

}  // namespace tavo::test
