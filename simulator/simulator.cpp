#include "simulator/simulator.h"

#include "platform/directory.h"
#include "platform/path_text.h"

#include "simulator/responders.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tavo::sim {
namespace {

bool writes(int flags) {
  return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

// The file calls other than an open that change what is stored.
bool changes_files(const char* call) {
  for (const char* changing : {"write", "truncate", "rename", "unlink", "mkdir", "chmod"})
    if (strcmp(call, changing) == 0) return true;
  return false;
}

// The whole content through an open descriptor (pread leaves its offset).
std::string read_fd(int fd) {
  std::string out;
  char buf[4096];
  for (off_t at = 0;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
    at += n;
  }
  return out;
}

void remove_tree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d != nullptr) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        remove_tree(child);
      else
        ::unlink(child.c_str());
    }
    closedir(d);
  }
  ::rmdir(path.c_str());
}

// The folders above are made only when missing: every process starts
// with a root that has them.
void make_dirs(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno != ENOENT) return;
  const size_t slash = path.rfind('/');
  if (slash == 0 || slash == std::string::npos) return;
  make_dirs(path.substr(0, slash));
  ::mkdir(path.c_str(), 0755);
}

}  // namespace

Simulator::Simulator(Topology topology, std::string root) : topology_(std::move(topology)) {
  if (root.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-sim-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) {
      root = buf.data();
      own_root_ = true;
    }
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  // Relative paths are resolved from the current directory: so is the root.
  char cwd[4096];
  if (!root.empty() && root[0] != '/' && getcwd(cwd, sizeof cwd) != nullptr) root = std::string(cwd) + "/" + root;
  root_ = root;
  if (!root_.empty()) {
    resolved_root_ = platform::resolve_dots(root_);
    if (resolved_root_.size() > 1 && resolved_root_.back() == '/') resolved_root_.pop_back();
  }
  // Measurements of real saves ask for flushes that reach the disk.
  const char* durable = secure_getenv("TAVO_SIM_DURABLE_FSYNC");
  if (durable != nullptr && strcmp(durable, "1") == 0) topology_.durable_fsync = true;
  install_standard_responders(*this);
  // The host's standard directories, then its files unless the root has them.
  for (const char* dir : {"/tmp", "/etc", "/var/log", "/scratch", "/opt"}) make_dirs(root_ + dir);
  std::map<std::string, std::string> files = topology_.files;
  if (!files.count("/etc/vmware/esx.conf")) files["/etc/vmware/esx.conf"] = esx_conf_text(topology_);
  for (const auto& [path, content] : files) {
    std::string full = root_ + path;
    struct stat st;
    if (::stat(full.c_str(), &st) == 0) continue;
    make_dirs(full.substr(0, full.rfind('/')));
    std::ofstream(full, std::ios::binary) << content;
  }
  install_state_file();  // in the root made above
}

Simulator::~Simulator() {
  if (own_root_ && !root_.empty()) remove_tree(root_);
}

void Simulator::on(uint8_t subsystem, uint8_t opcode, Responder r, int version) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  reads_.erase({subsystem, opcode});  // a test's responder may change anything
  auto& list = responders_[{subsystem, opcode}];
  // A newer registration for the same version replaces the older one.
  for (auto& entry : list) {
    if (entry.first == version) {
      entry.second = std::move(r);
      return;
    }
  }
  list.emplace_back(version, std::move(r));
}

Fault& Simulator::inject(const Fault& f) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  faults_.push_back(f);
  return faults_.back();
}

void Simulator::clear_faults() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  faults_.clear();
}

std::vector<LogEntry> Simulator::log() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<LogEntry> out;
  out.reserve(log_.size());
  for (size_t i = 0; i < log_.size(); ++i) out.push_back(logged(i));
  return out;
}

LogEntry Simulator::logged(size_t index) const {
  const LogRecord& r = log_[index];
  const uint8_t* bytes = log_arena_.data() + static_cast<size_t>(r.at - log_arena_at_);
  if (r.kind == LogKind::Shell) return LogEntry{r.kind, *r.device, r.request, {}, std::string(bytes, bytes + r.length)};
  return LogEntry{r.kind, *r.device, r.request, std::vector<uint8_t>(bytes, bytes + r.length), {}};
}

void Simulator::clear_log() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  log_.clear();
  log_device_ = nullptr;
  log_arena_.clear();
  log_arena_at_ = 0;
  log_bytes_ = 0;
  kind_counts_.fill(0);
  mailbox_counts_.clear();
  file_calls_.fill(0);
}

void Simulator::set_log_bounds(size_t entries, size_t bytes) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  log_entries_kept_ = entries;
  log_bytes_kept_ = bytes;
  trim_log();
}

std::vector<LogEntry> Simulator::mailbox_log() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<LogEntry> out;
  for (size_t i = 0; i < log_.size(); ++i) {
    const LogRecord& e = log_[i];
    if ((e.kind == LogKind::IscsiIoctl && e.request == kIscsiMailboxRequest) ||
        (e.kind == LogKind::NicIoctl && e.request == kNicMailboxRequest))
      out.push_back(logged(i));
  }
  return out;
}

uint64_t Simulator::request_count(LogKind kind) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return kind_counts_[static_cast<size_t>(kind)];
}

uint64_t Simulator::mailbox_count(uint8_t subsystem, uint8_t opcode) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto it = mailbox_counts_.find({subsystem, opcode});
  return it == mailbox_counts_.end() ? 0 : it->second;
}

void Simulator::log_request(LogKind kind, std::string_view device, unsigned long request,
                            std::span<const uint8_t> bytes, const MailboxRequestHeader* mailbox) {
  ++kind_counts_[static_cast<size_t>(kind)];
  if (mailbox != nullptr) ++mailbox_counts_[{mailbox->subsystem, mailbox->opcode}];
  if (log_device_ == nullptr || *log_device_ != device) {
    auto named = log_devices_.find(device);
    if (named == log_devices_.end()) named = log_devices_.emplace(device).first;
    log_device_ = &*named;
  }
  // A log that keeps no bytes copies none; a shell command's text is kept
  // whatever the bounds, and not counted among the bytes.
  const bool text = kind == LogKind::Shell;
  const size_t length = text || log_bytes_kept_ > 0 ? bytes.size() : 0;
  const uint64_t at = log_arena_at_ + log_arena_.size();
  log_arena_.insert(log_arena_.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
  if (!text) log_bytes_ += length;
  log_.push_back(LogRecord{kind, log_device_, request, at, length});
  if (log_bytes_ > log_bytes_kept_ || log_.size() > log_entries_kept_) trim_log();
}

void Simulator::trim_log() {
  if (log_.size() <= log_entries_kept_ && log_bytes_ <= log_bytes_kept_) return;
  while (log_.size() > 1 && (log_.size() > log_entries_kept_ || log_bytes_ > log_bytes_kept_)) {
    if (log_.front().kind != LogKind::Shell) log_bytes_ -= log_.front().length;
    log_.pop_front();
  }
  // The bytes of dropped requests go once they outweigh those kept: each
  // byte is moved a bounded number of times, and the buffer stays within
  // twice what the log holds.
  const auto dropped = static_cast<size_t>(log_.front().at - log_arena_at_);
  if (dropped > 0 && dropped >= log_arena_.size() - dropped) {
    log_arena_.erase(log_arena_.begin(), log_arena_.begin() + static_cast<ptrdiff_t>(dropped));
    log_arena_at_ += dropped;
  }
}

void Simulator::set_shell_answer(const std::string& prefix, int status, const std::string& output,
                                 const std::string& error) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  shell_answers_.insert(shell_answers_.begin(), {prefix, ShellResult{status, output, error}});
}

void Simulator::set_interface_up(const std::string& name, bool up) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  touch(kPartHost);
  if (up)
    interfaces_down_.erase(name);
  else
    interfaces_down_.insert(name);
}

bool Simulator::interface_up(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return interfaces_down_.count(name) == 0;
}

std::vector<std::string> Simulator::outside_root_writes() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return outside_;
}

int Simulator::open_device_count() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return static_cast<int>(devices_.size());
}

void Simulator::advance_ms(uint64_t ms) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  clock_ms_ += ms;
}

time_t Simulator::now() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return static_cast<time_t>(epoch_ + clock_ms_ / 1000);
}

uint64_t Simulator::monotonic_ms() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return clock_ms_;
}

void Simulator::sleep_seconds(unsigned seconds) { advance_ms(uint64_t{seconds} * 1000); }

const SimController* Simulator::controller(int index) const {
  for (const auto& c : topology_.controllers)
    if (c.index == index) return &c;
  return nullptr;
}

Fault* Simulator::match_fault(FaultKind kind, int subsystem, int opcode, int function, long request, int version,
                              bool changes) {
  if (faults_.empty()) return nullptr;
  for (auto& f : faults_) {
    if (f.kind != kind || (f.changes_only && !changes)) continue;
    if (f.version != kAny && f.version != version) continue;
    if (f.subsystem != kAny && f.subsystem != subsystem) continue;
    if (f.opcode != kAny && f.opcode != opcode) continue;
    if (f.function != kAny && f.function != function) continue;
    if (f.request != kAny && f.request != request) continue;
    if (f.times >= 0 && f.injected >= f.times) continue;
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    ++f.injected;
    return &f;
  }
  return nullptr;
}

Fault* Simulator::match_file_fault(const char* call, const std::string& path, bool opens_to_write) {
  if (faults_.empty()) return nullptr;
  for (auto& f : faults_) {
    if (f.kind != FaultKind::FileErrno && f.kind != FaultKind::ShortWrite && f.kind != FaultKind::Crash &&
        f.kind != FaultKind::PowerCut && f.kind != FaultKind::ReadOnly)
      continue;
    if (!f.file_call.empty() && f.file_call != call) continue;
    if (!f.path_contains.empty() && path.find(f.path_contains) == std::string::npos) continue;
    if (f.kind == FaultKind::ShortWrite && strcmp(call, "write") != 0) continue;
    if (f.kind == FaultKind::ReadOnly && !opens_to_write && !changes_files(call)) continue;
    if (f.times >= 0 && f.injected >= f.times) continue;
    if (f.skip > 0) {
      --f.skip;
      continue;
    }
    ++f.injected;
    return &f;
  }
  return nullptr;
}

// The kinds of file calls, as faults name them.
constexpr const char* kFileCalls[] = {"open",  "read",  "write",  "truncate", "fsync", "fsync_dir", "readdir", "close",
                                      "rename", "unlink", "mkdir", "chmod",    "lock",  "stat",      "fstat",
                                      "utimens", "page"};
static_assert(std::size(kFileCalls) == std::tuple_size_v<Simulator::FileCallCounts>);

void Simulator::count_file_call(const char* call) {
  // The names come from this file's own texts: most are found by address.
  for (size_t i = 0; i < std::size(kFileCalls); ++i)
    if (kFileCalls[i] == call) return void(++file_calls_[i]);
  for (size_t i = 0; i < std::size(kFileCalls); ++i)
    if (strcmp(kFileCalls[i], call) == 0) return void(++file_calls_[i]);
}

uint64_t Simulator::file_calls(const std::string& call) const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  for (size_t i = 0; i < std::size(kFileCalls); ++i)
    if (call == kFileCalls[i]) return file_calls_[i];
  return 0;
}

// 0: go on; -1: fail with errno set. Crash and power-cut faults do not
// return.
int Simulator::file_fault(const char* call, const std::string& path, bool opens_to_write) {
  count_file_call(call);
  Fault* f = match_file_fault(call, path, opens_to_write);
  if (f == nullptr || f->kind == FaultKind::ShortWrite) {
    if (f != nullptr) --f->injected;  // counted when the write applies it
    return 0;
  }
  if (f->kind == FaultKind::Crash) _exit(kCrashExitCode);  // what was written stays
  if (f->kind == FaultKind::PowerCut) power_cut(f->kept);
  errno = f->err;
  return -1;
}

void Simulator::power_cut(int64_t kept) {
  // File data falls back to what was flushed (appends to a prefix of what
  // followed); then the renames whose directory was not flushed are undone,
  // the latest first.
  for (const auto& [path, d] : unsynced_) {
    struct stat st;
    if (d.length >= 0 && kept != 0 && ::stat(path.c_str(), &st) == 0)
      (void)::truncate(path.c_str(), kept < 0 ? st.st_size : std::min<off_t>(st.st_size, d.length + kept));
    else if (d.length >= 0)
      (void)::truncate(path.c_str(), d.length);
    else if (d.exists)
      std::ofstream(path, std::ios::binary | std::ios::trunc) << d.content;
    else
      ::unlink(path.c_str());
  }
  for (auto it = renames_.rbegin(); it != renames_.rend(); ++it) {
    (void)::rename(it->to.c_str(), it->from.c_str());
    if (!it->backup.empty())
      (void)::rename(it->backup.c_str(), it->to.c_str());
    else if (it->replaced.exists)
      std::ofstream(it->to, std::ios::binary | std::ios::trunc) << it->replaced.content;
    else
      ::unlink(it->to.c_str());
  }
  _exit(kCrashExitCode);
}

std::string Simulator::strip_root(const std::string& path) const {
  if (!root_.empty() && path.compare(0, root_.size(), root_) == 0 &&
      (path.size() == root_.size() || path[root_.size()] == '/'))
    return path.substr(root_.size());
  return path;
}

const std::string& Simulator::fd_path(int fd) const {
  static const std::string none;
  auto it = fd_paths_.find(fd);
  return it == fd_paths_.end() ? none : it->second.path;
}

bool Simulator::inside_root(const std::string& path) const {
  if (path.empty() || root_.empty()) return false;
  const std::string& root = resolved_root_;
  const auto under = [&root](std::string_view full) {
    return full.starts_with(root) && (full.size() == root.size() || full[root.size()] == '/');
  };
  // The library names its paths resolved already: those need no copy.
  if (platform::dots_resolved(path)) return under(path);
  std::string full = path;
  char cwd[4096];
  if (path[0] != '/') {
    if (getcwd(cwd, sizeof cwd) == nullptr) return false;
    full = std::string(cwd) + "/" + path;
  }
  // "/root/../x" lies outside, whatever its text begins with.
  return under(platform::resolve_dots(full));
}

bool Simulator::note_write_path(const std::string& path) {
  const bool inside = inside_root(path);
  if (!inside && !root_.empty()) outside_.push_back(path);
  return inside;
}

void Simulator::mark_dirty(int fd) {
  auto it = fd_paths_.find(fd);
  if (it == fd_paths_.end()) return;
  // Appends keep what is durable in place: its length is enough, and no
  // append copies the whole file.
  const bool appends = it->second.appends;
  const std::string& path = it->second.path;
  auto d = unsynced_.find(path);
  if (d != unsynced_.end()) {
    if (!appends) keep_content(path, &d->second, fd);
    return;
  }
  struct stat st;
  if (appends && ::fstat(fd, &st) == 0)
    unsynced_[path] = Durable{"", true, st.st_size};
  else
    unsynced_[path] = Durable{read_fd(fd), true};
}

void Simulator::keep_content(const std::string& path, Durable* d, int fd) {
  if (d->length < 0) return;
  d->content.assign(static_cast<size_t>(d->length), '\0');
  size_t got = 0;
  if (fd >= 0) {
    // Through the descriptor written: a second one, once closed, would drop
    // the process's record locks on the file.
    while (got < d->content.size()) {
      const ssize_t n = ::pread(fd, d->content.data() + got, d->content.size() - got, static_cast<off_t>(got));
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  } else if (d->length > 0) {
    std::ifstream in(path, std::ios::binary);
    in.read(d->content.data(), d->length);
    got = static_cast<size_t>(in.gcount());
  }
  d->content.resize(got);
  d->length = -1;
}

int Simulator::open(const std::string& path, int flags, mode_t mode) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const bool w = writes(flags);
  if (file_fault("open", path, w) != 0) return -1;
  if (!w) return ::open(path.c_str(), flags, mode);
  if (!note_write_path(path)) {
    errno = EACCES;
    return -1;
  }
  // The file is opened for reading too, and truncated only after its synced
  // content was read through this descriptor: opening and closing a second
  // descriptor would drop the process's fcntl locks on the file.
  const int own = (flags & ~(O_WRONLY | O_TRUNC)) | O_RDWR;
  // Whether the file was there: an open that may not create tells, and
  // most files written are there already.
  bool existed = (flags & O_CREAT) == 0;  // else O_EXCL: it was not
  int fd;
  if ((flags & (O_CREAT | O_EXCL)) == O_CREAT) {
    fd = ::open(path.c_str(), own & ~O_CREAT, mode);
    existed = fd >= 0;
    if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), own, mode);
  } else {
    fd = ::open(path.c_str(), own, mode);
  }
  if (fd < 0 && errno == EACCES) return ::open(path.c_str(), flags, mode);
  if (fd < 0) return -1;
  fd_paths_[fd] = OpenFile{path, (flags & O_APPEND) != 0};
  if (!unsynced_.count(path) && (!existed || (flags & O_TRUNC)))
    unsynced_[path] = Durable{existed ? read_fd(fd) : "", existed};
  if ((flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) {
    int saved = errno;
    ::close(fd);
    fd_paths_.erase(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

ssize_t Simulator::read(int fd, void* buf, size_t n) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("read", fd_path(fd)) != 0) return -1;
  const ssize_t r = ::read(fd, buf, n);
  if (r > 0) bytes_read_ += static_cast<uint64_t>(r);
  return r;
}

ssize_t Simulator::read_at(int fd, void* buf, size_t n, off_t offset) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("read", fd_path(fd)) != 0) return -1;
  const ssize_t r = ::pread(fd, buf, n, offset);
  if (r > 0) bytes_read_ += static_cast<uint64_t>(r);
  return r;
}

uint64_t Simulator::bytes_read() const {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return bytes_read_;
}

ssize_t Simulator::write(int fd, const void* buf, size_t n) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  count_file_call("write");
  Fault* f = match_file_fault("write", fd_path(fd));
  if (f != nullptr) {
    if (f->kind == FaultKind::Crash) _exit(kCrashExitCode);
    if (f->kind == FaultKind::PowerCut) power_cut(f->kept);
    if (f->kind != FaultKind::ShortWrite) {
      errno = f->err;
      return -1;
    }
    n = n > 1 ? n / 2 : n;  // short write
  }
  mark_dirty(fd);
  return ::write(fd, buf, n);
}

off_t Simulator::seek(int fd, off_t offset, int whence) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return ::lseek(fd, offset, whence);
}

int Simulator::truncate(int fd, off_t length) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::string& path = fd_path(fd);
  if (file_fault("truncate", path) != 0) return -1;
  mark_dirty(fd);
  if (auto d = unsynced_.find(path); d != unsynced_.end()) keep_content(path, &d->second, fd);  // it may cut durable bytes
  return ::ftruncate(fd, length);
}

int Simulator::fsync(int fd) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::string& path = fd_path(fd);
  if (file_fault("fsync", path) != 0) return -1;
  // The simulated disk keeps what was synced itself (see the power cut);
  // asking the real disk to flush would only make tests slow, unless the
  // topology asks for durable flushes. A descriptor it opened for writing
  // is open until its close.
  int r = topology_.durable_fsync  ? ::fsync(fd)
          : fd_paths_.count(fd) != 0 ? 0
          : ::fcntl(fd, F_GETFD) == -1 ? -1
                                       : 0;
  if (r == 0 && !path.empty()) unsynced_.erase(path);
  return r;
}

int Simulator::fsync_dir(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("fsync_dir", path) != 0) return -1;
  std::string dir = path;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (topology_.durable_fsync && ::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  ::close(fd);
  // The renames into this directory stand from now on.
  std::erase_if(renames_, [&](const PendingRename& r) {
    if (r.to.substr(0, r.to.rfind('/')) != dir) return false;
    if (!r.backup.empty()) ::unlink(r.backup.c_str());
    return true;
  });
  return 0;
}

int Simulator::close(int fd) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::string path = fd_path(fd);
  fd_paths_.erase(fd);
  int r = ::close(fd);
  if (file_fault("close", path) != 0) return -1;
  return r;
}

int Simulator::rename(const std::string& from, const std::string& to) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("rename", to) != 0) return -1;
  if (!note_write_path(to) || !inside_root(from)) {
    errno = EACCES;
    return -1;
  }
  // What the target held is kept for a power cut: its unsynced record, or
  // a second name of its file (reading it would open and close a descriptor,
  // which drops the process's record locks on it).
  PendingRename pending{from, to, Durable{"", false}, ""};
  if (auto it = unsynced_.find(to); it != unsynced_.end()) {
    keep_content(to, &it->second);
    pending.replaced = it->second;
  } else {
    const std::string backup =
        root_ + "/.sim-replaced-" + std::to_string(getpid()) + "-" + std::to_string(backups_++);
    if (::link(to.c_str(), backup.c_str()) == 0) pending.backup = backup;
  }
  int r = ::rename(from.c_str(), to.c_str());
  if (r != 0 && !pending.backup.empty()) ::unlink(pending.backup.c_str());
  if (r == 0) {
    // The unsynced data moves with the file.
    auto it = unsynced_.find(from);
    unsynced_.erase(to);
    if (it != unsynced_.end()) {
      unsynced_[to] = it->second;
      unsynced_.erase(it);
    }
    renames_.push_back(std::move(pending));
  }
  return r;
}

int Simulator::unlink(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("unlink", path) != 0) return -1;
  if (!note_write_path(path)) {
    errno = EACCES;
    return -1;
  }
  int r = ::unlink(path.c_str());
  if (r == 0) unsynced_.erase(path);
  return r;
}

int Simulator::mkdir(const std::string& path, mode_t mode) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("mkdir", path) != 0) return -1;
  if (!note_write_path(path)) {
    errno = EACCES;
    return -1;
  }
  return ::mkdir(path.c_str(), mode);
}

int Simulator::chmod(const std::string& path, mode_t mode) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("chmod", path) != 0) return -1;
  if (!note_write_path(path)) {
    errno = EACCES;
    return -1;
  }
  return platform::change_mode(path, mode);
}

int Simulator::stat(const std::string& path, struct stat* st) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("stat", path) != 0) return -1;
  return stamped(::stat(path.c_str(), st), st);
}

int Simulator::fstat(int fd, struct stat* st) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("fstat", fd_path(fd)) != 0) return -1;
  return stamped(::fstat(fd, st), st);
}

int Simulator::set_modified(int fd, const timespec& when) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (file_fault("utimens", fd_path(fd)) != 0) return -1;
  return platform::modify_time(fd, when);
}

timespec Simulator::stop_file_clock(time_t seconds_on) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  // The stamp of a file made now: no earlier than any stamp made before
  // (the coarse clock may lag them), nor later than any made after.
  const std::string probe = root_ + "/.file_clock";
  ::unlink(probe.c_str());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  struct stat st{};
  if (fd < 0 || ::fstat(fd, &st) != 0) abort();
  ::close(fd);
  file_clock_at_ = timespec{st.st_ctim.tv_sec + seconds_on, st.st_ctim.tv_nsec};
  clock_stands_.store(true, std::memory_order_release);
  return file_clock_at_;
}

timespec Simulator::file_clock() {
  // Asked at every look at a file: no lock while the clock runs.
  if (!clock_stands_.load(std::memory_order_acquire)) return platform::coarse_clock();
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return file_clock_at_;
}

int Simulator::stamped(int result, struct stat* st) const {
  if (result != 0 || !clock_stands_.load(std::memory_order_relaxed)) return result;
  // A time past the clock was stamped while it stood.
  const timespec at = file_clock_at_;
  for (timespec* t : {&st->st_atim, &st->st_mtim, &st->st_ctim})
    if (t->tv_sec > at.tv_sec || (t->tv_sec == at.tv_sec && t->tv_nsec > at.tv_nsec)) *t = at;
  return 0;
}

int Simulator::list_directory(const std::string& path, std::vector<std::string>* names) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  names->clear();
  if (file_fault("readdir", path) != 0) return -1;
  return platform::read_directory(path, names);
}

int Simulator::lock(int fd, int cmd, struct flock* fl) {
  {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (file_fault("lock", fd_path(fd)) != 0) return -1;
  }
  // A waiting lock may block on another process: not under the simulator's.
  return ::fcntl(fd, cmd, fl);
}

// The pages are the machine's own, as processes are: only their faults are
// simulated.
int Simulator::page_get(key_t key, size_t size, bool create) {
  {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (file_fault("page", "") != 0) return -1;
  }
  return ::shmget(key, size, create ? IPC_CREAT | 0644 : 0);
}

void* Simulator::page_attach(int id, bool writable) {
  {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (file_fault("page", "") != 0) return nullptr;
  }
  void* at = ::shmat(id, nullptr, writable ? 0 : SHM_RDONLY);
  return at == reinterpret_cast<void*>(-1) ? nullptr : at;
}

int Simulator::page_detach(const void* at) { return ::shmdt(at); }

int Simulator::page_status(int id, struct shmid_ds* ds) { return ::shmctl(id, IPC_STAT, ds); }

int Simulator::page_remove(int id) { return ::shmctl(id, IPC_RMID, nullptr); }

int Simulator::host_name(char* buf, size_t len) {
  if (buf == nullptr || len == 0) {
    errno = EINVAL;
    return -1;
  }
  snprintf(buf, len, "%s", "esx-sim");
  return 0;
}

int Simulator::uname(struct utsname* out) {
  memset(out, 0, sizeof *out);
  snprintf(out->sysname, sizeof out->sysname, "VMkernel");
  snprintf(out->nodename, sizeof out->nodename, "esx-sim");
  snprintf(out->release, sizeof out->release, "%s", topology_.release.c_str());
  snprintf(out->version, sizeof out->version, "#1 SMP Release build-0000000");
  snprintf(out->machine, sizeof out->machine, "x86_64");
  return 0;
}

std::unique_ptr<Simulator> start_simulator(const std::string& topology, const std::string& root, std::string* error) {
  Topology t;
  if (!load_topology(topology, &t, error)) return nullptr;
  auto sim = std::make_unique<Simulator>(std::move(t), root);
  if (sim->state_failure().empty()) return sim;
  if (error != nullptr) *error = sim->state_failure();
  return nullptr;
}

std::unique_ptr<platform::Host> make_host(const std::string& topology, std::string* error) {
  const char* root = secure_getenv("TAVO_ROOT");
  return start_simulator(topology, root ? root : "", error);
}

}  // namespace tavo::sim
