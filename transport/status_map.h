// Mapping of a firmware status to the library status a command answers.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// status: the response header's status byte; additional_status: its 16-bit
// detail; opcode: the request's opcode (the mailbox subsystem is not
// looked at). Answers the library status; for many statuses it also leaves
// a last status, whose code need not equal the answer.
TAVO_EXPORT uint32_t TavoStatusFromIOCTLResponse(uint32_t status, uint32_t additional_status, uint8_t opcode);

TAVO_END_DECLS

#ifdef __cplusplus
#include "base/status_registry.h"

namespace tavo::transport {

// 1 for a PCI configuration read whose buffer lies beyond the driver's
// 32-bit address field.
extern const base::StatusWording kPciAddressRefused;

}  // namespace tavo::transport
#endif
