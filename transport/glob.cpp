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

namespace tavo::transport {

void reset_glob() { tavo_glob = initial_glob(); }

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
