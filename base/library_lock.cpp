#include "base/library_lock.h"

namespace tavo::base {

LibraryMutex& library_mutex() {
  static LibraryMutex mutex;
  return mutex;
}

}  // namespace tavo::base
