// The Corvane branch: one instance per controller, directly under ROOT,
// with its static sub-groups, properties and actions in the order clients
// list them.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::action;
using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;
constexpr uint32_t RW = TAVO_ACCESS_READ_WRITE;
constexpr int32_t kMaxCount = 2147483647;
constexpr TavoPropertyHandler stored = handle_internal_property;

tavo::tree::SlotArea corvane_slots;

const ChildDef link_reconfiguration_children[] = {
    property("ActiveLinkConfigID",
             "This property displays the link configuration active on the device; 0 where link reconfiguration is "
             "not supported. Moravel controllers only, N/A on the others.",
             RO, TAVO_TYPE_INTEGER, "", 0, 32, "0", stored),
    property("ConfiguredLinkConfigID",
             "This property displays the link configuration that takes effect at the next physical device reset; 0 "
             "where link reconfiguration is not supported. Moravel controllers only, N/A on the others.",
             RO, TAVO_TYPE_INTEGER, "", 0, 32, "0", handle_ConfiguredLinkConfigID),
    action("SetLinkConfigFactoryDefaults",
           "This command returns the controller to its factory link configuration.",
           &ROOT_Corvane_LinkReconfiguration_SetLinkConfigFactoryDefaults_action),
    action("SetLinkConfigID",
           "This command chooses the link configuration used after the next power cycle or PCI fundamental reset.",
           &ROOT_Corvane_LinkReconfiguration_SetLinkConfigID_action),
};
const GroupDef link_reconfiguration = {"LinkReconfiguration",
                                       "This group contains the link re-configuration details of the Tessmark "
                                       "controller.",
                                       0, 0, nullptr, link_reconfiguration_children};

#define FRU_VPD_SEGMENT(n, handler)                                                                        \
  property("FRUVPDData" #n,                                                                                \
           "This property is a hex dump of segment " #n " of the FRU VPD data retrieved from a Tessmark "  \
           "controller by TAVO.",                                                                          \
           RO, TAVO_TYPE_TEXT, "", 0, 256, "", handler)
const ChildDef fru_vpd_children[] = {
    FRU_VPD_SEGMENT(0, handle_fru_vpd_data), FRU_VPD_SEGMENT(1, stored), FRU_VPD_SEGMENT(2, stored),
    FRU_VPD_SEGMENT(3, stored),              FRU_VPD_SEGMENT(4, stored), FRU_VPD_SEGMENT(5, stored),
    FRU_VPD_SEGMENT(6, stored),              FRU_VPD_SEGMENT(7, stored), FRU_VPD_SEGMENT(8, stored),
    FRU_VPD_SEGMENT(9, stored),              FRU_VPD_SEGMENT(10, stored),
};
#undef FRU_VPD_SEGMENT
const GroupDef fru_vpd = {"FRUVPD",
                          "This group contains the FRU Vital Product Data of the Tessmark controller. Because of TAVO "
                          "size limitations, this data is separated into segments designated by FRUVPDData0 - "
                          "FRUVPDData10 properties; reading FRUVPDData0 refreshes all of them.",
                          0, 0, nullptr, fru_vpd_children};

constexpr char kChannelTypes[] = "UMC,vNIC1,vNIC2,UFP,NPAR";
const ChildDef channel_management_children[] = {
    property("SupportedMCTypes", "This property displays the multi-channel types this controller supports.", RO,
             TAVO_TYPE_LIST, "UMC,vNIC1,vNIC2,UFP,NPAR,HPFlex,HPUMC,HPFlexQBG", 3, 7, "N/A",
             handle_SupportedMCTypes),
    property("CurrentManagementType",
             "This property displays the current channel type, N/A when none is enabled. CV3 controllers only.", RO,
             TAVO_TYPE_LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details),
    property("ConfiguredManagementType", "This property displays the configured channel type. CV3 controllers only.",
             RO, TAVO_TYPE_LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details),
    action("ConfigureChannelManagement",
           "This command enables or disables multi-channel mode with the given channel type. CV3 controllers only; "
           "not supported on Moravel.",
           &ROOT_Corvane_ChannelManagement_ConfigureChannelManagement_action),
};
const GroupDef channel_management = {"ChannelManagement",
                                     "This group contains the multi-channel configuration of the Tessmark "
                                     "controller.",
                                     0, 0, nullptr, channel_management_children};

const ChildDef active_profile_children[] = {
    property("ProfileId", "This property displays the id of the active profile.", RO, TAVO_TYPE_INTEGER, "", 0, 32,
             "0", stored),
};
const GroupDef active_profile = {"ActiveProfile", "This group contains the profile the adapter runs.", 0, 0, nullptr,
                                 active_profile_children};

const ChildDef configured_profile_children[] = {
    property("IPLMaxFunctionNumber", "This property displays the highest function number the IPL supports.", RO,
             TAVO_TYPE_INTEGER, "", 0, 15, "0", handle_IPLMaxFunctionNumber),
    property("SettableMaxFunctionNumber", "This property indicates whether MaxFunctionNumber can be changed.", RO,
             TAVO_TYPE_LIST, "Yes,No", 2, 3, "No", handle_SettableMaxFunctionNumber),
    property("MaxFunctionNumber", "This property displays the configured highest function number.", RO,
             TAVO_TYPE_INTEGER, "", 0, 15, "0", handle_MaxFunctionNumber),
    property("ProfileId", "This property specifies the id of the configured profile.", RW, TAVO_TYPE_INTEGER, "", 0,
             32, "0", handle_ConfiguredProfile_ProfileId),
    action("SetMaxFunctionNumber", "This command configures the highest function number.",
           &ROOT_Corvane_ProfileManagement_ConfiguredProfile_SetMaxFunctionNumber_action),
};
const GroupDef configured_profile = {"ConfiguredProfile",
                                     "This group contains the profile the adapter runs after the next reboot.", 0, 0,
                                     nullptr, configured_profile_children};

const ChildDef profile_management_children[] = {
    property("RebootRequired", "This property indicates whether a reboot is needed for a profile change.", RO,
             TAVO_TYPE_LIST, "Yes,No", 0, 3, "No", handle_RebootRequired),
    property("MaxFunctionsPerPort", "This property displays the most functions a port supports.", RO,
             TAVO_TYPE_INTEGER, "", 2, 8, "2", handle_MaxFunctionsPerPort),
    subgroup(&active_profile),
    subgroup(&configured_profile),
    action("SetProfileId", "This command makes the given profile the one the adapter runs after a reboot.",
           &ROOT_Corvane_ProfileManagement_SetProfileId_action),
    action("SaveProfile",
           "This command saves the configured profile after the protocol properties of its ports and functions "
           "were changed.",
           &ROOT_Corvane_ProfileManagement_SaveProfile_action),
    action("SetFactoryDefaults", "This command returns to the factory default profile and port configuration.",
           &ROOT_Corvane_ProfileManagement_SetFactoryDefaults_action),
};
const GroupDef profile_management = {"ProfileManagement", "This group contains the profiles of the adapter.", 0, 0,
                                     nullptr, profile_management_children};

const ChildDef niccim_children[] = {
    property("PortControllerName", "This property displays the label by which the port controller is known.", RO,
             TAVO_TYPE_TEXT, "", 0, 128, "", handle_PortControllerName),
    property("ControllerType", "This property displays the type or model of the port controller.", RO,
             TAVO_TYPE_TEXT, "", 0, 32, "", handle_ControllerType),
    property("ProtocolSupported", "This property displays the protocol used to reach the controlled devices.", RO,
             TAVO_TYPE_TEXT, "", 0, 32, "", handle_ProtocolSupported),
    property("MaxSupportedController", "This property displays the most directly addressable entities.", RO,
             TAVO_TYPE_INTEGER, "", 0, 8, "0", handle_MaxSupportedController),
};
const GroupDef niccim = {"NICCIM", "This group contains the CIM constants of the controller's NIC side.", 0, 0,
                         nullptr, niccim_children};

const ChildDef personality_children[] = {
    property("CurrentPersonality",
             "This property displays the running personality. NIC means every enabled function is NIC/TOE; iSCSI "
             "and FCoE are enabled on one function per port, with NIC on the others.",
             RO, TAVO_TYPE_LIST, "NIC,iSCSI,FCoE,Illegal", 3, 7, "iSCSI", stored),
    property("AvailablePersonalities",
             "This property displays the personalities the adapter can run, joined by / (NIC/iSCSI/FCoE when all "
             "three are allowed).",
             RO, TAVO_TYPE_TEXT, "", 3, 14, "NIC", stored),
    property("ConfiguredPersonality", "This property displays the personality after the next reboot.", RO,
             TAVO_TYPE_LIST, "NIC,iSCSI,FCoE", 3, 6, "NIC", handle_ConfiguredPersonality),
    action("SetPersonality", "This command sets the personality used after the next reboot, where the OEM permits it.",
           &ROOT_Corvane_Personality_SetPersonality_action),
};
const GroupDef personality = {"Personality", "This group contains the personality of the adapter.", 0, 0, nullptr,
                              personality_children};

const ChildDef oem_children[] = {
    property("QuorvelSerialNumber", "This property displays the maker's serial number.", RO, TAVO_TYPE_TEXT, "", 1,
             12, "Unknown", stored),
    property("OEMSerialNumber", "This property displays the OEM's serial number.", RO, TAVO_TYPE_TEXT, "", 1, 24,
             "Unknown", stored),
    property("PersonalityManagementWord",
             "This property displays which protocols (NIC, TOE, iSCSI, FCoE ...) may be configured.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", stored),
};
const GroupDef oem = {"OEM", "This group contains the data the adapter keeps for the server maker that sells it.", 0,
                      0, nullptr, oem_children};

const ChildDef ncsi_children[] = {
    property("NCSIVersion", "This property displays the running NC-SI version.", RO, TAVO_TYPE_TEXT, "", 5, 32, "5",
             handle_get_ncsi_version),
    property("NCSISupport", "This property indicates whether the controller supports the DMTF NC-SI standard.",
             RO, TAVO_TYPE_LIST, "Supported,Not Supported", 9, 13, "Not Supported", handle_ncsi_static_configuration),
    property("NCSICVHandShake",
             "This property displays Error when NC-SI initialisation failed, else Success; only for controllers "
             "that support NC-SI.",
             RO, TAVO_TYPE_LIST, "Success,Error,N/A", 6, 9, "Error", handle_ncsi_static_configuration),
};
const GroupDef ncsi = {"NCSI", "NCSI Group.", 0, 0, nullptr, ncsi_children};

const ChildDef ext_fat_children[] = {
    property("MaxLogEntries", "This property displays the most log entries the volatile RAM buffer holds.", RO,
             TAVO_TYPE_INTEGER, "", 1, 255, "1", stored),
    property("LogEntrySize", "This property displays the size of a log entry.", RO, TAVO_TYPE_INTEGER, "", 1, 255, "1",
             stored),
    property("LoggingType",
             "This property displays the logging type set in the firmware (UART and FLASH modes only).", RO,
             TAVO_TYPE_LIST, "synchronous,asynchronous", 11, 13, "synchronous", stored),
    property("MaxLoggingFunctions", "This property displays the most logging functions.", RO, TAVO_TYPE_INTEGER, "",
             1, 8, "1", stored),
    property("MaxLoggingPorts", "This property displays the most logging ports.", RO, TAVO_TYPE_INTEGER, "", 1, 4,
             "1", stored),
    property("SupportedModes", "This property displays the modes the ARM firmware supports.", RO, TAVO_TYPE_LIST,
             "UART,RAM", 3, 15, "UART", stored),
    property("NumberOfModules", "This property displays the number of modules the ARM firmware supports.", RO,
             TAVO_TYPE_INTEGER, "", 0, 64, "0", stored),
    action("RetrieveARMLog", "This command writes the ARM firmware log of the given snapshot mode into a file.",
           &ROOT_Corvane_ExtFATData_RetrieveARMLog_action),
    action("EnableLoggingOnAllModules", "This command sets the trace level of the selected modes in every module.",
           &ROOT_Corvane_ExtFATData_EnableLoggingOnAllModules_action),
    action("DisableLoggingOnAllModules",
           "This command sets the TraceLevel of the selected ExtFATMode groups in all ExtFATModule groups to the "
           "disabled level 0xff.",
           &ROOT_Corvane_ExtFATData_DisableLoggingOnAllModules_action),
    action("SetDefaultLoggingConfiguration", "This command returns the extended FAT configuration to its defaults.",
           &ROOT_Corvane_ExtFATData_SetDefaultLoggingConfiguration_action),
};
const GroupDef ext_fat = {"ExtFATData",
                          "This group contains the ARM firmware log of the Tessmark controller, read at start-up and "
                          "cached.",
                          0, 0, nullptr, ext_fat_children};

const ChildDef event_log_children[] = {
    action("RefreshEventLog", "This command reads the firmware event log again.",
           &ROOT_Corvane_EventLog_RefreshEventLog_action),
    action("ClearEventLog", "This command clears the firmware event log; the cleared entries are gone for good.",
           &ROOT_Corvane_EventLog_ClearEventLog_action),
};
const GroupDef event_log = {"EventLog",
                            "This group contains the firmware event log entries, read at start-up and cached.", 0, 0,
                            nullptr, event_log_children};

const ChildDef fat_data_children[] = {
    property("FATDataValid", "This property indicates whether FAT data is present in the controller.", RO,
             TAVO_TYPE_LIST, "Yes,No", 2, 3, "Yes", handle_FATDataValid),
    action("RetrieveFATData", "This command writes the FAT data into a file.",
           &ROOT_Corvane_FATData_RetrieveFATData_action),
    action("ClearFATData", "This command clears the FAT data in the controller.",
           &ROOT_Corvane_FATData_ClearFATData_action),
};
const GroupDef fat_data = {"FATData",
                           "This group contains the Failure Analysis Tool data kept in the controller's non-volatile "
                           "memory.",
                           0, 0, nullptr, fat_data_children};

const ChildDef diagnostics_children[] = {
    property("TotalTestCycles", "This property displays the total time in milliseconds of the requested loops.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", stored),
    property("TotalCompleteCycles", "This property displays the time of the loops that completed successfully.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", stored),
    property("TotalErrorCycles", "This property displays the time of the loops that completed with errors.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", stored),
    property("SendErrorCount", "This property displays the number of send errors.", RO, TAVO_TYPE_INTEGER, "", 0,
             4096, "0", stored),
    property("ReceiveErrorCount", "This property displays the number of receive errors.", RO, TAVO_TYPE_INTEGER, "",
             0, 4096, "0", stored),
    property("DataMiscompareCount", "This property displays the number of data miscompares.", RO, TAVO_TYPE_INTEGER,
             "", 0, 4096, "0", stored),
    property("TotalCompleteCount", "This property displays the number of loops that completed successfully.", RO,
             TAVO_TYPE_INTEGER, "", 0, kMaxCount, "0", stored),
    property("IsLoopbackSupported", "This property indicates whether the loopback test is supported.", RO,
             TAVO_TYPE_LIST, "True,False", 4, 5, "True", stored),
    action("HostToDDRDMATest", "This command runs the host to DDR DMA test on the controller.",
           &ROOT_Corvane_Diagnostics_HostToDDRDMATest_action),
    action("EnterLoopBackMode",
           "This command puts the source port into the given loopback mode. Use it first: EnterLoopBackMode, then "
           "NetworkLoopBackTest, then ExitLoopBackMode.",
           &ROOT_Corvane_Diagnostics_EnterLoopBackMode_action),
    action("ExitLoopBackMode",
           "This command takes the ports out of loopback mode. Use it last: EnterLoopBackMode first, then "
           "NetworkLoopBackTest, then ExitLoopBackMode.",
           &ROOT_Corvane_Diagnostics_ExitLoopBackMode_action),
    action("NetworkLoopBackTest",
           "This command runs the loopback test between the ports. Use it after EnterLoopBackMode and before "
           "ExitLoopBackMode.",
           &ROOT_Corvane_Diagnostics_NetworkLoopBackTest_action),
};
const GroupDef diagnostics = {"Diagnostics",
                              "This group contains the results of the most recent loopback or DMA test of the "
                              "Tessmark controller.",
                              0, 0, nullptr, diagnostics_children};

#define VERSION_PROPERTY(name, meaning, minimum, default_value, handler)                                     \
  property(name, "This property displays the " meaning ".", RO, TAVO_TYPE_TEXT, "", minimum, 32, default_value, \
           handler)
const ChildDef corvane_children[] = {
    property("IsSecureJumperEnabled", "This property indicates whether the secure jumper is set.", RO,
             TAVO_TYPE_LIST, "True,False", 4, 5, "N/A", handle_IsSecureJumperEnabled),
    property("OneView",
             "This property indicates whether HPE OneView manages the adapter; N/A on CV2 and CV3 and where the "
             "controller does not offer it.",
             RO, TAVO_TYPE_LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_OneView),
    property("AdvancedMode",
             "This property specifies the advanced-mode boot setting. CV3 controllers only, N/A on the others; a "
             "change takes effect after a reboot.",
             RW, TAVO_TYPE_LIST, "Enabled,Disabled", 7, 8, "Enabled", handle_AdvancedMode),
    property("ControllerStatus", "This property indicates whether the controller's firmware is alive.", RO,
             TAVO_TYPE_LIST, "Alive,Dead", 4, 5, "Alive", handle_ControllerStatus),
    subgroup(&link_reconfiguration),
    subgroup(&fru_vpd),
    subgroup(&channel_management),
    property("Manufacturer", "This property displays the manufacturer of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 32, "0", stored),
    property("ModelNumber", "This property displays the model number of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 32, "1", stored),
    property("Description", "This property displays the description of the Tessmark controller.", RO,
             TAVO_TYPE_TEXT, "", 1, 64, "0", stored),
    property("SerialNumber",
             "This property displays the serial number of the Tessmark controller, typically one of its MAC "
             "addresses.",
             RO, TAVO_TYPE_TEXT, "", 1, 32, "1", stored),
    property("Capabilities",
             "This property displays which of NIC, TOE, iSCSI initiator and target, FCoE initiator and target are "
             "enabled on the Tessmark controller.",
             RO, TAVO_TYPE_TEXT, "", 1, 128, "Unknown", stored),
    VERSION_PROPERTY("ActiveFirmwareVersion", "running firmware version", 5, "5", handle_cv_controller_properties),
    VERSION_PROPERTY("FirmwareVersionOnFlash",
                     "firmware version in flash, which becomes active after the next restart", 5, "5",
                     handle_cv_controller_properties),
    VERSION_PROPERTY("BIOSVersion", "running BIOS version", 5, "5", handle_cv_controller_properties),
    VERSION_PROPERTY("BootCodeVersion", "running boot code version", 5, "5", handle_cv_controller_properties),
    property("FirmwareStatus",
             "This property displays the state of the firmware. Working means that it operates properly.", RO,
             TAVO_TYPE_LIST, "Working,Degraded,Critical,Failed,Unknown", 6, 8, "Unknown",
             handle_cv_controller_properties),
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
    property("CorvaneOnDieTemperature",
             "This property displays the on-chip temperature of the Tessmark controller in degrees centigrade.", RO,
             TAVO_TYPE_INTEGER, "", 45, 125, "45", handle_cv_temperature),
    VERSION_PROPERTY("IPLFileName",
                     "IPL file name; N/A where the controller reports none and its IPL number has no name", 0, "0",
                     handle_cv_controller_additional_properties),
    property("PCIExpressLinkSpeed", "This property displays the current PCI Express link speed.", RO,
             TAVO_TYPE_TEXT, "", 0, 5, "0", handle_PCIExpressLinkSpeed),
    property("PCIExpressBusWidth", "This property displays the current PCI Express bus width.", RO, TAVO_TYPE_TEXT,
             "", 0, 5, "0", handle_PCIExpressBusWidth),
    property("FFVName", "This property specifies the FFV name of the Tessmark controller.", RW, TAVO_TYPE_TEXT, "", 4,
             32, "0", handle_FFVName),
    subgroup(&profile_management),
    subgroup(&niccim),
    action("RetrieveTessmarkPCIDump", "This command writes the controller's PCI dump (its full flash content) into a "
           "file.", &ROOT_Corvane_RetrieveTessmarkPCIDump_action),
    action("RetrieveTessmarkCoreDump", "This command writes the controller's core dump into a file.",
           &ROOT_Corvane_RetrieveTessmarkCoreDump_action),
    action("RetrieveFwCliData", "This command runs a firmware command string and writes its output into a file.",
           &ROOT_Corvane_RetrieveFwCliData_action),
    action("UpgradeFlashROM",
           "This command flashes a firmware image file; the new version is active after a restart.",
           &ROOT_Corvane_UpgradeFlashROM_action),
    action("ResetFactoryDefaults", "This command returns the resource descriptors of a profile to factory defaults.",
           &ROOT_Corvane_ResetFactoryDefaults_action),
    action("EraseAllConfiguration",
           "This command returns all settings of the controller to factory defaults, effective after a reboot.",
           &ROOT_Corvane_EraseAllConfiguration_action),
    subgroup(&personality),
    subgroup(&oem),
    subgroup(&ncsi),
    subgroup(&ext_fat),
    subgroup(&event_log),
    subgroup(&fat_data),
    subgroup(&diagnostics),
};
#undef VERSION_PROPERTY

const GroupDef corvane = {"Corvane", "This group instance corresponds to a single Tessmark controller in this host.",
                          16, 0, nullptr, corvane_children, &corvane_slots};

constexpr TavoActionParam param(uint8_t required, const char* name, const char* description, uint8_t type,
                                const char* list, int32_t minimum, int32_t maximum) {
  TavoActionParam p{};
  p.required = required;
  for (size_t i = 0; name[i] != '\0' && i + 1 < sizeof p.name; ++i) p.name[i] = name[i];
  for (size_t i = 0; description[i] != '\0' && i + 1 < sizeof p.description; ++i) p.description[i] = description[i];
  p.value_type = type;
  for (size_t i = 0; list[i] != '\0' && i + 1 < sizeof p.valid_list; ++i) p.valid_list[i] = list[i];
  p.minimum = minimum;
  p.maximum = maximum;
  return p;
}

constexpr char kLoopbackTypes[] = "MacLoopBack,PhyLoopBack,OnePortLoopBack,TwoPortLoopBack";
constexpr char kYesNo[] = "Yes,No";
constexpr TavoActionParam kPattern = param(1, "Pattern", "This parameter specifies the 8-byte pattern in hexadecimal.",
                                           TAVO_TYPE_TEXT, "", 3, 16);
constexpr TavoActionParam kLoopCount =
    param(1, "LoopCount", "This parameter specifies the number of repetitions.", TAVO_TYPE_INTEGER, "", 1, 4096);
constexpr TavoActionParam kSourcePort =
    param(1, "SourcePortNumber", "This parameter specifies the physical source port.", TAVO_TYPE_INTEGER, "", 0, 3);
constexpr TavoActionParam kDestinationPort =
    param(1, "DestinationPortNumber",
          "This parameter specifies the physical destination port; it equals the source port for MAC and PHY "
          "loopback.",
          TAVO_TYPE_INTEGER, "", 0, 3);
constexpr TavoActionParam kLoopbackType =
    param(1, "LoopbackType",
          "This parameter specifies the loopback point: inside the MAC, inside the PHY, through an external cable "
          "on one port, or across two ports.",
          TAVO_TYPE_LIST, kLoopbackTypes, 11, 15);
constexpr TavoActionParam file_param(const char* name, const char* receives) {
  return param(1, name, receives, TAVO_TYPE_TEXT, "", 3, 255);
}

}  // namespace

// Action descriptors: handler, global flag, parameter count, parameters in
// the order their values reach the handler.
const TavoActionDescriptor ROOT_Corvane_LinkReconfiguration_SetLinkConfigFactoryDefaults_action = {
    do_SetLinkConfigFactoryDefaults, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_LinkReconfiguration_SetLinkConfigID_action = {
    do_SetLinkConfigID, 0, 1,
    {param(1, "LinkConfigID",
           "This parameter specifies the link configuration (number and type of ports) active after the next power "
           "cycle or PCI fundamental reset.",
           TAVO_TYPE_INTEGER, "", 0, 32)}};
const TavoActionDescriptor ROOT_Corvane_ChannelManagement_ConfigureChannelManagement_action = {
    do_ConfigureChannelManagement, 0, 2,
    {param(1, "ChannelState", "This parameter specifies the channel state to configure.", TAVO_TYPE_LIST,
           "Enabled,Disabled", 7, 8),
     param(0, "ChannelType", "This parameter specifies the channel type to configure.", TAVO_TYPE_LIST, kChannelTypes,
           3, 4)}};
const TavoActionDescriptor ROOT_Corvane_ProfileManagement_ConfiguredProfile_SetMaxFunctionNumber_action = {
    do_SetMaxFunctionNumber, 0, 1,
    {param(0, "FunctionNumber", "This parameter specifies the function number to configure.", TAVO_TYPE_INTEGER, "",
           0, 15)}};
const TavoActionDescriptor ROOT_Corvane_ProfileManagement_SetProfileId_action = {
    do_SetProfileId, 0, 1,
    {param(1, "ProfileId", "This parameter specifies the profile to configure.", TAVO_TYPE_INTEGER, "", 1, 256)}};
const TavoActionDescriptor ROOT_Corvane_ProfileManagement_SaveProfile_action = {do_SaveProfile, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_ProfileManagement_SetFactoryDefaults_action = {do_SetFactoryDefaults, 0, 0,
                                                                                        {}};
const TavoActionDescriptor ROOT_Corvane_RetrieveTessmarkPCIDump_action = {
    do_RetrieveTessmarkPCIDump, 0, 1,
    {file_param("PCIDumpFileName",
                "This parameter specifies the file that receives the controller's PCI dump (its full flash "
                "content).")}};
const TavoActionDescriptor ROOT_Corvane_RetrieveTessmarkCoreDump_action = {
    do_RetrieveTessmarkCoreDump, 0, 2,
    {file_param("CoreDumpFileName", "This parameter specifies the file that receives the core dump."),
     param(0, "CoreDumpString", "This parameter specifies which dump; live when not given.", TAVO_TYPE_LIST,
           "live,Dead,Test,Test live,Test Dead", 4, 9)}};
const TavoActionDescriptor ROOT_Corvane_RetrieveFwCliData_action = {
    do_RetrieveFwCliData, 0, 2,
    {file_param("CliOutputFileName", "This parameter specifies the file that receives the firmware CLI output."),
     param(1, "FWCliString", "This parameter specifies the firmware command string.", TAVO_TYPE_TEXT, "", 2, 255)}};
const TavoActionDescriptor ROOT_Corvane_UpgradeFlashROM_action = {
    do_UpgradeFlashROM, 0, 1,
    {file_param("TKIFileName",
                "This parameter specifies the path of the firmware image file; the new version is active after a "
                "restart.")}};
const TavoActionDescriptor ROOT_Corvane_ResetFactoryDefaults_action = {
    do_ResetFactoryDefaults, 0, 1,
    {param(0, "ProfileId",
           "This parameter specifies which ProfileId resource descriptors are to be reverted to their factory "
           "defaults. If ProfileId is zero specifies the active profile is to be reset to factory settings. If it is "
           "no-zero value specifies the Profile number that is to revert to factory settings.",
           TAVO_TYPE_INTEGER, "", 0, 256)}};
const TavoActionDescriptor ROOT_Corvane_EraseAllConfiguration_action = {do_EraseAllConfiguration, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_Personality_SetPersonality_action = {
    do_SetPersonality, 0, 1,
    {param(1, "NewPersonality",
           "This parameter accepts the new type of personality of the adapter to be changed, permitted by the OEM. "
           "The new type of personality may be any of NIC/iSCSI/FCoE.",
           TAVO_TYPE_LIST, "NIC,iSCSI,FCoE", 3, 5)}};
const TavoActionDescriptor ROOT_Corvane_ExtFATData_RetrieveARMLog_action = {
    do_RetrieveARMLog, 0, 2,
    {file_param("ARMLogFileName", "This parameter specifies the file that receives the ARM log."),
     param(1, "SnapshotMode", "This parameter specifies where the log is fetched from.", TAVO_TYPE_LIST,
           "RAM,DDR,FLASH", 3, 5)}};
const TavoActionDescriptor ROOT_Corvane_ExtFATData_EnableLoggingOnAllModules_action = {
    do_EnableLoggingOnAllModules, 0, 3,
    {param(1, "TraceLevel",
           "This parameter specifies the trace level: 0 all, 1 enter function, 4 verbose, 5 info, 8 test, 16 show, "
           "32 warning, 48 error, 64 fatal, 128 always.",
           TAVO_TYPE_LIST, "0,1,4,5,8,16,32,48,64,128", 0, 128),
     param(0, "UARTMode",
           "This parameter specifies whether the ExtFATMode groups of UART mode are set (Yes when not given).",
           TAVO_TYPE_LIST, kYesNo, 2, 3),
     param(0, "RAMMode", "This parameter specifies whether the ExtFATMode groups of RAM mode are set.", TAVO_TYPE_LIST,
           kYesNo, 2, 3)}};
const TavoActionDescriptor ROOT_Corvane_ExtFATData_DisableLoggingOnAllModules_action = {
    do_DisableLoggingOnAllModules, 0, 2,
    {param(0, "UARTMode",
           "This parameter specifies whether the ExtFATMode groups of UART mode are disabled (Yes when not given).",
           TAVO_TYPE_LIST, kYesNo, 2, 3),
     param(0, "RAMMode", "This parameter specifies whether the ExtFATMode groups of RAM mode are disabled.",
           TAVO_TYPE_LIST, kYesNo, 2, 3)}};
const TavoActionDescriptor ROOT_Corvane_ExtFATData_SetDefaultLoggingConfiguration_action = {
    do_SetDefaultLoggingConfiguration, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_EventLog_RefreshEventLog_action = {do_RefreshEventLog, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_EventLog_ClearEventLog_action = {do_ClearEventLog, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_FATData_RetrieveFATData_action = {
    do_RetrieveFATData, 0, 1,
    {file_param("FATFileName", "This parameter specifies the file that receives the FAT data.")}};
const TavoActionDescriptor ROOT_Corvane_FATData_ClearFATData_action = {do_ClearFATData, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_Diagnostics_HostToDDRDMATest_action = {
    do_HostToDDRDMATest, 0, 3,
    {kPattern,
     param(1, "ByteCount", "This parameter specifies the bytes moved from host to DDR and back per loop.",
           TAVO_TYPE_INTEGER, "", 64, 4096),
     kLoopCount}};
const TavoActionDescriptor ROOT_Corvane_Diagnostics_EnterLoopBackMode_action = {
    do_EnterLoopBackMode, 0, 3, {kSourcePort, kDestinationPort, kLoopbackType}};
const TavoActionDescriptor ROOT_Corvane_Diagnostics_ExitLoopBackMode_action = {
    do_ExitLoopBackMode, 0, 2, {kSourcePort, kDestinationPort}};
const TavoActionDescriptor ROOT_Corvane_Diagnostics_NetworkLoopBackTest_action = {
    do_NetworkLoopBackTest, 0, 6,
    {kPattern,
     param(1, "ByteCount",
           "This parameter specifies the bytes per frame, at most the MTU: 1500 to 4056 for MAC loopback, 1500 to "
           "8192 for the other types.",
           TAVO_TYPE_INTEGER, "", 1500, 8192),
     kLoopCount, kSourcePort, kDestinationPort, kLoopbackType}};

TavoNode* initialize_Corvane(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action, char* params) {
  return tavo::tree::build_group(corvane, parent, creating_node, creating_action, params);
}
