// The `port` lines of a topology and the default state of each port by
// its controller's generation.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/topology.h"
#include "transport/device_ids.h"
#include "transport/port_records.h"

namespace tavo::sim {
namespace {

// A whole number in C syntax within lo..hi.
bool port_value(const std::string& text, long lo, long hi, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = strtol(text.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// The DCBX records a port starts with: DCBX on, eight priority groups with
// every priority in group 0, its features enabled, advertised and willing
// (negotiated and in sync in the operational view).
void port_default_dcbx(SimPort* p) {
  for (size_t view = 0; view < p->dcbx.size(); ++view) {
    DcbxConfigRecord r{};
    r.state = 1;
    r.pg_supported = 8;
    const uint32_t flags = view == kDcbxOperational ? kDcbxFlagEnabled | kDcbxFlagSynced
                                                    : kDcbxFlagEnabled | kDcbxFlagAdvertise | kDcbxFlagWilling;
    r.pg_flags = r.pfc_flags = r.app_flags = flags;
    r.pg_bandwidth[0] = 100;
    memcpy(p->dcbx[view].data(), &r, sizeof r);
  }
}

template <size_t N>
void port_text(char (&field)[N], const std::string& text) {
  snprintf(field, N, "%s", text.c_str());
}

// What the port's LLDP agent sends (every TLV on) and what the switch at
// the other end sent; the counters and the MIB of a link up some time.
void port_default_lldp(const SimController& c, SimPort* p) {
  const std::string port = std::to_string(p->port), controller = std::to_string(c.index);
  LldpConfigRecord local{};
  local.enables[0] = kLldpTransmit | kLldpReceive;
  for (size_t i = 1; i < kLldpEnableBytes; ++i) local.enables[i] = 1;
  port_text(local.chassis_id, "00-0e-1e-c" + controller + "-00-00");
  local.chassis_subtype = 4;  // MAC address
  port_text(local.port_id, "00-0e-1e-c" + controller + "-00-0" + port);
  local.port_subtype = 3;     // MAC address
  local.ttl = 120;
  port_text(local.system_name, "esx-host");
  port_text(local.system_description, "VMware ESXi");
  port_text(local.port_description, "Tessmark port " + port);
  local.capabilities = 0x80;  // station
  memcpy(p->lldp_local.data(), &local, sizeof local);
  LldpConfigRecord peer{};
  port_text(peer.chassis_id, "00-1b-21-0" + controller + "-00-00");
  peer.chassis_subtype = 4;
  port_text(peer.port_id, "Ethernet1/" + std::to_string(p->port + 1));
  peer.port_subtype = 5;      // interface name
  peer.ttl = 120;
  port_text(peer.system_name, "tor-switch-" + controller);
  port_text(peer.system_description, "Top of rack switch");
  port_text(peer.port_description, "Ethernet1/" + std::to_string(p->port + 1));
  peer.capabilities = 0x14;   // bridge, router
  memcpy(p->lldp_peer.data(), &peer, sizeof peer);
  p->lldp_stats = {120, 118, 0, 1, 2, 0, 5};
  p->dcbx_mib = {1, 2, 100, 99, 200, 199, 11, 12, 13, 1000, 900, 3};
}

// A 10GBase-T PHY some hours up: status, temperature, pair SNRs, time
// since link up, mean squared errors, LDPC frames, CRC-8 errors, events,
// and 2^32 + 123456789 frames.
void port_default_baset(SimPort* p) {
  p->baset_words = {0x1, 47, 0x1a0, 0x1a1, 0x1a2, 0x1a3, 0, 3600, 20, 21, 22, 23, 0, 1234,
                    0, 5, 2, 0, 1, 123456789, 0, 1, 0, 0, 0, 0, 0, 0};
  p->tdr_lengths = {5, 5, 6, 6};
}

SimPort port_defaults(const SimController& c, int port) {
  SimPort p;
  p.controller = c.index;
  p.port = port;
  p.active_port = static_cast<uint8_t>(port < 2 ? port : kNoActivePort);
  p.wwpn = {0x20, 0x01, 0x00, 0x0e, 0x1e, static_cast<uint8_t>(c.index), static_cast<uint8_t>(port), 0x00};
  switch (c.generation) {
    case kGenerationCV2:
      p.phy_type = 0x3;
      p.auto_speeds = p.fixed_speeds = 0x08;
      break;
    case kGenerationCV3:
      p.phy_type = 0x8;
      break;
    case kGenerationGaltor:
      p.phy_type = 0x20;
      p.interface_type = 4;  // KR
      p.auto_speeds = p.fixed_speeds = 0x08;
      break;
    case kGenerationMoravel:
      p.phy_type = 0x12;
      p.interface_type = 6;  // 10GBase-T
      p.auto_speeds = p.fixed_speeds = 0x0E;
      p.baset_stats = true;
      break;
    default:
      break;
  }
  port_default_dcbx(&p);
  port_default_lldp(c, &p);
  port_default_baset(&p);
  return p;
}

SimPort* port_add(Topology* t, int controller, int port) {
  if (SimPort* p = find_port(*t, controller, port)) return p;
  for (const SimController& c : t->controllers) {
    if (c.index != controller) continue;
    t->ports.push_back(port_defaults(c, port));
    return &t->ports.back();
  }
  return nullptr;
}

// VIEW/SLOT/SELECTOR/PROTOCOL/PRIORITIES[/OUI], VIEW admin, oper or peer.
bool port_tlv(const std::string& text, SimPort* p) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
  static const char* const kViews[] = {"admin", "oper", "peer"};
  size_t view = 3;
  for (size_t v = 0; v < 3; ++v)
    if (!parts.empty() && parts[0] == kViews[v]) view = v;
  long slot = 0, selector = 0, protocol = 0, priorities = 0, oui = 0x1B21;
  if (view == 3 || (parts.size() != 5 && parts.size() != 6) ||
      !port_value(parts[1], 0, kDcbxApplicationSlots - 1, &slot) || !port_value(parts[2], 0, 255, &selector) ||
      !port_value(parts[3], 0, 0xFFFF, &protocol) || !port_value(parts[4], 0, 255, &priorities) ||
      (parts.size() == 6 && !port_value(parts[5], 0, 0xFFFFFF, &oui)))
    return false;
  DcbxApplicationTlvEntry e{};
  e.protocol_id = static_cast<uint16_t>(protocol);
  e.protocol_selector = static_cast<uint8_t>(selector);
  e.in_use = 1;
  e.oui = static_cast<uint32_t>(oui);
  for (int i = 0; i < kDcbxPriorities; ++i) e.priority_enable[i] = (priorities >> i) & 1;
  memcpy(p->dcbx[view].data() + offsetof(DcbxConfigRecord, applications) + sizeof e * static_cast<size_t>(slot), &e,
         sizeof e);
  return true;
}

// The keys that take a number, each into its field.
template <typename Field>
bool port_number_key(std::map<std::string, std::string>& f, const char* key, long hi, Field* field) {
  long v = 0;
  if (!f.count(key)) return true;
  if (!port_value(f[key], 0, hi, &v)) return false;
  *field = static_cast<Field>(v);
  return true;
}

const char* port_words(std::map<std::string, std::string>& f, SimPort* p) {
  auto word = [&f](const char* key, std::initializer_list<const char*> allowed) {
    if (!f.count(key)) return true;
    for (const char* a : allowed)
      if (f[key] == a) return true;
    return false;
  };
  if (!word("state", {"enabled", "disabled"}) || !word("link", {"up", "down"}) ||
      !word("beacon", {"on", "off", "unsupported"}) || !word("pause", {"on", "off", "tx", "rx"}) ||
      !word("speed-list", {"yes", "no"}) || !word("transceiver", {"yes", "no"}) || !word("baset", {"yes", "no"}))
    return "bad state, link, beacon, pause, speed-list, transceiver or baset";
  if (!word("phy-loopback", {"yes", "no"}) || !word("dcbx-mode", {"cee", "cin", "auto-cee", "auto-ieee"}))
    return "bad phy-loopback or dcbx-mode";
  if (f.count("state")) p->enabled = f["state"] == "enabled";
  if (f.count("link") && f["link"] == "down") p->link_state = p->speed_code = p->logical_state = 0;
  if (f.count("beacon")) p->beacon = f["beacon"] == "on" ? 1 : f["beacon"] == "off" ? 0 : -1;
  if (f.count("pause")) {
    p->tx_pause = f["pause"] == "on" || f["pause"] == "tx";
    p->rx_pause = f["pause"] == "on" || f["pause"] == "rx";
  }
  if (f.count("speed-list")) p->speed_list = f["speed-list"] == "yes";
  if (f.count("transceiver")) p->transceiver = f["transceiver"] == "yes";
  if (f.count("baset")) p->baset_stats = f["baset"] == "yes";
  if (f.count("phy-loopback")) p->phy_loopback = f["phy-loopback"] == "yes";
  if (f.count("dcbx-mode")) {
    static const char* const kModes[] = {"cee", "cin", "auto-cee", "auto-ieee"};
    for (uint8_t m = 0; m < 4; ++m)
      if (f["dcbx-mode"] == kModes[m]) p->dcbx_mode = m;
  }
  if (f.count("loopback") && f["loopback"] == "unsupported") f["loopback"] = "254";
  return nullptr;
}

}  // namespace

SimPort* find_port(Topology& t, int controller, int port) {
  for (SimPort& p : t.ports)
    if (p.controller == controller && p.port == port) return &p;
  return nullptr;
}

const char* parse_port_line(std::map<std::string, std::string>& f, Topology* t) {
  long controller = 0, port = 0;
  if (!f.count("controller") || !port_value(f["controller"], 0, 15, &controller) || !f.count("port") ||
      !port_value(f["port"], 0, 3, &port))
    return "port needs controller=0-15 and port=0-3";
  SimPort* p = port_add(t, static_cast<int>(controller), static_cast<int>(port));
  if (p == nullptr) return "port of an undefined controller";
  if (const char* why = port_words(f, p)) return why;
  if (!port_number_key(f, "speed", 255, &p->speed_code) || !port_number_key(f, "qos-speed", 0xFFFF, &p->qos_speed) ||
      !port_number_key(f, "logical", 255, &p->logical_state) ||
      !port_number_key(f, "active-port", 255, &p->active_port) ||
      !port_number_key(f, "phy-type", 0xFFFF, &p->phy_type) ||
      !port_number_key(f, "interface", 0xFFFF, &p->interface_type) ||
      !port_number_key(f, "an-speeds", 0xFFFF, &p->auto_speeds) ||
      !port_number_key(f, "force-speeds", 0xFFFF, &p->fixed_speeds) ||
      !port_number_key(f, "configured-speed", 0xFFFF, &p->configured_speed) ||
      !port_number_key(f, "dac", 0xFFFF, &p->dac_length) ||
      !port_number_key(f, "tx-throttle", 0xFFFFFFFF, &p->tx_throttle) ||
      !port_number_key(f, "loopback", 255, &p->loopback_mode) || !port_number_key(f, "nvp", 100, &p->nvp) ||
      !port_number_key(f, "mc-type", 255, &p->mc_type))
    return "bad number in a port line";
  if (f.count("wwpn")) {
    char* end = nullptr;
    const unsigned long long v = strtoull(f["wwpn"].c_str(), &end, 16);
    if (f["wwpn"].size() != 16 || *end != '\0') return "bad wwpn (16 hexadecimal digits)";
    for (int i = 0; i < 8; ++i) p->wwpn[static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (56 - 8 * i));
  }
  if (f.count("op-modes")) {
    p->op_modes.clear();
    std::istringstream in(f["op-modes"]);
    for (std::string m; std::getline(in, m, ',');) {
      long mode = 0;
      if (!port_value(m, 0, 7, &mode)) return "bad op-modes (modes 0-7)";
      p->op_modes.push_back(static_cast<uint8_t>(mode));
    }
  }
  if (f.count("tlv")) {
    std::istringstream in(f["tlv"]);
    for (std::string one; std::getline(in, one, ',');)
      if (!port_tlv(one, p)) return "bad tlv (view/slot/selector/protocol/priorities[/oui])";
  }
  return nullptr;
}

void add_function_ports(Topology* t) {
  for (const SimFunction& fn : t->functions) port_add(t, fn.controller, fn.port);
}

}  // namespace tavo::sim
