// The IMA plug-in's code-set conversion in memory: its own UTF-8 decoder
// and encoder and the wide fields of the host's records. A decoded valid
// text re-encodes to the same bytes, every sequence is in its shortest
// form, and no conversion writes past its field or leaves a field cut or
// changed when it fails. Input: the field's size (first byte), the mode
// (second byte: the input as UTF-8 text, or as 32-bit units), then the text.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"

namespace {

#define CODESET_CHECK(cond)                                                            \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #cond);    \
      abort();                                                                         \
    }                                                                                  \
  } while (0)

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

bool all_guard(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != kGuard) return false;
  return true;
}

// The text's sequences, one by one: each in its shortest form.
void check_sequences(const std::string& text) {
  const char* end = text.data() + text.size();
  for (const char* p = text.data(); p < end;) {
    uint32_t c = 0;
    const uint32_t length = Iscsi_CodeSetOldGetUtf8(p, end, &c);
    if (length == 0) return;
    CODESET_CHECK(length <= 4 && length <= static_cast<size_t>(end - p));
    CODESET_CHECK(c <= 0x13FFFF);
    const uint32_t shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    CODESET_CHECK(length == shortest);
    p += length;
  }
}

void check_text(const std::string& text, uint32_t entries) {
  check_sequences(text);
  const int32_t count = Iscsi_CodeSet_LengthInCodePoints(text.c_str());
  uint32_t* units = nullptr;
  CODESET_CHECK(Iscsi_CodeSet_UTF8ToUTF32(text.c_str(), &units) == (count >= 0 ? 1 : 0));
  bool encodable = true;
  if (units != nullptr) {
    int32_t n = 0;
    for (; units[n] != 0; ++n) encodable = encodable && units[n] <= 0x10FFFF;
    CODESET_CHECK(n == count);
    char* back = nullptr;
    CODESET_CHECK(Iscsi_CodeSet_UTF32ToUTF8(units, &back) == (encodable ? 1 : 0));
    if (back != nullptr) CODESET_CHECK(strcmp(back, text.c_str()) == 0);
    free(back);
    free(units);
  }

  // The field and the guard bytes past it.
  std::vector<IMA_WCHAR> field(entries + kGuardBytes / sizeof(IMA_WCHAR));
  memset(field.data(), kGuard, field.size() * sizeof(IMA_WCHAR));
  const IMA_STATUS status = Sample_Iscsi_ToWide(field.data(), text.c_str(), entries);
  CODESET_CHECK(all_guard(field.data() + entries, kGuardBytes));
  const bool fits = count >= 0 && static_cast<uint32_t>(count) < entries;
  CODESET_CHECK(status == (fits ? 0u : IMA_ERROR_CONVERSION_FAILED));
  if (!fits) {
    CODESET_CHECK(all_guard(field.data(), entries * sizeof(IMA_WCHAR)));
    return;
  }
  for (uint32_t i = static_cast<uint32_t>(count); i < entries; ++i) CODESET_CHECK(field[i] == 0);
  // Back into a buffer of the text's length and one byte more: only the
  // latter holds it with its terminator.
  if (!encodable) return;
  for (size_t size : {text.size(), text.size() + 1}) {
    std::vector<char> buffer(size + kGuardBytes);
    memset(buffer.data(), kGuard, buffer.size());
    const IMA_STATUS back = Sample_Iscsi_ToUtf8(buffer.data(), field.data(), static_cast<uint32_t>(size));
    CODESET_CHECK(all_guard(buffer.data() + size, kGuardBytes));
    if (size == text.size()) {
      CODESET_CHECK(back == IMA_ERROR_CONVERSION_FAILED && all_guard(buffer.data(), size));
    } else {
      CODESET_CHECK(back == 0 && memcmp(buffer.data(), text.c_str(), size) == 0);
      CODESET_CHECK(Sample_Iscsi_WideAndUtf8Cmp(field.data(), text.c_str(), entries) == 0);
    }
  }
}

// Arbitrary units as a wide string: encodable exactly when every unit is
// at most 0x10FFFF, and then decoded back to the same units.
void check_units(std::vector<IMA_WCHAR> wide, uint32_t size) {
  wide.push_back(0);
  bool encodable = true;
  for (IMA_WCHAR c : wide) encodable = encodable && static_cast<uint32_t>(c) <= 0x10FFFF;
  std::vector<char> buffer(size + kGuardBytes);
  memset(buffer.data(), kGuard, buffer.size());
  const IMA_STATUS status = Sample_Iscsi_ToUtf8(buffer.data(), wide.data(), size);
  CODESET_CHECK(all_guard(buffer.data() + size, kGuardBytes));
  CODESET_CHECK(Sample_Iscsi_WideLength(wide.data()) == (encodable ? static_cast<int32_t>(wide.size() - 1) : -1));
  if (status != 0) {
    CODESET_CHECK(all_guard(buffer.data(), size));
    return;
  }
  CODESET_CHECK(encodable && memchr(buffer.data(), '\0', size) != nullptr);
  uint32_t* units = nullptr;
  CODESET_CHECK(Iscsi_CodeSet_UTF8ToUTF32(buffer.data(), &units) == 1);
  for (size_t i = 0; i < wide.size(); ++i) CODESET_CHECK(units[i] == static_cast<uint32_t>(wide[i]));
  free(units);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Failed conversions print a line each; the fuzzer's output stays readable.
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t entries = data[0] + 1u;
  const bool as_units = data[1] & 1;
  data += 2;
  size -= 2;
  if (!as_units) {
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    check_text(text, entries);
    return 0;
  }
  std::vector<IMA_WCHAR> wide;
  for (size_t i = 0; i + 4 <= size; i += 4) {
    uint32_t unit;
    memcpy(&unit, data + i, 4);
    if (unit == 0) break;
    wide.push_back(static_cast<IMA_WCHAR>(unit));
  }
  check_units(wide, entries);
  return 0;
}
