// A NIC function's own values: its refresh, the interface names of all,
// MTU, logical link, RoCE state, QoS cap and switch type.
#include <stdlib.h>
#include <string.h>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo::nic;
using tavo::tree::next_instance;

namespace {

constexpr size_t kNicMtuAnswerOffset = tavo::kNicMtuOffset - offsetof(tavo::NicCharInfo, answer);

// PCI function text read as hexadecimal ("0x2" or "2"); false when it is
// none.
bool nic_function_hex(const char* text, unsigned long* out) {
  char* end = nullptr;
  *out = strtoul(text, &end, 16);
  return end != text && *end == '\0' && text[0] != '-';
}

// Whether the profile reply holds a RoCE descriptor of that PF.
bool nic_has_roce(const tavo::ProfileConfigBuffer& reply, unsigned long pf) {
  bool found = false;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&reply), sizeof reply,
                                 [&](const uint8_t* d, size_t) {
                                   tavo::ProfileResourceDescriptor head;
                                   memcpy(&head, d, sizeof head);
                                   found = head.type == tavo::kProfileRoce && tavo::pf_number_of(head.pf) == pf;
                                   return !found;
                                 });
  return found;
}

}  // namespace

uint32_t group_NICPhysicalHBA(TavoNode* function_group) {
  TAVO_LIBRARY_LOCK;
  if (function_group == nullptr) return 1;
  purge_nodes_within(function_group, "NICLogicalHBA");
  const uint32_t n = handler_context(function_group).number;
  uint32_t ignored = 0;
  uint32_t* count = n >= 1 && n <= TAVO_MAX_FUNCTIONS ? &tavo_glob.vf_counts[n - 1] : &ignored;
  if (n >= 1) TAVO_Get_VF_Info(n, count, 1, function_group);
  return 0;
}

uint32_t update_nic_ifname(void) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c))
    for (TavoNode* fn = get_first_instance(c, "NICPhysicalHBA"); fn != nullptr; fn = next_instance(fn)) {
      const uint32_t n = handler_context(fn).number;
      if (n >= 1) TAVO_update_nic_ifname(fn, n);
    }
  return 0;
}

uint32_t TAVO_get_nic_mtusize(TavoNode* node, uint32_t function_number) {
  uint8_t answer[sizeof tavo::NicCharInfo::answer] = {};
  if (node == nullptr || ioctl_get_mtu(function_number, answer) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the MTU\n", __func__);
    return 1;
  }
  uint16_t mtu = 0;
  memcpy(&mtu, answer + kNicMtuAnswerOffset, sizeof mtu);
  return set_prop_val(node, "MTUSize", "%d", mtu);
}

uint32_t handle_nic_MTUSize(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  const HandlerContext c = handler_context(property);
  if (!c || TAVO_get_nic_mtusize(property->parent, c.number) != 0) return 1;
  return answer_stored(property, buf);
}

uint32_t handle_nic_logical_link_status(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr) return 1;
  TavoNode* function = property != nullptr ? named(property->parent, "NICPhysicalHBA") : nullptr;
  const HandlerContext c = handler_context(function);
  if (function == nullptr || !c || get_logical_link_status(c.number, c.domain, c.port, function, TAVO_VIA_NIC) != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_IsRoCEEnabled(TavoNode* property, char* buf, uint32_t) {
  TavoNode* function = property != nullptr ? named(property->parent, "NICPhysicalHBA") : nullptr;
  if (function == nullptr || buf == nullptr) return 1;
  const uint32_t generation = get_cv_type(function->parent);
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3 ||
      generation == tavo::kGenerationGaltor)
    return tavo::controller::store_and_answer(property, "N/A", buf);
  set_prop_val(function, "IsRoCEEnabled", "False");
  char text[TAVO_VALUE_SIZE] = "";
  const HandlerContext c = handler_context(function);
  if (!function_number_text(function, text) || !c) return 1;
  uint32_t status = 0;
  const tavo::controller::SharedProfile reply =
      tavo::controller::read_profile(c, TAVO_VIA_NIC, tavo::kProfileActive, 0, 0, &status, nullptr);
  if (!reply) {
    nic_status(278);
    return 1;
  }
  unsigned long pf = 0;
  if (nic_function_hex(text, &pf) && nic_has_roce(*reply, pf)) set_prop_val(function, "IsRoCEEnabled", "True");
  return answer_stored(property, buf);
}

uint32_t get_nicphba_params(uint32_t function_number, TavoNode* node) {
  if (node == nullptr) return 1;
  tavo::QosRecord qos{};
  const HandlerContext c = handler_context(node);
  const uint32_t status = ioctl_qos_get(function_number, &qos, c.domain, c.port, TAVO_VIA_NIC);
  if (status != 0) {
    nic_status(114);
    return status;
  }
  set_prop_val(node, "MaxBitsPerSecond", "%u", qos.max_bit_rate);
  return 0;
}

uint32_t TAVO_update_switch_type(TavoNode* controller, uint32_t function_number, uint8_t domain,
                                 uint8_t port_number) {
  if (controller == nullptr) return 1;
  tavo::FirmwareConfig config{};
  if (ioctl_get_fw_config(function_number, &config, domain, port_number,
                          tavo::controller::controller_transport(controller)) != 0 ||
      (config.function_mode & tavo::kFunctionModeSwitch) == 0)
    return 0;
  tavo::SwitchTypeRecord record{};
  const uint32_t status = ioctl_set_switch_type(function_number, &record, domain, port_number,
                                                tavo::controller::controller_instance(controller));
  if (status != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_set_switch_type failed with status %u\n", __func__, status);
  return 0;
}
