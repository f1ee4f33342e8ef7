// Live PCI data of a controller: the PCI Express link speed and width, and
// the PCI domain of an iSCSI function from the host's configuration.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "controller/controller.h"
#include "platform/host.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/devices.h"
#include "transport/mailbox.h"

namespace {

// Link speed codes of the link status word and their transfer rates.
constexpr const char* kLinkSpeeds[] = {"2.5GT/s", "5.0GT/s", "8.0GT/s", "16.0GT/s", "32.0GT/s"};

// The link word of function n: at 0xA4 through the NIC device on Galtor,
// else at 0xD0 by mailbox 72/1 on the function's own device.
bool pci_express_read_word(uint32_t n, uint8_t domain, uint8_t port, uint32_t generation, TavoNode* group,
                           uint32_t* word) {
  if (generation == tavo::kGenerationGaltor) return ioctl_galtor_read_pci_conf(n, domain, port, word) == 0;
  const char* kind = group != nullptr ? group->name : "";
  const uint32_t transport = strcmp(kind, "NICPhysicalHBA") == 0    ? TAVO_VIA_NIC
                             : strcmp(kind, "iSCSIPhysicalHBA") == 0 ? TAVO_VIA_ISCSI
                                                                     : 0;
  if (transport == 0) return false;
  tavo::PciConfigRead request{};
  request.offset = tavo::kPcieLinkWordOffset;
  request.length = sizeof *word;
  if (ioctl_read_pci_conf(n, &request, domain, port, transport) != 0) return false;
  memcpy(word, request.data + tavo::kPcieLinkWordOffset, sizeof *word);
  return true;
}

// The function whose configuration space is read: the first iSCSI
// function, else the NIC function of PCI function 0. Galtor's word is read
// through the NIC device, which only knows NIC functions.
TavoNode* pci_express_function(TavoNode* controller, uint32_t generation) {
  if (generation != tavo::kGenerationGaltor)
    if (TavoNode* iscsi = get_first_instance(controller, "iSCSIPhysicalHBA")) return iscsi;
  bool broken = false;
  return tavo::controller::nic_function_zero(controller, &broken);
}

uint32_t pci_express_handle(TavoNode* property, char* buf) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(pci_express_function(controller, generation));
  if (!fn) return 1;
  char text[TAVO_VALUE_SIZE] = "";
  if (TAVO_get_pci_express_data(fn.number, fn.domain, fn.port, generation, fn.function, property->name, text) != 0)
    return 1;
  return tavo::controller::store_and_answer(property, text, buf);
}

}  // namespace

uint32_t TAVO_get_pci_express_data(uint32_t function_number, uint8_t domain, uint8_t port_number,
                                   uint32_t generation, TavoNode* function_group, const char* property_name,
                                   char* text) {
  if (text == nullptr || property_name == nullptr) return 1;
  uint32_t word = 0;
  if (!pci_express_read_word(function_number, domain, port_number, generation, function_group, &word)) {
    tavo::controller::controller_status(121);
    return 1;
  }
  if (strcmp(property_name, "PCIExpressLinkSpeed") == 0) {
    const uint32_t code = (word >> 16) & 0x7u;
    snprintf(text, TAVO_VALUE_SIZE, "%s", code >= 1 && code <= 5 ? kLinkSpeeds[code - 1] : "Unknown");
  } else {
    snprintf(text, TAVO_VALUE_SIZE, "x%u", (word >> 20) & 0x3Fu);
  }
  return 0;
}

uint32_t handle_PCIExpressLinkSpeed(TavoNode* property, char* buf, uint32_t) {
  return pci_express_handle(property, buf);
}

uint32_t handle_PCIExpressBusWidth(TavoNode* property, char* buf, uint32_t) {
  return pci_express_handle(property, buf);
}

// The whole vmhba name is matched, closing quote included: vmhba3 is not
// the start of vmhba33.
uint32_t handle_DomainNumber(TavoNode* property, char* buf, uint32_t) {
  TavoNode* pci = property != nullptr ? property->parent : nullptr;
  TavoNode* fn = pci != nullptr ? pci->parent : nullptr;
  TavoNode* lhba = fn != nullptr ? internal_get_node(fn, "LogicalHBA0", TAVO_KIND_GROUP) : nullptr;
  if (lhba == nullptr || buf == nullptr || property->record == nullptr) return 1;
  char vmhba[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(lhba, "IfName", vmhba) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get VMHBA Name\n", __func__);
    return 1;
  }
  FILE* conf = tavo::platform::open_stream(tavo::platform::fixed_path("/etc/vmware/esx.conf"), "r");
  if (conf == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to open /etc/vmware/esx.conf\n", __func__);
    return 1;
  }
  const std::string key = std::string("vmkname = \"") + vmhba + "\"";
  std::string address;
  char line[TAVO_VALUE_SIZE];
  while (address.empty() && fgets(line, sizeof line, conf) != nullptr) {
    if (strstr(line, key.c_str()) == nullptr) continue;
    // "/device/<domain>:<bus>:<device>.<function>/vmkname = ...": the second
    // piece between slashes is the device's PCI address.
    char* save = nullptr;
    strtok_r(line, "/", &save);
    const char* piece = strtok_r(nullptr, "/", &save);
    address = piece != nullptr ? piece : "-";
  }
  fclose(conf);
  // The domain is the hexadecimal part before the first ':'.
  char* end = nullptr;
  unsigned long value = 0;
  if (isxdigit(static_cast<unsigned char>(address[0]))) value = strtoul(address.c_str(), &end, 16);
  if (end == nullptr || *end != ':' || value > 0xFFFF) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:No PCI domain for %s in /etc/vmware/esx.conf\n", __func__, vmhba);
    return 1;
  }
  snprintf(tavo::tree::property_record(property)->value, TAVO_VALUE_SIZE, "0x%04lx", value);
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}
