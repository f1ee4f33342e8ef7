#include "base/shell_args.h"

#include <string.h>

namespace tavo::base {
namespace {

bool plain_text(const char* text, size_t max_length, bool slashes) {
  if (text == nullptr) return false;
  const size_t n = strnlen(text, max_length + 1);
  if (n == 0 || n > max_length) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == ':' || c == '-' || (slashes && c == '/');
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool valid_plain_name(const char* name, size_t max_length) { return plain_text(name, max_length, false); }

bool valid_plain_path(const char* path, size_t max_length) { return plain_text(path, max_length, true); }

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
