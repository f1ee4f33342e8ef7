// The log of the changes sent commands made, bounded: a reader that fell
// further behind than the log reaches drops everything it kept.
#include "transport/record_changes.h"

#include <mutex>

namespace tavo::command {
namespace {

constexpr uint64_t kLogSize = 64;

struct Log {
  std::mutex lock;
  uint64_t count = 0;  // changes noted since the process began
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
  log.entries[log.count % kLogSize] = RecordChange{changes, key};
  ++log.count;
}

bool changes_since(uint64_t* seen, const std::function<void(const RecordChange&)>& each) {
  Log& log = change_log();
  std::array<RecordChange, kLogSize> copied;
  uint64_t from = 0, to = 0;
  {
    std::lock_guard<std::mutex> held(log.lock);
    from = *seen;
    to = log.count;
    if (to - from > kLogSize) {
      *seen = to;
      return false;
    }
    copied = log.entries;
  }
  *seen = to;
  for (uint64_t i = from; i < to; ++i) each(copied[i % kLogSize]);
  return true;
}

}  // namespace tavo::command
