// Settings of a controller read and written through its firmware: the FFV
// name, the advanced (native) boot mode, OneView management and the secure
// jumper, and the PHY link-down reason of a NIC function.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::controller::store_and_answer;

namespace {

// The mailbox layer's answer when the controller does not offer a feature.
constexpr uint32_t kNotOffered = 149;

bool settings_cv2_or_cv3(uint32_t generation) {
  return generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3;
}

}  // namespace

// A virtual function may not rename the adapter: the write is refused as
// the other controller settings are.
uint32_t handle_FFVName(TavoNode* property, char* buf, uint32_t op) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  if (settings_cv2_or_cv3(generation)) {
    if (op == TAVO_PROPERTY_GET) return store_and_answer(property, "N/A", buf);
    tavo::controller::controller_status(298);
    return 1;
  }
  if (op == TAVO_PROPERTY_SET && vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) return 1;
  tavo::FfvParams record{};
  if (op == TAVO_PROPERTY_SET) {
    record.operation = tavo::kFfvWrite;
    record.length = sizeof record.name;
    memcpy(record.name, buf, strnlen(buf, sizeof record.name));
  }
  const uint32_t status =
      ioctl_ffv_params(fn.number, &record, fn.domain, fn.port, tavo::controller::controller_instance(controller));
  if (status == kNotOffered) {
    store_and_answer(property, "N/A", buf);
    return 1;
  }
  if (status != 0) return 1;
  if (op == TAVO_PROPERTY_SET) return 0;
  // The firmware's length never reaches past the name field.
  char name[TAVO_VALUE_SIZE] = "";
  memcpy(name, record.name, std::min<size_t>(record.length, sizeof record.name));
  return store_and_answer(property, name, buf);
}

uint32_t handle_AdvancedMode(TavoNode* property, char* buf, uint32_t op) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (get_cv_type(controller) != tavo::kGenerationCV3) {
    if (op == TAVO_PROPERTY_GET) return store_and_answer(property, "N/A", buf);
    tavo::controller::controller_status(311);
    return 1;
  }
  TavoNode* nic = get_first_instance(controller, "NICPhysicalHBA");
  if (nic == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(nic);
  tavo::BootConfig config{};
  if (ioctl_get_boot_config(c.number, &config, c.domain, c.port, TAVO_VIA_NIC) != 0) {
    tavo::controller::controller_status(141);
    return 1;
  }
  if (op == TAVO_PROPERTY_GET) return store_and_answer(property, config.native_mode != 0 ? "Enabled" : "Disabled", buf);
  config.native_mode = strcasecmp(buf, "Enabled") == 0 ? 1 : 0;
  if (ioctl_set_boot_config(c.number, &config, c.domain, c.port, TAVO_VIA_NIC) != 0) {
    tavo::controller::controller_status(142);
    return 1;
  }
  tavo::controller::controller_status(312);
  return 0;
}

uint32_t handle_OneView(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (settings_cv2_or_cv3(get_cv_type(controller))) return store_and_answer(property, "N/A", buf);
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) return 1;
  tavo::FeatureRecord record{};
  record.code = tavo::kFeatureOneView;
  const uint32_t status =
      ioctl_set_features(fn.number, &record, fn.domain, fn.port, tavo::controller::controller_instance(controller));
  if (status == kNotOffered) return store_and_answer(property, "N/A", buf);
  if (status != 0) {
    tavo::controller::controller_status(340);
    return 1;
  }
  return store_and_answer(property, (record.flags & 1u) != 0 ? "Enabled" : "Disabled", buf);
}

uint32_t handle_IsSecureJumperEnabled(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (settings_cv2_or_cv3(generation)) return store_and_answer(property, "N/A", buf);
  bool broken = false;
  TavoNode* fn = tavo::controller::nic_function_zero(controller, &broken);
  if (fn == nullptr) return 1;
  char state[TAVO_VALUE_SIZE] = "";
  const uint32_t result = TAVO_get_secure_jumper_state(tavo::tree::handler_context(fn).number, state);
  store_and_answer(property, state, buf);
  return result;
}

uint32_t TAVO_get_secure_jumper_state(uint32_t, char* text) {
  if (text == nullptr) return 1;
  snprintf(text, TAVO_VALUE_SIZE, "N/A");
  return 0;
}

uint32_t TAVO_get_over_temperature(TavoNode* node, uint32_t nic_function) {
  uint8_t answer[sizeof tavo::NicCharInfo::answer] = {};
  if (node == nullptr || ioctl_get_mtu(nic_function, answer) != 0) return 1;
  set_prop_val(node, "PHYLinkDownReason", "%d", answer[5]);
  return 0;
}
