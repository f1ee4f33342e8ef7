// CV3 and Moravel updates: one pass per flashed image of the file. CV3
// flashes the rows of its fixed table that the image's directory lists;
// Moravel walks the directory itself and skips what is already in flash.
#include <stdio.h>
#include <string.h>

#include <iterator>

#include "base/file_utils.h"
#include "firmware/flash_internal.h"
#include "firmware/flash_update.h"
#include "firmware/status_texts.h"
#include "transport/device_ids.h"

using tavo::firmware::FlashTarget;
using tavo::firmware::set_status;

namespace tavo::firmware {
namespace {

constexpr uint32_t kNcsiOptype = 13;
constexpr uint32_t kPhyOptype = 99;
constexpr FlashComponent kCv3Components[] = {
    {0x200000, 0, 0x200000, 0xA0},  {0x040000, 1, 0x100000, 0xE0},  {0xC00000, 2, 0x80000, 0x22},
    {0xC80000, 3, 0x80000, 0x20},   {0xD00000, 8, 0x80000, 0x21},   {0x400000, 9, 0x200000, 0xB0},
    {0x600000, 10, 0x200000, 0xA2}, {0x800000, 11, 0x200000, 0xB2}, {0xF40000, kNcsiOptype, 0x40000, 0x10},
    {0x140000, kPhyOptype, 0x40000, 0xC0},
};

struct MoravelOptype {
  uint32_t image_type;
  uint32_t optype;
};
constexpr MoravelOptype kMoravelOptypes[] = {
    {0xA0, 0}, {0xE0, 1}, {0x22, 2}, {0x20, 3},  {0x21, 8},  {0x30, 22},
    {0xB0, 9}, {0x10, 13}, {0xC0, 21}, {0xD0, 18}, {0xD1, 19}, {0xD2, 23},
};
// Where an older firmware takes components by flash offset.
constexpr uint32_t kOffsetOptype = 7;
constexpr uint32_t kQueryOperation = 4;
// Raw statuses of the CRC query and of a write that ask for a second
// download.
constexpr uint32_t kSecondDownloadA = 2;
constexpr uint32_t kSecondDownloadB = 3;
// The oldest firmware that takes the NC-SI component, field by field of
// "%d.%d.%d.%d".
constexpr int kNcsiFirmware[] = {3, 102, 148, 0};
static_assert(std::size(kNcsiFirmware) == 4);

// Reads size bytes at offset of the file into a new whole-component
// request; empty (status 16 for memory) when it cannot.
base::Counted<FlashWriteRequest> pass_component(FILE* file, uint64_t offset, uint32_t optype, uint32_t flash_offset,
                                                uint32_t size) {
  // An image must lie within the file before its memory is taken.
  uint64_t length = 0;
  if (!image_length(file, &length) || offset + size > length) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the image holds no %u bytes at 0x%llx\n", "pass_component",
           static_cast<unsigned>(size), static_cast<unsigned long long>(offset));
    return {};
  }
  base::Counted<FlashWriteRequest> request = new_component(optype, flash_offset, size);
  if (!request) {
    set_status(kNoMemory);
    return request;
  }
  if (!image_read_at(file, offset, component_data(request.get()), size)) request.reset();
  return request;
}

bool pass_directory(FILE* file, uint32_t image_count, FlashDirectory* directory) {
  const uint64_t base = ufi_image_base(image_count);
  if (base > UINT32_MAX) return false;
  return get_flash_dir_cv3(static_cast<uint32_t>(base), file, reinterpret_cast<uint8_t*>(directory)) == 0;
}

// The optype of a Moravel image type, or false for one not in the table.
bool moravel_optype(uint32_t image_type, uint32_t* optype) {
  for (const MoravelOptype& row : kMoravelOptypes) {
    if (row.image_type != image_type) continue;
    *optype = row.optype;
    return true;
  }
  return false;
}

// The result of a Moravel entry whose own optype failed.
uint32_t moravel_failure(uint32_t sent) {
  if (sent == kSecondDownloadB) return kDownloadTwice;
  if (sent == kSignatureInvalid || sent == kSignatureMissing) return sent;
  return 1;
}

}  // namespace
}  // namespace tavo::firmware

uint32_t TAVO_fw_download(TavoNode* controller, uint32_t port, const char* path, uint8_t domain, uint8_t phys_port,
                          uint32_t transport, uint32_t generation) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  FILE* file = tavo::firmware::image_open(path, true);
  if (file == nullptr) {
    set_status(tavo::firmware::kImageUnreadable);
    return 1;
  }
  tavo::UfiHeader header{};
  uint64_t length = 0;
  if (!tavo::firmware::image_read_at(file, 0, &header, sizeof header) ||
      get_ufi_header(file, reinterpret_cast<uint8_t*>(&header)) != 0 ||
      !tavo::firmware::image_length(file, &length) || tavo::ufi_image_base(header.image_count) > length) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s has no signature header or no room for %u image headers\n", __func__, path,
           static_cast<unsigned>(header.image_count));
    TAVO_file_close(file);
    set_status(tavo::firmware::kImageInvalid);
    return 1;
  }
  // Every flashed image gets its pass; the first failure is the answer.
  uint32_t result = 0;
  for (uint32_t i = 0; i < header.image_count; ++i) {
    tavo::UfiImageHeader image{};
    if (!tavo::firmware::image_read_at(file, tavo::ufi_image_base(i), &image, sizeof image)) {
      if (result == 0) result = 1;
      break;
    }
    if (image.image_id != tavo::kUfiImageFlashed) continue;
    const uint32_t pass =
        generation == tavo::kGenerationMoravel
            ? TAVO_flash_moravel_image(controller, port, file, header.image_count, domain, phys_port, transport)
            : TAVO_flash_cv3_image(controller, port, file, header.image_count, domain, phys_port, transport);
    if (result == 0) result = pass;
  }
  TAVO_file_close(file);
  return result;
}

uint32_t TAVO_flash_cv3_image(TavoNode* controller, uint32_t port, FILE* file, uint32_t image_count, uint8_t domain,
                              uint8_t phys_port, uint32_t transport) {
  using namespace tavo::firmware;
  tavo::FlashDirectory directory{};
  if (!pass_directory(file, image_count, &directory)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: no flash directory\n", __func__);
    return 1;
  }
  const FlashTarget target{port, domain, phys_port, transport};
  const uint64_t base = tavo::ufi_image_base(image_count);
  for (const FlashComponent& row : kCv3Components) {
    if (is_comp_in_ufi(&directory, row.image_type, nullptr) == 0) continue;
    if (row.optype == kNcsiOptype && is_ncsi_required(controller) == 0) continue;
    if (row.optype == kPhyOptype && phy_flashing_required(controller) == 0) continue;
    tavo::base::Counted<FlashWriteRequest> request =
        pass_component(file, base + row.flash_offset, row.optype, 0, row.size);
    if (!request) return 1;
    const uint32_t sent = send_component(target, request.get(), 0);
    if (sent == 0) continue;
    if (row.optype == kPhyOptype && (sent == kSecondDownloadA || sent == kSecondDownloadB)) continue;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Flash Failed (optype %u, %u)\n", __func__, static_cast<unsigned>(row.optype),
           static_cast<unsigned>(sent));
    return 1;
  }
  return 0;
}

uint32_t TAVO_flash_moravel_image(TavoNode* controller, uint32_t port, FILE* file, uint32_t image_count,
                                  uint8_t domain, uint8_t phys_port, uint32_t transport) {
  using namespace tavo::firmware;
  tavo::FlashDirectory directory{};
  if (!pass_directory(file, image_count, &directory)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: no flash directory\n", __func__);
    return 1;
  }
  if (directory.entry_count > tavo::kFlashDirectoryEntries) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: a directory of %u entries is refused\n", __func__,
           static_cast<unsigned>(directory.entry_count));
    return 1;
  }
  const FlashTarget target{port, domain, phys_port, transport};
  const uint32_t base = static_cast<uint32_t>(tavo::ufi_image_base(image_count));
  uint8_t offset_mode = 0;
  for (uint32_t i = 0; i < directory.entry_count; ++i) {
    const tavo::FlashDirectoryEntry& entry = directory.entries[i];
    const bool own = entry.optype != tavo::kOptypeFromImageType;
    uint32_t optype = entry.optype;
    if (own) {
      char version[TAVO_VALUE_SIZE];
      if (!active_firmware_version(controller, version) || strstr(version, "10.0") == nullptr) {
        if (offset_mode == 0) pdebug(TAVO_LOG_BACKEND, 5, "Using offset based method.\n");
        offset_mode = 1;
        optype = kOffsetOptype;
      }
      const uint32_t required = is_required_flash(port, file, domain, phys_port, transport, optype, entry.image_size,
                                                  entry.image_offset, base, offset_mode);
      if (required == kDownloadTwice) return kDownloadTwice;
      if (required == 0) continue;
    } else if (!moravel_optype(entry.image_type, &optype)) {
      continue;
    }
    tavo::base::Counted<FlashWriteRequest> request =
        pass_component(file, uint64_t{base} + entry.image_offset, optype, offset_mode ? entry.image_offset : 0,
                       entry.image_size);
    if (!request) return 1;
    const uint32_t sent = send_component(target, request.get(), offset_mode);
    if (sent == 0) continue;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: entry %u (optype %u) failed with %u\n", __func__, static_cast<unsigned>(i),
           static_cast<unsigned>(optype), static_cast<unsigned>(sent));
    if (own) return moravel_failure(sent);
  }
  return 0;
}

uint32_t is_required_flash(uint32_t port, FILE* file, uint8_t domain, uint8_t phys_port, uint32_t transport,
                           uint32_t optype, uint32_t size, uint32_t image_offset, uint32_t image_base,
                           uint8_t offset_mode) {
  using namespace tavo::firmware;
  // A component too short to carry a CRC cannot be compared.
  if (size < 4) return 1;
  uint32_t crc = 0;
  if (!image_read_at(file, uint64_t{image_base} + image_offset + size - 4, &crc, sizeof crc)) return 1;
  const uint32_t crc_offset = offset_mode ? image_offset + size - 4 : size - 4;
  uint32_t words[6] = {kQueryOperation, optype, 4, crc_offset, 0, 0};
  const uint32_t status = ioctl_get_flash_component_details(port, words, domain, phys_port, transport);
  if (status == kSecondDownloadA || status == kSecondDownloadB) return kDownloadTwice;
  if (status != 0) return 1;
  pdebug(TAVO_LOG_BACKEND, 5, "%s: optype %u flashed CRC 0x%x, image CRC 0x%x\n", __func__,
         static_cast<unsigned>(optype), static_cast<unsigned>(words[4]), static_cast<unsigned>(crc));
  return words[4] == crc ? 0 : 1;
}

uint32_t is_ncsi_required(TavoNode* controller) {
  char version[TAVO_VALUE_SIZE];
  int fields[std::size(tavo::firmware::kNcsiFirmware)];
  if (!tavo::firmware::active_firmware_version(controller, version) ||
      sscanf(version, "%d.%d.%d.%d", &fields[0], &fields[1], &fields[2], &fields[3]) != 4)
    return 0;
  for (size_t i = 0; i < std::size(fields); ++i)
    if (fields[i] != tavo::firmware::kNcsiFirmware[i]) return fields[i] > tavo::firmware::kNcsiFirmware[i] ? 1 : 0;
  return 1;
}
