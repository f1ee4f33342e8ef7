// The last configured MAC address of a NIC or iSCSI function: the one its
// protocol descriptor of the profile configuration carries (CV2: its entry
// of the legacy controller configuration). A new one takes effect after a
// reboot.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo::nic;
using tavo::ProfileIscsiDescriptor;
using tavo::ProfileNicDescriptor;
using tavo::ProfileResourceDescriptor;

namespace {

using Legacy = tavo::ControllerConfigRecord;

uint8_t lcm_descriptor_type(uint32_t kind) {
  return kind == TAVO_VIA_NIC ? tavo::kProfileNic : kind == TAVO_VIA_ISCSI ? tavo::kProfileIscsi : 0;
}

// The MAC field of a NIC or iSCSI descriptor.
uint8_t* lcm_mac_field(uint8_t* descriptor) {
  return descriptor + (descriptor[0] == tavo::kProfileNic ? offsetof(ProfileNicDescriptor, mac)
                                                          : offsetof(ProfileIscsiDescriptor, mac));
}

// The first whole descriptor of the type for that PF that is no VF
// template, where match(pf number) says so; null for none.
template <typename Match>
const uint8_t* lcm_find(const tavo::ProfileConfigBuffer& reply, uint8_t type, Match match) {
  const uint8_t* found = nullptr;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&reply), sizeof reply,
                                 [&](const uint8_t* d, size_t length) {
                                   ProfileResourceDescriptor head;
                                   memcpy(&head, d, sizeof head);
                                   if (head.type == type && length >= sizeof(ProfileNicDescriptor) &&
                                       (head.flags & tavo::kDescriptorVfTemplate) == 0 &&
                                       match(tavo::pf_number_of(head.pf)))
                                     found = d;
                                   return found == nullptr;
                                 });
  return found;
}

// The edited copy of a descriptor that a partial write sends: the new MAC,
// every field the firmware is to keep filled with ones.
void lcm_edit(uint8_t* d, uint32_t pf, uint8_t port, const uint8_t mac[6]) {
  ProfileResourceDescriptor head;
  memcpy(&head, d, sizeof head);
  head.length = sizeof(ProfileNicDescriptor);
  head.flags = static_cast<uint8_t>((head.flags & tavo::kDescriptorFlagsKept) | tavo::kDescriptorPartialWrite);
  head.pf = tavo::with_pf_number(head.pf, pf);
  memcpy(d, &head, sizeof head);
  memcpy(lcm_mac_field(d), mac, 6);
  if (head.type == tavo::kProfileIscsi) {
    memset(d + offsetof(ProfileIscsiDescriptor, min_bandwidth), 0xFF, 8);
    return;
  }
  for (const size_t at : {8, 18, 20, 28, 32, 38, 60, 62}) memset(d + at, 0xFF, 2);
  memset(d + offsetof(ProfileNicDescriptor, min_bandwidth), 0xFF, 8);
  uint8_t& link = d[offsetof(ProfileNicDescriptor, link)];
  link = static_cast<uint8_t>((link & 0xC0) | (port & 0x3F));
}

// The legacy configuration is the controller's: its commands go through the
// controller's first function, on the path of its protocol bits (a NIC
// function's number would name another device on an iSCSI path).
bool lcm_legacy_target(TavoNode* function_group, HandlerContext* t, uint32_t* instance) {
  *t = handler_context(function_group, Commands::OfController);
  *instance = tavo::controller::controller_instance(t->controller);
  return static_cast<bool>(*t);
}

// The legacy configuration; null (status 16 or 160) when it cannot be had.
tavo::base::Counted<Legacy> lcm_legacy_read(const HandlerContext& t, uint32_t instance) {
  auto config = tavo::base::counted_zeroed<Legacy>();
  if (!config) {
    nic_status(16);
    return config;
  }
  if (ioctl_get_cv_conf(t.number, config.get(), sizeof(Legacy), t.domain, t.port, instance) != 0) {
    nic_status(160);
    config.reset();
  }
  return config;
}

// The offset of the function's MAC in the legacy configuration: of its
// entry (*matched), else with fallback of entry 0. 0 when there is none or
// the MAC would lie past the record.
size_t lcm_legacy_offset(const Legacy& config, const char* function_text, bool iscsi, bool fallback,
                         bool* matched) {
  const uint32_t count = config.count < tavo::kControllerConfigEntries ? config.count : tavo::kControllerConfigEntries;
  *matched = false;
  for (uint32_t i = 0; i < count; ++i) {
    const auto& e = config.entries[i];
    char pf[16];
    snprintf(pf, sizeof pf, "0x%x", e.pf_number);
    if (e.resource_type == tavo::kConfigEntryPciFunction && e.pf_state == 0 && e.pf_type == (iscsi ? 1 : 0) &&
        strcasecmp(pf, function_text) == 0) {
      *matched = true;
      return tavo::legacy_config_mac_offset(i, iscsi);
    }
  }
  return fallback ? tavo::legacy_config_mac_offset(0, iscsi) : 0;
}

bool lcm_is_iscsi(TavoNode* function_group) { return named(function_group, "iSCSIPhysicalHBA") != nullptr; }

}  // namespace

uint32_t TAVO_get_legacy_last_configured_mac(TavoNode* function_group, TavoNode* group) {
  char text[TAVO_VALUE_SIZE] = "";
  HandlerContext t;
  uint32_t instance = 0;
  if (group == nullptr || !function_number_text(function_group, text) ||
      !lcm_legacy_target(function_group, &t, &instance))
    return 1;
  auto config = lcm_legacy_read(t, instance);
  if (!config) return 1;
  bool matched = false;
  const size_t at = lcm_legacy_offset(*config, text, lcm_is_iscsi(function_group), true, &matched);
  if (at == 0) {
    nic_status(160);
    return 1;
  }
  char mac[18];
  mac_text(reinterpret_cast<const uint8_t*>(config.get()) + at, mac);
  return set_prop_val(group, "PermanentMACAddress", "%s", mac);
}

uint32_t TAVO_set_legacy_last_configured_mac(TavoNode* function_group, TavoNode* group, const char* mac) {
  uint8_t bytes[6];
  if (group == nullptr || mac == nullptr || validateMACAddress(mac, bytes) != 1) {
    nic_status(17);
    return 1;
  }
  char text[TAVO_VALUE_SIZE] = "";
  HandlerContext t;
  uint32_t instance = 0;
  if (!function_number_text(function_group, text) || !lcm_legacy_target(function_group, &t, &instance)) return 1;
  auto config = lcm_legacy_read(t, instance);
  if (!config) return 1;
  bool matched = false;
  const size_t at = lcm_legacy_offset(*config, text, lcm_is_iscsi(function_group), false, &matched);
  if (!matched) return 1;
  if (at == 0) {
    nic_status(161);
    return 1;
  }
  memcpy(reinterpret_cast<uint8_t*>(config.get()) + at, bytes, 6);
  if (ioctl_set_cv_conf(t.number, config.get(), sizeof(Legacy), t.domain, t.port, instance) != 0) {
    nic_status(161);
    return 1;
  }
  return 0;
}

uint32_t TAVO_get_last_configured_mac(TavoNode* function_group, TavoNode* group, char*, uint32_t kind) {
  if (function_group == nullptr || group == nullptr) return 1;
  TavoNode* controller = function_group->parent;
  if (get_cv_type(controller) == tavo::kGenerationCV2)
    return TAVO_get_legacy_last_configured_mac(function_group, group);
  char text[TAVO_VALUE_SIZE] = "";
  const uint8_t type = lcm_descriptor_type(kind);
  if (!function_number_text(function_group, text) || type == 0) return 1;
  const tavo::controller::SharedProfile reply(
      tavo::controller::controller_profile(controller, tavo::kProfileConfigured, 0, 0));
  if (!reply) return 1;
  const uint8_t* d = lcm_find(*reply, type, [&](uint16_t pf) {
    char pf_text[16];
    snprintf(pf_text, sizeof pf_text, "0x%x", pf);
    return strcasecmp(pf_text, text) == 0;
  });
  // No descriptor of the function: the stored text stays.
  if (d == nullptr) return 0;
  uint8_t copy[sizeof(ProfileNicDescriptor)];
  memcpy(copy, d, sizeof copy);
  char mac[18];
  mac_text(lcm_mac_field(copy), mac);
  return set_prop_val(group, "PermanentMACAddress", "%s", mac);
}

uint32_t TAVO_set_last_configured_mac(TavoNode* function_group, TavoNode* group, const char* mac, uint32_t kind) {
  if (function_group == nullptr || group == nullptr) return 1;
  TavoNode* controller = function_group->parent;
  if (get_cv_type(controller) == tavo::kGenerationCV2)
    return TAVO_set_legacy_last_configured_mac(function_group, group, mac);
  const uint8_t type = lcm_descriptor_type(kind);
  if (type == 0) return 1;
  uint8_t bytes[6];
  if (mac == nullptr || validateMACAddress(mac, bytes) != 1) {
    nic_status(17);
    return 1;
  }
  char text[TAVO_VALUE_SIZE] = "";
  const HandlerContext t = handler_context(function_group);
  if (!function_number_text(function_group, text) || !t) return 1;
  char* end = nullptr;
  const unsigned long pf = strtoul(text, &end, 16);
  const tavo::controller::SharedProfile reply(
      tavo::controller::controller_profile(controller, tavo::kProfileActive, 0, 0));
  if (!reply) return 1;
  const uint8_t* d = end != text && *end == '\0' ? lcm_find(*reply, type, [&](uint16_t n) { return n == pf; })
                                                 : nullptr;
  // Nothing to edit: nothing is sent.
  if (d == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:No descriptor of type %u for PCI function %s\n", __func__, type, text);
    nic_status(161);
    return 1;
  }
  auto request = tavo::base::counted_zeroed<tavo::ProfileDescriptorSet>();
  if (!request) {
    nic_status(16);
    return 1;
  }
  request->count = 1;
  memcpy(request->descriptor, d, sizeof request->descriptor);
  lcm_edit(request->descriptor, static_cast<uint32_t>(pf), t.port, bytes);
  if (ioctl_set_profile_config(t.number, request.get(), sizeof *request, 0, t.port, kind) != 0) {
    nic_status(161);
    return 1;
  }
  return 0;
}
