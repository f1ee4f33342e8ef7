// What the saved views, their changes, the batches and the commit record
// share inside iscsi/common.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>

#include "base/save_file.h"
#include "iscsi/common/saved_view.h"

namespace tavo::iscsi {

inline constexpr mode_t kSavedMode = 0600;  // the files hold CHAP secrets

// A file's view and the mutex it is read and changed under.
struct ViewEntry {
  explicit ViewEntry(Saved s) : view(s) {}
  std::mutex mutex;
  SavedView view;
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
// The open batch's part for the file; null without a batch.
BatchFile* batch_file(Saved s);
// Whether the open batch gathers the changes of the file: it holds the
// file's lock and those before it. false without a batch, or when a lock
// cannot be had (the change is then written at once, as without a batch).
bool batch_holds(Saved s);
// Whether the file's view holds changes the file has not: it is then the
// only copy, never read again from the file until the batch is written.
bool batch_changed(Saved s);
// Whether the open batch holds the view up to date already: a view it
// changed is the only copy, and one it checked stands for the rest of the
// action for readers, and for writers while the batch holds the lock it
// was checked under (no library writer changes the file then). A view
// forgotten or of a missing file is always read. writing: the batch holds
// the file's lock for a change.
bool batch_current(Saved s, const SavedView& view, bool writing);
// Brings the view up to date unless the batch holds it so. 0, or -1 with
// errno.
int batch_refresh(Saved s, SavedView& view, bool writing);

// The saved files as one journal (files::Journal): a change of several
// goes through the commit record iscsi_commit.txt beside them, and taking
// a file's lock first completes a record it waits for.
inline constexpr char kCommitRecord[] = "/etc/config/QVL/tavo/iscsi_commit.txt";
const files::Journal& saved_journal();

// Locks of the saved files (outside a batch) and view mutexes this thread
// holds: a reader then completes no record, never under them.
struct HeldHere {
  HeldHere();
  ~HeldHere();
  HeldHere(const HeldHere&) = delete;
  HeldHere& operator=(const HeldHere&) = delete;
  // Whether the thread holds none.
  static bool none();
};

}  // namespace tavo::iscsi
