// Targets, logical units, sessions and connections as the host lists and
// reads them, from the Target, TargetPortal, LUN, Session and Connection
// groups of a logical HBA.
#include <initializer_list>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kLhbaOrTarget = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_TARGET);

// Appends the instances of a child group type to a list of at most
// TAVO_MAX_INSTANCES tags; IMA_ERROR_FAILED when they do not fit.
uint32_t append_children(uint32_t tag, const char* group, Tags* into) {
  Tags more;
  if (const uint32_t status = child_tags(tag, group, &more)) return status;
  if (more.count > TAVO_MAX_INSTANCES - into->count) return IMA_ERROR_FAILED;
  memcpy(into->tag + into->count, more.tag, sizeof(uint32_t) * more.count);
  into->count += more.count;
  return 0;
}

// The instances of a group type under each target of an LHBA id, in target
// order, or under a target id's target. Sessions are listed as they live:
// a target whose sessions cannot be listed adds none, and a target id's
// sessions are rebuilt from the adapter first.
uint32_t gather(const IMA_OID& oid, const char* group, bool sessions, Tags* into) {
  if (oid.objectType != IMA_OBJECT_TYPE_LHBA) {
    uint32_t target = 0;
    if (const uint32_t status = parent_of(oid_tag(oid), &target)) return status;
    if (sessions)
      if (const uint32_t status = TAVO_refresh_group(target)) return status;
    return child_tags(target, group, into);
  }
  Tags targets;
  if (const uint32_t status = child_tags(oid_tag(oid), "Target", &targets)) return status;
  for (uint32_t i = 0; i < targets.count; ++i) {
    const uint32_t status = append_children(targets.tag[i], group, into);
    if (status == IMA_ERROR_FAILED || (status != 0 && !sessions)) return status;
  }
  return 0;
}

uint32_t read_number(uint32_t tag, const char* property, uint32_t* value) {
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(tag, property, text)) return status;
  *value = decimal(text);
  return 0;
}

uint32_t read_address(uint32_t tag, const char* property, IMA_IP_ADDRESS* address) {
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(tag, property, text)) return status;
  text_to_address(text, address);
  return 0;
}

// The session record's target id and portal group tag: the portal a
// connection goes to, by address and port; later matches win.
uint32_t match_portals(uint32_t target, uint32_t session, IMA_SESSION_PROPERTIES* props) {
  Tags portals, connections;
  if (const uint32_t status = child_tags(target, "TargetPortal", &portals)) return status;
  if (const uint32_t status = child_tags(session, "Connection", &connections)) return status;
  props->targetOid = make_oid(IMA_OBJECT_TYPE_TARGET, 0);
  for (uint32_t c = 0; c < connections.count; ++c) {
    Text address, port;
    if (const uint32_t status = GetTavoPropertyVal(connections.tag[c], "DestinationIPAddress", address)) return status;
    if (const uint32_t status = GetTavoPropertyVal(connections.tag[c], "DestinationPortNumber", port)) return status;
    for (uint32_t p = 0; p < portals.count; ++p) {
      Text portal_address, portal_port, tpgt;
      if (const uint32_t status = GetTavoPropertyVal(portals.tag[p], "TargetIPAddress", portal_address)) return status;
      if (const uint32_t status = GetTavoPropertyVal(portals.tag[p], "TargetPortNumber", portal_port)) return status;
      if (!same_portal(address, port, portal_address, portal_port)) continue;
      if (const uint32_t status = GetTavoPropertyVal(portals.tag[p], "PortalGroupTag", tpgt)) return status;
      props->targetOid = make_oid(IMA_OBJECT_TYPE_TARGET, portals.tag[p]);
      props->targetPortalGroupTag = static_cast<IMA_UINT16>(decimal(tpgt));
      break;
    }
  }
  return 0;
}

uint32_t negotiated_options(uint32_t session, IMA_SESSION_PROPERTIES* props) {
  uint32_t options = 0;
  if (const uint32_t status = group_tag(session, "SessionNegotiatedLoginOptions", &options)) return status;
  struct YesNo {
    const char* name;
    IMA_BOOL* member;
  };
  for (const YesNo& row : {YesNo{"DataPDUInOrder", &props->dataPduInOrder},
                           YesNo{"DataSequenceInOrder", &props->dataSequenceInOrder},
                           YesNo{"ImmediateData", &props->immediateData}, YesNo{"InitialR2T", &props->initialR2T}}) {
    Text text;
    if (const uint32_t status = GetTavoPropertyVal(options, row.name, text)) return status;
    *row.member = yes_no(text);
  }
  struct Number {
    const char* name;
    IMA_UINT32* member;
  };
  for (const Number& row : {Number{"DefaultTime2Retain", &props->defaultTime2Retain},
                            Number{"DefaultTime2Wait", &props->defaultTime2Wait},
                            Number{"ErrorRecoveryLevel", &props->errorRecoveryLevel},
                            Number{"FirstBurstLength", &props->firstBurstLength},
                            Number{"MaxBurstLength", &props->maxBurstLength},
                            Number{"MaxConnections", &props->maxConnections},
                            Number{"MaxOutstandingR2T", &props->maxOutstandingR2T}})
    if (const uint32_t status = read_number(options, row.name, row.member)) return status;
  return 0;
}

uint32_t session_properties(uint32_t session, IMA_SESSION_PROPERTIES* props) {
  Text text;
  uint32_t value = 0, target = 0, lhba = 0;
  if (const uint32_t status = read_number(session, "SessionTSIH", &value)) return status;
  props->tsih = static_cast<IMA_UINT16>(value);
  if (const uint32_t status = GetTavoPropertyVal(session, "ISID", text)) return status;
  Covert_Hex_To_Bin(props->isid, text, static_cast<int32_t>(strlen(text)), sizeof props->isid);
  if (const uint32_t status = parent_of(session, &target)) return status;
  if (const uint32_t status = match_portals(target, session, props)) return status;
  if (const uint32_t status = parent_of(target, &lhba)) return status;
  props->lhbaOid = make_oid(IMA_OBJECT_TYPE_LHBA, lhba);
  if (const uint32_t status = negotiated_options(session, props)) return status;
  uint32_t options = 0, authentication = 0;
  if (const uint32_t status = group_tag(session, "SessionLoginOptions", &options)) return status;
  if (const uint32_t status = group_tag(options, "Authentication", &authentication)) return status;
  if (const uint32_t status = GetTavoPropertyVal(authentication, "AuthenticationMethod", text)) return status;
  props->authMethod = yes_no(text) ? IMA_AUTHMETHOD_CHAP : IMA_AUTHMETHOD_NONE;
  return 0;
}

uint32_t connection_properties(uint32_t connection, IMA_CONNECTION_PROPERTIES* props) {
  uint32_t session = 0, target = 0, lhba = 0, options = 0, value = 0;
  if (const uint32_t status = parent_of(connection, &session)) return status;
  props->sessionOid = make_oid(IMA_OBJECT_TYPE_SESSION, session);
  if (const uint32_t status = read_number(connection, "iSCSIConnectionID", &value)) return status;
  props->connectionId = static_cast<IMA_UINT16>(value);
  if (const uint32_t status = group_tag(connection, "ConnectionNegotiatedLoginOptions", &options)) return status;
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(options, "DataDigest", text)) return status;
  props->dataDigest = strcmp(text, "None") == 0 ? IMA_DIGEST_NONE : IMA_DIGEST_CRC32C;
  if (const uint32_t status = GetTavoPropertyVal(options, "HeaderDigest", text)) return status;
  props->headerDigest = strcmp(text, "None") == 0 ? IMA_DIGEST_NONE : IMA_DIGEST_CRC32C;
  props->ifMarker = 0;
  props->ofMarker = 0;
  if (const uint32_t status = read_number(options, "MaxSendDataSegmentLength", &props->maxTransmitDataSegmentLength))
    return status;
  if (const uint32_t status = ancestors(session, {&target, &lhba})) return status;
  if (const uint32_t status = GetTavoVal(lhba, "InitiatorDefaultLoginOptions", "MaxRecvDataSegmentLength", text))
    return status;
  props->maxRecvDataSegmentLength = decimal(text);
  return 0;
}

uint32_t connection_status(uint32_t connection, IMA_CONNECTION_STATUS* status) {
  Text text;
  if (const uint32_t failed = GetTavoPropertyVal(connection, "Status", text)) return failed;
  if (strcmp(text, "Logged-in") == 0 || strcmp(text, "Connection closed") == 0) status->state = 4;
  if (const uint32_t failed = read_address(connection, "SourceIPAddress", &status->source)) return failed;
  status->sourceValid = 1;
  if (const uint32_t failed = read_address(connection, "DestinationIPAddress", &status->destination)) return failed;
  status->destinationValid = 1;
  if (const uint32_t failed = GetTavoPropertyVal(connection, "RedirectedDestinationIPAddress", text)) return failed;
  if (same_text_nocase(text, "N/A")) {
    status->redirectedDestination.ipv4Address = 0;
  } else {
    text_to_address(text, &status->redirectedDestination);
    status->redirectedDestinationValid = 1;
  }
  return 0;
}

// A record of the group an id of that type names, filled by reader.
template <typename Record>
IMA_STATUS read_record(const IMA_OID& oid, IMA_OBJECT_TYPE type, Record* record,
                       uint32_t (*reader)(uint32_t, Record*)) {
  if (record == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(type))) return status;
  return ErrorCheck(reader(oid_tag(oid), record));
}

// Only the sessions the tree shows as open reach the host.
uint32_t keep_open_sessions(Tags* sessions) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < sessions->count; ++i) {
    Text text;
    if (const uint32_t status = GetTavoPropertyVal(sessions->tag[i], "SessionStatus", text)) return status;
    if (same_text_nocase(text, "Open")) sessions->tag[kept++] = sessions->tag[i];
  }
  sessions->count = kept;
  return 0;
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetTargetOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_LNP);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t lhba = oid_tag(oid);
  if (oid.objectType == IMA_OBJECT_TYPE_LNP)
    if (const uint32_t status = group_tag(oid_tag(oid), "LogicalHBA0", &lhba)) return ErrorCheck(status);
  Tags targets, first_portals;
  if (const uint32_t status = child_tags(lhba, "Target", &targets)) return ErrorCheck(status);
  for (uint32_t i = 0; i < targets.count; ++i) {
    Tags portals;
    if (const uint32_t status = child_tags(targets.tag[i], "TargetPortal", &portals)) return ErrorCheck(status);
    // A target without a portal has no id to stand for it.
    if (portals.count > 0) first_portals.tag[first_portals.count++] = portals.tag[0];
  }
  return hand_out_list(IMA_OBJECT_TYPE_TARGET, first_portals.tag, first_portals.count, list);
}

IMA_STATUS IMA_VMW_GetTargetOidList(IMA_OID oid, IMA_OID_LIST** list) { return IMA_GetTargetOidList(oid, list); }

IMA_STATUS IMA_GetLuOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaOrTarget)) return status;
  Tags luns;
  if (const uint32_t status = gather(oid, "LUN", false, &luns)) return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_LU, luns.tag, luns.count, list);
}

IMA_STATUS IMA_GetSessionOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaOrTarget)) return status;
  Tags sessions;
  if (const uint32_t status = gather(oid, "Session", true, &sessions)) return ErrorCheck(status);
  if (const uint32_t status = keep_open_sessions(&sessions)) return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_SESSION, sessions.tag, sessions.count, list);
}

IMA_STATUS IMA_GetConnectionOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_SESSION))) return status;
  Tags connections;
  if (const uint32_t status = child_tags(oid_tag(oid), "Connection", &connections)) return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_CONNECTION, connections.tag, connections.count, list);
}

IMA_STATUS IMA_GetTargetProperties(IMA_OID oid, IMA_TARGET_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_TARGET))) return status;
  uint32_t target = 0;
  if (const uint32_t status =
          associated_ids(oid_tag(oid), &target, &props->associatedNodeOid, &props->associatedLhbaOid))
    return ErrorCheck(status);
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(target, "TargetISCSIName", text)) return ErrorCheck(status);
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->name, text, IMA_NODE_NAME_LENGTH)) return status;
  // The alias comes from the target's first session; one that cannot be
  // read (the session is closed) is no alias, not a target that fails.
  if (GetTavoPropertyVal(target, "TargetAlias", text) != 0) text[0] = '\0';
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->alias, text, IMA_NODE_ALIAS_LENGTH)) return status;
  if (const uint32_t status = GetTavoPropertyVal(target, "TargetType", text)) return ErrorCheck(status);
  props->discoveryMethodFlags = same_text_nocase(text, "Discovered") ? IMA_TARGET_DISCOVERY_METHOD_SENDTARGETS
                                                                     : IMA_TARGET_DISCOVERY_METHOD_STATIC;
  props->sendTargetsDiscoverySettable = 0;
  props->sendTargetsDiscoveryEnabled = 1;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetLuProperties(IMA_OID oid, IMA_LU_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_LU))) return status;
  uint32_t target = 0, portal = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &target)) return ErrorCheck(status);
  if (group_tag(target, "TargetPortal0", &portal) != 0) return IMA_ERROR_INVALID_PARAMETER;
  props->associatedTargetOid = make_oid(IMA_OBJECT_TYPE_TARGET, portal);
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(oid_tag(oid), "LUNNumber", text)) return ErrorCheck(status);
  // The eight bytes in the order the tree shows them, whatever the host's byte order.
  IMA_BYTE lun[sizeof props->targetLun] = {};
  Covert_Hex_To_Bin(lun, text, static_cast<int32_t>(strlen(text)), sizeof lun);
  memcpy(&props->targetLun, lun, sizeof lun);
  props->exposedToOs = 0;
  props->osDeviceNameValid = 0;
  props->osParallelIdsValid = 0;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetSessionProperties(IMA_OID oid, IMA_SESSION_PROPERTIES* props) {
  if (props != nullptr) memset(props, 0, sizeof *props);
  return read_record(oid, IMA_OBJECT_TYPE_SESSION, props, session_properties);
}

IMA_STATUS IMA_GetConnectionProperties(IMA_OID oid, IMA_CONNECTION_PROPERTIES* props) {
  return read_record(oid, IMA_OBJECT_TYPE_CONNECTION, props, connection_properties);
}

IMA_STATUS IMA_VMW_GetConnectionStatus(IMA_OID oid, IMA_CONNECTION_STATUS* status) {
  return read_record(oid, IMA_OBJECT_TYPE_CONNECTION, status, connection_status);
}

IMA_STATUS IMA_LuReportLuns(IMA_OID oid, IMA_BOOL send_to_well_known_lun, IMA_BYTE, IMA_BYTE* output,
                            IMA_UINT* output_length, IMA_BYTE* sense, IMA_UINT*) {
  if (output_length == nullptr || output == nullptr || sense == nullptr || send_to_well_known_lun > 1 ||
      *output_length == 0)
    return IMA_ERROR_INVALID_PARAMETER;
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_LU);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

}  // extern "C"
