// Arbitrary firmware files through the image checks (the signature header,
// the directory search, the CV3 and Moravel passes over what the
// directory claims, the Galtor object header) and arbitrary segment
// records through UncompressData, as a dump reader takes them back. No
// adapter answers, so the passes stop at their first command.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/compress.h"
#include "base/file_utils.h"
#include "firmware/flash_update.h"
#include "fuzz/fuzz_root.h"
#include "transport/mailbox.h"

namespace {

std::string fuzz_root;
constexpr char kImage[] = "/tmp/fuzz.ufi";

void fuzz_image_checks() {
  uint32_t type = 0;
  for (uint32_t generation : {2u, 3u, 5u}) TAVO_get_ufi_type(kImage, &type, generation);
  uint8_t header[tavo::kUfiHeaderCv2Size];
  uint8_t directory[tavo::kFlashDirectoryReadCv2];
  ChkForValidUFI(kImage, header, directory);
  if (FILE* file = TAVO_file_open(kImage, "rb")) {
    tavo::UfiHeader h{};
    if (fread(&h, 1, sizeof h, file) == sizeof h) {
      const uint64_t base = tavo::ufi_image_base(h.image_count);
      if (base <= UINT32_MAX && get_flash_dir_cv3(static_cast<uint32_t>(base), file, directory) == 0)
        is_comp_in_ufi(reinterpret_cast<const tavo::FlashDirectory*>(directory), 0xA0, nullptr);
    }
    get_flash_dir(file, directory);
    TAVO_file_close(file);
  }
  for (uint32_t generation : {3u, 5u}) TAVO_fw_download(nullptr, 1, kImage, 0, 0, TAVO_VIA_NIC, generation);
  uint8_t* data = nullptr;
  if (ProcessFlashFirmwareCmd(kImage, 0x100, 64, &data) == 0) tavo_dfree(data);
}

// A segment's data as the dump holds it: a zlib stream and the length it
// inflates to (bounded here).
void fuzz_segment(const uint8_t* bytes, size_t size) {
  if (size < 4) return;
  uint32_t length = 0;
  memcpy(&length, bytes + size - 4, 4);
  std::vector<uint8_t> out(length % (1u << 20));
  UncompressData(bytes, static_cast<uint32_t>(size - 4), out.data(), static_cast<uint32_t>(out.size()));
  // Whatever is deflated inflates back whole.
  std::vector<uint8_t> deflated(GetMaxCompressedLen(static_cast<uint32_t>(size)));
  const uint32_t n = CompressData(bytes, static_cast<uint32_t>(size), deflated.data(),
                                  static_cast<uint32_t>(deflated.size()));
  if (n == 0xFFFFFFFF) abort();
  std::vector<uint8_t> back(size);
  if (UncompressData(deflated.data(), n, back.data(), static_cast<uint32_t>(size)) != size ||
      memcmp(back.data(), bytes, size) != 0)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_root = fuzz_install_root();
  if (tavo::files::make_dirs(fuzz_root + "/tmp", 0755) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size > (4u << 20)) return 0;
  if (FILE* f = fopen((fuzz_root + kImage).c_str(), "wb")) {
    fwrite(bytes, 1, size, f);
    fclose(f);
  }
  fuzz_image_checks();
  tavo::ObjectFileHeader header;
  process_obj_file(bytes, static_cast<uint32_t>(size), &header);
  fuzz_segment(bytes, size);
  return 0;
}
