// The seam between the library and everything outside it: files, driver
// devices, shell commands, clock and host name. Library code reaches the host
// only through host(); the simulator is a second implementation of Host.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tavo::platform {

class Host {
 public:
  virtual ~Host() = default;

  // Root under which fixed host paths are placed ("" for the real host
  // without TAVO_ROOT).
  virtual std::string root() const = 0;
  // Whether root() answers text, told without a copy.
  virtual bool root_is(const std::string& text) const { return root() == text; }

  // Files. POSIX contracts: -1 with errno on failure.
  virtual int open(const std::string& path, int flags, mode_t mode) = 0;
  virtual ssize_t read(int fd, void* buf, size_t n) = 0;
  // A read at offset: pread(2) in one call where the host has it, else a
  // seek and a read (which move the descriptor's offset; pread leaves it).
  virtual ssize_t read_at(int fd, void* buf, size_t n, off_t offset) {
    return seek(fd, offset, SEEK_SET) < 0 ? -1 : read(fd, buf, n);
  }
  virtual ssize_t write(int fd, const void* buf, size_t n) = 0;
  virtual off_t seek(int fd, off_t offset, int whence) = 0;
  // ftruncate(2).
  virtual int truncate(int fd, off_t length) = 0;
  virtual int fsync(int fd) = 0;
  // fdatasync(2): the data and what reading it needs (the size), not the
  // times. A host without it flushes whole.
  virtual int fdatasync(int fd) { return fsync(fd); }
  // Flushes a directory's entries (names created, renamed or removed in it)
  // to disk: a rename stands after a power cut only once this succeeded.
  virtual int fsync_dir(const std::string& path) = 0;
  virtual int close(int fd) = 0;
  virtual int rename(const std::string& from, const std::string& to) = 0;
  virtual int unlink(const std::string& path) = 0;
  virtual int mkdir(const std::string& path, mode_t mode) = 0;
  // chmod(2) of path itself, never through a link planted there (-1,
  // ELOOP).
  virtual int chmod(const std::string& path, mode_t mode) = 0;
  virtual int stat(const std::string& path, struct stat* st) = 0;
  // fstat(2): what an open descriptor is (a path may change meanwhile).
  virtual int fstat(int fd, struct stat* st) = 0;
  // futimens(2) of the modification time alone (the access time stays).
  virtual int set_modified(int fd, const timespec& when) = 0;
  // The names in a directory ("." and ".." left out) into *names (cleared
  // first).
  virtual int list_directory(const std::string& path, std::vector<std::string>* names) = 0;
  // fcntl record locks: cmd is F_SETLK, F_SETLKW or F_GETLK.
  virtual int lock(int fd, int cmd, struct flock* fl) = 0;
  // System V shared memory, the pages processes share by a key: the id of
  // the segment of key (made zero-filled, mode 0644, when create and
  // missing), attached (readable, and writable when asked; null with errno
  // on failure), detached, its state (IPC_STAT) and its removal (IPC_RMID:
  // it goes once the last process detached). -1 with errno on failure.
  virtual int page_get(key_t key, size_t size, bool create) = 0;
  virtual void* page_attach(int id, bool writable) = 0;
  virtual int page_detach(const void* at) = 0;
  virtual int page_status(int id, struct shmid_ds* ds) = 0;
  virtual int page_remove(int id) = 0;

  // Driver character devices. device_ioctl answers the driver's result:
  // 0 or a positive value on success, -1 with errno on failure.
  virtual int device_open(const std::string& path, int flags) = 0;
  virtual int device_ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual int device_close(int fd) = 0;

  // A shell command line as system(3) runs it; answers the wait status
  // (exit status in bits 8-15), -1 when no shell could run.
  virtual int shell(const std::string& command) = 0;
  // The same, with the command's standard output in *output (cleared
  // first; standard error is not captured). The one way the library reads
  // what a command prints: no temporary file is involved.
  virtual int shell_output(const std::string& command, std::string* output) = 0;

  // Clock: wall time in seconds, a monotonic millisecond counter, sleeping.
  virtual time_t now() = 0;
  // The clock the file system stamps changes with (CLOCK_REALTIME_COARSE):
  // a change made after it was read is stamped no earlier, but for the
  // file system's granularity. Not the simulated clock: files are real.
  virtual timespec file_clock() = 0;
  virtual uint64_t monotonic_ms() = 0;
  virtual void sleep_seconds(unsigned seconds) = 0;
  virtual int host_name(char* buf, size_t len) = 0;
  virtual int uname(struct utsname* out) = 0;

  // Whether the host stands its clock (the simulator's, for a test): what
  // is looked at once a second is then looked at only where a call looks
  // anyway, however long a run takes.
  bool clock_stands() const { return clock_stands_.load(std::memory_order_acquire); }

 protected:
  std::atomic<bool> clock_stands_{false};
};

// Makes the simulated host for a topology file path or "default"; nullptr
// with the reason in *error when the topology is bad.
using HostFactory = std::unique_ptr<Host> (*)(const std::string& topology, std::string* error);

// The host in force. On first use it is the real host, or, when
// TAVO_SIMULATOR names a topology, the simulator: the registered factory's,
// else the one of the simulator module (kSimulatorModule) beside
// libtavo.so, or, for a program linked with the archive, beside the
// program or in the install's lib folder. When the simulator was asked for and cannot be had, the host
// refuses every call (it never falls back to the real host) and
// host_failure() tells why.
Host& host();
// Rises with each host put in force: what a host made where an earlier one
// lay is told from it.
uint64_t host_number();

// The reason the host in force refuses every call, or "" when it does not.
std::string host_failure();

// A line for the operator where nothing of the library's own can carry it
// (standard error): the simulator cannot be had, the debug log cannot be
// opened safely.
void tell_operator(const std::string& line);

// Replaces the host in force (tests and the simulator's start-up). Passing
// nullptr returns to the choice made from the environment.
void install_host(std::unique_ptr<Host> h);

// Registers the simulator's factory (a simulator linked into the program
// calls it when it loads). nullptr removes it.
void set_host_factory(HostFactory factory);

// The simulator module and its one entry point, which answers a new Host
// (the caller owns it) or NULL with a terminated reason in error:
//   Host* tavo_simulator_create_host(const char* topology, char* error, size_t error_size)
inline constexpr char kSimulatorModule[] = "libtavo-sim.so";
inline constexpr char kSimulatorEntry[] = "tavo_simulator_create_host";

// A fixed host path (/etc/..., /var/log/..., /tmp/..., /vmfs/...) placed
// under the host's root, its "." and ".." resolved by the text alone and
// never above the root ("/../../x" is <root>/x). A relative path, and any
// path on a host without a root, is left as it is.
std::string fixed_path(const std::string& path);
// The paths placed so far are forgotten, with their room (the library
// stops).
void forget_fixed_paths();

// A stdio stream whose reads and writes go through host() file calls.
// Modes as fopen(3) ("r", "w", "a", "r+", "w+", "a+", with "e" and "x");
// a mode that writes does not follow a link at the path (the open fails).
FILE* open_stream(const std::string& path, const char* mode);
// The same over a descriptor from host().open, which the stream then owns
// (fclose closes it; on failure it is closed here). mode must suit it.
FILE* stream_over(int fd, const char* mode);

// Waits while the word, shared with other processes, holds expected: until
// another wakes it (wake_word), timeout_ms pass or a signal comes. A futex:
// no system call is made by a process that never waits.
void wait_on_word(const uint32_t* word, uint32_t expected, unsigned timeout_ms);
void wake_word(const uint32_t* word);

// The wall clock's second (time(2): read without a system call, at about
// the cost of a load): the tick of checks made about once a second on paths
// that must make none. A step of the clock only brings a check forward.
int64_t clock_second();
// Milliseconds of the monotonic clock, to the millisecond: for waits on
// other processes, which are real whatever the host's clock says.
uint64_t real_ms();

// A setting from the environment (secure_getenv: none for a program that
// runs with other rights); null when unset.
const char* setting(const char* name);

// True while a process of that id runs (one of another user's included).
// Processes are the machine's own under any host: the simulator runs real
// ones, so this asks the kernel.
bool process_alive(pid_t pid);

// The real host: POSIX calls, with paths rooted at TAVO_ROOT when set.
std::unique_ptr<Host> make_real_host();

}  // namespace tavo::platform
