// The names in a directory as POSIX lists them, for the hosts' directory
// listing: inline, so the simulator module has it without linking the
// library.
#pragma once

#include <dirent.h>
#include <string.h>

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

}  // namespace tavo::platform
