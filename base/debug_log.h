// The debug log (/var/log/QVL/tavo/tavo2d.log) and the log level kept in
// libtavo.conf.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Subsystem bits of pdebug's mask.
enum { TAVO_LOG_TREE = 1, TAVO_LOG_BACKEND = 2 };

TAVO_EXPORT extern FILE* tavo_log_fp;
TAVO_EXPORT extern uint32_t tavo_debug_level;
TAVO_EXPORT extern uint32_t tavo_debug_subsystem;

// Appends one line when the subsystem bit is set and level <= tavo_debug_level.
TAVO_EXPORT void pdebug(uint32_t subsystem_mask, int32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
TAVO_EXPORT uint32_t TAVO_set_debug_level(void);
TAVO_EXPORT uint32_t TAVO_get_debug_level(void);
TAVO_EXPORT uint32_t TAVO_update_loglevel(void);
TAVO_EXPORT uint32_t TAVO_config_log_dir_permissions(void);
TAVO_EXPORT uint32_t TAVO_config_dir_permssions(void);

TAVO_END_DECLS
