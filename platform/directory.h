// What both hosts do alike with POSIX calls (the directory listing, a mode
// change that follows no link, file times): inline, so the simulator
// module has it without linking the library.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tavo::platform {

// The names in path ("." and ".." left out) into *names (cleared first);
// 0, or -1 with errno.
inline int read_directory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return -1;
  while (const dirent* e = ::readdir(dir))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names->push_back(e->d_name);
  ::closedir(dir);
  return 0;
}

// chmod(2) of the file or directory at path itself: a link planted there
// fails (ELOOP) and its target keeps its mode. 0, or -1 with errno.
inline int change_mode(const std::string& path, mode_t mode) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  const int r = ::fchmod(fd, mode);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return r;
}

// futimens(2) of the modification time alone. 0, or -1 with errno.
inline int modify_time(int fd, const timespec& when) {
  const timespec times[2] = {{0, UTIME_OMIT}, when};
  return ::futimens(fd, times);
}

// The clock file changes are stamped from: a coarse clock, read without a
// system call.
inline timespec coarse_clock() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

}  // namespace tavo::platform
