// NC-SI configuration: the support and handshake of the NCSI group and, on
// CV2, its static (manufacturing) and dynamic (user) configuration
// instances, read with mailbox 86/1 and written with 87/1.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "tree/declare.h"

using tavo::NcsiConfigBlock;

namespace {

using namespace tavo::declare;

constexpr char kStaticName[] = "NCSIStaticConfiguration";
constexpr char kDynamicName[] = "NCSIDynamicConfiguration";
constexpr char kNoMac[] = "00:00:00:00:00:00";

constexpr char kPortSwapHelp[] =
    "Indicates the state of the PortSwap feature of the Tessmark controller. This value is displayed for diagnostic "
    "purposes.";
constexpr char kWol0Help[] = "This property indicates if wake on LAN is enabled for Port 0 of the Tessmark controller.";
constexpr char kMac0Help[] =
    "This property displays the MAC address used as magic packet by Tessmark port 0 for wake on LAN.";
constexpr char kWol1Help[] = "This property indicates if wake on LAN is enabled for Port 1 of the Tessmark controller.";
constexpr char kMac1Help[] =
    "This property displays the MAC address used as magic packet by Tessmark port 1 for wake on LAN.";
constexpr char kVlanHelp[] = "This property displays the VLAN ID used by the NC-SI protocol.";

// The static instance and the dynamic one show the same five properties
// (help texts above), read-only and writable.
const ChildDef ncsi_static_children[] = {
    property("PortSwap", RO, LIST, "Yes,No", 2, 3, "No", handle_ncsi_static_configuration, kPortSwapHelp),
    property("EnableWOLPort0", RO, LIST, "Yes,No", 2, 3, "No", handle_ncsi_static_configuration, kWol0Help),
    property("Port0MAC", RO, TEXT, "", 17, 17, kNoMac, handle_ncsi_static_configuration, kMac0Help),
    property("EnableWOLPort1", RO, LIST, "Yes,No", 2, 3, "No", handle_ncsi_static_configuration, kWol1Help),
    property("Port1MAC", RO, TEXT, "", 17, 17, kNoMac, handle_ncsi_static_configuration, kMac1Help),
    property("MgmtVLANId", RO, INT, "", 0, 4095, "0", handle_ncsi_static_configuration, kVlanHelp),
};
const ChildDef ncsi_dynamic_children[] = {
    property("EnableWOLPort0", RW, LIST, "Yes,No", 2, 3, "No", handle_ncsi_dynamic_configuration, kWol0Help),
    property("Port0MAC", RW, TEXT, "", 17, 17, kNoMac, handle_ncsi_dynamic_configuration, kMac0Help),
    property("EnableWOLPort1", RW, LIST, "Yes,No", 2, 3, "No", handle_ncsi_dynamic_configuration, kWol1Help),
    property("Port1MAC", RW, TEXT, "", 17, 17, kNoMac, handle_ncsi_dynamic_configuration, kMac1Help),
    property("MgmtVLANId", RW, INT, "", 0, 4095, "0", handle_ncsi_dynamic_configuration, kVlanHelp),
};

SlotArea ncsi_static_slots;
SlotArea ncsi_dynamic_slots;

const GroupDef ncsi_static = instanced(kStaticName, 1, &ncsi_static_slots, ncsi_static_children,
                                       "The data shown here is read-only and updated once, during manufacturing and "
                                       "applicable for an out-of-box configuration.");
const GroupDef ncsi_dynamic = instanced(kDynamicName, 1, &ncsi_dynamic_slots, ncsi_dynamic_children,
                                        "The out-of-box configuration data in the NCSIStatiConfiguration group may be "
                                        "overridden with the following user-settable data.");

// A flag byte as "Yes" (1) or "No" (0); other values leave the property.
bool ncsi_store_flag(TavoNode* group, const char* name, uint8_t flag) {
  if (flag > 1) return true;
  return set_prop_val(group, name, "%s", flag == 1 ? "Yes" : "No") == 0;
}

bool ncsi_store_mac(TavoNode* group, const char* name, const uint8_t* m) {
  return set_prop_val(group, name, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]) == 0;
}

bool ncsi_fill(TavoNode* instance, const NcsiConfigBlock& block, bool with_port_swap) {
  bool ok = !with_port_swap || ncsi_store_flag(instance, "PortSwap", block.port_swap);
  ok &= ncsi_store_flag(instance, "EnableWOLPort0", block.port0_wol);
  ok &= ncsi_store_mac(instance, "Port0MAC", block.port0_mac);
  ok &= ncsi_store_flag(instance, "EnableWOLPort1", block.port1_wol);
  ok &= ncsi_store_mac(instance, "Port1MAC", block.port1_mac);
  const uint16_t vlan = block.mgmt_vlan;
  ok &= set_prop_val(instance, "MgmtVLANId", "%d", vlan) == 0;
  return ok;
}

// The CV2 instances under the NCSI group, built when asked and missing.
bool ncsi_instances(TavoNode* ncsi, bool create, TavoNode** static_instance, TavoNode** dynamic_instance) {
  *static_instance = get_first_instance(ncsi, kStaticName);
  *dynamic_instance = get_first_instance(ncsi, kDynamicName);
  if (create && *static_instance == nullptr)
    *static_instance = initialize_NCSIStaticConfiguration(ncsi, nullptr, nullptr, nullptr);
  if (create && *dynamic_instance == nullptr)
    *dynamic_instance = initialize_NCSIDynamicConfiguration(ncsi, nullptr, nullptr, nullptr);
  return *static_instance != nullptr && *dynamic_instance != nullptr;
}

// The mailbox address of an NCSI group's controller; false without one.
struct NcsiTarget {
  uint32_t port = 0;
  uint8_t domain = 0;
  uint8_t phba_port = 0;
  uint32_t instance = 0;
};
bool ncsi_target(TavoNode* ncsi, NcsiTarget* t) {
  TavoNode* controller = ncsi != nullptr ? ncsi->parent : nullptr;
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) return false;
  t->port = fn.number;
  t->domain = fn.domain;
  t->phba_port = fn.port;
  t->instance = tavo::controller::controller_instance(controller);
  return true;
}

uint32_t ncsi_invalid_value() {
  tavo::controller::controller_status(17);
  return 1;
}

// The flag byte of EnableWOLPort<n>: "Yes" sets bit 0, "No" clears it whole.
bool ncsi_parse_flag(const char* value, uint8_t* flag) {
  if (strcasecmp(value, "Yes") == 0) {
    *flag |= 1;
    return true;
  }
  if (strcasecmp(value, "No") != 0) return false;
  *flag = 0;
  return true;
}

}  // namespace

TAVO_GROUP_BUILDER(NCSIStaticConfiguration, ncsi_static, "Corvane/NCSI");

TAVO_GROUP_BUILDER(NCSIDynamicConfiguration, ncsi_dynamic, "Corvane/NCSI");

// The port, PHBA port and domain arguments are not used: the controller's
// target function decides.
uint32_t TAVO_get_ncsi_attributes(int32_t, int32_t, TavoNode* ncsi, TavoNode* name_node, uint32_t, uint32_t create) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  NcsiTarget target;
  if (name_node == nullptr || ncsi == nullptr || ncsi->parent == nullptr || !ncsi_target(ncsi, &target)) return 1;
  const uint32_t generation = get_cv_type(ncsi->parent);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  bool ok = true;
  if (generation == tavo::kGenerationGaltor) {
    ok &= set_prop_val(ncsi, "NCSISupport", "%s", "Not Supported") == 0;
    ok &= set_prop_val(ncsi, "NCSICVHandShake", "%s", "N/A") == 0;
    return ok ? 0 : 1;
  }
  tavo::NcsiAttributes a{};
  const uint32_t status =
      ioctl_get_ncsi_attributes(target.port, &a, target.domain, target.phba_port, target.instance);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_ncsi_attributes failed with status %d\n", __func__,
           static_cast<int>(status));
    return status;
  }
  const bool supported = a.state == tavo::kNcsiSupported;
  ok &= set_prop_val(ncsi, "NCSISupport", "%s", supported ? "Supported" : "Not Supported") == 0;
  if (!supported || generation != tavo::kGenerationCV2) {
    ok &= set_prop_val(ncsi, "NCSICVHandShake", "%s", "N/A") == 0;
    return ok ? 0 : 1;
  }
  TavoNode *static_instance = nullptr, *dynamic_instance = nullptr;
  if (!ncsi_instances(ncsi, create != 0, &static_instance, &dynamic_instance)) return 1;
  if (a.handshake <= 1) ok &= set_prop_val(ncsi, "NCSICVHandShake", "%s", a.handshake == 0 ? "Success" : "Error") == 0;
  if (strcasecmp(name_node->name, kStaticName) == 0) ok &= ncsi_fill(static_instance, a.static_block, true);
  if (strcasecmp(name_node->name, kDynamicName) == 0) ok &= ncsi_fill(dynamic_instance, a.dynamic_block, false);
  return ok ? 0 : 1;
}

// Read-modify-write of the dynamic block: every byte but the named field
// goes back as the firmware gave it.
uint32_t set_ncsi_attributes(int32_t, int32_t, const char* property_name, TavoNode* ncsi, uint32_t,
                             const char* value) {
  NcsiTarget target;
  if (property_name == nullptr || value == nullptr || !ncsi_target(ncsi, &target)) return 1;
  tavo::NcsiAttributes a{};
  uint32_t status = ioctl_get_ncsi_attributes(target.port, &a, target.domain, target.phba_port, target.instance);
  if (status != 0) return status;
  NcsiConfigBlock block = a.dynamic_block;
  if (strcasecmp(property_name, "EnableWOLPort0") == 0) {
    if (!ncsi_parse_flag(value, &block.port0_wol)) return ncsi_invalid_value();
  } else if (strcasecmp(property_name, "EnableWOLPort1") == 0) {
    if (!ncsi_parse_flag(value, &block.port1_wol)) return ncsi_invalid_value();
  } else if (strcasecmp(property_name, "Port0MAC") == 0) {
    if (validateMACAddress(value, block.port0_mac) != 1) return ncsi_invalid_value();
  } else if (strcasecmp(property_name, "Port1MAC") == 0) {
    if (validateMACAddress(value, block.port1_mac) != 1) return ncsi_invalid_value();
  } else if (strcasecmp(property_name, "MgmtVLANId") == 0) {
    // Read in the base the tree validated it in: "0x10" is VLAN 16.
    long long vlan = 0;
    if (tavo::base::parse_number(value, &vlan) != 0 || vlan < 0 || vlan > 4095) return ncsi_invalid_value();
    block.mgmt_vlan = static_cast<uint16_t>(vlan);
  } else {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s is no NC-SI dynamic property\n", __func__, property_name);
    return 1;
  }
  status = ioctl_set_ncsi_attributes(target.port, &block, target.domain, target.phba_port, target.instance);
  if (status != 0) tavo::controller::controller_status(219);
  return status;
}

uint32_t handle_ncsi_static_configuration(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr || property->parent == nullptr) return 1;
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  TavoNode* group = property->parent;
  TavoNode* ncsi = strcasecmp(group->name, kStaticName) == 0 ? group->parent : group;
  const uint32_t result = TAVO_get_ncsi_attributes(0, 0, ncsi, group, 0, 0);
  if (result != 0) return result;
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t handle_ncsi_dynamic_configuration(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr || property->record == nullptr || property->parent == nullptr) return 1;
  TavoNode* instance = property->parent;
  TavoNode* ncsi = instance->parent;
  if (op == TAVO_PROPERTY_GET) {
    if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
    const uint32_t result = TAVO_get_ncsi_attributes(0, 0, ncsi, instance, 0, 0);
    if (result != 0) return result;
    return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  // The support start-up or the last read recorded, not asked again.
  TavoNode* support = internal_get_node(ncsi, "NCSISupport", TAVO_KIND_PROPERTY);
  if (support == nullptr || support->record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get NCSISupport.\n", __func__);
    return 1;
  }
  if (strcasecmp(tavo::tree::property_record(support)->value, "Supported") != 0) {
    tavo::controller::controller_status(145);
    return 1;
  }
  const uint32_t result = set_ncsi_attributes(0, 0, property->name, ncsi, 0, buf);
  if (result != 0) return result;
  TavoPropertyRecord* rec = tavo::tree::property_record(property);
  snprintf(rec->value, sizeof rec->value, "%s", buf);
  return 0;
}
