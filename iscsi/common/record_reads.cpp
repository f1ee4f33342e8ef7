#include "iscsi/common/record_reads.h"

#include <algorithm>

#include "base/lasting.h"
#include "platform/host.h"

namespace tavo::iscsi {
namespace {

// All under the library lock.
int scope_depth = 0;

std::vector<reads::Kept*>& every_kind() {
  static base::Lasting<std::vector<reads::Kept*>> kinds;
  return *kinds;
}

}  // namespace

ReadScope::ReadScope() { ++scope_depth; }

ReadScope::~ReadScope() {
  if (--scope_depth > 0) return;
  for (reads::Kept* kind : every_kind()) kind->scope_ended();
}

bool ReadScope::open() { return scope_depth > 0; }

ListReads& session_list_reads() {
  static base::Lasting<ListReads> kept(command::kSessions);
  return *kept;
}

void release_kept_reads() {
  for (reads::Kept* kind : every_kind()) kind->release();
}

namespace reads {

Kept::Kept() { every_kind().push_back(this); }

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
