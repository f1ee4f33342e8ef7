// Start and stop of the back end (device discovery and enumeration), and
// the NIC function set check.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Starts the back end under a freshly built ROOT; 0 on success.
TAVO_EXPORT uint32_t backend_init(void);
// Frees the back end's node handles and closes its devices.
TAVO_EXPORT uint32_t backend_exit(void);
// Before a NIC-device request: 0, or 1 when the NIC function set changed
// (the tree is rebuilt once the outermost call returns; the request is
// abandoned).
TAVO_EXPORT uint32_t refresh_tavo_hierarchy(void);

TAVO_END_DECLS
