// Time stamps per controller instance and the millisecond clocks on them.
#include "tree/timing.h"

#include "platform/host.h"
#include "tree/tree.h"

static_assert(sizeof(TavoTimeStamp) == 8);

TavoTimeStamp tavo_glob_timer[TAVO_TIMER_SLOTS] = {};

namespace tavo::timing {

TavoTimeStamp now() {
  uint64_t ms = platform::host().monotonic_ms();
  return TavoTimeStamp{static_cast<uint32_t>(ms / 1000), static_cast<uint32_t>(ms % 1000) * 1000u};
}

uint32_t elapsed_ms(const TavoTimeStamp& start, const TavoTimeStamp& end) {
  float seconds = static_cast<float>(static_cast<int32_t>(end.seconds - start.seconds)) * 1000.0f;
  int32_t micro = static_cast<int32_t>(end.microseconds - start.microseconds) / 1000;
  float sum = seconds + static_cast<float>(micro);
  return static_cast<uint32_t>(static_cast<int64_t>(sum));
}

}  // namespace tavo::timing

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
