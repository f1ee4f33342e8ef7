// The ioctl_<command> wrappers: each is one row of command_table.def handed
// to command_send, which applies the row's device rule and header flags.
#include "transport/commands.h"

#include <string.h>

#include "transport/command_send.h"

namespace {

// The data length in the third u32 of a 20 + n request record.
uint64_t command_record_length(const void* request) {
  uint32_t n = 0;
  memcpy(&n, static_cast<const uint8_t*>(request) + 8, sizeof n);
  return 20 + uint64_t{n};
}

void* command_after_header_space(void* buffer) {
  return buffer == nullptr ? nullptr : static_cast<uint8_t*>(buffer) + tavo::kMailboxHeaderSize;
}

}  // namespace

// The value a wrapper's trailing argument gives its device rule.
#define TAVO_CMD_ROUTE_Iscsi 0
#define TAVO_CMD_ROUTE_Nic 0
#define TAVO_CMD_ROUTE_Caller transport
#define TAVO_CMD_ROUTE_Protocol controller_instance
#define TAVO_CMD_ROUTE_IscsiUnlessNicOnly controller_instance
#define TAVO_CMD_ROUTE_IscsiWhenIscsi controller_instance

#define TAVO_CMD_SEND(name, device, payload, length, actual_length, pci_function)                            \
  return tavo::command::command_send(                                                                        \
      tavo::command::CommandId::name,                                                                        \
      tavo::command::SendArgs{function_number, payload, length, domain, port_number, TAVO_CMD_ROUTE_##device, \
                              actual_length, pci_function})

#define TAVO_CMD_DEFINE_Own(name, device)
#define TAVO_CMD_DEFINE_Fixed(name, device) \
  TAVO_CMD_PROTO_Fixed(name, device) { TAVO_CMD_SEND(name, device, payload, 0, nullptr, 0); }
#define TAVO_CMD_DEFINE_Framed16(name, device)                                                     \
  TAVO_CMD_PROTO_Framed16(name, device) {                                                          \
    TAVO_CMD_SEND(name, device, command_after_header_space(buffer), 0, nullptr, 0);                \
  }
#define TAVO_CMD_DEFINE_CallerLength(name, device) \
  TAVO_CMD_PROTO_CallerLength(name, device) { TAVO_CMD_SEND(name, device, payload, payload_length, nullptr, 0); }
#define TAVO_CMD_DEFINE_SizeQuery(name, device) \
  TAVO_CMD_PROTO_SizeQuery(name, device) { TAVO_CMD_SEND(name, device, payload, 0, actual_length, 0); }
#define TAVO_CMD_DEFINE_Record20(name, device)                                              \
  TAVO_CMD_PROTO_Record20(name, device) {                                                   \
    if (request == nullptr) return 1;                                                       \
    TAVO_CMD_SEND(name, device, request, command_record_length(request), nullptr, 0);       \
  }
#define TAVO_CMD_DEFINE_Zeros16(name, device) \
  TAVO_CMD_PROTO_Zeros16(name, device) { TAVO_CMD_SEND(name, device, nullptr, 0, nullptr, 0); }
#define TAVO_CMD_DEFINE_PfList(name, device) \
  TAVO_CMD_PROTO_PfList(name, device) { TAVO_CMD_SEND(name, device, payload, 0, nullptr, pci_function); }

#define TAVO_COMMAND(name, subsystem, opcode, version, form, length, direction, device, ...) \
  TAVO_CMD_DEFINE_##form(name, device)
#include "transport/command_table.def"
#undef TAVO_COMMAND
