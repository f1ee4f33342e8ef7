// One mailbox command round trip through its wrapper against a firmware
// that answers at once, on an iSCSI device and on the NIC device (which
// re-lists the NIC functions before every command).
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_support.h"
#include "simulator/simulator.h"
#include "simulator/topology.h"
#include "transport/commands.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"

namespace tavo::bench {
namespace {

void open_devices() {
  transport::reset_glob();
  tavo_glob.iscsi_valid_hba = os_get_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  tavo_glob.nic_valid_hba = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
}

void close_devices() {
  os_put_port_instances(tavo_glob.iscsi_handles, TAVO_MAX_FUNCTIONS);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  transport::reset_glob();
}

void round_trip(benchmark::State& state, uint32_t transport) {
  use_topology(sim::default_topology_text());
  sim::current()->on(1, 1, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; });
  open_devices();
  uint8_t payload[72] = {};
  for (auto _ : state)
    if (ioctl_get_mac_query(1, payload, 0, 0, transport) != 0) state.SkipWithError("command failed");
  close_devices();
}

// A read of a large answer area (a profile's configuration), the size the
// start-up's largest reads have: what the command moves besides its payload.
void large_read(benchmark::State& state, uint32_t transport) {
  use_topology(sim::default_topology_text());
  sim::current()->on(1, 164, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; });
  sim::current()->set_log_bounds(1, 0);
  open_devices();
  std::vector<uint8_t> payload(static_cast<size_t>(state.range(0)));
  for (auto _ : state)
    if (ioctl_get_profile_config(1, payload.data(), static_cast<uint16_t>(payload.size()), 0, 0, transport) != 0)
      state.SkipWithError("command failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  close_devices();
}

void BM_IscsiLargeRead(benchmark::State& state) { large_read(state, TAVO_VIA_ISCSI); }
BENCHMARK(BM_IscsiLargeRead)->Arg(22620)->Arg(64000);

void BM_NicLargeRead(benchmark::State& state) { large_read(state, TAVO_VIA_NIC); }
BENCHMARK(BM_NicLargeRead)->Arg(22620)->Arg(64000);

void BM_IscsiCommand(benchmark::State& state) { round_trip(state, TAVO_VIA_ISCSI); }
BENCHMARK(BM_IscsiCommand);

void BM_NicCommand(benchmark::State& state) { round_trip(state, TAVO_VIA_NIC); }
BENCHMARK(BM_NicCommand);

}  // namespace
}  // namespace tavo::bench
