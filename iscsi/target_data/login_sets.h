// The login option sets as the saved files hold them: what the saved-file
// operations and the option handlers above share.
#pragma once

#include <array>
#include <bitset>
#include <span>
#include <string>
#include <string_view>

#include "iscsi/common/saved_records.h"
#include "transport/login_options_block.h"
#include "tree/group_builder.h"
#include "tree/tree.h"

namespace tavo::target_data {

// The twelve login options of the initiator, a send-target portal or a
// target, in their saved order, as the tree shows them.
using LoginOptionSet = std::array<std::string, iscsi::kOptionCount>;
// One option of a set.
inline const std::string& option(const LoginOptionSet& set, iscsi::Field f) {
  return set[static_cast<size_t>(static_cast<int>(f) - static_cast<int>(iscsi::Field::InitialR2T))];
}

// The defaults of a new set: "Yes", "Yes", "None", "None", "None", four
// empty texts, "Prohibited" three times.
const LoginOptionSet& default_options();
// Whether the group is one of the three sets a saved line holds:
// InitiatorLoginOptions, SendTargetPortalLoginOptions, TargetLoginOptions.
bool known_set(const TavoNode* options);

// Stores twelve values as the texts of the groups, without handlers; an
// empty CHAPParam, HeaderParam or DataParam becomes "Prohibited". While
// options' children wait their build stores them. A null authentication
// is looked up; false when it cannot be had.
bool store_options(TavoNode* options, TavoNode* authentication, std::span<const std::string_view> values);
// Stores the texts of a set that which names (as stored) in the groups,
// each group's children walked once; 0, or 1 when one has no such option.
uint32_t store_set_texts(TavoNode* options, TavoNode* authentication, const LoginOptionSet& texts,
                         std::bitset<iscsi::kOptionCount> which);
// Stores values by name in a login-options group and in its
// Authentication group, as store_options does; false when a group is
// missing.
bool store_option_values(TavoNode* options, std::span<const tree::StoredValue> in_options,
                         std::span<const tree::StoredValue> in_authentication);
// A Target's TargetLoginOptions made as its group alone: its rows (def)
// are built when something reaches it, with the values stored meanwhile;
// at once when they cannot wait (tree::defer_children). false when that
// build fails.
bool defer_options(TavoNode* options, const tree::GroupDef& def);
// While options' children wait: keeps the first texts of a set, in its
// order and as stored, for their build. false when they do not wait: the
// caller stores them in the groups.
bool store_waiting_set(TavoNode* options, std::span<const std::string_view> texts);
// One option (named as the option table names it) and its new text.
struct OptionChange {
  const char* option;
  const char* value;
};
// Writes the options into the saved lines of the set of a login-options
// group (InitiatorLoginOptions, SendTargetPortalLoginOptions or
// TargetLoginOptions) in one rewrite of its file: all of them or, when a
// value cannot be saved, none. 0, or 1 with the reason in the last status.
uint32_t write_options(TavoNode* options, std::span<const OptionChange> changes);
// The twelve option fields of a well-formed line of the file.
std::array<std::string_view, iscsi::kOptionCount> line_options(iscsi::Saved s,
                                                               std::span<const std::string_view> fields);

// Whose set an option belongs to.
enum class Copy { Initiator, Portal, Target };
// The nodes around an option property.
struct SetNodes {
  TavoNode* owner = nullptr;
  TavoNode* options = nullptr;
  TavoNode* authentication = nullptr;
};
// The owner, options and Authentication group of an option property (in
// the Authentication group when in_authentication); false when one is
// missing.
bool set_nodes(TavoNode* property, bool in_authentication, SetNodes* out);

// The whole set of a login-options group, read once: the owner's saved
// line (the initiator's last, the others' first) when there is one, else
// the texts the groups keep. 1 when the line cannot be looked for: a
// portal's address or port or a target's name unreadable, the initiator's
// or a portal's file missing (a target without its file answers its
// texts). What every read of one of the set's options answers; nothing is
// stored.
uint32_t login_option_set(Copy c, const SetNodes& n, LoginOptionSet* out);
// The same for one of the three groups; a group of another name answers
// its options read through their handlers. false as above, or without an
// Authentication group.
bool login_option_set(TavoNode* options, LoginOptionSet* out);
// The block of one try of the login engine, over the library's defaults:
// the CHAP part when chap, the InitialR2T and ImmediateData flags, and each
// digest from its option when asked, else 0 (update_chap_details and the
// two digest steps from a set read once).
void login_block(const LoginOptionSet& set, IscsiLoginOptionsBlock* block, bool chap, bool header, bool data);
// TargetType of a Target as a read of it answers: from the target's first
// saved line, else as the tree knows it; false when it cannot be read.
bool target_type(TavoNode* target, char out[TAVO_VALUE_SIZE]);
// TAVO_add_target_into_file with the LogicalHBA's initiator name as the
// caller read it (read here when null).
uint32_t add_target_line(TavoNode* lhba, TavoNode* target, const char* name, const char* address, const char* port,
                         TavoNode* portal, const char* persistence, const char* initiator);
// Appends a persistent session's line (TAVO_update_tgt_entry) with the
// target's set (read now when null).
uint32_t append_session_line(TavoNode* lhba, TavoNode* target, const char* address, const char* port,
                             uint32_t isid_qualifier, const char* persistence, const LoginOptionSet* set);
// Stores a set as the texts of its groups (what a read through an option's
// handler leaves in the tree).
void store_option_set(const SetNodes& n, const LoginOptionSet& set);
// Loads the owner's set from its line: the initiator's last line, the
// others' first. No file: 1 (a target 0); no line: 0, nothing changed.
uint32_t set_reload(Copy c, TavoNode* owner, TavoNode* options, TavoNode* authentication);
// The same for one of the three groups (the group's set loaded back after a
// failed change); false when the line cannot be looked for.
bool reload_option_set(TavoNode* options);
// Writes one option into every line of the owner's set in one rewrite; a
// target's lines are marked persistent. A value that cannot be saved (a
// comma, a line break, a line grown too long) changes no line.
uint32_t set_rewrite(Copy c, TavoNode* owner, const char* option, const char* value);
// true when the write may go on; false when a rule refuses it (its status)
// or the set cannot be read (no status).
bool digest_rules_allow(Copy c, const SetNodes& n, const char* property, const char* value);

}  // namespace tavo::target_data
