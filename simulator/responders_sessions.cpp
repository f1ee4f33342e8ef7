// What the iSCSI firmware keeps of its sessions beyond their login: each
// session's configuration with its ETO (16/6, its size asked first; 17/6
// writes it and must carry back what the firmware gave), the node
// attributes of the function (30/2), the initiator's instance and login
// statistics (46/6, 47/6) and the attributes of a batch of sessions
// (48/6).
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "simulator/network_call.h"
#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/session_records.h"

namespace tavo::sim {
namespace {

using network::kRefused;

constexpr MailboxReply kSessionClosed{1, 18, 0};

// A session's configuration as the firmware answers it: the ETO it keeps
// (the controller's default until one is set) and bytes of its own that
// an update must carry back.
SessionConfigRecord sessions_config(const SimController& c, const SimSession& s) {
  SessionConfigRecord r{};
  r.session_handle = s.handle;
  r.eto = s.eto != kNoEto ? s.eto : c.default_eto;
  r.kept8 = static_cast<uint8_t>(0x5A ^ s.handle);
  r.kept12 = s.handle * 7u;
  for (size_t i = 0; i < sizeof r.kept240; ++i) r.kept240[i] = static_cast<uint8_t>(i + s.handle);
  // The host's target number of the session and LUN 0.
  const uint16_t host_target = static_cast<uint16_t>(s.handle & 0xFF), host_lun = 0;
  memcpy(reinterpret_cast<uint8_t*>(&r) + kSessionConfigHostTarget, &host_target, sizeof host_target);
  memcpy(reinterpret_cast<uint8_t*>(&r) + kSessionConfigHostLun, &host_lun, sizeof host_lun);
  return r;
}

// The session of the handle in the request's first word; null for none.
SimSession* sessions_named(Simulator& sim, const MailboxCall& call, SimIscsi** state) {
  *state = iscsi_state_of(sim, call);
  uint32_t handle = 0;
  if (*state == nullptr || call.controller == nullptr || call.payload.size() < sizeof handle) return nullptr;
  memcpy(&handle, call.payload.data(), sizeof handle);
  SimSession* s = (*state)->find(handle);
  return s != nullptr && !s->discovery ? s : nullptr;
}

// 16/6 and its size query: what fits of the configuration, with its length.
MailboxReply sessions_get_config(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = nullptr;
  const SimSession* s = sessions_named(sim, call, &state);
  if (s == nullptr) return kRefused;
  const SessionConfigRecord r = sessions_config(*call.controller, *s);
  const size_t n = std::min(sizeof r, call.payload.size());
  memcpy(call.payload.data(), &r, n);
  MailboxReply reply;
  reply.actual_length = sizeof r;
  if (n < sizeof r) reply.status = network::kStatusTooSmall;
  return reply;
}

// 17/6: the new ETO, taken only with the configuration's own bytes.
MailboxReply sessions_set_config(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = nullptr;
  SimSession* s = sessions_named(sim, call, &state);
  SessionConfigUpdate u;
  if (s == nullptr || call.payload.size() < sizeof u) return kRefused;
  memcpy(&u, call.payload.data(), sizeof u);
  const SessionConfigRecord now = sessions_config(*call.controller, *s);
  if (u.word4 != kSessionConfigUpdateWord || u.kept8 != now.kept8 || u.kept12 != now.kept12 ||
      memcmp(u.kept240, now.kept240, sizeof u.kept240) != 0)
    return kRefused;
  s->eto = u.eto;
  return MailboxReply{};
}

template <typename Record>
MailboxReply sessions_answer(MailboxCall& call, const Record& r) {
  if (call.payload.size() < sizeof r) return MailboxReply{network::kStatusTooSmall, 0, sizeof r};
  return network::answer(call, r);
}

MailboxReply sessions_node(Simulator& sim, MailboxCall& call) {
  const SimIscsi* state = iscsi_state_of(sim, call);
  return state != nullptr ? sessions_answer(call, state->node_attributes) : kRefused;
}

MailboxReply sessions_instance_stats(Simulator& sim, MailboxCall& call) {
  const SimIscsi* state = iscsi_state_of(sim, call);
  if (state == nullptr) return kRefused;
  InitiatorInstanceStats r = state->instance_stats;
  r.sessions = static_cast<uint32_t>(
      std::count_if(state->sessions.begin(), state->sessions.end(), [](const SimSession& s) { return s.open; }));
  return sessions_answer(call, r);
}

MailboxReply sessions_login_stats(Simulator& sim, MailboxCall& call) {
  const SimIscsi* state = iscsi_state_of(sim, call);
  return state != nullptr ? sessions_answer(call, state->login_stats) : kRefused;
}

// 48/6: one record per open session of the batch; a batch of closed
// sessions only is refused as closed.
MailboxReply sessions_attributes(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_state_of(sim, call);
  SessionAttributesHead head;
  if (state == nullptr || call.payload.size() < sizeof head) return kRefused;
  memcpy(&head, call.payload.data(), sizeof head);
  if (head.marker != kSessionAttributesMarker) return kRefused;
  const size_t room = (call.payload.size() - sizeof head) / 4;
  std::vector<SessionAttributesRecord> records;
  for (size_t i = 0; i < head.count && i < room; ++i) {
    uint32_t handle = 0;
    memcpy(&handle, call.payload.data() + sizeof head + 4 * i, sizeof handle);
    const SimSession* s = state->find(handle);
    if (s == nullptr || s->discovery || !s->open) continue;
    SessionAttributesRecord r{};
    r.session_handle = s->handle;
    r.direction = 2;
    for (const SimTarget& t : sim.topology().targets)
      if (strcasecmp(t.name.c_str(), s->target.c_str()) == 0)
        snprintf(r.target_alias, sizeof r.target_alias, "%s", t.alias.c_str());
    r.command_pdus = s->command_pdus;
    r.response_pdus = s->response_pdus;
    r.tx_data_octets = s->tx_octets;
    r.rx_data_octets = s->rx_octets;
    r.digest_errors = s->digest_errors;
    r.timeout_errors = s->timeout_errors;
    records.push_back(r);
  }
  if (records.empty() && head.count > 0) return kSessionClosed;
  std::fill(call.payload.begin() + sizeof head, call.payload.end(), 0);
  const size_t fit = std::min(records.size(), (call.payload.size() - sizeof head) / sizeof(SessionAttributesRecord));
  const SessionAttributesHead answer{head.marker, static_cast<uint32_t>(fit)};
  memcpy(call.payload.data(), &answer, sizeof answer);
  if (fit > 0) memcpy(call.payload.data() + sizeof head, records.data(), fit * sizeof(SessionAttributesRecord));
  return MailboxReply{};
}

}  // namespace

void install_session_responders(Simulator& sim) {
  sim.on(6, 16, sessions_get_config);
  sim.on(6, 17, sessions_set_config);
  sim.on(2, 30, sessions_node);
  sim.on(6, 46, sessions_instance_stats);
  sim.on(6, 47, sessions_login_stats);
  sim.on(6, 48, sessions_attributes);
}

}  // namespace tavo::sim
