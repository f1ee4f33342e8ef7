// The log of the changes sent commands made, bounded: a reader that fell
// further behind than the log reaches drops everything it kept.
#include "transport/record_changes.h"

#include <atomic>
#include <mutex>

namespace tavo::command {
namespace {

constexpr uint64_t kLogSize = 64;

struct Log {
  std::mutex lock;
  std::atomic<uint64_t> count{0};  // changes noted since the process began
  std::array<RecordChange, kLogSize> entries{};
};

Log& change_log() {
  static Log log;
  return log;
}

}  // namespace

void note_changes(uint8_t changes, const std::array<uint32_t, 6>& key) {
  if (changes == 0) return;
  Log& log = change_log();
  std::lock_guard<std::mutex> held(log.lock);
  const uint64_t at = log.count.load(std::memory_order_relaxed);
  log.entries[at % kLogSize] = RecordChange{changes, key};
  log.count.store(at + 1, std::memory_order_release);
}

uint64_t changes_noted() { return change_log().count.load(std::memory_order_acquire); }

bool scan_changes(uint64_t* seen, void (*each)(const RecordChange&, void*), void* context) {
  Log& log = change_log();
  // Most reads find nothing new: no lock.
  if (log.count.load(std::memory_order_acquire) == *seen) return true;
  std::lock_guard<std::mutex> held(log.lock);
  const uint64_t from = *seen, to = log.count.load(std::memory_order_relaxed);
  *seen = to;
  if (to - from > kLogSize) return false;
  for (uint64_t i = from; i < to; ++i) each(log.entries[i % kLogSize], context);
  return true;
}

bool changed_since(uint64_t* seen, uint8_t changes, const std::array<uint32_t, 3>* on) {
  bool changed = false;
  const bool whole = changes_since(seen, [&](const RecordChange& c) {
    changed |= (c.changes & changes) != 0 &&
               (on == nullptr || (c.key[0] == (*on)[0] && c.key[1] == (*on)[1] && c.key[2] == (*on)[2]));
  });
  return changed || !whole;
}

}  // namespace tavo::command
