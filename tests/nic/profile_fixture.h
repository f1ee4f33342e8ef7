// What the profile tests share: two Moravel controllers and a CV3, profile
// configurations built descriptor by descriptor for the simulated
// firmware, and config_prof.txt.
#pragma once

#include <string.h>

#include <string>
#include <vector>

#include "tests/nic/nic_fixture.h"
#include "transport/profile_records.h"

namespace tavo::test {

using Bytes = std::vector<uint8_t>;

// Corvane0: Moravel MA (PF 0 NIC on port 0, PF 1 NIC with RoCE on port 1,
// PF 2 iSCSI on port 0); Corvane1: Moravel MB (PF 0 NIC); Corvane2: CV3.
inline constexpr char kProfileTopology[] =
    "controller 0 generation=moravel serial=MA bus=7\n"
    "controller 1 generation=moravel serial=MB bus=9\n"
    "controller 2 generation=cv3 serial=C bus=3\n"
    "iscsi controller=0 function=2 port=0 device=0 mac=00:0e:1e:60:00:02\n"
    "nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:60:00:00\n"
    "nic controller=0 function=1 port=1 name=vmnic1 mac=00:0e:1e:60:00:01 roce=on\n"
    "nic controller=1 function=0 port=0 name=vmnic2 mac=00:0e:1e:70:00:00\n"
    "nic controller=2 function=0 port=0 name=vmnic3 mac=00:0e:1e:30:00:00\n";

// The text of a failed save of config_prof.txt, up to its reason.
inline constexpr char kCprofUnsaved[] = "Failed to save /etc/config/QVL/tavo/config_prof.txt: ";

// The lines the start-up writes for the two Moravel controllers.
inline constexpr char kStartupLines[] =
    "MA,0x7,2,None,0x0,NIC,N/A\n"
    "MA,0x7,2,None,0x2,iSCSI,N/A\n"
    "MA,0x7,2,None,0x1,NIC,N/A\n"
    "MA,0x7,2,None,0x1,NIC+RoCE,N/A\n"
    "MB,0x9,2,None,0x0,NIC,N/A\n";

template <typename Descriptor>
Bytes descriptor_bytes(const Descriptor& d) {
  const auto* b = reinterpret_cast<const uint8_t*>(&d);
  return Bytes(b, b + sizeof d);
}

template <typename Descriptor>
Descriptor descriptor_of(uint8_t type, uint16_t pf, uint8_t flags = 0) {
  Descriptor d{};
  d.head.type = type;
  d.head.length = sizeof d;
  d.head.flags = flags;
  d.head.pf = pf;
  return d;
}

inline Bytes pci_function(uint16_t pf, uint8_t state, uint8_t type, uint8_t roles, uint8_t changeable = 0,
                          uint8_t sriov = 0) {
  auto d = descriptor_of<ProfilePciFunctionDescriptor>(kProfilePciFunction, pf);
  d.pf_state = state;
  d.pf_type = type;
  d.mission_roles = roles;
  d.changeable = changeable;
  d.sriov_state = sriov;
  return descriptor_bytes(d);
}

template <typename Descriptor>
Bytes placed(uint8_t type, uint16_t pf, uint8_t link, uint8_t mac_last, uint8_t flags) {
  const uint8_t mac[6] = {0x00, 0x0e, 0x1e, 0x99, 0x00, mac_last};
  auto d = descriptor_of<Descriptor>(type, pf, flags);
  d.link = link;
  memcpy(d.mac, mac, 6);
  return descriptor_bytes(d);
}

// A NIC, iSCSI or FCoE descriptor on link whose MAC ends in mac_last.
inline Bytes protocol(uint8_t type, uint16_t pf, uint8_t link, uint8_t mac_last, uint8_t flags = 0) {
  if (type == kProfileIscsi) return placed<ProfileIscsiDescriptor>(type, pf, link, mac_last, flags);
  if (type == kProfileFcoe) return placed<ProfileFcoeDescriptor>(type, pf, link, mac_last, flags);
  return placed<ProfileNicDescriptor>(kProfileNic, pf, link, mac_last, flags);
}

inline Bytes roce(uint16_t pf, uint8_t flags = 0) {
  return descriptor_bytes(descriptor_of<ProfileRoceDescriptor>(kProfileRoce, pf, flags));
}

inline Bytes port_descriptor(uint8_t link, uint8_t mc_type, uint16_t max_pf, uint16_t nic = 1, uint16_t iscsi = 0,
                             uint16_t fcoe = 0, uint16_t roce_count = 0, uint16_t storage = 0) {
  ProfilePortDescriptor p{};
  p.type = kProfilePort;
  p.length = sizeof p;
  p.link = link;
  p.mc_type = mc_type;
  p.max_pf_count = max_pf;
  p.nic_count = nic;
  p.iscsi_count = iscsi;
  p.fcoe_count = fcoe;
  p.roce_count = roce_count;
  p.max_storage_count = storage;
  return descriptor_bytes(p);
}

// A reply image: the u16 count, then the descriptors.
inline Bytes profile_image(const std::vector<Bytes>& descriptors) {
  Bytes image(4, 0);
  const auto count = static_cast<uint16_t>(descriptors.size());
  memcpy(image.data(), &count, sizeof count);
  for (const Bytes& d : descriptors) image.insert(image.end(), d.begin(), d.end());
  return image;
}

class ProfileTest : public ClientTest {
 protected:
  ProfileTest() : ClientTest(kProfileTopology) {}

  TavoNode* node(const std::string& path) { return get_node(tag(path)); }
  // Starts again with flash objects planted in the controllers' firmware.
  uint32_t restart_with(const std::vector<std::pair<int, std::pair<std::string, Bytes>>>& objects) {
    use(kProfileTopology);
    for (const auto& [controller, object] : objects) sim_->flash(controller)[object.first] = object.second;
    return TAVO_init();
  }
  std::string lines() { return read_file(root_.at("/etc/config/QVL/tavo/config_prof.txt")); }
  void put_lines(const std::string& text) { write_file(root_.at("/etc/config/QVL/tavo/config_prof.txt"), text); }
  // The Port instances of a view with, per port, its functions' values of
  // one property joined by ",".
  std::vector<std::string> view(const std::string& path, const char* property) {
    std::vector<std::string> out;
    for (const std::string& port : children(path, TAVO_KIND_GROUP)) {
      if (port.rfind("Port", 0) != 0) continue;
      std::string functions;
      for (const std::string& f : children(path + "/" + port, TAVO_KIND_GROUP))
        functions += (functions.empty() ? "" : ",") + get(path + "/" + port + "/" + f + "/" + property);
      out.push_back(port + ":" + functions);
    }
    return out;
  }
};

inline constexpr char kConfigured[] = "Corvane0/ProfileManagement/ConfiguredProfile";
inline constexpr char kActive[] = "Corvane0/ProfileManagement/ActiveProfile";

}  // namespace tavo::test
