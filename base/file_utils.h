// Thin file wrappers that log, and the routines that cut a line into fields.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// Opens a host path with an fopen mode ("r", "w", "a+", "ab+", ...). NULL
// when path or mode is missing or the open fails. Close the stream with
// TAVO_file_close (the file locks of base/locks.h know it until then).
TAVO_EXPORT FILE* TAVO_file_open(const char* path, const char* mode);
// Closes a stream from TAVO_file_open; NULL is ignored.
TAVO_EXPORT void TAVO_file_close(FILE* stream);
// Removes the file when it exists and is readable.
TAVO_EXPORT void TAVO_delete_file(const char* path);
// Sets mode 0644 on an existing readable file.
TAVO_EXPORT void TAVO_change_permissions_file(const char* path);

// Replaces every character of text found in delimiters by NUL; answers how
// many were replaced (0 for a missing or empty text).
TAVO_EXPORT uint32_t backend_split(char* text, const char* delimiters);
// Field (from 1) of text; runs of delimiters count as one. A new text from
// tavo_dmalloc (free it with tavo_dfree) without one final line feed, or
// NULL when the text holds no delimiter or has no such field.
TAVO_EXPORT char* tavo_parse(const char* text, uint32_t field, const char* delimiters);
// As tavo_parse, but empty fields between delimiters count.
TAVO_EXPORT char* parse_file(const char* text, uint32_t field, const char* delimiters);

TAVO_END_DECLS

#ifdef __cplusplus
#include <sys/types.h>

#include <string>

namespace tavo::files {

// True when the host path (file or directory) opens for reading.
bool readable(const std::string& host_path);
// chmod of the host path (never through a link planted there), unless it
// has that mode already: a chmod changes the status time, which readers of
// the saved files take for a change. 0, or -1 with errno.
int ensure_mode(const std::string& host_path, mode_t mode);
// Creates the host directory and the missing ones above it (mode each),
// as "mkdir -p" does; 0, or -1 with errno.
int make_dirs(const std::string& host_path, mode_t mode);
// True when neither the saved file at path (a fixed host path), nor the lock
// its saves take beside it ("<path>.lock"), nor a temporary file of a save
// ("<path>.tmp.*") is there: no save of it ever ran, so nothing of it is left to check or clear, and taking its lock
// would only make a file the machine does not need.
bool never_saved(const std::string& path);
// The host path a stream from TAVO_file_open was opened on ("" if unknown).
std::string stream_path(FILE* stream);
// The descriptor holding the stream's fcntl lock (-1 for none); set_... also
// records a new one.
int stream_lock_fd(FILE* stream);
void set_stream_lock_fd(FILE* stream, int fd);

// The check of the saved files that TAVO_config_dir_permssions runs once
// the configuration directory is there; the layer that owns those files
// registers it when the library loads (none: nothing is checked).
void set_saved_files_check(uint32_t (*check)(void));

}  // namespace tavo::files
#endif
