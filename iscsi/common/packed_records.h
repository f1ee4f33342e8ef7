// Records of one fixed size held long, packed: a firmware record is mostly
// the zeros after its names, so runs of zero words are kept as counts.
// Each record packs to runs of (zero words, literal words), the counts as
// LEB128.
// The bytes may hold CHAP secrets: none stays behind in freed memory, the
// buffer's growth and end included (records are packed in place, so only
// the bytes in use ever held one).
#pragma once

#include <stdint.h>
#include <string.h>

#include <memory>
#include <type_traits>
#include <vector>

namespace tavo::iscsi {

template <typename Record>
class PackedRecords {
  static_assert(std::is_trivially_copyable_v<Record>);

 public:
  PackedRecords() = default;
  PackedRecords(PackedRecords&& o) noexcept { swap(o); }
  PackedRecords& operator=(PackedRecords&& o) noexcept {
    if (this != &o) {
      clear();
      swap(o);
    }
    return *this;
  }
  PackedRecords(const PackedRecords&) = delete;
  PackedRecords& operator=(const PackedRecords&) = delete;
  ~PackedRecords() { clear(); }

  size_t size() const { return at_.size(); }
  bool empty() const { return at_.empty(); }

  void push_back(const Record& r) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
    // Packed in place, in room for the worst case: a count pair for every
    // other word.
    reserve_wiped(used_ + sizeof(Record) + sizeof(Record) / 2 + 16);
    uint8_t* out = bytes_.get() + used_;
    size_t n = 0;
    size_t i = 0;
    while (i < kWords) {
      // Zeros are most of a record: passed over four words at a time.
      size_t zeros = 0;
      while (i + zeros + 4 <= kWords && four_words_zero(bytes, i + zeros)) zeros += 4;
      while (i + zeros < kWords && word_at(bytes, i + zeros) == 0) ++zeros;
      i += zeros;
      size_t literal = 0;
      while (i + literal < kWords && word_at(bytes, i + literal) != 0) ++literal;
      n = put_count(out, n, zeros);
      n = put_count(out, n, literal);
      memcpy(out + n, bytes + kWord * i, kWord * literal);
      n += kWord * literal;
      i += literal;
    }
    at_.push_back(static_cast<uint32_t>(used_));
    used_ += n;
  }


  // The record at i, as it was pushed.
  Record at(size_t i) const {
    Record r{};
    auto* out = reinterpret_cast<uint8_t*>(&r);
    const uint8_t* in = bytes_.get() + at_[i];
    for (size_t o = 0; o < kWords;) {
      o += get_count(&in);  // zeros, as the record starts
      const size_t literal = get_count(&in);
      memcpy(out + kWord * o, in, kWord * literal);
      in += kWord * literal;
      o += literal;
    }
    return r;
  }

  void reserve(size_t records) { at_.reserve(records); }
  // Gives back the room beyond the bytes held.
  void shrink() {
    if (used_ == room_) return;
    auto exact = std::make_unique_for_overwrite<uint8_t[]>(used_ != 0 ? used_ : 1);
    if (used_ != 0) memcpy(exact.get(), bytes_.get(), used_);
    if (bytes_ != nullptr) explicit_bzero(bytes_.get(), used_);
    bytes_ = std::move(exact);
    room_ = used_ != 0 ? used_ : 1;
    at_.shrink_to_fit();
  }

  void clear() {
    if (bytes_ != nullptr) explicit_bzero(bytes_.get(), used_);
    bytes_.reset();
    room_ = used_ = 0;
    std::vector<uint32_t>().swap(at_);
  }

 private:
  static constexpr size_t kWord = sizeof(uint32_t);
  static constexpr size_t kWords = sizeof(Record) / kWord;
  static_assert(sizeof(Record) % kWord == 0);
  static uint32_t word_at(const uint8_t* bytes, size_t i) {
    uint32_t w;
    memcpy(&w, bytes + kWord * i, sizeof w);
    return w;
  }
  static bool four_words_zero(const uint8_t* bytes, size_t i) {
    uint64_t w[2];
    memcpy(w, bytes + kWord * i, sizeof w);
    return (w[0] | w[1]) == 0;
  }
  static size_t put_count(uint8_t* out, size_t n, size_t count) {
    do {
      const auto low = static_cast<uint8_t>(count & 0x7F);
      count >>= 7;
      out[n++] = static_cast<uint8_t>(low | (count != 0 ? 0x80 : 0));
    } while (count != 0);
    return n;
  }
  static size_t get_count(const uint8_t** in) {
    size_t count = 0;
    for (unsigned shift = 0;; shift += 7) {
      const uint8_t b = *(*in)++;
      count |= static_cast<size_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return count;
    }
  }
  // Grows by half again (never less than needed); the old room is wiped
  // before it goes.
  void reserve_wiped(size_t need) {
    if (need <= room_) return;
    size_t room = room_ + room_ / 2;
    if (room < need) room = need;
    auto grown = std::make_unique_for_overwrite<uint8_t[]>(room);
    if (used_ != 0) memcpy(grown.get(), bytes_.get(), used_);
    if (bytes_ != nullptr) explicit_bzero(bytes_.get(), used_);
    bytes_ = std::move(grown);
    room_ = room;
  }
  void swap(PackedRecords& o) noexcept {
    std::swap(bytes_, o.bytes_);
    std::swap(room_, o.room_);
    std::swap(used_, o.used_);
    std::swap(at_, o.at_);
  }

  std::unique_ptr<uint8_t[]> bytes_;
  size_t room_ = 0;
  size_t used_ = 0;
  std::vector<uint32_t> at_;  // where each record's bytes start
};

}  // namespace tavo::iscsi
