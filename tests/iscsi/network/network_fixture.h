// A client over two iSCSI functions with their TCP/IP stacks: function 0
// (cv2iscsi_0, PCI function 2) has a static address and a gateway,
// function 1 (cv2iscsi_1, PCI function 3) an address from DHCP.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/client_fixture.h"

namespace tavo::test {

inline constexpr char kNetworkTopology[] =
    "controller 0 generation=cv3 serial=NET1 bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 mac=00:0e:1e:30:00:02 factory-mac=00:0e:1e:3f:00:02 "
    "ip=10.0.0.5 gateway=10.0.0.1\n"
    "iscsi controller=0 function=3 port=1 device=1 mac=00:0e:1e:30:00:03 dhcp=on ip=10.0.1.7 max-speed=5 "
    "max-mtu=1500\n"
    "nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:30:00:00 factory-mac=00:0e:1e:3f:00:00\n";

// IPv6, tables, iSNS and the initiator name: a Moravel whose function 0
// holds IPv6 addresses, a gateway, a route, an ARP entry, hosts that answer
// a ping and an initiator name, a second function on auto-assignment, and
// a CV3 (no IPv6).
inline constexpr char kTablesTopology[] =
    "controller 0 generation=moravel serial=TAB1 bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 mac=00:0e:1e:50:00:02 ip=10.0.0.5 gateway=10.0.0.1 "
    "ipv6-link-local=fe80::2 ipv6=2001:db8::5,2001:db8::6 ipv6-gateway=2001:db8::1 "
    "routes=10.2.0.0/255.255.0.0/10.0.0.1 arp=10.0.0.1/00:1a:2b:3c:4d:5e reachable=10.0.0.1,fe80::1 "
    "initiator-name=iqn.2001-04.com.example:host0 initiator-alias=host0\n"
    "iscsi controller=0 function=3 port=1 device=1 mac=00:0e:1e:50:00:03 ipv6-auto=2001:db8::90\n"
    "controller 1 generation=cv3 serial=TAB2 bus=5\n"
    "iscsi controller=1 function=2 port=0 device=2 mac=00:0e:1e:30:00:02\n";

inline constexpr char kTcpip0[] = "Corvane0/iSCSIPhysicalHBA0/Network/TCPIPConfiguration";
inline constexpr char kTcpip1[] = "Corvane0/iSCSIPhysicalHBA1/Network/TCPIPConfiguration";
inline constexpr char kNic0[] = "Corvane0/iSCSIPhysicalHBA0/Network/NICConfiguration";
inline constexpr char kNic1[] = "Corvane0/iSCSIPhysicalHBA1/Network/NICConfiguration";

// The firmware answers status 3 to the command (after skip of them pass).
sim::Fault refusal(uint8_t subsystem, uint8_t opcode, int skip = 0);
// Four bytes as "a.b.c.d".
std::string dotted(const uint8_t* bytes);
// The little-endian u32 at offset at (0 past the end).
uint32_t word(const std::vector<uint8_t>& payload, size_t at);
// The message the branch leaves with a status code ("" for 0).
std::string message_of(uint32_t code);

class NetworkTest : public ClientTest {
 protected:
  explicit NetworkTest(const char* topology = kNetworkTopology) : ClientTest(topology) {}

  // Runs an action of the group at path; nullopt and missing parameters are
  // not given.
  uint32_t act(const std::string& group, const std::string& action,
               const std::vector<std::optional<std::string>>& params = {});
  // The changes sent since the log was last cleared, in order: "21del",
  // "21add", "23del", "23add", "17", "18", "14".
  std::string changes();
  // Payload of the last request of that subsystem and opcode.
  std::vector<uint8_t> last_payload(uint8_t subsystem, uint8_t opcode);
  void refuse(uint8_t subsystem, uint8_t opcode, int skip = 0) { sim_->inject(refusal(subsystem, opcode, skip)); }
  sim::SimNetwork& stack(int device) { return *sim_->network(device); }
  std::string text() { return last_status().second; }
  // The last status is code with its message; code 1 is the generic
  // failure of whatever failed ("<what> failed. Please check ...").
  void expect_status(uint32_t code);
  // A Session under LogicalHBA0/Target0 of function 0, open in the
  // firmware with its boot flag as given, its iSCSIBoot text shown (the
  // tree's tear-down removes it).
  void add_session(bool boot, const char* shown);
};

}  // namespace tavo::test
