// Paths taken by their text alone, with no look at the file system: what
// fixed_path and the simulator's check of its root agree on.
#pragma once

#include <string>
#include <vector>

namespace tavo::platform {

// An absolute path with "." and ".." resolved by the text alone, never above
// "/" (as in a chroot); empty names between slashes dropped, a final slash
// kept ("/etc/config/QVL/tavo/" is a folder its callers append names to).
inline std::string resolve_dots(const std::string& path) {
  if (path.empty()) return "/";
  std::vector<std::string> parts;
  for (size_t from = 0; from <= path.size();) {
    size_t to = path.find('/', from);
    if (to == std::string::npos) to = path.size();
    const std::string part = path.substr(from, to - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = to + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  if (out.empty()) return "/";
  if (path.back() == '/' || path.ends_with("/.") || path.ends_with("/..")) out += "/";
  return out;
}

}  // namespace tavo::platform
