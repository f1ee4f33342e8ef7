// The network side of an iSCSI function as the host sees and changes it:
// the network portal (TCPIPConfiguration), the physical network port
// (NICConfiguration), IPv4 and IPv6 settings, the address keys of a
// target's portals, and the host's ARP-redirect and MTU extensions. Every
// change goes through the function's own actions and properties.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include "ids/device_ids.h"
#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

using namespace tavo::cvima;

namespace {

constexpr char kZeroIpv4[] = "0.0.0.0";
constexpr char kZeroIpv6[] = "0000:0000:0000:0000:0000:0000:0000:0000";
constexpr char kDefaultMask[] = "255.255.255.0";
constexpr uint32_t kHbaTypes =
    type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_LNP) | type_bit(IMA_OBJECT_TYPE_PNP);

// The TCPIPConfiguration group of an id, and its IPv6Configuration.
uint32_t portal_tcpip(const IMA_OID& oid, uint32_t* tcpip) {
  uint32_t network = 0;
  if (const uint32_t status = network_of(oid, &network)) return status;
  return group_tag(network, "TCPIPConfiguration", tcpip);
}

uint32_t portal_ipv6(const IMA_OID& oid, uint32_t* ipv6) {
  uint32_t tcpip = 0;
  if (const uint32_t status = portal_tcpip(oid, &tcpip)) return status;
  return group_tag(tcpip, "IPv6Configuration", ipv6);
}

// The one-entry list of the function's Network child of that name.
IMA_STATUS portal_single_entry(const IMA_OID& oid, uint32_t accepted, const char* child, IMA_OBJECT_TYPE type,
                               IMA_OID_LIST** list) {
  if (list == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t network = 0, tag = 0;
  if (const uint32_t status = network_of(oid, &network)) return ErrorCheck(status);
  if (const uint32_t status = group_tag(network, child, &tag)) return ErrorCheck(status);
  return hand_out_list(type, &tag, 1, list);
}

// A rate such as "10Gb" or "100Mb" in megabits per second; a text without
// a leading number is 0.
uint32_t portal_rate(const char* text) {
  if (text[0] < '0' || text[0] > '9') return 0;
  char* unit = nullptr;
  double rate = strtod(text, &unit);
  while (*unit == ' ') ++unit;
  if (strncasecmp(unit, "Mb", 2) != 0) rate *= 1000;
  return rate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rate);
}

// "aa-bb-cc-dd-ee-ff"; a missing part is 0.
void portal_mac(const char* text, IMA_BYTE mac[6]) {
  for (int i = 0; i < 6; ++i) {
    mac[i] = text != nullptr ? static_cast<IMA_BYTE>(strtoul(text, nullptr, 16)) : 0;
    if (text != nullptr && (text = strchr(text, '-')) != nullptr) ++text;
  }
}

// Runs ConfigureIPAddress on the TCPIPConfiguration group.
IMA_STATUS portal_configure_ipv4(uint32_t tcpip, const char* address, const char* mask) {
  ActionParams params;
  params.set(0, address);
  params.set(1, mask);
  return ErrorCheck(run_action(tcpip, "ConfigureIPAddress", params));
}

// A new IPv4 address with the current mask ("255.255.255.0" while it has
// none).
IMA_STATUS portal_set_ipv4_address(uint32_t tcpip, const IMA_IP_ADDRESS& address) {
  Text text, mask;
  if (const uint32_t status = GetTavoPropertyVal(tcpip, "InitiatorSubnetMask", mask)) return ErrorCheck(status);
  address_to_text(address, text);
  return portal_configure_ipv4(tcpip, text, strcmp(mask, kZeroIpv4) == 0 ? kDefaultMask : mask);
}

IMA_STATUS portal_set_mask(const IMA_OID& oid, const IMA_IP_ADDRESS& mask) {
  uint32_t tcpip = 0;
  Text address, text;
  if (const uint32_t status = portal_tcpip(oid, &tcpip)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(tcpip, "InitiatorIPAddress", address)) return ErrorCheck(status);
  address_to_text(mask, text);
  return portal_configure_ipv4(tcpip, address, text);
}

// Writes the IPv4 (or IPv6) default gateway; a gateway of the other
// family is refused before anything is read. A refused write puts the
// gateway read before back and still reports the refusal.
IMA_STATUS portal_set_gateway(const IMA_OID& oid, const IMA_IP_ADDRESS& gateway, bool ipv6) {
  if (ipv6 ? !is_ipv6(gateway) : !is_ipv4(gateway)) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kHbaTypes)) return status;
  uint32_t parent = 0;
  const uint32_t found = ipv6 ? portal_tcpip(oid, &parent) : network_of(oid, &parent);
  if (found != 0) return ErrorCheck(found);
  const char* group = ipv6 ? "IPv6Configuration" : "TCPIPConfiguration";
  const char* property = ipv6 ? "DefaultIPv6Gateway" : "DefaultGateway";
  Text fresh, previous;
  address_to_text(gateway, fresh);
  if (const uint32_t status = GetTavoVal(parent, group, property, previous)) return ErrorCheck(status);
  const uint32_t status = SetTavoPropertyVal(parent, group, property, fresh);
  if (status == 0) return IMA_STATUS_SUCCESS;
  if (SetTavoPropertyVal(parent, group, property, previous) != 0)
    ppdebug("%s: the previous gateway %s could not be put back\n", __func__, previous);
  return ErrorCheck(status);
}

IMA_STATUS portal_pnp_properties(const IMA_OID& oid, IMA_PNP_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PNP))) return status;
  const uint32_t nic = oid_tag(oid);
  uint32_t function = 0;
  if (const uint32_t status = phba_of(oid, &function)) return ErrorCheck(status);
  Text speed, max_speed, mtu, mac;
  if (const uint32_t status = GetTavoPropertyVal(nic, "PortSpeed", speed)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(nic, "PortMaxSpeed", max_speed)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(nic, "MaxMTUSize", mtu)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(nic, "MACAddress", mac)) return ErrorCheck(status);
  props->currentTransferRate = portal_rate(speed);
  props->maximumTransferRate = portal_rate(max_speed);
  props->maximumFrameSize = decimal(mtu);
  portal_mac(mac, props->macAddress);
  props->macAddressSettable = 0;
  props->associatedPhbaOid = make_oid(IMA_OBJECT_TYPE_PHBA, function);
  return IMA_STATUS_SUCCESS;
}

// DHCPEnabled, the mask and the gateway of the TCPIPConfiguration group.
struct Ipv4Settings {
  Text dhcp, mask, gateway;
};
uint32_t portal_ipv4_settings(uint32_t tcpip, Ipv4Settings* out) {
  if (const uint32_t status = GetTavoPropertyVal(tcpip, "DHCPEnabled", out->dhcp)) return status;
  if (const uint32_t status = GetTavoPropertyVal(tcpip, "InitiatorSubnetMask", out->mask)) return status;
  return GetTavoPropertyVal(tcpip, "DefaultGateway", out->gateway);
}

IMA_STATUS portal_ip_properties(const IMA_OID& oid, IMA_IP_PROPERTIES* props, uint32_t accepted, bool clear) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (clear) memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t tcpip = 0;
  Ipv4Settings s;
  if (const uint32_t status = portal_tcpip(oid, &tcpip)) return ErrorCheck(status);
  if (const uint32_t status = portal_ipv4_settings(tcpip, &s)) return ErrorCheck(status);
  props->ipConfigurationMethodSettable = 1;
  props->dhcpConfigurationEnabled = strcmp(s.dhcp, "False") != 0;
  props->subnetMaskSettable = 1;
  props->subnetMaskValid = strcmp(s.mask, kZeroIpv4) != 0;
  text_to_address(s.mask, &props->subnetMask);
  props->defaultGatewaySettable = 1;
  props->defaultGatewayValid = strcmp(s.gateway, kZeroIpv4) != 0;
  text_to_address(s.gateway, &props->defaultGateway);
  props->primaryDnsServerAddressSettable = 0;
  props->primaryDnsServerAddressValid = 0;
  props->alternateDnsServerAddressValid = 0;
  return IMA_STATUS_SUCCESS;
}

// Whether the function's PCI vendor is the adapter maker's (the first of
// the family's vendor IDs).
uint32_t portal_maker_vendor(uint32_t network, bool* maker) {
  uint32_t function = 0;
  Text vendor;
  if (const uint32_t status = parent_of(network, &function)) return status;
  if (const uint32_t status = GetTavoVal(function, "PCI", "VendorID", vendor)) return status;
  char expected[16];
  snprintf(expected, sizeof expected, "0x%04x", tavo::kVendorIds[0]);
  *maker = same_text_nocase(vendor, expected);
  return 0;
}

}  // namespace

extern "C" {

IMA_STATUS IMA_GetNetworkPortalOidList(IMA_OID oid, IMA_OID_LIST** list) {
  return portal_single_entry(oid, type_bit(IMA_OBJECT_TYPE_LNP), "TCPIPConfiguration",
                             IMA_OBJECT_TYPE_NETWORK_PORTAL, list);
}

IMA_STATUS IMA_VMW_GetNetworkPortalOidList(IMA_OID oid, IMA_OID_LIST** list) {
  return portal_single_entry(oid, type_bit(IMA_OBJECT_TYPE_LHBA) | type_bit(IMA_OBJECT_TYPE_LNP),
                             "TCPIPConfiguration", IMA_OBJECT_TYPE_NETWORK_PORTAL, list);
}

IMA_STATUS IMA_GetPnpOidList(IMA_OID oid, IMA_OID_LIST** list) {
  return portal_single_entry(oid, type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_LNP),
                             "NICConfiguration", IMA_OBJECT_TYPE_PNP, list);
}

IMA_STATUS IMA_GetNetworkPortalProperties(IMA_OID oid, IMA_NETWORK_PORTAL_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_NETWORK_PORTAL))) return status;
  uint32_t network = 0, function = 0;
  Text address;
  if (const uint32_t status = GetTavoPropertyVal(oid_tag(oid), "InitiatorIPAddress", address))
    return ErrorCheck(status);
  if (const uint32_t status = ancestors(oid_tag(oid), {&network, &function})) return ErrorCheck(status);
  text_to_address(address, &props->ipAddress);
  props->associatedLnp = make_oid(IMA_OBJECT_TYPE_LNP, function);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_GetNetworkPortalProperties(IMA_OID oid, IMA_PORTAL_ADDRESSES** record) {
  if (record == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_NETWORK_PORTAL);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t tcpip = 0, ipv6 = 0;
  Text ipv4, state, addresses[3];
  if (const uint32_t status = portal_tcpip(oid, &tcpip)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(tcpip, "InitiatorIPAddress", ipv4)) return ErrorCheck(status);
  if (const uint32_t status = group_tag(tcpip, "IPv6Configuration", &ipv6)) return ErrorCheck(status);
  const char* const names[3] = {"InitiatorLinkLocalAddress", "InitiatorRoutableAddress1", "InitiatorRoutableAddress2"};
  for (int i = 0; i < 3; ++i)
    if (const uint32_t status = GetTavoPropertyVal(ipv6, names[i], addresses[i])) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(ipv6, "IPv6State", state)) return ErrorCheck(status);
  // Made whole here and handed out only on success: no path leaks it.
  IMA_PORTAL_ADDRESSES made;
  memset(&made, 0, sizeof made);
  IMA_IP_ADDRESS bytes;
  text_to_address(ipv4, &bytes);
  memcpy(made.ipv4Address, bytes.ipAddress, sizeof made.ipv4Address);
  if (same_text_nocase(state, "N/A")) return IMA_ERROR_NOT_SUPPORTED;
  uint32_t count = 0;
  for (const Text& text : addresses) {
    if (!same_text_nocase(text, kZeroIpv6)) {
      IMA_IPV6_PORTAL_ADDRESS& entry = made.ipv6[count++];
      text_to_address(text, &bytes);
      memcpy(entry.address, bytes.ipAddress, sizeof entry.address);
      entry.prefixLength = 64;
      entry.state = same_text_nocase(state, "Static") ? 1 : 3;
    }
    ppdebug("%s:j = %d\n", __func__, static_cast<int>(count));
  }
  made.ipv6Count = count;
  ppdebug("%s:ip_cnt = %d\n", __func__, static_cast<int>(count));
  auto* out = static_cast<IMA_PORTAL_ADDRESSES*>(malloc(sizeof made));
  if (out == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memcpy(out, &made, sizeof made);
  *record = out;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetPnpProperties(IMA_OID oid, IMA_PNP_PROPERTIES* props) { return portal_pnp_properties(oid, props); }

IMA_STATUS IMA_VMW_GetPnpProperties(IMA_OID oid, IMA_PNP_PROPERTIES* props) {
  const IMA_STATUS status = portal_pnp_properties(oid, props);
  // The host's extension: an empty wide text of eight characters.
  if (status == IMA_STATUS_SUCCESS) memset(props->reserved, 0, 8 * sizeof(IMA_WCHAR));
  return status;
}

IMA_STATUS IMA_GetNetworkPortStatus(IMA_OID oid, IMA_NETWORK_PORT_STATUS* status) {
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_LNP) | type_bit(IMA_OBJECT_TYPE_PNP);
  if (const IMA_STATUS checked = check_oid(oid, accepted)) return checked;
  if (status == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  *status = IMA_NETWORK_PORT_STATUS_WORKING;
  uint32_t network = 0;
  Text link;
  if (const uint32_t failed = network_of(oid, &network)) return ErrorCheck(failed);
  if (const uint32_t failed = GetTavoVal(network, "NICConfiguration", "LogicalLinkStatus", link))
    return ErrorCheck(failed);
  if (strcmp(link, "Down") == 0) *status = IMA_NETWORK_PORT_STATUS_DISCONNECTED;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_GetIpProperties(IMA_OID oid, IMA_IP_PROPERTIES* props) {
  return portal_ip_properties(oid, props, type_bit(IMA_OBJECT_TYPE_PNP), false);
}

IMA_STATUS IMA_VMW_GetIpProperties(IMA_OID oid, IMA_IP_PROPERTIES* props) {
  return portal_ip_properties(oid, props, type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_PNP), true);
}

IMA_STATUS IMA_VMW_GetExtendedIpProperties(IMA_OID oid, IMA_EXTENDED_IP_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_PNP)))
    return status;
  uint32_t network = 0, tcpip = 0, ipv6 = 0;
  Ipv4Settings s;
  if (const uint32_t status = network_of(oid, &network)) return ErrorCheck(status);
  if (const uint32_t status = group_tag(network, "TCPIPConfiguration", &tcpip)) return ErrorCheck(status);
  if (const uint32_t status = portal_ipv4_settings(tcpip, &s)) return ErrorCheck(status);
  const IMA_UINT32 ipv4[6] = {0, 1, 1, !same_text_nocase(s.dhcp, "False"), 1, strcmp(s.mask, kZeroIpv4) != 0};
  memcpy(props->ipv4Words, ipv4, sizeof ipv4);
  text_to_address(s.mask, &props->subnetMask);
  props->defaultGatewaySettable = 1;
  props->defaultGatewayValid = strcmp(s.gateway, kZeroIpv4) != 0;
  text_to_address(s.gateway, &props->defaultGateway);

  bool maker = false;
  if (const uint32_t status = portal_maker_vendor(network, &maker)) return ErrorCheck(status);
  if (!maker) return IMA_ERROR_NOT_SUPPORTED;
  Text state, gateway;
  if (const uint32_t status = group_tag(tcpip, "IPv6Configuration", &ipv6)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(ipv6, "IPv6State", state)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoPropertyVal(ipv6, "DefaultIPv6Gateway", gateway)) return ErrorCheck(status);
  const IMA_UINT32 automatic = same_text_nocase(state, "AutoAssign");
  // "N/A" (a function without IPv6) is no gateway either.
  const IMA_UINT32 has_gateway =
      !same_text_nocase(gateway, kZeroIpv6) && strcmp(gateway, "0000") != 0 && !same_text_nocase(gateway, "N/A");
  const IMA_UINT32 words[15] = {1, 0, 1, 0, 1, 64, 0, 0, 1, automatic, 1, automatic, 1, 1, has_gateway};
  memcpy(props->ipv6Words, words, sizeof words);
  IMA_IP_ADDRESS bytes;
  text_to_address(gateway, &bytes);
  props->ipv6DefaultGateway.ipv4Address = 0;
  memcpy(props->ipv6DefaultGateway.ipAddress, bytes.ipAddress, sizeof bytes.ipAddress);
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_SetNetworkPortalIpAddress(IMA_OID oid, const IMA_IP_ADDRESS* address) {
  if (address == nullptr || !is_ipv4(*address)) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_NETWORK_PORTAL))) return status;
  return portal_set_ipv4_address(oid_tag(oid), *address);
}

IMA_STATUS IMA_VMW_SetNetworkPortalIpAddress(IMA_OID oid, const IMA_IP_ADDRESS* address, IMA_BOOL ipv6,
                                             IMA_BOOL given) {
  // The address is of the family the flag picks, also when it is not given.
  if (address == nullptr || (ipv6 ? !is_ipv6(*address) : !is_ipv4(*address))) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  uint32_t group = 0;
  if (!ipv6) {
    if (const uint32_t status = portal_tcpip(oid, &group)) return ErrorCheck(status);
    return portal_set_ipv4_address(group, *address);
  }
  if (const uint32_t status = portal_ipv6(oid, &group)) return ErrorCheck(status);
  const bool link_local = address->ipAddress[0] == 0xFE && address->ipAddress[1] == 0x80;
  Text text;
  if (given == 1)
    IMA_copy_ipv6_addr(text, address);
  else
    snprintf(text, sizeof text, "%s", kZeroIpv6);
  ActionParams params;
  params.set(0, link_local ? "0" : "1");
  params.set(1, text);
  return ErrorCheck(run_action(group, "ConfigureIPv6Address", params));
}

IMA_STATUS IMA_SetSubnetMask(IMA_OID oid, IMA_IP_ADDRESS mask) {
  if (!is_ipv4(mask)) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kHbaTypes)) return status;
  char name[TAVO_NAME_SIZE] = "";
  const uint32_t named = TAVO_get_node_name(oid_tag(oid), name, TAVO_KIND_GROUP);
  if (oid.objectType == IMA_OBJECT_TYPE_PNP) {
    if (named != 0) return ErrorCheck(named);
    if (strcmp(name, "NICConfiguration") != 0) return IMA_ERROR_INVALID_OBJECT_TYPE;
  } else if (named != 0 || strstr(name, "iSCSIPhysicalHBA") == nullptr) {
    return IMA_ERROR_OBJECT_NOT_FOUND;
  }
  return portal_set_mask(oid, mask);
}

IMA_STATUS IMA_VMW_SetSubnetMask(IMA_OID oid, IMA_IP_ADDRESS mask) {
  if (!is_ipv4(mask)) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, kHbaTypes)) return status;
  return portal_set_mask(oid, mask);
}

IMA_STATUS IMA_SetDefaultGateway(IMA_OID oid, IMA_IP_ADDRESS gateway) {
  return portal_set_gateway(oid, gateway, false);
}

IMA_STATUS IMA_VMW_SetDefaultGateway(IMA_OID oid, IMA_IP_ADDRESS gateway) {
  return portal_set_gateway(oid, gateway, !is_ipv4(gateway));
}

IMA_STATUS IMA_SetIpConfigMethod(IMA_OID oid, IMA_BOOL enable_dhcp) {
  if (enable_dhcp > 1) return IMA_ERROR_INVALID_PARAMETER;
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PNP))) return status;
  uint32_t tcpip = 0;
  if (const uint32_t status = portal_tcpip(oid, &tcpip)) return ErrorCheck(status);
  return ErrorCheck(run_action(tcpip, enable_dhcp ? "DHCPEnable" : "DHCPDisable", ActionParams()));
}

IMA_STATUS IMA_VMW_SetIpv6ConfigMethod(IMA_OID oid, IMA_UINT32 method, IMA_BOOL enable) {
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA) | type_bit(IMA_OBJECT_TYPE_PNP)))
    return status;
  uint32_t ipv6 = 0;
  if (const uint32_t status = portal_ipv6(oid, &ipv6)) return ErrorCheck(status);
  if (enable != 1) return ErrorCheck(run_action(ipv6, "AutoAssignDisable", ActionParams()));
  Text state;
  if (const uint32_t status = GetTavoPropertyVal(ipv6, "IPv6State", state)) return ErrorCheck(status);
  if (same_text_nocase(state, "AutoAssign")) return IMA_STATUS_SUCCESS;
  // Other methods go with an empty type, which the action refuses.
  ActionParams params;
  if (method == 2 || method == 3) params.set(0, "Auto");
  return ErrorCheck(run_action(ipv6, "AutoAssignEnable", params));
}

IMA_STATUS IMA_GetAddressKeys(IMA_OID oid, IMA_ADDRESS_KEYS** keys) {
  if (keys == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const uint32_t accepted = type_bit(IMA_OBJECT_TYPE_TARGET) | type_bit(IMA_OBJECT_TYPE_DISCOVERY_ADDRESS) |
                            type_bit(IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET);
  if (const IMA_STATUS status = check_oid(oid, accepted)) return status;
  uint32_t parent = 0;
  if (const uint32_t status = Get_Target_tag(oid_tag(oid), &parent)) return ErrorCheck(status);
  Tags portals;
  if (const uint32_t status = child_tags(parent, "TargetPortal", &portals)) return ErrorCheck(status);
  auto* made = static_cast<IMA_ADDRESS_KEYS*>(
      calloc(1, offsetof(IMA_ADDRESS_KEYS, addressKeys) + sizeof(IMA_ADDRESS_KEY) * portals.count));
  if (made == nullptr) return IMA_ERROR_FAILED;
  for (uint32_t i = 0; i < portals.count; ++i) {
    Text address, port, tpgt;
    uint32_t status = GetTavoPropertyVal(portals.tag[i], "TargetIPAddress", address);
    if (status == 0) status = GetTavoPropertyVal(portals.tag[i], "TargetPortNumber", port);
    if (status == 0) status = GetTavoPropertyVal(portals.tag[i], "PortalGroupTag", tpgt);
    if (status != 0) {
      free(made);
      return ErrorCheck(status);
    }
    IMA_ADDRESS_KEY& key = made->addressKeys[i];
    text_to_address(address, &key.ipAddress);
    key.portNumberValid = 1;
    key.portNumber = static_cast<IMA_PORT_NUMBER>(decimal(port));
    key.portalGroupTagValid = 1;
    key.portalGroupTag = static_cast<IMA_UINT16>(decimal(tpgt));
  }
  made->addressKeyCount = portals.count;
  *keys = made;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_GetArpRedirectProperties(IMA_OID oid, IMA_ARP_REDIRECT_PROPERTIES* props) {
  if (props == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(props, 0, sizeof *props);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  props->words[0] = 1;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_SetArpRedirect(IMA_OID oid, IMA_BOOL) {
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

IMA_STATUS IMA_VMW_GetMtuProperties(IMA_OID oid, IMA_MIN_MAX_VALUE* mtu) {
  if (mtu == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(mtu, 0, sizeof *mtu);
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  uint32_t network = 0;
  Text text;
  if (const uint32_t status = network_of(oid, &network)) return ErrorCheck(status);
  if (const uint32_t status = GetTavoVal(network, "NICConfiguration", "MaxMTUSize", text)) return ErrorCheck(status);
  mtu->currentValue = decimal(text);
  mtu->currentValueValid = 1;
  mtu->settable = 0;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS IMA_VMW_SetMtu(IMA_OID oid, IMA_UINT32) {
  if (const IMA_STATUS status = check_oid(oid, type_bit(IMA_OBJECT_TYPE_PHBA))) return status;
  return IMA_ERROR_NOT_SUPPORTED;
}

IMA_STATUS IMA_VMW_EnableIP(IMA_OID, IMA_BOOL) { return IMA_STATUS_SUCCESS; }

}  // extern "C"
