#include "base/library_lock.h"

namespace tavo::base {

std::recursive_mutex& library_mutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

}  // namespace tavo::base
