// A session made persistent twice over, as a persistent target of the
// firmware (27/6) and as a session line of savetgt.txt; its removal
// (28/6); and the closed sessions of a target persisted again after its
// CHAP or login options changed.
#include <string.h>

#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/network/network.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/target_data/login_sets.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::sessions;
using namespace tavo::iscsi;
using namespace tavo::target_data;
using tavo::network::InitiatorNames;
using tavo::network::NameRead;

namespace {

constexpr uint32_t kAuthenticationFailed = 25;
constexpr uint32_t kDigestMismatch = 243;

// What a closed session is persisted again with.
struct SessionLine : SessionView {
  char boot[TAVO_VALUE_SIZE];
};

bool persistence_line(TavoNode* session, SessionLine* l) {
  if (!session_view(session, l) || !l->has_portal) return false;
  if (!read_text(session, "iSCSIBoot", l->boot)) snprintf(l->boot, sizeof l->boot, "False");
  return true;
}

}  // namespace

bool tavo::sessions::entry_request(tavo::IscsiLoginRequest* request, const char* target_name,
                                   const char* initiator_name, const char* alias, uint32_t isid_qualifier,
                                   const char* address, const char* port, bool boot, uint32_t eto) {
  put_text(request->initiator_name, sizeof request->initiator_name, initiator_name);
  put_text(request->initiator_alias, sizeof request->initiator_alias, alias);
  put_text(request->target_name, sizeof request->target_name, target_name);
  request->isid_qualifier = static_cast<uint16_t>(isid_qualifier);
  request->flags |= boot ? tavo::kPersistentBootFlags : tavo::kPersistentFlags;
  request->flags &= ~1u;
  request->word1398 = request->word1400 = 0xFFFF;
  request->word224 = tavo::kLoginWord224;
  request->eto = eto != 0 ? eto : tavo::kNoEto;
  return put_portal(address, port, &request->address_type, request->address, &request->port);
}

uint32_t TAVO_update_target_params(tavo::IscsiLoginRequest* request, TavoNode* lhba, TavoNode* target,
                                   uint32_t isid_qualifier, const char* address, const char* port, const char* boot,
                                   const char* initiator_name, uint32_t eto) {
  TAVO_LIBRARY_LOCK;
  if (request == nullptr || lhba == nullptr || target == nullptr || address == nullptr || port == nullptr ||
      initiator_name == nullptr)
    return 1;
  InitiatorNames names;
  // The name as stored: its property has no handler.
  const char* name = target_stored_name(target);
  if (tavo::network::initiator_names(lhba, NameRead::Alias, &names) != 0 || name == nullptr) return 1;
  if (check_for_isid_existence(isid_qualifier) != 0) {
    sessions_status(71);
    return 1;
  }
  return entry_request(request, name, initiator_name, names.alias, isid_qualifier, address, port,
                       is_word(boot, "True"), eto)
             ? 0
             : 1;
}

uint32_t tavo::sessions::persist_entry(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                                     IscsiLoginOptionsBlock* block, const char* boot, const char* initiator_name,
                                     uint32_t eto) {
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(target);
  if (target == nullptr || address == nullptr || port == nullptr || boot == nullptr || initiator_name == nullptr ||
      !below_lhba(p))
    return 1;
  TavoNode* options = internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP);
  if (options == nullptr) return 1;
  tavo::IscsiLoginRequest request{};
  if (TAVO_update_target_params(&request, p.lhba, target, isid_qualifier, address, port, boot, initiator_name, eto) !=
      0)
    return 1;
  if (block != nullptr) {
    request.options = *block;
  } else {
    request.options = *get_default_login_options();
    get_login_options(options, &request.options, 2);
  }
  const uint32_t status = ioctl_add_persistent_target(p.number, &request, p.domain, p.port);
  if (status == kAuthenticationFailed || status == kDigestMismatch) {
    sessions_status(status);
    return 1;
  }
  return status;
}

uint32_t tavo::sessions::save_session_line(TavoNode* target, const char* address, const char* port,
                                           uint32_t isid_qualifier, const uint16_t* instead_of,
                                           const LoginOptionSet* set) {
  if (target == nullptr || target->parent == nullptr) return 1;
  if (instead_of != nullptr) {
    LhbaKey key;
    char name[TAVO_VALUE_SIZE];
    LoginOptionSet read;
    if (!lhba_key(target->parent, &key) || !read_text(target, "TargetISCSIName", name) ||
        (set == nullptr && !login_option_set(internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP), &read)))
      return 1;
    const LoginOptionSet& options = set != nullptr ? *set : read;
    const std::vector<Match> old_line = key_matches(
        key, {{Field::TargetName, name}, {Field::Address, address}, {Field::Port, port},
              {Field::Qualifier, std::to_string(*instead_of)}});
    // One rewrite puts the new line where the old one was.
    bool replaced = false;
    const auto edit = [&](std::span<const std::string_view> fields, std::string* rebuilt) {
      if (replaced || fields.empty() || !matches(Saved::Targets, fields, old_line)) return LineEdit::Keep;
      replaced = RecordValues(Saved::Targets, fields)
                     .set(Field::Qualifier, std::to_string(isid_qualifier))
                     .set_options(options)
                     .format(rebuilt);
      return replaced ? LineEdit::Replace : LineEdit::Refuse;
    };
    const uint32_t r = rewrite(Saved::Targets, old_line, edit);
    if (replaced || r != 0) return r;
  }
  return append_session_line(target->parent, target, address, port, isid_qualifier, "True", set);
}

uint32_t make_session_persistent(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                                 IscsiLoginOptionsBlock* block, const char* boot, const char* initiator_name,
                                 uint32_t eto) {
  TAVO_LIBRARY_LOCK;
  // The target's set read once, for the entry's block and the line.
  LoginOptionSet set;
  IscsiLoginOptionsBlock own;
  const bool read = block == nullptr && target != nullptr &&
                    login_option_set(internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP), &set);
  if (read) {
    login_block(set, &own, true, true, true);
    block = &own;
  }
  // The firmware's entry first, the line last: a kill between leaves the
  // note that undoes the entry, and the portal's line that came with it.
  const bool lined = !OPEN_ISCSI_DRIVER_LOADED || is_word(boot, "True");
  PendingEntry e;
  e.change = NoteChange::AddedPortal;
  const bool noted = lined &&
                     pending_entry(target, target_stored_name(target), address, port, isid_qualifier, initiator_name,
                                   &e) &&
                     note_pending({&e, 1}) == 0;
  if (const uint32_t r = persist_entry(target, address, port, isid_qualifier, block, boot, initiator_name, eto)) {
    if (noted) let_go_pending(e);
    return r;
  }
  if (lined &&
      append_session_line(target->parent, target, address, port, isid_qualifier, "True", read ? &set : nullptr) != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the session line of qualifier %u was not saved\n", __func__, isid_qualifier);
  if (noted) let_go_after(e);
  return 0;
}

uint32_t tavo::sessions::remove_firmware_entry(uint32_t function_number, uint32_t port, const char* target_name,
                                               const char* address, const char* port_text, uint32_t isid_qualifier,
                                               const char* initiator_name) {
  tavo::PersistentTargetDeletion d{};
  put_text(d.target_name, sizeof d.target_name, target_name);
  put_text(d.initiator_name, sizeof d.initiator_name, initiator_name);
  d.word224 = tavo::kLoginWord224;
  if (!put_portal(address, port_text, &d.address_type, d.address, &d.port)) return 1;
  d.isid_qualifier = isid_qualifier | tavo::kDeleteQualifierFlag;
  const uint32_t status = ioctl_del_persistent_target(function_number, &d, 0, static_cast<uint8_t>(port));
  if (status != 0) sessions_status(127);
  return status;
}

uint32_t delete_persistent(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* target,
                           const char* target_name, const char* address, const char* port_text,
                           uint32_t isid_qualifier, const char* initiator_name, uint32_t keep_file) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || target_name == nullptr || address == nullptr || port_text == nullptr ||
      initiator_name == nullptr)
    return 1;
  // Only the first domain's sessions are persistent in the firmware.
  if (domain == 0) {
    if (const uint32_t status =
            remove_firmware_entry(function_number, port, target_name, address, port_text, isid_qualifier,
                                  initiator_name))
      return status;
  }
  if (keep_file == 1) return 0;
  TAVO_remove_entry_from_file(target->parent, target_name, address, port_text, isid_qualifier, TAVO_ENTRY_TARGET);
  return 0;
}

namespace {

// A closed session persisted again: what it is persisted with, and its
// saved lines as they stood before the change (none when it had none).
struct Repersisted {
  TavoNode* session;
  SessionLine line;
  uint16_t qualifier;
  std::vector<std::string> before;
};

// What a change of a target's login options persists again.
struct Repersistence {
  tavo::tree::HandlerContext p;
  LhbaKey key;
  std::string name;
  uint32_t eto = 0;
  bool moravel = false;
  bool any_session = false;
  std::vector<Repersisted> sessions;
};

std::vector<Match> repersisted_lines(const Repersistence& r, const Repersisted& s) {
  return key_matches(r.key, {{Field::TargetName, r.name},
                             {Field::Address, s.line.address},
                             {Field::Port, s.line.port},
                             {Field::Qualifier, std::to_string(s.qualifier)}});
}

// The target's closed and failed sessions (in software-initiator mode its
// boot sessions only) with their lines. A qualifier that another Session
// holds could not be made again once its entry is gone: the change is
// refused (71) before anything changes. 0, or 1.
uint32_t repersistence_of(TavoNode* target, Repersistence* r) {
  r->p = tavo::tree::handler_context(target);
  char name[TAVO_VALUE_SIZE];
  if (target == nullptr || !below_lhba(r->p) || !lhba_key(r->p.lhba, &r->key) ||
      !read_text(target, "TargetISCSIName", name))
    return 1;
  r->name = name;
  const uint32_t generation = generation_of(r->p);
  r->moravel = generation == tavo::kGenerationMoravel;
  r->eto = target_eto(target);
  r->any_session = get_first_instance(target, "Session") != nullptr;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char status[TAVO_VALUE_SIZE], boot[TAVO_VALUE_SIZE];
    if (!read_text(s, "SessionStatus", status) || !reusable_status(status)) continue;
    if (OPEN_ISCSI_DRIVER_LOADED && !(read_text(s, "iSCSIBoot", boot) && is_word(boot, "True"))) continue;
    Repersisted c{s, {}, 0, {}};
    if (!persistence_line(s, &c.line)) return 1;
    c.qualifier = c.line.qualifier;
    if (qualifier_held_apart_from(c.qualifier, s)) {
      sessions_status(71);
      return 1;
    }
    r->sessions.push_back(std::move(c));
  }
  if (r->sessions.empty()) return 0;
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  return with_view(Saved::Targets,
                   [&](const SavedView& view) {
                     for (Repersisted& c : r->sessions)
                       for (const SavedView::Line* line : view.find_all(repersisted_lines(*r, c)))
                         c.before.emplace_back(line->text);
                   })
             ? 0
             : 1;
}

// A session's lines as its firmware entry stands when it was not persisted
// again: its lines from before the change while the entry stands, none
// once it is gone.
void restore_lines(const Repersistence& r, const Repersisted& s, bool entry_stands) {
  const std::vector<Match> where = repersisted_lines(r, s);
  const std::vector<std::string> none;
  const std::vector<std::string>& lines = entry_stands ? s.before : none;
  size_t next = 0;
  const uint32_t rewritten =
      rewrite(Saved::Targets, where, [&](std::span<const std::string_view> fields, std::string* rebuilt) {
        if (fields.empty() || !matches(Saved::Targets, fields, where)) return LineEdit::Keep;
        if (next == lines.size()) return LineEdit::Drop;
        *rebuilt = lines[next++];
        return LineEdit::Replace;
      });
  if (rewritten != 0) return;
  for (; next < lines.size(); ++next)
    append_line(Saved::Targets, lines[next] + "\n", [](const SavedView&) { return false; });
}

// The sessions' lines take the target's options, each moved to the end as
// a session made persistent anew, in the open batch. A line that cannot be
// written stops there: that session and those after it keep their lines
// and entries (dropped from r). 0, or 1.
uint32_t repersist_lines(TavoNode* target, Repersistence* r) {
  for (size_t i = 0; i < r->sessions.size(); ++i) {
    const Repersisted& s = r->sessions[i];
    const SessionLine& l = s.line;
    if (entry_removed(TAVO_remove_entry_from_file(r->p.lhba, r->name.c_str(), l.address, l.port, s.qualifier,
                                                  TAVO_ENTRY_TARGET)) &&
        ((OPEN_ISCSI_DRIVER_LOADED && !is_word(l.boot, "True")) ||
         TAVO_update_tgt_entry(r->p.lhba, target, l.address, l.port, s.qualifier, "True") == 0))
      continue;
    keeping_last_status([&] { restore_lines(*r, s, true); });
    r->sessions.erase(r->sessions.begin() + static_cast<ptrdiff_t>(i), r->sessions.end());
    return 1;
  }
  return 0;
}

// Once the lines are written: each session's firmware entry made again
// with the target's options, then the target's sessions read back. The
// first step that fails stops the rest; the sessions from there on get
// their lines back as their entries stand. 0, or 1 with the reason.
uint32_t repersist_entries(TavoNode* target, const Repersistence& r) {
  size_t done = 0;
  bool entry_stands = true;
  for (; done < r.sessions.size(); ++done) {
    const Repersisted& s = r.sessions[done];
    const SessionLine& l = s.line;
    if (is_word(l.boot, "True") && unboot_session(r.p, s.session, r.moravel) != 0) break;
    if (delete_persistent(r.p.number, r.p.domain, r.p.port, target, r.name.c_str(), l.address, l.port, s.qualifier,
                          l.initiator, 1) != 0)
      break;
    delete_with_records(s.session);
    if (persist_entry(target, l.address, l.port, s.qualifier, nullptr, l.boot, l.initiator, r.eto) != 0) {
      entry_stands = false;
      break;
    }
  }
  const bool failed = done < r.sessions.size();
  if (failed) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the entry of qualifier %u was not made again\n", __func__,
           r.sessions[done].qualifier);
    keeping_last_status([&] {
      for (size_t i = done; i < r.sessions.size(); ++i) restore_lines(r, r.sessions[i], i > done || entry_stands);
    });
  }
  ParamTexts cleared;
  keeping_last_status(
      [&] { list_target_sessions(r.p.lhba, r.p.number, r.p.domain, r.p.port, target, cleared.data()); });
  if (failed) return 1;
  if (!r.moravel) return 0;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char status[TAVO_VALUE_SIZE], boot[TAVO_VALUE_SIZE];
    if (!read_text(s, "SessionStatus", status) || !reusable_status(status) || !read_text(s, "iSCSIBoot", boot) ||
        !is_word(boot, "True"))
      continue;
    if (TAVO_add_boottarget_tlv(r.p.number, r.p.domain, r.p.port, s, 1, 1) != 0) {
      tavo::base::set_status(306);
      return 1;
    }
  }
  return 0;
}

// The sessions persisted again, noted (see NoteChange::Options): those
// that could be.
std::vector<PendingEntry> repersist_notes(TavoNode* target, const Repersistence& r) {
  std::vector<PendingEntry> notes;
  for (const Repersisted& s : r.sessions) {
    PendingEntry e;
    e.change = is_word(s.line.boot, "True") ? NoteChange::BootOptions : NoteChange::Options;
    if (pending_entry(target, r.name.c_str(), s.line.address, s.line.port, s.qualifier, s.line.initiator, &e))
      notes.push_back(std::move(e));
  }
  if (!notes.empty() && note_pending(notes) != 0) notes.clear();
  return notes;
}

// The change and the re-persistence of the sessions it touches (see
// change_target_options); *any_session: whether the target has a Session.
uint32_t repersist_with(tavo::iscsi::SavedBatch& batch, TavoNode* target, const std::function<uint32_t()>& write,
                        bool* any_session) {
  TAVO_LIBRARY_LOCK;
  // Each session read once between the changes of the firmware's entries.
  tavo::iscsi::ReadScope reads;
  Repersistence r;
  const uint32_t planned = repersistence_of(target, &r);
  if (any_session != nullptr) *any_session = r.any_session;
  if (planned != 0 || write() != 0) return 1;
  // The sessions' lines take the options first, in the change's one write;
  // the firmware's entries, which cannot be put back, follow once it is
  // written.
  const uint32_t lines = repersist_lines(target, &r);
  auto entries = std::make_shared<uint32_t>(0);
  if (!r.sessions.empty()) {
    // Noted before the lines are written: a cut between the lines and the
    // last entry leaves the notes that make the entries as the lines hold them.
    std::vector<PendingEntry> notes = repersist_notes(target, r);
    tavo::iscsi::SavedBatch::after([target, r, entries, notes] {
      *entries = repersist_entries(target, r);
      for (const PendingEntry& e : notes) let_go_pending(e);
    });
    tavo::iscsi::SavedBatch::on_failure([notes] {
      for (const PendingEntry& e : notes) let_go_pending(e);
    });
  }
  if (batch.commit() != 0) return 1;
  // Lines put back after a failed entry are written now. (Inside an outer
  // batch the entries follow its commit: the answer is the lines'.)
  if (*entries != 0) keeping_last_status([&] { batch.commit(); });
  return lines != 0 || *entries != 0 ? 1 : 0;
}

}  // namespace

uint32_t tavo::sessions::change_target_options(tavo::iscsi::SavedBatch& batch, TavoNode* target,
                                               const std::function<uint32_t()>& write) {
  return repersist_with(batch, target, write, nullptr);
}

uint32_t TAVO_update_session_authentication(TavoNode* target) {
  tavo::iscsi::SavedBatch batch;
  bool any_session = false;
  const uint32_t r = repersist_with(batch, target, [] { return 0u; }, &any_session);
  if (r == 0 && !any_session) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s: the target has no sessions\n", __func__);
    return 1;
  }
  return r;
}
