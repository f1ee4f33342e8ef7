// Marker-file locks: the marker's presence is the lock. Markers are created
// exclusively, so two clients never both take a free lock.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>

#include <string>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/locks.h"
#include "base/shell_args.h"

namespace {

constexpr unsigned kMarkerWaitSeconds = 3;

constexpr size_t kMarkerNameMax = 200;

// Only a plain name keeps the marker a file in /tmp: no '/' leads elsewhere.
bool marker_name_valid(const char* caller, const char* name) {
  if (tavo::base::valid_plain_name(name, kMarkerNameMax)) return true;
  if (name != nullptr && name[0] != '\0')
    pdebug(TAVO_LOG_BACKEND, 3, "%s: lock name refused: %.*s\n", caller, static_cast<int>(kMarkerNameMax), name);
  return false;
}

std::string marker_named(const char* name) {
  char path[256];
  snprintf(path, sizeof path, "/tmp/TAVO_ASIC_%s.txt", name);
  return tavo::platform::fixed_path(path);
}

// True when this call created the marker; errno tells why not.
bool marker_create(const std::string& path) {
  int fd = tavo::platform::host().open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  tavo::platform::host().close(fd);
  return true;
}

uint32_t marker_acquire(const std::string& path) {
  if (marker_create(path)) return 0;
  if (errno != EEXIST) return 1;
  // Held: look once more after the wait.
  tavo::platform::host().sleep_seconds(kMarkerWaitSeconds);
  return marker_create(path) ? 0 : 1;
}

uint32_t marker_release(const std::string& path) {
  if (!tavo::files::readable(path)) return 1;
  tavo::platform::host().unlink(path);
  return 0;
}

}  // namespace

uint32_t tavo_init_acquire_lock(void) { return marker_acquire(tavo::platform::fixed_path("/tmp/tavo_lock_init.txt")); }

uint32_t tavo_init_release_lock(void) { return marker_release(tavo::platform::fixed_path("/tmp/tavo_lock_init.txt")); }

uint32_t tavo_acquire_lock(const char* name) {
  if (!marker_name_valid("tavo_acquire_lock", name)) return 1;
  return marker_acquire(marker_named(name));
}

uint32_t tavo_release_lock(const char* name) {
  if (!marker_name_valid("tavo_release_lock", name)) return 1;
  return marker_release(marker_named(name));
}

uint32_t tavo_lock_init(void) { return 0; }

uint32_t tavo_lock_free(void) { return 0; }
