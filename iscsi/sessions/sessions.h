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

// --- what the targets branches bind, not built yet: handlers answer their
// stored text, actions and refreshes success ---
// Login, Logout and ReScanLUNS of a Target; group_Target refreshes it.
TAVO_EXPORT uint32_t do_Login(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_Logout(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ReScanLUNS(TavoNode* target, TavoNode* action, char* params);
TAVO_EXPORT uint32_t group_Target(TavoNode* target);
TAVO_EXPORT uint32_t handle_TargetAlias(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_Target_ETO(TavoNode* property, char* buf, uint32_t op);
// The iSCSIStatistics of a LogicalHBA.
TAVO_EXPORT uint32_t handle_NodeAttr_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrInstStat_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_intrLoginStat_properties(TavoNode* property, char* buf, uint32_t op);
// DiscoverBootTargetThruDHCP of a LogicalHBA's Discovery group.
TAVO_EXPORT uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op);
// Makes the target's closed sessions persistent again after a change of
// its login options; 0.
TAVO_EXPORT uint32_t TAVO_update_session_authentication(TavoNode* target);

TAVO_END_DECLS
