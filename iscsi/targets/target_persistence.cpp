// The persistence flag the firmware keeps of a target's sessions.
#include <ctype.h>
#include <string.h>

#include <memory>

#include "base/library_lock.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"
#include "transport/record_changes.h"

using namespace tavo::targets;

namespace {

constexpr size_t kSessionListSize = tavo::kTargetBufferSize;

// Names compare without case: the key of each is its lower case.
std::string persistence_key(const char* text, size_t n) {
  std::string key(text, n);
  for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return key;
}

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

// What was read stands until a command that changes sessions is sent (the
// list stays: a listing reads it once).
void SessionPersistence::drop_if_changed() {
  if (read_ != 0 && tavo::command::changed_since(&seen_, tavo::command::kSessions)) {
    read_ = 0;
    persistent_.clear();
  }
  if (read_ == 0) seen_ = tavo::command::changes_noted();
}

uint32_t SessionPersistence::lookup(const char* name, char* out) {
  if (!listed_) {
    listed_ = active_session_handles(p_, &handles_);
    if (!listed_) return 1;
  }
  drop_if_changed();
  const std::string key = persistence_key(name, strlen(name));
  auto known = persistent_.find(key);
  // Read on from where the last lookup stopped, up to the first session of name.
  while (known == persistent_.end() && read_ < handles_.size()) {
    std::unique_ptr<tavo::FirmwareSessionRecord, tavo::iscsi::BufferFree> record(
        TAVO_get_session_params(handles_[read_], p_.number, p_.domain, p_.port));
    if (record == nullptr) return 1;
    ++read_;
    const bool persistent = (record->flags & tavo::kSessionNotPersistent) == 0;
    const auto [at, added] = persistent_.emplace(
        persistence_key(record->target_name, strnlen(record->target_name, sizeof record->target_name)), persistent);
    if (added && at->first == key) known = at;
  }
  if (known != persistent_.end()) strcpy(out, known->second ? "True" : "False");
  return 0;
}

uint32_t TAVO_get_tgt_persistent_val(TavoNode* node, const char* name, char* out) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(node);
  if (name == nullptr || out == nullptr || !below_lhba(p)) return 1;
  return SessionPersistence(p).lookup(name, out);
}
