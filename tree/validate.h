// Value validation and address text conversions.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Checks value against its declared type; 0, 6, 7 or 8. An IPv6 text of
// type 2 is rewritten in place to its full form (value must hold 40 bytes).
TAVO_EXPORT uint32_t tavo_validate(char* value, const char* list, uint8_t type, int32_t minimum,
                                   int32_t maximum);

TAVO_END_DECLS
