// Login parameters as the host asks for them: the numeric ones and the
// ordering flags from the initiator's defaults, the yes/no ones and the
// digests from the object's own login options; of the setters only the
// digests and ImmediateData change anything. And the boot flags of a
// target's sessions.
#include <stdlib.h>

#include <array>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

namespace tavo::cvima {

uint32_t login_options_of(const IMA_OID& oid, uint32_t* group) {
  const uint32_t tag = oid_tag(oid);
  uint32_t target = 0;
  *group = 0;
  switch (oid.objectType) {
    case IMA_OBJECT_TYPE_LHBA:
      return group_tag(tag, "InitiatorLoginOptions", group);
    case IMA_OBJECT_TYPE_DISCOVERY_ADDRESS:
      return group_tag(tag, "SendTargetPortalLoginOptions", group);
    case IMA_OBJECT_TYPE_TARGET:
    case IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET:
      if (Get_Target_tag(tag, &target) != 0) return 1;
      return group_tag(target, "TargetLoginOptions", group);
    default:
      return 0;
  }
}

}  // namespace tavo::cvima

using namespace tavo::cvima;

namespace {

IMA_OID oid_of(IMA_UINT32 type, IMA_UINT32 owner, IMA_UINT32 low, IMA_UINT32 high) {
  IMA_OID oid;
  oid.objectType = type;
  oid.ownerId = owner;
  oid.objectSequenceNumber = static_cast<uint64_t>(high) << 32 | low;
  return oid;
}

// A value of the initiator's defaults (InitiatorDefaultLoginOptions) of
// the logical HBA the id stands in.
uint32_t read_default(const IMA_OID& oid, const char* name, char* text) {
  uint32_t lhba = 0;
  if (const uint32_t status = lhba_of(oid, &lhba)) return status;
  return GetTavoVal(lhba, "InitiatorDefaultLoginOptions", name, text);
}

constexpr uint32_t kLhbaOrTarget = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_TARGET);
constexpr uint32_t kAllFour = kLhbaOrTarget | type_bit(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS) |
                              type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET);

// A value of the initiator's defaults or the login options, by the frame's
// reader of its kind, after the record is cleared and the id tested.
template <typename Record>
IMA_STATUS initiator_value(const IMA_OID& oid, Record* value, const char* name,
                           IMA_STATUS (*reader)(IMA_UINT32, IMA_UINT32, IMA_UINT32, IMA_UINT32, Record*, const char*)) {
  if (value == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(value, 0, sizeof *value);
  if (const IMA_STATUS status = check_oid(oid, kAllFour)) return status;
  return reader(oid.objectType, oid.ownerId, static_cast<uint32_t>(oid.objectSequenceNumber),
                static_cast<uint32_t>(oid.objectSequenceNumber >> 32), value, name);
}

IMA_STATUS min_max(const IMA_OID& oid, IMA_MIN_MAX_VALUE* value, const char* name) {
  return initiator_value(oid, value, name, GetInitiatorDefaultLoginParameters);
}

IMA_STATUS yes_no_value(const IMA_OID& oid, IMA_BOOL_VALUE* value, const char* name) {
  return initiator_value(oid, value, name, GetInitiatorParameters);
}

// The digest list of a level: NONE alone when prohibited, else CRC32C
// first, NONE second.
IMA_STATUS digest_list(const IMA_OID& oid, const char* level_name, IMA_UINT* count, IMA_DIGEST_TYPE* digests) {
  if (count == nullptr || digests == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  digests[0] = IMA_DIGEST_NONE;
  if (const IMA_STATUS status = check_oid(oid, kAllFour)) return status;
  uint32_t options = 0;
  Text level;
  if (const uint32_t status = login_options_of(oid, &options)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(options, level_name, level)) return ErrorCheck(status);
  if (strcmp(level, "Prohibited") == 0) {
    *count = 1;
    return IMA_STATUS_SUCCESS;
  }
  *count = 2;
  digests[0] = IMA_DIGEST_CRC32C;
  digests[1] = IMA_DIGEST_NONE;
  return IMA_STATUS_SUCCESS;
}

// A digest on or off by the list's first entry. The login options refuse a
// level above Prohibited without the digest, so the digest goes on before
// its level rises and off after it falls.
IMA_STATUS set_digest(const IMA_OID& oid, uint32_t accepted, const char* digest, const char* level, IMA_UINT count,
                      const IMA_DIGEST_TYPE* digests) {
  if (digests == nullptr || count == 0) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t options = 0;
  if (const uint32_t status = login_options_of(oid, &options)) return ErrorCheck(status);
  struct Write {
    const char* property;
    const char* value;
  };
  const std::array<Write, 2> on = {{{digest, "CRC32C"}, {level, "Preferred"}}};
  const std::array<Write, 2> off = {{{level, "Prohibited"}, {digest, "None"}}};
  for (const Write& w : digests[0] == IMA_DIGEST_CRC32C ? on : off)
    if (const uint32_t status = set_property(options, w.property, w.value)) return ErrorCheck(status);
  return IMA_STATUS_SUCCESS;
}

// A setter the plug-in does not offer: its Boolean and id are tested first.
IMA_STATUS not_settable(const IMA_OID& oid, IMA_BOOL value) {
  if (value > 1) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaOrTarget)) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

// A getter the plug-in does not offer: the record is cleared first.
template <typename Record>
IMA_STATUS not_offered(const IMA_OID& oid, Record* record) {
  if (record == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(record, 0, sizeof *record);
  if (const IMA_STATUS status = check_oid(oid, kLhbaOrTarget)) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

}  // namespace

extern "C" {

IMA_STATUS GetInitiatorDefaultLoginParameters(IMA_UINT32 object_type, IMA_UINT32 owner, IMA_UINT32 sequence_low,
                                              IMA_UINT32 sequence_high, IMA_MIN_MAX_VALUE* value, const char* name) {
  if (value == nullptr || name == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  Text text;
  if (const uint32_t status = read_default(oid_of(object_type, owner, sequence_low, sequence_high), name, text))
    return ErrorCheck(status);
  value->currentValueValid = 1;
  value->settable = 0;
  value->currentValue = decimal(text);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS GetInitiatorParameters(IMA_UINT32 object_type, IMA_UINT32 owner, IMA_UINT32 sequence_low,
                                  IMA_UINT32 sequence_high, IMA_BOOL_VALUE* value, const char* name) {
  if (value == nullptr || name == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const IMA_OID oid = oid_of(object_type, owner, sequence_low, sequence_high);
  Text text;
  value->currentValueValid = 1;
  if (strcmp(name, "DataPDUInOrder") == 0 || strcmp(name, "DataSequenceInOrder") == 0) {
    if (const uint32_t status = read_default(oid, name, text)) return ErrorCheck(status);
    value->settable = 0;
    value->currentValue = strtol(text, nullptr, 10) == 1 ? 1 : 0;
    return IMA_STATUS_SUCCESS;
  }
  uint32_t options = 0;
  if (const uint32_t status = login_options_of(oid, &options)) return ErrorCheck(status);
  if (options == 0) return IMA_STATUS_SUCCESS;
  if (const uint32_t status = GetTavoPropertyVal(options, name, text)) return ErrorCheck(status);
  const bool immediate = strcmp(name, "ImmediateData") == 0;
  value->settable = immediate ? 1 : 0;
  if (immediate) value->defaultValue = 1;
  value->currentValue = same_text_nocase(text, "None") || same_text_nocase(text, "No") ? 0 : 1;
  if (value->currentValue == 0 && oid.objectType != IMA_OBJECT_TYPE_DISCOVERY_ADDRESS) ppdebug("FALSE\n");
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_GetInternalConfigData(IMA_OID oid, IMA_UINT32 selector, IMA_UINT32* flags, IMA_UINT32 count) {
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PHBA) |
                            type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET) |
                            type_bit(IMA_OBJECT_TYPE_SESSION);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  if (selector != 4) return IMA_ERROR_NOT_SUPPORTED;
  if (oid.objectType != IMA_OBJECT_TYPE_TARGET && oid.objectType != IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET)
    return IMA_ERROR_INVALID_PARAMETER;
  uint32_t target = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &target)) return ErrorCheck(status);
  Tags sessions;
  if (const uint32_t status = child_tags(target, "Session", &sessions)) return ErrorCheck(status);
  if (count == 0 || sessions.count == 0) return IMA_STATUS_SUCCESS;
  if (flags == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  for (uint32_t i = 0; i < count && i < sessions.count; ++i) {
    Text text;
    if (const uint32_t status = GetTavoPropertyVal(sessions.tag[i], "iSCSIBoot", text)) return ErrorCheck(status);
    flags[i] = strcmp(text, "True") == 0 ? 1 : 0;
  }
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetDefaultTime2RetainProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "DefaultTime2Retain");
}
IMA_STATUS IMA_GetDefaultTime2WaitProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "DefaultTime2Wait");
}
IMA_STATUS IMA_GetErrorRecoveryLevelProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "ErrorRecoveryLevel");
}
IMA_STATUS IMA_GetFirstBurstLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "FirstBurstLength");
}
IMA_STATUS IMA_GetMaxBurstLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "MaxBurstLength");
}
IMA_STATUS IMA_GetMaxOutstandingR2TProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "MaxOutstandingR2T");
}
IMA_STATUS IMA_GetMaxRecvDataSegmentLengthProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "MaxRecvDataSegmentLength");
}
IMA_STATUS IMA_GetMaxConnectionsProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* props) {
  return min_max(oid, props, "MaxConnections");
}

IMA_STATUS IMA_GetDataPduInOrderProperties(IMA_OID oid, IMA_BOOL_VALUE* props) {
  return yes_no_value(oid, props, "DataPDUInOrder");
}
IMA_STATUS IMA_GetDataSequenceInOrderProperties(IMA_OID oid, IMA_BOOL_VALUE* props) {
  return yes_no_value(oid, props, "DataSequenceInOrder");
}
IMA_STATUS IMA_GetImmediateDataProperties(IMA_OID oid, IMA_BOOL_VALUE* props) {
  return yes_no_value(oid, props, "ImmediateData");
}
IMA_STATUS IMA_GetInitialR2TProperties(IMA_OID oid, IMA_BOOL_VALUE* props) {
  return yes_no_value(oid, props, "InitialR2T");
}

IMA_STATUS IMA_VMW_GetHeaderDigest(IMA_OID oid, IMA_UINT* count, IMA_DIGEST_TYPE* digests) {
  return digest_list(oid, "HeaderParam", count, digests);
}
IMA_STATUS IMA_VMW_GetDataDigest(IMA_OID oid, IMA_UINT* count, IMA_DIGEST_TYPE* digests) {
  return digest_list(oid, "DataParam", count, digests);
}

IMA_STATUS IMA_GetDigestProperties(IMA_OID oid, IMA_DIGEST_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, kAllFour)) return status;
  props->words[0] = props->words[1] = 1;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetIFMarkerProperties(IMA_OID oid, IMA_MARKER_VALUE* props) { return not_offered(oid, props); }
IMA_STATUS IMA_GetIFMarkIntProperties(IMA_OID oid, IMA_MARKER_VALUE* props) { return not_offered(oid, props); }
IMA_STATUS IMA_GetOFMarkerProperties(IMA_OID oid, IMA_MARKER_VALUE* props) { return not_offered(oid, props); }
IMA_STATUS IMA_GetOFMarkIntProperties(IMA_OID oid, IMA_MARKER_VALUE* props) { return not_offered(oid, props); }

IMA_STATUS IMA_VMW_SetHeaderDigest(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests) {
  return set_digest(oid, kAllFour, "HeaderDigest", "HeaderParam", count, digests);
}
IMA_STATUS IMA_VMW_SetDataDigest(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests) {
  return set_digest(oid, kAllFour, "DataDigest", "DataParam", count, digests);
}
IMA_STATUS IMA_SetHeaderDigestValues(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests) {
  return set_digest(oid, kLhbaOrTarget, "HeaderDigest", "HeaderParam", count, digests);
}
IMA_STATUS IMA_SetDataDigestValues(IMA_OID oid, IMA_UINT count, const IMA_DIGEST_TYPE* digests) {
  return set_digest(oid, kLhbaOrTarget, "DataDigest", "DataParam", count, digests);
}

IMA_STATUS IMA_SetImmediateData(IMA_OID oid, IMA_BOOL value) {
  if (value > 1) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaOrTarget)) return status;
  uint32_t options = 0;
  if (const uint32_t status = login_options_of(oid, &options)) return ErrorCheck(status);
  return ErrorCheck(set_property(options, "ImmediateData", value == 1 ? "Yes" : "No"));
}

IMA_STATUS IMA_SetDataPduInOrder(IMA_OID oid, IMA_BOOL value) { return not_settable(oid, value); }
IMA_STATUS IMA_SetDataSequenceInOrder(IMA_OID oid, IMA_BOOL value) { return not_settable(oid, value); }
IMA_STATUS IMA_SetInitialR2T(IMA_OID oid, IMA_BOOL value) { return not_settable(oid, value); }
IMA_STATUS IMA_SetIFMarkerProperties(IMA_OID oid, IMA_BOOL value) { return not_settable(oid, value); }
IMA_STATUS IMA_SetOFMarkerProperties(IMA_OID oid, IMA_BOOL value) { return not_settable(oid, value); }
IMA_STATUS IMA_SetDefaultTime2Retain(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetDefaultTime2Wait(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetErrorRecoveryLevel(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetFirstBurstLength(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetMaxBurstLength(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetMaxRecvDataSegmentLength(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetMaxOutstandingR2T(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetMaxConnections(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetIFMarkIntProperties(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }
IMA_STATUS IMA_SetOFMarkIntProperties(IMA_OID oid, IMA_UINT) { return not_settable(oid, 0); }

}  // extern "C"
