// The plug-in's own UTF-8 decoder and encoder. Decoding refuses overlong
// forms and cut sequences but, like the host's, lets encoded surrogates and
// values up to 0x13FFFF through; encoding refuses what lies above 0x10FFFF.
#include "iscsimgt/plugins/cvima/esx50_codeset.h"

#include <stdlib.h>

namespace {

// Bytes the code point takes in UTF-8, 0 when it cannot be encoded.
size_t encoded_length(uint32_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return 3;
  return c <= 0x10FFFF ? 4 : 0;
}

char* put_utf8(char* out, uint32_t c) {
  switch (encoded_length(c)) {
    case 1:
      *out++ = static_cast<char>(c);
      break;
    case 2:
      *out++ = static_cast<char>(0xC0 | c >> 6);
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
      break;
    case 3:
      *out++ = static_cast<char>(0xE0 | c >> 12);
      *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
      break;
    default:
      *out++ = static_cast<char>(0xF0 | c >> 18);
      *out++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
      *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *out++ = static_cast<char>(0x80 | (c & 0x3F));
      break;
  }
  return out;
}

template <typename Unit>
int encode(const Unit* units, char** utf8) {
  if (utf8 == nullptr) return 0;
  *utf8 = nullptr;
  if (units == nullptr) return 1;
  size_t count = 0;
  while (units[count] != 0) ++count;
  char* text = static_cast<char*>(malloc(4 * count + 1));
  if (text == nullptr) return 0;
  char* out = text;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = static_cast<uint32_t>(units[i]);
    if (encoded_length(c) == 0) {
      free(text);
      return 0;
    }
    out = put_utf8(out, c);
  }
  *out = '\0';
  *utf8 = text;
  return 1;
}

}  // namespace

namespace tavo::cvima {

int encode_utf8(const uint32_t* units, char** utf8) { return encode(units, utf8); }
int encode_utf8(const IMA_WCHAR* units, char** utf8) { return encode(units, utf8); }

}  // namespace tavo::cvima

extern "C" {

uint32_t Iscsi_CodeSetOldGetUtf8(const char* string, const char* end, uint32_t* code_point) {
  if (string == nullptr || end == nullptr || string >= end) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(string);
  const unsigned char lead = s[0];
  uint32_t length, value;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if (lead <= 0xC1 || lead >= 0xF5) {
    return 0;
  } else if (lead <= 0xDF) {
    length = 2;
    value = lead - 0xC0u;
  } else if (lead <= 0xEF) {
    length = 3;
    value = lead - 0xE0u;
  } else {
    length = 4;
    value = lead - 0xF0u;
  }
  if (static_cast<size_t>(end - string) < length) return 0;
  for (uint32_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = value * 64 + (s[i] - 0x80u);
  }
  // Shortest form only: 0x80 needs two bytes, 0x800 three, 0x10000 four.
  if (length > 1 && value < (1u << (5 * length - 4))) return 0;
  if (code_point != nullptr) *code_point = value;
  return length;
}

int32_t Iscsi_CodeSet_LengthInCodePoints(const char* utf8) {
  if (utf8 == nullptr) return -1;
  const char* end = utf8;
  while (*end != '\0') ++end;
  int32_t count = 0;
  for (const char* p = utf8; p < end; ++count) {
    const uint32_t length = Iscsi_CodeSetOldGetUtf8(p, end, nullptr);
    if (length == 0) return -1;
    p += length;
  }
  return count;
}

int Iscsi_CodeSet_UTF8ToUTF32(const char* utf8, uint32_t** utf32) {
  if (utf32 == nullptr) return 0;
  *utf32 = nullptr;
  if (utf8 == nullptr) return 1;
  const int32_t count = Iscsi_CodeSet_LengthInCodePoints(utf8);
  if (count < 0) return 0;
  auto* units = static_cast<uint32_t*>(malloc(4 * (static_cast<size_t>(count) + 1)));
  if (units == nullptr) return 0;
  const char* end = utf8;
  while (*end != '\0') ++end;
  const char* p = utf8;
  for (int32_t i = 0; i < count; ++i) p += Iscsi_CodeSetOldGetUtf8(p, end, &units[i]);
  units[count] = 0;
  *utf32 = units;
  return 1;
}

int Iscsi_CodeSet_UTF32ToUTF8(const uint32_t* utf32, char** utf8) { return encode(utf32, utf8); }

}  // extern "C"
