// Firmware answers for NC-SI (86/1 read, 87/1 write of the dynamic block),
// kept per controller in the flash object "/cfg/ncsi" (the 72-byte record;
// tests may plant another). Galtor offers no NC-SI. The default record is
// supported with a good handshake; the dynamic block's unused bytes carry
// a pattern that a write must keep.
#include <string.h>

#include <vector>

#include "ids/device_ids.h"
#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusNotSupported = 66;
constexpr char kNcsiObject[] = "/cfg/ncsi";

NcsiAttributes ncsi_default(int controller) {
  NcsiAttributes a{};
  a.state = kNcsiSupported;
  a.handshake = 0;
  NcsiConfigBlock& s = a.static_block;
  const uint8_t mac[6] = {0x00, 0x0e, 0x1e, 0x60, static_cast<uint8_t>(controller), 0x00};
  memcpy(s.port0_mac, mac, sizeof mac);
  memcpy(s.port1_mac, mac, sizeof mac);
  s.port1_mac[5] = 0x01;
  s.port0_wol = 1;
  NcsiConfigBlock& d = a.dynamic_block;
  d = s;
  memset(d.reserved0, 0xD0, sizeof d.reserved0);
  d.reserved19 = 0x19;
  memset(d.reserved22, 0x22, sizeof d.reserved22);
  d.port0_wol = 0;
  d.port1_wol = 1;
  d.mgmt_vlan = 100;
  return a;
}

NcsiAttributes ncsi_stored(Simulator& sim, int controller) {
  auto& bytes = sim.flash(controller)[kNcsiObject];
  if (bytes.size() != sizeof(NcsiAttributes)) {
    const NcsiAttributes a = ncsi_default(controller);
    bytes.assign(reinterpret_cast<const uint8_t*>(&a), reinterpret_cast<const uint8_t*>(&a) + sizeof a);
  }
  NcsiAttributes a;
  memcpy(&a, bytes.data(), sizeof a);
  return a;
}

MailboxReply ncsi_respond(Simulator& sim, MailboxCall& call) {
  const SimController* c = call.controller;
  if (c == nullptr || c->generation == kGenerationGaltor) return MailboxReply{kStatusNotSupported, 0, 0};
  NcsiAttributes a = ncsi_stored(sim, c->index);
  if (call.header.opcode == 86) {
    if (call.payload.size() < sizeof a) return MailboxReply{kStatusInvalid, 0, 0};
    memcpy(call.payload.data(), &a, sizeof a);
    return MailboxReply{};
  }
  if (a.state != kNcsiSupported) return MailboxReply{kStatusNotSupported, 0, 0};
  if (call.payload.size() < sizeof a.dynamic_block) return MailboxReply{kStatusInvalid, 0, 0};
  memcpy(&a.dynamic_block, call.payload.data(), sizeof a.dynamic_block);
  sim.flash(c->index)[kNcsiObject].assign(reinterpret_cast<const uint8_t*>(&a),
                                          reinterpret_cast<const uint8_t*>(&a) + sizeof a);
  return MailboxReply{};
}

}  // namespace

void install_ncsi_responders(Simulator& sim) {
  sim.on(1, 86, ncsi_respond);
  sim.on(1, 87, ncsi_respond);
}

}  // namespace tavo::sim
