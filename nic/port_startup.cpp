// Hooks of the NIC enumeration that have nothing to do on this host, and
// the ports' start-up: each port's group (defined here, with the channels
// this branch owns) built and filled, then its channels.
#include "controller/controller.h"
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/port.h"
#include "transport/glob.h"

void TAVO_enumerate_nic_domain(void) {}

uint32_t TAVO_get_port_discovery_config(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  tavo::port::forget_baset_reads(tavo::controller::controller_instance(controller));
  // Each port's channels right after its own start-up, before the next port.
  for (int j = 0; j < TAVO_MAX_PORTS; ++j) {
    TavoNodeHandle* handle = tavo::port::startup_port_function(controller, j);
    if (handle == nullptr) continue;
    TavoNode* port = initialize_PortDiscoveryAndConfiguration(controller, nullptr, nullptr, nullptr);
    if (port == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 2, "%s:Failed to initialize PortDiscoveryAndConfiguration group.\n", __func__);
      continue;
    }
    if (tavo::port::startup_port(port, handle, generation, j) != nullptr)
      TAVO_get_multi_channels_info(static_cast<uint32_t>(j), port);
  }
  return 0;
}
