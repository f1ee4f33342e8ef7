#include "transport/kept_reads.h"

#include <string.h>

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
      if (k.id == id && same_place(k.at, at) && k.answer.length == length && k.request.size() == request.length &&
          (request.length == 0 || memcmp(k.request.data(), request.bytes, request.length) == 0))
        return k.answer;
    return {};
  }
  void keep(CommandId id, const KeptPlace& at, Asked request, const Answer& answer) {
    catch_up();
    if (!base::ReadScope::open()) return;
    kept_.push_back({id, at, {request.bytes, request.bytes + request.length}, answer});
  }
  // Nothing stays held between calls.
  void scope_ended() override { std::vector<Kept>().swap(kept_); }
  void release() override { scope_ended(); }

 private:
  struct Kept {
    CommandId id;
    KeptPlace at;
    std::vector<uint8_t> request;  // as asked_of gives it
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

void keep_answer(CommandId id, const KeptPlace& at, Asked request, const Answer& answer) {
  kept_answers().keep(id, at, request, answer);
}

}  // namespace tavo::command
