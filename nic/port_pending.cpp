// What the port branch asks of the NIC branches, not built yet: each
// answers success (a handler its stored text) and changes nothing; a
// Moravel port shows no multi-channel type.
#include <stdio.h>

#include <initializer_list>

#include "nic/port_calls.h"

uint32_t TAVO_get_multi_channels_info(uint32_t, TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_get_mvk_mc_type(TavoNode*, TavoNode*, char* current_type, char* configured_type, char* reboot_required) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  for (char* text : {current_type, configured_type})
    if (text != nullptr) text[0] = '\0';
  if (reboot_required != nullptr) snprintf(reboot_required, TAVO_VALUE_SIZE, "No");
  return 0;
}

uint32_t group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
