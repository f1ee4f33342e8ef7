#include "transport/nic_set_check.h"

#include "transport/devices.h"
#include "transport/glob.h"

namespace tavo::transport {
namespace {
void (*nic_set_changed)(void) = nullptr;
}  // namespace

void set_nic_set_changed_hook(void (*hook)(void)) { nic_set_changed = hook; }

uint32_t check_nic_function_set() {
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  // Only what the driver says: the names from esx.conf only change with the
  // set, and a changed set rebuilds the tree, which reads them again.
  const int32_t count = list_nic_functions(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  if (count == tavo_glob.nic_valid_hba) return 0;
  if (nic_set_changed != nullptr) nic_set_changed();
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  return 1;
}

}  // namespace tavo::transport
