#include "iscsi/common/saved_lines.h"

#include <string.h>

#include <algorithm>

#include "iscsi/common/byte_scan.h"
#include "iscsi/common/saved_records.h"

namespace tavo::iscsi {

SavedLines::Line::Line(const char* bytes, size_t length) : bytes_(bytes) {
  starts_[0] = 0;
  each_byte({bytes, length}, '\0', [&](size_t at) {
    starts_[++count_] = static_cast<uint32_t>(at + 1);
    return count_ < kMaxFields;
  });
}

SavedLines::Line::Line(char* bytes, std::span<const std::string_view> fields, const char* from)
    : bytes_(bytes), count_(fields.size()) {
  for (size_t i = 0; i < count_; ++i) {
    starts_[i] = static_cast<uint32_t>(fields[i].data() - from);
    bytes[starts_[i] + fields[i].size()] = '\0';
  }
  starts_[count_] = static_cast<uint32_t>(fields.back().data() - from + fields.back().size() + 1);
}

std::string_view SavedLines::field(size_t at, size_t i) const {
  const size_t end = at + 1 < firsts_.size() ? firsts_[at + 1] : bytes_.size();
  const std::string_view line(bytes_.data() + firsts_[at], end - firsts_[at]);
  std::string_view out;
  size_t from = 0;
  each_byte(line, '\0', [&](size_t nul) {
    if (i-- != 0) {
      from = nul + 1;
      return true;
    }
    out = std::string_view(line.data() + from, nul - from);
    return false;
  });
  return out;
}

size_t SavedLines::Line::views(std::span<std::string_view> out) const {
  const size_t n = std::min(count_, out.size());
  for (size_t i = 0; i < n; ++i) out[i] = (*this)[i];
  return n;
}

SavedLines::Line SavedLines::add(std::span<const std::string_view> fields, size_t decimal_port) {
  fields = fields.first(std::min(fields.size(), kMaxFields));
  firsts_.push_back(static_cast<uint32_t>(bytes_.size()));
  std::string_view port;
  ComparablePieces decimal(Compare::Port, decimal_port < fields.size() ? fields[decimal_port] : port);
  if (decimal_port < fields.size() && decimal.next(&port) && port != fields[decimal_port]) {
    add_fields(fields, decimal_port, port);
    return (*this)[size() - 1];
  }
  if (fields.empty()) return (*this)[size() - 1];
  // The fields of a line of text lie one after another, one separator
  // between two: copied at once, each separator made a NUL.
  bool one_text = true;
  for (size_t i = 1; one_text && i < fields.size(); ++i)
    one_text = fields[i].data() == fields[i - 1].data() + fields[i - 1].size() + 1;
  const char* from = fields.front().data();
  const size_t length = one_text ? static_cast<size_t>(fields.back().data() - from) + fields.back().size() : 0;
  if (!one_text || (length != 0 && memchr(from, '\0', length) != nullptr)) {
    add_fields(fields, kNone, {});
    return (*this)[size() - 1];
  }
  const size_t at = bytes_.size();
  bytes_.append(from, length).push_back('\0');
  return Line(bytes_.data() + at, fields, from);
}

void SavedLines::add_fields(std::span<const std::string_view> fields, size_t replaced, std::string_view text) {
  // A NUL ends a field (a file's stray one ends it where its C string does).
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string_view field = i == replaced ? text : fields[i];
    bytes_.append(field.substr(0, field.find('\0'))).push_back('\0');
  }
}

void SavedLines::drop_last() {
  if (firsts_.empty()) return;
  bytes_.resize(firsts_.back());
  firsts_.pop_back();
}

void SavedLines::clear() {
  bytes_.clear();
  firsts_.clear();
}

void SavedLines::shrink() {
  bytes_.shrink_to_fit();
  firsts_.shrink_to_fit();
}

}  // namespace tavo::iscsi
