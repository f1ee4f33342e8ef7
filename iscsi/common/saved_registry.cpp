// The views of the saved files, one per file under each root, and the
// reads through them.
#include <array>
#include <map>
#include <mutex>

#include "iscsi/common/saved_internal.h"
#include "base/no_destructor.h"
#include "platform/host.h"

namespace tavo::iscsi {
namespace {

std::mutex view_registry_mutex;
// By the file's path under the root. Never destroyed: a process that ends
// without TAVO_exit leaves the views to the system.
base::NoDestructor<std::map<std::string, std::shared_ptr<ViewEntry>>> view_registry;

// Each file's entry as last found, with the root it was found under: a
// request asks for its files again and again under one root.
struct LastEntry {
  std::string root;
  std::shared_ptr<ViewEntry> entry;
};
base::NoDestructor<std::array<LastEntry, std::size(kAllSaved)>> last_entries;

}  // namespace

std::shared_ptr<ViewEntry> view_entry(Saved s) {
  const platform::Host& host = platform::host();
  LastEntry& last = (*last_entries)[static_cast<size_t>(s)];
  {
    std::lock_guard<std::mutex> guard(view_registry_mutex);
    if (last.entry != nullptr && host.root_is(last.root)) return last.entry;
  }
  std::string root = host.root();
  const std::string path = platform::fixed_path(record_def(s).path);
  std::lock_guard<std::mutex> guard(view_registry_mutex);
  std::shared_ptr<ViewEntry>& entry = (*view_registry)[path];
  if (entry == nullptr) entry = std::make_shared<ViewEntry>(s);
  // Kept only when the root stayed while the path was worked out.
  if (host.root_is(root)) last = LastEntry{std::move(root), entry};
  return entry;
}

void reread_saved_views() {
  std::lock_guard<std::mutex> guard(view_registry_mutex);
  for (const auto& [path, entry] : *view_registry) entry->view.reread_whole();
}

bool with_view(Saved s, const std::function<void(const SavedView&)>& fn) {
  std::shared_ptr<ViewEntry> entry = view_entry(s);
  std::unique_lock<std::mutex> guard(entry->mutex);
  const bool current = batch_current(s, entry->view, false) || entry->checked_in_call();
  // The check stands for the call when the record was looked at and found
  // nothing to complete.
  bool whole_check = HeldHere::none();
  const uint64_t writes = files::saved_writes();
  std::string through;
  if (!current && whole_check && saved_journal().pending(static_cast<size_t>(s))) {
    // A record the file waits for is completed before it is read, under
    // the files' locks, taken without the view's mutex. One that cannot be
    // completed here (a read-only root) is read through: the file as
    // completing it leaves it.
    guard.unlock();
    if (saved_journal().settle() != 0) through = saved_journal().read_through(static_cast<size_t>(s));
    guard.lock();
    whole_check = false;
  }
  const HeldHere held;
  if (!current) {
    if (batch_read(s, entry->view, through.empty() ? nullptr : &through) != 0) return false;
    if (whole_check) {
      entry->checked_call = base::library_call();
      entry->checked_writes = writes;
    }
  }
  fn(entry->view);
  return true;
}

bool copy_lines(Saved s, std::span<const Match> match, SavedLines* out) {
  out->clear();
  return with_view(s, [&](const SavedView& view) {
    if (match.empty()) {
      for (const auto& line : view.lines())
        if (line->well_formed()) out->add(line->fields());
      return;
    }
    for (const SavedView::Line* line : view.find_all(match)) out->add(line->fields());
  });
}

void drop_saved_views() {
  std::lock_guard<std::mutex> guard(view_registry_mutex);
  view_registry->clear();
  for (LastEntry& last : *last_entries) last = LastEntry{};
}

}  // namespace tavo::iscsi
