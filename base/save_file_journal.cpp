// A journal of several saved files: its commit record, written by a
// ReplaceTogether, and completed by whoever takes a lock of the files
// first.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <atomic>
#include <bit>
#include <memory>
#include <vector>

#include "base/save_file.h"
#include "base/save_file_internal.h"
#include "platform/host.h"
#include "platform/path_text.h"

namespace tavo::files {
namespace {

// The journals alive, looked up by every SaveLock: a few slots read
// without a lock (journals are made and gone when the library loads and
// unloads).
std::atomic<const Journal*> journals[4];

// What a commit record tells: the renames it names (temporary, file, under
// the root), whether it ends with its count (whole), and whether it names
// only temporaries of the files in paths.
struct RecordText {
  std::vector<std::pair<std::string, std::string>> moves;
  bool whole = false, named_ok = true;
  // Whether it was committed: whole, and naming only what it may.
  bool committed() const { return whole && named_ok; }
  // The temporary it renames over the file named base; null for none.
  const std::string* staged_for(const std::string& base) const {
    for (const auto& [temporary, file] : moves)
      if (save_base_name(file) == base) return &temporary;
    return nullptr;
  }
};

RecordText read_record(const std::string& text, const std::string& directory, const std::vector<std::string>& paths) {
  RecordText told;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (line == "commit " + std::to_string(told.moves.size())) {
      told.whole = end + 1 == text.size();
      break;
    }
    const size_t space = line.find(' ');
    const std::string temporary = line.substr(0, space),
                      file = space == std::string::npos ? "" : line.substr(space + 1);
    bool known = false;
    for (const std::string& p : paths) known |= file == save_base_name(p);
    // Only a temporary of a file the caller named is ever touched.
    if (!known || !temporary_name_of(temporary, file)) {
      told.named_ok = false;
      continue;
    }
    told.moves.emplace_back(directory + "/" + temporary, directory + "/" + file);
  }
  return told;
}

// Whether the errno of a record's failed read says that what stands at its
// name is none of the library's: what no save writes there (foreign_file),
// or a file the process may not open (another user's). It tells of
// nothing, stays where it is, and no commit writes over it.
bool foreign_record(int err) { return foreign_file(err) || err == EACCES || err == EPERM; }

// The record at at (under the root), read and told: 0, or -1 with errno.
int told_by(const std::string& at, const std::vector<std::string>& paths, RecordText* told) {
  std::string text;
  FileIdentity id;
  if (read_saved_fixed(at, 0, &text, &id, kMostRecordBytes) != 0) return -1;
  *told = read_record(text, save_directory(at), paths);
  return 0;
}

}  // namespace

const Journal* journal_of(const std::string& path, size_t* file) {
  // The text as the journals give it, else with its dots resolved.
  for (const bool resolved : {false, true}) {
    if (resolved && platform::dots_resolved(path)) break;
    const std::string p = resolved ? platform::resolve_dots(path) : std::string();
    for (const auto& slot : journals) {
      const Journal* journal = slot.load(std::memory_order_acquire);
      if (journal == nullptr) continue;
      for (size_t i = 0; i < journal->files().size(); ++i)
        if (journal->files()[i] == (resolved ? p : path)) {
          *file = i;
          return journal;
        }
    }
  }
  return nullptr;
}

HeldFiles& held_files(const Journal* journal) {
  thread_local std::vector<std::pair<const Journal*, HeldFiles>> held;
  for (auto& [j, files] : held)
    if (j == journal) return files;
  return held.emplace_back(journal, HeldFiles{}).second;
}

// Every file's lock a thread does not hold yet, taken in order for as long
// as this lives: waiting for those after every lock the thread holds, and
// only when free for one before (waiting there could close a circle).
class Journal::Locks {
 public:
  explicit Locks(const Journal& journal, size_t keep = SIZE_MAX, SaveLock* into = nullptr) {
    const uint64_t held = held_files(&journal).files;
    const int top = held == 0 ? -1 : 63 - std::countl_zero(held);
    for (size_t f = 0; f < journal.files().size(); ++f) {
      if (((held >> f) & 1) != 0) continue;
      const bool wait = static_cast<int>(f) > top;
      if (into != nullptr && f == keep) {
        into->journal_ = &journal;
        into->file_ = f;
        if (into->take(platform::fixed_path(journal.files()[f]), wait) != nullptr) err_ = errno;
        continue;
      }
      taken_.push_back(std::unique_ptr<SaveLock>(new SaveLock(journal, f, wait)));
      if (!taken_.back()->held()) err_ = errno;
    }
  }
  // 0 once every lock is held, else -1 with the errno of one not taken.
  int error() const {
    errno = err_;
    return err_ == 0 ? 0 : -1;
  }

 private:
  std::vector<std::unique_ptr<SaveLock>> taken_;
  int err_ = 0;
};

Journal::Journal(std::string record, std::vector<std::string> files)
    : record_(std::move(record)), files_(std::move(files)) {
  for (auto& slot : journals) {
    const Journal* none = nullptr;
    if (slot.compare_exchange_strong(none, this)) return;
  }
  abort();  // more journals than slots: a fault of the library's own
}

Journal::~Journal() {
  for (auto& slot : journals) {
    const Journal* self = this;
    slot.compare_exchange_strong(self, nullptr);
  }
}

const std::string& Journal::record_at() const {
  // Kept per thread with the root it was worked out under: the record is
  // looked for at every lock of the files.
  thread_local struct {
    const Journal* journal = nullptr;
    std::string root, at;
  } last;
  const platform::Host& host = platform::host();
  if (last.journal == this && host.root_is(last.root)) return last.at;
  std::string root = host.root(), at = platform::fixed_path(record_);
  last = {host.root_is(root) ? this : nullptr, std::move(root), std::move(at)};
  return last.at;
}

bool Journal::pending(size_t file) const {
  HeldFiles& held = held_files(this);
  if (held.files != 0 && held.no_record) return false;
  platform::Host& host = platform::host();
  const std::string& at = record_at();
  struct stat st;
  // The one look most locks make: no record.
  if (host.stat(at, &st) != 0) {
    if (errno != ENOENT) return false;
    held.no_record = held.files != 0;
    return false;
  }
  if (S_ISDIR(st.st_mode)) return false;
  RecordText told;
  // What the library did not write there tells of nothing.
  if (told_by(at, files_, &told) != 0) return errno != ENOENT && !foreign_record(errno);
  return !told.committed() || told.staged_for(save_base_name(files_[file])) != nullptr;
}

std::string Journal::read_through(size_t file) const {
  const std::string& at = record_at();
  RecordText told;
  // What settle would drop, or leave alone, changes no file.
  const std::string* temporary =
      told_by(at, files_, &told) == 0 && told.committed() ? told.staged_for(save_base_name(files_[file])) : nullptr;
  // Only what a save staged is renamed in (one renamed already is missing).
  return temporary != nullptr && staged_here(*temporary) ? *temporary : platform::fixed_path(files_[file]);
}

int Journal::settle() const { return settle(SIZE_MAX, nullptr); }

int Journal::settle(size_t keep, SaveLock* into) const {
  const Locks locks(*this, keep, into);
  if (locks.error() != 0) return -1;
  return complete_replacements(record_, files_);
}

ReplaceTogether::~ReplaceTogether() {
  if (committed_) return;
  for (const auto& [temporary, target] : moves_) platform::host().unlink(temporary);
}

uint32_t ReplaceTogether::stage(const std::string& path, std::string_view content, mode_t mode) {
  return stage(path, std::span<const std::string_view>(&content, 1), mode);
}

uint32_t ReplaceTogether::stage(const std::string& path, std::span<const std::string_view> content, mode_t mode) {
  if (failed_) return 1;
  const std::string target = platform::fixed_path(path);
  SaveSteps steps;
  std::string temporary;
  // Only a file of the journal, beside its record: one directory flush
  // makes the renames stand.
  steps.run("stage", [&] {
    size_t file = 0;
    errno = EXDEV;
    return journal_of(path, &file) == &journal_ &&
                   save_directory(target) == save_directory(platform::fixed_path(journal_.record()))
               ? 0
               : -1;
  });
  if (steps.ok()) save_temporary(target, content, mode, &temporary, steps);
  if (!steps.ok()) {
    failed_ = true;
    return steps.report(path);
  }
  paths_.push_back(path);
  moves_.emplace_back(temporary, target);
  return 0;
}

uint32_t ReplaceTogether::commit() {
  if (failed_) return 1;
  if (moves_.empty()) return 0;
  const RootWrite write;
  platform::Host& host = platform::host();
  std::string text;
  for (const auto& [temporary, target] : moves_)
    text += save_base_name(temporary) + " " + save_base_name(target) + "\n";
  text += "commit " + std::to_string(moves_.size()) + "\n";
  const std::string& at = journal_.record();
  const std::string record = platform::fixed_path(at);
  // This thread's record may stand from here on.
  held_files(&journal_).no_record = false;
  // Every file's lock while the record may stand: no other commit writes
  // one meanwhile, and one left pending is completed first, never written
  // over.
  const Journal::Locks locks(journal_);
  SaveSteps steps;
  std::string temporary;
  const std::string_view record_text = text;
  steps.admit(write.allowed()).run("lock", [&] { return locks.error(); }).run("commit record", [&] {
    struct stat st;
    if (!(host.stat(record, &st) != 0 && errno == ENOENT) && complete_replacements(at, journal_.files()) != 0)
      return -1;
    // A file the library did not write at the record's name is never
    // written over: the change waits until it is gone.
    RecordText old;
    if (told_by(record, journal_.files(), &old) != 0 && foreign_record(errno)) {
      errno = EEXIST;
      return -1;
    }
    return 0;
  });
  if (steps.ok())
    save_temporary(record, std::span<const std::string_view>(&record_text, 1), 0600, &temporary, steps);
  if (steps.ok() && !steps.run("rename", [&] { return host.rename(temporary, record); }).ok()) host.unlink(temporary);
  if (!steps.ok()) {
    failed_ = true;
    return steps.report(paths_.front());
  }
  committed_ = true;
  for (const auto& [from, to] : moves_)
    if (host.rename(from, to) != 0) pending_ = true;
  save_flush_directory(record);
  if (!pending_ && host.unlink(record) != 0 && errno != ENOENT) pending_ = true;
  // A rename that failed is tried again at once: it is made now or by
  // whoever takes a lock of the files next.
  if (pending_) pending_ = complete_replacements(at, journal_.files()) != 0;
  return 0;
}

int complete_replacements(const std::string& record, const std::vector<std::string>& paths) {
  const RootWrite write;
  if (!write.allowed()) {
    errno = EAGAIN;
    return -1;
  }
  platform::Host& host = platform::host();
  const std::string at = platform::fixed_path(record);
  // A record never renamed in: its commit did not happen.
  remove_leftover_temporaries(record);
  RecordText told;
  if (told_by(at, paths, &told) != 0) {
    if (errno == ENOENT) return 0;
    if (!foreign_record(errno)) return -1;
    // It tells of nothing, and stays where it is.
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s is no commit record: left alone\n", "save_file", at.c_str());
    return 0;
  }
  if (!told.committed()) {
    for (const auto& [temporary, file] : told.moves)
      if (staged_here(temporary)) host.unlink(temporary);
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s is incomplete: the change it began was not made\n", "save_file", at.c_str());
    return host.unlink(at) == 0 || errno == ENOENT ? 0 : -1;
  }
  int failed = 0, err = 0;
  // Only what a save staged is renamed in (a temporary already renamed is
  // missing).
  for (const auto& [temporary, file] : told.moves)
    if (staged_here(temporary) && host.rename(temporary, file) != 0 && errno != ENOENT) {
      failed = -1;
      err = errno;
    }
  save_flush_directory(at);
  if (failed == 0 && host.unlink(at) != 0 && errno != ENOENT) {
    failed = -1;
    err = errno;
  }
  pdebug(TAVO_LOG_BACKEND, failed == 0 ? 5 : 2, "%s: the change %s tells of %s\n", "save_file", at.c_str(),
         failed == 0 ? "completed" : "is still to complete");
  errno = err;
  return failed;
}


}  // namespace tavo::files
