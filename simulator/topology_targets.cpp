// The `target` lines of a topology: iSCSI targets on the network behind
// their portals, with what a login to them must carry.
#include <algorithm>
#include <string>
#include <utility>

#include "simulator/topology_lines.h"

namespace tavo::sim {
namespace {

// portal=ADDRESS/PORT[/TAG],.. (tag 1 by default).
bool target_portals(TopologyFields& f, SimTarget* t) {
  return f.count("portal") && parse_list(f["portal"], [&](const std::string& text) {
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
         });
}

// key=NAME/SECRET, the secret at most 16 characters.
bool target_credentials(TopologyFields& f, const char* key, std::string* name, std::string* secret) {
  if (!f.count(key)) return true;
  const auto parts = split_slashes(f[key]);
  if (parts.size() != 2 || parts[0].empty() || parts[1].empty() || parts[1].size() > 16) return false;
  *name = parts[0];
  *secret = parts[1];
  return true;
}

// persistent=DEVICE,.. and logged-in=DEVICE,.. (persistent too).
const char* target_devices(TopologyFields& f, SimTarget* t) {
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
  return nullptr;
}

// header-digest= and data-digest=, required or prohibited.
bool target_digests(TopologyFields& f, SimTarget* t) {
  for (auto [key, digest] : {std::pair{"header-digest", &t->header_digest}, {"data-digest", &t->data_digest}}) {
    if (!f.count(key)) continue;
    if (f[key] != "required" && f[key] != "prohibited") return false;
    *digest = f[key] == "required" ? 1 : 0;
  }
  return true;
}

}  // namespace

// name=IQN (1-223 characters), alias=TEXT (at most 31), its portals,
// chap=NAME/SECRET, mutual=NAME/SECRET, its devices and digests.
std::string target_line(TopologyLine& line, Topology& topology) {
  TopologyFields& f = line.fields;
  SimTarget t;
  t.name = f.count("name") ? f["name"] : "";
  if (t.name.empty() || t.name.size() > 223) return "target needs name=<1-223 characters>";
  t.alias = f.count("alias") ? f["alias"] : "";
  if (t.alias.size() > 31) return "alias too long";
  if (!target_portals(f, &t)) return "target needs portal=address/port[/tag],...";
  if (!target_credentials(f, "chap", &t.chap_name, &t.chap_secret) ||
      !target_credentials(f, "mutual", &t.mutual_name, &t.mutual_secret))
    return "bad chap or mutual (name/secret, at most 16 secret characters)";
  if (const char* why = target_devices(f, &t)) return why;
  if (!target_digests(f, &t)) return "bad digest (required or prohibited)";
  topology.targets.push_back(t);
  return "";
}

std::string target_devices_defined(const Topology& t) {
  for (const SimTarget& target : t.targets)
    for (int device : target.persistent)
      if (std::none_of(t.functions.begin(), t.functions.end(),
                       [&](const SimFunction& fn) { return fn.iscsi_device == device; }))
        return "target " + target.name + " held by iSCSI device " + std::to_string(device) + ", which is not defined";
  return "";
}

}  // namespace tavo::sim
