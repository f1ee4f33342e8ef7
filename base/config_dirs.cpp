// The library's directories: the log directory before the log opens, the
// configuration directory when the back end starts. Directories get the
// search bit (0755) so that clients that are not root can use them; the
// saved iSCSI files hold CHAP secrets and are the owner's alone (0600).
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/sysinfo.h"
#include "base/timing.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

constexpr mode_t kDirMode = 0755;
constexpr mode_t kFileMode = 0644;
constexpr mode_t kSavedFileMode = 0600;

uint32_t (*saved_files_check)(void) = nullptr;

void dirs_scratch() {
  if (TAVO_get_esx_version() == 2) return;
  std::string scratch = tavo::platform::fixed_path("/scratch");
  if (!tavo::files::readable(scratch))
    tavo::platform::host().mkdir(scratch, kDirMode);
  else
    tavo::files::ensure_mode(scratch, kDirMode);
}

// Creates the directory when it is missing; answers whether it was. The
// host's own mkdir, never a shell: the root may hold any character.
bool dirs_ensure(const std::string& dir) {
  if (tavo::files::readable(dir)) return false;
  tavo::files::make_dirs(dir, kDirMode);
  return true;
}

}  // namespace

uint32_t TAVO_config_log_dir_permissions(void) {
  dirs_scratch();
  std::string dir = tavo::platform::fixed_path("/var/log/QVL/tavo");
  bool created = dirs_ensure(dir);
  tavo::files::ensure_mode(dir, kDirMode);
  std::string log = tavo::platform::fixed_path("/var/log/QVL/tavo/tavo2d.log");
  if (created && tavo::files::readable(log)) tavo::files::ensure_mode(log, kFileMode);
  return 0;
}

std::string tavo::base::unusable_root() {
  const std::string root = tavo::platform::host().root();
  if (root.empty()) return "";
  // A missing root is made with the first directory; one that is not a
  // directory, or lies below something that is not, can hold none.
  struct stat st;
  if (tavo::platform::host().stat(root, &st) == 0) {
    if (S_ISDIR(st.st_mode)) return "";
  } else if (errno != ENOTDIR && errno != ELOOP) {
    return "";
  }
  return "libtavo: TAVO_ROOT=" + root + ": not a directory";
}

void tavo::files::set_saved_files_check(uint32_t (*check)(void)) { saved_files_check = check; }

void tavo::base::make_config_dir() {
  const std::string dir = tavo::platform::fixed_path("/etc/config/QVL/tavo/");
  dirs_ensure(dir);
  tavo::files::ensure_mode(dir, kDirMode);
}

uint32_t TAVO_config_dir_permssions(void) {
  dirs_scratch();
  tavo::base::make_config_dir();
  memset(tavo_glob_timer, 0, sizeof tavo_glob_timer);
  if (saved_files_check != nullptr) saved_files_check();
  for (const char* saved : {"/etc/config/QVL/tavo/savetgt.txt", "/etc/config/QVL/tavo/savestp.txt",
                            "/etc/config/QVL/tavo/intr_logopts.txt"}) {
    const std::string path = tavo::platform::fixed_path(saved);
    if (!tavo::files::readable(path)) continue;
    pdebug(TAVO_LOG_BACKEND, 6, "%s:File %s found.\n", "TAVO_config_dir_permssions", saved);
    if (tavo::files::ensure_mode(path, kSavedFileMode) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "Failed change the permissions for %s file\n", saved);
  }
  return 0;
}
