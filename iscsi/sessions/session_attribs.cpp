// A session's and its connection's values, read from the firmware's
// record of the session whenever a client reads one of them or refreshes
// the session; the values of one pass over them come from one read
// (iscsi/common/record_reads.h).
#include <stdio.h>
#include <string.h>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/network/network.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/glob.h"

using namespace tavo::sessions;

namespace {

constexpr char kNoIPv4[] = "0.0.0.0";

// An address of a connection record as text.
void attribs_address(const uint8_t* bytes, uint8_t type, char out[TAVO_VALUE_SIZE]) {
  ipaddr_to_string(bytes, out, type);
}

uint32_t attribs_connection(TavoNode* c, const tavo::FirmwareConnectionRecord& r) {
  char source[TAVO_VALUE_SIZE], destination[TAVO_VALUE_SIZE], redirected[TAVO_VALUE_SIZE];
  attribs_address(r.source_address, r.source_type, source);
  attribs_address(r.destination_address, r.destination_type, destination);
  attribs_address(r.redirected_address, r.redirected_type, redirected);
  const bool moved = (r.flags & tavo::kConnectionRedirected) != 0 && strcmp(redirected, kNoIPv4) != 0 &&
                     strcmp(redirected, tavo::network::kNoIPv6Address) != 0;
  uint32_t result = set_prop_val(c, "iSCSIConnectionID", "%u", r.connection_id);
  result |= set_prop_val(c, "Status", "%s",
                         (r.flags & tavo::kConnectionLoggedIn) != 0 ? "Logged-in" : "Connection closed");
  result |= set_prop_val(c, "SourcePortNumber", "%u", r.source_port);
  result |= set_prop_val(c, "DestinationPortNumber", "%u", r.destination_port);
  result |= set_prop_val(c, "SourceIPAddress", "%s", source);
  result |= set_prop_val(c, "DestinationIPAddress", "%s", destination);
  result |= set_prop_val(c, "RedirectedDestinationIPAddress", "%s", moved ? redirected : destination);
  result |= set_prop_val(c, "RedirectedDestinationPort", "%u", moved ? r.redirected_port : r.destination_port);
  return result;
}

// The session's values from the firmware's record, read for property (a
// client's read) or for the library (null).
uint32_t attribs_fill(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session,
                      TavoNode* property) {
  if (OPEN_ISCSI_DRIVER_LOADED) {
    // The status as last stored: its own handler comes here.
    char boot[TAVO_VALUE_SIZE];
    TavoNode* status = internal_get_node(session, "SessionStatus", TAVO_KIND_PROPERTY);
    const bool closed_boot = read_text(session, "iSCSIBoot", boot) && is_word(boot, "True") && status != nullptr &&
                             !is_word(tavo::tree::property_record(status)->value, "Open");
    if (!closed_boot)
      return set_prop_val(session, "SessionTSIH", "N/A") | set_prop_val(session, "Persistent", "True");
  }
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) return 1;
  SessionRecord r = read_session_record(function_number, domain, port, record->handle, property);
  if (r == nullptr) return 1;
  char initiator[TAVO_VALUE_SIZE];
  snprintf(initiator, sizeof initiator, "%.*s", static_cast<int>(strnlen(r->initiator_name, 224)), r->initiator_name);
  uint32_t result = TAVO_update_connection_props(r.get(), session);
  result |= set_prop_val(session, "SessionTSIH", "%u", r->tsih);
  result |= show_qualifier(session, record_qualifier(*r));
  result |= set_prop_val(session, "ISID", "%02x%02x%02x%02x%02x%02x", r->isid[0], r->isid[1], r->isid[2], r->isid[3],
                         r->isid[4], r->isid[5]);
  result |= set_prop_val(session, "SessionStatus", "%s", session_status_text(r->state));
  result |= set_prop_val(session, "SessionInitiatorName", "%s", initiator);
  if (domain == 0)
    result |= set_prop_val(session, "Persistent", "%s",
                           (r->flags & tavo::kSessionNotPersistent) != 0 ? "False" : "True");
  return result;
}

// A session or connection property read: the session's values fetched,
// then the stored text.
uint32_t attribs_read(TavoNode* property, TavoNode* session, char* buf) {
  if (property == nullptr || buf == nullptr || session == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  const uint32_t r = attribs_fill(at.number, at.domain, at.port, session, property);
  if (r != 0) return r;
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

}  // namespace

uint32_t TAVO_update_connection_props(const tavo::FirmwareSessionRecord* record, TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  if (record == nullptr || session == nullptr) return 1;
  for (uint32_t i = 0; i < connection_records(*record); ++i) {
    TavoNode* found = nullptr;
    for (TavoNode* c = get_first_instance(session, "Connection"); c != nullptr && found == nullptr;
         c = next_instance(c)) {
      const SessionPrivateRecord* r = private_record(c);
      if (r == nullptr) break;
      if (r->handle == record->connection.handle) found = c;
    }
    if (found == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: no connection of handle 0x%x\n", __func__, record->connection.handle);
      return 1;
    }
    if (attribs_connection(found, record->connection) != 0) return 1;
  }
  return 0;
}

namespace {

// A Connection's stored destination, as a read of it answers when no
// record fills it.
bool view_stored_portal(TavoNode* c, tavo::sessions::SessionView* out) {
  out->has_portal = read_text(c, "DestinationIPAddress", out->address) &&
                    read_text(c, "DestinationPortNumber", out->port);
  return true;
}

// The stored texts, where the software initiator keeps the session.
bool view_stored(TavoNode* session, tavo::sessions::SessionView* out) {
  char qualifier[TAVO_VALUE_SIZE];
  if (!read_text(session, "SessionStatus", out->status) || !read_text(session, "ISIDQualifier", qualifier) ||
      !read_text(session, "SessionInitiatorName", out->initiator))
    return false;
  out->qualifier = parse_qualifier(qualifier);
  return view_stored_portal(first_connection(session), out);
}

// What the record says of the session.
void view_record(const tavo::FirmwareSessionRecord& r, const char* status, tavo::sessions::SessionView* out) {
  tavo::iscsi::copy_field(out->status, sizeof out->status, status, strlen(status));
  out->qualifier = record_qualifier(r);
  tavo::iscsi::copy_field(out->initiator, sizeof out->initiator, r.initiator_name, sizeof r.initiator_name);
}

// The destination of the connection the record names.
bool view_record_portal(const tavo::FirmwareSessionRecord& r, tavo::sessions::SessionView* out) {
  attribs_address(r.connection.destination_address, r.connection.destination_type, out->address);
  tavo::base::write_decimal(out->port, r.connection.destination_port);
  out->has_portal = true;
  return true;
}

}  // namespace

bool tavo::sessions::session_view(TavoNode* session, SessionView* out) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr || out == nullptr) return false;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    // As attribs_fill: only a closed boot session is read from the firmware.
    char boot[TAVO_VALUE_SIZE];
    TavoNode* status = internal_get_node(session, "SessionStatus", TAVO_KIND_PROPERTY);
    const bool closed_boot = read_text(session, "iSCSIBoot", boot) && is_word(boot, "True") && status != nullptr &&
                             !is_word(tavo::tree::property_record(status)->value, "Open");
    if (!closed_boot) return view_stored(session, out);
  }
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) return false;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(session);
  SessionRecord r = read_session_record(at.number, at.domain, at.port, record->handle, nullptr);
  if (r == nullptr) return false;
  const char* status = session_status_text(r->state);
  // A waiting Session answers as the one Connection it will have.
  uint32_t waiting_handle = 0;
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
  if (waiting_connection(session, &waiting_handle, address, port)) {
    const bool named = connection_records(*r) > 0 && waiting_handle == r->connection.handle;
    if (connection_records(*r) > 0 && !named) return false;
    view_record(*r, status, out);
    if (named) return view_record_portal(*r, out);
    tavo::iscsi::copy_field(out->address, sizeof out->address, address, TAVO_VALUE_SIZE);
    tavo::iscsi::copy_field(out->port, sizeof out->port, port, TAVO_VALUE_SIZE);
    out->has_portal = true;
    return true;
  }
  // The connection the record names, as TAVO_update_connection_props finds it.
  TavoNode* named = nullptr;
  if (connection_records(*r) > 0) {
    for (TavoNode* c = first_connection(session); c != nullptr && named == nullptr; c = next_instance(c)) {
      const SessionPrivateRecord* cr = private_record(c);
      if (cr == nullptr) break;
      if (cr->handle == r->connection.handle) named = c;
    }
    if (named == nullptr) return false;
  }
  view_record(*r, status, out);
  TavoNode* first = first_connection(session);
  if (first == nullptr || first != named) return view_stored_portal(first, out);
  return view_record_portal(*r, out);
}

uint32_t get_session_attribs(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return 1;
  return attribs_fill(function_number, domain, port, session, nullptr);
}

uint32_t group_Session(TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return 1;
  const SessionPrivateRecord* record = private_record(session);
  if (record == nullptr) return 0;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(session);
  if (get_session_attribs(record->function_number, at.domain, at.port, session) != 0) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) TAVO_op_refresh_session_attribs(session);
  return 0;
}

uint32_t handle_session_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return attribs_read(property, property != nullptr ? property->parent : nullptr, buf);
}

uint32_t handle_connection_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  TavoNode* connection = property != nullptr ? property->parent : nullptr;
  return attribs_read(property, connection != nullptr ? connection->parent : nullptr, buf);
}
