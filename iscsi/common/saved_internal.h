// What the saved views, their changes, the batches and the commit record
// share inside iscsi/common.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/library_lock.h"
#include "base/save_file.h"
#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {

inline constexpr mode_t kSavedMode = 0600;  // the files hold CHAP secrets

// A file's view and the mutex it is read and changed under.
struct ViewEntry {
  explicit ViewEntry(Saved s) : view(s) {}
  std::mutex mutex;
  SavedView view;
  // A reader's check of the view against the file and its commit record
  // stands for the rest of the library call it was made in, while this
  // process writes no saved file (the lock keeps the library's other
  // threads out): start-up reads a file once per target it handles. A
  // change by another process is seen by the next call.
  uint64_t checked_call = 0, checked_writes = 0;
  bool checked_in_call() const {
    return checked_call != 0 && checked_call == base::library_call() && checked_writes == files::saved_writes();
  }
};
// The entry of the file under the root in force.
std::shared_ptr<ViewEntry> view_entry(Saved s);

// The status of a failed save of the file, its reason from errno.
void view_save_failed(Saved s);

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
// The batch open on the thread (SavedBatch), and its part for the file
// (null without a batch). Inline, with the checks below: every read of a
// view asks.
struct Batch {
  std::array<BatchFile, std::size(kAllSaved)> files;
  std::vector<std::function<void()>> on_failure, after;  // SavedBatch::on_failure, SavedBatch::after
};
inline thread_local Batch* open_batch = nullptr;
inline BatchFile* batch_file(Saved s) {
  return open_batch != nullptr ? &open_batch->files[static_cast<size_t>(s)] : nullptr;
}
// Whether the open batch gathers the changes of the file: it holds the
// file's lock and those before it. false without a batch, or when a lock
// cannot be had (the change is then written at once, as without a batch).
bool batch_holds(Saved s);
// Whether the file's view holds changes the file has not: it is then the
// only copy, never read again from the file until the batch is written.
inline bool batch_changed(Saved s) {
  const BatchFile* f = batch_file(s);
  return f != nullptr && f->change != BatchFile::Change::None;
}
// Whether the open batch holds the view up to date already: a view it
// changed is the only copy, and one it checked stands for the rest of the
// action for readers, and for writers while the batch holds the lock it
// was checked under (no library writer changes the file then). A view
// forgotten or of a missing file is always read. writing: the batch holds
// the file's lock for a change.
inline bool batch_current(Saved s, const SavedView& view, bool writing) {
  const BatchFile* f = batch_file(s);
  if (f == nullptr) return false;
  if (f->change != BatchFile::Change::None) return true;
  using Checked = BatchFile::Checked;
  return view.exists() && (f->checked == Checked::Locked || (!writing && f->checked == Checked::Read));
}
// Brings the view up to date from the file (read through the copy at
// through, SavedView::refresh), and the open batch takes it as checked. 0,
// or -1 with errno.
inline int batch_read(Saved s, SavedView& view, const std::string* through = nullptr) {
  if (view.refresh(false, through) != 0) return -1;
  if (BatchFile* f = batch_file(s))
    f->checked = f->lock != nullptr ? BatchFile::Checked::Locked : BatchFile::Checked::Read;
  return 0;
}
// Both: read unless the batch holds the view up to date.
inline int batch_refresh(Saved s, SavedView& view, bool writing) {
  return batch_current(s, view, writing) ? 0 : batch_read(s, view);
}

// The saved files as one journal (files::Journal): a change of several
// goes through the commit record iscsi_commit.txt beside them, and taking
// a file's lock first completes a record it waits for.
inline constexpr char kCommitRecord[] = "/etc/config/QVL/tavo/iscsi_commit.txt";
const files::Journal& saved_journal();

// Locks of the saved files (outside a batch) and view mutexes this thread
// holds: a reader then completes no record, never under them.
inline thread_local int held_here = 0;
struct HeldHere {
  HeldHere() { ++held_here; }
  ~HeldHere() { --held_here; }
  HeldHere(const HeldHere&) = delete;
  HeldHere& operator=(const HeldHere&) = delete;
  // Whether the thread holds none.
  static bool none() { return held_here == 0; }
};

}  // namespace tavo::iscsi
