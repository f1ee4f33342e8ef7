// Starts as a management client, makes one change to the saved targets and
// exits: the cost of a process that runs one command, for
// tools/compare-iscsiadm.
//   tavo_target_command add NAME ADDRESS       AddTarget on the first LogicalHBA
//   tavo_target_command chap NAME USER SECRET  One-Way CHAP of the target of that name
// Exits 0 on success, 1 with the library's last status on standard error.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

using tavo_tools::groups_named;
using tavo_tools::Params;
using tavo_tools::read_named;
using tavo_tools::run_action;

// The child group tags along a path of display names from ROOT; 0 for none.
uint32_t group_at(const std::vector<const char*>& path) {
  uint32_t tag = 0;
  for (const char* name : path)
    if (TAVO_get_node_tag(tag, name, &tag, TAVO_KIND_GROUP) != 0) return 0;
  return tag;
}

// Named straight, as a client that knows where it adds: no walk of the
// targets already there.
bool add_target(const char* name, const char* address) {
  Params params;
  params.set(0, name);
  params.set(1, address);
  return run_action(group_at({"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0"}), "AddTarget", params);
}

// The target is looked up by name, as the peer's tool takes it.
bool change_chap(const char* name, const char* user, const char* secret) {
  for (uint32_t lhba : tavo_tools::logical_hbas())
    for (uint32_t target : groups_named(lhba, "Target")) {
      char value[TAVO_VALUE_SIZE];
      read_named(target, "TargetISCSIName", value);
      if (strcmp(value, name) != 0) continue;
      uint32_t options = 0, authentication = 0;
      if (TAVO_get_node_tag(target, "TargetLoginOptions", &options, TAVO_KIND_GROUP) != 0 ||
          TAVO_get_node_tag(options, "Authentication", &authentication, TAVO_KIND_GROUP) != 0)
        return false;
      Params params;
      params.set(0, "One-Way CHAP");
      params.set(3, user);
      params.set(4, secret);
      return run_action(authentication, "ConfigureCHAP", params);
    }
  fprintf(stderr, "no target %s\n", name);
  return false;
}

bool run(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "add") == 0) return add_target(argv[2], argv[3]);
  if (argc == 5 && strcmp(argv[1], "chap") == 0) return change_chap(argv[2], argv[3], argv[4]);
  fprintf(stderr, "usage: %s add NAME ADDRESS | chap NAME USER SECRET\n", argv[0]);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (TAVO_init() != 0) {
    fprintf(stderr, "TAVO_init failed\n");
    return 1;
  }
  const bool done = run(argc, argv);
  if (!done) tavo_tools::report_failure(argc > 1 ? argv[1] : "command");
  return TAVO_exit() == 0 && done ? 0 : 1;
}
