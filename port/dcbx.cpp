// The DCBX feature views: the port's DCBX record read in the view a group
// stands for and shown as its properties, an Administrator setting written
// back, the DCBX state and mode, and the MIB counters.
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "port/record_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using tavo::port::PortTarget;

namespace {

constexpr uint32_t kFunctionCapsNotApplicable = 0x40;
const char* const kDcbxModes[tavo::kDcbxModeCount] = {"CEE", "CIN", "Auto-CEE", "Auto-IEEE"};

uint32_t read_view(const PortTarget& t, uint8_t view, tavo::DcbxConfigRecord* r) {
  *r = tavo::DcbxConfigRecord{};
  r->state = view;
  return ioctl_get_dcbx_cfg_params(t.device, r, t.domain, t.port_number, t.path);
}

// OperationalMode of the operational PG view: "N/A" while the controller
// runs a channel management type, where PG does not apply, or where the
// port's links are in a mode without DCBX; else whether PG runs.
uint32_t pg_operational_mode(const PortTarget& t, TavoNode* group, uint32_t pg_flags) {
  TavoNode* groups = group->parent;
  if (strcasecmp(groups->name, "PriorityGroups") != 0 || groups->parent == nullptr ||
      strcasecmp(groups->parent->name, "DCBX") != 0 || groups->parent->parent != t.port)
    return 1;
  uint32_t no_dcbx_mode = 0;
  TAVO_get_operating_value(t.device, t.domain, t.port_number, group, &no_dcbx_mode);
  char management[TAVO_VALUE_SIZE] = "";
  TavoNode* channels = internal_get_node(t.controller, "ChannelManagement", TAVO_KIND_GROUP);
  if (channels != nullptr && internal_get_property(channels, "ConfiguredManagementType", management) != 0) return 1;
  if (strcmp(management, "N/A") != 0 || (pg_flags & tavo::kDcbxFlagNotApplicable) != 0)
    return set_prop_val(group, "OperationalMode", "N/A");
  if (no_dcbx_mode != 0) return 0;  // the "N/A" stored above stays
  return set_prop_val(group, "OperationalMode", "%s", (pg_flags & tavo::kDcbxFlagEnabled) != 0 ? "True" : "False");
}

// The feature-view handlers' one behaviour. A read refreshes the group
// from the firmware and answers the property's text; a write sends the
// setting and keeps the value. vf_read_goes_on: inside a virtual function
// a read still asks (ApplicationTLV instances).
uint32_t feature_handler(TavoNode* property, char* buf, uint32_t op, bool vf_read_goes_on) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (property == nullptr || buf == nullptr) return 1;
  if (vm_flag && (op == TAVO_PROPERTY_SET || !vf_read_goes_on)) return tavo::port::refuse_on_vf(buf);
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  PortTarget t;
  if (!tavo::port::port_target(property, &t)) return 1;
  const uint32_t instance = tavo::controller::controller_instance(t.controller);
  if (op == TAVO_PROPERTY_GET) {
    const uint32_t status = TAVO_get_feature_vars(t.device, t.port_number, t.domain, property->parent, instance);
    if (status != 0) return status;
    return tavo::port::answer_stored(property, buf);
  }
  const uint32_t status = TAVO_set_feature_vars(t.device, t.port_number, t.domain, property, buf, instance);
  if (status != 0) return status;
  return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
}

// DCBXMode's code of a name (case ignored); -1 for none.
int dcbx_mode_code(const char* name) {
  for (int i = 0; i < tavo::kDcbxModeCount; ++i)
    if (strcasecmp(name, kDcbxModes[i]) == 0) return i;
  return -1;
}

uint32_t dcbx_mode_read(TavoNode* property, char* buf, const PortTarget& t) {
  tavo::DcbxModeRecord r{};
  if (ioctl_get_dcbx_mode(t.device, &r, t.domain, t.port_number, t.path) != 0) {
    tavo::port::port_status(103);
    return 1;
  }
  // A code the table does not name leaves the text as it was.
  if (r.mode < tavo::kDcbxModeCount) set_prop_val(property->parent, property->name, "%s", kDcbxModes[r.mode]);
  return tavo::port::answer_stored(property, buf);
}

uint32_t dcbx_mode_write(TavoNode* property, const char* value, const PortTarget& t) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(property->parent, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  const int code = dcbx_mode_code(value);
  if (code < 0) return tavo::port::invalid_value(property->name);
  tavo::DcbxModeRecord r{};
  r.new_mode = static_cast<uint8_t>(code);
  if (ioctl_set_dcbx_mode(t.device, &r, t.domain, t.port_number, t.path) != 0) {
    tavo::port::port_status(104);
    return 1;
  }
  set_prop_val(property->parent, property->name, "%s", kDcbxModes[code]);
  tavo::port::port_status(152);
  return 0;
}

// The port's DCBX state does not apply where the function's capabilities
// say so (every generation but Galtor); a failed read counts as "applies".
bool dcbx_state_not_applicable(const PortTarget& t) {
  if (tavo::port::port_generation(t) == tavo::kGenerationGaltor) return false;
  tavo::FirmwareConfig config{};
  return ioctl_get_fw_config(t.device, &config, t.domain, t.port_number, t.path) == 0 &&
         (config.capabilities & kFunctionCapsNotApplicable) != 0;
}

uint32_t port_vars_handler(TavoNode* property, char* buf) {
  PortTarget t;
  if (!tavo::port::port_handler_begin(property, buf, &t, nullptr)) return 1;
  const uint32_t status = get_port_vars(t.device, t.port_number, t.domain, t.port);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

}  // namespace

uint32_t TAVO_get_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                               uint32_t controller_instance) {
  if (group == nullptr || group->parent == nullptr) return 1;
  const PortTarget t = tavo::port::port_address(function, port, domain, controller_instance);
  tavo::DcbxConfigRecord r;
  const uint32_t status = read_view(t, tavo::port::dcbx_view(group->name, group->parent->name), &r);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: reading the DCBX record of %s failed with status %d\n", __func__, group->name,
           static_cast<int>(status));
    tavo::port::port_status(101);
    return status;
  }
  tavo::port::PropertyTexts texts;
  if (!tavo::port::dcbx_view_texts(group->name, tavo::tree::instance_number(group), r, &texts)) return 1;
  if (tavo::port::store_texts(group, texts) != 0) return 1;
  if (strcasecmp(group->name, "OperationalPGSettings") != 0) return 0;
  PortTarget above;
  if (!tavo::port::port_target(group, &above)) return 1;
  above.device = function;
  above.domain = domain;
  above.port_number = port;
  return pg_operational_mode(above, group, r.pg_flags);
}

uint32_t TAVO_set_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property, const char* value,
                               uint32_t controller_instance) {
  if (property == nullptr || property->parent == nullptr || value == nullptr) return 1;
  const PortTarget t = tavo::port::port_address(function, port, domain, controller_instance);
  tavo::DcbxConfigRecord answer;
  uint32_t status = read_view(t, tavo::kDcbxAdministrator, &answer);
  if (status != 0) {
    tavo::port::port_status(101);
    return status;
  }
  tavo::DcbxConfigRecord request = tavo::port::dcbx_write_request(answer);
  TavoNode* group = property->parent;
  if (tavo::port::dcbx_apply_setting(property->name, group->name, tavo::tree::instance_number(group), value,
                                     &request) != 0)
    return tavo::port::invalid_value(nullptr);
  status = ioctl_set_dcbx_cfg_params(t.device, &request, t.domain, t.port_number, t.path);
  if (status != 0) {
    tavo::port::port_status(102);
    return status;
  }
  return 0;
}

uint32_t get_port_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* port_group) {
  TavoNode* dcbx = internal_get_node(port_group, "DCBX", TAVO_KIND_GROUP);
  TavoNode* port_vars = internal_get_node(dcbx, "DCBXPortVars", TAVO_KIND_GROUP);
  TavoNode* statistics = internal_get_node(dcbx, "DCBXStatistics", TAVO_KIND_GROUP);
  if (port_vars == nullptr || statistics == nullptr || port_group->parent == nullptr) return 1;
  TavoNode* controller = port_group->parent;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const PortTarget t = tavo::port::port_address(function, port, domain,
                                                tavo::controller::controller_instance(controller));
  tavo::port::PropertyTexts vars, stats;
  uint32_t status = 0;
  if (generation == tavo::kGenerationGaltor) {
    tavo::GaltorDcbxMibRecord r{};
    status = ioctl_galtor_get_dcbx_mib_params(t.device, &r, t.domain, t.port_number, t.path);
    if (status == 0) tavo::port::dcbx_mib_texts(r, &vars, &stats);
  } else {
    tavo::DcbxMibRecord r{};
    status = ioctl_get_dcbx_mib_params(t.device, &r, t.domain, t.port_number, t.path);
    if (status == 0) tavo::port::dcbx_mib_texts(r, &vars, &stats);
  }
  if (status != 0) {
    tavo::port::port_status(108);
    return status;
  }
  return tavo::port::store_texts(port_vars, vars) | tavo::port::store_texts(statistics, stats);
}

uint32_t handle_pfc_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return feature_handler(property, buf, op, false);
}

uint32_t handle_pg_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return feature_handler(property, buf, op, false);
}

uint32_t handle_app_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return feature_handler(property, buf, op, false);
}

uint32_t handle_apptlv_feature_vars(TavoNode* property, char* buf, uint32_t op) {
  return feature_handler(property, buf, op, true);
}

// PG15 membership is a Moravel feature; elsewhere it is "N/A" unasked and
// cannot be written.
uint32_t handle_pg15_membership(TavoNode* property, char* buf, uint32_t op) {
  if ((op == TAVO_PROPERTY_GET || op == TAVO_PROPERTY_SET) && property != nullptr && buf != nullptr && !vm_flag) {
    PortTarget t;
    if (!tavo::port::port_target(property, &t)) return 1;
    if (tavo::port::port_generation(t) != tavo::kGenerationMoravel)
      return tavo::controller::not_applicable_here(property, buf, op, tavo::port::kNotOnThisAdapter);
  }
  return feature_handler(property, buf, op, false);
}

// The PG instances' two properties: every call reads.
uint32_t handle_bwg_props(TavoNode* property, char* buf, uint32_t) {
  return feature_handler(property, buf, TAVO_PROPERTY_GET, false);
}

uint32_t handle_DCBXState(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  PortTarget t;
  if (!tavo::port::port_handler_begin(property, buf, &t, nullptr)) return 1;
  if (dcbx_state_not_applicable(t))
    return tavo::controller::not_applicable_here(property, buf, op, tavo::port::kNotOnThisAdapter);
  return feature_handler(property, buf, op, false);
}

uint32_t handle_DCBXMode(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  PortTarget t;
  if (!tavo::port::port_handler_begin(property, buf, &t, nullptr)) return 1;
  return op == TAVO_PROPERTY_GET ? dcbx_mode_read(property, buf, t) : dcbx_mode_write(property, buf, t);
}

uint32_t handle_dcbx_port_vars(TavoNode* property, char* buf, uint32_t) { return port_vars_handler(property, buf); }

uint32_t handle_dcbx_stats_props(TavoNode* property, char* buf, uint32_t) { return port_vars_handler(property, buf); }
