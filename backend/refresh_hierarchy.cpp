// The NIC-count check before every NIC-device request. On a change the tree
// is rebuilt, but never under a running handler: the rebuild waits for the
// outermost public call to return, and the request that asked is abandoned
// unsent.
#include "backend/backend.h"
#include "transport/nic_set_check.h"

uint32_t refresh_tavo_hierarchy(void) { return tavo::transport::check_nic_function_set(); }
