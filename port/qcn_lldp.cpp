// QCN (the congestion-notification views of the version-1 DCBX record)
// and LLDP (what the port's agent sends, what it learned, its counters).
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "port/record_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::port::PortTarget;

namespace {

bool path_has_function(const PortTarget& t) { return t.path == TAVO_VIA_ISCSI || t.path == TAVO_VIA_NIC; }

uint8_t qcn_view(const char* group) {
  if (strcasecmp(group, "AdministratorQCNSetting") == 0) return tavo::kDcbxAdministrator;
  if (strcasecmp(group, "PeerQCNSetting") == 0) return tavo::kDcbxPeer;
  return tavo::kDcbxOperational;
}

uint32_t read_qcn(const PortTarget& t, uint8_t view, tavo::DcbxConfigRecordV1* r) {
  *r = tavo::DcbxConfigRecordV1{};
  r->base.state = view;
  const uint32_t status = ioctl_get_dcbx_cfg_params_v1(t.device, r, t.domain, t.port_number, t.path);
  if (status != 0) tavo::port::port_status(101);
  return status;
}

// The controller of an LLDP group (LLDP, the port, the controller above);
// null when a level is missing.
TavoNode* lldp_controller(TavoNode* group) {
  TavoNode* lldp = group != nullptr ? group->parent : nullptr;
  TavoNode* port = lldp != nullptr ? lldp->parent : nullptr;
  if (lldp == nullptr || strcasecmp(lldp->name, "LLDP") != 0 || port == nullptr || port->parent == nullptr ||
      tavo::tree::instance_number(port->parent) < 0)
    return nullptr;
  return port->parent;
}

uint32_t read_lldp(const PortTarget& t, uint32_t agent, tavo::LldpConfigRecord* r) {
  *r = tavo::LldpConfigRecord{};
  memcpy(r, &agent, sizeof agent);
  // A port without a function reads as an empty record.
  if (!path_has_function(t)) return 0;
  const uint32_t status = ioctl_get_lldp_params(t.device, r, t.domain, t.port_number, t.path);
  if (status != 0) tavo::port::port_status(105);
  return status;
}

uint32_t lldp_write(TavoNode* property, const char* value, const PortTarget& t) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(property->parent, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  // Nothing can carry the change: it is no success.
  if (!path_has_function(t)) {
    tavo::port::port_status(106);
    return 1;
  }
  tavo::LldpConfigRecord answer;
  if (read_lldp(t, tavo::kLldpLocal, &answer) != 0) return 1;
  tavo::LldpConfigUpdate update;
  if (!tavo::port::lldp_update(answer, property->name, value, &update) ||
      ioctl_set_lldp_params(t.device, &update, t.domain, t.port_number, t.path) != 0) {
    tavo::port::port_status(106);
    return 1;
  }
  return handle_internal_property(property, const_cast<char*>(value), TAVO_PROPERTY_SET);
}

}  // namespace

uint32_t TAVO_get_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                            uint32_t controller_instance) {
  if (group == nullptr) return 1;
  const PortTarget t = tavo::port::port_address(function, port, domain, controller_instance);
  tavo::DcbxConfigRecordV1 r;
  const uint32_t status = read_qcn(t, qcn_view(group->name), &r);
  if (status != 0) return status;
  tavo::port::PropertyTexts texts;
  if (tavo::port::qcn_view_texts(group->name, r, &texts)) tavo::port::store_texts(group, texts);
  return 0;
}

uint32_t TAVO_set_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property, const char* value,
                            uint32_t controller_instance) {
  if (property == nullptr || value == nullptr) return 1;
  const PortTarget t = tavo::port::port_address(function, port, domain, controller_instance);
  tavo::DcbxConfigRecordV1 answer;
  uint32_t status = read_qcn(t, tavo::kDcbxAdministrator, &answer);
  if (status != 0) return status;
  tavo::DcbxConfigRecordV1 request = tavo::port::dcbx_write_request(answer);
  if (tavo::port::qcn_apply_setting(property->name, value, &request) != 0) return tavo::port::invalid_value(nullptr);
  status = ioctl_set_dcbx_cfg_params_v1(t.device, &request, t.domain, t.port_number, t.path);
  if (status != 0) tavo::port::port_status(102);
  return status;
}

uint32_t handle_update_qcn_props(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  PortTarget t;
  if (property == nullptr || buf == nullptr || !tavo::port::port_target(property, &t)) return 1;
  const uint32_t generation = tavo::port::port_generation(t);
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3 ||
      generation == tavo::kGenerationGaltor) {
    tavo::port::port_status(326);
    return 1;
  }
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const uint32_t instance = tavo::controller::controller_instance(t.controller);
  if (op == TAVO_PROPERTY_SET) {
    if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
    const uint32_t status = TAVO_set_QCN_props(t.device, t.port_number, t.domain, property, buf, instance);
    if (status != 0) return status;
    return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
  }
  // Inside a virtual function "N/A" stands until the firmware answers.
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  const uint32_t status = TAVO_get_QCN_props(t.device, t.port_number, t.domain, property->parent, instance);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

uint32_t get_lldp_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group) {
  TavoNode* controller = lldp_controller(group);
  if (controller == nullptr) return 1;
  const PortTarget t =
      tavo::port::port_address(function, port, domain, tavo::controller::controller_instance(controller));
  const bool local = strcasecmp(group->name, "LocalConfiguration") == 0;
  tavo::LldpConfigRecord r;
  const uint32_t status = read_lldp(t, local ? tavo::kLldpLocal : tavo::kLldpPeer, &r);
  if (status != 0) return status;
  tavo::port::PropertyTexts texts;
  tavo::port::lldp_texts(local, r, &texts);
  return tavo::port::store_texts(group, texts);
}

uint32_t handle_LLDP_properties(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  PortTarget t;
  if (!tavo::port::port_handler_begin(property, buf, &t, nullptr)) return 1;
  if (op == TAVO_PROPERTY_SET) return lldp_write(property, buf, t);
  const uint32_t status = get_lldp_props(t.device, t.port_number, t.domain, property->parent);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

uint32_t handle_lldp_stats_props(TavoNode* property, char* buf, uint32_t) {
  PortTarget t;
  if (!tavo::port::port_handler_begin(property, buf, &t, nullptr)) return 1;
  tavo::LldpStatsRecord r{};
  if (ioctl_get_lldp_stats(t.device, &r, t.domain, t.port_number, t.path) != 0) {
    tavo::port::port_status(107);
    return 1;
  }
  tavo::port::PropertyTexts texts;
  tavo::port::lldp_stats_texts(r, &texts);
  if (tavo::port::store_texts(property->parent, texts) != 0) return 1;
  return tavo::port::answer_stored(property, buf);
}
