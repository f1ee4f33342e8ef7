// The controller's generation, from the PCI device ID of its first function.
#include <stdlib.h>

#include "controller/controller.h"
#include "transport/device_ids.h"

namespace {

// The controller's first iSCSIPhysicalHBA, else NICPhysicalHBA, instance.
TavoNode* generation_function(TavoNode* controller) {
  TavoNode* fn = get_first_instance(controller, "iSCSIPhysicalHBA");
  return fn != nullptr ? fn : get_first_instance(controller, "NICPhysicalHBA");
}

}  // namespace

uint32_t get_cv_type(TavoNode* controller) {
  TavoNode* pci = internal_get_node(generation_function(controller), "PCI", TAVO_KIND_GROUP);
  char text[TAVO_VALUE_SIZE] = "";
  char* end = nullptr;
  long id = -1;
  if (pci != nullptr && internal_get_property(pci, "DeviceID", text) == 0) id = strtol(text, &end, 16);
  if (id < 0 || end == nullptr || *end != '\0') {
    tavo_set_last_status(163, "Failed to get the controller type.");
    return TAVO_GENERATION_UNREADABLE;
  }
  return id > 0xFFFF ? tavo::kGenerationUnknown : tavo::generation_of_device_id(static_cast<uint16_t>(id));
}
