// What the network branch's handlers and actions share: where a node's
// commands go, the interface record, the address and gateway records, and
// the branch's status messages.
#pragma once

#include <stdint.h>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "transport/network_records.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"

namespace tavo::network {

using iscsi::keeping_last_status;
using iscsi::ParamTexts;

// Where the commands of a node's handler go (number: the function's device
// handle).
using tree::handler_context;
using tree::HandlerContext;
// An action's commands: the context of the action node (its group's own);
// false without a group, an action or a function handle.
bool action_target(TavoNode* group, TavoNode* action, HandlerContext* out);
// A delete action's commands and the entry its number names, exactly as
// written ("07" names no entry 7); false, with status 20 for no such entry.
bool entry_target(TavoNode* table, TavoNode* action, const char* type, const char* number, HandlerContext* out,
                  TavoNode** entry);
// Whether node is a group (an instance: of the type) of that name.
bool named_group(const TavoNode* node, const char* name);
using tree::group_above;

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void network_status(uint32_t code);
// A number as the tree accepts it (automatic base, nothing trailing) within
// minimum..maximum.
bool parse_integer(const char* text, int32_t minimum, int32_t maximum, int32_t* out);

// An address and mask as the address records carry them (IPv4 in the
// first 4 bytes).
struct AddressEntry {
  uint8_t type = kAddressTypeIPv4;
  uint8_t address[16] = {};
  uint8_t mask[16] = {};
};
// A stored address and mask that name a configured address (address not
// 0.0.0.0, loopback or broadcast; mask not 0.0.0.0); false otherwise.
bool configured_entry(const char* address, const char* mask, AddressEntry* out);
// Sends one IpAddressRecord (kEntryAdd or kEntryDelete) of the entry's
// type; the command's status. address_status, when given, receives the
// reply's address status.
uint32_t send_ip_entry(const HandlerContext& t, uint32_t interface_id, uint32_t action, const AddressEntry& entry,
                       uint32_t* address_status);
// Adds or deletes the default gateway (IPv4: 4 bytes, IPv6: 16); 0, or 1
// with status 132.
uint32_t send_gateway(const HandlerContext& t, uint32_t action, const uint8_t* gateway, bool ipv6 = false);

// --- IPv6 ---
// Whether the controller above node has IPv6 in its firmware (not CV2 or
// CV3; an unreadable generation counts as capable).
bool ipv6_capable(TavoNode* node);
// Leaves status 291 and answers true where the controller has no IPv6.
bool ipv6_refused(TavoNode* node);

}  // namespace tavo::network
