// Boot and MPIO settings not built yet: each handler answers its stored
// text and reads nothing from the adapter.
#include "iscsi/sessions/sessions.h"

uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}
