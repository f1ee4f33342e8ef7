// What the simulated host holds: controllers, their PCI functions, and host
// files. Read from a plain-text topology file (simulator/README.md) or
// built in.
#pragma once

#include <stdint.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace tavo::sim {

struct SimController {
  int index = 0;
  uint32_t generation = 0;
  uint16_t vendor_id = 0;
  uint16_t nic_device_id = 0;
  uint16_t iscsi_device_id = 0;
  std::string serial;
  uint8_t bus = 0;
  uint8_t device = 0;
  uint8_t chip_state = 0;          // core-dump chip state: 0 alive, 1 dead
  std::vector<uint8_t> oem;        // OEM parameter record; empty: made from the serial
  // What the controller's firmware reports of itself.
  int32_t temperature = 55;        // on-die, degrees centigrade; 0: no reading
  std::string ffv;                 // FFV name; empty: not offered
  int oneview = 0;                 // OneView: 1 managed, 0 not, -1 not offered
  uint8_t link_speed = 3;          // PCI Express speed code and width
  uint8_t link_width = 8;
  uint16_t domain = 0;             // PCI domain of the iSCSI functions in esx.conf
  uint16_t ipl_number = 0;         // IPL file number and revision; ipl_name
  uint8_t ipl_revision = 0;        // empty: the name comes from the number
  std::string ipl_name;
  std::string phy_version;         // PHY firmware; empty: none
  uint32_t default_eto = 30;       // seconds, the controller attributes' default ETO
  int max_targets = -1;            // targets the firmware holds; -1: by generation
  // Its firmware images: the running and the flashed version (32/1) and
  // the ASIC revision (58/1).
  std::string firmware_version = "11.1.0.0";
  std::string flash_firmware_version = "11.1.0.0";
  uint8_t asic_revision = 0;
  // The capability word (123/1) whose bits announce the multi-channel
  // types; -1: by generation.
  int64_t mc_capabilities = -1;
  // The DDR DMA test (17/11): every n-th transfer fails to send or comes
  // back changed (0: never); the transfers so far.
  uint32_t dma_send_error_every = 0;
  uint32_t dma_miscompare_every = 0;
  uint32_t dma_transfers = 0;
};

enum class FunctionKind { Iscsi, Nic };

// An address with its firmware type: IPv4 (1, in the first 4 bytes) or
// IPv6 (0x10, or an interface entry type 0x50, 0x30, 0x90).
struct SimAddress {
  uint8_t type = 1;
  std::array<uint8_t, 16> bytes{};
};
// A static route and an ARP entry (IPv4, network order).
struct SimRoute {
  std::array<uint8_t, 4> destination{}, mask{}, gateway{};
};
struct SimArpEntry {
  std::array<uint8_t, 4> address{};
  std::array<uint8_t, 6> mac{};
};

// What the firmware keeps at start for the NIC side of a function (nic and
// iscsi line keys boot, vnic, qos, fw-mode, roce, bw, lpvid, sriov).
struct SimNicKeys {
  uint8_t boot_state = 0;      // network boot: 1 enabled
  uint8_t boot_method = 0;     // 1 PXE, 2 iBFT
  bool rom_enabled = true;     // expansion ROM (boot code) enabled
  std::string vnic_name;       // "": no vNIC
  uint32_t outer_vlan = 0, min_bandwidth = 0, max_bandwidth = 0;
  uint32_t max_bit_rate = 0;   // QoS
  uint32_t function_mode = 0;  // firmware configuration word
  bool roce = false;           // a RoCE descriptor follows its NIC one in the profiles
  // Its protocol descriptor in the profiles: bandwidth percentages, the
  // NIC's LPVID; SR-IOV: -1 not changeable, else the state (0, 1).
  uint32_t min_share = 0, max_share = 0;
  uint16_t lpvid = 0;
  int sriov = -1;
};

struct SimFunction {
  FunctionKind kind = FunctionKind::Nic;
  int controller = 0;
  uint8_t pci_function = 0;
  int port = 0;
  bool virtual_function = false;
  int parent_pf = -1;          // PCI function of the physical function of a VF
  int iscsi_device = -1;       // cv2iscsi_<n> for an iSCSI function
  std::string vmhba;           // vmhba name of an iSCSI function
  std::string ifname;          // host interface name of a NIC function
  std::string mac;             // "00:11:22:33:44:55"
  uint16_t mtu = 1500;
  uint8_t link_down_reason = 0;
  int vf_count = 0;            // VFs shown in the NIC driver's VF table
  std::string factory_mac;     // factory default MAC; "" : mac
  // The TCP/IP stack of an iSCSI function at start (addresses in network order).
  uint8_t ipv4[4] = {};
  uint8_t ipv4_mask[4] = {};
  uint8_t gateway[4] = {};
  bool dhcp = false;
  uint32_t vlan_tag = 0xFFFF;  // 65535: no VLAN
  uint32_t max_mtu = 9000;
  uint32_t max_speed = 4;      // speed code of the NIC parameters (4: 10Gb)
  std::vector<SimAddress> ipv6;               // interface entries 0x50, 0x30, 0x90
  std::array<uint8_t, 16> ipv6_gateway{};     // all zero: none
  std::vector<SimRoute> routes;
  std::vector<SimArpEntry> arp;
  std::vector<SimAddress> reachable;          // hosts that answer a ping (type 1 or 0x10)
  std::string initiator_name, initiator_alias;  // "" : a name made from the vmhba name
  SimNicKeys nic;
};

// The firmware's state of one physical port of a controller: link, PHY and
// speeds, beacon, transceiver, TX throttle, flow control, FCoE name,
// loopback, 10GBase-T statistics, operational modes and DCBX records.
// Defaults by generation; a `port` line changes them.
struct SimPort {
  int controller = 0;
  int port = 0;
  bool enabled = true;                  // 62/1, 71/1
  uint8_t link_state = 1;               // 5/1 version 1
  uint8_t speed_code = 4;               // 0 down, 1 10Mb ... 8 100Gb
  uint16_t qos_speed = 0;               // units of 10 Mb
  uint8_t logical_state = 1;
  uint8_t active_port = 0;              // 5/1 version 0; 15 none
  uint16_t phy_type = 0;                // 102/1
  uint16_t interface_type = 3;
  bool speed_list = true;               // the speed bitmaps' marker
  uint16_t auto_speeds = 0x0C;
  uint16_t fixed_speeds = 0x0C;
  uint16_t configured_speed = 0;        // 134/1, set by 57/1
  uint16_t dac_length = 0;
  int beacon = 0;                       // 70/1, 69/1: 1 on, 0 off, -1 not supported
  uint8_t beacon_duration = 0;
  uint8_t status_duration = 0;
  bool transceiver = true;              // 73/1
  uint32_t tx_throttle = 2;             // 133/1, 132/1
  uint8_t tx_pause = 1;                 // 37/1, 205/1
  uint8_t rx_pause = 1;
  std::array<uint8_t, 8> wwpn{};        // 121/1 bytes 348-355
  uint8_t loopback_mode = 255;          // 20/11, 19/11; 255 none set, 254 no loopback
  bool baset_stats = false;             // 8/18 and the other 10GBase-T commands
  std::vector<uint8_t> op_modes;        // 108/1: one descriptor per mode
  std::array<std::array<uint8_t, 368>, 3> dcbx{};  // 1/16 by view: 0 admin, 1 oper, 2 peer; 2/16
  int erased = 0;                       // 7/1 erases of region 15
  // DCBX mode (4/16, 5/16: 0 CEE .. 3 Auto-IEEE) and MIB counters (3/16):
  // operating and highest version, sequence, ack, peer sequence, peer ack,
  // application, PG and PFC feature sequences, packets sent, received,
  // dropped.
  uint8_t dcbx_mode = 3;
  std::array<uint32_t, 12> dcbx_mib{};
  // LLDP (1/15, 2/15, 3/15): the local agent's and the peer's records and
  // the counters (sent, received, -, dropped, unrecognized, -,
  // organizational, ...).
  std::array<uint8_t, 1576> lldp_local{}, lldp_peer{};
  std::array<uint32_t, 12> lldp_stats{};
  // Loopback: the other port of a two-port mode, PHY loopback offered
  // (32/1 byte 417), and what a test (18/11) answers: its status, the
  // loops done each way and the milliseconds (-1: all loops, 2 ms each).
  int loopback_partner = -1;
  bool phy_loopback = true;
  uint32_t loop_status = 0;
  int64_t loop_sent = -1, loop_received = -1, loop_ms = -1;
  // 10GBase-T: the statistics words (8/18), counter clears asked, the self
  // test's result (9/18), TDR results and lengths (11/18) and NVP (12/18,
  // 10/18).
  std::array<uint32_t, 28> baset_words{};
  int baset_clears = 0;
  uint32_t selftest_result = 0;
  uint32_t tdr_results = 0;
  std::array<uint32_t, 4> tdr_lengths{};
  uint32_t nvp = 72;
  // The multi-channel type code of its port descriptor in the profiles,
  // and how the embedded switch forwards its traffic (152/1, 153/1: 2 VEB,
  // 3 VEPA).
  uint8_t mc_type = 1;
  uint16_t forwarding = 2;
};

// An iSCSI target on the network behind its portals, reached by every
// iSCSI function: discovery sessions to one of its portals list it, and
// logins to it must carry its CHAP credentials when it has them.
struct SimTargetPortal {
  SimAddress address;
  uint16_t port = 3260;
  uint32_t tag = 1;
};
// A logical unit behind a target: its 8-byte LUN (SCSI order), capacity,
// what INQUIRY answers, and a small disk of the blocks written to it
// (others read as zeros). check_conditions: the next commands that answer
// CHECK CONDITION (-1: every one).
struct SimLun {
  std::array<uint8_t, 8> id{};
  uint64_t blocks = 2048;
  uint32_t block_size = 512;
  uint8_t type = 0;                        // peripheral device type
  std::string vendor = "TESSMARK", product = "VDISK", serial;
  int check_conditions = 0;
  std::map<uint64_t, std::vector<uint8_t>> written;  // by block address
};

struct SimTarget {
  std::string name;
  std::string alias;
  std::vector<SimTargetPortal> portals;
  std::string chap_name, chap_secret;      // one-way CHAP it requires; empty: none
  std::string mutual_name, mutual_secret;  // the initiator's side of mutual CHAP
  std::vector<int> persistent;             // iSCSI devices whose firmware holds it at start
  std::vector<int> logged_in;              // of those, the ones logged in to it at start
  // Digests a login must (1) or must not (0) ask for; -1: either.
  int header_digest = -1, data_digest = -1;
  std::vector<SimLun> luns;                // REPORT LUNS order
};

struct Topology {
  std::vector<SimController> controllers;
  std::vector<SimFunction> functions;
  std::vector<SimPort> ports;
  std::map<std::string, std::string> files;  // fixed host path -> content
  bool nic_driver = true;                    // cv_esx_nic present
  std::string release = "6.5.0";             // uname -r
  std::vector<SimTarget> targets;
  bool durable_fsync = false;                // fsync reaches the real disk
  uint64_t fingerprint = 0;                  // of the text it was read from
};

// Parses topology text; on error answers false with a message naming the line.
bool parse_topology(const std::string& text, Topology* out, std::string* error);

// Loads "default" or a topology file; on error answers false with a message.
bool load_topology(const std::string& name, Topology* out, std::string* error);

// The built-in topology named "default".
const char* default_topology_text();

// "aa:bb:cc:dd:ee:ff" (or with '-') into six bytes; false when malformed.
bool parse_mac(const std::string& text, uint8_t out[6]);

// The state of a controller's port; null for a port nothing defined.
SimPort* find_port(Topology& t, int controller, int port);

// Derived host files (esx.conf interface lines) for a topology's NIC functions.
std::string esx_conf_text(const Topology& t);

}  // namespace tavo::sim
