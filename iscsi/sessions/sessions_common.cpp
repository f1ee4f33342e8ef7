// What the session code shares: the session record's handle index, status
// texts and the portal of a session.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/glob.h"

namespace tavo::sessions {

bool attach_record(TavoNode* group, const SessionPrivateRecord& record) {
  auto* r = static_cast<SessionPrivateRecord*>(tavo_dmalloc(sizeof record));
  if (r == nullptr) return false;
  *r = record;
  if (void* old = tree::group_record(group)->nhandle) tavo_dfree(old);
  tree::group_record(group)->nhandle = r;
  note_session_handle(group);
  return true;
}

void note_session_handle(TavoNode* session) {
  const SessionPrivateRecord* r = private_record(session);
  if (r == nullptr || strcasecmp(session->name, "Session") != 0 || session->parent == nullptr ||
      strcasecmp(session->parent->name, "Target") != 0)
    return;
  session_handles().note(iscsi::GroupKey{session->parent->parent, r->handle}, session);
}

bool holds_handle(const iscsi::GroupKey& key, TavoNode* session) {
  const SessionPrivateRecord* r = private_record(session);
  return r != nullptr && r->handle == key.value;
}

SessionHandles& session_handles() {
  static base::NoDestructor<SessionHandles> index;
  return *index;
}

const char* session_status_text(uint32_t state) {
  static constexpr struct {
    uint32_t bits;
    const char* text;
  } kStates[] = {
      {0x1, "Open"},         {0x20, "Closed"},           {0x2, "Login in Progress"}, {0x100, "Login failed"},
      {0x800, "Logout failed"}, {0x1000 | 0x40, "In Recovery"}, {0x2000, "Deleted"},
  };
  for (const auto& s : kStates)
    if ((state & s.bits) != 0) return s.text;
  return "Unknown";
}

uint16_t parse_qualifier(const char* text) { return static_cast<uint16_t>(strtoul(text, nullptr, 16)); }

bool reusable_status(const char* status) { return is_word(status, "Closed") || is_word(status, "Login Failed"); }

bool session_portal(TavoNode* session, char address[TAVO_VALUE_SIZE], char port[TAVO_VALUE_SIZE]) {
  TavoNode* c = first_connection(session);
  return read_text(c, "DestinationIPAddress", address) && read_text(c, "DestinationPortNumber", port);
}

bool goes_to(const SessionView& view, const char* address, const char* port) {
  return view.has_portal && is_word(view.address, address) && is_word(view.port, port);
}

bool software_initiator(uint32_t function_number) {
  return function_number >= 1 && function_number <= TAVO_MAX_FUNCTIONS &&
         (tavo_glob.function_flags[function_number - 1] & TAVO_FUNCTION_SOFTWARE_INITIATOR) != 0;
}

uint32_t read_target_eto(TavoNode* target, char out[TAVO_VALUE_SIZE]) {
  TavoNode* property = internal_get_node(target, "ETO", TAVO_KIND_PROPERTY);
  out[0] = '\0';
  return property != nullptr && property->record != nullptr ? handle_Target_ETO(property, out, TAVO_PROPERTY_GET) : 1;
}

uint32_t target_eto(TavoNode* target) {
  char text[TAVO_VALUE_SIZE];
  return read_target_eto(target, text) == 0 ? static_cast<uint32_t>(strtoul(text, nullptr, 10)) : 0;
}

void write_hex4(char* out, uint16_t number) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) out[i] = kDigits[(number >> (12 - 4 * i)) & 0xF];
  out[4] = '\0';
}

}  // namespace tavo::sessions

tavo::FirmwareSessionRecord* TAVO_get_session_params(uint32_t session_handle, uint32_t function_number, uint32_t domain,
                                                     uint32_t port) {
  TAVO_LIBRARY_LOCK;
  return tavo::sessions::read_session_record(function_number, domain, port, session_handle, nullptr).release();
}
