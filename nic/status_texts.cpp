// The NIC branch's status texts, by code.
#include "nic/nic_internal.h"

namespace tavo::nic {
namespace {

constexpr tree::StatusText kNicStatusTexts[] = {
    {70, "Setting this property is not supported in this OS."},
    {76,
     "Failed to get permanent MAC address. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {114,
     "Failed to get iSCSI QoS properties. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {160,
     "Failed to get MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {161,
     "Failed to set MACAddress. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {185, "Failed to get vNIC status. Please check tavo2d.log file for more information."},
    {186, "Failed to get vNIC config data. Please check tavo2d.log file for more information."},
    {246, "Failed to get current MACAddress. Please check tavo2d.log file for more information."},
    {259, "This operation is not supported on this controller."},
    {272, "Configuring Network boot is not supported on this function."},
    {273, "Give Network Boot method is not supported."},
    {274,
     "Failed to configure NetworkBoot. When NetworkBootState is enabled, need to provide valid NetworkBootMethod."},
    {328, "Failed to set Volatile MAC Address."},
};

}  // namespace

std::span<const tree::StatusText> nic_status_texts() { return kNicStatusTexts; }

void nic_status(uint32_t code) { tree::set_status(kNicStatusTexts, code); }

}  // namespace tavo::nic
