#include "base/shell_args.h"

#include <string.h>

namespace tavo::base {

bool valid_plain_name(const char* name, size_t max_length) {
  if (name == nullptr) return false;
  const size_t n = strnlen(name, max_length + 1);
  if (n == 0 || n > max_length) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = name[i];
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == ':' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string shell_quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace tavo::base
