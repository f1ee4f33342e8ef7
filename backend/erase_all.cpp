// EraseAllConfiguration: every function's and port's configuration erased,
// each by its own branch's erase. The action stands at the level of the
// highest branch it reaches.
#include "backend/backend.h"
#include "controller/controller.h"
#include "iscsi/targets/targets.h"
#include "port/port.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::tree::next_instance;

namespace tavo::backend {
namespace {

// The firmware's answer that a change needs a reboot at once.
constexpr uint32_t kRebootNow = 55;

// A group's own erase action, with six empty parameters; a group that
// offers no such action has nothing to erase.
uint32_t erase_run(TavoNode* group, const char* action_name, TavoActionHandler erase) {
  TavoNode* action = internal_get_node(group, action_name, TAVO_KIND_ACTION);
  if (action == nullptr || action->record == nullptr || action->parent != group) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s: no %s action\n", __func__, action_name);
    return 0;
  }
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  return erase(group, action, &params[0][0]);
}

}  // namespace
}  // namespace tavo::backend

using tavo::backend::erase_run;
using tavo::backend::kRebootNow;

uint32_t do_EraseAllConfiguration(TavoNode* controller, TavoNode*, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  // Every function and port is erased; the first failure is the answer.
  tavo::controller::FirstFailure first;
  for (TavoNode* fn = get_first_instance(controller, "iSCSIPhysicalHBA"); fn != nullptr; fn = next_instance(fn)) {
    const uint32_t r = erase_run(fn, "EraseConfiguration", do_EraseConfiguration);
    if (r != 0)
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Erasing iSCSI Configuration Failed for iSCSIPhysicalHBA%d.\n", __func__,
             tavo::tree::instance_number(fn));
    first.note(r);
  }
  for (TavoNode* port = get_first_instance(controller, "PortDiscoveryAndConfiguration"); port != nullptr;
       port = next_instance(port)) {
    const uint32_t r = erase_run(port, "ErasePortandDiscoveryConfiguration", do_ErasePortandDiscoveryConfiguration);
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
    uint32_t status = 1;
    if (fn)
      status = ioctl_set_factory_profile_config(fn.number, &request, fn.domain, fn.port,
                                                tavo::controller::controller_transport(controller));
    pdebug(TAVO_LOG_BACKEND, 6, "%s: ioctl_set_factory_profile_config answered %d\n", __func__,
           static_cast<int>(status));
    erased.restore();
  }
  return result;
}
