// An address change is refused while a boot session of the function runs:
// the check asks the firmware's boot flag of each session the tree shows
// under the function's group, as their iSCSIBoot answers.
#include "base/library_lock.h"
#include "iscsi/common/session_record.h"
#include "iscsi/network/network_internal.h"

using namespace tavo::network;
using tavo::tree::next_instance;

uint32_t check_for_boot_session(TavoNode* function_group, int32_t) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* lhba = get_first_instance(function_group, "LogicalHBA"); lhba != nullptr; lhba = next_instance(lhba))
    for (TavoNode* target = get_first_instance(lhba, "Target"); target != nullptr; target = next_instance(target))
      for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
        bool boot = false;
        if (!tavo::iscsi::read_boot_flag(s, nullptr, "check_for_boot_session", &boot) || !boot) continue;
        network_status(44);
        return 1;
      }
  return 0;
}
