// The controller's generation, from the PCI device ID of its first
// function, and the test against one server maker's subsystem IDs.
#include <ctype.h>
#include <stdlib.h>

#include <iterator>

#include "controller/controller.h"
#include "transport/device_ids.h"

namespace {

// A hexadecimal ID ("0x0c32" or "c32") of the PCI group of the
// controller's first function; false when there is none to read.
bool generation_read_id(TavoNode* controller, const char* name, unsigned long* id) {
  TavoNode* function = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController).function;
  TavoNode* pci = internal_get_node(function, "PCI", TAVO_KIND_GROUP);
  char text[TAVO_VALUE_SIZE] = "";
  // No sign, no blank: the digits (or 0x) come first.
  if (pci == nullptr || internal_get_property(pci, name, text) != 0 || !isxdigit(static_cast<unsigned char>(text[0])))
    return false;
  char* end = nullptr;
  *id = strtoul(text, &end, 16);
  return end != text && *end == '\0';
}

}  // namespace

const uint16_t DellSupportedPciSubSysDevIdTable[] = {
    0xE820, 0xE824, 0x1F7E, 0xE822, 0x1F81, 0xE823, 0xE821, 0xE825, 0xE826, 0xE82B, 0xE827, 0xE82C, 0xE828,
    0xE82D, 0xE829, 0xE82E, 0xE831, 0xE835, 0xE832, 0xE836, 0xE833, 0xE837, 0xE834, 0xE838, 0xE839, 0};
// The exported table's length, its closing 0 included.
static_assert(std::size(DellSupportedPciSubSysDevIdTable) == 26);

// An empty DeviceID is no ID: it answers 1 like an unreadable one.
uint32_t get_cv_type(TavoNode* controller) {
  unsigned long id = 0;
  if (!generation_read_id(controller, "DeviceID", &id)) {
    tavo::controller::controller_status(163);
    return TAVO_GENERATION_UNREADABLE;
  }
  return id > 0xFFFF ? tavo::kGenerationUnknown : tavo::generation_of_device_id(static_cast<uint16_t>(id));
}

uint32_t TAVO_DetermineIfDellSystem(TavoNode* controller) {
  if (controller == nullptr || get_cv_type(controller) == TAVO_GENERATION_UNREADABLE) return 1;
  unsigned long id = 0;
  if (!generation_read_id(controller, "SubsysDeviceID", &id)) return 1;
  for (const uint16_t listed : DellSupportedPciSubSysDevIdTable) {
    if (listed == 0) break;
    if (listed == id) return 0;
  }
  return 1;
}
