// The one lock over the library's shared state: the tree, the back end's
// record and the driver devices. It is recursive: a public call holds it
// while its handlers send commands, which take it again. Nothing else is
// locked while waiting for it (the log, file and simulator locks are taken
// inside it, never around it), so it cannot deadlock with them.
#pragma once

#include <mutex>

namespace tavo::base {

std::recursive_mutex& library_mutex();

using LibraryLock = std::lock_guard<std::recursive_mutex>;

}  // namespace tavo::base

// Holds the library lock to the end of the enclosing block.
#define TAVO_LIBRARY_LOCK ::tavo::base::LibraryLock tavo_library_lock_(::tavo::base::library_mutex())
