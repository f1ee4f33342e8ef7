#include "base/compress.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Bytes in which no three-byte sequence repeats: deflate finds no match and
// stores everything, the worst case for the size.
std::vector<uint8_t> matchless_bytes(size_t n) {
  std::mt19937 rng(7);
  std::set<uint32_t> seen;
  std::vector<uint8_t> v = {1, 2};
  while (v.size() < n) {
    uint32_t prefix = (uint32_t{v[v.size() - 2]} << 16) | (uint32_t{v.back()} << 8);
    uint8_t b = static_cast<uint8_t>(rng());
    for (int tries = 0; tries < 256 && seen.count(prefix | b); ++tries) b = static_cast<uint8_t>(b + 1);
    seen.insert(prefix | b);
    v.push_back(b);
  }
  return v;
}

TEST(Compress, RoundTripsWithinTheBound) {
  std::vector<std::vector<uint8_t>> inputs = {
      {}, {0x41}, std::vector<uint8_t>(100000, 0), random_bytes(1000, 1), random_bytes(16384, 2),
      random_bytes(70000, 3), matchless_bytes(16383), matchless_bytes(16384), matchless_bytes(16385),
      matchless_bytes(32768), matchless_bytes(50000),
  };
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "TAVO core dump segment " + std::to_string(i % 17) + "\n";
  inputs.emplace_back(text.begin(), text.end());
  for (const auto& in : inputs) {
    uint32_t bound = GetMaxCompressedLen(static_cast<uint32_t>(in.size()));
    std::vector<uint8_t> packed(bound);
    uint32_t n = CompressData(in.data(), static_cast<uint32_t>(in.size()), packed.data(), bound);
    ASSERT_NE(n, 0xFFFFFFFFu) << in.size();
    ASSERT_LE(n, bound);
    // A zlib stream: CMF 0x78 (deflate, 32K window), header check, Adler-32.
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(((packed[0] << 8) | packed[1]) % 31, 0);
    std::vector<uint8_t> out(in.size() + 1);
    uint32_t m = UncompressData(packed.data(), n, out.data(), static_cast<uint32_t>(out.size()));
    ASSERT_EQ(m, in.size());
    out.resize(m);
    EXPECT_EQ(out, in);
    // One byte short of the compressed size fails.
    EXPECT_EQ(CompressData(in.data(), static_cast<uint32_t>(in.size()), packed.data(), n - 1), 0xFFFFFFFFu);
    // And a destination too small to hold the original fails to uncompress.
    if (!in.empty()) {
      EXPECT_EQ(UncompressData(packed.data(), n, out.data(), static_cast<uint32_t>(in.size()) - 1), 0xFFFFFFFFu);
    }
  }
}

TEST(Compress, BoundCoversZlibsWorstCase) {
  // Never below one stored block per started 16384 bytes.
  for (uint32_t n : {0u, 1u, 16383u, 16384u, 16385u, 1000000u}) {
    uint32_t blocks = (n + 16383) / 16384;
    EXPECT_GE(GetMaxCompressedLen(n), n + 5 * blocks + 6) << n;
  }
  EXPECT_EQ(GetMaxCompressedLen(0), 13u);
  EXPECT_EQ(GetMaxCompressedLen(16384), 16402u);
  EXPECT_EQ(GetMaxCompressedLen(0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(Compress, RefusesWhatIsNoZlibStream) {
  std::vector<uint8_t> in = random_bytes(500, 9);
  std::vector<uint8_t> packed(GetMaxCompressedLen(500));
  uint32_t n = CompressData(in.data(), 500, packed.data(), static_cast<uint32_t>(packed.size()));
  ASSERT_NE(n, 0xFFFFFFFFu);
  std::vector<uint8_t> out(600);
  // A truncated stream, a damaged checksum and a raw deflate stream.
  EXPECT_EQ(UncompressData(packed.data(), n - 1, out.data(), 600), 0xFFFFFFFFu);
  std::vector<uint8_t> damaged(packed.begin(), packed.begin() + n);
  damaged.back() ^= 1;
  EXPECT_EQ(UncompressData(damaged.data(), n, out.data(), 600), 0xFFFFFFFFu);
  EXPECT_EQ(UncompressData(packed.data() + 2, n - 6, out.data(), 600), 0xFFFFFFFFu);
  EXPECT_EQ(CompressData(nullptr, 5, out.data(), 600), 0xFFFFFFFFu);
  EXPECT_EQ(UncompressData(packed.data(), n, nullptr, 600), 0xFFFFFFFFu);
}

}  // namespace
