// The gate is two things kept apart. libtavo.lock, beside the saved files,
// is only locked (byte 0 the gate, byte 1 the flash), never written or
// mapped: whatever is done to its contents (truncated, a copy put back)
// changes nothing. The page that orders live processes is System V shared
// memory keyed by the configuration folder, where no backup or restore
// reaches: the change count, the mark of a change under way and the queue
// of waiters. Nothing in it is trusted for exclusion (the kernel's lock
// does that): a page removed, replaced or overwritten costs a catch-up or a
// turn out of order, never a crash or a lost change.
#include "base/root_gate.h"

#include <errno.h>
#include <pthread.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

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
const StatusFormat<const char*, unsigned> kGateWaitIgnored{
    TAVO_GATE_WAIT_IGNORED,
    "TAVO_GATE_WAIT_MS is \"%s\", not a whole number of milliseconds from 0 to 86400000: the wait for the gate is "
    "%u ms."};

namespace {

constexpr StatusText kGateStatusTexts[] = {
    {TAVO_ROOT_BUSY, "The configuration is held by another process. Please try again."},
    {TAVO_ROOT_GATE_FOREIGN, "The library's gate file is not its own: calls cannot be gated from other processes."},
    {TAVO_ROOT_MOVED_IN_CALL, "Another process changed the configuration during this call. Please try again."},
    {TAVO_ROOT_NOT_GATED, "Calls are not gated from other processes."},
    {TAVO_GATE_WAIT_IGNORED, "TAVO_GATE_WAIT_MS is not a whole number of milliseconds from 0 to 86400000."},
};
const StatusTable kGateTable{"root gate", kGateStatusTexts};

constexpr char kGateDirectory[] = "/etc/config/QVL/tavo";
constexpr char kGateFile[] = "/etc/config/QVL/tavo/libtavo.lock";
// Readable by all: a process that may not write the root still waits on it.
constexpr mode_t kGateMode = 0644;
constexpr mode_t kGateDirectoryMode = 0755;
constexpr unsigned kDefaultWaitMs = 60 * 1000;
constexpr unsigned long kLongestWaitMs = 24ul * 3600 * 1000;

// A waiter looks again at least this often, whoever wakes it: a holder
// killed lets the lock go without a word.
constexpr unsigned kSliceMs = 10;
// A turn nobody takes for this long (its waiter killed or gone) is passed.
constexpr uint64_t kStallMs = 250;
// More waiters before this one than live processes could be: the queue's
// words were overwritten, and the turn comes to this one at once.
constexpr int32_t kLongestQueue = 4096;
// The keys tried for the page: another program's segment may hold one.
constexpr int kPageKeys = 8;
constexpr uint64_t kPageIdent = 0x7461766f67617465ull;  // "tavogate"

struct GatePage {
  uint64_t ident;       // kPageIdent mixed with the folder's identity; 0 until claimed
  uint64_t generation;  // tells this page from an earlier one of the same folder
  uint64_t count;       // raised by the first change of each call
  uint64_t mark;        // the count a change under way raised the page to; 0 when none
  uint32_t mark_pid;    // its process, for the log
  uint32_t next;        // the ticket the next waiter takes
  uint32_t serving;     // the ticket whose turn it is
  uint32_t wakes;       // raised at each release and each turn passed; waited on
  uint32_t sleepers;    // processes waiting on wakes
  uint32_t beat;        // raised by the waiter whose turn it is, while it waits
};
static_assert(sizeof(GatePage) == 56 && offsetof(GatePage, mark_pid) == 32, "the page's layout");
// Read and written by other processes: no lock of this process's may stand
// in for the hardware's.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free && std::atomic_ref<uint32_t>::is_always_lock_free);

template <typename T>
T load(T& word) {
  return std::atomic_ref<T>(word).load(std::memory_order_acquire);
}
template <typename T>
void store(T& word, T value) {
  std::atomic_ref<T>(word).store(value, std::memory_order_release);
}
template <typename T>
bool swap_from(T& word, T expected, T value) {
  return std::atomic_ref<T>(word).compare_exchange_strong(expected, value);
}
template <typename T>
T add(T& word, T delta) {
  return std::atomic_ref<T>(word).fetch_add(delta);
}

enum class Hold : uint8_t { None, Shared, Exclusive };

// All under the library lock.
struct Gate {
  uint64_t host = 0;  // the host (platform::host_number) and root the file belongs to
  std::string root;
  std::string path;  // the file under that root
  int fd = -1;
  bool writable = false;
  dev_t device = 0;
  ino_t inode = 0;
  // The page: null when none could be had (every call then follows the
  // root), writable only by a process that may write the root.
  GatePage* page = nullptr;
  bool page_writable = false;
  int page_id = -1;
  key_t page_key = 0;
  uint64_t ident = 0, generation = 0;
  int64_t looked = -1;  // the clock's second when the names were last looked at
  std::string unused;      // why calls go ungated ("" gated)
  std::string foreign;     // what the file at the gate's name is, when not the library's
  bool lost = false;       // the file held went and could not be made again (tried by each call)
  uint64_t seen = 0;       // the count this process's picture follows
  // The call's own.
  bool cut = false;    // a change cut short was found under this exclusive hold
  bool cut_told = false;  // and told to the call (root_change_cut)
  bool close_at_leave = false;
  bool in_call = false;  // between enter_root_gate and leave_root_gate
  Hold hold = Hold::None;
  bool raised = false;   // the count was raised for this call
  bool own_mark = false; // the page's mark is this call's change
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

// This process's pid without a system call on every change: a child forked
// since asks again.
std::atomic<pid_t> cached_pid{0};

pid_t own_pid() {
  static const bool forgotten_at_fork = pthread_atfork(nullptr, nullptr, [] { cached_pid.store(0); }) == 0;
  pid_t pid = cached_pid.load(std::memory_order_relaxed);
  if (pid == 0 || !forgotten_at_fork) cached_pid.store(pid = getpid(), std::memory_order_relaxed);
  return pid;
}

uint64_t mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

uint64_t folder_identity(const struct stat& folder) {
  return mix(static_cast<uint64_t>(folder.st_dev) * 0x9e3779b97f4a7c15ull ^ static_cast<uint64_t>(folder.st_ino));
}

key_t page_key(uint64_t identity, int probe) {
  const key_t key = static_cast<key_t>(mix(identity + static_cast<uint64_t>(probe)) & 0x7fffffff);
  return key == IPC_PRIVATE ? 1 : key;
}

void detach_page(Gate& g) {
  if (g.page != nullptr) platform::host().page_detach(g.page);
  g.page = nullptr;
  g.page_writable = false;
  g.page_id = -1;
}

// What a key holds: the library's page for the folder (attached), another
// program's segment or a page written over (the next key is tried), or
// nothing to be had (no page: the error in errno).
enum class AtKey : uint8_t { Page, Other, None };

// The page at key when it is the library's own for the folder (claimed
// here when new). A segment that went between its lookup and its attach
// (the last process of the root removed it) is looked up again, never
// taken for another's: processes must agree on the key.
AtKey page_at(Gate& g, key_t key, uint64_t ident, int* id, GatePage** page, bool* writable) {
  platform::Host& host = platform::host();
  for (int tries = 0; tries < 4; ++tries) {
    *id = host.page_get(key, sizeof(GatePage), g.writable);
    if (*id < 0) return errno == EINVAL ? AtKey::Other : AtKey::None;  // EINVAL: a smaller segment
    struct shmid_ds ds;
    if (host.page_status(*id, &ds) != 0) {
      if (errno == EIDRM || errno == EINVAL) continue;
      return AtKey::None;
    }
    // Root's own page is trusted by every user, as root may do anything.
    if (ds.shm_segsz != sizeof(GatePage) || (ds.shm_perm.uid != geteuid() && ds.shm_perm.uid != 0)) return AtKey::Other;
    *writable = g.writable;
    void* at = host.page_attach(*id, *writable);
    if (at == nullptr && *writable && errno == EACCES) at = host.page_attach(*id, *writable = false);
    if (at == nullptr) {
      if (errno == EIDRM || errno == EINVAL) continue;
      return AtKey::None;
    }
    *page = static_cast<GatePage*>(at);
    if (load((*page)->ident) == 0 && *writable) {
      // Claimed: a generation first, so that a page seen claimed has one.
      const uint64_t nonce =
          mix(platform::real_ms() ^ static_cast<uint64_t>(own_pid()) << 32 ^ static_cast<uint64_t>(*id));
      swap_from<uint64_t>((*page)->generation, 0, nonce | 1);
      swap_from<uint64_t>((*page)->ident, 0, ident);
    }
    if (load((*page)->ident) == ident) return AtKey::Page;
    host.page_detach(at);
    return AtKey::Other;
  }
  return AtKey::None;
}

// Attaches the page of the gate file's folder: the first key whose
// segment is the library's own for it, or is made. False when there is
// none (the reason logged).
bool attach_page(Gate& g) {
  detach_page(g);
  struct stat folder;
  if (platform::host().stat(platform::fixed_path(kGateDirectory), &folder) != 0) return false;
  const uint64_t identity = folder_identity(folder);
  const uint64_t ident = (kPageIdent ^ identity) | 1;
  AtKey found = AtKey::Other;
  for (int probe = 0; probe < kPageKeys && found == AtKey::Other; ++probe) {
    const key_t key = page_key(identity, probe);
    int id = -1;
    GatePage* page = nullptr;
    bool writable = false;
    found = page_at(g, key, ident, &id, &page, &writable);
    if (found != AtKey::Page) continue;
    g.page = page;
    g.page_writable = writable;
    g.page_id = id;
    g.page_key = key;
    g.ident = ident;
    g.generation = load(page->generation);
    return true;
  }
  pdebug(TAVO_LOG_BACKEND, 3, "%s: no page for %s (%s): every call follows the root\n", __func__, g.path.c_str(),
         found == AtKey::None ? strerror(errno) : "every key is another's");
  return false;
}

// Whether the page held is still the one the key names, as it was.
bool page_holds(Gate& g) {
  return g.page != nullptr && load(g.page->ident) == g.ident && load(g.page->generation) == g.generation &&
         platform::host().page_get(g.page_key, 0, false) == g.page_id;
}

void close_gate(Gate& g) {
  detach_page(g);
  if (g.fd >= 0) platform::host().close(g.fd);
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

// Opens the file at the gate's name, and the page. False when the call
// cannot be gated: the root cannot hold the file (g.unused) or the file is
// not the library's (g.foreign).
bool open_file(Gate& g) {
  platform::Host& host = platform::host();
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  g.foreign.clear();
  g.unused.clear();
  int fd = host.open(g.path, O_RDWR | kFlags, 0);
  bool made = false;
  if (fd < 0 && errno == ENOENT) {
    fd = host.open(g.path, O_RDWR | O_CREAT | O_EXCL | kFlags, kGateMode);
    if (fd < 0 && errno == ENOENT && files::make_dirs(platform::fixed_path(kGateDirectory), kGateDirectoryMode) == 0)
      fd = host.open(g.path, O_RDWR | O_CREAT | O_EXCL | kFlags, kGateMode);
    if (fd < 0 && errno == EEXIST) fd = host.open(g.path, O_RDWR | kFlags, 0);  // made meanwhile
    else made = fd >= 0;
  }
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
    // Its name flushed once: a gate that a power cut takes away would be
    // made anew by a call that may not be able to.
    if (made && host.fsync(fd) == 0) host.fsync_dir(platform::fixed_path(kGateDirectory));
    g.fd = fd;
    g.device = st.st_dev;
    g.inode = st.st_ino;
    attach_page(g);
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

// The count as the page says, for a picture taken now.
uint64_t page_count(Gate& g) { return g.page != nullptr ? load(g.page->count) : 0; }

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
    // What was kept belongs to another root; its first look takes the count
    // as it stands.
    follow_root_change();
    if (open_file(g)) g.seen = page_count(g);
  } else if ((!g.foreign.empty() || g.lost) && open_file(g)) {
    g.lost = false;
    g.seen = page_count(g);
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

// Whether the gate's name leads to the file held, and the page's key to the
// page held: a system call each.
bool names_hold(Gate& g) {
  struct stat st;
  return platform::host().stat(g.path, &st) == 0 && st.st_dev == g.device && st.st_ino == g.inode &&
         st.st_nlink == 1 && page_holds(g);
}

// Whether this process's picture is the root's: the page's count stands
// where this process last saw it. Told without a system call, but once a
// second, when the names are looked at again.
bool current(Gate& g) {
  GatePage* p = g.page;
  if (p == nullptr || load(p->count) != g.seen || load(p->ident) != g.ident || load(p->generation) != g.generation)
    return false;
  const int64_t second = platform::clock_second();
  if (second == g.looked) return true;
  // Under a host that stands its clock only locks look: a simulated run
  // then makes the same file calls however long it takes.
  if (platform::host().clock_stands()) return true;
  if (!names_hold(g)) return false;
  g.looked = second;
  return true;
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
  let_go(g);
  close_gate(g);
  g.lost = true;
  return gate_file(g, false);
}

// Wakes the processes waiting for a turn or a lock.
void wake_waiters(Gate& g) {
  GatePage* p = g.page;
  if (p == nullptr) return;
  if (g.page_writable) add<uint32_t>(p->wakes, 1);
  if (load(p->sleepers) != 0) platform::wake_word(&p->wakes);
}

int try_byte(Gate& g, short type, off_t byte) {
  struct flock fl = byte_lock(type, byte);
  int r;
  do {
    r = platform::host().lock(g.fd, F_SETLK, &fl);
  } while (r != 0 && errno == EINTR);
  return r;
}

// One waiter's place among others: its ticket (when the page can hold
// one) and what it last saw of the turn.
struct Waiter {
  GatePage* page = nullptr;  // writable, or null
  bool queued = false;
  bool sleeping = false;  // counted among the page's sleepers
  uint32_t ticket = 0;
  uint32_t serving = 0, beat = 0;  // the turn as last seen
  uint64_t still_since = 0;        // since when it stood

  int32_t ahead() const { return queued ? static_cast<int32_t>(ticket - load(page->serving)) : 0; }
  // The turn passes to the next ticket.
  void pass_turn(Gate& g) {
    if (queued && swap_from(page->serving, ticket, ticket + 1)) wake_waiters(g);
    queued = false;
  }
  void leave() {
    if (sleeping) add<uint32_t>(page->sleepers, static_cast<uint32_t>(-1));
    sleeping = false;
  }
  // A turn that stood still for kStallMs, its waiter not beating, is passed
  // on (to this one at once when the queue cannot be what it says).
  void pass_stalled_turn(Gate& g, int32_t ahead_now) {
    const uint32_t serving_now = ticket - static_cast<uint32_t>(ahead_now), beat_now = load(page->beat);
    const uint64_t now = platform::real_ms();
    if (serving_now != serving || beat_now != beat || still_since == 0) {
      serving = serving_now;
      beat = beat_now;
      still_since = now;
    } else if (now - still_since >= kStallMs) {
      const uint32_t to = ahead_now > kLongestQueue ? ticket : serving_now + 1;
      if (swap_from(page->serving, serving_now, to)) wake_waiters(g);
      still_since = 0;
    }
  }
};

// Takes the lock of type on the byte within wait_ms, in turn with the other
// waiters where the page holds a queue (the gate's byte): 0, or -1 with
// errno (EAGAIN once the wait ran out, *holder then the holder as F_GETLK
// tells it).
int wait_byte(Gate& g, short type, off_t byte, unsigned wait_ms, pid_t* holder) {
  Waiter w;
  w.page = g.page_writable ? g.page : nullptr;
  w.queued = w.page != nullptr && byte == kGateByte;
  if (w.queued) w.ticket = add<uint32_t>(w.page->next, 1);
  uint64_t deadline = 0;
  for (;;) {
    const uint32_t wakes = g.page != nullptr ? load(g.page->wakes) : 0;
    const int32_t ahead = w.ahead();
    if (ahead <= 0) {
      if (try_byte(g, type, byte) == 0) {
        w.leave();
        if (ahead == 0) w.pass_turn(g);
        return 0;
      }
      if (errno != EAGAIN && errno != EACCES) {
        const int err = errno;
        w.leave();
        w.pass_turn(g);
        errno = err;
        return -1;
      }
      if (w.queued) add<uint32_t>(w.page->beat, 1);  // the turn is this one's: it waits for the holder
    } else {
      w.pass_stalled_turn(g, ahead);
    }
    const uint64_t now = platform::real_ms();
    if (deadline == 0) deadline = now + wait_ms;
    if (now >= deadline) break;
    if (w.page != nullptr && !w.sleeping) {
      // Counted before the next look, so that a release after it wakes this one.
      add<uint32_t>(w.page->sleepers, 1);
      w.sleeping = true;
      continue;
    }
    const unsigned nap = static_cast<unsigned>(std::min<uint64_t>(kSliceMs, deadline - now));
    if (g.page != nullptr) {
      platform::wait_on_word(&g.page->wakes, wakes, nap);
    } else {
      const timespec pause = {0, static_cast<long>(std::min(nap, 2u)) * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
  w.leave();
  if (w.ahead() == 0) w.pass_turn(g);
  struct flock probe = byte_lock(type, byte);
  if (platform::host().lock(g.fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) *holder = probe.l_pid;
  errno = EAGAIN;
  return -1;
}

// A lock on one byte of the gate file within the gate's wait: 0, or the
// status of a wait that ran out, refused to the call.
uint32_t take_byte(Gate& g, short type, off_t byte) {
  pid_t holder = 0;
  const unsigned wait_ms = root_gate_wait_ms();
  if (wait_byte(g, type, byte, wait_ms, &holder) == 0) return 0;
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

void let_go_byte(Gate& g, off_t byte) {
  struct flock fl = byte_lock(F_UNLCK, byte);
  platform::host().lock(g.fd, F_SETLK, &fl);
  wake_waiters(g);
}

uint32_t take_lock(Gate& g, short type) {
  if (take_byte(g, type, kGateByte) != 0) return g.refusal;
  g.hold = type == F_WRLCK ? Hold::Exclusive : Hold::Shared;
  return 0;
}

// The call's own change is over, or the cut one that its catch-up
// settled: the mark goes.
void drop_own_mark(Gate& g) {
  if (g.hold == Hold::Exclusive && (g.own_mark || g.cut) && g.page_writable) {
    store<uint64_t>(g.page->mark, 0);
    store<uint32_t>(g.page->mark_pid, 0);
  }
  g.own_mark = g.cut = false;
}

void let_go(Gate& g) {
  if (g.hold == Hold::None) return;
  drop_own_mark(g);
  g.hold = Hold::None;
  g.cut = g.cut_told = g.own_mark = false;
  let_go_byte(g, kGateByte);
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
    if (take_lock(g, g.writable && exclusive ? F_WRLCK : F_RDLCK) != 0) return g.refusal;
    if (!still_named(g)) return g.refusal;
    if (g.hold == Hold::None) continue;  // a new file: its gate taken afresh
    // Without the page held, what it said is not this root's: followed.
    bool moved = !page_holds(g) && (attach_page(g), true);
    const uint64_t count = page_count(g);
    moved |= g.page == nullptr || count != g.seen;
    g.seen = count;
    // A mark found while nobody else can be in a change is a change cut
    // short: settled by the catch-up it brings (root_change_cut), once.
    if (g.hold == Hold::Exclusive && g.page != nullptr && load(g.page->mark) != 0) {
      pdebug(TAVO_LOG_BACKEND, 4, "%s: a change of process %u was cut short: settled\n", __func__,
             static_cast<unsigned>(load(g.page->mark_pid)));
      g.cut = moved = true;
    }
    if (moved) follow_root_change();
    g.looked = platform::clock_second();
    return 0;
  }
}

// What TAVO_GATE_WAIT_MS asks for in *ms; false when it is set to what is
// not a whole number of milliseconds up to kLongestWaitMs (*ms then the
// default).
bool wait_setting(unsigned* ms) {
  *ms = kDefaultWaitMs;
  const char* text = platform::setting("TAVO_GATE_WAIT_MS");
  if (text == nullptr || *text == '\0') return true;
  unsigned long value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(*c - '0');
    if (value > kLongestWaitMs) return false;
  }
  *ms = static_cast<unsigned>(value);
  return true;
}

}  // namespace

void set_root_followers(std::span<const RootFollower> keepers) { followers = keepers; }

std::span<const RootFollower> root_followers() { return followers; }

unsigned root_gate_wait_ms() {
  unsigned ms = kDefaultWaitMs;
  wait_setting(&ms);
  return ms;
}

void enter_root_gate(RootUse use) {
  Gate& g = gate();
  g.in_call = true;
  g.raised = false;
  g.refusal = 0;
  // A call that reads looks only at the page: no system call while nobody
  // changed the root since this process last looked.
  if (use == RootUse::Read && g.fd >= 0 && g.host == platform::host_number() && g.foreign.empty() && current(g)) return;
  if (!gate_file(g, use == RootUse::Change)) return;
  if (use == RootUse::Read && current(g)) return;
  hold_gate(g, use == RootUse::Change);
}

void leave_root_gate() {
  Gate& g = gate();
  if (g.close_at_leave && g.page != nullptr) {
    // The last client leaves: a page no other process holds goes, and this
    // process lets its page go before the gate, so that one leaving after
    // it does not count it among the page's holders.
    struct shmid_ds ds;
    if (g.hold == Hold::Exclusive && platform::host().page_status(g.page_id, &ds) == 0 && ds.shm_nattch == 1)
      platform::host().page_remove(g.page_id);
    drop_own_mark(g);
    detach_page(g);
  }
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
  g.cut = g.cut_told = g.own_mark = false;
}

int root_page_id() { return gate().page_id; }

void drop_cut_mark() {
  Gate& g = gate();
  if (g.page == nullptr || !g.page_writable) return;
  store<uint64_t>(g.page->mark, 0);
  store<uint32_t>(g.page->mark_pid, 0);
}

std::vector<int> root_pages(const std::string& root) {
  platform::Host& host = platform::host();
  std::vector<int> ids;
  struct stat folder;
  if (host.stat(root + kGateDirectory, &folder) != 0) return ids;
  const uint64_t identity = folder_identity(folder);
  for (int probe = 0; probe < kPageKeys; ++probe) {
    // A page of the library's size at the root's keys, its words written
    // over or not.
    const int id = host.page_get(page_key(identity, probe), 0, false);
    struct shmid_ds ds;
    if (id >= 0 && host.page_status(id, &ds) == 0 && ds.shm_segsz == sizeof(GatePage)) ids.push_back(id);
  }
  return ids;
}

void remove_root_page(const std::string& root) {
  // The system refuses what this user may not remove.
  for (const int id : root_pages(root)) platform::host().page_remove(id);
}

uint32_t root_gate_refusal() {
  Gate& g = gate();
  if (g.refusal != 0) tavo_set_last_status(g.refusal, g.refusal_text.c_str());
  return g.refusal;
}

bool root_change_cut() {
  Gate& g = gate();
  if (!g.cut || g.cut_told || g.hold != Hold::Exclusive) return false;
  g.cut_told = true;
  return true;
}

bool tell_gate_at_start() {
  const Gate& g = gate();
  unsigned ms = 0;
  if (!wait_setting(&ms)) {
    // The value as typed, what cannot be shown in a status text replaced.
    char shown[33];
    const char* text = platform::setting("TAVO_GATE_WAIT_MS");
    size_t n = 0;
    for (; text[n] != '\0' && n + 1 < sizeof shown; ++n) shown[n] = text[n] >= ' ' && text[n] < 127 ? text[n] : '?';
    shown[n] = '\0';
    kGateWaitIgnored.set(shown, ms);
    return false;
  }
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
    if (g.hold != Hold::Exclusive || !page_holds(g) || page_count(g) != looked) {
      let_go(g);
      if (!page_holds(g)) attach_page(g);
      g.seen = page_count(g);
      follow_root_change();
      refuse(g, kRootMovedInCall, status_text(kRootMovedInCall));
      return false;
    }
  }
  if (g.raised) return true;
  if (g.page != nullptr && !g.page_writable) {
    // Another user's page: this process's changes would go unseen.
    refuse_not_gated(g, "its page is another user's");
    return false;
  }
  g.raised = true;
  if (g.page == nullptr) return true;  // every process follows at each call
  g.seen += 1;
  // A change cut short that this call did not settle keeps its mark, which
  // tells of this one too: the next exclusive hold settles every note.
  g.own_mark = g.cut || load(g.page->mark) == 0;
  if (g.own_mark) {
    store<uint32_t>(g.page->mark_pid, static_cast<uint32_t>(own_pid()));
    store<uint64_t>(g.page->mark, g.seen);
  }
  store<uint64_t>(g.page->count, g.seen);
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
  if (try_byte(g, F_WRLCK, kFlashByte) != 0) return;
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
