// Start-up steps of the targets branch not built yet: each answers success
// and does nothing.
#include "iscsi/targets/targets.h"

void TAVO_save_file_configuration(void) { pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__); }

uint32_t TAVO_set_lhba_prop(void) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_refresh_backend_client_iscsi_targets(void) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_EraseConfiguration(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
