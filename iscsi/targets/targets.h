// iSCSI discovery and targets: the start-up steps and the client refresh
// the back end runs.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Moves saved iSCSI files in from their older locations.
TAVO_EXPORT void TAVO_save_file_configuration(void);
// Builds the LogicalHBA of every iSCSI function and restores the saved
// configuration; 0, or 1 when there is no controller or a LogicalHBA fails.
TAVO_EXPORT uint32_t TAVO_set_lhba_prop(void);
// Refreshes the DefaultETO of every target; 0.
TAVO_EXPORT uint32_t TAVO_refresh_backend_client_iscsi_targets(void);

// iSNSEnabled of an iSCSIPhysicalHBA's iSNS group.
TAVO_EXPORT uint32_t handle_discoveryparams(TavoNode* property, char* buf, uint32_t op);
// EraseConfiguration of an iSCSIPhysicalHBA (LogicalHBAInstanceNumber).
TAVO_EXPORT uint32_t do_EraseConfiguration(TavoNode* function_group, TavoNode* action, char* params);

TAVO_END_DECLS
