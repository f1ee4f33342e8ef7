// The saved target lines: adding one target (its line alone, the whole
// AddTarget action, and a target with its portal among saved targets no
// client reached), deleting one, changing one target's CHAP and reading
// every target's properties, each with 100 and 1,000 (the AddTarget action
// 5,000) targets saved. The Durable cases let every flush reach the disk.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/save_file.h"
#include "bench/bench_support.h"
#include "bench/target_support.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/targets/targets.h"
#include "iscsi/targets/targets_internal.h"
#include "simulator/simulator.h"
#include "tree/persist.h"
#include "tree/waiting.h"

namespace tavo::bench {
namespace {

char targets_value[TAVO_VALUE_SIZE];

// The process's page faults that needed no read so far.
long minor_faults() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// After the file went back to its saved lines: the view read again (which
// indexes again the lookups asked before) and a first add's lookups asked
// (an add of a line the file has), as a process that kept running has them.
void targets_warm(TavoNode* lhba, TavoNode* target) {
  iscsi::with_view(iscsi::Saved::Targets, [](const iscsi::SavedView&) {});
  char name[TAVO_VALUE_SIZE] = "";
  internal_get_property(target, "TargetISCSIName", name);
  internal_get_property(target, "TargetType", name);
  TAVO_add_target_into_file(lhba, target, target_name(0).c_str(), "10.0.0.9", "3260", nullptr, "True");
}

// One more target line among n: the line is appended, nothing read but
// the file's tail. Every 64 adds the file goes back to its n lines.
void BM_AddTarget(benchmark::State& state) {
  const std::vector<TavoNode*> lhbas = targets_start();
  TavoNode* target = targets_add(lhbas[0], target_name(0));
  for (int64_t i = 1; i < state.range(0); ++i)
    TAVO_add_target_into_file(lhbas[0], target, target_name(i).c_str(), "10.0.0.9", "3260", nullptr, "True");
  std::string base;
  files::FileIdentity id;
  if (files::read_saved(kTargetsFile, 0, &base, &id) != 0) abort();
  int64_t next = state.range(0), added = 0;
  for (auto _ : state) {
    if (TAVO_add_target_into_file(lhbas[0], target, target_name(next++).c_str(), "10.0.0.9", "3260", nullptr, "True"))
      state.SkipWithError("add failed");
    if (++added % 64 == 0) {
      state.PauseTiming();
      files::replace_file(kTargetsFile, base, 0600);
      targets_warm(lhbas[0], target);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  close_tree();
}
BENCHMARK(BM_AddTarget)->Arg(100)->Arg(1000);

// The AddTarget action among n targets saved across the 20 functions of
// five Moravels: checks, the new target and portal, the saved line and the
// persistent session. Every 20 adds the targets and their sessions go and
// the file goes back to its n lines. One add before the timing asks every
// lookup the action makes once, as a process that ran before has them.
void targets_add_action(benchmark::State& state, bool durable) {
  const std::vector<TavoNode*> lhbas = targets_start(targets_moravel(durable, kFiveMoravels));
  const size_t functions = lhbas.size();
  TavoNode* first = targets_add(lhbas[0], target_name(0));
  for (int64_t i = 1; i < state.range(0); ++i)
    targets_add(lhbas[static_cast<size_t>(i) % functions], target_name(i));
  std::string base;
  files::FileIdentity id;
  if (files::read_saved(kTargetsFile, 0, &base, &id) != 0) abort();
  std::vector<std::pair<TavoNode*, std::string>> added;
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  // The flushes of files and folders the measured adds make.
  const auto flushes = [] { return sim::current()->file_calls("fsync") + sim::current()->file_calls("fsync_dir"); };
  uint64_t flushed = 0;
  const auto add = [&](bool measured) {
    TavoNode* lhba = lhbas[added.size() % functions];
    const std::string name = target_name(state.range(0) + static_cast<int64_t>(added.size()));
    action_params(params, name.c_str(), "10.0.0.9");
    added.emplace_back(lhba, name);
    const auto call = [&] {
      return TAVO_do_action(lhba->tag, tag_of(lhba, "AddTarget", TAVO_KIND_ACTION), params, nullptr);
    };
    const uint64_t before = flushes();
    const bool done = (measured ? measured_call(call) : call()) == 0;
    if (measured) flushed += flushes() - before;
    return done;
  };
  const auto reset = [&] {
    for (const auto& [group, n] : added) iscsi::delete_with_records(find_target(group, n.c_str()));
    added.clear();
    // The firmware forgets their persistent sessions too.
    for (size_t device = 0; device < functions; ++device) *sim::current()->sessions(static_cast<int>(device)) = sim::SimIscsi{};
    files::replace_file(kTargetsFile, base, 0600);
    targets_warm(lhbas[0], first);
  };
  if (!add(false)) abort();
  reset();
  for (auto _ : state) {
    if (!add(true)) state.SkipWithError("add failed");
    if (added.size() == functions) {
      state.PauseTiming();
      reset();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["flushes"] = benchmark::Counter(static_cast<double>(flushed), benchmark::Counter::kAvgIterations);
  close_tree();
}
void BM_AddTargetAction(benchmark::State& state) { targets_add_action(state, false); }
void BM_AddTargetActionDurable(benchmark::State& state) { targets_add_action(state, true); }
BENCHMARK(BM_AddTargetAction)->Arg(100)->Arg(1000)->Arg(5000);
// A flush waits for the disk, not the processor.
BENCHMARK(BM_AddTargetActionDurable)->Arg(100)->Arg(1000)->UseRealTime();

// One more target in a process started over n saved targets that no
// client reached (they wait, unbuilt): a Target with its portal, as the
// builders make them, and its saved line. Every 20 adds (one on each
// LogicalHBA of five Moravels) the tree goes, the file goes back to its n
// lines and the tree starts again; the adds are those of processes that
// each add a few. faults_per_add: the pages the adds touched first.
void BM_AddTargetAmongWaiting(benchmark::State& state) {
  const std::string base = targets_saved_spread(state.range(0));
  if (TAVO_init() != 0) abort();
  std::vector<TavoNode*> lhbas = logical_hbas();
  int64_t next = state.range(0);
  size_t added = 0;
  long faults = 0;
  for (auto _ : state) {
    const std::string name = target_name(next++);
    const long faults_before = minor_faults();
    TavoNode* lhba = lhbas[added % lhbas.size()];
    const uint32_t failed = measured_call([&]() -> uint32_t {
      TavoNode* target = initialize_Target(lhba, nullptr, nullptr, nullptr);
      if (target == nullptr || set_prop_val(target, "TargetISCSIName", "%s", name.c_str()) != 0) return 1;
      TavoNode* portal = initialize_TargetPortal(target, nullptr, nullptr, nullptr);
      if (portal == nullptr) return 1;
      return TAVO_add_target_into_file(lhba, target, name.c_str(), "10.0.0.9", "3260", portal, "True");
    });
    faults += minor_faults() - faults_before;
    if (failed != 0) state.SkipWithError("add failed");
    if (!tree::children_wait(lhba)) state.SkipWithError("the saved targets were built");
    if (++added == lhbas.size()) {
      state.PauseTiming();
      added = 0;
      close_tree();
      files::replace_file(kTargetsFile, base, 0600);
      if (TAVO_init() != 0) abort();
      lhbas = logical_hbas();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["faults_per_add"] = static_cast<double>(faults) / static_cast<double>(state.iterations());
  close_tree();
}
BENCHMARK(BM_AddTargetAmongWaiting)->Arg(1000);

// ConfigureCHAP of one target among n: its line is rewritten, the file
// replaced whole, once.
void targets_chap_change(benchmark::State& state, bool durable) {
  const std::vector<TavoNode*> lhbas = targets_start(targets_moravel(durable));
  for (int64_t i = 0; i < state.range(0); ++i) targets_add(lhbas[static_cast<size_t>(i % 4)], target_name(i));
  TavoNode* target = find_target(lhbas[0], target_name(state.range(0) / 2 / 4 * 4).c_str());
  TavoNode* authentication =
      internal_get_node(internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP), "Authentication",
                        TAVO_KIND_GROUP);
  const uint32_t configure = tag_of(authentication, "ConfigureCHAP", TAVO_KIND_ACTION);
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    memset(params, 0, sizeof params);
    for (int i : {1, 2, 5}) params[i * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
    snprintf(params, TAVO_VALUE_SIZE, "One-Way CHAP");
    snprintf(params + 3 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", flip ? "chap-a" : "chap-b");
    snprintf(params + 4 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", flip ? "secret-a1234" : "secret-b1234");
    if (measured_call([&] { return TAVO_do_action(authentication->tag, configure, params, nullptr); }) != 0)
      state.SkipWithError("change failed");
  }
  close_tree();
}
void BM_TargetChapChange(benchmark::State& state) { targets_chap_change(state, false); }
void BM_TargetChapChangeDurable(benchmark::State& state) { targets_chap_change(state, true); }
BENCHMARK(BM_TargetChapChange)->Arg(100)->Arg(1000);
BENCHMARK(BM_TargetChapChangeDurable)->Arg(100)->Arg(1000)->UseRealTime();

// Every property of every target (their login options reload from the
// saved lines).
void BM_ReadTargetProperties(benchmark::State& state) {
  const std::vector<TavoNode*> lhbas = targets_start();
  std::vector<std::pair<TavoNode*, TavoNode*>> reads;  // group, property
  for (int64_t i = 0; i < state.range(0); ++i) {
    TavoNode* target = targets_add(lhbas[static_cast<size_t>(i % 4)], target_name(i));
    TavoNode* options = internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP);
    for (TavoNode* group : {target, options, internal_get_node(options, "Authentication", TAVO_KIND_GROUP)})
      for (TavoNode* c = tree::group_record(group)->first_child; c != group; c = c->next)
        if (c->kind == TAVO_KIND_PROPERTY) reads.emplace_back(group, c);
  }
  for (auto _ : state)
    for (const auto& [group, property] : reads)
      if (TAVO_get_property_val(group->tag, property->tag, targets_value, TAVO_VALUE_SIZE) != 0)
        state.SkipWithError("read failed");
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(reads.size()));
  close_tree();
}
BENCHMARK(BM_ReadTargetProperties)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The DeleteTarget action among n targets: a target added before (not
// measured) goes with its saved line and persistent session.
void BM_DeleteTargetAction(benchmark::State& state) {
  const std::vector<TavoNode*> lhbas = targets_with_sessions(state.range(0));
  TavoNode* lhba = lhbas[0];
  const uint32_t remove = tag_of(lhba, "DeleteTarget", TAVO_KIND_ACTION);
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  int64_t next = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    TavoNode* target = add_target_action(lhba, target_name(next++));
    if (target == nullptr) state.SkipWithError("add failed");
    action_params(params, std::to_string(target != nullptr ? tree::instance_number(target) : 0).c_str());
    state.ResumeTiming();
    if (measured_call([&] { return TAVO_do_action(lhba->tag, remove, params, nullptr); }) != 0)
      state.SkipWithError("delete failed");
  }
  close_tree();
}
BENCHMARK(BM_DeleteTargetAction)->Arg(100)->Arg(1000);

}  // namespace
}  // namespace tavo::bench
