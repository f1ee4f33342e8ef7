// Login parameters as the host asks for them: the numeric ones and the
// ordering flags from the initiator's defaults, the yes/no ones from the
// object's own login options; and the boot flags of a target's sessions.
#include <stdlib.h>

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

}  // extern "C"
