// A small stand-in for the host's /bin/sh: pipelines of the commands the
// library runs (ethtool, lspci, modinfo, uname, mkdir, grep, cut, ip, ...)
// with output redirection, answered from the topology.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

struct Token {
  std::string text;
  bool op = false;  // unquoted |, >, >>, 2>, 2>&1
};

std::vector<Token> tokenize(const std::string& line) {
  std::vector<Token> out;
  std::string cur;
  bool have = false;
  auto flush = [&] {
    if (have) out.push_back(Token{cur, false});
    cur.clear();
    have = false;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\'') {
      size_t j = line.find('\'', i + 1);
      if (j == std::string::npos) j = line.size();
      cur += line.substr(i + 1, j - i - 1);
      have = true;
      i = j;
    } else if (c == '"') {
      ++i;
      while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
        cur += line[i++];
      }
      have = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      have = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      flush();
    } else if (c == '|' || c == ';') {
      flush();
      out.push_back(Token{std::string(1, c), true});
    } else if (c == '>') {
      const bool stderr_redirect = have && cur == "2";
      std::string op(stderr_redirect ? "2>" : ">");
      if (stderr_redirect) {
        cur.clear();
        have = false;
      }
      flush();
      if (i + 1 < line.size() && line[i + 1] == '>') {
        op += ">";
        ++i;
      }
      if (i + 2 < line.size() && line[i + 1] == '&' && line[i + 2] == '1') {
        op += "&1";
        i += 2;
      }
      out.push_back(Token{op, true});
    } else {
      cur += c;
      have = true;
    }
  }
  flush();
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

bool parse_bdf(std::string s, unsigned* bus, unsigned* dev, unsigned* fn) {
  // [dddd:]bb:dd.f
  if (std::count(s.begin(), s.end(), ':') == 2) s = s.substr(s.find(':') + 1);
  return sscanf(s.c_str(), "%x:%x.%x", bus, dev, fn) == 3;
}

}  // namespace

Simulator::ShellResult Simulator::run_stage(const std::vector<std::string>& w, const std::string& input) {
  ShellResult r;
  if (w.empty()) return r;
  std::string joined;
  for (const auto& s : w) joined += (joined.empty() ? "" : " ") + s;
  for (const auto& [prefix, answer] : shell_answers_)
    if (joined.compare(0, prefix.size(), prefix) == 0) return answer;

  const std::string& cmd = w[0];
  auto find_nic = [&](const std::string& name) { return nic_named(name); };
  auto bdf_text = [&](const SimFunction& f, bool domain) {
    const SimController* c = controller(f.controller);
    char buf[32];
    snprintf(buf, sizeof buf, "%s%02x:%02x.%x", domain ? "0000:" : "", c ? c->bus : 0, c ? c->device : 0,
             f.pci_function);
    return std::string(buf);
  };

  if (cmd == "ethtool" && w.size() >= 3 && w[1] == "-i") {
    const SimFunction* f = find_nic(w[2]);
    if (f == nullptr) return ShellResult{71, ""};
    r.out = "driver: cv2net\nversion: 11.1.0.0\nfirmware-version: 11.1.0.0\nbus-info: " + bdf_text(*f, true) +
            "\nsupports-statistics: yes\n";
    return r;
  }
  if (cmd == "lspci") {
    std::string slot, ids;
    bool hex = false;
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == "-s" && i + 1 < w.size()) slot = w[++i];
      else if (w[i] == "-d" && i + 1 < w.size()) ids = w[++i];
      else if (w[i] == "-x") hex = true;
    }
    for (const auto& f : topology_.functions) {
      const SimController* c = controller(f.controller);
      if (c == nullptr) continue;
      uint16_t device = f.kind == FunctionKind::Nic ? c->nic_device_id : c->iscsi_device_id;
      if (!slot.empty()) {
        unsigned b, d, fn;
        if (!parse_bdf(slot, &b, &d, &fn) || b != c->bus || d != c->device || fn != f.pci_function) continue;
      }
      if (!ids.empty()) {
        unsigned v = 0, dv = 0;
        if (sscanf(ids.c_str(), "%x:%x", &v, &dv) != 2 || v != c->vendor_id || dv != device) continue;
      }
      char head[160];
      snprintf(head, sizeof head, "%s %s: Quorvel Corporation Device %04x (rev 01)\n",
               bdf_text(f, ids.empty() ? false : true).c_str(),
               f.kind == FunctionKind::Nic ? "Ethernet controller" : "Mass storage controller", device);
      r.out += head;
      if (hex) {
        auto cfg = pci_config_space(f);
        for (int row = 0; row < 4; ++row) {
          char line[80];
          int n = snprintf(line, sizeof line, "%02x:", row * 16);
          for (int i = 0; i < 16; ++i) n += snprintf(line + n, sizeof line - n, " %02x", cfg[row * 16 + i]);
          r.out += std::string(line) + "\n";
        }
        r.out += "\n";
      }
    }
    return r;
  }
  if (cmd == "modinfo") {
    if (w.size() < 2 || w.back() != "cv2net") return ShellResult{1, ""};
    r.out = "filename:       /usr/lib/vmware/vmkmod/cv2net\nversion:        11.1.0.0\n"
            "license:        ThirdParty:Quorvel\nsupported:      external\n";
    return r;
  }
  if (cmd == "uname") {
    r.out = (w.size() > 1 && w[1] == "-r") ? topology_.release + "\n" : "VMkernel\n";
    return r;
  }
  if (cmd == "mkdir") {
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == "-p") continue;
      const std::string p = under_root(w[i]);
      for (size_t k = 1; k <= p.size(); ++k)
        if (k == p.size() || p[k] == '/') ::mkdir(p.substr(0, k).c_str(), 0755);
    }
    return r;
  }
  if (cmd == "grep") {
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
    bool any = false;
    for (const auto& l : lines_of(input)) {
      bool hit = l.find(pattern) != std::string::npos;
      if (hit != invert) {
        r.out += l + "\n";
        any = true;
      }
    }
    r.status = any ? 0 : 1;
    return r;
  }
  if (cmd == "cut") {
    std::string delim = "\t";
    int field = 1;
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i].compare(0, 2, "-d") == 0) delim = w[i].size() > 2 ? w[i].substr(2) : (i + 1 < w.size() ? w[++i] : "");
      else if (w[i].compare(0, 2, "-f") == 0) field = atoi(w[i].size() > 2 ? w[i].substr(2).c_str() : (i + 1 < w.size() ? w[++i].c_str() : "1"));
    }
    char d = delim.empty() ? '\t' : delim[0];
    for (const auto& l : lines_of(input)) {
      if (l.find(d) == std::string::npos) {
        r.out += l + "\n";
        continue;
      }
      std::vector<std::string> parts;
      std::string cur;
      for (char c : l) {
        if (c == d) {
          parts.push_back(cur);
          cur.clear();
        } else {
          cur += c;
        }
      }
      parts.push_back(cur);
      r.out += (field >= 1 && static_cast<size_t>(field) <= parts.size() ? parts[field - 1] : "") + "\n";
    }
    return r;
  }
  if (cmd == "ip") {
    // ip link set <if> vf <n> ...
    if (w.size() >= 6 && w[1] == "link" && w[2] == "set" && w[4] == "vf") {
      const SimFunction* f = find_nic(w[3]);
      if (f == nullptr) return ShellResult{1, ""};
      int index = kAny;
      auto list = nic_functions();
      for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == f) index = static_cast<int>(i) + 1;
      if (match_fault(FaultKind::VfRefusal, kAny, kAny, index, kAny)) return ShellResult{2, ""};
      return ShellResult{apply_ip_vf(nic_state(*f), std::vector<std::string>(w.begin() + 5, w.end())), ""};
    }
    return w.size() >= 4 && w[1] == "link" && w[2] == "set" && find_nic(w[3]) ? r : ShellResult{1, ""};
  }
  if (cmd == "ifconfig") return ifconfig_stage(w);
  if (cmd == "ethtool" && w.size() >= 2 && w[1] == "-h") {
    r.out = "ethtool version 4.8\nUsage:\n        ethtool DEVNAME\tDisplay standard information about device\n"
            "        ethtool -i|--driver DEVNAME\tShow driver information\n"
            "        ethtool -f|--flash DEVNAME FILENAME [ REGION-NUMBER-TO-FLASH ]\tFlash firmware image from the "
            "specified file to a region on the device\n";
    return r;
  }
  if (cmd == "ethtool" && w.size() >= 4 && w[1] == "-f") return ethtool_flash_stage(w);
  if (cmd == "getenforce") return ShellResult{0, "Disabled\n"};
  if (cmd == "setenforce" || cmd == "true") return r;
  if (cmd == "false") return ShellResult{1, ""};
  if (cmd == "echo") {
    for (size_t i = 1; i < w.size(); ++i) r.out += (i > 1 ? " " : "") + w[i];
    r.out += "\n";
    return r;
  }
  if (cmd == "cat") {
    for (size_t i = 1; i < w.size(); ++i) {
      std::ifstream in(under_root(w[i]));
      if (!in) return ShellResult{1, r.out};
      std::ostringstream s;
      s << in.rdbuf();
      r.out += s.str();
    }
    return r;
  }
  return ShellResult{127, ""};
}

Simulator::ShellResult Simulator::run_pipeline(const std::string& line) {
  std::vector<Token> tokens = tokenize(line);
  ShellResult last;
  std::string input;
  std::vector<std::string> words;
  // The stage's redirections in order: (operator, file).
  std::vector<std::pair<std::string, std::string>> redirects;
  auto finish_stage = [&] {
    last = run_stage(words, input);
    // Where standard output and error go: the pipe, a file, or nowhere
    // (the terminal, /dev/null).
    struct Sink {
      bool pipe = true;
      std::string file;
      bool append = false;
    };
    Sink out, err{false, "", false};
    for (const auto& [op, file] : redirects) {
      if (op == ">" || op == ">>") out = Sink{false, file, op == ">>"};
      if (op == "2>" || op == "2>>") err = Sink{false, file, op == "2>>"};
      if (op == "2>&1") err = out;
    }
    std::string piped;
    std::map<std::string, std::pair<bool, std::string>> files;  // file -> (append, text)
    for (const auto& [sink, text] : {std::make_pair(out, last.out), std::make_pair(err, last.err)}) {
      if (sink.pipe) {
        piped += text;
      } else if (!sink.file.empty() && sink.file != "/dev/null") {
        auto& f = files.try_emplace(sink.file, sink.append, "").first->second;
        f.second += text;
      }
    }
    for (const auto& [file, content] : files) {
      std::ofstream f(under_root(file), content.first ? std::ios::app : std::ios::trunc);
      f << content.second;
    }
    input = last.out = piped;
    last.err.clear();
    words.clear();
    redirects.clear();
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (!t.op) {
      words.push_back(t.text);
    } else if (t.text == "|") {
      finish_stage();
    } else if (t.text == ";") {
      finish_stage();
      input.clear();
    } else if (t.text == "2>&1") {
      redirects.emplace_back(t.text, "");
    } else if (i + 1 < tokens.size()) {
      redirects.emplace_back(t.text, tokens[++i].text);
    }
  }
  finish_stage();
  return last;
}

std::string Simulator::under_root(const std::string& path) const {
  if (strip_root(path) != path || root_.empty() || path.empty()) return path;
  return root_ + (path[0] == '/' ? "" : "/") + path;
}

const SimFunction* Simulator::nic_named(const std::string& name) const {
  for (const auto& f : topology_.functions)
    if (f.kind == FunctionKind::Nic && f.ifname == name) return &f;
  return nullptr;
}

// ifconfig <if> shows whether it is up; ifconfig <if> up|down changes it.
Simulator::ShellResult Simulator::ifconfig_stage(const std::vector<std::string>& w) {
  const SimFunction* f = w.size() >= 2 ? nic_named(w[1]) : nullptr;
  if (f == nullptr) return ShellResult{1, "", (w.size() >= 2 ? w[1] : "") + ": error fetching interface information\n"};
  if (w.size() >= 3) {
    if (w[2] != "up" && w[2] != "down") return ShellResult{1, "", "ifconfig: bad option\n"};
    if (w[2] == "up")
      interfaces_down_.erase(w[1]);
    else
      interfaces_down_.insert(w[1]);
    return ShellResult{};
  }
  const bool up = interfaces_down_.count(w[1]) == 0;
  return ShellResult{0,
                     w[1] + "  Link encap:Ethernet  HWaddr " + f->mac + "\n          " +
                         (up ? "UP BROADCAST RUNNING MULTICAST" : "BROADCAST MULTICAST") +
                         "  MTU:" + std::to_string(f->mtu) + "\n",
                     ""};
}

// ethtool -f <if> <file>: the driver takes /lib/firmware/<file> and the
// controller keeps it as its firmware object "/prg".
Simulator::ShellResult Simulator::ethtool_flash_stage(const std::vector<std::string>& w) {
  const SimFunction* f = nic_named(w[2]);
  if (f == nullptr) return ShellResult{71, "", "Cannot get control socket: No such device\n"};
  std::ifstream in(under_root("/lib/firmware/" + w[3]), std::ios::binary);
  if (!in || w[3].find('/') != std::string::npos)
    return ShellResult{255, "", "Flashing failed: No such file or directory\n"};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string image = bytes.str();
  flash_[f->controller]["/prg"].assign(image.begin(), image.end());
  return ShellResult{};
}

int Simulator::shell(const std::string& command) {
  std::string ignored;
  return shell_output(command, &ignored);
}

int Simulator::shell_output(const std::string& command, std::string* output) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  log_.push_back(LogEntry{LogKind::Shell, "", 0, {}, command});
  ShellResult r = run_pipeline(command);
  *output = std::move(r.out);
  return (r.status & 0xFF) << 8;
}

}  // namespace tavo::sim
