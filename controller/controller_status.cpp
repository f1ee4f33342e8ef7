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
    tavo::CoreDumpProperties props{};
    const uint32_t status =
        ioctl_get_coredump_props(static_cast<uint32_t>(get_port_number(nic)), &props,
                                 static_cast<uint8_t>(get_domain_id(nic)),
                                 static_cast<uint8_t>(get_phba_port_number(nic)), TAVO_VIA_NIC);
    if (status != 0) {
      tavo_set_last_status(265,
                           "Failed to get core dump properties. Please check tavo2d.log file for more information.");
      return 1;
    }
    state = props.chip_state == tavo::kChipAlive ? "Alive" : props.chip_state == tavo::kChipDead ? "Dead" : "N/A";
  }
  return tavo::controller::store_and_answer(property, state, buf);
}
