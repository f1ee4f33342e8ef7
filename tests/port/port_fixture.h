// A client over one controller of each generation, with their ports (the
// controllers with iSCSI functions are numbered first):
//   Corvane0 CV3 (topology controller 0):     port 0 NIC (a vNIC), port 1
//                                             iSCSI (cv2iscsi_0) and NIC
//   Corvane1 Moravel (topology controller 2): port 1 iSCSI (cv2iscsi_1) and
//                                             NIC, port 3 NIC
//   Corvane2 Galtor (topology controller 1):  port 0 NIC
//   Corvane3 CV2 (topology controller 3):     port 0 NIC
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "port/port.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {

inline constexpr char kPortTopology[] =
    "controller 0 generation=cv3 serial=C bus=3\n"
    "nic controller=0 function=0 port=0 name=vmnic0 vnic=v0\n"
    "nic controller=0 function=1 port=1 name=vmnic1\n"
    "iscsi controller=0 function=2 port=1 device=0\n"
    "controller 1 generation=galtor serial=G bus=5\n"
    "nic controller=1 function=0 port=0 name=vmnic2\n"
    "controller 2 generation=moravel serial=M bus=7\n"
    "nic controller=2 function=0 port=1 name=vmnic3\n"
    "nic controller=2 function=1 port=3 name=vmnic4\n"
    "iscsi controller=2 function=2 port=1 device=1\n"
    "controller 3 generation=cv2 serial=V bus=9\n"
    "nic controller=3 function=0 port=0 name=vmnic5\n";

// The port instance of each controller's first port above.
inline constexpr char kCv3Port[] = "Corvane0/PortDiscoveryAndConfiguration0";
inline constexpr char kCv3IscsiPort[] = "Corvane0/PortDiscoveryAndConfiguration1";
inline constexpr char kMoravelPort[] = "Corvane1/PortDiscoveryAndConfiguration0";  // port 1
inline constexpr char kGaltorPort[] = "Corvane2/PortDiscoveryAndConfiguration0";
inline constexpr char kCv2Port[] = "Corvane3/PortDiscoveryAndConfiguration0";

using Bytes = std::vector<uint8_t>;
// An action parameter that is not given.
inline const std::string kNotGiven(1, static_cast<char>(TAVO_NOT_GIVEN));
using Status = std::pair<uint32_t, std::string>;

class PortTest : public ClientTest {
 protected:
  explicit PortTest(const char* topology = kPortTopology) : ClientTest(topology) {}
  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  // The firmware's state of a port of the topology's controller.
  sim::SimPort& fw(int controller, int port) { return *sim::find_port(sim_->topology(), controller, port); }
  // A property's stored text, without its handler.
  std::string stored(const std::string& path) { return tree::property_record(node(path))->value; }
  // An action at path, or a write of the property at path: the result,
  // then the last status.
  std::pair<uint32_t, Status> run(const std::string& path, const std::vector<std::string>& params) {
    const uint32_t result = act(path, params);
    return {result, last_status()};
  }
  std::pair<uint32_t, Status> write(const std::string& path, const std::string& value) {
    const uint32_t result = set(path, value);
    return {result, last_status()};
  }
};

}  // namespace tavo::test
