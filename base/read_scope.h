// What a request or a start-up reads of the firmware, kept while it runs.
//
// Many handlers of one call ask the firmware the same question (a
// controller's profile configuration, a session's record); inside a
// ReadScope each kind of record keeps what it fetched and answers from it,
// and everything kept goes when the outermost scope ends. A kind drops what
// it kept as soon as a command that changes it is sent (the command table's
// record changes, transport/record_changes.h), so a read after a change in
// one scope asks the firmware again. All under the library lock.
#pragma once

namespace tavo::base {

// While one is open on any level, every kind keeps what it read.
class ReadScope {
 public:
  ReadScope();
  ~ReadScope();
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;
  static bool open();
};

// What one kind keeps, so that the end of the outermost scope reaches every
// kind. A kind lives as long as the process (a function's static).
class ScopedKept {
 public:
  ScopedKept();
  virtual ~ScopedKept() = default;
  ScopedKept(const ScopedKept&) = delete;
  ScopedKept& operator=(const ScopedKept&) = delete;
  virtual void scope_ended() = 0;
  // Everything kept goes, with its room: the library stops.
  virtual void release() = 0;
};

// Every kind gives back what it kept (the last TAVO_exit).
void release_kept_reads();

}  // namespace tavo::base
