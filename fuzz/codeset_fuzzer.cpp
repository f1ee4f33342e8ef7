// The IMA plug-in's code-set conversion in memory: its own UTF-8 decoder
// and encoder and the wide fields of the host's records. A decoded valid
// text re-encodes to the same bytes, every sequence is in its shortest
// form, and no conversion writes past its field or leaves a field cut or
// changed when it fails. Input: the field's entries less one (first byte),
// the mode (second byte, bit 0: the rest as 32-bit units, else as UTF-8
// text), then the text.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "iscsimgt/plugins/cvima/esx50_wrap.h"

namespace {

constexpr size_t kGuardBytes = 64;

// The text's sequences, one by one: each in its shortest form.
void check_sequences(std::string_view text) {
  const char* end = text.data() + text.size();
  for (const char* p = text.data(); p < end;) {
    uint32_t c = 0;
    const uint32_t length = Iscsi_CodeSetOldGetUtf8(p, end, &c);
    if (length == 0) return;
    FUZZ_CHECK(length <= 4 && length <= static_cast<size_t>(end - p) && c <= 0x13FFFF);
    FUZZ_CHECK(length == (c < 0x80 ? 1u : c < 0x800 ? 2u : c < 0x10000 ? 3u : 4u));
    p += length;
  }
}

// Decoded and encoded again: the same bytes, unless a code point lies past
// what UTF-8 encodes.
bool check_round_trip(const std::string& text, int32_t count) {
  uint32_t* units = nullptr;
  FUZZ_CHECK(Iscsi_CodeSet_UTF8ToUTF32(text.c_str(), &units) == (count >= 0 ? 1 : 0));
  if (units == nullptr) return false;
  bool encodable = true;
  int32_t n = 0;
  for (; units[n] != 0; ++n) encodable = encodable && units[n] <= 0x10FFFF;
  FUZZ_CHECK(n == count);
  char* back = nullptr;
  FUZZ_CHECK(Iscsi_CodeSet_UTF32ToUTF8(units, &back) == (encodable ? 1 : 0));
  FUZZ_CHECK(back == nullptr || text == back);
  free(back);
  free(units);
  return encodable;
}

void check_text(const std::string& text, uint32_t entries) {
  check_sequences(text);
  const int32_t count = Iscsi_CodeSet_LengthInCodePoints(text.c_str());
  const bool encodable = check_round_trip(text, count);

  // The field and guard bytes past it: a failure leaves the field alone.
  std::vector<IMA_WCHAR> field(entries + kGuardBytes / sizeof(IMA_WCHAR));
  fuzz_guard(field.data(), field.size() * sizeof(IMA_WCHAR));
  const IMA_STATUS status = Sample_Iscsi_ToWide(field.data(), text.c_str(), entries);
  FUZZ_CHECK(fuzz_guard_intact(field.data() + entries, kGuardBytes));
  const bool fits = count >= 0 && static_cast<uint32_t>(count) < entries;
  FUZZ_CHECK(status == (fits ? 0u : IMA_ERROR_CONVERSION_FAILED));
  if (!fits) {
    FUZZ_CHECK(fuzz_guard_intact(field.data(), entries * sizeof(IMA_WCHAR)));
    return;
  }
  for (uint32_t i = static_cast<uint32_t>(count); i < entries; ++i) FUZZ_CHECK(field[i] == 0);
  if (!encodable) return;
  // Back into a buffer of the text's length, and of one byte more: only the
  // latter holds it with its terminator.
  for (size_t size : {text.size(), text.size() + 1}) {
    std::vector<char> buffer(size + kGuardBytes);
    fuzz_guard(buffer.data(), buffer.size());
    const IMA_STATUS back = Sample_Iscsi_ToUtf8(buffer.data(), field.data(), static_cast<uint32_t>(size));
    FUZZ_CHECK(fuzz_guard_intact(buffer.data() + size, kGuardBytes));
    if (size == text.size()) {
      FUZZ_CHECK(back == IMA_ERROR_CONVERSION_FAILED && fuzz_guard_intact(buffer.data(), size));
    } else {
      FUZZ_CHECK(back == 0 && fuzz_terminated(buffer.data(), size) && text == buffer.data());
      FUZZ_CHECK(Sample_Iscsi_WideAndUtf8Cmp(field.data(), text.c_str(), entries) == 0);
    }
  }
}

// Arbitrary units as a wide string: encodable exactly when every unit is
// at most 0x10FFFF, and then decoded back to the same units.
void check_units(std::vector<IMA_WCHAR> wide, uint32_t size) {
  wide.push_back(0);
  bool encodable = true;
  for (IMA_WCHAR c : wide) encodable = encodable && static_cast<uint32_t>(c) <= 0x10FFFF;
  FUZZ_CHECK(Sample_Iscsi_WideLength(wide.data()) == (encodable ? static_cast<int32_t>(wide.size() - 1) : -1));
  std::vector<char> buffer(size + kGuardBytes);
  fuzz_guard(buffer.data(), buffer.size());
  const IMA_STATUS status = Sample_Iscsi_ToUtf8(buffer.data(), wide.data(), size);
  FUZZ_CHECK(fuzz_guard_intact(buffer.data() + size, kGuardBytes));
  if (status != 0) {
    FUZZ_CHECK(fuzz_guard_intact(buffer.data(), size));
    return;
  }
  FUZZ_CHECK(encodable && fuzz_terminated(buffer.data(), size));
  uint32_t* units = nullptr;
  FUZZ_CHECK(Iscsi_CodeSet_UTF8ToUTF32(buffer.data(), &units) == 1);
  for (size_t i = 0; i < wide.size(); ++i) FUZZ_CHECK(units[i] == static_cast<uint32_t>(wide[i]));
  free(units);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Each failed conversion prints a line; the fuzzer's output stays readable.
  return freopen("/dev/null", "w", stdout) == nullptr ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint32_t entries = in.byte() + 1u;
  const bool as_units = in.byte() & 1;
  const std::string_view rest = in.rest();
  if (!as_units) {
    check_text(std::string(fuzz_c_text(rest)), entries);
    return 0;
  }
  std::vector<IMA_WCHAR> wide;
  for (size_t i = 0; i + 4 <= rest.size(); i += 4) {
    uint32_t unit;
    memcpy(&unit, rest.data() + i, 4);
    if (unit == 0) break;
    wide.push_back(static_cast<IMA_WCHAR>(unit));
  }
  check_units(wide, entries);
  return 0;
}
