// The controller attribute record (mailbox 32/1): reading it, the identity
// and firmware properties of the Corvane group, the function's PCI address
// texts and its logical HBA count.
#include <stdio.h>
#include <string.h>

#include <string>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/glob_access.h"

using tavo::ControllerAttributes;

namespace {

constexpr const char* kFirmwareStatusWords[] = {"Working", "Degraded", "Critical", "Failed"};
constexpr const char* kCapabilityNames[] = {"TCP offload",   "Raw Ethernet",
                                            "RDMA Protocol", "Virtual Machines",
                                            "iSCSI Initiator", "iSCSI target plus initiator",
                                            "FCoE Initiator", "FCoE Target",
                                            "DAL",           "LRO"};
constexpr uint32_t kCapabilityInvalid = 1u << 15;

std::string attributes_capabilities(uint32_t bits) {
  if (bits & kCapabilityInvalid) return "Invalid";
  std::string text;
  for (size_t bit = 0; bit < sizeof kCapabilityNames / sizeof kCapabilityNames[0]; ++bit) {
    if ((bits & (1u << bit)) == 0) continue;
    if (!text.empty()) text += ",";
    text += kCapabilityNames[bit];
  }
  return text;
}

// The PCI domain the NIC function table keeps for function n (0 outside it).
uint16_t attributes_nic_domain(uint32_t function_number) {
  if (function_number < 1 || function_number > TAVO_MAX_FUNCTIONS) return 0;
  return tavo_glob.nic_functions[function_number - 1].domain;
}

}  // namespace

namespace tavo::controller {

bool store_field(TavoNode* group, const char* name, const char* field, size_t size) {
  return set_prop_val(group, name, "%.*s", static_cast<int>(strnlen(field, size)), field) == 0;
}

bool store_firmware_versions(TavoNode* controller, const ControllerAttributes& a) {
  bool ok = store_field(controller, "ActiveFirmwareVersion", a.active_firmware_version,
                        sizeof a.active_firmware_version);
  ok &= store_field(controller, "FirmwareVersionOnFlash", a.flash_firmware_version, sizeof a.flash_firmware_version);
  ok &= store_field(controller, "BIOSVersion", a.bios_version, sizeof a.bios_version);
  ok &= store_field(controller, "BootCodeVersion", a.boot_code_version, sizeof a.boot_code_version);
  const char* firmware = a.firmware_status < 4 ? kFirmwareStatusWords[a.firmware_status] : "Unknown";
  ok &= set_prop_val(controller, "FirmwareStatus", "%s", firmware) == 0;
  return ok;
}

}  // namespace tavo::controller

uint32_t TAVO_get_cntr_attribs(uint32_t function_number, uint8_t port_number, uint8_t domain, uint32_t transport,
                               ControllerAttributes* block) {
  if (block == nullptr) return 1;
  memset(block, 0, sizeof *block);
  const uint32_t status = ioctl_fetch_controller_attribs(function_number, block, domain, port_number, transport);
  if (status == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ioctl_fetch_controller_attribs failed with status = %d\n", __func__,
         static_cast<int>(status));
  tavo::controller::controller_status(109);
  return 1;
}

uint32_t TAVO_update_cntr_attribs(TavoNode* controller, const ControllerAttributes* block, uint32_t status) {
  if (controller == nullptr || block == nullptr || status != 0) return 1;
  using tavo::controller::store_field;
  const ControllerAttributes& a = *block;
  bool ok = store_field(controller, "Manufacturer", a.manufacturer, sizeof a.manufacturer);
  ok &= store_field(controller, "ModelNumber", a.model_number, sizeof a.model_number);
  ok &= store_field(controller, "SerialNumber", a.serial_number, sizeof a.serial_number);
  ok &= store_field(controller, "Description", a.description, sizeof a.description);
  ok &= tavo::controller::store_firmware_versions(controller, a);
  ok &= set_prop_val(controller, "Capabilities", "%s", attributes_capabilities(a.capabilities).c_str()) == 0;
  return ok ? 0 : 1;
}

uint32_t TAVO_get_pci_bdf(uint32_t function_number, char* domain, char* bus, char* device, char* pci_function,
                          char* serial, uint32_t protocol, const ControllerAttributes* block, uint32_t status) {
  if (block == nullptr || domain == nullptr || bus == nullptr || device == nullptr || pci_function == nullptr ||
      serial == nullptr)
    return 1;
  snprintf(domain, 35, "0x%04x", attributes_nic_domain(function_number));
  if (status == 0) {
    snprintf(bus, TAVO_VALUE_SIZE, "0x%x", block->bus);
    snprintf(device, TAVO_VALUE_SIZE, "0x%x", block->device);
    snprintf(pci_function, TAVO_VALUE_SIZE, "0x%x", block->function);
    snprintf(serial, 33, "%.*s", static_cast<int>(strnlen(block->serial_number, sizeof block->serial_number)),
             block->serial_number);
    return 0;
  }
  if (protocol != TAVO_VIA_NIC || function_number < 1 || function_number > TAVO_MAX_FUNCTIONS) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Controller Attributes IOCTL failed.\n", __func__);
    return 1;
  }
  const NicFunctionRecord& fn = tavo_glob.nic_functions[function_number - 1];
  snprintf(bus, TAVO_VALUE_SIZE, "0x%x", fn.bus);
  snprintf(device, TAVO_VALUE_SIZE, "0x%x", fn.device);
  snprintf(pci_function, TAVO_VALUE_SIZE, "0x%x", fn.function);
  snprintf(serial, 33, "0");
  return 0;
}

uint32_t get_lhba_count(TavoNode* function_group, char* bus, char* device, char* pci_function, char* port) {
  if (function_group == nullptr || bus == nullptr || device == nullptr || pci_function == nullptr || port == nullptr)
    return 1;
  const uint32_t function_number = tavo::tree::handler_context(function_group).number;
  ControllerAttributes block{};
  if (function_number == 0 || TAVO_get_cntr_attribs(function_number, 0, 0, TAVO_VIA_ISCSI, &block) != 0) return 1;
  snprintf(bus, 4, "%d", block.bus);
  snprintf(device, 4, "%d", block.device);
  snprintf(pci_function, 4, "%d", block.function);
  snprintf(port, 4, "%d", block.port_number);
  return block.logical_hba_count;
}
