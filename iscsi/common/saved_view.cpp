// Parsed views of the saved iSCSI files, the two ways their lines change (a
// line appended, the file rewritten whole), and the batches that gather an
// action's changes into one write of each file.
#include "iscsi/common/saved_view.h"

#include <ctype.h>
#include <errno.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "base/file_utils.h"
#include "iscsi/common/iscsi_common.h"
#include "platform/host.h"

namespace tavo::iscsi {
namespace {

constexpr mode_t kSavedMode = 0600;  // the files hold CHAP secrets

struct ViewEntry {
  explicit ViewEntry(Saved s) : view(s) {}
  std::mutex mutex;
  SavedView view;
};

std::mutex view_registry_mutex;
std::map<std::string, std::shared_ptr<ViewEntry>> view_registry;  // by the file's path under the root

// Each file's entry as last found, with the root it was found under: a
// request asks for its files again and again under one root.
struct LastEntry {
  std::string root;
  std::shared_ptr<ViewEntry> entry;
};
LastEntry last_entries[std::size(kAllSaved)];

std::shared_ptr<ViewEntry> view_entry(Saved s) {
  const platform::Host& host = platform::host();
  LastEntry& last = last_entries[static_cast<size_t>(s)];
  {
    std::lock_guard<std::mutex> guard(view_registry_mutex);
    if (last.entry != nullptr && host.root_is(last.root)) return last.entry;
  }
  std::string root = host.root();
  const std::string path = platform::fixed_path(record_def(s).path);
  std::lock_guard<std::mutex> guard(view_registry_mutex);
  std::shared_ptr<ViewEntry>& entry = view_registry[path];
  if (entry == nullptr) entry = std::make_shared<ViewEntry>(s);
  // Kept only when the root stayed while the path was worked out.
  if (host.root_is(root)) last = LastEntry{std::move(root), entry};
  return entry;
}

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

void view_save_failed(Saved s) {
  tavo::files::kSaveFailed.set(record_def(s).path, strerror(errno));
}

// What an open batch holds of one file: its lock, and what changed.
struct BatchFile {
  std::unique_ptr<files::SaveLock> lock;
  enum class Change : uint8_t { None, Appended, Rewritten } change = Change::None;
  std::string appended;  // the lines appended, each with its line feed
  // How far the view was checked against the file during the batch: read
  // (readers trust it for the rest of the action) or under the lock held
  // (writers too: no library writer changes the file meanwhile).
  enum class Checked : uint8_t { No, Read, Locked } checked = Checked::No;
};
struct Batch {
  std::array<BatchFile, std::size(kAllSaved)> files;
  std::vector<std::function<void()>> undo, after;  // SavedBatch::undo, SavedBatch::after
};
thread_local Batch* open_batch = nullptr;

BatchFile* batch_file(Saved s) {
  return open_batch != nullptr ? &open_batch->files[static_cast<size_t>(s)] : nullptr;
}

// Whether the open batch gathers the changes of the file: it holds the
// file's lock and those before it. false without a batch, or when a lock
// cannot be had (the change is then written at once, as without a batch).
bool batch_holds(Saved s) {
  if (open_batch == nullptr) return false;
  for (size_t i = 0; i <= static_cast<size_t>(s); ++i) {
    BatchFile& f = open_batch->files[i];
    if (f.lock != nullptr) continue;
    f.lock = std::make_unique<files::SaveLock>(record_def(kAllSaved[i]).path);
    if (!f.lock->held()) {
      f.lock.reset();
      return false;
    }
    if (f.checked == BatchFile::Checked::Locked) f.checked = BatchFile::Checked::Read;
  }
  return true;
}

// Whether the file's view holds changes the file has not: it is then the
// only copy, never read again from the file until the batch is written.
bool batch_changed(Saved s) {
  const BatchFile* f = batch_file(s);
  return f != nullptr && f->change != BatchFile::Change::None;
}

// The record of a change of several files (files::ReplaceTogether). Its
// writers hold savetgt.txt's lock: a batch that changes a later file holds
// the locks of the files before it.
constexpr char kCommitRecord[] = "/etc/config/QVL/tavo/iscsi_commit.txt";

std::vector<std::string> saved_paths() {
  std::vector<std::string> paths;
  for (Saved s : kAllSaved) paths.push_back(record_def(s).path);
  return paths;
}

// Whether a commit record may wait to be completed: not known before the
// first look in the process, and again after a commit whose renames did
// not all go through.
std::atomic<bool> commit_unsettled{true};
// Locks of the saved files (outside a batch) and view mutexes this thread
// holds: a record is then completed later, never under them.
thread_local int held_here = 0;

struct HeldHere {
  HeldHere() { ++held_here; }
  ~HeldHere() { --held_here; }
  HeldHere(const HeldHere&) = delete;
  HeldHere& operator=(const HeldHere&) = delete;
};

// Completes a commit record under the locks of every saved file (those of
// the open batch when there is one). forced: look whatever is known.
void settle_commit(bool forced) {
  if ((!forced && !commit_unsettled.load()) || held_here > 0) return;
  // No record: nothing to complete (a commit under way holds the locks and
  // completes itself). Start-up looks under the locks whatever, for what a
  // record never renamed in left.
  if (!forced && files::identify(kCommitRecord).size < 0) {
    commit_unsettled = false;
    return;
  }
  std::vector<std::unique_ptr<files::SaveLock>> locks;
  if (open_batch != nullptr) {
    if (!batch_holds(kAllSaved[std::size(kAllSaved) - 1])) return;
  } else {
    for (Saved s : kAllSaved)
      if (!locks.emplace_back(std::make_unique<files::SaveLock>(record_def(s).path))->held()) return;
  }
  // The files may change: what a batch checked of them stands no more.
  if (open_batch != nullptr)
    for (BatchFile& f : open_batch->files) f.checked = BatchFile::Checked::No;
  if (files::complete_replacements(kCommitRecord, saved_paths()) == 0) commit_unsettled = false;
}

// Brings the view up to date unless the open batch holds it so already:
// a view it changed is the only copy, and one it checked stands for the
// rest of the action for readers, and for writers while the batch holds
// the lock it was checked under (no library writer changes the file then).
// A view forgotten or of a missing file is always read. writing: the batch
// holds the file's lock for a change. 0, or -1 with errno.
int batch_refresh(Saved s, SavedView& view, bool writing) {
  BatchFile* f = batch_file(s);
  if (f == nullptr) return view.refresh();
  if (f->change != BatchFile::Change::None) return 0;
  using Checked = BatchFile::Checked;
  if (view.exists() && (f->checked == Checked::Locked || (!writing && f->checked == Checked::Read))) return 0;
  if (view.refresh() != 0) return -1;
  f->checked = f->lock != nullptr ? Checked::Locked : Checked::Read;
  return 0;
}

}  // namespace

void complete_saved_changes() {
  // No record and no copy of one: nothing to complete, and start-up makes
  // no lock file for nothing (the staged copies of the saved files go with
  // their own leftovers).
  if (files::never_saved(kCommitRecord)) return;
  settle_commit(true);
}

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

void SavedView::colliding_keys_for_tests(bool on) { colliding_keys.store(on, std::memory_order_relaxed); }

namespace {

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

void SavedView::edited(const std::vector<std::pair<uint32_t, std::string>>& changed,
                       const std::vector<uint32_t>& dropped, off_t size, bool written) {
  for (const auto& [at, text] : changed) {
    Line& line = *lines_[at];
    // A line whose matched fields changed moves within each index. The
    // old fields stay readable: the bytes they point into are kept until
    // the edit is done.
    const std::vector<std::string_view> before = std::move(line.fields);
    uint64_t before_hash[32], now_hash[32];
    if (!before.empty()) hash_fields(saved_, indexed_fields_, field_at(before), before_hash);
    cut_stretch(at);
    line.text = keep_line(text);
    line.fields = split_fields(line.text);
    if (!well_formed(saved_, line.fields)) line.fields.clear();
    add_stretch(line);
    if (!line.fields.empty()) hash_fields(saved_, indexed_fields_, field_at(line.fields), now_hash);
    for (auto& [mask, index] : indexes_) {
      const uint64_t was = before.empty() ? 0 : key_hash(mask, before_hash);
      const uint64_t now = line.fields.empty() ? 0 : key_hash(mask, now_hash);
      if (!before.empty() && !line.fields.empty() && was == now &&
          same_key(saved_, mask, before, field_at(line.fields)))
        continue;
      if (!before.empty()) drop_hit(index, was, &line);
      if (!line.fields.empty()) add_hit(saved_, index, mask, now, &line);
    }
  }
  if (!dropped.empty()) {
    // Each dropped line leaves its own keys; the others keep theirs (the
    // index holds lines, not places) and close up behind it.
    for (const uint32_t at : dropped) {
      unindex_line(lines_[at].get());
      cut_stretch(at);
    }
    size_t kept = dropped.front(), next = 0;
    for (size_t i = dropped.front(); i < lines_.size(); ++i) {
      if (next < dropped.size() && dropped[next] == i) {
        ++next;
        continue;
      }
      lines_[kept++] = std::move(lines_[i]);
    }
    lines_.resize(kept);
  }
  compact_if_scattered();
  consumed_ = size;
  last_complete_ = lines_.empty() ? std::string() : std::string(lines_.back()->text) + '\n';
  partial_last_ = false;
  if (written) identity_ = files::identify(record_def(saved_).path);
}

void SavedView::settled(bool whole, const files::FileIdentity* written) {
  if (whole) {
    consumed_ = size();
    last_complete_ = lines_.empty() ? std::string() : std::string(lines_.back()->text) + '\n';
    partial_last_ = false;
  }
  identity_ = written != nullptr ? *written : files::identify(record_def(saved_).path);
}

void SavedView::forget() {
  clear();
  identity_ = files::FileIdentity{};
}

void SavedView::parse(std::string_view text) {
  for_each_line(text, [&](std::string_view body, bool complete) {
    if (!body.empty()) {
      auto line = std::make_unique<Line>();
      // A line without its line feed is given one where a write finds it.
      line->text = complete ? body : keep_line(body);
      line->fields = split_fields(line->text);
      if (!well_formed(saved_, line->fields)) line->fields.clear();
      line->order = next_order_++;
      lines_.push_back(std::move(line));
      add_stretch(*lines_.back());
      index_line(lines_.back().get());
    }
    if (complete) {
      consumed_ += static_cast<off_t>(body.size() + 1);
      last_complete_.assign(body).push_back('\n');
    } else {
      partial_last_ = true;
    }
  });
  compact_if_scattered();
}

void SavedView::load(std::string_view text) {
  clear();
  parse(keep(text));
}

void SavedView::drop_partial_last() {
  if (!partial_last_) return;
  // The line read without its line feed is read again whole.
  unindex_line(lines_.back().get());
  cut_stretch(static_cast<uint32_t>(lines_.size() - 1));
  lines_.pop_back();
  partial_last_ = false;
}

void SavedView::append(std::string_view tail) {
  drop_partial_last();
  parse(keep(tail));
}

int SavedView::refresh(bool whole) {
  const std::string path = record_def(saved_).path;
  const files::FileIdentity now = files::identify(path);
  if (!whole && now == identity_) return 0;
  const bool same_file = exists() && now.device == identity_.device && now.inode == identity_.inode;
  const bool grown = !whole && same_file && now.size > identity_.size && consumed_ > 0;
  const off_t anchor = static_cast<off_t>(last_complete_.size());
  off_t from = grown ? consumed_ - anchor : 0;
  std::string text;
  files::FileIdentity read_id;
  for (;;) {
    if (files::read_saved(path, from, &text, &read_id) != 0) {
      if (errno != ENOENT) return -1;
      clear();
      identity_ = read_id;
      return 0;
    }
    if (from == 0) break;
    // Appended to: the same file, and its last known line where it was.
    if (read_id.device == identity_.device && read_id.inode == identity_.inode &&
        std::string_view(text).substr(0, static_cast<size_t>(anchor)) == last_complete_) {
      text.erase(0, static_cast<size_t>(anchor));
      break;
    }
    from = 0;
  }
  // The bytes read are kept as they are, the lines pointing into them.
  if (from == 0)
    clear();
  else
    drop_partial_last();
  parse(keep(std::move(text)));
  identity_ = read_id;
  return 0;
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

uint32_t SavedView::place(const Line* line) const {
  const auto at = std::lower_bound(lines_.begin(), lines_.end(), line->order,
                                   [](const std::unique_ptr<Line>& l, uint64_t order) { return l->order < order; });
  return static_cast<uint32_t>(at - lines_.begin());
}

bool with_view(Saved s, const std::function<void(const SavedView&)>& fn) {
  settle_commit(false);
  std::shared_ptr<ViewEntry> entry = view_entry(s);
  std::lock_guard<std::mutex> guard(entry->mutex);
  const HeldHere held;
  if (batch_refresh(s, entry->view, false) != 0) return false;
  fn(entry->view);
  return true;
}

bool copy_lines(Saved s, std::span<const Match> match, std::vector<SavedFields>* out) {
  out->clear();
  return with_view(s, [&](const SavedView& view) {
    if (match.empty()) {
      for (const auto& line : view.lines())
        if (!line->fields.empty()) out->emplace_back(line->fields.begin(), line->fields.end());
      return;
    }
    for (const SavedView::Line* line : view.find_all(match))
      out->emplace_back(line->fields.begin(), line->fields.end());
  });
}

// A file's view held for a change: under the file's save lock (a batch
// holds its own) and the view's lock, and checked against the file under
// them, since library writers only append or rename in and either changes
// the file's identity. ok is false when the lock or the check failed.
struct ViewForChange {
  explicit ViewForChange(Saved s) : path((settle_commit(false), record_def(s).path)), batched(batch_holds(s)) {
    if (!batched && !lock.emplace(path).held()) return;
    entry = view_entry(s);
    guard = std::unique_lock<std::mutex>(entry->mutex);
    held_here_.emplace();
    const int read = batched ? batch_refresh(s, entry->view, true) : batch_changed(s) ? 0 : entry->view.refresh();
    if (read != 0) {
      view_save_failed(s);
      return;
    }
    ok = true;
  }
  const std::string path;
  const bool batched;
  std::optional<files::SaveLock> lock;
  std::shared_ptr<ViewEntry> entry;
  std::unique_lock<std::mutex> guard;
  std::optional<HeldHere> held_here_;  // released before the guard and the lock
  bool ok = false;
};

uint32_t rewrite(Saved s,
                 const std::function<LineEdit(std::span<const std::string_view> fields, std::string* rebuilt)>& edit) {
  return rewrite(s, {}, edit);
}

uint32_t rewrite(Saved s, std::span<const Match> where,
                 const std::function<LineEdit(std::span<const std::string_view> fields, std::string* rebuilt)>& edit) {
  ViewForChange held(s);
  if (!held.ok) return 1;
  const bool batched = held.batched;
  SavedView& view = held.entry->view;
  if (!view.exists() && !batch_changed(s)) return 1;
  std::string rebuilt;
  std::vector<std::pair<uint32_t, std::string>> changed;
  std::vector<uint32_t> dropped;
  const auto& lines = view.lines();
  const auto decide = [&](uint32_t i) {
    const SavedView::Line& line = *lines[i];
    rebuilt.clear();
    switch (edit(line.fields, &rebuilt)) {
      case LineEdit::Refuse:
        return false;
      case LineEdit::Drop:
        dropped.push_back(i);
        break;
      case LineEdit::Replace: {
        const std::string_view text = std::string_view(rebuilt).substr(0, rebuilt.find('\n'));
        if (text != line.text) changed.emplace_back(i, std::string(text));
        break;
      }
      default:
        break;
    }
    return true;
  };
  if (where.empty()) {
    for (uint32_t i = 0; i < lines.size(); ++i)
      if (!decide(i)) return 1;
  } else {
    // Only the lines the index finds are offered (a copy: edits move them).
    const std::vector<const SavedView::Line*> offered = view.find_all(where);
    for (const SavedView::Line* line : offered)
      if (!decide(view.place(line))) return 1;
  }
  if (changed.empty() && dropped.empty()) return 0;
  off_t size = view.size();
  for (const auto& [at, text] : changed)
    size += static_cast<off_t>(text.size()) - static_cast<off_t>(lines[at]->text.size());
  for (const uint32_t at : dropped) size -= static_cast<off_t>(lines[at]->text.size() + 1);
  view.edited(changed, dropped, size, false);
  if (batched) {
    batch_file(s)->change = BatchFile::Change::Rewritten;
    return 0;
  }
  // The view holds the new content: written from its bytes as they lie.
  if (files::replace_file(held.path, view.content(), kSavedMode) != 0) {
    view.forget();  // the file kept what it held: read again
    return 1;
  }
  view.settled(false);
  return 0;
}

uint32_t append_line(Saved s, const std::string& line, const std::function<bool(const SavedView&)>& present) {
  ViewForChange held(s);
  if (!held.ok) return 1;
  SavedView& view = held.entry->view;
  if (present && present(view)) return 0;
  if (!held.batched) return files::append_lines(held.path, line, kSavedMode);
  // A file whose last line lacks its line feed is written whole: an append
  // would have to give it one first.
  BatchFile& f = *batch_file(s);
  if (f.change == BatchFile::Change::None && (view.ends_without_line_feed() || !view.exists()))
    f.change = BatchFile::Change::Rewritten;
  if (f.change != BatchFile::Change::Rewritten) {
    f.change = BatchFile::Change::Appended;
    f.appended += line;
  }
  view.add(line);
  return 0;
}

SavedBatch::SavedBatch() {
  if (open_batch != nullptr) return;
  open_batch = new Batch;
  outer_ = true;
}

SavedBatch::~SavedBatch() {
  if (!outer_) return;
  commit();
  delete open_batch;
  open_batch = nullptr;
}

namespace {

// One changed file written alone: its new lines appended when it was only
// appended to, else the whole file replaced.
uint32_t batch_write_alone(Saved s, BatchFile& f) {
  std::shared_ptr<ViewEntry> entry = view_entry(s);
  std::lock_guard<std::mutex> guard(entry->mutex);
  SavedView& view = entry->view;
  const std::string path = record_def(s).path;
  const bool whole = f.change == BatchFile::Change::Rewritten;
  // Only appended to: the file, at the identity the view holds, ended its
  // last line.
  files::FileIdentity appended;
  const uint32_t written = whole ? files::replace_file(path, view.content(), kSavedMode)
                                 : files::append_lines(path, f.appended, kSavedMode, &appended, &view.identity());
  if (written == 0)
    view.settled(whole, whole ? nullptr : &appended);
  else
    view.forget();  // the file kept what it held: so does its view, read again
  return written;
}

// Several changed files replaced as one: all keep their old content, or
// all take the new, whatever moment a kill or a power cut strikes.
uint32_t batch_write_together(std::span<const Saved> changed) {
  files::ReplaceTogether together(kCommitRecord);
  for (Saved s : changed) {
    std::shared_ptr<ViewEntry> entry = view_entry(s);
    std::lock_guard<std::mutex> guard(entry->mutex);
    if (together.stage(record_def(s).path, entry->view.content(), kSavedMode) != 0) break;
  }
  const uint32_t written = together.commit();
  if (together.pending()) commit_unsettled = true;
  for (Saved s : changed) {
    std::shared_ptr<ViewEntry> entry = view_entry(s);
    std::lock_guard<std::mutex> guard(entry->mutex);
    if (written == 0)
      entry->view.settled(true);
    else
      entry->view.forget();
  }
  return written;
}

}  // namespace

uint32_t SavedBatch::commit() {
  if (!outer_ || open_batch == nullptr) return 0;
  std::vector<Saved> changed;
  for (Saved s : kAllSaved)
    if (batch_changed(s)) changed.push_back(s);
  uint32_t result = 0;
  if (changed.size() == 1)
    result = batch_write_alone(changed.front(), *batch_file(changed.front()));
  else if (!changed.empty())
    result = batch_write_together(changed);
  for (BatchFile& f : open_batch->files) {
    f.change = BatchFile::Change::None;
    f.appended.clear();
  }
  for (auto it = open_batch->files.rbegin(); it != open_batch->files.rend(); ++it) it->lock.reset();
  // The steps run with the locks let go; a step that changes a file again
  // is gathered anew, written by the next commit.
  std::vector<std::function<void()>> undo, after;
  undo.swap(open_batch->undo);
  after.swap(open_batch->after);
  if (result != 0)
    // The failed save is the answer's reason, whatever the steps leave.
    keeping_last_status([&] {
      for (auto it = undo.rbegin(); it != undo.rend(); ++it) (*it)();
    });
  else
    for (const auto& step : after) step();
  return result;
}

uint32_t SavedBatch::end(uint32_t result) {
  if (result != 0 && outer_ && open_batch != nullptr) open_batch->after.clear();
  const uint32_t written = commit();
  return result != 0 ? result : written;
}

void SavedBatch::undo(std::function<void()> step) {
  if (open_batch != nullptr) open_batch->undo.push_back(std::move(step));
}

void SavedBatch::after(std::function<void()> step) {
  if (open_batch != nullptr)
    open_batch->after.push_back(std::move(step));
  else
    step();
}

void SavedBatch::hold(Saved s) {
  if (open_batch != nullptr) keeping_last_status([s] { batch_holds(s); });
}

bool entry_removed(uint32_t result, Saved s) {
  return result == 0 || files::known_missing(files::identify(record_def(s).path));
}

void drop_saved_views() {
  std::lock_guard<std::mutex> guard(view_registry_mutex);
  view_registry.clear();
  for (LastEntry& last : last_entries) last = LastEntry{};
}

}  // namespace tavo::iscsi
