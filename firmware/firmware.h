// Firmware, dumps and logs: what start-up loads for each live controller.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Reads the firmware event log into the controller's event-log entries.
TAVO_EXPORT uint32_t TAVO_get_all_eventlog(TavoNode* controller);
// Builds the controller's extended FAT properties, modules and modes.
TAVO_EXPORT uint32_t TAVO_extfat_modules(TavoNode* controller);

// DumpiSCSIPCIConfigRegion of an iSCSI function's PCI group (RegisterOffset,
// Count).
TAVO_EXPORT uint32_t do_DumpiSCSIPCIConfigRegion(TavoNode* pci, TavoNode* action, char* params);

TAVO_END_DECLS
