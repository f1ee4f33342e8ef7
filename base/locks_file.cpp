// Whole-file fcntl write locks for the writers of saved files. A stream
// over the host seam has no descriptor, so the lock is held on a second
// descriptor of the same file (record locks belong to the process and the
// file, not to one descriptor).
#include <errno.h>
#include <fcntl.h>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/locks.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace tavo::files {

int lock_whole_file(int fd, int cmd, short type) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;  // the whole file, however long it grows
  int r;
  do {
    r = platform::host().lock(fd, cmd, &fl);
  } while (r != 0 && errno == EINTR);
  return r;
}

}  // namespace tavo::files

uint32_t tavo_lock_file(FILE* stream) {
  int fd = stream != nullptr ? fileno(stream) : -1;
  bool own = false;
  if (stream != nullptr && fd < 0) {
    fd = tavo::files::stream_lock_fd(stream);
    if (fd < 0) {
      std::string path = tavo::files::stream_path(stream);
      if (!path.empty()) fd = tavo::platform::host().open(path, O_WRONLY | O_CLOEXEC, 0);
      own = fd >= 0;
    }
  }
  if (fd < 0 || tavo::files::lock_whole_file(fd, F_SETLKW, F_WRLCK) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s Failed to get file lock\n", "tavo_lock_file");
    if (own) tavo::platform::host().close(fd);
    return 1;
  }
  if (own) tavo::files::set_stream_lock_fd(stream, fd);
  return 0;
}

uint32_t tavo_unlock_file(FILE* stream) {
  int fd = stream != nullptr ? fileno(stream) : -1;
  bool own = false;
  if (stream != nullptr && fd < 0) {
    fd = tavo::files::stream_lock_fd(stream);
    own = fd >= 0;
  }
  // What was written under the lock reaches the file before it goes; a
  // flush that failed is a failed unlock (the lock is released all the same).
  const bool flushed = stream == nullptr || fflush(stream) == 0;
  int r = fd >= 0 ? tavo::files::lock_whole_file(fd, F_SETLK, F_UNLCK) : -1;
  if (own) {
    tavo::files::set_stream_lock_fd(stream, -1);
    tavo::platform::host().close(fd);
  }
  if (r != 0 || !flushed) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s Failed to unlock file\n", "tavo_unlock_file");
    return 1;
  }
  return 0;
}
