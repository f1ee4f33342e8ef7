// Cutting a line of text into fields: in place (backend_split), or picking
// one field as a new text (tavo_parse skips empty fields, parse_file counts
// them).
#include <string.h>

#include "base/file_utils.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

char* fields_copy(const char* text, size_t length) {
  char* copy = static_cast<char*>(tavo_dmalloc(length + 1));
  if (copy != nullptr) memcpy(copy, text, length + 1);
  return copy;
}

// Field (from 1) of text; skip_empty makes a run of delimiters one cut.
char* fields_pick(const char* text, uint32_t field, const char* delimiters, bool skip_empty) {
  if (text == nullptr || delimiters == nullptr || field == 0) return nullptr;
  size_t length = strlen(text);
  char* work = fields_copy(text, length);
  if (work == nullptr) return nullptr;
  uint32_t cuts = backend_split(work, delimiters);
  char* result = nullptr;
  if (cuts > 0 && field - 1 <= cuts) {
    size_t at = 0;
    bool found = true;
    for (uint32_t k = 1; k < field && found; ++k) {
      at += strlen(work + at) + 1;
      if (skip_empty)
        while (at < length && work[at] == '\0') ++at;
      found = at <= length && !(skip_empty && at >= length);
    }
    if (found) {
      size_t n = strlen(work + at);
      if (n > 0 && work[at + n - 1] == '\n') work[at + --n] = '\0';
      result = fields_copy(work + at, n);
    }
  }
  tavo_dfree(work);
  return result;
}

}  // namespace

uint32_t backend_split(char* text, const char* delimiters) {
  if (text == nullptr || delimiters == nullptr) return 0;
  uint32_t count = 0;
  size_t length = strlen(text);
  for (size_t i = 0; i < length; ++i) {
    if (strchr(delimiters, text[i]) != nullptr) {
      text[i] = '\0';
      ++count;
    }
  }
  return count;
}

char* tavo_parse(const char* text, uint32_t field, const char* delimiters) {
  return fields_pick(text, field, delimiters, true);
}

char* parse_file(const char* text, uint32_t field, const char* delimiters) {
  return fields_pick(text, field, delimiters, false);
}
