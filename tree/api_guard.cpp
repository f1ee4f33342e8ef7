#include "tree/api_guard.h"

#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/root_gate.h"
#include "tree/backend_hooks.h"
#include "base/read_scope.h"
#include "tree/status_texts.h"
#include "tree/state_changes.h"
#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

// All under the library lock.
int depth = 0;           // nesting of guarded calls
int build_depth = 0;     // nesting of tree builds
int client_count = 0;
bool rebuild_pending = false;

// Repeated changes of the NIC function set during a rebuild are followed a
// few times, not forever.
constexpr int kMaxRebuilds = 3;

void rebuild() {
  ChangingCall changes;
  for (int round = 0; round < kMaxRebuilds && rebuild_pending; ++round) {
    rebuild_pending = false;
    if (hm_find_hierarchy("") == nullptr) return;  // no tree to rebuild
    pdebug(TAVO_LOG_TREE, 5, "NIC functions changed: rebuilding the tree\n");
    exit_hm();
    build_tree();
  }
  if (rebuild_pending) {
    pdebug(TAVO_LOG_TREE, 3, "NIC functions keep changing: tree rebuild abandoned\n");
    rebuild_pending = false;
  }
}

// The outermost call brings the tree up to date with what another process
// changed of the root before it acts; what it leaves in the last status is
// the call's own.
void follow_root(bool outermost_only = true) {
  if ((outermost_only && depth != 1) || build_depth != 0 || !root_unfollowed || base::root_gate_refusal() != 0 ||
      hm_find_hierarchy("") == nullptr)
    return;
  root_unfollowed = false;
  const BackendHooks hooks = backend_hooks();
  if (hooks.follow_root == nullptr) return;
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  tavo_get_last_status(&code, text);
  ChangingCall changes;
  hooks.follow_root();
  tavo_set_last_status(code, text);
}

}  // namespace

ApiGuard::ApiGuard(base::RootUse use) {
  base::library_mutex().lock(use);
  ++depth;
  follow_root();
}

ApiGuard::~ApiGuard() {
  if (depth == 1 && rebuild_pending && build_depth == 0) rebuild();
  --depth;
  base::library_mutex().unlock();
}

void request_rebuild() {
  base::LibraryLock lock(base::library_mutex());
  rebuild_pending = true;
  if (depth == 0 && build_depth == 0) rebuild();
}

bool building() { return build_depth > 0; }

BuildScope::BuildScope() {
  base::library_mutex().lock();
  ++build_depth;
}

BuildScope::~BuildScope() {
  --build_depth;
  base::library_mutex().unlock();
}

int clients() { return client_count; }

void add_clients(int delta) { client_count += delta; }

uint32_t build_tree() {
  // A start-up asks the firmware each question once (base/read_scope.h).
  const uint32_t r = [] {
    base::ReadScope reads;
    return init_hm();
  }();
  if (r == 0) {
    root_unfollowed = false;
    return 0;
  }
  pdebug(TAVO_LOG_TREE, 3, "Failed to build the management tree (%u)\n", static_cast<unsigned>(r));
  if (base::last_status_code() == 0) kTreeBuildFailed.set();
  return r;
}

bool tree_ready() {
  if (hm_find_hierarchy("") != nullptr) return true;
  if (client_count > 0 && build_depth == 0) return build_tree() == 0;
  kNoTree.set();
  return false;
}

uint32_t rejoin_root(base::RootGateLetGo& let_go) {
  if (const uint32_t refused = let_go.take_back()) return refused;
  follow_root(false);
  return 0;
}

uint32_t start_call() {
  reset_last_status();
  if (const uint32_t refused = base::root_gate_refusal()) return refused;
  return tree_ready() ? 0 : 1;
}

}  // namespace tavo::tree
