// Firmware answers for a Moravel controller's profiles and port layout,
// with state per controller in its flash objects (reply images, so tests
// may plant any bytes; missing ones are made from the tables below):
// "/cfg/profile/list" (166/1), "/cfg/profile/ids" (167/1; 168/1 names the
// next profile and makes its configuration the configured one),
// "/cfg/profile/<id>" (the configuration of a named profile, 164/1 type 1),
// "/cfg/profile/cap/<id>" (161/1 version 1; by default what the profile's
// ports count), "/cfg/ari" (94/1, 95/1) and "/cfg/link" (201/1, 202/1).
// Accepted changes raise the reboot flag. Other generations answer 66.
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ids/device_ids.h"
#include "simulator/profile_store.h"
#include "simulator/responders.h"
#include "transport/firmware_records.h"
#include "transport/profile_records.h"

namespace tavo::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kStatusInvalid = 3;
constexpr uint8_t kStatusNotSupported = 66;

// The profiles a simulated Moravel offers; the second is the one it runs.
struct SimProfile {
  uint8_t id;
  const char* description;
};
constexpr SimProfile kSimProfiles[] = {
    {1, "NIC: four NIC functions per port"},
    {2, "NIC and iSCSI"},
    {20, "Manufacturing"},
    {21, "NIC and RoCE"},
    {24, "NIC with SR-IOV"},
};
constexpr uint8_t kSimProfileId = 2;
// ARI: next and active maximum 7, the IPL's 15, changeable.
constexpr AriSettingsRecord kSimAri = {7, 15, 7, kAriChangeable};
// The link configurations; the first runs.
constexpr SimProfile kSimLinkConfigs[] = {{1, "4x10G"}, {2, "2x25G"}, {3, "1x40G"}};

constexpr char kList[] = "/cfg/profile/list";
constexpr char kIds[] = "/cfg/profile/ids";
constexpr char kAri[] = "/cfg/ari";
constexpr char kLink[] = "/cfg/link";

template <typename Record>
Bytes profiles_bytes(const Record& r) {
  const auto* b = reinterpret_cast<const uint8_t*>(&r);
  return Bytes(b, b + sizeof r);
}

template <typename Record>
Record profiles_record(const Bytes& image) {
  Record r{};
  memcpy(&r, image.data(), std::min(image.size(), sizeof r));
  return r;
}

bool profiles_supported(const SimController* c) {
  return c != nullptr && (c->generation == kGenerationMoravel || c->generation == kGenerationUnknown);
}

Bytes profiles_default_list() {
  ProfileList list{};
  for (const SimProfile& p : kSimProfiles) {
    ProfileListEntry& e = list.entries[list.count];
    e.profile_id = p.id;
    e.index = static_cast<uint8_t>(list.count++);
    strncpy(e.description, p.description, sizeof e.description - 1);
  }
  return profiles_bytes(list);
}

Bytes profiles_default_link() {
  LinkReconfigRecord r{};
  r.active_id = r.next_id = kSimLinkConfigs[0].id;
  for (const SimProfile& l : kSimLinkConfigs) {
    LinkConfigDescriptor& e = r.entries[r.count++];
    e.id = l.id;
    strncpy(e.description, l.description, sizeof e.description - 1);
  }
  return profiles_bytes(r);
}

// What a profile offers, from its configuration: the roles and functions
// in a summary, then one descriptor per protocol its ports count.
Bytes profiles_default_capacities(const Bytes& config) {
  ProfileCapacitySummary summary{kCapacitySummary, sizeof summary, {}, 0, 0, 0};
  uint32_t nic = 0, iscsi = 0, fcoe = 0, roce = 0;
  walk_profile_descriptors(config.data(), config.size(), [&](const uint8_t* d, size_t length) {
    ProfilePciFunctionDescriptor pf;
    ProfilePortDescriptor port;
    if (read_profile_descriptor(d, length, kProfilePciFunction, &pf)) {
      summary.mission_roles |= pf.mission_roles;
      ++summary.total_functions;
    }
    if (read_profile_descriptor(d, length, kProfilePort, &port)) {
      nic += count12_of(port.nic_count), iscsi += count12_of(port.iscsi_count);
      fcoe += count12_of(port.fcoe_count), roce += count12_of(port.roce_count);
    }
    return true;
  });
  Bytes image(4, 0);
  const auto* s = reinterpret_cast<const uint8_t*>(&summary);
  image.insert(image.end(), s, s + sizeof summary);
  uint32_t count = 1;
  for (const auto& [type, total] : {std::pair{kCapacityNic, nic}, {kCapacityIscsi, iscsi}, {kCapacityFcoe, fcoe},
                                    {kCapacityRoce, roce}}) {
    if (total == 0) continue;
    image.insert(image.end(), {type, 4, 0, 0});
    ++count;
  }
  memcpy(image.data(), &count, sizeof count);
  return image;
}

Bytes& profiles_object(Simulator& sim, int controller, const std::string& name) {
  auto& objects = sim.flash(controller);
  auto it = objects.find(name);
  if (it != objects.end()) return it->second;
  Bytes made;
  if (name == kList) made = profiles_default_list();
  if (name == kIds) made = profiles_bytes(ProfileIdRecord{kSimProfileId, kSimProfileId});
  if (name == kAri) made = profiles_bytes(kSimAri);
  if (name == kLink) made = profiles_default_link();
  if (name.starts_with("/cfg/profile/cap/"))
    made = profiles_default_capacities(profile_named(sim, controller, static_cast<uint8_t>(std::stoi(name.substr(17)))));
  return objects[name] = made;
}

bool profiles_listed(Simulator& sim, int controller, uint8_t id) {
  const auto list = profiles_record<ProfileList>(profiles_object(sim, controller, kList));
  for (uint32_t i = 0; i < std::min<uint32_t>(list.count, kProfileListEntries); ++i)
    if (list.entries[i].profile_id == id) return true;
  return false;
}

// A request of Record, or null (status 3) when the payload is short.
template <typename Record>
bool profiles_request(const MailboxCall& call, Record* out) {
  if (call.payload.size() < sizeof *out) return false;
  memcpy(out, call.payload.data(), sizeof *out);
  return true;
}

// The responders; each is installed behind the generation check.
MailboxReply profiles_list(Simulator& sim, MailboxCall& call) {
  return profile_answer(call, profiles_object(sim, call.controller->index, kList));
}

MailboxReply profiles_ids(Simulator& sim, MailboxCall& call) {
  return profile_answer(call, profiles_object(sim, call.controller->index, kIds));
}

MailboxReply profiles_set_id(Simulator& sim, MailboxCall& call) {
  const int c = call.controller->index;
  ProfileIdRequest request;
  if (!profiles_request(call, &request)) return MailboxReply{kStatusInvalid, 0, 0};
  if ((request.flags & kFactoryDefault) != 0) {
    personality_state(sim, c, "/cfg/profile/configured") = profile_default_image(sim, c);
    profile_ids_set_configured(sim, c, kSimProfileId);
  } else {
    if (!profiles_listed(sim, c, request.profile_id)) return MailboxReply{kStatusInvalid, 0, 0};
    personality_state(sim, c, "/cfg/profile/configured") = profile_named(sim, c, request.profile_id);
    profile_ids_set_configured(sim, c, request.profile_id);
  }
  profile_reset_due(sim, c);
  return MailboxReply{};
}

MailboxReply profiles_capacities(Simulator& sim, MailboxCall& call) {
  if (call.header.version != 1 || call.payload.empty()) return MailboxReply{kStatusNotSupported, 0, 0};
  return profile_answer(call, profiles_object(sim, call.controller->index,
                                              "/cfg/profile/cap/" + std::to_string(call.payload[0])));
}

MailboxReply profiles_ari(Simulator& sim, MailboxCall& call) {
  return profile_answer(call, profiles_object(sim, call.controller->index, kAri));
}

MailboxReply profiles_set_ari(Simulator& sim, MailboxCall& call) {
  const int c = call.controller->index;
  AriSettingsRecord request;
  Bytes& stored = profiles_object(sim, c, kAri);
  auto ari = profiles_record<AriSettingsRecord>(stored);
  if (!profiles_request(call, &request) || (ari.flags & kAriChangeable) == 0) return MailboxReply{kStatusInvalid, 0, 0};
  ari.next_max_pf = (request.flags & kAriChangeable) != 0 ? kSimAri.next_max_pf : request.next_max_pf;
  stored = profiles_bytes(ari);
  profile_reset_due(sim, c);
  return MailboxReply{};
}

MailboxReply profiles_link(Simulator& sim, MailboxCall& call) {
  return profile_answer(call, profiles_object(sim, call.controller->index, kLink));
}

MailboxReply profiles_set_link(Simulator& sim, MailboxCall& call) {
  const int c = call.controller->index;
  LinkReconfigRequest request;
  Bytes& stored = profiles_object(sim, c, kLink);
  auto link = profiles_record<LinkReconfigRecord>(stored);
  if (!profiles_request(call, &request)) return MailboxReply{kStatusInvalid, 0, 0};
  if ((request.flags & kFactoryDefault) != 0) {
    link.next_id = kSimLinkConfigs[0].id;
  } else {
    const uint32_t n = std::min<uint32_t>(link.count, kLinkConfigEntries);
    if (std::none_of(link.entries, link.entries + n, [&](const auto& e) { return e.id == request.id; }))
      return MailboxReply{kStatusInvalid, 0, 0};
    link.next_id = request.id;
  }
  stored = profiles_bytes(link);
  profile_reset_due(sim, c);
  return MailboxReply{};
}

Responder profiles_only(MailboxReply (*responder)(Simulator&, MailboxCall&)) {
  return [responder](Simulator& sim, MailboxCall& call) {
    if (!profiles_supported(call.controller)) return MailboxReply{kStatusNotSupported, 0, 0};
    return responder(sim, call);
  };
}

}  // namespace

Bytes& profile_named(Simulator& sim, int controller, uint8_t id) {
  auto& objects = sim.flash(controller);
  const std::string name = "/cfg/profile/" + std::to_string(id);
  auto it = objects.find(name);
  if (it != objects.end()) return it->second;
  return objects[name] = profile_default_image(sim, controller);
}

void profile_ids_set_configured(Simulator& sim, int controller, uint16_t id) {
  Bytes& stored = profiles_object(sim, controller, kIds);
  auto ids = profiles_record<ProfileIdRecord>(stored);
  ids.configured_id = id;
  stored = profiles_bytes(ids);
}

void install_profile_responders(Simulator& sim) {
  sim.on(1, 166, profiles_only(profiles_list));
  sim.on(1, 167, profiles_only(profiles_ids));
  sim.on(1, 168, profiles_only(profiles_set_id));
  sim.on(1, 161, profiles_only(profiles_capacities));
  sim.on(1, 94, profiles_only(profiles_ari));
  sim.on(1, 95, profiles_only(profiles_set_ari));
  sim.on(1, 201, profiles_only(profiles_link));
  sim.on(1, 202, profiles_only(profiles_set_link));
}

}  // namespace tavo::sim
