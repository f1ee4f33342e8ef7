// Firmware answers of the port tests: loopback modes (20/11 read, 19/11
// enter and leave) and the loopback traffic test (18/11), the DDR DMA test
// (17/11, an echo of the data), and the 10GBase-T PHY (8/18 statistics in
// both forms, 9/18 self test, 11/18 TDR, 12/18 and 10/18 NVP); the CV3's
// internal 10Gb PHY answers the statistics in the 84-byte form. Refusals:
// 1/83 a type the port cannot take, 1/84 a port already looping, 1/85 a
// test or an exit without the mode, 1/99 a test without a module.
#include <string.h>

#include "simulator/responders_port.h"
#include "transport/port_records.h"

namespace tavo::sim {
namespace {

constexpr uint16_t kTypeNotSupported = 83;
constexpr uint16_t kAlreadyLooping = 84;
constexpr uint16_t kModeNotSet = 85;
constexpr uint16_t kNoModule = 99;
constexpr uint32_t kLinkDown = 5;
constexpr int64_t kMsPerLoop = 2;
constexpr uint16_t kCv3Internal10G = 0x8;  // PHY type

MailboxReply loop_refused(uint16_t why) { return port_refused(kPortStatusFailed, why); }

MailboxReply loopback_mode(Simulator& sim, MailboxCall& call) {
  LoopbackModeRequest r{};
  if (!port_request(call, &r)) return port_refused(kPortStatusInvalid);
  SimPort* p = port_state(sim, call, r.port_or_mode);
  if (p == nullptr) return port_refused(kPortStatusInvalid);
  r = LoopbackModeRequest{};
  r.port_or_mode = p->loopback_mode;
  return port_answer(call, r);
}

// Enter: the source port (and the destination of a two-port mode) takes
// the type. Leave: the mode goes from both.
MailboxReply loopback_set(Simulator& sim, MailboxCall& call) {
  LoopbackModeRequest w{};
  if (!port_request(call, &w)) return port_refused(kPortStatusInvalid);
  SimPort* p = port_state(sim, call, w.port_or_mode);
  SimPort* other = port_state(sim, call, w.destination);
  if (p == nullptr || other == nullptr) return port_refused(kPortStatusInvalid);
  if (w.state == 0) {
    if (w.type != kLoopbackNone) return port_refused(kPortStatusInvalid);
    if (p->loopback_mode == kLoopbackNone || p->loopback_mode == kLoopbackNotSupported)
      return loop_refused(kModeNotSet);
    if (SimPort* partner = port_state(sim, call, p->loopback_partner)) partner->loopback_mode = kLoopbackNone;
    p->loopback_mode = kLoopbackNone;
    p->loopback_partner = -1;
    return MailboxReply{};
  }
  if (w.state != 1) return port_refused(kPortStatusInvalid);
  if (w.type > kTwoPortLoopback || p->loopback_mode == kLoopbackNotSupported ||
      (w.type == kPhyLoopback && !p->phy_loopback))
    return loop_refused(kTypeNotSupported);
  const bool two_ports = w.type == kTwoPortLoopback;
  if (p->loopback_mode != kLoopbackNone || (two_ports && other->loopback_mode != kLoopbackNone))
    return loop_refused(kAlreadyLooping);
  p->loopback_mode = w.type;
  if (two_ports) {
    other->loopback_mode = w.type;
    other->loopback_partner = p->port;
    p->loopback_partner = other->port;
  }
  return MailboxReply{};
}

// Needs the source port in the type's mode and a module; a link down ends
// the test with status 5. The test takes its time on the clock.
MailboxReply loopback_test(Simulator& sim, MailboxCall& call) {
  LoopbackTestRequest r{};
  if (!port_request(call, &r) || r.source_or_elapsed_ms > 3) return port_refused(kPortStatusInvalid);
  SimPort* p = port_state(sim, call, static_cast<int>(r.source_or_elapsed_ms));
  if (p == nullptr) return port_refused(kPortStatusInvalid);
  if (p->loopback_mode != r.type_or_status) return loop_refused(kModeNotSet);
  if (!p->transceiver) return loop_refused(kNoModule);
  const int64_t loops = r.loop_count_or_sent;
  LoopbackTestRequest answer{};
  answer.type_or_status = p->link_state == 0 ? kLinkDown : p->loop_status;
  answer.loop_count_or_sent = static_cast<uint32_t>(p->loop_sent >= 0 ? p->loop_sent : loops);
  answer.pattern_low_or_received = static_cast<uint32_t>(p->loop_received >= 0 ? p->loop_received : loops);
  const int64_t ms = p->loop_ms >= 0 ? p->loop_ms : loops * kMsPerLoop;
  answer.source_or_elapsed_ms = static_cast<uint32_t>(ms);
  sim.advance_ms(static_cast<uint64_t>(ms));
  return port_answer(call, answer);
}

// The data sent comes back, but for the controller's planted errors; each
// transfer takes a millisecond.
MailboxReply dma_test(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr || call.payload.size() != sizeof(DmaTestRequest)) return port_refused();
  auto* r = reinterpret_cast<DmaTestRequest*>(call.payload.data());
  if (r->byte_count > kDmaTestMaxBytes || r->byte_count % 8 != 0) return port_refused(kPortStatusInvalid);
  SimController* c = nullptr;
  for (SimController& each : sim.topology().controllers)
    if (each.index == call.controller->index) c = &each;
  if (c == nullptr) return port_refused();
  const uint32_t n = ++c->dma_transfers;
  memset(r->received, 0, sizeof r->received);
  memcpy(r->received, r->sent, r->byte_count);
  r->send_status = c->dma_send_error_every != 0 && n % c->dma_send_error_every == 0 ? 1 : 0;
  if (c->dma_miscompare_every != 0 && n % c->dma_miscompare_every == 0 && r->byte_count > 0)
    r->received[r->byte_count - 1] ^= 0xFF;
  sim.advance_ms(1);
  return MailboxReply{};
}

// The PHY commands name the port in their first word.
SimPort* phy_port(Simulator& sim, const MailboxCall& call) {
  uint32_t port = 0;
  if (call.payload.size() < sizeof port) return nullptr;
  memcpy(&port, call.payload.data(), sizeof port);
  return port_state(sim, call, port > 3 ? -1 : static_cast<int>(port));
}

SimPort* baset_port(Simulator& sim, const MailboxCall& call) {
  SimPort* p = phy_port(sim, call);
  return p != nullptr && p->baset_stats ? p : nullptr;
}

// The statistics; a version-1 request with word 1 bit 0 clears the
// counters first. The CV3's internal PHY knows only the first form.
MailboxReply baset_stats(Simulator& sim, MailboxCall& call) {
  const size_t size = call.header.version == 1 ? kBaseTStatsV1Size : kBaseTStatsSize;
  if (call.payload.size() != size) return port_refused(kPortStatusInvalid);
  SimPort* p = baset_port(sim, call);
  if (p == nullptr && call.header.version == 0) {
    p = phy_port(sim, call);
    if (p != nullptr && p->phy_type != kCv3Internal10G) p = nullptr;
  }
  if (p == nullptr) return port_refused();
  uint32_t flags = 0;
  memcpy(&flags, call.payload.data() + 4, sizeof flags);
  if (call.header.version == 1 && (flags & kBaseTClearCounters) != 0) {
    ++p->baset_clears;
    for (size_t word : {12, 13, 14, 15, 16, 18, 19, 21}) p->baset_words[word] = 0;
  }
  memcpy(call.payload.data(), p->baset_words.data(), size);
  return MailboxReply{};
}

MailboxReply baset_selftest(Simulator& sim, MailboxCall& call) {
  SelfTestRequest r{};
  if (!port_request(call, &r)) return port_refused(kPortStatusInvalid);
  SimPort* p = baset_port(sim, call);
  if (p == nullptr) return port_refused();
  if ((r.test_type != 1 && r.test_type != 2 && r.test_type != 5) || r.source_pair > 3 || r.target_pair > 3)
    return port_refused(kPortStatusInvalid);
  r.port_or_result = p->selftest_result;
  return port_answer(call, r);
}

MailboxReply baset_tdr(Simulator& sim, MailboxCall& call) {
  TdrRequest r{};
  if (!port_request(call, &r)) return port_refused(kPortStatusInvalid);
  SimPort* p = baset_port(sim, call);
  if (p == nullptr) return port_refused();
  r.port_or_results = p->tdr_results;
  memcpy(r.lengths, p->tdr_lengths.data(), sizeof r.lengths);
  r.nvp_used = p->nvp;
  return port_answer(call, r);
}

MailboxReply baset_nvp(Simulator& sim, MailboxCall& call, bool write) {
  SimPort* p = baset_port(sim, call);
  if (write) {
    NvpWrite w{};
    if (!port_request(call, &w) || w.value > 100) return port_refused(kPortStatusInvalid);
    if (p == nullptr) return port_refused();
    p->nvp = w.value;
    return MailboxReply{};
  }
  NvpRecord r{};
  if (!port_request(call, &r)) return port_refused(kPortStatusInvalid);
  if (p == nullptr) return port_refused();
  return port_answer(call, NvpRecord{p->nvp});
}

}  // namespace

void install_port_test_responders(Simulator& sim) {
  sim.on(11, 20, loopback_mode);
  sim.on(11, 19, loopback_set);
  sim.on(11, 18, loopback_test);
  sim.on(11, 17, dma_test);
  sim.on(18, 8, baset_stats);
  sim.on(18, 9, baset_selftest);
  sim.on(18, 11, baset_tdr);
  sim.on(18, 12, [](Simulator& s, MailboxCall& c) { return baset_nvp(s, c, false); });
  sim.on(18, 10, [](Simulator& s, MailboxCall& c) { return baset_nvp(s, c, true); });
}

}  // namespace tavo::sim
