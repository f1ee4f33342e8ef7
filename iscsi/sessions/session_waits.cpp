// Sessions whose subtree waits: a listing makes each Session the firmware
// lists as its group alone, with its record and its qualifier held, and
// keeps what it read of it; the rest is built from that when something
// first reaches the Session (tree/waiting.h), or at once when an action
// lists it. Most processes never look below a Session.
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "tree/waiting.h"

using namespace tavo::sessions;

namespace {

// What a waiting Session's subtree is built from, kept by its wait. The
// record may hold CHAP secrets: none stays behind in freed memory.
struct WaitingSubtree {
  uint8_t domain = 0;
  tavo::FirmwareSessionRecord record{};
  char address[TAVO_VALUE_SIZE] = "";
  char port[TAVO_VALUE_SIZE] = "";
  WaitingSubtree() = default;
  WaitingSubtree(const WaitingSubtree&) = delete;
  WaitingSubtree& operator=(const WaitingSubtree&) = delete;
  ~WaitingSubtree() { explicit_bzero(static_cast<void*>(&record), sizeof record); }
};

// The build of a waiting Session's subtree, as a listing builds a new one.
uint32_t build_waiting_session(TavoNode* session, void* data) {
  TAVO_LIBRARY_LOCK;
  const auto* w = static_cast<const WaitingSubtree*>(data);
  TavoNode* target = session->parent;
  if (w == nullptr || !add_session_children(session) ||
      internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP) == nullptr ||
      internal_get_node(session, "SessionLoginOptions", TAVO_KIND_GROUP) == nullptr)
    return 1;
  set_session_login_options(internal_get_node(session, "SessionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                            &w->record.options);
  return fill_session(session, w->domain, w->record, w->address, w->port);
}

}  // namespace

namespace tavo::sessions {

TavoNode* wait_session(TavoNode* target, const tree::HandlerContext& p, const FirmwareSessionRecord& r,
                       const char* address, const char* port, const char* portal_group_tag) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return nullptr;
  TavoNode* session = build_session_alone(target);
  if (session == nullptr) return nullptr;
  const auto tag = static_cast<uint32_t>(portal_group_tag != nullptr ? strtoul(portal_group_tag, nullptr, 10) : 0);
  if (!attach_record(session, SessionPrivateRecord{p.number, r.handle, 0, tag})) {
    delete_with_records(session);
    return nullptr;
  }
  const auto w = std::make_shared<WaitingSubtree>();
  w->domain = p.domain;
  w->record = r;
  tavo::iscsi::copy_field(w->address, sizeof w->address, address, TAVO_VALUE_SIZE);
  tavo::iscsi::copy_field(w->port, sizeof w->port, port, TAVO_VALUE_SIZE);
  note_waiting_session(session, record_qualifier(r));
  // A build that falls short leaves what it made, as when reached later.
  tree::defer_children(session, build_waiting_session, w);
  return session;
}

bool waiting_connection(TavoNode* session, uint32_t* handle, char address[TAVO_VALUE_SIZE],
                        char port[TAVO_VALUE_SIZE]) {
  TAVO_LIBRARY_LOCK;
  const auto* w = static_cast<const WaitingSubtree*>(tree::waiting_data(session));
  if (w == nullptr) return false;
  *handle = w->record.connection.handle;
  tavo::iscsi::copy_field(address, TAVO_VALUE_SIZE, w->address, TAVO_VALUE_SIZE);
  tavo::iscsi::copy_field(port, TAVO_VALUE_SIZE, w->port, TAVO_VALUE_SIZE);
  return true;
}

}  // namespace tavo::sessions
