// The start-up check of the saved iSCSI files. It never destroys
// configuration: a malformed line goes alone, after the file as it was is
// kept beside it, and every other line stays as it was.
#include <errno.h>
#include <string.h>

#include <string>

#include "base/save_file.h"
#include "iscsi/targets/saved_records.h"
#include "iscsi/targets/targets.h"

using namespace tavo::targets;

std::string tavo::targets::kept_lines(Saved s, std::string_view text, uint32_t* dropped) {
  std::string kept;
  uint32_t number = 0;
  for_each_line(text, [&](std::string_view line, bool) {
    ++number;
    if (line.empty()) return;
    const auto fields = split_fields(line);
    if (line.size() <= kMaxSavedLine && well_formed(s, fields)) {
      kept.append(line);
      kept.push_back('\n');
      return;
    }
    ++*dropped;
    pdebug(TAVO_LOG_BACKEND, 2, "%s:tokens = %d, line %u of %s corrupted. So dropping it.\n",
           "TAVO_check_for_corrupted_database", static_cast<int>(fields.empty() ? 0 : fields.size() - 1), number,
           record_def(s).path);
  });
  return kept;
}

namespace {

constexpr mode_t kCheckMode = 0600;

void check_file(Saved s) {
  const std::string path = record_def(s).path;
  tavo::files::SaveLock lock(path);
  if (!lock.held()) return;
  tavo::files::remove_leftover_temporaries(path);
  std::string text;
  tavo::files::FileIdentity id;
  if (tavo::files::read_saved(path, 0, &text, &id) != 0) {
    if (errno != ENOENT) pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot read %s: %s\n", __func__, path.c_str(), strerror(errno));
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
  for (Saved s : kAllSaved) check_file(s);
  return 0;
}
