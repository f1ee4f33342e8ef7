// Firmware answers of the port commands, with state per port (SimPort):
// link status (5/1, both versions), port state (71/1, 62/1: version 1 on
// Galtor, 0 elsewhere), PHY details (102/1), operational modes (108/1),
// port speed (57/1 version 1, 134/1), beacon (70/1, 69/1), transceiver
// pages (73/1), TX throttle (133/1, 132/1), flow control (37/1 on CV3,
// 205/1 on the NIC device); DCBX, LLDP and the port tests are installed
// from their own files. The port is the request's own port field where it
// has one, else the header's.
#include <string.h>

#include <algorithm>

#include "ids/device_ids.h"
#include "simulator/responders.h"
#include "simulator/responders_port.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"
#include "transport/port_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusFailed = kPortStatusFailed;
constexpr uint8_t kStatusInvalid = kPortStatusInvalid;
constexpr uint8_t kStatusNotSupported = kPortStatusNotSupported;
constexpr uint16_t kVersionNotSupported = 30;
constexpr uint16_t kSpeedRefused = 75;
constexpr uint16_t kAlreadyActive = 103;
constexpr uint16_t kMaxSpeedTableCode = 23;

bool port_galtor(const MailboxCall& call) {
  return call.controller != nullptr && call.controller->generation == kGenerationGaltor;
}

MailboxReply port_responder_link_status(Simulator& sim, MailboxCall& call) {
  LinkStatusRecord r{};
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || !port_request(call, &r)) return port_refused();
  r = LinkStatusRecord{};
  if (call.header.version == 0) {
    r.active_port = p->active_port;
  } else {
    r.link_state = p->link_state;
    r.speed_code = p->speed_code;
    r.qos_speed = p->qos_speed;
    r.logical_state = p->logical_state;
  }
  return port_answer(call, r);
}

// Galtor keeps the version-1 form, the other generations version 0.
MailboxReply port_responder_state(Simulator& sim, MailboxCall& call, bool write) {
  const bool galtor = port_galtor(call);
  if (call.header.version != (galtor ? 1 : 0)) return port_refused(kStatusFailed, kVersionNotSupported);
  if (galtor) {
    GaltorPortStateRecord r{};
    if (!port_request(call, &r)) return port_refused(kStatusInvalid);
    SimPort* p = port_state(sim, call, r.port & kPortFieldMask);
    if (p == nullptr) return port_refused(kStatusInvalid);
    if (write) {
      p->enabled = (r.state & 1) != 0;
      return MailboxReply{};
    }
    r.state = p->enabled ? 1 : 0;
    return port_answer(call, r);
  }
  PortStateRecord r{};
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || !port_request(call, &r)) return port_refused(kStatusInvalid);
  if (write) {
    if (r.state > 1) return port_refused(kStatusInvalid);
    p->enabled = r.state == 1;
    return MailboxReply{};
  }
  r.state = p->enabled ? 1 : 0;
  return port_answer(call, r);
}

MailboxReply port_responder_phy(Simulator& sim, MailboxCall& call) {
  PhyDetailsRecord r{};
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || !port_request(call, &r)) return port_refused();
  r = PhyDetailsRecord{};
  r.phy_type = p->phy_type;
  r.interface_type = p->interface_type;
  r.speed_list_marker = p->speed_list ? kPhySpeedListMarker : 0;
  r.auto_speeds_supported = p->auto_speeds;
  r.fixed_speeds_supported = p->fixed_speeds;
  return port_answer(call, r);
}

// One 8-byte descriptor per mode, each for link p.
MailboxReply port_responder_operational_modes(Simulator& sim, MailboxCall& call) {
  if (call.payload.size() != kOperationalModeSize || call.payload[0] != 1) return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, call.payload[4] & kPortFieldMask);
  if (p == nullptr) return port_refused(kStatusInvalid);
  std::fill(call.payload.begin(), call.payload.end(), 0);
  const auto count = static_cast<uint16_t>(p->op_modes.size());
  memcpy(call.payload.data(), &count, sizeof count);
  size_t at = kOperationalModeFirst;
  for (uint8_t mode : p->op_modes) {
    OperationalModeDescriptor d{};
    d.type = 1;
    d.length = 8;
    d.link = static_cast<uint8_t>(p->port);
    d.mode = mode;
    memcpy(&call.payload[at], &d, sizeof d);
    at += d.length;
  }
  return MailboxReply{};
}

MailboxReply port_responder_set_speed(Simulator& sim, MailboxCall& call) {
  if (call.header.version != 1) return port_refused(kStatusFailed, kVersionNotSupported);
  PortSpeedRequest r{};
  if (!port_request(call, &r)) return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, r.phy_port & kPortFieldMask);
  if (p == nullptr || r.virtual_port != r.phy_port) return port_refused(kStatusInvalid);
  if (r.mac_speed > kMaxSpeedTableCode) return port_refused(kStatusFailed, kSpeedRefused);
  p->configured_speed = r.mac_speed;
  p->dac_length = r.dac_cable_length;
  return MailboxReply{};
}

MailboxReply port_responder_link_speed(Simulator& sim, MailboxCall& call) {
  LinkSpeedRecord r{};
  if (!port_request(call, &r)) return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, call.payload[0] & kPortFieldMask);
  if (p == nullptr) return port_refused(kStatusInvalid);
  r.speed_code = p->configured_speed;
  r.dac_cable_length = p->dac_length;
  return port_answer(call, r);
}

MailboxReply port_responder_beacon(Simulator& sim, MailboxCall& call, bool write) {
  BeaconRecord r{};
  if (!port_request(call, &r)) return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, r.port);
  if (p == nullptr) return port_refused(kStatusInvalid);
  if (p->beacon < 0) return port_refused();
  if (!write) {
    r = BeaconRecord{};
    r.port = static_cast<uint8_t>(p->beacon);
    return port_answer(call, r);
  }
  if (r.state > 1) return port_refused(kStatusInvalid);
  if (r.state == 1 && p->beacon == 1) return port_refused(kStatusNotSupported, kAlreadyActive);
  p->beacon = r.state;
  p->beacon_duration = r.beacon_duration;
  p->status_duration = r.status_duration;
  return MailboxReply{};
}

MailboxReply port_responder_transceiver(Simulator& sim, MailboxCall& call) {
  TransceiverRecord r{};
  if (!port_request(call, &r) || (r.wire_address != kTransceiverA0 && r.wire_address != kTransceiverA2))
    return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, r.port & kPortFieldMask);
  if (p == nullptr) return port_refused(kStatusInvalid);
  if (!p->transceiver) return port_refused();
  port_transceiver_page(*p, r.wire_address, r.data);
  return port_answer(call, r);
}

MailboxReply port_responder_throttle(Simulator& sim, MailboxCall& call, bool write) {
  TxThrottleRecord r{};
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || !port_request(call, &r)) return port_refused(kStatusInvalid);
  if (write) {
    if (r.value != 1 && r.value != 2) return port_refused(kStatusInvalid);
    p->tx_throttle = r.value;
    return MailboxReply{};
  }
  r.value = p->tx_throttle;
  return port_answer(call, r);
}

MailboxReply port_responder_cv3_flow_control(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr || call.controller->generation != kGenerationCV3) return port_refused();
  SimPort* p = port_of_header(sim, call);
  if (p == nullptr || call.payload.size() != 4) return port_refused(kStatusInvalid);
  const uint16_t states[2] = {p->tx_pause, p->rx_pause};
  memcpy(call.payload.data(), states, sizeof states);
  return MailboxReply{};
}

// Sub-command 0 reads, 8 and 11 write; only through the NIC driver.
MailboxReply port_responder_flow_control(Simulator& sim, MailboxCall& call) {
  if (!call.via_nic) return port_refused();
  if (call.payload.size() != 8) return port_refused(kStatusInvalid);
  SimPort* p = port_state(sim, call, call.payload[3] & kPortFieldMask);
  const uint8_t subcommand = call.payload[1] & 0x1F;
  if (p == nullptr) return port_refused(kStatusInvalid);
  if (subcommand == kFlowControlRead) {
    call.payload[0] = static_cast<uint8_t>(p->tx_pause | p->rx_pause << 4);
    return MailboxReply{};
  }
  if (subcommand != kFlowControlWrite && subcommand != kFlowControlWriteNpar) return port_refused(kStatusInvalid);
  p->tx_pause = call.payload[0] & 0x0F;
  p->rx_pause = static_cast<uint8_t>(call.payload[0] >> 4);
  return MailboxReply{};
}

}  // namespace

void port_transceiver_page(const SimPort& p, uint32_t wire_address, uint8_t out[256]) {
  for (int i = 0; i < 256; ++i)
    out[i] = static_cast<uint8_t>((wire_address == kTransceiverA0 ? i : 255 - i) ^ (p.port << 4));
}

void port_fcoe_wwpn(Simulator& sim, const MailboxCall& call, uint8_t wwpn[8]) {
  SimPort* p = port_of_header(sim, call);
  if (p != nullptr) memcpy(wwpn, p->wwpn.data(), p->wwpn.size());
}

void port_note_erase(Simulator& sim, const MailboxCall& call, uint32_t region) {
  SimPort* p = port_of_header(sim, call);
  if (p != nullptr && region == kErasePortConfig) ++p->erased;
}

void install_port_responders(Simulator& sim) {
  sim.on(1, 5, port_responder_link_status);
  sim.on(1, 71, [](Simulator& s, MailboxCall& c) { return port_responder_state(s, c, false); });
  sim.on(1, 62, [](Simulator& s, MailboxCall& c) { return port_responder_state(s, c, true); });
  sim.on(1, 102, port_responder_phy);
  sim.on(1, 108, port_responder_operational_modes);
  sim.on(1, 57, port_responder_set_speed);
  sim.on(1, 134, port_responder_link_speed);
  sim.on(1, 70, [](Simulator& s, MailboxCall& c) { return port_responder_beacon(s, c, false); });
  sim.on(1, 69, [](Simulator& s, MailboxCall& c) { return port_responder_beacon(s, c, true); });
  sim.on(1, 73, port_responder_transceiver);
  sim.on(1, 133, [](Simulator& s, MailboxCall& c) { return port_responder_throttle(s, c, false); });
  sim.on(1, 132, [](Simulator& s, MailboxCall& c) { return port_responder_throttle(s, c, true); });
  sim.on(1, 37, port_responder_cv3_flow_control);
  sim.on(1, 205, port_responder_flow_control);
  install_dcbx_responders(sim);
  install_port_test_responders(sim);
}

}  // namespace tavo::sim
