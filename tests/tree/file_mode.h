// The permission bits of a file or directory (0 when it is missing).
#pragma once

#include <sys/stat.h>

#include <string>

namespace tavo::test {

inline mode_t file_mode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace tavo::test
