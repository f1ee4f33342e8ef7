// The Personality group: the current and available personalities loaded at
// start-up, the configured one, SetPersonality, and whether a change waits
// for a reboot (ProfileManagement's RebootRequired).
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/device_layout.h"
#include "transport/flash_personality.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::controller::kPathNotApplicable;
using tavo::controller::kVersionNotSupported;
using tavo::controller::store_and_answer;

namespace {

constexpr size_t kAvailablePayload = 512;
constexpr size_t kConfiguredPayload = 8;

// A text answer of 113/1 or 114/1: its length is the answer header's
// length word, taken up to max characters and never past the payload.
void personality_answer_text(const uint8_t* buffer, size_t payload, size_t max, char out[TAVO_VALUE_SIZE]) {
  uint32_t length;
  memcpy(&length, buffer + offsetof(tavo::MailboxResponseHeader, reserved8), sizeof length);
  const size_t n = std::min({static_cast<size_t>(length), payload, max, size_t{TAVO_VALUE_SIZE - 1}});
  snprintf(out, TAVO_VALUE_SIZE, "%.*s", static_cast<int>(n),
           reinterpret_cast<const char*>(buffer + tavo::kMailboxHeaderSize));
}

// The controller's Personality group; none when it is missing or, inside a
// virtual function, once the loaded property reads "N/A" (status 256).
TavoNode* personality_group(TavoNode* controller, const char* loaded) {
  TavoNode* personality = internal_get_node(controller, "Personality", TAVO_KIND_GROUP);
  if (personality == nullptr || !vm_flag) return personality;
  set_prop_val(personality, loaded, "%s", "N/A");
  tavo::controller::refuse_on_vf(nullptr);
  return nullptr;
}

}  // namespace

uint32_t TAVO_update_current_personality(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* personality = personality_group(controller, "CurrentPersonality");
  if (personality == nullptr) return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(controller);
  if (!c) return 1;
  const uint32_t result = TAVO_get_adapter_current_personality(c.number, c.domain, c.port, controller, personality);
  if (result == kVersionNotSupported || result == kPathNotApplicable)
    return TAVO_get_legacy_adapter_current_personality(c.number, c.domain, c.port, controller, personality) != 0 ? 1
                                                                                                                 : 0;
  return result != 0 ? 1 : 0;
}

uint32_t TAVO_update_available_personalities(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* personality = personality_group(controller, "AvailablePersonalities");
  if (personality == nullptr) return 1;
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) return 1;
  switch (get_cv_type(controller)) {
    case TAVO_GENERATION_UNREADABLE:
      return 1;
    case tavo::kGenerationCV2:
    case tavo::kGenerationCV3: {
      uint8_t buffer[tavo::kMailboxHeaderSize + kAvailablePayload] = {};
      if (ioctl_get_available_personalities(fn.number, buffer, fn.domain, fn.port,
                                            tavo::controller::controller_transport(controller)) != 0) {
        tavo::controller::controller_status(176);
        return 1;
      }
      char text[TAVO_VALUE_SIZE];
      personality_answer_text(buffer, kAvailablePayload, TAVO_VALUE_SIZE - 1, text);
      return set_prop_val(personality, "AvailablePersonalities", "%s", text) == 0 ? 0 : 1;
    }
    case tavo::kGenerationGaltor: {
      tavo::OemParams oem{};
      if (ioctl_get_oem_params(fn.number, &oem, fn.domain, fn.port,
                               tavo::controller::controller_instance(controller)) != 0) {
        tavo::controller::controller_status(74);
        return 1;
      }
      return set_prop_val(personality, "AvailablePersonalities", "%s", "") == 0 ? 0 : 1;
    }
    default:
      return 0;
  }
}

uint32_t do_SetPersonality(TavoNode* group, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  if (group == nullptr || params == nullptr) return 1;
  TavoNode* controller = group->parent;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(action);
  if (!c) return 1;
  uint32_t result = TAVO_set_adapter_personality(c.number, c.domain, c.port, controller, params);
  if (result == kVersionNotSupported)
    result = TAVO_set_legacy_adapter_personality(c.number, c.domain, c.port, controller, params);
  if (result != 0) return 1;
  // CurrentPersonality keeps what start-up found until the next start.
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(group, "CurrentPersonality", current) != 0) return 1;
  if (strcasecmp(current, params) != 0) tavo::controller::controller_status(143);
  return 0;
}

uint32_t handle_ConfiguredPersonality(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr || property->parent == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  TavoNode* controller = tavo::tree::handler_context(property).controller;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: failed to get the controller type\n", __func__);
    return 1;
  }
  if (generation == tavo::kGenerationGaltor) return store_and_answer(property, "N/A", buf);
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(property, tavo::tree::Commands::OfController);
  if (!fn) return 1;
  uint8_t buffer[tavo::kMailboxHeaderSize + kConfiguredPayload] = {};
  const uint32_t transport = get_port_bitmap(tavo::controller::controller_instance(controller), fn.port);
  if (ioctl_get_configured_personality(fn.number, buffer, kConfiguredPayload, fn.domain, fn.port, transport) != 0) {
    tavo::controller::controller_status(177);
    return 1;
  }
  char text[TAVO_VALUE_SIZE];
  personality_answer_text(buffer, kConfiguredPayload, kConfiguredPayload, text);
  return store_and_answer(property, text, buf);
}

uint32_t handle_RebootRequired(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  if (!c) return 1;
  tavo::ResetNeeded answer{};
  if (ioctl_get_reset_needed(c.number, &answer, c.domain, c.port,
                             tavo::controller::controller_instance(c.controller)) != 0) {
    tavo::controller::controller_status(279);
    return 1;
  }
  return store_and_answer(property, answer.change != 0 ? "Yes" : "No", buf);
}
