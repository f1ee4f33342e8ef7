// What the saved-file operations share with the login option sets.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "iscsi/common/saved_records.h"
#include "tree/tree.h"

namespace tavo::targets {

using OptionValues = std::array<std::string, iscsi::kOptionCount>;

// The defaults of a new set: "Yes", "Yes", "None", "None", "None", four
// empty texts, "Prohibited" three times.
const OptionValues& default_options();
// The twelve options of a login-options group (and its Authentication
// group) read through their handlers; false at the first failed read or
// without an Authentication group.
bool read_options(TavoNode* options, OptionValues* out);
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

}  // namespace tavo::targets
