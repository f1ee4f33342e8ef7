#include "simulator/responders.h"

#include <string.h>

#include <algorithm>

#include "simulator/simulator.h"

namespace tavo::sim {

size_t fill_payload(MailboxCall& call, const void* bytes, size_t n) {
  const size_t fits = std::min(n, call.payload.size());
  if (fits > 0) memcpy(call.payload.data(), bytes, fits);
  std::fill(call.payload.begin() + static_cast<ptrdiff_t>(fits), call.payload.end(), 0);
  return fits;
}

// Unmodelled commands keep answering "not supported" (66); the catalogue's
// echo responder is installed by the tests that want it.
void install_standard_responders(Simulator& sim) {
  install_transport_responders(sim);
  install_dump_responders(sim);
  install_log_responders(sim);
  install_backend_responders(sim);
  install_controller_responders(sim);
  install_network_responders(sim);
  install_network_table_responders(sim);
  install_personality_responders(sim);
  install_ncsi_responders(sim);
  install_object_responders(sim);
  install_iscsi_responders(sim);
  install_port_responders(sim);
  install_nic_responders(sim);
  install_channel_responders(sim);
}

}  // namespace tavo::sim
