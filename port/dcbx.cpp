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

namespace {

constexpr uint32_t kFunctionCapsNotApplicable = 0x40;
const char* const kDcbxModes[tavo::kDcbxModeCount] = {"CEE", "CIN", "Auto-CEE", "Auto-IEEE"};

uint32_t read_view(const tavo::tree::HandlerContext& c, uint32_t path, uint8_t view, tavo::DcbxConfigRecord* r) {
  *r = tavo::DcbxConfigRecord{};
  r->state = view;
  return ioctl_get_dcbx_cfg_params(c.number, r, c.domain, c.port, path);
}

// OperationalMode of the operational PG view: "N/A" while the controller
// runs a channel management type, where PG does not apply, or where the
// port's links are in a mode without DCBX; else whether PG runs.
uint32_t pg_operational_mode(const tavo::tree::HandlerContext& c, TavoNode* group, uint32_t pg_flags) {
  // A view of the PriorityGroups of the port's DCBX group.
  TavoNode* groups = group->parent;
  TavoNode* dcbx = tavo::tree::group_above(groups, "DCBX");
  if (strcasecmp(groups->name, "PriorityGroups") != 0 || dcbx == nullptr || dcbx != groups->parent ||
      tavo::tree::group_above(dcbx, "PortDiscoveryAndConfiguration") != c.port_group)
    return 1;
  uint32_t no_dcbx_mode = 0;
  TAVO_get_operating_value(c.number, c.domain, c.port, group, &no_dcbx_mode);
  char management[TAVO_VALUE_SIZE] = "";
  TavoNode* channels = internal_get_node(c.controller, "ChannelManagement", TAVO_KIND_GROUP);
  if (channels != nullptr && tavo::port::read_management_type(channels, "ConfiguredManagementType", management) != 0)
    return 1;
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
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_context(property, &c)) return 1;
  const uint32_t instance = tavo::controller::controller_instance(c.controller);
  if (op == TAVO_PROPERTY_GET) {
    const uint32_t status = TAVO_get_feature_vars(c.number, c.port, c.domain, property->parent, instance);
    if (status != 0) return status;
    return tavo::port::answer_stored(property, buf);
  }
  const uint32_t status = TAVO_set_feature_vars(c.number, c.port, c.domain, property, buf, instance);
  if (status != 0) return status;
  return handle_internal_property(property, buf, TAVO_PROPERTY_SET);
}

// DCBXMode's code of a name (case ignored); -1 for none.
int dcbx_mode_code(const char* name) {
  for (int i = 0; i < tavo::kDcbxModeCount; ++i)
    if (strcasecmp(name, kDcbxModes[i]) == 0) return i;
  return -1;
}

uint32_t dcbx_mode_read(TavoNode* property, char* buf, const tavo::tree::HandlerContext& c, uint32_t path) {
  tavo::DcbxModeRecord r{};
  if (ioctl_get_dcbx_mode(c.number, &r, c.domain, c.port, path) != 0) {
    tavo::port::port_status(103);
    return 1;
  }
  // A code the table does not name leaves the text as it was.
  if (r.mode < tavo::kDcbxModeCount) set_prop_val(property->parent, property->name, "%s", kDcbxModes[r.mode]);
  return tavo::port::answer_stored(property, buf);
}

uint32_t dcbx_mode_write(TavoNode* property, const char* value, const tavo::tree::HandlerContext& c, uint32_t path) {
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(property->parent, property->name, current) != 0) return 1;
  if (strcasecmp(current, value) == 0) return 0;
  const int code = dcbx_mode_code(value);
  if (code < 0) return tavo::port::invalid_value(property->name);
  tavo::DcbxModeRecord r{};
  r.new_mode = static_cast<uint8_t>(code);
  if (ioctl_set_dcbx_mode(c.number, &r, c.domain, c.port, path) != 0) {
    tavo::port::port_status(104);
    return 1;
  }
  set_prop_val(property->parent, property->name, "%s", kDcbxModes[code]);
  tavo::port::port_status(152);
  return 0;
}

// The port's DCBX state does not apply where the function's capabilities
// say so (every generation but Galtor); a failed read counts as "applies".
bool dcbx_state_not_applicable(const tavo::tree::HandlerContext& c, uint32_t path) {
  if (get_cv_type(c.controller) == tavo::kGenerationGaltor) return false;
  tavo::FirmwareConfig config{};
  return ioctl_get_fw_config(c.number, &config, c.domain, c.port, path) == 0 &&
         (config.capabilities & kFunctionCapsNotApplicable) != 0;
}

uint32_t port_vars_handler(TavoNode* property, char* buf) {
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  const uint32_t status = get_port_vars(c.number, c.port, c.domain, c.port_group);
  if (status != 0) return status;
  return tavo::port::answer_stored(property, buf);
}

}  // namespace

uint32_t TAVO_get_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                               uint32_t controller_instance) {
  if (group == nullptr || group->parent == nullptr) return 1;
  const tavo::tree::HandlerContext given{.number = function, .domain = domain, .port = port};
  tavo::DcbxConfigRecord r;
  const uint32_t status = read_view(given, get_port_bitmap(controller_instance, port),
                                    tavo::port::dcbx_view(group->name, group->parent->name), &r);
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
  // The view's port and controller, with the function, domain and port given.
  tavo::tree::HandlerContext above;
  if (!tavo::port::port_context(group, &above)) return 1;
  above.number = function;
  above.domain = domain;
  above.port = port;
  return pg_operational_mode(above, group, r.pg_flags);
}

uint32_t TAVO_set_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property, const char* value,
                               uint32_t controller_instance) {
  if (property == nullptr || property->parent == nullptr || value == nullptr) return 1;
  const tavo::tree::HandlerContext c{.number = function, .domain = domain, .port = port};
  const uint32_t path = get_port_bitmap(controller_instance, port);
  tavo::DcbxConfigRecord answer;
  uint32_t status = read_view(c, path, tavo::kDcbxAdministrator, &answer);
  if (status != 0) {
    tavo::port::port_status(101);
    return status;
  }
  tavo::DcbxConfigRecord request = tavo::port::dcbx_write_request(answer);
  TavoNode* group = property->parent;
  if (tavo::port::dcbx_apply_setting(property->name, group->name, tavo::tree::instance_number(group), value,
                                     &request) != 0)
    return tavo::port::invalid_value(nullptr);
  status = ioctl_set_dcbx_cfg_params(c.number, &request, c.domain, c.port, path);
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
  const tavo::tree::HandlerContext c{.number = function, .domain = domain, .port = port};
  const uint32_t path = get_port_bitmap(tavo::controller::controller_instance(controller), port);
  tavo::port::PropertyTexts vars, stats;
  uint32_t status = 0;
  if (generation == tavo::kGenerationGaltor) {
    tavo::GaltorDcbxMibRecord r{};
    status = ioctl_galtor_get_dcbx_mib_params(c.number, &r, c.domain, c.port, path);
    if (status == 0) tavo::port::dcbx_mib_texts(r, &vars, &stats);
  } else {
    tavo::DcbxMibRecord r{};
    status = ioctl_get_dcbx_mib_params(c.number, &r, c.domain, c.port, path);
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
    tavo::tree::HandlerContext c;
    if (!tavo::port::port_context(property, &c)) return 1;
    if (get_cv_type(c.controller) != tavo::kGenerationMoravel)
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
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  if (dcbx_state_not_applicable(c, tavo::port::port_path(c)))
    return tavo::controller::not_applicable_here(property, buf, op, tavo::port::kNotOnThisAdapter);
  return feature_handler(property, buf, op, false);
}

uint32_t handle_DCBXMode(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  return op == TAVO_PROPERTY_GET ? dcbx_mode_read(property, buf, c, path) : dcbx_mode_write(property, buf, c, path);
}

uint32_t handle_dcbx_port_vars(TavoNode* property, char* buf, uint32_t) { return port_vars_handler(property, buf); }

uint32_t handle_dcbx_stats_props(TavoNode* property, char* buf, uint32_t) { return port_vars_handler(property, buf); }
