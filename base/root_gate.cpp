// The gate file holds a GatePage: the change count as its first eight
// bytes (an empty file counts 0), then the process id of the process in a
// change, 0 when none. Both are written through the mapping, without a
// flush: they order live processes, and a power cut ends them all (a start
// after one settles what the notes of a half-made change tell).
#include "base/root_gate.h"

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/no_destructor.h"
#include "platform/host.h"

namespace tavo::base {

const StatusFormat<unsigned, const char*, const char*> kRootBusy{TAVO_ROOT_BUSY,
                                                                 "Waited %u ms for %s, held by %s. Please try again."};
const StatusFormat<const char*, const char*> kRootGateForeign{
    TAVO_ROOT_GATE_FOREIGN, "%s is %s, not the library's own file: calls cannot be gated from other processes."};
const StatusFormat<const char*, const char*> kRootNotGated{TAVO_ROOT_NOT_GATED,
                                                          "Calls are not gated from other processes: %s: %s."};

namespace {

constexpr StatusText kGateStatusTexts[] = {
    {TAVO_ROOT_BUSY, "The configuration is held by another process. Please try again."},
    {TAVO_ROOT_GATE_FOREIGN, "The library's gate file is not its own: calls cannot be gated from other processes."},
    {TAVO_ROOT_MOVED_IN_CALL, "Another process changed the configuration during this call. Please try again."},
    {TAVO_ROOT_NOT_GATED, "Calls are not gated from other processes."},
};
const StatusTable kGateTable{"root gate", kGateStatusTexts};

constexpr char kGateDirectory[] = "/etc/config/QVL/tavo";
constexpr char kGateFile[] = "/etc/config/QVL/tavo/libtavo.lock";
// Readable by all: a process that may not write the root still waits on it.
constexpr mode_t kGateMode = 0644;
constexpr mode_t kGateDirectoryMode = 0755;
constexpr unsigned kDefaultWaitMs = 60 * 1000;

struct GatePage {
  uint64_t count;
  uint32_t changing;  // pid of the process in a change; 0 when none
  uint32_t spare;
};
static_assert(sizeof(GatePage) == 16 && offsetof(GatePage, changing) == 8, "the gate file's layout");
// Read and written by other processes through the mapping: no lock of this
// process's may stand in for the hardware's.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free && std::atomic_ref<uint32_t>::is_always_lock_free);

enum class Hold : uint8_t { None, Shared, Exclusive };

// All under the library lock.
struct Gate {
  uint64_t host = 0;  // the host (platform::host_number) and root the file belongs to
  std::string root;
  std::string path;      // the file under that root
  int fd = -1;
  GatePage* page = nullptr;  // null: the count is read from the file (a read-only empty one)
  bool writable = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string unused;    // why calls go ungated ("" gated)
  std::string foreign;   // what the file at the gate's name is, when not the library's
  bool lost = false;     // the file held went and could not be made again (tried by each call)
  uint64_t seen = 0;     // the count this process's picture follows
  bool cut = false;      // a change cut short was found and not yet settled
  uint32_t known_mark = 0;  // the mark of the last one found
  // The call's own.
  bool close_at_leave = false;
  bool in_call = false;  // between enter_root_gate and leave_root_gate
  Hold hold = Hold::None;
  RootUse use = RootUse::Change;
  bool raised = false;   // the count was raised for this call
  uint32_t refusal = 0;  // the status of a gate the call could not have
  std::string refusal_text;
};

Gate& gate() {
  static NoDestructor<Gate> g;
  return *g;
}
std::span<const RootFollower> followers;

// Another process changed the root, or the root is another one: every
// keeper catches up.
void follow_root_change() {
  for (const RootFollower catch_up : followers) catch_up();
}

uint64_t load_count(const Gate& g) {
  if (g.page != nullptr) return std::atomic_ref<uint64_t>(g.page->count).load(std::memory_order_acquire);
  uint64_t count = 0;
  return platform::host().read_at(g.fd, &count, sizeof count, 0) == static_cast<ssize_t>(sizeof count) ? count : 0;
}

uint32_t load_changing(const Gate& g) {
  return g.page != nullptr ? std::atomic_ref<uint32_t>(g.page->changing).load(std::memory_order_acquire) : 0;
}

void store_changing(Gate& g, uint32_t pid) {
  if (g.page != nullptr && g.writable) std::atomic_ref<uint32_t>(g.page->changing).store(pid, std::memory_order_release);
}

// A mark of a process in a change that this one has not acted on.
bool new_mark(const Gate& g) {
  const uint32_t mark = load_changing(g);
  return g.writable && mark != 0 && mark != g.known_mark;
}
// Whether this process's picture is the root's: nobody changed it since it
// last looked, and no process was found killed in a change since.
bool current(const Gate& g) { return load_count(g) == g.seen && !new_mark(g); }

void close_gate(Gate& g) {
  platform::Host& host = platform::host();
  if (g.page != nullptr) host.unmap(g.page, sizeof(GatePage));
  if (g.fd >= 0) host.close(g.fd);
  g.page = nullptr;
  g.fd = -1;
}

// What a file at the gate's name is when it is not one the library would
// have made: null when it is.
const char* not_own(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return "a directory";
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (!S_ISREG(st.st_mode)) return "no regular file";
  if (st.st_nlink != 1) return "a file of several links";
  // Root's own file is trusted by every user, as root may do anything.
  if (st.st_uid != geteuid() && st.st_uid != 0) return "another owner's file";
  return nullptr;
}

void refuse(Gate& g, uint32_t code, const std::string& text) {
  g.refusal = code;
  g.refusal_text = text;
  tavo_set_last_status(code, text.c_str());
}

// Refuses the call with kRootNotGated and why.
void refuse_not_gated(Gate& g, const char* why) {
  char text[TAVO_STATUS_TEXT_SIZE];
  snprintf(text, sizeof text, kRootNotGated.text(), g.path.c_str(), why);
  refuse(g, kRootNotGated.code(), text);
}

// The bytes of the gate file that are locked: the gate, then the flash.
constexpr off_t kGateByte = 0, kFlashByte = 1;

struct flock byte_lock(short type, off_t byte) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  return fl;
}

// Opens the file at the gate's name and maps it. False when the call
// cannot be gated: the root cannot hold the file (g.unused) or the file is
// not the library's (g.foreign).
bool open_file(Gate& g) {
  platform::Host& host = platform::host();
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  g.foreign.clear();
  g.unused.clear();
  int fd = host.open(g.path, O_RDWR | O_CREAT | kFlags, kGateMode);
  if (fd < 0 && errno == ENOENT && files::make_dirs(platform::fixed_path(kGateDirectory), kGateDirectoryMode) == 0)
    fd = host.open(g.path, O_RDWR | O_CREAT | kFlags, kGateMode);
  g.writable = fd >= 0;
  if (fd < 0 && (errno == EROFS || errno == EACCES || errno == EPERM)) fd = host.open(g.path, O_RDONLY | kFlags, 0);
  struct stat st;
  if (fd < 0) {
    const int err = errno;
    // A link is refused by O_NOFOLLOW; a folder cannot be opened to write.
    if (err == ELOOP) g.foreign = "a symbolic link";
    else if (err == EISDIR) g.foreign = "a directory";
    else g.unused = strerror(err);
  } else if (host.fstat(fd, &st) != 0) {
    g.unused = strerror(errno);
  } else if (const char* what = not_own(st)) {
    g.foreign = what;
  } else {
    g.fd = fd;
    g.device = st.st_dev;
    g.inode = st.st_ino;
    // A new file gets its page written (never left sparse: a store through
    // the mapping then needs no room the disk may lack), under the gate.
    if (g.writable && st.st_size < static_cast<off_t>(sizeof(GatePage))) {
      struct flock fl = byte_lock(F_WRLCK, kGateByte);
      pid_t holder = 0;
      static const char zeros[sizeof(GatePage)] = {};
      if (platform::lock_within(host, fd, &fl, root_gate_wait_ms(), &holder) == 0) {
        struct stat now;
        // Flushed with its name, once: a gate that a power cut takes away
        // would be made anew by a call that may not be able to.
        if (host.fstat(fd, &now) == 0 && now.st_size < static_cast<off_t>(sizeof(GatePage)) &&
            host.seek(fd, now.st_size, SEEK_SET) == now.st_size &&
            host.write(fd, zeros + now.st_size, sizeof(GatePage) - static_cast<size_t>(now.st_size)) > 0 &&
            host.fsync(fd) == 0)
          host.fsync_dir(platform::fixed_path(kGateDirectory));
        fl.l_type = F_UNLCK;
        host.lock(fd, F_SETLK, &fl);
      }
      host.fstat(fd, &st);
    }
    // An empty file cannot be mapped (its page lies beyond its end): its
    // count is read from it.
    if (st.st_size > 0) g.page = static_cast<GatePage*>(host.map_shared(fd, sizeof(GatePage), g.writable));
    return true;
  }
  if (fd >= 0) host.close(fd);
  if (!g.foreign.empty())
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s is %s: calls are refused\n", __func__, g.path.c_str(), g.foreign.c_str());
  else
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s: %s: calls are not gated from other processes\n", __func__, g.path.c_str(),
           g.unused.c_str());
  return false;
}

// The file of the root in force, opened once per root; a file found
// foreign is looked at again by each call, until it is the library's.
// False when the call goes ungated or is refused (g.refusal).
bool gate_file(Gate& g, bool look_at_root) {
  platform::Host& host = platform::host();
  if (g.host != platform::host_number() || (look_at_root && !host.root_is(g.root))) {
    close_gate(g);
    g.host = platform::host_number();
    g.root = host.root();
    g.path = platform::fixed_path(kGateFile);
    g.lost = false;
    g.cut = false;
    g.known_mark = 0;
    // What was kept belongs to another root; its first look takes the count
    // as it stands.
    follow_root_change();
    if (open_file(g)) g.seen = load_count(g);
  } else if ((!g.foreign.empty() || g.lost) && open_file(g)) {
    g.lost = false;
    g.seen = load_count(g);
    follow_root_change();
  }
  if (!g.foreign.empty()) {
    char text[TAVO_STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, kRootGateForeign.text(), g.path.c_str(), g.foreign.c_str());
    refuse(g, kRootGateForeign.code(), text);
  } else if (g.lost) {
    refuse_not_gated(g, g.unused.c_str());
  }
  return g.fd >= 0;
}

void let_go(Gate& g);

// Whether the name still leads to the file held. One removed or renamed
// away is made again, one that replaced it is taken when it is the
// library's: the process then follows the root as if the count had moved
// (and holds no gate yet). False when the call is refused.
bool still_named(Gate& g) {
  struct stat st;
  platform::Host& host = platform::host();
  const int looked = host.stat(g.path, &st);
  if (looked == 0 && st.st_dev == g.device && st.st_ino == g.inode && st.st_nlink == 1) return true;
  if (looked != 0 && errno != ENOENT) {
    // What the name leads to cannot be told: the call is not gated.
    const int err = errno;
    let_go(g);
    refuse_not_gated(g, strerror(err));
    return false;
  }
  pdebug(TAVO_LOG_BACKEND, 4, "%s: %s no longer names the file held: opened again\n", __func__, g.path.c_str());
  g.hold = Hold::None;
  close_gate(g);
  g.lost = true;
  return gate_file(g, false);
}

// A lock on one byte of the gate file within the gate's wait: 0, or the
// status of a wait that ran out, refused to the call.
uint32_t take_byte(Gate& g, short type, off_t byte) {
  struct flock fl = byte_lock(type, byte);
  pid_t holder = 0;
  const unsigned wait_ms = root_gate_wait_ms();
  if (platform::lock_within(platform::host(), g.fd, &fl, wait_ms, &holder) == 0) return 0;
  const int err = errno;
  if (err == EAGAIN) {
    const std::string who = holder > 0 ? "process " + std::to_string(holder) : "another process";
    char text[TAVO_STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, kRootBusy.text(), wait_ms, g.path.c_str(), who.c_str());
    refuse(g, kRootBusy.code(), text);
  } else {
    refuse_not_gated(g, strerror(err));  // the system refused the lock itself
  }
  pdebug(TAVO_LOG_BACKEND, 3, "%s: %s\n", __func__, g.refusal_text.c_str());
  return g.refusal;
}

void let_go_byte(const Gate& g, off_t byte) {
  struct flock fl = byte_lock(F_UNLCK, byte);
  platform::host().lock(g.fd, F_SETLK, &fl);
}

uint32_t take_lock(Gate& g, short type) {
  if (take_byte(g, type, kGateByte) != 0) return g.refusal;
  g.hold = type == F_WRLCK ? Hold::Exclusive : Hold::Shared;
  return 0;
}

void let_go(Gate& g) {
  if (g.hold == Hold::None) return;
  if (g.hold == Hold::Exclusive && g.raised) store_changing(g, 0);
  let_go_byte(g, kGateByte);
  g.hold = Hold::None;
}

// Holds the gate (exclusively, or shared where that will do) and follows
// the count: 0, or the refusal.
uint32_t hold_gate(Gate& g, bool exclusive) {
  // A file replaced again and again while this process looks is given up
  // on after a few tries, never waited on without end.
  for (int tries = 0;; ++tries) {
    if (tries == 8) {
      let_go(g);
      refuse_not_gated(g, "replaced while it was taken");
      return g.refusal;
    }
    // A process found in a change while nobody can be is one killed in
    // it: settling what it left takes the gate exclusively.
    const bool whole = g.writable && (exclusive || new_mark(g));
    if (take_lock(g, whole ? F_WRLCK : F_RDLCK) != 0) return g.refusal;
    if (!still_named(g)) return g.refusal;
    if (g.hold == Hold::None) continue;  // a new file: its gate taken afresh
    if (new_mark(g)) {
      if (g.hold != Hold::Exclusive) {
        let_go(g);
        exclusive = true;
        continue;
      }
      // Settled by this call (root_change_cut). The mark stays until a
      // change is made over it, so a process that cannot write the root
      // leaves it for one that can.
      g.cut = true;
      g.known_mark = load_changing(g);
      follow_root_change();
    }
    const uint64_t count = load_count(g);
    if (count != g.seen) {
      g.seen = count;
      follow_root_change();
    }
    return 0;
  }
}

}  // namespace

void set_root_followers(std::span<const RootFollower> keepers) { followers = keepers; }

std::span<const RootFollower> root_followers() { return followers; }

unsigned root_gate_wait_ms() {
  const char* text = platform::setting("TAVO_GATE_WAIT_MS");
  if (text == nullptr || *text == '\0') return kDefaultWaitMs;
  char* end = nullptr;
  const unsigned long ms = strtoul(text, &end, 10);
  return *end == '\0' && ms <= 24ul * 3600 * 1000 ? static_cast<unsigned>(ms) : kDefaultWaitMs;
}

void enter_root_gate(RootUse use) {
  Gate& g = gate();
  g.in_call = true;
  g.use = use;
  g.raised = false;
  g.refusal = 0;
  // A call that reads looks only at the shared count: no system call while
  // nobody changed the root since this process last looked.
  if (use == RootUse::Read && g.fd >= 0 && g.host == platform::host_number() && g.foreign.empty() && current(g)) return;
  if (!gate_file(g, use == RootUse::Change)) return;
  if (use == RootUse::Read && current(g)) return;
  hold_gate(g, use == RootUse::Change);
}

void leave_root_gate() {
  Gate& g = gate();
  let_go(g);
  g.raised = false;
  g.in_call = false;
  if (g.close_at_leave) {
    g.close_at_leave = false;
    close_gate(g);
    g.host = 0;
  }
}

void close_root_gate() { gate().close_at_leave = true; }

void forget_root_gate_in_child() {
  Gate& g = gate();
  g.in_call = false;
  g.hold = Hold::None;
  g.raised = false;
}

uint32_t root_gate_refusal() {
  Gate& g = gate();
  if (g.refusal != 0) tavo_set_last_status(g.refusal, g.refusal_text.c_str());
  return g.refusal;
}

bool root_change_cut() {
  Gate& g = gate();
  const bool cut = g.cut && g.hold == Hold::Exclusive;
  g.cut = g.cut && !cut;
  return cut;
}

bool tell_root_not_gated() {
  const Gate& g = gate();
  if (g.unused.empty()) return true;
  kRootNotGated.set(g.path.c_str(), g.unused.c_str());
  return false;
}

bool note_root_change() {
  Gate& g = gate();
  if (!g.in_call) return true;  // outside a call: the library's own tests
  if (g.refusal != 0) {
    root_gate_refusal();
    return false;
  }
  // Ungated, or writes that fail on their own.
  if (g.fd < 0 || !g.writable) return true;
  if (g.hold != Hold::Exclusive) {
    // A call that reads changes: the gate exclusively, its picture still
    // the root's only when nobody changed the root since it began.
    const uint64_t looked = g.seen;
    if (g.hold == Hold::Shared) let_go(g);
    if (take_lock(g, F_WRLCK) != 0 || !still_named(g)) return false;
    if (g.hold != Hold::Exclusive || load_count(g) != looked || new_mark(g)) {
      let_go(g);
      g.seen = load_count(g);
      follow_root_change();
      refuse(g, kRootMovedInCall, status_text(kRootMovedInCall));
      return false;
    }
  }
  if (g.raised) return true;
  g.raised = true;
  store_changing(g, static_cast<uint32_t>(getpid()));
  g.seen += 1;
  if (g.page != nullptr) std::atomic_ref<uint64_t>(g.page->count).store(g.seen, std::memory_order_release);
  return true;
}

RootGateLetGo::RootGateLetGo() {
  Gate& g = gate();
  if (g.hold == Hold::None) return;
  use_ = g.hold == Hold::Exclusive ? RootUse::Change : RootUse::Read;
  let_go(g);
  g.raised = false;
  let_go_ = true;
}

uint32_t RootGateLetGo::take_back() {
  if (!let_go_) return gate().refusal;
  let_go_ = false;
  Gate& g = gate();
  return hold_gate(g, use_ == RootUse::Change);
}

RootFlashLock::RootFlashLock() {
  Gate& g = gate();
  held_ = g.fd < 0 || !g.writable || g.refusal != 0;
  if (held_) return;
  struct flock fl = byte_lock(F_WRLCK, kFlashByte);
  if (platform::host().lock(g.fd, F_SETLK, &fl) != 0) return;
  fd_ = g.fd;
  held_ = true;
}

uint32_t RootFlashLock::take() {
  Gate& g = gate();
  if (held_ || g.fd < 0) return 0;
  if (const uint32_t refused = take_byte(g, F_WRLCK, kFlashByte)) return refused;
  fd_ = g.fd;
  held_ = true;
  return 0;
}

RootFlashLock::~RootFlashLock() {
  // A gate file opened again since has no lock of this process's.
  if (fd_ >= 0 && fd_ == gate().fd) let_go_byte(gate(), kFlashByte);
}

}  // namespace tavo::base
