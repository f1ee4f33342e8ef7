// Opening, closing, deleting and chmod of host files, each with its debug
// line. Streams are cookie streams over the host seam and have no
// descriptor of their own, so the path each was opened on is kept here for
// the fcntl locks.
#include "base/file_utils.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/save_file_internal.h"
#include "base/memory.h"

namespace tavo::files {
namespace {

struct FilesStream {
  std::string path;
  int lock_fd = -1;
};

std::mutex files_mutex;
std::map<FILE*, FilesStream> files_streams;

}  // namespace


bool readable(const std::string& host_path) {
  // Not waiting for the writer of a FIFO planted there.
  int fd = platform::host().open(host_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return false;
  platform::host().close(fd);
  return true;
}

int ensure_mode(const std::string& host_path, mode_t mode) {
  const int fd = platform::host().open(host_path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd >= 0) {
    struct stat st;
    const bool same = platform::host().fstat(fd, &st) == 0 && (st.st_mode & 07777) == mode;
    platform::host().close(fd);
    if (same) return 0;
  }
  return platform::host().chmod(host_path, mode);
}

bool never_saved(const std::string& path) {
  const std::string file = platform::fixed_path(path);
  struct stat st;
  for (const std::string& name : {file, file + ".lock"})
    if (platform::host().stat(name, &st) == 0 || errno != ENOENT) return false;
  // Nor a temporary file of a save ("<name>.tmp.<pid>.<n>") beside it.
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string prefix = file.substr(slash + 1) + ".tmp.";
  std::vector<std::string> names;
  if (platform::host().list_directory(file.substr(0, slash == 0 ? 1 : slash), &names) != 0) return errno == ENOENT;
  for (const std::string& name : names)
    if (name.compare(0, prefix.size(), prefix) == 0) return false;
  return true;
}

int make_dirs(const std::string& host_path, mode_t mode) {
  for (size_t end = host_path.find('/', 1);; end = host_path.find('/', end + 1)) {
    const std::string dir = host_path.substr(0, end);
    struct stat st;
    // Only missing levels are made: those above the root are never touched.
    if (!dir.empty() && platform::host().stat(dir, &st) != 0 && platform::host().mkdir(dir, mode) != 0 &&
        errno != EEXIST)
      return -1;
    if (end == std::string::npos) return 0;
  }
}

std::string stream_path(FILE* stream) {
  std::lock_guard<std::mutex> guard(files_mutex);
  auto it = files_streams.find(stream);
  return it == files_streams.end() ? std::string() : it->second.path;
}

int stream_lock_fd(FILE* stream) {
  std::lock_guard<std::mutex> guard(files_mutex);
  auto it = files_streams.find(stream);
  return it == files_streams.end() ? -1 : it->second.lock_fd;
}

void set_stream_lock_fd(FILE* stream, int fd) {
  std::lock_guard<std::mutex> guard(files_mutex);
  auto it = files_streams.find(stream);
  if (it != files_streams.end()) it->second.lock_fd = fd;
}

}  // namespace tavo::files


FILE* TAVO_file_open(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  pdebug(TAVO_LOG_BACKEND, 6, "%s: opening %s in %s mode\n", "TAVO_file_open", path, mode);
  std::string host = tavo::platform::fixed_path(path);
  FILE* stream = tavo::platform::open_stream(host, mode);
  if (stream != nullptr) {
    std::lock_guard<std::mutex> guard(tavo::files::files_mutex);
    tavo::files::files_streams[stream] = tavo::files::FilesStream{host, -1};
  }
  return stream;
}

void TAVO_file_close(FILE* stream) {
  if (stream == nullptr) return;
  int lock_fd = -1;
  {
    std::lock_guard<std::mutex> guard(tavo::files::files_mutex);
    auto it = tavo::files::files_streams.find(stream);
    if (it != tavo::files::files_streams.end()) {
      lock_fd = it->second.lock_fd;
      tavo::files::files_streams.erase(it);
    }
  }
  // The buffered data reaches the file before a lock still held goes.
  fclose(stream);
  if (lock_fd >= 0) tavo::platform::host().close(lock_fd);
}

void TAVO_delete_file(const char* path) {
  if (path == nullptr) return;
  std::string host = tavo::platform::fixed_path(path);
  if (!tavo::files::readable(host)) return;
  pdebug(TAVO_LOG_BACKEND, 6, "%s: %s deleted\n", "TAVO_delete_file", path);
  const tavo::files::RootWrite write;
  if (write.allowed()) tavo::platform::host().unlink(host);
}

void TAVO_change_permissions_file(const char* path) {
  if (path == nullptr) return;
  std::string host = tavo::platform::fixed_path(path);
  int fd = tavo::platform::host().open(host, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return;
  if (tavo::files::ensure_mode(host, 0644) != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "Failed change the permissions for %s file\n", path);
  tavo::platform::host().close(fd);
}
