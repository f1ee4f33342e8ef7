// The initiator side as the host lists and reads it: physical HBAs (the
// iSCSIPhysicalHBA groups, also standing for their logical network ports),
// logical HBAs, the initiator node of an LHBA, the plug-in itself, and a
// controller's firmware download.
#include <stdio.h>
#include <strings.h>

#include "ids/device_ids.h"
#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kNodeTypes = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PHBA);

// Appends a tag; false once the list holds TAVO_MAX_INSTANCES.
bool hba_append(Tags* into, uint32_t tag) {
  if (into->count >= TAVO_MAX_INSTANCES) return false;
  into->tag[into->count++] = tag;
  return true;
}

// The LogicalHBA groups of a function whose Enabled reads as anything but
// false; one whose Enabled cannot be read is left out. IMA_ERROR_FAILED
// when the list is full.
uint32_t hba_enabled_lhbas(const Tags& lhbas, Tags* into) {
  for (uint32_t i = 0; i < lhbas.count; ++i) {
    Text enabled;
    if (GetTavoPropertyVal(lhbas.tag[i], "Enabled", enabled) != 0 || enabled[0] == 'F' || enabled[0] == 'f')
      continue;
    if (!hba_append(into, lhbas.tag[i])) return IMA_ERROR_FAILED;
  }
  return 0;
}

// Every iSCSIPhysicalHBA of every controller in instance order, or with
// lhbas their enabled LogicalHBA groups. A controller, function or LHBA
// that cannot be found is skipped; only the controller list, and a list
// beyond TAVO_MAX_INSTANCES, fail it.
IMA_STATUS hba_walk(IMA_OBJECT_TYPE type, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  Tags controllers, found;
  if (present_children(0, "Corvane", &controllers) != 0) return IMA_ERROR_FAILED;
  for (uint32_t c = 0; c < controllers.count; ++c) {
    Tags functions;
    if (present_children(controllers.tag[c], "iSCSIPhysicalHBA", &functions) != 0) continue;
    for (uint32_t f = 0; f < functions.count; ++f) {
      Tags lhbas;
      if (type != IMA_OBJECT_TYPE_LHBA) {
        if (!hba_append(&found, functions.tag[f])) return IMA_ERROR_FAILED;
      } else if (present_children(functions.tag[f], "LogicalHBA", &lhbas) == 0 &&
                 hba_enabled_lhbas(lhbas, &found) != 0) {
        return IMA_ERROR_FAILED;
      }
    }
  }
  return hand_out_list(type, found.tag, found.count, list) == 0 ? IMA_STATUS_SUCCESS : IMA_ERROR_FAILED;
}

// A property of the group into a wide field of so many characters: the
// tree's status through ErrorCheck, or the conversion's.
IMA_STATUS hba_wide(uint32_t group, const char* property, IMA_WCHAR* field, uint32_t entries) {
  Text text;
  if (const uint32_t status = GetTavoPropertyVal(group, property, text)) return ErrorCheck(status);
  return Sample_Iscsi_ToWide(field, text, entries);
}

// The hardware version the host is shown for the model inside a
// controller's description; the extended call matches a model's family.
const char* hba_hardware_version(const char* description, bool extended) {
  for (const tavo::AdapterModel& m : tavo::kAdapterModels) {
    if (m.hardware_version == nullptr) continue;
    const char* text = extended && m.family != nullptr ? m.family : m.model;
    if (strstr(description, text) != nullptr) return m.hardware_version;
  }
  return "N/A";
}

IMA_STATUS hba_phba_properties(const IMA_OID& oid, IMA_PHBA_PROPERTIES* props, bool extended) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  uint32_t controller = 0, first = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &controller)) return ErrorCheck(status);
  Text description, text;
  if (const uint32_t status = GetTavoPropertyVal(controller, "Description", description)) return ErrorCheck(status);
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->description, description, 256)) return status;
  if (const IMA_STATUS status =
          Sample_Iscsi_ToWide(props->hardwareVersion, hba_hardware_version(description, extended), 256))
    return status;
  if (const uint32_t status = GetTavoPropertyVal(controller, "SerialNumber", text)) return ErrorCheck(status);
  Sample_Iscsi_ToWide(props->serialNumber, text, 64);  // a serial that does not fit stays empty
  if (const IMA_STATUS status = hba_wide(controller, "ActiveFirmwareVersion", props->firmwareVersion, 256))
    return status;
  if (const IMA_STATUS status = hba_wide(controller, "BIOSVersion", props->optionRomVersion, 256)) return status;
  // Function 0 speaks for the controller, whichever PHBA was asked for.
  if (const uint32_t status = GetTavoVal(controller, "iSCSIPhysicalHBA0", "MaxCDBLength", text))
    return ErrorCheck(status);
  const uint32_t cdb = decimal(text);
  if (const IMA_STATUS status = hba_wide(controller, "Manufacturer", props->vendor, 64)) return status;
  if (const IMA_STATUS status = hba_wide(controller, "ModelNumber", props->model, 256)) return status;
  struct DriverField {
    const char* property;
    IMA_WCHAR* field;
  };
  for (const DriverField& row : {DriverField{"DriverName", props->driverName},
                                 DriverField{"DriverVersion", props->driverVersion}}) {
    if (const uint32_t status = group_tag(controller, "iSCSIPhysicalHBA0", &first)) return ErrorCheck(status);
    if (const uint32_t status = GetTavoVal(first, "Driver", row.property, text)) return ErrorCheck(status);
    if (const IMA_STATUS status = Sample_Iscsi_ToWide(row.field, text, 256)) return status;
  }
  props->supportedMultipathTypes = 1;
  props->supportedConnectionTypes = 1;
  props->maximumCdbLength = cdb;
  props->isPhbaBootCapable = 0;
  props->isPhbaBootEnabled = 0;
  props->isInitiator = 1;
  props->isTarget = 0;
  props->isDataPduInOrderSupported = 1;
  props->isDataSequenceInOrderSupported = 1;
  if (extended) {
    constexpr IMA_UINT32 kHostWords[10] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 0};
    memcpy(props->extension.hostWords, kHostWords, sizeof kHostWords);
  }
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS hba_lhba_properties(const IMA_OID& oid, IMA_LHBA_PROPERTIES* props, bool clear) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (clear) memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_LHBA))) return status;
  if (const IMA_STATUS status = hba_wide(oid_tag(oid), "IfName", props->osDeviceName, 256)) return status;
  props->luExposingSupported = 0;
  props->isDestroyable = 0;
  props->staleDataRemovable = 0;
  props->staleDataSize = 0;
  props->initiatorAuthMethodsSettable = 1;
  props->targetAuthMethodsSettable = 1;
  constexpr IMA_UINT32 kHostWords[5] = {1, 0, 0, 0, 1};
  memcpy(props->hostWords, kHostWords, sizeof kHostWords);
  return IMA_STATUS_SUCCESS;
}

// The LHBA an id names; a PHBA stands for its LogicalHBA0.
uint32_t hba_lhba_of(const IMA_OID& oid, uint32_t* lhba) {
  *lhba = oid_tag(oid);
  return oid.objectType == IMA_OBJECT_TYPE_PHBA ? group_tag(*lhba, "LogicalHBA0", lhba) : 0;
}

// Writes the node's name or alias of fewer than limit wide characters
// (an empty one only where empty_ok).
IMA_STATUS hba_set_node_text(const IMA_OID& oid, const IMA_WCHAR* text, const char* property, uint32_t limit,
                             bool empty_ok) {
  if (text == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  if (length == 0 && !empty_ok) return IMA_ERROR_INVALID_PARAMETER;
  if (length >= limit) return IMA_ERROR_NAME_TOO_LONG;
  if (const IMA_STATUS status = check_oid(oid, kNodeTypes)) return status;
  uint32_t lhba = 0;
  if (const uint32_t status = hba_lhba_of(oid, &lhba)) return ErrorCheck(status);
  Text utf8 = {};
  if (const IMA_STATUS status = Sample_Iscsi_ToUtf8(utf8, text, sizeof utf8)) return status;
  return ErrorCheck(SetTavoPropertyVal(lhba, "InitiatoriSCSIName", property, utf8));
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetPhbaOidList(IMA_OID_LIST** list) { return hba_walk(IMA_OBJECT_TYPE_PHBA, list); }

IMA_STATUS IMA_GetLnpOidList(IMA_OID_LIST** list) { return hba_walk(IMA_OBJECT_TYPE_LNP, list); }

IMA_STATUS IMA_GetLhbaOidList(IMA_OID_LIST** list) { return hba_walk(IMA_OBJECT_TYPE_LHBA, list); }

IMA_STATUS IMA_VMW_GetLhbaOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  Tags lhbas, enabled;
  if (const uint32_t status = present_children(oid_tag(oid), "LogicalHBA", &lhbas)) return ErrorCheck(status);
  if (hba_enabled_lhbas(lhbas, &enabled) != 0) return IMA_ERROR_FAILED;
  return hand_out_list(IMA_OBJECT_TYPE_LHBA, enabled.tag, enabled.count, list) == 0 ? IMA_STATUS_SUCCESS
                                                                                       : IMA_ERROR_FAILED;
}

IMA_STATUS IMA_VMW_GetLnpOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const uint32_t accepted =
      type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_LNP) | type_bit(IMA_OBJECT_TYPE_PNP);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t network = 0, function = 0;
  if (const uint32_t status = network_of(oid, &network)) return ErrorCheck(status);
  if (const uint32_t status = parent_of(network, &function)) return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_LNP, &function, 1, list);
}

IMA_STATUS IMA_GetPhbaProperties(IMA_OID oid, IMA_PHBA_PROPERTIES* props) {
  return hba_phba_properties(oid, props, false);
}

IMA_STATUS IMA_VMW_GetPhbaProperties(IMA_OID oid, IMA_PHBA_PROPERTIES* props) {
  return hba_phba_properties(oid, props, true);
}

IMA_STATUS IMA_GetPhbaStatus(IMA_OID oid, IMA_PHBA_STATUS* status) {
  if (status == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  *status = IMA_PHBA_STATUS_WORKING;
  if (const IMA_STATUS checked = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return checked;
  uint32_t controller = 0;
  Text text;
  if (const uint32_t failed = parent_of(oid_tag(oid), &controller)) return ErrorCheck(failed);
  if (const uint32_t failed = GetTavoPropertyVal(controller, "FirmwareStatus", text)) return ErrorCheck(failed);
  *status = same_text_nocase(text, "Working") ? IMA_PHBA_STATUS_WORKING : IMA_PHBA_STATUS_FAILED;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetLhbaProperties(IMA_OID oid, IMA_LHBA_PROPERTIES* props) {
  return hba_lhba_properties(oid, props, true);
}

IMA_STATUS IMA_VMW_GetLhbaProperties(IMA_OID oid, IMA_LHBA_PROPERTIES* props) {
  return hba_lhba_properties(oid, props, false);
}

IMA_STATUS IMA_VMW_GetNodeProperties(IMA_OID oid, IMA_NODE_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, kNodeTypes)) return status;
  props->runningInInitiatorMode = 1;
  props->runningInTargetMode = 0;
  props->nameAndAliasSettable = 1;
  uint32_t lhba = 0;
  Text name, alias;
  if (const uint32_t status = hba_lhba_of(oid, &lhba)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoVal(lhba, "InitiatoriSCSIName", "InitiatoriSCSIName", name))
    return ErrorCheck(status);
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->name, name, IMA_NODE_NAME_LENGTH)) return status;
  props->nameValid = name[0] != '\0';
  if (const uint32_t status = GetTavoVal(lhba, "InitiatoriSCSIName", "InitiatorAlias", alias))
    return ErrorCheck(status);
  if (const IMA_STATUS status = Sample_Iscsi_ToWide(props->alias, alias, IMA_NODE_ALIAS_LENGTH)) return status;
  props->aliasValid = alias[0] != '\0';
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_SetNodeName(IMA_OID oid, const IMA_WCHAR* name) {
  return hba_set_node_text(oid, name, "InitiatoriSCSIName", IMA_NODE_NAME_LENGTH, false);
}

IMA_STATUS IMA_VMW_SetNodeAlias(IMA_OID oid, const IMA_WCHAR* alias) {
  return hba_set_node_text(oid, alias, "InitiatorAlias", IMA_NODE_ALIAS_LENGTH, true);
}

IMA_STATUS IMA_GetPluginProperties(IMA_OID, IMA_PLUGIN_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  props->supportedImaVersion = 3;
  struct Field {
    IMA_WCHAR* field;
    const char* text;
  };
  for (const Field& row : {Field{props->vendor, "vmware"}, Field{props->implementationVersion, "12.0.0.0"},
                           Field{props->fileName, "libqvxima.so"}})
    Iscsi_Mbsnrtowcs(row.field, row.text, static_cast<IMA_UINT32>(strlen(row.text)), 256);
  props->lhbasCanBeCreatedAndDestroyed = 0;
  const IMA_UINT32 host_word = 1;  // the host's word after the flag
  memcpy(props->reserved, &host_word, sizeof host_word);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_PhbaDownload(IMA_OID oid, IMA_PHBA_DOWNLOAD_IMAGE_TYPE image_type, const IMA_WCHAR* file_name) {
  ppdebug(" IMA_PhbaDownload %d\n", static_cast<int>(oid.objectType));
  if (file_name == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  // Every image type goes the same road: the image tells the update what it holds.
  if (image_type > IMA_DOWNLOAD_IMAGE_TYPE_BOOTCODE) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t controller = 0;
  if (const uint32_t status = parent_of(oid_tag(oid), &controller)) return ErrorCheck(status);
  Text path = {};
  if (const IMA_STATUS status = Sample_Iscsi_ToUtf8(path, file_name, sizeof path)) return status;
  ActionParams params;
  params.set(0, path);
  ppdebug("params in upgrade flash rom is %s\n", path);
  const uint32_t status = run_action(controller, "UpgradeFlashROM", params);
  ppdebug("after  TAVO_do_action  status is %d\n", static_cast<int>(status));
  return ErrorCheck(status);
}

IMA_STATUS IMA_GetLnpProperties(IMA_OID, IMA_LNP_PROPERTIES*) { return IMA_ERROR_NOT_SUPPORTED; }

IMA_STATUS IMA_VMW_GetLnpProperties(IMA_OID, IMA_LNP_PROPERTIES*) { return IMA_ERROR_NOT_SUPPORTED; }

IMA_STATUS IMA_PersistHbaParameters(IMA_OID) { return IMA_ERROR_NOT_SUPPORTED; }

IMA_STATUS IMA_VMW_SetDebugLevel(IMA_UINT32) { return IMA_ERROR_NOT_SUPPORTED; }

}  // extern "C"
