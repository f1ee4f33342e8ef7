#include "tree/state_changes.h"

#include "base/root_gate.h"

namespace tavo::tree {
namespace {

uint64_t change_count = 0;
int changing_depth = 0;
uint64_t deletion_count = 0;

}  // namespace

// Another process's change moves the root's epoch: it counts as one too.
uint64_t state_changes() { return change_count + base::root_epoch(); }

bool changing() { return changing_depth > 0; }

ChangingCall::ChangingCall() {
  ++change_count;
  ++changing_depth;
}

ChangingCall::~ChangingCall() {
  --changing_depth;
  ++change_count;
}

uint64_t deletions() { return deletion_count; }

void count_deletion() { ++deletion_count; }

}  // namespace tavo::tree
