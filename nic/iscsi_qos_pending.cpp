// iSCSI QoS not built yet: each handler answers its stored text and reads
// nothing from the adapter.
#include "nic/iscsi_qos.h"

uint32_t handle_iscsi_bandwidth_softcap(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MaxBytesPerSecond(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}

uint32_t handle_MaxIosPerSecond(TavoNode* property, char* buf, uint32_t op) {
  return handle_internal_property(property, buf, op);
}
