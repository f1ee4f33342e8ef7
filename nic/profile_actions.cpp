// The profile actions of a Moravel controller: another profile, the edited
// configured layout written to the adapter, and the factory profile. Each
// takes effect at the adapter's next reset; the configured view is rebuilt
// from the adapter afterwards.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/read_scope.h"
#include "nic/channels.h"
#include "nic/profile_internal.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using namespace tavo::nic;
using tavo::ProfileConfigBuffer;
using tavo::ProfilePciFunctionDescriptor;

namespace {

// The profile whose functions all run with SR-IOV.
constexpr uint32_t kSriovProfile = 24;
// TAVO_save_mc_props of a port without channels.
constexpr uint32_t kNoChannels = 317;

// One function of the edited layout as SaveProfile writes it. A save
// changes only what the user changed: an SR-IOV state shown "N/A" cannot
// change, and stays as the adapter has it.
constexpr uint8_t kSriovKept = 0xFF;
struct EditedFunction {
  uint32_t number = 0;
  uint8_t protocol = kProtocolOff;
  uint8_t sriov = 0;  // 0, 1 or kSriovKept
};

// The edited layout: each port's multi-channel code, its name by the
// port's number, and every port's functions in order.
struct EditedLayout {
  std::vector<uint8_t> mc_codes;
  std::map<int32_t, std::string> mc_names;
  std::vector<EditedFunction> functions;
};

// A PCI function descriptor to build one written descriptor from.
struct SaveSource {
  uint16_t pf = 0;
  const uint8_t* descriptor = nullptr;
  size_t length = 0;
};

// The set form holds the PCI function descriptors and the closing
// multi-channel one.
constexpr size_t kMaxWrittenFunctions = tavo::kProfileMaxDescriptors - 1;

std::vector<SaveSource> save_functions_of(const ProfileConfigBuffer& config) {
  std::vector<SaveSource> out;
  tavo::walk_profile_descriptors(reinterpret_cast<const uint8_t*>(&config), sizeof config,
                                 [&](const uint8_t* d, size_t length) {
                                   if (d[0] != tavo::kProfilePciFunction) return true;
                                   tavo::ProfileResourceDescriptor head;
                                   memcpy(&head, d, sizeof head);
                                   out.push_back({tavo::pf_number_of(head.pf), d, length});
                                   return out.size() < kMaxWrittenFunctions;
                                 });
  return out;
}

// Where the active layout lists the configured PFs in the same order, the
// active descriptor is the source; from the first difference on, the
// configured ones are kept for the PFs passed over.
void save_prefer_active(std::vector<SaveSource>* table, const ProfileConfigBuffer& active) {
  size_t j = 0;
  for (const SaveSource& a : save_functions_of(active)) {
    if (j >= table->size()) break;
    if (a.pf == (*table)[j].pf) (*table)[j] = a;
    ++j;
  }
}

// The value of a property read through its handler; false when it fails.
bool save_read(TavoNode* group, const char* name, char text[TAVO_VALUE_SIZE]) {
  text[0] = '\0';
  return internal_get_property(group, name, text) == 0;
}

bool save_gather(TavoNode* configured, EditedLayout* out) {
  const std::vector<TavoNode*> ports = instances_of(configured, "Port");
  if (ports.empty()) return false;
  for (TavoNode* port : ports) {
    const std::vector<TavoNode*> functions = instances_of(port, "Function");
    char text[TAVO_VALUE_SIZE];
    if (functions.empty() || !save_read(port, "MCType", text)) return false;
    out->mc_codes.push_back(mc_type_saved_code(text));
    out->mc_names[tavo::tree::instance_number(port)] = text;
    for (TavoNode* f : functions) {
      EditedFunction e;
      char protocol[TAVO_VALUE_SIZE], sriov[TAVO_VALUE_SIZE];
      if (!save_read(f, "FunctionNumber", text) || !save_read(f, "Protocol", protocol) ||
          !save_read(f, "SRIOVState", sriov))
        return false;
      e.number = static_cast<uint32_t>(strtoul(text, nullptr, 16));
      e.protocol = protocol_code(protocol);
      e.sriov = strcasecmp(sriov, "Enabled") == 0 ? 1 : strcmp(sriov, "N/A") == 0 ? kSriovKept : 0;
      out->functions.push_back(e);
    }
  }
  return true;
}

// One written PCI function descriptor at out (88 bytes).
void save_descriptor(const SaveSource& source, const EditedLayout& layout, uint32_t profile_id, uint8_t* out) {
  auto d = tavo::profile_descriptor_padded<ProfilePciFunctionDescriptor>(source.descriptor, source.length);
  d.head.type = tavo::kProfilePciFunction;
  d.head.length = sizeof d;
  d.head.flags = static_cast<uint8_t>(d.head.flags & ~tavo::kWholeWriteClearedFlags);
  const auto edited = std::find_if(layout.functions.begin(), layout.functions.end(),
                                   [&](const EditedFunction& f) { return f.number == source.pf; });
  const bool off = edited == layout.functions.end() || edited->protocol == kProtocolOff;
  if (edited != layout.functions.end()) d.head.pf = tavo::with_pf_number(d.head.pf, edited->number);
  if (off) {
    // Switched off (or not in the tree): a disabled NIC function.
    d.pf_state = 0;
    d.pf_type = tavo::kProtocolNic;
    d.sriov_state = 0;
    d.number_vfs = 0;
  } else {
    d.pf_state = 1;
    d.pf_type = edited->protocol;
    if (profile_id == kSriovProfile || edited->sriov != kSriovKept) {
      d.sriov_state = profile_id == kSriovProfile ? 1 : edited->sriov;
      d.number_vfs = d.sriov_state == 1 ? tavo::kSriovVfCount : 0;
    }
  }
  memcpy(out, &d, sizeof d);
}

// The OEM maker's systems leave multi-channel mode with their virtual MACs
// reset and the flash region of them erased. 0, 1, or the erase's status.
uint32_t save_oem_step(TavoNode* controller, const HandlerContext& fn) {
  if (TAVO_DetermineIfDellSystem(controller) != 0) return 0;
  const ProfileGroups g = profile_groups(controller);
  if (g.configured == nullptr || g.active == nullptr) return 1;
  TavoNode* configured_port = get_first_instance(g.configured, "Port");
  TavoNode* active_port = get_first_instance(g.active, "Port");
  char configured_type[TAVO_VALUE_SIZE], active_type[TAVO_VALUE_SIZE];
  if (configured_port == nullptr || active_port == nullptr || !save_read(configured_port, "MCType", configured_type) ||
      !save_read(active_port, "MCType", active_type))
    return 1;
  if (strcasecmp(configured_type, "None") != 0 || strcasecmp(active_type, "None") == 0) return 0;
  TAVO_reset_virt_mac(controller, 1);
  tavo::EraseRequest erase{tavo::kEraseType, tavo::kEraseVirtualMacs, {}};
  return ioctl_erase_ROM(fn.number, &erase, fn.domain, fn.port, tavo::controller::controller_transport(controller));
}

// Each port after the new layout: its flow control sent again for its own
// configured multi-channel type (the configured Port whose descriptor
// carries its link number), and its channels rebuilt with their settings carried across.
uint32_t save_ports(TavoNode* controller, const std::map<int32_t, std::string>& mc_names,
                    const uint8_t mc_codes[TAVO_MC_PORTS]) {
  const std::vector<TavoNode*> ports = instances_of(controller, "PortDiscoveryAndConfiguration");
  if (ports.empty()) return 1;
  auto table = tavo::base::counted_zeroed<McPropRecord>(sizeof(McPropRecord) * TAVO_MC_PORTS * TAVO_MC_CHANNELS);
  if (!table) {
    tavo::base::set_status(16);
    return 1;
  }
  for (TavoNode* port : ports) {
    char number[TAVO_VALUE_SIZE];
    TavoNode* channels = internal_get_node(port, "ChannelManagement", TAVO_KIND_GROUP);
    const int32_t index = tavo::tree::instance_number(port);
    long long port_number = 0;
    if (!save_read(port, "PortNumber", number) || !parse_id(number, &port_number) || channels == nullptr ||
        index < 0 || index >= TAVO_MC_PORTS)
      return 1;
    TavoNode* configured_port = tavo::controller::profile_port_of_link(
        controller, profile_groups(controller).configured, tavo::kProfileConfigured, static_cast<uint32_t>(port_number));
    const auto mc_name = mc_names.find(configured_port != nullptr ? tavo::tree::instance_number(configured_port) : -1);
    if (mc_name == mc_names.end() || TAVO_reset_flow_control_properties(port, mc_name->second.c_str()) != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to reset the flow control of port %d.\n", "do_SaveProfile", index);
    uint32_t count = 0;
    const uint32_t saved = TAVO_save_mc_props(channels, table.get(), static_cast<uint32_t>(index), &count);
    if (saved == kNoChannels) continue;
    if (saved != 0 || purge_nodes_within(channels, "Channel") != 0 ||
        TAVO_get_multi_channels_info(static_cast<uint32_t>(port_number), port) != 0)
      return 1;
    TAVO_reset_mc_props(channels, table.get(), static_cast<uint32_t>(index), mc_codes, count);
  }
  return 0;
}

// Steps 2-9 of a save; *written tells whether the adapter took the new
// configuration.
uint32_t save_profile(TavoNode* controller, const HandlerContext& fn, bool* written) {
  const tavo::controller::SharedProfile configured(
      tavo::controller::controller_profile(controller, tavo::kProfileConfigured, 0, 1));
  if (!configured) return 1;
  std::vector<SaveSource> table = save_functions_of(*configured);
  const tavo::controller::SharedProfile active(
      tavo::controller::controller_profile(controller, tavo::kProfileActive, 0, 0));
  if (!active) return 1;
  save_prefer_active(&table, *active);
  const ProfileGroups g = profile_groups(controller);
  EditedLayout layout;
  if (g.configured == nullptr || !save_gather(g.configured, &layout)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:The configured ports and functions could not be read.\n", "do_SaveProfile");
    return 1;
  }
  const size_t n = table.size();
  const size_t size = offsetof(tavo::ProfileConfigSet, descriptors) + n * sizeof(ProfilePciFunctionDescriptor) +
                      sizeof(tavo::ProfileMultiChannelDescriptor);
  auto request = tavo::base::counted_zeroed<uint8_t>(size);
  if (!request) {
    tavo::base::set_status(16);
    return 1;
  }
  char text[TAVO_VALUE_SIZE];
  long long profile_id = 0;
  if (!save_read(g.configured, "ProfileId", text) || !parse_id(text, &profile_id)) return 1;
  uint8_t* set = request.get();
  set[offsetof(tavo::ProfileConfigSet, profile_id)] = static_cast<uint8_t>(profile_id);
  set[offsetof(tavo::ProfileConfigSet, whole)] = tavo::kProfileWholeConfig;
  const auto count = static_cast<uint32_t>(n + 1);
  memcpy(set + offsetof(tavo::ProfileConfigSet, count), &count, sizeof count);
  uint8_t* at = set + offsetof(tavo::ProfileConfigSet, descriptors);
  for (const SaveSource& source : table) {
    save_descriptor(source, layout, static_cast<uint8_t>(profile_id), at);
    at += sizeof(ProfilePciFunctionDescriptor);
  }
  tavo::ProfileMultiChannelDescriptor mc{};
  mc.type = tavo::kProfileMultiChannel;
  mc.length = sizeof mc;
  for (size_t p = 0; p < layout.mc_codes.size() && p < sizeof mc.mc_type; ++p) mc.mc_type[p] = layout.mc_codes[p];
  memcpy(at, &mc, sizeof mc);
  if (ioctl_set_profile_config(fn.number, set, static_cast<uint16_t>(size), fn.domain, fn.port,
                               tavo::controller::controller_transport(controller)) != 0) {
    // The edits give way to the layout the adapter keeps.
    rebuild_configured_view(controller);
    nic_status(305);
    return 1;
  }
  *written = true;
  tavo::ResetNeeded reset{};
  if (ioctl_get_reset_needed(fn.number, &reset, fn.domain, fn.port,
                             tavo::controller::controller_instance(controller)) != 0) {
    tavo::controller::controller_status(279);
    return 1;
  }
  if (reset.change != 0) tavo::base::set_status(304);
  if (rebuild_configured_view(controller) != 0) return 1;
  uint8_t mc_codes[TAVO_MC_PORTS] = {};
  std::copy_n(layout.mc_codes.begin(), std::min<size_t>(layout.mc_codes.size(), TAVO_MC_PORTS), mc_codes);
  return save_ports(controller, layout.mc_names, mc_codes);
}

}  // namespace

uint32_t do_SetProfileId(TavoNode* management, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::base::ReadScope reads;  // each profile question asked once, again after the change
  TavoNode* controller = management != nullptr ? management->parent : nullptr;
  if (action == nullptr || params == nullptr || profile_support(controller) != ProfileSupport::Supported) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const HandlerContext fn = handler_context(action);
  if (!fn || profile_groups(controller).configured == nullptr) return 1;
  // The tree took 1-256; the request has one byte for it.
  long long id = 0;
  if (!parse_id(params, &id) || id > 255) {
    tavo::tree::validation_status(TAVO_OUT_OF_RANGE, "ProfileId", 1, 255);
    return 1;
  }
  tavo::ProfileIdRequest request{};
  request.profile_id = static_cast<uint8_t>(id);
  if (change_and_rebuild(controller, 281, [&] {
        return ioctl_set_active_profile(fn.number, &request, fn.domain, fn.port,
                                        tavo::controller::controller_instance(controller));
      }) != 0)
    return 1;
  nic_status(280);
  return 0;
}

uint32_t do_SaveProfile(TavoNode* management, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::base::ReadScope reads;  // each profile question asked once, again after the change
  TavoNode* controller = management != nullptr ? management->parent : nullptr;
  switch (profile_support(controller)) {
    case ProfileSupport::Unreadable:
      return 1;
    case ProfileSupport::NotSupported:
      nic_status(303);
      return 1;
    default:
      break;
  }
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const HandlerContext fn = handler_context(controller, Commands::OfController);
  if (!fn) return 1;
  // The file's lock before the adapter hears of the save: the edits read,
  // the layout written and the view rebuilt are one change to the other
  // processes, and a lock that cannot be had changes nothing.
  const CprofHold hold;
  if (!hold.held()) return 1;
  // Another process's start or change replaced an edit made here: saving
  // what the file shows now would drop it unseen.
  if (cprof_edits_lost(controller)) {
    kEditsDiscarded.set();
    return 1;
  }
  bool written = false;
  const uint32_t result = save_profile(controller, fn, &written);
  // The OEM step follows only a configuration the adapter took, and never
  // hides an earlier failure.
  if (!written) return result;
  const uint32_t oem = save_oem_step(controller, fn);
  return result != 0 ? result : oem;
}

uint32_t do_SetFactoryDefaults(TavoNode* management, TavoNode* action, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::base::ReadScope reads;  // each profile question asked once, again after the change
  TavoNode* controller = management != nullptr ? management->parent : nullptr;
  if (action == nullptr || profile_support(controller) != ProfileSupport::Supported) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const HandlerContext fn = handler_context(action);
  if (!fn) return 1;
  if (get_cv_type(controller) != tavo::kGenerationMoravel) {
    nic_status(301);
    return 1;
  }
  tavo::ProfileIdRequest request{};
  request.flags = tavo::kFactoryDefault;
  if (change_and_rebuild(controller, 281, [&] {
        return ioctl_set_active_profile(fn.number, &request, fn.domain, fn.port,
                                        tavo::controller::controller_instance(controller));
      }) != 0)
    return 1;
  if (TAVO_DetermineIfDellSystem(controller) == 0) {
    TAVO_reset_virt_mac(controller, 0);
    tavo::EraseRequest erase{tavo::kEraseType, tavo::kEraseVirtualMacs, {}};
    const uint32_t status = ioctl_erase_ROM(fn.number, &erase, fn.domain, fn.port,
                                            tavo::controller::controller_transport(controller));
    if (status != 0) pdebug(TAVO_LOG_BACKEND, 3, "%s: erasing the virtual MACs answered %u\n", __func__, status);
  }
  return 0;
}
