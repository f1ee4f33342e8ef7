// The two ways a saved file's lines change: a line appended, the file
// rewritten from its view; each under the file's lock, or gathered by the
// open batch.
#include <errno.h>
#include <string.h>

#include <optional>

#include "iscsi/common/saved_internal.h"

namespace tavo::iscsi {
namespace {

// A file's view held for a change: under the file's save lock (a batch
// holds its own) and the view's lock, and checked against the file under
// them, since library writers only append or rename in and either changes
// the file's identity. ok is false when the lock or the check failed.
struct ViewForChange {
  explicit ViewForChange(Saved s) : path(record_def(s).path), batched(batch_holds(s)) {
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

// The file replaced by the view's lines as they lie; a failed save leaves
// the view to be read again, as the file kept what it held. 0, or 1.
uint32_t write_view(const ViewForChange& held) {
  SavedView& view = held.entry->view;
  if (files::replace_file(held.path, view.content(), kSavedMode) != 0) {
    view.forget();
    return 1;
  }
  view.settled(true);
  return 0;
}

}  // namespace

void view_save_failed(Saved s) {
  tavo::files::kSaveFailed.set(record_def(s).path, strerror(errno));
}

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
  // place(): the line's place, looked up only for a line that changes.
  const auto decide = [&](const SavedView::Line& line, auto place) {
    rebuilt.clear();
    switch (edit(line.fields(), &rebuilt)) {
      case LineEdit::Refuse:
        return false;
      case LineEdit::Drop:
        dropped.push_back(place());
        break;
      case LineEdit::Replace: {
        const std::string_view text = std::string_view(rebuilt).substr(0, rebuilt.find('\n'));
        if (text != line.text) changed.emplace_back(place(), std::string(text));
        break;
      }
      default:
        break;
    }
    return true;
  };
  if (where.empty()) {
    for (uint32_t i = 0; i < lines.size(); ++i)
      if (!decide(*lines[i], [i] { return i; })) return 1;
  } else {
    // Only the lines the index finds are offered (a copy: edits move them).
    const auto hits = view.find_all(where);
    const std::vector<const SavedView::Line*> offered(hits.begin(), hits.end());
    for (const SavedView::Line* line : offered)
      if (!decide(*line, [&] { return view.place(line); })) return 1;
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
  return write_view(held);
}

uint32_t drop_lines(Saved s, std::span<const Match> where) {
  return rewrite(s, where, [](std::span<const std::string_view>, std::string*) { return LineEdit::Drop; });
}

uint32_t append_line(Saved s, const std::string& line, const std::function<bool(const SavedView&)>& present) {
  ViewForChange held(s);
  if (!held.ok) return 1;
  SavedView& view = held.entry->view;
  if (present && present(view)) return 0;
  // A file whose last line lacks its line feed is written whole: an append
  // would have to give it one first, and would make a line of what a write
  // cut short left.
  if (!held.batched && !view.ends_without_line_feed()) return files::append_lines(held.path, line, kSavedMode);
  if (!held.batched) {
    view.add(line);
    return write_view(held);
  }
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

bool entry_removed(uint32_t result, Saved s) {
  return result == 0 || files::known_missing(files::identify(record_def(s).path));
}

}  // namespace tavo::iscsi
