// The text helpers of the persistence records: lines, fields and words.
#include <string.h>

#include "base/debug_log.h"
#include "tree/persist.h"

uint32_t tavo_get_line(FILE* stream, char* buffer, uint32_t size) {
  if (stream == nullptr || buffer == nullptr || size < 2) return 0;
  off_t start = ftello(stream);
  uint32_t n = 0;
  uint32_t result = 0;
  // One lock for the whole line, not one per character.
  flockfile(stream);
  for (;;) {
    int c = getc_unlocked(stream);
    if (c == EOF) break;
    if (c == '\n') {
      buffer[n] = '\0';
      result = 1;
      break;
    }
    if (n >= size - 2) {
      // Put back for a second read with a larger buffer; a stream that
      // cannot go back ends here.
      result = start >= 0 && fseeko(stream, start, SEEK_SET) == 0 ? 2 : 0;
      break;
    }
    buffer[n++] = static_cast<char>(c);
  }
  funlockfile(stream);
  return result;
}

uint32_t tavo_split(char* text, char delimiter) {
  if (text == nullptr) return 0;
  uint32_t fields = 1;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == delimiter) {
      *p = '\0';
      ++fields;
    }
  }
  return fields;
}

uint32_t get_field(const char* text, char delimiter, char* out, uint32_t out_length) {
  if (out != nullptr && out_length > 0) memset(out, 0, out_length);
  if (text == nullptr || out == nullptr || out_length == 0) return 1;
  if (text[0] == delimiter) return 1;
  const char* end = strchr(text, delimiter);
  size_t length = end != nullptr ? static_cast<size_t>(end - text) : strlen(text);
  // One byte stays for the terminator.
  size_t room = out_length - 1;
  if (length > room) {
    pdebug(TAVO_LOG_BACKEND, 3, "dest len is smaller %d %d", static_cast<int>(room), static_cast<int>(out_length));
    length = room;
  }
  memcpy(out, text, length);
  return 0;
}

uint32_t word_count(const char* text, const char* word) {
  if (text == nullptr || word == nullptr || word[0] == '\0') return 0;
  size_t step = strlen(word);
  uint32_t count = 0;
  for (const char* p = strstr(text, word); p != nullptr; p = strstr(p + step, word)) ++count;
  return count;
}
