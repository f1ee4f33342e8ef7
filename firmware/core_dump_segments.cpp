// Segment records of the core dump: one instance read in pieces, deflated
// when its template asks, and appended with its header; the closing
// record; and the appends themselves, each all or nothing so that a
// failure never leaves a record cut in the file.
#include <errno.h>
#include <string.h>

#include <algorithm>

#include "base/compress.h"
#include "base/sysinfo.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "firmware/core_dump.h"
#include "firmware/dump_internal.h"
#include "firmware/output_file.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/mailbox.h"
#include "tree/handler_context.h"

using tavo::CoreDumpSegmentHeader;
using tavo::firmware::set_status;

uint8_t TAVO_CORE_DUMP_STATUS = 0;
uint32_t successful_segments = 0;

namespace tavo::firmware {

namespace {

// A segment record's header and data in one block, the header first.
struct SegmentBlock {
  base::Counted<uint8_t> bytes;
  uint32_t length = 0;  // of the data
  uint8_t* data() { return bytes.get() + sizeof(CoreDumpSegmentHeader); }
};

bool segment_block(SegmentBlock* block, uint64_t room) {
  if (room > kMaxSegmentLength + 0x100000) return false;
  block->bytes.reset(static_cast<uint8_t*>(tavo_dmalloc(sizeof(CoreDumpSegmentHeader) + static_cast<size_t>(room))));
  block->length = 0;
  return block->bytes != nullptr;
}

// Replaces the data by its zlib stream and the uncompressed length; false
// (the data stays as it was) when it cannot be deflated.
bool segment_deflate(SegmentBlock* block) {
  const uint32_t bound = GetMaxCompressedLen(block->length + 1);
  SegmentBlock deflated;
  if (!segment_block(&deflated, uint64_t{bound} + 4)) return false;
  const uint32_t n = CompressData(block->data(), block->length, deflated.data(), bound);
  if (n == 0xFFFFFFFF || n > bound) return false;
  memcpy(deflated.data() + n, &block->length, 4);
  deflated.length = n + 4;
  *block = std::move(deflated);
  return true;
}

CoreDumpSegmentHeader segment_header(uint32_t component, uint32_t segment, uint16_t pci_function,
                                     uint32_t start_offset, uint32_t length, uint32_t status, uint32_t instance,
                                     uint32_t elapsed_ms, uint32_t compressed, uint8_t first, uint8_t second) {
  CoreDumpSegmentHeader h{};
  memcpy(h.magic, kSegmentMagic, sizeof h.magic);
  h.component = component;
  h.segment = segment;
  h.compressed = compressed;
  h.first = first;
  h.second = second;
  h.pci_function = pci_function;
  h.start_offset = start_offset;
  h.length = length;
  h.status = status;
  h.elapsed_ms = elapsed_ms;
  h.header_length = sizeof h;
  h.instance = instance;
  return h;
}


}  // namespace

uint32_t dump_append(const char* path, const void* bytes, size_t length, bool record) {
  if (path == nullptr) return 1;
  bool opened = false;
  if (output_append(path, bytes, length, &opened) == 0) return 0;
  const int err = errno;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot append %zu bytes to %s: %s\n", __func__, length, path, strerror(err));
  if (opened)
    set_status(kDumpWriteFailed);
  else
    set_status(record && err == EPERM ? kDumpNotPermitted : kDumpFileInvalid);
  return 1;
}

CoreDumpTime dump_time_now() {
  uint16_t month = 0, year = 0, hour = 0, day = 0, second = 0, minute = 0, unused = 0;
  int16_t bias = 0;
  TAVO_get_system_time(&month, &year, &hour, &day, &second, &minute, &unused, &bias);
  return CoreDumpTime{year, month, hour, day, minute, second, bias};
}

TavoNode* dump_function_zero(TavoNode* controller) {
  bool broken = false, found = false;
  TavoNode* fn = controller::nic_function_zero(controller, &broken, &found);
  return found ? fn : nullptr;
}

}  // namespace tavo::firmware

uint32_t TAVO_write_each_segment_data(uint32_t component, uint32_t segment, uint32_t instance, uint32_t start_offset,
                                      uint32_t length, uint32_t code_words, const uint32_t* code, const char* path,
                                      TavoNode* controller, uint32_t compress, uint8_t first, uint8_t second) {
  using namespace tavo::firmware;
  TavoNode* fn = dump_function_zero(controller);
  TavoNode* pci = internal_get_node(fn, "PCI", TAVO_KIND_GROUP);
  char text[TAVO_VALUE_SIZE] = "";
  long long pf = -1;
  if (pci == nullptr || internal_get_property(pci, "FunctionNumber", text) != 0 ||
      tavo::base::parse_number(text, &pf) != 0 || pf < 0 || pf > 0xFFFF) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: pf_num is invalid\n", __func__);
    return 1;
  }
  SegmentBlock block;
  if (!segment_block(&block, length)) {
    set_status(kNoMemory);
    return 1;
  }
  // Pieces land one after the other, so the data holds only what the
  // firmware answered, also when a piece comes back short.
  uint32_t status = 0;
  uint32_t offset = start_offset, remaining = length;
  do {
    const uint32_t piece = std::min(remaining, tavo::kCoreDumpPieceMax);
    tavo::base::Counted<uint8_t> answer(TAVO_get_coredump_segment(component, segment, instance, offset, piece,
                                                                  code_words, code, path, controller));
    if (!answer) {
      TAVO_CORE_DUMP_STATUS = 1;
      break;
    }
    uint32_t returned = 0;
    memcpy(&status, answer.get(), sizeof status);
    memcpy(&returned, answer.get() + 4, sizeof returned);
    const uint32_t n = std::min({returned, piece, length - block.length});
    memcpy(block.data() + block.length, answer.get() + tavo::kCoreDumpAnswerData, n);
    block.length += n;
    offset += piece;
    remaining -= piece;
  } while (remaining > 0);

  const bool compressed = compress != 0 && segment_deflate(&block);
  if (compress != 0 && !compressed) pdebug(TAVO_LOG_BACKEND, 3, "%s: segment %u kept uncompressed\n", __func__,
                                           static_cast<unsigned>(segment));
  uint32_t elapsed = 0;
  TAVO_stop_clock(controller, &elapsed);
  const CoreDumpSegmentHeader header =
      segment_header(component, segment, static_cast<uint16_t>(pf), start_offset, block.length, status, instance,
                     elapsed, compressed ? 1 : 0, first, second);
  memcpy(block.bytes.get(), &header, sizeof header);
  if (dump_append(path, block.bytes.get(), sizeof header + size_t{block.length}, false) != 0) {
    set_status(kDumpWriteFailed);
    return 1;
  }
  ++successful_segments;
  return 0;
}

uint8_t* TAVO_get_coredump_segment(uint32_t component, uint32_t segment, uint32_t instance, uint32_t offset,
                                   uint32_t length, uint32_t code_words, const uint32_t* code, const char* path,
                                   TavoNode* controller) {
  using namespace tavo::firmware;
  if (controller == nullptr || path == nullptr) return nullptr;
  TavoNode* fn = dump_function_zero(controller);
  if (internal_get_node(fn, "PCI", TAVO_KIND_GROUP) == nullptr) return nullptr;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(fn);
  if (length > tavo::kCoreDumpPieceMax || code_words > tavo::kCoreDumpCodeWordsMax ||
      (component == 1 && code_words > 0 && code == nullptr))
    return nullptr;
  auto request = tavo::base::counted_zeroed<tavo::CoreDumpSegmentRequest>();
  if (!request) {
    set_status(kNoBuffer);
    return nullptr;
  }
  request->component = component;
  request->segment = segment;
  request->instance = instance;
  request->offset = offset;
  request->length = length;
  request->code_words = code_words;
  if (component == 1 && code_words > 0) memcpy(request->code, code, size_t{code_words} * 4);
  const uint32_t status = ioctl_get_coredump_seg(c.number, request.get(), sizeof(tavo::CoreDumpSegmentRequest),
                                                 c.domain, c.port, TAVO_VIA_NIC);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: component %u segment %u instance %u at %u failed with %u\n", __func__,
           static_cast<unsigned>(component), static_cast<unsigned>(segment), static_cast<unsigned>(instance),
           static_cast<unsigned>(offset), static_cast<unsigned>(status));
    set_status(kSegmentReadFailed);
    return nullptr;
  }
  return reinterpret_cast<uint8_t*>(request.release());
}

uint32_t TAVO_core_dump_segment_header(const char* path, uint32_t component, uint32_t segment, uint16_t pci_function,
                                       uint32_t start_offset, uint32_t length, uint32_t status, uint32_t instance,
                                       uint32_t elapsed_ms, uint32_t compressed, uint8_t first, uint8_t second) {
  const CoreDumpSegmentHeader header = tavo::firmware::segment_header(
      component, segment, pci_function, start_offset, length, status, instance, elapsed_ms, compressed, first, second);
  return tavo::firmware::dump_append(path, &header, sizeof header, false);
}

uint32_t TAVO_writing_segment_data(const char* path, const uint8_t* data, uint32_t length) {
  if (data == nullptr && length > 0) return 1;
  return tavo::firmware::dump_append(path, data, length, false);
}

uint32_t TAVO_record_core_dump(const char* path, uint8_t chip_state, uint32_t asic_id, uint32_t hpi_intf,
                               uint8_t low_version, uint8_t high_version, uint16_t year, uint16_t month,
                               uint16_t hour, uint16_t day, uint16_t minute, uint16_t second, int16_t utc_bias,
                               const char* dump_string) {
  if (path == nullptr || dump_string == nullptr) return 1;
  tavo::CoreDumpRecord r{};
  memcpy(r.magic, tavo::kCoreMagic, sizeof r.magic);
  r.one = 1;
  r.chip_state = chip_state;
  char text[TAVO_VALUE_SIZE] = "";
  TAVO_get_system_name(text);
  snprintf(r.host_name, sizeof r.host_name, "%.*s", static_cast<int>(sizeof r.host_name - 1), text);
  r.started = tavo::CoreDumpTime{year, month, hour, day, minute, second, utc_bias};
  snprintf(r.dump_string, sizeof r.dump_string, "%s",
           TAVO_CORE_DUMP_STATUS != 0 && dump_string[0] == '\0' ? "live" : dump_string);
  r.segments = successful_segments;
  text[0] = '\0';
  uint32_t major = 0, minor = 0;
  TAVO_get_os_info(&major, &minor, text);
  r.os_major = major;
  r.os_minor = minor;
  snprintf(r.os_name, sizeof r.os_name, "%.*s", static_cast<int>(sizeof r.os_name - 1), text);
  r.written = tavo::firmware::dump_time_now();
  r.hpi_intf = hpi_intf;
  r.asic_id = asic_id;
  r.dump_status = TAVO_CORE_DUMP_STATUS != 0 ? tavo::kDumpStatusIncomplete : 0;
  r.low_version = low_version;
  r.high_version = high_version;
  return tavo::firmware::dump_append(path, &r, sizeof r, true);
}
