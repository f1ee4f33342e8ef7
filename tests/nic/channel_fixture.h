// What the channel, QoS and SR-IOV tests share: a CV3, a Moravel, a CV2
// and a Galtor whose functions carry bandwidths, LPVIDs and SR-IOV states
// in their profiles, paths to their channels, and edits of the profile
// images the simulated firmware keeps.
#pragma once

#include <string.h>

#include <string>
#include <vector>

#include "nic/channels.h"
#include "tests/nic/profile_fixture.h"

namespace tavo::test {

using Bytes = std::vector<uint8_t>;
using Status = std::pair<uint32_t, std::string>;

// Corvane0: CV3 (port 0: NIC PF 0 and iSCSI PF 2; port 1: NIC PF 1);
// Corvane1: Moravel (port 0: NIC PF 0 with RoCE and iSCSI PF 2; port 1:
// NIC PF 1); Corvane2: CV2; Corvane3: Galtor.
inline constexpr char kChannelTopology[] =
    "controller 0 generation=cv3 serial=C bus=3\n"
    "controller 1 generation=moravel serial=M bus=7\n"
    "controller 2 generation=cv2 serial=V bus=9\n"
    "controller 3 generation=galtor serial=G bus=5\n"
    "iscsi controller=0 function=2 port=0 device=0 mac=00:0e:1e:30:00:02 bw=20/40\n"
    "nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:30:00:00 bw=10/60 lpvid=5 sriov=off vnic=blue\n"
    "nic controller=0 function=1 port=1 name=vmnic1 mac=00:0e:1e:30:00:01\n"
    "iscsi controller=1 function=2 port=0 device=1 mac=00:0e:1e:70:00:02 bw=10/25\n"
    "nic controller=1 function=0 port=0 name=vmnic2 mac=00:0e:1e:70:00:00 bw=25/100 lpvid=7 sriov=off roce=on\n"
    "nic controller=1 function=1 port=1 name=vmnic3 mac=00:0e:1e:70:00:01 sriov=on\n"
    "nic controller=2 function=0 port=0 name=vmnic4 qos=900\n"
    "nic controller=3 function=0 port=0 name=vmnic5 sriov=on\n";

inline constexpr char kCv3Channel[] = "Corvane0/PortDiscoveryAndConfiguration0/ChannelManagement/Channel0/";
inline constexpr char kCv3Iscsi[] = "Corvane0/PortDiscoveryAndConfiguration0/ChannelManagement/Channel1/";
inline constexpr char kMoravelChannel[] = "Corvane1/PortDiscoveryAndConfiguration0/ChannelManagement/Channel0/";

class ChannelTest : public ClientTest {
 protected:
  ChannelTest() : ClientTest(kChannelTopology) {}

  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  // A profile image of the controller ("active", "configured", "common").
  Bytes& image(int controller, const std::string& which) { return sim_->flash(controller)["/cfg/profile/" + which]; }
  // Every descriptor of the image of that type gets value at offset
  // (width bytes).
  void edit(int controller, const std::string& which, uint8_t type, size_t offset, uint32_t value, size_t width = 1) {
    Bytes& b = image(controller, which);
    walk_profile_descriptors(b.data(), b.size(), [&](uint8_t* d, size_t length) {
      if (d[0] == type && offset + width <= length) memcpy(d + offset, &value, width);
      return true;
    });
  }
  // The ActiveProfile view of a Moravel built again from its image.
  uint32_t reload_active(const std::string& controller) {
    const std::string view = controller + "/ProfileManagement/ActiveProfile";
    return purge_nodes_within(node(view), "Port") == 0 ? TAVO_get_active_profiles(node(controller)) : 1;
  }
  // The one descriptor of the last 165/1 request (a partial write).
  Bytes written() {
    const Bytes p = last_payload(1, 165);
    return p.size() >= 96 ? Bytes(p.begin() + 8, p.begin() + 96) : Bytes{};
  }
  std::string channels(const std::string& port) {
    std::string out;
    for (const std::string& c : children(port + "/ChannelManagement", TAVO_KIND_GROUP)) {
      const std::string at = port + "/ChannelManagement/" + c + "/";
      out += c + ":" + get(at + "FunctionNumber") + "," + get(at + "Type") + "," + get(at + "MACAddress") + ";";
    }
    return out;
  }
};

inline uint32_t u32_of(const Bytes& b, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= b.size()) memcpy(&v, b.data() + at, 4);
  return v;
}
inline uint16_t u16_of(const Bytes& b, size_t at) {
  uint16_t v = 0;
  if (at + 2 <= b.size()) memcpy(&v, b.data() + at, 2);
  return v;
}

}  // namespace tavo::test
