// Firmware answers for the commands the transport sends itself: flash
// component reads (the CRC query, the whole flash) and the chunked flash
// write, and the personality queries. Flash components live in the
// controller's flash objects as "/optype/<n>"; the personalities in "/cfg/personalities" (available,
// default all three) and "/cfg/personality" (configured); erased regions
// are listed in "/erased".
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"
#include "transport/iscsi_records.h"
#include "transport/log_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusNotSupported = 66;
constexpr uint32_t kEraseOperation = 3;
constexpr size_t kMaxComponentSize = 32u << 20;

// A write in progress per controller and component: where the next chunk goes.
using FlashCursors = std::map<std::pair<int, uint32_t>, size_t>;

std::string transport_responder_component(uint32_t optype) { return "/optype/" + std::to_string(optype); }

int transport_responder_controller(const MailboxCall& call) { return call.controller ? call.controller->index : -1; }

// A read of a component (operation 4; the 4-byte form is the CRC query):
// the bytes written at the offset, erased flash (0xFF) elsewhere. Optype
// 22 is the whole flash.
MailboxReply transport_responder_query(Simulator& sim, MailboxCall& call) {
  FlashDumpRequest head;
  if (call.payload.size() < sizeof head) return MailboxReply{kStatusInvalid, 0, 0};
  memcpy(&head, call.payload.data(), sizeof head);
  if (head.operation != kFlashReadOperation) return MailboxReply{kStatusNotSupported, 0, 0};  // other reads of 6/1
  if (head.length == 0 || head.length > kFlashReadPieceMax || call.payload.size() != sizeof head + head.length + 4)
    return MailboxReply{kStatusInvalid, 0, 0};
  const auto& objects = sim.flash(transport_responder_controller(call));
  auto it = objects.find(transport_responder_component(head.optype));
  uint8_t* data = call.payload.data() + kFlashReadData;
  std::fill(data, data + head.length, 0xFF);
  if (it != objects.end() && head.offset < it->second.size()) {
    const size_t n = std::min<size_t>(head.length, it->second.size() - head.offset);
    memcpy(data, it->second.data() + head.offset, n);
  }
  return MailboxReply{};
}

// An erase of a configuration region (20 bytes): the region's number is
// appended to "/erased"; the NIC settings (14) take the NIC regions along,
// the iSCSI configuration (6) the persistent targets.
MailboxReply transport_responder_erase(Simulator& sim, MailboxCall& call) {
  EraseRequest request;
  if (call.payload.size() != sizeof request) return MailboxReply{kStatusInvalid, 0, 0};
  memcpy(&request, call.payload.data(), sizeof request);
  auto& objects = sim.flash(transport_responder_controller(call));
  objects["/erased"].push_back(static_cast<uint8_t>(request.region));
  port_note_erase(sim, call, request.region);
  if (request.region == kEraseNicSettings)
    std::erase_if(objects, [](const auto& object) { return object.first.starts_with("/nicdata/"); });
  if (request.region == kEraseIscsiConfig) erase_iscsi_configuration(sim, transport_responder_controller(call));
  // The virtual MACs (27) take each function's volatile MAC along.
  if (request.region == kEraseVirtualMacs)
    for (const SimFunction& f : sim.topology().functions)
      if (call.controller != nullptr && f.controller == call.controller->index) {
        OemExecConfig& oem = sim.nic_state(f).oem;
        oem.flags = static_cast<uint8_t>(oem.flags & ~kOemVolatileMacValid);
        memset(oem.volatile_mac, 0, sizeof oem.volatile_mac);
      }
  return MailboxReply{};
}

MailboxReply transport_responder_write(Simulator& sim, MailboxCall& call, FlashCursors& cursors) {
  FlashChunkHead head;
  if (call.payload.size() < sizeof head) return MailboxReply{kStatusInvalid, 0, 0};
  memcpy(&head, call.payload.data(), sizeof head);
  if (head.operation == kEraseOperation) return transport_responder_erase(sim, call);
  if (call.payload.size() != kFlashChunkLength) return MailboxReply{kStatusInvalid, 0, 0};
  const bool last = head.operation == kFlashOperationLast;
  if ((!last && head.operation != kFlashOperationMore) || head.length > kFlashChunkData)
    return MailboxReply{kStatusInvalid, 0, 0};
  const int controller = transport_responder_controller(call);
  const auto key = std::make_pair(controller, head.optype);
  // The first chunk of a write opens it at its offset; later chunks follow
  // on, whether or not the sender advanced the offset field.
  auto open = cursors.find(key);
  const uint64_t at = open == cursors.end() ? uint64_t{head.offset} : open->second;
  if (at + head.length > kMaxComponentSize) {
    cursors.erase(key);
    return MailboxReply{kStatusInvalid, 0, 0};
  }
  auto& object = sim.flash(controller)[transport_responder_component(head.optype)];
  const size_t end = static_cast<size_t>(at) + head.length;
  if (object.size() < end) object.resize(end, 0xFF);
  memcpy(object.data() + at, call.payload.data() + sizeof head, head.length);
  if (last)
    cursors.erase(key);
  else
    cursors[key] = end;
  return MailboxReply{};
}

// A text answer at the payload's start; the answer header's length word
// gives its length.
MailboxReply transport_responder_text(MailboxCall& call, const std::string& text) {
  const size_t n = fill_payload(call, text.data(), text.size());
  MailboxReply r;
  r.length_word = static_cast<int64_t>(n);
  return r;
}

MailboxReply transport_responder_available(Simulator& sim, MailboxCall& call) {
  const auto& objects = sim.flash(transport_responder_controller(call));
  auto it = objects.find("/cfg/personalities");
  return transport_responder_text(
      call, it != objects.end() ? std::string(it->second.begin(), it->second.end()) : "NIC,iSCSI,FCoE");
}

MailboxReply transport_responder_configured(Simulator& sim, MailboxCall& call) {
  const int controller = transport_responder_controller(call);
  const auto& objects = sim.flash(controller);
  auto it = objects.find("/cfg/personality");
  if (it != objects.end()) return transport_responder_text(call, std::string(it->second.begin(), it->second.end()));
  bool iscsi = false;
  for (const auto& f : sim.topology().functions)
    iscsi |= f.kind == FunctionKind::Iscsi && f.controller == controller;
  return transport_responder_text(call, iscsi ? "iSCSI" : "NIC");
}

}  // namespace

void install_transport_responders(Simulator& sim) {
  auto cursors = std::make_shared<FlashCursors>();
  sim.on(1, 6, transport_responder_query);
  sim.on(1, 7, [cursors](Simulator& s, MailboxCall& call) { return transport_responder_write(s, call, *cursors); });
  sim.on(1, 113, transport_responder_available);
  sim.on(1, 114, transport_responder_configured);
}

}  // namespace tavo::sim
