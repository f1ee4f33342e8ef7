// The profiles a Moravel adapter offers (Profile instances with their
// Protocol counts), listed once at start-up, and the protocols one
// configured function may take.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "nic/profile_internal.h"
#include "transport/commands.h"

using namespace tavo::nic;
using tavo::ProfileCapacities;
using tavo::ProfileConfigBuffer;
using tavo::ProfileList;

namespace {

// The profile the firmware lists but the library never shows.
constexpr uint8_t kHiddenProfile = 20;

// Per protocol, the functions every port of a profile allows together.
struct ProtocolTotals {
  uint32_t nic = 0, iscsi = 0, fcoe = 0, roce = 0;
};

ProtocolTotals list_totals(const ProfileConfigBuffer& config) {
  ProtocolTotals t;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&config), sizeof config,
                                 [&](const uint8_t* d, size_t length) {
                                   if (d[0] == tavo::kProfilePort) {
                                     const auto port =
                                         tavo::profile_descriptor_padded<tavo::ProfilePortDescriptor>(d, length);
                                     t.nic += tavo::count12_of(port.nic_count);
                                     t.iscsi += tavo::count12_of(port.iscsi_count);
                                     t.fcoe += tavo::count12_of(port.fcoe_count);
                                     t.roce += tavo::count12_of(port.roce_count);
                                   }
                                   return true;
                                 });
  return t;
}

bool list_add_protocol(TavoNode* profile, const char* name, uint32_t count) {
  TavoNode* protocol = initialize_Profile_Protocol(profile, nullptr, nullptr, nullptr);
  if (protocol == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize Protocol Node.\n", "TAVO_get_profile_capacities");
    return false;
  }
  set_prop_val(protocol, "ProtocolName", "%s", name);
  set_prop_val(protocol, "FunctionCount", "%u", count);
  return true;
}

// RoCE joins the profile's first NIC protocol, or stands alone when the
// profile lists nothing yet.
bool list_add_roce(TavoNode* profile, uint32_t count) {
  const std::vector<TavoNode*> protocols = instances_of(profile, "Protocol");
  if (protocols.empty()) return list_add_protocol(profile, "RoCE", count);
  for (TavoNode* p : protocols) {
    char name[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(p, "ProtocolName", name) == 0 && strcasecmp(name, "NIC") == 0) {
      set_prop_val(p, "ProtocolName", "NIC+RoCE");
      break;
    }
  }
  return true;
}

// The protocols of a mission-roles byte, "NIC,iSCSI,FCoE,RoCE" in order.
std::string list_roles(uint8_t roles) {
  static constexpr std::pair<uint8_t, const char*> kRoles[] = {
      {tavo::kProtocolNic, "NIC"}, {tavo::kProtocolIscsi, "iSCSI"}, {tavo::kProtocolFcoe, "FCoE"},
      {tavo::kProtocolRoce, "RoCE"}};
  std::string text;
  for (const auto& [bit, name] : kRoles) {
    if ((roles & bit) == 0) continue;
    if (!text.empty()) text.push_back(',');
    text.append(name);
  }
  return text;
}

// The first PCI function descriptor of pf that pass accepts; false for none.
template <typename Pass>
bool list_find_pf(const ProfileConfigBuffer& config, uint32_t pf, tavo::ProfilePciFunctionDescriptor* out,
                  Pass pass) {
  bool found = false;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&config), sizeof config,
                                 [&](const uint8_t* d, size_t length) {
                                   if (d[0] != tavo::kProfilePciFunction) return true;
                                   *out = tavo::profile_descriptor_padded<tavo::ProfilePciFunctionDescriptor>(d, length);
                                   found = tavo::pf_number_of(out->head.pf) == pf && pass(*out);
                                   return !found;
                                 });
  return found;
}

}  // namespace

uint32_t TAVO_list_available_profiles(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr || profile_support(controller) != ProfileSupport::Supported) return 1;
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  TavoNode* management = profile_groups(controller).management;
  if (management == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get ProfileManagement node.\n", __func__);
    return 1;
  }
  auto list = tavo::base::counted_zeroed<ProfileList>();
  if (!list) {
    tavo::controller::controller_status(31);
    return 1;
  }
  if (ioctl_get_profile_list(fn.number, list.get(), sizeof(ProfileList), fn.domain, fn.port,
                             tavo::controller::controller_instance(controller)) != 0) {
    nic_status(275);
    return 1;
  }
  const uint32_t count = list->count < tavo::kProfileListEntries ? list->count : tavo::kProfileListEntries;
  for (uint32_t i = 0; i < count; ++i) {
    const tavo::ProfileListEntry& entry = list->entries[i];
    if (entry.profile_id == kHiddenProfile) continue;
    TavoNode* profile = initialize_Profile(management, nullptr, nullptr, nullptr);
    if (profile == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to initialize Profile Node.\n", __func__);
      return 1;
    }
    set_prop_val(profile, "ProfileId", "%d", entry.profile_id);
    set_prop_val(profile, "ProfileDescription", "%.*s", static_cast<int>(sizeof entry.description),
                 entry.description);
    // A profile whose capacities cannot be read is listed without them.
    TAVO_get_profile_capacities(entry.profile_id, profile, controller);
  }
  return 0;
}

uint32_t TAVO_get_profile_capacities(uint32_t profile_id, TavoNode* profile, TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr || profile == nullptr) return 1;
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  ProtocolTotals totals;
  {
    const tavo::controller::SharedProfile config(
        tavo::controller::controller_profile(controller, tavo::kProfileGiven, static_cast<uint8_t>(profile_id), 0));
    if (!config) return 1;
    totals = list_totals(*config);
  }
  auto caps = tavo::base::counted_zeroed<ProfileCapacities>();
  if (!caps) {
    tavo::controller::controller_status(31);
    return 1;
  }
  caps->profile_id = static_cast<uint8_t>(profile_id);
  if (ioctl_get_profile_cap(fn.number, caps.get(), sizeof(ProfileCapacities), fn.domain, fn.port,
                            tavo::controller::controller_instance(controller)) != 0) {
    nic_status(276);
    return 1;
  }
  const auto* reply = reinterpret_cast<const uint8_t*>(caps.get());
  uint32_t result = 0;
  tavo::walk_descriptors(reply, sizeof(ProfileCapacities), offsetof(ProfileCapacities, descriptors),
                         tavo::profile_capacity_count(reply), 2, [&](const uint8_t* d, size_t length) {
                           bool made = true;
                           switch (d[0]) {
                             case tavo::kCapacityNic:
                               made = list_add_protocol(profile, "NIC", totals.nic);
                               break;
                             case tavo::kCapacityIscsi:
                               made = list_add_protocol(profile, "iSCSI", totals.iscsi);
                               break;
                             case tavo::kCapacityFcoe:
                               made = list_add_protocol(profile, "FCoE", totals.fcoe);
                               break;
                             case tavo::kCapacityRoce:
                               made = list_add_roce(profile, totals.roce);
                               break;
                             case tavo::kCapacitySummary: {
                               const auto s = tavo::profile_descriptor_padded<tavo::ProfileCapacitySummary>(d, length);
                               pdebug(TAVO_LOG_BACKEND, 6, "%s: profile %u roles 0x%x, %u functions\n",
                                      "TAVO_get_profile_capacities",
                                      profile_id, s.mission_roles, s.total_functions);
                               break;
                             }
                             default:
                               break;
                           }
                           if (!made) result = 1;
                           return made;
                         });
  return result;
}

uint32_t handle_AvailableProtocols(TavoNode* property, char* buf, uint32_t) {
  static constexpr const char* kLevels[] = {"Function", "Port", "ConfiguredProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[5];
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  TavoNode* controller = levels[4];
  char text[TAVO_VALUE_SIZE] = "";
  long long pf = -1;
  if (internal_get_property(levels[0], "FunctionNumber", text) != 0 || !parse_id(text, &pf)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:pf_num is invalid\n", __func__);
    return 1;
  }
  std::string value;
  tavo::ProfilePciFunctionDescriptor d{};
  {
    const tavo::controller::SharedProfile config(
        tavo::controller::controller_profile(controller, tavo::kProfileConfigured, 0, 1));
    if (!config) return 1;
    if (list_find_pf(*config, static_cast<uint32_t>(pf), &d, [](const auto&) { return true; }))
      value = list_roles(d.mission_roles);
  }
  set_prop_val(levels[0], "AvailableProtocols", "%s", value.c_str());
  const tavo::controller::SharedProfile config(
      tavo::controller::controller_profile(controller, tavo::kProfileConfigured, 0, 0));
  if (!config) return 1;
  if (list_find_pf(*config, static_cast<uint32_t>(pf), &d,
                   [](const auto& f) { return (f.changeable & tavo::kPresentationChangeable) != 0; }))
    set_prop_val(levels[0], "AvailableProtocols", "%s,None", value.c_str());
  return answer_stored(property, buf);
}
