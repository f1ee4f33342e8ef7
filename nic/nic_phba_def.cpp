// The NICPhysicalHBA branch: one instance per NIC function of a controller.
#include "controller/controller.h"
#include "nic/nic.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea nic_phba_slots;

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
};
const GroupDef nic_pci =
    group("PCI", nic_pci_children, "This group contains the PCI properties of the Tessmark controller.");

const ChildDef nic_driver_children[] = {
    property("DriverName", RO, TEXT, "", 2, 10, "CV2NET", stored, "This property displays the name of the driver."),
    property("DriverVersion", RO, TEXT, "", 2, 6, "2", stored,
             "This property displays the current version of the driver."),
};
const GroupDef nic_driver =
    group("Driver", nic_driver_children, "This group corresponds to information about the iSCSI initiator driver.");

TAVO_ACTION(
    Corvane_NICPhysicalHBA, EraseNICConfiguration, do_EraseNICConfiguration,
    "This command resets the Tessmark NIC (PXE and PXEVantrel) configuration to factory default settings. Upon "
    "successful completion of this command, all user PXE configured settings will be lost on the particular port of "
    "the Tessmark controller that was configured. A reboot is required for these changes to take effect.");
const ChildDef nic_phba_children[] = {
    subgroup(&nic_vpd),
    property("IsVF", RO, LIST, "True,False", 4, 5, "False", stored,
             "This property specifies whether the TAVO running on GuestOs or not. If TAVO running on GuestOS then the "
             "value of this property will be True otherwise the value will be False."),
    property("PortNumber", RO, INT, "", 0, 3, "0", stored,
             "This property specifies the port number assigned to this PCI function."),
    EraseNICConfiguration,
    subgroup(&nic_pci),
    subgroup(&nic_driver),
};

const GroupDef nic_phba = instanced("NICPhysicalHBA", 32, &nic_phba_slots, nic_phba_children,
                                    "This group represents the Physical HBA group that contains the properties of the "
                                    "NIC interface for this domain of the Tessmark controller.");

TavoNode* initialize_NICPhysicalHBA(TavoNode* controller, TavoNode* creating_node, TavoNode* creating_action,
                                    char* params) {
  return tavo::tree::build_group(nic_phba, controller, creating_node, creating_action, params);
}
