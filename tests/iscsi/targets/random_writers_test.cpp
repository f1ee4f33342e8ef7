// Several processes change one root while a supervisor kills them at
// random; each new process reads its keys back against the changes the
// killed ones answered: targets added and deleted, their HeaderDigest and
// CHAP, the Login and Logout of their persistent sessions (a target whose
// session only the firmware held among them), and another controller's function (its initiator's options, a
// send-target portal, erased whole). Every answered change stands until
// another answered change replaces it, a change cut short leaves its key
// as it was or as asked, and nothing deleted comes back. One target's CHAP
// name is shared: every writer sets it and reads it while the others run,
// and each read must return the last name set before it, or one set
// meanwhile.
//
// The run lasts TAVO_RANDOM_WRITERS_SECONDS (4 by default; tools/random-writers
// runs it longer and prints its figures).
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

constexpr int kWriters = 4;
constexpr int kTargetsEach = 3;
// Beside them, writer w's target iqn.w<w>.f, whose persistent session only
// the firmware holds at first (its flash configured before the files).
constexpr char kFirmwareOnlyPortal[] = "10.0.0.70";

// What a key holds. A target: present, its HeaderDigest, CHAP name, first
// portal's address and its persistent session's status (- none). The
// Moravel function: its initiator's ImmediateData (present stands for
// "Yes"), CHAP name and send-target portal's address; an erase of the
// function takes it back to the start.
struct KeyState {
  bool present = false;
  std::string digest = "None", chap, portal, session = "-";
  bool operator<(const KeyState& o) const {
    return std::tie(present, digest, chap, portal, session) <
           std::tie(o.present, o.digest, o.chap, o.portal, o.session);
  }
  std::string text() const {
    return std::string(present ? "present " : "absent ") + digest + " '" + chap + "' " +
           (portal.empty() ? "-" : portal) + " " + session;
  }
};
const KeyState kMoravelAtStart{true, "None", "", "", "-"};
const KeyState kFirmwareOnlyAtStart{true, "None", "", kFirmwareOnlyPortal, "Closed"};

// A change: add <address>, del, digest, chap, login, logout, immediate,
// stp <address>, stpdel, erase.
struct Change {
  std::string op, value;
  KeyState after(KeyState s) const {
    if (op == "add" && !s.present) s = KeyState{true, "None", "", value, "Closed"};
    if (op == "del") s = KeyState{};
    if (op == "login" && s.present) s.session = "Open";
    if (op == "logout") s.session = "-";
    if (op == "digest") s.digest = value;
    if (op == "chap") s.chap = value;
    if (op == "immediate") s.present = value == "Yes";
    if (op == "stp" && s.portal.empty()) s.portal = value;
    if (op == "stpdel") s.portal.clear();
    if (op == "erase") s = kMoravelAtStart;
    return s;
  }
};

// Every writer's target listens at every address a writer adds it at;
// iqn.w<w>.f, at its own, is persistent in its writer's function.
std::string writers_topology() {
  std::string text = std::string(kTargetsTopology) + kNetworkTargets;
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kTargetsEach; ++k) {
      text += "target name=iqn.w" + std::to_string(w) + ".t" + std::to_string(k) + " portal=";
      for (int a = 1; a <= 9; ++a) text += "10.0.0." + std::to_string(a) + "/3260/1" + (a < 9 ? "," : "\n");
    }
    text += "target name=iqn.w" + std::to_string(w) + ".f portal=" + kFirmwareOnlyPortal + "/3260/7 persistent=" +
            std::to_string(w % 2) + "\n";
  }
  return text;
}

class RandomWritersTest : public NetworkTargetsTest {
 protected:
  RandomWritersTest() : NetworkTargetsTest(writers_topology()) {}
  const std::vector<std::string> lhbas_ = {kLhba, "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0", kMoravelLhba};
  std::string logs_;

  // Writer w's targets live on one of the Corvane's functions; the
  // Moravel's function is the last writer's.
  std::string lhba_of(int w) { return lhbas_[static_cast<size_t>(w) % 2]; }
  // Key kTargetsEach is the target whose session only the firmware held.
  static std::string target_key(int w, int k) {
    return "iqn.w" + std::to_string(w) + (k == kTargetsEach ? ".f" : ".t" + std::to_string(k));
  }
  static std::string moravel_key() { return "moravel"; }
  std::string first(const std::string& group, const std::string& kind) {
    const std::vector<std::string> all = instances(group, kind);
    return all.empty() ? "" : group + "/" + all.front();
  }

  static constexpr const char* kShared = "iqn.shared";
  std::string find_target(const std::string& lhba, const std::string& name) {
    for (const std::string& t : instances(lhba, "Target"))
      if (get(lhba + "/" + t + "/TargetISCSIName") == name) return lhba + "/" + t;
    return "";
  }
  std::string target_path(int w, const std::string& name) { return find_target(lhba_of(w), name); }
  static std::string shared_chap(const std::string& target) {
    return target + "/TargetLoginOptions/Authentication/TargetCHAPName";
  }
  static std::string now() { return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()); }
  KeyState observe_target(int w, const std::string& name) {
    const std::string t = target_path(w, name);
    if (t.empty()) return KeyState{};
    const std::string portal = first(t, "TargetPortal");
    std::string session = "-";
    for (const std::string& s : instances(t, "Session"))
      if (get(t + "/" + s + "/Persistent") == "True") session = get(t + "/" + s + "/SessionStatus");
    return KeyState{true, get(t + "/TargetLoginOptions/HeaderDigest"),
                    get(t + "/TargetLoginOptions/Authentication/TargetCHAPName"),
                    portal.empty() ? "" : get(portal + "/TargetIPAddress"), session};
  }
  KeyState observe_moravel() {
    const std::string initiator = std::string(kMoravelLhba) + "/InitiatorLoginOptions";
    const std::string portal = first(std::string(kMoravelLhba) + "/Discovery", "SendTargetPortal");
    return KeyState{get(initiator + "/ImmediateData") == "Yes", "None",
                    get(initiator + "/Authentication/TargetCHAPName"),
                    portal.empty() ? "" : get(portal + "/IPAddress"), "-"};
  }
  // A writer's keys, as a start of its own reads them.
  void observe_all(int w, int fd) {
    for (int k = 0; k <= kTargetsEach; ++k)
      log(fd, "S " + target_key(w, k) + " " + observe_target(w, target_key(w, k)).text());
    if (w == kWriters - 1) log(fd, "S " + moravel_key() + " " + observe_moravel().text());
  }
  static std::string address(std::mt19937& random) { return "10.0.0." + std::to_string(1 + random() % 9); }

  // A change of the Moravel function; its log line, then the answer.
  uint32_t change_moravel(int fd, std::mt19937& random) {
    const std::string initiator = std::string(kMoravelLhba) + "/InitiatorLoginOptions";
    const std::string discovery = std::string(kMoravelLhba) + "/Discovery";
    const std::string portal = first(discovery, "SendTargetPortal");
    switch (random() % 4) {
      case 0: {
        const std::string v = random() % 2 != 0 ? "Yes" : "No";
        log(fd, "B " + moravel_key() + " immediate " + v);
        return set(initiator + "/ImmediateData", v);
      }
      case 1: {
        const std::string v = "init" + std::to_string(random() % 3);
        log(fd, "B " + moravel_key() + " chap " + v);
        return act(initiator + "/Authentication/ConfigureCHAP", {"One-Way CHAP", "", "", v, "isecret1234" + v.substr(4)});
      }
      case 2:
        if (portal.empty()) {
          const std::string a = address(random);
          log(fd, "B " + moravel_key() + " stp " + a);
          return act(discovery + "/AddSendTargetPortal", {a, "3260"});
        }
        log(fd, "B " + moravel_key() + " stpdel -");
        return act(discovery + "/DeleteSendTargetPortal", {portal.substr(portal.rfind("SendTargetPortal") + 16)});
      default:
        log(fd, "B " + moravel_key() + " erase -");
        return act("Corvane1/iSCSIPhysicalHBA0/EraseConfiguration");
    }
  }

  // One line of a writer's log, whole or not at all.
  static void log(int fd, const std::string& line) {
    const std::string l = line + "\n";
    if (::write(fd, l.data(), l.size()) != static_cast<ssize_t>(l.size())) _exit(3);
  }

  // A writer process: a start of its own, its keys read back, then changes
  // until it is killed.
  [[noreturn]] void writer(int w, unsigned seed) {
    const int fd = ::open((logs_ + "/w" + std::to_string(w)).c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd < 0) _exit(2);
    TAVO_exit();
    if (TAVO_init() != 0) _exit(4);
    observe_all(w, fd);
    std::mt19937 random(seed);
    for (int n = 0;; ++n) {
      if (random() % 4 == 0) {
        // The shared name: set to a name no other write uses, or read.
        const std::string shared = find_target(kLhba, kShared);
        if (random() % 2 == 0) {
          const std::string v = "s" + std::to_string(getpid()) + "n" + std::to_string(n);
          log(fd, "W " + v + " " + now());
          const uint32_t answer = shared.empty() ? 1
                                  : act(shared + "/TargetLoginOptions/Authentication/ConfigureCHAP",
                                        {"One-Way CHAP", "", "", v, "secret123456"});
          log(fd, "E " + v + " " + now() + " " + std::to_string(answer));
        } else {
          const std::string start = now();
          const std::string v = shared.empty() ? "(no target)" : get(shared_chap(shared));
          log(fd, "R " + (v.empty() ? "-" : v) + " " + start + " " + now());
        }
        continue;
      }
      const int k = static_cast<int>(random() % (kTargetsEach + 1));
      const std::string key = target_key(w, k);
      const int pick = static_cast<int>(random() % (w == kWriters - 1 ? 7 : 6));
      const std::string t = target_path(w, key);
      uint32_t answer = 0;
      if (pick == 6) {
        answer = change_moravel(fd, random);
        log(fd, "A " + moravel_key() + " " + std::to_string(answer) + (answer != 0 ? " " + last_status().second : ""));
        continue;
      }
      if (t.empty() || pick == 0) {
        const std::string a = k == kTargetsEach ? kFirmwareOnlyPortal : address(random);
        log(fd, "B " + key + " add " + a);
        answer = act(lhba_of(w) + "/AddTarget", {key, a});
      } else if (pick == 1) {
        log(fd, "B " + key + " del -");
        answer = act(lhba_of(w) + "/DeleteTarget", {t.substr(t.rfind("Target") + 6)});
      } else if (pick == 4 && observe_target(w, key).session != "Open") {
        // One session a target at most: an open one is logged out instead.
        const std::string portal = first(t, "TargetPortal");
        log(fd, "B " + key + " login -");
        answer = portal.empty() ? 1 : act(t + "/Login", {get(portal + "/TargetIPAddress"), "3260"});
      } else if (pick >= 4) {
        log(fd, "B " + key + " logout -");
        answer = act(t + "/Logout");
      } else if (pick == 2) {
        const std::string v = random() % 2 != 0 ? "CRC32C" : "None";
        log(fd, "B " + key + " digest " + v);
        answer = set(t + "/TargetLoginOptions/HeaderDigest", v);
      } else {
        const std::string v = "user" + std::to_string(random() % 3);
        log(fd, "B " + key + " chap " + v);
        answer = act(t + "/TargetLoginOptions/Authentication/ConfigureCHAP",
                     {"One-Way CHAP", "", "", v, "secret12345" + v.substr(4)});
      }
      log(fd, "A " + key + " " + std::to_string(answer) + (answer != 0 ? " " + last_status().second : ""));
    }
  }

  pid_t spawn(int w, unsigned seed) {
    const pid_t pid = fork();
    if (pid == 0) writer(w, seed);
    return pid;
  }

  // Replays the writers' logs: each observation must be a state the
  // answered changes allow.
  struct Verdict {
    int checks = 0, answered = 0, refused = 0, shared_reads = 0;
    std::vector<std::string> wrong;
  };

  // Whether the logs hold a read of the shared name and an answered change.
  bool worked() const {
    bool read = false, answered = false;
    for (int w = 0; w < kWriters; ++w) {
      std::ifstream in(logs_ + "/w" + std::to_string(w));
      for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind, value, at, answer;
        words >> kind >> value >> at >> answer;
        read = read || kind == "R";
        answered = answered || (kind == "A" && at == "0") || (kind == "E" && answer == "0");
      }
    }
    return read && answered;
  }

  // The shared name's writes and reads, from every writer's log.
  void judge_shared(Verdict& v) {
    struct Write {
      long long start = 0, end = std::numeric_limits<long long>::max();  // killed: may land any time
      bool answered = true;
    };
    struct Read {
      std::string value;
      long long start, end;
    };
    std::map<std::string, Write> writes;
    std::vector<Read> reads;
    for (int w = 0; w < kWriters; ++w) {
      std::ifstream in(logs_ + "/w" + std::to_string(w));
      for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind, value;
        long long at = 0;
        words >> kind >> value >> at;
        if (kind == "W") writes[value].start = at;
        if (kind == "E") {
          int answer = 0;
          words >> answer;
          writes[value].end = at;
          writes[value].answered = answer == 0;
          v.answered += answer == 0;
          v.refused += answer != 0;
        }
        if (kind == "R") {
          Read r{value, at, 0};
          words >> r.end;
          reads.push_back(r);
        }
      }
    }
    // An answered write over before the read began, that began after
    // `after`: the read cannot return what was there before it.
    const auto hidden_by_later = [&](long long after, const Read& r) {
      for (const auto& [value, w] : writes)
        if (w.answered && w.start > after && w.end < r.start) return value;
      return std::string();
    };
    for (const Read& r : reads) {
      ++v.shared_reads;
      std::string why;
      if (r.value == "-") {
        why = hidden_by_later(std::numeric_limits<long long>::min(), r);
      } else if (writes.count(r.value) == 0 || !writes[r.value].answered || writes[r.value].start > r.end) {
        why = "no write of it that could have landed";
      } else {
        why = hidden_by_later(writes[r.value].end, r);
      }
      if (!why.empty()) v.wrong.push_back("shared name: read " + r.value + " past " + why);
    }
  }
  Verdict judge() {
    std::map<std::string, std::set<KeyState>> allowed;
    for (int w = 0; w < kWriters; ++w) {
      for (int k = 0; k < kTargetsEach; ++k) allowed[target_key(w, k)] = {KeyState{}};
      allowed[target_key(w, kTargetsEach)] = {kFirmwareOnlyAtStart};
    }
    allowed[moravel_key()] = {kMoravelAtStart};
    Verdict v;
    for (int w = 0; w < kWriters; ++w) {
      std::ifstream in(logs_ + "/w" + std::to_string(w));
      std::map<std::string, Change> pending;
      const auto settle_pending = [&] {
        // A process killed in a change leaves its key as it was or as asked.
        for (const auto& [key, c] : pending) {
          std::set<KeyState> both = allowed[key];
          for (const KeyState& s : allowed[key]) both.insert(c.after(s));
          allowed[key] = both;
        }
        pending.clear();
      };
      for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind, key;
        words >> kind >> key;
        if (kind == "S") {
          settle_pending();
          std::string rest;
          std::getline(words, rest);
          rest = rest.empty() ? rest : rest.substr(1);
          bool found = false;
          for (const KeyState& s : allowed[key]) found = found || s.text() == rest;
          ++v.checks;
          if (!found) {
            std::string can;
            for (const KeyState& s : allowed[key]) can += " [" + s.text() + "]";
            v.wrong.push_back(key + ": read " + rest + ", answered changes allow" + can);
          }
          // What it read stands from here on.
          std::set<KeyState> read;
          for (const KeyState& s : allowed[key])
            if (s.text() == rest) read.insert(s);
          if (!read.empty()) allowed[key] = read;
        } else if (kind == "B") {
          Change c;
          words >> c.op >> c.value;
          pending[key] = c;
        } else if (kind == "A") {
          std::string answer;
          words >> answer;
          ++(answer == "0" ? v.answered : v.refused);
          if (answer == "0" && pending.count(key) != 0) {
            std::set<KeyState> after;
            for (const KeyState& s : allowed[key]) after.insert(pending[key].after(s));
            allowed[key] = after;
          }
          pending.erase(key);
        }
      }
      settle_pending();
    }
    judge_shared(v);
    return v;
  }
};

TEST_F(RandomWritersTest, EveryAnsweredChangeStandsUnderRandomKills) {
  const char* seconds_text = getenv("TAVO_RANDOM_WRITERS_SECONDS");
  const double seconds = seconds_text != nullptr ? atof(seconds_text) : 4.0;
  logs_ = root_.path() + "-logs";
  ASSERT_EQ(::mkdir(logs_.c_str(), 0700), 0);
  ASSERT_EQ(act(std::string(kLhba) + "/AddTarget", {kShared, "10.0.0.9"}), 0u);
  std::mt19937 random(static_cast<unsigned>(getpid()));
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) writers.push_back(spawn(w, static_cast<unsigned>(random())));
  int kills = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 400));
    const int w = static_cast<int>(random() % kWriters);
    kill(writers[w], SIGKILL);
    waitpid(writers[w], nullptr, 0);
    ++kills;
    writers[w] = spawn(w, static_cast<unsigned>(random()));
  }
  // Then, killing none, until the writers read the shared name and had a
  // change answered: a busy machine slows them, never decides the test.
  for (int waited = 0; !worked() && waited < 6000; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (pid_t pid : writers) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  // Each writer's keys read once more by a process that starts afresh.
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = ::open((logs_ + "/w" + std::to_string(w)).c_str(), O_WRONLY | O_APPEND, 0600);
      TAVO_exit();
      if (fd < 0 || TAVO_init() != 0) _exit(2);
      observe_all(w, fd);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Verdict v = judge();
  printf(
      "random writers: %.0f s, %d kills, %d changes answered, %d refused, %d reads after a start and %d of the "
      "shared name checked, %zu wrong\n",
      seconds, kills, v.answered, v.refused, v.checks, v.shared_reads, v.wrong.size());
  EXPECT_GT(v.shared_reads, 0);
  EXPECT_GT(v.checks, kWriters * kTargetsEach);
  EXPECT_GT(v.answered, 0);
  for (const std::string& w : v.wrong) ADD_FAILURE() << w;
  std::filesystem::remove_all(logs_);
}

}  // namespace
}  // namespace tavo::test
