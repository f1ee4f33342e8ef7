// Texts between the tree's UTF-8 values and the wide fields of the IMA
// records. A field never receives a cut text: what does not fit, with its
// terminator, fails and leaves the field as it was.
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

namespace tavo::cvima {

IMA_STATUS conversion_failed(const char* function, unsigned line) {
  printf("%s:%u: imaStatus:0x%x\n", function, line, IMA_ERROR_CONVERSION_FAILED);
  return IMA_ERROR_CONVERSION_FAILED;
}

}  // namespace tavo::cvima

using namespace tavo::cvima;

namespace {

// A libc conversion of at most count source units into capacity units of
// dest, terminated; nothing past the source's terminator is read,
// whatever the count says.
template <typename To, typename From, typename Convert>
IMA_STATUS convert_in_locale(To* dest, const From* src, size_t count, size_t capacity, Convert convert,
                             const char* failure) {
  if (dest == nullptr || src == nullptr || capacity == 0) return IMA_ERROR_CONVERSION_FAILED;
  size_t limit = 0;
  while (limit < count && src[limit] != 0) ++limit;
  mbstate_t state;
  memset(&state, 0, sizeof state);
  const From* from = src;
  const size_t made = convert(dest, &from, limit < count ? limit + 1 : limit, capacity - 1, &state);
  if (made == static_cast<size_t>(-1)) {
    puts(failure);
    return IMA_ERROR_CONVERSION_FAILED;
  }
  dest[made] = 0;
  return IMA_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

IMA_STATUS Sample_Iscsi_ToWide(IMA_WCHAR* dest, const char* src, IMA_UINT32 entries) {
  if (dest == nullptr || src == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const int32_t count = Iscsi_CodeSet_LengthInCodePoints(src);
  uint32_t* units = nullptr;
  if (count < 0 || static_cast<uint32_t>(count) >= entries || !Iscsi_CodeSet_UTF8ToUTF32(src, &units))
    return conversion_failed(__func__, __LINE__);
  uint32_t i = 0;
  for (; units[i] != 0; ++i) dest[i] = static_cast<IMA_WCHAR>(units[i]);
  for (; i < entries; ++i) dest[i] = 0;
  free(units);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS Sample_Iscsi_ToUtf8(char* dest, const IMA_WCHAR* src, IMA_UINT32 size) {
  if (dest == nullptr || src == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  char* text = nullptr;
  if (!encode_utf8(src, &text)) return conversion_failed(__func__, __LINE__);
  const size_t length = strlen(text);
  if (length >= size) {
    free(text);
    return conversion_failed(__func__, __LINE__);
  }
  memcpy(dest, text, length);
  memset(dest + length, 0, size - length);
  free(text);
  return IMA_STATUS_SUCCESS;
}

int32_t Sample_Iscsi_WideLength(const IMA_WCHAR* src) {
  char* text = nullptr;
  if (src == nullptr || !encode_utf8(src, &text)) return -1;
  const int32_t count = Iscsi_CodeSet_LengthInCodePoints(text);
  free(text);
  return count;
}

IMA_STATUS Sample_Iscsi_WideAndUtf8Cmp(const IMA_WCHAR* wstr, const char* cstr, IMA_UINT32 len) {
  if (wstr == nullptr || cstr == nullptr || len == 0) return IMA_ERROR_INVALID_PARAMETER;
  char* text = nullptr;
  if (!encode_utf8(wstr, &text)) return IMA_ERROR_CONVERSION_FAILED;
  const int order = strncmp(cstr, text, 4 * static_cast<size_t>(len));
  free(text);
  return order == 0 ? IMA_STATUS_SUCCESS : IMA_ERROR_INVALID_PARAMETER;
}

int Sample_Iscsi_WideCmp(const IMA_WCHAR* a, const IMA_WCHAR* b, IMA_UINT32 len) {
  char* a8 = nullptr;
  char* b8 = nullptr;
  int order;
  if (encode_utf8(a, &a8) && encode_utf8(b, &b8) && a8 != nullptr && b8 != nullptr) {
    order = strncmp(a8, b8, 4 * static_cast<size_t>(len));
  } else {
    // A string that has no UTF-8 form is ordered by its code points.
    order = a == nullptr || b == nullptr ? (a != nullptr) - (b != nullptr) : wcsncmp(a, b, len);
  }
  free(a8);
  free(b8);
  return order;
}

IMA_STATUS Iscsi_Mbsnrtowcs(IMA_WCHAR* dest, const char* src, IMA_UINT32 source_bytes, IMA_UINT32 entries) {
  return convert_in_locale(dest, src, source_bytes, entries, mbsnrtowcs, "Converting name to wide string failed.");
}

IMA_STATUS Iscsi_Wcsnrtombs(char* dest, const IMA_WCHAR* src, IMA_UINT32 source_characters, IMA_UINT32 size) {
  return convert_in_locale(dest, src, source_characters, size, wcsnrtombs,
                           "Converting name from wide string failed.");
}

}  // extern "C"
