// TXThrottle, the two flow-control properties, sending a port's flow
// control again after a profile change, and the erase of the port's
// configuration.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/config_prof.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

namespace {

constexpr uint32_t kNotApplied = 291;
constexpr uint32_t kRebootNow = 55;

// A throttle write: only the whole numbers 1 and 2.
bool throttle_value(const char* text, uint32_t* out) {
  char* end = nullptr;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || (v != 1 && v != 2)) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

uint32_t throttle_read(TavoNode* property, char* buf, const tavo::tree::HandlerContext& c, uint32_t path,
                       bool cv2_fcoe) {
  char text[16] = "N/A";
  if (cv2_fcoe) {
    tavo::TxThrottleRecord r{};
    if (ioctl_get_tx_throttel(c.number, &r, c.domain, c.port, path) != 0) {
      tavo::port::port_status(208);
      return 1;
    }
    snprintf(text, sizeof text, "%d", static_cast<int>(r.value));
  }
  if (set_prop_val(c.port_group, property->name, "%s", text) != 0) return 1;
  tavo::port::answer_stored(property, buf);
  return 0;
}

uint32_t throttle_write(TavoNode* property, const char* value, const tavo::tree::HandlerContext& c, uint32_t path,
                        uint32_t generation, bool fcoe) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(c.port_group, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  if (generation == tavo::kGenerationCV3 || (generation == tavo::kGenerationCV2 && !fcoe)) {
    tavo::port::port_status(210);
    return 1;
  }
  tavo::TxThrottleRecord r{};
  if (!throttle_value(value, &r.value)) {
    tavo::port::kThrottleOneOrTwo.set();
    return 1;
  }
  if (ioctl_set_tx_throttel(c.number, &r, c.domain, c.port, path) == 0) return 0;
  tavo::port::port_status(209);
  return 1;
}

// A flow-control write request from the two directions' states.
uint32_t flow_send(const tavo::tree::HandlerContext& c, bool transmit, bool receive, const char* mc_type) {
  const uint32_t nic = tavo::port::port_nic_function(c);
  if (nic == 0) return 1;
  tavo::MgmtFlowControlBuffer b{};
  b.states = static_cast<uint8_t>((transmit ? tavo::kFlowTransmitBit : 0) | (receive ? tavo::kFlowReceiveBit : 0));
  b.subcommand = strcasecmp(mc_type, "NPAR") == 0 ? tavo::kFlowControlWriteNpar : tavo::kFlowControlWrite;
  b.port = c.port & tavo::kPortFieldMask;
  return ioctl_mgmt_flow_control(nic, &b, c.domain, c.port);
}

uint32_t flow_read(TavoNode* property, char* buf, const tavo::tree::HandlerContext& c, uint32_t path,
                   uint32_t generation) {
  uint16_t transmit = 0, receive = 0;
  if (generation == tavo::kGenerationCV3) {
    tavo::FlowControlBuffer b{};
    if (ioctl_common_get_flow_control(c.number, &b, c.domain, c.port, path) != 0) return 1;
    transmit = b.transmit;
    receive = b.receive;
  } else {
    const uint32_t nic = tavo::port::port_nic_function(c);
    tavo::MgmtFlowControlBuffer b{};
    b.subcommand = tavo::kFlowControlRead;
    b.port = c.port & tavo::kPortFieldMask;
    if (nic == 0 || ioctl_mgmt_flow_control(nic, &b, c.domain, c.port) != 0) return 1;
    transmit = b.states & 0x0F;
    receive = static_cast<uint16_t>(b.states >> 4);
  }
  if (TAVO_update_flow_control_props(c.port_group, transmit, receive) != 0) return 1;
  return tavo::port::answer_stored(property, buf);
}

// The written port's own configured multi-channel type: the ConfiguredProfile
// port whose descriptor carries the port's link number.
uint32_t flow_write(TavoNode* property, const char* value, const tavo::tree::HandlerContext& c) {
  TavoNode* profiles = internal_get_node(c.controller, "ProfileManagement", TAVO_KIND_GROUP);
  TavoNode* configured = internal_get_node(profiles, "ConfiguredProfile", TAVO_KIND_GROUP);
  TavoNode* profile_port =
      tavo::controller::profile_port_of_link(c.controller, configured, tavo::kProfileConfigured, c.port);
  char mc_type[TAVO_VALUE_SIZE] = "";
  if (profile_port == nullptr || tavo::port::read_configured_mc_type(profile_port, mc_type) != 0) return 1;
  const bool transmit_written = strcasecmp(property->name, "TxFlowControl") == 0;
  char other[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(c.port_group, transmit_written ? "RxFlowControl" : "TxFlowControl", other) != 0) return 1;
  const bool other_on = strcasecmp(other, "Enabled") == 0, new_on = strcasecmp(value, "Enabled") == 0;
  return transmit_written ? flow_send(c, new_on, other_on, mc_type) : flow_send(c, other_on, new_on, mc_type);
}

}  // namespace

uint32_t handle_TXThrottle(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (!tavo::port::port_handler_begin(property, buf, &c, &generation)) return 1;
  if (generation == tavo::kGenerationMoravel) {
    // Moravel has no throttle: a write it cannot apply is no success.
    if (op == TAVO_PROPERTY_SET) {
      tavo::port::port_status(kNotApplied);
      return 1;
    }
    return tavo::port::store_and_answer(property, "N/A", buf);
  }
  TavoNode* personality = internal_get_node(c.controller, "Personality", TAVO_KIND_GROUP);
  char current[TAVO_VALUE_SIZE] = "";
  if (personality == nullptr || internal_get_property(personality, "CurrentPersonality", current) != 0) return 1;
  const bool fcoe = strcasecmp(current, "FcoE") == 0;
  const uint32_t path = tavo::port::port_path(c);
  return op == TAVO_PROPERTY_GET ? throttle_read(property, buf, c, path, generation == tavo::kGenerationCV2 && fcoe)
                                 : throttle_write(property, buf, c, path, generation, fcoe);
}

uint32_t handle_flow_control_properties(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (!tavo::port::port_handler_begin(property, buf, &c, &generation)) return 1;
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationGaltor) {
    // Neither has flow control to show or change.
    if (op == TAVO_PROPERTY_SET) {
      tavo::port::port_status(kNotApplied);
      return 1;
    }
    set_prop_val(c.port_group, "TxFlowControl", "N/A");
    set_prop_val(c.port_group, "RxFlowControl", "N/A");
    return tavo::port::answer_stored(property, buf);
  }
  if (op == TAVO_PROPERTY_GET) return flow_read(property, buf, c, tavo::port::port_path(c), generation);
  if (generation == tavo::kGenerationCV3) {
    tavo::port::port_status(kNotApplied);
    return 1;
  }
  return flow_write(property, buf, c);
}

uint32_t TAVO_update_flow_control_props(TavoNode* port, uint16_t transmit, uint16_t receive) {
  if (port == nullptr) return 1;
  return set_prop_val(port, "TxFlowControl", "%s", transmit == 1 ? "Enabled" : "Disabled") |
         set_prop_val(port, "RxFlowControl", "%s", receive == 1 ? "Enabled" : "Disabled");
}

uint32_t TAVO_reset_flow_control_properties(TavoNode* port, const char* mc_type) {
  tavo::tree::HandlerContext c;
  if (port == nullptr || mc_type == nullptr || !tavo::port::port_context(port, &c)) return 1;
  return flow_send(c, tavo::port::reads(c.port_group, "TxFlowControl", "Enabled"),
                   tavo::port::reads(c.port_group, "RxFlowControl", "Enabled"), mc_type);
}

uint32_t do_ErasePortandDiscoveryConfiguration(TavoNode* port, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_context(port, &c)) return 1;
  tavo::EraseRequest request{tavo::kEraseType, tavo::kErasePortConfig, {}};
  const uint32_t status = ioctl_erase_ROM(c.number, &request, c.domain, c.port, tavo::port::port_path(c));
  if (status == 0 || status == kRebootNow) {
    // "Accepted, reboot now" is success too, with its own message.
    tavo::port::port_status(status == 0 ? 184 : 239);
    return 0;
  }
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_erase_ROM failed with status %d\n", __func__, static_cast<int>(status));
  tavo::port::port_status(187);
  return status;
}
