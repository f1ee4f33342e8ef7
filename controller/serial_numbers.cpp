// Serial numbers that tell adapters apart: the controller's SerialNumber,
// or its PCI bus number where the adapter reports none.
#include <stdio.h>
#include <strings.h>

#include "controller/controller.h"

using tavo::tree::next_instance;

uint32_t TAVO_get_pci_bus_number(TavoNode* controller, char* text) {
  if (controller == nullptr || text == nullptr) return 1;
  TavoNode* fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController).function;
  if (fn == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get NIC/iSCSI nodes.\n", __func__);
    return 1;
  }
  TavoNode* pci = internal_get_node(fn, "PCI", TAVO_KIND_GROUP);
  return pci != nullptr && internal_get_property(pci, "BusNumber", text) == 0 ? 0 : 1;
}

uint32_t TAVO_get_asic_serial_number(TavoNode* node, char* text) {
  if (text == nullptr) return 1;
  TavoNode* controller = tavo::tree::handler_context(node).controller;
  if (controller == nullptr) return 1;
  char serial[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(controller, "SerialNumber", serial) == 0 && serial[0] != '\0' &&
      strcasecmp(serial, "N/A") != 0) {
    snprintf(text, TAVO_VALUE_SIZE, "%s", serial);
    return 0;
  }
  if (TAVO_get_pci_bus_number(controller, text) == 0) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get serial number of adapters", __func__);
  return 1;
}

int32_t TAVO_enumerate_serial_numbers(int32_t* count, char* texts) {
  if (count == nullptr || texts == nullptr || *count < 0) return 1;
  TavoNode* first = get_first_instance(get_node(0), "Corvane");
  if (first == nullptr) return 1;
  for (TavoNode* c = first; c != nullptr; c = next_instance(c)) {
    if (TAVO_get_asic_serial_number(c, texts + static_cast<size_t>(*count) * TAVO_VALUE_SIZE) != 0) return 1;
    ++*count;
  }
  return 0;
}
