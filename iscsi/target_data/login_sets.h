// The login option sets as the saved files hold them: what the saved-file
// operations and the option handlers above share.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "iscsi/common/saved_records.h"
#include "tree/tree.h"

namespace tavo::target_data {

using OptionValues = std::array<std::string, iscsi::kOptionCount>;

// The defaults of a new set: "Yes", "Yes", "None", "None", "None", four
// empty texts, "Prohibited" three times.
const OptionValues& default_options();
// The twelve options of a login-options group (and its Authentication
// group) read through their handlers; false at the first failed read or
// without an Authentication group.
bool read_options(TavoNode* options, OptionValues* out);
// Whether the group is one of the three sets a saved line holds:
// InitiatorLoginOptions, SendTargetPortalLoginOptions, TargetLoginOptions.
bool known_set(const TavoNode* options);
// The same values, without storing the saved line into the groups: for a
// caller that only uses them (every read of an option reloads anyway).
bool option_values(TavoNode* options, OptionValues* out);
// Stores twelve values as the texts of the groups, without handlers; an
// empty CHAPParam, HeaderParam or DataParam becomes "Prohibited".
void store_options(TavoNode* options, TavoNode* authentication, std::span<const std::string_view> values);
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
// Loads the owner's set from its line: the initiator's last line, the
// others' first. No file: 1 (a target 0); no line: 0, nothing changed.
uint32_t set_reload(Copy c, TavoNode* owner, TavoNode* options, TavoNode* authentication);
// Writes one option into every line of the owner's set in one rewrite; a
// target's lines are marked persistent. A value that cannot be saved (a
// comma, a line break, a line grown too long) changes no line.
uint32_t set_rewrite(Copy c, TavoNode* owner, const char* option, const char* value);
// true when the write may go on; false when a rule refuses it (its status)
// or the other option cannot be read (no status).
bool digest_rules_allow(TavoNode* options, const char* property, const char* value);

}  // namespace tavo::target_data
