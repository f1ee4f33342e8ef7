// Starts as a management client, prints every saved iSCSI target (portal
// and name, one a line) and exits: the cost of a fresh process that lists
// the targets, for tools/compare-iscsiadm. With "--add N" it first adds N
// targets to the first LogicalHBA through its AddTarget action.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

using tavo_tools::groups_named;
using tavo_tools::read_named;

// N targets added through the LogicalHBAs' AddTarget actions, in turn.
bool add_targets(long n) {
  const std::vector<uint32_t> lhbas = tavo_tools::logical_hbas();
  if (lhbas.empty()) return false;
  for (long i = 0; i < n; ++i) {
    tavo_tools::Params params;
    params.set(0, ("iqn.2026-01.com.example:target" + std::to_string(i)).c_str());
    params.set(1, ("192.0.2." + std::to_string(1 + i % 200)).c_str());
    if (!tavo_tools::run_action(lhbas[static_cast<size_t>(i) % lhbas.size()], "AddTarget", params)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (TAVO_init() != 0) {
    fprintf(stderr, "TAVO_init failed\n");
    return 1;
  }
  if (argc == 3 && strcmp(argv[1], "--add") == 0 && !add_targets(strtol(argv[2], nullptr, 10))) {
    tavo_tools::report_failure("AddTarget");
    TAVO_exit();
    return 1;
  }
  for (uint32_t lhba : tavo_tools::logical_hbas())
    for (uint32_t target : groups_named(lhba, "Target")) {
      char name[TAVO_VALUE_SIZE], address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE];
      read_named(target, "TargetISCSIName", name);
      for (uint32_t portal : groups_named(target, "TargetPortal")) {
        read_named(portal, "TargetIPAddress", address);
        read_named(portal, "TargetPortNumber", port);
        printf("%s:%s %s\n", address, port, name);
      }
    }
  return TAVO_exit() == 0 ? 0 : 1;
}
