#include "base/memory.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <string.h>

#include <vector>

namespace tavo {
namespace {

// Searches from every start, in fields of every length around the 64-bit
// words, answer what a bit-by-bit look answers: the first bit at or past
// start with the wanted value, below n.
TEST(BitfieldSearch, AnswersAsABitByBitLookFromEveryStart) {
  const struct {
    const char* name;
    bool (*set)(int i);
  } patterns[] = {
      {"all clear", [](int) { return false; }},
      {"all set", [](int) { return true; }},
      {"set but every 67th", [](int i) { return i % 67 != 66; }},
      {"set below 130", [](int i) { return i < 130; }},
      {"every third set", [](int i) { return i % 3 == 0; }},
  };
  for (const auto& pattern : patterns)
    for (int32_t n : {1, 63, 64, 65, 127, 128, 130, 200}) {
      uint8_t* bits = alloc_bitfield(static_cast<uint32_t>(n));
      ASSERT_NE(bits, nullptr);
      for (int32_t i = 0; i < n; ++i)
        if (pattern.set(i)) set_bit(bits, static_cast<uint32_t>(n), static_cast<uint32_t>(i));
      for (int want : {0, 1})
        for (int32_t start = -1; start <= n; ++start) {
          int32_t expected = -1;
          for (int32_t i = start < 0 ? 0 : start; i < n && expected < 0; ++i)
            if (is_set(bits, static_cast<uint32_t>(n), static_cast<uint32_t>(i)) == want) expected = i;
          ASSERT_EQ(base::first_bit_from(bits, n, start, want), expected)
              << pattern.name << ", n " << n << ", start " << start << ", want " << want;
        }
      free_bitfield(bits);
    }
}

// Blocks given back and asked for again, of sizes around those kept for
// reuse: each holds what it was asked for, none is handed out twice, and
// the count of blocks out comes back to where it was.
TEST(CountedMemory, BlocksGivenBackServeTheNextRequestsWhole) {
  const uint32_t before = tavo_counter;
  for (int round = 0; round < 3; ++round) {
    std::vector<void*> blocks;
    for (size_t size : {size_t{0}, size_t{1000}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{1600}, size_t{1663},
                        size_t{4095}, size_t{4096}, size_t{4097}, size_t{9000}})
      for (int copy = 0; copy < 3; ++copy) {
        void* block = tavo_dmalloc(size);
        ASSERT_NE(block, nullptr);
        EXPECT_GE(malloc_usable_size(block), size) << size;
        memset(block, 0xA5, size);
        for (void* other : blocks) ASSERT_NE(other, block) << size;
        blocks.push_back(block);
      }
    EXPECT_EQ(tavo_counter, before + blocks.size());
    for (void* block : blocks) tavo_dfree(block);
    EXPECT_EQ(tavo_counter, before);
  }
}

}  // namespace
}  // namespace tavo
