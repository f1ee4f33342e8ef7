// The last status: the code and text a failed call leaves for its caller.
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

}  // namespace tavo::base
#endif
