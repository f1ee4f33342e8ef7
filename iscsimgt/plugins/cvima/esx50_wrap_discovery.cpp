// How the host sees and steers discovery: an HBA's discovery settings and
// its SendTargets addresses (the SendTargetPortal groups under Discovery).
#include <stdio.h>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr uint32_t kHbaTypes = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PHBA) |
                               type_bit(IMA_OBJECT_TYPE_NETWORK_PORTAL);
constexpr uint32_t kLhbaTypes = type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_PNP);

uint32_t discovery_of(const IMA_OID& oid, uint32_t* discovery) {
  uint32_t lhba = 0;
  if (const uint32_t status = lhba_of(oid, &lhba)) return status;
  return group_tag(lhba, "Discovery", discovery);
}

IMA_STATUS set_discovery(const IMA_OID& oid, IMA_BOOL enable) {
  if (enable > 1) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kHbaTypes)) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetDiscoveryProperties(IMA_OID oid, IMA_DISCOVERY_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kHbaTypes)) return status;
  uint32_t phba = 0, isns = 0;
  Text text;
  if (const uint32_t status = phba_of(oid, &phba)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoVal(phba, "iSNS", "iSNSEnabled", text)) return ErrorCheck(status);
  props->iSnsDiscoverySettable = 0;
  props->iSnsDiscoveryEnabled = same_text_nocase(text, "yes") ? 1 : 0;
  if (props->iSnsDiscoveryEnabled) props->iSnsDiscoveryMethod = IMA_ISNS_DISCOVERY_METHOD_DHCP;
  Tags servers;
  if (const uint32_t status = group_tag(phba, "iSNS", &isns)) return ErrorCheck(status);
  if (const uint32_t status = child_tags(isns, "iSNSServer", &servers)) return ErrorCheck(status);
  if (servers.count > 0) {
    if (const uint32_t status = GetTavoPropertyVal(servers.tag[0], "IPAddress", text)) return ErrorCheck(status);
    props->iSnsHost.hostnameInUse = 0;
    text_to_address(text, &props->iSnsHost.id.ipAddress);
  } else {
    props->iSnsHost.hostnameInUse = 1;
    props->iSnsHost.id.hostname[0] = 0;
  }
  props->slpDiscoverySettable = 0;
  props->slpDiscoveryEnabled = 0;
  props->staticDiscoverySettable = 0;
  props->staticDiscoveryEnabled = 1;
  props->sendTargetsDiscoverySettable = 0;
  props->sendTargetsDiscoveryEnabled = 1;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_GetDiscoveryStatus(IMA_OID oid, IMA_UINT32* status) {
  if (status == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS checked = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return checked;
  *status = discovery_failed() ? 3 : 2;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_SetIsnsDiscovery(IMA_OID oid, IMA_BOOL enable, IMA_ISNS_DISCOVERY_METHOD method, const IMA_HOST_ID*) {
  if (method > IMA_ISNS_DISCOVERY_METHOD_SLP) return IMA_ERROR_INVALID_PARAMETER;
  return set_discovery(oid, enable);
}

IMA_STATUS IMA_SetSlpDiscovery(IMA_OID oid, IMA_BOOL enable) { return set_discovery(oid, enable); }

IMA_STATUS IMA_SetStaticDiscovery(IMA_OID oid, IMA_BOOL enable) { return set_discovery(oid, enable); }

IMA_STATUS IMA_VMW_CheckSupportedParameterLevel(IMA_OID oid) {
  switch (oid.objectType) {
    case IMA_OBJECT_TYPE_LHBA:
    case IMA_OBJECT_TYPE_NETWORK_PORTAL:
    case IMA_OBJECT_TYPE_LNP:
    case IMA_OBJECT_TYPE_PNP:
    case IMA_OBJECT_TYPE_TARGET:
    case IMA_OBJECT_TYPE_DISCOVERY_ADDRESS:
    case IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET:
      return IMA_STATUS_SUCCESS;
    default:
      return oid.objectType < 1 || oid.objectType > 16 ? IMA_ERROR_INVALID_OBJECT_TYPE
                                                        : IMA_ERROR_INCORRECT_OBJECT_TYPE;
  }
}

IMA_STATUS IMA_GetDiscoveryAddressOidList(IMA_OID oid, IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaTypes)) return status;
  uint32_t discovery = 0;
  if (const uint32_t status = discovery_of(oid, &discovery)) return ErrorCheck(status);
  // The refresh rebuilds the portals from the saved file and the firmware.
  if (const uint32_t status = TAVO_refresh_group(discovery)) return ErrorCheck(status);
  Tags portals;
  if (const uint32_t status = present_children(discovery, "SendTargetPortal", &portals)) return ErrorCheck(status);
  return hand_out_list(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, portals.tag, portals.count, list);
}

IMA_STATUS IMA_GetDiscoveryAddressProperties(IMA_OID oid, IMA_DISCOVERY_ADDRESS_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS))) return status;
  uint32_t discovery = 0;
  if (const uint32_t status =
          associated_ids(oid_tag(oid), &discovery, &props->associatedNodeOid, &props->associatedLhbaOid))
    return ErrorCheck(status);
  Text address, port;
  if (const uint32_t status = GetTavoPropertyVal(oid_tag(oid), "IPAddress", address)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(oid_tag(oid), "PortNumber", port)) return ErrorCheck(status);
  IMA_HOST_ID& host = props->discoveryAddress.hostnameIpAddress;
  host.hostnameInUse = 0;
  text_to_address(address, &host.id.ipAddress);
  props->discoveryAddress.portNumber = static_cast<IMA_PORT_NUMBER>(decimal(port));
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_AddDiscoveryAddress(IMA_OID oid, IMA_TARGET_ADDRESS address, IMA_OID* new_oid) {
  if (new_oid == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kLhbaTypes)) return status;
  uint32_t discovery = 0;
  if (const uint32_t status = discovery_of(oid, &discovery)) return ErrorCheck(status);
  Text text, port;
  address_to_text(address.hostnameIpAddress.id.ipAddress, text);
  snprintf(port, sizeof port, "%u", address.portNumber == 0 ? 3260u : address.portNumber);
  ActionParams params;
  params.set(0, text);
  params.set(1, port);
  if (const uint32_t status = run_action(discovery, "AddSendTargetPortal", params)) return ErrorCheck(status);
  // The new portal is the one with this address and port.
  Tags portals;
  if (const uint32_t status = child_tags(discovery, "SendTargetPortal", &portals)) return ErrorCheck(status);
  for (uint32_t i = 0; i < portals.count; ++i) {
    Text shown, shown_port;
    if (const uint32_t status = GetTavoPropertyVal(portals.tag[i], "IPAddress", shown)) return ErrorCheck(status);
    if (const uint32_t status = GetTavoPropertyVal(portals.tag[i], "PortNumber", shown_port))
      return ErrorCheck(status);
    if (!same_portal(shown, shown_port, text, port)) continue;
    ActionParams discover;
    discover.not_given(0);
    uint32_t action = 0;
    if (const uint32_t status = find_action(portals.tag[i], "DiscoverTargets", &action)) return ErrorCheck(status);
    // The portal stays whatever the discovery itself answers.
    TAVO_do_action(portals.tag[i], action, discover.block(), nullptr);
    *new_oid = make_oid(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS, portals.tag[i]);
    return IMA_STATUS_SUCCESS;
  }
  return IMA_ERROR_FAILED;
}

IMA_STATUS IMA_RemoveDiscoveryAddress(IMA_OID oid) {
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS))) return status;
  int number = 0;
  uint32_t discovery = 0;
  if (const uint32_t status = instance_number(oid_tag(oid), "SendTargetPortal", &number)) return ErrorCheck(status);
  if (const uint32_t status = parent_of(oid_tag(oid), &discovery)) return ErrorCheck(status);
  ActionParams params;
  params.set_number(0, number);
  return ErrorCheck(run_action(discovery, "DeleteSendTargetPortal", params));
}

}  // extern "C"
