// The controller's firmware, option-ROM, PHY and IPL versions and its
// on-die temperature: the attribute records 32/1 and 121/1.
#include <stdio.h>
#include <string.h>

#include <iterator>

#include "controller/controller.h"
#include "controller/ipl_file_names.h"
#include "transport/commands.h"
#include "transport/device_ids.h"

using tavo::AdditionalControllerAttributes;
using tavo::controller::store_field;

namespace {

// Properties of the eight option-ROM versions, in the record's order.
constexpr const char* kOptionRomProperties[] = {"FCoEUniversalVersion", "FCoEx86BIOSVersion", "FCoEEFIVersion",
                                                "FCoEFCODEVersion",     "UEFIBIOSVersion",    "UEFINICVersion",
                                                "UEFIFCODEVersion",     "UEFISCSIVersion"};
// One property per version field of the record.
static_assert(std::size(kOptionRomProperties) == std::size(tavo::AdditionalControllerAttributes{}.option_rom_versions));
constexpr uint16_t kCv3IplLast = 113;
constexpr uint16_t kMoravelIplFirst = 256;
constexpr uint16_t kMoravelIplLast = 293;
constexpr uint16_t kMoravelIplRowOffset = 142;

// The controller's generation; a failure is logged for the caller.
uint32_t versions_generation(TavoNode* controller, const char* caller) {
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE)
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the controller type.\n", caller);
  return generation;
}

// Mailbox 121/1 through the controller's target function.
uint32_t versions_read_additional(TavoNode* controller, const tavo::tree::HandlerContext& c,
                                  AdditionalControllerAttributes* record) {
  if (!c) return 1;
  memset(record, 0, sizeof *record);
  return ioctl_get_cnt_additional_attribs(c.number, record, c.domain, c.port,
                                          tavo::controller::controller_transport(controller));
}

// The IPL file name: the firmware's text, else the table row of the IPL
// number with the revision appended, else "N/A".
void versions_ipl_name(uint32_t generation, const AdditionalControllerAttributes& r, char* out) {
  const size_t length = strnlen(r.ipl_name, sizeof r.ipl_name);
  if (length > 0) {
    snprintf(out, TAVO_VALUE_SIZE, "%.*s", static_cast<int>(length), r.ipl_name);
    return;
  }
  const char* row = nullptr;
  if (generation == tavo::kGenerationCV3 && r.ipl_number >= 1 && r.ipl_number <= kCv3IplLast)
    row = tavo::controller::ipl_file_name(r.ipl_number);
  if (generation == tavo::kGenerationMoravel && r.ipl_number >= kMoravelIplFirst && r.ipl_number <= kMoravelIplLast)
    row = tavo::controller::ipl_file_name(r.ipl_number - kMoravelIplRowOffset);
  if (row != nullptr)
    snprintf(out, TAVO_VALUE_SIZE, "%s%X", row, r.ipl_revision);
  else
    snprintf(out, TAVO_VALUE_SIZE, "N/A");
}

}  // namespace

uint32_t handle_cv_controller_properties(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr) return 1;
  const uint32_t generation = versions_generation(controller, __func__);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  // The running versions keep what enumeration read, except on Galtor; the
  // version on flash changes under a running firmware.
  if (generation != tavo::kGenerationGaltor && strcmp(property->name, "FirmwareVersionOnFlash") != 0)
    return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(property);
  tavo::ControllerAttributes block{};
  if (!c || TAVO_get_cntr_attribs(c.number, c.port, c.domain, tavo::controller::controller_transport(controller),
                                  &block) != 0)
    return 1;
  if (!tavo::controller::store_firmware_versions(controller, block)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to store the firmware versions.\n", __func__);
    return 1;
  }
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t TAVO_update_cntr_additional_attribs(TavoNode* controller) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr) return 1;
  const uint32_t generation = versions_generation(controller, __func__);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (tavo::tree::handler_context(controller, tavo::tree::Commands::OfController).function == nullptr) return 1;
  AdditionalControllerAttributes r;
  if (const uint32_t status = versions_read_additional(controller, tavo::tree::handler_context(controller), &r);
      status != 0)
    return status;
  bool ok = true;
  for (size_t i = 0; i < std::size(kOptionRomProperties); ++i)
    ok &= store_field(controller, kOptionRomProperties[i], r.option_rom_versions[i], sizeof r.option_rom_versions[i]);
  ok &= store_field(controller, "PXEBIOSVersion", r.pxe_bios_version, sizeof r.pxe_bios_version);
  const size_t phy = strnlen(r.phy_firmware_version, sizeof r.phy_firmware_version);
  if (generation == tavo::kGenerationGaltor || phy == 0) {
    ok &= set_prop_val(controller, "PHYFirmwareVersion", "N/A") == 0;
    ok &= set_prop_val(controller, "PHYConfigurationId", "N/A") == 0;
  } else {
    ok &= store_field(controller, "PHYFirmwareVersion", r.phy_firmware_version, phy);
    ok &= set_prop_val(controller, "PHYConfigurationId", "0x%.*s",
                       static_cast<int>(strnlen(r.phy_configuration_id, sizeof r.phy_configuration_id)),
                       r.phy_configuration_id) == 0;
  }
  char ipl[TAVO_VALUE_SIZE];
  versions_ipl_name(generation, r, ipl);
  ok &= set_prop_val(controller, "IPLFileName", "%s", ipl) == 0;
  return ok ? 0 : 1;
}

uint32_t handle_cv_controller_additional_properties(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr) return 1;
  const uint32_t generation = versions_generation(controller, __func__);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  // Galtor reports them live; elsewhere start-up stored them.
  if (generation == tavo::kGenerationGaltor && TAVO_update_cntr_additional_attribs(controller) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to update the additional attributes.\n", __func__);
    return 1;
  }
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

// The firmware's reading is shown whatever its value; 0 means none.
uint32_t handle_cv_temperature(TavoNode* property, char* buf, uint32_t) {
  TavoNode* controller = property != nullptr ? property->parent : nullptr;
  if (controller == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (tavo::tree::handler_context(controller, tavo::tree::Commands::OfController).function == nullptr) return 1;
  AdditionalControllerAttributes r;
  const uint32_t status = versions_read_additional(controller, tavo::tree::handler_context(property), &r);
  if (status != 0) {
    tavo::controller::controller_status(192);
    return status;
  }
  char text[16] = "N/A";
  if (r.temperature != 0) snprintf(text, sizeof text, "%d", static_cast<int>(r.temperature));
  return tavo::controller::store_and_answer(property, text, buf);
}
