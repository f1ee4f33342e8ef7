// Per-instance time stamps and elapsed-millisecond clocks.
#pragma once

#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

typedef struct TavoTimeStamp {
  uint32_t seconds;
  uint32_t microseconds;
} TavoTimeStamp;

enum { TAVO_TIMER_SLOTS = 32 };  // slot = instance * 2 + port, instances 0-15

// Cleared when the back end starts.
TAVO_EXPORT extern TavoTimeStamp tavo_glob_timer[TAVO_TIMER_SLOTS];

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::timing {

// A time stamp now. Stamps count from the host's monotonic clock, so the
// intervals between them survive changes of the wall clock.
TavoTimeStamp now();
// Milliseconds from start to end: the seconds carried in single precision,
// the microseconds truncated to milliseconds.
uint32_t elapsed_ms(const TavoTimeStamp& start, const TavoTimeStamp& end);

}  // namespace tavo::timing
#endif
