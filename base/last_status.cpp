// The last status: the code and text a failed call leaves for its caller.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "base/last_status.h"

uint32_t tavo_last_status_code = 0;
char tavo_last_status_string[TAVO_STATUS_TEXT_SIZE] = "";

void tavo_set_last_status(uint32_t code, const char* text) {
  tavo_last_status_code = code;
  snprintf(tavo_last_status_string, sizeof tavo_last_status_string, "%s", text ? text : "");
}

void tavo_get_last_status(uint32_t* code, char* text) {
  if (code) *code = tavo_last_status_code;
  if (text) snprintf(text, TAVO_STATUS_TEXT_SIZE, "%s", tavo_last_status_string);
}

namespace tavo::base {

void set_last_status_fmt(uint32_t code, const char* format, ...) {
  char text[TAVO_STATUS_TEXT_SIZE];
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  tavo_set_last_status(code, text);
}

}  // namespace tavo::base
