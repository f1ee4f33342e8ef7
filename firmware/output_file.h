// The files a client names for dumps and logs: made anew, or appended to,
// each write all or nothing and flushed to disk, so that a failed write
// never leaves a file cut where it is reported whole.
#pragma once

#include <stddef.h>

namespace tavo::firmware {

// The file made anew with exactly these bytes (any file of that name is
// removed first): 0, or -1 with errno, and then no file is left.
int output_write(const char* path, const void* bytes, size_t length);
// Appends length bytes (the file is created when missing): 0, or -1 with
// errno and the file as it was; *opened, when given, tells whether the file
// could be opened.
int output_append(const char* path, const void* bytes, size_t length, bool* opened = nullptr);

}  // namespace tavo::firmware
