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
// Count). Both answer 0 with the dump text as status 61, or 1.
TAVO_EXPORT uint32_t do_DumpNICPCIConfigRegion(TavoNode* pci, TavoNode* action, char* params);

// --- firmware event log ---
// printf formats of event codes 0-94, each taking up to five unsigned
// words, and the names of severities 0-3.
TAVO_EXPORT extern const char* const cv_event_desc[];
TAVO_EXPORT extern const char* const event_severity_to_str[];
// One EventLogEntry instance in the lowest free slot of event_log, its
// properties at their defaults; null when all 1024 are taken.
TAVO_EXPORT TavoNode* initialize_EventLogEntry(TavoNode* event_log, TavoNode* creating_node,
                                               TavoNode* creating_action, char* params);
// Reads the log through function (a device index of the controller's) and
// rebuilds the entries under the controller's EventLog: 0, or non-zero
// (status 16 or 112; none when EventLog is missing or an entry is not
// made). The entries are deleted first, also when the read fails.
TAVO_EXPORT uint32_t get_eventlog_entries(uint32_t function, uint8_t domain, uint8_t port, TavoNode* controller);
// One entry per record of a filled 65,480-byte buffer (at most 1,023);
// 1 when an entry could not be made (those made stay).
TAVO_EXPORT uint32_t Fill_EventLog_Entries(const void* buffer, TavoNode* event_log);

// --- extended FAT configuration ---
TAVO_EXPORT TavoNode* initialize_ExtFATModule(TavoNode* ext_fat, TavoNode* creating_node, TavoNode* creating_action,
                                              char* params);
TAVO_EXPORT TavoNode* initialize_ExtFATMode(TavoNode* module, TavoNode* creating_node, TavoNode* creating_action,
                                            char* params);
// Live handler of an ExtFATMode's PortMask, PCIFunctionMask and TraceLevel.
TAVO_EXPORT uint32_t handle_current_mode_properties(TavoNode* property, char* buf, uint32_t op);
// The mode's three values from the current configuration: 0 (also when the
// firmware has fewer modules), or the read's status (201).
TAVO_EXPORT uint32_t get_extfat_data(TavoNode* ext_fat, TavoNode* mode);
// One value of the mode written into the current configuration: 0, 1
// (status 6 for a mask the rules refuse), or the command's status (201,
// 203).
TAVO_EXPORT uint32_t set_extfat_data(TavoNode* ext_fat, TavoNode* mode, const char* property, const char* value);
// The enable (1) or disable (0) of logging on all modules, from the
// action's parameter texts: 0 or the command's status.
TAVO_EXPORT uint32_t set_extfat_modes(TavoNode* ext_fat, const char* params, uint32_t enable);
// Stores level as the trace level of every mode record whose ExtFATMode
// has mode ("UART", "RAM" or "ALL"): first_module is offset 20 of a
// 64,000-byte configuration block. 0, or 1.
TAVO_EXPORT uint32_t update_trace_level_for_mode(TavoNode* ext_fat, const char* mode, uint8_t* first_module,
                                                 uint32_t level);

// --- ARM log ---
// Fetches the firmware's string table into "arm_string_table.bin" in the
// current directory: 0, or 1 (status 207 when a command failed).
TAVO_EXPORT uint32_t read_extfat_string_table(TavoNode* controller);

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

// The Corvane group's sub-groups this branch owns, which backend/'s
// definition of the group lists.
extern const tree::GroupDef corvane_ext_fat_data, corvane_event_log, corvane_fat_data;

}  // namespace tavo::firmware
#endif
