// The last status, kept per thread and mirrored into the exported globals.
// The mirror is written with relaxed atomic stores: threads never race on it,
// they only overwrite each other's values.
#include "base/last_status.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

uint32_t tavo_last_status_code = 0;
char tavo_last_status_string[TAVO_STATUS_TEXT_SIZE] = "";

namespace {

struct LastStatus {
  uint32_t code;
  char text[TAVO_STATUS_TEXT_SIZE];
};

thread_local LastStatus mine = {0, ""};

// Publishes the calling thread's status: the code, the text and its NUL.
void mirror(size_t length) {
  __atomic_store_n(&tavo_last_status_code, mine.code, __ATOMIC_RELAXED);
  for (size_t i = 0; i <= length; ++i) __atomic_store_n(&tavo_last_status_string[i], mine.text[i], __ATOMIC_RELAXED);
}

}  // namespace

void tavo_set_last_status(uint32_t code, const char* text) {
  if (text == nullptr) text = "";
  const size_t n = strnlen(text, TAVO_STATUS_TEXT_SIZE - 1);
  mine.code = code;
  memmove(mine.text, text, n);  // text may be the thread's own
  mine.text[n] = '\0';
  mirror(n);
}

void tavo_get_last_status(uint32_t* code, char* text) {
  if (code) *code = mine.code;
  if (text) memcpy(text, mine.text, strlen(mine.text) + 1);
}

namespace tavo::base {

void set_last_status_fmt(uint32_t code, const char* format, ...) {
  char text[TAVO_STATUS_TEXT_SIZE];  // the arguments may name the old text
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  tavo_set_last_status(code, text);
}

void clear_last_status() {
  mine.code = 0;
  mine.text[0] = '\0';
  mirror(0);
}

uint32_t last_status_code() { return mine.code; }

}  // namespace tavo::base
