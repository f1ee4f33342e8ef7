// What the event log, extended FAT, ARM log, FAT data and dump actions
// share: where a controller's commands go, and the action's parameters.
#pragma once

#include <stdint.h>

#include <string>

#include "tree/tree.h"

namespace tavo::firmware {

// A controller's commands go through its first iSCSI, else NIC, function
// (number), with the domain and port of the node acted on (the function's
// own for none); the controller's instance picks the device of the
// commands that follow its protocol bits.
struct LogTarget {
  uint32_t number = 0;
  uint8_t domain = 0;
  uint8_t port = 0;
  uint32_t instance = 0;
};
// False when the controller has no function to send through.
bool log_target(TavoNode* controller, TavoNode* node, LogTarget* target);

// Parameter i of an action's six 256-byte texts; "" when not given.
std::string param_text(const char* params, int i);

}  // namespace tavo::firmware
