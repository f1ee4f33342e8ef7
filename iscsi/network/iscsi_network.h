// iSCSI network configuration: the iSCSIPhysicalHBA branch.
#pragma once

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// One iSCSIPhysicalHBA instance (8 per controller) with its sub-groups;
// params: six 256-byte texts or NULL. NULL when nothing was built.
TAVO_EXPORT TavoNode* initialize_iSCSIPhysicalHBA(TavoNode* controller, TavoNode* creating_node,
                                                  TavoNode* creating_action, char* params);

TAVO_END_DECLS
