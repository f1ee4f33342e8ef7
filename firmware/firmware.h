// Firmware, dumps and logs: what start-up loads for each live controller.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Reads the firmware event log into the controller's event-log entries.
TAVO_EXPORT uint32_t TAVO_get_all_eventlog(TavoNode* controller);
// Builds the controller's extended FAT properties, modules and modes.
TAVO_EXPORT uint32_t TAVO_extfat_modules(TavoNode* controller);

// Handlers and actions of the controller's dump, log and FAT groups
// (params: six 256-byte texts).
TAVO_EXPORT uint32_t handle_FATDataValid(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t do_RetrieveTessmarkPCIDump(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RetrieveTessmarkCoreDump(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RetrieveFwCliData(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_UpgradeFlashROM(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RetrieveARMLog(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_EnableLoggingOnAllModules(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DisableLoggingOnAllModules(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_SetDefaultLoggingConfiguration(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshEventLog(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ClearEventLog(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RetrieveFATData(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ClearFATData(TavoNode* group, TavoNode* action, char* params);

// DumpiSCSIPCIConfigRegion of an iSCSI function's PCI group (RegisterOffset,
// Count).
TAVO_EXPORT uint32_t do_DumpiSCSIPCIConfigRegion(TavoNode* pci, TavoNode* action, char* params);
// DumpNICPCIConfigRegion of a NIC function's PCI group (RegisterOffset,
// Count).
TAVO_EXPORT uint32_t do_DumpNICPCIConfigRegion(TavoNode* pci, TavoNode* action, char* params);

TAVO_END_DECLS

#ifdef __cplusplus
#include <array>

#include "tree/declare.h"

namespace tavo::firmware {

// The parameters of the PCI configuration dumps of an iSCSI and a NIC
// function's PCI group.
inline constexpr std::array<TavoActionParam, 2> kPciDumpParams = {
    declare::required("RegisterOffset", declare::INT, "", 0, 252, "PCI Register."),
    declare::required("Count", declare::INT, "", 1, 64,
                      "This parameter indicates the number of configuration space registers to be read.")};

}  // namespace tavo::firmware
#endif
