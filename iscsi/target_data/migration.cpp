// Saved iSCSI files of older versions, moved in from their locations under
// /scratch at every start. Each step can run again after a crash: a file
// is removed only once its lines are in place, and lines already there are
// not added twice.
#include <errno.h>
#include <string.h>

#include <string>
#include <unordered_set>

#include "base/save_file.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/target_data/target_data.h"
#include "platform/host.h"

namespace {

constexpr mode_t kMigratedMode = 0600;
constexpr char kCurrentDir[] = "/etc/config/QVL/tavo/";
constexpr const char* kSavedNames[] = {"savetgt.txt", "savestp.txt", "intr_logopts.txt"};

// The old file's content: 0 (false when there is none), or -1.
int migration_read(const std::string& path, std::string* text, bool* found) {
  tavo::files::FileIdentity id;
  *found = tavo::files::read_saved(path, 0, text, &id) == 0;
  return *found || errno == ENOENT ? 0 : -1;
}

uint32_t migration_remove(const std::string& old_path) {
  if (tavo::platform::host().unlink(tavo::platform::fixed_path(old_path)) == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "Failed to remove old files %s\n", old_path.c_str());
  return 1;
}

// The old file replaces the current one (its name and content, mode 0600).
uint32_t migration_move(const std::string& old_path, const std::string& current_path) {
  std::string text;
  bool found = false;
  if (migration_read(old_path, &text, &found) != 0) return 1;
  if (!found) return 0;
  {
    tavo::files::SaveLock lock(current_path);
    if (!lock.held() || tavo::files::replace_file(current_path, text, kMigratedMode) != 0) return 1;
  }
  return migration_remove(old_path);
}

}  // namespace

uint32_t TAVO_backup_old_configuration(const char* old_path, const char* current_path) {
  if (old_path == nullptr || current_path == nullptr) return 1;
  std::string old_text, current_text;
  bool found = false, current_found = false;
  if (migration_read(old_path, &old_text, &found) != 0) return 1;
  if (!found) return 0;
  {
    tavo::files::SaveLock lock(current_path);
    if (!lock.held() || migration_read(current_path, &current_text, &current_found) != 0) return 1;
    std::unordered_set<std::string_view> present;
    tavo::iscsi::for_each_line(current_text, [&](std::string_view line, bool) { present.insert(line); });
    std::string added;
    tavo::iscsi::for_each_line(old_text, [&](std::string_view line, bool) {
      if (line.empty() || present.count(line)) return;
      added.append(line);
      added.push_back('\n');
    });
    if (!added.empty() && tavo::files::append_lines(current_path, added, kMigratedMode) != 0) return 1;
  }
  return migration_remove(old_path);
}

void TAVO_save_file_configuration(void) {
  uint32_t status = 0;
  for (const char* dir : {"/scratch/Quorvel/", "/scratch/ostrand/tavo/"})
    for (const char* name : kSavedNames)
      status |= migration_move(std::string(dir) + name, std::string(kCurrentDir) + name);
  for (const char* dir : {"/scratch/config/QVL/tavo/", "/scratch/ostrand/tavo/"})
    for (const char* name : kSavedNames)
      status |=
          TAVO_backup_old_configuration((std::string(dir) + name).c_str(), (std::string(kCurrentDir) + name).c_str());
  pdebug(TAVO_LOG_BACKEND, 6, "%s:status = %d\n", __func__, static_cast<int>(status));
}
