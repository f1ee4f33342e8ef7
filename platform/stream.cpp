// stdio streams over the host's file calls, so that buffered I/O in the
// library meets the same fault hooks as raw descriptor calls.
#include <errno.h>
#include <string.h>

#include "platform/host.h"

namespace tavo::platform {
namespace {

struct Cookie {
  int fd;
};

ssize_t stream_read(void* c, char* buf, size_t n) {
  return host().read(static_cast<Cookie*>(c)->fd, buf, n);
}

ssize_t stream_write(void* c, const char* buf, size_t n) {
  // stdio treats a short count as an error; keep writing what is left.
  size_t done = 0;
  while (done < n) {
    ssize_t w = host().write(static_cast<Cookie*>(c)->fd, buf + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<ssize_t>(done) : -1;
    }
    if (w == 0) break;
    done += static_cast<size_t>(w);
  }
  return static_cast<ssize_t>(done);
}

int stream_seek(void* c, off64_t* offset, int whence) {
  off_t r = host().seek(static_cast<Cookie*>(c)->fd, static_cast<off_t>(*offset), whence);
  if (r < 0) return -1;
  *offset = r;
  return 0;
}

int stream_close(void* c) {
  auto* cookie = static_cast<Cookie*>(c);
  int r = host().close(cookie->fd);
  delete cookie;
  return r;
}

}  // namespace

FILE* open_stream(const std::string& path, const char* mode) {
  if (mode == nullptr || mode[0] == '\0') {
    errno = EINVAL;
    return nullptr;
  }
  int flags = 0;
  bool plus = strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r': flags = plus ? O_RDWR : O_RDONLY; break;
    case 'w': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
    case 'a': flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
    default: errno = EINVAL; return nullptr;
  }
  if (strchr(mode, 'e')) flags |= O_CLOEXEC;
  if (strchr(mode, 'x')) flags |= O_EXCL;
  // A stream that writes never writes through a link planted at its path.
  if (mode[0] != 'r' || plus) flags |= O_NOFOLLOW;
  int fd = host().open(path, flags, 0644);
  if (fd < 0) return nullptr;
  return stream_over(fd, mode);
}

FILE* stream_over(int fd, const char* mode) {
  auto* cookie = new Cookie{fd};
  cookie_io_functions_t io = {stream_read, stream_write, stream_seek, stream_close};
  FILE* f = fopencookie(cookie, mode, io);
  if (f == nullptr) {
    int saved = errno;
    host().close(fd);
    delete cookie;
    errno = saved;
  }
  return f;
}

}  // namespace tavo::platform
