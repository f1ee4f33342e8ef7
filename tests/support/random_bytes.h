// Reproducible noise for tests that answer with random firmware bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <vector>

namespace tavo::test {

class RandomBytes {
 public:
  explicit RandomBytes(uint32_t seed) : random_(seed) {}
  // A number from 0 to n - 1.
  uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }
  std::vector<uint8_t> noise(size_t size) {
    std::vector<uint8_t> b(size);
    for (uint8_t& x : b) x = static_cast<uint8_t>(below(256));
    return b;
  }

 private:
  std::mt19937 random_;
};

}  // namespace tavo::test
