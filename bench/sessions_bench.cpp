// ISID qualifiers among n sessions of the tree: the search for the lowest
// free one (an index of the qualifiers held, never a walk of the tree),
// and a whole login with its logout, with 100 and 1,000 sessions shown.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

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

// The LogicalHBA with n sessions shown under n/10 targets, holding the
// qualifiers 0 to n - 1 (every candidate below the answer held).
TavoNode* sessions_start(int64_t n) {
  use_topology(sessions_topology());
  restore_backend();
  for (const char* name : {"savetgt.txt", "savestp.txt", "intr_logopts.txt"})
    unlink((std::string(getenv("TAVO_ROOT")) + "/etc/config/QVL/tavo/" + name).c_str());
  if (TAVO_init() != 0) abort();
  TavoNode* lhba = get_first_instance(get_first_instance(get_first_instance(get_node(0), "Corvane"),
                                                         "iSCSIPhysicalHBA"),
                                      "LogicalHBA");
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

void sessions_params(char* params, const char* first, const char* second) {
  memset(params, 0, TAVO_MAX_PARAMS * TAVO_VALUE_SIZE);
  for (int i = 0; i < TAVO_MAX_PARAMS; ++i) params[i * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
  if (first != nullptr) snprintf(params, TAVO_VALUE_SIZE, "%s", first);
  if (second != nullptr) snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", second);
}

// A login that opens a new persistent session of a target added by hand,
// then its logout, which takes the session and its persistence away again.
void BM_LoginAmongSessions(benchmark::State& state) {
  TavoNode* lhba = sessions_start(state.range(0));
  char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  sessions_params(params, kStore, "10.0.0.50");
  if (TAVO_do_action(lhba->tag, tag_of(lhba, "AddTarget", TAVO_KIND_ACTION), params, nullptr) != 0) abort();
  TavoNode* target = find_target(lhba, kStore);
  const uint32_t login = tag_of(target, "Login", TAVO_KIND_ACTION);
  const uint32_t logout = tag_of(target, "Logout", TAVO_KIND_ACTION);
  for (auto _ : state) {
    const uint32_t failed = measured_call([&]() -> uint32_t {
      sessions_params(params, nullptr, nullptr);
      snprintf(params + 3 * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%lld", static_cast<long long>(state.range(0) + 7));
      if (TAVO_do_action(target->tag, login, params, nullptr) != 0) return 1;
      sessions_params(params, "1", nullptr);
      return TAVO_do_action(target->tag, logout, params, nullptr) != 0 ? 2 : 0;
    });
    if (failed != 0) state.SkipWithError(failed == 1 ? "login failed" : "logout failed");
  }
  close_tree();
}
BENCHMARK(BM_LoginAmongSessions)->Arg(100)->Arg(1000);

}  // namespace
}  // namespace tavo::bench
