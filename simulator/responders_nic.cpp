// The firmware and driver state of the NIC side of each function: the MAC
// list (147/1), the OEM exec configuration (4/21: volatile MAC and VLAN),
// the expansion-ROM bitmap (83/1), vNIC name and status (120/1, 64/1), QoS
// (27/1, 28/1) and the switch type (124/1, kept per controller); the virtual
// functions the NIC driver lists (request 7) and "ip link set ... vf"
// changes.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "simulator/responders.h"
#include "simulator/simulator.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusNotSupported = 66;
constexpr char kSwitchTypeObject[] = "/cfg/switch_type";
constexpr int kIpUsage = 2;  // ip's exit status for an argument it refuses

MailboxReply nic_refused(uint8_t status = kStatusNotSupported) { return MailboxReply{status, 0, 0}; }

// Runs body on the calling function's state and its request record; a
// request shorter than the record is refused.
template <typename Record, typename Body>
MailboxReply nic_call(Simulator& sim, MailboxCall& call, Body body) {
  Record r{};
  if (call.function == nullptr || call.controller == nullptr) return nic_refused();
  if (call.payload.size() < sizeof r) return nic_refused(kStatusInvalid);
  memcpy(&r, call.payload.data(), sizeof r);
  const MailboxReply reply = body(sim.nic_state(*call.function), r);
  if (reply.status == 0) memcpy(call.payload.data(), &r, sizeof r);
  return reply;
}

// Type 9: the factory MAC of the PCI function the header names (its
// number + 1), else of the calling function.
MailboxReply nic_mac_list(Simulator& sim, MailboxCall& call) {
  return nic_call<MacListRecord>(sim, call, [&](SimNicState&, MacListRecord& r) {
    if (r.list_type != kMacListFactory) return nic_refused(kStatusInvalid);
    const unsigned named = call.header.pf_vh & 0x3FF;
    const SimFunction* fn = named == 0 ? call.function : nullptr;
    for (const SimFunction& f : sim.topology().functions)
      if (named != 0 && f.controller == call.controller->index && !f.virtual_function && f.pci_function + 1u == named)
        fn = &f;
    if (fn == nullptr) return nic_refused(kStatusInvalid);
    r = MacListRecord{};
    r.list_type = kMacListFactory;
    r.one = 1;
    parse_mac(fn->factory_mac.empty() ? fn->mac : fn->factory_mac, r.mac);
    return MailboxReply{};
  });
}

// A read answers what is kept; a write (byte 3 bit 7) changes the fields
// its flags name.
MailboxReply nic_oem_exec(Simulator& sim, MailboxCall& call) {
  return nic_call<OemExecConfig>(sim, call, [&](SimNicState& s, OemExecConfig& r) {
    if ((r.write & kOemWrite) == 0) {
      r = s.oem;
      return MailboxReply{};
    }
    if ((r.flags & kOemVlanValid) && (r.vlan_id > 4095 || r.vlan_priority > 7)) return nic_refused(kStatusInvalid);
    if (r.flags & kOemVolatileMacValid) memcpy(s.oem.volatile_mac, r.volatile_mac, sizeof r.volatile_mac);
    if (r.flags & kOemVlanValid) {
      s.oem.vlan_id = r.vlan_id;
      s.oem.vlan_priority = r.vlan_priority;
    }
    s.oem.flags = static_cast<uint8_t>(s.oem.flags | (r.flags & (kOemVolatileMacValid | kOemVlanValid)));
    return MailboxReply{};
  });
}

MailboxReply nic_rom_bitmap(Simulator& sim, MailboxCall& call) {
  return nic_call<PciFunctionMapping>(sim, call, [&](SimNicState&, PciFunctionMapping& r) {
    r = PciFunctionMapping{};
    for (const SimFunction& f : sim.topology().functions)
      if (f.controller == call.controller->index && !f.virtual_function && f.pci_function < 32 &&
          sim.nic_state(f).rom_enabled)
        r.rom_enabled |= 1u << f.pci_function;
    return MailboxReply{};
  });
}

MailboxReply nic_vnic_name(Simulator& sim, MailboxCall& call) {
  return nic_call<VnicName>(sim, call, [&](SimNicState& s, VnicName& r) {
    r = VnicName{};
    r.enabled = s.vnic_name.empty() ? 0 : 1;
    memcpy(r.name, s.vnic_name.data(), std::min(s.vnic_name.size(), sizeof r.name));
    return MailboxReply{};
  });
}

MailboxReply nic_vnic_stats(Simulator& sim, MailboxCall& call) {
  return nic_call<VnicStats>(sim, call, [&](SimNicState& s, VnicStats& r) {
    r = s.vnic;
    return MailboxReply{};
  });
}

MailboxReply nic_qos(Simulator& sim, MailboxCall& call) {
  return nic_call<QosRecord>(sim, call, [&](SimNicState& s, QosRecord& r) {
    r = s.qos;
    return MailboxReply{};
  });
}

// The flags name the limits a request sets.
MailboxReply nic_qos_set(Simulator& sim, MailboxCall& call) {
  return nic_call<QosSetRecord>(sim, call, [&](SimNicState& s, QosSetRecord& r) {
    if (r.flags & kQosIosGiven) s.qos.max_ios_per_second = r.max_ios_per_second;
    if (r.flags & kQosBytesGiven) s.qos.max_bytes_per_second = r.max_bytes_per_second;
    return MailboxReply{};
  });
}

MailboxReply nic_switch_type(Simulator& sim, MailboxCall& call) {
  return nic_call<SwitchTypeRecord>(sim, call, [&](SimNicState&, SwitchTypeRecord& r) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
    sim.flash(call.controller->index)[kSwitchTypeObject].assign(bytes, bytes + sizeof r);
    return MailboxReply{};
  });
}

// A whole decimal number within 0..maximum.
bool nic_number(const std::string& text, long maximum, long* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
  *out = strtol(text.c_str(), nullptr, 10);
  return *out <= maximum;
}

}  // namespace

SimNicState::SimNicState(const SimFunction& fn) {
  uint8_t mac[6] = {};
  parse_mac(fn.mac, mac);
  for (int n = 0; n < fn.vf_count; ++n) {
    SimVf vf;
    std::copy_n(mac, 6, vf.mac.begin());
    vf.mac[0] = static_cast<uint8_t>(vf.mac[0] | 0x02);  // locally administered
    vf.mac[5] = static_cast<uint8_t>(vf.mac[5] + n + 1);
    vfs.push_back(vf);
  }
  boot.network_boot = fn.nic.boot_state;
  boot.boot_method = fn.nic.boot_method;
  boot.native_mode = 1;
  rom_enabled = fn.nic.rom_enabled;
  vnic_name = fn.nic.vnic_name;
  vnic.outer_vlan = fn.nic.outer_vlan;
  vnic.min_bandwidth = fn.nic.min_bandwidth;
  vnic.max_bandwidth = fn.nic.max_bandwidth;
  qos.max_bit_rate = fn.nic.max_bit_rate;
  config.function_mode = fn.nic.function_mode;
}

SimNicState& Simulator::nic_state(const SimFunction& fn) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::pair<int, int> key(fn.controller, fn.pci_function);
  auto it = nic_states_.find(key);
  if (it == nic_states_.end()) it = nic_states_.emplace(key, SimNicState(fn)).first;
  touch(kPartNic, fn.controller, fn.pci_function);
  return it->second;
}

SimNicState* Simulator::nic_state(int controller, int pci_function) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  for (const SimFunction& f : topology_.functions)
    if (f.controller == controller && f.pci_function == pci_function) return &nic_state(f);
  return nullptr;
}

void fill_vf_table(const SimNicState& state, uint8_t* answer, size_t size) {
  const size_t count = std::min<size_t>(state.vfs.size(), kMaxNicVfEntries);
  for (size_t n = 0; n < count && kVfTableHead + kNicVfEntrySize * (n + 1) <= size; ++n) {
    VfTableEntry e{};
    memcpy(e.mac, state.vfs[n].mac.data(), sizeof e.mac);
    e.vlan_id = state.vfs[n].vlan_id;
    e.qos = state.vfs[n].qos;
    e.link = state.vfs[n].link;
    memcpy(answer + kVfTableHead + kNicVfEntrySize * n, &e, sizeof e);
  }
}

// <n> then pairs: mac M, vlan V (0-4095), qos Q (0-7), rate R (Mb/s). Every
// pair is checked before any is applied.
int apply_ip_vf(SimNicState& state, const std::vector<std::string>& words) {
  long n = 0;
  if (words.empty() || !nic_number(words[0], 0x7FFFFFFF, &n) || static_cast<size_t>(n) >= state.vfs.size() ||
      words.size() < 3 || words.size() % 2 == 0)
    return kIpUsage;
  SimVf vf = state.vfs[static_cast<size_t>(n)];
  for (size_t i = 1; i + 1 < words.size(); i += 2) {
    const std::string& key = words[i];
    const std::string& value = words[i + 1];
    long v = 0;
    if (key == "mac") {
      if (value.size() != 17 || value.find('-') != std::string::npos || !parse_mac(value, vf.mac.data()))
        return kIpUsage;
    } else if (key == "vlan" && nic_number(value, 4095, &v)) {
      vf.vlan_id = static_cast<uint16_t>(v);
    } else if (key == "qos" && nic_number(value, 7, &v)) {
      continue;  // the priority is not kept
    } else if (key == "rate" && nic_number(value, 100000, &v)) {
      vf.qos = static_cast<uint16_t>(v / 10);
    } else {
      return kIpUsage;
    }
  }
  state.vfs[static_cast<size_t>(n)] = vf;
  return 0;
}

void install_nic_responders(Simulator& sim) {
  sim.on(1, 147, nic_mac_list);
  sim.on(21, 4, nic_oem_exec);
  sim.on(1, 83, nic_rom_bitmap);
  sim.on(1, 120, nic_vnic_name);
  sim.on(1, 64, nic_vnic_stats);
  sim.on(1, 27, nic_qos);
  sim.on(1, 28, nic_qos_set);
  sim.on(1, 124, nic_switch_type);
}

}  // namespace tavo::sim
