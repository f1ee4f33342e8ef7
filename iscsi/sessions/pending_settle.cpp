// What settling a persistent session's note asks of the firmware and the
// lines (see pending_entries.cpp): a session whose entry goes is logged out
// first, so that none is left open for nobody to list or end; an entry
// made again is made as the session's line holds it; the line of a portal
// added with its session goes with it.
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "iscsi/common/saved_view.h"
#include "iscsi/network/network.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"
#include "transport/mailbox.h"
#include "transport/scsi_records.h"

using namespace tavo::iscsi;

namespace tavo::sessions {
namespace {

// The firmware's session the note names: its record, or null for none.
SessionRecord settle_find(const tree::HandlerContext& f, const PendingEntry& e) {
  uint8_t type = 0, bytes[16] = {};
  uint16_t port = 0;
  std::vector<uint32_t> handles;
  if (!put_portal(e.address.c_str(), e.port.c_str(), &type, bytes, &port) ||
      session_handles(f.number, f.domain, f.port, &handles) != 0)
    return nullptr;
  const size_t length = type == kLoginAddressIPv4 ? 4 : sizeof bytes;
  for (const uint32_t handle : handles) {
    SessionRecord r = read_session_record(f.number, f.domain, f.port, handle, nullptr);
    if (r == nullptr || record_qualifier(*r) != e.qualifier || r->connection.destination_port != port ||
        memcmp(r->connection.destination_address, bytes, length) != 0)
      continue;
    char name[sizeof r->target_name + 1];
    copy_field(name, sizeof name, r->target_name, sizeof r->target_name);
    if (strcasecmp(name, e.name.c_str()) == 0) return r;
  }
  return nullptr;
}

// Whether the firmware's session is open (not closed or failed).
bool logged_in(const FirmwareSessionRecord& r) { return !reusable_status(session_status_text(r.state)); }

// The options of the noted session's line; false when it has none.
bool settle_line_options(const PendingEntry& e, target_data::LoginOptionSet* set) {
  const std::vector<Match> match = key_matches(e.key, {{Field::TargetName, e.name},
                                                       {Field::Address, e.address},
                                                       {Field::Port, e.port},
                                                       {Field::Qualifier, std::to_string(e.qualifier)}});
  bool found = false;
  with_view(Saved::Targets, [&](const SavedView& view) {
    const SavedView::Line* line = view.find(match);
    if (line == nullptr) return;
    const std::vector<std::string_view> fields = split_fields(line->text);
    for (int i = 0; i < kOptionCount; ++i) {
      const int at = position(Saved::Targets, option_field(i));
      if (at < 0 || static_cast<size_t>(at) >= fields.size()) return;
      (*set)[static_cast<size_t>(i)] = fields[static_cast<size_t>(at)];
    }
    found = true;
  });
  return found;
}

// On Moravel, the session's record in the boot region goes with it, as a
// logout or deletion that ran to its end removes it (unboot_session).
void settle_boot_record(const tree::HandlerContext& f, const PendingEntry& e, const FirmwareSessionRecord& r) {
  if (generation_of(f) != tavo::kGenerationMoravel) return;
  Region region(TAVO_read_iscsi_boot_region(f.number, f.domain, f.port, kBootTargetRegion));
  if (!region || region_boot_target(region.get(), static_cast<uint16_t>(e.qualifier)) == 0) return;
  // The region's record goes only for a session flagged a boot session.
  FirmwareSessionRecord flagged = r;
  flagged.flags |= kSessionBoot;
  if (TAVO_delete_boottarget_tlv(f.number, f.domain, f.port, &flagged) != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot record of %s stays\n", "settle_pending", e.name.c_str());
}

}  // namespace

void settle_removal(const tree::HandlerContext& f, const PendingEntry& e) {
  SessionRecord r = settle_find(f, e);
  if (r != nullptr) settle_boot_record(f, e, *r);
  if (r != nullptr && logged_in(*r)) {
    uint32_t handle = r->handle;
    if (ioctl_logout_target(f.number, &handle, static_cast<uint8_t>(f.domain), static_cast<uint8_t>(f.port)) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: the session of %s stays logged in\n", "settle_pending", e.name.c_str());
  }
  if (remove_firmware_entry(f.number, f.port, e.name.c_str(), e.address.c_str(), e.port.c_str(), e.qualifier,
                            e.initiator.c_str()) != 0)
    pdebug(TAVO_LOG_BACKEND, 4, "%s: the firmware holds no entry of %s\n", "settle_pending", e.name.c_str());
}

uint32_t settle_remake(const tree::HandlerContext& f, const PendingEntry& e) {
  target_data::LoginOptionSet set;
  network::InitiatorNames names;
  if (!settle_line_options(e, &set) || network::function_initiator_names(f, &names) != 0) return 1;
  // What the line does not hold is kept from the entry that stands.
  bool boot = e.change == NoteChange::BootOptions;
  uint32_t eto = 0;
  if (const SessionRecord r = settle_find(f, e)) {
    // A session logged in since keeps the entry it logged in with.
    if (logged_in(*r)) return 0;
    boot |= (r->flags & kSessionBoot) != 0;
    SessionConfigRecord config;
    if (read_session_config(f.number, f.domain, f.port, r->handle, offsetof(SessionConfigRecord, kept8),
                            "settle_pending", &config) == 0)
      eto = config.eto;
    remove_firmware_entry(f.number, f.port, e.name.c_str(), e.address.c_str(), e.port.c_str(), e.qualifier,
                          e.initiator.c_str());
  }
  IscsiLoginRequest request{};
  if (!entry_request(&request, e.name.c_str(), e.initiator.c_str(), names.alias, e.qualifier, e.address.c_str(),
                     e.port.c_str(), boot, eto))
    return 1;
  target_data::login_block(set, &request.options, true, true, true);
  if (ioctl_add_persistent_target(f.number, &request, f.domain, f.port) != 0) return 1;
  // On Moravel a boot session's record follows, as a finished change
  // writes it (priority 1, number 1).
  if (!boot || generation_of(f) != tavo::kGenerationMoravel) return 0;
  const SessionRecord made = settle_find(f, e);
  if (made == nullptr) return 1;
  return region_add_boot_target("settle_pending", f.number, f.domain, f.port, *made, 1, 1);
}

void settle_boot(const tree::HandlerContext& f, const PendingEntry& e) {
  const SessionRecord r = settle_find(f, e);
  if (r == nullptr) return;
  Region region(TAVO_read_iscsi_boot_region(f.number, f.domain, f.port, kBootTargetRegion));
  if (!region) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot region of %s cannot be read\n", "settle_pending", e.name.c_str());
    return;
  }
  const bool recorded = region_boot_target(region.get(), static_cast<uint16_t>(e.qualifier)) != 0;
  if (recorded != ((r->flags & kSessionBoot) != 0)) {
    tavo::BootTargetParams request{};
    request.session_handle = r->handle;
    request.flags = r->flags ^ kSessionBoot;
    if (ioctl_set_boot_target_params(f.number, &request, static_cast<uint8_t>(f.domain),
                                     static_cast<uint8_t>(f.port)) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot flag of %s stays as the cut left it\n", "settle_pending",
             e.name.c_str());
  }
  // Region 2, written after region 3 both ways, follows it too: the
  // initiator's CHAP while a mutual CHAP boot target holds a record.
  if (!region_uses_mutual_chap(*r)) return;
  const uint32_t written = recorded ? TAVO_update_initiator_chap_region(f.number, f.domain, f.port, r.get())
                           : region_mutual_boot_target(region.get())
                               ? 0
                               : TAVO_delete_initiator_chap_region(f.number, f.domain, f.port);
  if (written != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: region 2 stays as the cut left it\n", "settle_pending");
}

void settle_drop_portal_line(const PendingEntry& e) {
  const std::vector<Match> own_line = key_matches(
      e.key, {{Field::TargetName, e.name}, {Field::Address, e.address}, {Field::Port, e.port}, {Field::Qualifier, ""}});
  if (!entry_removed(drop_lines(Saved::Targets, own_line)))
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the line of %s added with its session stays\n", "settle_pending", e.name.c_str());
}

void settle_erase(const tree::HandlerContext& f, const PendingEntry& e) {
  std::vector<uint32_t> handles;
  if (session_handles(f.number, f.domain, f.port, &handles) == 0)
    for (uint32_t handle : handles)
      if (const SessionRecord r = read_session_record(f.number, f.domain, f.port, handle, nullptr);
          r != nullptr && logged_in(*r))
        ioctl_logout_target(f.number, &handle, static_cast<uint8_t>(f.domain), static_cast<uint8_t>(f.port));
  EraseRequest request{kEraseIscsiType, kEraseIscsiConfig, {}};
  if (ioctl_erase_ROM(f.number, &request, f.domain, f.port, TAVO_VIA_ISCSI) != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the firmware's configuration was not erased\n", "settle_pending");
  const std::vector<Match> lines = key_matches(e.key);
  for (const Saved s : {Saved::Targets, Saved::Portals})
    if (!entry_removed(drop_lines(s, lines), s))
      pdebug(TAVO_LOG_BACKEND, 3, "%s: lines of an erased function stay\n", "settle_pending");
  // The initiator's options back to the defaults (a missing file has none).
  if (rewrite(Saved::Initiator, lines, [](std::span<const std::string_view> fields, std::string* rebuilt) {
        return RecordValues(Saved::Initiator, fields).set_options(target_data::default_options()).format(rebuilt)
                   ? LineEdit::Replace
                   : LineEdit::Keep;
      }) != 0)
    pdebug(TAVO_LOG_BACKEND, 4, "%s: the initiator's options of an erased function stay\n", "settle_pending");
}

}  // namespace tavo::sessions
