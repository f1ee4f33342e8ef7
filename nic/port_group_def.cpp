// The PortDiscoveryAndConfiguration group: one instance per physical port
// of a controller, with its link, PHY, speed, beacon and flow-control
// properties, the port actions, and the ChannelManagement, BaseT10G, LLDP
// and DCBX sub-groups. Its rows belong to the port branch but for the
// channels, which are this branch's: the table stands here, above both.
#include "nic/channels.h"
#include "nic/nic.h"
#include "port/port.h"
#include "tree/declare.h"

using namespace tavo::declare;

constexpr char kEnabledDisabled[] = "Enabled,Disabled";
constexpr char kSpeedNames[] = "0,10Mb,100Mb,1Gb,10Gb";
static SlotArea port_slots;

const GroupDef port_channels =
    group("ChannelManagement", {}, "This group specifies available Multi-Channels and respective Channel properties.",
          group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement);

TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, Beacon, do_Beacon,
            "This command switches the beacon pattern of the port's LEDs on or off.",
            optional("BeaconDuration", INT, "", 0, 255,
                     "This parameter specifies the seconds the port's LEDs blink the beacon pattern."),
            optional("StatusDuration", INT, "", 0, 255,
                     "This parameter specifies the seconds the activity and link LEDs show their normal state."),
            required("BeaconState", LIST, kEnabledDisabled, 7, 8,
                     "This parameter specifies whether the beacon is switched on or off."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, SetPortSpeed, do_SetPortSpeed,
            "This command sets the port's speed mode and speed; the change takes effect in the firmware.",
            optional("Speed", LIST,
                     "10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,40Gb,40Gb/10Gb,"
                     "40Gb/1Gb,40Gb/10Gb/1Gb,20Gb,20Gb/1Gb,20Gb/10Gb,20Gb/10Gb/1Gb",
                     3, 15, "This parameter specifies the speed, or the speeds to negotiate."),
            required("Mode", LIST, "Force,Auto-Negotiate,Default", 5, 15,
                     "This parameter specifies whether the speed is forced, auto-negotiated, or the default programmed "
                     "in the adapter."),
            optional("DACCableLength", INT, "", 0, 10,
                     "This parameter specifies the cable length in metres; DAC cables only."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, DumpTransceiverData, do_DumpTransceiverData,
            "This command reads one page of the port's transceiver and returns it as hexadecimal text in the last "
            "status.",
            required("WireAddress", LIST, "A0,A2", 2, 2,
                     "This parameter specifies the 2-wire address of the transceiver page."));
TAVO_ACTION(Corvane_PortDiscoveryAndConfiguration, ErasePortandDiscoveryConfiguration,
            do_ErasePortandDiscoveryConfiguration,
            "This command erases the port and discovery configuration; the change takes effect after a reboot.");
const ChildDef port_children[] = {
    property("PortNumber", RO, INT, "", 0, 3, "0", stored, "This property displays the physical port number."),
    property("PortName", RO, TEXT, "", 1, 1, "0", stored, "This property displays the name of the port."),
    property("PortState", RW, LIST, kEnabledDisabled, 7, 8, "Enabled", handle_PortState,
             "This property specifies whether the port is enabled."),
    property("PhysicalLinkStatus", RO, LIST, "Up,Down,Unknown", 2, 7, "Unknown", handle_PhysicalLinkStatus,
             "This property displays the state of the physical link."),
    property("PHYType", RO, INT, "", 0, 255, "0x0", handle_PHYType,
             "This property displays the PHY type code the firmware reports: 0x0 XAUI (XAUI interface, no external "
             "PHY), 0x1 AEL_2020 (Aeluris/Netlogic PHY), 0x2 LSI_OSTR1 (pre-production board PHY that needs special "
             "handling of the XAUI internal clock), 0x3 LSI_OSTR2 (production board PHY), 0x4 SOLARFLARE (Solarflare "
             "PHY, Dell recommended), 0x5 AMCC_QT2025 (AMCC PHY), 0x6 AMCC_QT2225 (AMCC PHY), 0x7 OSTR_4417 (Ostrand "
             "PHY used on an HP LAN-on-motherboard), 0x8 CV3_INTERNAL_10GB (internal 10Gb PHY of the CV3 controller), "
             "0x9 CV3_INTERNAL_1GB (internal 1Gb PHY of the CV3 controller), 0xA TN_2022 (Teranetics dual-port 65 nm "
             "PHY), 0xB MARVELL_88E1340 (Marvell 1G PHY), 0xC MARVELL_88E1322 (Marvell 1G PHY), 0xD TN_8022 "
             "(Teranetics dual-port 40 nm PHY), 0xE MARVELL_88E1145 (Marvell 1G PHY), 0x10 OSTR_7316 (Ostrand 1G "
             "PHY), 0x11 OSTR_63606 (Ostrand 10GBase-T PHY), 0x12 AQUANTIA_1103 (Aquantia 10GBase-T PHY), 0x13 "
             "MARVEL_88E1514 (Marvell 1G SGMII PHY), 0x20 PHY_TYPE_INTERNAL (internal controller PHY), 0xFF "
             "PHY_TYPE_NOT_SUPPORTED (no PHY on this board)."),
    property("InterfaceType", RO, TEXT, "", 2, 26, "Unknown", stored,
             "This property displays the interface type of the port: CX4_10GB_TYPE, XFP_10GB_TYPE, SFP_1GB_TYPE, "
             "SFP_PLUS_10GB_TYPE, KR_10GB_TYPE, KX4_10GB_TYPE, BASET_10GB_TYPE, BASET_1000_TYPE, BASEX_1000_TYPE, "
             "SGMII_TYPE, QSFP_TYPE, KR4_TYPE, KR2_TYPE, or Not Supported."),
    property("BeaconState", RO, LIST, "Enabled,Disabled,Not Supported", 7, 13, "Disabled", handle_BeaconState,
             "This property displays whether the port's LEDs show the beacon pattern."),
    property("TXThrottle", RW, TEXT, "", 1, 2, "2", handle_TXThrottle,
             "This property specifies how soon FCoE traffic stops after a PFC pause frame: 1 a slow reaction to "
             "incoming PFC pause frames, 2 a fast reaction."),
    subgroup(&port_channels),
    subgroup(&tavo::port::port_baset),
    property("FCoEWWPN", RO, TEXT, "", 0, 16, "0", handle_FCoEWWPN,
             "This property displays the world-wide port name of the port's FCoE function."),
    property("Mode", RO, LIST, "Force,Auto-Negotiate,Default", 5, 15, "Default", handle_get_link_speed_properties,
             "This property displays how the port's speed is chosen."),
    property("ConfiguredSpeed", RO, LIST,
             "All Supported Speeds,10Mb,100Mb,1Gb,10Gb,10Gb/1Gb,10Gb/1Gb/100Mb,1Gb/100Mb,1Gb/100Mb/10Mb,100Mb/10Mb,"
             "40Gb",
             3, 20, "0", handle_get_link_speed_properties,
             "This property displays the configured speed; 0 means all supported speeds."),
    property("DACCableLength", RO, TEXT, "", 0, 10, "0", handle_get_link_speed_properties,
             "This property displays the configured DAC cable length in metres."),
    property("ANSpeedsSupported", RO, LIST, kSpeedNames, 3, 10, "0", stored,
             "This property displays the speeds the port's PHY can auto-negotiate; 0 means the mode is not supported "
             "by the port's PHY."),
    property("ForceSpeedsSupported", RO, LIST, kSpeedNames, 3, 10, "0", stored,
             "This property displays the speeds the port's PHY can be forced to; 0 means the mode is not supported by "
             "the port's PHY."),
    property("TxFlowControl", RW, LIST, kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties,
             "This property specifies whether the port sends pause frames."),
    property("RxFlowControl", RW, LIST, kEnabledDisabled, 7, 8, "N/A", handle_flow_control_properties,
             "This property specifies whether the port honours pause frames."),
    property("FCoELinkSpeed", RO, LIST, "0 (Link Down),less than 1Mb,less than 1Gb,1Gb,10Gb,20Gb,25Gb,40Gb,100Gb", 3,
             13, "0 (Link Down)", handle_FCoELinkSpeed,
             "This property displays the share of the port's link the FCoE function has."),
    Beacon,
    SetPortSpeed,
    DumpTransceiverData,
    ErasePortandDiscoveryConfiguration,
    subgroup(&tavo::port::port_lldp),
    subgroup(&tavo::port::port_dcbx),
};
const GroupDef port_group =
    instanced("PortDiscoveryAndConfiguration", 4, &port_slots, port_children,
              "This group instance corresponds to one physical port of the Tessmark controller.");

TAVO_GROUP_BUILDER(PortDiscoveryAndConfiguration, port_group, "Corvane");
