// What the simulated host holds: controllers, their PCI functions, and host
// files. Read from a plain-text topology file (see README) or built in.
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
};

// An iSCSI target on the network behind its portals, reached by every
// iSCSI function: discovery sessions to one of its portals list it, and
// logins to it must carry its CHAP credentials when it has them.
struct SimTargetPortal {
  SimAddress address;
  uint16_t port = 3260;
  uint32_t tag = 1;
};
struct SimTarget {
  std::string name;
  std::string alias;
  std::vector<SimTargetPortal> portals;
  std::string chap_name, chap_secret;      // one-way CHAP it requires; empty: none
  std::string mutual_name, mutual_secret;  // the initiator's side of mutual CHAP
  std::vector<int> persistent;             // iSCSI devices whose firmware holds it at start
};

struct Topology {
  std::vector<SimController> controllers;
  std::vector<SimFunction> functions;
  std::map<std::string, std::string> files;  // fixed host path -> content
  bool nic_driver = true;                    // cv_esx_nic present
  std::string release = "6.5.0";             // uname -r
  std::vector<SimTarget> targets;
  bool durable_fsync = false;                // fsync reaches the real disk
};

// Parses topology text; on error answers false with a message naming the line.
bool parse_topology(const std::string& text, Topology* out, std::string* error);

// Loads "default" or a topology file; on error answers false with a message.
bool load_topology(const std::string& name, Topology* out, std::string* error);

// The built-in topology named "default".
const char* default_topology_text();

// "aa:bb:cc:dd:ee:ff" (or with '-') into six bytes; false when malformed.
bool parse_mac(const std::string& text, uint8_t out[6]);

// Derived host files (esx.conf interface lines) for a topology's NIC functions.
std::string esx_conf_text(const Topology& t);

}  // namespace tavo::sim
