#include "tree/state_changes.h"

#include "tree/tree_internal.h"

namespace tavo::tree {
namespace {

uint64_t change_count = 0;
int changing_depth = 0;
uint64_t deletion_count = 0;

}  // namespace

uint64_t state_changes() { return change_count; }

void root_changed() {
  ++change_count;
  root_unfollowed = true;
}

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
