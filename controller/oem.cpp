// The OEM's data of a controller (mailbox 76/1) and the CIM-style constants
// of its NIC side, worked out from the tree.
#include <stdio.h>
#include <string.h>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using tavo::OemParams;
using tavo::tree::next_instance;

namespace {

// The OEM serial: bytes 12 on, up to the first 0 (or, on Galtor, 255), at
// most 24.
void oem_serial_text(const OemParams& oem, bool galtor, char* out) {
  size_t length = 0;
  while (length < sizeof oem.oem_serial && oem.oem_serial[length] != 0x00 &&
         !(galtor && oem.oem_serial[length] == 0xFF))
    ++length;
  snprintf(out, TAVO_VALUE_SIZE, "%.*s", static_cast<int>(length), reinterpret_cast<const char*>(oem.oem_serial));
}

// The three OEM properties; true when all were stored.
bool oem_store(TavoNode* oem_group, const char* maker, const char* serial, const char* word) {
  bool ok = set_prop_val(oem_group, "QuorvelSerialNumber", "%s", maker) == 0;
  ok &= set_prop_val(oem_group, "OEMSerialNumber", "%s", serial) == 0;
  ok &= set_prop_val(oem_group, "PersonalityManagementWord", "%s", word) == 0;
  return ok;
}

// The controller above a NICCIM property.
TavoNode* oem_cim_controller(TavoNode* property) { return tavo::tree::handler_context(property).controller; }

}  // namespace

namespace tavo::controller {

bool galtor_maker_serial_usable(const OemParams& oem) {
  return oem.maker_serial[0] != 0x00 && oem.maker_serial[0] != 0xFF;
}

bool galtor_oem_serial_usable(const OemParams& oem) { return oem.oem_serial[0] != 0xFF && oem.oem_serial[1] != 0x00; }

}  // namespace tavo::controller

uint32_t TAVO_update_oem_props(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* group = internal_get_node(controller, "OEM", TAVO_KIND_GROUP);
  if (group == nullptr) return 1;
  if (vm_flag) {
    oem_store(group, "N/A", "N/A", "N/A");
    return 1;
  }
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE || generation == tavo::kGenerationUnknown) return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(controller);
  if (!c) return 1;
  OemParams oem{};
  if (ioctl_get_oem_params(c.number, &oem, c.domain, c.port, tavo::controller::controller_instance(controller)) != 0) {
    tavo::controller::controller_status(74);
    return 1;
  }
  const uint8_t* m = oem.maker_serial;
  const bool galtor = generation == tavo::kGenerationGaltor;
  char maker[TAVO_VALUE_SIZE], serial[TAVO_VALUE_SIZE], word[16];
  oem_serial_text(oem, galtor, serial);
  snprintf(word, sizeof word, "0x%08x", oem.personality_word);
  if (galtor) {
    if (tavo::controller::galtor_maker_serial_usable(oem))
      snprintf(maker, sizeof maker, "%c%c%02x%02x%02x%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    else
      snprintf(maker, sizeof maker, "N/A");
    if (!tavo::controller::galtor_oem_serial_usable(oem)) snprintf(serial, sizeof serial, "N/A");
  } else {
    snprintf(maker, sizeof maker, "%c%c%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x", m[0], m[1], m[2], m[3], m[4],
             m[5], m[6], m[7], m[8], m[9], m[10], m[11]);
  }
  if (oem_store(group, maker, serial, word)) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "%s: failed to update the properties with status %d\n", __func__, 1);
  return 1;
}

uint32_t handle_PortControllerName(TavoNode* property, char* buf, uint32_t) {
  TavoNode* nic = get_first_instance(oem_cim_controller(property), "NICPhysicalHBA");
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (nic == nullptr) return tavo::controller::store_and_answer(property, "N/A", buf);
  TavoNode* pci = internal_get_node(nic, "PCI", TAVO_KIND_GROUP);
  if (pci == nullptr) return 1;
  char bus[TAVO_VALUE_SIZE] = "", device[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(pci, "BusNumber", bus) == 0 && internal_get_property(pci, "DeviceNumber", device) == 0)
    set_prop_val(property->parent, property->name, "Quorvel Tessmark at %s:%s", bus, device);
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t handle_ControllerType(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  const bool nic = get_first_instance(oem_cim_controller(property), "NICPhysicalHBA") != nullptr;
  return tavo::controller::store_and_answer(property, nic ? "Ethernet" : "N/A", buf);
}

uint32_t handle_ProtocolSupported(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  const bool nic = get_first_instance(oem_cim_controller(property), "NICPhysicalHBA") != nullptr;
  return tavo::controller::store_and_answer(property, nic ? "IEEE P802.3ae" : "N/A", buf);
}

uint32_t handle_MaxSupportedController(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  int count = 0;
  for (TavoNode* fn = get_first_instance(oem_cim_controller(property), "NICPhysicalHBA"); fn != nullptr;
       fn = next_instance(fn))
    ++count;
  char text[16];
  snprintf(text, sizeof text, "%d", count);
  return tavo::controller::store_and_answer(property, text, buf);
}
