// Whether the library runs inside an SR-IOV virtual function: a command
// that the firmware refuses on a virtual function, sent to a NIC function.
#include "backend/backend.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/nic_records.h"

namespace {

// Library statuses of the firmware's refusal on a virtual function.
constexpr uint32_t kRefusedOnVf = 196;
constexpr uint32_t kRefusedPrivilege = 195;

}  // namespace

// The probe goes to NIC function n through the NIC device: the function
// number names a NIC function, so no other device may carry it.
uint32_t TAVO_check_for_vm(uint32_t function_number, TavoNode* nic_phba, TavoNode* controller) {
  if (nic_phba == nullptr || controller == nullptr) return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(nic_phba);
  const uint8_t domain = c.domain, port = c.port;
  uint32_t status = 0;
  switch (get_cv_type(controller)) {
    case tavo::kGenerationCV3: {
      tavo::PciConfigRead request{};
      request.length = 64;
      status = ioctl_read_pci_conf(function_number, &request, 0, 0, TAVO_VIA_NIC);
      break;
    }
    case tavo::kGenerationMoravel: {
      tavo::CoreDumpProperties props{};
      status = ioctl_get_coredump_props(function_number, &props, domain, port, TAVO_VIA_NIC);
      break;
    }
    case tavo::kGenerationGaltor: {
      uint8_t config[tavo::kFirmwareConfigSize] = {};
      status = ioctl_get_fw_config(function_number, config, domain, port, TAVO_VIA_NIC);
      break;
    }
    default:
      return 0;
  }
  if (status == kRefusedOnVf || status == kRefusedPrivilege) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:TAVO is running on VM\n", __func__);
    vm_flag = 1;
  }
  return status;
}
