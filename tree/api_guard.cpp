#include "tree/api_guard.h"

#include <mutex>

#include "base/debug_log.h"
#include "tree/tree.h"

namespace tavo::tree {
namespace {

std::recursive_mutex api_mutex;
int depth = 0;           // nesting of guarded calls (under api_mutex)
int build_depth = 0;     // nesting of tree builds
bool rebuild_pending = false;

// Repeated changes of the NIC function set during a rebuild are followed a
// few times, not forever.
constexpr int kMaxRebuilds = 3;

void rebuild() {
  for (int round = 0; round < kMaxRebuilds && rebuild_pending; ++round) {
    rebuild_pending = false;
    if (hm_find_hierarchy("") == nullptr) return;  // no tree to rebuild
    pdebug(TAVO_LOG_TREE, 5, "NIC functions changed: rebuilding the tree\n");
    exit_hm();
    init_hm();
  }
  if (rebuild_pending) {
    pdebug(TAVO_LOG_TREE, 3, "NIC functions keep changing: tree rebuild abandoned\n");
    rebuild_pending = false;
  }
}

}  // namespace

ApiGuard::ApiGuard() {
  api_mutex.lock();
  ++depth;
}

ApiGuard::~ApiGuard() {
  if (depth == 1 && rebuild_pending && build_depth == 0) rebuild();
  --depth;
  api_mutex.unlock();
}

void request_rebuild() {
  std::lock_guard<std::recursive_mutex> lock(api_mutex);
  rebuild_pending = true;
  if (depth == 0 && build_depth == 0) rebuild();
}

bool building() { return build_depth > 0; }

BuildScope::BuildScope() {
  api_mutex.lock();
  ++build_depth;
}

BuildScope::~BuildScope() {
  --build_depth;
  api_mutex.unlock();
}

}  // namespace tavo::tree
