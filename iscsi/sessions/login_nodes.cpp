// The Session and Connection groups a login builds from the firmware's
// answer, with their records and negotiated values.
#include <stdlib.h>

#include "base/library_lock.h"
#include "base/validate.h"
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
  char first_burst[12], connections[12], burst[12], r2t[12], wait[12], retain[12], recovery[12];
  tavo::base::write_decimal(first_burst, o->first_burst_length);
  tavo::base::write_decimal(connections, o->max_connections);
  tavo::base::write_decimal(burst, o->max_burst_length);
  tavo::base::write_decimal(r2t, o->max_outstanding_r2t);
  tavo::base::write_decimal(wait, o->default_time2wait);
  tavo::base::write_decimal(retain, o->default_time2retain);
  tavo::base::write_decimal(recovery, o->error_recovery_level);
  const tavo::tree::StoredValue values[] = {{"InitialR2T", nodes_yes(o->flags, 1)},
                               {"ImmediateData", nodes_yes(o->flags, 2)},
                               {"MaxConnections", connections},
                               {"MaxOutStandingR2T", r2t},
                               {"FirstBurstLength", initial_r2t && !immediate ? "Irrelevant" : first_burst},
                               {"MaxBurstLength", burst},
                               {"DefaultTime2Wait", wait},
                               {"DefaultTime2Retain", retain},
                               {"ErrorRecoveryLevel", recovery},
                               {"DataPDUInOrder", nodes_yes(o->flags, 4)},
                               {"DataSequenceInOrder", nodes_yes(o->flags, 8)}};
  return tavo::tree::store_values(group, values);
}

uint32_t set_connection_login_options(TavoNode* group, const tavo::NegotiatedConnectionOptions* o) {
  TAVO_LIBRARY_LOCK;
  if (group == nullptr || o == nullptr) return 1;
  char segment[12], mss[12];
  // The target's receive limit is what the initiator may send it; the
  // connection has no property for the TCP window.
  tavo::base::write_decimal(segment, o->max_recv_data_segment_length);
  tavo::base::write_decimal(mss, o->tcp_mss);
  const char* method = o->authentication == 0                               ? "None"
                       : o->authentication != 1                             ? nullptr
                       : o->chap_direction == 0                             ? "One-Way CHAP"
                       : o->chap_direction == 1                             ? "Mutual CHAP"
                                                                            : nullptr;
  const tavo::tree::StoredValue values[] = {{"AuthenticationMethod", method},
                               {"HeaderDigest", nodes_digest(o->header_digest)},
                               {"DataDigest", nodes_digest(o->data_digest)},
                               {"MaxSendDataSegmentLength", segment},
                               {"TCPMSS", mss}};
  // No method is shown for an authentication of no known kind.
  return tavo::tree::store_values(group, std::span(values).subspan(method != nullptr ? 0 : 1));
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
