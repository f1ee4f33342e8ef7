// Saved lines copied out of a view, for work that changes the tree with
// them (which reads the views again): every field of every line in one
// buffer, so a copy costs no allocation per line or per field.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::iscsi {

class SavedLines {
 public:
  // One line's fields, valid while no line is added to its SavedLines.
  // Each field is followed by a NUL: its data() reads as a C string.
  class Line {
   public:
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view operator[](size_t i) const {
      const uint32_t from = owner_->starts_[first_ + i];
      return {owner_->bytes_.data() + from, owner_->starts_[first_ + i + 1] - from - 1};
    }
    const char* c_str(size_t i) const { return owner_->bytes_.data() + owner_->starts_[first_ + i]; }
    // The fields into out (at most out.size()); the count given.
    size_t views(std::span<std::string_view> out) const;

   private:
    friend class SavedLines;
    Line(const SavedLines* owner, size_t first, size_t count) : owner_(owner), first_(first), count_(count) {}
    const SavedLines* owner_;
    size_t first_, count_;
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

  // A line of these fields; the field at decimal_port (when one) is copied
  // as its port in decimal (a text that is no port number as it is).
  void add(std::span<const std::string_view> fields, size_t decimal_port = kNone);
  void drop_last();
  void clear();
  size_t size() const { return firsts_.size(); }
  bool empty() const { return firsts_.empty(); }
  Line operator[](size_t at) const {
    const size_t first = firsts_[at];
    const size_t next = at + 1 < firsts_.size() ? firsts_[at + 1] : starts_.size();
    return Line(this, first, next - first - 1);
  }
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

  static constexpr size_t kNone = static_cast<size_t>(-1);

 private:
  // The fields one by one, the one at replaced (when one) as text.
  void add_fields(std::span<const std::string_view> fields, size_t replaced, std::string_view text);

  std::string bytes_;
  // Per line its fields' starts in bytes_ and one past its last NUL; the
  // first of each line's in firsts_.
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> firsts_;
};

}  // namespace tavo::iscsi
