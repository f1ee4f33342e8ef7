// Starts as a management client and exits: the cost of one user's start on
// a root, for tools/run-bench, which counts a whole process's
// instructions (those inside TAVO_do_action too, for the adds).
//   tavo_start                  start and exit, nothing asked between
//   tavo_start [--walk] --add N N targets added to the first LogicalHBA,
//                               named straight (no walk of its targets);
//                               --walk first names every Target of every
//                               LogicalHBA, which builds them all
// Prints the Targets walked. Public calls only, so that one source builds
// against any version of the library.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

size_t walk_targets() {
  size_t targets = 0;
  for (uint32_t lhba : tavo_tools::logical_hbas()) targets += tavo_tools::groups_named(lhba, "Target").size();
  return targets;
}

// Names no saved target has (tools/run-bench saves "...:targetN").
bool add_targets(long n) {
  uint32_t tag = 0;
  for (const char* name : {"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0"})
    if (TAVO_get_node_tag(tag, name, &tag, TAVO_KIND_GROUP) != 0) return false;
  const std::string stem = "iqn.2026-01.com.example:added";
  for (long i = 0; i < n; ++i) {
    tavo_tools::Params params;
    params.set(0, (stem + std::to_string(i)).c_str());
    params.set(1, "10.0.0.9");
    if (!tavo_tools::run_action(tag, "AddTarget", params)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool walk = false;
  long adds = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--walk") == 0) {
      walk = true;
    } else if (strcmp(argv[i], "--add") == 0 && i + 1 < argc) {
      adds = strtol(argv[++i], nullptr, 10);
    } else {
      fprintf(stderr, "usage: %s [--walk] [--add N]\n", argv[0]);
      return 2;
    }
  }
  if (TAVO_init() != 0) {
    fprintf(stderr, "TAVO_init failed\n");
    return 1;
  }
  if (walk) printf("%zu targets\n", walk_targets());
  const bool added = add_targets(adds);
  if (!added) tavo_tools::report_failure("AddTarget");
  return TAVO_exit() == 0 && added ? 0 : 1;
}
