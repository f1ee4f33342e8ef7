// The simulated host: a second implementation of platform::Host that stands
// in for the ESX host, the adapter drivers and the firmware. Files are real
// files under a private root; devices, shell commands and the clock are
// simulated. Every request is logged and faults are injected from data.
#pragma once

#include <stdint.h>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host.h"
#include "simulator/iscsi_state.h"
#include "simulator/network_state.h"
#include "simulator/nic_state.h"
#include "simulator/state_file.h"
#include "simulator/topology.h"
#include "transport/device_layout.h"

namespace tavo::sim {

class Simulator;

// One mailbox command as the firmware sees it.
struct MailboxCall {
  bool via_nic = false;             // NIC device (wrapped) or iSCSI device
  const SimFunction* function = nullptr;
  const SimController* controller = nullptr;
  MailboxRequestHeader header{};    // as sent
  std::span<uint8_t> payload;       // request_length bytes, answered in place
};

struct MailboxReply {
  uint8_t status = 0;
  uint16_t additional_status = 0;
  int64_t actual_length = -1;       // -1: the request length
  int64_t length_word = -1;         // answer header bytes 8-11 (text answers); -1: as sent
};

using Responder = std::function<MailboxReply(Simulator&, MailboxCall&)>;

// Any value of a match field.
inline constexpr int kAny = -1;

enum class FaultKind {
  FirmwareStatus,  // the firmware answers status/additional_status
  IoctlErrno,      // the ioctl fails with err
  OpenFails,       // device_open fails with err
  ResponseLength,  // actual_response_length (and a text answer's length word) forced to length
  NoAnswer,        // no answer within the header's timeout (clock advances)
  NicCountChange,  // from the next NIC device open, the driver lists nic_count functions
  VfRefusal,       // VF table request and "ip link set ... vf" refused
  CountOverflow,   // the NIC driver answers beyond its tables: counts of 255 (chips,
                   // functions per chip, VFs), a PCI data length of 4096
  FileErrno,       // a file call fails with err
  ShortWrite,      // a write stores only half of what it was given
  Crash,           // the process is killed at the file call: what it wrote stays
  PowerCut,        // the power fails at the file call: only what was flushed
                   // stays (and what `kept` keeps of appends), and a rename
                   // only once its directory was flushed
  ReadOnly,        // a file call that would change what is stored (an open
                   // that may write, a write, truncate, rename, unlink,
                   // mkdir, chmod) fails with err, as on a read-only mount
  CommandCrash,    // the process is killed as the mailbox request arrives:
                   // the firmware never sees it (with changes_only, only
                   // requests that may change the adapters match)
};

struct Fault {
  FaultKind kind = FaultKind::FirmwareStatus;
  // Match: mailbox (subsystem, opcode) and function (iSCSI device number or
  // NIC PCI "bus:dev.fn" index, see below); ioctl request; file call.
  int subsystem = kAny;
  int opcode = kAny;
  int function = kAny;              // iSCSI device number, or NIC function index (1-based)
  int version = kAny;               // mailbox header version
  long request = kAny;              // ioctl request number
  std::string file_call;            // "open", "read", "write", "truncate", "fsync", "fsync_dir", "readdir",
                                    // "close", "rename", "unlink", "mkdir", "chmod", "lock", "page",
                                    // "stat", "fstat", "utimens" or "" (any)
  std::string path_contains;        // file faults: path substring ("" any)
  bool changes_only = false;        // CommandCrash: see there
  // Schedule: let `skip` matching calls through, then inject `times` times
  // (-1: always).
  int skip = 0;
  int times = 1;
  int injected = 0;
  // Effect.
  uint8_t status = 0;
  uint16_t additional_status = 0;
  int err = 5;                      // EIO
  int64_t length = 0;
  int nic_count = 0;
  // PowerCut: of the bytes each file was appended since its last flush,
  // the first `kept` stay, a write torn where they end (-1: all of them).
  // A file written otherwise keeps only what was flushed.
  int64_t kept = 0;
};

enum class LogKind { IscsiIoctl, NicIoctl, Shell, DeviceOpen, DeviceClose };

struct LogEntry {
  LogKind kind;
  std::string device;               // device path without the root
  unsigned long request = 0;
  std::vector<uint8_t> bytes;       // raw request as the library sent it
  std::string command;              // shell command line
};

// The log keeps the latest requests only, so that a simulator may answer
// for hours: by default at most this many, and of their raw bytes at most
// this much (the newest request is kept whatever its size; with no bytes
// allowed, entries keep none). Counts of requests are kept apart and stay
// exact however many the log dropped.
inline constexpr size_t kLogEntriesKept = 8192;
inline constexpr size_t kLogBytesKept = size_t{64} << 20;

// Exit status of a process ended by a crash or power-cut fault.
inline constexpr int kCrashExitCode = 86;

// Safe from any thread: every call holds the simulator's one (recursive)
// lock, responders included.
class Simulator final : public platform::Host {
 public:
  Simulator(Topology topology, std::string root);
  ~Simulator() override;

  // --- configuration for tests ---
  Topology& topology();
  void on(uint8_t subsystem, uint8_t opcode, Responder r, int version = kAny);
  void set_default_reply(MailboxReply r) { default_reply_ = r; }
  Fault& inject(const Fault& f);
  void clear_faults();
  // The latest requests, oldest first (see kLogEntriesKept).
  std::vector<LogEntry> log() const;
  // Empties the log and sets the counts below back to 0.
  void clear_log();
  // What the log keeps from now on (a test that reads a longer stretch).
  void set_log_bounds(size_t entries, size_t bytes);
  std::vector<LogEntry> mailbox_log() const;  // iSCSI and NIC mailbox requests of the log
  // Requests since the log was last cleared, whether or not the log still
  // holds them: of one kind, and mailbox requests (iSCSI and NIC) of one
  // subsystem and opcode.
  uint64_t request_count(LogKind kind) const;
  uint64_t mailbox_count(uint8_t subsystem, uint8_t opcode) const;
  // A command line starting with prefix exits with status, printing output
  // (and error on standard error).
  void set_shell_answer(const std::string& prefix, int status, const std::string& output,
                        const std::string& error = "");
  // Host interfaces are up until ifconfig (or a test) takes them down.
  void set_interface_up(const std::string& name, bool up);
  bool interface_up(const std::string& name) const;
  // Files written (created, renamed to, made) outside the root; must stay empty.
  std::vector<std::string> outside_root_writes() const;
  int open_device_count() const;
  // Bytes the process read from files so far.
  uint64_t bytes_read() const;
  // The library's file calls of one kind ("open", "write", "fsync",
  // "rename" ..., as a fault names them) since the log was last cleared.
  uint64_t file_calls(const std::string& call) const;
  void advance_ms(uint64_t ms);
  // The file system's clock stands at the time a change made now is
  // stamped with, seconds_on later: every change from now on is stamped
  // with it, as all changes within one tick of a coarse clock are (the
  // files' times read no later than it), and file_clock answers it. Answers
  // that time. Called again, the clock moves to the new time. While it
  // stands, what the library looks at once a second waits for a lock.
  timespec stop_file_clock(time_t seconds_on = 0);
  // Per-controller flash objects and firmware state for responders.
  std::map<std::string, std::vector<uint8_t>>& flash(int controller);
  int nic_function_count() const;
  std::vector<const SimFunction*> nic_functions() const;
  const SimController* controller(int index) const;
  // The function's 256 bytes of PCI configuration space (NIC request 8,
  // mailbox 72/1).
  std::vector<uint8_t> pci_config_space(const SimFunction& fn) const;
  // The TCP/IP stack of the iSCSI function on cv2iscsi_<device>; null for none.
  SimNetwork* network(int iscsi_device);
  // The iSCSI sessions and persistent targets of the function on
  // cv2iscsi_<device> (made on first use, with the targets the topology
  // says it holds); null for none.
  SimIscsi* sessions(int iscsi_device);
  // The NIC side of a function (made from its topology keys on first use),
  // and of the function with that PCI function number on a controller
  // (null for none).
  SimNicState& nic_state(const SimFunction& fn);
  SimNicState* nic_state(int controller, int pci_function);

  // The adapters outlive a process: their state (flash objects, sessions
  // and persistent targets, TCP/IP stacks, NIC sides, ports, LUN disks and
  // the host's interfaces) is kept under the root for every process that
  // uses it, brought up to date after each command that changes it and
  // read again when another process changed it (adapter_state.cpp).
  //
  // A power cycle: the adapters lose their state, for every process on the
  // root, and start from the topology's again.
  void power_cycle();
  // The state kept under the root goes back to what this process last saw:
  // a test undoes so what a child it waited for did to the adapters.
  void rewind_adapters();
  // For benchmarks that run in one process only: the adapters' state stays
  // in this process, and commands no longer compare it with the root's nor
  // write it there (about a tenth of an in-process request). No other
  // process on the root sees it any more. Never for a user's process.
  void keep_adapters_in_process();
  // Why the adapters cannot be kept under the root, "" when they can: what
  // stands there is not the simulator's (start_simulator refuses the root).
  const std::string& state_failure() const { return state_failure_; }

  // --- platform::Host ---
  std::string root() const override { return root_; }
  bool root_is(const std::string& text) const override { return root_ == text; }
  int open(const std::string& path, int flags, mode_t mode) override;
  ssize_t read(int fd, void* buf, size_t n) override;
  ssize_t read_at(int fd, void* buf, size_t n, off_t offset) override;
  ssize_t write(int fd, const void* buf, size_t n) override;
  off_t seek(int fd, off_t offset, int whence) override;
  int truncate(int fd, off_t length) override;
  int fsync(int fd) override;
  int fsync_dir(const std::string& path) override;
  int close(int fd) override;
  int rename(const std::string& from, const std::string& to) override;
  int unlink(const std::string& path) override;
  int mkdir(const std::string& path, mode_t mode) override;
  int chmod(const std::string& path, mode_t mode) override;
  int stat(const std::string& path, struct stat* st) override;
  int fstat(int fd, struct stat* st) override;
  int set_modified(int fd, const timespec& when) override;
  int list_directory(const std::string& path, std::vector<std::string>* names) override;
  int lock(int fd, int cmd, struct flock* fl) override;
  int page_get(key_t key, size_t size, bool create) override;
  void* page_attach(int id, bool writable) override;
  int page_detach(const void* at) override;
  int page_status(int id, struct shmid_ds* ds) override;
  int page_remove(int id) override;
  int device_open(const std::string& path, int flags) override;
  int device_ioctl(int fd, unsigned long request, void* arg) override;
  int device_close(int fd) override;
  int shell(const std::string& command) override;
  int shell_output(const std::string& command, std::string* output) override;
  time_t now() override;
  timespec file_clock() override;
  uint64_t monotonic_ms() override;
  void sleep_seconds(unsigned seconds) override;
  int host_name(char* buf, size_t len) override;
  int uname(struct utsname* out) override;

  using FileCallCounts = std::array<uint64_t, 17>;

  // Shell stages answer text for a command line's words (see shell.cpp).
  struct ShellResult {
    int status = 0;
    std::string out;
    std::string err{};  // standard error
  };

 private:
  struct Device {
    bool nic = false;
    int iscsi_device = -1;
    std::string path;
  };
  // What a power cut leaves of a file the process wrote: its content at
  // the last fsync (or before the first write); exists is false for a file
  // created and never flushed.
  struct Durable {
    std::string content;
    bool exists = true;
    off_t length = -1;  // >= 0: only appended to since; its first length bytes are the content
  };
  // A rename stands after a power cut once its directory was flushed.
  struct PendingRename {
    std::string from, to;
    Durable replaced;    // what `to` held, when it was unsynced or missing
    std::string backup;  // else a second name of the file `to` held
  };

  // changes: whether the request may change the adapters.
  Fault* match_fault(FaultKind kind, int subsystem, int opcode, int function, long request, int version = kAny,
                     bool changes = true);
  // opens_to_write: an open that may write (other calls are told by name).
  Fault* match_file_fault(const char* call, const std::string& path, bool opens_to_write = false);
  int file_fault(const char* call, const std::string& path, bool opens_to_write = false);
  // A stat's answer with its times as the stopped file clock left them.
  int stamped(int result, struct stat* st) const;
  const std::string& fd_path(int fd) const;  // "" for one not open for writing
  // Whether a path written lies under the root; one outside is noted.
  bool note_write_path(const std::string& path);
  void mark_dirty(int fd);
  // The content of a record that kept only a length, read from the file.
  void keep_content(const std::string& path, Durable* d, int fd = -1);
  // kept: Fault::kept.
  [[noreturn]] void power_cut(int64_t kept);
  void count_file_call(const char* call);
  std::string strip_root(const std::string& path) const;
  // Whether a path the library names (a relative one from the current
  // directory) lies under the root.
  bool inside_root(const std::string& path) const;

  // Logs a request and counts it (its mailbox header, when it carries one);
  // its raw bytes are kept only while the log keeps bytes.
  void log_request(LogKind kind, std::string_view device, unsigned long request,
                   std::span<const uint8_t> bytes = {}, const MailboxRequestHeader* mailbox = nullptr);
  void trim_log();  // drops the oldest requests beyond the log's bounds
  LogEntry logged(size_t index) const;
  int mailbox(const Device& dev, uint8_t* buf, size_t total, bool via_nic, const SimFunction* fn);
  int nic_request(unsigned long request, void* arg);
  int nic_mailbox(unsigned long request, uint8_t* bytes);
  int nic_chip_info(NicChipInfo* info, unsigned long request);
  const SimFunction* nic_function_at(uint8_t bus, uint8_t dev, uint8_t fn) const;
  // The simulated shell's commands, one row per command word
  // (shell_commands.cpp); run_stage looks a stage's first word up there.
  struct ShellCommands;
  ShellResult run_stage(const std::vector<std::string>& words, const std::string& input);
  // A path the shell names, placed under the root; the NIC function of an
  // interface name.
  std::string under_root(const std::string& path) const;
  const SimFunction* nic_named(const std::string& name) const;
  ShellResult run_pipeline(const std::string& line);

  // The adapters' state under the root (adapter_state.cpp). Each part is
  // kept as items: a flash object in pages, a function's stack, iSCSI state
  // (and each session apart), NIC side, a port, the LUN disks, the host.
  enum PartKind : char {
    kPartFlash = 'F',    // a controller's flash objects
    kPartNetwork = 'N',  // by iSCSI device
    kPartIscsi = 'I',    // by iSCSI device
    kPartNic = 'C',      // by controller and PCI function
    kPartPort = 'P',     // by controller and port
    kPartLuns = 'L',
    kPartHost = 'H',
  };
  struct Part {
    char kind;
    int a = 0, b = 0;
    bool operator==(const Part&) const = default;
  };
  // A part a command reached (or, outside commands, one a test reached).
  void touch(char kind, int a = 0, int b = 0);
  // Around each command: what other processes changed is read first; a
  // command that may change the adapters holds the exclusive lock and
  // leaves its changes under the root. command_end is false when they
  // could not be kept there: the command fails then, and the adapters are
  // again as the root keeps them.
  void command_begin(bool changes);
  bool command_end(bool changes, const SimController* controller = nullptr, bool disks = false);
  void forget_reached();  // after a command, with no state file
  void take_changes(StateFile::Seen seen, const StateFile::Read& read);
  void keep_item(StateFile::Change&& change);  // into saved_
  void load_part(const Part& part);
  void diff_part(const Part& part, std::vector<StateFile::Change>* batch);
  struct ItemDiff;
  void diff_flash(int controller, ItemDiff& d);
  void diff_iscsi(int device, ItemDiff& d);
  void reset_adapters();
  StateFile::Items adapter_items();
  void initial_sessions(int iscsi_device, const SimNetwork& net, SimIscsi& state);
  void install_state_file();  // at construction

  mutable std::recursive_mutex mutex_;
  Topology topology_;
  std::string root_;
  std::string resolved_root_;  // root_'s "." and ".." resolved, no final slash
  bool own_root_ = false;
  std::map<std::pair<int, int>, std::vector<std::pair<int, Responder>>> responders_;
  MailboxReply default_reply_{66, 0, -1};
  std::vector<Fault> faults_;
  // A request as the log holds it: its raw bytes (a shell command's text)
  // lie in one buffer with those of the requests after it, so that logging
  // allocates nothing once the buffer has grown; its device is one of the
  // few named.
  struct LogRecord {
    LogKind kind;
    const std::string* device;
    unsigned long request;
    uint64_t at;  // its bytes' place among all bytes ever logged
    size_t length;
  };
  std::deque<LogRecord> log_;
  std::set<std::string, std::less<>> log_devices_;
  const std::string* log_device_ = nullptr;  // the latest, most often the next
  std::vector<uint8_t> log_arena_;           // the bytes of log_, then room
  uint64_t log_arena_at_ = 0;                // the place of log_arena_[0]
  size_t log_bytes_ = 0;                  // raw request bytes the log holds
  size_t log_entries_kept_ = kLogEntriesKept;
  size_t log_bytes_kept_ = kLogBytesKept;
  std::array<uint64_t, 5> kind_counts_{};  // by LogKind
  std::map<std::pair<uint8_t, uint8_t>, uint64_t> mailbox_counts_;  // by subsystem and opcode
  std::vector<std::pair<std::string, ShellResult>> shell_answers_;
  std::set<std::string> interfaces_down_;
  std::vector<std::string> outside_;
  std::map<int, Device> devices_;
  int next_device_fd_ = 1 << 20;
  struct OpenFile {
    std::string path;
    bool appends = false;  // opened with O_APPEND
  };
  std::map<int, OpenFile> fd_paths_;      // descriptors open for writing
  std::map<std::string, Durable> unsynced_;  // by current path
  std::vector<PendingRename> renames_;
  unsigned backups_ = 0;
  std::map<int, std::map<std::string, std::vector<uint8_t>>> flash_;
  std::map<int, SimNetwork> networks_;    // by iSCSI device number
  std::map<int, SimIscsi> sessions_;      // by iSCSI device number
  std::map<std::pair<int, int>, SimNicState> nic_states_;  // by controller and PCI function
  int visible_nic_functions_ = -1;        // -1: all of the topology's
  int pending_nic_count_ = -1;
  uint64_t clock_ms_ = 0;
  uint64_t bytes_read_ = 0;
  time_t epoch_ = 1798675200;             // 2026-12-31 00:00:00 UTC
  // stop_file_clock: the time the clock stands at, set before it stands
  // (clock_stands_).
  timespec file_clock_at_{};
  FileCallCounts file_calls_{};           // by kind (simulator.cpp)
  std::unique_ptr<StateFile> state_file_;
  std::string state_failure_;
  StateFile::Items saved_;                // the items as the root keeps them
  std::map<int, std::vector<uint32_t>> saved_handles_;  // of each iSCSI state's sessions kept there
  std::string scratch_;                   // an item's bytes being compared
  size_t saved_bytes_ = 0;
  std::vector<Part> touched_;             // by the command running
  std::vector<Part> dirty_;               // by tests between commands
  int in_command_ = 0;
  bool locked_ = false;                   // the exclusive lock, for the command running
  std::set<std::pair<uint8_t, uint8_t>> reads_;  // mailbox commands that change nothing
  Topology initial_;                      // ports and LUNs as the topology gives them
};

// A simulator over a topology ("default" or a file path) and a root (""
// makes a private temporary root); nullptr with the reason in *error (when
// given) for a bad topology, or a root whose adapters' state folder holds
// what is not the simulator's.
std::unique_ptr<Simulator> start_simulator(const std::string& topology, const std::string& root, std::string* error);

// A simulator in the root TAVO_ROOT names (a private temporary root
// without it), with the adapters as the root keeps them, as
// start_simulator answers. The factory the library uses.
std::unique_ptr<platform::Host> make_host(const std::string& topology, std::string* error);

// Linked builds only (not the module):
// Creates a simulator over a topology ("default" or a file path) and a root
// ("" makes a private temporary root, removed with the simulator), writes the
// host files under the root and installs it as the host in force. Its
// adapters start afresh, from the topology (power-cycled).
// Answers nullptr (message in *error) as start_simulator does.
Simulator* install(const std::string& topology, const std::string& root, std::string* error = nullptr);

// The simulator in force, or nullptr when the host is not simulated.
Simulator* current();

}  // namespace tavo::sim
