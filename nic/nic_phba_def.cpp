// The NICPhysicalHBA branch: one instance per NIC function of a controller
// with its static sub-groups in the order clients see them, the
// NICLogicalHBA instances of its virtual functions, and the branch's action
// descriptors.
#include "controller/controller.h"
#include "firmware/firmware.h"
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
constexpr uint8_t LIST = TAVO_TYPE_LIST;
constexpr TavoPropertyHandler STORED = handle_internal_property;
constexpr char kZeroMac[] = "00:00:00:00:00:00";

tavo::tree::SlotArea nic_phba_slots;
tavo::tree::SlotArea nic_lhba_slots;

// --- VPD ---
constexpr char kVpdSegment[] = "This property is a hex dump of the segment of VPD data retrieved from a Tessmark "
                               "controller by TAVO.";
#define VPD_SEGMENT(n) property("VPDData" #n, kVpdSegment, RO, TEXT, "", 0, 256, "", STORED)
const ChildDef nic_vpd_children[] = {VPD_SEGMENT(0), VPD_SEGMENT(1), VPD_SEGMENT(2), VPD_SEGMENT(3), VPD_SEGMENT(4),
                                     VPD_SEGMENT(5), VPD_SEGMENT(6), VPD_SEGMENT(7), VPD_SEGMENT(8)};
#undef VPD_SEGMENT
const GroupDef nic_vpd = {"VPD",
                          "This group contains the Vital Product Data (VPD), which provides information such as "
                          "product model number, a unique serial number, product release level, installed features, "
                          "and other standard or vendor specific details recorded on a Tessmark controller. This data "
                          "is retrieved by TAVO from the controller and can be displayed through the TK Manager. "
                          "Because of TAVO size limitations, this data is separated into segments designated by "
                          "VPDdata0 - VPDdata8 properties.",
                          0, 0, nullptr, nic_vpd_children};

// --- vNIC ---
const ChildDef nic_vnic_children[] = {
    property("vNICEnabled",
             "This property indicates whether this vNIC is enabled or disabled. \"True\" indicates vNIC is enabled "
             "and \"False\" indicates vNIC is disabled.",
             RO, LIST, "True,False", 4, 5, "False", handle_nic_vnic_name_props),
    property("vNICName", "This property specifies the name of this vNIC.", RO, TEXT, "", 1, 32, "1",
             handle_nic_vnic_name_props),
    property("OuterVLANID", "This property indicates the outer VLAN ID of this vNIC.", RO, INT, "", 0, 4094, "0",
             handle_nic_vnic_stats),
    property("MinBandwidth",
             "This property specifies the value used to calculate the minimum bandwidth for this vNIC. To convert the "
             "returned value to the actual minimum bandwidth throughput, 'n' must be multiplied by 10Mbps. For "
             "example, if 'n' equals 100, multiply 100 by 10Mbps. The minimum bandwidth would then be 1,000Mbps or "
             "1Gbs.",
             RO, INT, "", 0, 1000, "0", handle_nic_vnic_stats),
    property("MaxBandwidth",
             "This property specifies the value used to calculate the maximum bandwidth for this vNIC. To convert the "
             "returned value to the actual maximum bandwidth throughput, 'n' must be multiplied by 10Mbps. For "
             "example, if 'n' equals 100, multiply 100 by 10Mbps. The maximum bandwidth would then be 1,000Mbps or "
             "1Gbs.",
             RO, INT, "", 10, 1000, "0", handle_nic_vnic_stats),
};
const GroupDef nic_vnic = {"vNIC", "This group contains the properties of this vNIC.", 0, 0, nullptr,
                           nic_vnic_children};

// --- NetworkBootConfiguration ---
const ChildDef nic_boot_children[] = {
    property("AvailableNetworkBootMethods",
             "This property specifies the available Network boot methods. The valid values are PXE and iBFT.", RO,
             LIST, "PXE,iBFT", 3, 4, "PXE", handle_AvailableNetworkBootMethods),
    property("NetworkBootMethod",
             "This property specifies the configured NetworkBoot method. The valid values are PXE and iBFT.", RO, LIST,
             "PXE,iBFT", 3, 4, "PXE", handle_networkboot_config),
    property("NetworkBootState",
             "This property specifies the configured NetworkBoot state. The valid values are Enabled and Disabled.",
             RO, LIST, "Enabled,Disabled", 2, 3, "Enabled", handle_networkboot_config),
    property("VolatileMACAddress",
             "This property specifies semi-volatile MAC address for this NIC interface. Configured MAC is persistent "
             "across function reset, firmware reset and PCI hot/fundamental reset but not on power cycle.",
             RW, TEXT, "", 17, 17, kZeroMac, handle_VolatileMACAddress),
    property("VLANId", "This property indicates the VLAN ID of the interface. Value of Zero indicates VLAN is disabled.",
             RO, INT, "", 0, 4095, "0", handle_vlan_properties),
    property("VLANPriority", "This property indicates the VLAN priority of the interface.", RO, INT, "", 0, 7, "0",
             handle_vlan_properties),
    action("SetNetworkBoot", "This command is used to configure the network BIOS.",
           &ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_SetNetworkBoot_action),
    action("ConfigureVLAN", " This command is used to enable VLAN.",
           &ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN_action),
};
const GroupDef nic_boot = {"NetworkBootConfiguration", "This group contains the properties of Network Boot options.",
                           0, 0, nullptr, nic_boot_children};

// --- CIM ---
const ChildDef nic_cim_children[] = {
    property("ProtocolIfType",
             "ProtocolIFType's enumeration is limited to Layer 2-related and reserved values for this subclass of "
             "ProtocolEndpoint.",
             RO, TEXT, "", 1, 32, "1", handle_ProtocolIfType),
    property("LinkTechnology", "This property represents the enumeration of the types of links.", RO, TEXT, "", 1, 32,
             "1", handle_LinkTechnology),
    property("Capabilities", "Capabilities of the EthernetPort.", RO, TEXT, "", 1, 64, "1",
             handle_Corvane_NICPhysicalHBA_CIM_Capabilities),
    property("EnabledCapabilities",
             "This property specifies which capabilities are enabled from the list of all supported Capabilities", RO,
             TEXT, "", 1, 64, "1", handle_EnabledCapabilities),
};
const GroupDef nic_cim = {"CIM", "This group contains the properties of this interface.", 0, 0, nullptr,
                          nic_cim_children};

// --- PCI ---
const ChildDef nic_pci_children[] = {
    property("VendorID", "This property displays the PCI Vendor ID.", RO, INT, "", 0, 65535, "0", STORED),
    property("DeviceID", "This property displays the PCI Device ID.", RO, INT, "", 0, 65535, "0", STORED),
    property("SubsysDeviceID", "This property displays the PCI Subsystem Device ID.", RO, INT, "", 0, 65535, "0",
             STORED),
    property("SubsysVendorID", "This property displays the PCI Subsystem Vendor ID.", RO, INT, "", 0, 65535, "0",
             STORED),
    property("DomainNumber", "This property displays the PCI Domain Number.", RO, INT, "", 0, 255, "0000", STORED),
    property("BusNumber", "This property displays the PCI Bus Number.", RO, INT, "", 0, 255, "0", STORED),
    property("DeviceNumber", "This property displays the PCI Device Number.", RO, INT, "", 0, 32, "0", STORED),
    property("FunctionNumber", "This property displays the PCI Function number for the NIC function.", RO, INT, "",
             0, 8, "0", STORED),
    action("DumpNICPCIConfigRegion",
           " This command can be used to dump the PCI configuration space as an array of Hex values. The first 256 "
           "bytes of configuration space can be read using this command. Since SM-CLP has a 256byte ASCII limit, use "
           "the RegisterOffset and Count parameters to retrieve the data in multiple chunks.",
           &ROOT_Corvane_NICPhysicalHBA_PCI_DumpNICPCIConfigRegion_action),
};
const GroupDef nic_pci = {"PCI", "This group contains the PCI properties of the Tessmark controller.", 0, 0, nullptr,
                          nic_pci_children};

// --- Driver ---
const ChildDef nic_driver_children[] = {
    property("DriverName", "This property displays the name of the driver.", RO, TEXT, "", 2, 10, "CV2NET", STORED),
    property("DriverVersion", "This property displays the current version of the driver.", RO, TEXT, "", 2, 6, "2",
             STORED),
};
const GroupDef nic_driver = {"Driver", "This group corresponds to information about the iSCSI initiator driver.",
                             0, 0, nullptr, nic_driver_children};

// --- NICPhysicalHBA ---
const ChildDef nic_phba_children[] = {
    subgroup(&nic_vpd),
    subgroup(&nic_vnic),
    subgroup(&nic_boot),
    property("IsRoCEEnabled",
             "This property specifies whether RoCE is running on this NIC function or not. If RoCE running on this "
             "NIC function then the value of this property will be True otherwise the value will be False. And this "
             "property is applicable only for Moravel adapter.",
             RO, LIST, "True,False", 4, 5, "False", handle_IsRoCEEnabled),
    property("IsVF",
             "This property specifies whether the TAVO running on GuestOs or not. If TAVO running on GuestOS then "
             "the value of this property will be True otherwise the value will be False.",
             RO, LIST, "True,False", 4, 5, "False", STORED),
    property("PortNumber", "This property specifies the port number assigned to this PCI function.", RO, INT, "", 0,
             3, "0", STORED),
    property("MTUSize",
             "This property indicates the current MTU supported for NIC/TOE traffic for this Tessmark controller. For "
             "more information on MTU, see the Tessmark documentation.",
             RO, INT, "", 64, 9000, "1500", handle_nic_MTUSize),
    property("MaxMTUSize",
             "This property indicates the maximum MTU supported for NIC/TOE traffic for this Tessmark controller. For "
             "more information on MTU, see the Tessmark documentation.",
             RO, INT, "", 64, 9000, "9000", STORED),
    property("LogicalLinkStatus", "This property indicates whether the link is up or down.", RO, LIST,
             "Up,Down,Unknown", 2, 7, "Unknown", handle_nic_logical_link_status),
    property("IfName", "This property displays the Interface name string for this NIC interface.", RO, TEXT, "", 1,
             32, "1", STORED),
    property("MACAddress", "This property specifies the current MAC address for this NIC interface.", RW, TEXT, "", 17,
             17, kZeroMac, handle_NICPhysicalHBA_MACAddress),
    property("PermanentMACAddress",
             "This property specifies the Permanent Orverride MAC address for this NIC interface.", RW, TEXT, "", 17,
             17, kZeroMac, handle_NICPhysicalHBA_PermanentMACAddress),
    property("FactoryDefaultMACAddress", "This property specifies the factory-set MAC address for this NIC interface.",
             RO, TEXT, "", 17, 17, kZeroMac, STORED),
    property("MinBitsPerSecond",
             "This property specifies the MinBitsPerSecond number for this NIC interface. The number 'n' indicates "
             "'n*100Mbit' throughput on this interface. A value zero means entire bandwidth is allocated to this NIC "
             "interface. Valid values are 0,10 to 100.",
             RO, INT, "", 0, 1000, "0", handle_nic_bandwidth_softcap),
    property("MaxBitsPerSecond",
             "This property specifies the MaxBitsPerSecond number for this NIC interface. The number 'n' indicates "
             "'n*10Mbit' throughput on this interface. A value zero means entire bandwidth is allocated to this NIC "
             "interface. If there is only one NIC PCI function per port, then the value will be zero and non-settable "
             "allowing the entire bandwidth for this interface. Valid values are 0,10 to 100.",
             RO, INT, "", 0, 1000, "0", handle_nic_bandwidth_softcap),
    property("PortSpeed",
             "This property specifies the port speed settings. Possible values are 0 (Link Down), less than 1Mb, less "
             "than 1Gb, 1Gb, 10Gb.",
             RO, LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3, 13,
             "0 (Link Down)", handle_portspeed),
    property("SRIOVState", "This property specifies whether SRIOV is enabled, disabled or N/A for this interface.", RW,
             LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_NICPhysicalHBA_SRIOVState),
    property("VEPAState", "This property specifies whether VEPA is enabled, disabled or N/A for this interface.", RW,
             LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_VEPAState),
    action("ResetMACAddress",
           "This command will reinitialize the MAC address of the given function to the controller default MAC "
           "address for that function.",
           &ROOT_Corvane_NICPhysicalHBA_ResetMACAddress_action),
    action("EraseNICConfiguration",
           "This command resets the Tessmark NIC (PXE and PXEVantrel) configuration to factory default settings. "
           "Upon successful completion of this command, all user PXE configured settings will be lost on the "
           "particular port of the Tessmark controller that was configured. A reboot is required for these changes "
           "to take effect.",
           &ROOT_Corvane_NICPhysicalHBA_EraseNICConfiguration_action),
    subgroup(&nic_cim),
    subgroup(&nic_pci),
    subgroup(&nic_driver),
};

const GroupDef nic_phba = {"NICPhysicalHBA",
                           "This group represents the Physical HBA group that contains the properties of the NIC "
                           "interface for this domain of the Tessmark controller.",
                           32, 0, group_NICPhysicalHBA, nic_phba_children, &nic_phba_slots};

// --- NICLogicalHBA ---
const ChildDef nic_lhba_children[] = {
    property("MACAddress", "This property specifies the current MAC address of NICLogicalHBA.", RW, TEXT, "", 17, 17,
             kZeroMac, handle_niclogicalhba_macaddress),
    property("VLANID", "This property indicates the VLANID of NICLogicalHBA.", RW, INT, "", 0, 4094, "0",
             handle_niclogicalhba_vlanid),
    property("LinkStatus", "This property indicates whether NICLogicalHBA link is up or down.", RO, LIST, "Up,Down", 2,
             7, "Up", handle_LinkStatus),
    property("TxRate", "This property specifies the NICLogicalHBA TxRate in units of Mb/s.", RW, INT, "", 1, 10000,
             "100", handle_niclogicalhba_txrate),
};
const GroupDef nic_lhba = {"NICLogicalHBA",
                           "This group specifies virtual functions of respective NICPhysicalHBA. This group and its "
                           "properties are applicable only on hypervisors which support SR-IOV.",
                           64, 0, nullptr, nic_lhba_children, &nic_lhba_slots};

}  // namespace

const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_ResetMACAddress_action = {do_NICPhysicalHBA_ResetMACAddress,
                                                                                 0, 0, {}};
const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_EraseNICConfiguration_action = {do_EraseNICConfiguration, 0,
                                                                                       0, {}};
const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_SetNetworkBoot_action = {
    do_SetNetworkBoot, 0, 2,
    {{1, "NetworkBootState",
      "This parameter indicates the network boot state to configure. The valid values are Enabled or Disabled.", LIST,
      "Enabled,Disabled", 7, 8},
     {0, "NetworkBootMethod",
      "This parameter indicates the network boot method to configure. The valid values are PXE and iBFT. For Galtor "
      "controller iBFT and PXE configuration is valid and remaining other controller only PXE boot configuration is "
      "valid. This parameter is required only when NetworkBootState is Enabled.",
      LIST, "PXE,iBFT", 3, 4}}};
const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN_action = {
    do_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN, 0, 2,
    {{1, "VLANId", "This parameter takes the value ranges from 0 to 4095 to enable VLAN.", INT, "", 0, 4095},
     {0, "Priority", "This property indicates the VLAN priority of the interface.", INT, "", 0, 7}}};
const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_PCI_DumpNICPCIConfigRegion_action = {
    do_DumpNICPCIConfigRegion, 0, 2,
    {{1, "RegisterOffset", "PCI Register.", INT, "", 0, 252},
     {1, "Count", "This parameter indicates the number of configuration space registers to be read.", INT, "", 1,
      64}}};

TavoNode* initialize_NICPhysicalHBA(TavoNode* controller, TavoNode* creating_node, TavoNode* creating_action,
                                    char* params) {
  return tavo::tree::build_group(nic_phba, controller, creating_node, creating_action, params);
}

TavoNode* initialize_NICLogicalHBA(TavoNode* function_group, TavoNode* creating_node, TavoNode* creating_action,
                                   char* params) {
  return tavo::tree::build_group(nic_lhba, function_group, creating_node, creating_action, params);
}
