// Counted allocation for records the library keeps (leaks show in
// tavo_counter), and the bitfields of tag tables and instance slots.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

TAVO_EXPORT extern uint32_t tavo_counter;

// Never NULL for a size of 0; free with tavo_dfree (NULL is ignored).
TAVO_EXPORT void* tavo_dmalloc(size_t size);
TAVO_EXPORT void tavo_dfree(void* block);

// Bitfields of n bits, cleared; NULL for n of 0. Index checks answer -1.
TAVO_EXPORT uint8_t* alloc_bitfield(uint32_t n);
TAVO_EXPORT void free_bitfield(uint8_t* bits);
TAVO_EXPORT int32_t is_set(const uint8_t* bits, uint32_t n, uint32_t i);
TAVO_EXPORT int32_t get_first_one(const uint8_t* bits, int32_t n);
TAVO_EXPORT int32_t get_first_zero(const uint8_t* bits, int32_t n);
TAVO_EXPORT int32_t set_bit(uint8_t* bits, uint32_t n, uint32_t i);
TAVO_EXPORT int32_t clear_bit(uint8_t* bits, uint32_t n, uint32_t i);

TAVO_END_DECLS

#ifdef __cplusplus
#include <string.h>

#include <memory>

namespace tavo::base {

// Whether freed blocks may be kept for reuse rather than given back to
// malloc at once: not under AddressSanitizer, so that a block used after
// its release is still caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kReuseFreedBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kReuseFreedBlocks = false;
#else
inline constexpr bool kReuseFreedBlocks = true;
#endif
#else
inline constexpr bool kReuseFreedBlocks = true;
#endif

// A block of counted memory, given back with tavo_dfree when its owner goes.
struct CountedFree {
  void operator()(void* block) const { tavo_dfree(block); }
};
template <typename T>
using Counted = std::unique_ptr<T, CountedFree>;

// A cleared block of size bytes (at least sizeof(T)); empty when it could
// not be allocated.
template <typename T>
Counted<T> counted_zeroed(size_t size = sizeof(T)) {
  if (size < sizeof(T)) size = sizeof(T);
  Counted<T> block(static_cast<T*>(tavo_dmalloc(size)));
  if (block) memset(block.get(), 0, size);
  return block;
}

// Memory for a pool that carves many small blocks: kLargeChunk bytes on
// pages of their own, aligned to kLargeChunk, which the kernel may back
// with huge pages (one fault and one TLB entry where there were 512); null
// when it cannot be had. Given back with free_large_chunk.
inline constexpr size_t kLargeChunk = size_t{2} << 20;
void* large_chunk();
void free_large_chunk(void* chunk);
// Bytes of the large chunks held now (malloc's own counts miss them).
size_t large_chunk_bytes();
// The blocks kept for reuse go back to malloc (the library stops).
void release_kept_blocks();

// The first bit at or after start that is set (want 1) or clear (want 0)
// among the n bits, or -1.
int32_t first_bit_from(const uint8_t* bits, int32_t n, int32_t start, int want);

}  // namespace tavo::base
#endif
