// The statistics of one session (48/6): the firmware answers for batches of
// active sessions, and the batches are asked in list order until one holds
// the session; the values of one pass over them come from one read
// (iscsi/common/record_reads.h). The target's alias comes from its first
// session's.
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/session_records.h"

using namespace tavo::sessions;

namespace {

constexpr size_t kBuffer = tavo::kSessionAttributesBufferSize;
constexpr uint32_t kSessionClosed = 35;
// The records an answer has room for.
constexpr uint32_t kMostRecords =
    (kBuffer - sizeof(tavo::SessionAttributesHead)) / sizeof(tavo::SessionAttributesRecord);

uint32_t stats_store(TavoNode* group, const tavo::SessionAttributesRecord& r) {
  char alias[TAVO_VALUE_SIZE];
  snprintf(alias, sizeof alias, "%.*s", static_cast<int>(strnlen(r.target_alias, sizeof r.target_alias)),
           r.target_alias);
  uint32_t result = set_prop_val(group, "SessionTargetAlias", "%s", alias);
  result |= set_prop_val(group, "SessionDirection", "%d", static_cast<int32_t>(r.direction));
  result |= set_prop_val(group, "CmdPdus", "%d", static_cast<int32_t>(r.command_pdus));
  result |= set_prop_val(group, "RspPdus", "%d", static_cast<int32_t>(r.response_pdus));
  result |= set_prop_val(group, "TxDataOctetsHigh", "%llu", static_cast<unsigned long long>(r.tx_data_octets));
  result |= set_prop_val(group, "RxDataOctetsHigh", "%llu", static_cast<unsigned long long>(r.rx_data_octets));
  result |= set_prop_val(group, "CxnTimeoutErrors", "%d", static_cast<int32_t>(r.timeout_errors));
  return result | set_prop_val(group, "DigestErrors", "%d", static_cast<int32_t>(r.digest_errors));
}

// The record of handle in an answer; false for none.
bool stats_find(const uint8_t* answer, uint32_t handle, tavo::SessionAttributesRecord* out) {
  tavo::SessionAttributesHead head;
  memcpy(&head, answer, sizeof head);
  const uint32_t n = head.count < kMostRecords ? head.count : kMostRecords;
  for (uint32_t i = 0; i < n; ++i) {
    memcpy(out, answer + sizeof head + sizeof *out * i, sizeof *out);
    if (out->session_handle == handle) return true;
  }
  return false;
}

tavo::iscsi::RecordReads<tavo::SessionAttributesRecord>& stats_reads() {
  static tavo::base::NoDestructor<tavo::iscsi::RecordReads<tavo::SessionAttributesRecord>> kept(
      tavo::command::CommandId::ioctl_get_SsnAttr_params);
  return *kept;
}

// The statistics record of the session of handle (none: the list alone is
// read) from the firmware; 0, else the failed command's status, or 1.
uint32_t stats_fetch(uint32_t function_number, uint32_t domain, uint32_t port, const uint32_t* session_handle,
                     tavo::SessionAttributesRecord* found) {
  SessionList list;
  bool sized = false;
  const uint32_t listed = read_session_list(function_number, domain, port, &list, &sized);
  if (!sized) {
    pdebug(TAVO_LOG_BACKEND, 4, "session_buffer_size = 0\n");
    // An empty answer is no fresh value either.
    return listed != 0 ? listed : 1;
  }
  if (listed != 0) return listed;
  tavo::iscsi::Buffer buffer = zeroed_buffer(kBuffer);
  if (buffer == nullptr) return 1;
  // A session the firmware does not list, or one without its record, has
  // no statistics to show: the stored ones stay, and so does the answer.
  if (list.count < 1 || session_handle == nullptr) return 1;
  uint32_t in_batch = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    const uint32_t handle = list.handle(i);
    memcpy(buffer.get() + sizeof(tavo::SessionAttributesHead) + 4 * size_t{in_batch}, &handle, sizeof handle);
    ++in_batch;
    if (in_batch * tavo::kSessionAttributesCost <= kBuffer && i + 1 < list.count) continue;
    const tavo::SessionAttributesHead head{tavo::kSessionAttributesMarker, in_batch};
    memcpy(buffer.get(), &head, sizeof head);
    const uint32_t status = ioctl_get_SsnAttr_params(function_number, buffer.get(), kBuffer,
                                                     static_cast<uint8_t>(domain), static_cast<uint8_t>(port));
    if (status != 0) {
      sessions_status(status == kSessionClosed ? kSessionClosed : 92);
      return status;
    }
    if (stats_find(buffer.get(), *session_handle, found)) return 0;
    memset(buffer.get(), 0, kBuffer);
    in_batch = 0;
  }
  return 1;
}

// The session's statistics into its group, read for property (a client's
// read) or for the library (null).
uint32_t stats_fill(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session, TavoNode* property) {
  const SessionPrivateRecord* record = private_record(session);
  tavo::SessionAttributesRecord found;
  const auto fetch = [&](tavo::SessionAttributesRecord* r) {
    return stats_fetch(function_number, domain, port, record != nullptr ? &record->handle : nullptr, r);
  };
  const uint32_t status =
      record != nullptr
          ? stats_reads().read({function_number, domain, port, record->handle, 0, 0}, property, &found, fetch)
          : fetch(&found);
  if (status != 0) return status;
  TavoNode* group = internal_get_node(session, "iSCSISessionStatistics", TAVO_KIND_GROUP);
  return group == nullptr || stats_store(group, found) != 0 ? 1 : 0;
}

}  // namespace

uint32_t get_ssnAttr_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  return stats_fill(function_number, domain, port, session, nullptr);
}

namespace {

uint32_t session_statistic(TavoNode* property, char* buf) {
  if (property == nullptr || buf == nullptr || property->parent == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  if (stats_fill(at.number, at.domain, at.port, property->parent->parent, property) != 0) return 1;
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

}  // namespace

uint32_t handle_SsnAttr_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return session_statistic(property, buf);
}

namespace {

uint32_t target_alias(TavoNode* property, char* buf) {
  if (property == nullptr || buf == nullptr || property->parent == nullptr) return 1;
  TavoNode* session = get_first_instance(property->parent, "Session");
  char alias[TAVO_VALUE_SIZE] = "";
  bool read = true;
  if (session != nullptr) {
    // The first session's statistics, read for this property: the Target
    // is one more group of that record.
    TavoNode* statistics = internal_get_node(session, "iSCSISessionStatistics", TAVO_KIND_GROUP);
    TavoNode* shown = internal_get_node(statistics, "SessionTargetAlias", TAVO_KIND_PROPERTY);
    if (statistics == nullptr || shown == nullptr) return 1;
    const tavo::tree::HandlerContext at = tavo::tree::handler_context(shown);
    read = stats_fill(at.number, at.domain, at.port, session, property) == 0;
    if (read) snprintf(alias, sizeof alias, "%s", tavo::tree::property_record(shown)->value);
  }
  if (set_prop_val(property->parent, "TargetAlias", "%s", alias) != 0 || !read) return 1;
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

}  // namespace

uint32_t handle_TargetAlias(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return target_alias(property, buf);
}
