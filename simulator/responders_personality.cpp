// Firmware answers for the controller's function layout and personality,
// with state per controller: the profile configuration (164/1 and 165/1,
// version 1: Moravel and CV3; CV2 lacks the command), Galtor's common
// profile configuration (164/1, both versions), the legacy controller
// configuration (81/1, 82/1: CV2 and CV3), the reboot flag (84/1) and the
// factory profile (169/1). Flash objects hold the state (reply images, so
// tests may plant any bytes): "/cfg/profile/active" and
// "/cfg/profile/configured", "/cfg/profile/common", "/cfg/cv_conf" (form
// 1), "/cfg/reset_needed"; an accepted change also sets "/cfg/personality",
// the configured personality that 114/1 answers. Missing objects are made
// from the topology: iSCSI functions are storage functions running iSCSI,
// each with its bandwidths, LPVID and SR-IOV state, and each port has its
// port descriptor with its multi-channel type. A whole configuration
// (SaveProfile) sets each PCI function's protocol and multi-channel type;
// the firmware derives the protocol descriptors from them. Descriptors
// written alone change one function, its SR-IOV state, a channel (also in
// the running configuration when marked to apply now) or every port's
// multi-channel type.
#include <string.h>

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "ids/device_ids.h"
#include "simulator/profile_store.h"
#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"
#include "transport/profile_records.h"

namespace tavo::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusNotSupported = 66;
constexpr uint8_t kStatusDoneReboot = 30;  // 169/1: reset, reboot now
constexpr uint8_t kHighestProfile = 16;
constexpr char kActive[] = "/cfg/profile/active";
constexpr char kConfigured[] = "/cfg/profile/configured";
constexpr char kCommon[] = "/cfg/profile/common";
constexpr char kLegacy[] = "/cfg/cv_conf";
constexpr char kResetNeeded[] = "/cfg/reset_needed";
constexpr char kPersonality[] = "/cfg/personality";

MailboxReply personality_refused(uint8_t status = kStatusNotSupported, uint16_t additional = 0) {
  return MailboxReply{status, additional, 0};
}

// The controller's physical functions in PCI function order.
std::vector<const SimFunction*> personality_functions(Simulator& sim, int controller) {
  std::vector<const SimFunction*> out;
  for (const SimFunction& f : sim.topology().functions)
    if (f.controller == controller && !f.virtual_function) out.push_back(&f);
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->pci_function < b->pci_function; });
  return out;
}

template <typename Record>
void personality_append(Bytes* image, const Record& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  image->insert(image->end(), bytes, bytes + sizeof record);
}

// A reply image of one descriptor per physical function, after a count of
// type Count.
template <typename Count, typename Make>
Bytes personality_image(Simulator& sim, int controller, Make make) {
  const auto functions = personality_functions(sim, controller);
  const auto count = static_cast<Count>(functions.size());
  Bytes image(4, 0);
  memcpy(image.data(), &count, sizeof count);
  for (const SimFunction* f : functions) personality_append(&image, make(*f));
  return image;
}

template <typename Descriptor>
Descriptor personality_descriptor(uint8_t type, const SimFunction& f) {
  Descriptor d{};
  d.head.type = type;
  d.head.length = sizeof d;
  d.head.pf = f.pci_function;
  return d;
}

// The most functions a simulated port takes.
constexpr uint16_t kPortFunctions = 4;

// One port descriptor per port of the controller's physical functions, in
// port order, with the counts of the functions on it (each may run NIC).
std::vector<ProfilePortDescriptor> personality_ports(Simulator& sim, int controller) {
  std::vector<ProfilePortDescriptor> ports;
  for (const SimFunction* f : personality_functions(sim, controller)) {
    auto at = std::find_if(ports.begin(), ports.end(), [&](const auto& p) { return p.link == f->port; });
    if (at == ports.end()) {
      ProfilePortDescriptor p{};
      p.type = kProfilePort;
      p.length = sizeof p;
      p.link = static_cast<uint8_t>(f->port);
      const SimPort* state = find_port(sim.topology(), controller, f->port);
      p.mc_type = state != nullptr ? state->mc_type : kMcTypeNone;
      p.max_pf_count = kPortFunctions;
      ports.push_back(p);
      at = ports.end() - 1;
    }
    ++at->nic_count;
    if (f->kind == FunctionKind::Iscsi) ++at->iscsi_count, ++at->max_storage_count;
    if (f->nic.roce) ++at->roce_count;
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.link < b.link; });
  return ports;
}

// Per physical function its PCI function descriptor, then its protocol
// descriptor with the function's MAC (and a RoCE one where the topology
// says so).
Bytes personality_default_profile(Simulator& sim, int controller) {
  Bytes image(4, 0);
  uint16_t count = 0;
  for (const SimFunction* f : personality_functions(sim, controller)) {
    const bool iscsi = f->kind == FunctionKind::Iscsi;
    auto pf = personality_descriptor<ProfilePciFunctionDescriptor>(kProfilePciFunction, *f);
    pf.pf_state = 1;
    pf.pf_type = iscsi ? kProtocolIscsi : kProtocolNic;
    pf.mission_roles = iscsi ? kProtocolNic | kStorageRoles : kProtocolNic;
    if (f->nic.sriov >= 0) {
      pf.changeable = kSriovChangeable;
      pf.sriov_state = static_cast<uint8_t>(f->nic.sriov);
      pf.number_vfs = f->nic.sriov == 1 ? kSriovVfCount : 0;
    }
    personality_append(&image, pf);
    if (iscsi) {
      auto d = personality_descriptor<ProfileIscsiDescriptor>(kProfileIscsi, *f);
      parse_mac(f->mac, d.mac);
      d.link = static_cast<uint8_t>(f->port);
      d.min_bandwidth = f->nic.min_share;
      d.max_bandwidth = f->nic.max_share;
      personality_append(&image, d);
    } else {
      auto d = personality_descriptor<ProfileNicDescriptor>(kProfileNic, *f);
      parse_mac(f->mac, d.mac);
      d.link = static_cast<uint8_t>(f->port);
      d.lpvid = f->nic.lpvid;
      d.min_bandwidth = f->nic.min_share;
      d.max_bandwidth = f->nic.max_share;
      personality_append(&image, d);
    }
    count = static_cast<uint16_t>(count + 2);
    if (f->nic.roce) {
      personality_append(&image, personality_descriptor<ProfileRoceDescriptor>(kProfileRoce, *f));
      ++count;
    }
  }
  for (const ProfilePortDescriptor& port : personality_ports(sim, controller)) {
    personality_append(&image, port);
    ++count;
  }
  memcpy(image.data(), &count, sizeof count);
  return image;
}

// A field of a NIC or iSCSI descriptor that a partial write fills with
// ones to keep it.
struct KeptField {
  uint8_t type;
  uint8_t offset;
  uint8_t width;
};
constexpr KeptField kKeptFields[] = {
    {kProfileNic, 8, 2},   {kProfileNic, 18, 2}, {kProfileNic, 20, 2},   {kProfileNic, 28, 2},
    {kProfileNic, 32, 2},  {kProfileNic, 38, 2}, {kProfileNic, 60, 2},   {kProfileNic, 62, 2},
    {kProfileNic, 48, 4},  {kProfileNic, 52, 4}, {kProfileIscsi, 36, 4}, {kProfileIscsi, 40, 4},
    {kProfileFcoe, 56, 4}, {kProfileFcoe, 60, 4},
};

// One descriptor of a partial write over its target: every byte but the
// kept fields a request leaves at all ones.
void personality_merge(uint8_t* target, const uint8_t* d, size_t length) {
  const size_t n = std::min<size_t>(length, target[1]);
  Bytes merged(d, d + n);
  for (const KeptField& k : kKeptFields)
    if (k.type == d[0] && k.offset + k.width <= n &&
        std::all_of(d + k.offset, d + k.offset + k.width, [](uint8_t b) { return b == 0xFF; }))
      std::copy_n(target + k.offset, k.width, merged.begin() + k.offset);
  std::copy(merged.begin(), merged.end(), target);
}

Bytes personality_default_common(Simulator& sim, int controller) {
  return personality_image<uint32_t>(sim, controller, [](const SimFunction& f) {
    CommonProfileDescriptor d{};
    d.type = kCommonPciFunction;
    d.length = sizeof d;
    d.pf = f.pci_function;
    d.protocol_valid = 1;
    d.protocol_type = f.kind == FunctionKind::Iscsi ? kProtocolIscsi : kProtocolNic;
    d.sriov_state = f.nic.sriov == 1 ? 1 : 0;
    return d;
  });
}

Bytes personality_default_legacy(Simulator& sim, int controller) {
  ControllerConfigRecordV1 record{};
  const auto functions = personality_functions(sim, controller);
  for (const SimFunction* f : functions) {
    if (record.count == kControllerConfigEntries) break;
    auto& e = record.entries[record.count++];
    e.resource_type = kConfigEntryPciFunction;
    e.pf_number = f->pci_function;
    e.pf_state = kPfStorageOn;
    e.pf_type = f->kind == FunctionKind::Iscsi ? kPfTypeIscsi : kPfTypeNic;
    e.sriov_state = f->nic.sriov == 1 ? 1 : 0;
  }
  Bytes image;
  personality_append(&image, record);
  return image;
}

// A state object, made from the topology when it is missing.
Bytes& personality_object(Simulator& sim, int controller, const char* name) {
  auto& objects = sim.flash(controller);
  auto it = objects.find(name);
  if (it != objects.end()) return it->second;
  Bytes made;
  if (name == std::string(kActive)) made = personality_default_profile(sim, controller);
  if (name == std::string(kConfigured)) made = personality_object(sim, controller, kActive);
  if (name == std::string(kCommon)) made = personality_default_common(sim, controller);
  if (name == std::string(kLegacy)) made = personality_default_legacy(sim, controller);
  return objects[name] = made;
}

// An image as the answer: as much as fits, the rest of the payload cleared.
MailboxReply personality_answer(MailboxCall& call, const Bytes& image) {
  fill_payload(call, image.data(), image.size());
  return MailboxReply{};
}

// A change was accepted: a reboot is due and 114/1 tells the new personality.
void personality_changed(Simulator& sim, int controller, const char* personality) {
  sim.flash(controller)[kResetNeeded] = Bytes{1};
  sim.flash(controller)[kPersonality].assign(personality, personality + strlen(personality));
}

const char* personality_of_protocol(uint8_t protocol) {
  switch (protocol) {
    case kProtocolNic:
      return "NIC";
    case kProtocolIscsi:
      return "iSCSI";
    case kProtocolFcoe:
      return "FCoE";
    default:
      return "Illegal";
  }
}

bool personality_has(const SimController* c, std::initializer_list<uint32_t> generations) {
  return c != nullptr && std::find(generations.begin(), generations.end(), c->generation) != generations.end();
}

MailboxReply personality_get_profile(Simulator& sim, MailboxCall& call) {
  const SimController* c = call.controller;
  if (c == nullptr) return personality_refused();
  if (c->generation == kGenerationGaltor) return personality_answer(call, personality_object(sim, c->index, kCommon));
  if (call.header.version != 1) return personality_refused();
  if (c->generation == kGenerationCV2) return personality_refused(1, 30);
  if (call.payload.size() < 2) return personality_refused(kStatusInvalid);
  const uint8_t type = call.payload[1] & 3;
  if (type == kProfileGiven) return personality_answer(call, profile_named(sim, c->index, call.payload[0]));
  return personality_answer(call, personality_object(sim, c->index, type == kProfileConfigured ? kConfigured : kActive));
}

// The descriptor of the image with the same type and PF number.
uint8_t* personality_find(Bytes& image, const uint8_t* wanted) {
  ProfileResourceDescriptor w;
  memcpy(&w, wanted, sizeof w);
  uint8_t* found = nullptr;
  walk_profile_descriptors(image.data(), image.size(), [&](uint8_t* d, size_t) {
    ProfileResourceDescriptor h;
    memcpy(&h, d, sizeof h);
    if (h.type == w.type && pf_number_of(h.pf) == pf_number_of(w.pf)) found = d;
    return found == nullptr;
  });
  return found;
}

// The personality the storage functions of a configuration run.
const char* personality_of_profile(const Bytes& image) {
  const char* name = "NIC";
  walk_profile_descriptors(image.data(), image.size(), [&](const uint8_t* d, size_t length) {
    ProfilePciFunctionDescriptor pf;
    if (read_profile_descriptor(d, length, kProfilePciFunction, &pf) && (pf.mission_roles & kStorageRoles) != 0)
      name = personality_of_protocol(pf.pf_state != 0 ? pf.pf_type : kProtocolNic);
    return true;
  });
  return name;
}

uint16_t personality_pf(const uint8_t* d) {
  uint16_t word;
  memcpy(&word, d + offsetof(ProfileResourceDescriptor, pf), sizeof word);
  return pf_number_of(word);
}

// The protocol descriptor (and the RoCE one after it) a PCI function of that
// pf_type runs with, its MAC and link taken from the descriptor it had.
Bytes personality_protocol(uint8_t pf_type, uint16_t pf, const uint8_t* before, size_t before_length) {
  const uint8_t type = pf_type == kProtocolIscsi ? kProfileIscsi : pf_type == kProtocolFcoe ? kProfileFcoe : kProfileNic;
  size_t mac_at = 0, link_at = 0, old_mac = 0, old_link = 0;
  protocol_fields_of(type, &mac_at, &link_at);
  Bytes d(sizeof(ProfileNicDescriptor), 0);
  d[0] = type;
  d[1] = static_cast<uint8_t>(d.size());
  memcpy(d.data() + offsetof(ProfileResourceDescriptor, pf), &pf, sizeof pf);
  if (protocol_fields_of(before[0], &old_mac, &old_link)) {
    if (old_mac + 6 <= before_length) memcpy(d.data() + mac_at, before + old_mac, 6);
    if (old_link < before_length) d[link_at] = before[old_link];
  }
  if (pf_type == kProtocolRoce) {
    Bytes roce(sizeof(ProfileRoceDescriptor), 0);
    roce[0] = kProfileRoce;
    roce[1] = static_cast<uint8_t>(roce.size());
    memcpy(roce.data() + offsetof(ProfileResourceDescriptor, pf), &pf, sizeof pf);
    d.insert(d.end(), roce.begin(), roce.end());
  }
  return d;
}

// A whole configuration over the configured one: each PCI function it
// names takes its descriptor, and a protocol descriptor derived from it
// replaces those the function had; the ports take their multi-channel type
// from the closing descriptor. A PF the configuration lacks, or a protocol
// outside the function's roles, is refused.
bool personality_whole(const Bytes& configured, const Bytes& request, Bytes* updated) {
  std::vector<const uint8_t*> functions;
  const uint8_t* mc = nullptr;
  walk_profile_descriptors(request.data(), request.size(), [&](const uint8_t* d, size_t length) {
    if (d[0] == kProfilePciFunction && length >= sizeof(ProfilePciFunctionDescriptor)) functions.push_back(d);
    if (d[0] == kProfileMultiChannel && length >= sizeof(ProfileMultiChannelDescriptor)) mc = d;
    return true;
  });
  Bytes out(4, 0);
  uint16_t count = 0;
  size_t taken = 0;
  bool valid = true;
  ProfilePciFunctionDescriptor now{};
  const uint8_t* replacing = nullptr;  // the written descriptor of the PF being passed
  bool derived = false;                // its protocol descriptor is out
  const auto emit = [&](const uint8_t* bytes, size_t n) {
    out.insert(out.end(), bytes, bytes + n);
    ++count;
  };
  walk_profile_descriptors(configured.data(), configured.size(), [&](const uint8_t* d, size_t length) {
    const uint8_t type = d[0];
    if (type == kProfilePciFunction) {
      ProfilePciFunctionDescriptor before{};
      memcpy(&before, d, std::min(length, sizeof before));
      replacing = nullptr;
      for (const uint8_t* w : functions)
        if (personality_pf(w) == personality_pf(d)) replacing = w;
      if (replacing == nullptr) {
        emit(d, length);
        return true;
      }
      memcpy(&now, replacing, sizeof now);
      ++taken;
      derived = false;
      const uint8_t roles = before.mission_roles | ((before.mission_roles & kProtocolNic) ? kProtocolRoce : 0);
      valid = now.pf_state != 1 || (std::popcount(now.pf_type) == 1 && (now.pf_type & ~roles) == 0);
      emit(replacing, sizeof now);
      return valid;
    }
    if (type >= kProfileNic && type <= kProfileRoce && replacing != nullptr) {
      if (!derived && type != kProfileRoce) {
        derived = true;
        const Bytes protocol = personality_protocol(now.pf_state == 1 ? now.pf_type : kProtocolNic,
                                                    pf_number_of(now.head.pf), d, length);
        for (size_t at = 0; at < protocol.size(); at += protocol[at + 1]) emit(protocol.data() + at, protocol[at + 1]);
      }
      return true;
    }
    replacing = nullptr;
    if (type == kProfilePort && mc != nullptr && length > offsetof(ProfilePortDescriptor, mc_type)) {
      Bytes port(d, d + length);
      const uint8_t link = port[offsetof(ProfilePortDescriptor, link)] & kLinkMask;
      if (link < 4) port[offsetof(ProfilePortDescriptor, mc_type)] = mc[offsetof(ProfileMultiChannelDescriptor, mc_type) + link];
      emit(port.data(), port.size());
      return true;
    }
    emit(d, length);
    return true;
  });
  if (!valid || taken != functions.size()) return false;
  memcpy(out.data(), &count, sizeof count);
  *updated = out;
  return true;
}

// Byte 3 bit 6 of a channel descriptor written alone: the change applies
// now, not only after the next reset.
constexpr uint8_t kChannelAppliesNow = 0x40;
// pf_state of a PCI function descriptor written alone for its SR-IOV state.
constexpr uint8_t kPfStateKept = 0xFF;

// A port descriptor written alone sets the multi-channel type of every
// port (the controller runs one type); false for a configuration without
// ports.
bool personality_port_type(Bytes* image, const uint8_t* d, size_t length) {
  if (length <= offsetof(ProfilePortDescriptor, mc_type)) return false;
  bool any = false;
  walk_profile_descriptors(image->data(), image->size(), [&](uint8_t* port, size_t port_length) {
    if (port[0] == kProfilePort && port_length > offsetof(ProfilePortDescriptor, mc_type)) {
      port[offsetof(ProfilePortDescriptor, mc_type)] = d[offsetof(ProfilePortDescriptor, mc_type)];
      any = true;
    }
    return true;
  });
  return any;
}

// A PCI function descriptor written alone: with pf_state 0xFF its SR-IOV
// state (refused where SR-IOV cannot change), else its protocol. false:
// refused.
bool personality_function(uint8_t* target, const uint8_t* d) {
  constexpr size_t kState = offsetof(ProfilePciFunctionDescriptor, pf_state);
  constexpr size_t kSriov = offsetof(ProfilePciFunctionDescriptor, sriov_state);
  constexpr size_t kVfs = offsetof(ProfilePciFunctionDescriptor, number_vfs);
  constexpr size_t kChangeable = offsetof(ProfilePciFunctionDescriptor, changeable);
  if (d[kState] != kPfStateKept) {
    memcpy(target + kState, d + kState, 2);
    return true;
  }
  if (target[1] <= kChangeable || (target[kChangeable] & kSriovChangeable) == 0 || d[kSriov] > 1) return false;
  target[kSriov] = d[kSriov];
  const uint16_t vfs = d[kSriov] == 1 ? kSriovVfCount : 0;
  memcpy(target + kVfs, &vfs, sizeof vfs);
  return true;
}

// A whole configuration replaces the configured one; single descriptors
// change the one of their PF (a PCI function descriptor its protocol
// bytes), and one of a PF the configuration lacks is refused.
MailboxReply personality_set_profile(Simulator& sim, MailboxCall& call) {
  const SimController* c = call.controller;
  if (!personality_has(c, {kGenerationCV3, kGenerationMoravel, kGenerationUnknown}) || call.header.version != 1)
    return personality_refused();
  if (call.payload.size() < offsetof(ProfileConfigSet, descriptors)) return personality_refused(kStatusInvalid);
  uint32_t count;
  memcpy(&count, call.payload.data() + offsetof(ProfileConfigSet, count), sizeof count);
  // The request as a reply image: its count and its descriptors from byte 4.
  Bytes request(call.payload.begin() + 4, call.payload.end());
  const auto count16 = static_cast<uint16_t>(std::min<uint32_t>(count, kProfileMaxDescriptors));
  memcpy(request.data(), &count16, sizeof count16);
  Bytes& configured = personality_object(sim, c->index, kConfigured);
  Bytes updated = configured;
  if (call.payload[offsetof(ProfileConfigSet, whole)] & kProfileWholeConfig) {
    if (!personality_whole(configured, request, &updated)) return personality_refused(kStatusInvalid);
    if (const uint8_t id = call.payload[offsetof(ProfileConfigSet, profile_id)]; id != 0)
      profile_ids_set_configured(sim, c->index, id);
  } else {
    bool known = true, refused = false;
    walk_profile_descriptors(request.data(), request.size(), [&](const uint8_t* d, size_t length) {
      if (d[0] == kProfilePort) return known = personality_port_type(&updated, d, length);
      uint8_t* target = personality_find(updated, d);
      if (target == nullptr) return known = false;
      constexpr size_t kProtocolEnd = offsetof(ProfilePciFunctionDescriptor, pf_type) + 1;
      if (d[0] == kProfilePciFunction && length >= kProtocolEnd && target[1] >= kProtocolEnd)
        return !(refused = !personality_function(target, d));
      personality_merge(target, d, length);
      // A channel change marked to apply now changes what the adapter runs.
      if ((d[offsetof(ProfileResourceDescriptor, flags)] & kChannelAppliesNow) != 0)
        if (uint8_t* running = personality_find(personality_object(sim, c->index, kActive), d))
          personality_merge(running, d, length);
      return true;
    });
    if (!known) return personality_refused(1, 81);
    if (refused) return personality_refused(kStatusInvalid);
  }
  if (updated != configured) {
    configured = updated;
    personality_changed(sim, c->index, personality_of_profile(configured));
  }
  return MailboxReply{};
}

const char* personality_of_entry(uint8_t pf_type, uint8_t pf_state) {
  if (pf_type == kPfTypeNic || pf_state != kPfStorageOn) return "NIC";
  return pf_type == kPfTypeIscsi ? "iSCSI" : pf_type == kPfTypeFcoe ? "FCoE" : "Illegal";
}

// Form 1 is kept; form 0 is its first 52 bytes of every entry.
MailboxReply personality_legacy(Simulator& sim, MailboxCall& call) {
  const SimController* c = call.controller;
  if (!personality_has(c, {kGenerationCV2, kGenerationCV3})) return personality_refused();
  Bytes& stored = personality_object(sim, c->index, kLegacy);
  ControllerConfigRecordV1 record{};
  std::copy_n(stored.begin(), std::min(stored.size(), sizeof record), reinterpret_cast<uint8_t*>(&record));
  ControllerConfigRecord form0{};
  form0.count = record.count;
  for (size_t i = 0; i < kControllerConfigEntries; ++i) memcpy(&form0.entries[i], &record.entries[i], 52);
  const bool v1 = call.header.version == 1;
  const size_t size = v1 ? sizeof record : sizeof form0;
  if (call.payload.size() < size) return personality_refused(kStatusInvalid);
  if (call.header.opcode == 81) {
    if (v1) return personality_answer(call, Bytes(stored.begin(), stored.end()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(&form0);
    return personality_answer(call, Bytes(bytes, bytes + sizeof form0));
  }
  if (v1) {
    memcpy(&record, call.payload.data(), sizeof record);
  } else {
    memcpy(&form0, call.payload.data(), sizeof form0);
    record.count = form0.count;
    for (size_t i = 0; i < kControllerConfigEntries; ++i) memcpy(&record.entries[i], &form0.entries[i], 52);
  }
  if (record.count > kControllerConfigEntries) return personality_refused(1, 79);
  Bytes updated(reinterpret_cast<uint8_t*>(&record), reinterpret_cast<uint8_t*>(&record) + sizeof record);
  if (updated == stored) return MailboxReply{};
  stored = updated;
  const char* name = "NIC";
  for (size_t i = 0; i < record.count; ++i)
    if (record.entries[i].resource_type == kConfigEntryPciFunction && record.entries[i].pf_number == 2)
      name = personality_of_entry(record.entries[i].pf_type, record.entries[i].pf_state);
  personality_changed(sim, c->index, name);
  return MailboxReply{};
}

MailboxReply personality_reset_needed(Simulator& sim, MailboxCall& call) {
  if (call.controller == nullptr || call.payload.size() < sizeof(ResetNeeded)) return personality_refused();
  const Bytes& flag = sim.flash(call.controller->index)[kResetNeeded];
  ResetNeeded answer{};
  answer.change = flag.empty() ? 0 : flag[0];
  memcpy(call.payload.data(), &answer, sizeof answer);
  return MailboxReply{};
}

// Back to the factory configuration: the configured profile is the
// active one again, and a reboot is due.
MailboxReply personality_factory(Simulator& sim, MailboxCall& call) {
  const SimController* c = call.controller;
  if (c == nullptr || personality_has(c, {kGenerationCV2, kGenerationCV3})) return personality_refused();
  FactoryProfileRequest request{};
  if (call.payload.size() < sizeof request) return personality_refused(kStatusInvalid);
  memcpy(&request, call.payload.data(), sizeof request);
  if (request.unnamed == 0 && request.profile_id > kHighestProfile) return personality_refused(kStatusInvalid);
  auto& objects = sim.flash(c->index);
  objects.erase(kConfigured);
  objects.erase(kPersonality);
  objects[kResetNeeded] = Bytes{1};
  return MailboxReply{kStatusDoneReboot, 0, -1};
}

}  // namespace

Bytes& personality_state(Simulator& sim, int controller, const char* name) {
  return personality_object(sim, controller, name);
}

Bytes profile_default_image(Simulator& sim, int controller) { return personality_default_profile(sim, controller); }

MailboxReply profile_answer(MailboxCall& call, const Bytes& image) { return personality_answer(call, image); }

void profile_reset_due(Simulator& sim, int controller) { sim.flash(controller)[kResetNeeded] = Bytes{1}; }

void install_personality_responders(Simulator& sim) {
  sim.on(1, 164, personality_get_profile);
  sim.on(1, 165, personality_set_profile);
  sim.on(1, 81, personality_legacy);
  sim.on(1, 82, personality_legacy);
  sim.on(1, 84, personality_reset_needed);
  sim.on(1, 169, personality_factory);
  install_profile_responders(sim);
}

}  // namespace tavo::sim
