// IPv6 text: the check that rewrites it to the full form, and the
// conversions between address bytes and text.
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tavo/tavo.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"
#include "base/validate.h"

namespace {

constexpr size_t kIpv6Groups = 8;
constexpr size_t kIpv6FullLength = 39;

int ipv6_hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

uint32_t tavo_validate_ipv6(char* value) {
  if (value == nullptr || value[0] == '\0' || value[0] == ':') return TAVO_INVALID_VALUE;
  std::vector<std::string> groups;
  long mark = -1;  // index in groups where the compressed run of zeros goes
  std::string group;
  for (size_t i = 0; value[i] != '\0'; ++i) {
    char c = static_cast<char>(toupper(static_cast<unsigned char>(value[i])));
    value[i] = c;
    if (c == ':') {
      if (value[i - 1] == ':') {
        if (mark >= 0) return TAVO_INVALID_VALUE;
        mark = static_cast<long>(groups.size());
        continue;
      }
      groups.push_back(group);
      group.clear();
      continue;
    }
    if (ipv6_hex_value(c) < 0) return TAVO_INVALID_VALUE;
    group += c;
    if (group.size() > 4) return TAVO_INVALID_VALUE;
  }
  size_t length = strlen(value);
  // A text that ends in a single ':' has an empty last group, read as 0.
  bool ends_in_mark = length >= 2 && value[length - 1] == ':' && value[length - 2] == ':';
  if (!ends_in_mark) groups.push_back(group);
  if (mark >= 0) {
    if (groups.size() >= kIpv6Groups) return TAVO_INVALID_VALUE;
    groups.insert(groups.begin() + mark, kIpv6Groups - groups.size(), std::string());
  }
  if (groups.size() != kIpv6Groups) return TAVO_INVALID_VALUE;
  std::string full;
  for (size_t i = 0; i < kIpv6Groups; ++i) {
    if (i > 0) full += ':';
    full += std::string(4 - groups[i].size(), '0') + groups[i];
  }
  memcpy(value, full.c_str(), kIpv6FullLength + 1);
  return TAVO_OK;
}

uint32_t validateIPv6Address(char* text) { return tavo_validate_ipv6(text); }

void StrToU8IPv6(const char* text, uint8_t* bytes) {
  // The empty text stands for the all-zero address; every other text fills
  // the bytes from its first 32 hexadecimal digits.
  if (bytes == nullptr) return;
  memset(bytes, 0, 16);
  if (text == nullptr) return;
  size_t digits = 0;
  for (size_t i = 0; text[i] != '\0' && digits < 32; ++i) {
    int v = ipv6_hex_value(text[i]);
    if (v < 0) continue;
    if (digits % 2 == 0)
      bytes[digits / 2] = static_cast<uint8_t>(v << 4);
    else
      bytes[digits / 2] |= static_cast<uint8_t>(v);
    ++digits;
  }
}

void U8IPv6ToStr(const uint8_t* bytes, char* text) {
  if (text == nullptr) return;
  memset(text, 0, 40);
  if (bytes == nullptr) return;
  size_t n = 0;
  auto put = [&](const char* format, unsigned a, unsigned b) {
    n += static_cast<size_t>(snprintf(text + n, 40 - n, format, a, b));
  };
  if (bytes[0] != 0)
    put("%x%02x", bytes[0], bytes[1]);
  else
    put("%01x", bytes[1], 0);
  bool compressed = false;
  bool in_run = false;
  for (size_t i = 1; i < kIpv6Groups; ++i) {
    uint8_t high = bytes[2 * i];
    uint8_t low = bytes[2 * i + 1];
    if (high != 0) {
      put(":%x%02x", high, low);
      in_run = false;
    } else if (low != 0) {
      put(":%01x", low, 0);
      in_run = false;
    } else if (!compressed && i < kIpv6Groups - 1) {
      put(":", 0, 0);
      compressed = in_run = true;
    } else if (in_run) {
      if (i == kIpv6Groups - 1) put(":", 0, 0);
    } else {
      // Also a lone zero last group: a single trailing ':' would be no
      // address text at all.
      put(":0", 0, 0);
    }
  }
  if (strcmp(text, "0::") == 0) text[0] = '\0';
}

void ipaddr_to_string(const uint8_t* bytes, char* text, uint32_t type) {
  if (bytes == nullptr || text == nullptr) return;
  pdebug(TAVO_LOG_BACKEND, 6, "%s:ip_type = 0x%x\n", "ipaddr_to_string", type);
  uint32_t kind = type & 0xFF;
  if (kind != 0 && (kind & 0x07) != 0) {
    pdebug(TAVO_LOG_BACKEND, 6,
           "%s:ipAddress[0] = %d,ipAddress[1] = %d,ipAddress[2] = %d,ipAddress[3] = %d\n",
           "ipaddr_to_string", bytes[0], bytes[1], bytes[2], bytes[3]);
    // Four bytes in decimal, written directly: a formatted print costs more.
    char* out = text;
    for (int i = 0; i < 4; ++i) {
      const unsigned b = bytes[i];
      if (i != 0) *out++ = '.';
      if (b >= 100) *out++ = static_cast<char>('0' + b / 100);
      if (b >= 10) *out++ = static_cast<char>('0' + b / 10 % 10);
      *out++ = static_cast<char>('0' + b % 10);
    }
    *out = '\0';
  } else if ((kind & 0xF0) != 0) {
    U8IPv6ToStr(bytes, text);
    validateIPv6Address(text);
  } else {
    memcpy(text, "0.0.0.0", sizeof "0.0.0.0");
  }
  pdebug(TAVO_LOG_BACKEND, 6, "%s:ipaddress = %s\n", "ipaddr_to_string", text);
}
