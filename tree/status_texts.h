// The status texts several branches leave, and the tree's own, registered
// with base's registry (base/status_registry.h): every layer and branch
// leaves a code with base::set_status (or its own helper over it) and finds
// the one text registered for it, whichever table holds it. Tests read the
// registry rather than copying texts.
#pragma once

#include <stdint.h>

#include "base/status_registry.h"
#include "tree/tree.h"

namespace tavo::tree {

// The shared table: 6 (a value a branch refused), 10 (a read-only property),
// 16 (no memory), 17 (an invalid value a handler refused), 20 (no such
// instance), 31 (a firmware answer too long), 80 and 81 (the discovery
// parameters could not be read or written), 93 (the link parameters could
// not be read), 124, 141, 142 (VLAN and boot settings), 159 (no factory
// MAC), 184 and 239 (an erase done, a reboot needed), 192 (no additional
// controller attributes), 256 (not on an SR-IOV virtual function), 259 (not
// on this controller), 278 (the profile configuration could not be read),
// 291 (not on this adapter), 304 (a change that takes effect after a
// reboot), 306 and 307 (a boot-target record not added to or deleted from
// the boot region), 341 (a boot target priority taken).

// 6 for a hexadecimal text with another character (a CHAP secret, a mask).
extern const base::StatusWording kHexDigitsOnly;
// The tree's own wordings: 1 when no tree is built or the build failed, 9
// for a required parameter not given ("<name>: Parameter missing."), 6 for
// the debug level.
extern const base::StatusWording kNoTree;
extern const base::StatusWording kTreeBuildFailed;
extern const base::StatusFormat<const char*> kParameterMissing;
extern const base::StatusWording kInvalidLevel;

// A call's arguments refused: each answers 1 and leaves its reason. A tag
// that names no node (its node was deleted, by this process or by another
// that shares the root, or the tree was rebuilt), one that names a node of
// another kind than the call takes, a property of another group, a name no
// child of the group has, a null pointer or a value out of range, and an
// array too small for the answer (11).
uint32_t refuse_tag(uint32_t tag);
uint32_t refuse_kind(uint32_t tag, const char* kind);
uint32_t refuse_other_group(uint32_t tag, uint32_t group_tag);
uint32_t refuse_name(uint32_t group_tag, const char* name);
uint32_t refuse_null(const char* call, const char* argument);
uint32_t refuse_range(const char* call, const char* argument);
uint32_t refuse_room(int32_t room, int32_t needed);
// The name of a kind filter (TAVO_KIND_*, 0 to 7).
const char* kind_name(uint32_t kind);
// TAVO_NO_HANDLER (3): a property without a handler, whose value a write
// leaves as it is; its text left, its code answered.
uint32_t no_handler();

// The message of a value that failed validation, as the tree words it for
// a property (name null) or an action parameter: 6 "<name>: Invalid
// value.", 7 "<name>: Value out of range. Valid range is from <minimum> to
// <maximum>.", 8 the length rule; any other code as 6.
void validation_status(uint32_t code, const char* name, int32_t minimum, int32_t maximum);

}  // namespace tavo::tree
