// What the steps above (targets, sessions) use of the network branch
// besides its exported calls.
#pragma once

#include <stdint.h>

#include "iscsi/network/iscsi_network.h"
#include "tree/group_builder.h"
#include "tree/handler_context.h"

namespace tavo::network {

// The TCPIPConfiguration group's interface record; read from the firmware
// when the group has none yet. Null, with the read's status, on failure.
TcpipInterfaceHandle* tcpip_interface(TavoNode* tcpip);

// The initiator's name and alias of a LogicalHBA (its InitiatoriSCSIName
// group) as a read of the asked one through its handler answers: the
// function's name block, read once per request (record_reads.h), stored in
// the group; a read of the name also tells the host's software initiator.
// 0, else the failing command's status (110), or 1 without the group.
enum class NameRead { Name, Alias };
struct InitiatorNames {
  char name[TAVO_VALUE_SIZE] = "";
  char alias[TAVO_VALUE_SIZE] = "";
};
uint32_t initiator_names(TavoNode* lhba, NameRead asked, InitiatorNames* out);
// The same read for a function before its LogicalHBA is built (a start's
// first steps), nothing stored: 0, else the failing command's status.
uint32_t function_initiator_names(const tree::HandlerContext& function, InitiatorNames* out);

// The all-zero IPv6 address in full form: no address.
inline constexpr char kNoIPv6Address[] = "0000:0000:0000:0000:0000:0000:0000:0000";

// The network's static sub-groups of an iSCSIPhysicalHBA, which the
// function's table (iscsi/targets/) lists.
extern const tree::GroupDef phba_driver;
extern const tree::GroupDef phba_network;
extern const tree::GroupDef phba_vpd;
extern const tree::GroupDef phba_pci;

}  // namespace tavo::network
