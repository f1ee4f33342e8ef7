// The batch that gathers an action's changes of the saved files into one
// write of each, and the steps that follow the write or its failure.
#include <array>
#include <functional>
#include <vector>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/saved_internal.h"

namespace tavo::iscsi {
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
  files::ReplaceTogether together(saved_journal());
  for (Saved s : changed) {
    std::shared_ptr<ViewEntry> entry = view_entry(s);
    std::lock_guard<std::mutex> guard(entry->mutex);
    if (together.stage(record_def(s).path, entry->view.content(), kSavedMode) != 0) break;
  }
  // A record left pending is completed by whoever takes a lock of the
  // files next.
  const uint32_t written = together.commit();
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
  std::vector<std::function<void()>> on_failure, after;
  on_failure.swap(open_batch->on_failure);
  after.swap(open_batch->after);
  if (result != 0)
    // The failed save is the answer's reason, whatever the steps leave.
    keeping_last_status([&] {
      for (auto it = on_failure.rbegin(); it != on_failure.rend(); ++it) (*it)();
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

void SavedBatch::on_failure(std::function<void()> step) {
  if (open_batch != nullptr) open_batch->on_failure.push_back(std::move(step));
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


}  // namespace tavo::iscsi
