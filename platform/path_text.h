// Paths taken by their text alone, with no look at the file system: what
// fixed_path and the simulator's check of its root agree on.
#pragma once

#include <string>
#include <string_view>

namespace tavo::platform {

// An absolute path with "." and ".." resolved by the text alone, never above
// "/" (as in a chroot); empty names between slashes dropped, a final slash
// kept ("/etc/config/QVL/tavo/" is a folder its callers append names to).
inline std::string resolve_dots(const std::string& path) {
  if (path.empty()) return "/";
  std::string out;
  out.reserve(path.size() + 1);
  for (size_t from = 0; from <= path.size();) {
    size_t to = path.find('/', from);
    if (to == std::string::npos) to = path.size();
    const std::string_view part(path.data() + from, to - from);
    if (part == "..") {
      const size_t last = out.rfind('/');
      if (last != std::string::npos) out.resize(last);
    } else if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    from = to + 1;
  }
  if (out.empty()) return "/";
  if (path.back() == '/' || path.ends_with("/.") || path.ends_with("/..")) out += '/';
  return out;
}

// Whether resolve_dots would give the path back as it is: absolute, with no
// "." or ".." names and no empty ones but a final slash's.
inline bool dots_resolved(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  for (size_t from = 1; from < path.size();) {
    size_t to = path.find('/', from);
    if (to == std::string_view::npos) to = path.size();
    const std::string_view part = path.substr(from, to - from);
    if (part.empty() || part == "." || part == "..") return false;
    from = to + 1;
  }
  return true;
}

}  // namespace tavo::platform
