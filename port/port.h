// Port and DCBX configuration: the start-up loaders and the actions the
// client hooks run directly.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Builds the controller's PortDiscoveryAndConfiguration instances.
TAVO_EXPORT uint32_t TAVO_get_port_discovery_config(TavoNode* controller);
// Sets the Diagnostics group's loopback support from the first port.
TAVO_EXPORT uint32_t TAVO_update_diagnostics_prop(TavoNode* controller);
// Beacon of a PortDiscoveryAndConfiguration group: BeaconDuration,
// StatusDuration, BeaconState.
TAVO_EXPORT uint32_t do_Beacon(TavoNode* port, TavoNode* action, char* params);
// ExitLoopBackMode of a Diagnostics group: SourcePortNumber,
// DestinationPortNumber.
TAVO_EXPORT uint32_t do_ExitLoopBackMode(TavoNode* diagnostics, TavoNode* action, char* params);

// Diagnostics actions of a controller: HostToDDRDMATest (Pattern,
// ByteCount, LoopCount), EnterLoopBackMode (SourcePortNumber,
// DestinationPortNumber, LoopbackType), NetworkLoopBackTest (Pattern,
// ByteCount, LoopCount, SourcePortNumber, DestinationPortNumber,
// LoopbackType).
TAVO_EXPORT uint32_t do_HostToDDRDMATest(TavoNode* diagnostics, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_EnterLoopBackMode(TavoNode* diagnostics, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_NetworkLoopBackTest(TavoNode* diagnostics, TavoNode* action, char* params);

TAVO_END_DECLS
