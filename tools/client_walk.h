// What the tools' clients share to walk the tree through the public calls.
#pragma once

#include <stdio.h>
#include <string.h>

#include <vector>

#include "tavo/tavo.h"

namespace tavo_tools {

// The tags of a group's children of one kind. The buffer is kept between
// calls: zeroing one this large per call would cost more than the walk.
inline std::vector<uint32_t> children(uint32_t group, uint32_t kind) {
  static std::vector<uint32_t> tags(TAVO_MAX_CHILDREN);
  uint32_t count = 0;
  if (TAVO_get_child_tags(group, tags.data(), &count, kind) != 0) count = 0;
  return std::vector<uint32_t>(tags.begin(), tags.begin() + count);
}

// The child groups of a group whose names begin with prefix.
inline std::vector<uint32_t> groups_named(uint32_t group, const char* prefix) {
  std::vector<uint32_t> found;
  for (uint32_t g : children(group, TAVO_KIND_GROUP)) {
    char name[TAVO_NAME_SIZE] = "";
    TAVO_get_node_name(g, name, TAVO_KIND_GROUP);
    if (strncmp(name, prefix, strlen(prefix)) == 0) found.push_back(g);
  }
  return found;
}

// Every LogicalHBA of every iSCSI function, controller by controller.
inline std::vector<uint32_t> logical_hbas() {
  std::vector<uint32_t> found;
  for (uint32_t controller : groups_named(0, "Corvane"))
    for (uint32_t function : groups_named(controller, "iSCSIPhysicalHBA"))
      for (uint32_t lhba : groups_named(function, "LogicalHBA")) found.push_back(lhba);
  return found;
}

// A block of action parameters, none given until set.
struct Params {
  char text[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  Params() {
    memset(text, 0, sizeof text);
    for (int p = 0; p < TAVO_MAX_PARAMS; ++p) text[p * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
  }
  void set(int at, const char* value) { snprintf(text + at * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", value); }
};

// Runs a group's action by name; false when it has none or it fails.
inline bool run_action(uint32_t group, const char* name, const Params& params) {
  uint32_t action = 0;
  return group != 0 && TAVO_get_node_tag(group, name, &action, TAVO_KIND_ACTION) == 0 &&
         TAVO_do_action(group, action, params.text, nullptr) == 0;
}

// A failed command told on stderr with the reason the library left.
inline void report_failure(const char* what) {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  TAVO_get_last_status(&code, text);
  fprintf(stderr, "%s failed: %u %s\n", what, code, text);
}

// What a value that cannot be read shows: the reason the library left in
// the last status.
inline void unreadable(char (&value)[TAVO_VALUE_SIZE]) {
  uint32_t code = 0;
  char why[TAVO_STATUS_TEXT_SIZE] = "";
  TAVO_get_last_status(&code, why);
  if (code == 0 && why[0] == '\0')
    snprintf(value, sizeof value, "<unreadable: no status left>");
  else
    snprintf(value, sizeof value, "<unreadable: status %u: %.200s>", code, why);
}

// A property of a group read by name ("-" when the group has none).
inline void read_named(uint32_t group, const char* name, char (&value)[TAVO_VALUE_SIZE]) {
  uint32_t property = 0;
  if (TAVO_get_node_tag(group, name, &property, TAVO_KIND_PROPERTY) != 0)
    snprintf(value, sizeof value, "-");
  else if (TAVO_get_property_val(group, property, value, sizeof value) != 0)
    unreadable(value);
}

}  // namespace tavo_tools
