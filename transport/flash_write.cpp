// Flash component query (6/1) and the chunked flash write (7/1). Both answer
// the firmware's raw status rather than a mapped one: their callers test
// the raw values.
#include <string.h>

#include <algorithm>

#include "transport/device_layout.h"
#include "transport/flash_personality.h"
#include "transport/mailbox.h"
#include "transport/mailbox_command.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"

using tavo::FlashChunkHead;
using tavo::kFlashChunkData;
using tavo::kFlashChunkLength;
using tavo::kMailboxHeaderSize;
using tavo::transport::MailboxAnswer;
using tavo::transport::MailboxCommand;

namespace {

constexpr uint8_t kFlashQueryOpcode = 6;
constexpr uint8_t kFlashWriteOpcode = 7;
constexpr uint8_t kCommonSubsystem = 1;
constexpr uint32_t kFlashQueryLength = sizeof(tavo::FlashComponentQuery);

void flash_log_status(const MailboxAnswer& a) {
  pdebug(TAVO_LOG_BACKEND, 3, "Error in Writing ROM. status = %d and Addstatus = %d\n", a.status,
         a.additional_status);
}

// The result of a chunk the firmware refused.
uint32_t flash_write_refused(const MailboxAnswer& a, uint32_t optype) {
  if (a.status == 1 && a.additional_status == 77 && optype == 23) return 0;
  if (a.status == 23 && a.additional_status == 87) return 337;
  if (a.status == 23 && a.additional_status == 86) return 336;
  flash_log_status(a);
  return a.status;
}

}  // namespace

uint32_t ioctl_get_flash_component_details(uint32_t function_number, uint32_t words[6], uint8_t domain,
                                           uint8_t port_number, uint32_t transport) {
  if (words == nullptr) return 1;
  MailboxCommand cmd(kMailboxHeaderSize + kFlashQueryLength);
  if (!cmd.ok()) return 1;
  memcpy(cmd.payload(), words, kFlashQueryLength);
  if (cmd.send(function_number, kFlashQueryOpcode, kCommonSubsystem, kFlashQueryLength, domain, port_number,
               transport) != 0)
    return 1;
  const MailboxAnswer a = cmd.answer();
  if (a.status != 0) {
    flash_log_status(a);
    return a.status;
  }
  memcpy(words, cmd.payload(), kFlashQueryLength);
  return 0;
}

uint32_t ioctl_upgrade_flash(uint32_t function_number, const FlashWriteRequest* request, uint8_t domain,
                             uint8_t port_number, uint32_t transport, uint8_t offset_mode) {
  if (request == nullptr) return 1;
  MailboxCommand cmd(kMailboxHeaderSize + kFlashChunkLength);
  if (!cmd.ok()) {
    pdebug(TAVO_LOG_BACKEND, 3, "ERROR: Unable to allocate memory for the FlashROM command.\n");
    return 1;
  }
  const FlashWriteRequest head = *request;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(request + 1);
  for (uint32_t sent = 0; sent < head.length;) {
    const uint32_t n = std::min(head.length - sent, kFlashChunkData);
    // Each chunk is sent from a clear buffer: nothing of the last answer or
    // of a longer earlier chunk travels with it. Only the bytes the chunk
    // does not write are cleared.
    memset(cmd.data(), 0, kMailboxHeaderSize);
    memset(cmd.payload() + sizeof(FlashChunkHead) + n, 0, kFlashChunkLength - sizeof(FlashChunkHead) - n);
    FlashChunkHead chunk_head;
    chunk_head.operation = sent + n == head.length ? tavo::kFlashOperationLast : tavo::kFlashOperationMore;
    chunk_head.optype = head.optype;
    chunk_head.length = n;
    chunk_head.offset = offset_mode != 0 ? head.offset + sent : head.offset;
    if (offset_mode != 0) pdebug(TAVO_LOG_BACKEND, 6, "offset = %x\n", static_cast<unsigned>(chunk_head.offset));
    memcpy(cmd.payload(), &chunk_head, sizeof chunk_head);
    memcpy(cmd.payload() + sizeof chunk_head, data + sent, n);
    const uint32_t result =
        cmd.send(function_number, kFlashWriteOpcode, kCommonSubsystem, kFlashChunkLength, domain, port_number,
                 transport);
    if (result != 0) return result;
    const MailboxAnswer a = cmd.answer();
    if (a.status != 0) return flash_write_refused(a, head.optype);
    sent += n;
  }
  return 0;
}
