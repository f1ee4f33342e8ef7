// What the port branch's handlers and actions share: where a port's
// commands go, the link-status and PHY queries, speed names and the
// branch's status messages.
#pragma once

#include <stdint.h>

#include <span>

#include "port/port.h"
#include "transport/port_records.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"

namespace tavo::port {

struct PropertyTexts;

// A port's commands go where the handler context of a node of the port
// says (tree/handler_context.h): to the number of the function that serves
// the port, in its domain, naming the port's PortNumber (c.port), on the
// path the controller's port bitmap gives that port (port_path).
//
// The context of node when it lies at or below a port group of a
// controller; false for any other node.
bool port_context(TavoNode* node, tree::HandlerContext* c);
// The path of the context's port: 1 iSCSI device, 2 NIC device, 4 no
// function.
uint32_t port_path(const tree::HandlerContext& c);
// The start every port property handler shares: property and buffer given,
// a refusal inside a virtual function ("N/A" into buf, status 256), the
// port found and, when generation is asked for, readable. False when the
// handler answers 1 at once.
bool port_handler_begin(TavoNode* property, char* buf, tree::HandlerContext* c, uint32_t* generation);
// The NIC function a command that always travels on the NIC device is
// addressed with: the controller's NICPhysicalHBA of the port, else its
// first; 0 when the controller has none (the command is not sent).
uint32_t port_nic_function(const tree::HandlerContext& c);

// The PHY details (102/1) of the port; the command's status.
uint32_t read_phy_details(const tree::HandlerContext& c, uint32_t path, PhyDetailsRecord* out);

// Stores value as the property's text and copies the stored text into
// buf[256]; 0.
uint32_t store_and_answer(TavoNode* property, const char* value, char* buf);
// Copies the property's stored text into buf; 0.
uint32_t answer_stored(TavoNode* property, char* buf);
// The refusal inside an SR-IOV virtual function ("N/A" into buf when
// given, status 256); 1.
uint32_t refuse_on_vf(char* buf);
// Whether a property of group reads value (case ignored); false when it
// cannot be read.
bool reads(TavoNode* group, const char* name, const char* value);

// Stores each text into its property of group; 1 at the first that cannot
// be stored, else 0.
uint32_t store_texts(TavoNode* group, const PropertyTexts& texts);

// The ApplicationTLV instance of firmware slot `slot` in a view's group
// (its number is the slot's, so a write or a delete through it reaches that
// slot), with the entry's four texts. With a creating action (the
// Administrator view's AddApplicationTLV) the instance records it and
// params, or, without params, the texts of the call that would add the
// entry again. Null when the slot's instance cannot be built.
TavoNode* application_tlv_instance(TavoNode* view, int32_t slot, const DcbxApplicationTlvEntry& e,
                                   TavoNode* creating_action, char* params);
// The builder of that instance in the view's instance group (port_def).
TavoNode* build_application_tlv_in_slot(TavoNode* view, int32_t slot, TavoNode* creating_node,
                                        TavoNode* creating_action, char* params);

// The refusal of a setting this controller cannot apply: "Failed to
// execute the command. Because operation is not supported on this
// adapter.".
inline constexpr uint32_t kNotOnThisAdapter = 291;

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void port_status(uint32_t code);
// The branch's wordings: 6 for a TX throttle other than 1 or 2 and for a
// beacon duration that is no number, 7 for a loopback pattern past 64 bits,
// 231 for a destination port without a function (the exit and the test
// word it "thie").
extern const base::StatusWording kThrottleOneOrTwo;
extern const base::StatusWording kDurationsInvalid;
extern const base::StatusWording kPatternTooLong;
extern const base::StatusWording kNoDestination;
extern const base::StatusWording kNoDestinationThie;
// Status 6 "<name>: Invalid Value." ("Invalid Value." without a name); 1.
uint32_t invalid_value(const char* name);

}  // namespace tavo::port
