// What the iSCSI data and the target steps above the sessions share: the
// status messages of targets, and helpers of their saved lines.
#pragma once

#include <stdint.h>

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "iscsi/common/iscsi_common.h"
#include "iscsi/common/saved_records.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/target_data.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"

namespace tavo::target_data {

// The branch works in the vocabulary the iSCSI branches share.
using namespace iscsi;

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

// Rewrites savetgt.txt once without the lines of the target's portals
// (address and port; its sessions' lines too); as
// TAVO_remove_entry_from_file.
uint32_t remove_target_lines(TavoNode* lhba, const char* name,
                             const std::vector<std::pair<std::string, std::string>>& portals);

// A field of a copied line of the file, and the same as a C string.
inline std::string_view field_of(const SavedFields& line, Saved s, Field f) {
  return line[static_cast<size_t>(position(s, f))];
}
inline const char* field_text(const SavedFields& line, Saved s, Field f) {
  return line.c_str(static_cast<size_t>(position(s, f)));
}
// Stores the options of a copied line as the texts of the owner's
// login-options group (options_group) and its Authentication group; false
// when a group is missing.
bool store_line_options(TavoNode* owner, const char* options_group, Saved s, const SavedFields& line);
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

// A saved line whose port reads 0 (in any form): no portal a login could
// reach.
bool port_reads_zero(Saved s, const SavedFields& line);
// What a caller holds unusable in a LogicalHBA's saved line (its fields).
using UnusableLine = bool (*)(std::span<const std::string_view> fields);
// Whether start-up's pass keeps a line: its port does not read 0 (in any
// form), and unusable (when given) does not refuse it.
bool line_usable(Saved s, UnusableLine unusable, std::span<const std::string_view> fields);
// The start-up pass over a saved file's lines of one LogicalHBA: a line
// whose port reads 0, or that unusable (when given) refuses, goes; a port
// saved in another form than decimal is written in decimal; every other
// line stays as it is. When usable is given, the LogicalHBA's lines kept,
// their ports in decimal, go to it, also when the file could not be locked
// or written (a read-only root); when names is given, the
// target_name_hash of each line kept, in order (savetgt.txt). The result
// of the rewrite (1 for a missing file).
uint32_t startup_lines(Saved s, const LhbaKey& key, UnusableLine unusable, SavedLines* usable,
                       std::vector<uint64_t>* names = nullptr);
// The lines start-up's pass keeps, read as the file is, writing nothing;
// false when the file cannot be read.
bool usable_lines(Saved s, const LhbaKey& key, UnusableLine unusable, SavedLines* usable);

// A portal of a target by name, address and port.
struct TargetPortalNames {
  std::string_view name;  // into what the caller holds
  std::string address, port;
};
// Whether savetgt.txt holds a line of each portal of the LogicalHBA, so
// that TAVO_add_target_into_file would add none; false when that cannot
// be read.
bool target_lines_present(TavoNode* lhba, const std::vector<TargetPortalNames>& portals);

}  // namespace tavo::target_data
