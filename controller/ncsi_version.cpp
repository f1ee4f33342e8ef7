// NCSIVersion: the NC-SI version the controller attributes report, on the
// controllers whose NC-SI support start-up recorded.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

// CV2 reports five numbers, CV3 a text that ends with its 12-byte field.
uint32_t handle_get_ncsi_version(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->record == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  TavoNode* ncsi = property->parent;
  TavoNode* controller = ncsi != nullptr ? ncsi->parent : nullptr;
  TavoNode* fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController).function;
  if (fn == nullptr) return 1;
  TavoNode* support = internal_get_node(ncsi, "NCSISupport", TAVO_KIND_PROPERTY);
  if (support == nullptr || support->record == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get NCSISupport.\n", __func__);
    return 1;
  }
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  char version[TAVO_VALUE_SIZE] = "N/A";
  const bool supported = strcasecmp(tavo::tree::property_record(support)->value, "Supported") == 0;
  if (supported && (generation == tavo::kGenerationCV2 || generation == tavo::kGenerationCV3)) {
    tavo::ControllerAttributes block{};
    const tavo::tree::HandlerContext c = tavo::tree::handler_context(fn);
    const uint32_t status = ioctl_fetch_controller_attribs(c.number, &block, c.domain, c.port,
                                                           tavo::controller::controller_transport(controller));
    if (status != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_fetch_controller_attribs failed with status = %d\n", __func__,
             static_cast<int>(status));
      return 1;
    }
    if (generation == tavo::kGenerationCV2) {
      uint16_t part[5];
      memcpy(part, block.ncsi_version, sizeof part);
      snprintf(version, sizeof version, "%d.%d.%d.%d-%d", part[0], part[1], part[2], part[3], part[4]);
    } else {
      const auto* text = reinterpret_cast<const char*>(block.ncsi_version);
      snprintf(version, sizeof version, "%.*s", static_cast<int>(strnlen(text, sizeof block.ncsi_version)), text);
    }
  }
  return tavo::controller::store_and_answer(property, version, buf);
}
