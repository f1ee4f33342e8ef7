// Which firmware records a command changes, as its row of the command
// table declares them, and the log of those changes that the kept reads of
// a request or a start-up (base/read_scope.h) catch up with before they
// answer.
#pragma once

#include <stdint.h>

#include <array>
#include <memory>
#include <type_traits>

namespace tavo::command {

// A row's changes, any of:
enum RecordChanges : uint8_t {
  // every session's record (14/6) and configuration (16/6), on every function
  kSessions = 1,
  // the configuration (16/6) of the session whose handle is the request's
  // first word, on the function, domain and port it is sent to
  kSessionConfig = 2,
  // the initiator's name block (6/6) of the function, domain and port
  kInitiatorName = 4,
  // the controller's profile configuration (164/1) and its profile ids
  // (167/1): every configuration type and profile, on every function
  kProfileConfig = 8,
  // a port's settings and its PHY's details (102/1), on every function
  kPorts = 16,
  // the iSCSI function's TCP/IP interfaces and their addresses (24/2, 25/2)
  kInterfaces = 32,
  // the iSCSI function's discovery parameters (28/2)
  kDiscovery = 64,
};
// The changes other processes follow (their saved targets and sessions);
// what a process keeps of the others lasts one of its calls only, under
// the root's gate.
inline constexpr uint8_t kFollowedChanges = kSessions | kSessionConfig | kInitiatorName;
// The changes that name one record by their key; the others reach every
// record of their kind.
inline constexpr uint8_t kKeyedChanges = kSessionConfig | kInitiatorName;

// What a change drops of what was kept of a read dropped by dropped_by
// (its row in the command table): nothing, the record of the change's key,
// or everything.
enum class Dropped : uint8_t { Nothing, Keyed, All };
constexpr Dropped dropped(uint8_t dropped_by, uint8_t changes) {
  const uint8_t hit = dropped_by & changes;
  if ((hit & ~kKeyedChanges) != 0) return Dropped::All;
  return hit != 0 ? Dropped::Keyed : Dropped::Nothing;
}

// One sent command's changes: its row's bits and the key of what it
// changed ({function, domain, port, session handle or 0, 0, 0}).
struct RecordChange {
  uint8_t changes;
  std::array<uint32_t, 6> key;
};

// Notes a command sent (whatever its answer: the firmware may have taken
// it). The one place is command_send.
void note_changes(uint8_t changes, const std::array<uint32_t, 6>& key);
// How many changes were noted since the process began.
uint64_t changes_noted();
// Calls each(change, context) for each change noted after *seen, in order,
// and moves *seen to the last one. false when changes after *seen are no
// longer in the log (the caller then drops everything it kept). Read in
// place under the log's lock, nothing copied: each notes no change.
bool scan_changes(uint64_t* seen, void (*each)(const RecordChange&, void*), void* context);
// The same for a callable: each(change).
template <typename Each>
bool changes_since(uint64_t* seen, Each&& each) {
  using Callable = std::remove_reference_t<Each>;
  static_assert(!std::is_const_v<Callable>);
  return scan_changes(
      seen, [](const RecordChange& c, void* f) { (*static_cast<Callable*>(f))(c); }, std::addressof(each));
}
// Whether a change of any of the kinds in changes was noted after *seen
// (true too when those changes are no longer in the log); moves *seen to
// the last one. on, when given, counts only changes keyed to that
// function, domain and port.
bool changed_since(uint64_t* seen, uint8_t changes, const std::array<uint32_t, 3>* on = nullptr);

// What one keeper of a read's answers follows of the log: the changes its
// row in the command table says drop them.
class DropFollower {
 public:
  explicit DropFollower(uint8_t dropped_by) : dropped_by_(dropped_by) {}
  // For each change sent since the last catch-up that drops something,
  // keyed(the change's key) or all(); all() too when the log no longer
  // reaches back that far. A keeper holding nothing has nothing to drop:
  // it only moves past them.
  template <typename All, typename Keyed>
  void catch_up(bool holding, All&& all, Keyed&& keyed) {
    if (dropped_by_ == 0 || changes_noted() == seen_) return;
    if (!holding) {
      seen_ = changes_noted();
      return;
    }
    const bool whole = changes_since(&seen_, [&](const RecordChange& c) {
      const Dropped d = dropped(dropped_by_, c.changes);
      if (d == Dropped::All) all();
      if (d == Dropped::Keyed) keyed(c.key);
    });
    if (!whole) all();
  }

 private:
  uint8_t dropped_by_;
  uint64_t seen_ = 0;
};

}  // namespace tavo::command
