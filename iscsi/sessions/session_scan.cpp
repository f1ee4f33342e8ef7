// The firmware owns the sessions; the tree mirrors them. The rebuild of
// the Session and Connection groups from the firmware's active sessions,
// the recognition of a session the tree shows already, and the refresh of
// a Target.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "base/no_destructor.h"
#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/target_data/node_index.h"
#include "transport/commands.h"
#include "transport/record_changes.h"
#include "transport/glob.h"
#include "tree/waiting.h"

using namespace tavo::sessions;
using tavo::iscsi::copy_field;

uint32_t tavo::sessions::read_session_list(uint32_t function_number, uint32_t domain, uint32_t port,
                                           SessionList* list, bool* sized) {
  uint32_t query[3] = {kSessionListKind, 0, 0};
  uint16_t length = 0;
  const auto d = static_cast<uint8_t>(domain);
  const auto pt = static_cast<uint8_t>(port);
  const uint32_t asked = ioctl_get_activesessionidbuffersize(function_number, query, &length, d, pt);
  *sized = asked == 0 && length != 0;
  if (!*sized) {
    sessions_status(31);
    return asked;
  }
  // Never less than the head the reader looks at.
  const size_t size = length > sizeof(SessionListHead) ? length : sizeof(SessionListHead);
  list->bytes = zeroed_buffer(size);
  if (list->bytes == nullptr) return 1;
  memcpy(list->bytes.get(), &kSessionListKind, sizeof kSessionListKind);
  if (ioctl_get_activesessionid(function_number, list->bytes.get(), length, d, pt) != 0) {
    sessions_status(84);
    return 1;
  }
  memcpy(&list->count, list->bytes.get(), sizeof list->count);
  const auto room = static_cast<uint32_t>((size - sizeof(SessionListHead)) / 4);
  if (list->count > room) list->count = room;
  return 0;
}

uint32_t tavo::sessions::session_handles(uint32_t function_number, uint32_t domain, uint32_t port,
                                        std::vector<uint32_t>* handles) {
  const tavo::iscsi::RecordKey key{function_number, domain, port, 0, 0, 0};
  if (tavo::iscsi::session_list_reads().kept(key, handles)) return 0;
  handles->clear();
  SessionList list;
  bool sized = false;
  if (const uint32_t listed = read_session_list(function_number, domain, port, &list, &sized)) return listed;
  if (!sized || list.count == 0) return 0;
  handles->reserve(list.count);
  for (uint32_t i = 0; i < list.count; ++i) handles->push_back(list.handle(i));
  tavo::iscsi::session_list_reads().keep(key, *handles);
  return 0;
}

namespace {

void scan_text(char* out, const char* field, size_t size) { copy_field(out, TAVO_VALUE_SIZE, field, size); }

// A secret as the tree shows it: its characters when they all print, else
// "0x" and its bytes in hexadecimal.
void scan_secret(char* out, const uint8_t* bytes, uint16_t length) {
  const size_t n = length < 16 ? length : 16;
  bool printable = true;
  for (size_t i = 0; i < n; ++i) printable = printable && bytes[i] >= 0x20 && bytes[i] < 0x7F;
  if (printable) {
    copy_field(out, TAVO_VALUE_SIZE, reinterpret_cast<const char*>(bytes), n);
    return;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  out[0] = '0';
  out[1] = 'x';
  for (size_t i = 0; i < n; ++i) {
    out[2 + 2 * i] = kDigits[bytes[i] >> 4];
    out[3 + 2 * i] = kDigits[bytes[i] & 0xF];
  }
  out[2 + 2 * n] = '\0';
}

const char* scan_method(uint8_t authentication, uint32_t direction) {
  if (authentication == 0) return "None";
  if (authentication != 1) return nullptr;
  return direction == 0 ? "One-Way CHAP" : direction == 1 ? "Mutual CHAP" : nullptr;
}

// The first 28 bytes of a connection's login options: its negotiated ones.
tavo::NegotiatedConnectionOptions scan_negotiated(const tavo::ConnectionLoginOptions& o) {
  tavo::NegotiatedConnectionOptions n;
  static_assert(sizeof n <= sizeof o);
  memcpy(&n, &o, sizeof n);
  return n;
}

// The Connection of session whose record holds that handle; false when a
// Connection has no record.
bool scan_connection(TavoNode* session, uint32_t handle, TavoNode** found) {
  *found = nullptr;
  for (TavoNode* c = get_first_instance(session, "Connection"); c != nullptr; c = next_instance(c)) {
    const SessionPrivateRecord* r = private_record(c);
    if (r == nullptr) return false;
    if (r->handle == handle && *found == nullptr) *found = c;
  }
  return true;
}

// The values a new Session and its Connection take from the firmware.
uint32_t scan_fill(TavoNode* session, TavoNode* connection, const tavo::FirmwareSessionRecord& r, const char* address,
                   const char* port) {
  uint32_t result = show_qualifier(session, record_qualifier(r));
  char initiator[TAVO_VALUE_SIZE];
  scan_text(initiator, r.initiator_name, sizeof r.initiator_name);
  result |= set_prop_val(session, "SessionInitiatorName", "%s", initiator);
  result |= set_prop_val(session, "SessionStatus", "%s", session_status_text(r.state));
  const tavo::tree::StoredValue destination[] = {{"DestinationIPAddress", address}, {"DestinationPortNumber", port}};
  return result | tavo::tree::store_values(connection, destination);
}

// One connection of a firmware session into the target: a new Session and
// Connection unless the target shows it already; 0, or 1 with *why (for
// the log).
uint32_t scan_connection_record(const tavo::tree::HandlerContext& p, TavoNode* target,
                                const tavo::FirmwareSessionRecord& r, char* params, const char** why) {
  const tavo::FirmwareConnectionRecord& c = r.connection;
  char* address = param(params, 0);
  ipaddr_to_string(c.destination_address, address, c.destination_type);
  tavo::base::write_decimal(param(params, 1), c.destination_port);
  scan_text(param(params, 2), r.initiator_name, sizeof r.initiator_name);
  write_hex4(param(params, 3), static_cast<uint16_t>(r.isid[4] << 8 | r.isid[5]));
  char tag[TAVO_VALUE_SIZE];
  TavoNode* portal = find_target_portal(target, address, param(params, 1));
  *why = "its target has no portal of its address and port";
  if (portal == nullptr || !read_text(portal, "PortalGroupTag", tag)) return 1;
  uint32_t duplicate = 0;
  TavoNode* session = nullptr;
  TavoNode* connection = nullptr;
  const uint32_t checked = TAVO_check_for_duplicate_session(target, p.number, p.domain, p.port, params, &duplicate,
                                                            &session, &connection);
  *why = "the sessions its target shows cannot be read";
  if (checked == 335 && OPEN_ISCSI_DRIVER_LOADED) {
    delete_with_records(get_first_instance(target, "Session"));
  } else if (checked != 0) {
    return 1;
  }
  const tavo::NegotiatedConnectionOptions negotiated = scan_negotiated(c.options);
  if (duplicate == 1) {
    if (session == nullptr || connection == nullptr) return 0;
    setup_initiator_target_loginopts(session, &c.options);
    set_connection_login_options(internal_get_node(connection, "ConnectionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                                 &negotiated);
    return 0;
  }
  if ((r.state & tavo::kSessionStateOpen) != 0) setup_initiator_target_loginopts(target, &c.options);
  // Its subtree is built from r when reached; the target's ETO is read now.
  *why = "its Session cannot be made";
  if (wait_session(target, p, r, address, param(params, 1), tag) == nullptr) return 1;
  *why = "its target's ETO cannot be read";
  return get_eto_prop(p.number, p.domain, p.port, target) != 0 ? 1 : 0;
}

// A session the listing cannot place is told in the log with the reason
// and passed over: the others are listed still.
void scan_pass_over(uint32_t handle, const char* name, const char* why) {
  pdebug(TAVO_LOG_BACKEND, 3, "%s: session %u%s%s not listed: %s\n", "get_all_sessions", handle,
         name != nullptr ? " of " : "", name != nullptr ? name : "", why);
}

// Each connection of the session into owner; one that cannot be placed
// passes the session over.
void scan_session(const tavo::tree::HandlerContext& p, TavoNode* owner, uint32_t handle,
                  const tavo::FirmwareSessionRecord& r, char* params) {
  const char* why = nullptr;
  for (uint32_t c = 0; c < connection_records(r); ++c)
    if (scan_connection_record(p, owner, r, params, &why) != 0) {
      char name[TAVO_VALUE_SIZE];
      scan_text(name, r.target_name, sizeof r.target_name);
      scan_pass_over(handle, name, why);
      return;
    }
}

}  // namespace

uint32_t tavo::sessions::fill_session(TavoNode* session, uint8_t domain, const FirmwareSessionRecord& r,
                                      const char* address, const char* port) {
  const tavo::FirmwareConnectionRecord& c = r.connection;
  uint32_t result = set_prop_val(session, "iSCSIBoot", "%s", (r.flags & tavo::kSessionBoot) != 0 ? "True" : "False");
  if (domain == 0)
    result |=
        set_prop_val(session, "Persistent", "%s", (r.flags & tavo::kSessionNotPersistent) != 0 ? "False" : "True");
  result |= setup_initiator_target_loginopts(session, &c.options);
  const tavo::NegotiatedConnectionOptions negotiated = scan_negotiated(c.options);
  TavoNode* connection = setup_connection(session, c.handle, &negotiated, nullptr, nullptr, nullptr);
  if (connection == nullptr) return 1;
  return result | scan_fill(session, connection, r, address, port) ? 1 : 0;
}

namespace {

// The waiting session of handle goes to a target named otherwise than the
// name hashed.
bool held_by_other(const WaitingSessions* held, uint32_t handle, uint64_t name) {
  return held != nullptr && held->named_otherwise(handle, name);
}

// Which of the firmware's listed handles (marked at their places) are
// those of sessions the tree shows under the LogicalHBA's Targets of
// another name than name: a refresh of one Target leaves their records
// unread. Each handle's Sessions are looked up, not the Targets walked.
// false when such a Target's name cannot be read.
bool sessions_of_others(TavoNode* lhba, const char* name, const std::vector<uint32_t>& listed,
                        std::vector<uint8_t>* other_at) {
  bool readable = true;
  TavoNode* last = nullptr;  // the Target read last, most often the next one's too
  bool last_other = false;
  other_at->assign(listed.size(), 0);
  // Each listed handle is asked once a refresh: the index and the marks are
  // reached once, not through the vector at every handle.
  uint8_t* const marks = other_at->data();
  SessionHandles& index = session_handles();
  const WaitingSessions* held = waiting_sessions_of(lhba);
  const uint64_t folded = held != nullptr ? tavo::target_data::target_name_hash(name) : 0;
  for (size_t at = 0, count = listed.size(); at < count; ++at) {
    const uint32_t handle = listed[at];
    bool other = held_by_other(held, handle, folded);
    index.each(tavo::iscsi::GroupKey{lhba, handle}, [&](TavoNode* session) {
      TavoNode* target = session->parent;
      if (target != last) {
        const char* text = tavo::target_data::target_stored_name(target);
        if (text == nullptr) {
          readable = false;
          return;
        }
        last = target;
        last_other = strcasecmp(text, name) != 0;
      }
      other = other || last_other;
    });
    marks[at] = other ? 1 : 0;
  }
#ifndef NDEBUG
  // A walk would build Targets that wait: those are checked once built.
  if (tavo::tree::children_wait(lhba)) return readable;
  std::vector<uint32_t> others;
  for (size_t at = 0; at < listed.size(); ++at)
    if ((*other_at)[at] != 0) others.push_back(listed[at]);
  std::sort(others.begin(), others.end());
  others.erase(std::unique(others.begin(), others.end()), others.end());
  // A Session filed under a handle its record no longer holds would be
  // read: the debug builds check every listing against the walk.
  std::vector<uint32_t> walked;
  for (const uint32_t handle : listed)
    if (held_by_other(held, handle, folded)) walked.push_back(handle);
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    char other[TAVO_VALUE_SIZE];
    if (get_first_instance(t, "Session") == nullptr || !read_text(t, "TargetISCSIName", other) ||
        strcasecmp(other, name) == 0)
      continue;
    for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s))
      if (const SessionPrivateRecord* record = private_record(s);
          record != nullptr && std::find(listed.begin(), listed.end(), record->handle) != listed.end())
        walked.push_back(record->handle);
  }
  std::sort(walked.begin(), walked.end());
  walked.erase(std::unique(walked.begin(), walked.end()), walked.end());
  if (readable && walked != others) {
    pdebug(TAVO_LOG_BACKEND, 0, "%s: the handle index lost a session\n", __func__);
    abort();
  }
#endif
  return readable;
}

}  // namespace

namespace tavo::sessions {

// What a listing holds between its stops.
struct SessionListing::State {
  tree::HandlerContext p;
  TavoNode* lhba = nullptr;
  TavoNode* target = nullptr;
  char* params = nullptr;
  ParamTexts own;
  std::vector<uint32_t> handles;  // the firmware's active sessions
  std::vector<uint8_t> other_at;  // per handle: another target's, left unread
  uint32_t next = 0;
  char wanted[TAVO_VALUE_SIZE] = "";
  SessionRecord missing;
};

SessionListing::SessionListing() : state_(std::make_unique<State>()) {}
SessionListing::~SessionListing() = default;

uint32_t SessionListing::start(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                               TavoNode* target, char* params) {
  State& l = *state_;
  l.p = tavo::tree::handler_context(lhba);
  if (lhba == nullptr || !below_lhba(l.p)) return 1;
  l.p.number = function_number;
  l.p.domain = static_cast<uint8_t>(domain);
  l.p.port = static_cast<uint8_t>(port_number);
  l.lhba = lhba;
  l.target = target;
  l.params = params != nullptr ? params : l.own.data();
  if (const uint32_t listed = session_handles(function_number, domain, port_number, &l.handles)) return listed;
  l.other_at.clear();
  if (l.handles.empty()) return 0;
  if (target != nullptr) {
    // The name as stored: its property has no handler.
    const char* wanted = tavo::target_data::target_stored_name(target);
    if (wanted == nullptr) return 1;
    copy_field(l.wanted, sizeof l.wanted, wanted, sizeof l.wanted - 1);
    purge_nodes_within(target, "Session");
    if (!sessions_of_others(lhba, l.wanted, l.handles, &l.other_at)) return 1;
  }
  return 0;
}

uint32_t SessionListing::run() {
  State& l = *state_;
  // Most handles are other Targets': passed over, the marks reached once.
  const size_t count = l.handles.size();
  const uint8_t* const others = l.other_at.empty() ? nullptr : l.other_at.data();
  for (; l.next < count; ++l.next) {
    if (others != nullptr && others[l.next] != 0) continue;
    const uint32_t handle = l.handles[l.next];
    SessionRecord r(TAVO_get_session_params(handle, l.p.number, l.p.domain, l.p.port));
    if (r == nullptr) {
      scan_pass_over(handle, nullptr, "its record cannot be read");
      continue;
    }
    if (OPEN_ISCSI_DRIVER_LOADED && (r->flags & tavo::kSessionBoot) == 0) continue;
    char name[TAVO_VALUE_SIZE];
    scan_text(name, r->target_name, sizeof r->target_name);
    TavoNode* owner = l.target;
    if (owner != nullptr && strcasecmp(name, l.wanted) != 0) continue;
    if (owner == nullptr && (owner = tavo::target_data::built_target(l.lhba, name)) == nullptr) {
      l.missing = std::move(r);
      return kTargetMissing;
    }
    scan_session(l.p, owner, handle, *r, l.params);
  }
  return 0;
}

const FirmwareSessionRecord* SessionListing::missing() const { return state_->missing.get(); }

uint32_t SessionListing::own(TavoNode* owner) {
  State& l = *state_;
  SessionRecord r = std::move(l.missing);
  if (r == nullptr) return 1;
  const uint32_t handle = l.handles[l.next++];
  if (owner != nullptr) {
    scan_session(l.p, owner, handle, *r, l.params);
    return 0;
  }
  char name[TAVO_VALUE_SIZE];
  scan_text(name, r->target_name, sizeof r->target_name);
  scan_pass_over(handle, name, "no target of that name");
  return 0;
}

namespace {
// Other processes' changes of the root: waiting sessions held before the
// last are outdated, and those followed since are not.
uint64_t outside_changes = 0;
uint64_t followed_changes = 0;
}  // namespace

namespace {
// A LogicalHBA's waiting sessions: its wait's data.
WaitingSessions* scan_waiting(const tavo::tree::InstancesWait& w) { return static_cast<WaitingSessions*>(w.data); }

// The qualifiers of every WaitingSessions, as bits: those of one that held
// none join them as it shows them; made from the waits again once some
// WaitingSessions' qualifiers changed otherwise (version moved). None wait
// when the process begins.
struct HeldQualifiers {
  std::vector<uint64_t> words;
  uint64_t version = 1, made_at = 1;
  bool current() const { return made_at == version; }
  void add(const std::vector<uint64_t>& held) {
    if (words.size() < held.size()) words.resize(held.size());
    for (size_t word = 0; word < held.size(); ++word) words[word] |= held[word];
  }
};
HeldQualifiers& held_qualifiers() {
  static tavo::base::NoDestructor<HeldQualifiers> held;
  return *held;
}
}  // namespace

const std::vector<uint64_t>& waiting_qualifiers() {
  HeldQualifiers& all = held_qualifiers();
  if (all.current()) return all.words;
  all.words.clear();
  for (const tavo::tree::InstancesWait* i = tavo::tree::first_instances_wait(); i != nullptr; i = i->next)
    all.add(scan_waiting(*i)->held_);
  all.made_at = all.version;
  return all.words;
}

void WaitingSessions::let_go() {
  if (!shown_.empty()) ++held_qualifiers().version;
  std::vector<Shown>().swap(shown_);
  std::vector<uint64_t>().swap(held_);
  holding_ = false;
  records_ = {};
  added_ = {};
  std::vector<uint32_t>().swap(handles_);
  std::vector<uint32_t>().swap(record_at_);
  listed_ = false;
}

bool WaitingSessions::outdated() const { return holding_ && followed_ != outside_changes; }

void outdate_waiting_sessions() { ++outside_changes; }
uint64_t outside_root_changes() { return outside_changes; }

bool WaitingSessions::named_otherwise(uint32_t handle, uint64_t name) const {
  const auto it = std::lower_bound(shown_.begin(), shown_.end(), handle,
                                   [](const Shown& s, uint32_t h) { return s.handle < h; });
  return it != shown_.end() && it->handle == handle && it->target != name;
}

uint32_t WaitingSessions::hold(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (lhba == nullptr || !below_lhba(p)) return 1;
  let_go();
  std::vector<Shown> shown;
  if (const uint32_t listed = session_handles(p.number, p.domain, p.port, &handles_)) return listed;
  records_.reserve(handles_.size());
  record_at_.reserve(handles_.size());
  shown.reserve(handles_.size());
  for (const uint32_t handle : handles_) {
    SessionRecord r(TAVO_get_session_params(handle, p.number, p.domain, p.port));
    if (r == nullptr) {
      let_go();
      return 1;
    }
    if (connection_records(*r) > 0) {
      const std::string_view target(r->target_name, strnlen(r->target_name, sizeof r->target_name));
      shown.push_back({handle, record_qualifier(*r), tavo::target_data::target_name_hash(target)});
    }
    record_at_.push_back(static_cast<uint32_t>(records_.size()));
    records_.push_back(*r);
    explicit_bzero(static_cast<void*>(r.get()), sizeof *r);
  }
  records_.shrink();
  changes_ = tavo::command::changes_noted();
  listed_ = true;  // an empty answer too: the build asks no more
  holding_ = true;
  followed_ = outside_changes;
  show(std::move(shown));
  return 0;
}

void WaitingSessions::show(std::vector<Shown> shown) {
  const bool held_none = held_.empty();
  std::sort(shown.begin(), shown.end(), [](const Shown& x, const Shown& y) { return x.handle < y.handle; });
  shown_ = std::move(shown);
  held_.clear();
  for (const Shown& s : shown_) {
    if (s.qualifier / 64u >= held_.size()) held_.resize(s.qualifier / 64u + 1);
    held_[s.qualifier / 64u] |= uint64_t{1} << (s.qualifier % 64);
  }
  held_.shrink_to_fit();
  HeldQualifiers& all = held_qualifiers();
  if (held_none && all.current())
    all.add(held_);
  else
    ++all.version;
}

void WaitingSessions::follow(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  if (!outdated()) return;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  std::vector<uint32_t> handles;
  if (lhba == nullptr || !below_lhba(p) || session_handles(p.number, p.domain, p.port, &handles) != 0) return;
  std::vector<Shown> shown;
  for (const uint32_t handle : handles) {
    const auto held = std::lower_bound(shown_.begin(), shown_.end(), handle,
                                       [](const Shown& s, uint32_t h) { return s.handle < h; });
    if (held != shown_.end() && held->handle == handle) {
      shown.push_back(*held);
      continue;
    }
    // A session of a Target that joined them is its built Session's.
    bool built = false;
    session_handles().each(tavo::iscsi::GroupKey{lhba, handle}, [&](TavoNode*) { built = true; });
    if (built) continue;
    SessionRecord r(TAVO_get_session_params(handle, p.number, p.domain, p.port));
    if (r == nullptr) return;
    if (connection_records(*r) > 0) {
      const std::string_view target(r->target_name, strnlen(r->target_name, sizeof r->target_name));
      shown.push_back({handle, record_qualifier(*r), tavo::target_data::target_name_hash(target)});
    }
    explicit_bzero(static_cast<void*>(r.get()), sizeof *r);
  }
  show(std::move(shown));
  // The targets are built from the adapter as it is now.
  records_ = {};
  added_ = {};
  std::vector<uint32_t>().swap(handles_);
  std::vector<uint32_t>().swap(record_at_);
  listed_ = false;
  followed_ = outside_changes;
}

void follow_waiting_sessions() {
  TAVO_LIBRARY_LOCK;
  if (followed_changes == outside_changes) return;
  bool all = true;
  // A follow adds and takes no wait: the list stands.
  for (const tavo::tree::InstancesWait* i = tavo::tree::first_instances_wait(); i != nullptr; i = i->next) {
    WaitingSessions* w = scan_waiting(*i);
    if (!w->outdated()) continue;
    w->follow(i->group);
    all = all && !w->outdated();
  }
  // One whose reads failed is followed again at the next question.
  if (all) followed_changes = outside_changes;
}

void WaitingSessions::renew(const tavo::tree::HandlerContext& p) {
  TAVO_LIBRARY_LOCK;
  if (!listed_ || !below_lhba(p)) return;
  uint64_t seen = changes_;
  const std::array<uint32_t, 3> function{p.number, p.domain, p.port};
  if (!tavo::command::changed_since(&seen, tavo::command::kSessions, &function)) return;
  // Reads that fail leave the build to read them all anew.
  listed_ = false;
  std::vector<uint32_t> handles;
  if (session_handles(p.number, p.domain, p.port, &handles) != 0) return;
  std::vector<uint32_t> record_at;
  record_at.reserve(handles.size());
  size_t next = 0;  // the list keeps its order: a held handle is looked for where the last one was
  for (const uint32_t handle : handles) {
    const size_t at = next < handles_.size() && handles_[next] == handle
                          ? next
                          : static_cast<size_t>(std::find(handles_.begin(), handles_.end(), handle) - handles_.begin());
    // What was read of a session held stands: only a new one is read.
    if (at < handles_.size() && at < record_at_.size()) {
      record_at.push_back(record_at_[at]);
      next = at + 1;
      continue;
    }
    SessionRecord r(TAVO_get_session_params(handle, p.number, p.domain, p.port));
    if (r == nullptr) return;
    record_at.push_back(static_cast<uint32_t>(records_.size() + added_.size()));
    added_.push_back(*r);
    explicit_bzero(static_cast<void*>(r.get()), sizeof *r);
  }
  handles_ = std::move(handles);
  record_at_ = std::move(record_at);
  changes_ = tavo::command::changes_noted();
  listed_ = true;
}

void WaitingSessions::release(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  if (listed_ && lhba != nullptr && below_lhba(p)) {
    // What start-up read stands unless a command sent to this function has
    // changed its sessions since: one sent elsewhere, which a tree built at
    // start-up would not have read back either, leaves it.
    uint64_t seen = changes_;
    const std::array<uint32_t, 3> function{p.number, p.domain, p.port};
    if (!tavo::command::changed_since(&seen, tavo::command::kSessions, &function)) {
      tavo::iscsi::session_list_reads().keep({p.number, p.domain, p.port, 0, 0, 0}, handles_);
      for (size_t i = 0; i < record_at_.size() && i < handles_.size(); ++i) {
        const size_t at = record_at_[i];
        tavo::FirmwareSessionRecord r = at < records_.size() ? records_.at(at) : added_.at(at - records_.size());
        tavo::iscsi::keep_session_record(p.number, p.domain, p.port, handles_[i], r);
        explicit_bzero(static_cast<void*>(&r), sizeof r);
      }
    }
  }
  let_go();
}

void release_session_stores() {
  // The qualifiers' bits go: none are held once no wait is left, else they
  // are made again when next asked.
  HeldQualifiers& all = held_qualifiers();
  std::vector<uint64_t>().swap(all.words);
  ++all.version;
  if (tavo::tree::first_instances_wait() == nullptr) all.made_at = all.version;
  session_handles().release();
  release_qualifiers();
}

uint32_t drop_ended_sessions(TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(lhba);
  std::vector<uint32_t> listed;
  if (lhba == nullptr || !below_lhba(p)) return 1;
  if (const uint32_t read = session_handles(p.number, p.domain, p.port, &listed)) return read;
  std::sort(listed.begin(), listed.end());
  std::vector<TavoNode*> ended;
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t))
    for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s))
      if (const SessionPrivateRecord* r = private_record(s);
          r != nullptr && !std::binary_search(listed.begin(), listed.end(), r->handle))
        ended.push_back(s);
  for (TavoNode* s : ended) delete_with_records(s);
  return 0;
}

uint32_t list_target_sessions(TavoNode* lhba, uint32_t function_number, uint32_t domain, uint32_t port_number,
                              TavoNode* target, char* params) {
  SessionListing listing;
  if (const uint32_t started = listing.start(lhba, function_number, domain, port_number, target, params))
    return started;
  for (uint32_t listed = listing.run();; listed = listing.run())
    if (listed != SessionListing::kTargetMissing || listing.own(nullptr) != 0) return listed;
}

}  // namespace tavo::sessions

uint32_t TAVO_check_for_duplicate_session(TavoNode* target, uint32_t function_number, uint32_t domain, uint32_t port,
                                          char* params, uint32_t* duplicate, TavoNode** session,
                                          TavoNode** connection) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || params == nullptr || duplicate == nullptr || session == nullptr || connection == nullptr)
    return 1;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    const SessionPrivateRecord* record = private_record(s);
    if (record == nullptr) return 335;
    SessionRecord r(TAVO_get_session_params(record->handle, function_number, domain, port));
    if (r == nullptr) return 1;
    for (uint32_t i = 0; i < connection_records(*r); ++i) {
      char address[TAVO_VALUE_SIZE], port_text[TAVO_VALUE_SIZE], initiator[TAVO_VALUE_SIZE];
      // A waiting Session is compared as its Connection will be, and built
      // only when it is the one.
      uint32_t waiting_handle = 0;
      const bool waits = waiting_connection(s, &waiting_handle, address, port_text);
      TavoNode* c = nullptr;
      if (waits) {
        if (waiting_handle != r->connection.handle) continue;
      } else {
        if (!scan_connection(s, r->connection.handle, &c)) return 1;
        if (c == nullptr || !read_text(c, "DestinationIPAddress", address) ||
            !read_text(c, "DestinationPortNumber", port_text))
          continue;
      }
      scan_text(initiator, r->initiator_name, sizeof r->initiator_name);
      if (strcmp(address, param(params, 0)) == 0 && strcmp(port_text, param(params, 1)) == 0 &&
          record_qualifier(*r) == parse_qualifier(param(params, 3)) && strcasecmp(initiator, param(params, 2)) == 0) {
        if (waits && (!scan_connection(s, r->connection.handle, &c) || c == nullptr)) return 1;
        *duplicate = 1;
        *session = s;
        *connection = c;
        return 0;
      }
    }
  }
  return 0;
}

uint32_t setup_initiator_target_loginopts(TavoNode* node, const tavo::ConnectionLoginOptions* options) {
  TAVO_LIBRARY_LOCK;
  if (node == nullptr || options == nullptr) return 1;
  TavoNode* group = internal_get_node(node, strcasecmp(node->name, "Target") == 0 ? "TargetLoginOptions"
                                                                                   : "SessionLoginOptions",
                                      TAVO_KIND_GROUP);
  const tavo::tree::StoredValue digests[] = {{"HeaderDigest", options->header_digest == 1 ? "CRC32C" : "None"},
                                {"DataDigest", options->data_digest == 1 ? "CRC32C" : "None"}};
  char initiator_name[TAVO_VALUE_SIZE], initiator_secret[TAVO_VALUE_SIZE];
  char target_name[TAVO_VALUE_SIZE], target_secret[TAVO_VALUE_SIZE];
  scan_text(initiator_name, options->initiator_chap_name, sizeof options->initiator_chap_name);
  scan_secret(initiator_secret, options->initiator_secret, options->initiator_secret_length);
  scan_text(target_name, options->target_chap_name, sizeof options->target_chap_name);
  scan_secret(target_secret, options->target_secret, options->target_secret_length);
  const char* method = scan_method(options->authentication, options->chap_direction);
  const tavo::tree::StoredValue chap[] = {{"AuthenticationMethod", method},
                             {"InitiatorCHAPName", initiator_name},
                             {"InitiatorSecret", initiator_secret},
                             {"TargetCHAPName", target_name},
                             {"TargetSecret", target_secret}};
  // No method is shown for an authentication of no known kind.
  // A Target's options that wait keep them for their build.
  return tavo::target_data::store_option_values(group, digests, std::span(chap).subspan(method != nullptr ? 0 : 1))
             ? 0
             : 1;
}

TavoNode* find_session(TavoNode* target, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  if (address == nullptr || port == nullptr) return nullptr;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    SessionView view;
    if (session_view(s, &view) && goes_to(view, address, port)) return s;
  }
  return nullptr;
}

uint32_t group_Target(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  // The list's sessions, each read once: for the scan, the duplicate check,
  // the values shown and the LUN scan.
  tavo::iscsi::ReadScope reads;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering group_Target ---\n");
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(target);
  if (target == nullptr || !below_lhba(p)) return 1;
  ParamTexts cleared;
  list_target_sessions(p.lhba, p.number, p.domain, p.port, target, cleared.data());
  // Sessions the firmware no longer answers for go.
  std::vector<TavoNode*> gone;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s))
    if (private_record(s) != nullptr && get_session_attribs(p.number, p.domain, p.port, s) != 0) gone.push_back(s);
  for (TavoNode* s : gone) delete_with_records(s);
  if (OPEN_ISCSI_DRIVER_LOADED) return 0;
  char answer[TAVO_VALUE_SIZE] = "";
  ParamTexts luns;
  const uint32_t scanned = get_all_luns(target, p.domain, p.port, target,
                                        internal_get_node(target, "ReScanLUNS", TAVO_KIND_ACTION), luns.data(), answer);
  if ((scanned == 0 || scanned == 90) && strcmp(answer, "1") == 0) scan_from_os();
  return 0;
}

