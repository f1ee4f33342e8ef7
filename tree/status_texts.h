// Status texts said once. Each branch keeps one table of the codes it
// leaves in the last status with their texts; the texts several branches
// leave are here. Tests read the tables rather than copying them.
#pragma once

#include <stdint.h>

#include <span>

#include "tree/tree.h"

namespace tavo::tree {

struct StatusText {
  uint32_t code;
  const char* text;
};

// The texts several branches leave: 16 (no memory), 17 (an invalid value a
// handler refused), 20 (no such instance), 31 (a firmware answer too long),
// 80 and 81 (the discovery parameters could not be read or written), 93
// (the link parameters could not be read), 124, 141, 142 (VLAN and boot
// settings), 159 (no factory MAC), 184 and 239 (an
// erase done, a reboot needed), 192 (no additional controller attributes),
// 259 (not on this controller), 278 (the profile configuration could not
// be read), 256 (not on an SR-IOV virtual function), 291 (not on this
// adapter), 304 (a change that takes effect after a reboot), 306 and 307 (a
// boot-target record not added to or deleted from the boot region), 341 (a
// boot target priority taken).
std::span<const StatusText> shared_status_texts();
// The text of code in table, else among the shared texts; null for neither.
const char* status_text(std::span<const StatusText> table, uint32_t code);
// Leaves code with that text ("" for none) in the last status.
void set_status(std::span<const StatusText> table, uint32_t code);
// The message of a value that failed validation, as the tree words it for
// a property (name null) or an action parameter: 6 "<name>: Invalid
// value.", 7 "<name>: Value out of range. Valid range is from <minimum> to
// <maximum>.", 8 the length rule; any other code as 6.
void validation_status(uint32_t code, const char* name, int32_t minimum, int32_t maximum);

}  // namespace tavo::tree
