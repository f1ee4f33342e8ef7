// The `nic`, `iscsi` and `vf` lines of a topology: a controller's PCI
// functions, with what the firmware keeps for each at start (an iSCSI
// function's TCP/IP stack, the NIC side of any).
#include <string>

#include "simulator/topology_lines.h"

namespace tavo::sim {
namespace {

constexpr NumberKey<SimFunction> kFunctionController[] = {
    {"controller", 0, 15, store_number<&SimFunction::controller>, "bad controller"},
};
constexpr NumberKey<SimFunction> kFunctionNumbers[] = {
    {"function", 0, 255, store_number<&SimFunction::pci_function>, "function needs function=0-255", true},
    {"port", 0, 3, store_number<&SimFunction::port>, "bad port (0-3)"},
    {"mtu", 68, 9000, store_number<&SimFunction::mtu>, "bad mtu"},
    {"vfs", 0, 60, store_number<&SimFunction::vf_count>, "bad vfs (0-60)"},
};
constexpr NumberKey<SimFunction> kVfNumbers[] = {
    {"parent", 0, 255, store_number<&SimFunction::parent_pf>, "vf needs parent=<pf>", true},
};
constexpr NumberKey<SimFunction> kIscsiNumbers[] = {
    {"device", 0, 127, store_number<&SimFunction::iscsi_device>, "iscsi needs device=0-127", true},
};

// The keys every kind takes: controller=0-15 (defined above), function=,
// port=, mtu=, vfs=, mac= and factory-mac=.
std::string function_common(TopologyFields& f, const Topology& t, SimFunction* fn) {
  if (const char* why = read_number_keys(f, kFunctionController, fn)) return why;
  bool known = false;
  for (const auto& c : t.controllers) known |= c.index == fn->controller;
  if (!known) return "function of an undefined controller";
  if (const char* why = read_number_keys(f, kFunctionNumbers, fn)) return why;
  fn->mac = f.count("mac") ? f["mac"] : "00:00:00:00:00:00";
  fn->factory_mac = f.count("factory-mac") ? f["factory-mac"] : "";
  uint8_t mac[6];
  if (!parse_mac(fn->mac, mac) || (!fn->factory_mac.empty() && !parse_mac(fn->factory_mac, mac)))
    return "bad mac or factory-mac";
  return "";
}

// A PCI function is defined once per controller.
std::string function_add(Topology& t, const SimFunction& fn) {
  for (const auto& other : t.functions)
    if (other.controller == fn.controller && other.pci_function == fn.pci_function)
      return "PCI function used twice on one controller";
  t.functions.push_back(fn);
  return "";
}

// boot=pxe|ibft|disabled|none (none: no expansion ROM).
const char* function_boot(TopologyFields& f, SimNicKeys* k) {
  if (!f.count("boot")) return nullptr;
  const std::string& b = f["boot"];
  if (b != "pxe" && b != "ibft" && b != "disabled" && b != "none") return "bad boot (pxe, ibft, disabled, none)";
  k->boot_state = b == "pxe" || b == "ibft" ? 1 : 0;
  k->boot_method = b == "pxe" ? 1 : b == "ibft" ? 2 : 0;
  k->rom_enabled = b != "none";
  return nullptr;
}

// vnic=NAME[/outer VLAN/min/max bandwidth].
const char* function_vnic(TopologyFields& f, SimNicKeys* k) {
  if (!f.count("vnic")) return nullptr;
  const auto parts = split_slashes(f["vnic"]);
  long v[3] = {0, 0, 0};
  if (parts.empty() || parts[0].empty() || parts[0].size() > 87 || (parts.size() != 1 && parts.size() != 4))
    return "bad vnic (NAME[/outer/min/max])";
  for (size_t i = 1; i < parts.size(); ++i)
    if (!parse_number(parts[i], &v[i - 1]) || v[i - 1] < 0 || v[i - 1] > 0xFFFF) return "bad vnic numbers";
  k->vnic_name = parts[0];
  k->outer_vlan = static_cast<uint32_t>(v[0]);
  k->min_bandwidth = static_cast<uint32_t>(v[1]);
  k->max_bandwidth = static_cast<uint32_t>(v[2]);
  return nullptr;
}

// qos=N, fw-mode=N: 32-bit words.
const char* function_words(TopologyFields& f, SimNicKeys* k) {
  int64_t v = 0;
  if (f.count("qos")) {
    if (!parse_number_within(f["qos"], 0, 0xFFFFFFFF, &v)) return "bad qos";
    k->max_bit_rate = static_cast<uint32_t>(v);
  }
  if (f.count("fw-mode")) {
    if (!parse_number_within(f["fw-mode"], 0, 0xFFFFFFFF, &v)) return "bad fw-mode";
    k->function_mode = static_cast<uint32_t>(v);
  }
  return nullptr;
}

// Its descriptors in the profiles: roce=on|off, bw=MIN/MAX, lpvid=N,
// sriov=on|off.
const char* function_profile(TopologyFields& f, SimNicKeys* k) {
  if (f.count("roce")) {
    if (f["roce"] != "on" && f["roce"] != "off") return "bad roce (on or off)";
    k->roce = f["roce"] == "on";
  }
  if (f.count("bw")) {
    const auto parts = split_slashes(f["bw"]);
    long lo = 0, hi = 0;
    if (parts.size() != 2 || !parse_number(parts[0], &lo) || !parse_number(parts[1], &hi) || lo < 0 || hi < 0 ||
        lo > 100 || hi > 100)
      return "bad bw (MIN/MAX, percent)";
    k->min_share = static_cast<uint32_t>(lo);
    k->max_share = static_cast<uint32_t>(hi);
  }
  long v = 0;
  if (f.count("lpvid")) {
    if (!parse_number(f["lpvid"], &v) || v < 0 || v > 4095) return "bad lpvid (0-4095)";
    k->lpvid = static_cast<uint16_t>(v);
  }
  if (f.count("sriov")) {
    if (f["sriov"] != "on" && f["sriov"] != "off") return "bad sriov (on or off)";
    k->sriov = f["sriov"] == "on" ? 1 : 0;
  }
  return nullptr;
}

// What the firmware keeps for the NIC side of any function; the reason of
// a bad value, else null.
const char* function_nic_keys(TopologyFields& f, SimFunction* fn) {
  const char* why = function_boot(f, &fn->nic);
  if (why == nullptr) why = function_vnic(f, &fn->nic);
  if (why == nullptr) why = function_words(f, &fn->nic);
  if (why == nullptr) why = function_profile(f, &fn->nic);
  return why;
}

// The keys of an iSCSI function's TCP/IP stack; the reason of a bad value,
// else null.
const char* function_iscsi_stack(TopologyFields& f, SimFunction* fn) {
  if (f.count("ip")) {
    if (!parse_ipv4(f["ip"], fn->ipv4)) return "bad ip";
    const std::string mask = f.count("mask") ? f["mask"] : "255.255.255.0";
    if (!parse_ipv4(mask, fn->ipv4_mask)) return "bad mask";
  }
  if (f.count("gateway") && !parse_ipv4(f["gateway"], fn->gateway)) return "bad gateway";
  if (f.count("dhcp")) {
    if (f["dhcp"] != "on" && f["dhcp"] != "off") return "bad dhcp (on or off)";
    fn->dhcp = f["dhcp"] == "on";
  }
  long v = 0;
  if (f.count("vlan")) {
    long priority = 0;
    if (!parse_number(f["vlan"], &v) || v < 0 || v > 4094) return "bad vlan (0-4094)";
    if (f.count("priority") && (!parse_number(f["priority"], &priority) || priority < 0 || priority > 7))
      return "bad priority (0-7)";
    fn->vlan_tag = static_cast<uint32_t>(priority << 13 | v);
  }
  if (f.count("max-mtu")) {
    if (!parse_number(f["max-mtu"], &v) || v < 64 || v > 65535) return "bad max-mtu";
    fn->max_mtu = static_cast<uint32_t>(v);
  }
  if (f.count("max-speed")) {
    if (!parse_number(f["max-speed"], &v) || v < 0 || v > 255) return "bad max-speed (a code 0-255)";
    fn->max_speed = static_cast<uint32_t>(v);
  }
  return nullptr;
}

// ipv6-link-local=, ipv6=, ipv6-auto= (interface entries 0x50, 0x30,
// 0x90) and ipv6-gateway=.
const char* function_ipv6(TopologyFields& f, SimFunction* fn) {
  auto ipv6_list = [&](const char* key, uint8_t type) {
    return !f.count(key) || parse_list(f[key], [&](const std::string& t) {
      SimAddress a;
      if (!parse_address(t, type, &a) || a.type != type) return false;
      fn->ipv6.push_back(a);
      return true;
    });
  };
  if (!ipv6_list("ipv6-link-local", 0x50) || !ipv6_list("ipv6", 0x30) || !ipv6_list("ipv6-auto", 0x90))
    return "bad ipv6-link-local, ipv6 or ipv6-auto";
  SimAddress gateway;
  if (f.count("ipv6-gateway")) {
    if (!parse_address(f["ipv6-gateway"], 0x10, &gateway) || gateway.type != 0x10) return "bad ipv6-gateway";
    fn->ipv6_gateway = gateway.bytes;
  }
  return nullptr;
}

// routes=DEST/MASK/GW,.., arp=ADDRESS/MAC,.., reachable=ADDRESS,..
const char* function_tables(TopologyFields& f, SimFunction* fn) {
  if (f.count("routes") && !parse_list(f["routes"], [&](const std::string& t) {
        const auto parts = split_slashes(t);
        SimRoute r;
        if (parts.size() != 3 || !parse_ipv4(parts[0], r.destination.data()) || !parse_ipv4(parts[1], r.mask.data()) ||
            !parse_ipv4(parts[2], r.gateway.data()))
          return false;
        fn->routes.push_back(r);
        return true;
      }))
    return "bad routes (destination/mask/gateway,...)";
  if (f.count("arp") && !parse_list(f["arp"], [&](const std::string& t) {
        const auto parts = split_slashes(t);
        SimArpEntry e;
        if (parts.size() != 2 || !parse_ipv4(parts[0], e.address.data()) || !parse_mac(parts[1], e.mac.data()))
          return false;
        fn->arp.push_back(e);
        return true;
      }))
    return "bad arp (address/mac,...)";
  if (f.count("reachable") && !parse_list(f["reachable"], [&](const std::string& t) {
        SimAddress a;
        if (!parse_address(t, 0x10, &a)) return false;
        fn->reachable.push_back(a);
        return true;
      }))
    return "bad reachable";
  return nullptr;
}

// initiator-name= and initiator-alias=.
const char* function_initiator(TopologyFields& f, SimFunction* fn) {
  fn->initiator_name = f.count("initiator-name") ? f["initiator-name"] : "";
  fn->initiator_alias = f.count("initiator-alias") ? f["initiator-alias"] : "";
  if (fn->initiator_name.size() > 223 || fn->initiator_alias.size() > 31) return "initiator-name or -alias too long";
  return nullptr;
}

// A NIC function (physical or virtual): name= and the NIC side's keys.
std::string function_nic_side(TopologyFields& f, Topology& t, SimFunction& fn) {
  fn.ifname = f.count("name") ? f["name"] : "";
  if (fn.ifname.size() > 15) return "interface name too long";
  if (const char* why = function_nic_keys(f, &fn)) return why;
  return function_add(t, fn);
}

}  // namespace

std::string function_nic_line(TopologyLine& line, Topology& t) {
  SimFunction fn;
  fn.kind = FunctionKind::Nic;
  if (std::string why = function_common(line.fields, t, &fn); !why.empty()) return why;
  return function_nic_side(line.fields, t, fn);
}

std::string function_vf_line(TopologyLine& line, Topology& t) {
  SimFunction fn;
  fn.kind = FunctionKind::Nic;
  if (std::string why = function_common(line.fields, t, &fn); !why.empty()) return why;
  fn.virtual_function = true;
  if (const char* why = read_number_keys(line.fields, kVfNumbers, &fn)) return why;
  return function_nic_side(line.fields, t, fn);
}

// device=0-127 (cv2iscsi_<device>, once in the topology), vmhba=NAME
// (vmhba<32 + device> by default), its stack and tables, the NIC side.
std::string function_iscsi_line(TopologyLine& line, Topology& t) {
  TopologyFields& f = line.fields;
  SimFunction fn;
  fn.kind = FunctionKind::Iscsi;
  if (std::string why = function_common(f, t, &fn); !why.empty()) return why;
  if (const char* why = read_number_keys(f, kIscsiNumbers, &fn)) return why;
  for (const auto& other : t.functions)
    if (other.iscsi_device == fn.iscsi_device) return "iscsi device number used twice";
  fn.vmhba = f.count("vmhba") ? f["vmhba"] : "vmhba" + std::to_string(32 + fn.iscsi_device);
  const char* why = function_iscsi_stack(f, &fn);
  if (why == nullptr) why = function_ipv6(f, &fn);
  if (why == nullptr) why = function_tables(f, &fn);
  if (why == nullptr) why = function_initiator(f, &fn);
  if (why == nullptr) why = function_nic_keys(f, &fn);
  if (why != nullptr) return why;
  return function_add(t, fn);
}

}  // namespace tavo::sim
