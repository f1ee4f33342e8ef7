#include "tests/support/sim_fixture.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <climits>

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

TempRoot::~TempRoot() { remove_tree(path_); }

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

int SimTest::in_child(const sim::Fault& fault, const std::function<void()>& op) {
  const pid_t pid = fork();
  if (pid == 0) {
    sim_->inject(fault);
    op();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int SimTest::old_or_new_at_every_file_call(const std::string& path, const std::function<void()>& restore,
                                           const std::function<void()>& op,
                                           const std::function<std::string()>& state, const std::string& before,
                                           const std::string& after) {
  int fewest = INT_MAX;
  for (sim::FaultKind kind : {sim::FaultKind::Crash, sim::FaultKind::PowerCut}) {
    int call = 0;
    for (int status = sim::kCrashExitCode; status == sim::kCrashExitCode; ++call) {
      restore();
      sim::Fault fault;
      fault.kind = kind;
      fault.path_contains = path;
      fault.skip = call;
      status = in_child(fault, op);
      const std::string content = state();
      EXPECT_TRUE(content == after || (status != 0 && content == before))
          << (kind == sim::FaultKind::Crash ? "killed" : "power cut") << " at file call " << call;
    }
    fewest = std::min(fewest, call);
  }
  return fewest;
}

void SimTest::TearDown() {
  platform::install_host(nullptr);
  sim_ = nullptr;
  unsetenv("TAVO_ROOT");
}

}  // namespace tavo::test
