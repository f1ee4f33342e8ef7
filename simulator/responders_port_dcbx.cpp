// Firmware answers of a port's DCBX and LLDP: the DCBX record of each view
// in both forms (1/16) and the Administrator one written (2/16), the MIB
// counters (3/16: 60 bytes on Galtor, 108 elsewhere), the DCBX mode (4/16,
// 5/16); the LLDP records (1/15), the local agent's enables (2/15) and the
// counters (3/15).
#include <string.h>

#include "ids/device_ids.h"
#include "simulator/responders_port.h"
#include "transport/port_records.h"

namespace tavo::sim {
namespace {

size_t dcbx_size(const MailboxCall& call) {
  return call.header.version == 1 ? sizeof(DcbxConfigRecordV1) : sizeof(DcbxConfigRecord);
}

uint8_t slots_in_use(const DcbxConfigRecord& r) {
  uint8_t n = 0;
  for (const DcbxApplicationTlvEntry& e : r.applications) n = static_cast<uint8_t>(n + (e.in_use == 1));
  return n;
}

// The view asked for in byte 0; the answer's byte 0 is the DCBX state and
// byte 2 the slots in use.
MailboxReply dcbx_read(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr) return port_refused();
  const size_t size = dcbx_size(call);
  if (call.payload.size() != size || call.payload[0] > kDcbxPeer) return port_refused(kPortStatusInvalid);
  DcbxConfigRecordV1 r;
  memcpy(&r, p->dcbx[call.payload[0]].data(), sizeof r);
  r.base.tlv_count = slots_in_use(r.base);
  memcpy(call.payload.data(), &r, size);
  return MailboxReply{};
}

// The Administrator record written: the state of every view, the flags,
// bandwidths, memberships, PFC enables and slots; the version-1 form also
// the QCN flags and the CNPV bitmap. A TLV count that is not the slots in
// use, or a priority in no group, is refused.
MailboxReply dcbx_write(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr) return port_refused();
  const size_t size = dcbx_size(call);
  if (call.payload.size() != size) return port_refused(kPortStatusInvalid);
  DcbxConfigRecordV1 w{};
  memcpy(&w, call.payload.data(), size);
  if (w.base.tlv_count_set != slots_in_use(w.base)) return port_refused(kPortStatusInvalid);
  for (const auto& member : w.base.pg_membership)
    if (member[0] >= kDcbxPriorities && member[0] != kDcbxStrictPriorityGroup) return port_refused(kPortStatusInvalid);
  DcbxConfigRecordV1 admin;
  memcpy(&admin, p->dcbx[kDcbxAdministrator].data(), sizeof admin);
  admin.base.pg_flags = w.base.pg_flags;
  admin.base.pfc_flags = w.base.pfc_flags;
  admin.base.app_flags = w.base.app_flags;
  constexpr size_t kFrom = offsetof(DcbxConfigRecord, pg_bandwidth);
  memcpy(reinterpret_cast<uint8_t*>(&admin) + kFrom, reinterpret_cast<const uint8_t*>(&w) + kFrom,
         sizeof(DcbxConfigRecord) - kFrom);
  if (call.header.version == 1) {
    admin.base.qcn_flags = w.base.qcn_flags;
    admin.cnpv_bitmap = w.cnpv_bitmap;
  }
  memcpy(p->dcbx[kDcbxAdministrator].data(), &admin, sizeof admin);
  for (auto& view : p->dcbx) view[0] = w.base.state & 1;
  return MailboxReply{};
}

template <typename Mib>
MailboxReply dcbx_mib_answer(MailboxCall& call, const SimPort& p) {
  Mib r{};
  if (call.payload.size() != sizeof r) return port_refused(kPortStatusInvalid);
  const auto& m = p.dcbx_mib;
  r.operating_version = static_cast<uint8_t>(m[0]);
  r.max_version = static_cast<uint8_t>(m[1]);
  r.sequence = m[2];
  r.ack = m[3];
  r.peer_sequence = m[4];
  r.peer_ack = m[5];
  r.app_sequence = m[6];
  r.pg_sequence = m[7];
  r.pfc_sequence = m[8];
  r.tx_packets = m[9];
  r.rx_packets = m[10];
  r.dropped = m[11];
  return port_answer(call, r);
}

MailboxReply dcbx_mib(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr) return port_refused();
  return call.controller->generation == kGenerationGaltor ? dcbx_mib_answer<GaltorDcbxMibRecord>(call, *p)
                                                          : dcbx_mib_answer<DcbxMibRecord>(call, *p);
}

MailboxReply dcbx_mode(Simulator& sim, MailboxCall& call, bool write) {
  SimPort* p = port_of_header(sim, call);
  DcbxModeRecord r{};
  if (p == nullptr || !port_request(call, &r)) return port_refused(kPortStatusInvalid);
  if (!write) return port_answer(call, DcbxModeRecord{p->dcbx_mode, 0, {}});
  if (r.mode != 0 || r.new_mode >= kDcbxModeCount) return port_refused(kPortStatusInvalid);
  p->dcbx_mode = r.new_mode;
  return MailboxReply{};
}

MailboxReply lldp_read(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  uint32_t agent = 0;
  if (p == nullptr || call.payload.size() != sizeof(LldpConfigRecord)) return port_refused(kPortStatusInvalid);
  memcpy(&agent, call.payload.data(), sizeof agent);
  if (agent != kLldpLocal && agent != kLldpPeer) return port_refused(kPortStatusInvalid);
  const auto& record = agent == kLldpLocal ? p->lldp_local : p->lldp_peer;
  memcpy(call.payload.data(), record.data(), record.size());
  return MailboxReply{};
}

MailboxReply lldp_write(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  LldpConfigUpdate u{};
  if (p == nullptr || !port_request(call, &u) || u.reserved5[0] != 0 || u.reserved5[1] != 0 || u.reserved5[2] != 0)
    return port_refused(kPortStatusInvalid);
  memcpy(p->lldp_local.data(), u.enables, sizeof u.enables);
  return MailboxReply{};
}

MailboxReply lldp_stats(Simulator& sim, MailboxCall& call) {
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || call.payload.size() != sizeof(LldpStatsRecord)) return port_refused(kPortStatusInvalid);
  memcpy(call.payload.data(), p->lldp_stats.data(), sizeof(LldpStatsRecord));
  return MailboxReply{};
}

static_assert(sizeof(SimPort::lldp_local) == sizeof(LldpConfigRecord));
static_assert(sizeof(SimPort::lldp_stats) == sizeof(LldpStatsRecord));
static_assert(sizeof(SimPort::dcbx[0]) == sizeof(DcbxConfigRecordV1));

}  // namespace

void install_dcbx_responders(Simulator& sim) {
  sim.on(16, 1, dcbx_read);
  sim.on(16, 2, dcbx_write);
  sim.on(16, 3, dcbx_mib);
  sim.on(16, 4, [](Simulator& s, MailboxCall& c) { return dcbx_mode(s, c, false); });
  sim.on(16, 5, [](Simulator& s, MailboxCall& c) { return dcbx_mode(s, c, true); });
  sim.on(15, 1, lldp_read);
  sim.on(15, 2, lldp_write);
  sim.on(15, 3, lldp_stats);
}

}  // namespace tavo::sim
