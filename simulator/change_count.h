// A count of the changes made to a file that processes share, kept in a
// word of a small file every one of them maps: a process that finds the
// word as it last left it knows the file unchanged without a system call.
// Writers change the file under its lock and make the word odd before the
// change and even, one higher, after it: a writer killed half way leaves it
// odd, and every look then goes to the file itself until the next writer
// is done. Where the word cannot be mapped, every look goes to the file.
#pragma once

#include <stdint.h>

#include <atomic>
#include <type_traits>

namespace tavo::sim {

class ChangeCount {
 public:
  ChangeCount() = default;
  ~ChangeCount();
  ChangeCount(const ChangeCount&) = delete;
  ChangeCount& operator=(const ChangeCount&) = delete;

  // Maps the word from the file of that name in the folder dir (made when
  // missing); false when it cannot be mapped: a link there is not
  // followed, nor is a file of other names written. On a folder that
  // cannot be written the file there is mapped to read: the changes are
  // not counted then. Once mapped it stays.
  bool map(int dir, const char* name);
  bool mapped() const { return word_ != nullptr; }

  // Whether the file may have changed since the last look that read it
  // (always, unmapped). The word as read now is kept for seen().
  bool moved();
  // The file was read after moved(): what the word said then was seen.
  void seen();
  // The next moved() is true, whatever the word says.
  void forget() { seen_ = kUnseen; }

  // Around a change of the file, under its lock (no-ops unmapped or
  // mapped to read).
  void begin_change();
  void end_change();

 private:
  // 64 bits where they are lock-free (so the word serves every process
  // whatever its build), else 32: it would take 2^31 changes between two
  // looks of one process to come round to what it saw.
  using Word = std::conditional_t<std::atomic_ref<uint64_t>::is_always_lock_free, uint64_t, uint32_t>;
  static_assert(std::atomic_ref<Word>::is_always_lock_free, "the word is shared between processes");
  static constexpr Word kUnseen = 1;  // odd: never what a look finds settled

  Word* word_ = nullptr;
  bool writable_ = false;
  Word read_ = kUnseen;   // at the last moved()
  Word seen_ = kUnseen;   // what the file this process holds goes with
  Word before_ = kUnseen; // at begin_change
};

}  // namespace tavo::sim
