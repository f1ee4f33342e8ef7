// The log level kept in libtavo.conf and shown by ROOT's TAVODebugLevel.
#include <stdlib.h>
#include <string.h>

#include "platform/host.h"
#include "tree/debug_log.h"
#include "tree/file_utils.h"
#include "tree/tree.h"

namespace {

constexpr char kLevelFile[] = "/etc/config/QVL/tavo/libtavo.conf";
constexpr char kLevelFileHead[] =
    "#TAVOLogLevel: Control the number of messages logged to the tavo2d.log file.\n"
    "#Possible values are 0 - Disabled, 1 - FATAL, 2 - CRITICAL, 3 - ERROR, 4 - WARNING, 5 - INFORMATION, 6 - "
    "DEBUG.\n"
    "TAVOLogLevel ";
constexpr long kHighestLevel = 6;

// The level a libtavo.conf line sets: the second blank-separated word read
// in base 10 (no digits read as 0). False when the line holds none.
bool level_of_line(char* line, long* level) {
  if (strstr(line, "TAVOLogLevel ") == nullptr) return false;
  char* save = nullptr;
  if (strtok_r(line, " \n", &save) == nullptr) return false;
  char* word = strtok_r(nullptr, " \n", &save);
  if (word == nullptr) return false;
  *level = strtol(word, nullptr, 10);
  return true;
}

}  // namespace

uint32_t TAVO_set_debug_level(void) {
  FILE* f = TAVO_file_open(kLevelFile, "w");
  if (f == nullptr) return 1;
  fprintf(f, "%s%d", kLevelFileHead, static_cast<int>(tavo_debug_level));
  TAVO_file_close(f);
  return 0;
}

uint32_t TAVO_get_debug_level(void) {
  FILE* f = TAVO_file_open(kLevelFile, "r");
  if (f == nullptr) return 1;
  char line[256];
  bool refused = false;
  while (fgets(line, sizeof line, f) != nullptr) {
    long level = 0;
    if (!level_of_line(line, &level)) continue;
    if (level >= 0 && level <= kHighestLevel)
      tavo_debug_level = static_cast<uint32_t>(level);
    else
      refused = true;
  }
  TAVO_file_close(f);
  // The file holds a level out of range: write the one in force, once.
  if (refused) TAVO_set_debug_level();
  return 0;
}

uint32_t TAVO_update_loglevel(void) {
  FILE* probe = TAVO_file_open(kLevelFile, "r");
  if (probe != nullptr)
    TAVO_get_debug_level();
  else
    TAVO_set_debug_level();
  TAVO_change_permissions_file(kLevelFile);  // only a readable file is changed
  TAVO_file_close(probe);
  return 0;
}

uint32_t handle_TAVODebugLevel(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op == TAVO_PROPERTY_GET) {
    TAVO_get_debug_level();
    uint32_t r = set_prop_val(property->parent, property->name, "%d", static_cast<int>(tavo_debug_level));
    snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
    return r;
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  // Also values that reach the handler without the list check (a replayed
  // record, a direct call) must stay within the levels.
  char* end = nullptr;
  long level = strtol(buf, &end, 10);
  if (end == buf || level < 0 || level > kHighestLevel) {
    tavo_set_last_status(TAVO_INVALID_VALUE, "Invalid value.");
    return 1;
  }
  tavo_debug_level = static_cast<uint32_t>(level);
  TAVO_set_debug_level();
  return set_prop_val(property->parent, property->name, "%s", buf);
}
