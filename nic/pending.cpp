// NIC operations, handlers and actions not built yet: each answers success
// (a handler its stored text) and does nothing.
#include "nic/nic.h"

uint32_t TAVO_list_available_profiles(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_get_active_profiles(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_get_configured_profiles(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_get_link_reconfig_details(TavoNode*, uint8_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t handle_ConfiguredLinkConfigID(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_SupportedMCTypes(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_ChannelManagement_details(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MaxFunctionsPerPort(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_IPLMaxFunctionNumber(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_SettableMaxFunctionNumber(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MaxFunctionNumber(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_ConfiguredProfile_ProfileId(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_SetLinkConfigFactoryDefaults(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SetLinkConfigID(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ConfigureChannelManagement(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SetMaxFunctionNumber(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SetProfileId(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SaveProfile(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SetFactoryDefaults(TavoNode*, TavoNode*, char*) {
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
