// The `port` lines of a topology and the default state of each port by
// its controller's generation.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "ids/device_ids.h"
#include "simulator/topology_lines.h"
#include "transport/port_records.h"

namespace tavo::sim {
namespace {

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
  const std::vector<std::string> parts = split_slashes(text);
  static const char* const kViews[] = {"admin", "oper", "peer"};
  size_t view = 3;
  for (size_t v = 0; v < 3; ++v)
    if (!parts.empty() && parts[0] == kViews[v]) view = v;
  int64_t slot = 0, selector = 0, protocol = 0, priorities = 0, oui = 0x1B21;
  if (view == 3 || (parts.size() != 5 && parts.size() != 6) ||
      !parse_number_within(parts[1], 0, kDcbxApplicationSlots - 1, &slot) ||
      !parse_number_within(parts[2], 0, 255, &selector) || !parse_number_within(parts[3], 0, 0xFFFF, &protocol) ||
      !parse_number_within(parts[4], 0, 255, &priorities) ||
      (parts.size() == 6 && !parse_number_within(parts[5], 0, 0xFFFFFF, &oui)))
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

constexpr const char* kBadPortNumber = "bad number in a port line";

// The keys that take a number, each into its field.
constexpr NumberKey<SimPort> kPortNumbers[] = {
    {"speed", 0, 255, store_number<&SimPort::speed_code>, kBadPortNumber},
    {"qos-speed", 0, 0xFFFF, store_number<&SimPort::qos_speed>, kBadPortNumber},
    {"logical", 0, 255, store_number<&SimPort::logical_state>, kBadPortNumber},
    {"active-port", 0, 255, store_number<&SimPort::active_port>, kBadPortNumber},
    {"phy-type", 0, 0xFFFF, store_number<&SimPort::phy_type>, kBadPortNumber},
    {"interface", 0, 0xFFFF, store_number<&SimPort::interface_type>, kBadPortNumber},
    {"an-speeds", 0, 0xFFFF, store_number<&SimPort::auto_speeds>, kBadPortNumber},
    {"force-speeds", 0, 0xFFFF, store_number<&SimPort::fixed_speeds>, kBadPortNumber},
    {"configured-speed", 0, 0xFFFF, store_number<&SimPort::configured_speed>, kBadPortNumber},
    {"dac", 0, 0xFFFF, store_number<&SimPort::dac_length>, kBadPortNumber},
    {"tx-throttle", 0, 0xFFFFFFFF, store_number<&SimPort::tx_throttle>, kBadPortNumber},
    {"loopback", 0, 255, store_number<&SimPort::loopback_mode>, kBadPortNumber},
    {"nvp", 0, 100, store_number<&SimPort::nvp>, kBadPortNumber},
    {"mc-type", 0, 255, store_number<&SimPort::mc_type>, kBadPortNumber},
};

// A key that takes one of a few words, and what each does to the port.
struct PortWord {
  const char* key;
  std::array<std::string_view, 4> allowed;  // empty past the last
  void (*apply)(SimPort& p, const std::string& word);
  const char* why;
};

constexpr const char* kBadPortWord = "bad state, link, beacon, pause, speed-list, transceiver or baset";
constexpr const char* kBadPortMode = "bad phy-loopback or dcbx-mode";
constexpr std::string_view kDcbxModes[] = {"cee", "cin", "auto-cee", "auto-ieee"};

constexpr PortWord kPortWords[] = {
    {"state", {"enabled", "disabled"}, [](SimPort& p, const std::string& w) { p.enabled = w == "enabled"; },
     kBadPortWord},
    {"link", {"up", "down"},
     [](SimPort& p, const std::string& w) {
       if (w == "down") p.link_state = p.speed_code = p.logical_state = 0;
     },
     kBadPortWord},
    {"beacon", {"on", "off", "unsupported"},
     [](SimPort& p, const std::string& w) { p.beacon = w == "on" ? 1 : w == "off" ? 0 : -1; }, kBadPortWord},
    {"pause", {"on", "off", "tx", "rx"},
     [](SimPort& p, const std::string& w) {
       p.tx_pause = w == "on" || w == "tx";
       p.rx_pause = w == "on" || w == "rx";
     },
     kBadPortWord},
    {"speed-list", {"yes", "no"}, [](SimPort& p, const std::string& w) { p.speed_list = w == "yes"; }, kBadPortWord},
    {"transceiver", {"yes", "no"}, [](SimPort& p, const std::string& w) { p.transceiver = w == "yes"; },
     kBadPortWord},
    {"baset", {"yes", "no"}, [](SimPort& p, const std::string& w) { p.baset_stats = w == "yes"; }, kBadPortWord},
    {"phy-loopback", {"yes", "no"}, [](SimPort& p, const std::string& w) { p.phy_loopback = w == "yes"; },
     kBadPortMode},
    {"dcbx-mode", {kDcbxModes[0], kDcbxModes[1], kDcbxModes[2], kDcbxModes[3]},
     [](SimPort& p, const std::string& w) {
       for (uint8_t m = 0; m < 4; ++m)
         if (w == kDcbxModes[m]) p.dcbx_mode = m;
     },
     kBadPortMode},
};

// The word keys in order; the reason of the first bad one, else null.
const char* port_words(const TopologyFields& f, SimPort* p) {
  for (const PortWord& row : kPortWords) {
    auto it = f.find(row.key);
    if (it == f.end()) continue;
    if (std::none_of(row.allowed.begin(), row.allowed.end(),
                     [&](std::string_view a) { return !a.empty() && a == it->second; }))
      return row.why;
    row.apply(*p, it->second);
  }
  return nullptr;
}

// wwpn=16 hexadecimal digits.
bool port_wwpn(TopologyFields& f, SimPort* p) {
  if (!f.count("wwpn")) return true;
  char* end = nullptr;
  const unsigned long long v = strtoull(f["wwpn"].c_str(), &end, 16);
  if (f["wwpn"].size() != 16 || *end != '\0') return false;
  for (int i = 0; i < 8; ++i) p->wwpn[static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (56 - 8 * i));
  return true;
}

// op-modes=M,.. (modes 0-7), one descriptor each.
bool port_op_modes(TopologyFields& f, SimPort* p) {
  if (!f.count("op-modes")) return true;
  p->op_modes.clear();
  return parse_list(f["op-modes"], [&](const std::string& m) {
    int64_t mode = 0;
    if (!parse_number_within(m, 0, 7, &mode)) return false;
    p->op_modes.push_back(static_cast<uint8_t>(mode));
    return true;
  });
}

}  // namespace

SimPort* find_port(Topology& t, int controller, int port) {
  for (SimPort& p : t.ports)
    if (p.controller == controller && p.port == port) return &p;
  return nullptr;
}

// controller=0-15 port=0-3, then its word keys, number keys (loopback also
// takes "unsupported"), wwpn, op-modes and tlv.
std::string port_line(TopologyLine& line, Topology& t) {
  TopologyFields& f = line.fields;
  int64_t controller = 0, port = 0;
  if (!f.count("controller") || !parse_number_within(f["controller"], 0, 15, &controller) || !f.count("port") ||
      !parse_number_within(f["port"], 0, 3, &port))
    return "port needs controller=0-15 and port=0-3";
  SimPort* p = port_add(&t, static_cast<int>(controller), static_cast<int>(port));
  if (p == nullptr) return "port of an undefined controller";
  if (const char* why = port_words(f, p)) return why;
  if (f.count("loopback") && f["loopback"] == "unsupported") f["loopback"] = "254";
  if (const char* why = read_number_keys(f, kPortNumbers, p)) return why;
  if (!port_wwpn(f, p)) return "bad wwpn (16 hexadecimal digits)";
  if (!port_op_modes(f, p)) return "bad op-modes (modes 0-7)";
  if (f.count("tlv") && !parse_list(f["tlv"], [&](const std::string& one) { return port_tlv(one, p); }))
    return "bad tlv (view/slot/selector/protocol/priorities[/oui])";
  return "";
}

void port_add_function_ports(Topology* t) {
  for (const SimFunction& fn : t->functions) port_add(t, fn.controller, fn.port);
}

}  // namespace tavo::sim
