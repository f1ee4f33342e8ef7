// The instanced groups of a controller's profiles and link configurations:
// the profiles it offers with their protocols, the ports and functions of
// the active and the configured profile, and the link configurations.
#include "nic/nic.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea profile_slots, protocol_slots, active_port_slots, active_function_slots, configured_port_slots,
    configured_function_slots, link_config_slots;

constexpr char kZeroMac[] = "00:00:00:00:00:00";
constexpr char kEnabledDisabled[] = "Enabled,Disabled";

// --- profiles the adapter offers ---
const ChildDef protocol_children[] = {
    property("ProtocolName", RO, TEXT, "", 0, 8, "NIC", stored,
             "This property specifies a protocol the profile offers: NIC, iSCSI, FCoE, RoCE, or NIC+RoCE for NIC "
             "functions that also carry RoCE."),
    property("FunctionCount", RO, INT, "", 1, 64, "", stored,
             "This property specifies how many functions of this protocol the profile allows."),
};
const GroupDef protocol = instanced("Protocol", 8, &protocol_slots, protocol_children,
                                    "This group specifies one protocol of the profile and its function count.");

const ChildDef profile_children[] = {
    property("ProfileId", RO, INT, "", 0, 256, "0", stored, "This property specifies the id of the profile."),
    property("ProfileDescription", RO, TEXT, "", 1, 128, "", stored,
             "This property specifies the description of the profile."),
};
const GroupDef profile = instanced("Profile", 100, &profile_slots, profile_children,
                                   "This group specifies a profile the adapter offers: a layout of NIC, iSCSI, FCoE "
                                   "and RoCE functions.");

// --- the active profile ---
const ChildDef active_function_children[] = {
    property("Protocol", RO, TEXT, "", 0, 8, "NIC", stored,
             "This property specifies the protocol the function runs, None when it is disabled."),
    property("FunctionNumber", RO, INT, "", 0, 64, "0", stored, "This property specifies the PCI function number."),
    property("MACAddress", RO, TEXT, "", 17, 17, kZeroMac, stored,
             "This property specifies the MAC address of the function."),
    property("SRIOVState", RO, LIST, kEnabledDisabled, 7, 8, "Disabled", handle_AProf_SRIOVState,
             "This property specifies whether SRIOV is enabled, disabled or N/A for this interface."),
};
const GroupDef active_function = instanced("Function", 64, &active_function_slots, active_function_children,
                                           "This group specifies a function of the port in the active profile.");

const ChildDef active_port_children[] = {
    property("MCType", RO, LIST, "UMC,vNIC1,vNIC2,UFP,NPAR,HPFlex,HPUMC,HPFlexQBG,None", 3, 7, "None", stored,
             "This property specifies the multi-channel type of the port."),
    property("MaxStoragePFCount", RO, INT, "", 0, 8, "0", stored,
             "This property specifies the most storage functions of a port."),
    property("MaxNICPFCount", RO, INT, "", 1, 64, "1", stored,
             "This property specifies the most NIC functions of a port."),
    property("MaxRoCEPFCount", RO, INT, "", 0, 64, "0", stored,
             "This property specifies the most RoCE functions of a port."),
    property("MaxiSCSIPFCount", RO, INT, "", 0, 64, "0", stored,
             "This property specifies the most iSCSI functions of a port."),
    property("MaxFCoEPFCount", RO, INT, "", 0, 64, "0", stored,
             "This property specifies the most FCoE functions of a port."),
};
const GroupDef active_port = instanced("Port", 4, &active_port_slots, active_port_children,
                                       "This group specifies a port of the profile the adapter runs.");

// --- the configured profile ---
const ChildDef configured_function_children[] = {
    property("Protocol", RW, TEXT, "", 0, 8, "NIC", handle_ConfiguredProfile_Port_Function_Protocol,
             "This property specifies the protocol of the function after the next reboot: NIC, iSCSI, FCoE, RoCE, "
             "NIC+RoCE or None. SaveProfile writes the change to the adapter."),
    property("State", RO, LIST, kEnabledDisabled, 0, 8, "Disabled", stored,
             "This property specifies whether the function is enabled."),
    property("FunctionNumber", RO, INT, "", 0, 64, "0", stored, "This property specifies the PCI function number."),
    property("MACAddress", RO, TEXT, "", 17, 17, kZeroMac,
             handle_ProfileManagement_ConfiguredProfile_Port_Function_MACAddress,
             "This property specifies the factory MAC address of the function."),
    property("SRIOVState", RW, LIST, kEnabledDisabled, 7, 8, "Disabled", handle_CProf_SRIOVState,
             "This property specifies whether SR-IOV is enabled on the function after the next reboot. SaveProfile "
             "writes the change to the adapter."),
    property("AvailableProtocols", RO, LIST, "NIC,RoCE,FCoE,iSCSI,None", 3, 5, "NIC", handle_AvailableProtocols,
             "This property specifies the protocols the function may take."),
};
const GroupDef configured_function = instanced(
    "Function", 64, &configured_function_slots, configured_function_children,
    "This group specifies a function of the port in the profile the adapter runs after the next reboot.");

const ChildDef configured_port_children[] = {
    property("MCType", RW, LIST, "UMC,vNIC1,vNIC2,UFP,NPAR,HPUMC,HPFlex,HPFlexQBG,None", 3, 7, "None",
             handle_ConfiguredProfile_Port_MCType,
             "This property specifies the multi-channel type of the port after the next reboot. SaveProfile writes "
             "the change to the adapter."),
};
const GroupDef configured_port = instanced("Port", 4, &configured_port_slots, configured_port_children,
                                           "This group specifies a port of the profile the adapter runs after the "
                                           "next reboot.");

// --- link configurations ---
const ChildDef link_config_children[] = {
    property("LinkConfigID", RO, INT, "", 0, 32, "0", stored,
             "This property specifies the id of the link configuration."),
    property("LinkConfigDescription", RO, TEXT, "", 1, 32, "", stored,
             "This property specifies the number and type of ports of the link configuration."),
};
const GroupDef link_config = instanced("LinkConfig", 32, &link_config_slots, link_config_children,
                                       "This group specifies a link configuration the adapter offers.");

TAVO_GROUP_BUILDER(Profile, profile, "Corvane/ProfileManagement");

TAVO_GROUP_BUILDER(Profile_Protocol, protocol, "Corvane/ProfileManagement/Profile");

TAVO_GROUP_BUILDER(ActiveProfile_Port, active_port, "Corvane/ProfileManagement/ActiveProfile");

TAVO_GROUP_BUILDER(ActiveProfile_Port_Function, active_function, "Corvane/ProfileManagement/ActiveProfile/Port");

TAVO_GROUP_BUILDER(ConfiguredProfile_Port, configured_port, "Corvane/ProfileManagement/ConfiguredProfile");

TAVO_GROUP_BUILDER(ConfiguredProfile_Port_Function, configured_function,
                   "Corvane/ProfileManagement/ConfiguredProfile/Port");

TAVO_GROUP_BUILDER(LinkConfig, link_config, "Corvane/LinkReconfiguration");
