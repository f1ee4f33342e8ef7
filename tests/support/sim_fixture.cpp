#include "tests/support/sim_fixture.h"

#include "base/root_gate.h"

#include <dirent.h>
#include <errno.h>
#include <linux/capability.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <climits>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace tavo::test {
namespace {

void remove_tree(const std::string& path) {
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        chmod(child.c_str(), 0755);
        remove_tree(child);
      } else {
        unlink(child.c_str());
      }
    }
    closedir(d);
  }
  rmdir(path.c_str());
}

// The lines only one text holds (- expected, + found), in order.
std::string differing_lines(const std::string& expected, const std::string& found) {
  const auto split = [](const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  };
  const std::vector<std::string> a = split(expected), b = split(found);
  std::string out;
  for (const std::string& line : a)
    if (std::count(b.begin(), b.end(), line) < std::count(a.begin(), a.end(), line)) out += "- " + line + "\n";
  for (const std::string& line : b)
    if (std::count(a.begin(), a.end(), line) < std::count(b.begin(), b.end(), line)) out += "+ " + line + "\n";
  return out.empty() ? "(the same lines in another order)\n" : out;
}

}  // namespace

TempRoot::TempRoot() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : ".") + "/tavo-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) abort();
  // Absolute, so that a test that changes its directory keeps its root.
  char* absolute = realpath(buf.data(), nullptr);
  if (absolute == nullptr) abort();
  path_ = absolute;
  free(absolute);
}

TempRoot::~TempRoot() {
  base::remove_root_page(path_);
  remove_tree(path_);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& content) {
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  std::ofstream(path, std::ios::binary) << content;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool root_read_only(const std::string& root, bool bind_mount) {
  if (bind_mount)
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(root.c_str(), root.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0 &&
           mount(nullptr, root.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2] = {};
  if (syscall(SYS_capget, &header, caps) != 0) return false;
  caps[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
  return syscall(SYS_capset, &header, caps) == 0;
}

std::function<void()> read_only_files(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::pair<fs::path, fs::perms>> kept;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_symlink()) continue;
    kept.emplace_back(e.path(), e.status().permissions());
    fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  return [kept] {
    for (const auto& [path, perms] : kept) fs::permissions(path, perms);
  };
}

void SimTest::SetUp() {
  setenv("TAVO_ROOT", root_.path().c_str(), 1);
  if (topology_ != "default") {
    reinstall_with(topology_);
    return;
  }
  std::string error;
  sim_ = sim::install(topology_, root_.path(), &error);
  ASSERT_NE(sim_, nullptr) << error;
}

void SimTest::reinstall_with(const std::string& topology_text) {
  std::string file = root_.path() + "/topology.txt";
  write_file(file, topology_text);
  std::string error;
  sim_ = sim::install(file, root_.path(), &error);
  ASSERT_NE(sim_, nullptr) << error;
}

int SimTest::in_child(const sim::Fault& fault, const std::function<void()>& op, bool adapters_stay) {
  const pid_t pid = fork();
  if (pid == 0) {
    sim_->inject(fault);
    op();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  // The next case starts from the adapters this process holds.
  if (!adapters_stay) sim_->rewind_adapters();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int SimTest::at_every_file_call(const std::string& path, const std::function<void()>& restore,
                                const std::function<void()>& op,
                                const std::function<void(int status, const std::string& cut)>& check,
                                bool adapters_stay) {
  int fewest = INT_MAX;
  for (sim::FaultKind kind : {sim::FaultKind::Crash, sim::FaultKind::PowerCut}) {
    int call = 0;
    for (int status = sim::kCrashExitCode; status == sim::kCrashExitCode; ++call) {
      restore();
      sim::Fault fault;
      fault.kind = kind;
      fault.path_contains = path;
      fault.skip = call;
      status = in_child(fault, op, adapters_stay);
      check(status, std::string(kind == sim::FaultKind::Crash ? "killed" : "power cut") + " at file call " +
                        std::to_string(call));
    }
    fewest = std::min(fewest, call);
  }
  return fewest;
}

int SimTest::at_every_command(const std::function<void()>& restore, const std::function<void()>& op,
                              const std::function<void(int status, const std::string& cut)>& check,
                              bool adapters_stay) {
  int call = 0;
  for (int status = sim::kCrashExitCode; status == sim::kCrashExitCode; ++call) {
    restore();
    sim::Fault fault;
    fault.kind = sim::FaultKind::CommandCrash;
    fault.changes_only = true;
    fault.skip = call;
    status = in_child(fault, op, adapters_stay);
    check(status, "killed at command " + std::to_string(call));
  }
  return call;
}

int SimTest::old_or_new_at_every_file_call(const std::string& path, const std::function<void()>& restore,
                                           const std::function<void()>& op,
                                           const std::function<std::string()>& state, const std::string& before,
                                           const std::string& after, bool adapters_stay) {
  return at_every_file_call(
      path, restore, op,
      [&](int status, const std::string& cut) {
        const std::string content = state();
        EXPECT_TRUE(content == after || (status != 0 && content == before))
            << cut << "; lines that differ from after:\n"
            << differing_lines(after, content) << "and from before:\n"
            << differing_lines(before, content);
      },
      adapters_stay);
}

std::vector<SimTest::IoFault> SimTest::io_faults(const std::string& path) {
  // The calls a save makes ("" any of them).
  static constexpr const char* kCalls[] = {"", "stat", "open", "lock", "fstat", "read", "write",
                                           "utimens", "fsync", "close", "rename", "fsync_dir", "chmod"};
  const struct {
    const char* name;
    int skip, times;
  } positions[] = {{"first", 0, 1}, {"second", 1, 1}, {"every", 0, -1}};
  std::vector<IoFault> faults;
  const auto add = [&](const std::string& name, sim::FaultKind kind, int err, const char* call) {
    for (const auto& at : positions) {
      sim::Fault f;
      f.kind = kind;
      f.err = err;
      f.path_contains = path;
      f.file_call = call;
      f.skip = at.skip;
      f.times = at.times;
      faults.push_back({name + " at the " + at.name + " " + (*call != '\0' ? call : "file") + " call", f});
    }
  };
  for (const char* call : kCalls) {
    add("EIO", sim::FaultKind::FileErrno, EIO, call);
    add("ENOSPC", sim::FaultKind::FileErrno, ENOSPC, call);
  }
  add("a short write", sim::FaultKind::ShortWrite, 0, "write");
  return faults;
}

sim::Fault SimTest::no_fault() { return file_errno("", "/no/such/path/"); }

sim::Fault SimTest::file_errno(const std::string& call, const std::string& path, int times, int err) {
  sim::Fault f;
  f.kind = sim::FaultKind::FileErrno;
  f.file_call = call;
  f.path_contains = path;
  f.times = times;
  f.err = err;
  return f;
}

std::string SimTest::in_process(const std::function<std::string()>& run) {
  int ends[2];
  if (pipe(ends) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    const std::string text = "\n" + run();
    for (size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(ends[1], text.data() + at, text.size() - at);
      if (n <= 0) _exit(1);
      at += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(ends[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(ends[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) return "child died";
  return text.substr(1);
}

std::pair<uint32_t, std::string> SimTest::answer_in_child(const sim::Fault& fault, const std::function<uint32_t()>& op,
                                                         const std::function<std::string()>& state) {
  const std::string text = in_process([&] {
    sim_->inject(fault);
    const uint32_t answer = op();
    sim_->clear_faults();
    return std::to_string(answer) + "\n" + state();
  });
  sim_->rewind_adapters();
  const size_t line = text.find('\n');
  if (line == std::string::npos) return {~0u, "child died"};
  return {static_cast<uint32_t>(std::stoul(text.substr(0, line))), text.substr(line + 1)};
}

int SimTest::true_answer_under_io_faults(const std::string& path, const std::function<void()>& restore,
                                         const std::function<uint32_t()>& op,
                                         const std::function<std::string()>& state, const std::string& before,
                                         const std::string& after) {
  int failed = 0;
  for (const IoFault& f : io_faults(path)) {
    restore();
    const auto [answer, content] = answer_in_child(f.fault, op, state);
    const std::string& expected = answer == 0 ? after : before;
    if (content != expected)
      ADD_FAILURE() << "answered " << answer << " under " << f.name << "; lines that differ from "
                    << (answer == 0 ? "after" : "before") << ":\n"
                    << differing_lines(expected, content);
    failed += answer != 0;
  }
  return failed;
}

void SimTest::TearDown() {
  platform::install_host(nullptr);
  sim_ = nullptr;
  unsetenv("TAVO_ROOT");
}

}  // namespace tavo::test
