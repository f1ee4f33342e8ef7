// The NIC-count check before every NIC-device request: reopen the NIC
// device and compare the number of NIC functions the driver lists with the
// number the tree was built for. On a change the tree is rebuilt, but never
// under a running handler: the rebuild waits for the outermost public call
// to return, and the request that asked is abandoned unsent.
#include "transport/devices.h"
#include "transport/glob.h"
#include "tree/api_guard.h"
#include "tree/tree.h"

uint32_t refresh_tavo_hierarchy(void) {
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  const int32_t count = os_get_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  if (count == tavo_glob.nic_valid_hba) return 0;
  tavo::tree::request_rebuild();
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  return 1;
}
