// Named objects of the controller's flash file system, read into host
// files and written from buffers in pieces (mailbox 171/1 and 172/1), and
// the Galtor firmware update: an object file checked and written whole to
// "/prg".
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "base/file_utils.h"
#include "firmware/flash_internal.h"
#include "firmware/flash_update.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/object_records.h"

using tavo::ObjectReadRequest;
using tavo::ObjectWriteRequest;
using tavo::firmware::set_status;

namespace {

constexpr char kFirmwareObject[] = "/prg";

const char* object_name(uint32_t kind) {
  switch (kind) {
    case TAVO_OBJECT_DUMP:
      return "/dbg/dump.bin";
    case TAVO_OBJECT_VPD:
      return "/vpd/ntr_pf.vpd";
    default:
      return nullptr;
  }
}

// One read request of length bytes at offset; false (status 65) when the
// command fails.
bool object_read_piece(ObjectReadRequest* request, const char* name, uint32_t length, uint32_t offset, uint32_t port,
                       uint8_t domain, uint8_t phys_port, uint32_t transport) {
  memset(request, 0, sizeof *request);
  request->length = length;
  request->offset = offset;
  snprintf(request->name, sizeof request->name, "%s", name);
  const uint32_t status =
      ioctl_common_read_object_v1(port, request, sizeof *request, domain, phys_port, transport);
  if (status == 0) return true;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: reading %s at %u failed with %u\n", "galtor_get_read_object", name,
         static_cast<unsigned>(offset), static_cast<unsigned>(status));
  set_status(tavo::firmware::kObjectReadFailed);
  return false;
}

// The object's pieces appended to out; 0, or 1 with the status.
uint32_t object_read_into(FILE* out, ObjectReadRequest* request, const char* name, uint32_t port, uint8_t domain,
                          uint8_t phys_port, uint32_t transport) {
  if (!object_read_piece(request, name, 0, 0, port, domain, phys_port, transport)) return 1;
  const uint32_t total = request->length;
  if (total == 0) {
    set_status(tavo::firmware::kObjectEmpty);
    return 1;
  }
  // The length query's own end-of-file bit says nothing about the pieces.
  bool end_of_file = false;
  uint32_t offset = 0;
  for (uint32_t remaining = total; remaining > 0 && !end_of_file;) {
    const uint32_t asked = std::min(remaining, tavo::kObjectChunkMax);
    if (!object_read_piece(request, name, asked, offset, port, domain, phys_port, transport)) return 1;
    const uint32_t got = request->length;
    if (got == 0) {
      set_status(tavo::firmware::kObjectEmpty);
      return 1;
    }
    if (got > asked) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: %u bytes answered for %u asked\n", __func__, static_cast<unsigned>(got),
             static_cast<unsigned>(asked));
      set_status(tavo::firmware::kObjectReadFailed);
      return 1;
    }
    end_of_file = (request->offset & tavo::kObjectEndOfFile) != 0;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(request) + tavo::kObjectReadData;
    if (fwrite(data, 1, got, out) != got || fflush(out) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot append to the output file\n", __func__);
      set_status(tavo::firmware::kObjectReadFailed);
      return 1;
    }
    remaining -= got;
    offset += got;
  }
  return 0;
}

}  // namespace

uint32_t galtor_get_read_object(TavoNode*, uint32_t port, const char* out_path, uint8_t domain, uint8_t phys_port,
                                uint32_t transport, uint32_t kind) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  const char* name = object_name(kind);
  if (name == nullptr || out_path == nullptr) return 1;
  FILE* out = TAVO_file_open(out_path, "ab+");
  if (out == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot open %s\n", __func__, out_path);
    set_status(tavo::firmware::kObjectReadFailed);
    return 1;
  }
  auto request = tavo::base::counted_zeroed<ObjectReadRequest>();
  uint32_t result = 1;
  if (!request)
    set_status(tavo::firmware::kNoMemory);
  else
    result = object_read_into(out, request.get(), name, port, domain, phys_port, transport);
  TAVO_file_close(out);
  return result;
}

uint32_t flash_galtor_image(TavoNode*, uint32_t port, const uint8_t* buffer, uint32_t length, uint8_t domain,
                            uint8_t phys_port, uint32_t transport) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (buffer == nullptr || length == 0) return 1;
  auto request = tavo::base::counted_zeroed<ObjectWriteRequest>();
  if (!request) return 1;
  uint32_t offset = 0;
  for (uint32_t remaining = length; remaining > 0;) {
    const uint32_t piece = std::min(remaining, tavo::kObjectChunkMax);
    const bool last = piece == remaining;
    memset(request.get(), 0, sizeof *request);
    request->length = piece | (last ? tavo::kObjectEndOfFile : 0);
    request->offset = offset;
    snprintf(request->name, sizeof request->name, "%s", kFirmwareObject);
    memcpy(request->data, buffer + offset, piece);
    const uint32_t status =
        ioctl_common_write_object_v1(port, request.get(), sizeof *request, domain, phys_port, transport);
    const uint32_t written = request->length;
    if (status != 0 || written == 0 || written > piece) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: piece at %u: status %u, %u of %u bytes written\n", __func__,
             static_cast<unsigned>(offset), static_cast<unsigned>(status), static_cast<unsigned>(written),
             static_cast<unsigned>(piece));
      return 1;
    }
    if (last && written == piece) {
      const uint8_t change = reinterpret_cast<const uint8_t*>(request.get())[offsetof(ObjectWriteRequest, offset)];
      pdebug(TAVO_LOG_BACKEND, 5, "%s: written, change status %u\n", __func__, static_cast<unsigned>(change));
      return change == 0 ? 0 : uint32_t{tavo::firmware::kRebootToActivate};
    }
    // What the firmware did not take goes again from where it stopped.
    offset += written;
    remaining -= written;
  }
  return 1;
}

uint32_t process_obj_file(const uint8_t* bytes, uint32_t length, tavo::ObjectFileHeader* header) {
  const char* fault = nullptr;
  tavo::ObjectFileHeader h{};
  if (bytes == nullptr || length < sizeof h) {
    fault = "Invalid size";
  } else {
    memcpy(&h, bytes, sizeof h);
    auto magic = [&h] { return h.magic_low == tavo::kObjectMagicLow || h.magic_high == tavo::kObjectMagicHigh; };
    if (!magic()) swap32_buffer(reinterpret_cast<uint32_t*>(&h), 12);
    if (!magic())
      fault = "Invalid Magic Number";
    else if (h.file_size != length)
      fault = "Invalid FileSize";
    else if (h.file_type != tavo::kObjectFileType)
      fault = "Invalid FileType";
  }
  if (fault != nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s\n", __func__, fault);
    set_status(tavo::firmware::kObjectFileInvalid);
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "%s: revision %.*s (%.*s), dated %.*s\n", __func__,
         static_cast<int>(sizeof h.revision), h.revision, static_cast<int>(sizeof h.revision_name), h.revision_name,
         static_cast<int>(sizeof h.date), h.date);
  if (header != nullptr) *header = h;
  return 0;
}

namespace {

// The object file read whole and checked; false with the status.
bool object_file(const char* path, tavo::base::Counted<uint8_t>* bytes, uint32_t* length) {
  const uint32_t read = tavo::firmware::read_whole_file(path, bytes, length, true);
  if (read != 0) {
    set_status(read);
    return false;
  }
  return process_obj_file(bytes->get(), *length, nullptr) == 0;
}

}  // namespace

uint32_t process_galtor_flash(const char* path) {
  tavo::base::Counted<uint8_t> bytes;
  uint32_t length = 0;
  return object_file(path, &bytes, &length) ? 0 : 1;
}

uint32_t TAVO_galtor_fw_download(TavoNode* controller, uint32_t port, const char* path, uint8_t domain,
                                 uint8_t phys_port, uint32_t transport) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  // The file may have changed since it was checked: what is written is
  // what was checked here.
  tavo::base::Counted<uint8_t> bytes;
  uint32_t length = 0;
  if (!object_file(path, &bytes, &length)) return 1;
  const uint32_t result = flash_galtor_image(controller, port, bytes.get(), length, domain, phys_port, transport);
  return result == 0 || result == tavo::firmware::kRebootToActivate ? result : 1;
}

void swap32_buffer(uint32_t* words, uint32_t length) {
  if (words == nullptr || length < 4) return;
  const uint32_t count = length / 4 + (length % 4 != 0 ? 1 : 0);
  for (uint32_t i = 0; i < count; ++i) words[i] = __builtin_bswap32(words[i]);
}

void swap16_buffer(uint32_t* words, uint32_t length) {
  if (words == nullptr || length < 4) return;
  const uint32_t count = length / 4 + (length % 4 != 0 ? 1 : 0);
  for (uint32_t i = 0; i < count; ++i) {
    words[i] = words[i] << 16 | words[i] >> 16;
    pdebug(TAVO_LOG_BACKEND, 6, "%s: 0x%08x\n", __func__, static_cast<unsigned>(words[i]));
  }
}
