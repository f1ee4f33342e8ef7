// The login engine: one login request tried over the CHAP and digest
// combinations a login-options group allows, CHAP outermost, then the
// header digest, then the data digest. Each try carries an option block
// built whole for its combination. A session login makes each try
// persistent in the firmware (27/6) before it is sent and takes that entry
// away again when the try fails; the session's savetgt.txt line is written
// once, when the login stands, so a login killed part way leaves the file
// as it found it.
#include <string.h>
#include <strings.h>

#include <atomic>
#include <bitset>

#include "base/library_lock.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/sessions/sessions_internal.h"
#include "iscsi/target_data/target_data.h"
#include "transport/commands.h"
#include "transport/glob.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kAuthenticationFailed = 25;
constexpr uint32_t kDigestMismatch = 243;
constexpr uint32_t kUnreachable = 32;
constexpr uint32_t kNoSuchTarget = 144;
constexpr size_t kRequestHead = offsetof(tavo::IscsiLoginRequest, options);

// Every discovery login of the process carries the next qualifier.
std::atomic<uint16_t> login_discovery_qualifier{0};

// A level's choices in the order they are tried: 1 on, 0 off; none for a
// level the engine does not know.
struct LoginChoices {
  uint8_t value[2];
  int count;
};

LoginChoices login_chap_choices(const char* level) {
  if (strcasecmp(level, "Preferred") == 0) return {{1, 0}, 2};
  if (strcasecmp(level, "Discouraged") == 0) return {{0, 1}, 2};
  if (strcasecmp(level, "Prohibited") == 0) return {{0, 0}, 1};
  if (strcasecmp(level, "Required") == 0) return {{1, 0}, 1};
  return {{0, 0}, 0};
}

LoginChoices login_digest_choices(const char* level) {
  return strcasecmp(level, "Preferred") == 0 ? LoginChoices{{1, 0}, 2} : LoginChoices{{0, 0}, 1};
}

// The firmware's entry of one qualifier, made by the tries, goes again.
// The note of the entry of a qualifier, as make_session_persistent notes
// its own: only a session whose line is kept has one. false for none.
bool login_entry_note(const LoginOutcome& o, uint16_t qualifier, PendingEntry* e) {
  return (!OPEN_ISCSI_DRIVER_LOADED || o.boot == "True") &&
         pending_entry(o.target, o.name.c_str(), o.address.c_str(), o.port.c_str(), qualifier, o.initiator.c_str(), e);
}

void login_drop_entry(const LoginOutcome& o, uint16_t qualifier) {
  delete_persistent(o.at.number, o.at.domain, o.at.port, o.target, o.name.c_str(), o.address.c_str(), o.port.c_str(),
                    qualifier, o.initiator.c_str(), 1);
  if (PendingEntry e; login_entry_note(o, qualifier, &e)) let_go_pending(e);
}

// The outcome's start: the function, the set (read once: its levels choose
// the tries, each try's block comes from it, and the session's line keeps
// it), the target, the initiator and, for a session, the portal. false
// when one is missing.
bool login_prepare(TavoNode* action, TavoNode* options, const tavo::IscsiLoginRequest& request, char* params,
                   const char* initiator_name, uint32_t reused, uint32_t mode, LoginOutcome* o) {
  // The options' function; the action's domain and port.
  o->at = tavo::tree::handler_context(action);
  o->at.number = tavo::tree::handler_context(options).number;
  if (o->at.number == 0 || !tavo::target_data::login_option_set(options, &o->options)) return false;
  o->target = options->parent;
  o->initiator = initiator_name != nullptr ? initiator_name : "";
  o->first = o->qualifier = request.isid_qualifier;
  o->reused = reused != 0;
  o->own = false;
  if (mode != 1) return true;
  if (params == nullptr) return false;
  o->address = param(params, 0);
  o->port = param(params, 1);
  o->boot = is_word(param(params, 4), "True") ? "True" : "False";
  return true;
}

// One try of a combination: its block, the qualifier, for a session the
// firmware's entry when none stands (*entry), then the login. The login's
// status; *sent false with the failure when it was not sent.
uint32_t login_send(LoginOutcome* o, tavo::IscsiLoginRequest* request, uint32_t mode, const bool combination[3],
                    bool* entry, bool* sent) {
  *sent = false;
  tavo::target_data::login_block(o->options, &request->options, combination[0], combination[1], combination[2]);
  request->isid_qualifier = o->qualifier;
  if (mode == 0) {
    request->flags |= tavo::kDiscoveryFlags;
    request->isid_qualifier = login_discovery_qualifier.fetch_add(1);
  } else {
    char name[TAVO_VALUE_SIZE];
    if (!read_text(o->target, "TargetISCSIName", name)) return 1;
    o->name = name;
    if (!*entry) {
      // Noted first: a cut before the session's line is saved leaves the
      // note that undoes the entry.
      PendingEntry e;
      const bool noted = login_entry_note(*o, o->qualifier, &e) && note_pending({&e, 1}) == 0;
      if (const uint32_t r = persist_entry(o->target, o->address.c_str(), o->port.c_str(), o->qualifier,
                                           &request->options, o->boot.c_str(), o->initiator.c_str(),
                                           target_eto(o->target))) {
        if (noted) let_go_pending(e);
        return r;
      }
      *entry = o->own = true;
    }
  }
  *sent = true;
  return ioctl_login_target(o->at.number, request, static_cast<uint8_t>(o->at.domain),
                            static_cast<uint8_t>(o->at.port));
}

// A session's try failed: the entry it made goes; whether an entry stands
// for the next try.
bool login_failed_try(LoginOutcome* o, uint32_t status, bool chap_may_change, bool entry) {
  const bool invalid = status == kUnreachable || status == kNoSuchTarget;
  if (invalid) pdebug(TAVO_LOG_BACKEND, 3, "%s: invalid target %s (%u)\n", "login_tries", o->name.c_str(), status);
  if (o->own) {
    login_drop_entry(*o, o->qualifier);
    o->own = false;
    return false;
  }
  // The reused session's entry holds a CHAP choice that failed: the next
  // try goes under a qualifier of its own. The entry itself stays until a
  // try logs in, so a failed login leaves the reused session as it found
  // it.
  return chap_may_change && !invalid ? false : entry;
}

}  // namespace

uint32_t tavo::sessions::login_tries(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request,
                                     char* params, const char* initiator_name, uint32_t reused, uint32_t mode,
                                     LoginOutcome* o) {
  if (action == nullptr || options == nullptr || request == nullptr || o == nullptr || (mode != 0 && mode != 1))
    return 1;
  if (!login_prepare(action, options, *request, params, initiator_name, reused, mode, o)) return 1;
  using tavo::iscsi::Field;
  const char* chap = tavo::target_data::option(o->options, Field::CHAPParam).c_str();
  const LoginChoices chaps = login_chap_choices(chap),
                     headers = login_digest_choices(tavo::target_data::option(o->options, Field::HeaderParam).c_str()),
                     datas = login_digest_choices(tavo::target_data::option(o->options, Field::DataParam).c_str());
  const bool chap_may_change = is_word(chap, "Preferred") || is_word(chap, "Discouraged");
  // What the firmware's answer overwrites goes back before each retry.
  uint8_t head[kRequestHead];
  memcpy(head, request, sizeof head);
  std::bitset<65536> tried;
  // The entry of o->qualifier stands: the reused session's, or one a try
  // made (o->own).
  bool entry = o->reused;
  for (int c = 0; c < chaps.count; ++c) {
    for (int h = 0; h < headers.count; ++h) {
      for (int d = 0; d < datas.count; ++d) {
        const bool last = c == chaps.count - 1 && h == headers.count - 1 && d == datas.count - 1;
        memcpy(request, head, sizeof head);
        const bool combination[3] = {chaps.value[c] == 1, headers.value[h] == 1, datas.value[d] == 1};
        bool sent = false;
        const uint32_t status = login_send(o, request, mode, combination, &entry, &sent);
        if (!sent) return status;
        if (status == 0) return 0;
        if (mode == 1) entry = login_failed_try(o, status, chap_may_change, entry);
        if (status != kAuthenticationFailed && status != kDigestMismatch) {
          if (mode == 0) return status;
          sessions_status(237);
          return 1;
        }
        if (last) {
          sessions_status(status);
          return status;
        }
        if (mode == 1 && !entry) {
          tried.set(o->qualifier);
          o->qualifier = static_cast<uint16_t>(lowest_free_qualifier(tried));
        }
      }
    }
  }
  return 1;
}

uint32_t tavo::sessions::login_commit(const LoginOutcome& o) {
  const bool moved = o.reused && o.qualifier != o.first;
  // The reused session's entry gives way to the one the login took, once
  // the line is saved in its place: it cannot be made again.
  if (moved)
    tavo::iscsi::SavedBatch::after([o] {
      if (delete_persistent(o.at.number, o.at.domain, o.at.port, o.target, o.name.c_str(), o.address.c_str(),
                            o.port.c_str(), o.first, o.initiator.c_str(), 1) != 0)
        pdebug(TAVO_LOG_BACKEND, 3, "%s: the entry of qualifier %u stays beside %u\n", "login_commit", o.first,
               o.qualifier);
    });
  if (!o.own) return 0;
  // The host's own initiator restores its sessions; only a boot session is
  // kept in the file for it.
  PendingEntry e;
  if (!login_entry_note(o, o.qualifier, &e)) return 0;
  let_go_after(e);
  const uint16_t* instead = moved ? &o.first : nullptr;
  if (save_session_line(o.target, o.address.c_str(), o.port.c_str(), o.qualifier, instead, &o.options) == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: the session line of qualifier %u was not saved\n", __func__, o.qualifier);
  return 1;
}

void tavo::sessions::login_undo(const LoginOutcome& o, uint32_t session_handle, bool opened) {
  if (opened) {
    uint32_t handle = session_handle;
    const uint32_t status = ioctl_logout_target(o.at.number, &handle, static_cast<uint8_t>(o.at.domain),
                                                static_cast<uint8_t>(o.at.port));
    if (status != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s: session 0x%x stays logged in\n", __func__, session_handle);
  }
  if (o.own) login_drop_entry(o, o.qualifier);
}

uint32_t TAVO_esx_login(TavoNode* action, TavoNode* options, tavo::IscsiLoginRequest* request, char* params,
                        const char* initiator_name, uint32_t reused, uint32_t mode) {
  TAVO_LIBRARY_LOCK;
  LoginOutcome o;
  const uint32_t r = login_tries(action, options, request, params, initiator_name, reused, mode, &o);
  if (r != 0 || mode != 1) return r;
  login_commit(o);
  return 0;
}
