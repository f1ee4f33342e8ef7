// The indexes of a saved file's view: per set of fields looked up, the
// lines by a hash of their texts in those fields, kept as lines come and go.
#include <algorithm>
#include <atomic>
#include <bit>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {
namespace {

std::atomic<bool> colliding_keys{false};

// The hashes of the texts of the fields in mask (ascending places), each
// at its place in out.
template <typename TextAt>
void hash_fields(Saved s, uint32_t mask, TextAt text_at, uint64_t* out) {
  const auto& fields = record_def(s).fields;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    const int at = std::countr_zero(rest);
    out[at] = comparable_hash(fields[static_cast<size_t>(at)].compare, text_at(at));
  }
}

// An index key's hash, from its fields' hashes in ascending places.
uint64_t key_hash(uint32_t mask, const uint64_t* field_hash) {
  if (colliding_keys.load(std::memory_order_relaxed)) return 0;
  uint64_t h = 0x243f6a8885a308d3u;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    h = (h ^ field_hash[std::countr_zero(rest)]) * 0x9e3779b97f4a7c15u;
    h ^= h >> 29;
  }
  return h;
}

// Whether a line's fields and the texts compare alike in every field of
// mask: a key's hash alone never answers.
template <typename TextAt>
bool same_key(Saved s, uint32_t mask, std::span<const std::string_view> fields, TextAt text_at) {
  const auto& defs = record_def(s).fields;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    const auto at = static_cast<size_t>(std::countr_zero(rest));
    if (!same_comparable(defs[at].compare, fields[at], text_at(static_cast<int>(at)))) return false;
  }
  return true;
}

auto field_at(std::span<const std::string_view> fields) {
  return [fields](int at) { return fields[static_cast<size_t>(at)]; };
}

bool before_order(const SavedView::Line* line, uint64_t order) { return line->order < order; }

// Where a line is, or goes, among hits kept in order.
std::vector<const SavedView::Line*>::iterator hit_at(std::vector<const SavedView::Line*>& hits,
                                                     const SavedView::Line* line) {
  return std::lower_bound(hits.begin(), hits.end(), line->order, before_order);
}

// The entry of an index whose lines compare alike with the texts in mask,
// or end.
template <typename Index, typename TextAt>
auto entry_of(Saved s, Index& index, uint32_t mask, uint64_t hash, TextAt text_at) {
  auto [entry, end] = index.equal_range(hash);
  while (entry != end && !same_key(s, mask, entry->second.front()->fields, text_at)) ++entry;
  return entry == end ? index.end() : entry;
}

// The line put in its place among the lines of its key, or in an entry of
// its own.
template <typename Index>
void add_hit(Saved s, Index& index, uint32_t mask, uint64_t hash, const SavedView::Line* line) {
  const auto entry = entry_of(s, index, mask, hash, field_at(line->fields));
  if (entry == index.end()) {
    index.emplace(hash, std::vector<const SavedView::Line*>{line});
    return;
  }
  std::vector<const SavedView::Line*>& hits = entry->second;
  if (hits.back()->order < line->order)
    hits.push_back(line);
  else
    hits.insert(hit_at(hits, line), line);
}

// The line taken out of the entry that holds it (its key's hash given);
// an entry left empty goes.
template <typename Index>
void drop_hit(Index& index, uint64_t hash, const SavedView::Line* line) {
  for (auto [entry, end] = index.equal_range(hash); entry != end; ++entry) {
    std::vector<const SavedView::Line*>& hits = entry->second;
    const auto at = hit_at(hits, line);
    if (at == hits.end() || *at != line) continue;
    hits.erase(at);
    if (hits.empty()) index.erase(entry);
    return;
  }
}

}  // namespace

void SavedView::index_line(const Line* line) const {
  if (line->fields.empty()) return;
  // Each field hashed once, for every index that matches it.
  uint64_t field_hash[32];
  hash_fields(saved_, indexed_fields_, field_at(line->fields), field_hash);
  for (auto& [mask, index] : indexes_) add_hit(saved_, index, mask, key_hash(mask, field_hash), line);
}

void SavedView::unindex_line(const Line* line) const {
  if (line->fields.empty()) return;
  uint64_t field_hash[32];
  hash_fields(saved_, indexed_fields_, field_at(line->fields), field_hash);
  for (auto& [mask, index] : indexes_) drop_hit(index, key_hash(mask, field_hash), line);
}

void SavedView::rekey(const Line* line, std::span<const std::string_view> before) const {
  uint64_t before_hash[32], now_hash[32];
  if (!before.empty()) hash_fields(saved_, indexed_fields_, field_at(before), before_hash);
  if (!line->fields.empty()) hash_fields(saved_, indexed_fields_, field_at(line->fields), now_hash);
  for (auto& [mask, index] : indexes_) {
    const uint64_t was = before.empty() ? 0 : key_hash(mask, before_hash);
    const uint64_t now = line->fields.empty() ? 0 : key_hash(mask, now_hash);
    if (!before.empty() && !line->fields.empty() && was == now &&
        same_key(saved_, mask, before, field_at(line->fields)))
      continue;
    if (!before.empty()) drop_hit(index, was, line);
    if (!line->fields.empty()) add_hit(saved_, index, mask, now, line);
  }
}

const SavedView::Index& SavedView::index_of(uint32_t mask) const {
  auto index = indexes_.find(mask);
  if (index == indexes_.end()) {
    index = indexes_.emplace(mask, Index()).first;
    indexed_fields_ |= mask;
    uint64_t field_hash[32];
    for (const auto& line : lines_) {
      if (line->fields.empty()) continue;
      hash_fields(saved_, mask, field_at(line->fields), field_hash);
      add_hit(saved_, index->second, mask, key_hash(mask, field_hash), line.get());
    }
  }
  return index->second;
}

const std::vector<const SavedView::Line*>& SavedView::find_all(std::span<const Match> match) const {
  static const std::vector<const Line*> none;
  uint32_t mask = 0;
  std::string_view by_place[32];
  for (const Match& m : match) {
    const int at = position(saved_, m.field);
    if (at < 0) return none;
    mask |= 1u << at;
    by_place[at] = m.value;
  }
  const Index& index = index_of(mask);
  const auto& defs = record_def(saved_).fields;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    const int at = std::countr_zero(rest);
    if ((asked_ & (1u << at)) != 0 && asked_text_[at] == by_place[at]) continue;
    asked_text_[at].assign(by_place[at]);
    asked_hash_[at] = comparable_hash(defs[static_cast<size_t>(at)].compare, by_place[at]);
    asked_ |= 1u << at;
  }
  const auto text_at = [&](int at) { return by_place[at]; };
  const auto entry = entry_of(saved_, index, mask, key_hash(mask, asked_hash_), text_at);
  return entry == index.end() ? none : entry->second;
}

const SavedView::Line* SavedView::find(std::span<const Match> match, bool last) const {
  const std::vector<const Line*>& hits = find_all(match);
  if (hits.empty()) return nullptr;
  return last ? hits.back() : hits.front();
}
void SavedView::colliding_keys_for_tests(bool on) { colliding_keys.store(on, std::memory_order_relaxed); }

}  // namespace tavo::iscsi
