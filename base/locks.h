// Client marker locks in /tmp and fcntl write locks on open files.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "tavo/tavo_export.h"

TAVO_BEGIN_DECLS

// The start lock /tmp/tavo_lock_init.txt: 0 taken, 1 held by another or
// not creatable (after one wait of 3 seconds).
TAVO_EXPORT uint32_t tavo_init_acquire_lock(void);
// 0 when the marker was there (it is removed), 1 without a marker.
TAVO_EXPORT uint32_t tavo_init_release_lock(void);
// The named lock /tmp/TAVO_ASIC_<name>.txt; as above, 1 for a name that is
// empty or not plain (letters, digits, "_", "-", ".", ":"; at most 200).
TAVO_EXPORT uint32_t tavo_acquire_lock(const char* name);
TAVO_EXPORT uint32_t tavo_release_lock(const char* name);
// Nothing to set up or free; both answer 0.
TAVO_EXPORT uint32_t tavo_lock_init(void);
TAVO_EXPORT uint32_t tavo_lock_free(void);

// Blocks until the process holds a write lock on the whole file behind a
// stream from TAVO_file_open; 0, or 1 on failure.
TAVO_EXPORT uint32_t tavo_lock_file(FILE* stream);
// Flushes the stream and releases the lock; 0, or 1 on failure.
TAVO_EXPORT uint32_t tavo_unlock_file(FILE* stream);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::files {

// fcntl record lock request (cmd F_SETLK or F_SETLKW, type F_WRLCK or
// F_UNLCK) over the whole file, however long it grows; retried when a
// signal interrupts it. 0, or -1 with errno.
int lock_whole_file(int fd, int cmd, short type);

}  // namespace tavo::files
#endif
