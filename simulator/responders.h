// Firmware responders installed in every simulator, one installer per area.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "simulator/topology.h"
#include "transport/firmware_records.h"
#include "transport/nic_records.h"

namespace tavo::sim {

class Simulator;
struct MailboxCall;
struct SimPort;
struct SimIscsi;

void install_standard_responders(Simulator& sim);

// Writes an answer of n bytes at the payload's start: what fits, the rest
// of the payload cleared, each byte written once. Answers the bytes that fit.
size_t fill_payload(MailboxCall& call, const void* bytes, size_t n);

// Flash component query, write and region erase (6/1, 7/1) and
// personalities (113/1, 114/1).
void install_transport_responders(Simulator& sim);

// Controller attributes (32/1), management service (88/1), OEM record
// (76/1), core-dump properties (21/11), configuration signature (78/1,
// 79/1) and the virtual-function probe 58/1.
void install_backend_responders(Simulator& sim);

// Additional attributes (121/1), function VPD (91/1), FFV name (2/19), FRU
// VPD (3/19), boot configuration (66/1, 67/1), features (191/1) and PCI
// configuration reads (72/1).
void install_controller_responders(Simulator& sim);

// The function layout and personality: profile configuration (164/1,
// 165/1), legacy configuration (81/1, 82/1), reboot flag (84/1) and factory
// profile (169/1), with the profile store of simulator/profile_store.h.
void install_personality_responders(Simulator& sim);

// NC-SI attributes (86/1, 87/1).
void install_ncsi_responders(Simulator& sim);

// Named flash objects (171/1, 172/1).
void install_object_responders(Simulator& sim);

// The NIC side of functions: MAC list (147/1), OEM exec configuration
// (4/21), expansion-ROM bitmap (83/1), vNIC name and status (120/1, 64/1),
// QoS (27/1, 28/1) and switch type (124/1).
void install_nic_responders(Simulator& sim);
// The capability word (123/1) and the switch forwarding type of each port
// (152/1, 153/1).
void install_channel_responders(Simulator& sim);
// Core-dump components, segments and pieces (22/11, 23/11, 24/11), and the
// firmware command line (24/11).
void install_dump_responders(Simulator& sim);
// The event log (63/2, 62/2), FAT data (68/1), the extended FAT
// configuration (125/1, 126/1) and the ARM log (127/1, 128/1, 130/1).
void install_log_responders(Simulator& sim);
// The core-dump properties (21/11) of a controller.
CoreDumpProperties coredump_properties(const SimController& c);

// The model number the firmware reports for a generation.
const char* model_of(uint32_t generation);

// The TCP/IP stack of iSCSI functions: interfaces and IPv4 and IPv6
// addresses (24/2, 25/2, 21/2), default gateway (22/2, 23/2), DHCP (17/2, 18/2), VLAN
// (14/2), NIC parameters (7/2) and MAC queries (1/1 types 0 and 9).
void install_network_responders(Simulator& sim);

// Its tables and blocks: routes (10/2, 11/2), ARP entries (8/2, 9/2), ping
// (6/2), the discovery parameters (28/2, 29/2) and the initiator name block
// (6/6, 7/6), each per domain.
void install_network_table_responders(Simulator& sim);

// The iSCSI sessions and targets of each function: logins and discovery
// sessions (23/6, 24/6), persistent targets (27/6, 28/6), the session list
// and records (29/6, 14/6), held targets (30/6, 32/6) and SendTargets
// (33/6, 34/6).
void install_iscsi_responders(Simulator& sim);
// SCSI commands to the LUNs of a session's target (59/6) and the boot
// settings: a session's boot flags (52/6, 53/6) and boot LUN (54/6, 55/6),
// the function's BIOS configuration (57/6, 58/6).
void install_lun_responders(Simulator& sim);
// A session's configuration (16/6, 17/6), the node attributes (30/2) and
// the initiator's and sessions' statistics (46/6, 47/6, 48/6).
void install_session_responders(Simulator& sim);
// The iSCSI state of the calling function; null for a call of no iSCSI
// function.
SimIscsi* iscsi_state_of(Simulator& sim, const MailboxCall& call);
// An erase of the iSCSI configuration: the persistent targets of the
// controller's iSCSI functions go (open sessions stay, no longer persistent).
void erase_iscsi_configuration(Simulator& sim, int controller);
// The most targets the controller's firmware holds, into a firmware
// configuration record (58/1).
void fill_target_limits(const SimController& c, FirmwareConfig* config);
// The port commands, with state per port (SimPort).
void install_port_responders(Simulator& sim);
// What the other areas' answers hold of the port the header names: its
// FCoE world-wide port name (121/1), an erase of its region 15 (7/1).
void port_fcoe_wwpn(Simulator& sim, const MailboxCall& call, uint8_t wwpn[8]);
void port_note_erase(Simulator& sim, const MailboxCall& call, uint32_t region);
// Page A0 (wire address 160) or A2 of a port's transceiver.
void port_transceiver_page(const SimPort& port, uint32_t wire_address, uint8_t out[256]);

// Every catalogue command answers success with its request bytes inverted
// (for conformance tests; not installed by default).
void install_catalogue_responders(Simulator& sim);

}  // namespace tavo::sim
