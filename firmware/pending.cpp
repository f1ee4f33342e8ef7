// Loaders, handlers and actions of firmware, dumps and logs not built yet:
// each answers success (a handler its stored text) and does nothing.
#include "firmware/firmware.h"

uint32_t TAVO_get_all_eventlog(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_extfat_modules(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_FATDataValid(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_RetrieveTessmarkPCIDump(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_RetrieveFwCliData(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_RetrieveARMLog(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_EnableLoggingOnAllModules(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_DisableLoggingOnAllModules(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SetDefaultLoggingConfiguration(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_RefreshEventLog(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ClearEventLog(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_RetrieveFATData(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ClearFATData(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_DumpiSCSIPCIConfigRegion(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_DumpNICPCIConfigRegion(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
