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

namespace {

bool path_has_function(uint32_t path) { return path == TAVO_VIA_ISCSI || path == TAVO_VIA_NIC; }

uint8_t qcn_view(const char* group) {
  if (strcasecmp(group, "AdministratorQCNSetting") == 0) return tavo::kDcbxAdministrator;
  if (strcasecmp(group, "PeerQCNSetting") == 0) return tavo::kDcbxPeer;
  return tavo::kDcbxOperational;
}

uint32_t read_qcn(const tavo::tree::HandlerContext& c, uint32_t path, uint8_t view, tavo::DcbxConfigRecordV1* r) {
  *r = tavo::DcbxConfigRecordV1{};
  r->base.state = view;
  const uint32_t status = ioctl_get_dcbx_cfg_params_v1(c.number, r, c.domain, c.port, path);
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

uint32_t read_lldp(const tavo::tree::HandlerContext& c, uint32_t path, uint32_t agent, tavo::LldpConfigRecord* r) {
  *r = tavo::LldpConfigRecord{};
  memcpy(r, &agent, sizeof agent);
  // A port without a function reads as an empty record.
  if (!path_has_function(path)) return 0;
  const uint32_t status = ioctl_get_lldp_params(c.number, r, c.domain, c.port, path);
  if (status != 0) tavo::port::port_status(105);
  return status;
}

uint32_t lldp_write(TavoNode* property, const char* value, const tavo::tree::HandlerContext& c, uint32_t path) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(property->parent, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  // Nothing can carry the change: it is no success.
  if (!path_has_function(path)) {
    tavo::port::port_status(106);
    return 1;
  }
  tavo::LldpConfigRecord answer;
  if (read_lldp(c, path, tavo::kLldpLocal, &answer) != 0) return 1;
  tavo::LldpConfigUpdate update;
  if (!tavo::port::lldp_update(answer, property->name, value, &update) ||
      ioctl_set_lldp_params(c.number, &update, c.domain, c.port, path) != 0) {
    tavo::port::port_status(106);
    return 1;
  }
  return handle_internal_property(property, const_cast<char*>(value), TAVO_PROPERTY_SET);
}

}  // namespace

uint32_t TAVO_get_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                            uint32_t controller_instance) {
  if (group == nullptr) return 1;
  const tavo::tree::HandlerContext c{.number = function, .domain = domain, .port = port};
  tavo::DcbxConfigRecordV1 r;
  const uint32_t status = read_qcn(c, get_port_bitmap(controller_instance, port), qcn_view(group->name), &r);
  if (status != 0) return status;
  tavo::port::PropertyTexts texts;
  if (tavo::port::qcn_view_texts(group->name, r, &texts)) tavo::port::store_texts(group, texts);
  return 0;
}

uint32_t TAVO_set_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property, const char* value,
                            uint32_t controller_instance) {
  if (property == nullptr || value == nullptr) return 1;
  const tavo::tree::HandlerContext c{.number = function, .domain = domain, .port = port};
  const uint32_t path = get_port_bitmap(controller_instance, port);
  tavo::DcbxConfigRecordV1 answer;
  uint32_t status = read_qcn(c, path, tavo::kDcbxAdministrator, &answer);
  if (status != 0) return status;
  tavo::DcbxConfigRecordV1 request = tavo::port::dcbx_write_request(answer);
  if (tavo::port::qcn_apply_setting(property->name, value, &request) != 0) return tavo::port::invalid_value(nullptr);
  status = ioctl_set_dcbx_cfg_params_v1(c.number, &request, c.domain, c.port, path);
  if (status != 0) tavo::port::port_status(102);
  return status;
}

uint32_t handle_update_qcn_props(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (property == nullptr || buf == nullptr || !tavo::port::port_context(property, &c)) return 1;
  const uint32_t generation = get_cv_type(c.controller);
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3 ||
      generation == tavo::kGenerationGaltor) {
    tavo::port::port_status(326);
    return 1;
  }
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const uint32_t instance = tavo::controller::controller_instance(c.controller);
  if (op == TAVO_PROPERTY_SET) {
    if (vm_flag) return tavo::port::refuse_on_vf(nullptr);
    const uint32_t status = TAVO_set_QCN_props(c.number, c.port, c.domain, property, buf, instance);
    if (status != 0) return status;
    return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
  }
  // Inside a virtual function "N/A" stands until the firmware answers.
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  const uint32_t status = TAVO_get_QCN_props(c.number, c.port, c.domain, property->parent, instance);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

uint32_t get_lldp_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group) {
  TavoNode* controller = lldp_controller(group);
  if (controller == nullptr) return 1;
  const tavo::tree::HandlerContext c{.number = function, .domain = domain, .port = port};
  const uint32_t path = get_port_bitmap(tavo::controller::controller_instance(controller), port);
  const bool local = strcasecmp(group->name, "LocalConfiguration") == 0;
  tavo::LldpConfigRecord r;
  const uint32_t status = read_lldp(c, path, local ? tavo::kLldpLocal : tavo::kLldpPeer, &r);
  if (status != 0) return status;
  tavo::port::PropertyTexts texts;
  tavo::port::lldp_texts(local, r, &texts);
  return tavo::port::store_texts(group, texts);
}

uint32_t handle_LLDP_properties(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  if (op == TAVO_PROPERTY_SET) return lldp_write(property, buf, c, tavo::port::port_path(c));
  const uint32_t status = get_lldp_props(c.number, c.port, c.domain, property->parent);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

uint32_t handle_lldp_stats_props(TavoNode* property, char* buf, uint32_t) {
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  tavo::LldpStatsRecord r{};
  if (ioctl_get_lldp_stats(c.number, &r, c.domain, c.port, tavo::port::port_path(c)) != 0) {
    tavo::port::port_status(107);
    return 1;
  }
  tavo::port::PropertyTexts texts;
  tavo::port::lldp_stats_texts(r, &texts);
  if (tavo::port::store_texts(property->parent, texts) != 0) return 1;
  return tavo::port::answer_stored(property, buf);
}
