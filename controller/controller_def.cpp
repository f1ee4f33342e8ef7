// The Corvane branch: one instance per controller, directly under ROOT,
// with its static sub-groups, properties and actions in the order clients
// list them.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr int32_t kMaxCount = 2147483647;
static SlotArea corvane_slots;

// Parameters several actions share.
constexpr char kLoopbackTypes[] = "MacLoopBack,PhyLoopBack,OnePortLoopBack,TwoPortLoopBack";
constexpr char kYesNo[] = "Yes,No";
constexpr TavoActionParam kPattern =
    required("Pattern", TEXT, "", 3, 16, "This parameter specifies the 8-byte pattern in hexadecimal.");
constexpr TavoActionParam kLoopCount =
    required("LoopCount", INT, "", 1, 4096, "This parameter specifies the number of repetitions.");
constexpr TavoActionParam kSourcePort =
    required("SourcePortNumber", INT, "", 0, 3, "This parameter specifies the physical source port.");
constexpr TavoActionParam kDestinationPort = required(
    "DestinationPortNumber", INT, "", 0, 3,
    "This parameter specifies the physical destination port; it equals the source port for MAC and PHY loopback.");
constexpr TavoActionParam kLoopbackType =
    required("LoopbackType", LIST, kLoopbackTypes, 11, 15,
             "This parameter specifies the loopback point: inside the MAC, inside the PHY, through an external cable "
             "on one port, or across two ports.");
// A file the action writes.
static constexpr TavoActionParam file_param(const char* name, const char* receives) {
  return required(name, TEXT, "", 3, 255, receives);
}

TAVO_ACTION(Corvane_LinkReconfiguration, SetLinkConfigFactoryDefaults, do_SetLinkConfigFactoryDefaults,
            "This command is used to reset the adapter to the factory default link configuration.");
TAVO_ACTION(Corvane_LinkReconfiguration, SetLinkConfigID, do_SetLinkConfigID,
            "This command is used to assign Link Config mode that is to be active on the Physical Device.",
            required("LinkConfigID", INT, "", 0, 32,
                     "This parameter specifies the Link Config ID to be used as the active link configuration the next "
                     "time the physical device power-cycles or encounters a PCI fundamental reset. The Link Config ID "
                     "identifies the number and type of ports for the physical device."));
const ChildDef link_reconfiguration_children[] = {
    property("ActiveLinkConfigID", RO, INT, "", 0, 32, "0", stored,
             "This property displays the link configuration active on the device; 0 where link reconfiguration is not "
             "supported. Moravel controllers only, N/A on the others."),
    property("ConfiguredLinkConfigID", RO, INT, "", 0, 32, "0", handle_ConfiguredLinkConfigID,
             "This property displays the link configuration that takes effect at the next physical device reset; 0 "
             "where link reconfiguration is not supported. Moravel controllers only, N/A on the others."),
    SetLinkConfigFactoryDefaults,
    SetLinkConfigID,
};
const GroupDef link_reconfiguration =
    group("LinkReconfiguration", link_reconfiguration_children,
          "This group contains the link re-configuration details of the Tessmark controller.");

#define FRU_VPD_SEGMENT(n, handler)                            \
  property("FRUVPDData" #n, RO, TEXT, "", 0, 256, "", handler, \
           "This property is a hex dump of segment " #n        \
           " of the FRU VPD data retrieved from a Tessmark controller by TAVO.")
const ChildDef fru_vpd_children[] = {
    FRU_VPD_SEGMENT(0, handle_fru_vpd_data),
    FRU_VPD_SEGMENT(1, stored),
    FRU_VPD_SEGMENT(2, stored),
    FRU_VPD_SEGMENT(3, stored),
    FRU_VPD_SEGMENT(4, stored),
    FRU_VPD_SEGMENT(5, stored),
    FRU_VPD_SEGMENT(6, stored),
    FRU_VPD_SEGMENT(7, stored),
    FRU_VPD_SEGMENT(8, stored),
    FRU_VPD_SEGMENT(9, stored),
    FRU_VPD_SEGMENT(10, stored),
};
#undef FRU_VPD_SEGMENT
const GroupDef fru_vpd = group("FRUVPD", fru_vpd_children,
                               "This group contains the FRU Vital Product Data of the Tessmark controller. Because of "
                               "TAVO size limitations, this data is separated into segments designated by FRUVPDData0 "
                               "- FRUVPDData10 properties; reading FRUVPDData0 refreshes all of them.");

constexpr char kChannelTypes[] = "UMC,vNIC1,vNIC2,UFP,NPAR";
TAVO_ACTION(Corvane_ChannelManagement, ConfigureChannelManagement, do_ConfigureChannelManagement,
            "This command is used to configure the ChannelManagement for CV3 controller. For Moravel this command is "
            "not supported.",
            required("ChannelState", LIST, "Enabled,Disabled", 7, 8,
                     "This parameter specifies the ChannelState to be configured for ChannelManagement. The valid "
                     "values are \"Enabled\" or \"Disabled\"."),
            optional("ChannelType", LIST, kChannelTypes, 3, 4,
                     "This parameter specifies the ChannelType to be configured for ChannelManagement. The valid "
                     "values are \"UMC\",\"vNIC1\", \"vNIC2\",\"UFP\" and \"NPAR\"."));
const ChildDef channel_management_children[] = {
    property("SupportedMCTypes", RO, LIST, "UMC,vNIC1,vNIC2,UFP,NPAR,HPFlex,HPUMC,HPFlexQBG", 3, 7, "N/A",
             handle_SupportedMCTypes,
             "This property specifies the supported multi-channel types for respective Tessmark controller."),
    property("CurrentManagementType", RO, LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details,
             "This property specifies the current channel type. If Currently no multi-channel is enabled, then the "
             "value will be \"N/A\". And this property is supported only for CV3 adapter."),
    property("ConfiguredManagementType", RO, LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details,
             "This property specifies the configured channel type. This property is supported only for CV3 adapter."),
    ConfigureChannelManagement,
};
const GroupDef channel_management = group("ChannelManagement", channel_management_children,
                                          "This group indicates channel management configuration details.");

const ChildDef active_profile_children[] = {
    property("ProfileId", RO, INT, "", 0, 32, "0", stored, "This property displays the id of the active profile."),
};
const GroupDef active_profile =
    group("ActiveProfile", active_profile_children, "This group contains the profile the adapter runs.");

TAVO_ACTION(Corvane_ProfileManagement_ConfiguredProfile, SetMaxFunctionNumber, do_SetMaxFunctionNumber,
            "This command is used to configure MaxFunctionNumber.",
            optional("FunctionNumber", INT, "", 0, 15, "This parameter specifies function number to be configured."));
const ChildDef configured_profile_children[] = {
    property("IPLMaxFunctionNumber", RO, INT, "", 0, 15, "0", handle_IPLMaxFunctionNumber,
             "This property displays the highest function number the IPL supports."),
    property("SettableMaxFunctionNumber", RO, LIST, "Yes,No", 2, 3, "No", handle_SettableMaxFunctionNumber,
             "This property indicates whether MaxFunctionNumber can be changed."),
    property("MaxFunctionNumber", RO, INT, "", 0, 15, "0", handle_MaxFunctionNumber,
             "This property displays the configured highest function number."),
    property("ProfileId", RW, INT, "", 0, 32, "0", handle_ConfiguredProfile_ProfileId,
             "This property specifies the id of the configured profile."),
    SetMaxFunctionNumber,
};
const GroupDef configured_profile = group("ConfiguredProfile", configured_profile_children,
                                          "This group contains the profile the adapter runs after the next reboot.");

TAVO_ACTION(Corvane_ProfileManagement, SetProfileId, do_SetProfileId, "This command is used to configure the profile.",
            required("ProfileId", INT, "", 1, 256, "This parameter specifies the profile Id to be configured."));
TAVO_ACTION(Corvane_ProfileManagement, SaveProfile, do_SaveProfile,
            "This command is used to save the ConfiguredProfile settings after the user changes the Protocol "
            "properties for each port and function.");
TAVO_ACTION(Corvane_ProfileManagement, SetFactoryDefaults, do_SetFactoryDefaults,
            "This command is used to reset the adapter to run the factory default profile and port configuration.");
const ChildDef profile_management_children[] = {
    property("RebootRequired", RO, LIST, "Yes,No", 0, 3, "No", handle_RebootRequired,
             "This property indicates whether a reboot is needed for a profile change."),
    property("MaxFunctionsPerPort", RO, INT, "", 2, 8, "2", handle_MaxFunctionsPerPort,
             "This property displays the most functions a port supports."),
    subgroup(&active_profile),
    subgroup(&configured_profile),
    SetProfileId,
    SaveProfile,
    SetFactoryDefaults,
};
const GroupDef profile_management =
    group("ProfileManagement", profile_management_children, "This group contains the profiles of the adapter.");

const ChildDef niccim_children[] = {
    property("PortControllerName", RO, TEXT, "", 0, 128, "", handle_PortControllerName,
             "This property displays the label by which the port controller is known."),
    property("ControllerType", RO, TEXT, "", 0, 32, "", handle_ControllerType,
             "This property displays the type or model of the port controller."),
    property("ProtocolSupported", RO, TEXT, "", 0, 32, "", handle_ProtocolSupported,
             "This property displays the protocol used to reach the controlled devices."),
    property("MaxSupportedController", RO, INT, "", 0, 8, "0", handle_MaxSupportedController,
             "This property displays the most directly addressable entities."),
};
const GroupDef niccim =
    group("NICCIM", niccim_children, "This group contains the CIM constants of the controller's NIC side.");

TAVO_ACTION(Corvane_Personality, SetPersonality, do_SetPersonality,
            "This command sets the personality used after the next reboot, where the OEM permits it.",
            required("NewPersonality", LIST, "NIC,iSCSI,FCoE", 3, 5,
                     "This parameter accepts the new type of personality of the adapter to be changed, permitted by "
                     "the OEM. The new type of personality may be any of NIC/iSCSI/FCoE."));
const ChildDef personality_children[] = {
    property("CurrentPersonality", RO, LIST, "NIC,iSCSI,FCoE,Illegal", 3, 7, "iSCSI", stored,
             "This property displays the running personality. NIC means every enabled function is NIC/TOE; iSCSI and "
             "FCoE are enabled on one function per port, with NIC on the others."),
    property("AvailablePersonalities", RO, TEXT, "", 3, 14, "NIC", stored,
             "This property displays the personalities the adapter can run, joined by / (NIC/iSCSI/FCoE when all three "
             "are allowed)."),
    property("ConfiguredPersonality", RO, LIST, "NIC,iSCSI,FCoE", 3, 6, "NIC", handle_ConfiguredPersonality,
             "This property displays the personality after the next reboot."),
    SetPersonality,
};
const GroupDef personality =
    group("Personality", personality_children, "This group contains the personality of the adapter.");

const ChildDef oem_children[] = {
    property("QuorvelSerialNumber", RO, TEXT, "", 1, 12, "Unknown", stored,
             "This property displays the maker's serial number."),
    property("OEMSerialNumber", RO, TEXT, "", 1, 24, "Unknown", stored,
             "This property displays the OEM's serial number."),
    property("PersonalityManagementWord", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays which protocols (NIC, TOE, iSCSI, FCoE ...) may be configured."),
};
const GroupDef oem =
    group("OEM", oem_children, "This group contains the data the adapter keeps for the server maker that sells it.");

const ChildDef ncsi_children[] = {
    property("NCSIVersion", RO, TEXT, "", 5, 32, "5", handle_get_ncsi_version,
             "This property displays the running NC-SI version."),
    property("NCSISupport", RO, LIST, "Supported,Not Supported", 9, 13, "Not Supported",
             handle_ncsi_static_configuration,
             "This property indicates whether the controller supports the DMTF NC-SI standard."),
    property("NCSICVHandShake", RO, LIST, "Success,Error,N/A", 6, 9, "Error", handle_ncsi_static_configuration,
             "This property displays Error when NC-SI initialisation failed, else Success; only for controllers that "
             "support NC-SI."),
};
const GroupDef ncsi = group("NCSI", ncsi_children, "NCSI Group.");

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
const GroupDef ext_fat =
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
const GroupDef event_log =
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
const GroupDef fat_data =
    group("FATData", fat_data_children,
          "FAT (Failure Analysis Tool) is used for the process of collecting and analyzing data to determine the cause "
          "of a Tessmark failure. If the Tessmark controller has a failure, SM-CLP can write the FAT data to a file. "
          "Information from the file can be sent to Technical Support for analysis. FAT data is stored in nonvolatile "
          "memory on the Tessmark controller.");

TAVO_ACTION(Corvane_Diagnostics, HostToDDRDMATest, do_HostToDDRDMATest,
            "This command runs the host to DDR DMA test on the controller.", kPattern,
            required("ByteCount", INT, "", 64, 4096,
                     "This parameter specifies the bytes moved from host to DDR and back per loop."),
            kLoopCount);
TAVO_ACTION(Corvane_Diagnostics, EnterLoopBackMode, do_EnterLoopBackMode,
            "This command puts the source port into the given loopback mode. Use it first: EnterLoopBackMode, then "
            "NetworkLoopBackTest, then ExitLoopBackMode.",
            kSourcePort, kDestinationPort, kLoopbackType);
TAVO_ACTION(Corvane_Diagnostics, ExitLoopBackMode, do_ExitLoopBackMode,
            "This command takes the ports out of loopback mode. Use it last: EnterLoopBackMode first, then "
            "NetworkLoopBackTest, then ExitLoopBackMode.",
            kSourcePort, kDestinationPort);
TAVO_ACTION(Corvane_Diagnostics, NetworkLoopBackTest, do_NetworkLoopBackTest,
            "This command runs the loopback test between the ports. Use it after EnterLoopBackMode and before "
            "ExitLoopBackMode.",
            kPattern,
            required("ByteCount", INT, "", 1500, 8192,
                     "This parameter specifies the bytes per frame, at most the MTU: 1500 to 4056 for MAC loopback, "
                     "1500 to 8192 for the other types."),
            kLoopCount, kSourcePort, kDestinationPort, kLoopbackType);
const ChildDef diagnostics_children[] = {
    property("TotalTestCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the total time in milliseconds of the requested loops."),
    property("TotalCompleteCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the time of the loops that completed successfully."),
    property("TotalErrorCycles", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the time of the loops that completed with errors."),
    property("SendErrorCount", RO, INT, "", 0, 4096, "0", stored, "This property displays the number of send errors."),
    property("ReceiveErrorCount", RO, INT, "", 0, 4096, "0", stored,
             "This property displays the number of receive errors."),
    property("DataMiscompareCount", RO, INT, "", 0, 4096, "0", stored,
             "This property displays the number of data miscompares."),
    property("TotalCompleteCount", RO, INT, "", 0, kMaxCount, "0", stored,
             "This property displays the number of loops that completed successfully."),
    property("IsLoopbackSupported", RO, LIST, "True,False", 4, 5, "True", stored,
             "This property indicates whether the loopback test is supported."),
    HostToDDRDMATest,
    EnterLoopBackMode,
    ExitLoopBackMode,
    NetworkLoopBackTest,
};
const GroupDef diagnostics =
    group("Diagnostics", diagnostics_children,
          "This group contains the results of the most recent loopback or DMA test of the Tessmark controller.");

#define VERSION_PROPERTY(name, meaning, minimum, default_value, handler) \
  property(name, RO, TEXT, "", minimum, 32, default_value, handler, "This property displays the " meaning ".")
TAVO_ACTION(
    Corvane, RetrieveTessmarkPCIDump, do_RetrieveTessmarkPCIDump,
    "This command retrieves the full flash content of Tessmark controller.",
    file_param("PCIDumpFileName",
               "This parameter specifies the file that receives the controller's PCI dump (its full flash content)."));
TAVO_ACTION(Corvane, RetrieveTessmarkCoreDump, do_RetrieveTessmarkCoreDump,
            "This command retrieves the core dump of Tessmark controller. If CoreDumpString parameter (optional) is "
            "not provided then the value is taken as \"live\" by default.",
            file_param("CoreDumpFileName", "This parameter specifies the file name where Tessmark contoller core dump "
                                           "information will be saved."),
            optional("CoreDumpString", LIST, "live,Dead,Test,Test live,Test Dead", 4, 9,
                     "This parameter specifies the CoreDump string i.e. \"live\" or \"Dead\" to be retrieve."));
TAVO_ACTION(Corvane, RetrieveFwCliData, do_RetrieveFwCliData,
            "This command retrieves firmware cli dump of Tessmark controller.",
            file_param("CliOutputFileName", "This parameter specifies the file that receives the firmware CLI output."),
            required("FWCliString", TEXT, "", 2, 255, "This parameter specifies the firmware command string."));
TAVO_ACTION(Corvane, UpgradeFlashROM, do_UpgradeFlashROM,
            "This command updates the Tessmark firmware version stored in non-volatile memory. You must restart the "
            "system for the updated firmware to become the active firmware version on the Tessmark controller. "
            "Example: OEMHXUpgradeFlashROM -OEMHXparams TKIFileName=\"flash.ufi\".",
            file_param("TKIFileName", "This parameter specifies the path to the TKI file that will be used to "
                                      "upgrade the Tessmark firmware."));
TAVO_ACTION(
    Corvane, ResetFactoryDefaults, do_ResetFactoryDefaults,
    "This command returns the resource descriptors of a profile to factory defaults.",
    optional("ProfileId", INT, "", 0, 256,
             "This parameter specifies which ProfileId resource descriptors are to be reverted to their factory "
             "defaults. If ProfileId is zero specifies the active profile is to be reset to factory settings. If it is "
             "no-zero value specifies the Profile number that is to revert to factory settings."));
TAVO_ACTION(Corvane, EraseAllConfiguration, do_EraseAllConfiguration,
            "This command returns all settings of the controller to factory defaults, effective after a reboot.");
const ChildDef corvane_children[] = {
    property("IsSecureJumperEnabled", RO, LIST, "True,False", 4, 5, "N/A", handle_IsSecureJumperEnabled,
             "This property indicates whether the secure jumper is set."),
    property("OneView", RO, LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_OneView,
             "This property indicates whether HPE OneView manages the adapter; N/A on CV2 and CV3 and where the "
             "controller does not offer it."),
    property("AdvancedMode", RW, LIST, "Enabled,Disabled", 7, 8, "Enabled", handle_AdvancedMode,
             "This property specifies the advanced-mode boot setting. CV3 controllers only, N/A on the others; a "
             "change takes effect after a reboot."),
    property("ControllerStatus", RO, LIST, "Alive,Dead", 4, 5, "Alive", handle_ControllerStatus,
             "This property indicates whether the controller's firmware is alive."),
    subgroup(&link_reconfiguration),
    subgroup(&fru_vpd),
    subgroup(&channel_management),
    property("Manufacturer", RO, TEXT, "", 1, 32, "0", stored,
             "This property displays the manufacturer of the Tessmark controller."),
    property("ModelNumber", RO, TEXT, "", 1, 32, "1", stored,
             "This property displays the model number of the Tessmark controller."),
    property("Description", RO, TEXT, "", 1, 64, "0", stored,
             "This property displays the description of the Tessmark controller."),
    property(
        "SerialNumber", RO, TEXT, "", 1, 32, "1", stored,
        "This property displays the serial number of the Tessmark controller, typically one of its MAC addresses."),
    property("Capabilities", RO, TEXT, "", 1, 128, "Unknown", stored,
             "This property displays which of NIC, TOE, iSCSI initiator and target, FCoE initiator and target are "
             "enabled on the Tessmark controller."),
    VERSION_PROPERTY("ActiveFirmwareVersion", "running firmware version", 5, "5", handle_cv_controller_properties),
    VERSION_PROPERTY("FirmwareVersionOnFlash", "firmware version in flash, which becomes active after the next restart",
                     5, "5", handle_cv_controller_properties),
    VERSION_PROPERTY("BIOSVersion", "running BIOS version", 5, "5", handle_cv_controller_properties),
    VERSION_PROPERTY("BootCodeVersion", "running boot code version", 5, "5", handle_cv_controller_properties),
    property("FirmwareStatus", RO, LIST, "Working,Degraded,Critical,Failed,Unknown", 6, 8, "Unknown",
             handle_cv_controller_properties,
             "This property displays the state of the firmware. Working means that it operates properly."),
    VERSION_PROPERTY("FCoEUniversalVersion", "FCoE universal boot version", 0, "0",
                     handle_cv_controller_additional_properties),
    VERSION_PROPERTY("FCoEx86BIOSVersion", "FCoE x86 BIOS version", 0, "", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("FCoEEFIVersion", "FCoE EFI version", 0, "", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("FCoEFCODEVersion", "FCoE FCODE version", 0, "0", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("UEFIBIOSVersion", "UEFI BIOS version", 0, "", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("UEFINICVersion", "UEFI NIC version", 0, "0", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("UEFIFCODEVersion", "UEFI FCODE version", 0, "0", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("UEFISCSIVersion", "UEFI SCSI version", 0, "0", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("PXEBIOSVersion", "PXE BIOS version", 0, "0", stored),
    VERSION_PROPERTY("PHYFirmwareVersion", "PHY firmware version", 0, "0", handle_cv_controller_additional_properties),
    VERSION_PROPERTY("PHYConfigurationId", "PHY configuration id (its CRC)", 0, "0",
                     handle_cv_controller_additional_properties),
    property("CorvaneOnDieTemperature", RO, INT, "", 45, 125, "45", handle_cv_temperature,
             "This property displays the on-chip temperature of the Tessmark controller in degrees centigrade."),
    VERSION_PROPERTY("IPLFileName",
                     "IPL file name; N/A where the controller reports none and its IPL number has no name", 0, "0",
                     handle_cv_controller_additional_properties),
    property("PCIExpressLinkSpeed", RO, TEXT, "", 0, 5, "0", handle_PCIExpressLinkSpeed,
             "This property displays the current PCI Express link speed."),
    property("PCIExpressBusWidth", RO, TEXT, "", 0, 5, "0", handle_PCIExpressBusWidth,
             "This property displays the current PCI Express bus width."),
    property("FFVName", RW, TEXT, "", 4, 32, "0", handle_FFVName,
             "This property specifies the FFV name of the Tessmark controller."),
    subgroup(&profile_management),
    subgroup(&niccim),
    RetrieveTessmarkPCIDump,
    RetrieveTessmarkCoreDump,
    RetrieveFwCliData,
    UpgradeFlashROM,
    ResetFactoryDefaults,
    EraseAllConfiguration,
    subgroup(&personality),
    subgroup(&oem),
    subgroup(&ncsi),
    subgroup(&ext_fat),
    subgroup(&event_log),
    subgroup(&fat_data),
    subgroup(&diagnostics),
};
#undef VERSION_PROPERTY

const GroupDef corvane = instanced("Corvane", 16, &corvane_slots, corvane_children,
                                   "This group instance corresponds to a single Tessmark controller in this host.");

TAVO_GROUP_BUILDER(Corvane, corvane, "");
