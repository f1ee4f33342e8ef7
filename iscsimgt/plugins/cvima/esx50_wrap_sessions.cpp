// Sessions the host opens and closes, through the Login and Logout actions
// of a target.
#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kSessionTypes =
    type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_SESSION);

uint32_t portal_address(uint32_t portal, char* address, char* port) {
  if (const uint32_t status = GetTavoPropertyVal(portal, "TargetIPAddress", address)) return status;
  return GetTavoPropertyVal(portal, "TargetPortNumber", port);
}

// Logs out one session of the target (its lowest); none without sessions.
uint32_t logout_one(uint32_t target) {
  Tags sessions;
  if (const uint32_t status = child_tags(target, "Session", &sessions)) return status;
  if (sessions.count == 0) return 0;
  ActionParams params;
  params.not_given(0);
  return run_action(target, "Logout", params);
}

// Runs per_target on the targets an LHBA id (each of its targets) or a
// target id (the portal's target) stands for; false for a session id. One
// target that fails does not keep the others from their turn: every
// target is tried and the first failure is the answer.
bool over_targets(const IMA_OID& oid, uint32_t (*per_target)(uint32_t), IMA_STATUS* result) {
  if (oid.objectType == IMA_OBJECT_TYPE_SESSION) return false;
  Tags targets;
  uint32_t status;
  if (oid.objectType == IMA_OBJECT_TYPE_LHBA) {
    status = child_tags(oid_tag(oid), "Target", &targets);
  } else {
    status = parent_of(oid_tag(oid), &targets.tag[0]);
    targets.count = status == 0 ? 1 : 0;
  }
  *result = ErrorCheck(status);
  for (uint32_t i = 0; status == 0 && i < targets.count; ++i) {
    const IMA_STATUS own = ErrorCheck(per_target(targets.tag[i]));
    if (*result == IMA_STATUS_SUCCESS) *result = own;
  }
  return true;
}

}  // namespace

namespace tavo::cvima {

ActionParams login_params(const char* address, const char* port) {
  ActionParams params;
  params.set(0, address);
  params.set(1, port);
  params.not_given(2);
  params.not_given(3);
  params.set(4, "False");
  params.set(5, "None");
  return params;
}

}  // namespace tavo::cvima

extern "C" {

uint32_t check_session(const uint32_t* session_tags, uint32_t count, const char* address, const char* port) {
  if (session_tags == nullptr || address == nullptr || port == nullptr) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    Text session_status, destination, destination_port, connection_status;
    uint32_t connection = 0;
    if (GetTavoPropertyVal(session_tags[i], "SessionStatus", session_status) != 0 ||
        group_tag(session_tags[i], "Connection0", &connection) != 0 ||
        GetTavoPropertyVal(connection, "DestinationIPAddress", destination) != 0 ||
        GetTavoPropertyVal(connection, "DestinationPortNumber", destination_port) != 0 ||
        GetTavoPropertyVal(connection, "Status", connection_status) != 0)
      return 0;
    if (!same_portal(destination, destination_port, address, port)) continue;
    const bool closed = strcmp(connection_status, "Connection closed") == 0;
    if (closed ? strcmp(session_status, "Login failed") == 0 : strcmp(session_status, "Closed") != 0) return 1;
  }
  return 0;
}

IMA_STATUS IMA_check_session_status(uint32_t target) {
  uint32_t login = 0;
  Tags portals, sessions;
  if (const uint32_t status = find_action(target, "Login", &login)) return ErrorCheck(status);
  if (const uint32_t status = child_tags(target, "TargetPortal", &portals)) return ErrorCheck(status);
  if (const uint32_t status = child_tags(target, "Session", &sessions)) return ErrorCheck(status);
  const bool has_sessions = sessions.count > 0;
  // With sessions, a failed login does not stop the walk; the first one
  // is the call's answer.
  uint32_t failed = 0;
  for (uint32_t p = 0; p < portals.count; ++p) {
    Text address, port;
    // Each portal is logged in to by its own address and port.
    if (const uint32_t status = portal_address(portals.tag[p], address, port)) return ErrorCheck(status);
    if (has_sessions && check_session(sessions.tag, sessions.count, address, port) != 0) continue;
    const ActionParams params = login_params(address, port);
    if (const uint32_t status = TAVO_do_action(target, login, params.block(), nullptr)) {
      ppdebug("%s:Login Failed\n", "IMA_check_session_status");
      if (!has_sessions) return ErrorCheck(status);
      if (failed == 0) failed = status;
    }
  }
  return ErrorCheck(failed);
}

IMA_STATUS IMA_VMW_AddSession(IMA_OID oid) {
  IMA_STATUS result = check_oid(oid, kSessionTypes);
  if (result != 0 || over_targets(oid, IMA_check_session_status, &result)) return result;
  // A session: again to where its connection went.
  uint32_t up = 0, connection = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &up)) return ErrorCheck(status);
  Text address, port;
  if (const uint32_t status = group_tag(oid_tag(oid), "Connection0", &connection)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(connection, "DestinationIPAddress", address)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(connection, "DestinationPortNumber", port)) return ErrorCheck(status);
  return ErrorCheck(run_action(up, "Login", login_params(address, port)));
}

IMA_STATUS IMA_VMW_RemoveSession(IMA_OID oid) {
  IMA_STATUS result = check_oid(oid, kSessionTypes);
  if (result != 0 || over_targets(oid, logout_one, &result)) return result;
  // The session the id names, whatever its number.
  uint32_t up = 0;
  int number = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &up)) return ErrorCheck(status);
  if (const uint32_t status = instance_number(oid_tag(oid), "Session", &number)) return ErrorCheck(status);
  ActionParams params;
  params.set_number(0, number);
  if (const uint32_t status = run_action(up, "Logout", params)) {
    if (last_status_code() == 115) return IMA_ERROR_LOGOUT_REFUSED;
    return ErrorCheck(status);
  }
  return IMA_STATUS_SUCCESS;
}

}  // extern "C"
