// Bandwidth limits: the soft caps of a NIC function and of an iSCSI domain
// (the link's speed times the function's bandwidth percentages in the
// active profile, in units of 100 Mb/s; the QoS record's bit rate on CV2),
// and the iSCSI QoS limits of a domain (the QoS record, mailboxes 27 and
// 28).
#include <stdio.h>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "nic/iscsi_qos.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"
#include "transport/port_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace {

// Gb/s of a link speed code (3 1Gb ... 8 100Gb); 0 for no speed.
uint32_t bandwidth_gbps(uint8_t code) {
  static constexpr uint32_t kGbps[] = {0, 0, 0, 1, 10, 20, 25, 40, 100};
  return code < sizeof kGbps / sizeof kGbps[0] ? kGbps[code] : 0;
}

uint32_t bandwidth_both(TavoNode* group, TavoNode* property, const char* value, char* buf) {
  set_prop_val(group, "MinBitsPerSecond", "%s", value);
  set_prop_val(group, "MaxBitsPerSecond", "%s", value);
  return answer_stored(property, buf);
}

// MaxBytesPerSecond (bytes) or MaxIosPerSecond of an iSCSIQoS group.
uint32_t bandwidth_qos_limit(TavoNode* property, char* buf, uint32_t op, bool bytes) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (property == nullptr || buf == nullptr) return 1;
  const HandlerContext c = handler_context(property);
  if (!c) return 1;
  if (op == TAVO_PROPERTY_GET)
    return get_qos_params(c.number, c.domain, c.port, property->parent) != 0 ? 1 : answer_stored(property, buf);
  long long value = 0;
  if (!parse_within(buf, 0, bytes ? 1280 : 250, &value)) return 1;
  QosSetRecord record{};
  record.flags = bytes ? kQosBytesGiven : kQosIosGiven;
  (bytes ? record.max_bytes_per_second : record.max_ios_per_second) =
      static_cast<uint32_t>(bytes ? value * 1024 : value);
  const uint32_t status = ioctl_qos_set(c.number, &record, c.domain, c.port, TAVO_VIA_ISCSI);
  if (status != 0) {
    nic_status(115);
    return status;
  }
  return get_qos_params(c.number, c.domain, c.port, property->parent) != 0 ? 1 : 0;
}

}  // namespace

uint32_t TAVO_get_bw_softcap(TavoNode* group, TavoNode* controller, uint32_t port_number, uint8_t domain,
                             uint8_t phba_port, uint8_t type, const char* pf, TavoNode* property, uint32_t device) {
  const ChannelLayout* l = channel_layout(type);
  if (group == nullptr || controller == nullptr || pf == nullptr || property == nullptr || l == nullptr) return 1;
  LinkStatusRecord link{};
  if (ioctl_get_link_status_v1(port_number, &link, domain, phba_port, device) != 0) {
    base::set_status(93);
    return 1;
  }
  const uint32_t gbps = bandwidth_gbps(link.speed_code);
  if (gbps == 0) {
    set_prop_val(group, "MinBitsPerSecond", "0");
    set_prop_val(group, "MaxBitsPerSecond", "0");
    return 0;
  }
  const tavo::controller::SharedProfile config(tavo::controller::controller_profile(controller, kProfileActive, 0, 0));
  if (!config) return 1;
  uint8_t d[kDescriptorSize];
  const bool min = same(property->name, "MinBitsPerSecond");
  if (!channel_descriptor(
          *config, *l,
          [&](uint16_t n) {
            char text[TAVO_VALUE_SIZE];
            pf_text(n, text);
            return same(text, pf);
          },
          d) ||
      (!min && !same(property->name, "MaxBitsPerSecond")))
    return 0;
  // Tenths of the link in units of 100 Mb/s: Gb/s times percent.
  const uint64_t tenths = static_cast<uint64_t>(gbps) * u32_at(d, min ? l->min : l->max);
  if (tenths % 10 == 0)
    set_prop_val(group, property->name, "%llu", static_cast<unsigned long long>(tenths / 10));
  else
    set_prop_val(group, property->name, "%.1f", static_cast<double>(tenths) / 10.0);
  return 0;
}

uint32_t TAVO_get_legacy_QOS(uint32_t port_number, TavoNode* group) {
  TavoNode* controller = group != nullptr ? named(group->parent, "Corvane") : nullptr;
  if (controller == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationGaltor:
      base::set_status(kNotOnThisController);
      return 1;
    default:
      return get_nicphba_params(port_number, group);
  }
}

uint32_t handle_nic_bandwidth_softcap(TavoNode* property, char* buf, uint32_t) {
  HandlerContext c;
  uint32_t generation = 0, refused = 0;
  if (!nic_function_begin(property, buf, &c, &generation, &refused)) return refused;
  if (!c) return 1;
  if (generation == kGenerationCV2 || generation == kGenerationGaltor) {
    if (same(property->name, "MinBitsPerSecond")) return tavo::controller::store_and_answer(property, "N/A", buf);
    const uint32_t status = TAVO_get_legacy_QOS(c.number, c.function);
    answer_stored(property, buf);
    return status;
  }
  char pf[TAVO_VALUE_SIZE];
  if (!pci_function_text(c.function, pf, __func__, ": ") ||
      TAVO_get_bw_softcap(c.function, c.controller, c.number, c.domain, c.port, kProfileNic, pf, property,
                          TAVO_VIA_NIC) != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_iscsi_bandwidth_softcap(TavoNode* property, char* buf, uint32_t) {
  static constexpr const char* kLevels[] = {"iSCSIQoS", "LogicalHBA", "iSCSIPhysicalHBA", "Corvane"};
  TavoNode* levels[4];
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  TavoNode* qos = levels[0];
  TavoNode* function = levels[2];
  TavoNode* controller = levels[3];
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationCV2:
    case kGenerationGaltor:
      return bandwidth_both(qos, property, "N/A", buf);
    default:
      break;
  }
  char pf[TAVO_VALUE_SIZE];
  const HandlerContext c = handler_context(function);
  if (!c || !pci_function_text(function, pf, __func__, ": ")) return 1;
  if (TAVO_get_bw_softcap(qos, controller, c.number, c.domain, c.port, kProfileIscsi, pf, property, TAVO_VIA_ISCSI) !=
      0) {
    bandwidth_both(qos, property, "N/A", buf);
    return 1;
  }
  return answer_stored(property, buf);
}

uint32_t tavo::nic::max_bits_per_second(TavoNode* group, char out[TAVO_VALUE_SIZE]) {
  TavoNode* property = internal_get_node(group, "MaxBitsPerSecond", TAVO_KIND_PROPERTY);
  if (property == nullptr) return 1;
  return named(group, "iSCSIQoS") != nullptr ? handle_iscsi_bandwidth_softcap(property, out, TAVO_PROPERTY_GET)
                                             : handle_nic_bandwidth_softcap(property, out, TAVO_PROPERTY_GET);
}

uint32_t get_qos_params(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* group) {
  if (group == nullptr) return 1;
  QosRecord record{};
  const uint32_t status = ioctl_qos_get(port_number, &record, domain, phba_port, TAVO_VIA_ISCSI);
  if (status != 0) {
    nic_status(114);
    return status;
  }
  set_prop_val(group, "MaxBytesPerSecond", "%u", record.max_bytes_per_second >> 10);
  set_prop_val(group, "MaxIosPerSecond", "%u", record.max_ios_per_second);
  return 0;
}

uint32_t handle_MaxBytesPerSecond(TavoNode* property, char* buf, uint32_t op) {
  return bandwidth_qos_limit(property, buf, op, true);
}

uint32_t handle_MaxIosPerSecond(TavoNode* property, char* buf, uint32_t op) {
  return bandwidth_qos_limit(property, buf, op, false);
}
