// The journal of the saved iSCSI files: the commit record of a change of
// several of them is completed, or dropped when it never committed, before
// the files are read or changed.
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

// Made when the library loads, so that every lock of the files knows it.
const files::Journal saved_files_journal(kCommitRecord, saved_paths());

}  // namespace

const files::Journal& saved_journal() { return saved_files_journal; }

void complete_saved_changes() {
  // No record and no copy of one: nothing to complete, and start-up makes
  // no lock file for nothing (the staged copies of the saved files go with
  // their own leftovers). A record that cannot be completed now is left to
  // whoever takes a lock of the files next.
  if (files::never_saved(kCommitRecord)) return;
  saved_journal().settle();
}

}  // namespace tavo::iscsi
