// The simulator linked into a program beside the library's objects (tests,
// fuzzers, benchmarks): it registers its factory as the program loads, so
// TAVO_SIMULATOR works without the module, and tests install it directly.
#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

const bool linked_registered = [] {
  platform::set_host_factory(make_host);
  return true;
}();

}  // namespace

Simulator* install(const std::string& topology, const std::string& root, std::string* error) {
  std::unique_ptr<Simulator> sim = start_simulator(topology, root, error);
  if (!sim) return nullptr;
  sim->power_cycle();
  Simulator* raw = sim.get();
  platform::install_host(std::move(sim));
  return raw;
}

Simulator* current() { return dynamic_cast<Simulator*>(&platform::host()); }

}  // namespace tavo::sim
