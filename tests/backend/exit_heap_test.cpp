// The last TAVO_exit gives back what the library's start and its clients'
// calls took: a host that loads the library, ends with it and runs on
// keeps nothing of it, however much was saved. A start after that exit
// answers as the first did.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/memory.h"
#include "iscsi/targets/targets.h"
#include "tavo/tavo.h"
#include "tests/support/client_fixture.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVO_TEST_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVO_TEST_SANITIZED_HEAP 1
#endif
#ifdef TAVO_TEST_SANITIZED_HEAP
// The sanitizer's own count of the heap in use (its allocator replaces malloc's).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace tavo::test {
namespace {

// The process's heap in use: malloc's (or the sanitizer's) and the node
// pool's large chunks, which are mapped apart from it.
int64_t heap_in_use() {
#ifdef TAVO_TEST_SANITIZED_HEAP
  const auto held = static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 m = mallinfo2();
  const auto held = static_cast<int64_t>(m.uordblks + m.hblkhd);
#endif
  return held + static_cast<int64_t>(base::large_chunk_bytes());
}

// One Moravel with four iSCSI functions: 1,000 targets fit (256 a LogicalHBA).
constexpr char kFourFunctions[] =
    "controller 0 generation=moravel serial=TM5B00000000 bus=2 device=0\n"
    "iscsi controller=0 function=4 port=0 device=0 ip=10.1.0.21\n"
    "iscsi controller=0 function=5 port=1 device=1 ip=10.1.1.21\n"
    "iscsi controller=0 function=6 port=2 device=2 ip=10.1.2.21\n"
    "iscsi controller=0 function=7 port=3 device=3 ip=10.1.3.21\n";

std::string lhba_path(int function) { return "Corvane0/iSCSIPhysicalHBA" + std::to_string(function) + "/LogicalHBA0"; }
std::string target_name(int i) { return "iqn.2026-12.com.example:t" + std::to_string(i); }

class ExitHeapTest : public ClientTest {
 protected:
  ExitHeapTest() : ClientTest(kFourFunctions) {}

  // n targets spread over the four functions, in a process of their own:
  // by the AddTarget action (each with its persistent session in the
  // firmware), or as saved lines alone.
  void save_targets(int n, bool sessions) {
    use(kFourFunctions);
    // Each case from nothing saved and adapters as the topology has them.
    sim_->power_cycle();
    for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
      ::unlink(root_.at(std::string("/etc/config/QVL/tavo/") + name).c_str());
    const std::string made = in_process([&] {
      if (TAVO_init() != 0) return std::string("no start");
      for (int i = 0; i < n; ++i) {
        const std::string lhba = lhba_path(i % 4);
        if (sessions) {
          if (act(lhba + "/AddTarget", {target_name(i), "10.0.0.9", "3260"}) != 0) return "add " + std::to_string(i);
          continue;
        }
        TavoNode* group = get_node(tag(lhba));
        TavoNode* target = initialize_Target(group, nullptr, nullptr, nullptr);
        if (target == nullptr || set_prop_val(target, "TargetISCSIName", "%s", target_name(i).c_str()) != 0 ||
            TAVO_add_target_into_file(group, target, target_name(i).c_str(), "10.0.0.9", "3260", nullptr,
                                      "True") != 0)
          return "line " + std::to_string(i) + ": " + last_status().second;
      }
      return std::string(TAVO_exit() == 0 ? "saved" : "no exit");
    });
    ASSERT_EQ(made, "saved");
  }

  // What a client reads: the first function's targets with their names,
  // and below the first of them, every property of every group.
  std::string client_reads() {
    const std::string lhba = lhba_path(0);
    std::string out;
    for (const std::string& target : children(lhba, TAVO_KIND_GROUP))
      if (target.rfind("Target", 0) == 0) out += target + "=" + get(lhba + "/" + target + "/TargetISCSIName") + "\n";
    out += subtree(lhba + "/Target0");
    return out;
  }
  std::string subtree(const std::string& path) {
    std::string out;
    for (const std::string& name : children(path, TAVO_KIND_PROPERTY))
      out += path + "/" + name + "=" + get(path + "/" + name) + "\n";
    for (const std::string& name : children(path, TAVO_KIND_GROUP)) out += subtree(path + "/" + name);
    return out;
  }
};

// In a process that never started the library: its heap before the first
// start, after the reads and the last exit (given as the growth, which
// must stay within the fixed tables), and whether a second start read the
// same.
TEST_F(ExitHeapTest, TheLastExitGivesBackWhatTheStartsTook) {
  const struct {
    const char* name;
    int targets;
    bool sessions;
    bool reads;
  } cases[] = {
      {"nothing saved", 0, false, true},
      {"1,000 targets with persistent sessions, read", 1000, true, true},
      {"1,000 targets with persistent sessions, unread", 1000, true, false},
      {"1,000 saved target lines, read", 1000, false, true},
  };
  // What a first start may leave whatever was saved: fixed tables, and
  // what the simulated firmware builds as it answers, which is its own
  // (the 32-bit build's start among waiting sessions leaves about 20 KB).
  constexpr int64_t kFixedTables = 24 * 1024;
  constexpr size_t kReadRoom = 1 << 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    save_targets(c.targets, c.sessions);
    if (HasFatalFailure()) return;
    const std::string answer = in_process([&] {
      // The simulator's log of requests, which grows with every request,
      // is the simulated host's, not the library's.
      sim_->set_log_bounds(1, 0);
      sim_->clear_log();
      // The simulated adapters' state, read from the root at their first
      // command, stays in this process from then on: it is the simulator's.
      std::string output;
      sim_->shell_output("true", &output);
      sim_->keep_adapters_in_process();
      for (int function = 0; function < 4; ++function) {
        sim_->sessions(function);
        sim_->nic_state(0, 4 + function);
      }
      // The texts read are the test's: their room is taken before.
      std::string first, second;
      first.reserve(kReadRoom);
      second.reserve(kReadRoom);
      const int64_t before = heap_in_use();
      if (TAVO_init() != 0) return std::string("no start");
      if (c.reads) first.assign(client_reads());
      if (TAVO_exit() != 0) return std::string("no exit");
      const int64_t after = heap_in_use();
      if (TAVO_init() != 0) return std::string("no second start");
      if (c.reads) second.assign(client_reads());
      if (TAVO_exit() != 0) return std::string("no second exit");
      const int64_t again = heap_in_use();
      std::string text = "kept " + std::to_string(after - before > kFixedTables ? after - before : 0) + ", again " +
                         std::to_string(again - after > kFixedTables ? again - after : 0);
      if (second != first) text += ", a second start read otherwise";
      if (c.reads && c.targets > 0 && first.find("Target0=") == std::string::npos) text += ", nothing read";
      return text;
    });
    EXPECT_EQ(answer, "kept 0, again 0");
  }
}

}  // namespace
}  // namespace tavo::test

