// The gate file holds the change count as its first eight bytes; an empty
// file counts 0. The count is written without a flush: it orders live
// processes, and a power cut ends them all.
#include "base/root_gate.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include <atomic>
#include <string>

#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/locks.h"
#include "platform/host.h"

namespace tavo::base {
namespace {

constexpr char kGateDirectory[] = "/etc/config/QVL/tavo";
constexpr char kGateFile[] = "/etc/config/QVL/tavo/libtavo.lock";
// Readable by all: a process that may not write the root still waits on it.
constexpr mode_t kGateMode = 0644;
constexpr mode_t kGateDirectoryMode = 0755;

// All under the library lock, but the epoch, which a reader may load
// without it.
struct Gate {
  const platform::Host* host = nullptr;  // the host and root the descriptor belongs to
  std::string root;
  int fd = -1;
  bool writable = false;
  bool held = false;
  bool raised = false;  // this call raised the count already
  uint64_t seen = 0;    // the count this process's picture follows
};

Gate& gate() {
  static Gate g;
  return g;
}
std::atomic<uint64_t> epoch{1};

// The descriptor of the gate file under the root in force; -1 when the
// root cannot hold one (the reason logged once: a root is tried once).
int open_gate(Gate& g) {
  platform::Host& host = platform::host();
  if (g.host == &host && host.root_is(g.root)) return g.fd;
  // Every host's descriptors are the process's own.
  if (g.fd >= 0) host.close(g.fd);
  g.fd = -1;
  g.host = &host;
  g.root = host.root();
  // What was kept belongs to another root.
  epoch.fetch_add(1, std::memory_order_release);
  const std::string path = platform::fixed_path(kGateFile);
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = host.open(path, O_RDWR | O_CREAT | kFlags, kGateMode);
  if (fd < 0 && errno == ENOENT && files::make_dirs(platform::fixed_path(kGateDirectory), kGateDirectoryMode) == 0)
    fd = host.open(path, O_RDWR | O_CREAT | kFlags, kGateMode);
  g.writable = fd >= 0;
  if (fd < 0 && (errno == EROFS || errno == EACCES || errno == EPERM)) fd = host.open(path, O_RDONLY | kFlags, 0);
  struct stat st;
  if (fd >= 0 && (host.fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    host.close(fd);
    fd = -1;
    errno = EINVAL;  // not the library's file
  }
  if (fd < 0) {
    const int err = errno;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s: %s: calls are not gated from other processes\n", __func__, path.c_str(),
           strerror(err));
    return -1;
  }
  g.fd = fd;
  // The first look at a root takes its count as it stands.
  uint64_t count = 0;
  if (host.read_at(fd, &count, sizeof count, 0) == static_cast<ssize_t>(sizeof count)) g.seen = count;
  return fd;
}

uint64_t read_count(const Gate& g) {
  uint64_t count = 0;
  return platform::host().read_at(g.fd, &count, sizeof count, 0) == static_cast<ssize_t>(sizeof count) ? count : 0;
}

}  // namespace

uint64_t root_epoch() { return epoch.load(std::memory_order_acquire); }

void enter_root_gate() {
  Gate& g = gate();
  g.held = false;
  g.raised = false;
  if (open_gate(g) < 0) return;
  if (files::lock_whole_file(g.fd, F_SETLKW, g.writable ? F_WRLCK : F_RDLCK) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the gate could not be locked: %s\n", __func__, strerror(errno));
    return;
  }
  g.held = true;
  const uint64_t count = read_count(g);
  if (count != g.seen) {
    g.seen = count;
    epoch.fetch_add(1, std::memory_order_release);
  }
}

void leave_root_gate() {
  Gate& g = gate();
  if (!g.held) return;
  g.held = false;
  files::lock_whole_file(g.fd, F_SETLK, F_UNLCK);
}

void note_root_change() {
  Gate& g = gate();
  if (!g.held || !g.writable || g.raised) return;
  g.raised = true;
  const uint64_t count = g.seen + 1;
  platform::Host& host = platform::host();
  if (host.seek(g.fd, 0, SEEK_SET) != 0 ||
      host.write(g.fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the change count could not be raised: %s\n", __func__, strerror(errno));
    // What a write cut short left is this process's own change too.
    g.seen = read_count(g);
    return;
  }
  g.seen = count;
}

}  // namespace tavo::base
