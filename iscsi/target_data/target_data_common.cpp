// The status messages of targets and small helpers of their saved lines.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "base/validate.h"
#include "controller/controller.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/target_data/target_records.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

namespace tavo::target_data {
namespace {

#define TARGETS_LOG_HINT "Application internal error occurred. Please check tavo2d.log file for more information."
constexpr base::StatusText kTargetsStatusTexts[] = {
    {21,
     "Cannot add duplicate target entry as a target already exists with same target name. Please provide "
     "different target name to add another target."},
    {22,
     "There already exists a send target portal entry with the given IP address and port number. Please provide "
     "different ipaddress or port number to add another send target portal entry."},
    {34,
     "Cannot delete iSCSI target with a session that is logged in. Please perform an OEMHXLogOut for the iSCSI "
     "session and the target can then be deleted."},
    {46, "iSCSI is not enabled for this LogicalHBA. Please enable iSCSI before issuing this command."},
    {47, "LogicalHBA0 is always enabled. It cannot be disabled."},
    {82, "Failed to get target IDs. " TARGETS_LOG_HINT},
    {83, "Failed to get a target. " TARGETS_LOG_HINT},
    {131, "Unable to discover targets for the sendtargetportal."},
    {137,
     "InitiatorCHAPName and InitiatorSecret are not required in case of One way CHAP authentication method. "
     "Ignoring the values."},
    {138,
     "InitiatorCHAPName and InitiatorSecret are required in case of Mutual CHAP authentication method. Either "
     "InitiatorCHAPName and InitiatorSecret are not provided or invalid values are given to them. Please provide "
     "valid values for InitiatorCHAPName and InitiatorSecret."},
    {156, "Failed to add a target. Max targets are reached."},
    {193, "Cannot set the digest level to Preferred when the digest is default value."},
    {194, "Cannot set the digest to default when level is set to Preferred."},
    {214, "Given TargetPortal already exist. Please given another Target IPaddress and PortNumber"},
    {309, "Discovering iSNS Targets is not supported through Open-iSCSI driver in this OS."},
    {330, "IPv6 configuration is not supported on given adapter."},
    {342,
     "DiscoverBootTargetThruDHCP is Enabled. Please disable DiscoverBootTargetThruDHCP to add static boot "
     "targets."},
};
#undef TARGETS_LOG_HINT
const base::StatusTable kTargetsTable{"targets", kTargetsStatusTexts};

}  // namespace

const base::StatusWording kOddSecret{TAVO_INVALID_VALUE, "Invalid value. Odd number of characters are not allowed."};
const base::StatusFormat<unsigned, unsigned> kServersFailed{79, "%u out of %u iSNSServers failed to discover targets."};
const base::StatusFormat<unsigned, unsigned> kPortalsFailed{
    79, "%u out of %u SendTargetsPortals are failed to discover targets."};
const base::StatusWording kListingFailed{79, "Failed to update the Targets from iscsiadm."};

void targets_status(uint32_t code) { base::set_status(code); }


bool store_line_options(TavoNode* owner, const char* options_group, Saved s, const SavedFields& line) {
  TavoNode* options = internal_get_node(owner, options_group, TAVO_KIND_GROUP);
  std::string_view fields[kMaxFields];
  const auto values = line_options(s, std::span<const std::string_view>(fields, line.views(fields)));
  return store_options(options, nullptr, values);
}

bool port_parameter(char port[TAVO_VALUE_SIZE], bool defaulted) {
  if (defaulted && port[0] == '\0') snprintf(port, TAVO_VALUE_SIZE, "%s", kDefaultTargetPort);
  uint32_t number = 0;
  if (!port_number(port, &number)) return false;
  snprintf(port, TAVO_VALUE_SIZE, "%u", number);
  return true;
}

bool port_reads_zero(Saved s, const SavedFields& line) {
  uint32_t port = 1;
  return port_number(field_of(line, s, Field::Port), &port) && port == 0;
}

namespace {

// Start-up's pass over one line of a LogicalHBA's: kept, with its port in
// decimal (and copied to *usable, when given), or dropped.
LineEdit usable_line(Saved s, UnusableLine unusable, std::span<const std::string_view> fields, SavedLines* usable,
                     std::string* rebuilt) {
  if (fields.empty()) return LineEdit::Keep;
  if (!line_usable(s, unusable, fields)) return LineEdit::Drop;
  const size_t port_at = static_cast<size_t>(position(s, Field::Port));
  if (usable != nullptr) usable->add(fields, port_at);
  if (decimal_port(fields[port_at]) == fields[port_at]) return LineEdit::Keep;
  return RecordValues(s, fields).format(rebuilt) ? LineEdit::Replace : LineEdit::Keep;
}

}  // namespace

bool line_usable(Saved s, UnusableLine unusable, std::span<const std::string_view> fields) {
  uint32_t port = 1;
  const bool port_zero = port_number(fields[static_cast<size_t>(position(s, Field::Port))], &port) && port == 0;
  return !port_zero && (unusable == nullptr || !unusable(fields));
}

bool usable_lines(Saved s, const LhbaKey& key, UnusableLine unusable, SavedLines* usable) {
  // The view's lines copied once: the tree is changed with them, which
  // reads the views again.
  std::string ignored;
  return with_view(s, [&](const SavedView& view) {
    for (const SavedView::Line* line : view.find_all(key_matches(key)))
      usable_line(s, unusable, line->fields(), usable, &ignored);
  });
}

uint32_t startup_lines(Saved s, const LhbaKey& key, UnusableLine unusable, SavedLines* usable,
                       std::vector<uint64_t>* names) {
  // A file never written has no lines; its lock is not made for nothing.
  if (files::identify(record_def(s).path).size < 0) return 1;
  bool offered = false;
  const size_t name_at = static_cast<size_t>(position(s, Field::TargetName));
  // Only the LogicalHBA's lines are offered: no line needs its key checked.
  const uint32_t rewritten =
      rewrite(s, key_matches(key), [&](std::span<const std::string_view> fields, std::string* rebuilt) {
        offered = true;
        const LineEdit edit = usable_line(s, unusable, fields, usable, rebuilt);
        if (names != nullptr && edit != LineEdit::Drop && !fields.empty())
          names->push_back(target_name_hash(fields[name_at]));
        return edit;
      });
  // The file could not be taken for a write (a read-only root): its lines
  // are read all the same, and only the write failed.
  if (rewritten != 0 && !offered && usable != nullptr) usable_lines(s, key, unusable, usable);
  return rewritten;
}

}  // namespace tavo::target_data
