// What the NIC branch's handlers and actions share: where a node's
// commands go, the groups above a node, MAC texts and the branch's status
// messages.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/memory.h"
#include "controller/controller.h"
#include "nic/nic.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"
#include "transport/mailbox.h"

namespace tavo::nic {

// Where a handler's commands go.
using tree::Commands;
using tree::handler_context;
using tree::HandlerContext;

// node when it is a group (an instance: of the type) of that name, else null.
inline TavoNode* named(TavoNode* node, const char* name) {
  return node != nullptr && tree::group_above(node, name) == node ? node : nullptr;
}
// The chain of groups from a property up: its group and the groups above,
// each of the given name; null when a level is missing. levels[0] is the
// property's group.
template <size_t N>
bool groups_above(TavoNode* property, const char* const (&names)[N], TavoNode* (&levels)[N]) {
  TavoNode* node = property != nullptr ? property->parent : nullptr;
  for (size_t i = 0; i < N; ++i, node = node->parent)
    if ((levels[i] = named(node, names[i])) == nullptr) return false;
  return true;
}

// The FunctionNumber of the function group's PCI sub-group as text, and
// parsed in automatic base (a whole number 0..0x7FFFFFFF); false when it
// cannot be read or is no such number.
bool function_number_text(TavoNode* function_group, char text[TAVO_VALUE_SIZE]);
bool function_number(TavoNode* function_group, uint32_t* out);
// The same text, the log saying for caller which of the two is missing
// ("<caller><sep>Failed to get pci node", "...function number").
bool pci_function_text(TavoNode* function_group, char text[TAVO_VALUE_SIZE], const char* caller, const char* sep);
// The start of a handler of a NICPhysicalHBA's own property that does not
// apply inside a virtual function: its context (the function group, its
// controller) and the generation; false with *result the handler's answer
// (256 with "N/A" in a virtual function, 1 without the groups or a readable
// generation).
bool nic_function_begin(TavoNode* property, char* buf, HandlerContext* c, uint32_t* generation, uint32_t* result);

// Where a controller's own command (one routed by its protocol bits) from
// a NIC function goes: on a controller with iSCSI functions it travels on
// the iSCSI device, so through the controller's first iSCSI function (a NIC
// function's number would name another device); elsewhere through the
// NIC function itself.
HandlerContext protocol_route(const HandlerContext& nic_function);

// A number as the tree accepts it (automatic base, nothing trailing)
// within minimum..maximum.
bool parse_within(const char* text, long long minimum, long long maximum, long long* out);

// The profile configuration's one reader (controller/controller.h).
using controller::read_profile;

// Six bytes as "%02x-%02x-%02x-%02x-%02x-%02x" (and with ':').
void mac_text(const uint8_t mac[6], char out[18]);
void mac_colon_text(const uint8_t mac[6], char out[18]);

// The refusal of a value that does not apply on this controller: "This
// operation is not supported on this controller.".
inline constexpr uint32_t kNotOnThisController = 259;

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void nic_status(uint32_t code);
// 1 when a function's interface name may not reach a shell, and when the
// command that configures a virtual function fails (the command, its exit
// status).
extern const base::StatusWording kUnsafeInterfaceName;
extern const base::StatusFormat<const char*, int> kVfCommandFailed;
// 1 when SaveProfile finds that an edit this process made to the
// configured profile was replaced by another process meanwhile.
extern const base::StatusWording kEditsDiscarded;
// The stored text of group's property name ("" without one): what a build
// or a change left, no handler run.
void stored_text(TavoNode* group, const char* name, char out[TAVO_VALUE_SIZE]);
// MaxBitsPerSecond of a NICPhysicalHBA or of an iSCSI function's iSCSIQoS
// group read afresh, as the property answers it; 0, or 1.
uint32_t max_bits_per_second(TavoNode* group, char out[TAVO_VALUE_SIZE]);
// The property's stored text into buf; 0.
inline uint32_t answer_stored(TavoNode* property, char* buf) {
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

}  // namespace tavo::nic
