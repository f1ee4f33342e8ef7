// The SCSI side of each function's sessions: SCSI commands passed through
// an open session to the LUNs of its target (59/6), and the boot settings
// the firmware keeps per session (boot flags 52/6, 53/6; boot LUN 54/6,
// 55/6) and per function (BIOS configuration 57/6, 58/6).
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "simulator/network_call.h"
#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/iscsi_records.h"
#include "transport/scsi_records.h"

namespace tavo::sim {
namespace {

using network::kRefused;

constexpr uint8_t kVersionSpc3 = 5;

uint32_t luns_be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void luns_put_be(uint8_t* p, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

// A text field of INQUIRY data: left-aligned, padded with spaces.
void luns_put_text(uint8_t* p, size_t size, const std::string& text) {
  memset(p, ' ', size);
  memcpy(p, text.data(), std::min(size, text.size()));
}

// The session of the handle in the request's first word: open, and to a
// target; null for none.
SimSession* luns_session(Simulator& sim, const MailboxCall& call) {
  SimIscsi* state = iscsi_state_of(sim, call);
  uint32_t handle = 0;
  if (state == nullptr || call.payload.size() < sizeof handle) return nullptr;
  memcpy(&handle, call.payload.data(), sizeof handle);
  SimSession* s = state->find(handle);
  return s != nullptr && !s->discovery ? s : nullptr;
}

SimTarget* luns_target(Simulator& sim, const SimSession& s) {
  std::vector<SimTarget>& targets = sim.topology().targets;
  // One target's LUNs are asked in a row: the one found last is looked at
  // first.
  static thread_local size_t last = 0;
  const auto named = [&](size_t i) { return strcasecmp(targets[i].name.c_str(), s.target.c_str()) == 0; };
  if (last < targets.size() && named(last)) return &targets[last];
  for (size_t i = 0; i < targets.size(); ++i)
    if (named(i)) return &targets[last = i];
  return nullptr;
}

// The LUN a request addresses: its first four bytes.
SimLun* luns_find(SimTarget& t, const uint8_t lun[8]) {
  for (SimLun& l : t.luns)
    if (memcmp(l.id.data(), lun, 4) == 0) return &l;
  return nullptr;
}

// One command's answer into data (size bytes): false for CHECK CONDITION.
bool luns_execute(SimTarget& t, const ScsiPassthroughRequest& r, uint8_t* data, size_t size) {
  const uint8_t* cdb = r.cdb;
  std::vector<uint8_t> answer;
  if (cdb[0] == kScsiReportLuns) {
    answer.assign(8 + 8 * t.luns.size(), 0);
    luns_put_be(answer.data(), 8 * t.luns.size(), 4);
    for (size_t i = 0; i < t.luns.size(); ++i) memcpy(&answer[8 * (i + 1)], t.luns[i].id.data(), 8);
    answer.resize(std::min<size_t>(answer.size(), luns_be32(cdb + 6)));
    memcpy(data, answer.data(), std::min(size, answer.size()));
    return r.direction == kScsiDataIn;
  }
  SimLun* lun = luns_find(t, r.lun);
  if (lun == nullptr) return false;
  if (lun->check_conditions != 0) {
    if (lun->check_conditions > 0) --lun->check_conditions;
    return false;
  }
  const uint64_t last = lun->blocks - 1;
  if (cdb[0] == kScsiReadCapacity10) {
    answer.assign(8, 0);
    luns_put_be(answer.data(), std::min<uint64_t>(last, 0xFFFFFFFF), 4);
    luns_put_be(answer.data() + 4, lun->block_size, 4);
  } else if (cdb[0] == kScsiServiceActionIn16 && (cdb[1] & 0x1F) == kScsiReadCapacity16) {
    answer.assign(32, 0);
    luns_put_be(answer.data(), last, 8);
    luns_put_be(answer.data() + 8, lun->block_size, 4);
    answer.resize(std::min<size_t>(answer.size(), luns_be32(cdb + 10)));
  } else if (cdb[0] == kScsiInquiry && (cdb[1] & 1) == 0) {
    answer.assign(36, 0);
    answer[0] = lun->type;
    answer[2] = kVersionSpc3;
    answer[3] = 2;
    answer[4] = 31;
    luns_put_text(&answer[8], 8, lun->vendor);
    luns_put_text(&answer[16], 16, lun->product);
    luns_put_text(&answer[32], 4, "1.0");
    answer.resize(std::min<size_t>(answer.size(), cdb[4]));
  } else if (cdb[0] == kScsiInquiry && cdb[2] == kScsiUnitSerialPage) {
    answer.assign(4 + lun->serial.size(), 0);
    answer[0] = lun->type;
    answer[1] = kScsiUnitSerialPage;
    answer[3] = static_cast<uint8_t>(lun->serial.size());
    memcpy(&answer[4], lun->serial.data(), lun->serial.size());
    answer.resize(std::min<size_t>(answer.size(), cdb[4]));
  } else if (cdb[0] == kScsiRead10 || cdb[0] == kScsiWrite10) {
    const bool write = cdb[0] == kScsiWrite10;
    const uint64_t lba = luns_be32(cdb + 2);
    const uint32_t count = uint32_t{cdb[7]} << 8 | cdb[8];
    if (lba + count > lun->blocks || r.direction != (write ? kScsiDataOut : kScsiDataIn)) return false;
    // The data area holds what it holds; blocks beyond it stay as they were.
    for (uint32_t i = 0; i < count; ++i) {
      const size_t at = size_t{i} * lun->block_size;
      if (at >= size) break;
      const size_t n = std::min<size_t>(lun->block_size, size - at);
      if (write) {
        std::vector<uint8_t>& block = lun->written[lba + i];
        block.assign(lun->block_size, 0);
        memcpy(block.data(), data + at, n);
        continue;
      }
      auto it = lun->written.find(lba + i);
      if (it == lun->written.end())
        memset(data + at, 0, n);
      else
        memcpy(data + at, it->second.data(), n);
    }
    return true;
  } else {
    return false;
  }
  if (r.direction != kScsiDataIn) return false;
  memcpy(data, answer.data(), std::min(size, answer.size()));
  return true;
}

// 59/6: the command runs on the LUN of the session's target; its SCSI
// status goes into byte 15 of the answer.
MailboxReply luns_passthrough(Simulator& sim, MailboxCall& call) {
  ScsiPassthroughRequest r;
  SimSession* s = luns_session(sim, call);
  if (s == nullptr || !s->open || call.payload.size() < sizeof r) return kRefused;
  memcpy(&r, call.payload.data(), sizeof r);
  SimTarget* t = luns_target(sim, *s);
  const size_t size = std::min<size_t>(r.data_length, call.payload.size() - sizeof r);
  uint8_t* data = call.payload.data() + sizeof r;
  const bool good = t != nullptr && luns_execute(*t, r, data, size);
  call.payload[offsetof(ScsiPassthroughRequest, scsi_status)] = good ? kScsiGood : kScsiCheckCondition;
  return MailboxReply{};
}

// 52/6 answers a session's flags, 53/6 sets its boot bits.
MailboxReply luns_boot_flags(Simulator& sim, MailboxCall& call) {
  SimSession* s = luns_session(sim, call);
  BootTargetParams p{};
  const size_t size = call.header.opcode == 53 ? sizeof p : 8;
  if (s == nullptr || call.payload.size() < size) return kRefused;
  memcpy(&p, call.payload.data(), size);
  if (call.header.opcode == 53) {
    s->boot = (p.flags & kSessionBoot) != 0;
    s->other_flags = p.flags & ~(kSessionBoot | kSessionNotPersistent);
    return MailboxReply{};
  }
  p.flags = (s->persistent ? 0 : kSessionNotPersistent) | (s->boot ? kSessionBoot : 0) | s->other_flags;
  memcpy(call.payload.data(), &p, size);
  return MailboxReply{};
}

// 54/6 answers a session's boot LUN, 55/6 sets it.
MailboxReply luns_boot_lun(Simulator& sim, MailboxCall& call) {
  SimSession* s = luns_session(sim, call);
  BootLunUpdate u{};
  if (s == nullptr) return kRefused;
  if (call.header.opcode == 55) {
    if (call.payload.size() < sizeof u) return kRefused;
    memcpy(&u, call.payload.data(), sizeof u);
    memcpy(s->boot_lun.data(), u.lun, sizeof u.lun);
    return MailboxReply{};
  }
  if (call.payload.size() < s->boot_lun.size()) return kRefused;
  memcpy(call.payload.data(), s->boot_lun.data(), s->boot_lun.size());
  return MailboxReply{};
}

// 57/6 answers the function's BIOS configuration, 58/6 replaces it.
MailboxReply luns_bios(Simulator& sim, MailboxCall& call) {
  SimIscsi* state = iscsi_state_of(sim, call);
  if (state == nullptr || call.payload.size() < sizeof state->bios) return kRefused;
  if (call.header.opcode == 58)
    memcpy(&state->bios, call.payload.data(), sizeof state->bios);
  else
    memcpy(call.payload.data(), &state->bios, sizeof state->bios);
  return MailboxReply{};
}

}  // namespace

void install_lun_responders(Simulator& sim) {
  sim.on(6, 59, luns_passthrough);
  sim.on(6, 52, luns_boot_flags);
  sim.on(6, 53, luns_boot_flags);
  sim.on(6, 54, luns_boot_lun);
  sim.on(6, 55, luns_boot_lun);
  sim.on(6, 57, luns_bios);
  sim.on(6, 58, luns_bios);
}

}  // namespace tavo::sim
