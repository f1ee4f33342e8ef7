// The type-driven check applied to property values and action parameters.
#include "base/validate.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "tavo/tavo.h"

namespace {

// strtol with base 10 on one dotted part: leading blanks and a sign allowed,
// no digits read as 0. *end is left after the digits.
long validate_decimal_part(const char* p, const char** end) {
  char* e = nullptr;
  errno = 0;
  long v = strtol(p, &e, 10);
  if (errno == ERANGE) v = -1;  // out of any octet range
  *end = e;
  return v;
}

bool validate_is_refused_ipv4(const long o[4]) {
  bool all_zero = o[0] == 0 && o[1] == 0 && o[2] == 0 && o[3] == 0;
  bool all_ones = o[0] == 255 && o[1] == 255 && o[2] == 255 && o[3] == 255;
  return all_zero || all_ones || o[0] == 127 || o[0] == 255;
}

}  // namespace

uint32_t tavo_validate_val_string(const char* value, int32_t minimum, int32_t maximum) {
  if (value == nullptr) return TAVO_INVALID_VALUE;
  long long length = static_cast<long long>(strlen(value));
  return (length > maximum || length < minimum) ? TAVO_BAD_LENGTH : TAVO_OK;
}

uint32_t tavo::base::parse_number(const char* text, long long* value) {
  if (text == nullptr || text[0] == '\0') return TAVO_INVALID_VALUE;
  char* end = nullptr;
  errno = 0;
  const long long v = strtoll(text, &end, 0);
  if (end == text || *end != '\0') return TAVO_INVALID_VALUE;
  if (errno == ERANGE) return TAVO_OUT_OF_RANGE;
  *value = v;
  return TAVO_OK;
}

char* tavo::base::write_decimal(char* out, uint32_t number) {
  char digits[10];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
  return out + n;
}

uint32_t tavo_validate_val_integer(const char* value, int32_t minimum, int32_t maximum) {
  long long v = 0;
  if (const uint32_t parsed = tavo::base::parse_number(value, &v); parsed != TAVO_OK) return parsed;
  if (v > INT32_MAX || v < INT32_MIN || v > maximum || v < minimum) return TAVO_OUT_OF_RANGE;
  return TAVO_OK;
}

uint32_t tavo_validate_ip(char* value) {
  if (value == nullptr) return TAVO_INVALID_VALUE;
  size_t length = strlen(value);
  if (length > 2 && strchr(value, ':') != nullptr) return tavo_validate_ipv6(value);
  if (length > 15) return TAVO_INVALID_VALUE;
  long octets[4];
  const char* p = value;
  for (int i = 0; i < 4; ++i) {
    const char* end = nullptr;
    octets[i] = validate_decimal_part(p, &end);
    if (octets[i] < 0 || octets[i] > 255) return TAVO_INVALID_VALUE;
    if (*end != (i < 3 ? '.' : '\0')) return TAVO_INVALID_VALUE;
    p = end + 1;
  }
  if (validate_is_refused_ipv4(octets)) return TAVO_INVALID_VALUE;
  // Kept as the firmware answers it, without the blanks, signs and leading
  // zeros the parts allow: a text saved from it then matches the firmware's
  // and no restart takes the two for different addresses.
  char* at = value;
  for (int i = 0; i < 4; ++i) {
    at = tavo::base::write_decimal(at, static_cast<uint32_t>(octets[i]));
    if (i < 3) *at++ = '.';
  }
  return TAVO_OK;
}

uint32_t tavo_validate_subnetmask(const char* value) {
  if (value == nullptr || strlen(value) > 15) return TAVO_INVALID_VALUE;
  uint32_t mask = 0;
  int parts = 0;
  const char* p = value;
  for (;;) {
    if (parts == 4) return TAVO_INVALID_VALUE;  // a fifth part
    const char* end = nullptr;
    long v = validate_decimal_part(p, &end);
    if (v < 0 || v > 255) return TAVO_INVALID_VALUE;
    mask = (mask << 8) | static_cast<uint32_t>(v);
    ++parts;
    const char* dot = strchr(p, '.');
    if (dot == nullptr) break;
    p = dot + 1;
  }
  if (parts != 4 || mask == 0) return TAVO_INVALID_VALUE;
  uint32_t inverse = ~mask;  // contiguous: the inverse is 0...01...1
  return (inverse & (inverse + 1)) == 0 ? TAVO_OK : TAVO_INVALID_VALUE;
}

uint32_t tavo_validate_list(const char* value, const char* list) {
  if (value == nullptr || list == nullptr) return TAVO_INVALID_VALUE;
  std::string entries = list;
  size_t start = 0;
  for (;;) {
    size_t comma = entries.find(',', start);
    std::string entry = entries.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (strcasecmp(entry.c_str(), value) == 0) return TAVO_OK;
    if (comma == std::string::npos) return TAVO_INVALID_VALUE;
    start = comma + 1;
  }
}

uint32_t tavo_validate(char* value, const char* list, uint8_t type, int32_t minimum, int32_t maximum) {
  if (value == nullptr) return TAVO_INVALID_VALUE;
  switch (type) {
    case TAVO_TYPE_TEXT: return tavo_validate_val_string(value, minimum, maximum);
    case TAVO_TYPE_INTEGER: return tavo_validate_val_integer(value, minimum, maximum);
    case TAVO_TYPE_IP_ADDRESS: return tavo_validate_ip(value);
    case TAVO_TYPE_SUBNET_MASK: return tavo_validate_subnetmask(value);
    case TAVO_TYPE_LIST: return tavo_validate_list(value, list);
    default: return TAVO_OK;
  }
}
