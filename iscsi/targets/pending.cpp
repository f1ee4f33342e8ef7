// Handlers and actions of the targets branches not built yet: each handler
// answers its stored text, each action and refresh answers success, and
// none of them reads the adapter or the saved files.
#include "iscsi/targets/targets.h"

uint32_t TAVO_refresh_backend_client_iscsi_targets(void) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t get_all_targets(TavoNode*, uint32_t, uint32_t, uint32_t, uint32_t, TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_iSCSIPhysicalHBA_LogicalHBA_Enabled(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

#define TARGETS_PENDING_ACTION(name)                         \
  uint32_t name(TavoNode*, TavoNode*, char*) {               \
    pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", #name); \
    return 0;                                                \
  }
TARGETS_PENDING_ACTION(do_EraseConfiguration)
TARGETS_PENDING_ACTION(do_AddTarget)
TARGETS_PENDING_ACTION(do_DeleteTarget)
TARGETS_PENDING_ACTION(do_AddSendTargetPortal)
TARGETS_PENDING_ACTION(do_DeleteSendTargetPortal)
TARGETS_PENDING_ACTION(do_RefreshAvailableTargets)
TARGETS_PENDING_ACTION(do_DiscoverTargets)
TARGETS_PENDING_ACTION(do_ConfigureCHAP)
TARGETS_PENDING_ACTION(do_DeleteCHAP)
TARGETS_PENDING_ACTION(do_AddTargetPortal)
TARGETS_PENDING_ACTION(do_DeleteTargetPortal)
#undef TARGETS_PENDING_ACTION

uint32_t group_Discovery(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
