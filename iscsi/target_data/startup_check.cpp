// The start-up check of the saved iSCSI files. It never destroys
// configuration: a malformed line goes alone, after the file as it was is
// kept beside it, and every other line stays as it was.
#include <errno.h>
#include <string.h>

#include <string>

#include "base/file_utils.h"
#include "base/save_file.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/target_data.h"

using namespace tavo::iscsi;

namespace {

constexpr mode_t kCheckMode = 0600;

void check_file(Saved s) {
  const std::string path = record_def(s).path;
  if (tavo::files::never_saved(path)) return;  // nothing to check; no lock to make
  tavo::files::SaveLock lock(path);
  if (!lock.held()) return;
  tavo::files::remove_leftover_temporaries(path);
  std::string text;
  tavo::files::FileIdentity id;
  if (tavo::files::read_saved(path, 0, &text, &id) != 0) {
    if (errno != ENOENT)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot read %s: %s\n", __func__, path.c_str(), strerror(errno));
    return;
  }
  uint32_t dropped = 0;
  const std::string kept = kept_lines(s, text, &dropped);
  if (dropped == 0) return;
  // The file as it was goes first, so nothing is lost whatever happens next.
  if (!text.empty() && text.back() != '\n') text.push_back('\n');
  const std::string corrupt = path + ".corrupt";
  if (tavo::files::append_lines(corrupt, text, kCheckMode) != 0 ||
      tavo::files::replace_file(path, kept, kCheckMode) != 0) {
    pdebug(TAVO_LOG_BACKEND, 2, "%s: %s kept as it was\n", __func__, path.c_str());
    return;
  }
  pdebug(TAVO_LOG_BACKEND, 2, "%s: %s held %u corrupted lines; the file as it was is kept in %s\n", __func__,
         path.c_str(), dropped, corrupt.c_str());
}

}  // namespace

uint32_t TAVO_check_for_corrupted_database(void) {
  // A change of several files that a kill cut short is completed (or
  // dropped) first: the files are checked as they are meant to be.
  complete_saved_changes();
  for (Saved s : kAllSaved) check_file(s);
  return 0;
}
