// The commit record of a change of several saved files: completed, or
// dropped when it never committed, before the files are read or changed.
#include <atomic>
#include <vector>

#include "base/file_utils.h"
#include "iscsi/common/saved_internal.h"

namespace tavo::iscsi {
namespace {

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


}  // namespace

HeldHere::HeldHere() { ++held_here; }
HeldHere::~HeldHere() { --held_here; }

void commit_left_pending() { commit_unsettled = true; }

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
  if (batch_open()) {
    if (!batch_holds(kAllSaved[std::size(kAllSaved) - 1])) return;
  } else {
    for (Saved s : kAllSaved)
      if (!locks.emplace_back(std::make_unique<files::SaveLock>(record_def(s).path))->held()) return;
  }
  // The files may change: what a batch checked of them stands no more.
  batch_forget_checks();
  if (files::complete_replacements(kCommitRecord, saved_paths()) == 0) commit_unsettled = false;
}

void complete_saved_changes() {
  // No record and no copy of one: nothing to complete, and start-up makes
  // no lock file for nothing (the staged copies of the saved files go with
  // their own leftovers).
  if (files::never_saved(kCommitRecord)) return;
  settle_commit(true);
}

}  // namespace tavo::iscsi
