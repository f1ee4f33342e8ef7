// The NICConfiguration group of an iSCSI function: largest MTU and port
// speed, logical link state, running, configured and factory MAC addresses.
#include <stdio.h>
#include <strings.h>

#include "iscsi/network/network_internal.h"
#include "nic/nic.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/mailbox.h"
#include "transport/network_records.h"

using namespace tavo::network;

namespace {

// PortMaxSpeed by the firmware's speed code; a higher code leaves the text.
constexpr const char* kNicSpeedTexts[] = {"Unknown", "less than 1Mb", "less than 1Gb", "1Gb", "10Gb", "20Gb", "40Gb"};

void nic_mac_text(const uint8_t mac[6], char out[18]) {
  snprintf(out, 18, "%02x-%02x-%02x-%02x-%02x-%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

// parent when it is a NICConfiguration group under Network under an
// iSCSIPhysicalHBA (under a Corvane group, when controller is asked).
TavoNode* nic_config_of(TavoNode* parent, bool controller) {
  if (!named_group(parent, "NICConfiguration") || !named_group(parent->parent, "Network")) return nullptr;
  TavoNode* function = parent->parent->parent;
  if (!named_group(function, "iSCSIPhysicalHBA") || (controller && !named_group(function->parent, "Corvane")))
    return nullptr;
  return parent;
}

}  // namespace

uint32_t TAVO_get_iscsi_ntwk_params(uint32_t device_handle, uint8_t domain, uint8_t port_number, TavoNode* nic_config) {
  if (nic_config == nullptr) return 1;
  tavo::NicParamsRecord r{};
  if (ioctl_get_NIC_params(device_handle, &r, sizeof r, domain, port_number) != 0) {
    network_status(93);
    return 1;
  }
  uint32_t result = set_prop_val(nic_config, "MaxMTUSize", "%u", r.max_mtu);
  if (r.max_speed_code < sizeof kNicSpeedTexts / sizeof kNicSpeedTexts[0])
    result |= set_prop_val(nic_config, "PortMaxSpeed", "%s", kNicSpeedTexts[r.max_speed_code]);
  return result;
}

uint32_t TAVO_get_iscsi_ntwk_mac(uint32_t device_handle, uint8_t domain, uint8_t port_number, TavoNode* nic_config,
                                 TavoNode* property) {
  if (nic_config == nullptr || property == nullptr || property->name == nullptr) return 1;
  tavo::MacQueryRecord q{};
  q.query_type = tavo::kMacQueryOwn;
  q.own_flag = 1;
  if (ioctl_get_mac_query(device_handle, &q, domain, port_number, TAVO_VIA_ISCSI) != 0) return 1;
  char text[18];
  nic_mac_text(q.mac, text);
  const bool running = strcasecmp(property->name, "MACAddress") == 0;
  return set_prop_val(nic_config, running ? "MACAddress" : "PermanentMACAddress", "%s", text);
}

uint32_t handle_NICprop(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  const HandlerContext t = handler_context(property);
  if (property == nullptr || !t || TAVO_get_iscsi_ntwk_params(t.number, t.domain, t.port, property->parent) != 0)
    return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t handle_logical_link_status(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* nic = property != nullptr ? nic_config_of(property->parent, true) : nullptr;
  const HandlerContext t = handler_context(nic);
  if (nic == nullptr || !t || get_logical_link_status(t.number, t.domain, t.port, nic, TAVO_VIA_ISCSI) != 0) return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t handle_iSCSIPhysicalHBA_Network_NICConfiguration_MACAddress(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  const HandlerContext t = handler_context(property);
  if (property == nullptr || !t || TAVO_get_iscsi_ntwk_mac(t.number, t.domain, t.port, property->parent, property) != 0)
    return 1;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t handle_iSCSIPhysicalHBA_Network_NICConfiguration_PermanentMACAddress(TavoNode* property, char* buf,
                                                                              uint32_t op) {
  TavoNode* nic = property != nullptr ? nic_config_of(property->parent, false) : nullptr;
  if (nic == nullptr || buf == nullptr) return 1;
  TavoNode* function = handler_context(nic).function;
  if (op == TAVO_PROPERTY_GET) {
    if (TAVO_get_last_configured_mac(function, nic, buf, TAVO_VIA_ISCSI) != 0) return 1;
    return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  if (TAVO_set_last_configured_mac(function, nic, buf, TAVO_VIA_ISCSI) != 0) return 1;
  network_status(304);
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t do_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress(TavoNode* nic_config, TavoNode* action, char*) {
  if (nic_config == nullptr || action == nullptr) return 1;
  TavoNode* nic = nic_config_of(action->parent, false);
  if (nic == nullptr) return 1;
  TavoNode* function = handler_context(nic).function;
  TavoNode* pci = internal_get_node(function, "PCI", TAVO_KIND_GROUP);
  if (pci == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get pci node\n", __func__);
    return 1;
  }
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(pci, "FunctionNumber", text) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get function number\n", __func__);
    return 1;
  }
  // The factory query holds eight functions; FunctionNumber reads "0x%x".
  int32_t pf = 0;
  if (!parse_integer(text, 0, tavo::kMacQueryFunctions - 1, &pf)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: pf_num is invalid\n", __func__);
    return 1;
  }
  const HandlerContext t = handler_context(nic);
  if (!t) return 1;
  tavo::MacQueryRecord q{};
  q.query_type = tavo::kMacQueryFactory;
  if (ioctl_get_mac_query(t.number, &q, t.domain, t.port, TAVO_VIA_ISCSI) != 0) {
    network_status(159);
    return 1;
  }
  char mac[18];
  nic_mac_text(q.functions[pf].mac, mac);
  if (TAVO_set_last_configured_mac(function, nic, mac, TAVO_VIA_ISCSI) != 0) return 1;
  set_prop_val(nic, "PermanentMACAddress", "%s", mac);
  network_status(304);
  return 0;
}

uint32_t do_RefreshNICConfig(TavoNode* nic_config, TavoNode* action, char*) {
  if (nic_config == nullptr || action == nullptr) return 1;
  TavoNode* permanent = internal_get_node(nic_config, "PermanentMACAddress", TAVO_KIND_PROPERTY);
  const HandlerContext t = handler_context(nic_config);
  if (permanent == nullptr || !t) return 1;
  const uint32_t params = TAVO_get_iscsi_ntwk_params(t.number, t.domain, t.port, nic_config);
  return params | TAVO_get_iscsi_ntwk_mac(t.number, t.domain, t.port, nic_config, permanent);
}

