// The controller's destructive actions: the NIC settings erase of a NIC
// function, the return to the factory profile configuration, and the erase
// of every function's and port's configuration.
#include <string.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::tree::next_instance;

namespace {

// The firmware's answer that a change needs a reboot at once.
constexpr uint32_t kRebootNow = 55;

void erase_reboot_now() { tavo::controller::controller_status(239); }

// Runs a group's own erase action with six empty parameters, through the
// handler its descriptor binds. A group that offers no such action has
// nothing to erase.
uint32_t erase_run_action(TavoNode* group, const char* action_name) {
  TavoNode* action = internal_get_node(group, action_name, TAVO_KIND_ACTION);
  if (action == nullptr || action->record == nullptr || action->parent != group) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s: no %s action\n", __func__, action_name);
    return 0;
  }
  const TavoActionHandler handler = tavo::tree::action_descriptor(action)->handler;
  if (handler == nullptr) return 0;
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  return handler(group, action, &params[0][0]);
}

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

uint32_t do_EraseAllConfiguration(TavoNode* controller, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  // Every function and port is erased; the first failure is the answer.
  tavo::controller::FirstFailure first;
  for (TavoNode* fn = get_first_instance(controller, "iSCSIPhysicalHBA"); fn != nullptr; fn = next_instance(fn)) {
    const uint32_t r = erase_run_action(fn, "EraseConfiguration");
    if (r != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Erasing iSCSI Configuration Failed for iSCSIPhysicalHBA%d.\n", __func__,
             tavo::tree::instance_number(fn));
    first.note(r);
  }
  for (TavoNode* port = get_first_instance(controller, "PortDiscoveryAndConfiguration"); port != nullptr;
       port = next_instance(port)) {
    const uint32_t r = erase_run_action(port, "ErasePortandDiscoveryConfiguration");
    if (r != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Erasing Port Configuration Failed for PortDiscoveryAndConfiguration%d.\n",
             __func__, tavo::tree::instance_number(port));
    first.note(r);
  }
  for (TavoNode* nic = get_first_instance(controller, "NICPhysicalHBA"); nic != nullptr; nic = next_instance(nic)) {
    uint32_t r = TAVO_EraseNICConfiguration(nic);
    if (r == kRebootNow) r = 0;
    if (r != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Erasing NIC Configuration Failed for NICPhysicalHBA%d.\n", __func__,
             tavo::tree::instance_number(nic));
    first.note(r);
  }
  const uint32_t result = first.finish();
  if (get_cv_type(controller) == tavo::kGenerationMoravel) {
    // The factory profile goes back too; its answer is only logged and
    // leaves the erase's status alone.
    const tavo::controller::SavedStatus erased;
    const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
    tavo::FactoryProfileRequest request{};
    const uint32_t status = !fn ? 1
                                : ioctl_set_factory_profile_config(fn.number, &request, fn.domain, fn.port,
                                                                   tavo::controller::controller_transport(controller));
    pdebug(TAVO_LOG_BACKEND, 6, "%s: ioctl_set_factory_profile_config answered %d\n", __func__,
           static_cast<int>(status));
    erased.restore();
  }
  return result;
}
