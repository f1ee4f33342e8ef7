// Writing saved files so that a killed process, a power cut, a full disk or
// an I/O error never leaves one empty or cut: every saved file of the
// library is written through these two calls.
//
// path is a fixed host path ("/etc/config/QVL/tavo/libtavo.conf"), placed
// under the root. Both answer 0, or 1 with the reason in the last status
// (code 1, "Failed to save <path>: <reason>.") and a debug line; on failure
// the file keeps its old content.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace tavo::files {

// Replaces the whole file: a temporary file beside it, created with mode, is
// written, flushed to disk and renamed over the file, then the directory is
// flushed. Readers see the old content or the new, never an empty or partial
// file. A failure after the rename (flushing the directory) is reported
// too: the new content is in place but might not survive a power cut.
// Writers that read a file, change it and replace it serialise among
// themselves (tavo_lock_file on the file, or the library lock).
uint32_t replace_file(const std::string& path, std::string_view content, mode_t mode);

// Appends lines (the text should end with a line feed) to the file, created
// with mode when missing, under the file's fcntl write lock, and flushes
// them to disk. A failed or short write is cut off again, so the file ends
// with its last whole line.
uint32_t append_lines(const std::string& path, std::string_view lines, mode_t mode);

}  // namespace tavo::files
