// A client's start and end among what is saved, on five Moravels (20
// LogicalHBAs), with none, 500 and 5,000 targets: the start with the saved
// lines alone and with each target's persistent session in the firmware,
// the first AddTarget after a start, and TAVO_exit. tools/run-bench gives
// their instructions per saved target, which stay flat when start-up pays
// only for what it must read; the start-up cases count the heap a first
// start in a fresh process holds per saved target, the start with
// sessions its looks at files; the last case counts a start's mailbox
// commands.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/memory.h"
#include "base/save_file.h"
#include "bench/bench_support.h"
#include "bench/target_support.h"
#include "iscsi/common/iscsi_common.h"
#include "iscsi/targets/targets.h"
#include "simulator/iscsi_state.h"
#include "simulator/simulator.h"
#include "transport/command_table.h"
#include "tree/persist.h"

namespace tavo::bench {
namespace {

int64_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  // The node pool's large chunks are mapped apart from malloc's heap.
  return static_cast<int64_t>(m.uordblks + m.hblkhd + tavo::base::large_chunk_bytes());
}

// The heap a first start in a fresh process holds: a child forked with the
// tree closed starts the library on the prepared root and gives its count
// through a pipe. The child has what the parent's last TAVO_exit left of
// the library, which is nothing; its memory goes with it. The simulator's
// request log, which grows with every request, is kept to one entry.
int64_t started_heap() {
  close_tree();
  int ends[2];
  if (pipe(ends) != 0) abort();
  const pid_t child = fork();
  if (child < 0) abort();
  if (child == 0) {
    close(ends[0]);
    sim::Simulator* sim = sim::current();
    sim->set_log_bounds(1, 0);
    sim->clear_log();
    const int64_t before = heap_in_use();
    const int64_t held = TAVO_init() == 0 ? heap_in_use() - before : -1;
    const bool sent = write(ends[1], &held, sizeof held) == static_cast<ssize_t>(sizeof held);
    _exit(sent ? 0 : 1);
  }
  close(ends[1]);
  int64_t held = -1;
  const bool got = read(ends[0], &held, sizeof held) == static_cast<ssize_t>(sizeof held);
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!got || held < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) abort();
  return held;
}

// Heap per saved target: a start's with n targets less one without any.
void count_heap(benchmark::State& state, int64_t empty, int64_t full) {
  const int64_t n = state.range(0);
  state.counters["heap_per_target"] = n > 0 ? static_cast<double>(full - empty) / static_cast<double>(n) : 0.0;
  state.counters["heap_tree"] = static_cast<double>(empty);
}

// The library's looks at files (stat) in one start: a saved file is looked
// at once per start, not once per target.
void count_looks(benchmark::State& state) {
  close_tree();
  sim::Simulator* sim = sim::current();
  sim->clear_log();
  if (TAVO_init() != 0) abort();
  state.counters["stats"] = static_cast<double>(sim->file_calls("stat"));
}

// Measured starts, each after an end that is not.
void measure_starts(benchmark::State& state) {
  close_tree();
  // The first start after the adds settles what a start rewrites.
  if (TAVO_init() != 0) abort();
  close_tree();
  for (auto _ : state) {
    if (measured_call([] { return TAVO_init(); }) != 0) state.SkipWithError("start failed");
    state.PauseTiming();
    close_tree();
    state.ResumeTiming();
  }
}

// n saved target lines, no persistent session.
void BM_StartupSavedTargets(benchmark::State& state) {
  targets_start(targets_moravel(false, kFiveMoravels));
  const int64_t empty = started_heap();
  if (TAVO_init() != 0) abort();
  targets_add_spread(logical_hbas(), state.range(0));
  close_tree();
  if (TAVO_init() != 0) abort();
  count_heap(state, empty, started_heap());
  measure_starts(state);
}
BENCHMARK(BM_StartupSavedTargets)->Arg(0)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// n targets added by the AddTarget action: each with its saved lines and
// its persistent session in the firmware.
void BM_StartupWithSessions(benchmark::State& state) {
  targets_start(targets_moravel(false, kFiveMoravels));
  const int64_t empty = started_heap();
  targets_with_sessions(state.range(0), kFiveMoravels);
  close_tree();
  if (TAVO_init() != 0) abort();
  count_heap(state, empty, started_heap());
  count_looks(state);
  measure_starts(state);
}
BENCHMARK(BM_StartupWithSessions)->Arg(0)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// The AddTarget action right after a start among n saved target lines, as
// a process that starts to add one target makes it (BM_AddTargetAction is
// the same add in a process that added before). Between adds the target,
// its persistent session and its lines go.
void BM_FirstAddTarget(benchmark::State& state) {
  const std::string base = targets_saved_spread(state.range(0));
  const std::string name = target_name(state.range(0));
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  action_params(params, name.c_str(), "10.0.0.9");
  for (auto _ : state) {
    state.PauseTiming();
    if (TAVO_init() != 0) abort();
    TavoNode* lhba = logical_hbas()[0];
    const uint32_t add = tag_of(lhba, "AddTarget", TAVO_KIND_ACTION);
    state.ResumeTiming();
    if (measured_call([&] { return TAVO_do_action(lhba->tag, add, params, nullptr); }) != 0)
      state.SkipWithError("add failed");
    state.PauseTiming();
    iscsi::delete_with_records(find_target(lhba, name.c_str()));
    *sim::current()->sessions(0) = sim::SimIscsi{};
    files::replace_file(kTargetsFile, base, 0600);
    close_tree();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstAddTarget)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// Five Moravels with n targets added by the AddTarget action over their
// LogicalHBAs, each with its persistent session, the tree closed: the
// saved file's text and the firmware's sessions, put back between runs.
struct SavedSessions {
  std::string text;
  std::vector<sim::SimIscsi> sessions;
  void put_back() const {
    files::replace_file(kTargetsFile, text, 0600);
    for (size_t d = 0; d < sessions.size(); ++d) *sim::current()->sessions(static_cast<int>(d)) = sessions[d];
  }
};
SavedSessions saved_with_sessions(int64_t n) {
  targets_with_sessions(n, kFiveMoravels);
  close_tree();
  SavedSessions saved;
  files::FileIdentity id;
  if (files::read_saved(kTargetsFile, 0, &saved.text, &id) != 0) abort();
  for (int d = 0; d < 4 * kFiveMoravels; ++d) saved.sessions.push_back(*sim::current()->sessions(d));
  return saved;
}

// AddTarget actions, each with its persistent session, in processes
// started over n saved targets with theirs that no client reached: the
// first add of a process (later false), or each of ten more on the same
// LogicalHBA after a first that is not measured (built: and after every
// target was built, as a client's walk builds them). The adds go with the
// process: the saved lines and the sessions are put back.
void adds_among_waiting(benchmark::State& state, bool later, bool built = false) {
  const SavedSessions saved = saved_with_sessions(state.range(0));
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  for (auto _ : state) {
    state.PauseTiming();
    if (TAVO_init() != 0) abort();
    TavoNode* lhba = logical_hbas()[0];
    const uint32_t add = tag_of(lhba, "AddTarget", TAVO_KIND_ACTION);
    const int adds = later ? 11 : 1;
    for (int i = 0; i < adds; ++i) {
      action_params(params, target_name(state.range(0) + i).c_str(), "10.0.0.9");
      const auto call = [&] { return TAVO_do_action(lhba->tag, add, params, nullptr); };
      if (i == 0 && later) {
        if (call() != 0) state.SkipWithError("add failed");
        if (built) tree::build_every_waiting_group(get_node(0));
        state.ResumeTiming();
        continue;
      }
      if (i == 0) state.ResumeTiming();
      if (measured_call(call) != 0) state.SkipWithError("add failed");
    }
    state.PauseTiming();
    close_tree();
    saved.put_back();
    state.ResumeTiming();
  }
}
void BM_FirstAddAmongSessions(benchmark::State& state) { adds_among_waiting(state, false); }
void BM_LaterAddsAmongSessions(benchmark::State& state) { adds_among_waiting(state, true); }
void BM_WarmAddsAmongBuiltSessions(benchmark::State& state) { adds_among_waiting(state, true, true); }
BENCHMARK(BM_FirstAddAmongSessions)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaterAddsAmongSessions)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmAddsAmongBuiltSessions)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

// TAVO_exit of the last client among n saved target lines: the tree goes.
void BM_Exit(benchmark::State& state) {
  targets_start(targets_moravel(false, kFiveMoravels));
  targets_add_spread(logical_hbas(), state.range(0));
  close_tree();
  for (auto _ : state) {
    state.PauseTiming();
    if (TAVO_init() != 0) abort();
    state.ResumeTiming();
    if (measured_call([] { return TAVO_exit(); }) != 0) state.SkipWithError("exit failed");
  }
}
BENCHMARK(BM_Exit)->Arg(0)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// The mailbox commands of a start with n targets added by the AddTarget
// action (each with its persistent session) on five Moravels: the fixed
// part, a start without any target, and the part per target above it.
// Each question start-up asks the firmware is asked once: what is left
// are the reads the tree needs.
double started_commands() {
  close_tree();
  sim::Simulator* sim = sim::current();
  sim->set_log_bounds(1, 0);
  sim->clear_log();
  if (TAVO_init() != 0) abort();
  // Each subsystem and opcode once, whatever the rows that share it.
  std::vector<std::pair<uint8_t, uint8_t>> codes;
  for (const command::CommandRow& r : command::kCommands)
    if (std::find(codes.begin(), codes.end(), std::pair{r.subsystem, r.opcode}) == codes.end())
      codes.emplace_back(r.subsystem, r.opcode);
  uint64_t sent = 0;
  for (const auto& [subsystem, opcode] : codes) sent += sim->mailbox_count(subsystem, opcode);
  sim->set_log_bounds(sim::kLogEntriesKept, sim::kLogBytesKept);
  return static_cast<double>(sent);
}

void BM_StartupMailboxCommands(benchmark::State& state) {
  const int64_t n = state.range(0);
  targets_start(targets_moravel(false, kFiveMoravels));
  const double fixed = started_commands();
  close_tree();
  targets_with_sessions(n, kFiveMoravels);
  close_tree();
  if (TAVO_init() != 0) abort();  // the first start after the adds settles what a start rewrites
  const double full = started_commands();
  state.counters["mailbox_fixed"] = fixed;
  state.counters["mailbox_per_target"] = n > 0 ? (full - fixed) / static_cast<double>(n) : 0.0;
  measure_starts(state);
}
BENCHMARK(BM_StartupMailboxCommands)->Arg(0)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavo::bench
