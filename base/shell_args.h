// Safe pieces of shell command lines built from names the library is given.
#pragma once

#include <string>

namespace tavo::base {

// An interface name (or PCI address) fit for a command line:
// [A-Za-z0-9_.:-], 1 to 15 characters.
bool valid_shell_name(const char* name);

// text as one single-quoted shell word.
std::string shell_quote(const std::string& text);

}  // namespace tavo::base
