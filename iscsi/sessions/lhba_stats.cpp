// The iSCSIStatistics of a LogicalHBA: the node attributes (30/2), the
// initiator's instance statistics (46/6) and its login statistics (47/6),
// each family fetched whole when one of its properties is read.
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "base/library_lock.h"
#include "base/validate.h"
#include "iscsi/sessions/sessions_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"
#include "transport/session_records.h"

using namespace tavo::sessions;

namespace {

constexpr const char* kNodeFamily[] = {"NodeRoles",     "PortalCount", "NodeCount", "PortRowStatus",
                                       "PortalRole",    "PortalProtocol", "PortalTag"};
constexpr const char* kInstanceFamily[] = {"SessionCount",           "SessionFailureCount", "LastSessionFailureType",
                                           "LastSessionRmtNodeName", "SessionDigestErrors", "SessionConnectionTimeout",
                                           "SessionFormatErrors"};
constexpr const char* kLoginFamily[] = {"LoginFailures",     "LastFailureTime",    "LastFailureType",
                                        "LastTgtFailureName", "LastTgtFailureAddr", "LoginAcceptRsps",
                                        "LoginOtherFailRsps", "LoginRedirectRsps",  "LoginAuthFailRsps",
                                        "LoginAuthFails",     "LoginNegoFails",     "LogoutNormals",
                                        "LogoutOthers"};
constexpr const char* kSessionFailures[] = {"OtherErrors", "DigestErrors", "ConnectionTimeoutErrors", "FormatErrors"};
constexpr const char* kLoginFailures[] = {"UnknownFailure",           "LoginAcceptFailure",
                                          "OtherFailure",             "LoginRedirectFailure",
                                          "LoginAuthorizationFailure", "LoginAuthenticationFailure",
                                          "LoginNegotiationFailure"};

// A family fetched: with the host's own initiator every property reads
// "N/A" and nothing is asked of the firmware; else the record is read (a
// failure leaves status, 1) and store writes it into the statistics group.
// 1 when a property is missing.
template <typename Record, size_t N, typename Store>
uint32_t lhba_fetch(TavoNode* lhba, const char* const (&family)[N], uint32_t (*read)(uint32_t, void*, uint8_t, uint8_t),
                    uint32_t status, uint32_t function_number, uint32_t domain, uint32_t port, Store store) {
  TavoNode* group = internal_get_node(lhba, "iSCSIStatistics", TAVO_KIND_GROUP);
  if (group == nullptr) return 1;
  uint32_t result = 0;
  if (OPEN_ISCSI_DRIVER_LOADED) {
    for (const char* name : family) result |= set_prop_val(group, name, "N/A");
    return result != 0 ? 1 : 0;
  }
  Record r{};
  if (read(function_number, &r, static_cast<uint8_t>(domain), static_cast<uint8_t>(port)) != 0) {
    sessions_status(status);
    return 1;
  }
  return store(group, r) != 0 ? 1 : 0;
}

template <size_t N>
uint32_t lhba_table_text(TavoNode* group, const char* name, uint32_t value, const char* const (&texts)[N]) {
  if (value >= N) return internal_get_node(group, name, TAVO_KIND_PROPERTY) != nullptr ? 0 : 1;
  return set_prop_val(group, name, "%s", texts[value]);
}

uint32_t lhba_number(TavoNode* group, const char* name, uint32_t value) {
  return set_prop_val(group, name, "%d", static_cast<int32_t>(value));
}

// A fixed-width text field of a record, up to its first NUL.
uint32_t lhba_text(TavoNode* group, const char* name, const char* field, size_t size) {
  return set_prop_val(group, name, "%.*s", static_cast<int>(strnlen(field, size)), field);
}

// A statistics handler: the family fetched into the LogicalHBA above the
// property's group, then the property's stored text.
uint32_t lhba_read(TavoNode* property, char* buf,
                   uint32_t (*fetch)(uint32_t, uint32_t, uint32_t, TavoNode*)) {
  if (property == nullptr || buf == nullptr || property->parent == nullptr) return 1;
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(property);
  if (fetch(at.number, at.domain, at.port, at.lhba) != 0) return 1;
  snprintf(buf, TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(property)->value);
  return 0;
}

}  // namespace

uint32_t get_NodeAttr_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  return lhba_fetch<tavo::NodeAttributesRecord>(
      lhba, kNodeFamily, ioctl_get_node_params, 91, function_number, domain, port,
      [](TavoNode* group, const tavo::NodeAttributesRecord& r) -> uint32_t {
        // The first three must be there before the others are written.
        if (set_prop_val(group, "NodeRoles", "%x", static_cast<int32_t>(r.node_roles)) != 0 ||
            set_prop_val(group, "PortalCount", "%x", static_cast<int32_t>(r.portal_count)) != 0 ||
            lhba_number(group, "NodeCount", r.node_count) != 0)
          return 1;
        uint32_t result = lhba_number(group, "PortRowStatus", r.port_row_status);
        result |= set_prop_val(group, "PortalRole", "%x", r.portal_role);
        result |= set_prop_val(group, "PortalProtocol", "%x", r.portal_protocol);
        return result | lhba_number(group, "PortalTag", r.portal_tag);
      });
}

uint32_t get_intr_stats_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  return lhba_fetch<tavo::InitiatorInstanceStats>(
      lhba, kInstanceFamily, ioctl_get_intr_inst_params, 95, function_number, domain, port,
      [](TavoNode* group, const tavo::InitiatorInstanceStats& r) {
        uint32_t result = lhba_number(group, "SessionCount", r.sessions);
        result |= lhba_number(group, "SessionFailureCount", r.session_failures);
        result |= lhba_table_text(group, "LastSessionFailureType", r.last_failure_type, kSessionFailures);
        result |= lhba_text(group, "LastSessionRmtNodeName", r.last_remote_node, sizeof r.last_remote_node);
        result |= lhba_number(group, "SessionDigestErrors", r.digest_errors);
        result |= lhba_number(group, "SessionConnectionTimeout", r.connection_timeouts);
        return result | lhba_number(group, "SessionFormatErrors", r.format_errors);
      });
}

uint32_t get_login_stats_Params(uint32_t function_number, uint32_t domain, uint32_t port, TavoNode* lhba) {
  TAVO_LIBRARY_LOCK;
  return lhba_fetch<tavo::InitiatorLoginStats>(
      lhba, kLoginFamily, ioctl_get_login_params, 96, function_number, domain, port,
      [](TavoNode* group, const tavo::InitiatorLoginStats& r) {
        char address[TAVO_VALUE_SIZE];
        ipaddr_to_string(r.last_target_address, address, r.last_target_type);
        uint32_t result = lhba_number(group, "LoginFailures", r.login_failures);
        result |= lhba_number(group, "LastFailureTime", r.last_failure_time);
        result |= lhba_table_text(group, "LastFailureType", r.last_failure_type, kLoginFailures);
        result |= lhba_text(group, "LastTgtFailureName", r.last_target_name, sizeof r.last_target_name);
        result |= set_prop_val(group, "LastTgtFailureAddr", "%s", address);
        result |= lhba_number(group, "LoginAcceptRsps", r.accept_responses);
        result |= lhba_number(group, "LoginOtherFailRsps", r.other_failure_responses);
        result |= lhba_number(group, "LoginRedirectRsps", r.redirect_responses);
        result |= lhba_number(group, "LoginAuthFailRsps", r.authorization_failure_responses);
        result |= lhba_number(group, "LoginAuthFails", r.authentication_failures);
        result |= lhba_number(group, "LoginNegoFails", r.negotiation_failures);
        result |= lhba_number(group, "LogoutNormals", r.normal_logouts);
        return result | lhba_number(group, "LogoutOthers", r.other_logouts);
      });
}

uint32_t handle_NodeAttr_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return lhba_read(property, buf, get_NodeAttr_Params);
}

uint32_t handle_intrInstStat_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return lhba_read(property, buf, get_intr_stats_Params);
}

uint32_t handle_intrLoginStat_properties(TavoNode* property, char* buf, uint32_t) {
  TAVO_LIBRARY_LOCK;
  return lhba_read(property, buf, get_login_stats_Params);
}
