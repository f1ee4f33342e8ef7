// Safe pieces of shell command lines built from names the library is given.
#pragma once

#include <stddef.h>

#include <string>

namespace tavo::base {

// A plain name, fit for a command line or as part of a file name:
// [A-Za-z0-9_.:-], 1 to max_length characters.
bool valid_plain_name(const char* name, size_t max_length);

// An interface name (or PCI address) fit for a command line: a plain name
// of 1 to 15 characters.
inline bool valid_shell_name(const char* name) { return valid_plain_name(name, 15); }

// text as one single-quoted shell word.
std::string shell_quote(const std::string& text);

}  // namespace tavo::base
