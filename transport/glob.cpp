// The back end's global record. Its descriptor tables start closed (-1):
// closing them before the first open must never touch descriptors that the
// host process owns (0 would be its standard input).
#include "transport/glob.h"

#include "transport/glob_access.h"

namespace tavo::transport {

constexpr TavoGlob initial_glob() {
  TavoGlob g{};
  for (int32_t& fd : g.nic_handles) fd = -1;
  for (int32_t& fd : g.iscsi_handles) fd = -1;
  return g;
}

}  // namespace tavo::transport

constinit TavoGlob tavo_glob = tavo::transport::initial_glob();
uint8_t vm_flag = 0;
uint8_t TAVO_NIC_INBOX_DRIVER_LOADED = 0;
uint8_t TAVO_ISCSI_INBOX_DRIVER_LOADED = 0;
uint8_t OPEN_ISCSI_DRIVER_LOADED = 0;

uint32_t get_port_bitmap(uint32_t controller_instance, uint32_t port) {
  if (controller_instance >= TAVO_MAX_CONTROLLERS || port >= TAVO_MAX_PORTS) return TAVO_PORT_NO_FUNCTION;
  const uint8_t bits = tavo_glob.port_bitmap[controller_instance][port];
  if (bits & 1) return TAVO_VIA_ISCSI;
  if (bits & 2) return TAVO_VIA_NIC;
  return TAVO_PORT_NO_FUNCTION;
}

void set_protocol(uint32_t controller_instance, uint32_t protocol) {
  if (controller_instance >= TAVO_MAX_CONTROLLERS || protocol < 1 || protocol > 3) return;
  tavo_glob.protocol_bits[controller_instance] |= static_cast<uint8_t>(1u << (protocol - 1));
}

namespace tavo::transport {

void reset_glob() {
  tavo_glob = initial_glob();
  vm_flag = 0;
  TAVO_NIC_INBOX_DRIVER_LOADED = TAVO_ISCSI_INBOX_DRIVER_LOADED = OPEN_ISCSI_DRIVER_LOADED = 0;
}

HeaderFlags glob_header_flags() { return HeaderFlags{tavo_glob.version_flag, tavo_glob.pf_number}; }

bool valid_iscsi_function(uint32_t function_number) {
  return function_number >= 1 && function_number <= TAVO_MAX_FUNCTIONS &&
         static_cast<int64_t>(function_number) <= tavo_glob.iscsi_valid_hba;
}

bool valid_nic_function(uint32_t function_number) {
  return function_number >= 1 && function_number <= TAVO_MAX_FUNCTIONS &&
         static_cast<int64_t>(function_number) <= tavo_glob.nic_valid_hba;
}

bool command_descriptor(uint32_t transport, uint32_t function_number, int32_t* fd) {
  if (transport == TAVO_VIA_ISCSI && valid_iscsi_function(function_number)) {
    *fd = tavo_glob.iscsi_handles[function_number - 1];
    return true;
  }
  if (transport == TAVO_VIA_NIC && valid_nic_function(function_number)) {
    *fd = tavo_glob.nic_handles[0];
    return true;
  }
  return false;
}

}  // namespace tavo::transport
