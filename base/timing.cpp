// Time stamps per controller instance and the millisecond clocks on them.
#include "base/timing.h"

#include "platform/host.h"

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
