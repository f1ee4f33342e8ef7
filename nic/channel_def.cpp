// The Channel group: one channel (a NIC, iSCSI or FCoE function) of a
// port's ChannelManagement, with its QoS action.
#include "nic/channels.h"
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
