#include "transport/kept_reads.h"

#include <sanitizer/asan_interface.h>  // no-op macros when not sanitized
#include <string.h>

#include <algorithm>
#include <vector>

#include "base/no_destructor.h"
#include "base/read_scope.h"
#include "transport/record_changes.h"

namespace tavo::command {
namespace {

class KeptAnswers final : public base::ScopedKept {
 public:
  Answer answer(CommandId id, const KeptPlace& at, Asked request, size_t length) {
    catch_up();
    for (const Kept& k : kept_)
      if (k.id == id && same_place(k.at, at) && k.answer.length == length && k.request_length == request.length &&
          (request.length == 0 || memcmp(requests_.data() + k.request_at, request.bytes, request.length) == 0))
        return k.answer;
    return {};
  }
  void keep(CommandId id, const KeptPlace& at, Asked request, const Answer& answer) {
    catch_up();
    if (!base::ReadScope::open()) return;
    kept_.push_back({id, at, requests_.size(), request.length, answer});
    requests_.insert(requests_.end(), request.bytes, request.bytes + request.length);
  }
  // Room for an answer of length bytes: inside a scope carved from the
  // scope's blocks, so that what a request kept goes back in a few pieces
  // (start-up keeps a hundred answers) and not one per answer; each block
  // lives while an answer in it is held.
  std::shared_ptr<uint8_t[]> room(size_t length) {
    if (!base::ReadScope::open()) return std::make_shared_for_overwrite<uint8_t[]>(length);
    const size_t asked = length;
    length = ((length + 15) & ~size_t{15}) + kGap;
    if (block_ == nullptr || block_room_ - block_used_ < length) {
      block_room_ = std::max(length, std::min(kLargestBlock, block_ == nullptr ? kFirstBlock : 2 * block_room_));
      block_ = std::make_shared_for_overwrite<uint8_t[]>(block_room_);
      block_used_ = 0;
      ASAN_POISON_MEMORY_REGION(block_.get(), block_room_);
    }
    std::shared_ptr<uint8_t[]> at(block_, block_.get() + block_used_);
    ASAN_UNPOISON_MEMORY_REGION(at.get(), asked);
    block_used_ += length;
    return at;
  }
  // Nothing stays held between calls.
  void scope_ended() override {
    block_.reset();
    block_room_ = block_used_ = 0;
    std::vector<Kept>().swap(kept_);
    std::vector<uint8_t>().swap(requests_);
  }
  void release() override { scope_ended(); }

 private:
  static constexpr size_t kFirstBlock = 16 * 1024, kLargestBlock = 256 * 1024;
#if defined(__SANITIZE_ADDRESS__)
  // Left poisoned after each answer: a read past its end is caught as if
  // the answer had a block of its own.
  static constexpr size_t kGap = 16;
#else
  static constexpr size_t kGap = 0;
#endif
  struct Kept {
    CommandId id;
    KeptPlace at;
    size_t request_at;  // in requests_, as asked_of gives it
    size_t request_length;
    Answer answer;
  };
  static bool same_place(const KeptPlace& a, const KeptPlace& b) {
    return a.function_number == b.function_number && a.domain == b.domain && a.port_number == b.port_number &&
           a.transport == b.transport;
  }
  // Drops the answers of what the commands sent since changed; the rows
  // kept here are dropped whole by their changes (command_table.h).
  void catch_up() {
    if (kept_.empty() || changes_noted() == seen_) {
      seen_ = changes_noted();
      return;
    }
    uint8_t changed = 0;
    if (!changes_since(&seen_, [&](const RecordChange& c) { changed |= c.changes; })) changed = 0xFF;
    std::erase_if(kept_,
                  [&](const Kept& k) { return dropped(command_row(k.id).dropped_by, changed) != Dropped::Nothing; });
  }

  std::vector<Kept> kept_;  // a few per function
  std::vector<uint8_t> requests_;  // their requests, one after another
  std::shared_ptr<uint8_t[]> block_;  // the answers' room now carved
  size_t block_room_ = 0, block_used_ = 0;
  uint64_t seen_ = 0;
};

KeptAnswers& kept_answers() {
  static base::NoDestructor<KeptAnswers> kept;
  return *kept;
}

}  // namespace

Asked asked_of(const uint8_t* request, size_t length) {
  while (length > 0 && request[length - 1] == 0) --length;
  return {request, length};
}

Answer kept_answer(CommandId id, const KeptPlace& at, Asked request, size_t length) {
  return kept_answers().answer(id, at, request, length);
}

std::shared_ptr<uint8_t[]> answer_room(size_t length) { return kept_answers().room(length); }

void keep_answer(CommandId id, const KeptPlace& at, Asked request, const Answer& answer) {
  kept_answers().keep(id, at, request, answer);
}

}  // namespace tavo::command
