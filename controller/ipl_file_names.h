// The IPL file-name table of CV3 and Moravel controllers.
#pragma once

#include <stddef.h>

namespace tavo::controller {

inline constexpr size_t kIplFileNameRows = 152;

// Row of the table (a NUL-terminated text of at most 34 characters), or
// null past its end.
const char* ipl_file_name(size_t row);

}  // namespace tavo::controller
