// The Login action of a Target: the portal and the ISID qualifier are
// chosen, the engine logs in, and the firmware's answer becomes a Session
// with its Connection (or refreshes the closed session the login
// reopened); the LUN scan, the ETO and, on Moravel, the boot-target record
// follow.
#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>

#include "base/library_lock.h"
#include "controller/controller.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/network/network.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kMostSessions = 64;
constexpr uint32_t kLunsMissing = 90;
constexpr uint32_t kOpenIscsiDuplicate = 149;

uint32_t login_session_count(TavoNode* target) {
  uint32_t n = 0;
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) ++n;
  return n;
}

// The portal the login goes to: the one of the given address and port,
// else instance 0; its address and port then stand in the parameters.
// Null, with status 29, for none.
TavoNode* login_portal(TavoNode* target, char* address, char* port, char tag[TAVO_VALUE_SIZE]) {
  TavoNode* portal = nullptr;
  if (address[0] != '\0' || port[0] != '\0') {
    uint32_t instance = 0;
    // An IPv6 address compares in the full form the portals keep.
    if (tavo::iscsi::full_address(address) && validate_target_portal(target, &instance, address, port) == 0)
      portal = get_selected_group_node(target, "TargetPortal", std::to_string(instance).c_str());
  } else {
    portal = get_selected_group_node(target, "TargetPortal", "0");
  }
  if (portal == nullptr) {
    sessions_status(29);
    return nullptr;
  }
  return read_text(portal, "TargetIPAddress", address) && read_text(portal, "TargetPortNumber", port) &&
                 read_text(portal, "PortalGroupTag", tag)
             ? portal
             : nullptr;
}

uint32_t login_priority(const char* text) {
  return is_word(text, "Primary") ? 1 : is_word(text, "Secondary") ? 2 : 0;
}

// The boot-target record of a boot session on Moravel; 0, or 1 (306).
uint32_t login_boot_tail(const tavo::tree::HandlerContext& p, TavoNode* session, const char* priority_param) {
  char priority[TAVO_VALUE_SIZE];
  if (!read_text(session, "BootTargetPriority", priority)) return 1;
  const uint32_t code = login_priority(priority_param[0] != '\0' ? priority_param : priority);
  uint8_t number = 0;
  if (TAVO_check_boot_target_num(p.lhba, &number) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: no boot target number\n", __func__);
    return 1;
  }
  if (TAVO_add_boottarget_tlv(p.number, p.domain, p.port, session, code, number) != 0) {
    tavo::base::set_status(306);
    return 1;
  }
  return 0;
}

// The handles of a session's records (session, connection); the ones they
// held before.
std::pair<uint32_t, uint32_t> login_handles(TavoNode* session, uint32_t session_handle, uint32_t connection_handle) {
  std::pair<uint32_t, uint32_t> old{0, 0};
  if (SessionPrivateRecord* r = private_record(session)) {
    old.first = r->handle;
    r->handle = session_handle;
    note_session_handle(session);
  }
  if (SessionPrivateRecord* r = private_record(first_connection(session))) {
    old.second = r->handle;
    r->handle = connection_handle;
  }
  return old;
}

// The firmware's answer into the reopened session (whose records hold its
// handles already), or into a new Session and Connection; the session, or
// null with nothing built.
TavoNode* login_nodes(const tavo::tree::HandlerContext& p, TavoNode* target, TavoNode* action, char* params,
                      TavoNode* reused, const tavo::IscsiLoginReply& reply, uint16_t qualifier, const char* tag) {
  TavoNode* session = reused;
  TavoNode* c = first_connection(reused);
  if (reused != nullptr) {
    set_session_login_options(internal_get_node(reused, "SessionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                              &reply.session);
    set_connection_login_options(internal_get_node(c, "ConnectionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                                 &reply.connection);
  } else {
    session = setup_session(target, p.number, reply.session_handle, param(params, 4), &reply.session, target, action,
                            params, tag);
    if (session == nullptr) return nullptr;
    c = setup_connection(session, reply.connection_handle, &reply.connection, nullptr, nullptr, nullptr);
    if (c == nullptr) {
      delete_with_records(session);
      return nullptr;
    }
  }
  // What the attribute read fills in too: the session holds the qualifier
  // it logged in under and its portal even when that read fails.
  show_qualifier(session, qualifier);
  set_prop_val(c, "DestinationIPAddress", "%s", param(params, 0));
  set_prop_val(c, "DestinationPortNumber", "%s", param(params, 1));
  return session;
}

// The host's software initiator logs in: each portal in turn until one
// takes the login; 0, or 1 (296 for a second session to one portal).
uint32_t login_software(TavoNode* target, TavoNode* first, char* params) {
  uint32_t portals = 0;
  for (TavoNode* tp = get_first_instance(target, "TargetPortal"); tp != nullptr; tp = next_instance(tp)) ++portals;
  for (uint32_t i = 0;; ++i) {
    TavoNode* portal = i == 0 ? first : get_selected_group_node(target, "TargetPortal", std::to_string(i).c_str());
    const uint32_t r = TAVO_op_iscsi_login(target, portal, params);
    if (r == 0) return 0;
    if (r == kOpenIscsiDuplicate) {
      sessions_status(296);
      return 1;
    }
    if (i + 1 >= portals) return 1;
    if (i == 0) param(params, 0)[0] = param(params, 1)[0] = '\0';
  }
}

}  // namespace

namespace {

// What the steps of a login share.
struct LoginRun {
  tavo::tree::HandlerContext p;
  TavoNode* target;
  TavoNode* action;
  char* params;
  char* address = nullptr;
  char* port = nullptr;
  char* initiator = nullptr;
  char tag[TAVO_VALUE_SIZE] = "";
  TavoNode* portal = nullptr;
  TavoNode* matched = nullptr;  // the session to the portal, if any
  bool boot = false;
};

// The checks before anything is sent; the portal and the matched session.
bool login_start(LoginRun& r) {
  if (r.target == nullptr || r.action == nullptr || r.params == nullptr || !below_lhba(r.p)) {
    pdebug(TAVO_LOG_BACKEND, 3, "do_Login: the target has no LogicalHBA or controller above it\n");
    return false;
  }
  if (login_session_count(r.target) >= kMostSessions) {
    sessions_status(118);
    return false;
  }
  if (get_first_instance(r.target, "TargetPortal") == nullptr) {
    sessions_status(29);
    return false;
  }
  r.address = param(r.params, 0);
  r.port = param(r.params, 1);
  r.initiator = param(r.params, 2);
  r.portal = login_portal(r.target, r.address, r.port, r.tag);
  if (r.portal == nullptr || internal_get_node(r.p.lhba, "InitiatoriSCSIName", TAVO_KIND_GROUP) == nullptr)
    return false;
  r.matched = find_session(r.target, r.address, r.port);
  char matched_boot[TAVO_VALUE_SIZE] = "";
  if (r.matched != nullptr) read_text(r.matched, "iSCSIBoot", matched_boot);
  r.boot = is_word(matched_boot, "True") || is_word(param(r.params, 4), "True");
  return true;
}

// The host's software initiator logs in first; *done when that is all.
uint32_t login_by_software(const LoginRun& r, bool* done) {
  *done = false;
  if (login_software(r.target, r.portal, r.params) != 0) return 1;
  set_prop_val(r.target, "ETO", "0");
  if (r.matched != nullptr || r.boot) return 0;
  *done = true;
  uint32_t result = TAVO_op_setup_session(r.target, r.params);
  TavoNode* session = get_first_instance(r.target, "Session");
  result |= TAVO_op_setup_connection(session, r.params);
  if (session != nullptr)
    result |= set_prop_val(session, "SessionTSIH", "N/A") | set_prop_val(session, "Persistent", "True");
  return result | TAVO_op_get_session_details(session) | TAVO_op_get_all_luns(r.target, r.action, r.params);
}

// The login request: the initiator (the matched session's, else the
// LogicalHBA's when none is given), the target, the qualifier and the
// portal. 0, or 1.
uint32_t login_request(LoginRun& r, tavo::IscsiLoginRequest* request, uint32_t* reused, TavoNode** reused_session) {
  const bool named = r.initiator[0] == '\0' && (!OPEN_ISCSI_DRIVER_LOADED || r.boot);
  if (named && r.matched != nullptr) {
    SessionView view;
    if (!session_view(r.matched, &view)) return 1;
    memcpy(r.initiator, view.initiator, sizeof view.initiator);
  }
  tavo::network::InitiatorNames names;
  const bool by_name = named && r.matched == nullptr;
  if (tavo::network::initiator_names(r.p.lhba, by_name ? tavo::network::NameRead::Name
                                                       : tavo::network::NameRead::Alias,
                                     &names) != 0)
    return 1;
  if (by_name) snprintf(r.initiator, TAVO_VALUE_SIZE, "%s", names.name);
  const char* name = tavo::target_data::target_stored_name(r.target);
  if (name == nullptr) return 1;
  put_text(request->initiator_name, sizeof request->initiator_name, r.initiator);
  put_text(request->initiator_alias, sizeof request->initiator_alias, names.alias);
  put_text(request->target_name, sizeof request->target_name, name);
  uint32_t qualifier = 0;
  if (TAVO_get_isid(r.target, param(r.params, 3), name, r.initiator, r.address, r.port, reused, &qualifier,
                    reused_session) != 0)
    return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    char text[TAVO_VALUE_SIZE] = "";
    TAVO_op_get_isid(r.target, text);
  }
  request->isid_qualifier = static_cast<uint16_t>(qualifier);
  request->word224 = tavo::kLoginWord224;
  if (!put_portal(r.address, r.port, &request->address_type, request->address, &request->port)) return 1;
  request->flags |= tavo::kLoginFlags;
  request->eto = tavo::kNoEto;
  request->word1398 = request->word1400 = 0xFFFF;
  return 0;
}

// What follows a login that stands: the session's values, its LUNs, the
// ETO (58 when it cannot be applied, the login standing) and Persistent.
// 0, or 1 to end the action there with 0.
uint32_t login_settle(const LoginRun& r, TavoNode* session, const char* eto, uint32_t session_handle) {
  get_session_attribs(r.p.number, r.p.domain, r.p.port, session);
  char answer[TAVO_VALUE_SIZE] = "";
  ParamTexts cleared;
  if (get_all_luns(r.target, r.p.domain, r.p.port, r.target,
                   internal_get_node(r.target, "ReScanLUNS", TAVO_KIND_ACTION), cleared.data(),
                   answer) == kLunsMissing)
    sessions_status(kLunsMissing);
  const uint32_t applied = software_initiator(r.p.number)
                               ? set_prop_val(r.target, "ETO", "N/A")
                               : set_eto_prop(r.p.number, r.p.domain, r.p.port, r.target, eto, session_handle);
  if (applied != 0) {
    sessions_status(58);
    return 1;
  }
  set_prop_val(session, "Persistent", "True");
  return 0;
}

uint32_t login_action(TavoNode* target, TavoNode* action, char* params, tavo::iscsi::SavedBatch& batch) {
  LoginRun r{.p = tavo::tree::handler_context(target), .target = target, .action = action, .params = params};
  if (!login_start(r)) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    bool done = false;
    const uint32_t result = login_by_software(r, &done);
    if (result != 0 || done) return result;
  }
  tavo::IscsiLoginRequest request{};
  uint32_t reused = 0;
  TavoNode* reused_session = nullptr;
  if (login_request(r, &request, &reused, &reused_session) != 0) return 1;
  TavoNode* options = internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP);
  LoginOutcome outcome;
  if (options == nullptr || login_tries(action, options, &request, params, r.initiator, reused, 1, &outcome) != 0)
    return 1;
  tavo::IscsiLoginReply reply;
  memcpy(&reply, &request, sizeof reply);
  if ((reply.session_state & tavo::kSessionNotOpened) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "do_Login: the firmware did not open the session\n");
    login_undo(outcome, reply.session_handle, false);
    return 1;
  }
  // The reopened session stands for the firmware's session from here on:
  // every read below goes through the handles the firmware answered.
  TavoNode* reopened = reused != 0 ? reused_session : nullptr;
  const auto before = login_handles(reopened, reply.session_handle, reply.connection_handle);
  char eto[TAVO_VALUE_SIZE];
  TavoNode* session = read_target_eto(target, eto) == 0 ? login_nodes(r.p, target, action, params, reopened, reply,
                                                                      outcome.qualifier, r.tag)
                                                        : nullptr;
  if (session == nullptr) {
    login_handles(reopened, before.first, before.second);
    login_undo(outcome, reply.session_handle, true);
    return 1;
  }
  // A login whose line cannot be saved does not stand: the session is
  // logged out again, its entry goes and the target's sessions are read
  // anew from the firmware.
  const auto take_back = [=] {
    login_handles(reopened, before.first, before.second);
    login_undo(outcome, reply.session_handle, true);
    if (reopened == nullptr) delete_with_records(session);
    group_Target(target);
  };
  if (login_commit(outcome) != 0) {
    tavo::iscsi::keeping_last_status(take_back);
    return 1;
  }
  tavo::iscsi::SavedBatch::on_failure(take_back);
  // The login stands once its line is written; what follows does not
  // take it back.
  if (batch.commit() != 0) return 1;
  if (!OPEN_ISCSI_DRIVER_LOADED && login_settle(r, session, eto, reply.session_handle) != 0) return 0;
  if (get_cv_type(r.p.controller) == tavo::kGenerationMoravel && r.boot &&
      login_boot_tail(r.p, session, param(params, 5)) != 0)
    return 1;
  if (!OPEN_ISCSI_DRIVER_LOADED) return 0;
  return set_prop_val(session, "SessionTSIH", "N/A") | set_prop_val(session, "Persistent", "True") |
         TAVO_op_get_session_details(session) | TAVO_op_get_all_luns(target, action, params);
}

}  // namespace

uint32_t do_Login(TavoNode* target, TavoNode* action, char* params) {
  TAVO_LIBRARY_LOCK;
  // Each session's record and configuration is read once before the login
  // and once after it (the login makes them read anew).
  tavo::iscsi::ReadScope reads;
  // The session's line is written once the login stands.
  tavo::iscsi::SavedBatch batch;
  return batch.end(login_action(target, action, params, batch));
}
