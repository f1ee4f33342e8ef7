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

// PortSpeed and ActivePort of an iSCSI function's NICConfiguration.
TAVO_EXPORT uint32_t handle_portspeed(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_activeport(TavoNode* property, char* buf, uint32_t op);
// Reads the link state into the group's LogicalLinkStatus (mode 1 iSCSI
// function, 2 NIC function); 0, or 1 with status 227.
TAVO_EXPORT uint32_t get_logical_link_status(uint32_t device_handle, uint8_t domain, uint8_t port_number,
                                             TavoNode* group, uint32_t mode);

TAVO_END_DECLS
