// The indexes of a saved file's view: per set of fields looked up, the
// lines by a hash of their texts in those fields, kept as lines come and go.
#include <algorithm>
#include <atomic>
#include <bit>

#include "base/probe_table.h"
#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {
namespace {

std::atomic<bool> colliding_keys{false};

// The hashes of the texts of the fields in mask (ascending places), each
// at its place in out; a text the same as in known (the fields whose
// hashes out holds) keeps its hash.
// The fields whose texts differ from known (all without known) are given.
template <typename TextAt>
uint32_t hash_fields(Saved s, uint32_t mask, TextAt text_at, uint64_t* out,
                     std::span<const std::string_view> known = {}) {
  const auto& fields = record_def(s).fields;
  uint32_t changed = 0;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    const int at = std::countr_zero(rest);
    const std::string_view text = text_at(at);
    if (known.empty() || known[static_cast<size_t>(at)] != text) {
      out[at] = comparable_hash(fields[static_cast<size_t>(at)].compare, text);
      changed |= 1u << at;
    }
  }
  return changed;
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
template <typename FieldAt, typename TextAt>
bool same_key(Saved s, uint32_t mask, FieldAt field_at, TextAt text_at) {
  const auto& defs = record_def(s).fields;
  for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
    const auto at = std::countr_zero(rest);
    // Texts alike byte for byte (as most are) compare alike without a call.
    const std::string_view field = field_at(at), text = text_at(at);
    if (field != text && !same_comparable(defs[static_cast<size_t>(at)].compare, field, text)) return false;
  }
  return true;
}

auto field_at(std::span<const std::string_view> fields) {
  return [fields](int at) { return fields[static_cast<size_t>(at)]; };
}

// Whether the lines of a key compare alike with the texts in mask.
template <typename TextAt>
auto same_as(Saved s, uint32_t mask, TextAt text_at) {
  return [=](const SavedView::Line* first) {
    return same_key(s, mask, [first](int at) { return first->field(static_cast<size_t>(at)); }, text_at);
  };
}

}  // namespace

template <typename Same>
size_t SavedView::Index::slot_of(uint64_t hash, Same same) const {
  // Never full (grow keeps a quarter of the slots free): a probe ends at a
  // free one.
  const size_t mask = slots_.size() - 1;
  for (size_t at = static_cast<size_t>(hash) & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.count == 0 || (slot.hash == static_cast<uint32_t>(hash) && same(hits(slot).front()))) return at;
  }
}

std::span<const SavedView::Line* const> SavedView::Index::hits(const Slot& slot) const {
  if (slot.room == 0) return {&slot.one, slot.count};
  return {runs_.data() + slot.at, slot.count};
}

template <typename Same>
std::span<const SavedView::Line* const> SavedView::Index::find(uint64_t hash, Same same) const {
  if (keys_ == 0) return {};
  return hits(slots_[slot_of(hash, same)]);
}

template <typename Same>
void SavedView::Index::add(uint64_t hash, const Line* line, Same same) {
  if (4 * (keys_ + 1) > 3 * slots_.size()) grow();
  last_ = slot_of(hash, same);
  Slot& slot = slots_[last_];
  if (slot.count == 0) {
    slot = Slot{line, static_cast<uint32_t>(hash), 1, 0, 0};
    ++keys_;
    return;
  }
  insert_hit(slot, line);
}

template <typename Same>
void SavedView::Index::add_after_last(uint64_t hash, const Line* line, Same same) {
  if (last_ != kNoSlot && slots_[last_].count != 0 && slots_[last_].hash == static_cast<uint32_t>(hash))
    insert_hit(slots_[last_], line);
  else
    add(hash, line, same);
}

void SavedView::Index::insert_hit(Slot& slot, const Line* line) {
  constexpr uint32_t kFirstRun = 4;
  if (slot.count == slot.room || slot.room == 0) {
    // A run of its own, twice the room, at the end; the old one is spare.
    const uint32_t room = slot.room == 0 ? kFirstRun : 2 * slot.room;
    const auto at = static_cast<uint32_t>(runs_.size());
    runs_.resize(runs_.size() + room);
    const auto held = hits(slot);
    std::copy(held.begin(), held.end(), runs_.begin() + at);
    spare_ += slot.room;
    slot.at = at;
    slot.room = room;
  }
  // Lines come in order but for one edited in place.
  const auto first = runs_.begin() + slot.at, end = first + slot.count;
  const auto to = end == first || (*(end - 1))->order < line->order
                      ? end
                      : std::lower_bound(first, end, line->order,
                                         [](const Line* l, uint64_t order) { return l->order < order; });
  std::copy_backward(to, end, end + 1);
  *to = line;
  ++slot.count;
  if (spare_ > runs_.size() / 2 && spare_ > 1024) repack();
}

void SavedView::Index::drop(uint64_t hash, const Line* line) {
  if (keys_ == 0) return;
  const size_t mask = slots_.size() - 1;
  for (size_t at = static_cast<size_t>(hash) & mask; slots_[at].count != 0; at = (at + 1) & mask) {
    Slot& slot = slots_[at];
    if (slot.hash != static_cast<uint32_t>(hash)) continue;
    if (slot.room == 0) {
      if (slot.one != line) continue;
      erase(at);
      return;
    }
    const auto first = runs_.begin() + slot.at, end = first + slot.count;
    const auto it = std::lower_bound(first, end, line->order,
                                     [](const Line* l, uint64_t order) { return l->order < order; });
    if (it == end || *it != line) continue;
    std::copy(it + 1, end, it);
    if (--slot.count == 0) erase(at);
    return;
  }
}

void SavedView::Index::erase(size_t at) {
  spare_ += slots_[at].room;
  --keys_;
  last_ = kNoSlot;
  const size_t hole = base::close_probe_gap(
      slots_, at, [](const Slot& s) { return s.count != 0; }, [](const Slot& s) { return static_cast<size_t>(s.hash); });
  slots_[hole] = Slot{};
}

void SavedView::Index::grow() {
  last_ = kNoSlot;
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(std::max<size_t>(16, 2 * old.size()), Slot{});
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.count == 0) continue;
    size_t at = static_cast<size_t>(slot.hash) & mask;
    while (slots_[at].count != 0) at = (at + 1) & mask;
    slots_[at] = slot;
  }
}

void SavedView::Index::repack() {
  std::vector<const Line*> runs;
  runs.reserve(runs_.size() - spare_);
  for (Slot& slot : slots_) {
    if (slot.room == 0) continue;
    const auto at = static_cast<uint32_t>(runs.size());
    runs.insert(runs.end(), runs_.begin() + slot.at, runs_.begin() + slot.at + slot.room);
    slot.at = at;
  }
  runs_ = std::move(runs);
  spare_ = 0;
}

void SavedView::Index::clear() {
  // The slots stay: the file read again holds about as many keys.
  std::fill(slots_.begin(), slots_.end(), Slot{});
  runs_.clear();
  keys_ = spare_ = 0;
  last_ = kNoSlot;
}

void SavedView::index_line(const Line* line, const Fields& fields, FieldHashes& hashes) const {
  if (fields.empty()) return;
  // Each field hashed once, for every index that matches it. A key whose
  // texts are the last line's (a LogicalHBA's lines, a target's, follow
  // one another) goes where that line went: every index was given it last.
  const bool follows = hashes.follows;
  const uint32_t changed = hash_fields(saved_, indexed_fields_, field_at(fields), hashes.hash,
                                       follows ? hashes.last : std::span<const std::string_view>());
  for (auto& [mask, index] : indexes_) {
    const uint64_t hash = key_hash(mask, hashes.hash);
    if (follows && (changed & mask) == 0)
      index.add_after_last(hash, line, same_as(saved_, mask, field_at(fields)));
    else
      index.add(hash, line, same_as(saved_, mask, field_at(fields)));
  }
  // Only the indexed fields are compared with the next line's.
  hashes.follows = true;
  for (uint32_t rest = indexed_fields_; rest != 0; rest &= rest - 1)
    hashes.last.at_[std::countr_zero(rest)] = fields[static_cast<size_t>(std::countr_zero(rest))];
  hashes.last.n_ = fields.size();
}

void SavedView::unindex_line(const Line* line) const {
  if (!line->well_formed()) return;
  const Fields fields = line->fields();
  uint64_t field_hash[32];
  hash_fields(saved_, indexed_fields_, field_at(fields), field_hash);
  for (auto& [mask, index] : indexes_) index.drop(key_hash(mask, field_hash), line);
}

void SavedView::rekey(const Line* line, std::span<const std::string_view> before) const {
  uint64_t before_hash[32], now_hash[32];
  const Fields fields = line->fields();
  if (!before.empty()) hash_fields(saved_, indexed_fields_, field_at(before), before_hash);
  if (!fields.empty()) hash_fields(saved_, indexed_fields_, field_at(fields), now_hash);
  for (auto& [mask, index] : indexes_) {
    const uint64_t was = before.empty() ? 0 : key_hash(mask, before_hash);
    const uint64_t now = fields.empty() ? 0 : key_hash(mask, now_hash);
    if (!before.empty() && !fields.empty() && was == now && same_key(saved_, mask, field_at(before), field_at(fields)))
      continue;
    if (!before.empty()) index.drop(was, line);
    if (!fields.empty()) index.add(now, line, same_as(saved_, mask, field_at(fields)));
  }
}

const SavedView::Index& SavedView::index_of(uint32_t mask) const {
  for (const auto& [asked, index] : indexes_)
    if (asked == mask) return index;
  Index& index = indexes_.emplace_back(mask, Index()).second;
  indexed_fields_ |= mask;
  uint64_t field_hash[32];
  for (const Line* line : lines_) {
    if (!line->well_formed()) continue;
    const Fields fields = line->fields();
    hash_fields(saved_, mask, field_at(fields), field_hash);
    index.add(key_hash(mask, field_hash), line, same_as(saved_, mask, field_at(fields)));
  }
  return index;
}

std::span<const SavedView::Line* const> SavedView::find_all(std::span<const Match> match) const {
  uint32_t mask = 0;
  std::string_view by_place[32];
  for (const Match& m : match) {
    const int at = position(saved_, m.field);
    if (at < 0) return {};
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
  return index.find(key_hash(mask, asked_hash_), same_as(saved_, mask, text_at));
}

const SavedView::Line* SavedView::find(std::span<const Match> match, bool last) const {
  const auto hits = find_all(match);
  if (hits.empty()) return nullptr;
  return last ? hits.back() : hits.front();
}

void SavedView::colliding_keys_for_tests(bool on) { colliding_keys.store(on, std::memory_order_relaxed); }

}  // namespace tavo::iscsi
