// The SR-IOV virtual functions of a NIC function: read from the NIC
// driver's VF table, changed through the host's "ip link set ... vf".
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "base/library_lock.h"
#include "base/shell_args.h"
#include "base/validate.h"
#include "nic/nic_internal.h"
#include "platform/host.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/nic_records.h"

using namespace tavo::nic;

namespace {

using VfAnswer = uint8_t[sizeof tavo::NicCharInfo::answer];

// What a NICLogicalHBA property's handler works on: its group, the VF
// number (the instance number) and the physical function above.
struct VfNode {
  TavoNode* group;
  TavoNode* function;
  uint32_t vf;
  uint32_t device;
};

bool vf_node(TavoNode* property, VfNode* out) {
  out->group = property != nullptr ? named(property->parent, "NICLogicalHBA") : nullptr;
  out->function = out->group != nullptr ? named(out->group->parent, "NICPhysicalHBA") : nullptr;
  const int32_t vf = tavo::tree::instance_number(out->group);
  const HandlerContext c = handler_context(out->function);
  if (out->function == nullptr || vf < 0 || !c) return false;
  out->vf = static_cast<uint32_t>(vf);
  out->device = c.number;
  return true;
}

// Reads one field of the VF's entry into the property's stored text
// (empty_text when the field reads empty) and answers it.
uint32_t vf_read(TavoNode* property, const VfNode& v, char* buf, const char* empty_text) {
  char text[TAVO_VALUE_SIZE] = "";
  if (TAVO_get_vf_params(v.device, v.vf, text, property->name) != 0) return 1;
  set_prop_val(v.group, property->name, "%s", text[0] != '\0' ? text : empty_text);
  return answer_stored(property, buf);
}

// The physical function's interface name, read through its handler, fit
// for a command line; false (logged, or with a status) otherwise.
bool vf_interface(const VfNode& v, char name[TAVO_VALUE_SIZE]) {
  if (internal_get_property(v.function, "IfName", name) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the interface name\n", __func__);
    return false;
  }
  if (tavo::base::valid_shell_name(name)) return true;
  tavo::nic::kUnsafeInterfaceName.set();
  return false;
}

// Runs "ip link set <interface> vf <n> <settings>"; 0, or 1 with a status
// when ip refuses.
uint32_t vf_run(const VfNode& v, const char* interface_name, const std::string& settings) {
  const std::string command = "ip link set " + tavo::base::shell_quote(interface_name) + " vf " +
                              std::to_string(v.vf) + " " + settings;
  pdebug(TAVO_LOG_BACKEND, 6, "cmd = %s\n", command.c_str());
  std::string output;
  const int status = tavo::platform::host().shell_output(command, &output);
  if (status == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: \"%s\" answered %d: %s\n", __func__, command.c_str(), status, output.c_str());
  tavo::nic::kVfCommandFailed.set(command.c_str(), status < 0 ? status : status >> 8);
  return 1;
}

uint32_t vf_invalid() {
  nic_status(17);
  return 1;
}

// A read of the VF's field (empty_text for an empty one), or a write: the
// interface name first, then the settings that make builds from the
// client's text (0, or 1 with a status) run through ip.
template <typename Make>
uint32_t vf_handle(TavoNode* property, char* buf, uint32_t op, const char* empty_text, Make make) {
  VfNode v;
  if (buf == nullptr || !vf_node(property, &v)) return 1;
  if (op == TAVO_PROPERTY_GET) return vf_read(property, v, buf, empty_text);
  if (op != TAVO_PROPERTY_SET) return 0;
  char interface_name[TAVO_VALUE_SIZE] = "";
  if (!vf_interface(v, interface_name)) return 1;
  std::string settings;
  const uint32_t made = make(v, buf, &settings);
  return made != 0 ? made : vf_run(v, interface_name, settings);
}

}  // namespace

uint32_t TAVO_Get_VF_Info(uint32_t function_number, uint32_t* vf_count, uint32_t create, TavoNode* parent) {
  TAVO_LIBRARY_LOCK;
  VfAnswer answer = {};
  uint32_t count = 0;
  if (ioctl_get_virt_f_info(function_number, answer, &count) != 0) return 1;
  if (vf_count != nullptr) *vf_count = count;
  if (create != 1) return 0;
  for (uint32_t i = 0; i < count; ++i)
    if (initialize_NICLogicalHBA(parent, nullptr, nullptr, nullptr) == nullptr)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize NICLogicalHBA %u\n", __func__, i);
  return 0;
}

uint32_t TAVO_get_nic_logicalhba(TavoNode* function_group, uint32_t function_number, uint32_t* vf_count,
                                 uint32_t create) {
  TAVO_Get_VF_Info(function_number, vf_count, create, function_group);
  return 0;
}

uint32_t TAVO_get_vf_params(uint32_t function_number, uint32_t vf, char* out, const char* name) {
  if (out == nullptr || name == nullptr) return 1;
  // The table holds 60 entries after its head; there is no entry beyond.
  if (vf >= static_cast<uint32_t>(tavo::kMaxNicVfEntries)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:VF %u lies past the table\n", __func__, vf);
    return 1;
  }
  VfAnswer answer = {};
  uint32_t count = 0;
  if (ioctl_get_virt_f_info(function_number, answer, &count) != 0) return 1;
  tavo::VfTableEntry e;
  memcpy(&e, answer + tavo::kVfTableHead + tavo::kNicVfEntrySize * vf, sizeof e);
  if (strcasecmp(name, "TxRate") == 0) {
    snprintf(out, TAVO_VALUE_SIZE, "%d", e.qos * 10);
  } else if (strcasecmp(name, "VLANID") == 0) {
    snprintf(out, TAVO_VALUE_SIZE, "%d", e.vlan_id);
  } else if (strcasecmp(name, "MACAddress") == 0) {
    char text[18];
    mac_colon_text(e.mac, text);
    snprintf(out, TAVO_VALUE_SIZE, "%s", text);
  } else if (strcasecmp(name, "LinkStatus") == 0) {
    snprintf(out, TAVO_VALUE_SIZE, "%d", e.link);
  }
  return 0;
}

uint32_t handle_niclogicalhba_macaddress(TavoNode* property, char* buf, uint32_t op) {
  return vf_handle(property, buf, op, "", [](const VfNode&, const char* value, std::string* settings) -> uint32_t {
    uint8_t mac[6];
    if (validateMACAddress(value, mac) != 1) return vf_invalid();
    char text[18];
    mac_colon_text(mac, text);
    *settings = std::string("mac ") + text + " ";
    return 0;
  });
}

uint32_t handle_niclogicalhba_vlanid(TavoNode* property, char* buf, uint32_t op) {
  return vf_handle(property, buf, op, "0", [](const VfNode&, const char* value, std::string* settings) -> uint32_t {
    long long vlan = 0;
    if (!parse_within(value, 0, 4094, &vlan)) return vf_invalid();
    *settings = "vlan " + std::to_string(vlan);
    return 0;
  });
}

uint32_t handle_LinkStatus(TavoNode* property, char* buf, uint32_t op) {
  VfNode v;
  if (buf == nullptr || !vf_node(property, &v)) return 1;
  if (op != TAVO_PROPERTY_GET) return 0;
  char text[TAVO_VALUE_SIZE] = "";
  long long link = 0;
  if (TAVO_get_vf_params(v.device, v.vf, text, "LinkStatus") != 0) return 1;
  parse_within(text, 0, 255, &link);
  set_prop_val(v.group, "LinkStatus", "%s", (link & 0xFF) != 0 ? "Up" : "Down");
  return answer_stored(property, buf);
}

uint32_t handle_niclogicalhba_txrate(TavoNode* property, char* buf, uint32_t op) {
  return vf_handle(property, buf, op, "", [](const VfNode& v, const char* value, std::string* settings) -> uint32_t {
    long long rate = 0;
    if (!parse_within(value, 1, 10000, &rate)) return vf_invalid();
    // The VF's VLAN as the driver has it now.
    char vlan_text[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(v.group, "VLANID", vlan_text) != 0) return 1;
    long long vlan = 0;
    if (strcmp(vlan_text, "N/A") != 0 && !parse_within(vlan_text, 0, 4094, &vlan)) return vf_invalid();
    *settings = "vlan " + std::to_string(vlan) + " rate " + std::to_string(rate);
    return 0;
  });
}
