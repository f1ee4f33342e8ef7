// Channels of a port, their QoS and parameters, the bandwidth caps of NIC
// functions and iSCSI domains, and the SR-IOV and VEPA state of NIC
// functions. The port branch reaches the channels through the hooks this
// branch registers (port/port.h).
#pragma once

#include <stdint.h>

#include "port/port.h"
#include "transport/profile_records.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// --- channels (the Channel instances of a port's ChannelManagement) ---
// One Channel instance (16 per port; params: six 256-byte texts or NULL);
// NULL when every slot is taken or nothing could be built.
TAVO_EXPORT TavoNode* initialize_Channel(TavoNode* channel_management, TavoNode* creating_node,
                                         TavoNode* creating_action, char* params);
// A channel from a NIC (81), iSCSI (82) or FCoE (83) descriptor of PF pf
// ("0x%x"); a RoCE one (84) marks the NIC channel of that PF "NIC+RoCE".
// descriptor: 88 bytes (a shorter one padded with zeros). 0, or 1 when the
// channel could not be built.
TAVO_EXPORT uint32_t TAVO_initialize_channels(uint8_t type, const char* pf, TavoNode* channel_management,
                                              const uint8_t* descriptor);
TAVO_EXPORT uint32_t handle_channel_vnic_name(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LogicalLinkState(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_LPVID(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_channel_outer_vlan(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MinBandWidth(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MaxBandWidth(TavoNode* property, char* buf, uint32_t op);
// Builds the Channel instances of a port (its PortDiscoveryAndConfiguration
// group) from the controller's configured profile; 0, 1, or the profile
// command's status.
TAVO_EXPORT uint32_t TAVO_get_multi_channels_info(uint32_t port_number, TavoNode* port);
// Builds the controller's port instances, each tied to the function that
// serves its port, with the channels of each (CV3, Moravel); 0, or 1
// without a controller.
TAVO_EXPORT uint32_t TAVO_get_port_discovery_config(TavoNode* controller);
// Refresh handler of a port's ChannelManagement group: its Channel
// instances again.
TAVO_EXPORT uint32_t group_Corvane_PortDiscoveryAndConfiguration_ChannelManagement(TavoNode* group);

// ConfigureQoS of a Channel (MinBandwidth, MaxBandwidth in percent): 0,
// 285 while the configured type is vNIC1 or UFP, else 1.
TAVO_EXPORT uint32_t do_ConfigureQoS(TavoNode* channel, TavoNode* action, char* params);
// Writes value of the channel's property (LogicalLinkState or LPVID) into
// its descriptor of the profile: the active one when current_type is
// vNIC1, else the configured one. 0 or 1.
TAVO_EXPORT uint32_t TAVO_set_mchannel_params(TavoNode* controller, TavoNode* channel, TavoNode* property,
                                              const char* value, const char* current_type, const char* reboot);
// The stored value of the channel's property from its descriptor of
// config; 0 (also without a descriptor), or 1 for a missing argument,
// Type or FunctionNumber.
TAVO_EXPORT uint32_t TAVO_get_mchannel_params(TavoNode* channel, TavoNode* property,
                                              const tavo::ProfileConfigBuffer* config);

// --- bandwidth caps and QoS ---
// MinBitsPerSecond or MaxBitsPerSecond (property's name) of group: the
// link's speed times the percentage of the active profile's descriptor of
// type (81 or 82) and PF pf, in units of 100 Mb/s. 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_bw_softcap(TavoNode* group, TavoNode* controller, uint32_t port_number, uint8_t domain,
                                         uint8_t phba_port, uint8_t type, const char* pf, TavoNode* property,
                                         uint32_t device);
// MaxBitsPerSecond of a NICPhysicalHBA from its QoS record: 0, or the
// failure (status 114, or 259 on Galtor).
TAVO_EXPORT uint32_t TAVO_get_legacy_QOS(uint32_t port_number, TavoNode* group);
// MaxBytesPerSecond and MaxIosPerSecond of group (an iSCSIQoS group) from
// the domain's QoS record: 0, or the failure (status 114).
TAVO_EXPORT uint32_t get_qos_params(uint32_t port_number, uint8_t domain, uint8_t phba_port, TavoNode* group);

// --- SR-IOV and VEPA ---
// SRIOVState of target from the PCI function descriptors of PF pf in the
// profile configuration of config_type: 0, 1, 213 (the firmware lacks the
// command) or 288 (Galtor: its own path).
TAVO_EXPORT uint32_t TAVO_get_SRIOVState(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                                         uint8_t phba_port, TavoNode* controller, const char* pf, uint8_t config_type,
                                         TavoNode* target);
// A new SRIOVState of a NICPhysicalHBA into the configured profile: 0
// (status 252), 1, 213 or 288 (CV2 and Galtor).
TAVO_EXPORT uint32_t TAVO_set_SRIOVState(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                                         uint8_t phba_port, const char* value, TavoNode* controller);
// The same through the legacy controller configuration (CV3) or the
// common profile (Galtor); 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_legacy_sriov_state(uint32_t generation, TavoNode* function, uint32_t port_number,
                                                 uint8_t domain, uint8_t phba_port, TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_set_legacy_sriov_state(uint32_t generation, TavoNode* function, uint32_t port_number,
                                                 uint8_t domain, uint8_t phba_port, TavoNode* controller,
                                                 const char* value);
// The Moravel path: the configured profile's PCI functions written whole
// with PF pf's new state, then mirrored into ConfiguredProfile. 0 or 1
// (also when config_prof.txt could not be saved to show the new state).
TAVO_EXPORT uint32_t TAVO_set_hpi_sriov_state(TavoNode* controller, uint32_t pf, const char* value,
                                              uint32_t port_number, uint8_t domain, uint8_t phba_port, uint32_t device);
// SRIOVState of ConfiguredProfile's first Function of PF pf becomes value;
// 0 (also without such a Function), or 1 without ports or functions or
// when config_prof.txt could not be saved.
TAVO_EXPORT uint32_t TAVO_conf_sriov_state(TavoNode* controller, uint32_t pf, const char* value);
// How many NICPhysicalHBA instances of node's controller share node's
// PortNumber; 1 when a needed group or PortNumber is missing.
TAVO_EXPORT uint32_t get_nic_count(TavoNode* node);

TAVO_END_DECLS
