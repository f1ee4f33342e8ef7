// The bytes a saved file's view keeps: blocks its lines and their fields
// point into, and the stretches of consecutive lines a whole write gives as
// they lie.
#include <string.h>

#include <algorithm>

#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {

template <typename T>
T* SavedView::Slab<T>::take(size_t n, size_t least) {
  Block* last = blocks_.empty() ? nullptr : &blocks_.back();
  if (last == nullptr || last->capacity - last->used < n) {
    Block block;
    block.capacity = std::max(n, least);
    block.items.reset(new T[block.capacity]);  // chars left unset: only what is copied in is read
    last = &blocks_.emplace_back(std::move(block));
  }
  T* at = last->items.get() + last->used;
  last->used += n;
  held_ += n;
  return at;
}

template <typename T>
void SavedView::Slab<T>::give_back(size_t n) {
  blocks_.back().used -= n;
  held_ -= n;
}

template <typename T>
void SavedView::Slab<T>::clear() {
  blocks_.clear();
  held_ = 0;
}

template class SavedView::Slab<char>;
template class SavedView::Slab<uint16_t>;
template class SavedView::Slab<SavedView::Line>;

void SavedView::clear() {
  // The lookups asked for stay indexed: the lines read next fill them.
  for (auto& [mask, index] : indexes_) index.clear();
  lines_.clear();
  line_room_.clear();
  free_lines_.clear();
  stretches_.clear();
  taken_.clear();
  byte_room_.clear();
  comma_room_.clear();
  line_bytes_ = held_bytes_ = 0;
  consumed_ = 0;
  last_complete_.clear();
  partial_last_ = cut_tail_ = false;
}

SavedView::Line* SavedView::new_line() {
  constexpr size_t kLinesPerBlock = 512;
  if (free_lines_.empty()) return line_room_.take(1, kLinesPerBlock);
  Line* line = free_lines_.back();
  free_lines_.pop_back();
  *line = Line{};
  return line;
}

void SavedView::free_line(Line* line) { free_lines_.push_back(line); }

SavedView::Fields SavedView::Line::fields() const {
  Fields out;
  if (field_count == 0) return out;
  out.n_ = field_count;
  if (commas == nullptr) {
    split_fields(text, out.at_);
    return out;
  }
  size_t from = 0;
  for (size_t i = 0; i + 1 < field_count; ++i) {
    out.at_[i] = std::string_view(text.data() + from, commas[i] - from);
    from = commas[i] + 1u;
  }
  out.at_[field_count - 1] = std::string_view(text.data() + from, text.size() - from);
  return out;
}

void SavedView::read_fields(Line* line, Fields* out) {
  constexpr size_t kCommasPerBlock = 2048;
  // Split into room for one field more than a line holds: a line with more
  // is told from one that fits.
  const size_t want = record_def(saved_).fields.size();
  out->n_ = split_fields(line->text, out->at_) == want ? want : 0;
  if (out->n_ != 0 && !well_formed(saved_, *out)) out->n_ = 0;
  line->field_count = static_cast<uint8_t>(out->size());
  line->commas = nullptr;
  if (out->empty() || line->text.size() > UINT16_MAX) return;
  uint16_t* commas = comma_room_.take(out->size() - 1, kCommasPerBlock);
  for (size_t i = 0; i + 1 < out->size(); ++i)
    commas[i] = static_cast<uint16_t>((*out)[i].data() + (*out)[i].size() - line->text.data());
  line->commas = commas;
}

std::string_view SavedView::keep(std::string&& text) {
  held_bytes_ += text.size();
  return *taken_.emplace_back(std::make_unique<std::string>(std::move(text)));
}

char* SavedView::room(size_t bytes) {
  constexpr size_t kRoomBytes = 16384;
  held_bytes_ += bytes;
  return byte_room_.take(bytes, kRoomBytes);
}

std::string_view SavedView::keep(std::string_view text) {
  if (text.empty()) return {};
  char* at = room(text.size());
  memcpy(at, text.data(), text.size());
  return {at, text.size()};
}

std::string_view SavedView::keep_line(std::string_view body) {
  char* at = room(body.size() + 1);
  memcpy(at, body.data(), body.size());
  at[body.size()] = '\n';
  return {at, body.size()};
}

void SavedView::add_stretch(const Line& line) {
  const std::string_view bytes(line.text.data(), line.text.size() + 1);
  line_bytes_ += bytes.size();
  // Joined to the stretch of the line before when the bytes follow its own
  // (lines read, added or changed one after another).
  const auto next = stretches_.lower_bound(line.order);
  if (next != stretches_.begin()) {
    std::string_view& before = std::prev(next)->second;
    if (before.data() + before.size() == bytes.data()) {
      before = std::string_view(before.data(), before.size() + bytes.size());
      return;
    }
  }
  stretches_.emplace_hint(next, line.order, bytes);
}

void SavedView::cut_stretch(uint32_t at) {
  const Line& line = *lines_[at];
  const auto stretch = std::prev(stretches_.upper_bound(line.order));
  const std::string_view whole = stretch->second;
  const size_t from = static_cast<size_t>(line.text.data() - whole.data()), to = from + line.text.size() + 1;
  line_bytes_ -= to - from;
  // The lines after it in the stretch, from the next line on.
  if (to < whole.size()) stretches_.emplace(lines_[at + 1]->order, whole.substr(to));
  if (from == 0)
    stretches_.erase(stretch);
  else
    stretch->second = whole.substr(0, from);
}

void SavedView::compact_if_scattered() {
  // A whole write makes a call per stretch; bytes of lines gone likewise.
  constexpr size_t kMostStretches = 32, kSpareBytes = 65536;
  if (stretches_.size() <= kMostStretches && held_bytes_ <= 2 * line_bytes_ + kSpareBytes) return;
  Slab<char> copy;
  char* out = copy.take(line_bytes_, std::max<size_t>(line_bytes_, 1));
  auto line = lines_.begin();
  for (const auto& [order, stretch] : stretches_) {
    memcpy(out, stretch.data(), stretch.size());
    // Each line of the stretch now at the same offset in the copy.
    for (size_t done = 0; done < stretch.size(); ++line) {
      Line& l = **line;
      l.text = {out + (l.text.data() - stretch.data()), l.text.size()};
      done += l.text.size() + 1;
    }
    out += stretch.size();
  }
  const std::string_view all(out - line_bytes_, line_bytes_);
  // The commas of lines gone or changed go with their bytes.
  size_t commas = 0;
  for (const Line* l : lines_) commas += l->commas != nullptr ? l->field_count - 1u : 0u;
  Slab<uint16_t> comma_copy;
  for (Line* l : lines_) {
    if (l->commas == nullptr) continue;
    uint16_t* to = comma_copy.take(l->field_count - 1u, std::max<size_t>(commas, 1));
    std::copy_n(l->commas, l->field_count - 1u, to);
    l->commas = to;
  }
  comma_room_ = std::move(comma_copy);
  taken_.clear();
  byte_room_ = std::move(copy);
  held_bytes_ = line_bytes_;
  stretches_.clear();
  if (!lines_.empty()) stretches_.emplace(lines_.front()->order, all);
}

std::vector<std::string_view> SavedView::content() const {
  std::vector<std::string_view> out;
  out.reserve(stretches_.size());
  for (const auto& [order, stretch] : stretches_) out.push_back(stretch);
  return out;
}

}  // namespace tavo::iscsi
