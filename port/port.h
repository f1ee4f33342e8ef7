// Port and DCBX configuration: the PortDiscoveryAndConfiguration branch,
// its start-up build, and the operations other branches and the back end
// call.
#pragma once

#include <stdint.h>

#include "transport/glob.h"
#include "transport/port_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- builders (params: six 256-byte texts or NULL; NULL when nothing was
// built or every slot is taken) ---
// One PG (8 per view) and one ApplicationTLV (15 per view) of each view.
TAVO_EXPORT TavoNode* initialize_AdministratorPGSetting_PG(TavoNode* parent, TavoNode* creating_node,
                                                           TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_PeerPGSetting_PG(TavoNode* parent, TavoNode* creating_node, TavoNode* creating_action,
                                                  char* params);
TAVO_EXPORT TavoNode* initialize_OperationalPGSettings_PG(TavoNode* parent, TavoNode* creating_node,
                                                          TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_AdministratorTLVSetting_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                                        TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_PeerTLVSetting_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                               TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_OperationalTLVSettings_ApplicationTLV(TavoNode* parent, TavoNode* creating_node,
                                                                       TavoNode* creating_action, char* params);

// --- start-up ---
// A Moravel port's current and configured multi-channel types (the
// profile groups the NIC branch keeps under ProfileManagement) and the
// profile's reboot state, each into a 256-byte text; 0, or 1 when a group
// or property it needs is missing.
TAVO_EXPORT uint32_t TAVO_get_mvk_mc_type(TavoNode* controller, TavoNode* port, char* current_type,
                                          char* configured_type, char* reboot_required);
// IsClearCountersSupported of the port's BaseT10G group (device: the
// serving function's); 0, or 1 when a group is missing or the store failed.
TAVO_EXPORT uint32_t TAVO_update_is_clear_counter(uint32_t device, TavoNode* port);
// IsLoopbackSupported of the Diagnostics group from the first port; 0 or 1.
TAVO_EXPORT uint32_t TAVO_update_diagnostics_prop(TavoNode* controller);

// --- link, PHY and speed ---
TAVO_EXPORT uint32_t handle_PortState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_PhysicalLinkStatus(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_PHYType(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_FCoEWWPN(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_FCoELinkSpeed(TavoNode* property, char* buf, uint32_t op);
// InterfaceType, and ANSpeedsSupported with ForceSpeedsSupported, of a
// port from its PHY (device: the serving function's); 0, or 1.
TAVO_EXPORT uint32_t TAVO_update_interfacetype(uint32_t device, TavoNode* port);
TAVO_EXPORT uint32_t TAVO_update_speed_props(uint32_t device, TavoNode* port);
// vNICEnabled and vNICName of a function's vNIC group (transport 1: an
// iSCSI function's, 2: a NIC function's): 0 (also when the firmware lacks
// the command), or 1 (status 186).
TAVO_EXPORT uint32_t get_vnic_name(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vnic,
                                   uint32_t transport);
// ActivePort of an iSCSI function's NICConfiguration.
TAVO_EXPORT uint32_t handle_activeport(TavoNode* property, char* buf, uint32_t op);
// Reads the link state into the group's LogicalLinkStatus (path 1 iSCSI
// function, 2 NIC function); 0, or 1 with status 227.
TAVO_EXPORT uint32_t get_logical_link_status(uint32_t device, uint8_t domain, uint8_t port_number, TavoNode* group,
                                             uint32_t path);
// Stores "N/A" in group's OperationalMode and sets *flag when a link of the
// port (the one above group) has operational mode 0 or 2. The command goes
// to the port's NIC function whatever device is given; 0, or 1.
TAVO_EXPORT uint32_t TAVO_get_operating_value(uint32_t device, uint8_t domain, uint8_t port_number, TavoNode* group,
                                              uint32_t* flag);

// --- port speed setting ---
// One row of the speed table: a mode, a speed and the firmware's code.
typedef struct PortSpeedMode {
  char mode[16];
  char speed[16];
  uint16_t mac_speed;
} PortSpeedMode;
// Every code 0-23 in exactly one row.
TAVO_EXPORT extern const PortSpeedMode PortSpeedModeTable[];
// Mode, ConfiguredSpeed and DACCableLength: every read refreshes all three.
TAVO_EXPORT uint32_t handle_get_link_speed_properties(TavoNode* property, char* buf, uint32_t op);

// --- beacon, transceiver, TX throttle, flow control ---
TAVO_EXPORT uint32_t handle_BeaconState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_TXThrottle(TavoNode* property, char* buf, uint32_t op);
// TxFlowControl and RxFlowControl.
TAVO_EXPORT uint32_t handle_flow_control_properties(TavoNode* property, char* buf, uint32_t op);
// Stores both flow-control properties ("Enabled" for 1); 1 without a port.
TAVO_EXPORT uint32_t TAVO_update_flow_control_props(TavoNode* port, uint16_t transmit, uint16_t receive);
// Sends the port's flow control as it reads again, for a multi-channel type
// ("NPAR" or another); 1 for a missing argument, else the command's status.
TAVO_EXPORT uint32_t TAVO_reset_flow_control_properties(TavoNode* port, const char* mc_type);

// --- actions of the port (params: six 256-byte texts in the order of the
// action's parameters) ---
// Beacon: BeaconDuration, StatusDuration, BeaconState. Also run at client
// exit with "Disabled" for every port whose beacon is on.
TAVO_EXPORT uint32_t do_Beacon(TavoNode* port, TavoNode* action, char* params);
// SetPortSpeed: Speed, Mode, DACCableLength.
TAVO_EXPORT uint32_t do_SetPortSpeed(TavoNode* port, TavoNode* action, char* params);
// DumpTransceiverData: WireAddress; the page comes back as status 60's text.
TAVO_EXPORT uint32_t do_DumpTransceiverData(TavoNode* port, TavoNode* action, char* params);
// Erases the port and discovery configuration: 0 (status 184, or 239 when
// the firmware asks for a reboot now), else the command's status (187).
TAVO_EXPORT uint32_t do_ErasePortandDiscoveryConfiguration(TavoNode* port, TavoNode* action, char* params);

// --- DCBX, QCN and LLDP (function, port and domain of the port's function;
// the controller's instance chooses the path from its port bitmap) ---
// Reads the group's view and stores its properties: 0, 1 (a property
// could not be stored), or the read's status (101).
TAVO_EXPORT uint32_t TAVO_get_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                                           uint32_t controller_instance);
// Writes one Administrator setting, named by the property and its group,
// into the firmware's record: 0, 1 (status 6 for a bad bitmap), or the
// failed command's status (101 read, 102 write).
TAVO_EXPORT uint32_t TAVO_set_feature_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property,
                                           const char* value, uint32_t controller_instance);
// The DCBX MIB counters into the port group's DCBXPortVars and
// DCBXStatistics: 0, 1, or the read's status (108).
TAVO_EXPORT uint32_t get_port_vars(uint32_t function, uint8_t port, uint8_t domain, TavoNode* port_group);
// AddApplicationTLV (add 1: the bitmap, the OUI and the selector and
// protocol of params) or DeleteApplicationTLV (add 0: of the instance) on
// the basic form of the record, for firmware without the version-1 form:
// 0, 1, 158 or the failed command's status (102 for the write).
TAVO_EXPORT uint32_t TAVO_get_dcbx_cfg_v0(TavoNode* group, TavoNode* action, char* params, TavoNode* instance,
                                          uint8_t priority_bitmap, uint32_t oui, uint32_t function, uint32_t add);
// The QCN view of group into its properties (0, 1, or 101's status), and
// one Administrator QCN setting written (0, 1, or 101's or 102's status).
TAVO_EXPORT uint32_t TAVO_get_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group,
                                        uint32_t controller_instance);
TAVO_EXPORT uint32_t TAVO_set_QCN_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* property,
                                        const char* value, uint32_t controller_instance);
// The LLDP local (LocalConfiguration) or peer record into the group's
// properties; a port without a function reads as an empty record. 0, 1,
// or the read's status (105).
TAVO_EXPORT uint32_t get_lldp_props(uint32_t function, uint8_t port, uint8_t domain, TavoNode* group);

// --- diagnostics ---
// A loopback test's answer status: 0 for 0, else 1 with its status
// (248-251, 52, or 62).
TAVO_EXPORT uint32_t TAVO_check_loop_back_status(uint32_t test_status);
// Stores the 10GBase-T statistics of a BaseT10G group from the record
// given (the version-1 one first); with neither, "N/A" everywhere. flag 1
// stamps the port's read time even then. 0, or 1 (a missing group or a
// failed store).
TAVO_EXPORT uint32_t TAVO_update_10GbaseT_properties(TavoNode* baset, const tavo::BaseTStatsRecord* stats,
                                                     const tavo::BaseTStatsRecordV1* stats_v1, uint32_t flag);

// --- handlers and actions of the DCBX, LLDP, QCN and 10GBase-T groups and
// the controller's Diagnostics ---
TAVO_EXPORT uint32_t handle_10GbaseT_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_over_temperature(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_10baseT_nvpvalue(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LLDP_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_lldp_stats_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_dcbx_port_vars(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_dcbx_stats_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_DCBXState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_DCBXMode(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_pfc_feature_vars(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_pg_feature_vars(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_pg15_membership(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_app_feature_vars(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_apptlv_feature_vars(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_bwg_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_update_qcn_props(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t group_AdministratorTLVSetting(TavoNode* group);
TAVO_EXPORT uint32_t group_PeerTLVSetting(TavoNode* group);
TAVO_EXPORT uint32_t group_OperationalTLVSettings(TavoNode* group);
// SelfTest: TestType, SourceCable, TargetCable. RunTDR, ClearCounters: none.
TAVO_EXPORT uint32_t do_SelfTest(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_RunTDR(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ClearCounters(TavoNode* group, TavoNode* action, char* params);
// AddApplicationTLV: ProtocolSelector, ProtocolID, PriorityBitMap, OUI.
// DeleteApplicationTLV: InstanceNumber. ConfigurePGSettings (of a PG):
// PriorityMembership, Bandwidth.
TAVO_EXPORT uint32_t do_AddApplicationTLV(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_DeleteApplicationTLV(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ConfigurePGSettings(TavoNode* group, TavoNode* action, char* params);
// ExitLoopBackMode of a Diagnostics group: SourcePortNumber,
// DestinationPortNumber.
TAVO_EXPORT uint32_t do_ExitLoopBackMode(TavoNode* diagnostics, TavoNode* action, char* params);
// Diagnostics actions of a controller: HostToDDRDMATest (Pattern,
// ByteCount, LoopCount), EnterLoopBackMode (SourcePortNumber,
// DestinationPortNumber, LoopbackType), NetworkLoopBackTest (Pattern,
// ByteCount, LoopCount, SourcePortNumber, DestinationPortNumber,
// LoopbackType).
TAVO_EXPORT uint32_t do_HostToDDRDMATest(TavoNode* diagnostics, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_EnterLoopBackMode(TavoNode* diagnostics, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_NetworkLoopBackTest(TavoNode* diagnostics, TavoNode* action, char* params);

TAVO_END_DECLS

#ifdef __cplusplus
#include "tree/group_builder.h"

namespace tavo::port {

// The link-status query (5/1) on a device: version 1 the link, speed and
// logical state, version 0 the active port. The command's status.
uint32_t read_link_status(uint32_t device, uint8_t domain, uint8_t port_number, uint32_t path, uint8_t version,
                          LinkStatusRecord* out);
// "10Mb" ... "100Gb" for physical speed codes 1-8, else "0 (Link Down)".
const char* link_speed_name(uint32_t code);
// A speed of mb megabits: "%dMb" below 1000, "%dGb" for whole gigabits,
// else "%.1fGb".
void speed_text(uint64_t mb, char out[TAVO_VALUE_SIZE]);

// PhysicalLinkStatus of a port group read afresh ("Up" or "Down" into
// text, and stored); 0, or the command's status (93).
uint32_t physical_link_status(TavoNode* port_group, char text[TAVO_VALUE_SIZE]);
// vNICEnabled of a NIC function's vNIC group read afresh (stored with
// vNICName) into out; false when it cannot be read (inside a virtual
// function "N/A" and status 256).
bool nic_vnic_enabled(TavoNode* vnic, char out[TAVO_VALUE_SIZE]);
// The multi-channel types of a controller as its ChannelManagement group
// (channels) shows them, each read afresh, stored in the group and copied
// into text: SupportedMCTypes, and the CurrentManagementType or
// ConfiguredManagementType (name) of a CV3 ("N/A" on the other
// generations). 0, or 1 (inside a virtual function "N/A" into text and
// status 256).
uint32_t read_supported_mc_types(TavoNode* channels, char text[TAVO_VALUE_SIZE]);
uint32_t read_management_type(TavoNode* channels, const char* name, char text[TAVO_VALUE_SIZE]);
// Whether the controller's generation manages channels (CV3, or an unknown
// one); false with *result 1 (unreadable) or 0 (another).
bool channel_management_cv3(TavoNode* controller, uint32_t* result);

// The handle of the function that serves port j of the controller, which
// the port's instance shares; null when no function serves it (the port
// gets no instance).
TavoNodeHandle* startup_port_function(TavoNode* controller, int j);
// Fills port j's new PortDiscoveryAndConfiguration instance at start-up;
// the instance when it was filled whole and has channels to build (CV3,
// Moravel), else null.
TavoNode* startup_port(TavoNode* port, TavoNodeHandle* handle, uint32_t generation, int j);
// The 10GBase-T statistics of a controller's ports are read afresh at the
// next read (a new tree).
void forget_baset_reads(uint32_t controller_instance);
// The ProfileManagement group of a controller and its ActiveProfile and
// ConfiguredProfile groups; null for those missing.
struct ProfileGroups {
  TavoNode* management = nullptr;
  TavoNode* active = nullptr;
  TavoNode* configured = nullptr;
};
ProfileGroups profile_groups(TavoNode* controller);
// A port's BaseT10G, LLDP and DCBX sub-groups, which nic/'s definition of
// the port group lists.
extern const tree::GroupDef port_baset, port_lldp, port_dcbx;
// The Corvane group's Diagnostics, which backend/'s definition of the
// group lists.
extern const tree::GroupDef corvane_diagnostics;

}  // namespace tavo::port
#endif
