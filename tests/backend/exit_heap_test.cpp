// The last TAVO_exit gives back what the library's start and its clients'
// calls took: a host that loads the library, ends with it and runs on
// keeps nothing of it, however much was saved. A start after that exit
// answers as the first did.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/memory.h"
#include "iscsi/targets/targets.h"
#include "tavo/tavo.h"
#include "tests/support/client_fixture.h"

// A sanitizer's own count of the heap in use (its allocator replaces
// malloc's); absent without one.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void) __attribute__((weak));

namespace tavo::test {
namespace {

// The process's heap in use, with the node pool's large chunks, mapped apart from it.
int64_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  const size_t held =
      __sanitizer_get_current_allocated_bytes ? __sanitizer_get_current_allocated_bytes() : m.uordblks + m.hblkhd;
  return static_cast<int64_t>(held + base::large_chunk_bytes());
}

// One Moravel with four iSCSI functions: 1,000 targets fit (256 a LogicalHBA).
constexpr char kFourFunctions[] =
    "controller 0 generation=moravel serial=TM5B00000000 bus=2 device=0\n"
    "iscsi controller=0 function=4 port=0 device=0 ip=10.1.0.21\n"
    "iscsi controller=0 function=5 port=1 device=1 ip=10.1.1.21\n"
    "iscsi controller=0 function=6 port=2 device=2 ip=10.1.2.21\n"
    "iscsi controller=0 function=7 port=3 device=3 ip=10.1.3.21\n";

class ExitHeapTest : public ClientTest {
 protected:
  ExitHeapTest() : ClientTest(kFourFunctions) {}
};

// Each case saves its targets in a process of its own, then measures in a
// process that never started the library: its heap before the first start,
// after the reads and the last exit (the growth must stay within the fixed
// tables), and after a second start and exit, which must read the same.
TEST_F(ExitHeapTest, TheLastExitGivesBackWhatTheStartsTook) {
  const struct {
    const char* name;
    int targets;
    bool sessions;  // by AddTarget, each with its persistent session in the firmware; else saved lines alone
    bool reads;
  } cases[] = {
      {"nothing saved", 0, false, true},
      {"1,000 targets with persistent sessions, read", 1000, true, true},
      {"1,000 targets with persistent sessions, unread", 1000, true, false},
      {"1,000 saved target lines, read", 1000, false, true},
  };
  // What a first start may leave whatever was saved: fixed tables (about
  // 4 KB, the simulated firmware's included).
  constexpr int64_t kFixedTables = 8 * 1024;
  const auto lhba = [](int function) { return "Corvane0/iSCSIPhysicalHBA" + std::to_string(function) + "/LogicalHBA0"; };
  const auto target = [](int i) { return "iqn.2026-12.com.example:t" + std::to_string(i); };
  // What a client reads: every property of every group below path.
  const std::function<std::string(const std::string&)> subtree = [&](const std::string& path) {
    std::string out;
    for (const std::string& name : children(path, TAVO_KIND_PROPERTY))
      out += path + "/" + name + "=" + get(path + "/" + name) + "\n";
    for (const std::string& name : children(path, TAVO_KIND_GROUP)) out += subtree(path + "/" + name);
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // From nothing saved and adapters as the topology has them.
    use(kFourFunctions);
    sim_->power_cycle();
    for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
      ::unlink(root_.at(std::string("/etc/config/QVL/tavo/") + name).c_str());
    ASSERT_EQ(in_process([&] {
      if (TAVO_init() != 0) return std::string("no start");
      for (int i = 0; i < c.targets; ++i) {
        const std::string at = lhba(i % 4), name = target(i);
        TavoNode* group = get_node(tag(at));
        TavoNode* made = c.sessions ? nullptr : initialize_Target(group, nullptr, nullptr, nullptr);
        if (c.sessions ? act(at + "/AddTarget", {name, "10.0.0.9", "3260"}) != 0
                       : made == nullptr || set_prop_val(made, "TargetISCSIName", "%s", name.c_str()) != 0 ||
                             TAVO_add_target_into_file(group, made, name.c_str(), "10.0.0.9", "3260", nullptr, "True"))
          return "target " + std::to_string(i) + ": " + last_status().second;
      }
      return std::string(TAVO_exit() == 0 ? "saved" : "no exit");
    }), "saved");
    EXPECT_EQ(in_process([&] {
      // The simulator's log of requests, which grows with every request, is
      // the simulated host's, not the library's; so is the adapters' state,
      // read from the root at their first command and kept here from then on.
      sim_->set_log_bounds(1, 0);
      sim_->clear_log();
      std::string output;
      sim_->shell_output("true", &output);
      sim_->keep_adapters_in_process();
      for (int function = 0; function < 4; ++function) {
        sim_->sessions(function);
        sim_->nic_state(0, 4 + function);
      }
      // Each start reads the first function's targets with their names and
      // all below the first, into room the test took before.
      std::string read[2];
      for (std::string& text : read) text.reserve(1 << 20);
      int64_t heap[3] = {heap_in_use()};
      std::string failed;
      for (int run = 0; run < 2 && failed.empty(); ++run) {
        // In a thread of its own: malloc counts the blocks a thread keeps
        // for reuse as in use until the thread ends.
        std::thread([&] {
          if (TAVO_init() != 0) {
            failed = "no start";
            return;
          }
          for (const std::string& t : c.reads ? children(lhba(0), TAVO_KIND_GROUP) : std::vector<std::string>{})
            if (t.rfind("Target", 0) == 0) read[run] += t + "=" + get(lhba(0) + "/" + t + "/TargetISCSIName") + "\n";
          if (c.reads) read[run] += subtree(lhba(0) + "/Target0");
          if (TAVO_exit() != 0) failed = "no exit";
        }).join();
        heap[run + 1] = heap_in_use();
      }
      if (!failed.empty()) return failed;
      const auto kept = [](int64_t grown) { return std::to_string(grown > kFixedTables ? grown : 0); };
      return "kept " + kept(heap[1] - heap[0]) + ", again " + kept(heap[2] - heap[1]) +
             (read[1] != read[0] ? ", a second start read otherwise" : "") +
             (c.reads && c.targets > 0 && read[0].find("Target0=") == std::string::npos ? ", nothing read" : "");
    }), "kept 0, again 0");
  }
}

}  // namespace
}  // namespace tavo::test
