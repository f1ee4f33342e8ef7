// One mailbox command in a buffer of its own: header space and payload,
// cleared, sent through TAVO_IssueIOCTL. Shared by the layer functions and
// the wrappers that build their own buffer. Room for the NIC driver's
// wrapper prefix precedes the header, so that a NIC command is sent where
// it was built.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "transport/device_layout.h"
#include "transport/mailbox.h"

namespace tavo::transport {

struct MailboxAnswer {
  uint8_t status = 0;
  uint16_t additional_status = 0;
  uint32_t actual_length = 0;
};

class MailboxCommand {
 public:
  // A buffer of buffer_length bytes, cleared but for the payload_length
  // bytes of payload copied after the header (none when payload is null or
  // does not fit); ok() is false when it could not be allocated.
  explicit MailboxCommand(size_t buffer_length, const void* payload = nullptr, size_t payload_length = 0);
  MailboxCommand(const MailboxCommand&) = delete;
  MailboxCommand& operator=(const MailboxCommand&) = delete;
  bool ok() const { return buffer_ != nullptr; }
  uint8_t* data() { return buffer_; }
  uint8_t* payload() { return buffer_ + 16; }
  size_t size() const { return length_; }

  // Sends the buffer with request_length payload bytes; answers
  // TAVO_IssueIOCTL's result (1 when the transport or function number names
  // no device, or the payload does not fit the buffer).
  uint32_t send(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                uint8_t domain, uint8_t port_number, uint32_t transport, HeaderFlags flags = {});
  MailboxAnswer answer() const;

 private:
  // Most commands fit here, session records and login requests among
  // them: only a large one allocates.
  static constexpr size_t kInlineLength = 2048;
  static constexpr size_t kFrameRoom = sizeof(NicIoctlPrefix);
  uint8_t inline_[kFrameRoom + kInlineLength];
  std::unique_ptr<uint8_t[]> allocated_;
  uint8_t* buffer_;
  size_t length_;
};

}  // namespace tavo::transport
