/* The public headers stay valid C. */
#include <stddef.h>

#include "tavo/tavo.h"

_Static_assert(offsetof(TavoActionParam, value_type) == 1816, "TavoActionParam.value_type");
_Static_assert(offsetof(TavoActionParam, minimum) == 2076, "TavoActionParam.minimum");
_Static_assert(offsetof(TavoNodeDescription, kind) == 1780, "TavoNodeDescription.kind");
_Static_assert(offsetof(TavoNodeDescription, minimum) == 1784, "TavoNodeDescription.minimum");
_Static_assert(offsetof(TavoPersistenceInfo, params) == 8, "TavoPersistenceInfo.params");

int tavo_c_client_compiles(void) {
  TavoNodeDescription d;
  d.kind = TAVO_KIND_GROUP;
  return d.kind == 1 && TAVO_MAX_PARAMS == 6;
}
