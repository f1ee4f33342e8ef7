// The port branch's status texts, by code.
#include "port/port_internal.h"
#include "tree/status_texts.h"

namespace tavo::port {
namespace {

#define PORT_SEE_LOG "Please check tavo2d.log file for more information."
#define PORT_INTERNAL "Application internal error occurred. " PORT_SEE_LOG
constexpr tree::StatusText kPortStatusTexts[] = {
    {6, "Invalid Value. Valid values are 1 or 2."},
    {64, "Failed to dump transceiver data. " PORT_INTERNAL},
    {72, "Failed to get port status. " PORT_INTERNAL},
    {73, "Failed to set port status. " PORT_INTERNAL},
    {93, "Failed to obtain NIC configuration params. " PORT_INTERNAL},
    {94, "Failed to get physical port. " PORT_INTERNAL},
    {119, "Failed to enable/disable beacon."},
    {120, "Failed to get beacon state."},
    {134,
     "BeaconDuration or StatusDuration parameter is missing. Please provide the parameter value while enabling "
     "the beacon state."},
    {149, "This Operation is not supported."},
    {150, "Beaconing is not supported on this model of Corvane controller."},
    {187, "Failed to erase port and discovery configuration. " PORT_SEE_LOG},
    {191, "DumpTransceiverData is not supported on this model of Corvane controller."},
    {208, "Failed to get TXThrottel property. " PORT_SEE_LOG},
    {209, "Failed to set TXThrottel property. " PORT_SEE_LOG},
    {210, "Setting TXThrottel is not Supported on this type of adapter."},
    {222, "Failed to SetPortSpeed. " PORT_SEE_LOG},
    {223, "Failed to SetPortSpeed. When Mode is Force, valid speed values are 1Gb or 10Gb."},
    {224, "Failed to SetPortSpeed. DAC Cable Length is required when mode is Force."},
    {225, "Failed to SetPortSpeed. Speed is requried when Mode is Force or Auto-Negotiate."},
    {226, "Failed to SetPortSpeed. This command is not Supported on CV2 controller."},
    {227, "Failed to get LogicalLinkStatus." PORT_SEE_LOG},
    {228, "Failed to get PHY Detail properties. " PORT_SEE_LOG},
    {229,
     "Failed to SetPortSpeed. Please check ANSpeedsSupported and ForceSpeedsSupported properties for supported "
     "PortSpeed values on existing PHY."},
    {230, "Failed to get link speed properties. " PORT_SEE_LOG},
    {236, "Failed set Beacon. Beacon operation is already in active state."},
    {240, "Given port speed settings are already configured. No changes done."},
    {244, "Beacon is already in disabled state."},
    {260, "When vNIC is Enabled 1GB port speed is not supported."},
};
#undef PORT_INTERNAL
#undef PORT_SEE_LOG

}  // namespace

std::span<const tree::StatusText> port_status_texts() { return kPortStatusTexts; }

void port_status(uint32_t code) { tree::set_status(kPortStatusTexts, code); }

}  // namespace tavo::port
