#include "iscsi/common/record_reads.h"

#include <algorithm>

#include "base/no_destructor.h"
#include "platform/host.h"

namespace tavo::iscsi {

ListReads& session_list_reads() {
  static base::NoDestructor<ListReads> kept(command::CommandId::ioctl_get_activesessionid);
  return *kept;
}

namespace reads {

uint64_t now_ms() { return platform::host().monotonic_ms(); }

bool last_fetch_stands(TavoNodeRef group, uint64_t changes, uint64_t at_ms, const std::vector<TavoNodeRef>& answered,
                       TavoNode* property) {
  if (property == nullptr || group.generation == 0 || tree::same_ref(group, tree::node_ref(property->parent)) ||
      tree::changing() || changes != tree::state_changes() || now_ms() - at_ms > kFreshMs)
    return false;
  const TavoNodeRef asking = tree::node_ref(property);
  return std::none_of(answered.begin(), answered.end(),
                      [&](const TavoNodeRef& r) { return tree::same_ref(r, asking); });
}

}  // namespace reads
}  // namespace tavo::iscsi
