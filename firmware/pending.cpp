// Start-up loaders of the firmware logs. Not built yet: each answers
// success and loads nothing.
#include "firmware/firmware.h"

uint32_t TAVO_get_all_eventlog(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_extfat_modules(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_DumpiSCSIPCIConfigRegion(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
