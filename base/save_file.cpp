// Crash-safe saves: whole-file replacement by rename, and appends of whole
// lines under the file's lock.
#include "base/save_file.h"

#include "base/save_file_internal.h"

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

std::atomic<uint64_t> writes_ended{0};

}  // namespace

RootWrite::~RootWrite() { writes_ended.fetch_add(1, std::memory_order_release); }

uint64_t saved_writes() { return writes_ended.load(std::memory_order_acquire); }

std::string save_directory(const std::string& host_path) {
  const size_t slash = host_path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : host_path.substr(0, slash);
}

namespace {

// A name beside the file that no other writer (process or thread) uses.
std::string save_temporary_name(const std::string& host_path) {
  static std::atomic<unsigned> sequence{0};
  return host_path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(sequence++);
}

}  // namespace

int write_all(int fd, std::string_view text, size_t* written) {
  size_t done = 0;
  const auto count = [&](int r) {
    if (written != nullptr) *written = done;
    return r;
  };
  while (done < text.size()) {
    const ssize_t n = platform::host().write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return count(-1);
    }
    done += static_cast<size_t>(n);
  }
  return count(0);
}

namespace {

// The modification time of what was just written set a nanosecond below
// not_after, a time the write was stamped no earlier than (its own stamp,
// or the file's modification time before it: stamps do not go back)
// (written_by_saves): the change time this stamps lies above it, and so
// does the time any later change of the content is stamped with. A
// failure costs readers a read, no more: 0.
int mark_saved(int fd, const timespec& not_after) {
  timespec below = not_after;
  if (below.tv_nsec > 0) {
    --below.tv_nsec;
  } else {
    --below.tv_sec;
    below.tv_nsec = 999999999;
  }
  platform::host().set_modified(fd, below);
  return 0;
}

}  // namespace

void save_temporary(const std::string& target, std::span<const std::string_view> content, mode_t mode,
                    std::string* temporary, SaveSteps& steps) {
  platform::Host& host = platform::host();
  *temporary = save_temporary_name(target);
  // Created exclusively: a name planted there (a link) is never followed.
  const int fd = host.open(*temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (!steps.run("create", [&] { return fd < 0 ? -1 : 0; }).ok()) return;
  struct stat written{};
  bool known = false;
  steps
      .run("write", [&] {
        for (const std::string_view stretch : content)
          if (write_all(fd, stretch) != 0) return -1;
        return 0;
      })
      // The umask must not change the mode: one it changed is set again.
      .run("chmod", [&] {
        known = host.fstat(fd, &written) == 0;
        return known && (written.st_mode & 07777) == mode ? 0 : host.chmod(*temporary, mode);
      })
      .run("stamp", [&] { return known ? mark_saved(fd, written.st_mtim) : 0; })
      .run("fsync", [&] { return host.fsync(fd); });
  const int closed = host.close(fd);
  steps.run("close", [&] { return closed; });
  if (!steps.ok()) host.unlink(*temporary);
}

void save_flush_directory(const std::string& target) {
  platform::Host& host = platform::host();
  const std::string directory = save_directory(target);
  if (host.fsync_dir(directory) == 0 || host.fsync_dir(directory) == 0) return;
  pdebug(TAVO_LOG_BACKEND, 2, "%s: flushing %s after saving %s failed: %s; the save stands\n", "save_file",
         directory.c_str(), target.c_str(), strerror(errno));
}

std::string save_base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool temporary_name_of(std::string_view name, std::string_view base) {
  if (!name.starts_with(base) || !name.substr(base.size()).starts_with(".tmp.")) return false;
  const std::string_view rest = name.substr(base.size() + 5);
  const size_t dot = rest.find('.');
  const auto digits = [](std::string_view t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dot != std::string_view::npos && digits(rest.substr(0, dot)) && digits(rest.substr(dot + 1));
}

bool staged_here(const std::string& target) {
  struct stat st{};
  const int fd = open_regular(target, &st);
  if (fd >= 0) platform::host().close(fd);
  if (fd >= 0 && st.st_nlink == 1) return true;
  if (fd >= 0 || errno != ENOENT)
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s was not staged by the library: left alone\n", "save_file", target.c_str());
  return false;
}

namespace {

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
  const RootWrite write;
  const std::string target = platform::fixed_path(path);
  SaveSteps steps;
  std::string temporary;
  if (steps.admit(write.allowed()).ok()) save_temporary(target, content, mode, &temporary, steps);
  if (!steps.ok()) return steps.report(path);
  if (!steps.run("rename", [&] { return platform::host().rename(temporary, target); }).ok()) {
    platform::host().unlink(temporary);
    return steps.report(path);
  }
  save_flush_directory(target);
  return 0;
}

namespace {

bool earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The identity a stat tells, settled by its times alone, or also by the
// file clock as read before the stat (clock).
FileIdentity identity_of(const struct stat& st, const timespec* clock = nullptr) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = st.st_mtim;
  id.changed = st.st_ctim;
  id.settled = written_by_saves(id) ||
               (clock != nullptr && earlier({id.changed.tv_sec + kStampGrain, id.changed.tv_nsec}, *clock));
  return id;
}

// The identity of a file that a stat did not find (err ENOENT): a file
// made later has a size. Any other failure is no answer.
FileIdentity identity_not_found(int err) {
  FileIdentity id;
  if (err != ENOENT) id.error = err != 0 ? err : EIO;
  id.settled = id.error == 0;
  return id;
}

// identify with the path under the root already.
FileIdentity identify_target(const std::string& target) {
  platform::Host& host = platform::host();
  const timespec clock = host.file_clock();
  struct stat st;
  if (host.stat(target, &st) == 0) return identity_of(st, &clock);
  return identity_not_found(errno);
}

// One append under the file's lock, flushed to disk; with whole_lines a
// file whose last line lacks its line feed gets one first. What a failed
// write left goes again, so the file ends as it did. *after (when given)
// takes the file's identity once the bytes are in; a file still at
// ends_lines (when given) is known to end its last line.
void save_append(const std::string& target, std::string_view bytes, mode_t mode, bool whole_lines,
                 SaveSteps& steps, FileIdentity* after, const FileIdentity* ends_lines) {
  const RootWrite write;
  if (!steps.admit(write.allowed()).ok()) return;
  platform::Host& host = platform::host();
  // Read as well: the last byte tells whether the file ends its last line.
  // A link planted at the path is not followed: the append fails.
  // Nor is a FIFO there waited on: only a regular file is appended to.
  const int fd = host.open(target, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
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
        errno = EINVAL;
        if (known && !S_ISREG(st.st_mode)) return -1;
        return (end = known ? st.st_size : host.seek(fd, 0, SEEK_END)) < 0 ? -1 : 0;
      });
  const bool created = !known || st.st_size == 0;
  const bool rechmod = created || (st.st_mode & 07777) != mode;
  const bool ended = known && ends_lines != nullptr && unchanged(*ends_lines, identity_of(st));
  steps.run("read", [&] {
        if (!whole_lines || end == 0 || ended) return 0;
        return host.read_at(fd, &last, 1, end - 1) != 1 ? -1 : 0;
      })
      .run("write", [&] {
        if (last == '\n') return write_all(fd, bytes);
        std::string own_line(1, '\n');
        own_line.append(bytes.data(), bytes.size());
        return write_all(fd, own_line);
      })
      // Below the file's stamp before the write: no look after it.
      .run("stamp", [&] { return known ? mark_saved(fd, st.st_mtim) : 0; })
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
  if (after != nullptr && ends_lines != nullptr && !ended) after->settled = false;
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

bool AppendedFile::open(SaveSteps& steps) {
  if (fd_ >= 0) return true;
  platform::Host& host = platform::host();
  const std::string target = platform::fixed_path(path_);
  // Appending: every write lands at the end, whoever appended last. Nor is
  // a FIFO there waited on.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = host.open(target, kFlags, 0);
  if (fd < 0 && errno == ENOENT) {
    fd = host.open(target, kFlags | O_CREAT | O_EXCL, mode_);
    made_ |= fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = host.open(target, kFlags, 0);  // made meanwhile
  }
  struct stat st{};
  steps.run("open", [&] { return fd < 0 ? -1 : 0; })
      .run("fstat", [&] {
        if (host.fstat(fd, &st) != 0) return -1;
        errno = !S_ISREG(st.st_mode) ? EINVAL : st.st_nlink != 1 ? EMLINK : 0;
        return errno == 0 ? 0 : -1;
      })
      // The umask must not change the mode; nor does the file keep another.
      .run("chmod", [&] { return (st.st_mode & 07777) == mode_ ? 0 : host.chmod(target, mode_); });
  if (steps.ok()) fd_ = fd;
  else if (fd >= 0) host.close(fd);
  return steps.ok();
}

uint32_t AppendedFile::append(std::string_view bytes) {
  const RootWrite write;
  SaveSteps steps;
  if (!steps.admit(write.allowed()).ok() || !open(steps)) return steps.report(path_);
  platform::Host& host = platform::host();
  size_t written = 0;
  steps.run("write", [&] { return write_all(fd_, bytes, &written); })
      .run("fsync", [&] { return host.fdatasync(fd_); });
  // What a failed write left goes: the file ends where it did.
  struct stat st{};
  if (steps.failed() != nullptr && strcmp(steps.failed(), "write") == 0 && written > 0 && host.fstat(fd_, &st) == 0)
    host.truncate(fd_, st.st_size - static_cast<off_t>(written));
  if (steps.ok() && made_) {
    save_flush_directory(platform::fixed_path(path_));
    made_ = false;
  }
  if (!steps.ok()) close();
  return steps.report(path_);
}

uint32_t AppendedFile::empty() {
  const RootWrite write;
  SaveSteps steps;
  if (steps.admit(write.allowed()).ok() && open(steps))
    steps.run("truncate", [&] { return platform::host().truncate(fd_, 0); });
  if (!steps.ok()) close();
  return steps.report(path_);
}

void AppendedFile::close() {
  if (fd_ >= 0) platform::host().close(fd_);
  fd_ = -1;
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

SaveLock::SaveLock(const std::string& path) {
  journal_ = journal_of(path, &file_);
  SaveSteps steps;
  const char* failed = take(platform::fixed_path(path), true);
  if (failed == nullptr && journal_ != nullptr && journal_->pending(file_)) {
    // A record the file waits for is completed before it is read or
    // written, under every file's lock: this one is let go meanwhile, so
    // that all are taken in their order.
    let_go();
    if (journal_->settle(file_, this) != 0) failed = "commit record";
  }
  if (failed == nullptr) return;
  steps.run(failed, [] { return -1; });
  if (held()) let_go();
  steps.report(path);
}

SaveLock::SaveLock(const Journal& journal, size_t file, bool wait) : journal_(&journal), file_(file) {
  take(platform::fixed_path(journal.files()[file]), wait);
}

const char* SaveLock::take(const std::string& target, bool wait) {
  platform::Host& host = platform::host();
  local_ = std::unique_lock<std::mutex>(save_local_mutex(target), std::defer_lock);
  if (wait) {
    local_.lock();
  } else if (!local_.try_lock()) {
    errno = EWOULDBLOCK;
    return "lock";
  }
  // A link planted there is not followed: the save fails instead.
  const int fd = host.open(target + ".lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  const char* failed = fd < 0                                                          ? "lock open"
                       : lock_whole_file(fd, wait ? F_SETLKW : F_SETLK, F_WRLCK) != 0 ? "lock"
                                                                                      : nullptr;
  if (failed != nullptr) {
    int err = errno;
    if (fd >= 0) {
      host.close(fd);
      if (!wait && err == EACCES) err = EWOULDBLOCK;  // held by another process
    }
    local_.unlock();
    errno = err;
    return failed;
  }
  fd_ = fd;
  if (journal_ != nullptr) held_files(journal_).files |= uint64_t{1} << file_;
  return nullptr;
}

void SaveLock::let_go() {
  if (fd_ < 0) return;
  if (journal_ != nullptr) {
    HeldFiles& held = held_files(journal_);
    held.files &= ~(uint64_t{1} << file_);
    if (held.files == 0) held.no_record = false;
  }
  // The close releases the process's locks on the file: an unlock first
  // would only be one more call.
  platform::host().close(fd_);
  fd_ = -1;
  local_.unlock();
}

SaveLock::~SaveLock() { let_go(); }

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

bool written_by_saves(const FileIdentity& id) { return earlier(id.modified, id.changed); }

bool FileIdentity::operator==(const FileIdentity& o) const {
  return device == o.device && inode == o.inode && size == o.size && error == o.error &&
         same_time(modified, o.modified) &&
         same_time(changed, o.changed);
}

FileIdentity identify(const std::string& path) { return identify_target(platform::fixed_path(path)); }

FileIdentity identify_fixed(const std::string& target) { return identify_target(target); }

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
  return read_saved_fixed(platform::fixed_path(path), offset, out, id, most);
}

int read_saved_fixed(const std::string& target, off_t offset, std::string* out, FileIdentity* id, off_t most) {
  platform::Host& host = platform::host();
  for (int attempt = 0; attempt < 16; ++attempt) {
    const timespec clock = host.file_clock();
    struct stat st{};
    const int fd = open_regular(target, &st);
    if (fd < 0) {
      *id = identity_not_found(errno);
      return read_refused(target, most);
    }
    const FileIdentity before = identity_of(st, &clock);
    *id = before;
    out->clear();
    errno = EFBIG;
    bool failed = st.st_size > most || offset > most || host.seek(fd, offset, SEEK_SET) < 0;
    // Room for the whole file at once: a held text takes no more than its size.
    if (!failed && st.st_size > offset) out->reserve(static_cast<size_t>(st.st_size - offset));
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
      return read_refused(target, most);
    }
    // Appends of these calls that went on meanwhile are read or left for
    // the next read; a file renamed in or rewritten meanwhile is read
    // again.
    const FileIdentity after = identify_target(target);
    if (after.error != 0) {
      errno = after.error;
      return -1;
    }
    if (after == before || (after.device == before.device && after.inode == before.inode &&
                            after.size > before.size && written_by_saves(after)))
      return 0;
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace tavo::files
