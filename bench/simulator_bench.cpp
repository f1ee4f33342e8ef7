// A mailbox command that only reads, in a process that keeps the simulated
// adapters under the root as a user's process does: before each command
// the simulator looks whether another process changed them. With one and
// with eight controllers: the look costs the same whatever the adapters.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "simulator/simulator.h"
#include "transport/commands.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"

namespace tavo::bench {
namespace {

void BM_ReadCommandAdaptersUnderRoot(benchmark::State& state) {
  use_topology(controllers_topology(static_cast<int>(state.range(0))), true);
  // A change kept under the root, so that there is a file to look at.
  sim::current()->set_interface_up("vmnic0", false);
  sim::current()->shell("true");
  transport::reset_glob();
  tavo_glob.iscsi_valid_hba = os_get_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  uint8_t payload[72] = {};
  for (auto _ : state)
    if (ioctl_get_mac_query(1, payload, 0, 0, TAVO_VIA_ISCSI) != 0) state.SkipWithError("command failed");
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  transport::reset_glob();
}
BENCHMARK(BM_ReadCommandAdaptersUnderRoot)->Arg(1)->Arg(8);

}  // namespace
}  // namespace tavo::bench
