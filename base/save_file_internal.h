// What the crash-safe saves and the commits of several files share.
#pragma once

#include <errno.h>
#include <string.h>
#include <sys/types.h>

#include <span>
#include <string>
#include <string_view>

#include "base/debug_log.h"
#include "base/root_gate.h"
#include "base/save_file.h"

namespace tavo::files {

// The steps of one save: each runs unless one before failed; the first
// failure is kept with its errno.
class SaveSteps {
 public:
  // step answers 0, or -1 with errno set.
  template <typename Step>
  SaveSteps& run(const char* name, Step&& step) {
    if (failed_ == nullptr && step() != 0) {
      failed_ = name;
      err_ = errno;
    }
    return *this;
  }
  // The first step of a write: it goes on only when the gate between
  // processes allows it (the gate's refusal stays in the last status).
  SaveSteps& admit(bool allowed) {
    if (failed_ == nullptr && !allowed) {
      failed_ = "gate";
      err_ = EAGAIN;
      refused_ = true;
    }
    return *this;
  }
  bool ok() const { return failed_ == nullptr; }
  const char* failed() const { return failed_; }
  int error() const { return err_; }
  // 0, or 1 with the failure in the last status and a debug line.
  uint32_t report(const std::string& path) const {
    if (ok()) return 0;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s of %s failed: %s\n", "save_file", failed_, path.c_str(), strerror(err_));
    if (!refused_) kSaveFailed.set(path.c_str(), strerror(err_));
    return 1;
  }

 private:
  const char* failed_ = nullptr;
  int err_ = 0;
  bool refused_ = false;
};

// Held by every write of a file: other processes learn of the write before
// it begins (it raises the root's change count, base/root_gate.h), and
// saved_writes counts it when it goes. A write the gate does not allow
// must not begin.
class RootWrite {
 public:
  RootWrite() : allowed_(base::note_root_change()) {}
  ~RootWrite();
  RootWrite(const RootWrite&) = delete;
  RootWrite& operator=(const RootWrite&) = delete;
  bool allowed() const { return allowed_; }

 private:
  bool allowed_;
};

// The directory of a path, and its last name.
std::string save_directory(const std::string& host_path);
std::string save_base_name(const std::string& path);
// Writes content to a new temporary file beside target, flushed to disk,
// its name in *temporary; on failure the temporary is gone again.
void save_temporary(const std::string& target, std::span<const std::string_view> content, mode_t mode,
                    std::string* temporary, SaveSteps& steps);
// A save is done once its new content is in place under its name: the
// directory's flush is tried once more, and a failure only logged.
void save_flush_directory(const std::string& target);
// Whether name is that of a temporary of a save of the file named base
// ("<base>.tmp.<pid>.<n>").
bool temporary_name_of(std::string_view name, std::string_view base);
// Whether the file at target may be one a save of the library staged: a
// regular file of one link, reached without following a link. What else
// is there is told in a debug line.
bool staged_here(const std::string& target);

// The journal whose files hold path (a fixed host path), and its place
// among them; null for none.
const Journal* journal_of(const std::string& path, size_t* file);
// Which files of the journal this thread holds the locks of, one bit each
// (SaveLock keeps it), and whether its commit record was looked for and
// missing since the first of them was taken: no other commit can write one
// while a file's lock is held (a commit holds them all), so one look stands
// for the whole hold.
struct HeldFiles {
  uint64_t files = 0;
  bool no_record = false;
};
HeldFiles& held_files(const Journal* journal);

}  // namespace tavo::files
