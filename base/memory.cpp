// Counted allocation and bitfields. The count is kept with atomic
// operations: any thread allocates.
#include <malloc.h>
#include <sys/mman.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <bit>
#include <mutex>
#include <vector>

#include "base/memory.h"

uint32_t tavo_counter = 0;

namespace {

// Blocks of a group node's size (a group record is over 1 KiB) are kept
// when given back, for the next request of their size. A request that
// large makes malloc first sort every small block freed since the last
// one, and in the heap of thousands of targets that costs more than the
// node itself. Under AddressSanitizer every block goes back to malloc.
constexpr bool kKeeping = tavo::base::kReuseFreedBlocks;
constexpr size_t kKeptFrom = 1024, kKeptTo = 4096, kStep = 64;
constexpr size_t kClasses = (kKeptTo - kKeptFrom) / kStep + 1;
constexpr size_t kKeptBytes = size_t{4} << 20;

struct KeptBlocks {
  std::mutex mutex;
  std::vector<void*> free[kClasses];
  size_t bytes = 0;
};
// Never destroyed: a block may be given back while the process exits.
KeptBlocks& kept_blocks() {
  static KeptBlocks* const kept = new KeptBlocks;
  return *kept;
}

constexpr size_t class_size(size_t c) { return kKeptFrom + c * kStep; }

}  // namespace

void* tavo_dmalloc(size_t size) {
  void* p = nullptr;
  if (kKeeping && size >= kKeptFrom && size <= kKeptTo) {
    const size_t c = (size - kKeptFrom + kStep - 1) / kStep;
    size = class_size(c);
    KeptBlocks& kept = kept_blocks();
    std::lock_guard<std::mutex> guard(kept.mutex);
    if (!kept.free[c].empty()) {
      p = kept.free[c].back();
      kept.free[c].pop_back();
      kept.bytes -= size;
    }
  }
  if (p == nullptr) p = malloc(size == 0 ? 1 : size);
  if (p != nullptr) __atomic_fetch_add(&tavo_counter, 1, __ATOMIC_RELAXED);
  return p;
}

void tavo_dfree(void* block) {
  if (block == nullptr) return;
  __atomic_fetch_sub(&tavo_counter, 1, __ATOMIC_RELAXED);
  if (kKeeping) {
    // The class whose size the block holds at least.
    const size_t usable = malloc_usable_size(block);
    const size_t c = usable >= kKeptFrom ? (usable - kKeptFrom) / kStep : kClasses;
    if (c < kClasses) {
      KeptBlocks& kept = kept_blocks();
      std::lock_guard<std::mutex> guard(kept.mutex);
      if (kept.bytes + class_size(c) <= kKeptBytes) {
        kept.free[c].push_back(block);
        kept.bytes += class_size(c);
        return;
      }
    }
  }
  free(block);
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

static_assert(std::endian::native == std::endian::little, "bitfields are read a word at a time");

namespace tavo::base {

void release_kept_blocks() {
  KeptBlocks& kept = kept_blocks();
  std::lock_guard<std::mutex> guard(kept.mutex);
  for (std::vector<void*>& blocks : kept.free) {
    for (void* block : blocks) free(block);
    std::vector<void*>().swap(blocks);
  }
  kept.bytes = 0;
}

int32_t first_bit_from(const uint8_t* bits, int32_t n, int32_t start, int want) {
  if (bits == nullptr || n < 1 || start >= n) return -1;
  if (start < 0) start = 0;
  // Bit i is bit i % 8 of byte i / 8, so eight bytes read little-endian are
  // 64 bits in order: skip a word at a time, a start inside a word masking
  // off the bits below it.
  int32_t i = start;
  while (i < n) {
    const int32_t word_start = i - i % 64;
    if (word_start + 64 <= n) {
      uint64_t word;
      memcpy(&word, bits + word_start / 8, sizeof word);
      const uint64_t hits = (want ? word : ~word) & (~uint64_t{0} << (i - word_start));
      if (hits != 0) return word_start + __builtin_ctzll(hits);
      i = word_start + 64;
      continue;
    }
    if (((bits[i / 8] >> (i % 8)) & 1) == want) return i;
    ++i;
  }
  return -1;
}

}  // namespace tavo::base

int32_t get_first_one(const uint8_t* bits, int32_t n) { return tavo::base::first_bit_from(bits, n, 0, 1); }
int32_t get_first_zero(const uint8_t* bits, int32_t n) { return tavo::base::first_bit_from(bits, n, 0, 0); }

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

namespace {
std::atomic<size_t> large_bytes{0};
}  // namespace

size_t tavo::base::large_chunk_bytes() { return large_bytes.load(std::memory_order_relaxed); }

void* tavo::base::large_chunk() {
  // Mapped with room to align, then trimmed to the aligned chunk.
  const size_t mapped = 2 * kLargeChunk;
  void* at = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(at);
  const uintptr_t aligned = (start + kLargeChunk - 1) & ~(uintptr_t{kLargeChunk} - 1);
  if (aligned > start) munmap(at, aligned - start);
  const uintptr_t end = aligned + kLargeChunk;
  if (start + mapped > end) munmap(reinterpret_cast<void*>(end), start + mapped - end);
  void* chunk = reinterpret_cast<void*>(aligned);
  // Only a hint: without huge pages the chunk is ordinary memory.
  madvise(chunk, kLargeChunk, MADV_HUGEPAGE);
  large_bytes.fetch_add(kLargeChunk, std::memory_order_relaxed);
  return chunk;
}

void tavo::base::free_large_chunk(void* chunk) {
  if (chunk == nullptr) return;
  munmap(chunk, kLargeChunk);
  large_bytes.fetch_sub(kLargeChunk, std::memory_order_relaxed);
}
