// The debug log (/var/log/QVL/tavo/tavo2d.log) and the log level kept in
// libtavo.conf.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Subsystem bits of pdebug's mask.
enum { TAVO_LOG_TREE = 1, TAVO_LOG_BACKEND = 2 };

// The open log (NULL while logging is off). A client may put its own
// stream here; pdebug then writes each line with one flushed fwrite.
TAVO_EXPORT extern FILE* tavo_log_fp;
TAVO_EXPORT extern uint32_t tavo_debug_level;
TAVO_EXPORT extern uint32_t tavo_debug_subsystem;

// Appends one line when the subsystem bit is set and level <= tavo_debug_level.
// Safe from any thread, also while another thread opens or closes the log.
TAVO_EXPORT void(pdebug)(uint32_t subsystem_mask, int32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Whether pdebug would write a line of the subsystem and level: asked
// before the call (below), so that a line below the level costs two loads
// and no call, nor its arguments.
static inline int tavo_debug_wanted(uint32_t subsystem_mask, int32_t level) {
  return (subsystem_mask & __atomic_load_n(&tavo_debug_subsystem, __ATOMIC_RELAXED)) != 0 &&
         level <= (int32_t)__atomic_load_n(&tavo_debug_level, __ATOMIC_RELAXED);
}
#define pdebug(subsystem_mask, level, ...)                           \
  (tavo_debug_wanted((subsystem_mask), (level)) ? (pdebug)((subsystem_mask), (level), __VA_ARGS__) \
                                                : (void)0)
TAVO_EXPORT uint32_t TAVO_set_debug_level(void);
TAVO_EXPORT uint32_t TAVO_get_debug_level(void);
TAVO_EXPORT uint32_t TAVO_update_loglevel(void);
TAVO_EXPORT uint32_t TAVO_config_log_dir_permissions(void);
TAVO_EXPORT uint32_t TAVO_config_dir_permssions(void);

TAVO_END_DECLS

#ifdef __cplusplus
#include <string>

namespace tavo::base {

// tavo_debug_level, read and written atomically (pdebug reads it from any
// thread).
uint32_t log_level();
void set_log_level(uint32_t level);
// Writes level to libtavo.conf (replaced whole); 0, or 1 with a status.
uint32_t save_log_level(uint32_t level);
// The configuration directory (/etc/config/QVL/tavo/) created when it is
// missing, with its mode set.
void make_config_dir();
// "" when the host's root (TAVO_ROOT) can hold the library's directories
// (also when none is set, or it is missing and will be made); else the
// reason, naming the root.
std::string unusable_root();
// Opens the log file at a host path for appending unless a log is open;
// false when it cannot be opened (logging stays off). A link, a second name
// or anything but a plain file at the path is neither followed nor written:
// it is told once on standard error and left alone.
bool open_log(const std::string& host_path);
bool log_is_open();
// Closes the log the library opened; a stream a client set is left alone.
void close_log();

}  // namespace tavo::base
#endif
