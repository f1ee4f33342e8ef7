// TKI image files: opening and reading them, the signature header, the
// flash directory search and the CV2 component reads.
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_utils.h"
#include "firmware/flash_internal.h"
#include "firmware/flash_update.h"
#include "firmware/status_texts.h"
#include "transport/device_ids.h"

namespace tavo::firmware {

namespace {

constexpr char kImageFolder[] = "/opt/Quorvel/Tessmark/";
// Bytes the directory search reads ahead at once.
constexpr size_t kSearchBlock = 64 * 1024;

bool ufi_signed(const uint8_t* header) { return memcmp(header, kUfiSignature, sizeof kUfiSignature) == 0; }

// The first candidate from start on, in steps of 32, whose n bytes can all
// be read and begin with the cookie: 0 with them in out, else 1. Reads the
// file in blocks; the outcome is that of reading n bytes at each candidate.
uint32_t ufi_find_directory(FILE* file, uint64_t start, size_t n, uint8_t* out) {
  if (file == nullptr || out == nullptr) return 1;
  std::vector<uint8_t> window;  // the file's bytes from window_start on
  uint64_t window_start = start;
  bool at_end = false;
  for (uint64_t at = start;; at += 32) {
    while (at + n > window_start + window.size()) {
      if (at_end) return 1;
      const size_t drop = static_cast<size_t>(std::min<uint64_t>(at - window_start, window.size()));
      window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(drop));
      window_start += drop;
      const size_t have = window.size();
      window.resize(have + kSearchBlock);
      size_t got = 0;
      if (fseeko(file, static_cast<off_t>(window_start + have), SEEK_SET) == 0)
        got = fread(window.data() + have, 1, kSearchBlock, file);
      window.resize(have + got);
      at_end = got < kSearchBlock;
    }
    const uint8_t* candidate = window.data() + (at - window_start);
    if (memcmp(candidate, kFlashDirectoryCookie, sizeof kFlashDirectoryCookie) == 0) {
      memcpy(out, candidate, n);
      return 0;
    }
  }
}

}  // namespace

FILE* image_open(const char* path, bool fallback) {
  if (path == nullptr) return nullptr;
  FILE* file = TAVO_file_open(path, "rb");
  if (file != nullptr || !fallback || path[0] == '\0') return file;
  return TAVO_file_open((std::string(kImageFolder) + path).c_str(), "rb");
}

bool image_read_at(FILE* file, uint64_t offset, void* out, size_t n) {
  if (file == nullptr || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return fread(out, 1, n, file) == n;
}

bool image_length(FILE* file, uint64_t* length) {
  if (file == nullptr || fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(file);
  if (end < 0) return false;
  *length = static_cast<uint64_t>(end);
  return true;
}

}  // namespace tavo::firmware

using tavo::firmware::image_open;
using tavo::firmware::image_read_at;
using tavo::firmware::set_status;

uint32_t TAVO_get_ufi_type(const char* path, uint32_t* tki_type, uint32_t generation) {
  uint32_t ignored = 0;
  if (tki_type == nullptr) tki_type = &ignored;
  *tki_type = 0;
  FILE* file = image_open(path, true);
  if (file == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot open %s\n", __func__, path != nullptr ? path : "(none)");
    return tavo::firmware::kImageUnreadable;
  }
  tavo::UfiHeader header{};
  const size_t form = generation == tavo::kGenerationCV2 ? tavo::kUfiHeaderCv2Size : tavo::kUfiHeaderSize;
  const bool read = image_read_at(file, 0, &header, form);
  TAVO_file_close(file);
  if (!read || !tavo::firmware::ufi_signed(reinterpret_cast<const uint8_t*>(&header))) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s has no signature header\n", __func__, path);
    return tavo::kGenerationUnknown;
  }
  if (generation == tavo::kGenerationCV2)
    return header.generation == tavo::kUfiCv2 ? tavo::kGenerationCV2 : tavo::kGenerationUnknown;
  if (header.generation == tavo::kUfiCv3) {
    *tki_type = header.asic_support == 16 ? 4 : header.asic_support == 17 ? 11 : 3;
    return tavo::kGenerationCV3;
  }
  if (header.generation == tavo::kUfiMoravel) {
    const uint8_t asic = header.asic_support;
    if (asic == 16 || asic == 17 || asic == 32) *tki_type = asic;
    return tavo::kGenerationMoravel;
  }
  return tavo::kGenerationUnknown;
}

uint32_t get_ufi_header(FILE* file, uint8_t* buffer) {
  if (buffer == nullptr || !image_read_at(file, 0, buffer, tavo::kUfiHeaderCv2Size)) return 1;
  return tavo::firmware::ufi_signed(buffer) ? 0 : 1;
}

uint32_t get_flash_dir(FILE* file, uint8_t* out) {
  return tavo::firmware::ufi_find_directory(file, tavo::kUfiHeaderCv2Size, tavo::kFlashDirectoryReadCv2, out);
}

uint32_t get_flash_dir_cv3(uint32_t start, FILE* file, uint8_t* out) {
  return tavo::firmware::ufi_find_directory(file, start, sizeof(tavo::FlashDirectory), out);
}

uint32_t is_comp_in_ufi(const tavo::FlashDirectory* directory, uint32_t image_type, uint32_t* index) {
  if (directory == nullptr) return 0;
  for (uint32_t i = 0; i < tavo::kFlashDirectoryEntries; ++i) {
    if (directory->entries[i].image_type != image_type) continue;
    if (index != nullptr) *index = i;
    return 1;
  }
  return 0;
}

uint32_t ChkForValidUFI(const char* path, uint8_t* header, uint8_t* directory) {
  FILE* file = image_open(path, true);
  if (file == nullptr) {
    set_status(tavo::firmware::kImageUnreadable);
    return 1;
  }
  const bool valid = get_ufi_header(file, header) == 0 && get_flash_dir(file, directory) == 0;
  TAVO_file_close(file);
  if (!valid) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s has no signature or no flash directory\n", __func__, path);
    set_status(tavo::firmware::kImageInvalid);
    return 1;
  }
  return 0;
}

uint32_t ProcessFlashFirmwareCmd(const char* path, uint32_t flash_offset, uint32_t size, uint8_t** data) {
  if (path == nullptr || path[0] == '\0' || path[0] == '\n' || data == nullptr) return 1;
  uint8_t header[tavo::kUfiHeaderCv2Size];
  uint8_t directory[tavo::kFlashDirectoryReadCv2];
  if (ChkForValidUFI(path, header, directory) != 0) return 1;
  return ProcessWriteFlash(path, flash_offset, size, data);
}

uint32_t ProcessWriteFlash(const char* path, uint32_t flash_offset, uint32_t size, uint8_t** data) {
  if (data == nullptr) return 1;
  *data = nullptr;
  FILE* file = image_open(path, true);
  if (file == nullptr) {
    set_status(tavo::firmware::kImageUnreadable);
    return 1;
  }
  tavo::base::Counted<uint8_t> buffer(static_cast<uint8_t*>(tavo_dmalloc(size)));
  const bool read = buffer && image_read_at(file, uint64_t{tavo::kUfiHeaderCv2Size} + flash_offset, buffer.get(), size);
  TAVO_file_close(file);
  if (!buffer) {
    set_status(tavo::firmware::kNoMemory);
    return 1;
  }
  if (!read) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s holds no %u bytes at flash offset 0x%x\n", __func__, path,
           static_cast<unsigned>(size), static_cast<unsigned>(flash_offset));
    return 1;
  }
  *data = buffer.release();
  return 0;
}
