// The ARM firmware log into a file the client names: the firmware's string
// table (130/1, fetched into "arm_string_table.bin" in the current
// directory first), then the 64-byte log entries (128/1), from flash or
// from a snapshot of the log in controller memory (127/1). Both are copied
// unread.
#include <errno.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "base/file_utils.h"
#include "firmware/firmware.h"
#include "firmware/flash_internal.h"
#include "firmware/output_file.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/log_records.h"

using tavo::firmware::set_status;

namespace {

constexpr char kStringTableFile[] = "arm_string_table.bin";

using tavo::ExtFatSnapshotBuffer;
using tavo::ExtFatStringTableBuffer;

// The string table's pieces into the file: 0, or 1 with status 207.
uint32_t arm_strings_into(const tavo::firmware::FlashTarget& t, ExtFatStringTableBuffer* buffer) {
  uint32_t offset = 0;
  for (;;) {
    memset(buffer, 0, sizeof *buffer);
    buffer->offset = offset;
    buffer->wanted = tavo::kArmStringsPerPiece;
    if (ioctl_read_extfat_string_table(t.port, buffer, sizeof *buffer, t.domain, t.phys_port, t.instance) != 0)
      return 1;
    // The answer: bytes returned, bytes remaining.
    const uint32_t returned = std::min(buffer->offset, tavo::kArmStringsPerPiece);
    if (returned == 0) return 0;
    if (tavo::firmware::output_append(kStringTableFile, buffer->bytes, returned) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot append to %s: %s\n", "read_extfat_string_table", kStringTableFile,
             strerror(errno));
      return 1;
    }
    // A table that would pass the offsets' range has ended.
    if (buffer->wanted == 0 || returned > UINT32_MAX - offset) return 0;
    offset += returned;
  }
}

// What the retrieval works with: where the log commands go, the output
// file and the 64,000-byte buffer.
struct ArmLog {
  tavo::firmware::FlashTarget target;
  std::string path;
  tavo::base::Counted<ExtFatSnapshotBuffer> buffer;
};

// Entries from `first` on (at most 998) from source into the buffer: the
// number answered, or -1 with status 206.
int32_t arm_entries(ArmLog& log, uint32_t source, uint32_t first) {
  ExtFatSnapshotBuffer* buffer = log.buffer.get();
  memset(buffer, 0, sizeof *buffer);
  buffer->source = source;
  buffer->first = first;
  buffer->wanted = tavo::kArmEntriesPerPiece;
  const tavo::firmware::FlashTarget& t = log.target;
  if (ioctl_retrieve_extfat_snapshot(t.port, buffer, sizeof *buffer, t.domain, t.phys_port, t.instance) != 0) {
    set_status(tavo::firmware::kArmLogReadFailed);
    return -1;
  }
  int32_t count = 0;
  memcpy(&count, buffer, sizeof count);
  return std::clamp<int32_t>(count, 0, tavo::kArmEntriesPerPiece);
}

// Appends n entries of the buffer to the output file: false with status 257.
bool arm_append(ArmLog& log, const void* bytes, size_t n) {
  if (tavo::firmware::output_append(log.path.c_str(), bytes, n) == 0) return true;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot append to %s: %s\n", "do_RetrieveARMLog", log.path.c_str(), strerror(errno));
  set_status(tavo::firmware::kDumpFileInvalid);
  return false;
}

bool arm_append_entries(ArmLog& log, int32_t n) {
  const auto* entries = reinterpret_cast<const uint8_t*>(log.buffer.get()) + tavo::kArmEntriesData;
  return arm_append(log, entries, size_t{tavo::kArmEntrySize} * n);
}

// The buffer, and the string table file copied into the output file:
// false with status 31 (no buffer) or 257 (the copy failed), or with
// *opened false when the table file does not open.
bool arm_begin(ArmLog& log, bool* opened) {
  *opened = true;
  log.buffer = tavo::base::counted_zeroed<ExtFatSnapshotBuffer>();
  if (!log.buffer) {
    set_status(tavo::firmware::kNoBuffer);
    return false;
  }
  tavo::base::Counted<uint8_t> table;
  uint32_t length = 0;
  *opened = tavo::firmware::read_whole_file(kStringTableFile, &table, &length) == 0;
  return *opened && arm_append(log, table.get(), length);
}

// From flash: every entry until the firmware answers none; a first answer
// of fewer than two entries is an empty log (205).
uint32_t arm_from_flash(ArmLog& log) {
  using namespace tavo::firmware;
  if (output_write(log.path.c_str(), "", 0) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot create %s: %s\n", "do_RetrieveARMLog", log.path.c_str(), strerror(errno));
    return 1;
  }
  bool opened = false;
  if (!arm_begin(log, &opened)) {
    if (!opened) set_status(kDumpFileInvalid);
    return 1;
  }
  for (uint32_t first = 0;;) {
    const int32_t n = arm_entries(log, tavo::kArmSourceFlash, first);
    if (n < 0) return 1;
    if (first == 0 && n < 2) {
      set_status(kArmLogEmpty);
      return 1;
    }
    if (n == 0) return 0;
    if (!arm_append_entries(log, n)) return 1;
    if (static_cast<uint32_t>(n) > UINT32_MAX - first) return 0;
    first += static_cast<uint32_t>(n);
  }
}

// From a snapshot of the RAM log: as many entries as the snapshot holds.
uint32_t arm_from_snapshot(ArmLog& log) {
  using namespace tavo::firmware;
  const FlashTarget& t = log.target;
  uint32_t snapshot = 0;
  if (ioctl_configure_extfat_snapshot(t.port, &snapshot, t.domain, t.phys_port, t.instance) != 0) {
    set_status(kSnapshotFailed);
    return 1;
  }
  if (snapshot == 0) {
    set_status(kArmLogEmpty);
    return 1;
  }
  if (output_write(log.path.c_str(), "", 0) != 0) {
    set_status(kDumpFileInvalid);
    return 1;
  }
  bool opened = false;
  if (!arm_begin(log, &opened)) {
    // A failed fetch of the table left its own status.
    if (!opened) pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to open a file in read mode\n", "do_RetrieveARMLog");
    return 1;
  }
  for (uint32_t first = 0, remaining = snapshot; remaining > 0;) {
    const int32_t n = arm_entries(log, tavo::kArmSourceRam, first);
    if (n < 0) return 1;
    if (n == 0) return 0;
    if (!arm_append_entries(log, n)) return 1;
    if (static_cast<uint32_t>(n) >= remaining) return 0;
    first += static_cast<uint32_t>(n);
    remaining -= static_cast<uint32_t>(n);
  }
  return 0;
}

}  // namespace

uint32_t read_extfat_string_table(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::firmware::FlashTarget t;
  if (!tavo::firmware::flash_target(controller, nullptr, &t)) return 1;
  if (tavo::firmware::output_write(kStringTableFile, "", 0) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to open a file in write mode\n", __func__);
    return 1;
  }
  auto buffer = tavo::base::counted_zeroed<ExtFatStringTableBuffer>();
  if (!buffer) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to Allocate memory\n", __func__);
    TAVO_delete_file(kStringTableFile);
    return 1;
  }
  if (arm_strings_into(t, buffer.get()) != 0) {
    TAVO_delete_file(kStringTableFile);
    set_status(tavo::firmware::kStringTableFailed);
    return 1;
  }
  return 0;
}

uint32_t do_RetrieveARMLog(TavoNode* ext_fat, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (ext_fat == nullptr || params == nullptr) return 1;
  TavoNode* controller = ext_fat->parent;
  ArmLog log;
  if (!tavo::firmware::flash_target(controller, action, &log.target)) return 1;
  log.path = tavo::firmware::param_text(params, 0);
  const std::string mode = tavo::firmware::param_text(params, 1);
  // A failed fetch shows when the table file is opened.
  read_extfat_string_table(controller);
  TAVO_delete_file(log.path.c_str());
  uint32_t result = 1;
  if (strcasecmp(mode.c_str(), "FLASH") == 0)
    result = arm_from_flash(log);
  else if (strcasecmp(mode.c_str(), "RAM") == 0 || strcasecmp(mode.c_str(), "DDR") == 0)
    result = arm_from_snapshot(log);
  TAVO_delete_file(kStringTableFile);
  return result;
}
