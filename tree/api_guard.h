// One guard on every exported entry point: callers of one process are
// serialised by a recursive mutex, and a tree rebuild asked for while a call
// runs waits until the outermost call returns, so no handler ever runs on
// freed nodes.
#pragma once

namespace tavo::tree {

class ApiGuard {
 public:
  ApiGuard();
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

}  // namespace tavo::tree

#define TAVO_API_GUARD ::tavo::tree::ApiGuard tavo_api_guard_
