// The address checks branch code runs before it builds a request: dotted
// IPv4 with a rule set, MAC address and iSCSI name.
#include <ctype.h>
#include <string.h>

#include "base/last_status.h"
#include "base/memory.h"
#include "base/status_registry.h"
#include "base/validate.h"

namespace {

constexpr size_t kIpv4TextWindow = 15;
constexpr size_t kMacTextWindow = TAVO_MAC_TEXT_LENGTH;
constexpr size_t kIscsiNameMax = 223;  // the copy buffer holds 224 bytes

// Value of the leading decimal digits (saturating above 255 is enough).
unsigned address_leading_decimal(const char* p) {
  unsigned v = 0;
  for (; isdigit(static_cast<unsigned char>(*p)); ++p) v = v > 1000 ? v : v * 10 + static_cast<unsigned>(*p - '0');
  return v;
}

bool address_contiguous_mask(const uint8_t o[4]) {
  bool ended = false;
  for (int i = 0; i < 4; ++i) {
    if (ended) {
      if (o[i] != 0) return false;
      continue;
    }
    if (o[i] == 255) continue;
    switch (o[i]) {
      case 254: case 252: case 248: case 240: case 224: case 192: case 128: case 0: ended = true; break;
      default: return false;
    }
  }
  return true;
}

bool address_mode_accepts(const uint8_t o[4], uint32_t mode) {
  bool all_zero = o[0] == 0 && o[1] == 0 && o[2] == 0 && o[3] == 0;
  bool all_ones = o[0] == 255 && o[1] == 255 && o[2] == 255 && o[3] == 255;
  bool first_two_zero = o[0] == 0 && o[1] == 0;
  switch (mode) {
    case 0: return !all_zero;
    case 1: return !all_zero && !all_ones && o[0] != 127 && o[0] != 255;
    case 2:
      return !first_two_zero && !all_ones && o[0] != 127 && o[0] != 255 && o[3] != 0 && o[3] != 255;
    case 3:
      return !first_two_zero && !all_ones && o[0] != 127 && o[0] != 255 && !(o[0] >= 224 && o[0] <= 247) &&
             o[3] != 255;
    case 5: return !all_zero && address_contiguous_mask(o);
    default: return true;
  }
}

}  // namespace

uint32_t validateIPAddress(const char* text, uint8_t* octets, uint32_t mode) {
  if (text == nullptr) return 0;
  char s[kIpv4TextWindow + 1] = {};
  strncpy(s, text, kIpv4TextWindow);
  if (s[0] == '\0') return 0;
  uint8_t local[4] = {};
  if (octets == nullptr) octets = local;
  int parts = 0;
  int dots = 0;
  for (const char* p = s;;) {
    if (parts == 4) return 0;  // a fifth part
    unsigned v = address_leading_decimal(p);
    if (v > 255) return 0;
    octets[parts++] = static_cast<uint8_t>(v);
    const char* dot = strchr(p, '.');
    if (dot == nullptr) break;
    ++dots;
    p = dot + 1;
  }
  if (dots != 3 || parts != 4) return 0;
  for (size_t i = 0; s[i] != '\0'; ++i) {
    if (s[i] == '.') {
      if (s[i + 1] == '\0' || s[i + 1] == '.') return 0;
    } else if (!isdigit(static_cast<unsigned char>(s[i]))) {
      return 0;
    }
  }
  return address_mode_accepts(octets, mode) ? 1 : 0;
}

uint32_t validateMACAddress(const char* text, uint8_t* mac) {
  if (text == nullptr) return 0;
  char s[kMacTextWindow + 1] = {};
  strncpy(s, text, kMacTextWindow);
  if (s[0] == '\0') return 0;
  uint8_t local[6] = {};
  if (mac == nullptr) mac = local;
  int groups = 0;
  int separators = 0;
  for (const char* p = s;;) {
    size_t length = strcspn(p, ":-");
    // The group buffer holds two characters; a longer group is no byte.
    if (length > 2) return 0;
    if (groups == 6) return 0;  // a seventh group
    char group[3] = {};
    memcpy(group, p, length);
    mac[groups++] = static_cast<uint8_t>(convert(group, 16));
    if (p[length] == '\0') break;
    ++separators;
    p += length + 1;
  }
  if (separators != 5 || groups != 6) return 0;
  for (size_t i = 0; s[i] != '\0'; ++i) {
    char c = s[i];
    if (c == ':' || c == '-') {
      if (s[i + 1] == '\0') return 0;
    } else if (!isxdigit(static_cast<unsigned char>(c))) {
      // A letter beyond F is no digit of the address: "0g" would read as 0.
      return 0;
    }
  }
  return 1;
}

uint32_t validateISCSIName(const char* name, char* copy) {
  bool valid = name != nullptr && copy != nullptr && name[0] != '\0' && strlen(name) <= kIscsiNameMax;
  if (valid) {
    size_t n = strlen(name);
    memcpy(copy, name, n + 1);
    for (size_t i = 0; i < n && valid; ++i) {
      char c = copy[i];
      if (c >= 'A' && c <= 'Z') copy[i] = c = static_cast<char>(c - 'A' + 'a');
      valid = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
    }
  }
  if (valid) return 0;
  tavo::base::set_status(30);
  return 1;
}
