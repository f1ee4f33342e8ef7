// tavo_validate over every value type, and the address checks and
// conversions on the same text. Input: type byte, minimum and maximum (4
// bytes each, little-endian), then the list, a NUL and the value.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/validate.h"
#include "fuzz/fuzz_support.h"

namespace {

bool fuzz_is_full_ipv6(const char* s) {
  if (strlen(s) != 39) return false;
  for (int i = 0; i < 39; ++i) {
    bool colon = i % 5 == 4;
    if (colon != (s[i] == ':')) return false;
    if (!colon && !((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'A' && s[i] <= 'F'))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  FuzzInput in(data, size);
  uint8_t type = in.byte();
  int32_t minimum = in.i32();
  int32_t maximum = in.i32();
  std::string rest(in.rest());
  size_t nul = rest.find('\0');
  std::string list = nul == std::string::npos ? std::string() : rest.substr(0, nul);
  std::string text = nul == std::string::npos ? rest : rest.substr(nul + 1);
  char list_buf[256] = {};
  snprintf(list_buf, sizeof list_buf, "%s", list.c_str());
  char value[256] = {};
  snprintf(value, sizeof value, "%s", text.c_str());
  std::string original = value;

  // The type byte as given, and as one of the six kinds of check.
  for (uint8_t t : {type, static_cast<uint8_t>(type % 6)}) {
    char v[256];
    memcpy(v, value, sizeof v);
    uint32_t r = tavo_validate(v, list_buf, t, minimum, maximum);
    FUZZ_CHECK(r == 0 || r == 6 || r == 7 || r == 8);
    if (t == 2 && r == 0 && original.size() > 2 && original.find(':') != std::string::npos) {
      // An accepted IPv6 text is in the full form and survives the bytes.
      FUZZ_CHECK(fuzz_is_full_ipv6(v));
      uint8_t bytes[16];
      StrToU8IPv6(v, bytes);
      char back[40];
      U8IPv6ToStr(bytes, back);
      char again[256] = {};
      snprintf(again, sizeof again, "%s", back);
      bool zero = true;
      for (uint8_t b : bytes) zero = zero && b == 0;
      if (!zero) {
        FUZZ_CHECK(validateIPv6Address(again) == 0);
        FUZZ_CHECK(strcmp(again, v) == 0);
      }
    }
    if (t == 2 && r == 0 && original.find(':') == std::string::npos) {
      // An accepted IPv4 text is plain dotted decimal, and stays as it is.
      unsigned a = 0, b = 0, c = 0, d = 0;
      char plain[16];
      FUZZ_CHECK(sscanf(v, "%u.%u.%u.%u", &a, &b, &c, &d) == 4);
      snprintf(plain, sizeof plain, "%u.%u.%u.%u", a, b, c, d);
      FUZZ_CHECK(strcmp(plain, v) == 0);
    }
    if (t != 2) FUZZ_CHECK(original == v);  // only addresses are rewritten
  }

  uint8_t octets[4];
  uint8_t mac[6];
  char copy[224];
  validateIPAddress(value, octets, type % 7);
  validateMACAddress(value, mac);
  validateISCSIName(value, copy);
  char v6[256];
  memcpy(v6, value, sizeof v6);
  validateIPv6Address(v6);

  uint8_t bytes[16] = {};
  memcpy(bytes, data + 9, size - 9 < 16 ? size - 9 : 16);
  char text6[40];
  U8IPv6ToStr(bytes, text6);
  FUZZ_CHECK(strlen(text6) < 40);
  ipaddr_to_string(bytes, text6, static_cast<uint32_t>(minimum));
  StrToU8IPv6(value, bytes);

  char scratch[256];
  memcpy(scratch, value, sizeof scratch);
  convert(scratch, maximum % 40);
  uint8_t bin[128];
  convert_hex_to_bin(value, static_cast<int32_t>(strlen(value)), bin);
  is_hex(value, static_cast<int32_t>(strlen(value)));
  memcpy(scratch, value, sizeof scratch);
  uint32_t parts[4];
  tavo_getip(scratch, parts);
  char converted[TAVO_MAC_TEXT_LENGTH + 1];
  TAVO_convert_mac_addr(value, '-', converted, ':');
  return 0;
}
