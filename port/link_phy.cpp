// A port's state, link and PHY: PortState, PhysicalLinkStatus, PHYType,
// FCoEWWPN, the interface type and supported speeds filled at start-up,
// and the operational modes of the port's links.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

namespace {

constexpr const char* kInterfaceTypes[] = {
    "CX4_10GB_TYPE", "XFP_10GB_TYPE",   "SFP_1GB_TYPE",    "SFP_PLUS_10GB_TYPE", "KR_10GB_TYPE",
    "KX4_10GB_TYPE", "BASET_10GB_TYPE", "BASET_1000_TYPE", "BASEX_1000_TYPE",    "SGMII_TYPE",
    "QSFP_TYPE",     "KR4_TYPE",        "KR2_TYPE",        "Not Supported",
};
constexpr const char* kSpeedBits[] = {"10Mb", "100Mb", "1Gb", "10Gb", "20Gb", "40Gb"};

// The names of a speed bitmap's bits joined by ","; "0" for none.
void link_speed_list(uint16_t bitmap, char out[TAVO_VALUE_SIZE]) {
  out[0] = '\0';
  for (size_t bit = 0; bit < sizeof kSpeedBits / sizeof kSpeedBits[0]; ++bit) {
    if ((bitmap & (1u << bit)) == 0) continue;
    if (out[0] != '\0') strcat(out, ",");
    strcat(out, kSpeedBits[bit]);
  }
  if (out[0] == '\0') strcpy(out, "0");
}

uint32_t link_both_speed_lists(TavoNode* port, const char* an, const char* force) {
  return set_prop_val(port, "ANSpeedsSupported", "%s", an) | set_prop_val(port, "ForceSpeedsSupported", "%s", force);
}

// A port and its readable generation; false (nothing to do) for a
// generation of 1, whose status get_cv_type left.
bool link_target(TavoNode* node, tavo::tree::HandlerContext* c, uint32_t* generation) {
  if (!tavo::port::port_context(node, c)) return false;
  *generation = get_cv_type(c->controller);
  return *generation != TAVO_GENERATION_UNREADABLE;
}

uint32_t link_state_read(TavoNode* property, char* buf, const tavo::tree::HandlerContext& c, uint32_t path,
                         bool galtor) {
  bool enabled = false;
  uint32_t status = 0;
  if (galtor) {
    tavo::GaltorPortStateRecord r{};
    r.port = c.port & tavo::kPortFieldMask;
    status = ioctl_galtor_get_port_state(c.number, &r, c.domain, c.port, path);
    enabled = (r.state & 1) != 0;
  } else {
    tavo::PortStateRecord r{};
    status = ioctl_get_port_state(c.number, &r, c.domain, c.port, path);
    enabled = r.state == 1;
  }
  if (status != 0) {
    tavo::port::port_status(72);
    return 1;
  }
  return tavo::port::store_and_answer(property, enabled ? "Enabled" : "Disabled", buf);
}

uint32_t link_state_write(TavoNode* property, const char* value, const tavo::tree::HandlerContext& c, uint32_t path,
                          bool galtor) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(c.port_group, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  const bool enable = strcasecmp(value, "Enabled") == 0;
  uint32_t status = 0;
  if (galtor) {
    tavo::GaltorPortStateRecord r{};
    r.state = enable ? 1 : 0;
    r.port = c.port & tavo::kPortFieldMask;
    status = ioctl_galtor_set_port_state(c.number, &r, c.domain, c.port, path);
  } else {
    tavo::PortStateRecord r{enable ? 1u : 0u};
    status = ioctl_set_port_state(c.number, &r, c.domain, c.port, path);
  }
  if (status == 0) return 0;
  tavo::port::port_status(73);
  return 1;
}

}  // namespace

uint32_t handle_PortState(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (property == nullptr || buf == nullptr || !link_target(property, &c, &generation)) return 1;
  if (vm_flag) return tavo::port::refuse_on_vf(op == TAVO_PROPERTY_GET ? buf : nullptr);
  const bool galtor = generation == tavo::kGenerationGaltor;
  const uint32_t path = tavo::port::port_path(c);
  return op == TAVO_PROPERTY_GET ? link_state_read(property, buf, c, path, galtor)
                                 : link_state_write(property, buf, c, path, galtor);
}

uint32_t handle_PhysicalLinkStatus(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (property == nullptr || buf == nullptr || !tavo::port::port_context(property, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::LinkStatusRecord r;
  const uint32_t status = tavo::port::read_link_status(c.number, c.domain, c.port, path, 1, &r);
  if (status != 0) {
    tavo::port::port_status(93);
    return status;
  }
  // A code past the table counts as down, as everywhere else.
  const bool up = r.speed_code != 0 && r.speed_code <= tavo::kMaxSpeedCode;
  return tavo::port::store_and_answer(property, up ? "Up" : "Down", buf);
}

uint32_t tavo::port::physical_link_status(TavoNode* port_group, char text[TAVO_VALUE_SIZE]) {
  TavoNode* property = internal_get_node(port_group, "PhysicalLinkStatus", TAVO_KIND_PROPERTY);
  return property != nullptr ? handle_PhysicalLinkStatus(property, text, TAVO_PROPERTY_GET) : 1;
}

uint32_t handle_PHYType(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (property == nullptr || buf == nullptr || !tavo::port::port_context(property, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::PhyDetailsRecord r;
  const uint32_t status = tavo::port::read_phy_details(c, path, &r);
  if (status != 0) {
    tavo::port::store_and_answer(property, "N/A", buf);
    return status;
  }
  char text[16];
  snprintf(text, sizeof text, "0x%x", r.phy_type);
  return tavo::port::store_and_answer(property, text, buf);
}

uint32_t handle_FCoEWWPN(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (property == nullptr || buf == nullptr || !tavo::port::port_context(property, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::AdditionalControllerAttributes a{};
  // Without a function on the port the name reads all zero.
  if (path == TAVO_VIA_ISCSI || path == TAVO_VIA_NIC) {
    const uint32_t status = ioctl_get_cnt_additional_attribs(c.number, &a, c.domain, c.port, path);
    if (status != 0) {
      tavo::port::port_status(192);
      return status;
    }
  }
  const uint8_t* w = a.fcoe_wwpn;
  if (set_prop_val(c.port_group, "FCoEWWPN", "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x", w[0], w[1], w[2], w[3], w[4],
                   w[5], w[6], w[7]) != 0)
    return 1;
  return tavo::port::answer_stored(property, buf);
}

uint32_t TAVO_update_interfacetype(uint32_t device, TavoNode* port) {
  tavo::tree::HandlerContext c;
  // The port's group does not hold its function's handle yet.
  if (!tavo::port::port_context(port, &c) || c.port_group != port) return 1;
  c.number = device;
  if (get_cv_type(c.controller) == TAVO_GENERATION_UNREADABLE) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::PhyDetailsRecord r;
  if (tavo::port::read_phy_details(c, path, &r) == 0 &&
      r.interface_type < sizeof kInterfaceTypes / sizeof kInterfaceTypes[0])
    return set_prop_val(port, "InterfaceType", "%s", kInterfaceTypes[r.interface_type]);
  set_prop_val(port, "InterfaceType", "N/A");
  return 1;
}

uint32_t TAVO_update_speed_props(uint32_t device, TavoNode* port) {
  tavo::tree::HandlerContext c;
  // The port's group does not hold its function's handle yet.
  if (!tavo::port::port_context(port, &c) || c.port_group != port) return 1;
  c.number = device;
  const uint32_t path = tavo::port::port_path(c);
  const uint32_t generation = get_cv_type(c.controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationCV2) return link_both_speed_lists(port, "N/A", "N/A");
  tavo::PhyDetailsRecord r;
  if (tavo::port::read_phy_details(c, path, &r) != 0) {
    tavo::port::port_status(228);
    return 1;
  }
  if (r.speed_list_marker != tavo::kPhySpeedListMarker) return link_both_speed_lists(port, "N/A", "N/A");
  char an[TAVO_VALUE_SIZE], force[TAVO_VALUE_SIZE];
  link_speed_list(r.auto_speeds_supported, an);
  link_speed_list(r.fixed_speeds_supported, force);
  return link_both_speed_lists(port, an, force);
}

uint32_t TAVO_get_operating_value(uint32_t, uint8_t, uint8_t port_number, TavoNode* group, uint32_t* flag) {
  tavo::tree::HandlerContext c;
  if (group == nullptr || flag == nullptr || !tavo::port::port_context(group, &c)) return 1;
  // Always the NIC device, so always a NIC function's number.
  const uint32_t nic = tavo::port::port_nic_function(c);
  if (nic == 0) return 1;
  tavo::base::Counted<uint8_t> buffer = tavo::base::counted_zeroed<uint8_t>(tavo::kOperationalModeSize);
  if (!buffer) return 1;
  uint8_t* b = buffer.get();
  b[0] = 1;
  b[4] = port_number & tavo::kPortFieldMask;
  if (ioctl_get_opg_params(nic, b, tavo::kOperationalModeSize, 0, port_number, TAVO_VIA_NIC) != 0) return 1;
  uint16_t count = 0;
  memcpy(&count, b, sizeof count);
  size_t at = tavo::kOperationalModeFirst;
  for (uint16_t i = 0; i < count && tavo::kOperationalModeSize - at >= sizeof(tavo::OperationalModeDescriptor); ++i) {
    tavo::OperationalModeDescriptor d;
    memcpy(&d, b + at, sizeof d);
    if (d.length < sizeof d || d.length > tavo::kOperationalModeSize - at) break;
    const uint8_t mode = d.mode & 0x7;
    if (mode == 0 || mode == 2) {
      set_prop_val(group, "OperationalMode", "N/A");
      if (flag != nullptr) *flag = 1;
    }
    at += d.length;
  }
  return 0;
}
