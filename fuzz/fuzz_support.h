// What the fuzz targets share: a check that names what failed, a reader
// that takes an input apart, and guard bytes that show a write past a
// buffer. Header only, no state: an in-memory target needs nothing else.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>

// Aborts (libFuzzer keeps the input) when a property does not hold.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) fuzz_failed(#cond, __FILE__, __LINE__);                            \
  } while (0)

[[noreturn]] inline void fuzz_failed(const char* what, const char* file, int line) {
  fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
  abort();
}

// The input, taken from the front: fixed-width values, then texts. What is
// missing reads as zero or empty, so every input is a valid one.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  uint8_t byte() {
    if (rest_.empty()) return 0;
    const uint8_t b = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  // Little-endian.
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{byte()} << (8 * i);
    return v;
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  // The text up to the next end byte (taken, not returned), or all the rest.
  std::string_view text_until(char end) {
    const size_t at = rest_.find(end);
    const std::string_view text = rest_.substr(0, at);
    rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
    return text;
  }
  std::string_view rest() {
    const std::string_view text = rest_;
    rest_ = {};
    return text;
  }
  bool empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// Guard bytes: fill a buffer (and what lies past the part a call may
// write) before the call, then check that the part past it was left alone.
inline constexpr unsigned char kFuzzGuard = 0xA5;
inline void fuzz_guard(void* p, size_t n) { memset(p, kFuzzGuard, n); }
inline bool fuzz_guard_intact(const void* p, size_t n) {
  // memcmp, not a loop: the targets' own code is instrumented too.
  static const auto* pattern = [] {
    static unsigned char bytes[4096];
    memset(bytes, kFuzzGuard, sizeof bytes);
    return bytes;
  }();
  for (size_t at = 0; at < n; at += 4096)
    if (memcmp(static_cast<const unsigned char*>(p) + at, pattern, n - at < 4096 ? n - at : 4096) != 0) return false;
  return true;
}

// A C string of at most size - 1 bytes terminated inside buffer[size].
inline bool fuzz_terminated(const char* buffer, size_t size) { return memchr(buffer, '\0', size) != nullptr; }

// text as a C function sees it: cut at its first NUL.
inline std::string_view fuzz_c_text(std::string_view text) { return text.substr(0, text.find('\0')); }
