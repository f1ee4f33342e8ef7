// The Session and Connection groups a login builds from the firmware's
// answer, with their records and negotiated values.
#include <stdlib.h>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"

using namespace tavo::sessions;

namespace {

const char* nodes_yes(uint8_t flags, uint8_t bit) { return (flags & bit) != 0 ? "Yes" : "No"; }
const char* nodes_digest(uint8_t byte) { return byte == 1 ? "CRC32C" : "None"; }

}  // namespace

uint32_t set_session_login_options(TavoNode* group, const tavo::NegotiatedSessionOptions* o) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || o == nullptr) return 1;
  const bool initial_r2t = (o->flags & 1) != 0, immediate = (o->flags & 2) != 0;
  uint32_t r = set_prop_val(group, "InitialR2T", "%s", nodes_yes(o->flags, 1));
  r |= set_prop_val(group, "ImmediateData", "%s", nodes_yes(o->flags, 2));
  if (initial_r2t && !immediate)
    r |= set_prop_val(group, "FirstBurstLength", "Irrelevant");
  else
    r |= set_prop_val(group, "FirstBurstLength", "%u", o->first_burst_length);
  r |= set_prop_val(group, "MaxConnections", "%u", o->max_connections);
  r |= set_prop_val(group, "MaxBurstLength", "%u", o->max_burst_length);
  r |= set_prop_val(group, "MaxOutStandingR2T", "%u", o->max_outstanding_r2t);
  r |= set_prop_val(group, "DataPDUInOrder", "%s", nodes_yes(o->flags, 4));
  r |= set_prop_val(group, "DataSequenceInOrder", "%s", nodes_yes(o->flags, 8));
  r |= set_prop_val(group, "DefaultTime2Wait", "%u", o->default_time2wait);
  r |= set_prop_val(group, "DefaultTime2Retain", "%u", o->default_time2retain);
  return r | set_prop_val(group, "ErrorRecoveryLevel", "%u", o->error_recovery_level);
}

uint32_t set_connection_login_options(TavoNode* group, const tavo::NegotiatedConnectionOptions* o) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || o == nullptr) return 1;
  uint32_t r = set_prop_val(group, "HeaderDigest", "%s", nodes_digest(o->header_digest));
  r |= set_prop_val(group, "DataDigest", "%s", nodes_digest(o->data_digest));
  // The target's receive limit is what the initiator may send it; the
  // connection has no property for the TCP window.
  r |= set_prop_val(group, "MaxSendDataSegmentLength", "%u", o->max_recv_data_segment_length);
  r |= set_prop_val(group, "TCPMSS", "%u", o->tcp_mss);
  const char* method = o->authentication == 0                               ? "None"
                       : o->authentication != 1                             ? nullptr
                       : o->chap_direction == 0                             ? "One-Way CHAP"
                       : o->chap_direction == 1                             ? "Mutual CHAP"
                                                                            : nullptr;
  if (method != nullptr) r |= set_prop_val(group, "AuthenticationMethod", "%s", method);
  return r;
}

TavoNode* setup_session(TavoNode* target, uint32_t function_number, uint32_t session_handle, const char*,
                        const tavo::NegotiatedSessionOptions* options, TavoNode* creating_node,
                        TavoNode* creating_action, char* params, const char* portal_group_tag) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return nullptr;
  TavoNode* session = initialize_Session(target, creating_node, creating_action, params);
  if (session == nullptr) return nullptr;
  const auto tag = static_cast<uint32_t>(portal_group_tag != nullptr ? strtoul(portal_group_tag, nullptr, 10) : 0);
  if (!attach_record(session, SessionPrivateRecord{function_number, session_handle, 0, tag}) ||
      internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP) == nullptr ||
      internal_get_node(session, "SessionLoginOptions", TAVO_KIND_GROUP) == nullptr) {
    delete_with_records(session);
    return nullptr;
  }
  if (options != nullptr)
    set_session_login_options(internal_get_node(session, "SessionNegotiatedLoginOptions", TAVO_KIND_GROUP), options);
  return session;
}

TavoNode* setup_connection(TavoNode* session, uint32_t connection_handle,
                           const tavo::NegotiatedConnectionOptions* options, TavoNode* creating_node,
                           TavoNode* creating_action, char* params) {
  TAVO_LIBRARY_LOCK;
  if (session == nullptr) return nullptr;
  TavoNode* connection = initialize_Connection(session, creating_node, creating_action, params);
  if (connection == nullptr) return nullptr;
  if (!attach_record(connection, SessionPrivateRecord{0, connection_handle, 0, 0})) {
    delete_node(connection);
    return nullptr;
  }
  if (options != nullptr)
    set_connection_login_options(internal_get_node(connection, "ConnectionNegotiatedLoginOptions", TAVO_KIND_GROUP),
                                 options);
  return connection;
}
