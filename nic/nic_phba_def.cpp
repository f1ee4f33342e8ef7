// The NICPhysicalHBA branch: one instance per NIC function of a controller
// with its static sub-groups in the order clients see them, and the
// NICLogicalHBA instances of its virtual functions.
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea nic_phba_slots;
static SlotArea nic_lhba_slots;

constexpr char kZeroMac[] = "00:00:00:00:00:00";

// --- VPD ---
constexpr char kVpdSegment[] =
    "This property is a hex dump of the segment of VPD data retrieved from a Tessmark controller by TAVO.";
const ChildDef nic_vpd_children[] = {
    property("VPDData0", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData1", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData2", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData3", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData4", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData5", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData6", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData7", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
    property("VPDData8", RO, TEXT, "", 0, 256, "", stored, kVpdSegment),
};
const GroupDef nic_vpd =
    group("VPD", nic_vpd_children,
          "This group contains the Vital Product Data (VPD), which provides information such as product model number, "
          "a unique serial number, product release level, installed features, and other standard or vendor specific "
          "details recorded on a Tessmark controller. This data is retrieved by TAVO from the controller and can be "
          "displayed through the TK Manager. Because of TAVO size limitations, this data is separated into segments "
          "designated by VPDdata0 - VPDdata8 properties.");

// --- vNIC ---
const ChildDef nic_vnic_children[] = {
    property("vNICEnabled", RO, LIST, "True,False", 4, 5, "False", handle_nic_vnic_name_props,
             "This property indicates whether this vNIC is enabled or disabled. \"True\" indicates vNIC is enabled "
             "and \"False\" indicates vNIC is disabled."),
    property("vNICName", RO, TEXT, "", 1, 32, "1", handle_nic_vnic_name_props,
             "This property specifies the name of this vNIC."),
    property("OuterVLANID", RO, INT, "", 0, 4094, "0", handle_nic_vnic_stats,
             "This property indicates the outer VLAN ID of this vNIC."),
    property("MinBandwidth", RO, INT, "", 0, 1000, "0", handle_nic_vnic_stats,
             "This property specifies the value used to calculate the minimum bandwidth for this vNIC. To convert the "
             "returned value to the actual minimum bandwidth throughput, 'n' must be multiplied by 10Mbps. For "
             "example, if 'n' equals 100, multiply 100 by 10Mbps. The minimum bandwidth would then be 1,000Mbps or "
             "1Gbs."),
    property("MaxBandwidth", RO, INT, "", 10, 1000, "0", handle_nic_vnic_stats,
             "This property specifies the value used to calculate the maximum bandwidth for this vNIC. To convert the "
             "returned value to the actual maximum bandwidth throughput, 'n' must be multiplied by 10Mbps. For "
             "example, if 'n' equals 100, multiply 100 by 10Mbps. The maximum bandwidth would then be 1,000Mbps or "
             "1Gbs."),
};
const GroupDef nic_vnic = group("vNIC", nic_vnic_children, "This group contains the properties of this vNIC.");

// --- NetworkBootConfiguration ---
TAVO_ACTION(Corvane_NICPhysicalHBA_NetworkBootConfiguration, SetNetworkBoot, do_SetNetworkBoot,
            "This command is used to configure the network BIOS.",
            required("NetworkBootState", LIST, "Enabled,Disabled", 7, 8,
                     "This parameter indicates the network boot state to configure. The valid values are Enabled or "
                     "Disabled."),
            optional("NetworkBootMethod", LIST, "PXE,iBFT", 3, 4,
                     "This parameter indicates the network boot method to configure. The valid values are PXE and "
                     "iBFT. For Galtor controller iBFT and PXE configuration is valid and remaining other controller "
                     "only PXE boot configuration is valid. This parameter is required only when NetworkBootState is "
                     "Enabled."));
TAVO_ACTION(Corvane_NICPhysicalHBA_NetworkBootConfiguration, ConfigureVLAN,
            do_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN, " This command is used to enable VLAN.",
            required("VLANId", INT, "", 0, 4095,
                     "This parameter takes the value ranges from 0 to 4095 to enable VLAN."),
            optional("Priority", INT, "", 0, 7, "This property indicates the VLAN priority of the interface."));
const ChildDef nic_boot_children[] = {
    property("AvailableNetworkBootMethods", RO, LIST, "PXE,iBFT", 3, 4, "PXE", handle_AvailableNetworkBootMethods,
             "This property specifies the available Network boot methods. The valid values are PXE and iBFT."),
    property("NetworkBootMethod", RO, LIST, "PXE,iBFT", 3, 4, "PXE", handle_networkboot_config,
             "This property specifies the configured NetworkBoot method. The valid values are PXE and iBFT."),
    property("NetworkBootState", RO, LIST, "Enabled,Disabled", 2, 3, "Enabled", handle_networkboot_config,
             "This property specifies the configured NetworkBoot state. The valid values are Enabled and Disabled."),
    property("VolatileMACAddress", RW, TEXT, "", 17, 17, kZeroMac, handle_VolatileMACAddress,
             "This property specifies semi-volatile MAC address for this NIC interface. Configured MAC is persistent "
             "across function reset, firmware reset and PCI hot/fundamental reset but not on power cycle."),
    property("VLANId", RO, INT, "", 0, 4095, "0", handle_vlan_properties,
             "This property indicates the VLAN ID of the interface. Value of Zero indicates VLAN is disabled."),
    property("VLANPriority", RO, INT, "", 0, 7, "0", handle_vlan_properties,
             "This property indicates the VLAN priority of the interface."),
    SetNetworkBoot,
    ConfigureVLAN,
};
const GroupDef nic_boot =
    group("NetworkBootConfiguration", nic_boot_children, "This group contains the properties of Network Boot options.");

// --- CIM ---
const ChildDef nic_cim_children[] = {
    property("ProtocolIfType", RO, TEXT, "", 1, 32, "1", handle_ProtocolIfType,
             "ProtocolIFType's enumeration is limited to Layer 2-related and reserved values for this subclass of "
             "ProtocolEndpoint."),
    property("LinkTechnology", RO, TEXT, "", 1, 32, "1", handle_LinkTechnology,
             "This property represents the enumeration of the types of links."),
    property("Capabilities", RO, TEXT, "", 1, 64, "1", handle_Corvane_NICPhysicalHBA_CIM_Capabilities,
             "Capabilities of the EthernetPort."),
    property("EnabledCapabilities", RO, TEXT, "", 1, 64, "1", handle_EnabledCapabilities,
             "This property specifies which capabilities are enabled from the list of all supported Capabilities"),
};
const GroupDef nic_cim = group("CIM", nic_cim_children, "This group contains the properties of this interface.");

// --- PCI ---
TAVO_ACTION(Corvane_NICPhysicalHBA_PCI, DumpNICPCIConfigRegion, do_DumpNICPCIConfigRegion,
            " This command can be used to dump the PCI configuration space as an array of Hex values. The first 256 "
            "bytes of configuration space can be read using this command. Since SM-CLP has a 256byte ASCII limit, use "
            "the RegisterOffset and Count parameters to retrieve the data in multiple chunks.",
            tavo::firmware::kPciDumpParams);
const ChildDef nic_pci_children[] = {
    property("VendorID", RO, INT, "", 0, 65535, "0", stored, "This property displays the PCI Vendor ID."),
    property("DeviceID", RO, INT, "", 0, 65535, "0", stored, "This property displays the PCI Device ID."),
    property("SubsysDeviceID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI Subsystem Device ID."),
    property("SubsysVendorID", RO, INT, "", 0, 65535, "0", stored,
             "This property displays the PCI Subsystem Vendor ID."),
    property("DomainNumber", RO, INT, "", 0, 255, "0000", stored, "This property displays the PCI Domain Number."),
    property("BusNumber", RO, INT, "", 0, 255, "0", stored, "This property displays the PCI Bus Number."),
    property("DeviceNumber", RO, INT, "", 0, 32, "0", stored, "This property displays the PCI Device Number."),
    property("FunctionNumber", RO, INT, "", 0, 8, "0", stored,
             "This property displays the PCI Function number for the NIC function."),
    DumpNICPCIConfigRegion,
};
const GroupDef nic_pci =
    group("PCI", nic_pci_children, "This group contains the PCI properties of the Tessmark controller.");

// --- Driver ---
const ChildDef nic_driver_children[] = {
    property("DriverName", RO, TEXT, "", 2, 10, "CV2NET", stored, "This property displays the name of the driver."),
    property("DriverVersion", RO, TEXT, "", 2, 6, "2", stored,
             "This property displays the current version of the driver."),
};
const GroupDef nic_driver =
    group("Driver", nic_driver_children, "This group corresponds to information about the iSCSI initiator driver.");

// --- NICPhysicalHBA ---
TAVO_ACTION(Corvane_NICPhysicalHBA, ResetMACAddress, do_NICPhysicalHBA_ResetMACAddress,
            "This command will reinitialize the MAC address of the given function to the controller default MAC "
            "address for that function.");
TAVO_ACTION(
    Corvane_NICPhysicalHBA, EraseNICConfiguration, do_EraseNICConfiguration,
    "This command resets the Tessmark NIC (PXE and PXEVantrel) configuration to factory default settings. Upon "
    "successful completion of this command, all user PXE configured settings will be lost on the particular port of "
    "the Tessmark controller that was configured. A reboot is required for these changes to take effect.");
const ChildDef nic_phba_children[] = {
    subgroup(&nic_vpd),
    subgroup(&nic_vnic),
    subgroup(&nic_boot),
    property("IsRoCEEnabled", RO, LIST, "True,False", 4, 5, "False", handle_IsRoCEEnabled,
             "This property specifies whether RoCE is running on this NIC function or not. If RoCE running on this "
             "NIC function then the value of this property will be True otherwise the value will be False. And this "
             "property is applicable only for Moravel adapter."),
    property("IsVF", RO, LIST, "True,False", 4, 5, "False", stored,
             "This property specifies whether the TAVO running on GuestOs or not. If TAVO running on GuestOS then "
             "the value of this property will be True otherwise the value will be False."),
    property("PortNumber", RO, INT, "", 0, 3, "0", stored,
             "This property specifies the port number assigned to this PCI function."),
    property("MTUSize", RO, INT, "", 64, 9000, "1500", handle_nic_MTUSize,
             "This property indicates the current MTU supported for NIC/TOE traffic for this Tessmark controller. For "
             "more information on MTU, see the Tessmark documentation."),
    property("MaxMTUSize", RO, INT, "", 64, 9000, "9000", stored,
             "This property indicates the maximum MTU supported for NIC/TOE traffic for this Tessmark controller. For "
             "more information on MTU, see the Tessmark documentation."),
    property("LogicalLinkStatus", RO, LIST, "Up,Down,Unknown", 2, 7, "Unknown", handle_nic_logical_link_status,
             "This property indicates whether the link is up or down."),
    property("IfName", RO, TEXT, "", 1, 32, "1", stored,
             "This property displays the Interface name string for this NIC interface."),
    property("MACAddress", RW, TEXT, "", 17, 17, kZeroMac, handle_NICPhysicalHBA_MACAddress,
             "This property specifies the current MAC address for this NIC interface."),
    property("PermanentMACAddress", RW, TEXT, "", 17, 17, kZeroMac, handle_NICPhysicalHBA_PermanentMACAddress,
             "This property specifies the Permanent Orverride MAC address for this NIC interface."),
    property("FactoryDefaultMACAddress", RO, TEXT, "", 17, 17, kZeroMac, stored,
             "This property specifies the factory-set MAC address for this NIC interface."),
    property("MinBitsPerSecond", RO, INT, "", 0, 1000, "0", handle_nic_bandwidth_softcap,
             "This property specifies the MinBitsPerSecond number for this NIC interface. The number 'n' indicates "
             "'n*100Mbit' throughput on this interface. A value zero means entire bandwidth is allocated to this NIC "
             "interface. Valid values are 0,10 to 100."),
    property("MaxBitsPerSecond", RO, INT, "", 0, 1000, "0", handle_nic_bandwidth_softcap,
             "This property specifies the MaxBitsPerSecond number for this NIC interface. The number 'n' indicates "
             "'n*10Mbit' throughput on this interface. A value zero means entire bandwidth is allocated to this NIC "
             "interface. If there is only one NIC PCI function per port, then the value will be zero and non-settable "
             "allowing the entire bandwidth for this interface. Valid values are 0,10 to 100."),
    property("PortSpeed", RO, LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3, 13,
             "0 (Link Down)", handle_portspeed,
             "This property specifies the port speed settings. Possible values are 0 (Link Down), less than 1Mb, less "
             "than 1Gb, 1Gb, 10Gb."),
    property("SRIOVState", RW, LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_NICPhysicalHBA_SRIOVState,
             "This property specifies whether SRIOV is enabled, disabled or N/A for this interface."),
    property("VEPAState", RW, LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_VEPAState,
             "This property specifies whether VEPA is enabled, disabled or N/A for this interface."),
    ResetMACAddress,
    EraseNICConfiguration,
    subgroup(&nic_cim),
    subgroup(&nic_pci),
    subgroup(&nic_driver),
};

const GroupDef nic_phba = instanced("NICPhysicalHBA", 32, &nic_phba_slots, nic_phba_children,
                                    "This group represents the Physical HBA group that contains the properties of the "
                                    "NIC interface for this domain of the Tessmark controller.",
                                    group_NICPhysicalHBA);

// --- NICLogicalHBA ---
const ChildDef nic_lhba_children[] = {
    property("MACAddress", RW, TEXT, "", 17, 17, kZeroMac, handle_niclogicalhba_macaddress,
             "This property specifies the current MAC address of NICLogicalHBA."),
    property("VLANID", RW, INT, "", 0, 4094, "0", handle_niclogicalhba_vlanid,
             "This property indicates the VLANID of NICLogicalHBA."),
    property("LinkStatus", RO, LIST, "Up,Down", 2, 7, "Up", handle_LinkStatus,
             "This property indicates whether NICLogicalHBA link is up or down."),
    property("TxRate", RW, INT, "", 1, 10000, "100", handle_niclogicalhba_txrate,
             "This property specifies the NICLogicalHBA TxRate in units of Mb/s."),
};
const GroupDef nic_lhba = instanced("NICLogicalHBA", 64, &nic_lhba_slots, nic_lhba_children,
                                    "This group specifies virtual functions of respective NICPhysicalHBA. This group "
                                    "and its properties are applicable only on hypervisors which support SR-IOV.");

TAVO_GROUP_BUILDER(NICPhysicalHBA, nic_phba, "Corvane");

TAVO_GROUP_BUILDER(NICLogicalHBA, nic_lhba, "Corvane/NICPhysicalHBA");
