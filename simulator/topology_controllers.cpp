// The `controller` lines of a topology: an adapter, its PCI identity and
// what its firmware reports of itself.
#include <stdio.h>

#include <string>

#include "ids/device_ids.h"
#include "simulator/topology_lines.h"

namespace tavo::sim {
namespace {

// The PCI identity; the generation's device IDs, the first vendor ID,
// bus 2 + 2 x index and device 0 stand where a key is absent.
constexpr NumberKey<SimController> kControllerNumbers[] = {
    {"nic-device-id", 0, 0xFFFF, store_number<&SimController::nic_device_id>, "bad nic-device-id"},
    {"iscsi-device-id", 0, 0xFFFF, store_number<&SimController::iscsi_device_id>, "bad iscsi-device-id"},
    {"vendor", 0, 0xFFFF, store_number<&SimController::vendor_id>, "bad vendor"},
    {"bus", 0, 255, store_number<&SimController::bus>, "bad bus"},
    {"device", 0, 31, store_number<&SimController::device>, "bad device"},
};

// Its index (the one bare word, 0-15) and generation=cv2|cv3|galtor|moravel
// (cv3 by default) with the generation's device IDs.
std::string controller_identity(TopologyLine& line, SimController* c) {
  long v = 0;
  if (line.bare.size() != 1 || !parse_number(line.bare[0], &v) || v < 0 || v > 15)
    return "controller needs its index 0-15";
  c->index = static_cast<int>(v);
  TopologyFields& f = line.fields;
  const std::string gen = f.count("generation") ? f["generation"] : "cv3";
  const GenerationDeviceIds* ids = nullptr;
  for (const auto& g : kGenerationDeviceIds)
    if (gen == g.name) ids = &g;
  if (ids == nullptr) return "unknown generation " + gen;
  c->generation = ids->generation;
  c->nic_device_id = ids->nic_device_id;
  c->iscsi_device_id = ids->iscsi_device_id;
  c->vendor_id = kVendorIds[0];
  c->bus = static_cast<uint8_t>(2 + 2 * c->index);
  return "";
}

// chip-state=alive|dead|0-255 (alive by default).
bool controller_chip_state(TopologyFields& f, SimController* c) {
  const std::string state = f.count("chip-state") ? f["chip-state"] : "alive";
  if (state == "alive" || state == "dead") {
    c->chip_state = state == "dead" ? 1 : 0;
    return true;
  }
  long v = 0;
  if (!parse_number(state, &v) || v < 0 || v > 255) return false;
  c->chip_state = static_cast<uint8_t>(v);
  return true;
}

// What a controller's firmware reports of itself: defaults by generation,
// then temperature=N ffv=TEXT oneview=enabled|disabled|none
// pcie=<speed code>x<width> domain=N.
bool controller_reports(TopologyFields& f, SimController* c) {
  const bool cv3 = c->generation == kGenerationCV3, moravel = c->generation == kGenerationMoravel;
  c->ipl_number = cv3 ? 12 : moravel ? 260 : 0;
  c->ipl_revision = cv3 || moravel ? 0x1A : 0;
  if (c->generation == kGenerationCV2) c->ipl_name = "CV2IPL_A1";
  if (c->generation != kGenerationGaltor) c->phy_version = "PHY 2.4.1";
  long v = 0;
  if (f.count("temperature")) {
    if (!parse_number(f["temperature"], &v) || v < -273 || v > 1000) return false;
    c->temperature = static_cast<int32_t>(v);
  }
  if (f.count("ffv")) {
    if (f["ffv"].size() > 32) return false;
    c->ffv = f["ffv"];
  }
  if (f.count("oneview")) {
    const std::string& o = f["oneview"];
    if (o != "enabled" && o != "disabled" && o != "none") return false;
    c->oneview = o == "enabled" ? 1 : o == "disabled" ? 0 : -1;
  }
  if (f.count("pcie")) {
    unsigned speed = 0, width = 0;
    char extra = 0;
    if (sscanf(f["pcie"].c_str(), "%ux%u%c", &speed, &width, &extra) != 2 || speed > 7 || width > 63) return false;
    c->link_speed = static_cast<uint8_t>(speed);
    c->link_width = static_cast<uint8_t>(width);
  }
  if (f.count("domain")) {
    if (!parse_number(f["domain"], &v) || v < 0 || v > 0xFFFF) return false;
    c->domain = static_cast<uint16_t>(v);
  }
  return true;
}

// The controller's default ETO (eto=0-3600) and the most targets its
// firmware holds (max-targets=0-65535).
bool controller_targets(TopologyFields& f, SimController* c) {
  long v = 0;
  if (f.count("eto")) {
    if (!parse_number(f["eto"], &v) || v < 0 || v > 3600) return false;
    c->default_eto = static_cast<uint32_t>(v);
  }
  if (f.count("max-targets")) {
    if (!parse_number(f["max-targets"], &v) || v < 0 || v > 0xFFFF) return false;
    c->max_targets = static_cast<int>(v);
  }
  return true;
}

// The firmware images: firmware=TEXT (running, and flashed unless
// flash-firmware=TEXT says otherwise) asic=N; and the multi-channel
// capability word mc-caps=N.
bool controller_images(TopologyFields& f, SimController* c) {
  if (f.count("firmware")) {
    if (f["firmware"].empty() || f["firmware"].size() > 31) return false;
    c->firmware_version = c->flash_firmware_version = f["firmware"];
  }
  if (f.count("flash-firmware")) {
    if (f["flash-firmware"].empty() || f["flash-firmware"].size() > 31) return false;
    c->flash_firmware_version = f["flash-firmware"];
  }
  long v = 0;
  if (f.count("asic")) {
    if (!parse_number(f["asic"], &v) || v < 0 || v > 255) return false;
    c->asic_revision = static_cast<uint8_t>(v);
  }
  int64_t word = 0;
  if (f.count("mc-caps")) {
    if (!parse_number_within(f["mc-caps"], 0, 0xFFFFFFFF, &word)) return false;
    c->mc_capabilities = word;
  }
  return true;
}

}  // namespace

std::string controller_line(TopologyLine& line, Topology& t) {
  SimController c;
  TopologyFields& f = line.fields;
  if (std::string why = controller_identity(line, &c); !why.empty()) return why;
  if (const char* why = read_number_keys(f, kControllerNumbers, &c)) return why;
  c.serial = f.count("serial") ? f["serial"] : "TM" + std::to_string(c.index);
  if (!controller_chip_state(f, &c)) return "bad chip-state";
  if (f.count("oem") && !parse_hex_bytes(f["oem"], 44, &c.oem)) return "bad oem (up to 44 hex bytes)";
  if (!controller_reports(f, &c)) return "bad temperature, ffv, oneview, pcie or domain";
  if (!controller_targets(f, &c)) return "bad eto (0-3600) or max-targets (0-65535)";
  if (!controller_images(f, &c)) return "bad firmware, flash-firmware, asic or mc-caps";
  for (const auto& other : t.controllers)
    if (other.index == c.index) return "controller defined twice";
  t.controllers.push_back(c);
  return "";
}

}  // namespace tavo::sim
