// Firmware answers of the controller branch, with state per controller:
// additional attributes (121/1), function VPD (91/1, versions 0 and 1), FFV
// name (2/19), FRU VPD (3/19), boot configuration (66/1, 67/1, per function), features
// (191/1) and PCI configuration reads (72/1, refused on a vf function).
#include <string.h>

#include <algorithm>
#include <string>

#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusNotSupported = 66;
constexpr uint8_t kStatusNotOnVf = 5;
constexpr size_t kFruVpdSize = 1280;
constexpr char kFfvObject[] = "/cfg/ffv";

MailboxReply controller_refused() { return MailboxReply{kStatusNotSupported, 0, 0}; }

bool controller_known(const MailboxCall& call) { return call.function != nullptr && call.controller != nullptr; }

template <size_t N>
void controller_text(char (&field)[N], const std::string& text) {
  memset(field, 0, N);
  memcpy(field, text.data(), std::min(N, text.size()));
}

// Reads the request's record and writes the answer back into the payload;
// a request shorter than the record is refused.
template <typename Record>
bool controller_request(const MailboxCall& call, Record* record) {
  if (call.payload.size() < sizeof *record) return false;
  memcpy(record, call.payload.data(), sizeof *record);
  return true;
}

template <typename Record>
MailboxReply controller_answer(MailboxCall& call, const Record& record) {
  memcpy(call.payload.data(), &record, sizeof record);
  return MailboxReply{};
}

MailboxReply controller_additional(Simulator& sim, MailboxCall& call) {
  AdditionalControllerAttributes a{};
  if (!controller_known(call) || !controller_request(call, &a)) return controller_refused();
  const SimController& c = *call.controller;
  a = AdditionalControllerAttributes{};
  a.ipl_number = c.ipl_number;
  a.ipl_revision = c.ipl_revision;
  a.temperature = c.temperature;
  for (size_t i = 0; i < 8; ++i) controller_text(a.option_rom_versions[i], "11.1." + std::to_string(i) + ".0");
  controller_text(a.pxe_bios_version, "11.1.8.0");
  port_fcoe_wwpn(sim, call, a.fcoe_wwpn);
  controller_text(a.phy_firmware_version, c.phy_version);
  controller_text(a.phy_configuration_id, c.phy_version.empty() ? "" : "5A3C");
  controller_text(a.ipl_name, c.ipl_name);
  return controller_answer(call, a);
}

// PCI-style VPD: the identifier string, the read-only keywords (part and
// serial number, the function) and the end tag.
MailboxReply controller_vpd(Simulator&, MailboxCall& call) {
  if (!controller_known(call) || call.payload.size() < kVpdPayload) return controller_refused();
  const SimController& c = *call.controller;
  std::string vpd;
  auto tagged = [&vpd](uint8_t tag, const std::string& body) {
    vpd += static_cast<char>(tag);
    vpd += static_cast<char>(body.size() & 0xFF);
    vpd += static_cast<char>(body.size() >> 8);
    vpd += body;
  };
  auto keyword = [](const char* name, const std::string& value) {
    return std::string(name) + static_cast<char>(value.size()) + value;
  };
  const std::string model = model_of(c.generation);
  tagged(0x82, "Quorvel Tessmark " + model);
  tagged(0x90, keyword("PN", model) + keyword("SN", c.serial) +
                   keyword("V0", std::to_string(call.function->pci_function)));
  vpd += static_cast<char>(0x78);
  std::fill(call.payload.begin(), call.payload.begin() + kVpdData, 0);
  memcpy(call.payload.data(), vpd.data(), std::min<size_t>(vpd.size(), kVpdData));
  return MailboxReply{};
}

// The name written last, else the topology's; none offered answers 66.
MailboxReply controller_ffv(Simulator& sim, MailboxCall& call) {
  FfvParams p{};
  if (!controller_known(call) || !controller_request(call, &p)) return controller_refused();
  auto& objects = sim.flash(call.controller->index);
  if (p.operation == kFfvWrite) {
    objects[kFfvObject].assign(p.name, p.name + std::min<size_t>(p.length, sizeof p.name));
    return MailboxReply{};
  }
  auto it = objects.find(kFfvObject);
  const std::string name =
      it != objects.end() ? std::string(it->second.begin(), it->second.end()) : call.controller->ffv;
  if (name.empty()) return controller_refused();
  p = FfvParams{};
  p.length = static_cast<uint8_t>(std::min(name.size(), sizeof p.name));
  memcpy(p.name, name.data(), p.length);
  return controller_answer(call, p);
}

// Block of the controller's 1,280 bytes: byte i holds (i + 16 x controller)
// mod 256.
MailboxReply controller_fru_vpd(Simulator&, MailboxCall& call) {
  FruVpdRequest r{};
  if (!controller_known(call) || !controller_request(call, &r)) return controller_refused();
  if (r.offset >= kFruVpdSize || r.length > kFruVpdSize - r.offset || r.length > call.payload.size())
    return controller_refused();
  for (uint32_t i = 0; i < r.length; ++i)
    call.payload[i] = static_cast<uint8_t>(r.offset + i + 16u * static_cast<uint32_t>(call.controller->index));
  return MailboxReply{};
}

// Each function's own (native mode starts enabled, network boot from the
// topology); a write keeps the 8 bytes it was given.
MailboxReply controller_boot_config(Simulator& sim, MailboxCall& call) {
  BootConfig config{};
  if (!controller_known(call) || !controller_request(call, &config)) return controller_refused();
  BootConfig& stored = sim.nic_state(*call.function).boot;
  if (call.header.opcode == 67) {
    stored = config;
    return MailboxReply{};
  }
  return controller_answer(call, stored);
}

MailboxReply controller_features(Simulator&, MailboxCall& call) {
  FeatureRecord f{};
  if (!controller_known(call) || !controller_request(call, &f)) return controller_refused();
  if (f.code != kFeatureOneView || call.controller->oneview < 0) return controller_refused();
  f.flags = call.controller->oneview == 1 ? 1 : 0;
  return controller_answer(call, f);
}

// The asked bytes of the function's configuration space, at their own
// offsets in the data area.
MailboxReply controller_pci_config(Simulator& sim, MailboxCall& call) {
  PciConfigRead r{};
  if (!controller_known(call) || !controller_request(call, &r)) return controller_refused();
  if (call.function->virtual_function) return MailboxReply{kStatusNotOnVf, 0, 0};
  if (r.offset >= sizeof r.data || r.length > sizeof r.data - r.offset) return controller_refused();
  const std::vector<uint8_t> cfg = sim.pci_config_space(*call.function);
  memcpy(r.data + r.offset, cfg.data() + r.offset, r.length);
  return controller_answer(call, r);
}

}  // namespace

void install_controller_responders(Simulator& sim) {
  sim.on(1, 121, controller_additional);
  sim.on(1, 91, controller_vpd);
  sim.on(19, 2, controller_ffv);
  sim.on(19, 3, controller_fru_vpd);
  sim.on(1, 66, controller_boot_config);
  sim.on(1, 67, controller_boot_config);
  sim.on(1, 191, controller_features);
  sim.on(1, 72, controller_pci_config);
}

}  // namespace tavo::sim
