// Sessions whose subtree waits: start-up makes each Session the firmware
// lists as its group alone, with its record and its qualifier held, and
// keeps what the listing read of it; the rest is built from that when
// something first reaches the Session (tree/waiting.h). Most processes
// never look below a Session.
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <unordered_map>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"
#include "tree/waiting.h"

using namespace tavo::sessions;

namespace {

TavoNode* wait_scope = nullptr;

// What a waiting Session's subtree is built from. The record may hold CHAP
// secrets: none stays behind in freed memory.
struct WaitingSubtree {
  TavoNodeRef ref;
  uint8_t domain = 0;
  tavo::FirmwareSessionRecord record{};
  char address[TAVO_VALUE_SIZE] = "";
  char port[TAVO_VALUE_SIZE] = "";
  WaitingSubtree() = default;
  WaitingSubtree(const WaitingSubtree&) = delete;
  WaitingSubtree& operator=(const WaitingSubtree&) = delete;
  ~WaitingSubtree() { explicit_bzero(static_cast<void*>(&record), sizeof record); }
};

// By Session; an entry whose Session is gone (its wait dropped with it)
// goes once such entries may outnumber the live ones.
struct WaitingSubtrees {
  std::unordered_map<const TavoNode*, std::unique_ptr<WaitingSubtree>> by_session;
  size_t pruned_size = 0;
};
WaitingSubtrees& waiting_subtrees() {
  static WaitingSubtrees all;
  return all;
}

bool live(const TavoNode* session, const WaitingSubtree& w) {
  return tavo::tree::ref_node(hm_find_hierarchy_by_node(get_node(0)), w.ref) == session;
}

void prune_waiting_subtrees() {
  WaitingSubtrees& all = waiting_subtrees();
  if (all.by_session.size() < 2 * all.pruned_size + 64) return;
  for (auto it = all.by_session.begin(); it != all.by_session.end();)
    it = live(it->first, *it->second) && tavo::tree::children_wait(it->first) ? std::next(it)
                                                                               : all.by_session.erase(it);
  all.pruned_size = all.by_session.size();
}

// The live entry of session; null when its subtree does not wait.
WaitingSubtree* waiting_subtree(const TavoNode* session) {
  auto& by_session = waiting_subtrees().by_session;
  const auto it = by_session.find(session);
  return it != by_session.end() && live(session, *it->second) && tavo::tree::children_wait(session)
             ? it->second.get()
             : nullptr;
}

// The build of a waiting Session's subtree, as a listing builds a new one.
uint32_t build_waiting_session(TavoNode* session) {
  TAVO_LIBRARY_LOCK;
  auto& by_session = waiting_subtrees().by_session;
  const auto it = by_session.find(session);
  if (it == by_session.end()) return 1;
  const std::unique_ptr<WaitingSubtree> taken = std::move(it->second);
  by_session.erase(it);
  if (!live(session, *taken)) return 1;
  const WaitingSubtree& w = *taken;
  TavoNode* target = session->parent;
  uint32_t result = 1;
  if (add_session_children(session) && internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP) != nullptr &&
      internal_get_node(session, "SessionLoginOptions", TAVO_KIND_GROUP) != nullptr) {
    set_session_login_options(internal_get_node(session, "SessionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                              &w.record.options);
    result = fill_session(session, w.domain, w.record, w.address, w.port);
  }
  return result;
}

}  // namespace

namespace tavo::sessions {

SessionSubtreesWait::SessionSubtreesWait(TavoNode* scope) : before_(wait_scope) { wait_scope = scope; }
SessionSubtreesWait::~SessionSubtreesWait() { wait_scope = before_; }

TavoNode* subtrees_wait_scope() { return wait_scope; }

TavoNode* wait_session(TavoNode* target, const tree::HandlerContext& p, const FirmwareSessionRecord& r,
                       const char* address, const char* port, const char* portal_group_tag) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || wait_scope == nullptr) return nullptr;
  TavoNode* session = build_session_alone(target);
  if (session == nullptr) return nullptr;
  const auto tag = static_cast<uint32_t>(portal_group_tag != nullptr ? strtoul(portal_group_tag, nullptr, 10) : 0);
  if (!attach_record(session, SessionPrivateRecord{p.number, r.handle, 0, tag})) {
    delete_with_records(session);
    return nullptr;
  }
  prune_waiting_subtrees();
  auto& entry = waiting_subtrees().by_session[session];
  entry = std::make_unique<WaitingSubtree>();
  WaitingSubtree& w = *entry;
  w.ref = tree::node_ref(session);
  w.domain = p.domain;
  w.record = r;
  tavo::iscsi::copy_field(w.address, sizeof w.address, address, TAVO_VALUE_SIZE);
  tavo::iscsi::copy_field(w.port, sizeof w.port, port, TAVO_VALUE_SIZE);
  note_waiting_session(session, record_qualifier(r));
  tree::defer_children(session, wait_scope, build_waiting_session);
  return session;
}

bool waiting_connection(TavoNode* session, uint32_t* handle, char address[TAVO_VALUE_SIZE],
                        char port[TAVO_VALUE_SIZE]) {
  // Most often nothing waits: that answer takes no lock.
  if (!tree::children_wait(session)) return false;
  TAVO_LIBRARY_LOCK;
  const WaitingSubtree* w = waiting_subtree(session);
  if (w == nullptr) return false;
  *handle = w->record.connection.handle;
  tavo::iscsi::copy_field(address, TAVO_VALUE_SIZE, w->address, TAVO_VALUE_SIZE);
  tavo::iscsi::copy_field(port, TAVO_VALUE_SIZE, w->port, TAVO_VALUE_SIZE);
  return true;
}

}  // namespace tavo::sessions
