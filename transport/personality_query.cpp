// Personality queries (113/1, 114/1): the caller's buffer holds header
// space and payload and is sent as it is.
#include "transport/device_layout.h"
#include "transport/flash_personality.h"
#include "transport/glob_access.h"
#include "transport/mailbox.h"
#include "transport/status_map.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

#include <string.h>

using tavo::MailboxResponseHeader;

namespace {

constexpr uint8_t kAvailablePersonalitiesOpcode = 113;
constexpr uint8_t kConfiguredPersonalityOpcode = 114;
constexpr uint16_t kAvailablePersonalitiesLength = 512;

uint32_t personality_query(uint32_t function_number, uint8_t opcode, uint8_t* buffer, uint16_t request_length,
                           uint8_t domain, uint8_t port_number, uint32_t transport) {
  TAVO_LIBRARY_LOCK;
  int32_t fd = -1;
  if (buffer == nullptr || !tavo::transport::command_descriptor(transport, function_number, &fd)) return 1;
  if (tavo::transport::issue_ioctl(fd, opcode, 1, request_length, buffer, domain, port_number,
                                   static_cast<int32_t>(transport), function_number, {}) != 0)
    return 1;
  MailboxResponseHeader h;
  memcpy(&h, buffer, sizeof h);
  if (h.status == 0) return 0;
  const uint16_t additional = h.additional_status;
  pdebug(TAVO_LOG_BACKEND, 3, "IOCTL with opcode:0x%x subsystem:0x%x failed with status 0x%x\n", opcode, 1, h.status);
  pdebug(TAVO_LOG_BACKEND, 3, "Actual response length = %d\n", static_cast<int>(h.actual_response_length));
  pdebug(TAVO_LOG_BACKEND, 3, "Additional status = 0x%x\n", additional);
  return TavoStatusFromIOCTLResponse(h.status, additional, opcode);
}

}  // namespace

uint32_t ioctl_get_available_personalities(uint32_t function_number, uint8_t* buffer, uint8_t domain,
                                           uint8_t port_number, uint32_t transport) {
  return personality_query(function_number, kAvailablePersonalitiesOpcode, buffer, kAvailablePersonalitiesLength,
                           domain, port_number, transport);
}

uint32_t ioctl_get_configured_personality(uint32_t function_number, uint8_t* buffer, uint16_t request_length,
                                          uint8_t domain, uint8_t port_number, uint32_t transport) {
  return personality_query(function_number, kConfiguredPersonalityOpcode, buffer, request_length, domain,
                           port_number, transport);
}
