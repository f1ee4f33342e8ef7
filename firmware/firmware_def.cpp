// The controller's ExtFATData, EventLog and FATData groups, which the
// Corvane group lists where they stand.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr char kYesNo[] = "Yes,No";
// A file the action writes.
static constexpr TavoActionParam file_param(const char* name, const char* receives) {
  return required(name, TEXT, "", 3, 255, receives);
}

TAVO_ACTION(Corvane_ExtFATData, RetrieveARMLog, do_RetrieveARMLog, "This command is used to retrieve ARM fimrware log.",
            file_param("ARMLogFileName", "This parameter specifies the file where ARM log information will be saved."),
            required("SnapshotMode", LIST, "RAM,DDR,FLASH", 3, 5,
                     "This parameter specifies the snapshot mode where ARM log can be fetched.."));
TAVO_ACTION(
    Corvane_ExtFATData, EnableLoggingOnAllModules, do_EnableLoggingOnAllModules,
    "This command enables logging on all modules with the given TraceLevel parameter for all the ExtFatMode groups in "
    "all ExtFatModule groups. If Mode parameters (optional) are not provided then by default the given TraceLevel "
    "will be applied to all the ExtFatMode groups. If any of the given Mode parameter is set to \"Yes\" (which is "
    "default), then the particular ExtFatMode group with matching Mode property (matching with parameter) will be "
    "modified with the given TraceLevel. If TraceLevel for a particular ExtFatMode group need not be modified then "
    "the particular Mode parameter should be provided in the command line parameter as \"No\". Example #1: If "
    "TraceLevel property in ExtFatMode group with Mode Property as .UARTMode.  need not be modified then use: "
    "OEMHXEnableLoggingOnAllModules -OEMHXparams TraceLevel=\"1\",UARTMode=\"No\". This will set the TraceLevel for "
    "all the other ExtFatMode groups (since default for other parameters are \"Yes\", it need not be explicitly "
    "specified). Example #2: If TraceLevel property for all ExtFatMode group has to be changed then use: "
    "OEMHXEnableLoggingOnAllModules -OEMHXparams TraceLevel=\"1\"",
    required("TraceLevel", LIST, "0,1,4,5,8,16,32,48,64,128", 0, 128,
             "This param displays a trace level of FAT module. Valid values are 0 - TRACE_LEVEL_ALL, 1 - "
             "TRACE_LEVEL_ENTER_FUNCTION, 4 - TRACE_LEVEL_VERBOSE, 5 - TRACE_LEVEL_INFO, 8 - TRACE_LEVEL_TEST, 16 - "
             "TRACE_LEVEL_SHOW, 32 - TRACE_LEVEL_WARNING, 48 - TRACE_LEVEL_ERROR, 64 - TRACE_LEVEL_FATAL, 128 - "
             "TRACE_LEVEL_ALWAYS"),
    optional("UARTMode", LIST, kYesNo, 2, 3, "This param specifies whether to enable UART Mode."),
    optional("RAMMode", LIST, kYesNo, 2, 3, "This param specifies whether to enable RAM Mode."));
TAVO_ACTION(
    Corvane_ExtFATData, DisableLoggingOnAllModules, do_DisableLoggingOnAllModules,
    "This command disables logging by setting the TraceLevel property in ExtFatMode group to TRACE_LEVEL_DISABLE "
    "(0xff) for all the ExtFatMode groups in all ExtFatModule groups. If Mode parameters (optional) are not provided "
    "then by default the given TraceLevel will be disabled to all the ExtFatMode groups. If any of the given Mode "
    "parameter is set to \"Yes\" (which is default), then the particular ExtFatMode group with matching Mode property "
    "(matching with parameter) will be modified with the TraceLevel as disabled. If TraceLevel for a particular "
    "ExtFatMode group need not be disabled then the particular Mode parameter should be provided in the command line "
    "parameter as \"No\". Example #1: If TraceLevel property in ExtFatMode group with Mode Property as \"UARTMode\" "
    "need not be disabled then use: OEMHXDisableLoggingOnAllModules -OEMHXparams UARTMode=\"No\". This will disable "
    "the TraceLevel for all the other ExtFatMode groups (since default for other parameters are \"Yes\", it need not "
    "be explicitly specified). Example #2: If TraceLevel property for all ExtFatMode group has to be disabled then "
    "use: OEMHXDisableLoggingOnAllModules.",
    optional("UARTMode", LIST, kYesNo, 2, 3, "This param specifies whether to disable UART Mode."),
    optional("RAMMode", LIST, kYesNo, 2, 3, "This param specifies whether to disable RAM Mode."));
TAVO_ACTION(Corvane_ExtFATData, SetDefaultLoggingConfiguration, do_SetDefaultLoggingConfiguration,
            "This command set the current configuration to defaults configuration.");
const ChildDef ext_fat_children[] = {
    property("MaxLogEntries", RO, INT, "", 1, 255, "1", stored,
             "This property displays a maximum log entries that can be supported in the volatile RAM buffer."),
    property("LogEntrySize", RO, INT, "", 1, 255, "1", stored, "This property displays the size of each log entry."),
    property("LoggingType", RO, LIST, "synchronous,asynchronous", 11, 13, "synchronous", stored,
             "This property displays logging type set in firmware, synchronous or asynchronous. This setting is "
             "applicable for UART and FLASH modes only."),
    property("MaxLoggingFunctions", RO, INT, "", 1, 8, "1", stored, "This property displays the max logging functions."),
    property("MaxLoggingPorts", RO, INT, "", 1, 4, "1", stored, "This property displays the max logging ports."),
    property("SupportedModes", RO, LIST, "UART,RAM", 3, 15, "UART", stored,
             "This property displays supported modes by ARM fimrware."),
    property("NumberOfModules", RO, INT, "", 0, 64, "0", stored,
             "This property displays number of modules supported by ARM fimrware."),
    RetrieveARMLog,
    EnableLoggingOnAllModules,
    DisableLoggingOnAllModules,
    SetDefaultLoggingConfiguration,
};
const GroupDef tavo::firmware::corvane_ext_fat_data =
    group("ExtFATData", ext_fat_children,
          "This group contains the Tessmark ARM firmware log entries. These entries are obtained by TAVO during "
          "initialization and cached in TAVO. OEMHXRetriveARMLog command, available in this group, has to be run to "
          "retrive the entries.");

TAVO_ACTION(Corvane_EventLog, RefreshEventLog, do_RefreshEventLog,
            "This command retrieves the current event log entries from the Tessmark firmware.");
TAVO_ACTION(Corvane_EventLog, ClearEventLog, do_ClearEventLog,
            "This command clears the event log entries stored in the Tessmark firmware. All entries will be discarded "
            "and will not be available to view via SM-CLP.");
const ChildDef event_log_children[] = {
    RefreshEventLog,
    ClearEventLog,
};
const GroupDef tavo::firmware::corvane_event_log =
    group("EventLog", event_log_children,
          "This group contains the Tessmark firmware event log entries and actions. These entries are obtained by TAVO "
          "during initialization and cached in TAVO. OEMHXRefreshEventLog command, available in this group, has to be "
          "run to refresh the entries.");

TAVO_ACTION(Corvane_FATData, RetrieveFATData, do_RetrieveFATData,
            "This command retrieves FAT data from nonvolatile memory on the Tessmark controller when available. ",
            file_param("FATFileName", "This parameter specifies the file where FAT information will be saved."));
TAVO_ACTION(Corvane_FATData, ClearFATData, do_ClearFATData,
            "This command clears FAT data (if present) from nonvolatile memory on the Tessmark controller. ");
const ChildDef fat_data_children[] = {
    property("FATDataValid", RO, LIST, "Yes,No", 2, 3, "Yes", handle_FATDataValid,
             "This property indicates whether FAT data is present in nonvolatile memory on the Tessmark controller. "
             "If set to yes, the FAT data can be retrieved using the OEMHXRetrieveFATData command."),
    RetrieveFATData,
    ClearFATData,
};
const GroupDef tavo::firmware::corvane_fat_data =
    group("FATData", fat_data_children,
          "FAT (Failure Analysis Tool) is used for the process of collecting and analyzing data to determine the cause "
          "of a Tessmark failure. If the Tessmark controller has a failure, SM-CLP can write the FAT data to a file. "
          "Information from the file can be sent to Technical Support for analysis. FAT data is stored in nonvolatile "
          "memory on the Tessmark controller.");
