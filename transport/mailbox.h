// The mailbox command layer: the one place that sends commands to firmware.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Transport codes.
enum { TAVO_VIA_ISCSI = 1, TAVO_VIA_NIC = 2 };
// Directions of TAVO_prepare_mailbox_cmd.
enum { TAVO_DIR_NONE = 0, TAVO_DIR_READ = 1, TAVO_DIR_WRITE = 2, TAVO_DIR_READ_WRITE = 3 };

TAVO_EXPORT uint32_t get_the_protocol(uint32_t controller_instance);
TAVO_EXPORT uint32_t TAVO_IssueIOCTL(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                                     uint8_t* buffer, uint8_t domain, uint8_t port_number, int32_t transport,
                                     uint32_t function_number);
TAVO_EXPORT uint32_t TAVO_prepare_mailbox_cmd(uint32_t function_number, uint8_t opcode, uint8_t subsystem,
                                              uint32_t request_length, uint16_t buffer_length, void* payload,
                                              uint8_t direction, uint8_t domain, uint8_t port_number,
                                              uint32_t transport);
TAVO_EXPORT uint32_t TAVO_get_mailbox_cmd_size(uint32_t function_number, uint8_t opcode, uint8_t subsystem,
                                               uint16_t request_length, uint16_t buffer_length, void* payload,
                                               uint16_t* actual_length, uint8_t domain, uint8_t port_number,
                                               uint32_t transport);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::transport {

// The header flags of one command: the header version (1 or 0) and the PCI
// function number plus 1 (<= 0: none). The library passes them with each
// command, never through tavo_glob, so concurrent commands keep their own;
// the exported layer functions above take them from tavo_glob's
// version_flag and pf_number, for callers that set those.
struct HeaderFlags {
  uint8_t version = 0;
  int32_t pf_number = 0;
};

// The exported layer functions with the flags given.
uint32_t issue_ioctl(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length, uint8_t* buffer,
                     uint8_t domain, uint8_t port_number, int32_t transport, uint32_t function_number,
                     HeaderFlags flags);
// As issue_ioctl, for a buffer that the caller preceded with room for the
// NIC driver's wrapper prefix (NicIoctlPrefix): a NIC command is wrapped in
// place, neither copied into a wrapper nor back.
uint32_t issue_framed_ioctl(int32_t handle, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                            uint8_t* buffer, uint8_t domain, uint8_t port_number, int32_t transport,
                            uint32_t function_number, HeaderFlags flags);
uint32_t prepare_mailbox_cmd(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint32_t request_length,
                             uint16_t buffer_length, void* payload, uint8_t direction, uint8_t domain,
                             uint8_t port_number, uint32_t transport, HeaderFlags flags);
uint32_t get_mailbox_cmd_size(uint32_t function_number, uint8_t opcode, uint8_t subsystem, uint16_t request_length,
                              uint16_t buffer_length, void* payload, uint16_t* actual_length, uint8_t domain,
                              uint8_t port_number, uint32_t transport, HeaderFlags flags);

}  // namespace tavo::transport
#endif
