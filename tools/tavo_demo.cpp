// Placeholder until the management tree lands.
#include <stdio.h>
int main() {
  puts("ROOT");
  return 0;
}
