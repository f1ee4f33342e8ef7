// The CIM view of a NIC function (constants of its Ethernet port, and the
// IP endpoint values this host does not have) and the vNIC name, state,
// outer VLAN and bandwidths of NIC and iSCSI functions.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo::nic;
using tavo::controller::store_and_answer;

namespace {

constexpr char kCimCapabilities[] = "LoadBalancing,FailOver,WakeOnLAN";
constexpr char kNoIPv4[] = "0.0.0.0";
constexpr char kNoIPv6[] = "0000:0000:0000:0000";

uint32_t cim_constant(TavoNode* property, char* buf, const char* value) {
  if (property == nullptr || buf == nullptr) return 1;
  return store_and_answer(property, value, buf);
}

// "N/A" into the group's property: nothing on this host tells it.
uint32_t cim_not_available(TavoNode* group, const char* name) {
  return group != nullptr ? set_prop_val(group, name, "N/A") : 1;
}

// Runs fill on the property's group, then answers the stored value.
template <typename Fill>
uint32_t cim_filled(TavoNode* property, char* buf, Fill fill) {
  if (property == nullptr || buf == nullptr || property->parent == nullptr) return 1;
  if (fill(property->parent) != 0) return 1;
  return answer_stored(property, buf);
}

// The endpoint's address of an IP type: the NIC's address when the type
// has that family, else (or when empty) the family's zero address.
uint32_t cim_address(TavoNode* property, char* buf, const char* name, bool ipv6, bool endpoint_name) {
  return cim_filled(property, buf, [&](TavoNode* group) -> uint32_t {
    char type[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(group, "IPProtocolIfType", type) != 0) return 1;
    const bool is_v4 = strcmp(type, "IPv4") == 0, is_v6 = strcmp(type, "IPv6") == 0,
               both = strcmp(type, "IPv4/v6") == 0;
    char address[TAVO_VALUE_SIZE] = "";
    // The endpoint's name follows the type: IPv6 forms for IPv6 and both.
    const bool v6_form = endpoint_name ? (is_v6 || both) : ipv6;
    const bool has = endpoint_name ? (is_v4 || is_v6 || both) : ipv6 ? (is_v6 || both) : (is_v4 || both);
    if (has) TAVO_get_nic_ipaddress(group, address);
    if (address[0] == '\0') snprintf(address, sizeof address, "%s", v6_form ? kNoIPv6 : kNoIPv4);
    return set_prop_val(group, name, "%s", address);
  });
}

// The vNIC group of a property and its function's target.
struct VnicNode {
  TavoNode* vnic;
  HandlerContext target;
};

bool vnic_node(TavoNode* property, VnicNode* out) {
  out->vnic = property != nullptr ? named(property->parent, "vNIC") : nullptr;
  out->target = handler_context(out->vnic);
  return out->vnic != nullptr && out->target;
}

// The statistics of an enabled vNIC, else empty values.
uint32_t vnic_stats_of(const VnicNode& v, bool enabled, uint32_t transport) {
  if (enabled) return get_vnic_stats(v.target.number, v.target.domain, v.target.port, v.vnic, transport);
  for (const char* name : {"OuterVLANID", "MinBandwidth", "MaxBandwidth"}) set_prop_val(v.vnic, name, "%s", "");
  return 0;
}

}  // namespace

uint32_t handle_ProtocolIfType(TavoNode* property, char* buf, uint32_t) {
  return cim_constant(property, buf, "Ethernet CSMA/CD");
}

uint32_t handle_LinkTechnology(TavoNode* property, char* buf, uint32_t) {
  return cim_constant(property, buf, "Ethernet");
}

uint32_t handle_Corvane_NICPhysicalHBA_CIM_Capabilities(TavoNode* property, char* buf, uint32_t) {
  return cim_constant(property, buf, kCimCapabilities);
}

uint32_t handle_EnabledCapabilities(TavoNode* property, char* buf, uint32_t) {
  return cim_constant(property, buf, kCimCapabilities);
}

uint32_t TAVO_get_nic_iftype(TavoNode* group) { return cim_not_available(group, "IPProtocolIfType"); }
uint32_t TAVO_get_nic_subnetmask(TavoNode* group) { return cim_not_available(group, "SubnetMask"); }
uint32_t TAVO_get_nic_gateway(TavoNode* group) { return cim_not_available(group, "Gateway"); }
uint32_t TAVO_get_nic_ipv6gateway(TavoNode* group) { return cim_not_available(group, "IPv6GateWay"); }
uint32_t TAVO_get_address_origin(TavoNode* group) { return cim_not_available(group, "AddressOrigin"); }

uint32_t TAVO_get_nic_ipaddress(TavoNode*, char* text) {
  if (text == nullptr) return 1;
  snprintf(text, TAVO_VALUE_SIZE, "N/A");
  return 0;
}

uint32_t handle_CIM_IPProtocolIfType(TavoNode* property, char* buf, uint32_t) {
  return cim_filled(property, buf, TAVO_get_nic_iftype);
}

uint32_t handle_CIM_IPProtocolEndPointName(TavoNode* property, char* buf, uint32_t) {
  return cim_address(property, buf, "IPProtocolEndPointName", false, true);
}

uint32_t handle_CIM_IPv4Address(TavoNode* property, char* buf, uint32_t) {
  return cim_address(property, buf, "IPv4Address", false, false);
}

uint32_t handle_CIM_IPv6Address(TavoNode* property, char* buf, uint32_t) {
  return cim_address(property, buf, "IPv6Address", true, false);
}

uint32_t handle_NICPhysicalHBA_CIM_SubnetMask(TavoNode* property, char* buf, uint32_t) {
  return cim_filled(property, buf, TAVO_get_nic_subnetmask);
}

uint32_t handle_CIM_GateWay(TavoNode* property, char* buf, uint32_t) {
  return cim_filled(property, buf, TAVO_get_nic_gateway);
}

uint32_t handle_CIM_IPv6GateWay(TavoNode* property, char* buf, uint32_t) {
  return cim_filled(property, buf, TAVO_get_nic_ipv6gateway);
}

uint32_t handle_CIM_AddressOrigin(TavoNode* property, char* buf, uint32_t) {
  return cim_filled(property, buf, [](TavoNode* group) -> uint32_t {
    char text[TAVO_VALUE_SIZE];
    for (const char* name : {"IfName", "IPv4Address", "MACAddress"})
      if (internal_get_property(group, name, text) != 0) return 1;
    return TAVO_get_address_origin(group);
  });
}

uint32_t get_vnic_stats(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                        uint32_t transport) {
  if (vnic == nullptr) return 1;
  tavo::VnicStats stats{};
  if (ioctl_get_vnic_function_stats(function_number, &stats, domain, port_number, transport) != 0) {
    nic_status(185);
    return 1;
  }
  set_prop_val(vnic, "OuterVLANID", "%d", static_cast<int>(stats.outer_vlan));
  set_prop_val(vnic, "MinBandwidth", "%d", static_cast<int>(stats.min_bandwidth));
  set_prop_val(vnic, "MaxBandwidth", "%d", static_cast<int>(stats.max_bandwidth));
  return 0;
}

uint32_t handle_nic_vnic_name_props(TavoNode* property, char* buf, uint32_t) {
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  VnicNode v;
  TavoNode* function = nullptr;
  if (buf == nullptr || !vnic_node(property, &v) || (function = named(v.vnic->parent, "NICPhysicalHBA")) == nullptr)
    return 1;
  const uint32_t generation = get_cv_type(function->parent);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) {
    nic_status(kNotOnThisController);
    return 1;
  }
  if (get_vnic_name(v.target.number, v.target.domain, v.target.port, v.vnic, TAVO_VIA_NIC) != 0) return 1;
  return answer_stored(property, buf);
}

uint32_t handle_iscsi_vnic_name_props(TavoNode* property, char* buf, uint32_t) {
  VnicNode v;
  if (buf == nullptr || !vnic_node(property, &v) ||
      get_vnic_name(v.target.number, v.target.domain, v.target.port, v.vnic, TAVO_VIA_ISCSI) != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_nic_vnic_stats(TavoNode* property, char* buf, uint32_t) {
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  VnicNode v;
  char enabled[TAVO_VALUE_SIZE] = "";
  if (buf == nullptr || !vnic_node(property, &v) || internal_get_property(v.vnic, "vNICEnabled", enabled) != 0 ||
      vnic_stats_of(v, strcasecmp(enabled, "True") == 0, TAVO_VIA_NIC) != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_iscsi_vnic_stats(TavoNode* property, char* buf, uint32_t) {
  VnicNode v;
  char enabled[TAVO_VALUE_SIZE] = "";
  if (buf == nullptr || !vnic_node(property, &v)) return 1;
  // A vNIC whose state cannot be read counts as not enabled.
  const bool on = internal_get_property(v.vnic, "vNICEnabled", enabled) == 0 && strcasecmp(enabled, "True") == 0;
  if (vnic_stats_of(v, on, TAVO_VIA_ISCSI) != 0) return 1;
  return answer_stored(property, buf);
}
