// Firmware answers for its logs: the event log (63/2 with its size query,
// 62/2 clear), FAT data (68/1), the extended FAT configuration (125/1,
// 126/1) and the ARM log (127/1 snapshot, 128/1 entries, 130/1 string
// table). The state is the controller's flash objects, made with a default
// on first use (simulator/README.md): "/log/events" (64-byte event records),
// "/fat" (none by default), "/extfat/default" and "/extfat/current"
// (64,000-byte blocks), "/arm/strings", "/arm/flash" and "/arm/ram" (the
// string table and 64-byte entries) and "/arm/snapshot".
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/log_records.h"

namespace tavo::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusMoreThanFits = 4;

MailboxReply logs_refused() { return MailboxReply{kStatusInvalid, 0, 0}; }

template <typename T>
void logs_put(Bytes* out, const T& record) {
  // resize + memcpy: GCC 12 at -O3 misreads a range insert from a struct as an overflow.
  const size_t at = out->size();
  out->resize(at + sizeof record);
  memcpy(out->data() + at, &record, sizeof record);
}

Bytes logs_default_events() {
  Bytes out;
  auto add = [&out](uint16_t code, uint32_t stamp, uint32_t sequence, uint16_t severity, std::vector<uint32_t> args,
                    const char* text) {
    FirmwareEventRecord r{};
    r.code = code;
    r.time_stamp = stamp;
    r.sequence = sequence;
    r.severity = severity;
    if (text != nullptr) snprintf(reinterpret_cast<char*>(r.detail), sizeof r.detail, "%s", text);
    if (!args.empty()) memcpy(r.detail, args.data(), std::min(args.size() * 4, sizeof r.detail));
    logs_put(&out, r);
  };
  add(0, 2, 1, 0, {}, nullptr);
  add(41, 5, 2, 0, {0}, nullptr);
  add(40, 380, 3, 1, {1}, nullptr);
  add(120, 512, 4, 0, {}, "Temperature sensor calibrated");
  return out;
}

// Four modules of two modes each (UART, RAM).
Bytes logs_default_extfat() {
  Bytes out;
  const char* const names[] = {"iSNS", "FIP", "Flash", "DCBX"};
  ExtFatCapabilityBlock head{};
  head.max_log_entries = 4096;
  head.log_entry_size = kArmEntrySize;
  head.logging_type = 1;
  head.max_logging_functions = 8;
  head.max_logging_ports = 4;
  head.supported_modes = kExtFatModeUart | kExtFatModeRam;
  head.module_count = 4;
  logs_put(&out, head);
  out.resize(offsetof(ExtFatCapabilityBlock, modules));
  for (uint32_t k = 0; k < 4; ++k) {
    ExtFatModuleRecord module{};
    snprintf(module.name, sizeof module.name, "%s", names[k]);
    module.id = k + 1;
    module.mode_count = 2;
    logs_put(&out, module);
    logs_put(&out, ExtFatModeRecord{0, 0, 0xF, 255, 0xFF});
    logs_put(&out, ExtFatModeRecord{1, 0, 0xF, 48, 0xFF});
  }
  out.resize(kExtFatBlockSize, 0);
  return out;
}

// A string table of two pieces and log entries that tell their number.
Bytes logs_default_strings() {
  Bytes out;
  for (uint32_t i = 0; out.size() < 70000; ++i) {
    char line[48];
    const int n = snprintf(line, sizeof line, "%u:trace point %u of module %u", i, i % 97, i % 4 + 1);
    out.insert(out.end(), line, line + n + 1);
  }
  return out;
}

Bytes logs_default_entries(uint32_t count, uint8_t source) {
  Bytes out(size_t{count} * kArmEntrySize);
  for (uint32_t e = 0; e < count; ++e) {
    uint8_t* entry = out.data() + size_t{e} * kArmEntrySize;
    memcpy(entry, &e, sizeof e);
    for (uint32_t b = 4; b < kArmEntrySize; ++b) entry[b] = static_cast<uint8_t>(e * 7 + b + source);
  }
  return out;
}

// The controller's object by name, made with its default on first use.
Bytes& logs_object(Simulator& sim, const MailboxCall& call, const std::string& name) {
  auto& objects = sim.flash(call.controller->index);
  auto it = objects.find(name);
  if (it != objects.end()) return it->second;
  Bytes made;
  if (name == "/log/events") made = logs_default_events();
  if (name == "/extfat/default") made = logs_default_extfat();
  if (name == "/extfat/current") made = logs_object(sim, call, "/extfat/default");
  if (name == "/arm/strings") made = logs_default_strings();
  if (name == "/arm/flash") made = logs_default_entries(1500, 1);
  if (name == "/arm/ram") made = logs_default_entries(300, 0);
  return objects[name] = std::move(made);
}

// 63/2: the records that fit after the count of all held (status 4 when
// more are held); a buffer too small for one is the size query.
MailboxReply logs_events(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr) return logs_refused();
  const Bytes& records = logs_object(sim, call, "/log/events");
  const uint32_t held = static_cast<uint32_t>(records.size() / sizeof(FirmwareEventRecord));
  std::fill(call.payload.begin(), call.payload.end(), 0);
  MailboxReply reply;
  if (call.payload.size() < offsetof(EventLogBuffer, records) + sizeof(FirmwareEventRecord)) {
    reply.actual_length = static_cast<int64_t>(offsetof(EventLogBuffer, records) + records.size());
    return reply;
  }
  const size_t fits = (call.payload.size() - offsetof(EventLogBuffer, records)) / sizeof(FirmwareEventRecord);
  const size_t sent = std::min<size_t>(held, fits);
  memcpy(call.payload.data() + offsetof(EventLogBuffer, count), &held, sizeof held);
  if (sent > 0)
    memcpy(call.payload.data() + offsetof(EventLogBuffer, records), records.data(), sent * sizeof(FirmwareEventRecord));
  if (held > fits) reply.status = kStatusMoreThanFits;
  return reply;
}

MailboxReply logs_clear_events(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr) return logs_refused();
  logs_object(sim, call, "/log/events").clear();
  return MailboxReply{};
}

// 68/1: the size, a piece (zeros past the end) or the clearing.
MailboxReply logs_fat(Simulator& sim, MailboxCall& call) {
  FatLogRequest r;
  if (call.controller == nullptr || call.payload.size() < sizeof r) return logs_refused();
  memcpy(&r, call.payload.data(), sizeof r);
  Bytes& fat = logs_object(sim, call, "/fat");
  switch (r.operation) {
    case kFatSize: {
      const auto size = static_cast<uint32_t>(fat.size());
      memcpy(call.payload.data(), &size, sizeof size);
      return MailboxReply{};
    }
    case kFatClear:
      fat.clear();
      return MailboxReply{};
    case kFatRead: {
      if (r.length > kFatPieceMax || call.payload.size() != sizeof r + r.length) return logs_refused();
      uint8_t* data = call.payload.data() + kFatAnswerData;
      std::fill(data, data + r.length, 0);
      if (r.offset < fat.size()) memcpy(data, fat.data() + r.offset, std::min<size_t>(r.length, fat.size() - r.offset));
      return MailboxReply{};
    }
    default:
      return logs_refused();
  }
}

// 125/1: the default or current block; 126/1 keeps a block as current.
MailboxReply logs_extfat_read(Simulator& sim, MailboxCall& call) {
  uint32_t which = 0;
  if (call.controller == nullptr || call.payload.size() != kExtFatBlockSize) return logs_refused();
  memcpy(&which, call.payload.data(), sizeof which);
  if (which != kExtFatDefaultConfig && which != kExtFatCurrentConfig) return logs_refused();
  Bytes block = logs_object(sim, call, which == kExtFatDefaultConfig ? "/extfat/default" : "/extfat/current");
  block.resize(kExtFatBlockSize, 0);
  memcpy(call.payload.data(), block.data(), kExtFatBlockSize);
  return MailboxReply{};
}

MailboxReply logs_extfat_write(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr || call.payload.size() != kExtFatBlockSize) return logs_refused();
  logs_object(sim, call, "/extfat/current").assign(call.payload.begin(), call.payload.end());
  return MailboxReply{};
}

// 127/1: the RAM log as it is now becomes the snapshot.
MailboxReply logs_snapshot(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr || call.payload.size() != sizeof(uint32_t)) return logs_refused();
  const Bytes ram = logs_object(sim, call, "/arm/ram");
  sim.flash(call.controller->index)["/arm/snapshot"] = ram;
  const auto entries = static_cast<uint32_t>(ram.size() / kArmEntrySize);
  memcpy(call.payload.data(), &entries, sizeof entries);
  return MailboxReply{};
}

// 128/1: entries of flash or of the snapshot from the first asked.
MailboxReply logs_entries(Simulator& sim, MailboxCall& call) {
  uint32_t source = 0, first = 0, wanted = 0;
  if (call.controller == nullptr || call.payload.size() != sizeof(ExtFatSnapshotBuffer)) return logs_refused();
  memcpy(&source, call.payload.data() + offsetof(ExtFatSnapshotBuffer, source), sizeof source);
  memcpy(&first, call.payload.data() + offsetof(ExtFatSnapshotBuffer, first), sizeof first);
  memcpy(&wanted, call.payload.data() + offsetof(ExtFatSnapshotBuffer, wanted), sizeof wanted);
  if (source != kArmSourceFlash && source != kArmSourceRam) return logs_refused();
  const Bytes& log = logs_object(sim, call, source == kArmSourceFlash ? "/arm/flash" : "/arm/snapshot");
  const uint64_t held = log.size() / kArmEntrySize;
  const uint64_t left = first < held ? held - first : 0;
  const auto n = static_cast<int32_t>(std::min<uint64_t>({left, wanted, kArmEntriesPerPiece}));
  std::fill(call.payload.begin(), call.payload.end(), 0);
  memcpy(call.payload.data(), &n, sizeof n);
  if (n > 0)
    memcpy(call.payload.data() + kArmEntriesData, log.data() + uint64_t{first} * kArmEntrySize,
           size_t(n) * kArmEntrySize);
  return MailboxReply{};
}

// 130/1: string-table bytes from the offset, and how many remain after.
MailboxReply logs_strings(Simulator& sim, MailboxCall& call) {
  uint32_t offset = 0, wanted = 0;
  if (call.controller == nullptr || call.payload.size() != sizeof(ExtFatStringTableBuffer)) return logs_refused();
  memcpy(&offset, call.payload.data() + offsetof(ExtFatStringTableBuffer, offset), sizeof offset);
  memcpy(&wanted, call.payload.data() + offsetof(ExtFatStringTableBuffer, wanted), sizeof wanted);
  const Bytes& table = logs_object(sim, call, "/arm/strings");
  const size_t left = offset < table.size() ? table.size() - offset : 0;
  const auto n = static_cast<uint32_t>(std::min<size_t>({left, wanted, kArmStringsPerPiece}));
  const auto remaining = static_cast<uint32_t>(left - n);
  std::fill(call.payload.begin(), call.payload.end(), 0);
  memcpy(call.payload.data() + offsetof(ExtFatStringTableBuffer, offset), &n, sizeof n);
  memcpy(call.payload.data() + offsetof(ExtFatStringTableBuffer, wanted), &remaining, sizeof remaining);
  if (n > 0) memcpy(call.payload.data() + offsetof(ExtFatStringTableBuffer, bytes), table.data() + offset, n);
  return MailboxReply{};
}

}  // namespace

void install_log_responders(Simulator& sim) {
  sim.on(2, 63, logs_events);
  sim.on(2, 62, logs_clear_events);
  sim.on(1, 68, logs_fat);
  sim.on(1, 125, logs_extfat_read);
  sim.on(1, 126, logs_extfat_write);
  sim.on(1, 127, logs_snapshot);
  sim.on(1, 128, logs_entries);
  sim.on(1, 130, logs_strings);
}

}  // namespace tavo::sim
