// Start and stop of the back end (device discovery and enumeration).
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Starts the back end under a freshly built ROOT; 0 on success.
TAVO_EXPORT uint32_t backend_init(void);
// Frees the back end's node handles and closes its devices.
TAVO_EXPORT uint32_t backend_exit(void);

TAVO_END_DECLS
