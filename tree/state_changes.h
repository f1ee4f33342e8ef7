// Counts that tell a branch whether what it read before may still stand.
// All under the library lock.
#pragma once

#include <stdint.h>

namespace tavo::tree {

// Public calls that may change what the adapter or the tree holds: a value
// set, an action, a group refreshed, a client's start or end, and a
// rebuild of the tree. Each is counted as it starts and again as it ends,
// so a count read before it and one read after always differ. The changes
// other processes made count too (root_changed).
uint64_t state_changes();
// Another process changed the root: the gate's keeper of the tree
// (base/root_gate.h; backend/hooks.cpp lists them). What was read before
// stands no more, and the tree follows the change at its next outermost
// call (tree/api_guard.h).
void root_changed();
// True while one of those calls runs: what a handler reads inside it may
// go stale before the call ends.
bool changing();
// Marks one such call from its start to its end.
class ChangingCall {
 public:
  ChangingCall();
  ~ChangingCall();
  ChangingCall(const ChangingCall&) = delete;
  ChangingCall& operator=(const ChangingCall&) = delete;
};

// Nodes deleted from the tree, whatever deleted them (each deletion of a
// subtree counts once).
uint64_t deletions();
void count_deletion();

}  // namespace tavo::tree
