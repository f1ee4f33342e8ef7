// Counted allocation and bitfields. The count is kept with atomic
// operations: any thread allocates.
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"

uint32_t tavo_counter = 0;

void* tavo_dmalloc(size_t size) {
  void* p = malloc(size == 0 ? 1 : size);
  if (p != nullptr) __atomic_fetch_add(&tavo_counter, 1, __ATOMIC_RELAXED);
  return p;
}

void tavo_dfree(void* block) {
  if (block == nullptr) return;
  free(block);
  __atomic_fetch_sub(&tavo_counter, 1, __ATOMIC_RELAXED);
}

uint8_t* alloc_bitfield(uint32_t n) {
  if (n == 0) return nullptr;
  size_t bytes = (static_cast<size_t>(n) + 7) / 8;
  auto* bits = static_cast<uint8_t*>(tavo_dmalloc(bytes));
  if (bits != nullptr) memset(bits, 0, bytes);
  return bits;
}

void free_bitfield(uint8_t* bits) { tavo_dfree(bits); }

int32_t is_set(const uint8_t* bits, uint32_t n, uint32_t i) {
  if (bits == nullptr || i >= n) return -1;
  return (bits[i / 8] >> (i % 8)) & 1;
}

static int32_t bitfield_first(const uint8_t* bits, int32_t n, int want) {
  if (bits == nullptr || n < 1) return -1;
  for (int32_t i = 0; i < n; ++i) {
    // Skip whole bytes that cannot hold the bit looked for.
    if (i % 8 == 0 && i + 8 <= n && bits[i / 8] == (want ? 0x00 : 0xFF)) {
      i += 7;
      continue;
    }
    if (((bits[i / 8] >> (i % 8)) & 1) == want) return i;
  }
  return -1;
}

int32_t get_first_one(const uint8_t* bits, int32_t n) { return bitfield_first(bits, n, 1); }
int32_t get_first_zero(const uint8_t* bits, int32_t n) { return bitfield_first(bits, n, 0); }

int32_t set_bit(uint8_t* bits, uint32_t n, uint32_t i) {
  if (bits == nullptr || i >= n) return -1;
  bits[i / 8] = static_cast<uint8_t>(bits[i / 8] | (1u << (i % 8)));
  return 0;
}

int32_t clear_bit(uint8_t* bits, uint32_t n, uint32_t i) {
  if (bits == nullptr || i >= n) return -1;
  bits[i / 8] = static_cast<uint8_t>(bits[i / 8] & ~(1u << (i % 8)));
  return 0;
}
