// The firmware branch's status texts, by code.
#include "firmware/status_texts.h"

namespace tavo::firmware {
namespace {

constexpr base::StatusText kFirmwareStatusTexts[] = {
    {kImageUnreadable,
     "Cannot open the specified TKI file. Please make sure the TKI file is present in the specified path."},
    {kImageInvalid, "Invalid TKI file format. Please use valid TKI file."},
    {kRebootToActivate,
     "Corvane firmware has been updated. Please reboot your system for the changes to take effect."},
    {kObjectReadFailed, "Unable to retrieve FAT data. Application internal error occurred. Please check tavo2d.log "
                        "file for more information."},
    {kFatFileInvalid, "Invalid FAT file name. Please use valid FAT file name."},
    {kNoFatData, "There is no FAT data to be retrieved."},
    {kEventLogReadFailed, "Failed to retrieve event log entries. Application internal error occurred. Please check "
                          "tavo2d.log file for more information."},
    {kEventLogClearFailed, "Failed to clear event log entries. Application internal error occurred. Please check "
                           "tavo2d.log file for more information."},
    {kImageIncompatible, "The TKI file given is not compatible with this controller."},
    {kUpgradeFailed, "Failed to upgrade the firmware."},
    {kExtFatReadFailed,
     "Failed to get EXTFAT Capabilities properties. Please check tavo2d.log file for more information."},
    {kExtFatWriteFailed,
     "Failed to set EXTFAT Capabilities properties. Please check tavo2d.log file for more information."},
    {kSnapshotFailed, "Failed to Configure Snapshot.Please check tavo2d.log file for more information."},
    {kArmLogEmpty, "There is no ExtFat Data to be retreived. Because number of log entries are Zero."},
    {kArmLogReadFailed, "Failed to RetrieveExtFAT Data. Please check tavo2d.log file for more information."},
    {kStringTableFailed,
     "Failed to Read ExtFat String Table. Please check tavo2d.log file for more information."},
    {kEnableLoggingFailed,
     "Failed to Perform EnableLoggingOnAllModules. Please check tavo2d.log file for more information."},
    {kDisableLoggingFailed,
     "Failed to Perform DisableLoggingOnAllModules. Please check tavo2d.log file for more information."},
    {kNotOnVirtualFunction, "Firmware update cannot be performed on a SR-IOV virtual function."},
    {kDumpFileInvalid, "Invalid file name or path name given. Please provide valid file name or path name."},
    {kObjectFileInvalid,
     "Invalid file format. Please use the valid file and check tavo2d.log file for more information."},
    {kVersionsUnreadable, "Firmware download completed but failed to get ActiveFirmwareVersion and "
                          "FirmwareVersionOnFlash properties. Please check tavo2d.log file for more information."},
    {kComponentPropsFailed,
     "Failed to get core dump component properties. Please check tavo2d.log file for more information."},
    {kSegmentPropsFailed,
     "Failed to get core dump segment properties. Please check tavo2d.log file for more information."},
    {kSegmentReadFailed, "Failed to get core dump segment. Please check tavo2d.log file for more information."},
    {kDumpWriteFailed, "Failed to create core dump file. Please check tavo2d.log file for more information."},
    {kObjectEmpty, "No data avaialable to read."},
    {kDownloadTwice, "This special firmware release requires the download be performed twice. You must reboot the "
                     "system and download the same firmware file again to complete the download process."},
    {kDumpNotPermitted,
     "Failed to create file under specified directory because write operations are not supported."},
    {kFwCliRefused, "Given FWCliString not supported."},
    {kSignatureInvalid, "Failed to flash firmware image because of invalid digital signature."},
    {kSignatureMissing, "Failed to flash firmware image because of digital signature missed in the given TKI."},
};
const base::StatusTable kFirmwareTable{"firmware", kFirmwareStatusTexts};

}  // namespace

const base::StatusWording kNotHex{TAVO_INVALID_VALUE, "Invalid value. Value should be in hex-decimal format."};
const base::StatusWording kPortMaskTooLarge{TAVO_INVALID_VALUE,
                                            "Invalid value. Please check MaxLoggingPorts property for valid PortMask."};
const base::StatusWording kFunctionMaskTooLarge{
    TAVO_INVALID_VALUE, "Invalid value. Please check MaxLoggingFunctions property for valid PCIFunctionMask."};

void set_status(uint32_t code) { base::set_status(code); }

}  // namespace tavo::firmware
