// What the iSCSI branches (network, targets, sessions) share: property
// texts read through their handlers, words compared without case, fixed
// text fields, counted buffers, the controller's generation, and the
// deletion of a group with the back-end records hung below it.
#pragma once

#include <stdint.h>

#include <memory>

#include "base/memory.h"
#include "tree/handler_context.h"
#include "tree/tree.h"

namespace tavo::iscsi {

// Runs a best-effort repair; the last status stays what it was before.
template <typename Repair>
void keeping_last_status(Repair repair) {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  tavo_get_last_status(&code, text);
  repair();
  tavo_set_last_status(code, text);
}

// An action's six parameter texts, cleared.
struct ParamTexts {
  char text[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  char* data() { return &text[0][0]; }
};
// Parameter i of an action's six 256-byte texts.
inline char* param(char* params, int i) { return params + static_cast<size_t>(i) * TAVO_VALUE_SIZE; }

// A property read through its handler; false when it fails.
bool read_text(TavoNode* group, const char* name, char out[TAVO_VALUE_SIZE]);
// Whether text reads word, without case.
bool is_word(const char* text, const char* word);
// An IPv6 address in its full upper-case form, in place (IPv4 unchanged);
// false for a refused IPv6 text.
bool full_address(char address[TAVO_VALUE_SIZE]);
// A text into a fixed field: cut to the field, NUL-terminated.
void put_text(char* field, size_t size, const char* text);
// A fixed field of length characters, which may lack its terminator, out
// of it: cut to size - 1 characters and terminated, what snprintf "%.*s"
// with the field's length makes, without the format.
void copy_field(char* out, size_t size, const char* field, size_t length);

// A zeroed block of the counted heap, freed with its holder; null, with
// status 16, when none is left.
struct BufferFree {
  void operator()(void* p) const { tavo_dfree(p); }
};
using Buffer = std::unique_ptr<uint8_t, BufferFree>;
Buffer zeroed_buffer(size_t size);

// Whether the context is of a node at or below a LogicalHBA, with a
// controller and an iSCSI function with a number above it: where every
// target and session step runs.
bool below_lhba(const tree::HandlerContext& c);

// The controller's generation (get_cv_type); 1 when it cannot be read.
uint32_t generation_of(const tree::HandlerContext& c);
// CV2 and CV3: at most 128 targets, no IPv6.
bool small_generation(uint32_t generation);

// A portal's address (shorter than 16 characters: dotted IPv4, else IPv6
// in its full form) and decimal port into the fields of a login request or
// a deletion record; false for a text that is no IPv4 address.
bool put_portal(const char* address, const char* port, uint8_t* type, uint8_t* bytes, uint16_t* port_number);

// Deletes a group with everything below it and frees the back-end records
// of its groups (sessions, connections, LUNs); the deletion's result.
uint32_t delete_with_records(TavoNode* group);

}  // namespace tavo::iscsi
