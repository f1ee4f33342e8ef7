// The real host: thin POSIX calls.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/shm.h>
#include <unistd.h>

#include <string_view>

#include "platform/directory.h"
#include "platform/host.h"

namespace tavo::platform {
namespace {

// TAVO_ROOT without its final slashes: read each time, since a caller may
// change it.
std::string_view root_text() {
  const char* r = secure_getenv("TAVO_ROOT");
  std::string_view s = r ? r : "";
  while (s.size() > 1 && s.back() == '/') s.remove_suffix(1);
  return s;
}

class RealHost final : public Host {
 public:
  std::string root() const override { return std::string(root_text()); }
  bool root_is(const std::string& text) const override { return root_text() == text; }
  int open(const std::string& path, int flags, mode_t mode) override {
    return ::open(path.c_str(), flags, mode);
  }
  ssize_t read(int fd, void* buf, size_t n) override { return ::read(fd, buf, n); }
  ssize_t read_at(int fd, void* buf, size_t n, off_t offset) override { return ::pread(fd, buf, n, offset); }
  ssize_t write(int fd, const void* buf, size_t n) override { return ::write(fd, buf, n); }
  off_t seek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
  int truncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
  int fsync(int fd) override { return ::fsync(fd); }
  int fdatasync(int fd) override { return ::fdatasync(fd); }
  int fsync_dir(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = ::fsync(fd);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return r;
  }
  int close(int fd) override { return ::close(fd); }
  int rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str());
  }
  int unlink(const std::string& path) override { return ::unlink(path.c_str()); }
  int mkdir(const std::string& path, mode_t mode) override { return ::mkdir(path.c_str(), mode); }
  int chmod(const std::string& path, mode_t mode) override { return change_mode(path, mode); }
  int stat(const std::string& path, struct stat* st) override { return ::stat(path.c_str(), st); }
  int fstat(int fd, struct stat* st) override { return ::fstat(fd, st); }
  int set_modified(int fd, const timespec& when) override { return modify_time(fd, when); }
  int list_directory(const std::string& path, std::vector<std::string>* names) override {
    return read_directory(path, names);
  }
  int lock(int fd, int cmd, struct flock* fl) override { return ::fcntl(fd, cmd, fl); }
  int page_get(key_t key, size_t size, bool create) override {
    return ::shmget(key, size, create ? IPC_CREAT | 0644 : 0);
  }
  void* page_attach(int id, bool writable) override {
    void* at = ::shmat(id, nullptr, writable ? 0 : SHM_RDONLY);
    return at == reinterpret_cast<void*>(-1) ? nullptr : at;
  }
  int page_detach(const void* at) override { return ::shmdt(at); }
  int page_status(int id, struct shmid_ds* ds) override { return ::shmctl(id, IPC_STAT, ds); }
  int page_remove(int id) override { return ::shmctl(id, IPC_RMID, nullptr); }
  int device_open(const std::string& path, int flags) override { return ::open(path.c_str(), flags); }
  int device_ioctl(int fd, unsigned long request, void* arg) override {
    return ::ioctl(fd, request, arg);
  }
  int device_close(int fd) override { return ::close(fd); }
  int shell(const std::string& command) override { return ::system(command.c_str()); }
  int shell_output(const std::string& command, std::string* output) override {
    output->clear();
    FILE* pipe = ::popen(command.c_str(), "re");
    if (pipe == nullptr) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output->append(buf, n);
    return ::pclose(pipe);
  }
  time_t now() override { return ::time(nullptr); }
  timespec file_clock() override { return coarse_clock(); }
  uint64_t monotonic_ms() override { return real_ms(); }
  void sleep_seconds(unsigned seconds) override { ::sleep(seconds); }
  int host_name(char* buf, size_t len) override { return ::gethostname(buf, len); }
  int uname(struct utsname* out) override { return ::uname(out); }
};

}  // namespace

std::unique_ptr<Host> make_real_host() { return std::make_unique<RealHost>(); }

}  // namespace tavo::platform
