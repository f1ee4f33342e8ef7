// The reads a read scope keeps (base/read_scope.h). Start-up and a request
// ask the firmware the same questions again and again from different
// handlers (a controller's profile configuration, a port's PHY, an iSCSI
// function's interfaces); inside a scope a read of one of these commands is
// sent once per request bytes on one function, domain, port and transport,
// and answered from what was kept after that, until a command that changes
// what it reads is sent (its changes in the command table).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "transport/command_table.h"

namespace tavo::command {

struct KeptRead {
  CommandId id;
  uint8_t dropped_by;  // the changes (transport/record_changes.h) that drop its answers
};

inline constexpr KeptRead kKeptReads[] = {
    {CommandId::ioctl_get_profile_config, kProfileConfig},
    {CommandId::ioctl_get_active_profile, kProfileConfig},
    {CommandId::ioctl_get_phy_details, kPorts},
    {CommandId::ioctl_get_all_if_id, kInterfaces},
    {CommandId::ioctl_get_if_info_params, kInterfaces},
    {CommandId::ioctl_get_if_info_params_v1, kInterfaces},
    {CommandId::ioctl_get_discoveryparams, kDiscovery},
};

// The changes that drop a command's kept answers; 0 for a command never kept.
constexpr uint8_t kept_until(CommandId id) {
  for (const KeptRead& k : kKeptReads)
    if (k.id == id) return k.dropped_by;
  return 0;
}

// Where a kept read was sent.
struct KeptPlace {
  uint32_t function_number;
  uint8_t domain;
  uint8_t port_number;
  uint32_t transport;
};

// The kept answer to the request (length bytes at payload) into payload;
// false when none is kept (outside a scope none is). Under the library lock.
bool kept_answer(CommandId id, const KeptPlace& at, void* payload, size_t length);
// Keeps the answer (length bytes at payload) to request for the rest of the
// open scope; nothing outside one. Under the library lock.
void keep_answer(CommandId id, const KeptPlace& at, const uint8_t* request, const void* payload, size_t length);

}  // namespace tavo::command
