// The iSCSIPhysicalHBA branch: one instance per iSCSI function of a
// controller.
#include "iscsi/network/iscsi_network.h"
#include "tree/group_builder.h"

namespace {

using tavo::tree::ChildDef;
using tavo::tree::GroupDef;
using tavo::tree::property;
using tavo::tree::subgroup;

constexpr uint32_t RO = TAVO_ACCESS_READ_ONLY;

tavo::tree::SlotArea iscsi_phba_slots;

const ChildDef iscsi_driver_children[] = {
    property("DriverName", "This property displays the name of the Tessmark iSCSI initiator driver.", RO,
             TAVO_TYPE_TEXT, "", 2, 10, "CV2ISCSI", handle_internal_property),
    property("DriverVersion", "This property displays the version of the Tessmark iSCSI initiator driver.", RO,
             TAVO_TYPE_TEXT, "", 2, 6, "2", handle_internal_property),
};
const GroupDef iscsi_driver = {"Driver", "This group contains the properties of the iSCSI initiator driver.", 0, 0,
                               nullptr, iscsi_driver_children};

const ChildDef iscsi_pci_children[] = {
    property("VendorID", "This property displays the PCI vendor ID of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 65535, "0", handle_internal_property),
    property("DeviceID", "This property displays the PCI device ID of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 65535, "0", handle_internal_property),
    property("SubsysDeviceID",
             "This property displays the PCI subsystem device ID of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 65535, "0", handle_internal_property),
    property("SubsysVendorID",
             "This property displays the PCI subsystem vendor ID of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 65535, "0", handle_internal_property),
    property("DomainNumber",
             "This property displays the PCI domain number of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 255, "0000", handle_internal_property),
    property("BusNumber", "This property displays the PCI bus number of the Tessmark controller's iSCSI function.",
             RO, TAVO_TYPE_INTEGER, "", 0, 255, "0", handle_internal_property),
    property("DeviceNumber",
             "This property displays the PCI device number of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 32, "0", handle_internal_property),
    property("FunctionNumber",
             "This property displays the PCI function number of the Tessmark controller's iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 8, "0", handle_internal_property),
};
const GroupDef iscsi_pci = {"PCI", "This group contains the PCI properties of the Tessmark controller's iSCSI function.",
                            0, 0, nullptr, iscsi_pci_children};

const ChildDef iscsi_phba_children[] = {
    property("PortNumber", "This property displays the physical port number of this iSCSI function.", RO,
             TAVO_TYPE_INTEGER, "", 0, 3, "0", handle_internal_property),
    property("iSCSIVersionMin", "This property displays the lowest iSCSI protocol version the function supports.",
             RO, TAVO_TYPE_TEXT, "", 1, 3, "1", handle_internal_property),
    property("iSCSIVersionMax", "This property displays the highest iSCSI protocol version the function supports.",
             RO, TAVO_TYPE_TEXT, "", 1, 3, "1", handle_internal_property),
    property("MaxCDBLength", "This property displays the largest SCSI command descriptor block the function sends.",
             RO, TAVO_TYPE_INTEGER, "", 6, 16, "16", handle_internal_property),
    property("LDTO", "This property displays the link down timeout in seconds.", RO, TAVO_TYPE_INTEGER, "", 0, 3600,
             "20", handle_internal_property),
    property("DefaultETO", "This property displays the default extended timeout in seconds.", RO, TAVO_TYPE_INTEGER,
             "", 0, 3600, "30", handle_internal_property),
    subgroup(&iscsi_driver),
    subgroup(&iscsi_pci),
};

const GroupDef iscsi_phba = {"iSCSIPhysicalHBA",
                             "This group represents properties of the Tessmark controller instance under this domain.",
                             8, 0, nullptr, iscsi_phba_children, &iscsi_phba_slots};

}  // namespace

TavoNode* initialize_iSCSIPhysicalHBA(TavoNode* controller, TavoNode* creating_node, TavoNode* creating_action,
                                      char* params) {
  return tavo::tree::build_group(iscsi_phba, controller, creating_node, creating_action, params);
}
