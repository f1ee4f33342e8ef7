// SCSI commands to the LUNs behind a session: the firmware's initiator
// owns the session, so each command goes whole through one pass-through
// mailbox command (59/6), and the LUN's answer comes back in its data area.
#include <string.h>

#include "base/library_lock.h"
#include "base/memory.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/scsi_records.h"

using namespace tavo::sessions;
using tavo::ScsiPassthroughRequest;

namespace {

constexpr uint32_t kPassthroughFailed = 90;
constexpr uint32_t kCheckCondition = 1;
constexpr uint32_t kNoData = 5;
constexpr uint16_t kReportLunsFirst = 16;
constexpr uint32_t kMostLunGroups = 255;  // what a scan builds of one answer

void passthru_put_be(uint8_t* p, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

// A fetch's failure to reach the LUN leaves its status; others pass.
uint32_t passthru_noted(uint32_t result) {
  if (result == kPassthroughFailed) kLunInfoFailed.set();
  return result;
}

// A command whose answer lands in out (length bytes) and is not kept.
uint32_t passthru_into(uint32_t device, uint32_t domain, uint32_t port, uint32_t handle, const uint8_t* lun,
                       const uint8_t cdb[16], uint16_t length, uint8_t* out) {
  uint8_t* data = nullptr;
  const uint32_t r = ConstructSCSIParams(device, domain, port, handle, lun, tavo::kScsiDataIn, cdb, length, &data);
  if (r == 0 && data != nullptr) memcpy(out, data, length);
  tavo_dfree(data);
  return r == 0 && data == nullptr ? kNoData : r;
}

}  // namespace

uint32_t ConstructSCSIParams(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                             const uint8_t* lun, uint32_t direction, const uint8_t* cdb, uint16_t data_length,
                             uint8_t** data) {
  TAVO_LIBRARY_LOCK;
  if (data != nullptr) *data = nullptr;
  if (data_length > tavo::kScsiMostData) return 1;
  const size_t length = sizeof(ScsiPassthroughRequest) + data_length;
  auto request = tavo::base::counted_zeroed<uint8_t>(length);
  if (!request) {
    sessions_status(16);
    return 1;
  }
  ScsiPassthroughRequest r{};
  r.session_handle = session_handle;
  // A LUN is addressed by its first four bytes, which carry every single-
  // and two-level LUN whole.
  if (lun != nullptr) memcpy(r.lun, lun, 4);
  r.direction = direction == tavo::kScsiDataIn || direction == tavo::kScsiDataOut ? static_cast<uint8_t>(direction) : 0;
  if (cdb != nullptr) memcpy(r.cdb, cdb, sizeof r.cdb);
  r.data_length = data_length;
  memcpy(request.get(), &r, sizeof r);
  const uint32_t status = ioctl_scsi_passthru(device, request.get(), static_cast<uint16_t>(length),
                                              static_cast<uint8_t>(domain), static_cast<uint8_t>(port));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_scsi_passthru failed with status %u\n", __func__, status);
    return kPassthroughFailed;
  }
  if (request.get()[offsetof(ScsiPassthroughRequest, scsi_status)] != tavo::kScsiGood) {
    pdebug(TAVO_LOG_BACKEND, 3, "Check condition recieved from tgt\n");
    return kCheckCondition;
  }
  if (data == nullptr) return 0;
  auto* out = static_cast<uint8_t*>(tavo_dmalloc(data_length > 0 ? data_length : 1));
  if (out == nullptr) {
    sessions_status(16);
    return 1;
  }
  memcpy(out, request.get() + sizeof r, data_length);
  *data = out;
  return 0;
}

uint32_t FetchReportLUNData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle, uint8_t** data) {
  TAVO_LIBRARY_LOCK;
  if (data == nullptr) return kNoData;
  uint8_t cdb[16] = {tavo::kScsiReportLuns};
  passthru_put_be(cdb + 6, kReportLunsFirst, 4);
  uint32_t r = ConstructSCSIParams(device, domain, port, session_handle, nullptr, tavo::kScsiDataIn, cdb,
                                   kReportLunsFirst, data);
  if (r != 0) return r;
  if (*data == nullptr) return kNoData;
  uint32_t listed = 0;
  for (int i = 0; i < 4; ++i) listed = listed << 8 | (*data)[i];
  if (listed <= 7) return 0;
  // Asks for no more entries than a scan builds groups of.
  uint32_t n = listed / 8;
  if (n > kMostLunGroups) n = kMostLunGroups;
  tavo_dfree(*data);
  *data = nullptr;
  const auto length = static_cast<uint16_t>((n + 1) * 8);
  passthru_put_be(cdb + 6, length, 4);
  r = ConstructSCSIParams(device, domain, port, session_handle, nullptr, tavo::kScsiDataIn, cdb, length, data);
  if (r != 0) return r;
  if (*data == nullptr) return kNoData;
  // The list never claims more entries than the answer holds, whatever the
  // LUNs did between the two questions.
  listed = 0;
  for (int i = 0; i < 4; ++i) listed = listed << 8 | (*data)[i];
  if (listed > n * 8) passthru_put_be(*data, n * 8, 4);
  return 0;
}

uint32_t FetchReadCapacityData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                               const uint8_t* lun, uint8_t** data, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  uint8_t cdb[16] = {tavo::kScsiReadCapacity10};
  uint16_t length = 8;
  if (mode == 1) {
    cdb[0] = tavo::kScsiServiceActionIn16;
    cdb[1] = tavo::kScsiReadCapacity16;
    cdb[13] = 12;
    length = 12;
  }
  return passthru_noted(
      ConstructSCSIParams(device, domain, port, session_handle, lun, tavo::kScsiDataIn, cdb, length, data));
}

uint32_t FetchScsiInquiryData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                              const uint8_t* lun, uint8_t* out) {
  TAVO_LIBRARY_LOCK;
  if (out == nullptr) return 1;
  const uint8_t cdb[16] = {tavo::kScsiInquiry, 0, 0, 0, 36};
  return passthru_noted(passthru_into(device, domain, port, session_handle, lun, cdb, 36, out));
}

uint32_t FetchLSNInquiryData(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                             const uint8_t* lun, uint8_t* out) {
  TAVO_LIBRARY_LOCK;
  if (out == nullptr) return 1;
  const uint8_t cdb[16] = {tavo::kScsiInquiry, 1, tavo::kScsiUnitSerialPage, 0, 0xFF};
  uint8_t page[256];
  const uint32_t r = passthru_into(device, domain, port, session_handle, lun, cdb, sizeof page, page);
  if (r == 0) memcpy(out, page, 255);
  return passthru_noted(r);
}

uint32_t IssueSCSIReadWrite(uint32_t device, uint32_t domain, uint32_t port, uint32_t session_handle,
                            const uint8_t* lun, uint32_t direction, int32_t start, uint16_t count) {
  TAVO_LIBRARY_LOCK;
  // One request carries 127 blocks at most: a longer transfer goes in
  // pieces, each a command of its own.
  auto block = static_cast<uint32_t>(start);
  for (uint32_t left = count; left > 0;) {
    const uint16_t n = left > tavo::kScsiMostBlocks ? tavo::kScsiMostBlocks : static_cast<uint16_t>(left);
    uint8_t cdb[16] = {direction == tavo::kScsiDataOut ? tavo::kScsiWrite10 : tavo::kScsiRead10};
    passthru_put_be(cdb + 2, block, 4);
    passthru_put_be(cdb + 7, n, 2);
    const uint32_t r = ConstructSCSIParams(device, domain, port, session_handle, lun, direction, cdb,
                                           static_cast<uint16_t>(n * tavo::kScsiBlock), nullptr);
    if (r != 0) return passthru_noted(r);
    block += n;
    left -= n;
  }
  return 0;
}
