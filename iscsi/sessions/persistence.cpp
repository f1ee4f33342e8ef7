// A session made persistent twice over, as a persistent target of the
// firmware (27/6) and as a session line of savetgt.txt; its removal
// (28/6); and the closed sessions of a target persisted again after its
// CHAP or login options changed.
#include <string.h>

#include <vector>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/target_data/login_sets.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::sessions;
using namespace tavo::iscsi;
using namespace tavo::targets;

namespace {

constexpr uint32_t kAuthenticationFailed = 25;
constexpr uint32_t kDigestMismatch = 243;

// What a closed session is persisted again with.
struct SessionLine {
  char address[TAVO_VALUE_SIZE], port[TAVO_VALUE_SIZE], qualifier[TAVO_VALUE_SIZE], initiator[TAVO_VALUE_SIZE];
  char boot[TAVO_VALUE_SIZE];
};

bool persistence_line(TavoNode* session, SessionLine* l) {
  if (!session_portal(session, l->address, l->port) || !read_text(session, "ISIDQualifier", l->qualifier) ||
      !read_text(session, "SessionInitiatorName", l->initiator))
    return false;
  if (!read_text(session, "iSCSIBoot", l->boot)) snprintf(l->boot, sizeof l->boot, "False");
  return true;
}

}  // namespace

uint32_t TAVO_update_target_params(tavo::IscsiLoginRequest* request, TavoNode* lhba, TavoNode* target,
                                   uint32_t isid_qualifier, const char* address, const char* port, const char* boot,
                                   const char* initiator_name, uint32_t eto) {
  TAVO_LIBRARY_LOCK;
  if (request == nullptr || lhba == nullptr || target == nullptr || address == nullptr || port == nullptr ||
      initiator_name == nullptr)
    return 1;
  char alias[TAVO_VALUE_SIZE];
  // The name as stored: its property has no handler.
  const char* name = target_stored_name(target);
  if (!read_text(internal_get_node(lhba, "InitiatoriSCSIName", TAVO_KIND_GROUP), "InitiatorAlias", alias) ||
      name == nullptr)
    return 1;
  put_text(request->initiator_name, sizeof request->initiator_name, initiator_name);
  put_text(request->initiator_alias, sizeof request->initiator_alias, alias);
  put_text(request->target_name, sizeof request->target_name, name);
  if (check_for_isid_existence(isid_qualifier) != 0) {
    sessions_status(71);
    return 1;
  }
  request->isid_qualifier = static_cast<uint16_t>(isid_qualifier);
  request->flags |= is_word(boot, "True") ? tavo::kPersistentBootFlags : tavo::kPersistentFlags;
  request->flags &= ~1u;
  request->word1398 = request->word1400 = 0xFFFF;
  request->word224 = tavo::kLoginWord224;
  request->eto = eto != 0 ? eto : tavo::kNoEto;
  return put_portal(address, port, &request->address_type, request->address, &request->port) ? 0 : 1;
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
                                           uint32_t isid_qualifier, const uint16_t* instead_of) {
  if (target == nullptr || target->parent == nullptr) return 1;
  if (instead_of != nullptr) {
    LhbaKey key;
    char name[TAVO_VALUE_SIZE];
    OptionValues options;
    if (!lhba_key(target->parent, &key) || !read_text(target, "TargetISCSIName", name) ||
        !option_values(internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP), &options))
      return 1;
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
  return TAVO_update_tgt_entry(target->parent, target, address, port, isid_qualifier, "True");
}

uint32_t make_session_persistent(TavoNode* target, const char* address, const char* port, uint32_t isid_qualifier,
                                 IscsiLoginOptionsBlock* block, const char* boot, const char* initiator_name,
                                 uint32_t eto) {
  TAVO_LIBRARY_LOCK;
  if (const uint32_t r = persist_entry(target, address, port, isid_qualifier, block, boot, initiator_name, eto))
    return r;
  if ((!OPEN_ISCSI_DRIVER_LOADED || is_word(boot, "True")) &&
      TAVO_update_tgt_entry(target->parent, target, address, port, isid_qualifier, "True") != 0)
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the session line of qualifier %u was not saved\n", __func__, isid_qualifier);
  return 0;
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
    tavo::PersistentTargetDeletion d{};
    put_text(d.target_name, sizeof d.target_name, target_name);
    put_text(d.initiator_name, sizeof d.initiator_name, initiator_name);
    d.word224 = tavo::kLoginWord224;
    if (!put_portal(address, port_text, &d.address_type, d.address, &d.port)) return 1;
    d.isid_qualifier = isid_qualifier | tavo::kDeleteQualifierFlag;
    const uint32_t status = ioctl_del_persistent_target(function_number, &d, 0, static_cast<uint8_t>(port));
    if (status != 0) {
      sessions_status(127);
      return status;
    }
  }
  if (keep_file == 1) return 0;
  TAVO_remove_entry_from_file(target->parent, target_name, address, port_text, isid_qualifier, TAVO_ENTRY_TARGET);
  return 0;
}

uint32_t TAVO_update_session_authentication(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  // Each session read once between the changes of the firmware's entries.
  tavo::iscsi::ReadScope reads;
  const tavo::tree::HandlerContext p = tavo::tree::handler_context(target);
  if (target == nullptr || !below_lhba(p)) return 1;
  const uint32_t generation = generation_of(p);
  char name[TAVO_VALUE_SIZE];
  if (generation == TAVO_GENERATION_UNREADABLE || !read_text(target, "TargetISCSIName", name)) return 1;
  const uint32_t eto = target_eto(target);
  if (get_first_instance(target, "Session") == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s: %s has no sessions\n", __func__, name);
    return 1;
  }
  struct Closed {
    TavoNode* session;
    SessionLine line;
  };
  std::vector<Closed> closed;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char status[TAVO_VALUE_SIZE], boot[TAVO_VALUE_SIZE];
    if (!read_text(s, "SessionStatus", status) || !reusable_status(status)) continue;
    if (OPEN_ISCSI_DRIVER_LOADED && !(read_text(s, "iSCSIBoot", boot) && is_word(boot, "True"))) continue;
    Closed c{s, {}};
    if (!persistence_line(s, &c.line)) return 1;
    closed.push_back(c);
  }
  if (closed.empty()) return 0;
  // The sessions' lines take the options first, in the change's one write;
  // the firmware's entries, which cannot be put back, follow once it is
  // written (at once without a batch).
  for (const Closed& c : closed) {
    const uint16_t qualifier = parse_qualifier(c.line.qualifier);
    // The line goes to the end, as a session made persistent anew.
    if (!entry_removed(
            TAVO_remove_entry_from_file(p.lhba, name, c.line.address, c.line.port, qualifier, TAVO_ENTRY_TARGET)))
      return 1;
    if ((!OPEN_ISCSI_DRIVER_LOADED || is_word(c.line.boot, "True")) &&
        TAVO_update_tgt_entry(p.lhba, target, c.line.address, c.line.port, qualifier, "True") != 0)
      return 1;
  }
  const std::string target_name = name;
  const bool moravel = generation == tavo::kGenerationMoravel;
  tavo::iscsi::SavedBatch::after([=] {
    for (const Closed& c : closed) {
      const SessionLine& l = c.line;
      const uint16_t qualifier = parse_qualifier(l.qualifier);
      if (is_word(l.boot, "True") && unboot_session(p, c.session, moravel) != 0) return;
      delete_persistent(p.number, p.domain, p.port, target, target_name.c_str(), l.address, l.port, qualifier,
                        l.initiator, 1);
      delete_with_records(c.session);
      if (persist_entry(target, l.address, l.port, qualifier, nullptr, l.boot, l.initiator, eto) != 0) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s: the entry of qualifier %u was not made again\n",
               "TAVO_update_session_authentication", qualifier);
        return;
      }
    }
    ParamTexts cleared;
    list_target_sessions(p.lhba, p.number, p.domain, p.port, target, cleared.data());
    if (!moravel) return;
    for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
      char status[TAVO_VALUE_SIZE], boot[TAVO_VALUE_SIZE];
      if (!read_text(s, "SessionStatus", status) || !reusable_status(status) || !read_text(s, "iSCSIBoot", boot) ||
          !is_word(boot, "True"))
        continue;
      if (TAVO_add_boottarget_tlv(p.number, p.domain, p.port, s, 1, 1) != 0) {
        tavo::base::set_status(306);
        return;
      }
    }
  });
  return 0;
}
