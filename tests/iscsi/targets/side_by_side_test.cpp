// Processes that change only their own targets side by side on one root,
// each a long-lived process with the picture of the sessions it keeps
// between calls, taking turns in a fixed order.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/iscsi_state.h"
#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

constexpr char kSecondLhba[] = "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0";

class SideBySideTest : public NetworkTargetsTest {
 protected:
  struct Worker {
    pid_t pid;
    int to, from;
  };

  void TearDown() override {
    for (const Worker& w : workers_) {
      ::close(w.to);
      ::close(w.from);
      kill(w.pid, SIGKILL);
      waitpid(w.pid, nullptr, 0);
    }
    NetworkTargetsTest::TearDown();
  }

  std::string target_named(const std::string& lhba, const std::string& name) {
    for (const std::string& t : instances(lhba, "Target"))
      if (get(lhba + "/" + t + "/TargetISCSIName") == name) return lhba + "/" + t;
    return "";
  }

  // One request of a worker: "add|del|digest|chap|login|list <lhba>
  // [<name> <value>]"; its answer, and its status when it failed.
  std::string run(const std::string& request) {
    std::istringstream words(request);
    std::string op, lhba, name, value;
    words >> op >> lhba >> name >> value;
    uint32_t answer = 0;
    if (op == "list") {
      // Every target's options read.
      for (const std::string& t : instances(lhba, "Target")) get(lhba + "/" + t + "/TargetLoginOptions/HeaderDigest");
    } else if (op == "add") {
      answer = act(lhba + "/AddTarget", {name, value});
    } else {
      const std::string t = target_named(lhba, name);
      if (t.empty()) return "no target " + name;
      const std::string none(1, static_cast<char>(TAVO_NOT_GIVEN));
      if (op == "login") answer = act(t + "/Login", {none, none, none, value});
      if (op == "del") answer = act(lhba + "/DeleteTarget", {t.substr(t.rfind("Target") + 6)});
      if (op == "digest") answer = set(t + "/TargetLoginOptions/HeaderDigest", value);
      if (op == "chap")
        answer = act(t + "/TargetLoginOptions/Authentication/ConfigureCHAP",
                     {"One-Way CHAP", "", "", value, "secret12345" + value.substr(value.size() - 1)});
    }
    return std::to_string(answer) + (answer != 0 ? " " + std::to_string(last_status().first) : "");
  }

  // A process of its own on the root, started afresh, that runs each
  // request it is sent and answers before it reads the next.
  void spawn() {
    int down[2], up[2];
    ASSERT_EQ(pipe(down), 0);
    ASSERT_EQ(pipe(up), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      ::close(down[1]);
      ::close(up[0]);
      TAVO_exit();
      if (TAVO_init() != 0) _exit(4);
      FILE* in = fdopen(down[0], "r");
      for (char line[512]; in != nullptr && fgets(line, sizeof line, in) != nullptr;) {
        const std::string answer = run(std::string(line, strcspn(line, "\n"))) + "\n";
        if (::write(up[1], answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) _exit(5);
      }
      _exit(0);
    }
    ::close(down[0]);
    ::close(up[1]);
    workers_.push_back({pid, down[1], up[0]});
  }

  std::string ask(size_t worker, const std::string& request) {
    const std::string line = request + "\n";
    if (::write(workers_[worker].to, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "gone";
    std::string answer;
    char c = 0;
    while (::read(workers_[worker].from, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
  }

  // Each persistent session's qualifier in the firmware, with the functions
  // and targets that hold it.
  std::map<uint16_t, std::vector<std::string>> persistent_qualifiers() {
    std::map<uint16_t, std::vector<std::string>> held;
    for (int device = 0; device < 3; ++device)
      for (const sim::SimSession& s : sim_->sessions(device)->sessions)
        if (s.persistent) held[s.isid].push_back(std::to_string(device) + " " + s.target);
    return held;
  }

  std::vector<Worker> workers_;
};

// Three processes, two on the first function and one on the second, each
// adding, changing and deleting its own targets in turn. A change of
// HeaderDigest or CHAP persists a target's closed session again, which
// ends it and begins another for every other process; a process that never
// reaches the other function's targets leaves them waiting with what its
// start read. No change is refused, no two sessions share a qualifier, and
// a login under a qualifier another process's session holds is refused.
TEST_F(SideBySideTest, ProcessesChangingTheirOwnTargetsNeverShareAQualifier) {
  const std::vector<std::string> lhbas = {kLhba, kLhba, kSecondLhba};
  for (size_t w = 0; w < lhbas.size(); ++w) spawn();
  const struct {
    size_t worker;
    const char* op;
    int target;
    const char* value;
  } steps[] = {
      {0, "add", 0, ""}, {1, "add", 0, ""},
      // Each session of the first function ends and another begins.
      {0, "digest", 0, "CRC32C"}, {1, "digest", 0, "CRC32C"},
      // A session begun after them, then a new qualifier beside it.
      {0, "add", 1, ""}, {1, "add", 1, ""}, {0, "chap", 1, "user1"}, {1, "chap", 1, "user2"},
      // The last process reaches the first function's targets; the others
      // never reach the second's.
      {2, "list", 0, ""}, {2, "add", 0, ""}, {0, "add", 2, ""}, {2, "digest", 0, "CRC32C"},
      {1, "add", 2, ""}, {2, "add", 1, ""}, {2, "chap", 1, "user3"}, {0, "digest", 2, "CRC32C"},
      {1, "chap", 2, "user4"}, {0, "del", 0, ""}, {1, "del", 1, ""}, {2, "del", 0, ""},
      // Qualifiers given back are taken again.
      {1, "add", 1, ""}, {2, "add", 0, ""}, {0, "add", 0, ""}, {0, "chap", 0, "user5"},
      {1, "digest", 1, "None"}, {2, "digest", 0, "None"}, {2, "chap", 1, "user6"}, {0, "digest", 1, "None"},
  };
  for (const auto& step : steps) {
    const std::string lhba = lhbas[step.worker];
    const std::string name = "iqn.w" + std::to_string(step.worker) + ".t" + std::to_string(step.target);
    std::string request = std::string(step.op) + " " + lhba + " " + name + " " + step.value;
    if (request.starts_with("add")) request += "10.0.0." + std::to_string(1 + step.worker);
    if (request.starts_with("list")) request = std::string("list ") + kLhba;
    EXPECT_EQ(ask(step.worker, request), "0") << request;
  }
  std::map<uint16_t, std::vector<std::string>> held = persistent_qualifiers();
  for (const auto& [qualifier, holders] : held)
    EXPECT_EQ(holders.size(), 1u) << "qualifier " << qualifier << " held by " << ::testing::PrintToString(holders);
  // A real collision: a login of the second process under the qualifier of
  // the first's session.
  uint16_t first = 0;
  for (const auto& [qualifier, holders] : held)
    if (holders.front() == "0 iqn.w0.t0") first = qualifier;
  EXPECT_EQ(ask(1, std::string("login ") + kLhba + " iqn.w1.t1 " + std::to_string(first)), "1 71");
}

}  // namespace
}  // namespace tavo::test
