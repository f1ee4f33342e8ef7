// The tree's costs per node and per record, at two sizes each.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/target_support.h"
#include "simulator/topology.h"
#include "tree/persist.h"

namespace tavo::bench {
namespace {

char value_buffer[TAVO_VALUE_SIZE];

// A tree with `children` BenchChild siblings; answers the last child's tag.
uint32_t tree_with_children(int64_t children) {
  use_topology(sim::default_topology_text());
  open_bench_tree();
  uint32_t last = 0;
  for (int64_t i = 0; i < children; ++i) last = add_child();
  return last;
}

void BM_PropertyGet(benchmark::State& state) {
  const uint32_t group = tree_with_children(state.range(0));
  const uint32_t property = tag_of(get_node(group), "Value", TAVO_KIND_PROPERTY);
  for (auto _ : state) {
    if (TAVO_get_property_val(group, property, value_buffer, TAVO_VALUE_SIZE) != 0) state.SkipWithError("get failed");
    benchmark::DoNotOptimize(value_buffer);
  }
  close_tree();
}
BENCHMARK(BM_PropertyGet)->Arg(10)->Arg(1000);

void BM_PropertySet(benchmark::State& state) {
  const uint32_t group = tree_with_children(state.range(0));
  const uint32_t property = tag_of(get_node(group), "Value", TAVO_KIND_PROPERTY);
  for (auto _ : state)
    if (TAVO_set_property_val(group, property, "42", 3) != 0) state.SkipWithError("set failed");
  close_tree();
}
BENCHMARK(BM_PropertySet)->Arg(10)->Arg(1000);

// A plain stored property of ROOT: what a read costs with logging off.
void BM_RootPropertyRead(benchmark::State& state) {
  use_topology(sim::default_topology_text());
  open_bench_tree();
  const uint32_t property = tag_of(get_node(0), "TAVOServiceVersion", TAVO_KIND_PROPERTY);
  for (auto _ : state) {
    if (TAVO_get_property_val(0, property, value_buffer, TAVO_VALUE_SIZE) != 0) state.SkipWithError("get failed");
    benchmark::DoNotOptimize(value_buffer);
  }
  close_tree();
}
BENCHMARK(BM_RootPropertyRead);

// A client's read of a root nobody else changes: ROOT's TAVOServiceVersion,
// or the TargetISCSIName of the first Target of the first LogicalHBA among
// 1,000 saved over five Moravels. The client reached that Target by name:
// its LogicalHBA's targets are built, with their login options and
// sessions waiting, and the other 19 LogicalHBAs' targets wait. Its
// instructions (tools/run-bench) and the host's calls it makes (none for
// the gate between processes), one thread or several at once.
enum class ReadOf { Root, Target };

void BM_PropertyRead(benchmark::State& state, ReadOf read_of) {
  static uint32_t group = 0, property = 0;
  // Only the first thread sets up and counts: the others reach the loop's
  // barrier while it may still be putting the simulated host in place.
  uint64_t calls = 0;
  if (state.thread_index() == 0) {
    targets_saved_spread(1000);
    if (TAVO_init() != 0) abort();
    group = 0;
    if (read_of == ReadOf::Target) group = tag_of(logical_hbas()[0], "Target0", TAVO_KIND_GROUP);
    property = tag_of(get_node(group), read_of == ReadOf::Target ? "TargetISCSIName" : "TAVOServiceVersion",
                      TAVO_KIND_PROPERTY);
    calls = host_calls();
  }
  char value[TAVO_VALUE_SIZE];
  for (auto _ : state) {
    const auto read = [&] { return TAVO_get_property_val(group, property, value, TAVO_VALUE_SIZE); };
    const uint32_t r = state.threads() == 1 ? measured_call(read) : read();
    if (r != 0) state.SkipWithError("get failed");
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.counters["host_calls_per_read"] =
        benchmark::Counter(static_cast<double>(host_calls() - calls) / static_cast<double>(state.iterations()));
    close_tree();
  }
}
BENCHMARK_CAPTURE(BM_PropertyRead, root, ReadOf::Root)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK_CAPTURE(BM_PropertyRead, target, ReadOf::Target)->Threads(1)->Threads(4)->UseRealTime();

// A debug line below the level: it must return before formatting anything.
void BM_DebugBelowLevel(benchmark::State& state) {
  tavo_debug_level = 0;
  for (auto _ : state) pdebug(TAVO_LOG_TREE, 6, "%s %d %s\n", "a debug line", 42, "never written");
}
BENCHMARK(BM_DebugBelowLevel);

void BM_AddPersistentNodes(benchmark::State& state) {
  const int64_t n = state.range(0);
  use_topology(sim::default_topology_text());
  for (auto _ : state) {
    state.PauseTiming();
    open_bench_tree();
    state.ResumeTiming();
    for (int64_t i = 0; i < n; ++i) add_child();
    state.PauseTiming();
    close_tree();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AddPersistentNodes)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_DeletePersistentNodes(benchmark::State& state) {
  const int64_t n = state.range(0);
  use_topology(sim::default_topology_text());
  std::vector<uint32_t> tags(static_cast<size_t>(n));
  for (auto _ : state) {
    state.PauseTiming();
    open_bench_tree();
    for (auto& t : tags) t = add_child();
    state.ResumeTiming();
    for (uint32_t t : tags) delete_node(get_node(t));
    state.PauseTiming();
    close_tree();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DeletePersistentNodes)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The records of a tree with n persistent children.
std::string saved_records(int64_t n) {
  tree_with_children(n);
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  save_node(get_node(0), out, 3);
  fclose(out);
  std::string records(text, size);
  free(text);
  close_tree();
  return records;
}

void BM_SaveRecords(benchmark::State& state) {
  const int64_t n = state.range(0);
  tree_with_children(n);
  for (auto _ : state) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    save_node(get_node(0), out, 3);
    fclose(out);
    free(text);
  }
  state.SetItemsProcessed(state.iterations() * n);
  close_tree();
}
BENCHMARK(BM_SaveRecords)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void replay(benchmark::State& state, const std::string& prefix) {
  const int64_t n = state.range(0);
  std::string records = prefix + saved_records(n);
  for (auto _ : state) {
    state.PauseTiming();
    open_bench_tree();
    FILE* in = fmemopen(records.data(), records.size(), "r");
    state.ResumeTiming();
    restore_hm(in);
    state.PauseTiming();
    fclose(in);
    close_tree();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_ReplayRecords(benchmark::State& state) { replay(state, ""); }
BENCHMARK(BM_ReplayRecords)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One 1 MiB line first: the grown line buffer must not cost every later
// record.
void BM_ReplayAfterLongLine(benchmark::State& state) { replay(state, std::string(1 << 20, 'x') + "\n"); }
BENCHMARK(BM_ReplayAfterLongLine)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Every property of the tree read through the public calls.
void walk(uint32_t group, int* reads) {
  static uint32_t tags[1 << 16];
  uint32_t count = 0;
  if (TAVO_get_child_tags(group, tags, &count, TAVO_KIND_PROPERTY) == 0) {
    std::vector<uint32_t> properties(tags, tags + count);
    for (uint32_t p : properties) {
      TAVO_get_property_val(group, p, value_buffer, TAVO_VALUE_SIZE);
      ++*reads;
    }
  }
  if (TAVO_get_child_tags(group, tags, &count, TAVO_KIND_GROUP) == 0) {
    std::vector<uint32_t> groups(tags, tags + count);
    for (uint32_t g : groups) walk(g, reads);
  }
}

void BM_TreeWalk(benchmark::State& state) {
  restore_backend();
  use_topology(controllers_topology(static_cast<int>(state.range(0))));
  if (TAVO_init() != 0) state.SkipWithError("TAVO_init failed");
  int reads = 0;
  for (auto _ : state) walk(0, &reads);
  state.counters["properties"] = static_cast<double>(reads) / static_cast<double>(state.iterations());
  TAVO_exit();
}
BENCHMARK(BM_TreeWalk)->Arg(1)->Arg(16);

void BM_InitExit(benchmark::State& state) {
  restore_backend();
  use_topology(controllers_topology(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    if (TAVO_init() != 0) state.SkipWithError("TAVO_init failed");
    TAVO_exit();
  }
}
BENCHMARK(BM_InitExit)->Arg(1)->Arg(16);

}  // namespace
}  // namespace tavo::bench
