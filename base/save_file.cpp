// Crash-safe saves: whole-file replacement by rename, and appends of whole
// lines under the file's lock.
#include "base/save_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <vector>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/locks.h"
#include "base/status_registry.h"

namespace tavo::files {
namespace {

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
  bool ok() const { return failed_ == nullptr; }
  const char* failed() const { return failed_; }
  int error() const { return err_; }
  // 0, or 1 with the failure in the last status and a debug line.
  uint32_t report(const std::string& path) const {
    if (ok()) return 0;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s of %s failed: %s\n", "save_file", failed_, path.c_str(), strerror(err_));
    kSaveFailed.set(path.c_str(), strerror(err_));
    return 1;
  }

 private:
  const char* failed_ = nullptr;
  int err_ = 0;
};

std::string save_directory(const std::string& host_path) {
  const size_t slash = host_path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host_path.substr(0, slash);
}

// A name beside the file that no other writer (process or thread) uses.
std::string save_temporary_name(const std::string& host_path) {
  static std::atomic<unsigned> sequence{0};
  return host_path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(sequence++);
}

}  // namespace

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = platform::host().write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return -1;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

namespace {

// Writes content to a new temporary file beside target, flushed to disk,
// its name in *temporary; on failure the temporary is gone again.
void save_temporary(const std::string& target, std::span<const std::string_view> content, mode_t mode,
                    std::string* temporary, SaveSteps& steps) {
  platform::Host& host = platform::host();
  *temporary = save_temporary_name(target);
  // Created exclusively: a name planted there (a link) is never followed.
  const int fd = host.open(*temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (!steps.run("create", [&] { return fd < 0 ? -1 : 0; }).ok()) return;
  steps.run("chmod", [&] { return host.chmod(*temporary, mode); })  // the umask must not change it
      .run("write", [&] {
        for (const std::string_view stretch : content)
          if (write_all(fd, stretch) != 0) return -1;
        return 0;
      })
      .run("fsync", [&] { return host.fsync(fd); });
  const int closed = host.close(fd);
  steps.run("close", [&] { return closed; });
  if (!steps.ok()) host.unlink(*temporary);
}

// A save is done once its new content is in place under its name: the
// directory's flush is tried once more, and a failure only logged.
void save_flush_directory(const std::string& target) {
  platform::Host& host = platform::host();
  const std::string directory = save_directory(target);
  if (host.fsync_dir(directory) == 0 || host.fsync_dir(directory) == 0) return;
  pdebug(TAVO_LOG_BACKEND, 2, "%s: flushing %s after saving %s failed: %s; the save stands\n", "save_file",
         directory.c_str(), target.c_str(), strerror(errno));
}

std::string save_base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

namespace {

// Whether name is that of a temporary of a save of the file named base
// ("<base>.tmp.<pid>.<n>").
bool temporary_name_of(std::string_view name, std::string_view base) {
  if (!name.starts_with(base) || !name.substr(base.size()).starts_with(".tmp.")) return false;
  const std::string_view rest = name.substr(base.size() + 5);
  const size_t dot = rest.find('.');
  const auto digits = [](std::string_view t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dot != std::string_view::npos && digits(rest.substr(0, dot)) && digits(rest.substr(dot + 1));
}

// Whether the file at target may be one a save of the library staged: a
// regular file of one link, reached without following a link. What else
// is there is told in a debug line.
bool staged_here(const std::string& target) {
  struct stat st{};
  const int fd = open_regular(target, &st);
  if (fd >= 0) platform::host().close(fd);
  if (fd >= 0 && st.st_nlink == 1) return true;
  if (fd >= 0 || errno != ENOENT)
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s was not staged by the library: left alone\n", "save_file", target.c_str());
  return false;
}

// A read of path that failed: one that found something the library never
// wrote there says so in a debug line. -1, errno kept.
int read_refused(const std::string& path, off_t most) {
  const int err = errno;
  if (foreign_file(err))
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s is no regular file of at most %lld bytes: not read\n", "save_file",
           path.c_str(), static_cast<long long>(most));
  errno = err;
  return -1;
}

}  // namespace

uint32_t replace_file(const std::string& path, std::string_view content, mode_t mode) {
  return replace_file(path, std::span<const std::string_view>(&content, 1), mode);
}

uint32_t replace_file(const std::string& path, std::span<const std::string_view> content, mode_t mode) {
  const std::string target = platform::fixed_path(path);
  SaveSteps steps;
  std::string temporary;
  save_temporary(target, content, mode, &temporary, steps);
  if (!steps.ok()) return steps.report(path);
  if (!steps.run("rename", [&] { return platform::host().rename(temporary, target); }).ok()) {
    platform::host().unlink(temporary);
    return steps.report(path);
  }
  save_flush_directory(target);
  return 0;
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
  // Every file beside the record: one directory flush makes the renames stand.
  steps.run("stage", [&] {
    errno = EXDEV;
    return save_directory(target) == save_directory(platform::fixed_path(record_)) ? 0 : -1;
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
  platform::Host& host = platform::host();
  std::string text;
  for (const auto& [temporary, target] : moves_)
    text += save_base_name(temporary) + " " + save_base_name(target) + "\n";
  text += "commit " + std::to_string(moves_.size()) + "\n";
  const std::string record = platform::fixed_path(record_);
  SaveSteps steps;
  std::string temporary;
  const std::string_view record_text = text;
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
  // whoever finds the record.
  if (pending_) pending_ = complete_replacements(record_, paths_) != 0;
  return 0;
}

int complete_replacements(const std::string& record, const std::vector<std::string>& paths) {
  platform::Host& host = platform::host();
  const std::string at = platform::fixed_path(record);
  const std::string directory = save_directory(at);
  // A record never renamed in: its commit did not happen.
  remove_leftover_temporaries(record);
  std::string text;
  FileIdentity id;
  if (read_saved(record, 0, &text, &id, kMostRecordBytes) != 0) {
    if (errno == ENOENT) return 0;
    if (!foreign_file(errno)) return -1;
    // What stands at the record's name was not written by the library: it
    // tells of nothing, and goes (a directory cannot, and stays).
    if (errno == EISDIR) return 0;
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s is no commit record: dropped\n", "save_file", at.c_str());
    return host.unlink(at) == 0 || errno == ENOENT ? 0 : -1;
  }
  std::vector<std::pair<std::string, std::string>> moves;  // temporary, file
  bool whole = false, named_ok = true;
  size_t start = 0;
  for (size_t end; !whole && (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (line == "commit " + std::to_string(moves.size())) {
      whole = end + 1 == text.size();
      break;
    }
    const size_t space = line.find(' ');
    const std::string temporary = line.substr(0, space), file = space == std::string::npos ? "" : line.substr(space + 1);
    bool known = false;
    for (const std::string& p : paths) known |= file == save_base_name(platform::fixed_path(p));
    // Only a temporary of a file the caller named is ever touched.
    if (!known || !temporary_name_of(temporary, file)) {
      named_ok = false;
      continue;
    }
    moves.emplace_back(directory + "/" + temporary, directory + "/" + file);
  }
  if (!whole || !named_ok) {
    for (const auto& [temporary, file] : moves)
      if (staged_here(temporary)) host.unlink(temporary);
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s is incomplete: the change it began was not made\n", "save_file", at.c_str());
    return host.unlink(at) == 0 || errno == ENOENT ? 0 : -1;
  }
  int failed = 0, err = 0;
  // Only what a save staged is renamed in (a temporary already renamed is
  // missing).
  for (const auto& [temporary, file] : moves)
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

namespace {

FileIdentity identity_of(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = st.st_mtim;
  id.changed = st.st_ctim;
  return id;
}

// identify with the path under the root already.
FileIdentity identify_target(const std::string& target) {
  struct stat st;
  if (platform::host().stat(target, &st) == 0) return identity_of(st);
  FileIdentity id;
  // Only a missing file reads as none: any other failure is no answer.
  if (errno != ENOENT) id.error = errno != 0 ? errno : EIO;
  return id;
}

// One append under the file's lock, flushed to disk; with whole_lines a
// file whose last line lacks its line feed gets one first. What a failed
// write left goes again, so the file ends as it did. *after (when given)
// takes the file's identity once the bytes are in; a file still at
// ends_lines (when given) is known to end its last line.
void save_append(const std::string& target, std::string_view bytes, mode_t mode, bool whole_lines,
                 SaveSteps& steps, FileIdentity* after, const FileIdentity* ends_lines) {
  platform::Host& host = platform::host();
  // Read as well: the last byte tells whether the file ends its last line.
  // A link planted at the path is not followed: the append fails.
  const int fd = host.open(target, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, mode);
  if (!steps.run("open", [&] { return fd < 0 ? -1 : 0; }).ok()) return;
  off_t end = -1;
  char last = '\n';
  // Told by the descriptor under the lock: its size (the append's end) and
  // mode. An empty file is taken as new (saved files are never empty): it
  // is given its mode and its directory flushed, as is one the descriptor
  // cannot tell of, whose end is then sought.
  struct stat st{};
  bool known = false;
  steps.run("lock", [&] { return lock_whole_file(fd, F_SETLKW, F_WRLCK); })
      .run("seek", [&] {
        known = host.fstat(fd, &st) == 0;
        return (end = known ? st.st_size : host.seek(fd, 0, SEEK_END)) < 0 ? -1 : 0;
      });
  const bool created = !known || st.st_size == 0;
  const bool rechmod = created || (st.st_mode & 07777) != mode;
  steps.run("read", [&] {
        if (!whole_lines || end == 0 || (known && ends_lines != nullptr && identity_of(st) == *ends_lines)) return 0;
        return host.read_at(fd, &last, 1, end - 1) != 1 ? -1 : 0;
      })
      .run("write", [&] {
        if (last == '\n') return write_all(fd, bytes);
        std::string own_line(1, '\n');
        own_line.append(bytes.data(), bytes.size());
        return write_all(fd, own_line);
      })
      .run("fsync", [&] { return host.fsync(fd); })
      .run("chmod", [&] { return rechmod ? host.chmod(target, mode) : 0; });
  // The lock goes with the descriptor; once the bytes are on disk a failed
  // close loses nothing.
  if (!steps.ok() && end >= 0) host.truncate(fd, end);
  if (steps.ok() && created) save_flush_directory(target);
  // The identity of the file written, from its descriptor: the path may
  // name another file once the lock is gone.
  const bool identified = after != nullptr && steps.ok() && host.fstat(fd, &st) == 0;
  if (identified) *after = identity_of(st);
  host.close(fd);
  if (after != nullptr && steps.ok() && !identified) *after = identify_target(target);
}

}  // namespace

uint32_t append_lines(const std::string& path, std::string_view lines, mode_t mode) {
  return append_lines(path, lines, mode, nullptr);
}

uint32_t append_lines(const std::string& path, std::string_view lines, mode_t mode, FileIdentity* after,
                      const FileIdentity* ends_lines) {
  SaveSteps steps;
  save_append(platform::fixed_path(path), lines, mode, true, steps, after, ends_lines);
  return steps.report(path);
}

int append_bytes(const std::string& path, std::string_view bytes, mode_t mode, bool* opened) {
  SaveSteps steps;
  save_append(platform::fixed_path(path), bytes, mode, false, steps, nullptr, nullptr);
  if (opened != nullptr) *opened = steps.failed() == nullptr || strcmp(steps.failed(), "open") != 0;
  if (steps.ok()) return 0;
  errno = steps.error();
  return -1;
}

namespace {

std::mutex& save_local_mutex(const std::string& target) {
  static std::mutex guard;
  static std::map<std::string, std::mutex> mutexes;  // never erased: references stay valid
  std::lock_guard<std::mutex> g(guard);
  return mutexes[target];
}

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

SaveLock::SaveLock(const std::string& path) : SaveLock(path, platform::fixed_path(path)) {}

SaveLock::SaveLock(const std::string& path, const std::string& target) : local_(save_local_mutex(target)) {
  platform::Host& host = platform::host();
  const std::string lock_path = target + ".lock";
  SaveSteps steps;
  // A link planted there is not followed: the save fails instead.
  const int fd = host.open(lock_path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  steps.run("lock open", [&] { return fd < 0 ? -1 : 0; })
      .run("lock", [&] { return lock_whole_file(fd, F_SETLKW, F_WRLCK); });
  if (steps.ok()) {
    fd_ = fd;
    return;
  }
  if (fd >= 0) host.close(fd);
  steps.report(path);
  local_.unlock();
}

SaveLock::~SaveLock() {
  // The close releases the process's locks on the file: an unlock first
  // would only be one more call.
  if (fd_ >= 0) platform::host().close(fd_);
}

void remove_leftover_temporaries(const std::string& path) {
  platform::Host& host = platform::host();
  const std::string target = platform::fixed_path(path);
  const std::string directory = save_directory(target);
  const std::string base = save_base_name(target);
  std::vector<std::string> names;
  if (host.list_directory(directory, &names) != 0) return;
  for (const std::string& name : names) {
    if (!temporary_name_of(name, base) || !staged_here(directory + "/" + name)) continue;
    if (host.unlink(directory + "/" + name) == 0)
      pdebug(TAVO_LOG_BACKEND, 5, "%s: %s left by a save that did not finish removed\n", "save_file", name.c_str());
  }
}

bool FileIdentity::operator==(const FileIdentity& o) const {
  return device == o.device && inode == o.inode && size == o.size && error == o.error &&
         same_time(modified, o.modified) &&
         same_time(changed, o.changed);
}

FileIdentity identify(const std::string& path) { return identify_target(platform::fixed_path(path)); }

int open_regular(const std::string& target, struct stat* st) {
  platform::Host& host = platform::host();
  // Never through a link, and never waiting for the writer of a FIFO.
  const int fd = host.open(target, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return -1;
  int err = 0;
  if (host.fstat(fd, st) != 0)
    err = errno;
  else if (S_ISREG(st->st_mode))
    return fd;
  else
    err = S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
  host.close(fd);
  errno = err;
  return -1;
}

bool foreign_file(int err) { return err == ELOOP || err == EISDIR || err == EINVAL || err == EFBIG; }

int read_saved(const std::string& path, off_t offset, std::string* out, FileIdentity* id, off_t most) {
  platform::Host& host = platform::host();
  const std::string target = platform::fixed_path(path);
  for (int attempt = 0; attempt < 16; ++attempt) {
    *id = FileIdentity{};
    struct stat st{};
    const int fd = open_regular(target, &st);
    if (fd < 0) {
      if (errno != ENOENT) id->error = errno;
      return read_refused(path, most);
    }
    const FileIdentity before = identity_of(st);
    *id = before;
    out->clear();
    errno = EFBIG;
    bool failed = st.st_size > most || offset > most || host.seek(fd, offset, SEEK_SET) < 0;
    char buf[16384];
    for (ssize_t n; !failed && (n = host.read(fd, buf, sizeof buf)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed = true;
      else out->append(buf, static_cast<size_t>(n));
      // A file that grows past the bound meanwhile is read no further.
      if (!failed && static_cast<off_t>(out->size()) > most - offset) {
        errno = EFBIG;
        failed = true;
      }
    }
    const int err = errno;
    host.close(fd);
    if (failed) {
      errno = err;
      return read_refused(path, most);
    }
    // Appends that went on meanwhile are read or left for the next read;
    // a file renamed in meanwhile is read again.
    const FileIdentity after = identify_target(target);
    if (after.error != 0) {
      errno = after.error;
      return -1;
    }
    if (after.device == before.device && after.inode == before.inode && after.size >= before.size) return 0;
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace tavo::files
