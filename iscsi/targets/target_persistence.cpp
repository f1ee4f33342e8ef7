// The persistence flag the firmware keeps of a target's sessions.
#include <string.h>
#include <strings.h>

#include <memory>

#include "base/library_lock.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"

using namespace tavo::targets;

namespace {

constexpr size_t kSessionListSize = tavo::kTargetBufferSize;

}  // namespace

bool tavo::targets::active_session_handles(const tavo::tree::HandlerContext& p, std::vector<uint32_t>* handles) {
  const tavo::iscsi::RecordKey key{p.number, p.domain, p.port, 0, 0, 0};
  if (tavo::iscsi::session_list_reads().kept(key, handles)) return true;
  Buffer list = zeroed_buffer(kSessionListSize);
  if (list == nullptr) return false;
  memcpy(list.get(), &tavo::kSessionListKind, sizeof tavo::kSessionListKind);
  if (ioctl_get_activesessionid(p.number, list.get(), kSessionListSize, p.domain, p.port) != 0) return false;
  uint32_t count = 0;
  memcpy(&count, list.get(), sizeof count);
  // The firmware's count, bounded by the handles the buffer holds.
  const size_t room = (kSessionListSize - sizeof(tavo::SessionListHead)) / sizeof(uint32_t);
  handles->clear();
  for (size_t i = 0; i < count && i < room; ++i) {
    uint32_t handle = 0;
    memcpy(&handle, list.get() + sizeof(tavo::SessionListHead) + i * sizeof handle, sizeof handle);
    handles->push_back(handle);
  }
  tavo::iscsi::session_list_reads().keep(key, *handles);
  return true;
}

uint32_t tavo::targets::persistence_among(const tavo::tree::HandlerContext& p, const std::vector<uint32_t>& handles,
                                          const char* name, char* out) {
  for (const uint32_t handle : handles) {
    std::unique_ptr<tavo::FirmwareSessionRecord, tavo::iscsi::BufferFree> record(
        TAVO_get_session_params(handle, p.number, p.domain, p.port));
    if (record == nullptr) return 1;
    const size_t n = strnlen(record->target_name, sizeof record->target_name);
    if (strlen(name) == n && strncasecmp(record->target_name, name, n) == 0) {
      snprintf(out, 35, "%s", (record->flags & tavo::kSessionNotPersistent) == 0 ? "True" : "False");
      return 0;
    }
  }
  return 0;
}

uint32_t TAVO_get_tgt_persistent_val(TavoNode* node, const char* name, char* out) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(node);
  std::vector<uint32_t> handles;
  if (name == nullptr || out == nullptr || !below_lhba(p) || !active_session_handles(p, &handles)) return 1;
  return persistence_among(p, handles, name, out);
}
