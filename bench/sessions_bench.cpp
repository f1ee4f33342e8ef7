// ISID qualifiers among n sessions of the tree: the search for the lowest
// free one (an index of the qualifiers held, never a walk of the tree),
// and a whole login with its logout, with 100 and 1,000 sessions shown.
// Among n persistent sessions of one function, each with its saved line: a
// logout that removes its session's line, and one Target's refresh.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/targets/targets.h"

namespace tavo::bench {
namespace {

constexpr char kStore[] = "iqn.2026-01.com.example:store";

// One CV3 with an iSCSI function, and a target on the network.
std::string sessions_topology() {
  return "controller 0 generation=cv3 serial=TS0 bus=2\n"
         "iscsi controller=0 function=2 port=0 device=0 ip=10.0.0.21\n"
         "target name=iqn.2026-01.com.example:store portal=10.0.0.50/3260/1\n";
}

// A client over the topology with no saved files; its LogicalHBA.
TavoNode* sessions_client(const std::string& topology) {
  use_topology(topology);
  restore_backend();
  for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
    unlink((std::string(getenv("TAVO_ROOT")) + "/etc/config/QVL/tavo/" + name).c_str());
  if (TAVO_init() != 0) abort();
  return get_first_instance(get_first_instance(get_first_instance(get_node(0), "Corvane"), "iSCSIPhysicalHBA"),
                            "LogicalHBA");
}

// The LogicalHBA with n sessions shown under n/10 targets, holding the
// qualifiers 0 to n - 1 (every candidate below the answer held).
TavoNode* sessions_start(int64_t n) {
  TavoNode* lhba = sessions_client(sessions_topology());
  TavoNode* target = nullptr;
  for (int64_t i = 0; i < n; ++i) {
    if (i % 10 == 0) {
      target = initialize_Target(lhba, nullptr, nullptr, nullptr);
      if (target == nullptr) abort();
      set_prop_val(target, "TargetISCSIName", "iqn.2026-01.com.example:filler%lld", static_cast<long long>(i));
    }
    TavoNode* s = initialize_Session(target, nullptr, nullptr, nullptr);
    if (s == nullptr) abort();
    tavo::sessions::show_qualifier(s, static_cast<uint16_t>(i));
  }
  return lhba;
}

void BM_QualifierSearch(benchmark::State& state) {
  sessions_start(state.range(0));
  for (auto _ : state) {
    const uint32_t q = generate_isid_qualifier();
    if (q != static_cast<uint32_t>(state.range(0))) state.SkipWithError("wrong qualifier");
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  close_tree();
}
BENCHMARK(BM_QualifierSearch)->Arg(100)->Arg(1000);

struct StoreTarget {
  TavoNode* target;
  uint32_t login, logout;  // its actions' tags
};

// The target on the network, added by hand (its persistent session closed).
StoreTarget store_target(TavoNode* lhba) {
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  action_params(params, kStore, "10.0.0.50");
  if (TAVO_do_action(lhba->tag, tag_of(lhba, "AddTarget", TAVO_KIND_ACTION), params, nullptr) != 0) abort();
  TavoNode* target = find_target(lhba, kStore);
  return {target, tag_of(target, "Login", TAVO_KIND_ACTION), tag_of(target, "Logout", TAVO_KIND_ACTION)};
}

// A login that opens a new persistent session of a target added by hand,
// then its logout, which takes the session and its persistence away again.
void BM_LoginAmongSessions(benchmark::State& state) {
  TavoNode* lhba = sessions_start(state.range(0));
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  const StoreTarget store = store_target(lhba);
  TavoNode* target = store.target;
  const uint32_t login = store.login, logout = store.logout;
  for (auto _ : state) {
    const uint32_t failed = measured_call([&]() -> uint32_t {
      action_params(params, nullptr, nullptr);
      snprintf(params + 3 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%lld", static_cast<long long>(state.range(0) + 7));
      if (TAVO_do_action(target->tag, login, params, nullptr) != 0) return 1;
      action_params(params, "1", nullptr);
      return TAVO_do_action(target->tag, logout, params, nullptr) != 0 ? 2 : 0;
    });
    if (failed != 0) state.SkipWithError(failed == 1 ? "login failed" : "logout failed");
  }
  close_tree();
}
BENCHMARK(BM_LoginAmongSessions)->Arg(100)->Arg(1000);

// Targets that take this many sessions each, and the first ISID qualifier
// their logins ask for (above any the firmware gives on its own).
constexpr int64_t kSessionsPerTarget = 10;
constexpr int64_t kFirstQualifier = 1000;

std::string disk_name(int64_t i) { return "iqn.2026-01.com.example:disk" + std::to_string(i); }

// n persistent sessions on one function, n / 10 targets with ten each
// (the firmware of a CV3 holds 128 targets): the one AddTarget keeps
// closed and nine logins. Each has its saved line.
// Answers the LogicalHBA, and the targets through *targets.
TavoNode* persistent_sessions_start(int64_t n, std::vector<TavoNode*>* targets) {
  const int64_t count = n / kSessionsPerTarget;
  std::string topology = sessions_topology();
  for (int64_t i = 0; i < count; ++i) topology += "target name=" + disk_name(i) + " portal=10.0.0.50/3260/1\n";
  TavoNode* lhba = sessions_client(topology);
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  const uint32_t add = tag_of(lhba, "AddTarget", TAVO_KIND_ACTION);
  int64_t qualifier = kFirstQualifier;
  for (int64_t i = 0; i < count; ++i) {
    action_params(params, disk_name(i).c_str(), "10.0.0.50");
    if (TAVO_do_action(lhba->tag, add, params, nullptr) != 0) abort();
    TavoNode* target = find_target(lhba, disk_name(i).c_str());
    const uint32_t login = tag_of(target, "Login", TAVO_KIND_ACTION);
    for (int64_t s = 1; s < kSessionsPerTarget; ++s) {
      action_params(params, nullptr, nullptr);
      snprintf(params + 3 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%lld", static_cast<long long>(qualifier++));
      if (TAVO_do_action(target->tag, login, params, nullptr) != 0) abort();
    }
    targets->push_back(target);
  }
  return lhba;
}

// A persistent session of one more target, logged in before and out in
// the measure: the session goes, and its saved line with it.
void BM_LogoutAmongSessions(benchmark::State& state) {
  std::vector<TavoNode*> targets;
  TavoNode* lhba = persistent_sessions_start(state.range(0), &targets);
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  const StoreTarget store = store_target(lhba);
  TavoNode* target = store.target;
  const uint32_t login = store.login, logout = store.logout;
  for (auto _ : state) {
    state.PauseTiming();
    action_params(params, nullptr, nullptr);
    snprintf(params + 3 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%lld", static_cast<long long>(kFirstQualifier - 1));
    if (TAVO_do_action(target->tag, login, params, nullptr) != 0) state.SkipWithError("login failed");
    action_params(params, "1", nullptr);
    state.ResumeTiming();
    if (measured_call([&] { return TAVO_do_action(target->tag, logout, params, nullptr); }) != 0)
      state.SkipWithError("logout failed");
  }
  close_tree();
}
BENCHMARK(BM_LogoutAmongSessions)->Arg(100)->Arg(1000);

// One Target's refresh, its ten sessions among n on the function.
void BM_TargetRefreshAmongSessions(benchmark::State& state) {
  std::vector<TavoNode*> targets;
  persistent_sessions_start(state.range(0), &targets);
  const uint32_t target = targets[targets.size() / 2]->tag;
  for (auto _ : state)
    if (measured_call([&] { return TAVO_refresh_group(target); }) != 0) state.SkipWithError("refresh failed");
  close_tree();
}
BENCHMARK(BM_TargetRefreshAmongSessions)->Arg(100)->Arg(1000);

}  // namespace
}  // namespace tavo::bench
