/* The plug-in's headers are the host's C view: they compile as C, with the
 * same pinned layouts. */
#include <stddef.h>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"

int cvima_c_host_compiles(void) {
  IMA_OID oid = {IMA_OBJECT_TYPE_LHBA, 0, 0};
  IMA_SESSION_PROPERTIES session;
  session.tsih = 1;
  return oid.objectType == 3 && session.tsih == 1 && offsetof(IMA_LU_PROPERTIES, osLun) == 344;
}
