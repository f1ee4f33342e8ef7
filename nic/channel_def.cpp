// The ChannelManagement group of a controller, which the Corvane group lists
// where it stands, and the Channel group:
// one channel (a NIC, iSCSI or FCoE function) of a port's
// ChannelManagement, with its QoS action.
#include "controller/controller.h"
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

static SlotArea channel_slots;

TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration_ChannelManagement_Channel, ConfigureQoS, do_ConfigureQoS,
            "This command is used to configure the QoS for given channel. All the TAVO clients should taken care of "
            "Min and Max Bandwidths calculations.",
            required("MinBandwidth", INT, "", 0, 100,
                     "This parameter specifies MinBandwidth of given channel. The units of QoS should be in "
                     "%(Percentage)."),
            required("MaxBandwidth", INT, "", 0, 100,
                     "This parameter specifies MaxBandwidth of given channel. The units of QoS should be in "
                     "%(Percentage)."));

const ChildDef channel_children[] = {
    property("FunctionNumber", RO, INT, "", 0, 8, "0", stored,
             "This property specifies function number of respective channel."),
    property("Type", RO, TEXT, "", 3, 5, "NIC", stored,
             "This property specifies function type i.e. NIC,iSCSI or FCoE."),
    property("vNICName", RO, TEXT, "", 1, 32, "1", handle_channel_vnic_name,
             "This property specifies the name of this vNIC. This property is valid only when vNIC1 is enabled."),
    property("LogicalLinkState", RW, LIST, "Enabled,Disabled", 7, 8, "Disabled", handle_LogicalLinkState,
             "This property specifies the LogicalLinkState i.e. True or False. LogicalLinkState is applicable only for "
             "vNIC2/UMC environment."),
    property("MACAddress", RO, TEXT, "", 17, 17, "00:00:00:00:00:00", stored,
             "This property specifies MACAddress of respective channel."),
    property("LPVID", RW, INT, "", 0, 4094, "2", handle_LPVID,
             "This property specifies the LPVID of respective channel."),
    property("OuterVLANID", RO, INT, "", 0, 4094, "0", handle_channel_outer_vlan,
             "This property specifies the outer VLANID of respective channel. This property is valid only when vNIC1 "
             "is enabled."),
    property("MinBandWidth", RO, INT, "", 0, 100, "0", handle_MinBandWidth,
             "This property specifies the MinBandWidth and the units will be in percentage."),
    property("MaxBandWidth", RO, INT, "", 0, 100, "0", handle_MaxBandWidth,
             "This property specifies the MaxBandWidth and the units will be in percentage."),
    ConfigureQoS,
};
const GroupDef channel =
    instanced("Channel", 16, &channel_slots, channel_children, "This group specifies Multi-Channels properties.");

TAVO_GROUP_BUILDER(Channel, channel, "Corvane/PortDiscoveryAndConfiguration/ChannelManagement");

constexpr char kChannelTypes[] = "UMC,vNIC1,vNIC2,UFP,NPAR";
TAVO_ACTION(Corvane_ChannelManagement, ConfigureChannelManagement, do_ConfigureChannelManagement,
            "This command is used to configure the ChannelManagement for CV3 controller. For Moravel this command is "
            "not supported.",
            required("ChannelState", LIST, "Enabled,Disabled", 7, 8,
                     "This parameter specifies the ChannelState to be configured for ChannelManagement. The valid "
                     "values are \"Enabled\" or \"Disabled\"."),
            optional("ChannelType", LIST, kChannelTypes, 3, 4,
                     "This parameter specifies the ChannelType to be configured for ChannelManagement. The valid "
                     "values are \"UMC\",\"vNIC1\", \"vNIC2\",\"UFP\" and \"NPAR\"."));
const ChildDef channel_management_children[] = {
    property("SupportedMCTypes", RO, LIST, "UMC,vNIC1,vNIC2,UFP,NPAR,HPFlex,HPUMC,HPFlexQBG", 3, 7, "N/A",
             handle_SupportedMCTypes,
             "This property specifies the supported multi-channel types for respective Tessmark controller."),
    property("CurrentManagementType", RO, LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details,
             "This property specifies the current channel type. If Currently no multi-channel is enabled, then the "
             "value will be \"N/A\". And this property is supported only for CV3 adapter."),
    property("ConfiguredManagementType", RO, LIST, kChannelTypes, 3, 4, "N/A", handle_ChannelManagement_details,
             "This property specifies the configured channel type. This property is supported only for CV3 adapter."),
    ConfigureChannelManagement,
};
const GroupDef tavo::nic::corvane_channel_management = group("ChannelManagement", channel_management_children,
                                          "This group indicates channel management configuration details.");

