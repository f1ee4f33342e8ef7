// Exported calls from many threads at once (the tsan preset runs them under
// ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/tree/tree_fixture.h"
#include "base/file_utils.h"
#include "base/locks.h"
#include "transport/devices.h"

namespace tavo::test {
namespace {

// Runs body(thread) on eight threads until done() holds.
void on_threads(const std::function<void(int)>& body, const std::function<bool()>& done) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      while (!done()) body(t);
    });
  for (auto& thread : threads) thread.join();
}

using ThreadsTest = TreeTest;

// While one thread connects and disconnects the only client (the tree and
// the log come and go), eight others make mixed calls: nothing crashes and
// every debug line is whole.
TEST_F(ThreadsTest, MixedCallsWhileTheOnlyClientComesAndGoes) {
  write_file(root_.at("/etc/config/QVL/tavo/libtavo.conf"), "TAVOLogLevel 6");
  ASSERT_EQ(TAVO_exit(), 0u);
  std::atomic<bool> stop{false};
  std::thread cycler([&] {
    for (int i = 0; i < 200; ++i)
      if (TAVO_init() == 0) TAVO_exit();
    stop = true;
  });
  on_threads(
      [](int t) {
        char value[TAVO_VALUE_SIZE];
        uint32_t tags[8], count = 0;
        pdebug(TAVO_LOG_BACKEND, 1, "thread %d: %s\n", t, std::string(100 * t, 'x').c_str());
        TAVO_file_close(TAVO_file_open("/etc/config/QVL/tavo/libtavo.conf", "r"));
        TAVO_check_valid_interface(t % 2 ? "vmnic0" : "vmnic9");
        TAVO_get_property_val(0, 1, value, sizeof value);
        TAVO_get_child_tags(0, tags, &count, TAVO_KIND_PROPERTY);
        tavo_release_lock(tavo_acquire_lock("threads") == 0 ? "threads" : "");
      },
      [&] { return stop.load(); });
  cycler.join();
  // One time stamp and process id at the start of each line, none later.
  const std::string pid = "," + std::to_string(getpid()) + ",   ";
  const std::regex whole("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] \\d\\d:\\d\\d:\\d\\d \\d{4}" + pid + "(?!.*" + pid + ").*");
  std::istringstream log(read_file(root_.at("/var/log/QVL/tavo/tavo2d.log")));
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
  EXPECT_GT(lines, 400);
}

// Each thread reads its own last status, as errno.
TEST_F(ThreadsTest, EachThreadReadsItsOwnLastStatus) {
  const std::pair<std::function<void()>, std::string> rows[] = {
      {[] { TAVO_set_property_val(0, 1, "x", 2); }, "10:Read only property"},
      {[] { TAVO_set_property_val(0, 3, "9", 2); }, "6:Invalid value."},
      {[] { TAVO_get_node_tag(0, "nothing", nullptr, 0); }, "1:TAVO_get_node_tag: its tag is null."},
      {[] { tavo_set_last_status(77, "set directly"); }, "77:set directly"},
  };
  std::atomic<int> rounds{0}, wrong{0};
  on_threads(
      [&](int t) {
        rows[t % 4].first();
        uint32_t code = 0;
        char text[TAVO_STATUS_TEXT_SIZE];
        TAVO_get_last_status(&code, text);
        wrong += std::to_string(code) + ":" + text != rows[t % 4].second;
        ++rounds;
      },
      [&] { return rounds >= 4000; });
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace tavo::test
