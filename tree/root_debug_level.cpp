// ROOT's TAVODebugLevel property over the level kept in libtavo.conf.
#include <stdlib.h>

#include "base/debug_log.h"
#include "tree/status_texts.h"
#include "tree/tree.h"

namespace {
constexpr long kHighestLevel = 6;
}  // namespace

uint32_t handle_TAVODebugLevel(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op == TAVO_PROPERTY_GET) {
    TAVO_get_debug_level();
    uint32_t r = set_prop_val(property->parent, property->name, "%d", static_cast<int>(tavo::base::log_level()));
    snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
    return r;
  }
  if (op != TAVO_PROPERTY_SET) return 0;
  // Also values that reach the handler without the list check (a replayed
  // record, a direct call) must stay within the levels.
  char* end = nullptr;
  long level = strtol(buf, &end, 10);
  if (end == buf || level < 0 || level > kHighestLevel) {
    tavo::tree::kInvalidLevel.set();
    return 1;
  }
  // A level that could not be saved does not take effect: the call fails
  // with the save's status.
  if (tavo::base::save_log_level(static_cast<uint32_t>(level)) != 0) return 1;
  tavo::base::set_log_level(static_cast<uint32_t>(level));
  return set_prop_val(property->parent, property->name, "%s", buf);
}
