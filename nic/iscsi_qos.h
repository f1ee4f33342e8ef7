// The iSCSI QoS limits of an iSCSI function, shown in the iSCSIQoS group of
// its LogicalHBA.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// MinBitsPerSecond and MaxBitsPerSecond (the function's bandwidth caps).
TAVO_EXPORT uint32_t handle_iscsi_bandwidth_softcap(TavoNode* property, char* buf, uint32_t op);
// MaxBytesPerSecond and MaxIosPerSecond: read and set the function's QoS.
TAVO_EXPORT uint32_t handle_MaxBytesPerSecond(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MaxIosPerSecond(TavoNode* property, char* buf, uint32_t op);

TAVO_END_DECLS
