// Firmware answers for multi-channel and switch settings: the controller's
// capability word (123/1, whose bits announce the multi-channel types; from
// the topology's mc-caps, else by generation) and how the embedded switch
// forwards a port's traffic (152/1 read, 153/1 write; kept per port, VEB
// by default).
#include <string.h>

#include "simulator/responders.h"
#include "simulator/responders_port.h"
#include "simulator/simulator.h"
#include "transport/device_ids.h"
#include "transport/nic_records.h"

namespace tavo::sim {
namespace {

// By generation: a CV3 runs UMC, NPAR, vNIC1 and UFP; a Moravel (or an
// unknown generation) UMC and NPAR; CV2 and Galtor none.
uint32_t channels_default_caps(uint32_t generation) {
  switch (generation) {
    case kGenerationCV3:
      return 0x59;
    case kGenerationCV2:
    case kGenerationGaltor:
      return 0;
    default:
      return 0x09;
  }
}

MailboxReply channels_capabilities(Simulator&, MailboxCall& call) {
  CapabilityRecord record{};
  if (call.controller == nullptr || !port_request(call, &record)) return port_refused(kPortStatusInvalid);
  const SimController& c = *call.controller;
  record = CapabilityRecord{};
  record.word = c.mc_capabilities >= 0 ? static_cast<uint32_t>(c.mc_capabilities) : channels_default_caps(c.generation);
  return port_answer(call, record);
}

MailboxReply channels_get_forwarding(Simulator& sim, MailboxCall& call) {
  SwitchConfigGet request{};
  if (!port_request(call, &request) || request.mark != kSwitchConfigMark) return port_refused(kPortStatusInvalid);
  SimPort* p = port_state(sim, call, request.port);
  if (p == nullptr) return port_refused(kPortStatusInvalid);
  SwitchConfigGet answer{};
  answer.port = static_cast<uint16_t>((p->forwarding & kForwardingMask) << kForwardingShift);
  return port_answer(call, answer);
}

MailboxReply channels_set_forwarding(Simulator& sim, MailboxCall& call) {
  SwitchConfigSet request{};
  if (!port_request(call, &request) || request.mark != kSwitchConfigMark) return port_refused(kPortStatusInvalid);
  SimPort* p = port_state(sim, call, request.port);
  const uint16_t type = forwarding_of(request.forwarding);
  if (p == nullptr || (type != kForwardingVepa && type != kForwardingVeb)) return port_refused(kPortStatusInvalid);
  p->forwarding = type;
  return MailboxReply{};
}

}  // namespace

void install_channel_responders(Simulator& sim) {
  sim.on(1, 123, channels_capabilities);
  sim.on(1, 152, channels_get_forwarding);
  sim.on(1, 153, channels_set_forwarding);
}

}  // namespace tavo::sim
