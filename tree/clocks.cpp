// The millisecond clocks of instanced groups, on the per-instance time
// stamps.
#include "base/timing.h"
#include "tree/tree.h"

namespace {

// The port-0 slot of an instanced group, or null.
TavoTimeStamp* timing_slot(TavoNode* group) {
  if (group == nullptr || group->kind != TAVO_KIND_GROUP) return nullptr;
  int32_t n = tavo::tree::instance_number(group);
  if (n < 0 || 2 * n >= TAVO_TIMER_SLOTS) return nullptr;
  return &tavo_glob_timer[2 * n];
}

}  // namespace

uint32_t TAVO_start_clock(TavoNode* group) {
  TavoTimeStamp* slot = timing_slot(group);
  if (slot == nullptr) return 1;
  *slot = tavo::timing::now();
  return 0;
}

uint32_t TAVO_stop_clock(TavoNode* group, uint32_t* elapsed_ms) {
  TavoTimeStamp* slot = timing_slot(group);
  if (slot == nullptr || elapsed_ms == nullptr) return 1;
  *elapsed_ms = tavo::timing::elapsed_ms(*slot, tavo::timing::now());
  return 0;
}
