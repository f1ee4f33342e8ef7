// One session as the firmware keeps it (14/6), read once per request
// (iscsi/common/record_reads.h).
#include <string.h>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"

namespace {

using tavo::iscsi::RecordKey;
using tavo::iscsi::RecordReads;

RecordReads<tavo::FirmwareSessionRecord>& record_reads() {
  static RecordReads<tavo::FirmwareSessionRecord> kept(tavo::command::kSessions);
  return kept;
}

// The firmware's answer for the session, or false (status 85).
bool record_fetch(uint32_t session_handle, uint32_t function_number, uint32_t domain, uint32_t port,
                  tavo::FirmwareSessionRecord* record) {
  memset(record, 0, sizeof *record);
  record->handle = session_handle;
  if (ioctl_get_a_session(function_number, record, sizeof *record, static_cast<uint8_t>(domain),
                          static_cast<uint8_t>(port)) == 0)
    return true;
  tavo::sessions::sessions_status(85);
  return false;
}

}  // namespace

namespace tavo::sessions {

SessionRecord read_session_record(const tavo::tree::HandlerContext& at, uint32_t handle, TavoNode* property) {
  return read_session_record(at.number, at.domain, at.port, handle, property);
}

SessionRecord read_session_record(uint32_t number, uint32_t domain, uint32_t port, uint32_t handle,
                                  TavoNode* property) {
  SessionRecord r(static_cast<FirmwareSessionRecord*>(tavo_dmalloc(sizeof(FirmwareSessionRecord))));
  if (r == nullptr) {
    sessions_status(85);
    return nullptr;
  }
  const RecordKey key{number, domain, port, handle, 0, 0};
  if (record_reads().read(key, property, r.get(), [&](FirmwareSessionRecord* fetched) {
        return record_fetch(handle, number, domain, port, fetched) ? 0u : 1u;
      }) != 0)
    r.reset();
  return r;
}

}  // namespace tavo::sessions

tavo::FirmwareSessionRecord* TAVO_get_session_params(uint32_t session_handle, uint32_t function_number, uint32_t domain,
                                                     uint32_t port) {
  TAVO_LIBRARY_LOCK;
  return tavo::sessions::read_session_record(function_number, domain, port, session_handle, nullptr).release();
}
