// Controller loaders, handlers and actions not built yet: each answers
// success (a handler its stored text) and reads nothing from the adapter.
#include "controller/controller.h"

uint32_t TAVO_get_ncsi_attributes(int32_t, int32_t, TavoNode*, TavoNode*, uint32_t, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_update_available_personalities(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_update_current_personality(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_RebootRequired(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_ConfiguredPersonality(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_ncsi_static_configuration(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_SetPersonality(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ResetFactoryDefaults(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_EraseAllConfiguration(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
