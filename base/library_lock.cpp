#include "base/library_lock.h"

#include <pthread.h>

namespace tavo::base {

LibraryMutex& library_mutex() {
  static LibraryMutex mutex;
  return mutex;
}

LibraryMutex::LibraryMutex() { pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child); }

// The forking thread may be inside a call itself (a handler that runs a
// command): then it holds the lock already.
void LibraryMutex::before_fork() {
  LibraryMutex& m = library_mutex();
  if (m.owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) m.mutex_.lock();
}

void LibraryMutex::after_fork_in_parent() {
  LibraryMutex& m = library_mutex();
  if (m.owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) m.mutex_.unlock();
}

void LibraryMutex::after_fork_in_child() {
  LibraryMutex& m = library_mutex();
  forget_root_gate_in_child();
  if (m.owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) m.mutex_.unlock();
}

}  // namespace tavo::base
