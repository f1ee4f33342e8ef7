// What the pre-boot initiator takes besides the boot sessions: the LUN it
// boots from (54/6, 55/6 and, on Moravel, the boot-target record), whether
// the iSCSI BIOS is enabled (66/1, 67/1), MPIO (region 2) and whether boot
// targets come from DHCP (57/6; a change of it, which deletes targets, is
// iscsi/targets/dhcp_boot.cpp).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/scsi_records.h"

using namespace tavo::sessions;
using tavo::controller::store_and_answer;

namespace {

// The generation of the controller above a node.
uint32_t settings_generation(TavoNode* node) {
  TavoNode* controller = tavo::tree::handler_context(node).controller;
  return controller != nullptr ? get_cv_type(controller) : uint32_t{TAVO_GENERATION_UNREADABLE};
}

// A boot LUN is stored reversed (LUN byte 0 in byte 7) when its byte 7 is
// not 0.
bool settings_reversed(const uint8_t boot_lun[8]) { return boot_lun[7] != 0; }

// The boot LUN of a session (54/6); false with status 345.
bool settings_boot_lun(const tavo::tree::HandlerContext& at, uint32_t handle, uint8_t out[8]) {
  uint8_t request[8] = {};
  memcpy(request, &handle, sizeof handle);
  if (ioctl_get_boot_lun(at.number, request, at.domain, at.port) != 0) {
    sessions_status(345);
    return false;
  }
  memcpy(out, request, 8);
  return true;
}

// The LUN's four addressing bytes from its LUNNumber text (the first four
// of eight pairs are zero, then LUN bytes 3, 2, 1, 0).
bool settings_lun_of_text(const char* text, uint8_t lun[4]) {
  if (strlen(text) != 16) return false;
  for (int i = 0; i < 4; ++i) {
    char pair[3] = {text[8 + 2 * i], text[9 + 2 * i], '\0'};
    char* end = nullptr;
    lun[3 - i] = static_cast<uint8_t>(strtoul(pair, &end, 16));
    if (*end != '\0') return false;
  }
  return true;
}

// The first Session of the target whose iSCSIBoot reads "True"; null for none.
TavoNode* settings_boot_session(TavoNode* target) {
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char boot[TAVO_VALUE_SIZE];
    if (read_text(s, "iSCSIBoot", boot) && is_word(boot, "True")) return s;
  }
  return nullptr;
}

// On Moravel, the boot LUN goes into the session's boot-target record too;
// a region without one is written back as it was. 0, else 1 or the write's
// status.
uint32_t settings_mirror_boot_lun(TavoNode* session, const tavo::tree::HandlerContext& at, const uint8_t lun[8]) {
  Region region(TAVO_read_iscsi_boot_region(at.number, at.domain, at.port, tavo::kBootTargetRegion));
  if (!region || region->tlv_length == 0) return 1;
  size_t record = 0;
  if (!region_record_of(region.get(), session, &record)) return 1;
  if (record != 0)
    memcpy(reinterpret_cast<uint8_t*>(region.get()) + record + offsetof(tavo::BootTargetTlv, boot_lun), lun, 8);
  const uint32_t r = TAVO_write_iscsi_boot_region(at.number, at.domain, at.port, tavo::kBootTargetRegion, region.get());
  if (r != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to write iSCSI boot region\n", __func__);
  return r;
}

uint32_t settings_set_boot_lun(TavoNode* property, TavoNode* lun, const tavo::tree::HandlerContext& at) {
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  if (is_word(tavo::tree::property_record(property)->value, "N/A")) {
    sessions_status(347);
    return 1;
  }
  TavoNode* session = settings_boot_session(lun->parent);
  const SessionPrivateRecord* record = private_record(session);
  const LunPrivateRecord* lun_id = lun_record(lun);
  if (record == nullptr || lun_id == nullptr) return 1;
  uint8_t current[8];
  if (!settings_boot_lun(at, record->handle, current)) return 1;
  uint8_t scsi[8];
  lun_bytes(*lun_id, scsi);
  tavo::BootLunUpdate update{};
  update.session_handle = record->handle;
  for (int i = 0; i < 4; ++i) {
    if (settings_reversed(current))
      update.lun[7 - i] = scsi[i];
    else
      update.lun[i] = scsi[i];
  }
  if (ioctl_set_boot_lun(at.number, &update, at.domain, at.port) != 0) {
    sessions_status(346);
    return 1;
  }
  if (settings_generation(lun) == tavo::kGenerationMoravel) {
    const uint32_t r = settings_mirror_boot_lun(session, at, update.lun);
    if (r != 0) return r;
  }
  return set_prop_val(lun, "BootLUN", "True");
}

uint32_t settings_read_boot_lun(TavoNode* lun, const tavo::tree::HandlerContext& at) {
  TavoNode* session = get_first_instance(lun->parent, "Session");
  char boot[TAVO_VALUE_SIZE];
  if (session == nullptr || !read_text(session, "iSCSIBoot", boot)) return 1;
  if (is_word(boot, "False")) return set_prop_val(lun, "BootLUN", "N/A");
  const SessionPrivateRecord* record = private_record(session);
  uint8_t current[8], bytes[4];
  char number[TAVO_VALUE_SIZE];
  if (record == nullptr || !settings_boot_lun(at, record->handle, current)) return 1;
  if (!read_text(lun, "LUNNumber", number) || !settings_lun_of_text(number, bytes)) return 1;
  // All four addressing bytes must agree.
  bool same = true;
  for (int i = 0; i < 4; ++i) same = same && bytes[i] == (settings_reversed(current) ? current[7 - i] : current[i]);
  return set_prop_val(lun, "BootLUN", "%s", same ? "True" : "False");
}

}  // namespace

uint32_t handle_BootLUN(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  TavoNode* lun = property != nullptr ? property->parent : nullptr;
  if (lun == nullptr || lun->parent == nullptr || buf == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  if (settings_generation(lun) == tavo::kGenerationCV2) {
    set_prop_val(lun, "BootLUN", "N/A");
    if (op != TAVO_PROPERTY_SET) return store_and_answer(property, "N/A", buf);
  }
  const uint32_t r =
      op == TAVO_PROPERTY_SET ? settings_set_boot_lun(property, lun, at) : settings_read_boot_lun(lun, at);
  if (r != 0) return r;
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

uint32_t handle_iSCSIBIOSEnable(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  if (!c || buf == nullptr) return 1;
  tavo::BootConfig config{};
  if (ioctl_get_boot_config(c.number, &config, c.domain, c.port, TAVO_VIA_ISCSI) != 0) {
    sessions_status(141);
    return 1;
  }
  if (op != TAVO_PROPERTY_SET) return store_and_answer(property, config.network_boot == 1 ? "Yes" : "No", buf);
  const bool enable = is_word(buf, "Yes");
  config.network_boot = enable ? 1 : 0;
  if (ioctl_set_boot_config(c.number, &config, c.domain, c.port, TAVO_VIA_ISCSI) != 0) {
    sessions_status(142);
    return 1;
  }
  char answer[TAVO_VALUE_SIZE];
  return store_and_answer(property, enable ? "Yes" : "No", answer);
}

uint32_t handle_MPIOEnabled(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  if (!c || buf == nullptr) return 1;
  if (get_cv_type(c.controller) == TAVO_GENERATION_UNREADABLE) return store_and_answer(property, "N/A", buf);
  Region region(TAVO_read_iscsi_region(c.number, c.domain, c.port, tavo::kInitiatorRegion));
  if (!region) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_MPIOEnabled:Could not read iscsi region\n");
    return 1;
  }
  TavoPropertyRecord* stored = tavo::tree::property_record(property);
  if (region->tlv_length == 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_MPIOEnabled:The Length from iSCSI TLV's is zero for partition%d\n", c.port);
    snprintf(buf, TAVO_VALUE_SIZE, "%s", stored->value);
    return 0;
  }
  const size_t at = region_mpio(region.get());
  uint8_t* value = reinterpret_cast<uint8_t*>(region.get()) + at + sizeof(tavo::IscsiRegionTlv);
  if (op != TAVO_PROPERTY_SET) {
    if (at == 0)
      snprintf(buf, TAVO_VALUE_SIZE, "%s", stored->value);
    else
      store_and_answer(property, value[1] == 1 ? "True" : "False", buf);
    return 0;
  }
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const bool enable = is_word(buf, "True");
  if (at != 0) {
    value[0] = 1;
    value[1] = enable ? 1 : 0;
  }
  if (TAVO_write_iscsi_region(c.number, c.domain, c.port, tavo::kInitiatorRegion, region.get()) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_MPIOEnabled: Could not write iscsi region\n");
    return 1;
  }
  if (at != 0) snprintf(stored->value, sizeof stored->value, "%s", enable ? "True" : "False");
  return 0;
}

uint32_t tavo::sessions::dhcp_boot_discovery(TavoNode* lhba, char out[TAVO_VALUE_SIZE]) {
  TAVO_LIBRARY_LOCK;
  TavoNode* discovery = internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP);
  TavoNode* property = internal_get_node(discovery, "DiscoverBootTargetThruDHCP", TAVO_KIND_PROPERTY);
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  out[0] = '\0';
  if (property == nullptr || property->record == nullptr || !c) return 1;
  if (get_cv_type(c.controller) == tavo::kGenerationCV2) return store_and_answer(property, "N/A", out);
  tavo::BiosConfig config{};
  if (ioctl_get_bios_cfg(c.number, &config, c.domain, c.port) != 0) {
    sessions_status(343);
    return 1;
  }
  return store_and_answer(property, (config.dhcp_discovery & (c.port + 1)) != 0 ? "Enabled" : "Disabled", out);
}
