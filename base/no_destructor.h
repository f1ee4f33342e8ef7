// Stores that last as long as the process and are never destroyed: a
// process that ends without TAVO_exit spends nothing in its exit handlers
// walking what they hold (the system takes the memory back), and the last
// TAVO_exit empties them instead. What they hold stays reachable from
// static storage, so a leak check counts none of it.
#pragma once

#include <new>
#include <utility>

namespace tavo::base {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (bytes_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  // No destructor of T runs: that is the point.
  ~NoDestructor() = default;

  T& get() { return *std::launder(reinterpret_cast<T*>(bytes_)); }
  T& operator*() { return get(); }
  T* operator->() { return &get(); }

 private:
  alignas(T) unsigned char bytes_[sizeof(T)];
};

// Empties a container and gives its room back (clear() keeps it).
template <typename C>
void release(C& c) {
  C().swap(c);
}

}  // namespace tavo::base
