/* A client of the installed library: it connects, names ROOT and leaves. */
#include <stdio.h>
#include <tavo/tavo.h>

int main(void) {
  char name[TAVO_NAME_SIZE] = "";
  if (TAVO_init() != 0) return 1;
  if (TAVO_get_node_name(0, name, TAVO_KIND_GROUP) != 0) return 2;
  printf("%s\n", name);
  return TAVO_exit() == 0 ? 0 : 3;
}
