// Sessions ended: the Logout action of a Target (never an open boot
// session), the check the target and portal deletions make, and the
// removal of a session's nodes.
#include <stdio.h>

#include <string>
#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/devices.h"
#include "transport/glob.h"

using namespace tavo::sessions;

namespace {

constexpr int kLogoutTries = 3;
constexpr uint32_t kLunsMissing = 90;

// The target's LUNs scanned again after a session went; the scan's answer.
uint32_t logout_rescan(TavoNode* target, uint32_t domain, uint32_t port) {
  char answer[TAVO_VALUE_SIZE] = "";
  ParamTexts cleared;
  return get_all_luns(target, domain, port, target, internal_get_node(target, "ReScanLUNS", TAVO_KIND_ACTION),
                      cleared.data(), answer);
}

// Where a session's persistence is kept: its portal, qualifier and
// initiator name.
using LogoutEntry = SessionView;

// false when the session cannot be read or has no Connection.
bool logout_entry(TavoNode* session, LogoutEntry* e) { return session_view(session, e) && e->has_portal; }

// The controller above the node and its generation; false (logged) when
// either is missing.
bool logout_generation(const tavo::tree::HandlerContext& p, uint32_t* generation) {
  *generation = generation_of(p);
  if (*generation != TAVO_GENERATION_UNREADABLE) return true;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: the controller's generation cannot be read\n", __func__);
  return false;
}

// The saved lines of a persistent session as they stand, each with its
// line feed, so that they can be put back.
bool logout_lines(TavoNode* target, const char* name, const LogoutEntry& e, std::vector<std::string>* out) {
  using namespace tavo::iscsi;
  LhbaKey key;
  SavedLines lines;
  if (!lhba_key(target->parent, &key) ||
      !copy_lines(Saved::Targets,
                  key_matches(key, {{Field::TargetName, name}, {Field::Address, e.address}, {Field::Port, e.port},
                                    {Field::Qualifier, std::to_string(e.qualifier)}}),
                  &lines))
    return false;
  for (const SavedFields& fields : lines) {
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) text.append(i == 0 ? "" : ",").append(fields[i]);
    out->push_back(text + "\n");
  }
  return true;
}

// A persistent session's lines go before its logout, in a write of their
// own: a logout the save refused changes nothing. 0, or 1 with the save's
// status.
uint32_t logout_forget(tavo::iscsi::SavedBatch& batch, TavoNode* target, const char* name, const LogoutEntry& e) {
  if (!tavo::iscsi::entry_removed(TAVO_remove_entry_from_file(target->parent, name, e.address, e.port,
                                                               e.qualifier, TAVO_ENTRY_TARGET)))
    return 1;
  return batch.commit();
}

// The lines put back when the session stayed after all: its note goes
// once they are back (else it stays, and whoever settles it removes the
// entry too).
void logout_restore(tavo::iscsi::SavedBatch& batch, const std::vector<std::string>& lines, const PendingEntry* note) {
  for (const std::string& line : lines)
    tavo::iscsi::append_line(tavo::iscsi::Saved::Targets, line, nullptr);
  tavo::iscsi::keeping_last_status([&] {
    if (batch.commit() != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "do_Logout: the lines of a session that stays were lost\n");
    else if (note != nullptr)
      let_go_pending(*note);
  });
}

// The session a Logout names (its instance number, else the target's
// first); null with the reason when there is none.
TavoNode* logout_session(TavoNode* target, char* params) {
  TavoNode* first = get_first_instance(target, "Session");
  std::string number = param(params, 0);
  if (number.empty()) {
    if (first == nullptr) {
      sessions_status(174);
      return nullptr;
    }
    number = std::to_string(tavo::tree::instance_number(first));
  }
  TavoNode* session = get_selected_group_node(target, "Session", number.c_str());
  if (session == nullptr) tavo::base::set_status(20);
  return session;
}

// What a logout reads before it changes anything: the session's function
// and handle, the target's name, its persistence and where it is kept,
// and (persistent) its saved lines as they stand; and its note.
struct LogoutPlan {
  uint32_t device = 0, handle = 0;
  char name[TAVO_VALUE_SIZE] = "";
  bool persisted = false;
  LogoutEntry entry;
  std::vector<std::string> lines;
  PendingEntry note;
};

bool logout_plan(TavoNode* target, TavoNode* session, LogoutPlan* plan) {
  const SessionPrivateRecord* record = private_record(session);
  char persistent[TAVO_VALUE_SIZE];
  if (record == nullptr || !read_text(target, "TargetISCSIName", plan->name) ||
      !read_text(session, "Persistent", persistent) || private_record(first_connection(session)) == nullptr ||
      !logout_entry(session, &plan->entry))
    return false;
  plan->device = record->function_number;
  plan->handle = record->handle;
  plan->persisted = is_word(persistent, "True");
  return !plan->persisted || logout_lines(target, plan->name, plan->entry, &plan->lines);
}

// A persistent session noted before its stores change; null when it is not
// (not persistent, or the note could not be written).
const PendingEntry* logout_note(TavoNode* target, LogoutPlan* plan) {
  const LogoutEntry& e = plan->entry;
  return plan->persisted && pending_entry(target, plan->name, e.address, e.port, e.qualifier, e.initiator,
                                          &plan->note) &&
                 note_pending({&plan->note, 1}) == 0
             ? &plan->note
             : nullptr;
}

// The target's LUNs readied for removal, then the logout tried; the last
// try's status.
uint32_t logout_send(TavoNode* target, const tavo::tree::HandlerContext& p, const LogoutPlan& plan) {
  for (TavoNode* lun = get_first_instance(target, "LUN"); lun != nullptr; lun = next_instance(lun)) {
    char vendor[TAVO_VALUE_SIZE], model[TAVO_VALUE_SIZE];
    if (read_text(lun, "DeviceVendorName", vendor) && read_text(lun, "DeviceModelNumber", model) &&
        os_prepare_device_for_removal() != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "do_Logout: %s %s not prepared for removal\n", vendor, model);
  }
  uint32_t handle = plan.handle, status = 1;
  for (int i = 1; i <= kLogoutTries && status != 0; ++i) {
    status = ioctl_logout_target(plan.device, &handle, p.domain, p.port);
    if (status != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "do_Logout: logout try %d of session 0x%x failed (%u)\n", i, plan.handle, status);
  }
  return status;
}

}  // namespace

uint32_t do_Logout(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  // Each session's record and each LUN's INQUIRY read once before the
  // logout, the sessions once more after it.
  tavo::iscsi::ReadScope reads;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(action != nullptr ? action : target);
  if (target == nullptr || params == nullptr) return 1;
  TavoNode* session = logout_session(target, params);
  uint32_t generation = 0;
  if (session == nullptr || !below_lhba(p) || !logout_generation(p, &generation)) return 1;
  char boot[TAVO_VALUE_SIZE], status[TAVO_VALUE_SIZE];
  if (!read_text(session, "iSCSIBoot", boot) || !read_text(session, "SessionStatus", status)) return 1;
  const bool boot_session = is_word(boot, "True");
  if (boot_session && is_word(status, "Open")) {
    sessions_status(126);
    return 1;
  }
  if (OPEN_ISCSI_DRIVER_LOADED) {
    if (TAVO_op_iscsi_logout(session) != 0 || TAVO_op_get_all_luns(target, action, params) != 0) return 1;
    if (!boot_session) return delete_with_records(session);
  }
  LogoutPlan plan;
  if (!logout_plan(target, session, &plan)) return 1;
  tavo::iscsi::SavedBatch batch;
  // The line goes first and the entry last, the session noted before
  // either: a cut between leaves the note that logs it out and removes the
  // entry.
  const PendingEntry* note = logout_note(target, &plan);
  if (plan.persisted && logout_forget(batch, target, plan.name, plan.entry) != 0) {
    if (note != nullptr) let_go_pending(*note);
    return 1;
  }
  if (boot_session && unboot_session(p, session, generation == tavo::kGenerationMoravel) != 0) {
    logout_restore(batch, plan.lines, note);
    return 1;
  }
  if (const uint32_t sent = logout_send(target, p, plan)) {
    logout_restore(batch, plan.lines, note);
    return sent;
  }
  const uint32_t deleted = delete_with_records(session);
  if (logout_rescan(target, p.domain, p.port) == kLunsMissing) kLogoutLunsMissing.set();
  // A session whose nodes stay keeps its note: its entry goes when settled.
  if (deleted != 0 || !plan.persisted) return deleted;
  const LogoutEntry& e = plan.entry;
  if (delete_persistent(plan.device, p.domain, p.port, target, plan.name, e.address, e.port, e.qualifier,
                        e.initiator, 1) != 0) {
    // The firmware keeps the entry: so does the file.
    pdebug(TAVO_LOG_BACKEND, 3, "do_Logout: the persistence of %s stays\n", plan.name);
    logout_restore(batch, plan.lines, note);
    return 1;
  }
  if (note != nullptr) let_go_pending(*note);
  return 0;
}

uint32_t TAVO_check_session_status(TavoNode* target, const char* target_name, uint32_t, uint32_t* logged_in,
                                   TavoNode* anchor, TavoNode* portal, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || target_name == nullptr || anchor == nullptr || logged_in == nullptr ||
      (mode == 1 && portal == nullptr))
    return 1;
  tavo::iscsi::ReadScope reads;  // each session read once
  tavo::tree::HandlerContext p = tavo::tree::handler_context(target);
  uint32_t generation = 0;
  if (!below_lhba(p) || !logout_generation(p, &generation)) return 1;
  // The anchor's domain and port.
  const tavo::tree::HandlerContext a = tavo::tree::handler_context(anchor);
  p.domain = a.domain;
  p.port = a.port;
  char portal_address[TAVO_VALUE_SIZE] = "", portal_port[TAVO_VALUE_SIZE] = "";
  if (mode == 1 && (!read_text(portal, "TargetIPAddress", portal_address) ||
                    !read_text(portal, "TargetPortNumber", portal_port)))
    return 1;
  struct Counted {
    TavoNode* session;
    LogoutEntry entry;
  };
  std::vector<Counted> closed;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char status[TAVO_VALUE_SIZE];
    Counted c{s, {}};
    // A session the firmware no longer answers for (its persistence went
    // before) is logged in nowhere and has nothing left to remove.
    if (!read_text(s, "SessionStatus", status)) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: a session of %s is no longer in the firmware\n", __func__, target_name);
      continue;
    }
    if (!logout_entry(s, &c.entry)) return 1;
    if (mode == 1 && (!is_word(c.entry.address, portal_address) || !is_word(c.entry.port, portal_port))) continue;
    if (!reusable_status(status)) *logged_in = 1;
    else closed.push_back(c);
  }
  // A deletion refused for a logged-in session changes nothing.
  if (*logged_in != 0) return 0;
  // Every session noted in one write before its line goes, each let go
  // once its entry did.
  std::vector<PendingEntry> noted(closed.size()), notes;
  for (size_t i = 0; i < closed.size(); ++i) {
    const LogoutEntry& e = closed[i].entry;
    noted[i].change = NoteChange::Deletion;  // a session only the firmware held has no line of its own
    if (pending_entry(target, target_name, e.address, e.port, e.qualifier, e.initiator, &noted[i]))
      notes.push_back(noted[i]);
  }
  if (!notes.empty()) note_pending(notes);
  // The closed sessions' boot records and persistent entries cannot be put
  // back: they go once the deletion's files are written (at once without
  // a batch), before its nodes do.
  const std::string name = target_name;
  const bool moravel = generation == tavo::kGenerationMoravel;
  for (size_t i = 0; i < closed.size(); ++i) {
    const Counted& c = closed[i];
    const PendingEntry note = noted[i];
    char boot[TAVO_VALUE_SIZE];
    const bool boot_session = read_text(c.session, "iSCSIBoot", boot) && is_word(boot, "True");
    const SessionPrivateRecord* record = private_record(c.session);
    const uint32_t device = record != nullptr ? record->function_number : p.number;
    tavo::iscsi::SavedBatch::after([=] {
      if (boot_session && unboot_session(p, c.session, moravel) != 0) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s: the boot record of a session of %s stays\n", "TAVO_check_session_status",
               name.c_str());
        let_go_pending(note);  // its entry stays with it
        return;
      }
      const LogoutEntry& e = c.entry;
      delete_persistent(device, p.domain, p.port, target, name.c_str(), e.address, e.port,
                        e.qualifier, e.initiator, 0);
      let_go_pending(note);
    });
    tavo::iscsi::SavedBatch::on_failure([note] { let_go_pending(note); });
  }
  return 0;
}

uint32_t TAVO_cleanup_sessions(TavoNode* target, TavoNode* session, uint32_t domain, uint32_t port) {
  TAVO_LIBRARY_LOCK;
  TavoNode* connection = first_connection(session);
  if (target == nullptr || session == nullptr || connection == nullptr) return 1;
  uint32_t result = 0;
  if (private_record(connection) != nullptr) result = delete_with_records(connection);
  if (private_record(session) != nullptr) result = delete_with_records(session);
  logout_rescan(target, domain, port);
  return result;
}
