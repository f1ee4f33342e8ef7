// Hooks of the NIC enumeration that have nothing to do on this host, and
// what the port branch asks of the channels, registered as the library
// loads.
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/port.h"

void TAVO_enumerate_nic_domain(void) {}

namespace {

const bool hooks_registered = [] {
  tavo::port::set_channel_hooks({TAVO_get_multi_channels_info, TAVO_get_mvk_mc_type});
  return true;
}();

}  // namespace
