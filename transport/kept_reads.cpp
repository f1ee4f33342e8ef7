#include "transport/kept_reads.h"

#include <string.h>

#include <vector>

#include "base/no_destructor.h"
#include "base/read_scope.h"
#include "transport/record_changes.h"

namespace tavo::command {
namespace {

// Each read's rules hold at build time: a read, answered in its own bytes.
constexpr bool kept_reads_are_sound() {
  for (const KeptRead& k : kKeptReads) {
    const CommandRow& r = command_row(k.id);
    if (k.dropped_by == 0 || (r.direction != Direction::Read && r.direction != Direction::ReadWrite) ||
        (r.form != Form::Fixed && r.form != Form::CallerLength) || r.changes != 0)
      return false;
  }
  return true;
}
static_assert(kept_reads_are_sound());

class KeptAnswers final : public base::ScopedKept {
 public:
  bool answer(CommandId id, const KeptPlace& at, void* payload, size_t length) {
    catch_up();
    for (const Answer& a : answers_)
      if (a.id == id && same_place(a.at, at) && a.request.size() == length &&
          memcmp(a.request.data(), payload, length) == 0) {
        memcpy(payload, a.answer.data(), length);
        return true;
      }
    return false;
  }
  void keep(CommandId id, const KeptPlace& at, const uint8_t* request, const void* payload, size_t length) {
    catch_up();
    if (!base::ReadScope::open()) return;
    const auto* bytes = static_cast<const uint8_t*>(payload);
    answers_.push_back({id, at, kept_until(id), {request, request + length}, {bytes, bytes + length}});
  }
  // Nothing stays held between calls.
  void scope_ended() override { std::vector<Answer>().swap(answers_); }
  void release() override { scope_ended(); }

 private:
  struct Answer {
    CommandId id;
    KeptPlace at;
    uint8_t dropped_by;
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer;
  };
  static bool same_place(const KeptPlace& a, const KeptPlace& b) {
    return a.function_number == b.function_number && a.domain == b.domain && a.port_number == b.port_number &&
           a.transport == b.transport;
  }
  // Drops the answers of what the commands sent since changed.
  void catch_up() {
    if (answers_.empty() || changes_noted() == seen_) {
      seen_ = changes_noted();
      return;
    }
    uint8_t changed = 0;
    if (!changes_since(&seen_, [&](const RecordChange& c) { changed |= c.changes; })) changed = 0xFF;
    std::erase_if(answers_, [&](const Answer& a) { return (a.dropped_by & changed) != 0; });
  }

  std::vector<Answer> answers_;  // a few per function
  uint64_t seen_ = 0;
};

KeptAnswers& kept_answers() {
  static base::NoDestructor<KeptAnswers> kept;
  return *kept;
}

}  // namespace

bool kept_answer(CommandId id, const KeptPlace& at, void* payload, size_t length) {
  return kept_answers().answer(id, at, payload, length);
}

void keep_answer(CommandId id, const KeptPlace& at, const uint8_t* request, const void* payload, size_t length) {
  kept_answers().keep(id, at, request, payload, length);
}

}  // namespace tavo::command
