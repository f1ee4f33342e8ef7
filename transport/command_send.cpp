#include "transport/command_send.h"

#include <string.h>

#include <vector>

#include "base/library_lock.h"
#include "base/read_scope.h"
#include "transport/glob.h"
#include "transport/kept_reads.h"
#include "transport/mailbox.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"
#include "base/root_gate.h"

namespace tavo::command {
namespace {

struct CommandRoute {
  bool send;
  uint32_t status;  // answered unsent
  uint32_t transport;
};

CommandRoute command_route(Device device, uint32_t arg) {
  switch (device) {
    case Device::Iscsi:
      return {true, 0, TAVO_VIA_ISCSI};
    case Device::Nic:
      return {true, 0, TAVO_VIA_NIC};
    case Device::Caller:
      return {true, 0, arg};
    case Device::Protocol:
      return {true, 0, get_the_protocol(arg)};
    case Device::IscsiUnlessNicOnly:
      // A NIC-only controller keeps no configuration signature.
      if (get_the_protocol(arg) == TAVO_VIA_NIC) return {false, 0, 0};
      return {true, 0, TAVO_VIA_ISCSI};
    case Device::IscsiWhenIscsi: {
      const uint32_t protocol = get_the_protocol(arg);
      if (protocol == TAVO_VIA_NIC) return {false, 0, 0};
      if (protocol != TAVO_VIA_ISCSI) return {false, 1, 0};
      return {true, 0, TAVO_VIA_ISCSI};
    }
  }
  return {false, 1, 0};
}

uint64_t command_request_length(const CommandRow& row, const SendArgs& args) {
  return row.form == Form::CallerLength || row.form == Form::Record20 ? args.length : row.length;
}

// Sends a read kept once into payload (length bytes, the request in them).
uint32_t send_read(CommandId id, const SendArgs& args, uint32_t transport, uint64_t length, void* payload) {
  const CommandRow& row = command_row(id);
  const transport::HeaderFlags flags{row.version, 0};
  return transport::prepare_mailbox_cmd(args.function_number, row.opcode, row.subsystem, static_cast<uint32_t>(length),
                                        static_cast<uint16_t>(length + kMailboxHeaderSize), payload,
                                        static_cast<uint8_t>(row.direction), args.domain, args.port_number, transport,
                                        flags);
}

// A read the open scope keeps (transport/kept_reads.h) into the caller's
// payload, its request in it: read once, then copied.
uint32_t send_kept(CommandId id, const SendArgs& args, uint32_t transport, size_t length) {
  base::LibraryLock lock(base::library_mutex());
  if (!base::ReadScope::open()) return send_read(id, args, transport, length, args.payload);
  uint32_t status = 0;
  const Answer answer = read_once(id, args, args.payload, length, &status);
  if (status == 0) memcpy(args.payload, answer.bytes.get(), length);
  return status;
}

}  // namespace

uint32_t command_send(CommandId id, const SendArgs& args) {
  const CommandRow& row = command_row(id);
  const int name_length = static_cast<int>(row.name.size());
  const uint64_t length = command_request_length(row, args);
  if (length > kMaxMailboxPayload) {
    pdebug(TAVO_LOG_BACKEND, 3, "%.*s: request of %llu bytes does not fit a mailbox command\n", name_length,
           row.name.data(), static_cast<unsigned long long>(length));
    return 1;
  }
  // Every form but Zeros16 carries the caller's record, and a size query
  // answers into the caller's length: without them nothing is sent.
  if ((row.form != Form::Zeros16 && length > 0 && args.payload == nullptr) ||
      (row.form == Form::SizeQuery && args.actual_length == nullptr)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%.*s: no record given\n", name_length, row.name.data());
    return 1;
  }
  int32_t pf_number = 0;
  if (row.form == Form::PfList) {
    if (args.pci_function < 0 || args.pci_function > kMaxPfListFunction) {
      pdebug(TAVO_LOG_BACKEND, 3, "%.*s: PCI function %d out of range\n", name_length, row.name.data(),
             static_cast<int>(args.pci_function));
      return 1;
    }
    pf_number = args.pci_function + 1;
  }
  const CommandRoute route = command_route(row.device, args.route);
  if (!route.send) return route.status;

  // The flags travel with this one command: concurrent commands keep their
  // own, and tavo_glob's stay as callers left them.
  const transport::HeaderFlags flags{row.version, pf_number};
  const auto buffer_length = static_cast<uint16_t>(length + kMailboxHeaderSize);
  if (row.form == Form::SizeQuery)
    return transport::get_mailbox_cmd_size(args.function_number, row.opcode, row.subsystem,
                                           static_cast<uint16_t>(length), buffer_length, args.payload,
                                           args.actual_length, args.domain, args.port_number, route.transport, flags);
  if (row.kept && args.payload != nullptr) return send_kept(id, args, route.transport, static_cast<size_t>(length));
  // The handle a keyed change names: the request's first word, read before
  // the answer overwrites it.
  uint32_t handle = 0;
  if ((row.changes & kSessionConfig) != 0 && args.payload != nullptr && length >= sizeof handle)
    memcpy(&handle, args.payload, sizeof handle);
  // Other processes learn that the adapter's targets or sessions changed;
  // a change the gate between them does not allow is not sent.
  if ((row.changes & kFollowedChanges) != 0 && !base::note_root_change()) return 1;
  const uint32_t status = transport::prepare_mailbox_cmd(
      args.function_number, row.opcode, row.subsystem, static_cast<uint32_t>(length), buffer_length, args.payload,
      static_cast<uint8_t>(row.direction), args.domain, args.port_number, route.transport, flags);
  note_changes(row.changes, {args.function_number, args.domain, args.port_number, handle, 0, 0});
  return status;
}

Answer read_once(CommandId id, const SendArgs& args, const void* request, size_t request_length, uint32_t* status) {
  const CommandRow& row = command_row(id);
  const uint64_t wanted = command_request_length(row, args);
  const CommandRoute route = command_route(row.device, args.route);
  *status = wanted > kMaxMailboxPayload || request_length > wanted ? 1 : route.status;
  if (*status != 0 || !route.send) return {};
  const auto length = static_cast<size_t>(wanted);
  base::LibraryLock lock(base::library_mutex());
  const KeptPlace at{args.function_number, args.domain, args.port_number, route.transport};
  const Asked asked = asked_of(static_cast<const uint8_t*>(request), request_length);
  if (base::ReadScope::open())
    if (Answer kept = kept_answer(id, at, asked, length)) return kept;
  // Only what is sent is cleared: a kept answer is shared as it is.
  std::shared_ptr<uint8_t[]> bytes = answer_room(length);
  memcpy(bytes.get(), asked.bytes, asked.length);
  memset(bytes.get() + asked.length, 0, length - asked.length);
  *status = send_read(id, args, route.transport, length, bytes.get());
  if (*status != 0) return {};
  Answer answer{std::move(bytes), length};
  keep_answer(id, at, asked, answer);
  return answer;
}

}  // namespace tavo::command
