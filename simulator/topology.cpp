// A topology's text read line by line: one row per line kind, each with
// its reader (topology_*.cpp); the value parsers the readers share; the
// built-in topology.
#include "simulator/topology.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string_view>

#include "simulator/topology_lines.h"

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

// key=value words after the first word of a line.
void topology_fields(std::istringstream& in, TopologyLine* line) {
  std::string word;
  while (in >> word) {
    auto eq = word.find('=');
    if (eq == std::string::npos) {
      line->bare.push_back(word);
    } else {
      line->fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
  }
}

// file <host path> <content>: "\n" in the content is a line break.
std::string topology_file(TopologyLine& line, Topology& t) {
  std::string path;
  if (!(line.rest >> path)) return "file needs a path";
  std::string rest;
  std::getline(line.rest, rest);
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
  return "";
}

// release <uname -r text>.
std::string topology_release(TopologyLine& line, Topology& t) {
  if (!(line.rest >> t.release)) return "release needs a text";
  return "";
}

std::string topology_no_nic_driver(TopologyLine&, Topology& t) {
  t.nic_driver = false;
  return "";
}

std::string topology_durable_fsync(TopologyLine&, Topology& t) {
  t.durable_fsync = true;
  return "";
}

// What a line kind reads after its first word: key=value words, text of
// its own, or nothing (the rest of the line is ignored).
enum class LineTakes : uint8_t { Keys, Text, Nothing };

// One row per line kind: its first word, what it takes and its reader.
struct LineKind {
  std::string_view word;
  LineTakes takes;
  TopologyLineReader read;
};

constexpr LineKind kLineKinds[] = {
    {"controller", LineTakes::Keys, controller_line},
    {"nic", LineTakes::Keys, function_nic_line},
    {"iscsi", LineTakes::Keys, function_iscsi_line},
    {"vf", LineTakes::Keys, function_vf_line},
    {"target", LineTakes::Keys, target_line},
    {"lun", LineTakes::Keys, lun_line},
    {"port", LineTakes::Keys, port_line},
    {"release", LineTakes::Text, topology_release},
    {"file", LineTakes::Text, topology_file},
    {"no-nic-driver", LineTakes::Nothing, topology_no_nic_driver},
    {"durable-fsync", LineTakes::Nothing, topology_durable_fsync},
};

const LineKind* topology_line_kind(const std::string& word) {
  for (const LineKind& kind : kLineKinds)
    if (kind.word == word) return &kind;
  return nullptr;
}

}  // namespace

bool parse_number(const std::string& text, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 0);
  if (end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

bool parse_number_within(const std::string& text, int64_t lo, int64_t hi, int64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long v = strtoll(text.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

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

bool parse_address(const std::string& text, uint8_t v6_type, SimAddress* out) {
  out->bytes = {};
  if (parse_ipv4(text, out->bytes.data())) {
    out->type = 1;
    return true;
  }
  out->type = v6_type;
  return inet_pton(AF_INET6, text.c_str(), out->bytes.data()) == 1;
}

std::vector<std::string> split_slashes(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  std::string part;
  while (std::getline(in, part, '/')) parts.push_back(part);
  return parts;
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
  std::string text_line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(lines, text_line)) {
    ++number;
    auto hash = text_line.find('#');
    if (hash != std::string::npos) text_line.erase(hash);
    std::istringstream in(text_line);
    std::string word;
    if (!(in >> word)) continue;
    const LineKind* kind = topology_line_kind(word);
    if (kind == nullptr) return fail("unknown line kind " + word);
    TopologyLine line{in, {}, {}};
    if (kind->takes == LineTakes::Keys) topology_fields(in, &line);
    if (std::string why = kind->read(line, t); !why.empty()) return fail(why);
  }
  if (std::string why = target_devices_defined(t); !why.empty()) return fail(why);
  port_add_function_ports(&t);
  // FNV-1a: the adapters kept under a root are those of this text only.
  t.fingerprint = 0xCBF29CE484222325ull;
  for (const char c : text) t.fingerprint = (t.fingerprint ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
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
