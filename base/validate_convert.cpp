// Small conversions between address texts, digits and bits.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"
#include "base/validate.h"

uint32_t convert(char* text, int32_t base) {
  uint32_t value = 0;
  if (text == nullptr) return 0;
  for (char* p = text; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    int d = static_cast<int8_t>(static_cast<uint8_t>(c - '0'));
    if (d > 16) d = c - '7';  // 'A'..'Z' give 10..35
    if (d >= base) {
      d -= 32;  // 'a'..'z' give 10..35
      if (d >= base) break;
    }
    if (d < 0) break;
    *p = static_cast<char>(d);
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  return value;
}

int32_t convert_hex_to_bin(const char* text, int32_t length, uint8_t* bytes) {
  if (text == nullptr || bytes == nullptr) return -1;
  size_t available = strlen(text);
  for (int32_t i = 0; i + 1 < length; i += 2) {
    // A pair past the end of the text reads as no digits.
    char pair[3] = {};
    if (static_cast<size_t>(i) < available) pair[0] = text[i];
    if (static_cast<size_t>(i) + 1 < available) pair[1] = text[i + 1];
    bytes[i / 2] = static_cast<uint8_t>(strtoul(pair, nullptr, 16));
  }
  return 0;
}

int32_t is_hex(const char* text, int32_t count) {
  if (count < 1) return 1;
  if (text == nullptr) return 0;
  for (int32_t i = 0; i < count; ++i)
    if (!isxdigit(static_cast<unsigned char>(text[i]))) return 0;  // also stops at the NUL
  return 1;
}

uint32_t TAVO_convert_mac_addr(const char* source, uint8_t from, char* destination, uint8_t to) {
  if (source == nullptr || destination == nullptr) return 1;
  // The length is known before a byte is copied: a longer text is refused
  // whole rather than cut or run past the destination.
  const size_t length = strnlen(source, TAVO_MAC_TEXT_LENGTH + 1);
  if (length > TAVO_MAC_TEXT_LENGTH) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s:source mac longer than %d characters\n", "TAVO_convert_mac_addr",
           TAVO_MAC_TEXT_LENGTH);
    return 1;
  }
  pdebug(TAVO_LOG_BACKEND, 6, "%s:source mac = %s\n", "TAVO_convert_mac_addr", source);
  size_t i = 0;
  for (; source[i] != '\0'; ++i)
    destination[i] = static_cast<uint8_t>(source[i]) == from ? static_cast<char>(to) : source[i];
  destination[i] = '\0';
  pdebug(TAVO_LOG_BACKEND, 6, "%s:destination mac = %s\n", "TAVO_convert_mac_addr", destination);
  return 0;
}

uint32_t tavo_getip(char* text, uint32_t* parts) {
  if (parts == nullptr) return 1;
  memset(parts, 0, 4 * sizeof *parts);
  if (text == nullptr) return 1;
  char* save = nullptr;
  char* piece = strtok_r(text, ".", &save);
  for (int i = 0; i < 4 && piece != nullptr; ++i) {
    parts[i] = static_cast<uint32_t>(strtoul(piece, nullptr, 10));
    piece = strtok_r(nullptr, ".", &save);
  }
  return 0;
}

uint32_t tavo_bin(int32_t a, int32_t b, int32_t c, int32_t d, uint32_t* bits) {
  if (bits == nullptr) return 1;
  const int32_t values[4] = {a, b, c, d};
  for (int v = 0; v < 4; ++v)
    for (int bit = 0; bit < 8; ++bit) bits[v * 8 + bit] = (static_cast<uint32_t>(values[v]) >> (7 - bit)) & 1u;
  return 0;
}

void copy_U8IP(uint8_t* destination, const uint8_t* source) {
  if (destination != nullptr && source != nullptr) memcpy(destination, source, 16);
}

void copy_U32IP(uint32_t* destination, const uint8_t* source) {
  if (destination == nullptr || source == nullptr) return;
  for (int i = 0; i < 16; ++i) destination[i] = source[i];
}

uint32_t ULShr(uint32_t value, int32_t count) {
  for (int32_t i = 0; i < count && value != 0; ++i) value >>= 1;
  return value;
}

uint32_t ULShl(uint32_t value, int32_t count) {
  for (int32_t i = 0; i < count && value != 0; ++i) value <<= 1;
  return value;
}
