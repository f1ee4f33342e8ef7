// A saved file's view: its lines parsed from the bytes read, kept up to
// date with the file by its identity, and edited in place by a rewrite.
#include <errno.h>

#include <algorithm>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/saved_view.h"
#include "platform/host.h"

namespace tavo::iscsi {

SavedView::SavedView(Saved s) : saved_(s), target_(platform::fixed_path(record_def(s).path)) {
  // The lookups the library makes, indexed as the lines are first parsed:
  // start-up's read builds them, not the first request that asks.
  for (const uint32_t mask : record_def(s).lookups) {
    indexes_.emplace_back(mask, Index());
    indexed_fields_ |= mask;
  }
}

void SavedView::edited(const std::vector<std::pair<uint32_t, std::string>>& changed,
                       const std::vector<uint32_t>& dropped, off_t size, bool written) {
  for (const auto& [at, text] : changed) {
    Line& line = *lines_[at];
    // A line whose matched fields changed moves within each index. The
    // old fields stay readable: the bytes they point into are kept until
    // the edit is done.
    const Fields before = line.fields();
    cut_stretch(at);
    line.text = keep_line(text);
    Fields now;
    read_fields(&line, &now);
    add_stretch(line);
    rekey(&line, before);
  }
  if (!dropped.empty()) {
    // Each dropped line leaves its own keys; the others keep theirs (the
    // index holds lines, not places) and close up behind it.
    for (const uint32_t at : dropped) {
      unindex_line(lines_[at]);
      cut_stretch(at);
      free_line(lines_[at]);
    }
    size_t kept = dropped.front(), next = 0;
    for (size_t i = dropped.front(); i < lines_.size(); ++i) {
      if (next < dropped.size() && dropped[next] == i) {
        ++next;
        continue;
      }
      lines_[kept++] = lines_[i];
    }
    lines_.resize(kept);
  }
  compact_if_scattered();
  consumed_ = size;
  last_complete_ = lines_.empty() ? std::string() : std::string(lines_.back()->text) + '\n';
  partial_last_ = cut_tail_ = false;
  if (written) identity_ = files::identify_fixed(target_);
}

void SavedView::settled(bool whole, const files::FileIdentity* written) {
  if (whole) {
    consumed_ = size();
    last_complete_ = lines_.empty() ? std::string() : std::string(lines_.back()->text) + '\n';
    partial_last_ = cut_tail_ = false;
  }
  identity_ = written != nullptr ? *written : files::identify_fixed(target_);
}

void SavedView::forget() {
  clear();
  identity_ = files::FileIdentity{};
}

void SavedView::parse(std::string_view text) {
  std::string_view last_complete;  // with its line feed
  bool any_complete = false;
  FieldHashes hashes;
  Fields fields;
  for_each_line(text, [&](std::string_view body, bool complete) {
    // What a write cut short left is no line: it is read again with what
    // follows, and a whole write leaves it out.
    if (!complete && cut_short(saved_, body)) {
      cut_tail_ = true;
      return;
    }
    if (!body.empty()) {
      Line* line = new_line();
      // A line without its line feed is given one where a write finds it.
      line->text = complete ? body : keep_line(body);
      read_fields(line, &fields);
      line->order = next_order_++;
      lines_.push_back(line);
      add_stretch(*line);
      index_line(line, fields, hashes);
    }
    if (complete) {
      consumed_ += static_cast<off_t>(body.size() + 1);
      last_complete = std::string_view(body.data(), body.size() + 1);
      any_complete = true;
    } else {
      partial_last_ = true;
    }
  });
  if (any_complete) last_complete_.assign(last_complete);
  compact_if_scattered();
}

void SavedView::load(std::string_view text) {
  clear();
  parse(keep(text));
}

void SavedView::drop_partial_last() {
  cut_tail_ = false;
  if (!partial_last_) return;
  // The line read without its line feed is read again whole.
  unindex_line(lines_.back());
  cut_stretch(static_cast<uint32_t>(lines_.size() - 1));
  free_line(lines_.back());
  lines_.pop_back();
  partial_last_ = false;
}

void SavedView::append(std::string_view tail) {
  drop_partial_last();
  parse(keep(tail));
}

int SavedView::refresh(bool whole, const std::string* through) {
  if (whole_next_.load(std::memory_order_relaxed)) whole = true;
  const std::string* source = through != nullptr && *through != target_ ? through : &target_;
  const files::FileIdentity now = files::identify_fixed(*source);
  if (!whole && files::unchanged(identity_, now)) return 0;
  // Appended to by the library: the same file grown since a settled look,
  // its content last changed by a save. Another writer may have rewritten
  // it in place: it is read whole.
  const bool same_file = exists() && now.device == identity_.device && now.inode == identity_.inode;
  const bool grown = !whole && identity_.settled && same_file && now.size > identity_.size && consumed_ > 0 &&
                     files::written_by_saves(now);
  const off_t anchor = static_cast<off_t>(last_complete_.size());
  off_t from = grown ? consumed_ - anchor : 0;
  std::string text;
  files::FileIdentity read_id;
  for (;;) {
    if (files::read_saved_fixed(*source, from, &text, &read_id) != 0) {
      if (errno != ENOENT) return -1;
      if (source != &target_) {
        // The copy was renamed over the file meanwhile.
        source = &target_;
        from = 0;
        continue;
      }
      clear();
      identity_ = read_id;
      whole_next_.store(false, std::memory_order_relaxed);
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
  whole_next_.store(false, std::memory_order_relaxed);
  return 0;
}

uint32_t SavedView::place(const Line* line) const {
  const auto at = std::lower_bound(lines_.begin(), lines_.end(), line->order,
                                   [](const Line* l, uint64_t order) { return l->order < order; });
  return static_cast<uint32_t>(at - lines_.begin());
}

}  // namespace tavo::iscsi
