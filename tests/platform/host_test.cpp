#include "platform/host.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sim_fixture.h"

namespace tavo {
namespace {

using test::SimTest;

TEST(RealHost, FixedPathsGoUnderTavoRoot) {
  test::TempRoot first, second;
  platform::install_host(platform::make_real_host());
  // Each root in turn, one inside another and the first again: a path is
  // placed under the root in force, whatever was resolved before. ".."
  // stops at the root, as in a chroot, also for a name given already under
  // the root; relative paths are left alone.
  const std::string inner = first.path() + "/inner/x";
  for (const std::string& r : {first.path(), second.path(), first.path() + "/inner", first.path()}) {
    setenv("TAVO_ROOT", (r + "/").c_str(), 1);
    const std::pair<std::string, std::string> rows[] = {
        {"/etc/vmware/esx.conf", r + "/etc/vmware/esx.conf"}, {r + "/tmp/x", r + "/tmp/x"}, {"/../../x", r + "/x"},
        {"/tmp/../../../etc/./passwd", r + "/etc/passwd"},   {r + "/../../x", r + "/x"},   {"/..", r + "/"},
        {"//etc//QVL/tavo/", r + "/etc/QVL/tavo/"},           {r, r},                       {"../../x", "../../x"},
        {inner, inner.starts_with(r + "/") ? inner : r + inner}};
    for (const auto& [given, expected] : rows) EXPECT_EQ(platform::fixed_path(given), expected) << given << " under " << r;
  }
  // Without a root nothing changes.
  unsetenv("TAVO_ROOT");
  for (const char* path : {"/etc/issue.net", "/../../x", "/tmp/../etc"}) EXPECT_EQ(platform::fixed_path(path), path);
  platform::install_host(nullptr);
}

TEST(RealHost, EnvironmentSelectsTheSimulator) {
  test::TempRoot root;
  setenv("TAVO_ROOT", root.path().c_str(), 1);
  setenv("TAVO_SIMULATOR", "default", 1);
  platform::install_host(nullptr);
  ASSERT_NE(sim::current(), nullptr);
  EXPECT_EQ(platform::host().root(), root.path());
  EXPECT_TRUE(test::file_exists(root.at("/etc/vmware/esx.conf")));
  setenv("TAVO_SIMULATOR", root.at("/missing-topology").c_str(), 1);
  platform::install_host(nullptr);
  EXPECT_EQ(sim::current(), nullptr);  // a bad topology falls back to the real host
  unsetenv("TAVO_SIMULATOR");
  unsetenv("TAVO_ROOT");
  platform::install_host(nullptr);
}

// Many threads resolve at once, more paths than are kept resolved: each
// answer is its own path's.
using FixedPathTest = SimTest;

TEST_F(FixedPathTest, AnswersFromManyThreadsAreTheirOwn) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3000; ++i) {
        const std::string dir = "/tmp/" + std::to_string(t) + "/";
        const std::string name = "f" + std::to_string(i % 1500);
        wrong += platform::fixed_path(dir + "x/../" + name) != root_.path() + dir + name;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Another simulator put in force places paths under its own root at once,
// and the first root again when it comes back.
TEST_F(FixedPathTest, PathsFollowTheRootOfTheHostInForce) {
  test::TempRoot other;
  for (const std::string& r : {other.path(), root_.path()}) {
    sim_ = sim::install("default", r);
    ASSERT_NE(sim_, nullptr);
    for (const auto& [given, expected] : {std::pair<std::string, std::string>{"/etc/x/../issue.net", "/etc/issue.net"},
                                          {r + "/tmp/y", "/tmp/y"},
                                          {"/../tmp//z", "/tmp/z"}})
      EXPECT_EQ(platform::fixed_path(given), r + expected) << given << " under " << r;
  }
}

class StreamTest : public SimTest {};

TEST_F(StreamTest, StreamsGoThroughHostFileCalls) {
  std::string path = platform::fixed_path("/etc/config/QVL/tavo/s.txt");
  ASSERT_EQ(platform::host().mkdir(platform::fixed_path("/etc/config"), 0755), 0);
  ASSERT_EQ(platform::host().mkdir(platform::fixed_path("/etc/config/QVL"), 0755), 0);
  ASSERT_EQ(platform::host().mkdir(platform::fixed_path("/etc/config/QVL/tavo"), 0755), 0);
  FILE* f = platform::open_stream(path, "w");
  ASSERT_NE(f, nullptr);
  fprintf(f, "line %d\n", 1);
  ASSERT_EQ(fclose(f), 0);
  f = platform::open_stream(path, "ae+");
  ASSERT_NE(f, nullptr);
  fputs("line 2\n", f);
  fclose(f);
  EXPECT_EQ(test::read_file(root_.at("/etc/config/QVL/tavo/s.txt")), "line 1\nline 2\n");

  f = platform::open_stream(path, "r");
  ASSERT_NE(f, nullptr);
  char buf[32];
  ASSERT_NE(fgets(buf, sizeof buf, f), nullptr);
  EXPECT_STREQ(buf, "line 1\n");
  fclose(f);
  EXPECT_EQ(platform::open_stream(path, "q"), nullptr);
}

TEST_F(StreamTest, InjectedWriteErrorReachesTheStream) {
  sim::Fault f;
  f.kind = sim::FaultKind::FileErrno;
  f.file_call = "write";
  f.err = ENOSPC;
  sim_->inject(f);
  FILE* s = platform::open_stream(platform::fixed_path("/out.txt"), "w");
  ASSERT_NE(s, nullptr);
  fputs("data", s);
  EXPECT_NE(fflush(s), 0);
  fclose(s);
}

}  // namespace
}  // namespace tavo
