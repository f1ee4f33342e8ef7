// Every place of one byte value in a text, found sixteen or eight bytes at
// a time: saved lines are split at their separators on every read.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <bit>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavo::iscsi {

// Calls found(at) for each place of c in text, in order, while it returns true.
template <typename Found>
void each_byte(std::string_view text, char c, Found found) {
  const char* const bytes = text.data();
  size_t at = 0;
#if defined(__SSE2__)
  // Each byte flagged exactly where the target has sixteen at a time.
  const __m128i wanted = _mm_set1_epi8(c);
  for (; at + 16 <= text.size(); at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    for (auto flags = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted))); flags != 0;
         flags &= flags - 1)
      if (!found(at + static_cast<size_t>(std::countr_zero(flags)))) return;
  }
#endif
  // Eight bytes at a time: a byte flagged that is not c (one above a c may
  // be) is passed over.
  constexpr uint64_t kEveryByte = 0x0101010101010101u;
  for (; std::endian::native == std::endian::little && at + 8 <= text.size(); at += 8) {
    uint64_t word;
    memcpy(&word, bytes + at, 8);
    const uint64_t x = word ^ (static_cast<uint8_t>(c) * kEveryByte);
    for (uint64_t flags = (x - kEveryByte) & ~x & (0x80 * kEveryByte); flags != 0; flags &= flags - 1) {
      const size_t byte = static_cast<size_t>(std::countr_zero(flags)) / 8;
      if (bytes[at + byte] == c && !found(at + byte)) return;
    }
  }
  for (; at < text.size(); ++at)
    if (bytes[at] == c && !found(at)) return;
}

}  // namespace tavo::iscsi
