// Starts as a management client, prints every saved iSCSI target (portal
// and name, one a line) and exits: the cost of a fresh process that lists
// the targets, for tools/compare-iscsiadm. With "--add N" it first adds N
// targets to the first LogicalHBA through its AddTarget action.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

using tavo_tools::groups_named;
using tavo_tools::read_named;

// N targets added through the LogicalHBAs' AddTarget actions, in turn.
bool add_targets(long n) {
  const std::vector<uint32_t> lhbas = tavo_tools::logical_hbas();
  uint32_t action = 0;
  if (lhbas.empty() || TAVO_get_node_tag(lhbas[0], "AddTarget", &action, TAVO_KIND_ACTION) != 0) return false;
  static char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  for (long i = 0; i < n; ++i) {
    const uint32_t lhba = lhbas[static_cast<size_t>(i) % lhbas.size()];
    memset(params, 0, sizeof params);
    for (int p = 2; p < TAVO_MAX_PARAMS; ++p) params[p * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
    snprintf(params, TAVO_VALUE_SIZE, "iqn.2026-01.com.example:target%ld", i);
    snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "192.0.2.%ld", 1 + i % 200);
    if (TAVO_get_node_tag(lhba, "AddTarget", &action, TAVO_KIND_ACTION) != 0 ||
        TAVO_do_action(lhba, action, params, nullptr) != 0)
      return false;
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
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE] = "";
    TAVO_get_last_status(&code, text);
    fprintf(stderr, "AddTarget failed: %u %s\n", code, text);
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
