// The saved target lines: adding one target, changing one target's CHAP
// value, and reading every target's properties, each with 100 and 1,000
// targets saved.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/save_file.h"
#include "bench/bench_support.h"
#include "iscsi/targets/saved_view.h"
#include "iscsi/targets/targets.h"
#include "tree/persist.h"

namespace tavo::bench {
namespace {

constexpr char kTargetsFile[] = "/etc/config/QVL/tavo/savetgt.txt";
char targets_value[TAVO_VALUE_SIZE];

std::string target_name(int64_t i) { return "iqn.2026-01.com.example:target" + std::to_string(i); }

// The LogicalHBAs of two controllers (four functions), fresh saved files.
std::vector<TavoNode*> targets_start() {
  use_topology(controllers_topology(2));
  restore_backend();
  for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
    unlink((std::string(getenv("TAVO_ROOT")) + "/etc/config/QVL/tavo/" + name).c_str());
  if (TAVO_init() != 0) abort();
  std::vector<TavoNode*> lhbas;
  for (const char* path : {"Corvane0/iSCSIPhysicalHBA0/LogicalHBA0", "Corvane0/iSCSIPhysicalHBA1/LogicalHBA0",
                           "Corvane1/iSCSIPhysicalHBA0/LogicalHBA0", "Corvane1/iSCSIPhysicalHBA1/LogicalHBA0"})
    lhbas.push_back(internal_get_node_path((std::string("ROOT/") + path).c_str(), TAVO_KIND_GROUP));
  return lhbas;
}

// A Target group named name with its saved line.
TavoNode* targets_add(TavoNode* lhba, const std::string& name) {
  TavoNode* target = initialize_Target(lhba, nullptr, nullptr, nullptr);
  if (target == nullptr) abort();
  set_prop_val(target, "TargetISCSIName", "%s", name.c_str());
  if (TAVO_add_target_into_file(lhba, target, name.c_str(), "10.0.0.9", "3260", nullptr, "True") != 0) abort();
  return target;
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
      targets::with_view(targets::Saved::Targets, [](const targets::SavedView&) {});
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  close_tree();
}
BENCHMARK(BM_AddTarget)->Arg(100)->Arg(1000);

// One target's TargetCHAPName among n targets: its lines are rewritten,
// the file replaced whole.
void BM_TargetChapChange(benchmark::State& state) {
  const std::vector<TavoNode*> lhbas = targets_start();
  TavoNode* target = targets_add(lhbas[0], target_name(0));
  for (int64_t i = 1; i < state.range(0); ++i)
    TAVO_add_target_into_file(lhbas[0], target, target_name(i).c_str(), "10.0.0.9", "3260", nullptr, "True");
  set_prop_val(target, "TargetISCSIName", "%s", target_name(state.range(0) / 2).c_str());
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    if (TAVO_set_target_loginoptions(target, nullptr, nullptr, "TargetCHAPName", flip ? "chap-a" : "chap-b") != 0)
      state.SkipWithError("change failed");
  }
  close_tree();
}
BENCHMARK(BM_TargetChapChange)->Arg(100)->Arg(1000);

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

}  // namespace
}  // namespace tavo::bench
