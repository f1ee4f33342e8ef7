// Hooks of the NIC enumeration that have nothing to do on this host, and
// the ports' start-up with the channels this branch owns.
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
  for (int j = 0; j < TAVO_MAX_PORTS; ++j)
    if (TavoNode* port = tavo::port::startup_port(controller, generation, j))
      TAVO_get_multi_channels_info(static_cast<uint32_t>(j), port);
  return 0;
}
