// The controller branch's status texts, by code.
#include "controller/controller.h"

namespace tavo::controller {
namespace {

constexpr base::StatusText kControllerStatusTexts[] = {
    {74,
     "Failed to obtain OEM attributes. Application internal error occurred. Please check tavo2d.log file for more "
     "information."},
    {109,
     "Failed to obtain controller attributes. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {121, "Cannot dump the config region for the given offset."},
    {139,
     "Failed to change the personality of the adapter. Application internal error occurred. Please check tavo2d.log "
     "file for more information."},
    {140,
     "Cannot get the personality of the adapter. Application internal error occurred. Please check tavo2d.log file for "
     "more information."},
    {143, "Corvane personality has been changed. Please reboot your system for the changes to take effect."},
    {145, "Cannot set the property as NCSI status is Disabled."},
    {151, "The Personality Change attempted is not supported on this Corvane controller."},
    {163, "Failed to get the controller type."},
    {176,
     "Failed to get the available personalities for the controller. Please check tavo2d.log file for more "
     "information."},
    {177,
     "Failed to get the configured personality for the controller. Please check tavo2d.log file for more information."},
    {188, "Failed to erase nic settings. Please check tavo2d.log file for more information."},
    {219, "Failed to set NCSI Dynamic Configuration properties. Please check tavo2d.log file for more information."},
    {265, "Failed to get core dump properties. Please check tavo2d.log file for more information."},
    {279, "Failed to get reset needed. Please check tavo2d.log file for more information."},
    {283, "Failed to SetPortProtocol. Please check tavo2d.log file for more information."},
    {298, "Failed to configure FFVName. FFVName is not supported on this adapter."},
    {311, "Configuring AdvanceMode is not supported on this adapter."},
    {312, "Advance mode settings changed successfully. Please reboot the machine for changes to take effect."},
    {338, "Reset to factory defaults is not supported on this adapter."},
    {339, "Failed to reset factory defaults on this adapter."},
    {340, "Failed to get OneView parameter. Please check tavo2d.log file for more information."},
};
const base::StatusTable kControllerTable{"controller", kControllerStatusTexts};

}  // namespace

void controller_status(uint32_t code) { base::set_status(code); }

}  // namespace tavo::controller
