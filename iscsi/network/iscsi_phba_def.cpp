// The iSCSIPhysicalHBA branch: one instance per iSCSI function of a
// controller, its static sub-groups in the order clients see them, the
// entry groups that the route, ARP and iSNS refreshes build, and the
// branch's action descriptors.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/sessions/sessions.h"
#include "iscsi/targets/targets.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::action;
using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;
constexpr uint32_t RW = TAVO_ACCESS_READ_WRITE;
constexpr uint8_t TEXT = TAVO_TYPE_TEXT;
constexpr uint8_t INT = TAVO_TYPE_INTEGER;
constexpr uint8_t IP = TAVO_TYPE_IP_ADDRESS;
constexpr uint8_t MASK = TAVO_TYPE_SUBNET_MASK;
constexpr uint8_t LIST = TAVO_TYPE_LIST;
constexpr TavoPropertyHandler STORED = handle_internal_property;
constexpr char kZeroMac[] = "00:00:00:00:00:00";

tavo::tree::SlotArea iscsi_phba_slots;
tavo::tree::SlotArea route_entry_slots;
tavo::tree::SlotArea arp_entry_slots;
tavo::tree::SlotArea isns_server_slots;

// --- entry groups ---
const ChildDef route_entry_children[] = {
    property("Destination", "This property displays the destination address of the route.", RO, IP, "", 0, 16,
             "0.0.0.0", STORED),
    property("SubnetMask", "This property displays the subnet mask of the route's destination.", RO, MASK, "", 0, 255,
             "255.255.255.0", STORED),
    property("Gateway", "This property displays the gateway through which the destination is reached.", RO, IP, "",
             1, 64, "0.0.0.0", STORED),
};
const GroupDef route_entry = {"RouteTableEntry",
                              "This group instance represents one static route of the iSCSI function.", 1024, 0,
                              nullptr, route_entry_children, &route_entry_slots};

const ChildDef arp_entry_children[] = {
    property("IPAddress", "This property displays the IP address of the ARP entry.", RO, IP, "", 0, 16, "0.0.0.0",
             STORED),
    property("MACAddress", "This property displays the MAC address of the ARP entry.", RO, TEXT, "", 17, 17, kZeroMac,
             STORED),
};
const GroupDef arp_entry = {"ARPTableEntry", "This group instance represents one ARP entry of the iSCSI function.", 64,
                            0, nullptr, arp_entry_children, &arp_entry_slots};

const ChildDef isns_server_children[] = {
    property("IPAddress", "This property displays the IP address of the iSNS server.", RO, IP, "", 0, 0, "0.0.0.0",
             STORED),
    property("PortNumber", "This property displays the TCP port number of the iSNS server.", RO, INT, "", 1024, 65535,
             "3205", STORED),
};
const GroupDef isns_server = {"iSNSServer",
                              "This group instance represents one iSNS server configured for the iSCSI function.", 4,
                              0, nullptr, isns_server_children, &isns_server_slots};

// --- Network/TCPIPConfiguration ---
const ChildDef route_table_children[] = {
    action("AddRouteTableEntry",
           "This command adds a static route. At most 16 static routes can be added for all iSCSI functions of one "
           "controller, and duplicate entries are refused.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_AddRouteTableEntry_action),
    action("DeleteRouteTableEntry", "This command deletes the given route table entry.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_DeleteRouteTableEntry_action),
    action("RefreshRouteTableEntry", "This command reads the route table of the iSCSI function again.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_RefreshRouteTableEntry_action),
};
const GroupDef route_table = {"RouteTable",
                              "This group holds the static routes of the iSCSI function. At most 16 static routes "
                              "can be added for all iSCSI functions of one controller, and duplicate entries are "
                              "refused.",
                              0, 0, nullptr, route_table_children};

const ChildDef arp_table_children[] = {
    action("AddARPTableEntry", "This command adds an entry to the ARP table of the iSCSI function.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_AddARPTableEntry_action),
    action("DeleteARPTableEntry", "This command deletes the given ARP table entry.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_DeleteARPTableEntry_action),
    action("RefreshARPTableEntry", "This command reads the ARP table of the iSCSI function again.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_RefreshARPTableEntry_action),
};
const GroupDef arp_table = {"ARPTable", "This group holds the ARP entries of the iSCSI function.", 0, 0, nullptr,
                            arp_table_children};

const ChildDef ipv6_children[] = {
    property("IPv6State",
             "This property specifies the IPv6State. The value N/A indicates not supported by firmware. The value "
             "AutoAssign indicates auto address assignment and Static indicates static address assignment.",
             RO, LIST, "N/A,AutoAssign,Static", 3, 10, "N/A", handle_IPv6State),
    property("InitiatorLinkLocalAddress", "This property displays the IPv6 link-local address of the initiator port.",
             RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorLinkLocalAddress),
    property("InitiatorRoutableAddress1", "This property displays the first routable IPv6 address of the initiator "
             "port.", RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorRoutableAddress),
    property("InitiatorRoutableAddress2", "This property displays the second routable IPv6 address of the initiator "
             "port.", RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorRoutableAddress),
    property("DefaultIPv6Gateway", "This property displays the default IPv6 gateway of the initiator port.", RW, TEXT,
             "", 1, 50, "fe80::0", handle_DefaultIPv6Gateway),
    action("DeleteDefaultIPv6Gateway", "This command deletes the default IPv6 gateway of the initiator port.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_DeleteDefaultIPv6Gateway_action),
    action("AutoAssignEnable", "This command enables automatic assignment of IPv6 addresses.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignEnable_action),
    action("AutoAssignDisable", "This command disables automatic assignment of IPv6 addresses.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignDisable_action),
    action("ConfigureIPv6Address", "This command configures one IPv6 address of the initiator port.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_ConfigureIPv6Address_action),
};
const GroupDef ipv6 = {"IPv6Configuration", "This group contains the IPv6 settings of the iSCSI function.", 0, 0,
                       nullptr, ipv6_children};

const ChildDef tcpip_children[] = {
    subgroup(&route_table),
    subgroup(&arp_table),
    property("VLANId",
             "This property indicates the VLAN ID of the interface. An empty string for this property indicates VLAN "
             "is disabled.",
             RO, INT, "", 0, 4094, "0", STORED),
    property("Priority",
             "This property indicates the VLAN priority of the interface. An empty string for this property indicates "
             "VLAN is disabled.",
             RO, INT, "", 0, 7, "0", STORED),
    property("VLANEnabled", "This property indicates whether VLAN tagging is enabled on the interface.", RO, LIST,
             "True,False", 4, 5, "False", STORED),
    property("InitiatorIPAddress", "This property displays the IPv4 address of the initiator port.", RO, IP, "", 0,
             16, "0.0.0.0", handle_tcpip_properties),
    property("InitiatorSubnetMask", "This property displays the IPv4 subnet mask of the initiator port.", RO, IP, "",
             0, 255, "0.0.0.0", handle_tcpip_properties),
    property("DefaultGateway",
             "The Default Gateway must be in the same subnet as the IPaddress of this initiator port.", RW, IP, "", 1,
             64, "0.0.0.0", handle_DefaultGateway),
    property("DHCPEnabled", "This property indicates whether the IPv4 address is obtained through DHCP.", RO, LIST,
             "True,False", 4, 5, "False", handle_tcpip_properties),
    action("DeleteDefaultGateway",
           "This command will reset the maually set Default Gateway. The command will fail if DHCP is enabled. "
           "OEMHXDHCPDisable command will reset the Default Gateway, when DHCP is enabled.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DeleteDefaultGateway_action),
    action("DHCPEnable",
           "This command will enable the DHCP configuration. User/TAVO must delete manually assigned IPv4 address for "
           "this interface before enabling DHCP.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPEnable_action),
    action("DHCPDisable", "This command disables DHCP; the IPv4 address then reads 0.0.0.0 until one is configured.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPDisable_action),
    action("ConfigureIPAddress",
           "This command configures the IPv4 address and subnet mask of the initiator port. It fails while DHCP is "
           "enabled.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureIPAddress_action),
    action("ConfigureVLAN", "This command enables VLAN tagging with the given VLAN ID and priority (0 when not given).",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureVLAN_action),
    action("VLANDisable", "This command disables VLAN tagging on the interface.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_VLANDisable_action),
    action("Ping", "This command sends an ICMP echo request from the initiator port to the given IPv4 address.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_Ping_action),
    subgroup(&ipv6),
};
const GroupDef tcpip = {"TCPIPConfiguration",
                        "This group contains the IPv4 settings of the iSCSI function: address, subnet mask, DHCP, "
                        "VLAN and default gateway.",
                        0, 0, nullptr, tcpip_children};

// --- Network/NICConfiguration ---
const ChildDef vnic_children[] = {
    property("vNICEnabled", "This property indicates whether the iSCSI function runs as a virtual NIC.", RO, LIST,
             "True,False", 4, 5, "False", handle_iscsi_vnic_name_props),
    property("vNICName", "This property displays the name of the virtual NIC.", RO, TEXT, "", 1, 32, "1",
             handle_iscsi_vnic_name_props),
    property("OuterVLANID", "This property displays the outer VLAN ID of the virtual NIC.", RO, INT, "", 0, 4094, "0",
             handle_iscsi_vnic_stats),
    property("MinBandwidth", "This property displays the minimum bandwidth of the virtual NIC in units of 10 Mbps.",
             RO, INT, "", 0, 1000, "0", handle_iscsi_vnic_stats),
    property("MaxBandwidth", "This property displays the maximum bandwidth of the virtual NIC in units of 10 Mbps.",
             RO, INT, "", 10, 1000, "0", handle_iscsi_vnic_stats),
};
const GroupDef vnic = {"vNIC", "This group contains the virtual NIC settings of the iSCSI function.", 0, 0, nullptr,
                       vnic_children};

const ChildDef nic_config_children[] = {
    subgroup(&vnic),
    property("PortSpeed", "This property displays the current speed of the physical port.", RO, LIST,
             "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3, 13, "0 (Link Down)",
             handle_portspeed),
    property("PortMaxSpeed", "This property displays the highest speed the port allows.", RO, LIST,
             "Unknown,less than 1Mb,less than 1Gb,1Gb,10Gb", 3, 13, "Unknown", handle_NICprop),
    property("MaxMTUSize", "This property displays the largest MTU in bytes the iSCSI function allows.", RO, INT, "",
             64, 9200, "8342", handle_NICprop),
    property("LogicalLinkStatus", "This property displays the logical link state of the iSCSI function.", RO, LIST,
             "Up,Down,Unknown", 2, 7, "Unknown", handle_logical_link_status),
    property("ActivePort", "This property displays the physical port the iSCSI function uses.", RO, LIST,
             "Port 0,Port 1,None", 0, 26, "Port 0", handle_activeport),
    property("MACAddress", "This property displays the MAC address the iSCSI function uses now.", RO, TEXT, "", 17, 17,
             kZeroMac, handle_iSCSIPhysicalHBA_Network_NICConfiguration_MACAddress),
    property("PermanentMACAddress",
             "This property displays the MAC address configured for the iSCSI function; a new value takes effect "
             "after a reboot.",
             RW, TEXT, "", 17, 17, kZeroMac, handle_iSCSIPhysicalHBA_Network_NICConfiguration_PermanentMACAddress),
    property("FactoryDefaultMACAddress", "This property displays the factory default MAC address of the iSCSI "
             "function.", RO, TEXT, "", 17, 17, kZeroMac, STORED),
    action("ResetMACAddress",
           "This command will reinitialize the MAC address of the given function to the controller default MAC "
           "address for that function.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress_action),
    action("RefreshNICConfig", "This command displays the current NIC configuration properties.",
           &ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_RefreshNICConfig_action),
};
const GroupDef nic_config = {"NICConfiguration",
                             "This group contains the Ethernet settings of the iSCSI function: MTU, port speed, link "
                             "state and MAC addresses.",
                             0, 0, nullptr, nic_config_children};

const ChildDef network_children[] = {subgroup(&tcpip), subgroup(&nic_config)};
const GroupDef network = {"Network", "This group contains the network settings of the iSCSI function.", 0, 0, nullptr,
                          network_children};

// --- Driver, VPD, PCI, iSNS ---
const ChildDef driver_children[] = {
    property("DriverName", "This property displays the name of the Tessmark iSCSI initiator driver.", RO, TEXT, "", 2,
             10, "CV2ISCSI", STORED),
    property("DriverVersion", "This property displays the version of the Tessmark iSCSI initiator driver.", RO, TEXT,
             "", 2, 6, "2", STORED),
};
const GroupDef driver = {"Driver", "This group contains the properties of the iSCSI initiator driver.", 0, 0, nullptr,
                         driver_children};

#define VPD_SEGMENT(n)                                                                                             \
  property("VPDData" #n, "This property displays segment " #n " of the iSCSI function's vital product data in " \
           "hexadecimal.", RO, TEXT, "", 0, 256, "", STORED)
const ChildDef vpd_children[] = {VPD_SEGMENT(0), VPD_SEGMENT(1), VPD_SEGMENT(2), VPD_SEGMENT(3), VPD_SEGMENT(4),
                                 VPD_SEGMENT(5), VPD_SEGMENT(6), VPD_SEGMENT(7), VPD_SEGMENT(8)};
#undef VPD_SEGMENT
const GroupDef vpd = {"VPD", "This group contains the vital product data of the iSCSI function.", 0, 0, nullptr,
                      vpd_children};

const ChildDef pci_children[] = {
    property("VendorID", "This property displays the PCI vendor ID of the Tessmark controller's iSCSI function.", RO,
             INT, "", 0, 65535, "0", STORED),
    property("DeviceID", "This property displays the PCI device ID of the Tessmark controller's iSCSI function.", RO,
             INT, "", 0, 65535, "0", STORED),
    property("SubsysDeviceID",
             "This property displays the PCI subsystem device ID of the Tessmark controller's iSCSI function.", RO, INT,
             "", 0, 65535, "0", STORED),
    property("SubsysVendorID",
             "This property displays the PCI subsystem vendor ID of the Tessmark controller's iSCSI function.", RO, INT,
             "", 0, 65535, "0", STORED),
    property("DomainNumber",
             "This property displays the PCI domain number of the Tessmark controller's iSCSI function.", RO, INT, "",
             0, 255, "0000", handle_DomainNumber),
    property("BusNumber", "This property displays the PCI bus number of the Tessmark controller's iSCSI function.", RO,
             INT, "", 0, 255, "0", STORED),
    property("DeviceNumber",
             "This property displays the PCI device number of the Tessmark controller's iSCSI function.", RO, INT, "",
             0, 32, "0", STORED),
    property("FunctionNumber",
             "This property displays the PCI function number of the Tessmark controller's iSCSI function.", RO, INT, "",
             0, 8, "0", STORED),
    action("DumpiSCSIPCIConfigRegion",
           "This command displays registers of the iSCSI function's PCI configuration space.",
           &ROOT_Corvane_iSCSIPhysicalHBA_PCI_DumpiSCSIPCIConfigRegion_action),
};
const GroupDef pci = {"PCI", "This group contains the PCI properties of the Tessmark controller's iSCSI function.", 0,
                      0, nullptr, pci_children};

const ChildDef isns_children[] = {
    property("iSNSEnabled", "This property indicates whether targets are discovered through iSNS.", RW, LIST, "Yes,No",
             1, 3, "No", handle_discoveryparams),
    action("DiscoveryiSNSThruDHCP",
           "This command asks the DHCP server for the iSNS server to discover targets through.",
           &ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DiscoveryiSNSThruDHCP_action),
    action("ConfigureiSNSServer",
           "This command adds an iSNS server to the iSNS server table. Without a port number 3205 is used. The "
           "command succeeds when communication with the server completes.",
           &ROOT_Corvane_iSCSIPhysicalHBA_iSNS_ConfigureiSNSServer_action),
    action("DeleteiSNSServer", "This command deletes the given iSNS server from the iSNS server table.",
           &ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DeleteiSNSServer_action),
};
const GroupDef isns = {"iSNS", "This group contains the iSNS settings and servers of the iSCSI function.", 0, 0,
                       group_iSNS, isns_children};

// --- the function ---
const ChildDef iscsi_phba_children[] = {
    property("iSCSIBIOSEnable", "This property indicates whether the function's iSCSI boot BIOS is enabled.", RW, LIST,
             "Yes,No", 2, 3, "Yes", handle_iSCSIBIOSEnable),
    property("PortNumber", "This property displays the physical port number of this iSCSI function.", RO, INT, "", 0,
             3, "0", STORED),
    property("iSCSIVersionMin", "This property displays the lowest iSCSI protocol version the function supports.", RO,
             TEXT, "", 1, 3, "1", STORED),
    property("iSCSIVersionMax", "This property displays the highest iSCSI protocol version the function supports.",
             RO, TEXT, "", 1, 3, "1", STORED),
    property("MaxCDBLength", "This property displays the largest SCSI command descriptor block the function sends.", RO,
             INT, "", 6, 16, "16", STORED),
    property("MPIOEnabled", "This property indicates whether multipath I/O is enabled for the function.", RW, LIST,
             "True,False", 4, 5, "False", handle_MPIOEnabled),
    property("LDTO", "This property displays the link down timeout in seconds.", RO, INT, "", 0, 3600, "20", STORED),
    property("DefaultETO", "This property displays the default extended timeout in seconds.", RO, INT, "", 0, 3600,
             "30", STORED),
    subgroup(&driver),
    subgroup(&network),
    subgroup(&vpd),
    subgroup(&pci),
    subgroup(&isns),
    action("EraseConfiguration",
           "This command resets the Tessmark iSCSI configuration to factory default settings. Upon successful "
           "completion of this command, all user iSCSI configured settings on both ports of the Tessmark controller "
           "are lost. No reboot is required for these changes to take effect.",
           &ROOT_Corvane_iSCSIPhysicalHBA_EraseConfiguration_action),
};
const GroupDef iscsi_phba = {"iSCSIPhysicalHBA",
                             "This group represents properties of the Tessmark controller instance under this domain.",
                             8, 0, nullptr, iscsi_phba_children, &iscsi_phba_slots};

}  // namespace

// --- action descriptors: handler, global 0, parameters ---
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_AddRouteTableEntry_action = {
        do_AddRouteTableEntry, 0, 3,
        {{1, "Destination", "This parameter specifies the IP address of the entry to be entered in the route table.",
          IP, "", 0, 16},
         {1, "SubnetMask", "This parameter specifies the Subnet mask of the entry to be entered in the route table.",
          MASK, "", 0, 255},
         {1, "Gateway", "This parameter specifies the Gateway address of the entry to be entered in the route table.",
          IP, "", 1, 64}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_DeleteRouteTableEntry_action = {
        do_DeleteRouteTableEntry, 0, 1,
        {{1, "InstanceNumber", "This parameter specifies the number of the route table entry to be deleted.", INT, "",
          0, 1023}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable_RefreshRouteTableEntry_action = {
        do_RefreshRouteTableEntry, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_AddARPTableEntry_action = {
    do_AddARPTableEntry, 0, 2,
    {{1, "IPAddress", "This parameter specifies the IP address of the entry to be added to the ARP table.", IP, "", 0,
      16},
     {1, "MACAddress", "This parameter specifies the MAC address of the entry to be added to the ARP table.", TEXT, "",
      17, 17}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_DeleteARPTableEntry_action = {
        do_DeleteARPTableEntry, 0, 1,
        {{1, "InstanceNumber",
          "This parameter accepts string input and converts it to an equivalent number and uses that as an instance "
          "number.",
          INT, "", 0, 63}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable_RefreshARPTableEntry_action = {
        do_RefreshARPTableEntry, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DeleteDefaultGateway_action = {
    do_DeleteDefaultGateway, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPEnable_action = {
    do_DHCPEnable, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_DHCPDisable_action = {
    do_DHCPDisable, 0, 0, {}};
// Plain text: the handler checks the address and mask itself.
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureIPAddress_action = {
    do_ConfigureIPAddress, 0, 2,
    {{1, "IPAddress", "This parameter specifies the IP address to be configured for the port.", TEXT, "", 0, 16},
     {1, "SubnetMask", "This parameter specifies the Subnet mask to be configured for the port.", TEXT, "", 0, 16}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ConfigureVLAN_action = {
    do_ConfigureVLAN, 0, 2,
    {{1, "VLANId", "This parameter takes the value ranges from 0 to 4094 to enable VLAN.", INT, "", 0, 4094},
     {0, "Priority", "This property indicates the VLAN priority of the interface.", INT, "", 0, 7}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_VLANDisable_action = {
    do_VLANDisable, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_Ping_action = {
    do_Ping, 0, 1,
    {{1, "IPAddress", "This parameter specifies the IPv4 address to which the ICMP ping request will be sent.", IP, "",
      0, 0}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_DeleteDefaultIPv6Gateway_action = {
        do_DeleteDefaultIPv6Gateway, 0, 0, {}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignEnable_action = {
        do_AutoAssignEnable, 0, 1,
        {{1, "Type",
          "This parameter chooses the kind of automatic IPv6 address assignment. The valid values are Auto and DHCP.",
          LIST, "Auto,DHCP", 1, 4}}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_AutoAssignDisable_action = {
        do_AutoAssignDisable, 0, 0, {}};
const TavoActionDescriptor
    ROOT_Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration_ConfigureIPv6Address_action = {
        do_ConfigureIPv6Address, 0, 2,
        {{1, "AddressType",
          "This parameter specifies the AddressType and the valid values are 0 = LinkLocalIPv6, 1 = "
          "RoutableIPv6_Address1 and 2 = RoutableIPv6_Address2.",
          LIST, "0,1,2", 1, 1},
         {1, "IPAddress", "This parameter specifies IPv6 address to configure.", TEXT, "", 1, 50}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress_action = {
    do_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_Network_NICConfiguration_RefreshNICConfig_action = {
    do_RefreshNICConfig, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_PCI_DumpiSCSIPCIConfigRegion_action = {
    do_DumpiSCSIPCIConfigRegion, 0, 2,
    {{1, "RegisterOffset", "PCI Register.", INT, "", 0, 252},
     {1, "Count", "This parameter indicates the number of configuration space registers to be read.", INT, "", 1,
      64}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DiscoveryiSNSThruDHCP_action = {
    do_DiscoveryiSNSThruDHCP, 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_ConfigureiSNSServer_action = {
    do_ConfigureiSNSServer, 0, 2,
    {{1, "IPAddress",
      "This parameter specifies the IP address of the server to be configured into the table. The iSNS server table "
      "will be used by the firmware for discovering targets.",
      IP, "", 0, 0},
     {0, "PortNum", "This parameter specifies the port number of the iSNS server.", INT, "", 1024, 65535}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_iSNS_DeleteiSNSServer_action = {
    do_DeleteiSNSServer, 0, 1,
    {{1, "InstanceNumber",
      "This parameter accepts string input and converts it to equivalent number and uses that as an instance number.",
      INT, "", 0, 3}}};
const TavoActionDescriptor ROOT_Corvane_iSCSIPhysicalHBA_EraseConfiguration_action = {
    do_EraseConfiguration, 0, 1,
    {{0, "LogicalHBAInstanceNumber",
      "This parameter indicates the DomainId of the LogicalHBA of which configuration should be erased.", INT, "", 0,
      0}}};

TavoNode* initialize_iSCSIPhysicalHBA(TavoNode* controller, TavoNode* creating_node, TavoNode* creating_action,
                                      char* params) {
  return tavo::tree::build_group(iscsi_phba, controller, creating_node, creating_action, params);
}

TavoNode* initialize_RouteTableEntry(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                     char* params) {
  return tavo::tree::build_group(route_entry, parent, creating_node, creating_action, params);
}

TavoNode* initialize_ARPTableEntry(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                   char* params) {
  return tavo::tree::build_group(arp_entry, parent, creating_node, creating_action, params);
}

TavoNode* initialize_iSNSServer(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                char* params) {
  return tavo::tree::build_group(isns_server, parent, creating_node, creating_action, params);
}
