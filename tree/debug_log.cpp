// Minimal debug log; the level file and directory set-up come later.
#include "tree/debug_log.h"

#include <stdarg.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "platform/host.h"
#include "tree/tree.h"

FILE* tavo_log_fp = nullptr;
uint32_t tavo_debug_level = 0;
uint32_t tavo_debug_subsystem = 3;

void pdebug(uint32_t subsystem_mask, int32_t level, const char* format, ...) {
  if (tavo_log_fp == nullptr || (subsystem_mask & tavo_debug_subsystem) == 0 || level <= 0 ||
      static_cast<uint32_t>(level) > tavo_debug_level)
    return;
  va_list ap;
  va_start(ap, format);
  vfprintf(tavo_log_fp, format, ap);
  va_end(ap);
  fflush(tavo_log_fp);
}

uint32_t TAVO_set_debug_level(void) { return 0; }
uint32_t TAVO_get_debug_level(void) { return 0; }
uint32_t TAVO_update_loglevel(void) { return 0; }
uint32_t handle_TAVODebugLevel(TavoNode*, char* buf, uint32_t op) {
  if (op == 0) snprintf(buf, 256, "%u", tavo_debug_level);
  return 0;
}
uint32_t TAVO_config_log_dir_permissions(void) { return 0; }
uint32_t TAVO_config_dir_permssions(void) { return 0; }
