#include "iscsi/common/saved_lines.h"

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
  for (size_t i = 0; i < fields.size(); ++i) {
    starts_.push_back(static_cast<uint32_t>(bytes_.size()));
    if (i == decimal_port)
      append_comparable(&bytes_, Compare::Port, fields[i]);
    else
      bytes_.append(fields[i]);
    bytes_.push_back('\0');
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
