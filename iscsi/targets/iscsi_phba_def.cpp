// The iSCSIPhysicalHBA: one instance per iSCSI function of a controller,
// its rows and static sub-groups in the order clients see them. The
// network's sub-groups are iscsi/network/'s; the rows of the targets,
// sessions and boot settings are named here, above them all.
#include "iscsi/network/iscsi_network.h"
#include "iscsi/network/network.h"
#include "iscsi/targets/targets.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea iscsi_phba_slots;

TAVO_ACTION(Corvane_iSCSIPhysicalHBA_iSNS, DiscoveryiSNSThruDHCP, do_DiscoveryiSNSThruDHCP,
            "This command asks the DHCP server for the iSNS server to discover targets through.");
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_iSNS, ConfigureiSNSServer, do_ConfigureiSNSServer,
            "This command adds an iSNS server to the iSNS server table. Without a port number 3205 is used. The "
            "command succeeds when communication with the server completes.",
            required("IPAddress", IP, "", 0, 0,
                     "This parameter specifies the IP address of the server to be configured into the table. The iSNS "
                     "server table will be used by the firmware for discovering targets."),
            optional("PortNum", INT, "", 1024, 65535, "This parameter specifies the port number of the iSNS server."));
TAVO_ACTION(Corvane_iSCSIPhysicalHBA_iSNS, DeleteiSNSServer, do_DeleteiSNSServer,
            "This command deletes the given iSNS server from the iSNS server table.",
            required("InstanceNumber", INT, "", 0, 3,
                     "This parameter accepts string input and converts it to equivalent number and uses that as an "
                     "instance number."));
const ChildDef isns_children[] = {
    property("iSNSEnabled", RW, LIST, "Yes,No", 1, 3, "No", handle_discoveryparams,
             "This property indicates whether targets are discovered through iSNS."),
    DiscoveryiSNSThruDHCP,
    ConfigureiSNSServer,
    DeleteiSNSServer,
};
const GroupDef isns = group("iSNS", isns_children,
                            "This group contains the iSNS settings and servers of the iSCSI function.", group_iSNS);

// --- the function ---
TAVO_ACTION(
    Corvane_iSCSIPhysicalHBA, EraseConfiguration, do_EraseConfiguration,
    "This command resets the Tessmark iSCSI configuration to factory default settings. Upon successful completion of "
    "this command, all user iSCSI configured settings on both ports of the Tessmark controller are lost. No reboot is "
    "required for these changes to take effect.",
    optional("LogicalHBAInstanceNumber", INT, "", 0, 0,
             "This parameter indicates the DomainId of the LogicalHBA of which configuration should be erased."));
const ChildDef iscsi_phba_children[] = {
    property("iSCSIBIOSEnable", RW, LIST, "Yes,No", 2, 3, "Yes", handle_iSCSIBIOSEnable,
             "This property indicates whether the function's iSCSI boot BIOS is enabled."),
    property("PortNumber", RO, INT, "", 0, 3, "0", stored,
             "This property displays the physical port number of this iSCSI function."),
    property("iSCSIVersionMin", RO, TEXT, "", 1, 3, "1", stored,
             "This property displays the lowest iSCSI protocol version the function supports."),
    property("iSCSIVersionMax", RO, TEXT, "", 1, 3, "1", stored,
             "This property displays the highest iSCSI protocol version the function supports."),
    property("MaxCDBLength", RO, INT, "", 6, 16, "16", stored,
             "This property displays the largest SCSI command descriptor block the function sends."),
    property("MPIOEnabled", RW, LIST, "True,False", 4, 5, "False", handle_MPIOEnabled,
             "This property indicates whether multipath I/O is enabled for the function."),
    property("LDTO", RO, INT, "", 0, 3600, "20", stored, "This property displays the link down timeout in seconds."),
    property("DefaultETO", RO, INT, "", 0, 3600, "30", stored,
             "This property displays the default extended timeout in seconds."),
    subgroup(&tavo::network::phba_driver),
    subgroup(&tavo::network::phba_network),
    subgroup(&tavo::network::phba_vpd),
    subgroup(&tavo::network::phba_pci),
    subgroup(&isns),
    EraseConfiguration,
};
const GroupDef iscsi_phba =
    instanced("iSCSIPhysicalHBA", 8, &iscsi_phba_slots, iscsi_phba_children,
              "This group represents properties of the Tessmark controller instance under this domain.");

TAVO_GROUP_BUILDER(iSCSIPhysicalHBA, iscsi_phba, "Corvane");
