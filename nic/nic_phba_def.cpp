// The NICPhysicalHBA branch: one instance per NIC function of a controller.
#include "controller/controller.h"
#include "nic/nic.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::action;
using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;

tavo::tree::SlotArea nic_phba_slots;

constexpr char kVpdSegment[] = "This property is a hex dump of the segment of VPD data retrieved from a Tessmark "
                               "controller by TAVO.";
const ChildDef nic_vpd_children[] = {
    property("VPDData0", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData1", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData2", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData3", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData4", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData5", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData6", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData7", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
    property("VPDData8", kVpdSegment, RO, TAVO_TYPE_TEXT, "", 0, 256, "", handle_internal_property),
};
const GroupDef nic_vpd = {"VPD",
                          "This group contains the Vital Product Data (VPD), which provides information such as "
                          "product model number, a unique serial number, product release level, installed features, "
                          "and other standard or vendor specific details recorded on a Tessmark controller. This data "
                          "is retrieved by TAVO from the controller and can be displayed through the TK Manager. "
                          "Because of TAVO size limitations, this data is separated into segments designated by "
                          "VPDdata0 - VPDdata8 properties.",
                          0, 0, nullptr, nic_vpd_children};

const ChildDef nic_pci_children[] = {
    property("VendorID", "This property displays the PCI Vendor ID.", RO, TAVO_TYPE_INTEGER, "", 0, 65535, "0",
             handle_internal_property),
    property("DeviceID", "This property displays the PCI Device ID.", RO, TAVO_TYPE_INTEGER, "", 0, 65535, "0",
             handle_internal_property),
    property("SubsysDeviceID", "This property displays the PCI Subsystem Device ID.", RO, TAVO_TYPE_INTEGER, "",
             0, 65535, "0", handle_internal_property),
    property("SubsysVendorID", "This property displays the PCI Subsystem Vendor ID.", RO, TAVO_TYPE_INTEGER, "",
             0, 65535, "0", handle_internal_property),
    property("DomainNumber", "This property displays the PCI Domain Number.", RO, TAVO_TYPE_INTEGER, "", 0, 255,
             "0000", handle_internal_property),
    property("BusNumber", "This property displays the PCI Bus Number.", RO, TAVO_TYPE_INTEGER, "", 0, 255, "0",
             handle_internal_property),
    property("DeviceNumber", "This property displays the PCI Device Number.", RO, TAVO_TYPE_INTEGER, "", 0, 32,
             "0", handle_internal_property),
    property("FunctionNumber", "This property displays the PCI Function number for the NIC function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 8, "0", handle_internal_property),
};
const GroupDef nic_pci = {"PCI", "This group contains the PCI properties of the Tessmark controller.", 0, 0,
                          nullptr, nic_pci_children};

const ChildDef nic_driver_children[] = {
    property("DriverName", "This property displays the name of the driver.", RO, TAVO_TYPE_TEXT, "", 2, 10,
             "CV2NET", handle_internal_property),
    property("DriverVersion", "This property displays the current version of the driver.", RO, TAVO_TYPE_TEXT,
             "", 2, 6, "2", handle_internal_property),
};
const GroupDef nic_driver = {"Driver", "This group corresponds to information about the iSCSI initiator driver.",
                             0, 0, nullptr, nic_driver_children};

const ChildDef nic_phba_children[] = {
    subgroup(&nic_vpd),
    property("IsVF",
             "This property specifies whether the TAVO running on GuestOs or not. If TAVO running on GuestOS then "
             "the value of this property will be True otherwise the value will be False.",
             RO, TAVO_TYPE_LIST, "True,False", 4, 5, "False", handle_internal_property),
    property("PortNumber", "This property specifies the port number assigned to this PCI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 3, "0", handle_internal_property),
    action("EraseNICConfiguration",
           "This command resets the Tessmark NIC (PXE and PXEVantrel) configuration to factory default settings. "
           "Upon successful completion of this command, all user PXE configured settings will be lost on the "
           "particular port of the Tessmark controller that was configured. A reboot is required for these changes "
           "to take effect.",
           &ROOT_Corvane_NICPhysicalHBA_EraseNICConfiguration_action),
    subgroup(&nic_pci),
    subgroup(&nic_driver),
};

const GroupDef nic_phba = {"NICPhysicalHBA",
                           "This group represents the Physical HBA group that contains the properties of the NIC "
                           "interface for this domain of the Tessmark controller.",
                           32, 0, nullptr, nic_phba_children, &nic_phba_slots};

}  // namespace

const TavoActionDescriptor ROOT_Corvane_NICPhysicalHBA_EraseNICConfiguration_action = {do_EraseNICConfiguration, 0,
                                                                                       0, {}};

TavoNode* initialize_NICPhysicalHBA(TavoNode* controller, TavoNode* creating_node, TavoNode* creating_action,
                                    char* params) {
  return tavo::tree::build_group(nic_phba, controller, creating_node, creating_action, params);
}
