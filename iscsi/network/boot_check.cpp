// An address change is refused while a boot session of the function runs:
// the check reads the sessions the tree shows under the function's group.
#include <strings.h>

#include "base/library_lock.h"
#include "iscsi/network/network_internal.h"

using namespace tavo::network;
using tavo::tree::next_instance;

uint32_t check_for_boot_session(TavoNode* function_group, int32_t) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* lhba = get_first_instance(function_group, "LogicalHBA"); lhba != nullptr; lhba = next_instance(lhba))
    for (TavoNode* target = get_first_instance(lhba, "Target"); target != nullptr; target = next_instance(target))
      for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
        char boot[TAVO_VALUE_SIZE] = "";
        if (internal_get_property(s, "iSCSIBoot", boot) != 0 || strcasecmp(boot, "True") != 0) continue;
        network_status(44);
        return 1;
      }
  return 0;
}
