// The extended timeout (ETO) of a target: the firmware keeps it per
// session, in the session's configuration (16/6, written with 17/6); a
// target without sessions shows the controller's default.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/mailbox.h"
#include "transport/glob.h"
#include "transport/session_records.h"

using namespace tavo::sessions;

namespace {

// A session's configuration as the firmware answered it, with the length
// its size query answered.
struct ConfigRead {
  uint16_t length = 0;
  tavo::SessionConfigRecord config{};
};

tavo::iscsi::RecordReads<ConfigRead>& config_reads() {
  static tavo::base::NoDestructor<tavo::iscsi::RecordReads<ConfigRead>> kept(
      tavo::command::CommandId::ioctl_get_session_conf);
  return *kept;
}

tavo::iscsi::RecordKey config_key(uint32_t function_number, uint32_t domain, uint32_t port, uint32_t handle) {
  return {function_number, domain, port, handle, 0, 0};
}

// The size query, then the configuration; 0, else the failed command's
// status (86 left for the read) or 1 for an answer shorter than least.
uint32_t config_fetch(uint32_t function_number, uint32_t domain, uint32_t port, uint32_t handle, size_t least,
                      const char* query_failed, ConfigRead* out) {
  const auto d = static_cast<uint8_t>(domain);
  const auto pt = static_cast<uint8_t>(port);
  tavo::SessionConfigRecord query{};
  query.session_handle = handle;
  uint16_t length = 0;
  uint32_t status = ioctl_get_sessionconfig_size(function_number, &query, &length, d, pt);
  if (status != 0 || length < least) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s", query_failed);
    sessions_status(31);
    return status != 0 ? status : 1;
  }
  tavo::iscsi::Buffer bytes = zeroed_buffer(length > sizeof out->config ? length : sizeof out->config);
  if (bytes == nullptr) return 1;
  memcpy(bytes.get(), &handle, sizeof handle);
  status = ioctl_get_session_conf(function_number, bytes.get(), length, d, pt);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, " ioctl_get_session_conf failed\n");
    sessions_status(86);
    return status;
  }
  out->length = length;
  memcpy(&out->config, bytes.get(), sizeof out->config);
  return 0;
}

}  // namespace


uint32_t tavo::sessions::read_session_config(uint32_t function_number, uint32_t domain, uint32_t port, uint32_t handle,
                                             size_t least, const char* query_failed, SessionConfigRecord* config) {
  ConfigRead read;
  if (const uint32_t status =
          config_reads().read(config_key(function_number, domain, port, handle), nullptr, &read, [&](ConfigRead* r) {
            return config_fetch(function_number, domain, port, handle, least, query_failed, r);
          }))
    return status;
  // One read asked with less: this answer is refused as its query would be.
  if (read.length < least) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s", query_failed);
    sessions_status(31);
    return 1;
  }
  *config = read.config;
  return 0;
}

namespace {

// Whether the ETO does not apply: the host's initiators own the target.
bool eto_not_applied(TavoNode* target, uint32_t function_number) {
  if (software_initiator(function_number)) return true;
  if (!OPEN_ISCSI_DRIVER_LOADED) return false;
  TavoNode* first = get_first_instance(target, "Session");
  char boot[TAVO_VALUE_SIZE], status[TAVO_VALUE_SIZE];
  const bool closed_boot = first != nullptr && read_text(first, "iSCSIBoot", boot) && is_word(boot, "True") &&
                           read_text(first, "SessionStatus", status) && is_word(status, "Closed");
  return !closed_boot;
}

}  // namespace

uint32_t get_eto_prop(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return 1;
  if (software_initiator(function_number)) return set_prop_val(target, "ETO", "N/A");
  const SessionPrivateRecord* record = private_record(get_first_instance(target, "Session"));
  if (record == nullptr) return 1;
  tavo::SessionConfigRecord config{};
  static constexpr char failed[] = "get_eto_prop: ioctl_get_sessionconfig_size failed.\n";
  // The ETO is all that is read: a shorter answer does when it holds it.
  const uint32_t status = read_session_config(function_number, domain, port, record->handle,
                                     offsetof(tavo::SessionConfigRecord, eto) + sizeof config.eto, failed, &config);
  if (status != 0) return status;
  if (set_prop_val(target, "ETO", "%d", static_cast<int32_t>(config.eto)) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, " set_prop_val for eto failed\n");
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 6, " ETO is %d\n", static_cast<int32_t>(config.eto));
  return 0;
}

uint32_t set_eto_prop(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target, const char* eto,
                      uint32_t session_handle) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || eto == nullptr) return 1;
  tavo::SessionConfigRecord config{};
  // The update carries the configuration's bytes up to its end.
  uint32_t status = read_session_config(function_number, domain, port, session_handle, tavo::kSessionConfigSize,
                               " ioctl_get_sessionconfig_size failed\n", &config);
  if (status != 0) return status;
  tavo::SessionConfigUpdate update{};
  update.session_handle = config.session_handle;
  update.word4 = tavo::kSessionConfigUpdateWord;
  update.eto = static_cast<uint32_t>(strtoul(eto, nullptr, 0));
  update.kept8 = config.kept8;
  update.kept12 = config.kept12;
  memcpy(update.kept240, config.kept240, sizeof update.kept240);
  status = ioctl_set_session_conf(function_number, &update, static_cast<uint8_t>(domain), static_cast<uint8_t>(port));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, " ioctl_set_session_conf1 failed\n");
    sessions_status(87);
    return status;
  }
  status = get_eto_prop(function_number, domain, port, target);
  if (status != 0) pdebug(TAVO_LOG_BACKEND, 3, " get_eto_prop1 failed\n");
  return status;
}

uint32_t handle_Target_ETO(TavoNode* property, char* buf, uint32_t op) {
  TAVO_LIBRARY_LOCK;
  TavoNode* target = property != nullptr ? property->parent : nullptr;
  if (target == nullptr || buf == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  const bool not_applied = eto_not_applied(target, at.number);
  if (op == TAVO_PROPERTY_GET) {
    if (not_applied) {
      set_prop_val(target, "ETO", "N/A");
    } else if (get_first_instance(target, "Session") != nullptr) {
      if (const uint32_t r = get_eto_prop(at.number, at.domain, at.port, target)) return r;
    }
    snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
    return 0;
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  if (not_applied) {
    sessions_status(302);
    return 1;
  }
  // Each configuration read once, but again after it was written.
  tavo::iscsi::ReadScope reads;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    const SessionPrivateRecord* record = private_record(s);
    if (record == nullptr) return 1;
    if (const uint32_t r = set_eto_prop(at.number, at.domain, at.port, target, buf, record->handle)) {
      pdebug(TAVO_LOG_BACKEND, 3, " set_eto_prop failed\n");
      return r;
    }
  }
  return set_prop_val(target, "ETO", "%s", buf);
}

uint32_t refresh_eto(TavoNode* lhba, uint32_t domain, uint32_t port) {
  TAVO_LIBRARY_LOCK;
  const uint32_t number = tavo::tree::handler_context(lhba).number;
  if (lhba == nullptr || number == 0) return 1;
  // The controller's default, read once for every target without sessions.
  bool read = false;
  tavo::ControllerAttributes attributes{};
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    if (get_first_instance(t, "Session") != nullptr) continue;
    if (!read && ioctl_fetch_controller_attribs(number, &attributes,
                                                static_cast<uint8_t>(domain), static_cast<uint8_t>(port),
                                                TAVO_VIA_ISCSI) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "ioctl_fetch_controller_attribs for ETO failed\n");
      return 1;
    }
    read = true;
    if (set_prop_val(t, "ETO", "%d", static_cast<int32_t>(attributes.default_eto)) != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "set ETO failed\n");
      return 1;
    }
  }
  return 0;
}
