// libtavo.so as a program sees it: loaded with dlopen, the simulator module
// found beside it when TAVO_SIMULATOR is set, and a clear failure (never the
// real host) when the module or the topology is missing.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string make_temp_dir() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-shipped-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  EXPECT_NE(mkdtemp(buf.data()), nullptr);
  return buf.data();
}

bool empty_dir(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d == nullptr) return false;
  int entries = 0;
  while (dirent* e = readdir(d)) entries += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
  closedir(d);
  return entries == 0;
}

struct Outcome {
  int init = -1;       // TAVO_init's answer
  int interface = -1;  // TAVO_check_valid_interface("vmnic0")
  std::string error;   // the child's standard error
  std::string last_status;
};

// Loads `library` in a child process with the given simulator setting and
// reports what the library answered.
Outcome load_in_child(const std::string& library, const std::string& topology, const std::string& root) {
  int out[2], err[2];
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    setenv("TAVO_SIMULATOR", topology.c_str(), 1);
    setenv("TAVO_ROOT", root.c_str(), 1);
    void* lib = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) _exit(90);
    auto init = reinterpret_cast<uint32_t (*)()>(dlsym(lib, "TAVO_init"));
    auto check = reinterpret_cast<uint32_t (*)(const char*)>(dlsym(lib, "TAVO_check_valid_interface"));
    auto status = reinterpret_cast<uint32_t (*)(uint32_t*, char*)>(dlsym(lib, "TAVO_get_last_status"));
    auto exit_fn = reinterpret_cast<uint32_t (*)()>(dlsym(lib, "TAVO_exit"));
    if (!init || !check || !status || !exit_fn) _exit(91);
    char text[600] = "";
    uint32_t code = 0;
    std::string report = std::to_string(init()) + "\n";
    status(&code, text);
    report += std::to_string(check("vmnic0")) + "\n" + text;
    exit_fn();
    if (write(out[1], report.data(), report.size()) < 0) _exit(92);
    _exit(0);
  }
  close(out[1]);
  close(err[1]);
  auto drain = [](int fd) {
    std::string s;
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    close(fd);
    return s;
  };
  std::string report = drain(out[0]);
  Outcome o;
  o.error = drain(err[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << "child status " << wstatus << "\n" << o.error;
  size_t a = report.find('\n'), b = report.find('\n', a + 1);
  if (a == std::string::npos || b == std::string::npos) return o;
  o.init = std::stoi(report.substr(0, a));
  o.interface = std::stoi(report.substr(a + 1, b - a - 1));
  o.last_status = report.substr(b + 1);
  return o;
}

TEST(Shipped, SeesTheSimulatedAdaptersThroughTheModuleBesideIt) {
  const std::string root = make_temp_dir();
  Outcome o = load_in_child(TAVO_LIBRARY_FILE, "default", root);
  EXPECT_EQ(o.init, 0) << o.error;
  EXPECT_EQ(o.interface, 0);  // vmnic0 is the simulated CV3's first port
  EXPECT_EQ(o.error, "");
}

TEST(Shipped, RefusesClearlyWithoutTheSimulator) {
  // A copy of the library alone in a folder has no module beside it.
  const std::string alone = make_temp_dir();
  const std::string copy = alone + "/" + TAVO_SONAME;
  {
    std::ifstream in(TAVO_LIBRARY_FILE, std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
  }
  struct Case {
    std::string library;
    std::string topology;
    std::string says;
  } cases[] = {
      {copy, "default", "cannot load the simulator module libtavo-sim.so: not in " + alone},
      {TAVO_LIBRARY_FILE, "/nonexistent/topology.txt", "/nonexistent/topology.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library + " " + c.topology);
    const std::string root = make_temp_dir();
    Outcome o = load_in_child(c.library, c.topology, root);
    EXPECT_NE(o.init, 0);
    EXPECT_NE(o.interface, 0);
    EXPECT_NE(o.error.find("libtavo: TAVO_SIMULATOR=" + c.topology), std::string::npos) << o.error;
    EXPECT_NE(o.error.find(c.says), std::string::npos) << o.error;
    EXPECT_NE(o.last_status.find(c.says), std::string::npos) << o.last_status;
    EXPECT_TRUE(empty_dir(root));  // nothing written anywhere
  }
}

}  // namespace
