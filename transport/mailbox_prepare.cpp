// The two layer functions every command wrapper calls: a command with a
// copied payload, and a size query.
#include <string.h>

#include <algorithm>

#include "transport/device_layout.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"
#include "transport/mailbox_command.h"
#include "transport/status_map.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"


using tavo::transport::MailboxAnswer;
using tavo::transport::MailboxCommand;

uint32_t TAVO_prepare_mailbox_cmd(uint32_t function_number, uint8_t opcode, uint8_t subsystem,
                                  uint32_t request_length, uint16_t buffer_length, void* payload, uint8_t direction,
                                  uint8_t domain, uint8_t port_number, uint32_t transport) {
  return tavo::transport::prepare_mailbox_cmd(function_number, opcode, subsystem, request_length, buffer_length,
                                              payload, direction, domain, port_number, transport,
                                              tavo::transport::glob_header_flags());
}

uint32_t TAVO_get_mailbox_cmd_size(uint32_t function_number, uint8_t opcode, uint8_t subsystem,
                                   uint16_t request_length, uint16_t buffer_length, void* payload,
                                   uint16_t* actual_length, uint8_t domain, uint8_t port_number, uint32_t transport) {
  return tavo::transport::get_mailbox_cmd_size(function_number, opcode, subsystem, request_length, buffer_length,
                                               payload, actual_length, domain, port_number, transport,
                                               tavo::transport::glob_header_flags());
}

namespace tavo::transport {
namespace {

// Past header and request nothing is sent or read back: a longer buffer is
// neither allocated nor cleared. A shorter one stays short and is refused.
size_t command_length(uint16_t buffer_length, uint32_t request_length) {
  return std::min<size_t>(buffer_length, kMailboxHeaderSize + size_t{request_length});
}

}  // namespace

uint32_t prepare_mailbox_cmd(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                             uint16_t buffer_length, void* payload, uint8_t direction, uint8_t domain,
                             uint8_t port_number, uint32_t transport, HeaderFlags flags) {
  if (transport != TAVO_VIA_ISCSI && transport != TAVO_VIA_NIC) return 1;
  MailboxCommand cmd(command_length(buffer_length, request_length), payload, request_length);
  if (!cmd.ok()) return 1;
  if (cmd.send(function_number, opcode, subsystem, request_length, domain, port_number, transport, flags) != 0)
    return 1;
  // The response area goes back before the status is looked at: a failed
  // read still leaves what the firmware wrote.
  if (direction != TAVO_DIR_NONE && payload != nullptr) memcpy(payload, cmd.payload(), request_length);
  const MailboxAnswer a = cmd.answer();
  if (a.status == 0) return 0;
  if (a.additional_status != 23) {
    pdebug(TAVO_LOG_BACKEND, 3, "The IOCTL with opcode:0x%x subsystem:0x%x failed with status 0x%x\n", opcode,
           subsystem, a.status);
    pdebug(TAVO_LOG_BACKEND, 3, "actual response length is %d\n", static_cast<int>(a.actual_length));
    pdebug(TAVO_LOG_BACKEND, 3, "additional status is:0x%x\n", a.additional_status);
  }
  return TavoStatusFromIOCTLResponse(a.status, a.additional_status, opcode);
}

uint32_t get_mailbox_cmd_size(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint16_t request_length,
                              uint16_t buffer_length, void* payload, uint16_t* actual_length, uint8_t domain,
                              uint8_t port_number, uint32_t transport, HeaderFlags flags) {
  if (transport != TAVO_VIA_ISCSI && transport != TAVO_VIA_NIC) return 1;
  MailboxCommand cmd(command_length(buffer_length, request_length), payload, request_length);
  if (!cmd.ok()) {
    pdebug(TAVO_LOG_BACKEND, 3, "Failed to Allocate memory\n");
    return 1;
  }
  if (cmd.send(function_number, opcode, subsystem, request_length, domain, port_number, transport, flags) != 0)
    return 1;
  const MailboxAnswer a = cmd.answer();
  // Status 4 (buffer too small) is the expected answer of a size query.
  if (a.status == 0 || a.status == 4) {
    if (payload != nullptr) memcpy(payload, cmd.payload(), request_length);
    if (actual_length != nullptr) *actual_length = static_cast<uint16_t>(a.actual_length);
    return 0;
  }
  if (a.additional_status != 23) {
    pdebug(TAVO_LOG_BACKEND, 3, "The IOCTL with opcode: 0x%x subsystem: 0x%x failed with status 0x%x\n", opcode,
           subsystem, a.status);
    pdebug(TAVO_LOG_BACKEND, 3, "Additional status 0x%x\n", a.additional_status);
  }
  return TavoStatusFromIOCTLResponse(a.status, a.additional_status, opcode);
}

}  // namespace tavo::transport
