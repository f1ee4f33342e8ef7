#include "platform/host.h"

#include "platform/path_text.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <link.h>
#include <linux/futex.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tavo::platform {
namespace {

std::mutex host_mutex;
std::atomic<Host*> current_known{nullptr};  // current, read without the mutex once made
std::atomic<uint64_t> hosts_made{0};
// Forgets the known host as the process exits, before the host goes: a call
// made later finds none rather than one destroyed.
struct CurrentHost {
  std::unique_ptr<Host> host;
  ~CurrentHost() { current_known.store(nullptr, std::memory_order_release); }
} current_host_holder;
std::unique_ptr<Host>& current = current_host_holder.host;
HostFactory factory = nullptr;
std::string failure;

// Stands in when the simulator was asked for but cannot be had: the library
// must not touch the real host the caller meant to keep out of reach.
class RefusingHost final : public Host {
 public:
  std::string root() const override { return "/nonexistent-tavo-root"; }
  int open(const std::string&, int, mode_t) override { return refuse(); }
  ssize_t read(int, void*, size_t) override { return refuse(); }
  ssize_t write(int, const void*, size_t) override { return refuse(); }
  off_t seek(int, off_t, int) override { return refuse(); }
  int truncate(int, off_t) override { return refuse(); }
  int fsync(int) override { return refuse(); }
  int fsync_dir(const std::string&) override { return refuse(); }
  int close(int) override { return refuse(); }
  int rename(const std::string&, const std::string&) override { return refuse(); }
  int unlink(const std::string&) override { return refuse(); }
  int mkdir(const std::string&, mode_t) override { return refuse(); }
  int chmod(const std::string&, mode_t) override { return refuse(); }
  int stat(const std::string&, struct stat*) override { return refuse(); }
  int fstat(int, struct stat*) override { return refuse(); }
  int set_modified(int, const timespec&) override { return refuse(); }
  int list_directory(const std::string&, std::vector<std::string>* names) override {
    if (names != nullptr) names->clear();
    return refuse();
  }
  int lock(int, int, struct flock*) override { return refuse(); }
  int page_get(key_t, size_t, bool) override { return refuse(); }
  void* page_attach(int, bool) override {
    refuse();
    return nullptr;
  }
  int page_detach(const void*) override { return refuse(); }
  int page_status(int, struct shmid_ds*) override { return refuse(); }
  int page_remove(int) override { return refuse(); }
  int device_open(const std::string&, int) override { return refuse(); }
  int device_ioctl(int, unsigned long, void*) override { return refuse(); }
  int device_close(int) override { return refuse(); }
  int shell(const std::string&) override { return refuse(); }
  int shell_output(const std::string&, std::string* output) override {
    if (output != nullptr) output->clear();
    return refuse();
  }
  time_t now() override { return 0; }
  timespec file_clock() override { return {}; }
  uint64_t monotonic_ms() override { return 0; }
  void sleep_seconds(unsigned) override {}
  int host_name(char*, size_t) override { return refuse(); }
  int uname(struct utsname*) override { return refuse(); }

 private:
  static int refuse() {
    errno = ENODEV;
    return -1;
  }
};

// Whether the library's code lies in the program itself (linked with the
// static archive) rather than in libtavo.so.
bool linked_into_program() {
  Dl_info info;
  link_map* ours = nullptr;
  void* program = dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
  link_map* main_map = nullptr;
  const bool known = dladdr1(reinterpret_cast<void*>(&linked_into_program), &info, reinterpret_cast<void**>(&ours),
                             RTLD_DL_LINKMAP) != 0 &&
                     program != nullptr && dlinfo(program, RTLD_DI_LINKMAP, &main_map) == 0;
  if (program != nullptr) dlclose(program);
  return known && ours == main_map;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Where the simulator module may be, in order. libtavo.so: beside itself.
// A program linked with the archive: beside the program, in the install's
// lib folder as seen from the program's (a program installed in the
// prefix's bin folder, wherever the prefix was moved), then in the lib
// folder the build was configured to install into.
std::vector<std::string> module_folders(std::string* why) {
  if (!linked_into_program()) {
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&module_folders), &self) == 0 || self.dli_fname == nullptr) {
      *why = "cannot tell where libtavo was loaded from";
      return {};
    }
    return {folder_of(self.dli_fname)};
  }
  std::vector<std::string> folders;
  char program[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", program, sizeof program - 1);
  if (n > 0) {
    program[n] = '\0';
    const std::string bin = folder_of(program);
    folders.push_back(bin);
    folders.push_back(bin + "/" + TAVO_BIN_TO_LIB_DIR);
  }
  folders.push_back(TAVO_INSTALL_LIB_DIR);
  return folders;
}

// The simulator module: the first of its places that holds it.
std::unique_ptr<Host> host_from_module(const std::string& topology, std::string* why) {
  const std::vector<std::string> folders = module_folders(why);
  if (folders.empty()) return nullptr;
  std::string path;
  for (const std::string& folder : folders)
    if (path.empty() && access((folder + "/" + kSimulatorModule).c_str(), F_OK) == 0)
      path = folder + "/" + kSimulatorModule;
  if (path.empty()) {
    *why = std::string("cannot load the simulator module ") + kSimulatorModule + ": not in " + folders[0];
    for (size_t i = 1; i < folders.size(); ++i) *why += (i + 1 < folders.size() ? ", " : " or ") + folders[i];
    return nullptr;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* e = dlerror();
    *why = "cannot load the simulator module " + path + ": " + (e ? e : "unknown error");
    return nullptr;
  }
  using Entry = Host* (*)(const char*, char*, size_t);
  auto entry = reinterpret_cast<Entry>(dlsym(module, kSimulatorEntry));
  if (entry == nullptr) {
    *why = path + " has no entry point " + kSimulatorEntry;
    return nullptr;
  }
  // The module stays loaded: the host made by it lives until the process ends.
  char error[512] = "";
  std::unique_ptr<Host> made(entry(topology.c_str(), error, sizeof error));
  if (!made) *why = error[0] ? error : "the simulator refused the topology";
  return made;
}

std::unique_ptr<Host> host_from_environment() {
  const char* topology = secure_getenv("TAVO_SIMULATOR");
  if (topology == nullptr || topology[0] == '\0') return make_real_host();
  std::string why;
  std::unique_ptr<Host> made = factory ? factory(topology, &why) : host_from_module(topology, &why);
  if (made) return made;
  failure = std::string("libtavo: TAVO_SIMULATOR=") + topology + ": " + why;
  tell_operator(failure);
  return std::make_unique<RefusingHost>();
}

// A request names the same fixed paths by the hundred, and a path's place
// depends on nothing but its text and the root's: each is resolved once
// while the root stays the same text. Never destroyed, since a path may be
// asked for while the process exits.
struct FixedPaths {
  std::mutex mutex;
  std::string root;
  std::unordered_map<std::string, std::string> resolved;
};
constexpr size_t kFixedPathsKept = 1024;  // a caller's own paths may vary without end

FixedPaths& fixed_paths() {
  static FixedPaths* const paths = new FixedPaths;
  return *paths;
}

std::string resolve_fixed(const std::string& root, const std::string& path) {
  // A name given already under the root keeps it; either way ".." stops at
  // the root, as in a chroot.
  if (path.size() == root.size() && path == root) return path;
  if (path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
    return root + resolve_dots(path.substr(root.size()));
  return root + resolve_dots(path);
}

Host& current_host() {
  if (!current) {
    current = host_from_environment();
    hosts_made.fetch_add(1, std::memory_order_release);
  }
  current_known.store(current.get(), std::memory_order_release);
  return *current;
}

}  // namespace

Host& host() {
  if (Host* known = current_known.load(std::memory_order_acquire)) return *known;
  std::lock_guard<std::mutex> guard(host_mutex);
  return current_host();
}

uint64_t host_number() { return hosts_made.load(std::memory_order_acquire); }

std::string host_failure() {
  std::lock_guard<std::mutex> guard(host_mutex);
  current_host();
  return failure;
}

void install_host(std::unique_ptr<Host> h) {
  std::lock_guard<std::mutex> guard(host_mutex);
  current = std::move(h);
  hosts_made.fetch_add(1, std::memory_order_release);
  current_known.store(current.get(), std::memory_order_release);
  failure.clear();
}

void set_host_factory(HostFactory f) {
  std::lock_guard<std::mutex> guard(host_mutex);
  factory = f;
}

void tell_operator(const std::string& line) { fprintf(stderr, "%s\n", line.c_str()); }

std::string fixed_path(const std::string& path) {
  const Host& h = host();
  if (path.empty() || path[0] != '/') return path;
  FixedPaths& paths = fixed_paths();
  std::lock_guard<std::mutex> guard(paths.mutex);
  if (!h.root_is(paths.root)) {
    paths.root = h.root();
    paths.resolved.clear();
  }
  if (paths.root.empty()) return path;
  auto found = paths.resolved.find(path);
  if (found != paths.resolved.end()) return found->second;
  if (paths.resolved.size() >= kFixedPathsKept) paths.resolved.clear();
  return paths.resolved.emplace(path, resolve_fixed(paths.root, path)).first->second;
}

void forget_fixed_paths() {
  FixedPaths& paths = fixed_paths();
  std::lock_guard<std::mutex> guard(paths.mutex);
  paths.root.clear();
  decltype(paths.resolved)().swap(paths.resolved);
}

void wait_on_word(const uint32_t* word, uint32_t expected, unsigned timeout_ms) {
  // The struct the futex call takes on this build (a 32-bit one too).
  struct timespec wait = {static_cast<time_t>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000000L};
  // Not FUTEX_PRIVATE: the word lies in memory other processes share.
  syscall(SYS_futex, word, FUTEX_WAIT, expected, &wait, nullptr, 0);
}

void wake_word(const uint32_t* word) { syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

namespace {
uint64_t clock_ms(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
}  // namespace

int64_t clock_second() { return static_cast<int64_t>(time(nullptr)); }

uint64_t real_ms() { return clock_ms(CLOCK_MONOTONIC); }

const char* setting(const char* name) { return secure_getenv(name); }

bool process_alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace tavo::platform
