/* A client linked with the static archive the ordinary way: only the
 * archive members it names are taken. It starts the library over the
 * simulated adapters (the module beside it) and reports the kinds of group
 * the tree shows, then adds a target through the public calls. */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "tavo/tavo.h"

static char kinds[64][TAVO_NAME_SIZE];
static int kind_count;
static uint32_t lhba_tag;

static void note(const char* name, uint32_t tag) {
  char base[TAVO_NAME_SIZE];
  size_t n = strlen(name);
  while (n > 0 && isdigit((unsigned char)name[n - 1])) --n;
  snprintf(base, sizeof base, "%.*s", (int)n, name);
  if (lhba_tag == 0 && strcmp(name, "LogicalHBA0") == 0) lhba_tag = tag;
  for (int i = 0; i < kind_count; ++i)
    if (strcmp(kinds[i], base) == 0) return;
  if (kind_count < 64) snprintf(kinds[kind_count++], TAVO_NAME_SIZE, "%s", base);
}

static void walk(uint32_t group, int depth) {
  static uint32_t tags[8][TAVO_MAX_CHILDREN];
  uint32_t count = 0;
  if (depth >= 8 || TAVO_get_child_tags(group, tags[depth], &count, TAVO_KIND_GROUP) != 0) return;
  for (uint32_t i = 0; i < count; ++i) {
    char name[TAVO_NAME_SIZE] = "";
    if (TAVO_get_node_name(tags[depth][i], name, TAVO_KIND_GROUP) != 0) continue;
    note(name, tags[depth][i]);
    walk(tags[depth][i], depth + 1);
  }
}

int main(void) {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  const uint32_t init = TAVO_init();
  TAVO_get_last_status(&code, text);
  printf("init %u %u %s\n", init, code, text);
  if (init != 0) return 0;
  walk(0, 0);
  for (int i = 0; i < kind_count; ++i) printf("group %s\n", kinds[i]);
  uint32_t action = 0;
  if (lhba_tag != 0 && TAVO_get_node_tag(lhba_tag, "AddTarget", &action, TAVO_KIND_ACTION) == 0) {
    static char params[TAVO_MAX_PARAMS * TAVO_VALUE_SIZE];
    memset(params, 0xFF, sizeof params);
    snprintf(params, TAVO_VALUE_SIZE, "iqn.2026-12.com.example:static");
    snprintf(params + TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "192.0.2.10");
    /* No terminator follows the created tags: a cleared array ends them at
     * the first 0. */
    static uint32_t created[TAVO_MAX_NEW_TAGS];
    uint32_t n = 0;
    printf("AddTarget %u", TAVO_do_action(lhba_tag, action, params, created));
    while (n < TAVO_MAX_NEW_TAGS && created[n] != 0) ++n;
    printf(", %s\n", n > 0 && n < TAVO_MAX_NEW_TAGS ? "groups created" : "no groups created");
  }
  return TAVO_exit() == 0 ? 0 : 1;
}
