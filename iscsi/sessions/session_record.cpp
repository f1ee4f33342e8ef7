// One session as the firmware keeps it.
#include <string.h>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions.h"
#include "transport/commands.h"

tavo::FirmwareSessionRecord* TAVO_get_session_params(uint32_t session_handle, uint32_t function_number, uint32_t domain,
                                                     uint32_t port) {
  TAVO_LIBRARY_LOCK;
  auto* record = static_cast<tavo::FirmwareSessionRecord*>(tavo_dmalloc(sizeof(tavo::FirmwareSessionRecord)));
  if (record != nullptr) {
    memset(record, 0, sizeof *record);
    record->handle = session_handle;
    if (ioctl_get_a_session(function_number, record, sizeof *record, static_cast<uint8_t>(domain),
                            static_cast<uint8_t>(port)) == 0)
      return record;
    tavo_dfree(record);
  }
  tavo::sessions::sessions_status(85);
  return nullptr;
}
