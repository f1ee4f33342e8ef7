// Boot, MPIO, login, session, statistics and LUN calls not built yet: each
// handler answers its stored text, each action and refresh answers
// success, and none of them reads the adapter.
#include "iscsi/sessions/sessions.h"

uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_TargetAlias(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_Target_ETO(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_NodeAttr_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_intrInstStat_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_intrLoginStat_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_Login(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_Logout(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ReScanLUNS(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t group_Target(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_update_session_authentication(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t get_all_sessions(TavoNode*, uint32_t, uint32_t, uint32_t, TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t get_all_luns(TavoNode*, uint32_t, uint32_t, TavoNode*, TavoNode*, char*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

TavoNode* find_session(TavoNode*, const char*, const char*) { return nullptr; }

uint32_t TAVO_check_session_status(TavoNode*, const char*, uint32_t, uint32_t*, TavoNode*, TavoNode*, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t generate_isid_qualifier(void) { return 0; }

uint32_t make_session_persistent(TavoNode*, const char*, const char*, uint32_t, IscsiLoginOptionsBlock*, const char*,
                                 const char*, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_check_boot_target_priority(TavoNode*, const char*) { return 0; }

uint32_t TAVO_check_boot_target_num(TavoNode*, uint8_t* count) {
  if (count != nullptr) *count = 0;
  return 0;
}

uint32_t TAVO_add_boottarget_tlv(uint32_t, uint32_t, uint32_t, TavoNode*, uint32_t, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t refresh_eto(TavoNode*, uint32_t, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
