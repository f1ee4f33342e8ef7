#include "transport/mailbox_command.h"

#include <string.h>

#include <new>

#include "transport/device_layout.h"
#include "transport/glob_access.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace tavo::transport {

MailboxCommand::MailboxCommand(size_t buffer_length, const void* payload, size_t payload_length)
    : length_(buffer_length < kMailboxHeaderSize ? kMailboxHeaderSize : buffer_length) {
  if (length_ <= kInlineLength) {
    buffer_ = inline_ + kFrameRoom;
  } else {
    allocated_.reset(new (std::nothrow) uint8_t[kFrameRoom + length_]);
    if (!allocated_) {
      buffer_ = nullptr;
      return;
    }
    buffer_ = allocated_.get() + kFrameRoom;
  }
  // Each byte written once: the payload given, zeros around it.
  const size_t room = length_ - kMailboxHeaderSize;
  const size_t copied = payload != nullptr && payload_length <= room ? payload_length : 0;
  memset(buffer_, 0, kMailboxHeaderSize);
  if (copied > 0) memcpy(buffer_ + kMailboxHeaderSize, payload, copied);
  memset(buffer_ + kMailboxHeaderSize + copied, 0, room - copied);
}

uint32_t MailboxCommand::send(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                              uint8_t domain, uint8_t port_number, uint32_t transport, HeaderFlags flags) {
  TAVO_LIBRARY_LOCK;  // the descriptor stays the function's until the answer
  int32_t fd = -1;
  if (!ok() || !command_descriptor(transport, function_number, &fd)) {
    pdebug(TAVO_LOG_BACKEND, 3, "No device for opcode:0x%x subsystem:0x%x transport = %u function = %u\n", opcode,
           subsystem, static_cast<unsigned>(transport), static_cast<unsigned>(function_number));
    return 1;
  }
  if (request_length > kMaxMailboxPayload || request_length > length_ - kMailboxHeaderSize) {
    pdebug(TAVO_LOG_BACKEND, 3, "Payload of %u bytes does not fit the %u-byte buffer of opcode:0x%x subsystem:0x%x\n",
           static_cast<unsigned>(request_length), static_cast<unsigned>(length_), opcode, subsystem);
    return 1;
  }
  return issue_framed_ioctl(fd, opcode, subsystem, request_length, data(), domain, port_number,
                            static_cast<int32_t>(transport), function_number, flags);
}

MailboxAnswer MailboxCommand::answer() const {
  MailboxResponseHeader h;
  memcpy(&h, buffer_, sizeof h);
  MailboxAnswer a;
  a.status = h.status;
  a.additional_status = h.additional_status;
  a.actual_length = h.actual_response_length;
  return a;
}

}  // namespace tavo::transport
