// iSCSI network configuration: the iSCSIPhysicalHBA branch, the IPv4
// TCP/IP configuration and the NIC view of an iSCSI function.
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

// --- IPv6, routes and ARP, ping, iSNS and the initiator name (not built yet:
// stored texts, success) ---
TAVO_EXPORT uint32_t handle_IPv6State(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_InitiatorLinkLocalAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_InitiatorRoutableAddress(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_DefaultIPv6Gateway(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t do_DeleteDefaultIPv6Gateway(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AutoAssignEnable(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AutoAssignDisable(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureIPv6Address(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddRouteTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteRouteTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshRouteTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_AddARPTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteARPTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RefreshARPTableEntry(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_Ping(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DiscoveryiSNSThruDHCP(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigureiSNSServer(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteiSNSServer(TavoNode* group, TavoNode* action, char* params);
// Refresh handler of the iSNS group.
TAVO_EXPORT uint32_t group_iSNS(TavoNode* isns);
// InitiatoriSCSIName and InitiatorAlias of a LogicalHBA's
// InitiatoriSCSIName group.
TAVO_EXPORT uint32_t handle_name_params(TavoNode* property, char* buf, uint32_t op);

// --- the branch's action descriptors ---
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_AddRouteTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_DeleteRouteTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_RefreshRouteTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_AddARPTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_DeleteARPTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_RefreshARPTableEntry_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DeleteDefaultGateway_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPEnable_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPDisable_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureIPAddress_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureVLAN_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_VLANDisable_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_Ping_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_DeleteDefaultIPv6Gateway_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignEnable_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignDisable_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_ConfigureIPv6Address_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress_action;
TAVO_EXPORT extern const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_RefreshNICConfig_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_PCI_DumpiSCSIPCIConfigRegion_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DiscoveryiSNSThruDHCP_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_ConfigureiSNSServer_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DeleteiSNSServer_action;
TAVO_EXPORT extern const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_EraseConfiguration_action;

TAVO_END_DECLS
