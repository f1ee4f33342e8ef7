// The commands of the simulated shell, one row per command word, answered
// from the topology and the simulator's state. A command line a test
// scripted (Simulator::set_shell_answer) comes first; a word no row names
// exits 127.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>

#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

using Words = std::vector<std::string>;

std::vector<std::string> shell_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

// [dddd:]bb:dd.f
bool shell_bdf(std::string s, unsigned* bus, unsigned* dev, unsigned* fn) {
  if (std::count(s.begin(), s.end(), ':') == 2) s = s.substr(s.find(':') + 1);
  return sscanf(s.c_str(), "%x:%x.%x", bus, dev, fn) == 3;
}

// A line's fields split at the delimiter.
std::vector<std::string> shell_fields(const std::string& line, char delimiter) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : line) {
    if (c == delimiter) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

}  // namespace

struct Simulator::ShellCommands {
  using Run = ShellResult (*)(Simulator& sim, const Words& w, const std::string& input);
  // A command word and what answers it.
  struct Command {
    std::string_view word;
    Run run;
  };
  // An option of a command, taken when the line has at least that many
  // words.
  struct Option {
    std::string_view flag;
    size_t least_words;
    Run run;
  };

  // The function's PCI address as lspci and ethtool show it.
  static std::string bdf_text(const Simulator& sim, const SimFunction& f, bool domain) {
    const SimController* c = sim.controller(f.controller);
    char buf[32];
    snprintf(buf, sizeof buf, "%s%02x:%02x.%x", domain ? "0000:" : "", c ? c->bus : 0, c ? c->device : 0,
             f.pci_function);
    return std::string(buf);
  }

  // ethtool -i <if>: the driver and the interface's PCI address.
  static ShellResult ethtool_driver(Simulator& sim, const Words& w, const std::string&) {
    const SimFunction* f = sim.nic_named(w[2]);
    if (f == nullptr) return ShellResult{71, ""};
    return ShellResult{0, "driver: cv2net\nversion: 11.1.0.0\nfirmware-version: 11.1.0.0\nbus-info: " +
                              bdf_text(sim, *f, true) + "\nsupports-statistics: yes\n"};
  }

  // ethtool -h: a usage text that lists -f.
  static ShellResult ethtool_help(Simulator&, const Words&, const std::string&) {
    return ShellResult{
        0, "ethtool version 4.8\nUsage:\n        ethtool DEVNAME\tDisplay standard information about device\n"
           "        ethtool -i|--driver DEVNAME\tShow driver information\n"
           "        ethtool -f|--flash DEVNAME FILENAME [ REGION-NUMBER-TO-FLASH ]\tFlash firmware image from the "
           "specified file to a region on the device\n"};
  }

  // ethtool -f <if> <file>: the driver takes /lib/firmware/<file> and the
  // controller keeps it as its firmware object "/prg".
  static ShellResult ethtool_flash(Simulator& sim, const Words& w, const std::string&) {
    const SimFunction* f = sim.nic_named(w[2]);
    if (f == nullptr) return ShellResult{71, "", "Cannot get control socket: No such device\n"};
    std::ifstream in(sim.under_root("/lib/firmware/" + w[3]), std::ios::binary);
    if (!in || w[3].find('/') != std::string::npos)
      return ShellResult{255, "", "Flashing failed: No such file or directory\n"};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string image = bytes.str();
    sim.flash(f->controller)["/prg"].assign(image.begin(), image.end());
    return ShellResult{};
  }

  static constexpr Option kEthtoolOptions[] = {
      {"-i", 3, ethtool_driver},
      {"-h", 2, ethtool_help},
      {"-f", 4, ethtool_flash},
  };

  static ShellResult ethtool(Simulator& sim, const Words& w, const std::string& input) {
    for (const Option& o : kEthtoolOptions)
      if (w.size() >= o.least_words && w[1] == o.flag) return o.run(sim, w, input);
    return ShellResult{127, ""};
  }

  // One function's line, and with -x its configuration space's first 64
  // bytes.
  static std::string lspci_function(const Simulator& sim, const SimFunction& f, uint16_t device, bool domain,
                                    bool hex) {
    char head[160];
    snprintf(head, sizeof head, "%s %s: Quorvel Corporation Device %04x (rev 01)\n",
             bdf_text(sim, f, domain).c_str(),
             f.kind == FunctionKind::Nic ? "Ethernet controller" : "Mass storage controller", device);
    std::string out = head;
    if (!hex) return out;
    auto cfg = sim.pci_config_space(f);
    for (int row = 0; row < 4; ++row) {
      char line[80];
      int n = snprintf(line, sizeof line, "%02x:", row * 16);
      for (int i = 0; i < 16; ++i) n += snprintf(line + n, sizeof line - n, " %02x", cfg[row * 16 + i]);
      out += std::string(line) + "\n";
    }
    return out + "\n";
  }

  // lspci [-s [dddd:]bb:dd.f] [-d vendor:device] [-x]: the functions that
  // match; -d shows them with the domain.
  static ShellResult lspci(Simulator& sim, const Words& w, const std::string&) {
    std::string slot, ids;
    bool hex = false;
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == "-s" && i + 1 < w.size()) slot = w[++i];
      else if (w[i] == "-d" && i + 1 < w.size()) ids = w[++i];
      else if (w[i] == "-x") hex = true;
    }
    ShellResult r;
    for (const auto& f : sim.topology_.functions) {
      const SimController* c = sim.controller(f.controller);
      if (c == nullptr) continue;
      uint16_t device = f.kind == FunctionKind::Nic ? c->nic_device_id : c->iscsi_device_id;
      if (!slot.empty()) {
        unsigned b, d, fn;
        if (!shell_bdf(slot, &b, &d, &fn) || b != c->bus || d != c->device || fn != f.pci_function) continue;
      }
      if (!ids.empty()) {
        unsigned v = 0, dv = 0;
        if (sscanf(ids.c_str(), "%x:%x", &v, &dv) != 2 || v != c->vendor_id || dv != device) continue;
      }
      r.out += lspci_function(sim, f, device, !ids.empty(), hex);
    }
    return r;
  }

  // modinfo ... cv2net: the NIC driver's module.
  static ShellResult modinfo(Simulator&, const Words& w, const std::string&) {
    if (w.size() < 2 || w.back() != "cv2net") return ShellResult{1, ""};
    return ShellResult{0,
                       "filename:       /usr/lib/vmware/vmkmod/cv2net\nversion:        11.1.0.0\n"
                       "license:        ThirdParty:Quorvel\nsupported:      external\n"};
  }

  // uname -r: the topology's release; else the kernel's name.
  static ShellResult uname(Simulator& sim, const Words& w, const std::string&) {
    return ShellResult{0, (w.size() > 1 && w[1] == "-r") ? sim.topology_.release + "\n" : "VMkernel\n"};
  }

  // mkdir [-p] <dir>...: each with its parents, under the root.
  static ShellResult mkdir(Simulator& sim, const Words& w, const std::string&) {
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == "-p") continue;
      const std::string p = sim.under_root(w[i]);
      for (size_t k = 1; k <= p.size(); ++k)
        if (k == p.size() || p[k] == '/') ::mkdir(p.substr(0, k).c_str(), 0755);
    }
    return ShellResult{};
  }

  // grep [-a] [-v] <text>: the input's lines that hold the text (or not);
  // status 1 when none.
  static ShellResult grep(Simulator&, const Words& w, const std::string& input) {
    std::string pattern;
    bool invert = false;
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == "-a") continue;
      if (w[i] == "-v") {
        invert = true;
        continue;
      }
      pattern = w[i];
    }
    ShellResult r;
    bool any = false;
    for (const auto& l : shell_lines(input)) {
      bool hit = l.find(pattern) != std::string::npos;
      if (hit != invert) {
        r.out += l + "\n";
        any = true;
      }
    }
    r.status = any ? 0 : 1;
    return r;
  }

  // cut -d<c> -f<n> (either with its value apart): field n of each line;
  // a line without the delimiter whole.
  static ShellResult cut(Simulator&, const Words& w, const std::string& input) {
    std::string delim = "\t";
    int field = 1;
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i].compare(0, 2, "-d") == 0)
        delim = w[i].size() > 2 ? w[i].substr(2) : (i + 1 < w.size() ? w[++i] : "");
      else if (w[i].compare(0, 2, "-f") == 0)
        field = atoi(w[i].size() > 2 ? w[i].substr(2).c_str() : (i + 1 < w.size() ? w[++i].c_str() : "1"));
    }
    char d = delim.empty() ? '\t' : delim[0];
    ShellResult r;
    for (const auto& l : shell_lines(input)) {
      if (l.find(d) == std::string::npos) {
        r.out += l + "\n";
        continue;
      }
      const std::vector<std::string> parts = shell_fields(l, d);
      r.out += (field >= 1 && static_cast<size_t>(field) <= parts.size() ? parts[field - 1] : "") + "\n";
    }
    return r;
  }

  // ip link set <if> vf <n> ...: the NIC driver's VF table, unless a
  // VfRefusal fault names the function.
  static ShellResult ip_vf(Simulator& sim, const Words& w) {
    const SimFunction* f = sim.nic_named(w[3]);
    if (f == nullptr) return ShellResult{1, ""};
    int index = kAny;
    auto list = sim.nic_functions();
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == f) index = static_cast<int>(i) + 1;
    if (sim.match_fault(FaultKind::VfRefusal, kAny, kAny, index, kAny)) return ShellResult{2, ""};
    return ShellResult{apply_ip_vf(sim.nic_state(*f), std::vector<std::string>(w.begin() + 5, w.end())), ""};
  }

  // ip link set <if> ...: changes only a VF; succeeds for an interface
  // that exists.
  static ShellResult ip(Simulator& sim, const Words& w, const std::string&) {
    if (w.size() >= 6 && w[1] == "link" && w[2] == "set" && w[4] == "vf") return ip_vf(sim, w);
    return w.size() >= 4 && w[1] == "link" && w[2] == "set" && sim.nic_named(w[3]) ? ShellResult{}
                                                                                      : ShellResult{1, ""};
  }

  // ifconfig <if> shows whether it is up; ifconfig <if> up|down changes it.
  static ShellResult ifconfig(Simulator& sim, const Words& w, const std::string&) {
    const SimFunction* f = w.size() >= 2 ? sim.nic_named(w[1]) : nullptr;
    if (f == nullptr)
      return ShellResult{1, "", (w.size() >= 2 ? w[1] : "") + ": error fetching interface information\n"};
    if (w.size() >= 3) {
      if (w[2] != "up" && w[2] != "down") return ShellResult{1, "", "ifconfig: bad option\n"};
      if (w[2] == "up")
        sim.interfaces_down_.erase(w[1]);
      else
        sim.interfaces_down_.insert(w[1]);
      return ShellResult{};
    }
    const bool up = sim.interfaces_down_.count(w[1]) == 0;
    return ShellResult{0,
                       w[1] + "  Link encap:Ethernet  HWaddr " + f->mac + "\n          " +
                           (up ? "UP BROADCAST RUNNING MULTICAST" : "BROADCAST MULTICAST") +
                           "  MTU:" + std::to_string(f->mtu) + "\n",
                       ""};
  }

  static ShellResult getenforce(Simulator&, const Words&, const std::string&) {
    return ShellResult{0, "Disabled\n"};
  }
  static ShellResult succeed(Simulator&, const Words&, const std::string&) { return ShellResult{}; }
  static ShellResult fail(Simulator&, const Words&, const std::string&) { return ShellResult{1, ""}; }

  static ShellResult echo(Simulator&, const Words& w, const std::string&) {
    ShellResult r;
    for (size_t i = 1; i < w.size(); ++i) r.out += (i > 1 ? " " : "") + w[i];
    r.out += "\n";
    return r;
  }

  // cat <file>...: under the root; status 1 at the first it cannot read,
  // with what came before.
  static ShellResult cat(Simulator& sim, const Words& w, const std::string&) {
    ShellResult r;
    for (size_t i = 1; i < w.size(); ++i) {
      std::ifstream in(sim.under_root(w[i]));
      if (!in) return ShellResult{1, r.out};
      std::ostringstream s;
      s << in.rdbuf();
      r.out += s.str();
    }
    return r;
  }

  static constexpr Command kCommands[] = {
      {"ethtool", ethtool},
      {"lspci", lspci},
      {"modinfo", modinfo},
      {"uname", uname},
      {"mkdir", mkdir},
      {"grep", grep},
      {"cut", cut},
      {"ip", ip},
      {"ifconfig", ifconfig},
      {"getenforce", getenforce},
      {"setenforce", succeed},
      {"true", succeed},
      {"false", fail},
      {"echo", echo},
      {"cat", cat},
  };
};

Simulator::ShellResult Simulator::run_stage(const std::vector<std::string>& w, const std::string& input) {
  if (w.empty()) return ShellResult{};
  std::string joined;
  for (const auto& s : w) joined += (joined.empty() ? "" : " ") + s;
  for (const auto& [prefix, answer] : shell_answers_)
    if (joined.compare(0, prefix.size(), prefix) == 0) return answer;
  for (const ShellCommands::Command& c : ShellCommands::kCommands)
    if (c.word == w[0]) return c.run(*this, w, input);
  return ShellResult{127, ""};
}

}  // namespace tavo::sim
