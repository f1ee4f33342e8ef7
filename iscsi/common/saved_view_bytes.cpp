// The bytes a saved file's view keeps: chunks its lines point into, and
// the stretches of consecutive lines a whole write gives as they lie.
#include <string.h>

#include <algorithm>

#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {

void SavedView::clear() {
  // The lookups asked for stay indexed: the lines read next fill them.
  for (auto& [mask, index] : indexes_) index.clear();
  lines_.clear();
  stretches_.clear();
  chunks_.clear();
  line_bytes_ = held_bytes_ = 0;
  consumed_ = 0;
  last_complete_.clear();
  partial_last_ = false;
}

std::string_view SavedView::keep(std::string&& text) {
  auto chunk = std::make_unique<Chunk>();
  chunk->taken = std::move(text);
  held_bytes_ += chunk->taken.size();
  return chunks_.emplace_back(std::move(chunk))->taken;
}

char* SavedView::room(size_t bytes) {
  constexpr size_t kRoomBytes = 16384;
  Chunk* last = chunks_.empty() ? nullptr : chunks_.back().get();
  if (last == nullptr || last->room == nullptr || last->capacity - last->used < bytes) {
    auto chunk = std::make_unique<Chunk>();
    chunk->capacity = std::max(bytes, kRoomBytes);
    chunk->room.reset(new char[chunk->capacity]);  // left unset: only what is copied in is read
    last = chunks_.emplace_back(std::move(chunk)).get();
  }
  char* at = last->room.get() + last->used;
  last->used += bytes;
  held_bytes_ += bytes;
  return at;
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
  // A whole write makes a call per stretch; bytes of lines gone are held
  // until a copy of the rest lets them go.
  constexpr size_t kMostStretches = 32, kSpareBytes = 65536;
  if (stretches_.size() <= kMostStretches && held_bytes_ <= 2 * line_bytes_ + kSpareBytes) return;
  auto chunk = std::make_unique<Chunk>();
  chunk->capacity = chunk->used = line_bytes_;
  chunk->room.reset(new char[std::max<size_t>(line_bytes_, 1)]);
  char* out = chunk->room.get();
  auto line = lines_.begin();
  for (const auto& [order, stretch] : stretches_) {
    memcpy(out, stretch.data(), stretch.size());
    // Each line of the stretch, and its fields, now at the same offset in the copy.
    for (size_t done = 0; done < stretch.size(); ++line) {
      Line& l = **line;
      const char* text = out + (l.text.data() - stretch.data());
      for (std::string_view& field : l.fields) field = {text + (field.data() - l.text.data()), field.size()};
      l.text = {text, l.text.size()};
      done += l.text.size() + 1;
    }
    out += stretch.size();
  }
  chunks_.clear();
  chunks_.push_back(std::move(chunk));
  held_bytes_ = line_bytes_;
  stretches_.clear();
  if (!lines_.empty())
    stretches_.emplace(lines_.front()->order, std::string_view(chunks_.front()->room.get(), line_bytes_));
}

std::vector<std::string_view> SavedView::content() const {
  std::vector<std::string_view> out;
  out.reserve(stretches_.size());
  for (const auto& [order, stretch] : stretches_) out.push_back(stretch);
  return out;
}

}  // namespace tavo::iscsi
