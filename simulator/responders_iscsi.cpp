// The iSCSI firmware of each function: logins (23/6) to the topology's
// targets, with their CHAP and digests, and discovery sessions to their
// portals;
// logouts (24/6); persistent targets (27/6, 28/6), which show as closed
// sessions until logged in; the session list and records (29/6, 14/6); the
// targets the persistent sessions hold (30/6, 32/6); SendTargets (33/6)
// and its continuation (34/6). Answers that do not fit the request's
// buffer carry what fits, with status 4 and the length they need.
#include <stddef.h>
#include <stdio.h>
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ids/device_ids.h"
#include "simulator/network_call.h"
#include "simulator/responders.h"
#include "transport/iscsi_records.h"

namespace tavo::sim {
namespace {

using network::kRefused;
using network::kStatusTooSmall;

constexpr MailboxReply kConnectFailure{1, 21, 0};  // nobody listens at the portal (discovery)
constexpr MailboxReply kUnreachable{1, 19, 0};     // nobody listens at the portal (login)
constexpr MailboxReply kAuthFailure{1, 44, 0};
constexpr MailboxReply kNoSuchTarget{1, 46, 0};
constexpr MailboxReply kDigestMismatch{1, 100, 0};
constexpr uint32_t kTcpMss = 1460;

SimIscsi* iscsi_of(Simulator& sim, const MailboxCall& call) { return iscsi_state_of(sim, call); }

template <typename Record>
bool iscsi_read(const MailboxCall& call, Record* r) {
  if (call.payload.size() < sizeof *r) return false;
  memcpy(r, call.payload.data(), sizeof *r);
  return true;
}

// Writes an answer of need bytes over the payload: what fits, with status
// 4 and the length needed when it does not.
MailboxReply iscsi_answer(MailboxCall& call, const void* bytes, size_t need) {
  const size_t n = std::min(need, call.payload.size());
  memcpy(call.payload.data(), bytes, n);
  MailboxReply reply;
  reply.actual_length = static_cast<int64_t>(need);
  if (n < need) reply.status = kStatusTooSmall;
  return reply;
}

MailboxReply iscsi_answer(MailboxCall& call, const std::vector<uint8_t>& bytes) {
  return iscsi_answer(call, bytes.data(), bytes.size());
}

// The same answer built in place: the need bytes that fit are cleared,
// and each put writes what fits of it.
struct InPlaceAnswer {
  std::span<uint8_t> out;
  size_t need;

  InPlaceAnswer(MailboxCall& call, size_t length) : out(call.payload), need(length) {
    memset(out.data(), 0, std::min(need, out.size()));
  }
  void put_bytes(size_t at, const void* bytes, size_t n) {
    if (at < out.size()) memcpy(out.data() + at, bytes, std::min(n, out.size() - at));
  }
  template <typename T>
  void put(size_t at, const T& value) {
    put_bytes(at, &value, sizeof value);
  }
  MailboxReply reply() const {
    MailboxReply reply;
    reply.actual_length = static_cast<int64_t>(need);
    if (need > out.size()) reply.status = kStatusTooSmall;
    return reply;
  }
};

template <typename T>
void iscsi_put(std::vector<uint8_t>* bytes, size_t at, const T& value) {
  if (bytes->size() < at + sizeof value) bytes->resize(at + sizeof value);
  memcpy(bytes->data() + at, &value, sizeof value);
}

std::string iscsi_text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

bool iscsi_same_address(const SimAddress& a, uint8_t type, const uint8_t* bytes) {
  const bool v4 = type == kLoginAddressIPv4;
  if ((a.type == 1) != v4) return false;
  return memcmp(a.bytes.data(), bytes, v4 ? 4 : 16) == 0;
}

const SimTargetPortal* iscsi_portal_at(const SimTarget& t, uint8_t type, const uint8_t* address, uint16_t port) {
  for (const SimTargetPortal& p : t.portals)
    if (p.port == port && iscsi_same_address(p.address, type, address)) return &p;
  return nullptr;
}

// The secret bytes a block carries, as its length says (bounded).
bool iscsi_same_secret(const uint8_t* field, uint16_t length, const std::string& secret) {
  return length == secret.size() && length <= 16 && memcmp(field, secret.data(), length) == 0;
}

bool iscsi_same_name(const char* field, uint16_t length, const std::string& name) {
  return length == name.size() && length <= 255 && memcmp(field, name.data(), length) == 0;
}

// Whether a login's options satisfy what the target asks: its CHAP name and
// secret, and for mutual CHAP the initiator's.
bool iscsi_authenticated(const SimTarget& t, const IscsiLoginOptionsBlock& o) {
  if (t.chap_name.empty() && t.mutual_name.empty()) return true;
  if (o.chap != 1) return false;
  if (!t.chap_name.empty() && (!iscsi_same_name(o.target_chap_name, o.target_chap_name_length, t.chap_name) ||
                               !iscsi_same_secret(o.target_secret, o.target_secret_length, t.chap_secret)))
    return false;
  if (t.mutual_name.empty()) return true;
  return o.mutual_chap == 1 && iscsi_same_name(o.initiator_chap_name, o.initiator_chap_name_length, t.mutual_name) &&
         iscsi_same_secret(o.initiator_secret, o.initiator_secret_length, t.mutual_secret);
}

SimAddress iscsi_address(uint8_t type, const uint8_t* bytes) {
  SimAddress a;
  a.type = type == kLoginAddressIPv4 ? 1 : 0x10;
  memcpy(a.bytes.data(), bytes, type == kLoginAddressIPv4 ? 4 : 16);
  return a;
}

// Names equal without case: the lengths first, then from the end, where
// the names of one adapter's targets differ (thousands are compared for
// each target record asked).
bool iscsi_same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = a.size(); i-- > 0;)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool iscsi_same_portal(const SimSession& s, const SimAddress& a, uint16_t port) {
  return s.port == port && s.address.type == a.type && s.address.bytes == a.bytes;
}

SimSession* iscsi_find_session(SimIscsi& state, const std::string& target, const SimAddress& a, uint16_t port,
                               uint16_t isid) {
  for (SimSession& s : state.sessions)
    if (!s.discovery && s.isid == isid && iscsi_same_portal(s, a, port) &&
        iscsi_same_name(s.target, target)) {
      state.reached.push_back(s.handle);
      return &s;
    }
  return nullptr;
}

void iscsi_hold_target(SimIscsi& state, const std::string& name) {
  for (const auto& [id, held] : state.target_ids)
    if (iscsi_same_name(held, name)) return;
  state.target_ids.emplace_back(state.next_target_id++, name);
  state.reached_targets.push_back(state.target_ids.back().first);
}

// A target id goes with the last persistent session of its name.
void iscsi_release_target(SimIscsi& state, const std::string& name) {
  for (const SimSession& s : state.sessions)
    if (s.persistent && iscsi_same_name(s.target, name)) return;
  std::erase_if(state.target_ids, [&](const auto& held) {
    if (!iscsi_same_name(held.second, name)) return false;
    state.reached_targets.push_back(held.first);
    return true;
  });
}

SimSession& iscsi_new_session(SimIscsi& state) {
  SimSession& s = state.sessions.emplace_back();
  s.handle = state.next_handle++;
  state.reached.push_back(s.handle);
  s.connection_handle = s.handle | 0x10000;
  return s;
}

MailboxReply iscsi_discovery_login(Simulator& sim, SimIscsi& state, MailboxCall& call, const IscsiLoginRequest& r) {
  bool listening = false, admitted = false;
  for (const SimTarget& t : sim.topology().targets) {
    if (iscsi_portal_at(t, r.address_type, r.address, r.port) == nullptr) continue;
    listening = true;
    admitted = admitted || iscsi_authenticated(t, r.options);
  }
  if (!listening) return kConnectFailure;
  if (!admitted) return kAuthFailure;
  SimSession& s = iscsi_new_session(state);
  s.discovery = s.open = true;
  s.address = iscsi_address(r.address_type, r.address);
  s.port = r.port;
  s.isid = r.isid_qualifier;
  s.initiator = iscsi_text(r.initiator_name, sizeof r.initiator_name);
  s.options = r.options;
  IscsiLoginReply reply{};
  reply.session_handle = s.handle;
  reply.discovery_state = kDiscoverySessionOpen;
  memcpy(call.payload.data(), &reply, sizeof reply);
  return MailboxReply{};
}

// The calling function's sessions and a login request of a known address
// type; null when there is none.
SimIscsi* iscsi_request(Simulator& sim, const MailboxCall& call, IscsiLoginRequest* r) {
  SimIscsi* state = iscsi_of(sim, call);
  if (state == nullptr || !iscsi_read(call, r)) return nullptr;
  return r->address_type == kLoginAddressIPv4 || r->address_type == kLoginAddressIPv6 ? state : nullptr;
}

// The session of a request's target, portal and qualifier; a new one when
// there is none.
SimSession& iscsi_session_for(SimIscsi& state, const IscsiLoginRequest& r, const std::string& name) {
  const SimAddress a = iscsi_address(r.address_type, r.address);
  if (SimSession* s = iscsi_find_session(state, name, a, r.port, r.isid_qualifier)) return *s;
  SimSession& s = iscsi_new_session(state);
  s.target = name;
  s.address = a;
  s.port = r.port;
  s.isid = r.isid_qualifier;
  s.initiator = iscsi_text(r.initiator_name, sizeof r.initiator_name);
  return s;
}

// Whether a login's digest bytes are what the target asks (-1: either).
bool iscsi_digests_agree(const SimTarget& t, const IscsiLoginOptionsBlock& o) {
  const auto agree = [](int wanted, uint8_t asked) { return wanted < 0 || wanted == (asked == 1 ? 1 : 0); };
  return agree(t.header_digest, o.header_digest) && agree(t.data_digest, o.data_digest);
}

// A refused login counts in the login statistics: its failure type (5
// authentication, 6 negotiation, 2 other), target and portal.
MailboxReply iscsi_login_refused(Simulator& sim, SimIscsi& state, const IscsiLoginRequest& r, MailboxReply reply,
                                 uint32_t type) {
  InitiatorLoginStats& l = state.login_stats;
  ++l.login_failures;
  l.last_failure_time = static_cast<uint32_t>(sim.monotonic_ms() / 1000);
  l.last_failure_type = type;
  snprintf(l.last_target_name, sizeof l.last_target_name, "%.*s",
           static_cast<int>(strnlen(r.target_name, sizeof r.target_name)), r.target_name);
  l.last_target_type = r.address_type;
  memcpy(l.last_target_address, r.address, sizeof l.last_target_address);
  if (type == 5) ++l.authentication_failures;
  if (type == 6) ++l.negotiation_failures;
  if (type == 2) ++l.other_failure_responses;
  return reply;
}

// A login to a topology target at one of its portals; the session the
// persistent target made is opened, else a new one.
MailboxReply iscsi_login(Simulator& sim, MailboxCall& call) {
  IscsiLoginRequest r;
  SimIscsi* state = iscsi_request(sim, call, &r);
  if (state == nullptr) return kRefused;
  if (r.flags & 0x10) return iscsi_discovery_login(sim, *state, call, r);
  const std::string name = iscsi_text(r.target_name, sizeof r.target_name);
  const SimTarget* target = nullptr;
  bool listening = false;
  for (const SimTarget& t : sim.topology().targets) {
    if (iscsi_portal_at(t, r.address_type, r.address, r.port) == nullptr) continue;
    listening = true;
    if (iscsi_same_name(t.name, name)) target = &t;
  }
  if (!listening) return iscsi_login_refused(sim, *state, r, kUnreachable, 2);
  if (target == nullptr) return iscsi_login_refused(sim, *state, r, kNoSuchTarget, 2);
  if (!iscsi_authenticated(*target, r.options)) return iscsi_login_refused(sim, *state, r, kAuthFailure, 5);
  if (!iscsi_digests_agree(*target, r.options)) return iscsi_login_refused(sim, *state, r, kDigestMismatch, 6);
  ++state->login_stats.accept_responses;
  SimSession& s = iscsi_session_for(*state, r, name);
  s.open = true;
  s.tsih = state->next_tsih++;
  s.initiator = iscsi_text(r.initiator_name, sizeof r.initiator_name);
  s.options = r.options;
  IscsiLoginReply reply{};
  reply.session_handle = s.handle;
  reply.connection_handle = s.connection_handle;
  // The session options offered are the ones negotiated: the same layout.
  static_assert(offsetof(IscsiLoginOptionsBlock, default_time2retain) + 2 == sizeof(NegotiatedSessionOptions));
  memcpy(&reply.session, &r.options, sizeof reply.session);
  reply.connection.header_digest = r.options.header_digest;
  reply.connection.data_digest = r.options.data_digest;
  reply.connection.max_recv_data_segment_length = r.options.max_recv_data_segment_length;
  reply.connection.tcp_mss = kTcpMss;
  reply.connection.tcp_window_size = r.options.tcp_window_size;
  reply.connection.authentication = r.options.chap;
  reply.connection.chap_direction = r.options.mutual_chap;
  memcpy(call.payload.data(), &reply, sizeof reply);
  return MailboxReply{};
}

MailboxReply iscsi_logout(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  uint32_t handle = 0;
  if (state == nullptr || !iscsi_read(call, &handle)) return kRefused;
  SimSession* s = state->find(handle);
  if (s == nullptr) return kRefused;
  // A session already closed stays logged out.
  if (s->open && !s->discovery) ++state->login_stats.normal_logouts;
  if (s->persistent) {
    s->open = false;
  } else {
    std::erase_if(state->sessions, [&](const SimSession& x) { return x.handle == handle; });
  }
  return MailboxReply{};
}

MailboxReply iscsi_add_persistent(Simulator& sim, MailboxCall& call) {
  IscsiLoginRequest r;
  SimIscsi* state = iscsi_request(sim, call, &r);
  if (state == nullptr) return kRefused;
  const std::string name = iscsi_text(r.target_name, sizeof r.target_name);
  if (name.empty()) return kRefused;
  SimSession& s = iscsi_session_for(*state, r, name);
  s.persistent = true;
  s.boot = (r.flags & 0x100) != 0;
  s.eto = r.eto;
  s.options = r.options;
  iscsi_hold_target(*state, name);
  return MailboxReply{};
}

MailboxReply iscsi_delete_persistent(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  PersistentTargetDeletion d;
  if (state == nullptr || !iscsi_read(call, &d)) return kRefused;
  const std::string name = iscsi_text(d.target_name, sizeof d.target_name);
  SimSession* s = iscsi_find_session(*state, name, iscsi_address(d.address_type, d.address), d.port,
                                     static_cast<uint16_t>(d.isid_qualifier));
  if (s == nullptr || !s->persistent) return kRefused;
  s->persistent = false;
  if (!s->open) {
    const uint32_t handle = s->handle;
    std::erase_if(state->sessions, [&](const SimSession& x) { return x.handle == handle; });
  }
  iscsi_release_target(*state, name);
  return MailboxReply{};
}

MailboxReply iscsi_session_list(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  if (state == nullptr) return kRefused;
  const auto listed = static_cast<size_t>(
      std::count_if(state->sessions.begin(), state->sessions.end(), [](const SimSession& s) { return !s.discovery; }));
  InPlaceAnswer answer(call, sizeof(SessionListHead) + 4 * listed);
  const int64_t reported = state->reported_sessions;
  answer.put(0, static_cast<uint32_t>(reported >= 0 ? reported : static_cast<int64_t>(listed)));
  // Handles only as far as the payload reaches (a size query takes none),
  // whole ones stored directly, the last one cut by put.
  const size_t room = std::min(answer.need, answer.out.size());
  size_t at = sizeof(SessionListHead);
  for (auto s = state->sessions.begin(); s != state->sessions.end() && at < room; ++s) {
    if (s->discovery) continue;
    if (at + sizeof s->handle <= room)
      memcpy(answer.out.data() + at, &s->handle, sizeof s->handle);
    else
      answer.put(at, s->handle);
    at += sizeof s->handle;
  }
  return answer.reply();
}

MailboxReply iscsi_session_record(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  uint32_t handle = 0;
  if (state == nullptr || !iscsi_read(call, &handle)) return kRefused;
  const SimSession* s = state->find(handle);
  if (s == nullptr || s->discovery) return kRefused;
  FirmwareSessionRecord r{};
  r.handle = s->handle;
  r.state = s->state_bits != 0 ? s->state_bits : s->open ? kSessionStateOpen : kSessionStateClosed;
  r.isid[0] = 0x80;  // random-qualifier format, the rest the adapter's
  r.isid[1] = 0x0e;
  r.isid[2] = 0x1e;
  r.isid[4] = static_cast<uint8_t>(s->isid >> 8);
  r.isid[5] = static_cast<uint8_t>(s->isid);
  r.tsih = s->open ? s->tsih : 0;
  r.flags = (s->persistent ? 0 : kSessionNotPersistent) | (s->boot ? kSessionBoot : 0) | s->other_flags;
  const int64_t claimed = state->reported_connections;
  r.connection_count = static_cast<uint16_t>(claimed >= 0 ? claimed : 1);
  network::put_text(r.target_name, sizeof r.target_name, s->target);
  network::put_text(r.initiator_name, sizeof r.initiator_name, s->initiator);
  memcpy(&r.options, &s->options, sizeof r.options);
  FirmwareConnectionRecord& c = r.connection;
  c.handle = s->connection_handle;
  c.flags = s->open ? kConnectionLoggedIn : 0;
  c.connection_id = 1;
  c.destination_port = s->port;
  c.destination_type = s->address.type == 1 ? kLoginAddressIPv4 : kLoginAddressIPv6;
  memcpy(c.destination_address, s->address.bytes.data(), 16);
  if (s->redirect_port != 0) {
    c.flags |= kConnectionRedirected;
    c.redirected_port = s->redirect_port;
    c.redirected_type = s->redirect.type == 1 ? kLoginAddressIPv4 : kLoginAddressIPv6;
    memcpy(c.redirected_address, s->redirect.bytes.data(), 16);
  }
  if (const SimNetwork* net = sim.network(call.function->iscsi_device); net != nullptr && s->open) {
    c.source_port = static_cast<uint16_t>(0xC000 | (s->handle & 0x3FFF));
    c.source_type = kLoginAddressIPv4;
    memcpy(c.source_address, net->address.data(), 4);
  }
  const IscsiLoginOptionsBlock& o = s->options;
  ConnectionLoginOptions& lo = c.options;
  lo.header_digest = o.header_digest;
  lo.data_digest = o.data_digest;
  lo.max_recv_data_segment_length = o.max_recv_data_segment_length;
  lo.tcp_mss = kTcpMss;
  lo.tcp_window_size = o.tcp_window_size;
  lo.authentication = o.chap;
  lo.chap_direction = o.mutual_chap;
  static_assert(sizeof lo.initiator_chap_name == sizeof o.initiator_chap_name);
  memcpy(lo.initiator_chap_name, o.initiator_chap_name, sizeof lo.initiator_chap_name);
  memcpy(lo.initiator_secret, o.initiator_secret, sizeof lo.initiator_secret);
  memcpy(lo.target_chap_name, o.target_chap_name, sizeof lo.target_chap_name);
  memcpy(lo.target_secret, o.target_secret, sizeof lo.target_secret);
  lo.initiator_chap_name_length = o.initiator_chap_name_length;
  lo.initiator_secret_length = o.initiator_secret_length;
  lo.target_chap_name_length = o.target_chap_name_length;
  lo.target_secret_length = o.target_secret_length;
  return iscsi_answer(call, &r, sizeof r);
}

MailboxReply iscsi_target_list(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  if (state == nullptr) return kRefused;
  std::vector<uint8_t> bytes(4 + sizeof(TargetIdEntry) * state->target_ids.size(), 0);
  const int64_t reported = state->reported_target_ids;
  iscsi_put(&bytes, 0,
            static_cast<uint32_t>(reported >= 0 ? reported : static_cast<int64_t>(state->target_ids.size())));
  for (size_t i = 0; i < state->target_ids.size(); ++i)
    iscsi_put(&bytes, 4 + sizeof(TargetIdEntry) * i, TargetIdEntry{state->target_ids[i].first, {}});
  return iscsi_answer(call, bytes);
}

// The tag the topology gives a portal of the target, else 1.
uint16_t iscsi_portal_tag(Simulator& sim, const SimSession& s) {
  for (const SimTarget& t : sim.topology().targets) {
    if (!iscsi_same_name(t.name, s.target)) continue;
    for (const SimTargetPortal& p : t.portals)
      if (p.port == s.port && p.address.type == s.address.type && p.address.bytes == s.address.bytes)
        return static_cast<uint16_t>(p.tag);
  }
  return 1;
}

std::string iscsi_lower(const std::string& name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Every target id's place and every name's persistent sessions, one per
// portal: what asking for each target in turn would find by walking all.
SimIscsi::TargetRecords iscsi_index_targets(const SimIscsi& state) {
  SimIscsi::TargetRecords r;
  for (size_t i = 0; i < state.target_ids.size(); ++i) r.id_at.try_emplace(state.target_ids[i].first, i);
  for (size_t i = 0; i < state.sessions.size(); ++i) {
    const SimSession& s = state.sessions[i];
    if (!s.persistent) continue;
    std::vector<size_t>& held = r.portals[iscsi_lower(s.target)];
    if (std::none_of(held.begin(), held.end(),
                     [&](size_t p) { return iscsi_same_portal(state.sessions[p], s.address, s.port); }))
      held.push_back(i);
  }
  return r;
}

// One portal group per portal of the target's persistent sessions.
MailboxReply iscsi_target_record(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  uint32_t id = 0;
  if (state == nullptr || !iscsi_read(call, &id)) return kRefused;
  if (!state->target_records) state->target_records = iscsi_index_targets(*state);
  const SimIscsi::TargetRecords& index = *state->target_records;
  const auto at = index.id_at.find(id);
  if (at == index.id_at.end()) return kRefused;
  const auto held = state->target_ids.begin() + static_cast<ptrdiff_t>(at->second);
  static const std::vector<size_t> kNone;
  const auto named = index.portals.find(iscsi_lower(held->second));
  const std::vector<size_t>& portals = named != index.portals.end() ? named->second : kNone;
  InPlaceAnswer answer(call, sizeof(FirmwareTargetHead) + kPortalGroupStride * portals.size());
  FirmwareTargetHead head{};
  head.id = id;
  network::put_text(head.name, sizeof head.name, held->second);
  const int64_t reported = state->reported_portal_groups;
  head.group_count = static_cast<uint32_t>(reported >= 0 ? reported : static_cast<int64_t>(portals.size()));
  answer.put(0, head);
  for (size_t k = 0; k < portals.size(); ++k) {
    const SimSession& s = state->sessions[portals[k]];
    const size_t group = sizeof head + kPortalGroupStride * k;
    answer.put(group, FirmwarePortalGroupHead{iscsi_portal_tag(sim, s), 1});
    const size_t portal = group + sizeof(FirmwarePortalGroupHead);
    answer.put(portal + kFirmwarePortalType, s.address.type == 1 ? kLoginAddressIPv4 : kLoginAddressIPv6);
    answer.put_bytes(portal + kFirmwarePortalAddress, s.address.bytes.data(), 16);
    answer.put(portal + kFirmwarePortalPort, s.port);
  }
  return answer.reply();
}

// Records of targets [first, first + most) of the list that fit from
// offset 4 of a buffer of size bytes; the answer's count counts them.
std::vector<uint8_t> iscsi_sendtargets_answer(const std::vector<const SimTarget*>& list, size_t first, size_t most,
                                              size_t size, int64_t reported, size_t* given) {
  std::vector<uint8_t> bytes(4, 0);
  *given = 0;
  for (size_t i = first; i < list.size() && *given < most; ++i) {
    const SimTarget& t = *list[i];
    const size_t entries = std::max<size_t>(t.portals.size(), 1);
    const size_t at = bytes.size();
    if (at + sizeof(SendTargetsRecordHead) + sizeof(SendTargetsAddress) * entries > size) break;
    SendTargetsRecordHead head{};
    head.address_count = static_cast<uint32_t>(t.portals.size());
    snprintf(head.name, sizeof head.name, "%s", t.name.c_str());
    iscsi_put(&bytes, at, head);
    for (size_t j = 0; j < t.portals.size(); ++j) {
      SendTargetsAddress a{};
      a.type = t.portals[j].address.type == 1 ? kLoginAddressIPv4 : kLoginAddressIPv6;
      memcpy(a.address, t.portals[j].address.bytes.data(), 16);
      a.port = t.portals[j].port;
      a.tag = t.portals[j].tag;
      iscsi_put(&bytes, at + sizeof head + sizeof a * j, a);
    }
    bytes.resize(at + sizeof head + sizeof(SendTargetsAddress) * entries);
    ++*given;
  }
  iscsi_put(&bytes, 0, static_cast<uint32_t>(reported >= 0 ? reported : static_cast<int64_t>(*given)));
  return bytes;
}

size_t iscsi_per_answer(const SimIscsi& state) {
  return state.targets_per_answer >= 0 ? static_cast<size_t>(state.targets_per_answer) : SIZE_MAX;
}

std::vector<const SimTarget*> iscsi_listed(Simulator& sim, const SimIscsi& state) {
  std::vector<const SimTarget*> list;
  for (size_t i : state.sendtargets_listed)
    if (i < sim.topology().targets.size()) list.push_back(&sim.topology().targets[i]);
  return list;
}

// SendTargets on an open discovery session: the targets behind its portal,
// all of them or the one named (without case).
MailboxReply iscsi_sendtargets(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  SendTargetsRequestHead r;
  if (state == nullptr || !iscsi_read(call, &r)) return kRefused;
  const SimSession* s = state->find(r.session_handle);
  if (s == nullptr || !s->discovery || !s->open) return kRefused;
  const std::string text = iscsi_text(r.text, sizeof r.text);
  constexpr char kPrefix[] = "SendTargets=";
  if (text.compare(0, strlen(kPrefix), kPrefix) != 0) return kRefused;
  const std::string wanted = text.substr(strlen(kPrefix));
  state->sendtargets_listed.clear();
  const auto& targets = sim.topology().targets;
  const uint8_t type = s->address.type == 1 ? kLoginAddressIPv4 : kLoginAddressIPv6;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (iscsi_portal_at(targets[i], type, s->address.bytes.data(), s->port) == nullptr) continue;
    if (wanted == "All" || strcasecmp(wanted.c_str(), targets[i].name.c_str()) == 0)
      state->sendtargets_listed.push_back(i);
  }
  const auto list = iscsi_listed(sim, *state);
  size_t given = 0;
  std::fill(call.payload.begin(), call.payload.end(), 0);
  const auto bytes = iscsi_sendtargets_answer(list, 0, iscsi_per_answer(*state), call.payload.size(),
                                              state->reported_sendtargets, &given);
  memcpy(call.payload.data(), bytes.data(), bytes.size());
  return MailboxReply{given < list.size() ? kStatusTooSmall : uint8_t{0}, 0, -1};
}

// The rest of the last SendTargets answer, from the count received on.
MailboxReply iscsi_sendtargets_more(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_of(sim, call);
  SendTargetsContinuation r;
  if (state == nullptr || !iscsi_read(call, &r) || r.word4 != kContinuationWord) return kRefused;
  const auto list = iscsi_listed(sim, *state);
  size_t given = 0;
  const size_t most = std::min<size_t>(r.remaining, iscsi_per_answer(*state));
  std::fill(call.payload.begin(), call.payload.end(), 0);
  const auto bytes =
      iscsi_sendtargets_answer(list, r.received, most, call.payload.size(), state->reported_sendtargets, &given);
  memcpy(call.payload.data(), bytes.data(), bytes.size());
  return MailboxReply{r.received + given < list.size() ? kStatusTooSmall : uint8_t{0}, 0, -1};
}

}  // namespace

const SimSession* SimIscsi::find(uint32_t handle) const {
  // Handles are handed out rising and sessions appended, so the list is
  // mostly in handle order: a binary search finds most at once among
  // thousands; a list a test laid out otherwise is walked.
  const auto at = std::lower_bound(sessions.begin(), sessions.end(), handle,
                                   [](const SimSession& s, uint32_t h) { return s.handle < h; });
  if (at != sessions.end() && at->handle == handle) return &*at;
  for (const SimSession& s : sessions)
    if (s.handle == handle) return &s;
  return nullptr;
}

SimSession* SimIscsi::find(uint32_t handle) {
  const SimSession* s = std::as_const(*this).find(handle);
  if (s != nullptr) reached.push_back(handle);
  return const_cast<SimSession*>(s);
}

SimIscsi* Simulator::sessions(int iscsi_device) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto it = sessions_.find(iscsi_device);
  if (it == sessions_.end()) {
    SimNetwork* net = network(iscsi_device);
    if (net == nullptr) return nullptr;
    it = sessions_.emplace(iscsi_device, SimIscsi{}).first;
    initial_sessions(iscsi_device, *net, it->second);
  }
  touch(kPartIscsi, iscsi_device);
  // A test may change any of its sessions.
  if (in_command_ == 0) {
    it->second.reached_all = true;
    it->second.target_records.reset();
  }
  return &it->second;
}

// The persistent targets the topology gives the function, logged in where
// it says so.
void Simulator::initial_sessions(int iscsi_device, const SimNetwork& net, SimIscsi& state) {
  uint16_t isid = 0;
  for (const SimTarget& t : topology_.targets) {
    if (std::find(t.persistent.begin(), t.persistent.end(), iscsi_device) == t.persistent.end()) continue;
    const bool open = std::find(t.logged_in.begin(), t.logged_in.end(), iscsi_device) != t.logged_in.end();
    for (const SimTargetPortal& p : t.portals) {
      SimSession& s = iscsi_new_session(state);
      s.persistent = true;
      s.open = open;
      s.tsih = open ? state.next_tsih++ : 0;
      s.target = t.name;
      s.initiator = net.initiator_name;
      s.address = p.address;
      s.port = p.port;
      s.isid = isid++;
      s.options.flags = 0x0F;  // as the library's defaults negotiate
      s.options.max_recv_data_segment_length = 65536;
      s.options.first_burst_length = 8192;
      s.options.max_burst_length = 262144;
      s.options.max_connections = s.options.max_outstanding_r2t = 1;
      s.options.default_time2wait = 2;
      s.options.default_time2retain = 20;
    }
    iscsi_hold_target(state, t.name);
  }
  NodeAttributesRecord& node = state.node_attributes;
  node.node_count = 1;
  node.node_roles = 2;  // initiator
  node.portal_count = 1;
  node.port_row_status = 1;
  node.portal_role = 2;
  node.portal_protocol = 6;  // TCP
  node.portal_tag = 1;
}

void erase_iscsi_configuration(Simulator& sim, int controller) {
  for (const SimFunction& f : sim.topology().functions) {
    if (f.kind != FunctionKind::Iscsi || f.controller != controller) continue;
    SimIscsi* state = sim.sessions(f.iscsi_device);
    if (state == nullptr) continue;
    std::erase_if(state->sessions, [](const SimSession& s) { return !s.open; });
    for (SimSession& s : state->sessions) s.persistent = false;
    state->reached_all = true;
    state->target_ids.clear();
  }
}

void fill_target_limits(const SimController& c, FirmwareConfig* config) {
  const bool small = c.generation == kGenerationCV2 || c.generation == kGenerationCV3;
  const uint32_t most = c.max_targets >= 0 ? static_cast<uint32_t>(c.max_targets) : small ? 128 : 256;
  config->targets = most / 2;
  config->more_targets = most - config->targets;
}

SimIscsi* iscsi_state_of(Simulator& sim, const MailboxCall& call) {
  if (call.via_nic || call.function == nullptr || call.function->kind != FunctionKind::Iscsi) return nullptr;
  return sim.sessions(call.function->iscsi_device);
}

void install_iscsi_responders(Simulator& sim) {
  install_session_responders(sim);
  install_lun_responders(sim);
  sim.on(6, 23, iscsi_login);
  sim.on(6, 24, iscsi_logout);
  sim.on(6, 27, iscsi_add_persistent);
  sim.on(6, 28, iscsi_delete_persistent);
  sim.on(6, 29, iscsi_session_list);
  sim.on(6, 14, iscsi_session_record);
  sim.on(6, 30, iscsi_target_list);
  sim.on(6, 32, iscsi_target_record);
  sim.on(6, 33, iscsi_sendtargets);
  sim.on(6, 34, iscsi_sendtargets_more);
}

}  // namespace tavo::sim
