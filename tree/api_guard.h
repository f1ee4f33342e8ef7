// One guard on every exported entry point: callers of one process are
// serialised by the library lock (base/library_lock.h), and a tree rebuild
// asked for while a call runs waits until the outermost call returns, so no
// handler ever runs on freed nodes. The outermost call first follows what
// other processes changed of the root.
#pragma once

#include <stdint.h>

#include "base/root_gate.h"

namespace tavo::tree {

class ApiGuard {
 public:
  // use: what the call does with the root (base/root_gate.h).
  explicit ApiGuard(base::RootUse use = base::RootUse::Change);
  ~ApiGuard();
  ApiGuard(const ApiGuard&) = delete;
  ApiGuard& operator=(const ApiGuard&) = delete;
};

// Asks for the whole tree to be rebuilt (the NIC function set changed).
// Outside any call it rebuilds at once; inside one (or while the tree is
// being built) the rebuild runs when the outermost call returns.
void request_rebuild();

// True while a tree build (init_hm) runs.
bool building();

// Marks the start and end of a tree build (init_hm).
class BuildScope {
 public:
  BuildScope();
  ~BuildScope();
};

// Connected clients: TAVO_init adds one, TAVO_exit takes one away. The tree
// is wanted while there are any.
int clients();
void add_clients(int delta);

// Builds the tree (init_hm); a failure is logged and leaves a status (the
// back end's own, else a general one). Answers init_hm's result.
uint32_t build_tree();

// The start of every public tree call after its guard: resets the last
// status and answers 0 when the call may go on. While clients are
// connected but the last build failed, the build is tried again; with no
// tree the call answers 1 and the status says why; a call that could not
// have the gate between processes answers its status.
uint32_t start_call();
// Whether the tree is there (without the reset).
bool tree_ready();

// Ends a wait on a device made with the gate between processes let go
// (base::RootGateLetGo): takes the gate back and follows what other
// processes changed meanwhile, before the call touches the tree or a file
// again. 0, or the status of a gate it could not have. Nodes the call held
// may have gone: it finds them again by reference (node_ref).
uint32_t rejoin_root(base::RootGateLetGo& let_go);

}  // namespace tavo::tree

#define TAVO_API_GUARD ::tavo::tree::ApiGuard tavo_api_guard_
// The guard of a call that only reads.
#define TAVO_API_READ_GUARD ::tavo::tree::ApiGuard tavo_api_guard_(::tavo::base::RootUse::Read)
