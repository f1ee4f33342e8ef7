// ControllerStatus: whether the controller's firmware is alive, from the
// chip state of its core-dump properties.
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

uint32_t handle_ControllerStatus(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(nullptr);
  const char* state = "N/A";
  if (get_cv_type(controller) != tavo::kGenerationGaltor) {
    TavoNode* nic = get_first_instance(controller, "NICPhysicalHBA");
    if (nic == nullptr) return 1;
    const tavo::tree::HandlerContext c = tavo::tree::handler_context(nic);
    tavo::CoreDumpProperties props{};
    const uint32_t status = ioctl_get_coredump_props(c.number, &props, c.domain, c.port, TAVO_VIA_NIC);
    if (status != 0) {
      tavo::controller::controller_status(265);
      return 1;
    }
    state = props.chip_state == tavo::kChipAlive ? "Alive" : props.chip_state == tavo::kChipDead ? "Dead" : "N/A";
  }
  return tavo::controller::store_and_answer(property, state, buf);
}
