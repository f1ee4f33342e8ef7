// The NetworkBootConfiguration group of a NIC function: network boot state
// and method (boot configuration and expansion-ROM bitmap), and the
// management VLAN of the OEM exec configuration.
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/nic_records.h"

using namespace tavo::nic;
using tavo::controller::store_and_answer;

namespace {

constexpr const char* kBootLevels[] = {"NetworkBootConfiguration", "NICPhysicalHBA", "Corvane"};
enum { kBootGroup, kBootFunction, kBootController };

// The NetworkBootConfiguration group's function and controller for an
// action on it; false when a level is missing.
bool boot_levels_of_group(TavoNode* group, TavoNode* (&levels)[3]) {
  levels[kBootGroup] = named(group, kBootLevels[kBootGroup]);
  levels[kBootFunction] = levels[kBootGroup] != nullptr ? named(group->parent, kBootLevels[kBootFunction]) : nullptr;
  levels[kBootController] =
      levels[kBootFunction] != nullptr ? named(levels[kBootFunction]->parent, kBootLevels[kBootController]) : nullptr;
  return levels[kBootController] != nullptr;
}

bool boot_read(const HandlerContext& t, tavo::BootConfig* config) {
  *config = tavo::BootConfig{};
  if (ioctl_get_boot_config(t.number, config, t.domain, t.port, TAVO_VIA_NIC) == 0) return true;
  nic_status(141);
  return false;
}

// NetworkBootState outside Galtor: "N/A" unless the function's expansion
// ROM is enabled; null (status 141 or 1) on failure.
const char* boot_state_text(TavoNode* function, const HandlerContext& t, uint32_t generation,
                            const tavo::BootConfig& config) {
  uint32_t pf = 0;
  if (!function_number(function, &pf)) return nullptr;
  tavo::PciFunctionMapping mapping{};
  if (ioctl_get_pci_func_mapping(t.number, &mapping, t.domain, t.port, TAVO_VIA_NIC) != 0) {
    nic_status(141);
    return nullptr;
  }
  const bool eight = generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3;
  const uint32_t bit = pf & (eight ? 7u : 255u);
  // The bitmap has 32 bits: a higher function has none.
  if (bit >= 32 || (mapping.rom_enabled & (1u << bit)) == 0) return "N/A";
  return config.network_boot == tavo::kNetworkBootEnabled ? "Enabled" : "Disabled";
}

}  // namespace

uint32_t handle_AvailableNetworkBootMethods(TavoNode* property, char* buf, uint32_t) {
  TavoNode* levels[3];
  if (buf == nullptr || !groups_above(property, kBootLevels, levels)) return 1;
  const uint32_t generation = get_cv_type(levels[kBootController]);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  return store_and_answer(property, generation == tavo::kGenerationGaltor ? "PXE,iBFT" : "PXE", buf);
}

uint32_t handle_networkboot_config(TavoNode* property, char* buf, uint32_t) {
  TavoNode* levels[3];
  const HandlerContext t = handler_context(property);
  if (buf == nullptr || !groups_above(property, kBootLevels, levels) || !t) return 1;
  const uint32_t generation = get_cv_type(levels[kBootController]);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  tavo::BootConfig config;
  if (!boot_read(t, &config)) return 1;
  const char* text = nullptr;
  if (strcasecmp(property->name, "NetworkBootMethod") == 0)
    text = config.boot_method <= tavo::kNetworkBootPxe ? "PXE" : "iBFT";
  else if (generation == tavo::kGenerationGaltor)
    text = config.network_boot == tavo::kNetworkBootEnabled ? "Enabled" : "Disabled";
  else
    text = boot_state_text(levels[kBootFunction], t, generation, config);
  if (text == nullptr) return 1;
  return store_and_answer(property, text, buf);
}

uint32_t do_SetNetworkBoot(TavoNode* group, TavoNode* action, char* params) {
  TavoNode* levels[3];
  const HandlerContext t = handler_context(group);
  if (action == nullptr || params == nullptr || !boot_levels_of_group(group, levels) || !t) return 1;
  const char* state = params;
  const char* method = params + TAVO_VALUE_SIZE;
  const uint32_t generation = get_cv_type(levels[kBootController]);
  if (generation == tavo::kGenerationUnknown) return 1;
  const bool enable = strcasecmp(state, "Enabled") == 0;
  if (enable && method[0] == '\0') {
    nic_status(274);
    return 1;
  }
  if (enable && strcasecmp(method, "iBFT") == 0 && generation != tavo::kGenerationGaltor) {
    nic_status(273);
    return 1;
  }
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(group, "NetworkBootState", current) != 0) return 1;
  if (strcmp(current, "N/A") == 0) {
    nic_status(272);
    return 1;
  }
  tavo::BootConfig config;
  if (!boot_read(t, &config)) return 1;
  config.network_boot = enable ? tavo::kNetworkBootEnabled : 0;
  config.boot_method = !enable ? 0 : strcasecmp(method, "PXE") == 0 ? tavo::kNetworkBootPxe : tavo::kNetworkBootIbft;
  if (ioctl_set_boot_config(t.number, &config, t.domain, t.port, TAVO_VIA_NIC) != 0) {
    nic_status(142);
    return 1;
  }
  set_prop_val(group, "NetworkBootState", "%s", state);
  return 0;
}

uint32_t handle_vlan_properties(TavoNode* property, char* buf, uint32_t) {
  TavoNode* levels[3];
  const HandlerContext t = handler_context(property);
  if (buf == nullptr || !groups_above(property, kBootLevels, levels) || !t) return 1;
  // CV2 keeps no management VLAN: the stored text is shown.
  if (get_cv_type(levels[kBootController]) == tavo::kGenerationCV2) return answer_stored(property, buf);
  tavo::OemExecConfig config{};
  if (ioctl_get_oem_exec_cfg(t.number, &config, t.domain, t.port) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_get_oem_exec_cfg failed\n", __func__);
    return 1;
  }
  uint32_t result = set_prop_val(levels[kBootGroup], "VLANId", "%d", config.vlan_id);
  result |= set_prop_val(levels[kBootGroup], "VLANPriority", "%d", config.vlan_priority);
  answer_stored(property, buf);
  return result != 0 ? 1 : 0;
}

uint32_t do_NICPhysicalHBA_NetworkBootConfiguration_ConfigureVLAN(TavoNode* group, TavoNode* action,
                                                                 char* params) {
  TavoNode* levels[3];
  const HandlerContext t = handler_context(group);
  if (action == nullptr || params == nullptr || !boot_levels_of_group(group, levels) || !t) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  if (get_cv_type(levels[kBootController]) == tavo::kGenerationCV2) {
    nic_status(291);
    return 1;
  }
  const char* priority_text = params + TAVO_VALUE_SIZE;
  char stored[TAVO_VALUE_SIZE] = "";
  if (priority_text[0] == '\0') {
    TavoNode* p = internal_get_node(group, "VLANPriority", TAVO_KIND_PROPERTY);
    if (p == nullptr) return 1;
    memcpy(stored, tavo::tree::property_record(p)->value, sizeof stored);
    priority_text = stored;
  }
  long long vlan = 0, priority = 0;
  if (!parse_within(params, 0, 4095, &vlan) || !parse_within(priority_text, 0, 7, &priority)) {
    nic_status(17);
    return 1;
  }
  tavo::OemExecConfig config{};
  config.flags = tavo::kOemVlanValid;
  config.write = tavo::kOemWrite;
  config.vlan_write = tavo::kOemWrite;
  config.vlan_id = static_cast<uint16_t>(vlan);
  config.vlan_priority = static_cast<uint8_t>(priority);
  if (ioctl_set_oem_exec_cfg(t.number, &config, t.domain, t.port) != 0) {
    nic_status(124);
    return 1;
  }
  return 0;
}
