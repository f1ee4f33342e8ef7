// Boot targets through DHCP: turned on only while no boot session exists;
// turned off, every static boot session gives way (made an ordinary one and
// logged out) and a Target left with none of its own goes. The change
// deletes targets, so it sits with the steps that act on them; its read is
// the sessions' (dhcp_boot_discovery, 57/6).
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/scsi_records.h"

using tavo::iscsi::is_word;
using tavo::iscsi::param;
using tavo::iscsi::ParamTexts;
using tavo::iscsi::read_text;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

// Whether a Session of any Target of the LogicalHBA is a boot session.
bool dhcp_any_boot_session(TavoNode* lhba) {
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t))
    for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s)) {
      char boot[TAVO_VALUE_SIZE];
      if (read_text(s, "iSCSIBoot", boot) && is_word(boot, "True")) return true;
    }
  return false;
}

// Runs one of group's actions, found by its name, with one InstanceNumber
// text; 1 when the group has none.
uint32_t dhcp_run(TavoNode* group, const char* name, TavoActionHandler handler, int32_t instance) {
  TavoNode* action = internal_get_node(group, name, TAVO_KIND_ACTION);
  if (action == nullptr) return 1;
  ParamTexts params;
  snprintf(param(params.data(), 0), TAVO_VALUE_SIZE, "%d", instance);
  return handler(group, action, params.data());
}

// The boot sessions of one Target made ordinary ones and logged out;
// whether it held boot sessions only. 0, or the failure's status.
uint32_t dhcp_drop_target_sessions(TavoNode* t, bool* emptied) {
  // Logouts take Sessions away as the walk goes: their numbers first.
  std::vector<int32_t> numbers;
  for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s))
    numbers.push_back(instance_number(s));
  bool boot_found = false, other_found = false;
  for (const int32_t n : numbers) {
    TavoNode* s = get_selected_group_node(t, "Session", std::to_string(n).c_str());
    char boot[TAVO_VALUE_SIZE];
    if (s == nullptr) continue;
    if (!read_text(s, "iSCSIBoot", boot) || !is_word(boot, "True")) {
      other_found = true;
      continue;
    }
    boot_found = true;
    if (internal_set_property(s, "iSCSIBoot", "False") != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to Set Boot session prop for session %d.\n", __func__, n);
      return 1;
    }
    if (const uint32_t r = dhcp_run(t, "Logout", do_Logout, n)) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Logout Failed\n", __func__);
      return r;
    }
  }
  *emptied = boot_found && !other_found;
  return 0;
}

// Static boot sessions give way to DHCP. 0, or the failure's status.
uint32_t dhcp_drop_boot_sessions(TavoNode* lhba) {
  std::vector<int32_t> emptied;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    if (internal_get_node(t, "Logout", TAVO_KIND_ACTION) == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get logout_action\n", __func__);
      return 1;
    }
    bool only_boot = false;
    if (const uint32_t r = dhcp_drop_target_sessions(t, &only_boot)) return r;
    if (only_boot) emptied.push_back(instance_number(t));
  }
  for (const int32_t n : emptied)
    if (const uint32_t r = dhcp_run(lhba, "DeleteTarget", do_DeleteTarget, n)) return r;
  return 0;
}

}  // namespace

uint32_t handle_DiscoverBootTargetThruDHCP(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  TavoNode* discovery = property != nullptr ? property->parent : nullptr;
  if (!c || buf == nullptr || discovery == nullptr) return 1;
  if (op != TAVO_PROPERTY_SET) return tavo::sessions::dhcp_boot_discovery(discovery->parent, buf);
  if (get_cv_type(c.controller) == tavo::kGenerationCV2) return tavo::controller::store_and_answer(property, "N/A", buf);
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  // A change starts from what the firmware holds, not from a stale text.
  char shown[TAVO_VALUE_SIZE];
  if (tavo::sessions::dhcp_boot_discovery(discovery->parent, shown) != 0) return 1;
  return TAVO_perform_DiscoverBootTargetsThruDHCP(discovery, discovery->parent, c.number, c.domain, c.port, buf);
}

uint32_t TAVO_perform_DiscoverBootTargetsThruDHCP(TavoNode* discovery, TavoNode* lhba, uint32_t device, uint32_t domain,
                                                  uint32_t port, const char* value) {
  TAVO_LIBRARY_LOCK;
  if (discovery == nullptr || lhba == nullptr || value == nullptr) return 1;
  TavoNode* property = internal_get_node(discovery, "DiscoverBootTargetThruDHCP", TAVO_KIND_PROPERTY);
  if (property == nullptr) return 1;
  TavoPropertyRecord* stored = tavo::tree::property_record(property);
  if (strcasecmp(stored->value, value) == 0) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s:Already DiscoverBootTargetThruDHCP is enabled/disabled.\n", __func__);
    return 0;
  }
  const bool enable = is_word(value, "Enabled");
  tavo::BiosConfig config{};
  if (enable) {
    if (dhcp_any_boot_session(lhba)) {
      tavo::sessions::sessions_status(344);
      return 1;
    }
    config.dhcp_discovery = static_cast<uint8_t>(port + 1);
  } else if (const uint32_t r = dhcp_drop_boot_sessions(lhba)) {
    return r;
  }
  const uint32_t status = ioctl_set_bios_cfg(device, &config, static_cast<uint8_t>(domain), static_cast<uint8_t>(port));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Bios Configuration IOCTL failed with status %d\n", __func__,
           static_cast<int>(status));
    tavo::sessions::sessions_status(343);
    return 1;
  }
  snprintf(stored->value, sizeof stored->value, "%s", enable ? "Enabled" : "Disabled");
  return 0;
}
