// Boot, MPIO and LUN calls not built yet: each handler answers its stored
// text, each action and refresh answers success, and none of them reads
// the adapter.
#include "iscsi/sessions/sessions.h"

uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_boot_session(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_BootTargetPriority(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_LUNNumber(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_lun_block_size(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_StdInquiry_properties(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_BootLUN(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t do_ReScanLUNS(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_ConfigureBootTarget(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_StdInquiry(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t do_SCSIWrite(TavoNode*, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t group_LUN(TavoNode*) { return 0; }

uint32_t scan_from_os(void) { return 0; }

uint32_t get_all_luns(TavoNode*, uint32_t, uint32_t, TavoNode*, TavoNode*, char*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}

uint32_t TAVO_configure_boot_target(TavoNode*, uint32_t, const char*, uint32_t, uint32_t, uint32_t) { return 0; }

uint32_t TAVO_delete_boottarget_tlv(uint32_t, uint32_t, uint32_t, const tavo::FirmwareSessionRecord*) { return 0; }

uint32_t TAVO_check_boot_target_priority(TavoNode*, const char*) { return 0; }

uint32_t TAVO_check_boot_target_num(TavoNode*, uint8_t* count) {
  if (count != nullptr) *count = 0;
  return 0;
}

uint32_t TAVO_add_boottarget_tlv(uint32_t, uint32_t, uint32_t, TavoNode*, uint32_t, uint32_t) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return 0;
}
