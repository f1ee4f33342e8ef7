// Firmware answers for the core dump: the dump properties (21/11, answered
// with the virtual-function refusal by the back end's responder), the
// components and segments the firmware lists (22/11, 23/11) and segment
// pieces (24/11), and the firmware command line (24/11 of component 3).
// Segments are small: components 2 to 6 list two each, and
// a component-1 segment holds what its byte code asks for up to 96 KiB.
// Data bytes follow (component x 31 + segment x 7 + instance x 3 + offset).
#include <string.h>

#include <algorithm>
#include <string>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"
#include "transport/log_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusInvalid = 3;
constexpr uint32_t kComponents = 7;
constexpr uint32_t kTemplateContentMax = 96 * 1024;
// The byte-code header the library's templates carry: magic, segment id,
// segment length.
constexpr uint32_t kCodeMagicMask = 0xFFFF0000;
constexpr uint32_t kCodeMagic = 0x42430000;
constexpr char kCommandPrefix[] = "/fwcli/";

struct DumpModel {
  uint32_t generation;
  uint32_t hpi_intf;
  uint32_t asic_id;
};
constexpr DumpModel kModels[] = {
    {2, 0xC0010040, 0x200}, {3, 0xC0010140, 0x300}, {4, 0xC0010A40, 0x400}, {5, 0xC0010F40, 0x410}};

struct ListedSegment {
  int32_t highest_instance;
  uint32_t length;
};
// Every listed component has these: one of two instances, one read in two
// pieces.
constexpr ListedSegment kListed[] = {{1, 300}, {0, 70000}};
constexpr uint32_t kListedCount = sizeof kListed / sizeof kListed[0];

bool dump_listed(uint32_t component) { return component >= 2 && component < kComponents; }

MailboxReply dump_refused() { return MailboxReply{kStatusInvalid, 0, 0}; }

MailboxReply dump_component(Simulator&, MailboxCall& call) {
  CoreDumpComponentProps p{};
  if (call.controller == nullptr || call.payload.size() < sizeof p) return dump_refused();
  memcpy(&p, call.payload.data(), sizeof p);
  if (!dump_listed(p.component)) return dump_refused();
  p = CoreDumpComponentProps{kListedCount, 0};
  memcpy(call.payload.data(), &p, sizeof p);
  return MailboxReply{};
}

MailboxReply dump_segment(Simulator&, MailboxCall& call) {
  uint32_t request[2] = {};
  if (call.controller == nullptr || call.payload.size() < sizeof(CoreDumpSegmentProps)) return dump_refused();
  memcpy(request, call.payload.data(), sizeof request);
  if (!dump_listed(request[0]) || request[1] >= kListedCount) return dump_refused();
  CoreDumpSegmentProps p{};
  p.low_version = 1;
  p.highest_instance = kListed[request[1]].highest_instance;
  p.length = kListed[request[1]].length;
  memcpy(call.payload.data(), &p, sizeof p);
  return MailboxReply{};
}

// A firmware command line: the output planted as the flash object
// "/fwcli/<command>", "help" listing those; any other command is refused
// with segment status 0x30004.
MailboxReply dump_command_line(Simulator& sim, MailboxCall& call) {
  FwCliRequest r;
  memcpy(&r, call.payload.data(), sizeof r);
  if (r.component != kFwCliComponent || r.segment != kFwCliSegment || r.string_length > sizeof r.string)
    return dump_refused();
  const std::string command(r.string, r.string_length);
  const auto& objects = sim.flash(call.controller->index);
  std::string output;
  uint32_t status = 0;
  if (auto it = objects.find(kCommandPrefix + command); it != objects.end()) {
    output.assign(it->second.begin(), it->second.end());
  } else if (command == "help") {
    output = "help\n";
    for (const auto& [name, bytes] : objects)
      if (name.starts_with(kCommandPrefix)) output += name.substr(strlen(kCommandPrefix)) + "\n";
  } else {
    status = kFwCliUnsupported;
  }
  const uint32_t length = static_cast<uint32_t>(std::min<size_t>(output.size(), std::min(r.length, kFwCliOutputMax)));
  std::fill(call.payload.begin(), call.payload.end(), 0);
  memcpy(call.payload.data(), &status, sizeof status);
  memcpy(call.payload.data() + 4, &length, sizeof length);
  memcpy(call.payload.data() + kFwCliAnswerData, output.data(), length);
  return MailboxReply{};
}

MailboxReply dump_piece(Simulator& sim, MailboxCall& call) {
  CoreDumpSegmentRequest r;
  if (call.controller != nullptr && call.payload.size() == kFwCliPayload) return dump_command_line(sim, call);
  if (call.controller == nullptr || call.payload.size() != sizeof r) return dump_refused();
  memcpy(&r, call.payload.data(), sizeof r);
  if (r.length > kCoreDumpPieceMax || r.code_words > kCoreDumpCodeWordsMax) return dump_refused();
  uint32_t content = 0;
  if (r.component == 1) {
    // The firmware runs the byte code; it must be a whole program for
    // this segment.
    uint32_t header[3] = {};
    if (r.code_words < 4) return dump_refused();
    memcpy(header, r.code, sizeof header);
    uint32_t end = 0;
    memcpy(&end, r.code + (r.code_words - 1) * 4, sizeof end);
    if ((header[0] & kCodeMagicMask) != kCodeMagic || header[1] != r.segment || end != 0xFFFFFFFF)
      return dump_refused();
    content = std::min(header[2], kTemplateContentMax);
  } else {
    if (!dump_listed(r.component) || r.segment >= kListedCount || r.code_words != 0 ||
        static_cast<int64_t>(r.instance) > kListed[r.segment].highest_instance)
      return dump_refused();
    content = kListed[r.segment].length;
  }
  const uint32_t returned = r.offset < content ? std::min(r.length, content - r.offset) : 0;
  std::fill(call.payload.begin(), call.payload.end(), 0);
  memcpy(call.payload.data() + 4, &returned, sizeof returned);
  for (uint32_t i = 0; i < returned; ++i)
    call.payload[kCoreDumpAnswerData + i] =
        static_cast<uint8_t>(r.component * 31 + r.segment * 7 + r.instance * 3 + r.offset + i);
  return MailboxReply{};
}

}  // namespace

CoreDumpProperties coredump_properties(const SimController& c) {
  CoreDumpProperties p{};
  p.low_version = 1;
  p.chip_state = c.chip_state;
  p.components = kComponents;
  for (const DumpModel& m : kModels) {
    if (m.generation != c.generation) continue;
    p.hpi_intf = m.hpi_intf;
    p.asic_id = m.asic_id;
  }
  return p;
}

void install_dump_responders(Simulator& sim) {
  sim.on(11, 22, dump_component);
  sim.on(11, 23, dump_segment);
  sim.on(11, 24, dump_piece);
}

}  // namespace tavo::sim
