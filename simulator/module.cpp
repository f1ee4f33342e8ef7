// The entry point of the simulator module (libtavo-sim.so), which libtavo
// loads from its own directory when TAVO_SIMULATOR is set.
#include <stdio.h>

#include "simulator/simulator.h"

extern "C" __attribute__((visibility("default"))) tavo::platform::Host* tavo_simulator_create_host(
    const char* topology, char* error, size_t error_size) {
  std::string why;
  std::unique_ptr<tavo::platform::Host> host = tavo::sim::make_host(topology ? topology : "", &why);
  // Nothing in a process that loads the module reads the request log: it
  // keeps the counts, not a copy of every request.
  if (auto* sim = dynamic_cast<tavo::sim::Simulator*>(host.get())) sim->set_log_bounds(1, 0);
  if (!host && error != nullptr && error_size > 0) snprintf(error, error_size, "%s", why.c_str());
  return host.release();
}
