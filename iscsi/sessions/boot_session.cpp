// Boot sessions: the firmware's boot flag of a session (mailbox 53/6),
// the Primary and Secondary priorities and the count of boot targets, the
// Session's iSCSIBoot, BootTargetPriority and ConfigureBootTarget, and on
// Moravel the mirror of each change in the boot region. While a boot
// session exists, an iSCSI function's IP settings stay as they are.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "base/library_lock.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/scsi_records.h"

using namespace tavo::sessions;
using tavo::FirmwareSessionRecord;

namespace {

constexpr uint32_t kPriorityTaken = 341;
constexpr int kLogoutTries = 3;

uint32_t boot_priority_code(const char* text) {
  return is_word(text, "Primary") ? 1 : is_word(text, "Secondary") ? 2 : 0;
}

// Runs one of the Target's actions with the given parameter texts; 1
// (logged) when the Target has no such action.
uint32_t boot_run(TavoNode* target, const char* action_name, ParamTexts& params, const char* missing) {
  TavoNode* action = internal_get_node(target, action_name, TAVO_KIND_ACTION);
  const TavoActionDescriptor* d = action != nullptr ? tavo::tree::action_descriptor(action) : nullptr;
  if (d == nullptr || d->handler == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s\n", missing);
    return 1;
  }
  return d->handler(target, action, params.data());
}

// On Moravel, the boot region follows a changed boot flag: the session's
// record goes for "False"; for "True" it is written with priority and the
// count of boot targets as its number. 0, or 1 with status 306 or 307.
uint32_t boot_mirror(TavoNode* lhba, TavoNode* session, const tavo::tree::HandlerContext& at,
                     const FirmwareSessionRecord& fw, const char* value, uint32_t priority) {
  if (is_word(value, "False")) {
    if (TAVO_delete_boottarget_tlv(at.number, at.domain, at.port, &fw) == 0) return 0;
    tavo::base::set_status(307);
    return 1;
  }
  uint8_t count = 0;
  if (TAVO_check_boot_target_num(lhba, &count) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to check boot target number\n", __func__);
    return 1;
  }
  if (TAVO_add_boottarget_tlv(at.number, at.domain, at.port, session, priority, count) == 0) return 0;
  tavo::base::set_status(306);
  return 1;
}

// A boot change the boot region could not follow is taken back: the
// firmware's flags as they were before it, and iSCSIBoot with them.
void boot_restore(TavoNode* session, const tavo::tree::HandlerContext& at, const FirmwareSessionRecord& fw) {
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) return;
  tavo::BootTargetParams request{};
  request.session_handle = record->handle;
  request.flags = fw.flags;
  const uint32_t restored = ioctl_set_boot_target_params(at.number, &request, static_cast<uint8_t>(at.domain),
                                                         static_cast<uint8_t>(at.port));
  if (restored != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot flag of session 0x%x stays changed\n", __func__, record->handle);
  set_prop_val(session, "iSCSIBoot", "%s", (fw.flags & tavo::kSessionBoot) != 0 ? "True" : "False");
}

bool boot_moravel(TavoNode* node) {
  TavoNode* controller = tavo::tree::handler_context(node).controller;
  return controller != nullptr && get_cv_type(controller) == tavo::kGenerationMoravel;
}

// On Moravel a boot change writes the firmware's flag, then the boot
// region: the session is noted first (NoteChange::Boot) so that a cut
// between leaves the next start to set the flag as the region holds it.
// The note goes with the change, done or taken back; one that cannot be
// written leaves the change unguarded (logged), as a session's note does.
class BootNote {
 public:
  BootNote(TavoNode* session, bool moravel) {
    SessionView view;
    TavoNode* target = session->parent;
    note_.change = NoteChange::Boot;
    noted_ = moravel && session_view(session, &view) && view.has_portal &&
             pending_entry(target, tavo::target_data::target_stored_name(target), view.address, view.port, view.qualifier,
                           view.initiator, &note_) &&
             note_pending({&note_, 1}) == 0;
  }
  BootNote(const BootNote&) = delete;
  BootNote& operator=(const BootNote&) = delete;
  ~BootNote() {
    if (noted_) let_go_pending(note_);
  }

 private:
  PendingEntry note_;
  bool noted_ = false;
};

// The priority of the boot-target record of the session in region 3 of
// the session's port; false when there is none.
bool boot_region_priority(TavoNode* session, const tavo::tree::HandlerContext& at, uint32_t* result,
                          uint8_t* priority) {
  Region region(TAVO_read_iscsi_boot_region(at.number, at.domain, at.port, tavo::kBootTargetRegion));
  if (!region) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Could not read iscsi region\n", __func__);
    *result = 1;
    return false;
  }
  // A region without records holds no priority.
  if (region->tlv_length == 0) return false;
  size_t at_record = 0;
  if (!region_record_of(region.get(), session, &at_record)) {
    *result = 1;
    return false;
  }
  if (at_record == 0) return false;
  *priority = reinterpret_cast<const uint8_t*>(region.get())[at_record + offsetof(tavo::BootTargetTlv, priority)];
  return true;
}

// The host's software initiator applies a boot setting with a new login:
// the session is logged out and in again ("True"), or removed and logged
// in again as it was when open. The refresh deletes the Session: nothing
// of it is touched afterwards.
uint32_t boot_refresh(TavoNode* target, TavoNode* session, const tavo::tree::HandlerContext& at,
                      const FirmwareSessionRecord& fw, const char* boot, const char* priority) {
  const bool on = is_word(boot, "True");
  if (!on) set_prop_val(session, "iSCSIBoot", "False");
  return TAVO_refresh_boot_session(at.number, at.domain, at.port, target, session, &fw, on ? "True" : "False",
                                   priority) != 0
             ? 1
             : 0;
}

}  // namespace

uint32_t tavo::sessions::unboot_session(const tavo::tree::HandlerContext& p, TavoNode* session, bool moravel) {
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: session without its record\n", __func__);
    return 1;
  }
  SessionRecord fw(TAVO_get_session_params(record->handle, p.number, p.domain, p.port));
  if (fw == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the firmware's session record cannot be read\n", __func__);
    return 1;
  }
  if (TAVO_configure_boot_target(session, fw->flags, "False", p.number, p.domain, p.port) != 0) return 1;
  if (moravel && TAVO_delete_boottarget_tlv(p.number, p.domain, p.port, fw.get()) != 0) {
    boot_restore(session, p, *fw);
    tavo::base::set_status(307);
    return 1;
  }
  return 0;
}

uint32_t TAVO_configure_boot_target(TavoNode* session, uint32_t flags, const char* value, uint32_t function_number,
                                    uint32_t domain, uint32_t port) {
  TAVO_LIBRARY_LOCK;
  char boot[TAVO_VALUE_SIZE];
  if (value == nullptr || !read_text(session, "iSCSIBoot", boot)) return 1;
  if (strcasecmp(boot, value) == 0) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s:Given value is already configured.\n", __func__);
    return 0;
  }
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed: Invalid session handle.\n", __func__);
    return 1;
  }
  tavo::BootTargetParams request{};
  request.session_handle = record->handle;
  request.flags = is_word(value, "True")    ? flags | tavo::kSessionBoot
                  : is_word(value, "False") ? flags & ~tavo::kSessionBoot
                                            : flags;
  const uint32_t sent = ioctl_set_boot_target_params(function_number, &request, static_cast<uint8_t>(domain),
                                                     static_cast<uint8_t>(port));
  if (sent != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_set_boot_target_params failed\n", __func__);
    return 1;
  }
  return 0;
}

uint32_t TAVO_check_boot_target_priority(TavoNode* lhba, const char* priority) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || priority == nullptr) return 1;
  if (!is_word(priority, "Primary") && !is_word(priority, "Secondary")) return 0;
  for (TavoNode* target = get_first_instance(lhba, "Target"); target != nullptr; target = next_instance(target)) {
    // A target without sessions has no boot session to hold the priority.
    TavoNode* first = get_first_instance(target, "Session");
    if (first == nullptr) continue;
    char held[TAVO_VALUE_SIZE];
    if (!read_text(first, "BootTargetPriority", held)) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get Boot target priority value.\n", __func__);
      return 1;
    }
    if (strcasecmp(held, priority) == 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Given Boot target priority is already configured.\n", __func__);
      return kPriorityTaken;
    }
  }
  return 0;
}

uint32_t TAVO_check_boot_target_num(TavoNode* lhba, uint8_t* count) {
  TAVO_LIBRARY_LOCK;
  if (lhba == nullptr || count == nullptr) return 1;
  uint8_t n = 0;
  for (TavoNode* target = get_first_instance(lhba, "Target"); target != nullptr; target = next_instance(target)) {
    TavoNode* first = get_first_instance(target, "Session");
    if (first == nullptr) continue;
    char boot[TAVO_VALUE_SIZE];
    if (!read_text(first, "iSCSIBoot", boot)) return 1;
    if (is_word(boot, "True")) ++n;
  }
  *count = n;
  return 0;
}

uint32_t handle_boot_session(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  if (property == nullptr || buf == nullptr) return 1;
  TavoPropertyRecord* stored = tavo::tree::property_record(property);
  TavoNode* session = property->parent;
  if (op != TAVO_PROPERTY_SET) {
    bool on = false;
    if (!read_boot_flag(session, property, "handle_boot_session", &on)) return 1;
    snprintf(buf, TAVO_VALUE_SIZE, "%s", stored->value);
    return 0;
  }
  TavoNode* target = session != nullptr ? session->parent : nullptr;
  TavoNode* lhba = target != nullptr ? target->parent : nullptr;
  if (lhba == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_boot_session: Failed to get target node\n");
    return 1;
  }
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  if (at.controller == nullptr || get_cv_type(at.controller) == TAVO_GENERATION_UNREADABLE) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_boot_session: Failed to get %s node\n", "Corvane");
    return 1;
  }
  SessionRecord fw = read_record_of(session, at, nullptr, "handle_boot_session");
  if (fw == nullptr) return 1;
  const std::string value = is_word(buf, "True") ? "True" : "False";
  // Setting the value the firmware holds changes nothing.
  if (((fw->flags & tavo::kSessionBoot) != 0) == (value == "True")) {
    set_prop_val(session, "iSCSIBoot", "%s", value.c_str());
    return 0;
  }
  if (OPEN_ISCSI_DRIVER_LOADED && value == "True") return boot_refresh(target, session, at, *fw, "True", "None");
  const BootNote note(session, boot_moravel(at.controller));
  if (TAVO_configure_boot_target(session, fw->flags, value.c_str(), at.number, at.domain, at.port) != 0) {
    sessions_status(258);
    return 1;
  }
  set_prop_val(session, "iSCSIBoot", "%s", value.c_str());
  if (!boot_moravel(at.controller))
    return OPEN_ISCSI_DRIVER_LOADED ? boot_refresh(target, session, at, *fw, "False", "None") : 0;
  uint32_t priority = 0;
  if (value == "True") {
    for (uint32_t code = 1; code <= 2 && priority == 0; ++code) {
      const uint32_t r = TAVO_check_boot_target_priority(lhba, code == 1 ? "Primary" : "Secondary");
      if (r == 0)
        priority = code;
      else if (r != kPriorityTaken) {
        pdebug(TAVO_LOG_BACKEND, 3, "handle_boot_session: Failed to get check boot target priority\n");
        boot_restore(session, at, *fw);
        return 1;
      }
    }
  }
  if (const uint32_t r = boot_mirror(lhba, session, at, *fw, value.c_str(), priority)) {
    boot_restore(session, at, *fw);
    return r;
  }
  return OPEN_ISCSI_DRIVER_LOADED ? boot_refresh(target, session, at, *fw, "False", "None") : 0;
}

namespace {

uint32_t boot_priority_value(TavoNode* property, char* buf) {
  TavoNode* session = property != nullptr ? property->parent : nullptr;
  if (session == nullptr || buf == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_BootTargetPriority: Failed to get session node\n");
    return 1;
  }
  TavoNode* boot = internal_get_node(session, "iSCSIBoot", TAVO_KIND_PROPERTY);
  if (boot == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "handle_BootTargetPriority: Failed to get iSCSIBoot node\n");
    return 1;
  }
  TavoPropertyRecord* stored = tavo::tree::property_record(property);
  // The priority follows the firmware's flag and the region's records as
  // they are now, not the texts an earlier state left; a session without
  // its record (the host's initiator owns it) goes by its text.
  bool on = !is_word(tavo::tree::property_record(boot)->value, "False");
  char live[TAVO_VALUE_SIZE];
  if (private_record(session) != nullptr) {
    if (!read_text(session, "iSCSIBoot", live)) return 1;
    on = is_word(live, "True");
  }
  uint32_t result = 0;
  if (!on) {
    set_prop_val(session, "BootTargetPriority", "N/A");
  } else {
    uint8_t priority = 0;
    if (boot_region_priority(session, tavo::tree::handler_context(property), &result, &priority) || result == 0)
      set_prop_val(session, "BootTargetPriority", "%s",
                   priority == 1   ? "Primary"
                   : priority == 2 ? "Secondary"
                                   : "None");
  }
  snprintf(buf, TAVO_VALUE_SIZE, "%s", stored->value);
  return result;
}

}  // namespace

uint32_t handle_BootTargetPriority(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return boot_priority_value(property, buf);
}

namespace {

uint32_t configure_boot_action(TavoNode* session, char* params) {
  if (session == nullptr || params == nullptr) return 1;
  char boot[TAVO_VALUE_SIZE], priority[TAVO_VALUE_SIZE];
  if (!read_text(session, "iSCSIBoot", boot)) {
    pdebug(TAVO_LOG_BACKEND, 3, "do_ConfigureBootTarget: Failed to get the iSCSIBoot property value.\n");
    return 1;
  }
  if (!read_text(session, "BootTargetPriority", priority)) {
    pdebug(TAVO_LOG_BACKEND, 3, "do_ConfigureBootTarget: Failed to get the BootTargetPriority property value.\n");
    return 1;
  }
  const char* wanted_boot = param(params, 0);
  const char* wanted_priority = param(params, 1);
  if (is_word(boot, wanted_boot) && is_word(priority, wanted_priority)) return 0;
  const uint32_t r = TAVO_configure_boot_params(session, wanted_boot, wanted_priority);
  if (r != 0) pdebug(TAVO_LOG_BACKEND, 3, "do_ConfigureBootTarget: Failed to configure boot target parameters\n");
  return r;
}

}  // namespace

uint32_t do_ConfigureBootTarget(TavoNode* session, TavoNode*, char* params) {
  TAVO_LIBRARY_LOCK;
  return configure_boot_action(session, params);
}

uint32_t TAVO_configure_boot_params(TavoNode* session, const char* boot, const char* priority) {
  TAVO_LIBRARY_LOCK;
  TavoNode* target = session != nullptr ? session->parent : nullptr;
  if (target == nullptr || boot == nullptr || priority == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get target node\n", __func__);
    return 1;
  }
  TavoNode* lhba = target->parent;
  if (lhba == nullptr || lhba->parent == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(session);
  if (private_record(session) == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed with invalid session handle.\n", __func__);
    return 1;
  }
  SessionRecord fw = read_record_of(session, at, nullptr, __func__);
  if (fw == nullptr) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED && is_word(boot, "True")) return boot_refresh(target, session, at, *fw, boot, priority);
  const bool moravel = boot_moravel(lhba);
  // A priority another boot target holds is refused before anything
  // changes.
  if (moravel && is_word(boot, "True")) {
    const uint32_t taken = TAVO_check_boot_target_priority(lhba, priority);
    if (taken == kPriorityTaken) {
      sessions_status(kPriorityTaken);
      return kPriorityTaken;
    }
    if (taken != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get boot target priority\n", __func__);
      return 1;
    }
  }
  const BootNote note(session, moravel);
  if (TAVO_configure_boot_target(session, fw->flags, boot, at.number, at.domain, at.port) != 0) {
    sessions_status(258);
    return 1;
  }
  if (is_word(boot, "True") || is_word(boot, "False"))
    set_prop_val(session, "iSCSIBoot", "%s", is_word(boot, "True") ? "True" : "False");
  if (moravel) {
    if (const uint32_t r = boot_mirror(lhba, session, at, *fw, boot, boot_priority_code(priority))) {
      boot_restore(session, at, *fw);
      return r;
    }
  }
  return OPEN_ISCSI_DRIVER_LOADED ? boot_refresh(target, session, at, *fw, boot, priority) : 0;
}

uint32_t TAVO_remove_boot_session(uint32_t device, uint32_t domain, uint32_t port, TavoNode* target, TavoNode* session,
                                  const FirmwareSessionRecord* fw) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || session == nullptr || fw == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: NULL nodes found\n", __func__);
    return 1;
  }
  TavoNode* connection = first_connection(session);
  const SessionPrivateRecord* record = private_record(session);
  const char* missing = target->parent == nullptr               ? "lhba is NULL"
                        : record == nullptr                     ? "pSession_Handle is NULL"
                        : connection == nullptr                 ? "connection is NULL"
                        : private_record(connection) == nullptr ? "pConnection_Handle is NULL"
                                                                : nullptr;
  if (missing != nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %s\n", __func__, missing);
    return 1;
  }
  char name[TAVO_VALUE_SIZE], persistent[TAVO_VALUE_SIZE];
  if (!read_text(target, "TargetISCSIName", name) || !read_text(session, "Persistent", persistent)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get TargetName and Persistent properties\n", __func__);
    return 1;
  }
  char initiator[TAVO_VALUE_SIZE], address[TAVO_VALUE_SIZE], port_text[TAVO_VALUE_SIZE], iface[TAVO_VALUE_SIZE] = "";
  snprintf(initiator, sizeof initiator, "%.*s", static_cast<int>(strnlen(fw->initiator_name, 224)), fw->initiator_name);
  ipaddr_to_string(fw->connection.destination_address, address, fw->connection.destination_type);
  snprintf(port_text, sizeof port_text, "%d", fw->connection.destination_port);
  const uint16_t qualifier = record_qualifier(*fw);
  if (TAVO_get_iscsi_iface(session, iface) != 0) return 1;
  if (TAVO_op_iscsi_check_session(session) == 0) TAVO_op_iscsi_logout(session);
  uint32_t handle = record->handle;
  uint32_t status = 1;
  for (int i = 0; i < kLogoutTries && status != 0; ++i)
    status = ioctl_logout_target(device, &handle, static_cast<uint8_t>(domain), static_cast<uint8_t>(port));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot session 0x%x could not be logged out (%u)\n", __func__, handle, status);
    return 1;
  }
  delete_with_records(connection);
  delete_with_records(session);
  char answer[TAVO_VALUE_SIZE] = "";
  ParamTexts cleared;
  get_all_luns(target, domain, port, target, internal_get_node(target, "ReScanLUNS", TAVO_KIND_ACTION), cleared.data(),
               answer);
  if (is_word(persistent, "True") &&
      delete_persistent(device, domain, port, target, name, address, port_text, qualifier, initiator, 0) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:delete_persistent failed\n", __func__);
    return 1;
  }
  return 0;
}

uint32_t TAVO_refresh_boot_session(uint32_t device, uint32_t domain, uint32_t port, TavoNode* target, TavoNode* session,
                                   const FirmwareSessionRecord* fw, const char* boot, const char* priority) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || session == nullptr || boot == nullptr || priority == nullptr) return 1;
  if (target->parent == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: lhba is NULL\n", __func__);
    return 1;
  }
  TavoNode* connection = first_connection(session);
  if (connection == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get connection node\n", __func__);
    return 1;
  }
  char name[TAVO_VALUE_SIZE];
  if (!read_text(target, "TargetISCSIName", name)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get TargetName.\n", __func__);
    return 1;
  }
  // What the new login takes, saved before the session goes.
  ParamTexts login;
  char status[TAVO_VALUE_SIZE];
  if (!read_text(connection, "DestinationIPAddress", param(login.data(), 0)) ||
      !read_text(connection, "DestinationPortNumber", param(login.data(), 1)) ||
      !read_text(session, "SessionInitiatorName", param(login.data(), 2)) ||
      !read_text(session, "ISIDQualifier", param(login.data(), 3)) || !read_text(session, "SessionStatus", status))
    return 1;
  snprintf(param(login.data(), 4), TAVO_VALUE_SIZE, "%s", boot);
  snprintf(param(login.data(), 5), TAVO_VALUE_SIZE, "%s", priority);
  if (!is_word(boot, "False")) {
    ParamTexts logout;
    snprintf(param(logout.data(), 0), TAVO_VALUE_SIZE, "%d", tavo::tree::instance_number(session));
    char failed[96];
    snprintf(failed, sizeof failed, "%s: Failed to get logout_action", __func__);
    const uint32_t r = boot_run(target, "Logout", logout, failed);
    if (r != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Logout Failed\n", __func__);
      return r;
    }
  } else {
    if (TAVO_remove_boot_session(device, domain, port, target, session, fw) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to remove the boot session from firmware\n", __func__);
      return 1;
    }
    if (!is_word(status, "Open")) return 0;
  }
  if (TAVO_add_open_iscsi_target(target, login.data()) != 0) return 1;
  char failed[96];
  snprintf(failed, sizeof failed, "%s: Failed to get login_action", __func__);
  const uint32_t r = boot_run(target, "Login", login, failed);
  if (r != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s: Login Failed\n", __func__);
  return r;
}
