// The port branch at start-up: one PortDiscoveryAndConfiguration instance
// per port a function serves, tied to that function, with what cannot be
// read on demand; the controller's loopback support; the one place an
// ApplicationTLV instance is made for a firmware slot. The NIC branch,
// which owns the channels, runs it port by port.
#include <stdio.h>
#include <string.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace {

constexpr char kDiscoveryName[] = "TAVO_get_port_discovery_config";

// Eight PG instances in each priority-group view; failures are ignored.
void startup_priority_groups(TavoNode* dcbx) {
  TavoNode* groups = internal_get_node(dcbx, "PriorityGroups", TAVO_KIND_GROUP);
  if (groups == nullptr) return;
  using Builder = TavoNode* (*)(TavoNode*, TavoNode*, TavoNode*, char*);
  static const struct {
    const char* view;
    Builder builder;
  } kViews[] = {{"AdministratorPGSetting", initialize_AdministratorPGSetting_PG},
                {"OperationalPGSettings", initialize_OperationalPGSettings_PG},
                {"PeerPGSetting", initialize_PeerPGSetting_PG}};
  for (const auto& v : kViews) {
    TavoNode* view = internal_get_node(groups, v.view, TAVO_KIND_GROUP);
    if (view == nullptr) continue;
    for (int i = 0; i < tavo::kDcbxPriorities; ++i) v.builder(view, nullptr, nullptr, nullptr);
  }
}

struct TlvView {
  const char* group;
  const char* shown;  // in the log line of a failed read
  uint8_t selector;
};
constexpr TlvView kTlvViews[] = {
    {"AdministratorTLVSetting", "Administrator", tavo::kDcbxAdministrator},
    {"OperationalTLVSettings", "Operational", tavo::kDcbxOperational},
    {"PeerTLVSetting", "Peer", tavo::kDcbxPeer},
};

// The ApplicationTLV instances of the three views; false when a read or
// the Administrator's action failed (the rest of the port is skipped).
bool startup_application_tlvs(const tavo::tree::HandlerContext& c, uint32_t path, TavoNode* tlv_groups) {
  for (const TlvView& v : kTlvViews) {
    TavoNode* view = internal_get_node(tlv_groups, v.group, TAVO_KIND_GROUP);
    if (view == nullptr) continue;
    tavo::DcbxConfigRecord r{};
    r.state = v.selector;
    if (ioctl_get_dcbx_cfg_params(c.number, &r, c.domain, c.port, path) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Get DCBX CFG params failed for %s TLV.\n", kDiscoveryName, v.shown);
      return false;
    }
    TavoNode* add = nullptr;
    if (v.selector == tavo::kDcbxAdministrator) {
      add = internal_get_node(view, "AddApplicationTLV", TAVO_KIND_ACTION);
      if (add == nullptr || add->parent != view) return false;
    }
    for (int32_t slot = 0; slot < tavo::kDcbxApplicationSlots; ++slot)
      if (r.applications[slot].in_use == 1)
        tavo::port::application_tlv_instance(view, slot, r.applications[slot], add, nullptr);
  }
  return true;
}


}  // namespace

TavoNodeHandle* tavo::port::startup_port_function(TavoNode* controller, int j) {
  char port_text[8];
  snprintf(port_text, sizeof port_text, "%d", j);
  TavoNode* fn = get_valid_phba(controller, port_text);
  auto* handle = fn != nullptr ? static_cast<TavoNodeHandle*>(tavo::tree::group_record(fn)->nhandle) : nullptr;
  if (handle == nullptr) return nullptr;
  const uint32_t instance = tavo::controller::controller_instance(controller);
  pdebug(TAVO_LOG_BACKEND, 6, "%s:j = %d phba = %s%d bitmap = %d\n", kDiscoveryName, j, fn->name,
         tavo::tree::instance_number(fn), instance < TAVO_MAX_CONTROLLERS ? tavo_glob.port_bitmap[instance][j] : 0);
  return handle;
}

TavoNode* tavo::port::startup_port(TavoNode* port, TavoNodeHandle* handle, uint32_t generation, int j) {
  set_prop_val(port, "PortNumber", "%d", j);
  TAVO_update_interfacetype(handle->function_number, port);
  TAVO_update_speed_props(handle->function_number, port);
  TAVO_update_is_clear_counter(handle->function_number, port);
  // Shared with the function's group, which owns and frees it.
  tavo::tree::group_record(port)->nhandle = handle;
  TavoNode* dcbx = internal_get_node(port, "DCBX", TAVO_KIND_GROUP);
  if (dcbx == nullptr) return nullptr;
  startup_priority_groups(dcbx);
  tavo::tree::HandlerContext c;
  TavoNode* tlv_groups = internal_get_node(dcbx, "ApplicationTLVGroups", TAVO_KIND_GROUP);
  if (tlv_groups != nullptr &&
      (!tavo::port::port_context(port, &c) || !startup_application_tlvs(c, tavo::port::port_path(c), tlv_groups)))
    return nullptr;
  return generation == tavo::kGenerationCV3 || generation == tavo::kGenerationMoravel ? port : nullptr;
}

uint32_t TAVO_update_is_clear_counter(uint32_t device, TavoNode* port) {
  TavoNode* baset = internal_get_node(port, "BaseT10G", TAVO_KIND_GROUP);
  tavo::tree::HandlerContext c;
  if (baset == nullptr || baset->parent != port || !tavo::port::port_context(port, &c) || c.port_group != port)
    return 1;
  if (get_cv_type(c.controller) != tavo::kGenerationMoravel) {
    set_prop_val(baset, "IsClearCountersSupported", "N/A");
    return 0;
  }
  uint8_t request[tavo::kBaseTStatsV1Size] = {};
  const uint32_t port_number = c.port;
  memcpy(request, &port_number, sizeof port_number);
  const uint32_t status = ioctl_get_baseT_stats_v1(device, request, c.domain, c.port, tavo::port::port_path(c));
  pdebug(TAVO_LOG_BACKEND, 5, "%s:status of ioctl_get_baseT_stats = %d\n", __func__, static_cast<int>(status));
  return set_prop_val(baset, "IsClearCountersSupported", "%s", status == 0 ? "True" : "False");
}

uint32_t TAVO_update_diagnostics_prop(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* diagnostics = internal_get_node(controller, "Diagnostics", TAVO_KIND_GROUP);
  tavo::tree::HandlerContext c;
  if (diagnostics == nullptr ||
      !tavo::port::port_context(get_first_instance(controller, "PortDiscoveryAndConfiguration"), &c))
    return 1;
  tavo::LoopbackModeRequest r{};
  r.port_or_mode = c.port;
  pdebug(TAVO_LOG_BACKEND, 5, "%s:getloopbackmodeparams.request.port_num = %d\n", __func__, c.port);
  const uint32_t status = ioctl_get_loopbackmode(c.number, &r, c.domain, c.port, tavo::port::port_path(c));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Get Loopback IOCTL failed with status %d\n", __func__, static_cast<int>(status));
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "%s:getloopbackmodeparams.response.loopback_mode %d\n", __func__, r.port_or_mode);
  set_prop_val(diagnostics, "IsLoopbackSupported", "%s",
               r.port_or_mode == tavo::kLoopbackNotSupported ? "False" : "True");
  return 0;
}



namespace tavo::port {

TavoNode* application_tlv_instance(TavoNode* view, int32_t slot, const DcbxApplicationTlvEntry& e,
                                   TavoNode* creating_action, char* params) {
  const uint8_t bitmap = priority_bitmap(e.priority_enable);
  char texts[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  if (creating_action != nullptr && params == nullptr) {
    // The AddApplicationTLV call that would make this slot again.
    snprintf(texts[0], TAVO_VALUE_SIZE, "%d", e.protocol_selector);
    snprintf(texts[1], TAVO_VALUE_SIZE, "%d", e.protocol_id);
    snprintf(texts[2], TAVO_VALUE_SIZE, "%d", bitmap);
    snprintf(texts[3], TAVO_VALUE_SIZE, "%d", static_cast<int>(e.oui));
    params = &texts[0][0];
  }
  TavoNode* tlv = creating_action != nullptr
                      ? build_application_tlv_in_slot(view, slot, view, creating_action, params)
                      : build_application_tlv_in_slot(view, slot, nullptr, nullptr, nullptr);
  if (tlv == nullptr) return nullptr;
  set_prop_val(tlv, "ProtocolSelector", "%d", e.protocol_selector);
  set_prop_val(tlv, "ProtocolID", "0x%02x", e.protocol_id);
  set_prop_val(tlv, "OUI", "0x%02x", static_cast<unsigned>(e.oui));
  set_prop_val(tlv, "PriorityBitMap", "0x%02x", bitmap);
  return tlv;
}

}  // namespace tavo::port
