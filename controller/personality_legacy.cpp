// The personality on the older generations: the legacy controller
// configuration (mailboxes 81 and 82) on CV2 and CV3 and, for reading,
// Galtor's common profile configuration.
#include <string.h>

#include <algorithm>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"

using tavo::CommonProfileConfig;
using tavo::CommonProfileDescriptor;

namespace {

void legacy_cannot_get() { tavo::controller::controller_status(140); }

void legacy_cannot_change() { tavo::controller::controller_status(139); }

// PF 2 and PF 3 carry the storage protocol of ports 0 and 1; an absent one
// stands as entry 0. Answers the two indexes among the first `count`.
template <typename Entry, typename Pf, typename Keep>
void legacy_storage_pair(const Entry* entries, size_t count, Pf pf_of, Keep keep, size_t* pf2, size_t* pf3) {
  *pf2 = *pf3 = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!keep(entries[i])) continue;
    if (pf_of(entries[i]) == 2) *pf2 = i;
    if (pf_of(entries[i]) == 3) *pf3 = i;
  }
}

const char* legacy_entry_personality(uint8_t pf_type, uint8_t pf_state) {
  if (pf_type == tavo::kPfTypeNic || pf_state == tavo::kPfRunsAsNic) return "NIC";
  if (pf_state != tavo::kPfStorageOn) return "Illegal";
  if (pf_type == tavo::kPfTypeIscsi) return "iSCSI";
  return pf_type == tavo::kPfTypeFcoe ? "FCoE" : "Illegal";
}

uint32_t legacy_from_controller_config(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* controller,
                                       TavoNode* personality) {
  tavo::ControllerConfigRecordV1 record{};
  const uint32_t status = ioctl_get_cv_conf_V1(port_number, &record, sizeof record, domain, phba_port,
                                               tavo::controller::controller_transport(controller));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_cv_conf_V1 failed with status %d\n", __func__,
           static_cast<int>(status));
    legacy_cannot_get();
    return 1;
  }
  const size_t count = std::min<size_t>(record.count, tavo::kControllerConfigEntries);
  size_t pf2 = 0, pf3 = 0;
  legacy_storage_pair(
      record.entries, count, [](const auto& e) { return e.pf_number; },
      [](const auto& e) { return e.resource_type == tavo::kConfigEntryPciFunction; }, &pf2, &pf3);
  const auto& a = record.entries[pf2];
  const auto& b = record.entries[pf3];
  const char* name =
      a.pf_type != b.pf_type || a.pf_state != b.pf_state ? "Unknown" : legacy_entry_personality(a.pf_type, a.pf_state);
  return set_prop_val(personality, "CurrentPersonality", "%s", name) == 0 ? 0 : 1;
}

uint32_t legacy_from_common_profile(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* controller,
                                    TavoNode* personality) {
  auto config = tavo::base::counted_zeroed<CommonProfileConfig>();
  if (!config) {
    tavo::controller::controller_status(16);
    return 1;
  }
  reinterpret_cast<uint8_t*>(config.get())[1] = tavo::kProfileActive;
  const uint32_t status = ioctl_get_common_profile_config(port_number, config.get(), sizeof(CommonProfileConfig),
                                                          domain, phba_port,
                                                          tavo::controller::controller_instance(controller));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_common_profile_config failed with status %d\n", __func__,
           static_cast<int>(status));
    legacy_cannot_get();
    return 1;
  }
  const char* name = "N/A";
  if (config->count <= tavo::kCommonNotApplicable) {
    const size_t count = std::min<size_t>(config->count, tavo::kCommonMaxDescriptors);
    size_t pf2 = 0, pf3 = 0;
    legacy_storage_pair(
        config->descriptors, count, [](const CommonProfileDescriptor& d) { return tavo::pf_number_of(d.pf); },
        [](const CommonProfileDescriptor& d) { return d.type == tavo::kCommonPciFunction; }, &pf2, &pf3);
    const CommonProfileDescriptor& a = config->descriptors[pf2];
    const CommonProfileDescriptor& b = config->descriptors[pf3];
    if (a.protocol_type != b.protocol_type || a.protocol_valid != b.protocol_valid)
      name = "Unknown";
    else if (a.protocol_type == tavo::kProtocolFcoe && a.protocol_valid == 1)
      name = "FCoE";
    else if (a.protocol_type == tavo::kProtocolNic || a.protocol_valid == 0)
      name = "NIC";
    else
      name = "Illegal";
  }
  return set_prop_val(personality, "CurrentPersonality", "%s", name) == 0 ? 0 : 1;
}

}  // namespace

uint32_t TAVO_get_legacy_adapter_current_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                                     TavoNode* controller, TavoNode* personality) {
  if (controller == nullptr || personality == nullptr) return 1;
  switch (get_cv_type(controller)) {
    case tavo::kGenerationUnknown:
      return 1;
    case tavo::kGenerationCV2:
    case tavo::kGenerationCV3:
      return legacy_from_controller_config(port_number, domain, phba_port, controller, personality);
    case tavo::kGenerationGaltor:
      return legacy_from_common_profile(port_number, domain, phba_port, controller, personality);
    default:  // Moravel, and a generation that could not be read
      return 0;
  }
}

uint32_t TAVO_set_legacy_adapter_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                             TavoNode* controller, const char* personality) {
  const uint8_t protocol = tavo::controller::personality_protocol(personality);
  if (protocol == 0) {
    tavo::tree::validation_status(TAVO_INVALID_VALUE, "NewPersonality", 0, 0);
    return 1;
  }
  const uint32_t instance = tavo::controller::controller_instance(controller);
  tavo::ControllerConfigRecord record{};
  uint32_t status = ioctl_get_cv_conf(port_number, &record, sizeof record, domain, phba_port, instance);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_cv_conf failed with status %d\n", __func__, static_cast<int>(status));
    legacy_cannot_change();
    return 1;
  }
  const size_t count = std::min<size_t>(record.count, tavo::kControllerConfigEntries);
  for (size_t i = 0; i < count; ++i) {
    auto& e = record.entries[i];
    if (e.resource_type != tavo::kConfigEntryPciFunction || (e.pf_number != 2 && e.pf_number != 3)) continue;
    if (protocol == tavo::kProtocolNic) {
      e.pf_type = tavo::kPfTypeNic;
      continue;
    }
    e.pf_type = protocol == tavo::kProtocolIscsi ? tavo::kPfTypeIscsi : tavo::kPfTypeFcoe;
    e.pf_state = tavo::kPfStorageOn;
  }
  status = ioctl_set_cv_conf(port_number, &record, sizeof record, domain, phba_port, instance);
  if (status == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_set_cv_conf failed with status %d\n", __func__, static_cast<int>(status));
  if (status == tavo::controller::kPersonalityRefused)
    tavo::controller::personality_refused();
  else
    legacy_cannot_change();
  return 1;
}
