// A long run over the default adapters: a client that starts and exits
// round after round while eight readers call in (the tsan preset runs it
// under ThreadSanitizer). The simulator keeps answering as it did at the
// start: its log stays within its bounds, and its counts stay exact.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "tavo/tavo.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

using LongRunTest = ClientTest;

// A start of the default adapters is several times slower under the
// sanitizers; a quarter of the rounds still sends many times the requests
// the log keeps.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 250;
#else
constexpr int kRounds = 1000;
#endif
constexpr std::array kKinds = {sim::LogKind::IscsiIoctl, sim::LogKind::NicIoctl, sim::LogKind::Shell,
                               sim::LogKind::DeviceOpen, sim::LogKind::DeviceClose};

std::array<uint64_t, kKinds.size()> counts(const sim::Simulator& sim) {
  std::array<uint64_t, kKinds.size()> out{};
  for (size_t i = 0; i < kKinds.size(); ++i) out[i] = sim.request_count(kKinds[i]);
  return out;
}

TEST_F(LongRunTest, ReadersWhileAClientStartsAndExitsRoundAfterRound) {
  ASSERT_EQ(TAVO_exit(), 0u);
  // One round alone: what each round asks of the devices and the shell.
  ASSERT_EQ(TAVO_init(), 0u);
  ASSERT_EQ(TAVO_exit(), 0u);
  sim_->clear_log();
  ASSERT_EQ(TAVO_init(), 0u);
  ASSERT_EQ(TAVO_exit(), 0u);
  const auto per_round = counts(*sim_);
  // The extended FAT configuration, 64,000 bytes a request.
  const uint64_t fat_reads = sim_->mailbox_count(1, 125);
  ASSERT_GT(fat_reads, 0u);
  size_t round_bytes = 0;
  for (const sim::LogEntry& e : sim_->log()) round_bytes += e.bytes.size();
  // The run sends more requests, and more of their bytes, than the log keeps.
  ASSERT_GT(per_round[0] * kRounds, sim::kLogEntriesKept);
  ASSERT_GT(round_bytes * kRounds, sim::kLogBytesKept);
  sim_->clear_log();

  std::atomic<bool> stop{false};
  std::atomic<int> started{0};
  std::thread cycler([&] {
    for (int i = 0; i < kRounds; ++i)
      if (TAVO_init() == 0) started += TAVO_exit() == 0;
    stop = true;
  });
  // The readers stay off the devices: what they read is the tree's own.
  std::vector<std::thread> readers;
  for (int t = 0; t < 8; ++t)
    readers.emplace_back([&, t] {
      while (!stop) {
        char value[TAVO_VALUE_SIZE], name[TAVO_VALUE_SIZE];
        uint32_t tags[64], count = 64, code = 0;
        TAVO_get_property_val(0, 1, value, sizeof value);
        if (TAVO_get_child_tags(0, tags, &count, TAVO_KIND_GROUP) == 0 && count > 0)
          TAVO_get_node_name(tags[static_cast<uint32_t>(t) % count], name, TAVO_KIND_GROUP);
        TAVO_get_last_status(&code, value);
      }
    });
  cycler.join();
  for (std::thread& reader : readers) reader.join();

  EXPECT_EQ(started.load(), kRounds);
  const std::vector<sim::LogEntry> log = sim_->log();
  size_t bytes = 0;
  for (const sim::LogEntry& e : log) bytes += e.bytes.size();
  EXPECT_LE(log.size(), sim::kLogEntriesKept);
  EXPECT_LE(bytes, sim::kLogBytesKept);
  const auto total = counts(*sim_);
  for (size_t i = 0; i < kKinds.size(); ++i) EXPECT_EQ(total[i], per_round[i] * kRounds) << "kind " << i;
  EXPECT_EQ(sim_->mailbox_count(1, 125), fat_reads * kRounds);
  ASSERT_EQ(TAVO_init(), 0u);
}

}  // namespace
}  // namespace tavo::test
