// The DCBX, LLDP, QCN, loopback and 10GBase-T handlers and actions, not
// built yet: a handler answers its stored text, a refresh and an action
// change nothing and answer success.
#include "port/port.h"

uint32_t handle_10GbaseT_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_over_temperature(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_10baseT_nvpvalue(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_LLDP_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_lldp_stats_props(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_dcbx_port_vars(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_dcbx_stats_props(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_DCBXState(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_DCBXMode(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_pfc_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_pg_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_pg15_membership(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_app_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_apptlv_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_bwg_props(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_update_qcn_props(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t group_AdministratorTLVSetting(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t group_PeerTLVSetting(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t group_OperationalTLVSettings(TavoNode*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SelfTest(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_RunTDR(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ClearCounters(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_AddApplicationTLV(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_DeleteApplicationTLV(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ConfigurePGSettings(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ExitLoopBackMode(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_HostToDDRDMATest(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_EnterLoopBackMode(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_NetworkLoopBackTest(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
