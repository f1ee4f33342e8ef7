// A Session's firmware record (14/6), read once per request: what the
// sessions branch reads of its sessions, and the boot flag the network
// branch asks for before an address change.
#pragma once

#include <stdint.h>

#include <memory>

#include "base/memory.h"
#include "transport/iscsi_records.h"
#include "tree/handler_context.h"
#include "tree/tree.h"

namespace tavo::iscsi {

// The back-end record (nhandle) of a Session (the function's number, the
// firmware's session handle, 0, the portal group tag) or of a Connection
// (0, the firmware's connection handle, 0, 0).
struct SessionPrivateRecord {
  uint32_t function_number;
  uint32_t handle;
  uint32_t reserved;
  uint32_t portal_group_tag;
};
static_assert(sizeof(SessionPrivateRecord) == 16);
// The group's record; null for none (or no group).
SessionPrivateRecord* private_record(TavoNode* group);

// A firmware session record, freed with its holder.
struct RecordFree {
  void operator()(FirmwareSessionRecord* r) const { tavo_dfree(r); }
};
using SessionRecord = std::unique_ptr<FirmwareSessionRecord, RecordFree>;

// The session's record, each once per request (iscsi/common/record_reads.h);
// property: the property whose handler reads (a client's read), else null.
// Null (status 85) when the firmware gives none.
SessionRecord read_session_record(const tree::HandlerContext& at, uint32_t handle, TavoNode* property);
// The same by the command's function number, domain and port.
SessionRecord read_session_record(uint32_t number, uint32_t domain, uint32_t port, uint32_t handle,
                                  TavoNode* property);

// A record read earlier, answered for the rest of the open ReadScope.
void keep_session_record(uint32_t number, uint32_t domain, uint32_t port, uint32_t handle,
                         const FirmwareSessionRecord& record);

// The same for a Session, by the handle its back-end record holds; null
// (logged as caller's) when it has no record or the firmware gives none.
SessionRecord read_record_of(TavoNode* session, const tree::HandlerContext& at, TavoNode* property,
                             const char* caller);

// The firmware's boot flag of a Session, read as a read of its iSCSIBoot
// (boot, or found when null) and kept as that property's text; false
// (logged as caller's) when it cannot be had: no LogicalHBA above, the
// controller's generation unreadable, no record of the session's or none
// from the firmware.
bool read_boot_flag(TavoNode* session, TavoNode* boot, const char* caller, bool* on);

}  // namespace tavo::iscsi
