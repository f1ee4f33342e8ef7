// The mailbox command table: one constexpr row per ioctl_<command> wrapper,
// expanded from command_table.def. The wrappers, the simulator's catalogue
// responders and the conformance test read it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string_view>

#include "transport/record_changes.h"

#include "transport/device_layout.h"

namespace tavo::command {

// Argument shape and payload rule of a wrapper (see command_table.def).
enum class Form : uint8_t { Fixed, CallerLength, SizeQuery, Record20, Zeros16, Framed16, PfList, Own };

// Which device a wrapper sends on.
enum class Device : uint8_t { Iscsi, Nic, Caller, Protocol, IscsiUnlessNicOnly, IscsiWhenIscsi };

// TAVO_DIR_* of the mailbox layer.
enum class Direction : uint8_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };

struct CommandRow {
  std::string_view name;
  uint8_t subsystem;
  uint8_t opcode;
  uint8_t version;  // header version the wrapper sends (1 or 0)
  Form form;
  uint32_t length;  // request length; the record part of Record20; unused for CallerLength
  Direction direction;
  Device device;
  uint8_t changes;     // the firmware records sending it changes (transport/record_changes.h)
  uint8_t dropped_by;  // a read kept once: the changes that drop what was kept of it
  bool kept;           // the command layer keeps its answers for a read scope (kept_reads.h)
};

// A row's last column: a writer's changes as they are, a read kept once
// marked by one of these.
// The command layer keeps the answers for a read scope until a change of these.
constexpr uint32_t kept_until(uint8_t changes) { return uint32_t{changes} << 8 | 1u << 16; }
// Its reader keeps them as records (iscsi/common/record_reads.h) until a change of these.
constexpr uint32_t records_until(uint8_t changes) { return uint32_t{changes} << 8; }

enum class CommandId : uint16_t {
#define TAVO_COMMAND(name, ...) name,
#include "transport/command_table.def"
#undef TAVO_COMMAND
};

inline constexpr CommandRow kCommands[] = {
#define TAVO_COMMAND(name, subsystem, opcode, version, form, length, direction, device, ...)              \
  {#name, subsystem, opcode, version, Form::form, length, Direction::direction, Device::device,                \
   static_cast<uint8_t>(TAVO_ROW_MARKS(__VA_ARGS__)), static_cast<uint8_t>(TAVO_ROW_MARKS(__VA_ARGS__) >> 8), \
   (TAVO_ROW_MARKS(__VA_ARGS__) >> 16) != 0},
#define TAVO_ROW_MARKS(...) static_cast<uint32_t>(0 __VA_OPT__(| __VA_ARGS__))
#include "transport/command_table.def"
#undef TAVO_ROW_MARKS
#undef TAVO_COMMAND
};

inline constexpr size_t kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

constexpr const CommandRow& command_row(CommandId id) { return kCommands[static_cast<size_t>(id)]; }

// Whether a row's wrapper takes a trailing transport or controller instance.
constexpr bool command_takes_transport(const CommandRow& r) { return r.device == Device::Caller; }
constexpr bool command_takes_controller(const CommandRow& r) {
  return r.device == Device::Protocol || r.device == Device::IscsiUnlessNicOnly ||
         r.device == Device::IscsiWhenIscsi;
}

namespace command_check {

constexpr size_t count_in(uint8_t subsystem) {
  size_t n = 0;
  for (const CommandRow& r : kCommands) n += r.subsystem == subsystem;
  return n;
}

// The rules the wrappers rely on, checked once at build time.
constexpr bool rows_are_sound() {
  for (size_t i = 0; i < kCommandCount; ++i) {
    const CommandRow& r = kCommands[i];
    if (r.version > 1 || r.length > kMaxMailboxPayload) return false;
    if ((r.form == Form::SizeQuery || r.form == Form::Own) != (r.direction == Direction::None)) return false;
    if (r.form == Form::CallerLength && r.length != 0) return false;
    if ((r.form == Form::Record20 && r.length != 20) || (r.form == Form::Zeros16 && r.length != 16)) return false;
    if (r.form == Form::SizeQuery && r.device != Device::Iscsi && r.device != Device::Protocol) return false;
    // A read kept once changes nothing; one the command layer keeps is
    // answered in its own bytes, and dropped whole (its kept answers carry
    // no key a keyed change could name).
    if (r.dropped_by != 0 && r.changes != 0) return false;
    if (r.kept && (r.dropped_by == 0 || (r.dropped_by & kKeyedChanges) != 0 ||
                   (r.direction != Direction::Read && r.direction != Direction::ReadWrite) ||
                   (r.form != Form::Fixed && r.form != Form::CallerLength)))
      return false;
    for (size_t j = i + 1; j < kCommandCount; ++j)
      if (kCommands[j].name == r.name) return false;
  }
  return true;
}

static_assert(rows_are_sound());
static_assert(kCommandCount == 175);
static_assert(count_in(1) == 87 && count_in(2) == 22 && count_in(6) == 37 && count_in(11) == 8 &&
              count_in(15) == 3 && count_in(16) == 8 && count_in(18) == 6 && count_in(19) == 2 &&
              count_in(21) == 2);

}  // namespace command_check

}  // namespace tavo::command
