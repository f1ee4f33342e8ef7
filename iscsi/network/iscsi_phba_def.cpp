// The iSCSIPhysicalHBA branch: the static sub-groups of an iSCSI function
// that are the network's (the function's own table, which also lists the
// rows of the steps above, is iscsi/targets/'s), the entry groups that the
// route, ARP and iSNS refreshes build, and the branch's action descriptors.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr char kZeroMac[] = "00:00:00:00:00:00";

static SlotArea route_entry_slots;
static SlotArea arp_entry_slots;
static SlotArea isns_server_slots;

// --- entry groups ---
const ChildDef route_entry_children[] = {
    property("Destination", RO, IP, "", 0, 16, "0.0.0.0", stored,
             "This property displays the destination address of the route."),
    property("SubnetMask", RO, MASK, "", 0, 255, "255.255.255.0", stored,
             "This property displays the subnet mask of the route's destination."),
    property("Gateway", RO, IP, "", 1, 64, "0.0.0.0", stored,
             "This property displays the gateway through which the destination is reached."),
};
const GroupDef route_entry = instanced("RouteTableEntry", 1024, &route_entry_slots, route_entry_children,
                                       "This group instance represents one static route of the iSCSI function.");

const ChildDef arp_entry_children[] = {
    property("IPAddress", RO, IP, "", 0, 16, "0.0.0.0", stored,
             "This property displays the IP address of the ARP entry."),
    property("MACAddress", RO, TEXT, "", 17, 17, kZeroMac, stored,
             "This property displays the MAC address of the ARP entry."),
};
const GroupDef arp_entry = instanced("ARPTableEntry", 64, &arp_entry_slots, arp_entry_children,
                                     "This group instance represents one ARP entry of the iSCSI function.");

const ChildDef isns_server_children[] = {
    property("IPAddress", RO, IP, "", 0, 0, "0.0.0.0", stored,
             "This property displays the IP address of the iSNS server."),
    property("PortNumber", RO, INT, "", 1024, 65535, "3205", stored,
             "This property displays the TCP port number of the iSNS server."),
};
const GroupDef isns_server =
    instanced("iSNSServer", 4, &isns_server_slots, isns_server_children,
              "This group instance represents one iSNS server configured for the iSCSI function.");

// --- Network/TCPIPConfiguration ---
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable, AddRouteTableEntry, do_AddRouteTableEntry,
            "This command adds a static route. At most 16 static routes can be added for all iSCSI functions of one "
            "controller, and duplicate entries are refused.",
            required("Destination", IP, "", 0, 16,
                     "This parameter specifies the IP address of the entry to be entered in the route table."),
            required("SubnetMask", MASK, "", 0, 255,
                     "This parameter specifies the Subnet mask of the entry to be entered in the route table."),
            required("Gateway", IP, "", 1, 64,
                     "This parameter specifies the Gateway address of the entry to be entered in the route table."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable, DeleteRouteTableEntry,
            do_DeleteRouteTableEntry, "This command deletes the given route table entry.",
            required("InstanceNumber", INT, "", 0, 1023,
                     "This parameter specifies the number of the route table entry to be deleted."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_RouteTable, RefreshRouteTableEntry,
            do_RefreshRouteTableEntry, "This command reads the route table of the iSCSI function again.");
const ChildDef route_table_children[] = {
    AddRouteTableEntry,
    DeleteRouteTableEntry,
    RefreshRouteTableEntry,
};
const GroupDef route_table =
    group("RouteTable", route_table_children,
          "This group holds the static routes of the iSCSI function. At most 16 static routes can be added for all "
          "iSCSI functions of one controller, and duplicate entries are refused.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable, AddARPTableEntry, do_AddARPTableEntry,
            "This command adds an entry to the ARP table of the iSCSI function.",
            required("IPAddress", IP, "", 0, 16,
                     "This parameter specifies the IP address of the entry to be added to the ARP table."),
            required("MACAddress", TEXT, "", 17, 17,
                     "This parameter specifies the MAC address of the entry to be added to the ARP table."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable, DeleteARPTableEntry, do_DeleteARPTableEntry,
            "This command deletes the given ARP table entry.",
            required("InstanceNumber", INT, "", 0, 63,
                     "This parameter accepts string input and converts it to an equivalent number and uses that as an "
                     "instance number."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_ARPTable, RefreshARPTableEntry, do_RefreshARPTableEntry,
            "This command reads the ARP table of the iSCSI function again.");
const ChildDef arp_table_children[] = {
    AddARPTableEntry,
    DeleteARPTableEntry,
    RefreshARPTableEntry,
};
const GroupDef arp_table =
    group("ARPTable", arp_table_children, "This group holds the ARP entries of the iSCSI function.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration, DeleteDefaultIPv6Gateway,
            do_DeleteDefaultIPv6Gateway, "This command deletes the default IPv6 gateway of the initiator port.");
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration, AutoAssignEnable, do_AutoAssignEnable,
    "This command enables automatic assignment of IPv6 addresses.",
    required(
        "Type", LIST, "Auto,DHCP", 1, 4,
        "This parameter chooses the kind of automatic IPv6 address assignment. The valid values are Auto and DHCP."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration, AutoAssignDisable,
            do_AutoAssignDisable, "This command disables automatic assignment of IPv6 addresses.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration_IPv6Configuration, ConfigureIPv6Address,
            do_ConfigureIPv6Address, "This command configures one IPv6 address of the initiator port.",
            required("AddressType", LIST, "0,1,2", 1, 1,
                     "This parameter specifies the AddressType and the valid values are 0 = LinkLocalIPv6, 1 = "
                     "RoutableIPv6_Address1 and 2 = RoutableIPv6_Address2."),
            required("IPAddress", TEXT, "", 1, 50, "This parameter specifies IPv6 address to configure."));
const ChildDef ipv6_children[] = {
    property("IPv6State", RO, LIST, "N/A,AutoAssign,Static", 3, 10, "N/A", handle_IPv6State,
             "This property specifies the IPv6State. The value N/A indicates not supported by firmware. The value "
             "AutoAssign indicates auto address assignment and Static indicates static address assignment."),
    property("InitiatorLinkLocalAddress", RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorLinkLocalAddress,
             "This property displays the IPv6 link-local address of the initiator port."),
    property("InitiatorRoutableAddress1", RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorRoutableAddress,
             "This property displays the first routable IPv6 address of the initiator port."),
    property("InitiatorRoutableAddress2", RO, TEXT, "", 1, 50, "fe80::0", handle_InitiatorRoutableAddress,
             "This property displays the second routable IPv6 address of the initiator port."),
    property("DefaultIPv6Gateway", RW, TEXT, "", 1, 50, "fe80::0", handle_DefaultIPv6Gateway,
             "This property displays the default IPv6 gateway of the initiator port."),
    DeleteDefaultIPv6Gateway,
    AutoAssignEnable,
    AutoAssignDisable,
    ConfigureIPv6Address,
};
const GroupDef ipv6 =
    group("IPv6Configuration", ipv6_children, "This group contains the IPv6 settings of the iSCSI function.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, DeleteDefaultGateway, do_DeleteDefaultGateway,
            "This command will reset the maually set Default Gateway. The command will fail if DHCP is enabled. "
            "OEMHXDHCPDisable command will reset the Default Gateway, when DHCP is enabled.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, DHCPEnable, do_DHCPEnable,
            "This command will enable the DHCP configuration. User/TAVO must delete manually assigned IPv4 address for "
            "this interface before enabling DHCP.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, DHCPDisable, do_DHCPDisable,
            "This command disables DHCP; the IPv4 address then reads 0.0.0.0 until one is configured.");
// Plain text: the handler checks the address and mask itself.
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, ConfigureIPAddress, do_ConfigureIPAddress,
    "This command configures the IPv4 address and subnet mask of the initiator port. It fails while DHCP is enabled.",
    required("IPAddress", TEXT, "", 0, 16, "This parameter specifies the IP address to be configured for the port."),
    required("SubnetMask", TEXT, "", 0, 16, "This parameter specifies the Subnet mask to be configured for the port."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, ConfigureVLAN, do_ConfigureVLAN,
            "This command enables VLAN tagging with the given VLAN ID and priority (0 when not given).",
            required("VLANId", INT, "", 0, 4094,
                     "This parameter takes the value ranges from 0 to 4094 to enable VLAN."),
            optional("Priority", INT, "", 0, 7, "This property indicates the VLAN priority of the interface."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, VLANDisable, do_VLANDisable,
            "This command disables VLAN tagging on the interface.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_TCPIPConfiguration, Ping, do_Ping,
            "This command sends an ICMP echo request from the initiator port to the given IPv4 address.",
            required("IPAddress", IP, "", 0, 0,
                     "This parameter specifies the IPv4 address to which the ICMP ping request will be sent."));
const ChildDef tcpip_children[] = {
    subgroup(&route_table),
    subgroup(&arp_table),
    property("VLANId", RO, INT, "", 0, 4094, "0", stored,
             "This property indicates the VLAN ID of the interface. An empty string for this property indicates VLAN "
             "is disabled."),
    property("Priority", RO, INT, "", 0, 7, "0", stored,
             "This property indicates the VLAN priority of the interface. An empty string for this property indicates "
             "VLAN is disabled."),
    property("VLANEnabled", RO, LIST, "True,False", 4, 5, "False", stored,
             "This property indicates whether VLAN tagging is enabled on the interface."),
    property("InitiatorIPAddress", RO, IP, "", 0, 16, "0.0.0.0", handle_tcpip_properties,
             "This property displays the IPv4 address of the initiator port."),
    property("InitiatorSubnetMask", RO, IP, "", 0, 255, "0.0.0.0", handle_tcpip_properties,
             "This property displays the IPv4 subnet mask of the initiator port."),
    property("DefaultGateway", RW, IP, "", 1, 64, "0.0.0.0", handle_DefaultGateway,
             "The Default Gateway must be in the same subnet as the IPaddress of this initiator port."),
    property("DHCPEnabled", RO, LIST, "True,False", 4, 5, "False", handle_tcpip_properties,
             "This property indicates whether the IPv4 address is obtained through DHCP."),
    DeleteDefaultGateway,
    DHCPEnable,
    DHCPDisable,
    ConfigureIPAddress,
    ConfigureVLAN,
    VLANDisable,
    Ping,
    subgroup(&ipv6),
};
const GroupDef tcpip = group("TCPIPConfiguration", tcpip_children,
                             "This group contains the IPv4 settings of the iSCSI function: address, subnet mask, DHCP, "
                             "VLAN and default gateway.");

// --- Network/NICConfiguration ---
const ChildDef vnic_children[] = {
    property("vNICEnabled", RO, LIST, "True,False", 4, 5, "False", handle_iscsi_vnic_name_props,
             "This property indicates whether the iSCSI function runs as a virtual NIC."),
    property("vNICName", RO, TEXT, "", 1, 32, "1", handle_iscsi_vnic_name_props,
             "This property displays the name of the virtual NIC."),
    property("OuterVLANID", RO, INT, "", 0, 4094, "0", handle_iscsi_vnic_stats,
             "This property displays the outer VLAN ID of the virtual NIC."),
    property("MinBandwidth", RO, INT, "", 0, 1000, "0", handle_iscsi_vnic_stats,
             "This property displays the minimum bandwidth of the virtual NIC in units of 10 Mbps."),
    property("MaxBandwidth", RO, INT, "", 10, 1000, "0", handle_iscsi_vnic_stats,
             "This property displays the maximum bandwidth of the virtual NIC in units of 10 Mbps."),
};
const GroupDef vnic =
    group("vNIC", vnic_children, "This group contains the virtual NIC settings of the iSCSI function.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_NICConfiguration, ResetMACAddress,
            do_iSCSIPhysicalHBA_Network_NICConfiguration_ResetMACAddress,
            "This command will reinitialize the MAC address of the given function to the controller default MAC "
            "address for that function.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_Network_NICConfiguration, RefreshNICConfig, do_RefreshNICConfig,
            "This command displays the current NIC configuration properties.");
const ChildDef nic_config_children[] = {
    subgroup(&vnic),
    property("PortSpeed", RO, LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3, 13,
             "0 (Link Down)", handle_portspeed, "This property displays the current speed of the physical port."),
    property("PortMaxSpeed", RO, LIST, "Unknown,less than 1Mb,less than 1Gb,1Gb,10Gb", 3, 13, "Unknown", handle_NICprop,
             "This property displays the highest speed the port allows."),
    property("MaxMTUSize", RO, INT, "", 64, 9200, "8342", handle_NICprop,
             "This property displays the largest MTU in bytes the iSCSI function allows."),
    property("LogicalLinkStatus", RO, LIST, "Up,Down,Unknown", 2, 7, "Unknown", handle_logical_link_status,
             "This property displays the logical link state of the iSCSI function."),
    property("ActivePort", RO, LIST, "Port 0,Port 1,None", 0, 26, "Port 0", handle_activeport,
             "This property displays the physical port the iSCSI function uses."),
    property("MACAddress", RO, TEXT, "", 17, 17, kZeroMac, handle_iSCSIPhysicalHBA_Network_NICConfiguration_MACAddress,
             "This property displays the MAC address the iSCSI function uses now."),
    property("PermanentMACAddress", RW, TEXT, "", 17, 17, kZeroMac,
             handle_iSCSIPhysicalHBA_Network_NICConfiguration_PermanentMACAddress,
             "This property displays the MAC address configured for the iSCSI function; a new value takes effect after "
             "a reboot."),
    property("FactoryDefaultMACAddress", RO, TEXT, "", 17, 17, kZeroMac, stored,
             "This property displays the factory default MAC address of the iSCSI function."),
    ResetMACAddress,
    RefreshNICConfig,
};
const GroupDef nic_config = group(
    "NICConfiguration", nic_config_children,
    "This group contains the Ethernet settings of the iSCSI function: MTU, port speed, link state and MAC addresses.");

const ChildDef network_children[] = {subgroup(&tcpip), subgroup(&nic_config)};
const GroupDef tavo::network::phba_network =
    group("Network", network_children, "This group contains the network settings of the iSCSI function.");

// --- Driver, VPD, PCI, iSNS ---
const ChildDef driver_children[] = {
    property("DriverName", RO, TEXT, "", 2, 10, "CV2ISCSI", stored,
             "This property displays the name of the Tessmark iSCSI initiator driver."),
    property("DriverVersion", RO, TEXT, "", 2, 6, "2", stored,
             "This property displays the version of the Tessmark iSCSI initiator driver."),
};
const GroupDef tavo::network::phba_driver =
    group("Driver", driver_children, "This group contains the properties of the iSCSI initiator driver.");

const ChildDef vpd_children[] = {
    property("VPDData0", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 0 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData1", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 1 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData2", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 2 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData3", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 3 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData4", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 4 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData5", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 5 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData6", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 6 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData7", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 7 of the iSCSI function's vital product data in hexadecimal."),
    property("VPDData8", RO, TEXT, "", 0, 256, "", stored,
             "This property displays segment 8 of the iSCSI function's vital product data in hexadecimal."),
};
const GroupDef tavo::network::phba_vpd = group("VPD", vpd_children, "This group contains the vital product data of the iSCSI function.");

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_PCI, DumpiSCSIPCIConfigRegion, do_DumpiSCSIPCIConfigRegion,
            " Dump the PCI configuration space as an array of Hex values. The first 256 bytes of configuration space "
            "can be read using this command. Since SMCLP has a 256byte ASCII limit, use the RegisterOffset and Count "
            "parameters to retrieve the data in multiple chunks.",
            tavo::firmware::kPciDumpParams);
const ChildDef pci_children[] = {
    property("VendorID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI vendor ID of the Tessmark controller's iSCSI function."),
    property("DeviceID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI device ID of the Tessmark controller's iSCSI function."),
    property("SubsysDeviceID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI subsystem device ID of the Tessmark controller's iSCSI function."),
    property("SubsysVendorID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI subsystem vendor ID of the Tessmark controller's iSCSI function."),
    property("DomainNumber", RO, INT, "", 0, 255, "0000", handle_DomainNumber,
             "This property displays the PCI domain number of the Tessmark controller's iSCSI function."),
    property("BusNumber", RO, INT, "", 0, 255, "0", stored,
             "This property displays the PCI bus number of the Tessmark controller's iSCSI function."),
    property("DeviceNumber", RO, INT, "", 0, 32, "0", stored,
             "This property displays the PCI device number of the Tessmark controller's iSCSI function."),
    property("FunctionNumber", RO, INT, "", 0, 8, "0", stored,
             "This property displays the PCI function number of the Tessmark controller's iSCSI function."),
    DumpiSCSIPCIConfigRegion,
};
const GroupDef tavo::network::phba_pci =
    group("PCI", pci_children, "This group contains the PCI properties of the Tessmark controller's iSCSI function.");

TAVO_GROUP_BUILDER(RouteTableEntry, route_entry, "Corvane/iSCSIPhysicalHBA/Network/TCPIPConfiguration/RouteTable");

TAVO_GROUP_BUILDER(ARPTableEntry, arp_entry, "Corvane/iSCSIPhysicalHBA/Network/TCPIPConfiguration/ARPTable");

TAVO_GROUP_BUILDER(iSNSServer, isns_server, "Corvane/iSCSIPhysicalHBA/iSNS");
