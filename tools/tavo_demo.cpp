// Connects as a management client and prints the whole tree: groups and
// instances, property values, actions with their parameters; then each
// port's link state and speed, and each iSCSI session.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tavo/tavo.h"
#include "tools/client_walk.h"

namespace {

using tavo_tools::children;
using tavo_tools::groups_named;
using tavo_tools::read_named;

const char* type_name(unsigned type) {
  switch (type) {
    case TAVO_TYPE_TEXT: return "text";
    case TAVO_TYPE_INTEGER: return "integer";
    case TAVO_TYPE_IP_ADDRESS: return "ip";
    case TAVO_TYPE_SUBNET_MASK: return "mask";
    case TAVO_TYPE_LIST: return "list";
    default: return "?";
  }
}

void print_group(uint32_t tag, int depth) {
  char name[TAVO_NAME_SIZE] = "";
  TAVO_get_node_name(tag, name, TAVO_KIND_GROUP);
  printf("%*s%s\n", depth * 2, "", name);
  for (uint32_t p : children(tag, TAVO_KIND_PROPERTY)) {
    char pname[TAVO_NAME_SIZE] = "", value[TAVO_VALUE_SIZE] = "";
    TAVO_get_node_name(p, pname, TAVO_KIND_PROPERTY);
    if (TAVO_get_property_val(tag, p, value, sizeof value) != 0) tavo_tools::unreadable(value);
    printf("%*s%s = %s\n", depth * 2 + 2, "", pname, value);
  }
  for (uint32_t a : children(tag, TAVO_KIND_ACTION)) {
    char aname[TAVO_NAME_SIZE] = "";
    TAVO_get_node_name(a, aname, TAVO_KIND_ACTION);
    static TavoParamInfo info;
    printf("%*s%s(", depth * 2 + 2, "", aname);
    if (TAVO_get_param_info(a, &info) == 0) {
      for (int i = 0; i < info.param_count && i < TAVO_MAX_PARAMS; ++i)
        printf("%s%s%s:%s%s", i ? ", " : "", info.params[i].required ? "" : "[", info.params[i].name,
               type_name(info.params[i].value_type), info.params[i].required ? "" : "]");
    }
    printf(")\n");
  }
  for (uint32_t g : children(tag, TAVO_KIND_GROUP)) print_group(g, depth + 1);
}


void print_ports() {
  printf("\nPorts:\n");
  for (uint32_t controller : children(0, TAVO_KIND_GROUP)) {
    char cname[TAVO_NAME_SIZE] = "";
    TAVO_get_node_name(controller, cname, TAVO_KIND_GROUP);
    for (uint32_t port : children(controller, TAVO_KIND_GROUP)) {
      char pname[TAVO_NAME_SIZE] = "";
      TAVO_get_node_name(port, pname, TAVO_KIND_GROUP);
      if (strncmp(pname, "PortDiscoveryAndConfiguration", 29) != 0) continue;
      char number[TAVO_VALUE_SIZE], link[TAVO_VALUE_SIZE], speed[TAVO_VALUE_SIZE], mode[TAVO_VALUE_SIZE],
          configured[TAVO_VALUE_SIZE];
      read_named(port, "PortNumber", number);
      read_named(port, "PhysicalLinkStatus", link);
      read_named(port, "FCoELinkSpeed", speed);
      read_named(port, "Mode", mode);
      read_named(port, "ConfiguredSpeed", configured);
      printf("  %s port %s: link %s, speed %s (mode %s, configured %s)\n", cname, number, link, speed, mode,
             configured);
    }
  }
}

void print_sessions() {
  printf("\nSessions:\n");
  for (uint32_t lhba : tavo_tools::logical_hbas())
    for (uint32_t target : groups_named(lhba, "Target")) {
      char name[TAVO_VALUE_SIZE], alias[TAVO_VALUE_SIZE], vmhba[TAVO_VALUE_SIZE];
      read_named(target, "TargetISCSIName", name);
      read_named(target, "TargetAlias", alias);
      read_named(lhba, "IfName", vmhba);
      for (uint32_t session : groups_named(target, "Session")) {
        char status[TAVO_VALUE_SIZE], qualifier[TAVO_VALUE_SIZE], address[TAVO_VALUE_SIZE],
            port[TAVO_VALUE_SIZE], persistent[TAVO_VALUE_SIZE];
        read_named(session, "SessionStatus", status);
        read_named(session, "ISIDQualifier", qualifier);
        read_named(session, "Persistent", persistent);
        const std::vector<uint32_t> connection = groups_named(session, "Connection");
        snprintf(address, sizeof address, "-");
        snprintf(port, sizeof port, "-");
        if (!connection.empty()) {
          read_named(connection[0], "DestinationIPAddress", address);
          read_named(connection[0], "DestinationPortNumber", port);
        }
        printf("  %s: %s (alias %s) at %s:%s, %s, ISID qualifier %s, persistent %s\n", vmhba, name, alias,
               address, port, status, qualifier, persistent);
      }
    }
}

}  // namespace

int main() {
  uint32_t status = TAVO_init();
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  TAVO_get_last_status(&code, text);
  if (status != 0) {
    fprintf(stderr, "TAVO_init failed: %u (%u: %s)\n", status, code, text);
    return EXIT_FAILURE;
  }
  if (code != 0) printf("last status %u: %s\n", code, text);
  print_group(0, 0);
  print_ports();
  print_sessions();
  TAVO_exit();
  return EXIT_SUCCESS;
}
