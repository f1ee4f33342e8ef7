// The check before every NIC-device request: has the NIC function set
// changed since the tree was built? The layer above is told through a hook
// and decides what a change means (the tree is rebuilt).
#pragma once

#include <stdint.h>

namespace tavo::transport {

// Registered by the back end; nullptr: nobody listens.
void set_nic_set_changed_hook(void (*hook)(void));

// Reopens the NIC device (left open in tavo_glob.nic_handles[0] for the
// request) and compares the number of NIC functions the driver lists with
// the number enumerated (the driver calls only; esx.conf is not read). On a change the device is closed again, the hook
// is called and the answer is 1: the request must be abandoned unsent.
uint32_t check_nic_function_set();

}  // namespace tavo::transport
