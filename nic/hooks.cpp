// Hooks of the NIC enumeration that have nothing to do on this host.
#include "nic/nic.h"

void TAVO_enumerate_nic_domain(void) {}
