// Saved lines copied out of a view, for work that changes the tree with
// them (which reads the views again): every field of every line in one
// buffer, each followed by a NUL, so a copy costs no allocation per line
// or per field and holds about the room of its text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "iscsi/common/saved_records.h"

namespace tavo::iscsi {

class SavedLines {
 public:
  // One line's fields, split when the line is taken; valid while no line
  // is added to its SavedLines. Each field is followed by a NUL: its
  // data() reads as a C string.
  class Line {
   public:
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view operator[](size_t i) const { return {bytes_ + starts_[i], starts_[i + 1] - starts_[i] - 1}; }
    const char* c_str(size_t i) const { return bytes_ + starts_[i]; }
    // The fields into out (at most out.size()); the count given.
    size_t views(std::span<std::string_view> out) const;

   private:
    friend class SavedLines;
    Line(const char* bytes, size_t length);
    // Of fields copied as they lay after from, each separator made a NUL.
    Line(char* bytes, std::span<const std::string_view> fields, const char* from);
    const char* bytes_;
    size_t count_ = 0;
    // Where each field starts in the line, and one past the last NUL.
    uint32_t starts_[kMaxFields + 1];
  };
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Line;
    using difference_type = ptrdiff_t;
    using pointer = void;
    using reference = Line;
    Iterator(const SavedLines* owner, size_t at) : owner_(owner), at_(at) {}
    Line operator*() const { return (*owner_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator was = *this;
      ++at_;
      return was;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    const SavedLines* owner_;
    size_t at_;
  };

  // A line of these fields (at most kMaxFields, as a saved line holds);
  // the field at decimal_port (when one) is copied as its port in decimal
  // (a text that is no port number as it is). The line as added is given.
  Line add(std::span<const std::string_view> fields, size_t decimal_port = kNone);
  void drop_last();
  void clear();
  // Gives back the room beyond the lines held, for lines kept long.
  void shrink();
  size_t size() const { return firsts_.size(); }
  bool empty() const { return firsts_.empty(); }
  Line operator[](size_t at) const {
    const size_t first = firsts_[at];
    const size_t next = at + 1 < firsts_.size() ? firsts_[at + 1] : bytes_.size();
    return Line(bytes_.data() + first, next - first);
  }
  // Field i of line at (empty past its last), found without splitting the
  // rest of the line.
  std::string_view field(size_t at, size_t i) const;
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

  static constexpr size_t kNone = static_cast<size_t>(-1);

 private:
  // The fields one by one, the one at replaced (when one) as text.
  void add_fields(std::span<const std::string_view> fields, size_t replaced, std::string_view text);

  std::string bytes_;
  // Where each line's first field starts in bytes_.
  std::vector<uint32_t> firsts_;
};

}  // namespace tavo::iscsi
