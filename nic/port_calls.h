// What the port branch asks of the channels: the channels of a port and a
// Moravel port's multi-channel types (the handlers of CurrentManagementType,
// MaxBitsPerSecond and a ConfiguredProfile Port's MCType, which it reads by
// name, are nic/nic.h's).
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Builds the Channel instances of a port (its PortDiscoveryAndConfiguration
// group) from the controller's configured profile; 0, 1, or the profile
// command's status.
TAVO_EXPORT uint32_t TAVO_get_multi_channels_info(uint32_t port_number, TavoNode* port);
// A Moravel port's current and configured multi-channel types and the
// profile's reboot state, each into a 256-byte text; 0, or 1 when a group
// or property it needs is missing.
TAVO_EXPORT uint32_t TAVO_get_mvk_mc_type(TavoNode* controller, TavoNode* port, char* current_type,
                                          char* configured_type, char* reboot_required);
// Refresh handler of a port's ChannelManagement group: its Channel
// instances again.
TAVO_EXPORT uint32_t group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement(TavoNode* group);
TAVO_END_DECLS
