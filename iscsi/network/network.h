// What the steps above (targets, sessions) use of the network branch
// besides its exported calls.
#pragma once

#include <stdint.h>

#include "iscsi/network/iscsi_network.h"
#include "tree/group_builder.h"

namespace tavo::network {

// The TCPIPConfiguration group's interface record; read from the firmware
// when the group has none yet. Null, with the read's status, on failure.
TcpipInterfaceHandle* tcpip_interface(TavoNode* tcpip);

// The all-zero IPv6 address in full form: no address.
inline constexpr char kNoIPv6Address[] = "0000:0000:0000:0000:0000:0000:0000:0000";

// The network's static sub-groups of an iSCSIPhysicalHBA, which the
// function's table (iscsi/targets/) lists.
extern const tree::GroupDef phba_driver;
extern const tree::GroupDef phba_network;
extern const tree::GroupDef phba_vpd;
extern const tree::GroupDef phba_pci;

}  // namespace tavo::network
