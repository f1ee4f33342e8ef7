// What the responders of the port commands share: the port a request
// names, its refusals and the request as a record.
#pragma once

#include <stdint.h>
#include <string.h>

#include "simulator/simulator.h"

namespace tavo::sim {

inline constexpr uint8_t kPortStatusFailed = 1;
inline constexpr uint8_t kPortStatusInvalid = 3;
inline constexpr uint8_t kPortStatusNotSupported = 66;

inline MailboxReply port_refused(uint8_t status = kPortStatusNotSupported, uint16_t additional = 0) {
  return MailboxReply{status, additional, 0};
}

// The state of port `port` of the request's controller; null for none.
inline SimPort* port_state(Simulator& sim, const MailboxCall& call, int port) {
  if (call.controller == nullptr || port < 0 || port > 3) return nullptr;
  return find_port(sim.topology(), call.controller->index, port);
}

inline SimPort* port_of_header(Simulator& sim, const MailboxCall& call) {
  return port_state(sim, call, call.header.port_number);
}

// The request as a record; false when the payload is not exactly its size.
template <typename Record>
bool port_request(const MailboxCall& call, Record* record) {
  if (call.payload.size() != sizeof *record) return false;
  memcpy(record, call.payload.data(), sizeof *record);
  return true;
}

template <typename Record>
MailboxReply port_answer(MailboxCall& call, const Record& record) {
  memcpy(call.payload.data(), &record, sizeof record);
  return MailboxReply{};
}

// DCBX (1/16 to 5/16) and LLDP (1/15 to 3/15).
void install_dcbx_responders(Simulator& sim);
// Loopback (19/11, 20/11, 18/11), the DDR DMA test (17/11) and the
// 10GBase-T PHY (8/18 to 12/18).
void install_port_test_responders(Simulator& sim);

}  // namespace tavo::sim
