// What the responders of an iSCSI function's TCP/IP stack share: finding
// the calling function's stack, reading the request record and answering
// in place.
#pragma once

#include <string.h>

#include "simulator/simulator.h"

namespace tavo::sim::network {

inline constexpr uint8_t kStatusFailed = 3;
inline constexpr uint8_t kStatusTooSmall = 4;
inline constexpr uint8_t kStatusNotSupported = 66;
inline constexpr MailboxReply kRefused{kStatusFailed, 0, 0};

template <typename Record>
MailboxReply answer(MailboxCall& call, const Record& r) {
  memcpy(call.payload.data(), &r, sizeof r);
  return MailboxReply{};
}

// A text into a fixed field as snprintf's "%s" puts it: cut to fit, then
// a NUL; without formatting it costs a tenth.
inline void put_text(char* field, size_t size, const std::string& text) {
  const size_t n = strnlen(text.c_str(), size - 1);
  memcpy(field, text.data(), n);
  field[n] = '\0';
}

inline SimNetwork* stack_of(Simulator& sim, const MailboxCall& call) {
  if (call.via_nic || call.function == nullptr || call.function->kind != FunctionKind::Iscsi) return nullptr;
  return sim.network(call.function->iscsi_device);
}

// Runs body on the calling function's stack and its request record; a call
// of no iSCSI function is refused, a request shorter than the record
// answered with status 4.
template <typename Record, typename Body>
MailboxReply call_with(Simulator& sim, MailboxCall& call, Body body) {
  SimNetwork* net = stack_of(sim, call);
  if (net == nullptr) return kRefused;
  if (call.payload.size() < sizeof(Record)) return MailboxReply{kStatusTooSmall, 0, 0};
  // Filled whole from the request: not cleared first (a route table is 64 KiB).
  Record r;
  memcpy(&r, call.payload.data(), sizeof r);
  return body(*net, r);
}

}  // namespace tavo::sim::network
