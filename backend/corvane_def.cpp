// The Corvane group: one instance per controller, directly under ROOT,
// with its static sub-groups, properties and actions in the order clients
// list them. Its rows belong to the controller, firmware, port and NIC
// branches, so the table stands above them all.
#include "backend/backend.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr int32_t kMaxCount = 2147483647;
static SlotArea corvane_slots;

const ChildDef fru_vpd_children[] = {
    property(
        "FRUVPDData0", RO, TEXT, "", 0, 256, "", handle_fru_vpd_data,
        "This property is a hex dump of segment 0 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData1", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 1 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData2", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 2 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData3", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 3 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData4", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 4 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData5", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 5 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData6", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 6 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData7", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 7 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData8", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 8 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData9", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 9 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
    property(
        "FRUVPDData10", RO, TEXT, "", 0, 256, "", stored,
        "This property is a hex dump of segment 10 of the FRU VPD data retrieved from a Tessmark controller by TAVO."),
};
const GroupDef fru_vpd = group("FRUVPD", fru_vpd_children,
                               "This group contains the FRU Vital Product Data of the Tessmark controller. Because of "
                               "TAVO size limitations, this data is separated into segments designated by FRUVPDData0 "
                               "- FRUVPDData10 properties; reading FRUVPDData0 refreshes all of them.");

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

// A file the action writes.
static constexpr TavoActionParam file_param(const char* name, const char* receives) {
  return required(name, TEXT, "", 3, 255, receives);
}

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
    subgroup(&tavo::nic::corvane_link_reconfiguration),
    subgroup(&fru_vpd),
    subgroup(&tavo::nic::corvane_channel_management),
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
    property("ActiveFirmwareVersion", RO, TEXT, "", 5, 32, "5", handle_cv_controller_properties,
             "This property displays the running firmware version."),
    property("FirmwareVersionOnFlash", RO, TEXT, "", 5, 32, "5", handle_cv_controller_properties,
             "This property displays the firmware version in flash, which becomes active after the next restart."),
    property("BIOSVersion", RO, TEXT, "", 5, 32, "5", handle_cv_controller_properties,
             "This property displays the running BIOS version."),
    property("BootCodeVersion", RO, TEXT, "", 5, 32, "5", handle_cv_controller_properties,
             "This property displays the running boot code version."),
    property("FirmwareStatus", RO, LIST, "Working,Degraded,Critical,Failed,Unknown", 6, 8, "Unknown",
             handle_cv_controller_properties,
             "This property displays the state of the firmware. Working means that it operates properly."),
    property("FCoEUniversalVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the FCoE universal boot version."),
    property("FCoEx86BIOSVersion", RO, TEXT, "", 0, 32, "", handle_cv_controller_additional_properties,
             "This property displays the FCoE x86 BIOS version."),
    property("FCoEEFIVersion", RO, TEXT, "", 0, 32, "", handle_cv_controller_additional_properties,
             "This property displays the FCoE EFI version."),
    property("FCoEFCODEVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the FCoE FCODE version."),
    property("UEFIBIOSVersion", RO, TEXT, "", 0, 32, "", handle_cv_controller_additional_properties,
             "This property displays the UEFI BIOS version."),
    property("UEFINICVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the UEFI NIC version."),
    property("UEFIFCODEVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the UEFI FCODE version."),
    property("UEFISCSIVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the UEFI SCSI version."),
    property("PXEBIOSVersion", RO, TEXT, "", 0, 32, "0", stored, "This property displays the PXE BIOS version."),
    property("PHYFirmwareVersion", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the PHY firmware version."),
    property("PHYConfigurationId", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the PHY configuration id (its CRC)."),
    property("CorvaneOnDieTemperature", RO, INT, "", 45, 125, "45", handle_cv_temperature,
             "This property displays the on-chip temperature of the Tessmark controller in degrees centigrade."),
    property("IPLFileName", RO, TEXT, "", 0, 32, "0", handle_cv_controller_additional_properties,
             "This property displays the IPL file name; N/A where the controller reports none and its IPL number has "
             "no name."),
    property("PCIExpressLinkSpeed", RO, TEXT, "", 0, 5, "0", handle_PCIExpressLinkSpeed,
             "This property displays the current PCI Express link speed."),
    property("PCIExpressBusWidth", RO, TEXT, "", 0, 5, "0", handle_PCIExpressBusWidth,
             "This property displays the current PCI Express bus width."),
    property("FFVName", RW, TEXT, "", 4, 32, "0", handle_FFVName,
             "This property specifies the FFV name of the Tessmark controller."),
    subgroup(&tavo::nic::corvane_profile_management),
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
    subgroup(&tavo::firmware::corvane_ext_fat_data),
    subgroup(&tavo::firmware::corvane_event_log),
    subgroup(&tavo::firmware::corvane_fat_data),
    subgroup(&tavo::port::corvane_diagnostics),
};

const GroupDef corvane = instanced("Corvane", 16, &corvane_slots, corvane_children,
                                   "This group instance corresponds to a single Tessmark controller in this host.");

TAVO_GROUP_BUILDER(Corvane, corvane, "");
