// NIC operations, handlers and actions not built yet: each answers success
// (a handler its stored text) and does nothing. The channel save and
// restore answer as for a port without channels.
#include "nic/nic.h"

uint32_t handle_SupportedMCTypes(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_ChannelManagement_details(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_ConfigureChannelManagement(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_nic_bandwidth_softcap(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_NICPhysicalHBA_SRIOVState(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_VEPAState(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_AProf_SRIOVState(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t TAVO_save_mc_props(TavoNode*, McPropRecord*, uint32_t, uint32_t* count) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (count != nullptr) *count = 0;
  return 317;
}

uint32_t TAVO_reset_mc_props(TavoNode*, McPropRecord*, uint32_t, const uint8_t*, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
