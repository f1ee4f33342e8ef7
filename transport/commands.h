/* The mailbox command wrappers ioctl_<command>, one per row of
 * command_table.def, declared here from that table.
 *
 * Every wrapper answers 0 on success, else a library status from the
 * firmware status map or 1 (nothing sent, or the transport failed).
 * Arguments, in this order:
 *   Fixed, Framed16:  function number, payload, domain, port number
 *   CallerLength:     function number, payload, payload length (u16), domain, port number
 *   SizeQuery:        function number, payload, actual length (u16, out),
 *                     domain, port number
 *   Record20:         function number, 20-byte request record whose third u32 is the
 *                     length of the data that follows it, domain, port number
 *   Zeros16:          function number, domain, port number
 *   PfList:           Fixed, then after the device argument the PCI function number
 * then, by device: Caller the transport (1 iSCSI, 2 NIC), Protocol and the
 * IscsiUnlessNicOnly / IscsiWhenIscsi rows the controller instance.
 *
 * The payload is the caller's: request_length bytes are sent from it and,
 * for every direction, the firmware's response area is copied back into it
 * (also when the status is a failure). A Framed16 buffer begins with 16 bytes
 * of header space that are neither sent nor written. A missing payload (for a
 * command that carries one) or actual length is refused unsent with 1. */
#ifndef TAVO_TRANSPORT_COMMANDS_H
#define TAVO_TRANSPORT_COMMANDS_H

#include <stdint.h>

#include "tavo/tavo_export.h"

#define TAVO_CMD_TAIL_Iscsi
#define TAVO_CMD_TAIL_Nic
#define TAVO_CMD_TAIL_Caller , uint32_t transport
#define TAVO_CMD_TAIL_Protocol , uint32_t controller_instance
#define TAVO_CMD_TAIL_IscsiUnlessNicOnly , uint32_t controller_instance
#define TAVO_CMD_TAIL_IscsiWhenIscsi , uint32_t controller_instance

#define TAVO_CMD_PROTO_Fixed(name, device) \
  uint32_t name(uint32_t function_number, void* payload, uint8_t domain, uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_Framed16(name, device) \
  uint32_t name(uint32_t function_number, void* buffer, uint8_t domain, uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_CallerLength(name, device)                                                   \
  uint32_t name(uint32_t function_number, void* payload, uint16_t payload_length, uint8_t domain, \
                uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_SizeQuery(name, device)                                                      \
  uint32_t name(uint32_t function_number, void* payload, uint16_t* actual_length, uint8_t domain, \
                uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_Record20(name, device) \
  uint32_t name(uint32_t function_number, void* request, uint8_t domain, uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_Zeros16(name, device) \
  uint32_t name(uint32_t function_number, uint8_t domain, uint8_t port_number TAVO_CMD_TAIL_##device)
#define TAVO_CMD_PROTO_PfList(name, device)                                               \
  uint32_t name(uint32_t function_number, void* payload, uint8_t domain, uint8_t port_number \
                TAVO_CMD_TAIL_##device, int32_t pci_function)

/* The Own rows are built by the mailbox layer and declared there. */
#define TAVO_CMD_DECLARE_Own(name, device)
#define TAVO_CMD_DECLARE_Fixed(name, device) TAVO_EXPORT TAVO_CMD_PROTO_Fixed(name, device);
#define TAVO_CMD_DECLARE_Framed16(name, device) TAVO_EXPORT TAVO_CMD_PROTO_Framed16(name, device);
#define TAVO_CMD_DECLARE_CallerLength(name, device) TAVO_EXPORT TAVO_CMD_PROTO_CallerLength(name, device);
#define TAVO_CMD_DECLARE_SizeQuery(name, device) TAVO_EXPORT TAVO_CMD_PROTO_SizeQuery(name, device);
#define TAVO_CMD_DECLARE_Record20(name, device) TAVO_EXPORT TAVO_CMD_PROTO_Record20(name, device);
#define TAVO_CMD_DECLARE_Zeros16(name, device) TAVO_EXPORT TAVO_CMD_PROTO_Zeros16(name, device);
#define TAVO_CMD_DECLARE_PfList(name, device) TAVO_EXPORT TAVO_CMD_PROTO_PfList(name, device);

TAVO_BEGIN_DECLS

#define TAVO_COMMAND(name, subsystem, opcode, version, form, length, direction, device, ...) \
  TAVO_CMD_DECLARE_##form(name, device)
#include "transport/command_table.def"
#undef TAVO_COMMAND

TAVO_END_DECLS

#endif
