// The port bitmap: which device reaches each port of each controller.
#include <stdio.h>
#include <strings.h>

#include "backend/backend.h"
#include "controller/controller.h"
#include "transport/glob.h"

using tavo::tree::next_instance;

void set_port_bitmap(void) {
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c)) {
    const int32_t i = tavo::tree::instance_number(c);
    if (i < 0 || i >= TAVO_MAX_CONTROLLERS) continue;
    for (int p = 0; p < TAVO_MAX_PORTS; ++p) {
      char port[8];
      snprintf(port, sizeof port, "%d", p);
      TavoNode* fn = get_valid_phba(c, port);
      if (fn == nullptr) continue;
      tavo_glob.port_bitmap[i][p] |= strcasecmp(fn->name, "iSCSIPhysicalHBA") == 0 ? 1 : 2;
    }
  }
}
