// The last status: the code and text a failed call leaves for its caller.
// Each thread has its own, as errno: tavo_get_last_status and
// TAVO_get_last_status answer the calling thread's. The exported globals
// mirror the latest status set by any thread, for C callers that read them:
// exact in a single-threaded client; with several threads they may hold
// another thread's status (or a mix of two texts), so threaded clients read
// the status through the calls.
#pragma once

#include <stdint.h>

#include "tavo/tavo.h"

TAVO_BEGIN_DECLS

TAVO_EXPORT extern uint32_t tavo_last_status_code;
TAVO_EXPORT extern char tavo_last_status_string[TAVO_STATUS_TEXT_SIZE];
// text NULL counts as "".
TAVO_EXPORT void tavo_set_last_status(uint32_t code, const char* text);
// text, when given, must hold TAVO_STATUS_TEXT_SIZE bytes.
TAVO_EXPORT void tavo_get_last_status(uint32_t* code, char* text);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::base {

// printf into the last status (cut to 599 characters).
void set_last_status_fmt(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// (0, ""), as every public call starts: no formatting, no copying.
void clear_last_status();
// The calling thread's code.
uint32_t last_status_code();

}  // namespace tavo::base
#endif
