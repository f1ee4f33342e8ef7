// iSCSI sessions, LUNs and boot: what the network branch asks of them.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// 1 with status 44 when a session under the iSCSIPhysicalHBA (any
// LogicalHBA, any target) reads iSCSIBoot "True", else 0. domain is unused.
TAVO_EXPORT uint32_t check_for_boot_session(TavoNode* function_group, int32_t domain);
// iSCSIBIOSEnable and MPIOEnabled of an iSCSIPhysicalHBA.
TAVO_EXPORT uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op);

TAVO_END_DECLS
