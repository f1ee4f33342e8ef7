// SR-IOV of a NIC function: read from and written to the configured
// profile (its PCI function descriptors), with the older paths where the
// profile does not serve: the legacy controller configuration on CV3 and
// the common profile on Galtor. A change takes effect at the next reboot
// (status 252). VEPA: how the embedded switch forwards a Moravel port's
// traffic (mailboxes 152 and 153).
#include <stdio.h>
#include <string.h>

#include <vector>

#include "controller/controller.h"
#include "nic/channel_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo;
using namespace tavo::nic;

namespace {

constexpr uint32_t kVersionNotSupported = tavo::controller::kVersionNotSupported;  // 213
constexpr uint32_t kOtherPath = tavo::controller::kPathNotApplicable;              // 288
constexpr uint8_t kPfStateKept = 0xFF;
constexpr uint8_t kLegacyNotApplicable = 255;

const char* sriov_text(uint8_t state) { return state == 0 ? "Disabled" : state == 1 ? "Enabled" : nullptr; }

// A PF number as the tree holds it (automatic base, nothing trailing).
bool sriov_pf(const char* text, uint32_t* pf) {
  long long n = 0;
  if (!parse_within(text, 0, 0x7FFFFFFF, &n)) return false;
  *pf = static_cast<uint32_t>(n);
  return true;
}

using LegacyEntry = ControllerConfigEntry<68>;

// The legacy record of a NIC function: a PCI function entry with the
// storage protocol off and pf_type NIC whose "0x%x" PF is pf.
LegacyEntry* sriov_legacy_entry(ControllerConfigRecordV1& record, const char* pf) {
  const uint32_t count = record.count < kControllerConfigEntries ? record.count : kControllerConfigEntries;
  for (uint32_t i = 0; i < count; ++i) {
    LegacyEntry& e = record.entries[i];
    char text[TAVO_VALUE_SIZE];
    pf_text(e.pf_number, text);
    if (e.resource_type == kConfigEntryPciFunction && e.pf_state == kPfStorageOn && e.pf_type == kPfTypeNic &&
        same(text, pf))
      return &e;
  }
  return nullptr;
}

base::Counted<ControllerConfigRecordV1> sriov_legacy_read(uint32_t port_number, uint8_t domain, uint8_t phba_port) {
  auto record = base::counted_zeroed<ControllerConfigRecordV1>();
  if (!record) {
    base::set_status(16);
    return record;
  }
  if (ioctl_get_cv_conf_V1(port_number, record.get(), sizeof *record, domain, phba_port, TAVO_VIA_NIC) != 0) {
    nic_status(241);
    record.reset();
  }
  return record;
}

// Galtor: the SR-IOV state of the function's descriptor in the common
// profile; "N/A" where the count is not believed or the state has no
// name, null without a descriptor. The walk stays inside the buffer.
const char* sriov_common_state(const CommonProfileConfig& config, const char* pf) {
  if (config.count > kCommonNotApplicable) return "N/A";
  const uint32_t count = config.count < kCommonMaxDescriptors ? config.count : kCommonMaxDescriptors;
  for (uint32_t i = 0; i < count; ++i) {
    const CommonProfileDescriptor& d = config.descriptors[i];
    char text[TAVO_VALUE_SIZE];
    pf_text(pf_number_of(d.pf), text);
    if (d.type == kCommonPciFunction && same(text, pf) && d.protocol_valid == 1 && d.protocol_type == 1) {
      const char* state = sriov_text(d.sriov_state);
      return state != nullptr ? state : "N/A";
    }
  }
  return nullptr;
}

// The function's capabilities say SR-IOV does not apply.
bool sriov_not_applicable(const HandlerContext& c) {
  FirmwareConfig config{};
  ioctl_get_fw_config(c.number, &config, c.domain, c.port, TAVO_VIA_NIC);
  return (config.capabilities & kCapabilityNoChannels) != 0;
}

// One PCI function of the configured profile as the Moravel rewrite
// sends it.
struct SriovEntry {
  uint16_t pf;
  ProfilePciFunctionDescriptor d;
};

// TAVO_conf_sriov_state; *unsaved tells a config_prof.txt that could not
// be saved.
uint32_t conf_sriov_state(TavoNode* controller, uint32_t pf, const char* value, bool* unsaved) {
  const ProfileGroups g = profile_groups(controller);
  if (g.management == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get ProfileManagement Node.\n", "TAVO_conf_sriov_state");
    return 1;
  }
  if (g.configured == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get active profile Node.\n", "TAVO_conf_sriov_state");
    return 1;
  }
  const std::vector<TavoNode*> ports = instances_of(g.configured, "Port");
  if (ports.empty() || value == nullptr) return 1;
  for (TavoNode* port : ports) {
    const std::vector<TavoNode*> functions = instances_of(port, "Function");
    if (functions.empty()) return 1;
    for (TavoNode* f : functions) {
      char text[TAVO_VALUE_SIZE] = "";
      uint32_t number = 0;
      if (internal_get_property(f, "FunctionNumber", text) != 0 || !sriov_pf(text, &number) || number != pf) continue;
      // As a client's edit, so that config_prof.txt says it too.
      *unsaved = !set_configured_sriov(f, value);
      return 0;
    }
  }
  return 0;
}

}  // namespace

uint32_t TAVO_get_SRIOVState(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                             uint8_t phba_port, TavoNode* controller, const char* pf, uint8_t config_type,
                             TavoNode* target) {
  if (function == nullptr || controller == nullptr || pf == nullptr || target == nullptr) return 1;
  if (generation == kGenerationGaltor) return kOtherPath;
  uint32_t number = 0;
  if (!sriov_pf(pf, &number)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:pf_number is invalid\n", __func__);
    return 1;
  }
  const HandlerContext at{controller, function, port_number, domain, phba_port};
  uint32_t status = 0;
  const auto config = read_profile(at, TAVO_VIA_NIC, config_type, 0, 0, &status);
  if (!config) {
    if (status == kVersionNotSupported) return status;
    if (status != 16) base::set_status(278);
    return 1;
  }
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(config.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             const auto f = profile_descriptor_padded<ProfilePciFunctionDescriptor>(d, length);
                             if (f.head.type != kProfilePciFunction || pf_number_of(f.head.pf) != number) return true;
                             const char* state =
                                 (f.changeable & kSriovChangeable) == 0 ? "N/A" : sriov_text(f.sriov_state);
                             if (state != nullptr) set_prop_val(target, "SRIOVState", "%s", state);
                             return true;
                           });
  return 0;
}

uint32_t TAVO_get_legacy_sriov_state(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                                     uint8_t phba_port, TavoNode* controller) {
  char pf[TAVO_VALUE_SIZE];
  if (function == nullptr || controller == nullptr || !pci_function_text(function, pf, __func__, ": ")) return 1;
  const char* state = nullptr;
  bool found = false;
  if (generation == kGenerationCV3) {
    auto record = sriov_legacy_read(port_number, domain, phba_port);
    if (!record) return 1;
    if (const LegacyEntry* e = sriov_legacy_entry(*record, pf)) {
      found = true;
      state = e->sriov_state == kLegacyNotApplicable ? "N/A" : sriov_text(e->sriov_state);
    }
  } else if (generation == kGenerationGaltor) {
    auto config = base::counted_zeroed<CommonProfileConfig>();
    if (!config) {
      base::set_status(16);
      return 1;
    }
    reinterpret_cast<uint8_t*>(config.get())[1] = kProfileActive;
    const HandlerContext at = protocol_route({controller, function, port_number, domain, phba_port});
    const uint32_t status = ioctl_get_common_profile_config(at.number, config.get(), sizeof *config, at.domain,
                                                            at.port, tavo::controller::controller_instance(controller));
    if (status != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_get_common_profile_config failed with status = %d\n", __func__,
             static_cast<int>(status));
      tavo::controller::controller_status(140);
      return 1;
    }
    state = sriov_common_state(*config, pf);
    found = state != nullptr;
  }
  if (!found) {
    pdebug(TAVO_LOG_BACKEND, 5, "SRIOV State is not supported for given pf.\n");
    state = "N/A";
  }
  // A state without a name leaves the value as it was.
  if (state != nullptr) set_prop_val(function, "SRIOVState", "%s", state);
  return 0;
}

uint32_t TAVO_set_SRIOVState(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                             uint8_t phba_port, const char* value, TavoNode* controller) {
  if (function == nullptr || value == nullptr || controller == nullptr) return 1;
  if (generation == kGenerationCV2 || generation == kGenerationGaltor) return kOtherPath;
  char current[TAVO_VALUE_SIZE] = "", text[TAVO_VALUE_SIZE];
  if (internal_get_property(function, "SRIOVState", current) != 0) return 1;
  if (same(current, "N/A")) {
    nic_status(247);
    return 1;
  }
  uint32_t pf = 0;
  if (!pci_function_text(function, text, __func__, ": ")) return 1;
  if (!sriov_pf(text, &pf)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: pf_number is invalid\n", __func__);
    return 1;
  }
  if (generation == kGenerationCV3) {
    auto request = base::counted_zeroed<ProfileConfigSet>();
    if (!request) {
      base::set_status(16);
      return 1;
    }
    ProfilePciFunctionDescriptor d{};
    d.head.type = kProfilePciFunction;
    d.head.length = sizeof d;
    d.head.pf = with_pf_number(0, pf);
    d.sriov_state = same(value, "Disabled") ? 0 : 1;
    d.pf_state = kPfStateKept;
    d.pf_type = kProtocolNic;
    request->count = 1;
    memcpy(request->descriptors, &d, sizeof d);
    const uint32_t status =
        ioctl_set_profile_config(port_number, request.get(), sizeof *request, domain, phba_port, TAVO_VIA_NIC);
    if (status == kVersionNotSupported) return status;
    if (status != 0) {
      tavo::controller::controller_status(283);
      return 1;
    }
  } else if (TAVO_set_hpi_sriov_state(controller, pf, value, port_number, domain, phba_port, TAVO_VIA_NIC) != 0) {
    return 1;
  }
  nic_status(252);
  return 0;
}

uint32_t TAVO_set_legacy_sriov_state(uint32_t generation, TavoNode* function, uint32_t port_number, uint8_t domain,
                                     uint8_t phba_port, TavoNode* controller, const char* value) {
  char pf[TAVO_VALUE_SIZE];
  if (value == nullptr || function == nullptr || controller == nullptr ||
      !pci_function_text(function, pf, __func__, ": "))
    return 1;
  if (generation == kGenerationGaltor) {
    nic_status(247);
    return 1;
  }
  if (generation == kGenerationCV3) {
    auto record = sriov_legacy_read(port_number, domain, phba_port);
    if (!record) return 1;
    LegacyEntry* e = sriov_legacy_entry(*record, pf);
    if (e != nullptr) {
      if (same(value, "Disabled") || same(value, "Enabled")) e->sriov_state = same(value, "Enabled") ? 1 : 0;
      const uint32_t status =
          ioctl_set_cv_conf_V1(port_number, record.get(), sizeof *record, domain, phba_port, TAVO_VIA_NIC);
      if (status != 0) {
        nic_status(status == 253 ? 253 : 242);
        return 1;
      }
    }
  }
  nic_status(252);
  return 0;
}

namespace {

// The PCI functions of the configured layout read with the flag, up to the
// room a write leaves beside the closing multi-channel record.
bool sriov_flagged_entries(TavoNode* controller, std::vector<SriovEntry>* entries) {
  const tavo::controller::SharedProfile flagged(
      tavo::controller::controller_profile(controller, kProfileConfigured, 0, 1));
  if (!flagged) return false;
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(flagged.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] != kProfilePciFunction) return true;
                             const auto f = profile_descriptor_padded<ProfilePciFunctionDescriptor>(d, length);
                             entries->push_back({pf_number_of(f.head.pf), f});
                             return entries->size() < kProfileMaxDescriptors - 1;
                           });
  return true;
}

// The configured layout without the flag decides each function's
// descriptor; a function it passes over is switched off. Each port keeps
// its multi-channel type, gathered in *mc.
bool sriov_plain_layout(TavoNode* controller, std::vector<SriovEntry>& entries, ProfileMultiChannelDescriptor* mc) {
  const tavo::controller::SharedProfile plain(
      tavo::controller::controller_profile(controller, kProfileConfigured, 0, 0));
  if (!plain) return false;
  mc->type = kProfileMultiChannel;
  mc->length = sizeof *mc;
  size_t next = 0;
  walk_profile_descriptors(reinterpret_cast<const uint8_t*>(plain.get()), sizeof(ProfileConfigBuffer),
                           [&](const uint8_t* d, size_t length) {
                             if (d[0] == kProfilePort) {
                               const auto port = profile_descriptor_padded<ProfilePortDescriptor>(d, length);
                               const uint8_t link = port.link & kLinkMask;
                               if (link < sizeof mc->mc_type) mc->mc_type[link] = port.mc_type;
                               return true;
                             }
                             if (d[0] != kProfilePciFunction) return true;
                             const auto f = profile_descriptor_padded<ProfilePciFunctionDescriptor>(d, length);
                             for (; next < entries.size() && entries[next].pf != pf_number_of(f.head.pf); ++next) {
                               entries[next].d.pf_type = kProtocolNic;
                               entries[next].d.pf_state = 0;
                             }
                             if (next < entries.size()) entries[next++].d = f;
                             return true;
                           });
  return true;
}

// The whole configuration as the write sends it, *size bytes: the
// functions, pf's SR-IOV state as value asks, then the multi-channel
// record. Null (status 16) without memory.
base::Counted<uint8_t> sriov_request(long long id, std::vector<SriovEntry>& entries,
                                     const ProfileMultiChannelDescriptor& mc, uint32_t pf, const char* value,
                                     size_t* size) {
  *size = offsetof(ProfileConfigSet, descriptors) + entries.size() * sizeof(ProfilePciFunctionDescriptor) + sizeof mc;
  auto request = base::counted_zeroed<uint8_t>(*size);
  if (!request) {
    base::set_status(16);
    return request;
  }
  uint8_t* set = request.get();
  set[offsetof(ProfileConfigSet, profile_id)] = static_cast<uint8_t>(id);
  set[offsetof(ProfileConfigSet, whole)] = kProfileWholeConfig;
  const auto count = static_cast<uint32_t>(entries.size() + 1);
  memcpy(set + offsetof(ProfileConfigSet, count), &count, sizeof count);
  uint8_t* at = set + offsetof(ProfileConfigSet, descriptors);
  for (SriovEntry& e : entries) {
    e.d.head.type = kProfilePciFunction;
    e.d.head.length = sizeof e.d;
    e.d.head.flags = static_cast<uint8_t>(e.d.head.flags & ~kWholeWriteClearedFlags);
    if (e.pf == pf && same(value, "Enabled")) {
      e.d.sriov_state = 1;
      e.d.number_vfs = kSriovVfCount;
    } else if (e.pf == pf && same(value, "Disabled")) {
      e.d.sriov_state = 0;
      e.d.number_vfs = 0;
    }
    memcpy(at, &e.d, sizeof e.d);
    at += sizeof e.d;
  }
  memcpy(at, &mc, sizeof mc);
  return request;
}

}  // namespace

uint32_t TAVO_set_hpi_sriov_state(TavoNode* controller, uint32_t pf, const char* value, uint32_t port_number,
                                  uint8_t domain, uint8_t phba_port, uint32_t device) {
  const ProfileGroups g = profile_groups(controller);
  if (value == nullptr || g.management == nullptr || g.configured == nullptr) return 1;
  // config_prof.txt's lock before the adapter hears of the change, as for
  // the profile actions: the profile id read from the file, the layout
  // written and the line edited after are one change to the other
  // processes, and a lock that cannot be had changes nothing.
  const CprofHold hold;
  if (!hold.held()) return 1;
  char id_text[TAVO_VALUE_SIZE] = "";
  long long id = 0;
  if (internal_get_property(g.configured, "ProfileId", id_text) != 0 || !parse_id(id_text, &id)) return 1;
  std::vector<SriovEntry> entries;
  ProfileMultiChannelDescriptor mc{};
  if (!sriov_flagged_entries(controller, &entries) || !sriov_plain_layout(controller, entries, &mc)) return 1;
  size_t size = 0;
  const auto request = sriov_request(id, entries, mc, pf, value, &size);
  if (!request) return 1;
  const auto length = static_cast<uint16_t>(size);
  if (ioctl_set_profile_config(port_number, request.get(), length, domain, phba_port, device) != 0) {
    nic_status(305);
    return 1;
  }
  // The adapter took the change: a configured view that cannot show it
  // fails the write.
  bool unsaved = false;
  conf_sriov_state(controller, pf, value, &unsaved);
  return unsaved ? 1 : 0;
}

uint32_t TAVO_conf_sriov_state(TavoNode* controller, uint32_t pf, const char* value) {
  bool unsaved = false;
  const uint32_t result = conf_sriov_state(controller, pf, value, &unsaved);
  return unsaved ? 1 : result;
}

uint32_t handle_NICPhysicalHBA_SRIOVState(TavoNode* property, char* buf, uint32_t op) {
  HandlerContext c;
  uint32_t generation = 0, refused = 0;
  if (!nic_function_begin(property, buf, &c, &generation, &refused)) return refused;
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (generation == kGenerationCV2) {
    if (op == TAVO_PROPERTY_GET) return tavo::controller::store_and_answer(property, "N/A", buf);
    nic_status(247);
    return 1;
  }
  char pf[TAVO_VALUE_SIZE];
  if (!c || !pci_function_text(c.function, pf, __func__, ":")) return 1;
  if (op == TAVO_PROPERTY_SET) {
    const uint32_t result =
        TAVO_set_SRIOVState(generation, c.function, c.number, c.domain, c.port, buf, c.controller);
    const bool failed =
        (result == kOtherPath || result == kVersionNotSupported)
            ? TAVO_set_legacy_sriov_state(generation, c.function, c.number, c.domain, c.port, c.controller,
                                          buf) != 0
            : result != 0;
    return failed ? 1 : 0;
  }
  if (generation != kGenerationGaltor && sriov_not_applicable(c))
    return tavo::controller::store_and_answer(property, "N/A", buf);
  const uint32_t result = TAVO_get_SRIOVState(generation, c.function, c.number, c.domain, c.port, c.controller, pf,
                                              kProfileConfigured, c.function);
  if ((result == kOtherPath || result == kVersionNotSupported)
          ? TAVO_get_legacy_sriov_state(generation, c.function, c.number, c.domain, c.port, c.controller) != 0
          : result != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_AProf_SRIOVState(TavoNode* property, char* buf, uint32_t) {
  static constexpr const char* kLevels[] = {"Function", "Port", "ActiveProfile", "ProfileManagement", "Corvane"};
  TavoNode* levels[5];
  if (buf == nullptr || !groups_above(property, kLevels, levels)) return 1;
  TavoNode* controller = levels[4];
  const uint32_t generation = get_cv_type(controller);
  switch (generation) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case kGenerationCV2:
    case kGenerationCV3:
    case kGenerationGaltor:
      return tavo::controller::store_and_answer(property, "N/A", buf);
    default:
      break;
  }
  TavoNode* nic = get_first_instance(controller, "NICPhysicalHBA");
  const HandlerContext c = handler_context(nic);
  if (!c) return 1;
  if (sriov_not_applicable(c)) return tavo::controller::store_and_answer(property, "N/A", buf);
  char pf[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(levels[0], "FunctionNumber", pf) != 0 ||
      TAVO_get_SRIOVState(generation, nic, c.number, c.domain, c.port, controller, pf, kProfileActive, levels[0]) != 0)
    return 1;
  return answer_stored(property, buf);
}

uint32_t handle_VEPAState(TavoNode* property, char* buf, uint32_t op) {
  HandlerContext c;
  uint32_t generation = 0, refused = 0;
  if (!nic_function_begin(property, buf, &c, &generation, &refused)) return refused;
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (generation == kGenerationCV2 || generation == kGenerationCV3 || generation == kGenerationGaltor) {
    if (op == TAVO_PROPERTY_GET) return tavo::controller::store_and_answer(property, "N/A", buf);
    nic_status(297);
    return 1;
  }
  if (!c) return 1;
  if (op == TAVO_PROPERTY_GET) {
    SwitchConfigGet request{};
    request.port = c.port;
    request.mark = kSwitchConfigMark;
    const uint32_t status = ioctl_get_hsw_config(c.number, &request, c.domain, c.port);
    if (status == 149) {
      tavo::controller::store_and_answer(property, "N/A", buf);
      return 1;
    }
    if (status != 0) return 1;
    return tavo::controller::store_and_answer(
        property, forwarding_of(request.port) == kForwardingVepa ? "Enabled" : "Disabled", buf);
  }
  char sriov[TAVO_VALUE_SIZE] = "", now[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(c.function, "SRIOVState", sriov) != 0) return 1;
  if (!same(sriov, "Enabled")) {
    nic_status(297);
    return 1;
  }
  if (handle_VEPAState(property, now, TAVO_PROPERTY_GET) != 0) return 1;
  if (same(now, buf)) return 0;
  SwitchConfigSet request{};
  request.port = c.port;
  request.mark = kSwitchConfigMark;
  request.forwarding =
      static_cast<uint16_t>((same(buf, "Enabled") ? kForwardingVepa : kForwardingVeb) << kForwardingShift);
  return ioctl_set_hsw_config(c.number, &request, c.domain, c.port) != 0 ? 1 : 0;
}

uint32_t get_nic_count(TavoNode* node) {
  TavoNode* controller = node != nullptr ? named(node->parent, "Corvane") : nullptr;
  char mine[TAVO_VALUE_SIZE] = "";
  long long port = 0;
  if (controller == nullptr || internal_get_property(node, "PortNumber", mine) != 0 ||
      !parse_within(mine, 0, 0xFFFF, &port))
    return 1;
  const std::vector<TavoNode*> functions = instances_of(controller, "NICPhysicalHBA");
  if (functions.empty()) return 1;
  uint32_t count = 0;
  for (TavoNode* f : functions) {
    char text[TAVO_VALUE_SIZE] = "";
    long long n = 0;
    if (internal_get_property(f, "PortNumber", text) != 0 || !parse_within(text, 0, 0xFFFF, &n)) return 1;
    if (n == port) ++count;
  }
  return count;
}
