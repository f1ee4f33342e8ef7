#include "simulator/topology.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "transport/device_ids.h"

namespace tavo::sim {
namespace {

const char kDefault[] = R"(# Three Tessmark adapters: a CV3, a Galtor and a Moravel.
controller 0 generation=cv3 serial=TM3C00000101 bus=3 device=0
controller 1 generation=galtor serial=TM4G00000202 bus=5 device=0 vendor=0xF1A1
controller 2 generation=moravel serial=TM5M00000303 bus=7 device=0

nic controller=0 function=0 port=0 name=vmnic0 mac=00:0e:1e:30:00:00
nic controller=0 function=1 port=1 name=vmnic1 mac=00:0e:1e:30:00:01
iscsi controller=0 function=2 port=0 device=0 vmhba=vmhba32 mac=00:0e:1e:30:00:02 ip=192.168.10.21 gateway=192.168.10.1
iscsi controller=0 function=3 port=1 device=1 vmhba=vmhba33 mac=00:0e:1e:30:00:03 ip=192.168.20.21
target name=iqn.2026-12.com.example:store0 portal=192.168.10.50/3260/1 alias=store0 logged-in=0
lun target=iqn.2026-12.com.example:store0 id=0 blocks=4194304 product=VDISK-BOOT serial=STORE0-L0
lun target=iqn.2026-12.com.example:store0 id=1 blocks=0x40000000 block-size=4096 product=VDISK-DATA serial=STORE0-L1

nic controller=1 function=0 port=0 name=vmnic2 mac=00:0e:1e:40:00:00 vfs=2
nic controller=1 function=1 port=1 name=vmnic3 mac=00:0e:1e:40:00:01
iscsi controller=1 function=2 port=0 device=2 vmhba=vmhba34 mac=00:0e:1e:40:00:02 dhcp=on ip=172.16.5.40

nic controller=2 function=0 port=0 name=vmnic4 mac=00:0e:1e:50:00:00
nic controller=2 function=1 port=1 name=vmnic5 mac=00:0e:1e:50:00:01
nic controller=2 function=2 port=2 name=vmnic6 mac=00:0e:1e:50:00:02 mtu=9000
nic controller=2 function=3 port=3 name=vmnic7 mac=00:0e:1e:50:00:03
iscsi controller=2 function=4 port=0 device=4 vmhba=vmhba36 mac=00:0e:1e:50:00:04 ip=10.1.0.21 mask=255.255.0.0
iscsi controller=2 function=5 port=1 device=5 vmhba=vmhba37 mac=00:0e:1e:50:00:05 max-speed=6

# The iSCSI application TLV on the CV3's first port; no cable on the Moravel's last.
port controller=0 port=0 tlv=admin/0/1/3260/0x10,oper/0/1/3260/0x10,peer/0/1/3260/0x10
port controller=2 port=3 link=down

release 6.5.0
file /etc/vmware-release VMware ESXi 6.5.0 build-0000000
file /etc/issue.net VMware ESXi 6.5.0
file /etc/banner VMware ESXi 6.5.0
)";

bool parse_number(const std::string& text, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 0);
  if (end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

// Hexadecimal digit pairs, at most max bytes.
bool parse_hex_bytes(const std::string& text, size_t max, std::vector<uint8_t>* out) {
  if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > max) return false;
  out->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    long v = 0;
    if (!isxdigit(static_cast<unsigned char>(text[i])) || !isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !parse_number("0x" + text.substr(i, 2), &v))
      return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

// "a.b.c.d" into four bytes.
bool parse_ipv4(const std::string& text, uint8_t out[4]) {
  unsigned b[4];
  char end = 0;
  if (sscanf(text.c_str(), "%u.%u.%u.%u%c", &b[0], &b[1], &b[2], &b[3], &end) != 4) return false;
  for (int i = 0; i < 4; ++i) {
    if (b[i] > 255) return false;
    out[i] = static_cast<uint8_t>(b[i]);
  }
  return true;
}

// An IPv4 or IPv6 text; IPv6 takes type v6_type.
bool parse_address(const std::string& text, uint8_t v6_type, SimAddress* out) {
  out->bytes = {};
  if (parse_ipv4(text, out->bytes.data())) {
    out->type = 1;
    return true;
  }
  out->type = v6_type;
  return inet_pton(AF_INET6, text.c_str(), out->bytes.data()) == 1;
}

// The comma-separated items of a value, each read by item; false at the
// first it refuses.
template <typename Item>
bool parse_list(const std::string& text, Item item) {
  std::istringstream in(text);
  std::string one;
  while (std::getline(in, one, ','))
    if (!item(one)) return false;
  return true;
}

// Slash-separated parts of one list item.
std::vector<std::string> split_slashes(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  std::string part;
  while (std::getline(in, part, '/')) parts.push_back(part);
  return parts;
}

// An iSCSI function's IPv6 addresses, routes, ARP entries, ping answers
// and initiator name; the reason of a bad value, else null.
const char* parse_iscsi_tables(std::map<std::string, std::string>& f, SimFunction* fn) {
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
  fn->initiator_name = f.count("initiator-name") ? f["initiator-name"] : "";
  fn->initiator_alias = f.count("initiator-alias") ? f["initiator-alias"] : "";
  if (fn->initiator_name.size() > 223 || fn->initiator_alias.size() > 31) return "initiator-name or -alias too long";
  return nullptr;
}

// key=value words after the first word of a line.
bool parse_fields(std::istringstream& in, std::map<std::string, std::string>* fields,
                  std::vector<std::string>* bare) {
  std::string word;
  while (in >> word) {
    auto eq = word.find('=');
    if (eq == std::string::npos) {
      bare->push_back(word);
    } else {
      (*fields)[word.substr(0, eq)] = word.substr(eq + 1);
    }
  }
  return true;
}

// The controller's default ETO (eto=0-3600) and the most targets its
// firmware holds (max-targets=0-65535).
bool parse_controller_targets(std::map<std::string, std::string>& f, SimController* c) {
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

// A target line: name=IQN portal=ADDRESS/PORT[/TAG] (one or more, comma
// separated) alias=TEXT chap=NAME/SECRET mutual=NAME/SECRET
// persistent=DEVICE,..; the reason of a bad value, else null.
const char* parse_target(std::map<std::string, std::string>& f, SimTarget* t) {
  t->name = f.count("name") ? f["name"] : "";
  if (t->name.empty() || t->name.size() > 223) return "target needs name=<1-223 characters>";
  t->alias = f.count("alias") ? f["alias"] : "";
  if (t->alias.size() > 31) return "alias too long";
  if (!f.count("portal") || !parse_list(f["portal"], [&](const std::string& text) {
        const auto parts = split_slashes(text);
        SimTargetPortal p;
        long v = 0;
        if (parts.size() < 2 || parts.size() > 3 || !parse_address(parts[0], 0x10, &p.address)) return false;
        if (!parse_number(parts[1], &v) || v < 1 || v > 65535) return false;
        p.port = static_cast<uint16_t>(v);
        if (parts.size() == 3 && (!parse_number(parts[2], &v) || v < 0 || v > 65535)) return false;
        if (parts.size() == 3) p.tag = static_cast<uint32_t>(v);
        t->portals.push_back(p);
        return true;
      }))
    return "target needs portal=address/port[/tag],...";
  auto credentials = [&](const char* key, std::string* name, std::string* secret) {
    if (!f.count(key)) return true;
    const auto parts = split_slashes(f[key]);
    if (parts.size() != 2 || parts[0].empty() || parts[1].empty() || parts[1].size() > 16) return false;
    *name = parts[0];
    *secret = parts[1];
    return true;
  };
  if (!credentials("chap", &t->chap_name, &t->chap_secret) ||
      !credentials("mutual", &t->mutual_name, &t->mutual_secret))
    return "bad chap or mutual (name/secret, at most 16 secret characters)";
  if (f.count("persistent") && !parse_list(f["persistent"], [&](const std::string& text) {
        long v = 0;
        if (!parse_number(text, &v) || v < 0 || v > 127) return false;
        t->persistent.push_back(static_cast<int>(v));
        return true;
      }))
    return "bad persistent (iSCSI device numbers)";
  if (f.count("logged-in") && !parse_list(f["logged-in"], [&](const std::string& text) {
        long v = 0;
        if (!parse_number(text, &v) || v < 0 || v > 127) return false;
        t->logged_in.push_back(static_cast<int>(v));
        if (std::find(t->persistent.begin(), t->persistent.end(), v) == t->persistent.end())
          t->persistent.push_back(static_cast<int>(v));
        return true;
      }))
    return "bad logged-in (iSCSI device numbers)";
  for (auto [key, digest] : {std::pair{"header-digest", &t->header_digest}, {"data-digest", &t->data_digest}}) {
    if (!f.count(key)) continue;
    if (f[key] != "required" && f[key] != "prohibited") return "bad digest (required or prohibited)";
    *digest = f[key] == "required" ? 1 : 0;
  }
  return nullptr;
}

// What a controller's firmware reports of itself: defaults by generation,
// then temperature=N ffv=TEXT oneview=enabled|disabled|none
// pcie=<speed code>x<width> domain=N.
bool parse_controller_firmware(std::map<std::string, std::string>& f, SimController* c) {
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

// The firmware images: firmware=TEXT (running, and flashed unless
// flash-firmware=TEXT says otherwise) asic=N.
bool parse_controller_images(std::map<std::string, std::string>& f, SimController* c) {
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
  if (f.count("mc-caps")) {
    if (!parse_number(f["mc-caps"], &v) || v < 0 || static_cast<unsigned long>(v) > 0xFFFFFFFFUL) return false;
    c->mc_capabilities = v;
  }
  return true;
}

// The keys of an iSCSI function's TCP/IP stack; the reason of a bad value,
// else null.
const char* parse_iscsi_stack(std::map<std::string, std::string>& f, SimFunction* fn) {
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

}  // namespace

// boot=pxe|ibft|disabled|none (none: no expansion ROM), vnic=NAME[/outer
// VLAN/min/max bandwidth], qos=N, fw-mode=N, roce=on|off, bw=MIN/MAX,
// lpvid=N, sriov=on|off.
const char* parse_nic_keys(std::map<std::string, std::string>& f, SimFunction* fn) {
  SimNicKeys& k = fn->nic;
  if (f.count("boot")) {
    const std::string& b = f["boot"];
    if (b != "pxe" && b != "ibft" && b != "disabled" && b != "none") return "bad boot (pxe, ibft, disabled, none)";
    k.boot_state = b == "pxe" || b == "ibft" ? 1 : 0;
    k.boot_method = b == "pxe" ? 1 : b == "ibft" ? 2 : 0;
    k.rom_enabled = b != "none";
  }
  if (f.count("vnic")) {
    const auto parts = split_slashes(f["vnic"]);
    long v[3] = {0, 0, 0};
    if (parts.empty() || parts[0].empty() || parts[0].size() > 87 || (parts.size() != 1 && parts.size() != 4))
      return "bad vnic (NAME[/outer/min/max])";
    for (size_t i = 1; i < parts.size(); ++i)
      if (!parse_number(parts[i], &v[i - 1]) || v[i - 1] < 0 || v[i - 1] > 0xFFFF) return "bad vnic numbers";
    k.vnic_name = parts[0];
    k.outer_vlan = static_cast<uint32_t>(v[0]);
    k.min_bandwidth = static_cast<uint32_t>(v[1]);
    k.max_bandwidth = static_cast<uint32_t>(v[2]);
  }
  long v = 0;
  if (f.count("qos")) {
    if (!parse_number(f["qos"], &v) || v < 0 || static_cast<unsigned long>(v) > 0xFFFFFFFFUL) return "bad qos";
    k.max_bit_rate = static_cast<uint32_t>(v);
  }
  if (f.count("fw-mode")) {
    if (!parse_number(f["fw-mode"], &v) || v < 0 || static_cast<unsigned long>(v) > 0xFFFFFFFFUL) return "bad fw-mode";
    k.function_mode = static_cast<uint32_t>(v);
  }
  if (f.count("roce")) {
    if (f["roce"] != "on" && f["roce"] != "off") return "bad roce (on or off)";
    k.roce = f["roce"] == "on";
  }
  if (f.count("bw")) {
    const auto parts = split_slashes(f["bw"]);
    long lo = 0, hi = 0;
    if (parts.size() != 2 || !parse_number(parts[0], &lo) || !parse_number(parts[1], &hi) || lo < 0 || hi < 0 ||
        lo > 100 || hi > 100)
      return "bad bw (MIN/MAX, percent)";
    k.min_share = static_cast<uint32_t>(lo);
    k.max_share = static_cast<uint32_t>(hi);
  }
  if (f.count("lpvid")) {
    if (!parse_number(f["lpvid"], &v) || v < 0 || v > 4095) return "bad lpvid (0-4095)";
    k.lpvid = static_cast<uint16_t>(v);
  }
  if (f.count("sriov")) {
    if (f["sriov"] != "on" && f["sriov"] != "off") return "bad sriov (on or off)";
    k.sriov = f["sriov"] == "on" ? 1 : 0;
  }
  return nullptr;
}

bool parse_mac(const std::string& text, uint8_t out[6]) {
  unsigned b[6];
  char end = 0;
  const int n = text.find('-') != std::string::npos
                    ? sscanf(text.c_str(), "%x-%x-%x-%x-%x-%x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &end)
                    : sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &end);
  if (n != 6) return false;
  for (int i = 0; i < 6; ++i) {
    if (b[i] > 255) return false;
    out[i] = static_cast<uint8_t>(b[i]);
  }
  return true;
}

const char* default_topology_text() { return kDefault; }

bool parse_topology(const std::string& text, Topology* out, std::string* error) {
  Topology t;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(lines, line)) {
    ++number;
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream in(line);
    std::string kind;
    if (!(in >> kind)) continue;
    if (kind == "file") {
      std::string path;
      if (!(in >> path)) return fail("file needs a path");
      std::string rest;
      std::getline(in, rest);
      size_t start = rest.find_first_not_of(' ');
      rest = start == std::string::npos ? "" : rest.substr(start);
      std::string content;
      for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == 'n') {
          content += '\n';
          ++i;
        } else {
          content += rest[i];
        }
      }
      t.files[path] = content + "\n";
      continue;
    }
    if (kind == "release") {
      if (!(in >> t.release)) return fail("release needs a text");
      continue;
    }
    if (kind == "no-nic-driver") {
      t.nic_driver = false;
      continue;
    }
    if (kind == "durable-fsync") {
      t.durable_fsync = true;
      continue;
    }
    std::map<std::string, std::string> f;
    std::vector<std::string> bare;
    parse_fields(in, &f, &bare);
    auto num = [&](const char* key, long def, long lo, long hi, long* v) {
      auto it = f.find(key);
      if (it == f.end()) {
        *v = def;
        return true;
      }
      return parse_number(it->second, v) && *v >= lo && *v <= hi;
    };
    if (kind == "controller") {
      SimController c;
      long v = 0;
      if (bare.size() != 1 || !parse_number(bare[0], &v) || v < 0 || v > 15)
        return fail("controller needs its index 0-15");
      c.index = static_cast<int>(v);
      std::string gen = f.count("generation") ? f["generation"] : "cv3";
      const GenerationDeviceIds* ids = nullptr;
      for (const auto& g : kGenerationDeviceIds)
        if (gen == g.name) ids = &g;
      if (ids == nullptr) return fail("unknown generation " + gen);
      c.generation = ids->generation;
      c.nic_device_id = ids->nic_device_id;
      c.iscsi_device_id = ids->iscsi_device_id;
      if (!num("nic-device-id", c.nic_device_id, 0, 0xFFFF, &v)) return fail("bad nic-device-id");
      c.nic_device_id = static_cast<uint16_t>(v);
      if (!num("iscsi-device-id", c.iscsi_device_id, 0, 0xFFFF, &v)) return fail("bad iscsi-device-id");
      c.iscsi_device_id = static_cast<uint16_t>(v);
      if (!num("vendor", kVendorIds[0], 0, 0xFFFF, &v)) return fail("bad vendor");
      c.vendor_id = static_cast<uint16_t>(v);
      if (!num("bus", 2 + 2 * c.index, 0, 255, &v)) return fail("bad bus");
      c.bus = static_cast<uint8_t>(v);
      if (!num("device", 0, 0, 31, &v)) return fail("bad device");
      c.device = static_cast<uint8_t>(v);
      c.serial = f.count("serial") ? f["serial"] : "TM" + std::to_string(c.index);
      const std::string state = f.count("chip-state") ? f["chip-state"] : "alive";
      if (state == "alive" || state == "dead") {
        c.chip_state = state == "dead" ? 1 : 0;
      } else {
        if (!parse_number(state, &v) || v < 0 || v > 255) return fail("bad chip-state");
        c.chip_state = static_cast<uint8_t>(v);
      }
      if (f.count("oem") && !parse_hex_bytes(f["oem"], 44, &c.oem)) return fail("bad oem (up to 44 hex bytes)");
      if (!parse_controller_firmware(f, &c)) return fail("bad temperature, ffv, oneview, pcie or domain");
      if (!parse_controller_targets(f, &c)) return fail("bad eto (0-3600) or max-targets (0-65535)");
      if (!parse_controller_images(f, &c)) return fail("bad firmware, flash-firmware, asic or mc-caps");
      for (const auto& other : t.controllers)
        if (other.index == c.index) return fail("controller defined twice");
      t.controllers.push_back(c);
      continue;
    }
    if (kind == "nic" || kind == "iscsi" || kind == "vf") {
      SimFunction fn;
      fn.kind = kind == "iscsi" ? FunctionKind::Iscsi : FunctionKind::Nic;
      long v = 0;
      if (!num("controller", 0, 0, 15, &v)) return fail("bad controller");
      fn.controller = static_cast<int>(v);
      bool known = false;
      for (const auto& c : t.controllers) known |= c.index == fn.controller;
      if (!known) return fail("function of an undefined controller");
      if (!f.count("function") || !num("function", 0, 0, 255, &v)) return fail("function needs function=0-255");
      fn.pci_function = static_cast<uint8_t>(v);
      if (!num("port", 0, 0, 3, &v)) return fail("bad port (0-3)");
      fn.port = static_cast<int>(v);
      if (!num("mtu", 1500, 68, 9000, &v)) return fail("bad mtu");
      fn.mtu = static_cast<uint16_t>(v);
      if (!num("vfs", 0, 0, 60, &v)) return fail("bad vfs (0-60)");
      fn.vf_count = static_cast<int>(v);
      fn.mac = f.count("mac") ? f["mac"] : "00:00:00:00:00:00";
      fn.factory_mac = f.count("factory-mac") ? f["factory-mac"] : "";
      uint8_t mac[6];
      if (!parse_mac(fn.mac, mac) || (!fn.factory_mac.empty() && !parse_mac(fn.factory_mac, mac)))
        return fail("bad mac or factory-mac");
      if (kind == "vf") {
        fn.virtual_function = true;
        if (!f.count("parent") || !num("parent", 0, 0, 255, &v)) return fail("vf needs parent=<pf>");
        fn.parent_pf = static_cast<int>(v);
      }
      if (fn.kind == FunctionKind::Iscsi) {
        if (!f.count("device") || !num("device", 0, 0, 127, &v)) return fail("iscsi needs device=0-127");
        fn.iscsi_device = static_cast<int>(v);
        for (const auto& other : t.functions)
          if (other.iscsi_device == fn.iscsi_device) return fail("iscsi device number used twice");
        fn.vmhba = f.count("vmhba") ? f["vmhba"] : "vmhba" + std::to_string(32 + fn.iscsi_device);
        const char* why = parse_iscsi_stack(f, &fn);
        if (why == nullptr) why = parse_iscsi_tables(f, &fn);
        if (why == nullptr) why = parse_nic_keys(f, &fn);
        if (why != nullptr) return fail(why);
      } else {
        fn.ifname = f.count("name") ? f["name"] : "";
        if (fn.ifname.size() > 15) return fail("interface name too long");
        if (const char* why = parse_nic_keys(f, &fn)) return fail(why);
      }
      for (const auto& other : t.functions)
        if (other.controller == fn.controller && other.pci_function == fn.pci_function)
          return fail("PCI function used twice on one controller");
      t.functions.push_back(fn);
      continue;
    }
    if (kind == "target") {
      SimTarget target;
      if (const char* why = parse_target(f, &target)) return fail(why);
      t.targets.push_back(target);
      continue;
    }
    if (kind == "port") {
      if (const char* why = parse_port_line(f, &t)) return fail(why);
      continue;
    }
    if (kind == "lun") {
      if (const char* why = parse_lun_line(f, &t)) return fail(why);
      continue;
    }
    return fail("unknown line kind " + kind);
  }
  for (const SimTarget& target : t.targets)
    for (int device : target.persistent)
      if (std::none_of(t.functions.begin(), t.functions.end(),
                       [&](const SimFunction& fn) { return fn.iscsi_device == device; }))
        return fail("target " + target.name + " held by iSCSI device " + std::to_string(device) + ", which is not defined");
  add_function_ports(&t);
  *out = std::move(t);
  return true;
}

bool load_topology(const std::string& name, Topology* out, std::string* error) {
  std::string text;
  if (name == "default") {
    text = kDefault;
  } else {
    std::ifstream in(name);
    if (!in) {
      if (error) *error = "cannot read topology file " + name;
      return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
  }
  std::string why;
  if (!parse_topology(text, out, &why)) {
    if (error) *error = name + ": " + why;
    return false;
  }
  return true;
}

// NIC functions by bus:device.function; iSCSI functions by domain, bus,
// device and function.
std::string esx_conf_text(const Topology& t) {
  std::string s = "/adv/Misc/HostName = \"esx-sim\"\n";
  for (const auto& fn : t.functions) {
    const bool nic = fn.kind == FunctionKind::Nic;
    if (nic ? fn.ifname.empty() : fn.vmhba.empty()) continue;
    for (const auto& c : t.controllers) {
      if (c.index != fn.controller) continue;
      char line[160];
      if (nic)
        snprintf(line, sizeof line, "/device/%03d:%02d.%d/vmkname = \"%s\"\n", c.bus, c.device, fn.pci_function,
                 fn.ifname.c_str());
      else
        snprintf(line, sizeof line, "/device/%03x:%03d:%02d.%d/vmkname = \"%s\"\n", c.domain, c.bus, c.device,
                 fn.pci_function, fn.vmhba.c_str());
      s += line;
    }
  }
  return s;
}

}  // namespace tavo::sim
