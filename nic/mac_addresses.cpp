// A NIC function's current, factory default, volatile and configured
// function MAC addresses, and the reset of its last configured one.
#include <string.h>
#include <strings.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/network_records.h"
#include "transport/nic_records.h"

using namespace tavo::nic;

namespace {

// The factory MAC of PCI function pf from a type-9 query (transport 1 or 2)
// into mac; false when the query fails or the table has no slot for pf.
bool mac_factory_slot(const HandlerContext& t, uint32_t transport, uint32_t pf, uint8_t mac[6]) {
  tavo::MacQueryRecord q{};
  q.query_type = tavo::kMacQueryFactory;
  if (ioctl_get_mac_query(t.number, &q, t.domain, t.port, transport) != 0) return false;
  // The table holds eight functions: a higher one has no slot to read.
  if (pf >= tavo::kMacQueryFunctions) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:No factory MAC slot for PCI function %u\n", __func__, pf);
    return false;
  }
  memcpy(mac, q.functions[pf].mac, 6);
  return true;
}

// The function's own factory MAC from the MAC list (147/1).
bool mac_factory_listed(const HandlerContext& t, uint32_t transport, uint8_t mac[6]) {
  tavo::MacListRecord r{};
  r.list_type = tavo::kMacListFactory;
  r.one = 1;
  if (ioctl_get_mac_list(t.number, &r, t.domain, t.port, transport) != 0) return false;
  memcpy(mac, r.mac, 6);
  return true;
}

}  // namespace

uint32_t TAVO_get_nic_macaddress(TavoNode* function_group) {
  const HandlerContext t = handler_context(function_group);
  if (!t) return 1;
  tavo::MacQueryRecord q{};
  q.query_type = tavo::kMacQueryCurrent;
  q.own_flag = 1;
  if (ioctl_get_mac_query(t.number, &q, t.domain, t.port, TAVO_VIA_NIC) != 0) {
    nic_status(246);
    return 1;
  }
  char text[18];
  mac_text(q.mac, text);
  return set_prop_val(function_group, "MACAddress", "%s", text);
}

uint32_t TAVO_set_nic_macaddress(void) {
  nic_status(70);
  return 1;
}

uint32_t handle_NICPhysicalHBA_MACAddress(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op == TAVO_PROPERTY_SET) return TAVO_set_nic_macaddress();
  if (op != TAVO_PROPERTY_GET) return 0;
  if (TAVO_get_nic_macaddress(property->parent) != 0) return 1;
  return answer_stored(property, buf);
}

uint32_t handle_NICPhysicalHBA_PermanentMACAddress(TavoNode* property, char* buf, uint32_t op) {
  TavoNode* function = property != nullptr ? property->parent : nullptr;
  if (function == nullptr || buf == nullptr) return 1;
  if (op == TAVO_PROPERTY_GET) {
    if (TAVO_get_last_configured_mac(function, function, buf, TAVO_VIA_NIC) != 0) return 1;
    return answer_stored(property, buf);
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  if (TAVO_set_last_configured_mac(function, function, buf, TAVO_VIA_NIC) != 0) return 1;
  set_prop_val(function, "PermanentMACAddress", "%s", buf);
  nic_status(304);
  return answer_stored(property, buf);
}

uint32_t TAVO_update_fd_mac(uint32_t function_number, TavoNode* function_group, uint32_t protocol) {
  TAVO_LIBRARY_LOCK;
  if (function_group == nullptr || (protocol != TAVO_VIA_ISCSI && protocol != TAVO_VIA_NIC)) return 1;
  const uint32_t generation = get_cv_type(function_group->parent);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  TavoNode* target = function_group;
  if (protocol == TAVO_VIA_ISCSI) {
    TavoNode* network = internal_get_node(function_group, "Network", TAVO_KIND_GROUP);
    target = network != nullptr ? internal_get_node(network, "NICConfiguration", TAVO_KIND_GROUP) : nullptr;
    if (target == nullptr) return 1;
  }
  uint32_t pf = 0;
  if (!tavo::nic::function_number(function_group, &pf)) return 1;
  // The commands go to the function number the caller gives.
  HandlerContext t = handler_context(target);
  t.number = function_number;
  uint8_t mac[6];
  bool read = false;
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3)
    read = mac_factory_slot(t, protocol, pf, mac);
  else if (generation == tavo::kGenerationGaltor || generation == tavo::kGenerationMoravel)
    read = mac_factory_listed(t, protocol, mac);
  else
    return 0;
  if (!read) {
    nic_status(76);
    return 1;
  }
  char text[18];
  mac_text(mac, text);
  return set_prop_val(target, "FactoryDefaultMACAddress", "%s", text);
}

uint32_t do_NICPhysicalHBA_ResetMACAddress(TavoNode* group, TavoNode* action, char*) {
  uint32_t pf = 0;
  const HandlerContext t = handler_context(group);
  if (group == nullptr || action == nullptr || !function_number(group, &pf) || !t) return 1;
  uint8_t mac[6];
  if (!mac_factory_slot(t, TAVO_VIA_NIC, pf, mac)) {
    nic_status(159);
    return 1;
  }
  char text[18];
  mac_text(mac, text);
  if (TAVO_set_last_configured_mac(group, group, text, TAVO_VIA_NIC) != 0) return 1;
  set_prop_val(group, "PermanentMACAddress", "%s", text);
  nic_status(304);
  return 0;
}

uint32_t handle_VolatileMACAddress(TavoNode* property, char* buf, uint32_t op) {
  static constexpr const char* kLevels[] = {"NetworkBootConfiguration", "NICPhysicalHBA", "Corvane"};
  TavoNode* levels[3];
  const HandlerContext t = handler_context(property);
  if (buf == nullptr || !groups_above(property, kLevels, levels) || !t) return 1;
  const bool cv2 = get_cv_type(levels[2]) == tavo::kGenerationCV2;
  if (op == TAVO_PROPERTY_GET) {
    // CV2 keeps no volatile MAC: the stored text is shown.
    if (cv2) return answer_stored(property, buf);
    tavo::OemExecConfig config{};
    if (ioctl_get_oem_exec_cfg(t.number, &config, t.domain, t.port) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_get_oem_exec_cfg failed\n", __func__);
      return 1;
    }
    char text[18];
    mac_text(config.volatile_mac, text);
    const uint32_t stored = set_prop_val(levels[0], "VolatileMACAddress", "%s", text);
    answer_stored(property, buf);
    return stored;
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  if (cv2) {
    nic_status(291);
    return 1;
  }
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  if (strcasecmp(buf, tavo::tree::property_record(property)->value) == 0) return 0;
  tavo::OemExecConfig config{};
  if (validateMACAddress(buf, config.volatile_mac) != 1) {
    nic_status(17);
    return 1;
  }
  config.flags = tavo::kOemVolatileMacValid;
  config.write = tavo::kOemWrite;
  if (ioctl_set_oem_exec_cfg(t.number, &config, t.domain, t.port) != 0) {
    nic_status(328);
    return 1;
  }
  return 0;
}

uint32_t handle_ProfileManagement_ConfiguredProfile_Port_Function_MACAddress(TavoNode* property, char* buf,
                                                                            uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  static constexpr const char* kLevels[] = {"Function", "Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[5];
  if (op != TAVO_PROPERTY_GET) return 0;
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  TavoNode* controller = levels[4];
  // The controller's first function carries the request, with its port.
  const HandlerContext t = handler_context(handler_context(property).function);
  uint32_t pf = 0;
  if (!t) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  long long number = 0;
  if (internal_get_property(levels[0], "FunctionNumber", text) != 0 || !parse_within(text, 0, 0x3FF, &number))
    return 1;
  pf = static_cast<uint32_t>(number);
  tavo::MacListRecord r{};
  r.list_type = tavo::kMacListFactory;
  r.one = 1;
  if (ioctl_get_macaddress_list(t.number, &r, t.domain, t.port, tavo::controller::controller_transport(controller),
                                static_cast<int32_t>(pf)) != 0) {
    nic_status(76);
    return 1;
  }
  char mac[18];
  mac_text(r.mac, mac);
  set_prop_val(levels[0], "MACAddress", "%s", mac);
  return answer_stored(property, buf);
}
