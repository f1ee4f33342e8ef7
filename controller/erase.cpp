// The controller's destructive actions: the NIC settings erase of a NIC
// function and the return to the factory profile configuration.
#include <string.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

namespace {

// The firmware's answer that a change needs a reboot at once.
constexpr uint32_t kRebootNow = 55;

void erase_reboot_now() { tavo::controller::controller_status(239); }

}  // namespace

uint32_t TAVO_EraseNICConfiguration(TavoNode* function_group) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(function_group);
  if (!fn) return 1;
  tavo::EraseRequest request{tavo::kEraseType, tavo::kEraseNicSettings, {}};
  const uint32_t status = ioctl_erase_ROM(fn.number, &request, fn.domain, fn.port, TAVO_VIA_NIC);
  if (status == 0) {
    tavo::controller::controller_status(184);
  } else if (status == kRebootNow) {
    erase_reboot_now();
  } else {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_erase_ROM failed with status %d\n", __func__, static_cast<int>(status));
    tavo::controller::controller_status(188);
  }
  return status;
}

uint32_t do_EraseNICConfiguration(TavoNode* group, TavoNode*, char*) {
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const uint32_t result = TAVO_EraseNICConfiguration(group);
  return result == kRebootNow ? 0 : result;
}

uint32_t do_ResetFactoryDefaults(TavoNode* controller, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  if (params == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3) {
    tavo::controller::controller_status(338);
    return 1;
  }
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the controller has no function\n", __func__);
    return 1;
  }
  tavo::FactoryProfileRequest request{};
  if (params[0] == '\0') {
    request.unnamed = 1;
  } else {
    // In the base the tree validated it in; a profile past one byte is
    // refused rather than sent as another one.
    long long id = -1;
    if (tavo::base::parse_number(params, &id) != 0 || id < 0) {
      tavo::tree::validation_status(TAVO_INVALID_VALUE, "ProfileId", 0, 0);
      return 1;
    }
    if (id > 255) {
      tavo::tree::validation_status(TAVO_OUT_OF_RANGE, "ProfileId", 0, 255);
      return 1;
    }
    request.profile_id = static_cast<uint8_t>(id);
  }
  const uint32_t status = ioctl_set_factory_profile_config_v1(fn.number, &request, fn.domain, fn.port,
                                                              tavo::controller::controller_transport(controller));
  // Only "done, reboot now" is success; a plain 0 means nothing was reset.
  if (status == kRebootNow) {
    erase_reboot_now();
    return 0;
  }
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_set_factory_profile_config_v1 answered %d\n", __func__,
         static_cast<int>(status));
  tavo::controller::controller_status(339);
  return 1;
}
