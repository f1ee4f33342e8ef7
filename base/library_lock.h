// The one lock over the library's shared state: the tree, the back end's
// record and the driver devices. It is recursive: a public call holds it
// while its handlers send commands, which take it again. Its outermost hold
// also holds the gate between the processes that share the root
// (base/root_gate.h), as the call's use of the root asks. Nothing else is
// locked while waiting for it (the log, file and simulator locks are taken
// inside it, never around it), so it cannot deadlock with them.
//
// A process that forks waits for the other threads' calls to end, so the
// child starts with the lock free and the library's state whole.
#pragma once

#include <stdint.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "base/root_gate.h"

namespace tavo::base {

class LibraryMutex {
 public:
  LibraryMutex();
  void lock() { lock(RootUse::Change); }
  void lock(RootUse use) {
    if (owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
    call_ = ++calls_;
    enter_root_gate(use);
  }
  void unlock() {
    if (--depth_ > 0) return;
    // The gate goes while the lock is still held: a line it logs is too.
    leave_root_gate();
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // See library_call.
  uint64_t call() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id() ? call_ : 0;
  }

 private:
  static void before_fork();
  static void after_fork_in_parent();
  static void after_fork_in_child();
  // Not recursive itself: a plain mutex may be let go in a forked child,
  // whose thread has another id for the system.
  std::mutex mutex_;
  // Changed by the holder only; the owner read by any thread, to tell
  // whether it holds the lock.
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
  uint64_t call_ = 0, calls_ = 0;
};

LibraryMutex& library_mutex();

using LibraryLock = std::lock_guard<LibraryMutex>;

// The library call the thread is in: a number of its own each time the
// thread takes the lock while holding it nowhere, kept until it lets the
// lock go last; 0 while the thread holds no lock. What one call read
// stands for the rest of it where no other thread may change it.
inline uint64_t library_call() { return library_mutex().call(); }

}  // namespace tavo::base

// Holds the library lock to the end of the enclosing block.
#define TAVO_LIBRARY_LOCK ::tavo::base::LibraryLock tavo_library_lock_(::tavo::base::library_mutex())
