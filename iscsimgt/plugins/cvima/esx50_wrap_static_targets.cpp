// Statically configured targets as the host sees them: one id per portal
// of each target; and the rediscovery that reruns SendTargets and logs in
// every portal without a live session.
#include <stdio.h>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kLhbaTypes = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PNP);

IMA_STATUS static_target_properties(const IMA_OID& oid, uint32_t accepted,
                                    IMA_STATIC_DISCOVERY_TARGET_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  const uint32_t portal = oid_tag(oid);
  uint32_t target = 0;
  if (const uint32_t status = associated_ids(portal, &target, &props->associatedNodeOid, &props->associatedLhbaOid))
    return ErrorCheck(status);
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(target, "TargetISCSIName", text)) return ErrorCheck(status);
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->staticTarget.targetName, text, IMA_NODE_NAME_LENGTH))
    return status;
  IMA_TARGET_ADDRESS& address = props->staticTarget.targetAddress;
  if (const uint32_t status = GetTavoPropertyVal(portal, "TargetIPAddress", text)) return ErrorCheck(status);
  address.hostnameIpAddress.hostnameInUse = 0;
  text_to_address(text, &address.hostnameIpAddress.id.ipAddress);
  if (const uint32_t status = GetTavoPropertyVal(portal, "TargetPortNumber", text)) return ErrorCheck(status);
  address.portNumber = static_cast<IMA_PORT_NUMBER>(decimal(text));
  if (const uint32_t status = GetTavoPropertyVal(portal, "PortalGroupTag", text)) return ErrorCheck(status);
  props->targetPortalGroupTag = static_cast<IMA_UINT16>(decimal(text));
  props->targetPortalGroupTagValid = 1;
  return IMA_STATUS_SUCCESS;
}

// The targets of the logical HBA that carry exactly this name.
uint32_t targets_named(uint32_t lhba, const char* name, Tags* found) {
  Tags targets;
  found->count = 0;
  if (const uint32_t status = child_tags(lhba, "Target", &targets)) return status;
  for (uint32_t i = 0; i < targets.count; ++i) {
    Text shown;
    if (const uint32_t status = GetTavoPropertyVal(targets.tag[i], "TargetISCSIName", shown)) return status;
    if (strcmp(shown, name) == 0) found->tag[found->count++] = targets.tag[i];
  }
  return 0;
}

// The portal of one of the targets with that address and port; a portal
// whose values cannot be read is passed over.
bool find_portal(const Tags& targets, const char* address, const char* port, uint32_t* portal) {
  for (uint32_t t = 0; t < targets.count; ++t) {
    Tags portals;
    if (child_tags(targets.tag[t], "TargetPortal", &portals) != 0) continue;
    for (uint32_t p = 0; p < portals.count; ++p) {
      Text shown_address, shown_port;
      if (GetTavoPropertyVal(portals.tag[p], "TargetIPAddress", shown_address) != 0 ||
          GetTavoPropertyVal(portals.tag[p], "TargetPortNumber", shown_port) != 0)
        continue;
      if (same_portal(shown_address, shown_port, address, port)) {
        *portal = portals.tag[p];
        return true;
      }
    }
  }
  return false;
}

// Logs out the target's sessions whose first connection goes to the
// portal (its address and port).
uint32_t logout_sessions_to(uint32_t target, const Tags& sessions, const char* address, const char* port) {
  for (uint32_t i = 0; i < sessions.count; ++i) {
    uint32_t connection = 0;
    Text destination, destination_port;
    if (const uint32_t status = group_tag(sessions.tag[i], "Connection0", &connection)) return status;
    if (const uint32_t status = GetTavoPropertyVal(connection, "DestinationIPAddress", destination)) return status;
    if (const uint32_t status = GetTavoPropertyVal(connection, "DestinationPortNumber", destination_port))
      return status;
    if (!same_portal(destination, destination_port, address, port)) continue;
    char name[TAVO_NAME_SIZE] = "";
    int number = 0;
    if (const uint32_t status = TAVO_get_node_name(sessions.tag[i], name, TAVO_KIND_GROUP)) return status;
    if (const uint32_t status = instance_number(sessions.tag[i], "Session", &number)) return status;
    ppdebug("SessionName is %s\n", name);
    ppdebug("SessionInstNum is %d\n", number);
    ActionParams params;
    params.set_number(0, number);
    if (const uint32_t status = run_action(target, "Logout", params)) {
      ppdebug("After TAVO_do_action  status is %d  \n", static_cast<int>(status));
      return status;
    }
  }
  return 0;
}

uint32_t remove_static_target(uint32_t portal) {
  uint32_t target = 0, lhba = 0;
  if (const uint32_t status = ancestors(portal, {&target, &lhba})) return status;
  if (const uint32_t status = TAVO_refresh_group(target)) return status;
  Tags sessions;
  if (const uint32_t status = child_tags(target, "Session", &sessions)) return status;
  ppdebug("After Tavo_Get_Child_Tags  Scount is %d\n", static_cast<int>(sessions.count));
  if (sessions.count > 0) {
    uint32_t logout = 0;
    Text address, port;
    if (const uint32_t status = find_action(target, "Logout", &logout)) return status;
    if (const uint32_t status = GetTavoPropertyVal(portal, "TargetIPAddress", address)) return status;
    if (const uint32_t status = GetTavoPropertyVal(portal, "TargetPortNumber", port)) return status;
    if (const uint32_t status = logout_sessions_to(target, sessions, address, port)) return status;
  }
  Tags portals;
  if (const uint32_t status = child_tags(target, "TargetPortal", &portals)) return status;
  ActionParams params;
  int number = 0;
  if (portals.count < 2) {
    if (const uint32_t status = instance_number(target, "Target", &number)) return status;
    ppdebug("before TAVO_do_action  status is %d  \n", 0);
    params.set_number(0, number);
    return run_action(lhba, "DeleteTarget", params);
  }
  char name[TAVO_NAME_SIZE] = "";
  if (const uint32_t status = TAVO_get_node_name(portal, name, TAVO_KIND_GROUP)) return status;
  if (const uint32_t status = instance_number(portal, "TargetPortal", &number)) return status;
  ppdebug("TargetPortalName is %s\n", name);
  ppdebug("TargetPortalInst is %d\n", number);
  params.set_number(0, number);
  const uint32_t status = run_action(target, "DeleteTargetPortal", params);
  if (status != 0) ppdebug("After TAVO_do_action  status is %d  \n", static_cast<int>(status));
  return status;
}

// One logical HBA's rediscovery; false when a lookup or listing failed.
// A discovery, refresh or login that fails does not stop it: it is noted
// for the discovery status and in *step_failed.
bool rediscover(uint32_t lhba, bool* step_failed) {
  const auto failed_step = [step_failed] {
    note_discovery_failure();
    *step_failed = true;
  };
  uint32_t discovery = 0, action = 0;
  Tags portals;
  if (group_tag(lhba, "Discovery", &discovery) != 0 || child_tags(discovery, "SendTargetPortal", &portals) != 0)
    return false;
  for (uint32_t i = 0; i < portals.count; ++i) {
    ActionParams discover;
    discover.not_given(0);
    if (find_action(portals.tag[i], "DiscoverTargets", &action) != 0) return false;
    if (TAVO_do_action(portals.tag[i], action, discover.block(), nullptr) != 0) failed_step();
  }
  const ActionParams cleared;
  if (find_action(discovery, "RefreshAvailableTargets", &action) != 0) return false;
  if (TAVO_do_action(discovery, action, cleared.block(), nullptr) != 0) {
    ppdebug("Failed to do RefreshAvailableTargets \n");
    failed_step();
  }
  Tags targets;
  if (child_tags(lhba, "Target", &targets) != 0) return false;
  for (uint32_t t = 0; t < targets.count; ++t) {
    Tags target_portals, sessions;
    if (child_tags(targets.tag[t], "TargetPortal", &target_portals) != 0 ||
        child_tags(targets.tag[t], "Session", &sessions) != 0)
      return false;
    uint32_t login = 0;
    if (find_action(targets.tag[t], "Login", &login) != 0) continue;
    for (uint32_t p = 0; p < target_portals.count; ++p) {
      Text address, port;
      if (GetTavoPropertyVal(target_portals.tag[p], "TargetIPAddress", address) != 0 ||
          GetTavoPropertyVal(target_portals.tag[p], "TargetPortNumber", port) != 0)
        return false;
      if (check_session(sessions.tag, sessions.count, address, port) != 0) continue;
      const ActionParams params = login_params(address, port);
      if (TAVO_do_action(targets.tag[t], login, params.block(), nullptr) != 0) failed_step();
    }
  }
  return true;
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetStaticDiscoveryTargetOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaTypes)) return status;
  uint32_t lhba = 0;
  Tags targets, portals;
  if (const uint32_t status = lhba_of(oid, &lhba)) return ErrorCheck(status);
  if (const uint32_t status = child_tags(lhba, "Target", &targets)) return ErrorCheck(status);
  if (const uint32_t status = Tavo_Get_TargetPortal_Tags(targets.tag, portals.tag, targets.count, &portals.count))
    return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET, portals.tag, portals.count, list);
}

IMA_STATUS IMA_VMW_GetStaticDiscoveryTargetOidList(IMA_OID oid, IMA_OID_LIST** list) {
  return IMA_GetStaticDiscoveryTargetOidList(oid, list);
}

IMA_STATUS IMA_GetStaticDiscoveryTargetProperties(IMA_OID oid, IMA_STATIC_DISCOVERY_TARGET_PROPERTIES* props) {
  return static_target_properties(oid, type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET), props);
}

IMA_STATUS IMA_VMW_GetStaticDiscoveryTargetProperties(IMA_OID oid, IMA_STATIC_DISCOVERY_TARGET_PROPERTIES* props) {
  return static_target_properties(
      oid, type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET), props);
}

IMA_STATUS IMA_AddStaticDiscoveryTarget(IMA_OID oid, IMA_STATIC_DISCOVERY_TARGET target, IMA_OID* new_oid) {
  if (new_oid == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(new_oid, 0, sizeof *new_oid);
  if (const IMA_STATUS status = check_oid(oid, kLhbaTypes)) return status;
  Text name, address, port;
  if (const IMA_STATUS status = Sample_Iscsi_ToUtf8(name, target.targetName, sizeof name)) return status;
  uint32_t lhba = 0;
  if (const uint32_t status = lhba_of(oid, &lhba)) return ErrorCheck(status);
  address_to_text(target.targetAddress.hostnameIpAddress.id.ipAddress, address);
  snprintf(port, sizeof port, "%u", target.targetAddress.portNumber == 0 ? 3260u : target.targetAddress.portNumber);
  ActionParams params;
  params.set(0, name);
  params.set(1, address);
  params.set(2, port);
  params.set(3, "False");
  params.set(4, "None");
  Tags named;
  if (const uint32_t status = run_action(lhba, "AddTarget", params)) {
    if (last_status_code() != 21) return ErrorCheck(status);
    // The target exists: the address becomes one more of its portals.
    if (const uint32_t listed = targets_named(lhba, name, &named)) return ErrorCheck(listed);
    for (uint32_t i = 0; i < named.count; ++i) {
      ActionParams portal;
      portal.set(0, address);
      portal.set(1, port);
      if (const uint32_t added = run_action(named.tag[i], "AddTargetPortal", portal)) return ErrorCheck(added);
    }
  } else if (const uint32_t listed = targets_named(lhba, name, &named)) {
    return ErrorCheck(listed);
  }
  uint32_t portal = 0;
  if (!find_portal(named, address, port, &portal)) return IMA_ERROR_FAILED;
  *new_oid = make_oid(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET, portal);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_RemoveStaticDiscoveryTarget(IMA_OID oid) {
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  return ErrorCheck(remove_static_target(oid_tag(oid)));
}

IMA_STATUS IMA_VMW_Rediscover(IMA_OID oid) {
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PHBA);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  Tags lhbas;
  if (child_tags(oid_tag(oid), "LogicalHBA", &lhbas) != 0) {
    note_discovery_failure();
    return IMA_ERROR_FAILED;
  }
  // Every logical HBA is walked; a step that failed on the way fails the call.
  bool step_failed = false;
  for (uint32_t i = 0; i < lhbas.count; ++i) {
    if (!rediscover(lhbas.tag[i], &step_failed)) {
      note_discovery_failure();
      return IMA_ERROR_FAILED;
    }
  }
  return step_failed ? IMA_ERROR_FAILED : IMA_STATUS_SUCCESS;
}

}  // extern "C"
