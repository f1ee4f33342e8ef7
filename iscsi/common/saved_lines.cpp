#include "iscsi/common/saved_lines.h"

#include <string.h>

#include <algorithm>

#include "iscsi/common/saved_records.h"

namespace tavo::iscsi {

size_t SavedLines::Line::views(std::span<std::string_view> out) const {
  const size_t n = std::min(count_, out.size());
  for (size_t i = 0; i < n; ++i) out[i] = (*this)[i];
  return n;
}

void SavedLines::add(std::span<const std::string_view> fields, size_t decimal_port) {
  firsts_.push_back(static_cast<uint32_t>(starts_.size()));
  std::string_view port;
  ComparablePieces decimal(Compare::Port, decimal_port < fields.size() ? fields[decimal_port] : port);
  if (decimal_port < fields.size() && decimal.next(&port) && port != fields[decimal_port]) {
    add_fields(fields, decimal_port, port);
    return;
  }
  // The fields of a line of text lie one after another, one separator
  // between two: copied at once, each separator made a NUL.
  for (size_t i = 1; i < fields.size(); ++i)
    if (fields[i].data() != fields[i - 1].data() + fields[i - 1].size() + 1) {
      add_fields(fields, kNone, {});
      return;
    }
  const size_t at = bytes_.size();
  const char* from = fields.empty() ? nullptr : fields.front().data();
  const size_t length = fields.empty() ? 0 : static_cast<size_t>(fields.back().data() - from) + fields.back().size();
  bytes_.resize(at + length + (fields.empty() ? 0 : 1));
  if (length != 0) memcpy(bytes_.data() + at, from, length);
  const size_t first = starts_.size();
  starts_.resize(first + fields.size() + 1);
  uint32_t* start = starts_.data() + first;
  char* bytes = bytes_.data() + at;
  for (const std::string_view field : fields) {
    const auto offset = static_cast<size_t>(field.data() - from);
    *start++ = static_cast<uint32_t>(at + offset);
    bytes[offset + field.size()] = '\0';
  }
  *start = static_cast<uint32_t>(bytes_.size());
}

void SavedLines::add_fields(std::span<const std::string_view> fields, size_t replaced, std::string_view text) {
  for (size_t i = 0; i < fields.size(); ++i) {
    starts_.push_back(static_cast<uint32_t>(bytes_.size()));
    bytes_.append(i == replaced ? text : fields[i]).push_back('\0');
  }
  starts_.push_back(static_cast<uint32_t>(bytes_.size()));
}

void SavedLines::drop_last() {
  if (firsts_.empty()) return;
  bytes_.resize(starts_[firsts_.back()]);
  starts_.resize(firsts_.back());
  firsts_.pop_back();
}

void SavedLines::clear() {
  bytes_.clear();
  starts_.clear();
  firsts_.clear();
}

}  // namespace tavo::iscsi
