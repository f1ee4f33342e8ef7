// The nodes a controller's operations reach: the function that serves a
// port, its NIC function of PCI function 0, and its instance and transport.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <initializer_list>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using tavo::tree::next_instance;

TavoNode* get_valid_phba(TavoNode* controller, const char* port_text) {
  if (port_text == nullptr) return nullptr;
  for (const char* kind : {"iSCSIPhysicalHBA", "NICPhysicalHBA"}) {
    for (TavoNode* fn = get_first_instance(controller, kind); fn != nullptr; fn = next_instance(fn)) {
      char port[TAVO_VALUE_SIZE] = "";
      if (internal_get_property(fn, "PortNumber", port) != 0) return nullptr;
      if (strcasecmp(port, port_text) == 0) return fn;
    }
  }
  return nullptr;
}

namespace tavo::controller {

TavoNode* nic_function_zero(TavoNode* controller, bool* broken, bool* found) {
  *broken = false;
  bool ignored = false;
  if (found == nullptr) found = &ignored;
  *found = false;
  TavoNode* first = get_first_instance(controller, "NICPhysicalHBA");
  for (TavoNode* fn = first; fn != nullptr; fn = next_instance(fn)) {
    TavoNode* pci = internal_get_node(fn, "PCI", TAVO_KIND_GROUP);
    if (pci == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get PCI node.\n", __func__);
      *broken = true;
      return nullptr;
    }
    char text[TAVO_VALUE_SIZE] = "";
    long long number = -1;
    if (internal_get_property(pci, "FunctionNumber", text) == 0 && base::parse_number(text, &number) == 0 &&
        number == 0) {
      *found = true;
      return fn;
    }
  }
  return first;
}

uint32_t controller_instance(TavoNode* controller) {
  const int32_t instance = tree::instance_number(controller);
  return instance < 0 ? uint32_t{TAVO_MAX_CONTROLLERS} : static_cast<uint32_t>(instance);
}

uint32_t controller_transport(TavoNode* controller) { return get_the_protocol(controller_instance(controller)); }

uint32_t refuse_on_vf(char* buf) {
  if (buf != nullptr) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  tavo::controller::controller_status(256);
  return 1;
}

uint32_t store_and_answer(TavoNode* property, const char* value, char* buf) {
  TavoPropertyRecord* rec = tree::property_record(property);
  snprintf(rec->value, sizeof rec->value, "%s", value);
  snprintf(buf, TAVO_VALUE_SIZE, "%s", rec->value);
  return 0;
}

uint32_t not_applicable_here(TavoNode* property, char* buf, uint32_t op, uint32_t refusal, const char* shown) {
  // A write that cannot apply is no success, and leaves the stored value.
  if (op == TAVO_PROPERTY_SET) {
    base::set_status(refusal);
    return 1;
  }
  return store_and_answer(property, shown, buf);
}

}  // namespace tavo::controller
