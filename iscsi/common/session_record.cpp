// One session as the firmware keeps it (14/6), read once per request
// (iscsi/common/record_reads.h).
#include "iscsi/common/session_record.h"

#include <stdio.h>
#include <string.h>

#include "base/debug_log.h"
#include "base/status_registry.h"
#include "controller/controller.h"
#include "iscsi/common/record_reads.h"
#include "transport/commands.h"

namespace tavo::iscsi {
namespace {

RecordReads<FirmwareSessionRecord>& record_reads() {
  static tavo::base::NoDestructor<RecordReads<FirmwareSessionRecord>> kept(command::CommandId::ioctl_get_a_session);
  return *kept;
}

// The firmware's answer for the session, or false (status 85).
bool record_fetch(uint32_t session_handle, uint32_t function_number, uint32_t domain, uint32_t port,
                  FirmwareSessionRecord* record) {
  memset(record, 0, sizeof *record);
  record->handle = session_handle;
  if (ioctl_get_a_session(function_number, record, sizeof *record, static_cast<uint8_t>(domain),
                          static_cast<uint8_t>(port)) == 0)
    return true;
  base::set_status(85);
  return false;
}

}  // namespace

SessionPrivateRecord* private_record(TavoNode* group) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP || group->record == nullptr) return nullptr;
  return static_cast<SessionPrivateRecord*>(tree::group_record(group)->nhandle);
}

SessionRecord read_session_record(const tree::HandlerContext& at, uint32_t handle, TavoNode* property) {
  return read_session_record(at.number, at.domain, at.port, handle, property);
}

SessionRecord read_session_record(uint32_t number, uint32_t domain, uint32_t port, uint32_t handle,
                                  TavoNode* property) {
  SessionRecord r(static_cast<FirmwareSessionRecord*>(tavo_dmalloc(sizeof(FirmwareSessionRecord))));
  if (r == nullptr) {
    base::set_status(85);
    return nullptr;
  }
  const RecordKey key{number, domain, port, handle, 0, 0};
  if (record_reads().read(key, property, r.get(), [&](FirmwareSessionRecord* fetched) {
        return record_fetch(handle, number, domain, port, fetched) ? 0u : 1u;
      }) != 0)
    r.reset();
  return r;
}

void keep_session_record(uint32_t number, uint32_t domain, uint32_t port, uint32_t handle,
                         const FirmwareSessionRecord& record) {
  record_reads().keep(RecordKey{number, domain, port, handle, 0, 0}, record);
}

SessionRecord read_record_of(TavoNode* session, const tree::HandlerContext& at, TavoNode* property,
                             const char* caller) {
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed: Invalid session handle.\n", caller);
    return nullptr;
  }
  SessionRecord fw = read_session_record(at, record->handle, property);
  if (fw == nullptr) pdebug(TAVO_LOG_BACKEND, 3, "%s:pGetASessionParams is NULL.\n", caller);
  return fw;
}

bool read_boot_flag(TavoNode* session, TavoNode* boot, const char* caller, bool* on) {
  TavoNode* target = session != nullptr ? session->parent : nullptr;
  if (target == nullptr || target->parent == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get target node\n", caller);
    return false;
  }
  const tree::HandlerContext at = tree::handler_context(session);
  if (at.controller == nullptr || get_cv_type(at.controller) == TAVO_GENERATION_UNREADABLE) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get %s node\n", caller, "Corvane");
    return false;
  }
  if (boot == nullptr) boot = internal_get_node(session, "iSCSIBoot", TAVO_KIND_PROPERTY);
  if (boot == nullptr || boot->record == nullptr) return false;
  const SessionRecord fw = read_record_of(session, at, boot, caller);
  if (fw == nullptr) return false;
  *on = (fw->flags & kSessionBoot) != 0;
  TavoPropertyRecord* kept = tree::property_record(boot);
  snprintf(kept->value, sizeof kept->value, "%s", *on ? "True" : "False");
  return true;
}

}  // namespace tavo::iscsi
