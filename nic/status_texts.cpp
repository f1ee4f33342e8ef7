// The NIC branch's status texts, by code.
#include "nic/nic_internal.h"

namespace tavo::nic {
namespace {

constexpr base::StatusText kNicStatusTexts[] = {
    {70, "Setting this property is not supported in this OS."},
    {76,
     "Failed to get permanent MAC address. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {114,
     "Failed to get iSCSI QoS properties. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {115,
     "Failed to set iSCSI QoS properties. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {160,
     "Failed to get MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {161,
     "Failed to set MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {185, "Failed to get vNIC status. Please check tavo2d.log file for more information."},
    {186, "Failed to get vNIC config data. Please check tavo2d.log file for more information."},
    {241, "Failed to get SRIOV state for the interface. Please check tavo2d.log file for more information."},
    {242, "Failed to set SRIOV state for the interface. Please check tavo2d.log file for more information."},
    {246, "Failed to get current MACAddress. Please check tavo2d.log file for more information."},
    {247, "Failed to change SRIOVState. SRIOV state change is not supported on this function."},
    {252, "Changed the SRIOV state successfully. Please reboot the machine for changes to take effect."},
    {253, "Enabling SRIOV is not supported when UMC is enabled."},
    {272, "Configuring Network boot is not supported on this function."},
    {273, "Give Network Boot method is not supported."},
    {274,
     "Failed to configure NetworkBoot. When NetworkBootState is enabled, need to provide valid NetworkBootMethod."},
    {275, "Failed to get profile list. Please check tavo2d.log file for more information."},
    {276, "Failed to get profile capacities. Please check tavo2d.log file for more information."},
    {277, "Failed to get active profile. Please check tavo2d.log file for more information."},
    {280, "Profile configured successfully. Please reboot your system for the changes to take effect."},
    {281, "Failed to set active profile. Please check tavo2d.log file for more information."},
    {284, "MultiChannel state change. Please reboot your system for the changes to take effect."},
    {285, "Configuring channel parameter is not supported when LogicalLinkState is disabled."},
    {286, "Configuring LPVID is not supported for Storage functions."},
    {287, "Failed to configure QoS.Min Bandwidth is greater then Max Bandwidth."},
    {289, "Configuring Multi Channel is not supported on given adapter."},
    {292, "Failed to get capabilities. Please check tavo2d.log file for more information."},
    {293, "Failed to execute command. Please specify ChannelType."},
    {294, "Failed to execute command. Given channel type is not supported."},
    {297, "Failed to configure VEPAState. VEPA is not supported on this adapter."},
    {301, "Setting factory profile default settings is not supported on this adapter."},
    {303, "Performed command is not supported on given adapter."},
    {305,
     "Failed to save configured profile, because invalid configuration provided. Please check the configuration."},
    {308, "Failed to set LPVID. Valid range of LPVID is from 2 to 4094."},
    {314, "Failed to get ARI settings. Please check tavo2d.log file for more information."},
    {316, "Failed to SetMaxFunctionNumber. Because this comamnd is not supported on this adapter."},
    {323, "Configuring requested channel parameter is not supported."},
    {328, "Failed to set Volatile MAC Address."},
    {332, "Failed to get Link Reconfiguration information. Please check tavo2d.log file for more information."},
    {333, "Setting factory Link configuration settings is not supported on this adapter."},
    {334, "Failed to set Link Reconfiguration settings. Please check tavo2d.log file for more information."},
};
const base::StatusTable kNicTable{"nic", kNicStatusTexts};

}  // namespace

const base::StatusWording kUnsafeInterfaceName{
    TAVO_FAILED, "The interface name of the NIC function cannot be given to a command."};
const base::StatusFormat<const char*, int> kVfCommandFailed{
    TAVO_FAILED, "Failed to configure the virtual function: \"%s\" exited with status %d."};
const base::StatusWording kEditsDiscarded{
    TAVO_FAILED,
    "Failed to save configured profile, because its unsaved changes were discarded when another process restarted "
    "or changed the configuration. Please make the changes again."};

void nic_status(uint32_t code) { base::set_status(code); }

}  // namespace tavo::nic
