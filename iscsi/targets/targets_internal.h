// What the target, portal, discovery and erase code shares: where a node's
// commands go, the branch's status messages, and small tree helpers.
#pragma once

#include <stdint.h>

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "iscsi/targets/saved_records.h"
#include "iscsi/targets/saved_view.h"
#include "iscsi/targets/targets.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"

namespace tavo::targets {

// The handler context of a node (controller, function, its number, the
// domain and port of the node's commands) and the LogicalHBA above it.
struct Place : tree::HandlerContext {
  TavoNode* lhba = nullptr;
};
// false when no LogicalHBA, iSCSI function with a number or controller is
// above the node.
bool place_of(TavoNode* node, Place* out);
// The controller's generation (get_cv_type); 1 when it cannot be read.
uint32_t generation_of(const Place& p);
// CV2 and CV3: at most 128 targets, no IPv6.
bool small_generation(uint32_t generation);

// The firmware's active session handles (29/6, the whole buffer asked at
// once); false when the command fails.
bool active_session_handles(const Place& p, std::vector<uint32_t>* handles);
// "True" (persistent) or "False" into out[35] for the first of the
// sessions whose target is name (without case); out unchanged without
// one. 0, or 1 when a session cannot be read.
uint32_t persistence_among(const Place& p, const std::vector<uint32_t>& handles, const char* name, char* out);

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void targets_status(uint32_t code);
// The branch's wordings (and kLineTooLong of saved_records.h): 6 for a
// hexadecimal CHAP secret of an odd number of digits, 79 for a software
// refresh whose iSNS servers or send-target portals failed (failed, all)
// or whose listing failed.
extern const base::StatusWording kOddSecret;
extern const base::StatusFormat<unsigned, unsigned> kServersFailed;
extern const base::StatusFormat<unsigned, unsigned> kPortalsFailed;
extern const base::StatusWording kListingFailed;

// A property read through its handler; false when it fails.
bool read_text(TavoNode* group, const char* name, char out[TAVO_VALUE_SIZE]);
// Whether text reads word, without case.
bool is_word(const char* text, const char* word);
// An IPv6 address in its full upper-case form, in place (IPv4 unchanged);
// false for a refused IPv6 text.
bool full_address(char address[TAVO_VALUE_SIZE]);
// The key text "Corvane<c>,iSCSIPhysicalHBA<p>,LogicalHBA<l>".
std::string key_text(const LhbaKey& key);

// setup_target for a name the caller found no target of.
TavoNode* new_target(TavoNode* lhba, const char* name, TavoNode* creating_node, TavoNode* creating_action, char* params,
                     bool discovered);

// Whether TAVO_remove_entry_from_file's result leaves no line of the entry
// in the file (a missing file holds none).
bool entry_removed(uint32_t result, Saved s = Saved::Targets);

// Rewrites savetgt.txt once without the lines of the target's portals
// (address and port; its sessions' lines too); as
// TAVO_remove_entry_from_file.
uint32_t remove_target_lines(TavoNode* lhba, const char* name,
                             const std::vector<std::pair<std::string, std::string>>& portals);

// Deletes a group with everything below it and frees the back-end records
// of its groups (sessions, connections, LUNs); the deletion's result.
uint32_t delete_with_records(TavoNode* group);

// A field of a copied line of the file.
inline const std::string& field_of(const SavedFields& line, Saved s, Field f) {
  return line[static_cast<size_t>(position(s, f))];
}
// Stores the options of a copied line as the texts of the owner's
// login-options group (options_group) and its Authentication group; false
// when a group is missing.
bool store_line_options(TavoNode* owner, const char* options_group, Saved s, const SavedFields& line);
// Parameter i of an action's six 256-byte texts.
inline char* param(char* params, int i) { return params + static_cast<size_t>(i) * TAVO_VALUE_SIZE; }

// A zeroed block of the counted heap, freed with its holder; null, with
// status 16, when none is left.
struct TargetsFree {
  void operator()(void* p) const { tavo_dfree(p); }
};
using TargetsBuffer = std::unique_ptr<uint8_t, TargetsFree>;
TargetsBuffer zeroed_buffer(size_t size);

// A text into a fixed field: cut to the field, NUL-terminated.
void put_text(char* field, size_t size, const char* text);

// The iSCSI port, taken when a target's port is not given.
inline constexpr char kDefaultTargetPort[] = "3260";
// Whether two port texts name one port number (texts that are no number
// compare as they are).
inline bool same_port(const char* a, const char* b) {
  return comparable(Compare::Port, a) == comparable(Compare::Port, b);
}
// A port parameter as the tree read it, rewritten in decimal in place; an
// empty one becomes "3260" when defaulted. false for a text that is no
// port number.
bool port_parameter(char port[TAVO_VALUE_SIZE], bool defaulted);

// Ends an action of the branch: the saved files its batch changed are
// written (a failed write fails the action with its status), and a
// failure that left no reason gets the generic one.
uint32_t action_end(SavedBatch& batch, uint32_t result);

}  // namespace tavo::targets
