#include "base/read_scope.h"

#include <vector>

#include "base/no_destructor.h"

namespace tavo::base {
namespace {

// All under the library lock.
int scope_depth = 0;

std::vector<ScopedKept*>& every_kind() {
  static NoDestructor<std::vector<ScopedKept*>> kinds;
  return *kinds;
}

}  // namespace

ReadScope::ReadScope() { ++scope_depth; }

ReadScope::~ReadScope() {
  if (--scope_depth > 0) return;
  for (ScopedKept* kind : every_kind()) kind->scope_ended();
}

bool ReadScope::open() { return scope_depth > 0; }

ScopedKept::ScopedKept() { every_kind().push_back(this); }

void release_kept_reads() {
  for (ScopedKept* kind : every_kind()) kind->release();
}

}  // namespace tavo::base
