// The debug log: one line per pdebug call that passes the subsystem mask
// and the level, flushed at once so concurrent writers keep whole lines.
#include "base/debug_log.h"

#include <stdarg.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "platform/host.h"

FILE* tavo_log_fp = nullptr;
uint32_t tavo_debug_level = 0;
uint32_t tavo_debug_subsystem = 3;

namespace {

const char* log_prefix(int32_t level) {
  switch (level) {
    case 1: return "FATAL:";
    case 2: return "CRITICAL:";
    case 3: return "ERROR:";
    case 4: return "Warning:";
    case 5: return "INFO:";
    default: return "";
  }
}

}  // namespace

void pdebug(uint32_t subsystem_mask, int32_t level, const char* format, ...) {
  time_t now = tavo::platform::host().now();
  char when[64] = "";
  if (ctime_r(&now, when) != nullptr && when[0] != '\0') when[strlen(when) - 1] = '\0';
  if ((subsystem_mask & tavo_debug_subsystem) == 0 || level > static_cast<int32_t>(tavo_debug_level) ||
      tavo_log_fp == nullptr)
    return;
  fprintf(tavo_log_fp, "%s,%d,   %s", when, static_cast<int>(getpid()), log_prefix(level));
  va_list ap;
  va_start(ap, format);
  vfprintf(tavo_log_fp, format, ap);
  va_end(ap);
  fflush(tavo_log_fp);
}
