// The port branch's status texts, by code, and its wordings.
#include "port/port_internal.h"

namespace tavo::port {
namespace {

#define PORT_SEE_LOG "Please check tavo2d.log file for more information."
#define PORT_INTERNAL "Application internal error occurred. " PORT_SEE_LOG
constexpr base::StatusText kPortStatusTexts[] = {
    {51, "Cannot set bandwidth as total bandwidth exceeds 100 percent."},
    {62, "Failed to perform loop back test. " PORT_INTERNAL},
    {63, "Failed to perform DDR DMA test. " PORT_INTERNAL},
    {64, "Failed to dump transceiver data. " PORT_INTERNAL},
    {67,
     "Source port number and destination port number should be same for MAC loopback, PHY loopback and one port "
     "loopback."},
    {68, "Source port number and destination port number should be different for two port loopback."},
    {72, "Failed to get port status. " PORT_INTERNAL},
    {73, "Failed to set port status. " PORT_INTERNAL},
    {78, "Invalid pattern value. Please provide a valid hexadecimal value."},
    {94, "Failed to get physical port. " PORT_INTERNAL},
    {101, "Cannot obtain DCBX properties. " PORT_INTERNAL},
    {102, "Cannot set DCBX properites. " PORT_INTERNAL},
    {103, "Cannot get DCBX mode. " PORT_INTERNAL},
    {104, "Cannot set DCBX mode. " PORT_INTERNAL},
    {105, "Cannot obtain LLDP properites. " PORT_INTERNAL},
    {106, "Cannot set LLDP properites. " PORT_INTERNAL},
    {107, "Cannot obtain LLDP statistics properties. " PORT_INTERNAL},
    {108, "Cannot obtain DCBX MIB params. " PORT_INTERNAL},
    {119, "Failed to enable/disable beacon."},
    {120, "Failed to get beacon state."},
    {134,
     "BeaconDuration or StatusDuration parameter is missing. Please provide the parameter value while enabling "
     "the beacon state."},
    {150, "Beaconing is not supported on this model of Corvane controller."},
    {152, "DCBX mode has changed. Please, reboot the system for the new mode to take effect."},
    {155,
     "This loopback mode is not set. Please set loopback mode using EnterLoopBackMode command before running this "
     "test."},
    {158, "Failed to add ApplicationTLV. Max ApplicationTLV's are reached."},
    {167, "Maximum ByteCount supported for MACLoopBack is 4056."},
    {168, "PhyLoopBack is not supported on this controller."},
    {170, "Failed to get PhysicalHBA for the given SourcePortNumber."},
    {171, "No LoopBack Mode is set on this port."},
    {172, "The specified LoopBack mode is already set."},
    {187, "Failed to erase port and discovery configuration. " PORT_SEE_LOG},
    {191, "DumpTransceiverData is not supported on this model of Corvane controller."},
    {198, "Loopback test failed because module is not inserted for loopback test."},
    {208, "Failed to get TXThrottel property. " PORT_SEE_LOG},
    {209, "Failed to set TXThrottel property. " PORT_SEE_LOG},
    {210, "Setting TXThrottel is not Supported on this type of adapter."},
    {215, "Failed to get 10BaseT Stats. " PORT_SEE_LOG},
    {216, "TargetCable should be given when TestType is CrossTalk."},
    {217, "Failed to run 10BaseT SelfTest. " PORT_SEE_LOG},
    {218, "Failed to run RunTDR test. " PORT_SEE_LOG},
    {220, "Failed to get 10BaseT NVPValue. " PORT_SEE_LOG},
    {221, "Failed to Set 10BaseT NVPValue. " PORT_SEE_LOG},
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
    {231, "There is no PhysicalHBA for the given SourcePortNumber."},
    {232, "Enter LoopBack Mode failed. " PORT_SEE_LOG},
    {233, "Exit LoopBack Mode failed. " PORT_SEE_LOG},
    {234, "Failed to get LoopBack Mode. " PORT_SEE_LOG},
    {236, "Failed set Beacon. Beacon operation is already in active state."},
    {240, "Given port speed settings are already configured. No changes done."},
    {244, "Beacon is already in disabled state."},
    {248, "Failed to perform loop back test. An error occurred in the transmit path of the loopback test."},
    {249, "Failed to perform loop back test. An error occurred in the receive path of the loopback test."},
    {250, "Failed to perform loop back test. Data integrity failure in the transmitted vs received packet."},
    {251, "Failed to perform loop back test. Timed out on loopback test."},
    {260, "When vNIC is Enabled 1GB port speed is not supported."},
    {324, "Loopback test is not supported on specific adapter"},
    {325, "ClearCounters test is not supported on specific adapter"},
    {326, "Configuring QCN parameters are not supported on this adapter."},
};
#undef PORT_INTERNAL
#undef PORT_SEE_LOG
const base::StatusTable kPortTable{"port", kPortStatusTexts};

const base::StatusFormat<const char*> kInvalidNamed{TAVO_INVALID_VALUE, "%s: Invalid Value."};

}  // namespace

const base::StatusWording kThrottleOneOrTwo{TAVO_INVALID_VALUE, "Invalid Value. Valid values are 1 or 2."};
const base::StatusWording kDurationsInvalid{TAVO_INVALID_VALUE, "BeaconDuration or StatusDuration: Invalid value."};
const base::StatusWording kPatternTooLong{TAVO_OUT_OF_RANGE, "Value out of range."};
const base::StatusWording kNoDestination{231, "There is no PhysicalHBA for the given DestinationPortNumber."};
const base::StatusWording kNoDestinationThie{231, "There is no PhysicalHBA for thie given DestinationPortNumber."};

void port_status(uint32_t code) { base::set_status(code); }

uint32_t invalid_value(const char* name) {
  if (name != nullptr)
    kInvalidNamed.set(name);
  else
    base::set_status(TAVO_INVALID_VALUE);
  return 1;
}

}  // namespace tavo::port
