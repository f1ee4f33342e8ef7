/* A host program linked with libtavo.so that defines data of its own under
 * names the library exports too (an IMA host's MyOwnerId and open_count, a
 * counter called persistency_priority). The library keeps its own data and
 * the host keeps its: the host's values never change, and the library's
 * (read through its own handle) move as its calls say. It prints what it
 * saw, one line each. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"
#include "tavo/tavo.h"

uint32_t MyOwnerId = 11;
int32_t open_count = 5;
uint32_t persistency_priority = 1000;

/* The library's own object of that name, not the host's. */
static uint32_t library_value(const char* name) {
  void* library = dlopen(TAVO_SONAME, RTLD_NOW | RTLD_NOLOAD);
  const uint32_t* value = library != NULL ? (const uint32_t*)dlsym(library, name) : NULL;
  if (library != NULL) dlclose(library);
  return value != NULL ? *value : 0xFFFFFFFFu;
}

static uint32_t find_group(uint32_t group, const char* name, int depth) {
  static uint32_t tags[8][4096];
  uint32_t count = 0;
  if (depth >= 8 || TAVO_get_child_tags(group, tags[depth], &count, TAVO_KIND_GROUP) != 0) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    char shown[TAVO_NAME_SIZE] = "";
    if (TAVO_get_node_name(tags[depth][i], shown, TAVO_KIND_GROUP) == 0 && strcmp(shown, name) == 0)
      return tags[depth][i];
    const uint32_t below = find_group(tags[depth][i], name, depth + 1);
    if (below != 0) return below;
  }
  return 0;
}

/* A persistent group made through an action takes the library's next
 * persistence priority. */
static uint32_t add_target(void) {
  const uint32_t lhba = find_group(0, "LogicalHBA0", 0);
  uint32_t action = 0;
  if (lhba == 0 || TAVO_get_node_tag(lhba, "AddTarget", &action, TAVO_KIND_ACTION) != 0) return 0xFFFFFFFFu;
  static char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
  memset(params, 0xFF, sizeof params);
  snprintf(params, TAVO_VALUE_SIZE, "iqn.2026-12.com.example:host");
  snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "192.0.2.20");
  return TAVO_do_action(lhba, action, params, NULL);
}

int main(void) {
  printf("init %u\n", (unsigned)IMA_VMW_PluginInit(4883));
  IMA_OID oid;
  memset(&oid, 0, sizeof oid);
  const IMA_STATUS found = IMA_GetSharedNodeOid(&oid);
  printf("node oid %u owner %u\n", (unsigned)found, (unsigned)oid.ownerId);
  printf("library MyOwnerId %u open_count %u\n", library_value("MyOwnerId"), library_value("open_count"));
  const uint32_t priority = library_value("persistency_priority");
  printf("AddTarget %u\n", add_target());
  printf("library persistency_priority raised %d\n", library_value("persistency_priority") > priority);
  IMA_VMW_PluginCleanup();
  printf("library open_count %u tree_opened %u\n", library_value("open_count"), library_value("tree_opened"));
  printf("host MyOwnerId %u open_count %d persistency_priority %u\n", (unsigned)MyOwnerId, (int)open_count,
         (unsigned)persistency_priority);
  return 0;
}
