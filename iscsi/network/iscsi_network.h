// iSCSI network configuration: the iSCSIPhysicalHBA branch, its start-up,
// the IPv4 and IPv6 TCP/IP configuration, routes and ARP entries, ping, iSNS
// servers, the initiator name and the NIC view of an iSCSI function.
//
// Handlers and actions take the node they run on; their mailbox commands
// go to the function's iSCSI device with domain 0 and the function's
// PortNumber. Each answers 0 or 1 (a boot-session refusal its code) and
// leaves the reason of a failure in the last status.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- builders; params: six 256-byte texts or NULL; NULL when nothing was built ---
// One iSCSIPhysicalHBA instance (8 per controller) with its sub-groups.
TAVO_EXPORT TavoNode* initialize_iSCSIPhysicalHBA(TavoNode* controller, TavoNode* creating_node,
                                                  TavoNode* creating_action, char* params);
// Entries of a RouteTable (1024), an ARPTable (64) and an iSNS group (4).
TAVO_EXPORT TavoNode* initialize_RouteTableEntry(TavoNode* route_table, TavoNode* creating_node,
                                                 TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_ARPTableEntry(TavoNode* arp_table, TavoNode* creating_node, TavoNode* creating_action,
                                               char* params);
TAVO_EXPORT TavoNode* initialize_iSNSServer(TavoNode* isns, TavoNode* creating_node, TavoNode* creating_action,
                                            char* params);

// --- IPv4 TCP/IP configuration ---
// In the nhandle of a TCPIPConfiguration group from its first interface
// read on; freed with the other handles at shut-down.
typedef struct TcpipInterfaceHandle {
  uint32_t device_handle;  // the function number
  uint32_t interface_id;   // the firmware's first interface
  uint32_t reserved[2];
} TcpipInterfaceHandle;

// Reads the interface list (24/2) and the first interface (25/2) into the
// group's properties; 0, or 1 with status 98 or 99.
TAVO_EXPORT uint32_t get_all_interfaces(uint32_t device_handle, uint8_t port_number, uint8_t domain, TavoNode* tcpip);
// Reads one interface's IPv4 block into InitiatorIPAddress,
// InitiatorSubnetMask, DHCPEnabled, VLANEnabled, VLANId and Priority; 0, or
// 1 (status 99 when the command failed).
TAVO_EXPORT uint32_t get_if_info_params(uint32_t device_handle, uint32_t interface_id, TavoNode* tcpip, uint8_t domain,
                                        uint8_t port_number);
// Deletes an IPv4 address and mask (16 bytes each, IPv4 in the first 4)
// from the interface; 0, or 1 with status 122.
TAVO_EXPORT uint32_t TAVO_delete_ip_from_firmware(uint32_t device_handle, uint32_t interface_id, TavoNode* tcpip,
                                                  uint8_t domain, uint8_t port_number, const uint8_t* address,
                                                  const uint8_t* mask);
// InitiatorIPAddress, InitiatorSubnetMask, DHCPEnabled: reading any of them
// refreshes all six interface properties.
TAVO_EXPORT uint32_t handle_tcpip_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_DefaultGateway(TavoNode* property, char* buf, uint32_t op);
// Actions of TCPIPConfiguration (parameters as in their descriptors).
TAVO_EXPORT uint32_t do_ConfigureIPAddress(TavoNode* tcpip, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DHCPEnable(TavoNode* tcpip, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DHCPDisable(TavoNode* tcpip, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureVLAN(TavoNode* tcpip, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_VLANDisable(TavoNode* tcpip, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteDefaultGateway(TavoNode* tcpip, TavoNode* action, char* params);

// --- NIC view of the iSCSI function ---
// MaxMTUSize and PortMaxSpeed from 7/2; 0, or 1 (status 93 when the command
// failed).
TAVO_EXPORT uint32_t TAVO_get_iscsi_ntwk_params(uint32_t device_handle, uint8_t domain, uint8_t port_number,
                                                TavoNode* nic_config);
// The function's running MAC (1/1 type 0) into MACAddress when property is
// named so, else into PermanentMACAddress; 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_iscsi_ntwk_mac(uint32_t device_handle, uint8_t domain, uint8_t port_number,
                                             TavoNode* nic_config, TavoNode* property);
TAVO_EXPORT uint32_t handle_NICprop(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_logical_link_status(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_iSCSIPhysicalHBA_Network_NICConfiguration_MACAddress(TavoNode* property, char* buf,
                                                                                 uint32_t op);
// Get: the last configured MAC; set: configures it (status 304 on success).
TAVO_EXPORT uint32_t handle_iSCSIPhysicalHBA_Network_NICConfiguration_PermanentMACAddress(TavoNode* property, char* buf,
                                                                                          uint32_t op);
// Makes the function's factory MAC its configured MAC again (status 304).
TAVO_EXPORT uint32_t do_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress(TavoNode* nic_config,
                                                                                  TavoNode* action, char* params);
// Re-reads MaxMTUSize, PortMaxSpeed and PermanentMACAddress.
TAVO_EXPORT uint32_t do_RefreshNICConfig(TavoNode* nic_config, TavoNode* action, char* params);

// 1 with status 44 when a session under the iSCSIPhysicalHBA (any
// LogicalHBA, any target) reads iSCSIBoot "True", else 0. domain is unused.
TAVO_EXPORT uint32_t check_for_boot_session(TavoNode* function_group, int32_t domain);

// --- IPv6 (CV2 and CV3 have none: properties read "N/A", changes are
// refused with status 291). Texts are the 39-character full form; all
// zeros is no address. ---
// The first (which 0) or second (1) interface address of address_type
// (0x50 link-local, 0x30 static, 0x90 auto-assigned) into text[40]; text is
// left alone when there is none. 0, or 1 with status 98 or 99.
TAVO_EXPORT uint32_t TAVO_get_IPv6configuration_properties(uint32_t device_handle, uint32_t domain, uint32_t port,
                                                           uint32_t address_type, char* text, uint32_t which);
TAVO_EXPORT uint32_t handle_IPv6State(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_InitiatorLinkLocalAddress(TavoNode* property, char* buf, uint32_t op);
// Both routable addresses, told apart by the property's name; the type
// follows IPv6State (Static: 0x30, else 0x90).
TAVO_EXPORT uint32_t handle_InitiatorRoutableAddress(TavoNode* property, char* buf, uint32_t op);
// Set: replaces the gateway (the old one is removed first).
TAVO_EXPORT uint32_t handle_DefaultIPv6Gateway(TavoNode* property, char* buf, uint32_t op);
// Removes the address the named property of the IPv6Configuration group
// shows now (nothing for none); 0, or 1 with status 122.
TAVO_EXPORT uint32_t TAVO_delete_ipv6_address(TavoNode* ipv6, const char* property_name, uint32_t address_type,
                                              uint32_t device_handle, uint32_t domain, uint32_t port,
                                              uint32_t interface_id);
// Removes the gateway DefaultIPv6Gateway shows now (nothing for none); 0,
// or 1 with status 132.
TAVO_EXPORT uint32_t TAVO_delete_IPv6Gateway(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* ipv6);
TAVO_EXPORT uint32_t do_DeleteDefaultIPv6Gateway(TavoNode* ipv6, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AutoAssignEnable(TavoNode* ipv6, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AutoAssignDisable(TavoNode* ipv6, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureIPv6Address(TavoNode* ipv6, TavoNode* action, char* params);

// --- routes and ARP entries: every change is followed by a read of the
// firmware's table ---
// RouteTableEntry instances in step with the firmware: stale ones go, the
// others keep their numbers, new routes take the lowest free numbers. 0,
// or 1 (status 100 when the table cannot be read).
TAVO_EXPORT uint32_t get_routeEntry_attribs(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* tcpip);
// Rebuilds the ARPTableEntry instances whole, numbered in the firmware's
// order; the first records the creating node, action and params (six
// 256-byte texts; all three may be NULL). 0, or 1 (status 97 when the table
// cannot be read).
TAVO_EXPORT uint32_t get_Arp_Entry_attribs(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* tcpip,
                                           TavoNode* creating_node, TavoNode* creating_action, char* params);
TAVO_EXPORT uint32_t do_AddRouteTableEntry(TavoNode* route_table, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteRouteTableEntry(TavoNode* route_table, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshRouteTableEntry(TavoNode* route_table, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddARPTableEntry(TavoNode* arp_table, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteARPTableEntry(TavoNode* arp_table, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshARPTableEntry(TavoNode* arp_table, TavoNode* action, char* params);
// Deletes every route of the function; 0 when none is left, 1 on failure
// (status 129 when the firmware still shows routes after 16 passes).
TAVO_EXPORT uint32_t TAVO_delete_available_routes(TavoNode* function_group);

// --- ping and iSNS servers ---
TAVO_EXPORT uint32_t do_Ping(TavoNode* tcpip, TavoNode* action, char* params);
// Brings the iSNSServer instances of isns in line with the server of the
// firmware's first slot; a new instance records isns, creating_action and
// params (six 256-byte texts, rewritten; NULL: its own). 0, 1, or the
// status of a failed read (status 80).
TAVO_EXPORT uint32_t get_all_isns(TavoNode* function_group, uint32_t device_handle, uint32_t domain, uint32_t port,
                                  TavoNode* isns, TavoNode* creating_action, char* params);
// Refresh handler of the iSNS group.
TAVO_EXPORT uint32_t group_iSNS(TavoNode* isns);
// iSNSEnabled of isns from the discovery parameters; 0, 1, or the status
// of a failed read (status 80).
TAVO_EXPORT uint32_t get_discovery_params(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* isns);
TAVO_EXPORT uint32_t do_DiscoveryiSNSThruDHCP(TavoNode* isns, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureiSNSServer(TavoNode* isns, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteiSNSServer(TavoNode* isns, TavoNode* action, char* params);

// --- the initiator name and alias of a LogicalHBA's InitiatoriSCSIName
// group, kept by the firmware per domain ---
// InitiatoriSCSIName (stored in lower case) and InitiatorAlias.
TAVO_EXPORT uint32_t handle_name_params(TavoNode* property, char* buf, uint32_t op);
// Reads both into the property's group; 0, 1, or the failing command's
// status (status 110).
TAVO_EXPORT uint32_t get_name_params(uint32_t device_handle, uint32_t domain, uint32_t port, TavoNode* property);
// Writes value into the firmware's field the property names, keeping the
// other; 0, else 1 or the failing command's status (status 110 or 111).
TAVO_EXPORT uint32_t TAVO_set_initatorIQN_alias(TavoNode* property, const char* value);
// The current name of LogicalHBA<domain> beside node (the function's iSNS
// group) into text[256]; 0, or 1 with text untouched.
TAVO_EXPORT uint32_t get_initiator_name(TavoNode* node, char* text, uint32_t domain);

TAVO_END_DECLS
