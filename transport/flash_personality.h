// The four command wrappers that build their own buffer: personality
// queries, flash component query and chunked flash write.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// The caller's whole flash component: this head, then `length` data bytes.
typedef struct FlashWriteRequest {
  uint32_t operation;  // not used by the transport
  uint32_t optype;     // flash component type
  uint32_t length;     // total data length
  uint32_t offset;     // start offset
} FlashWriteRequest;

// Mailbox 113/1. buffer: 16 header bytes and a 512-byte payload, answered in
// place. Answers 0, 1 or a mapped status.
TAVO_EXPORT uint32_t ioctl_get_available_personalities(uint32_t function_number, uint8_t* buffer, uint8_t domain,
                                                       uint8_t port_number, uint32_t transport);
// Mailbox 114/1. buffer: 16 header bytes and request_length payload bytes.
TAVO_EXPORT uint32_t ioctl_get_configured_personality(uint32_t function_number, uint8_t* buffer,
                                                      uint16_t request_length, uint8_t domain, uint8_t port_number,
                                                      uint32_t transport);
// Mailbox 6/1: six u32 sent and, on success, answered in place. Answers 0,
// 1 (not sent) or the firmware's raw status.
TAVO_EXPORT uint32_t ioctl_get_flash_component_details(uint32_t function_number, uint32_t words[6], uint8_t domain,
                                                       uint8_t port_number, uint32_t transport);
// Mailbox 7/1 in chunks of 32768 bytes. request: the head and its data.
// Answers 0, 1, 295 (iSCSI driver I/O error), 336, 337 or a raw status.
TAVO_EXPORT uint32_t ioctl_upgrade_flash(uint32_t function_number, const FlashWriteRequest* request, uint8_t domain,
                                         uint8_t port_number, uint32_t transport, uint8_t offset_mode);

TAVO_END_DECLS
