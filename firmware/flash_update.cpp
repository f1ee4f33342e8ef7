// The UpgradeFlashROM action: image checks, the ASIC compatibility rule,
// and the CV2 update from its fixed component table. CV3 and Moravel go
// through TAVO_fw_download, Galtor through its object file.
#include <string.h>

#include "base/file_utils.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "firmware/flash_internal.h"
#include "firmware/flash_update.h"
#include "firmware/status_texts.h"
#include "platform/host.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/device_layout.h"
#include "transport/glob.h"
#include "transport/mailbox.h"
#include "transport/nic_records.h"
#include "tree/handler_context.h"

using tavo::firmware::FlashTarget;
using tavo::firmware::set_status;

namespace tavo::firmware {

namespace {

// In flashing order; the boot code (optype 1) only when its CRC differs.
constexpr uint32_t kBootCodeOptype = 1;
constexpr FlashComponent kCv2Components[] = {
    {0x100000, 0, 0x140000, 0}, {0x240000, 9, 0x140000, 0}, {0x380000, 10, 0x140000, 0},
    {0x4C0000, 11, 0x140000, 0}, {0x000000, kBootCodeOptype, 0x40000, 0}, {0x700000, 2, 0x40000, 0},
    {0x080000, 8, 0x40000, 0}, {0x780000, 3, 0x40000, 0},
};
// The boot code's CRC: the last word of its 256 KiB.
constexpr uint32_t kBootCodeCrcOffset = 0x3FFFC;
constexpr uint32_t kQueryOperation = 4;

// Whether the controller takes an image of TKI type tki: an ASIC revision
// of 16 or more refuses the older types.
bool update_compatible(uint32_t generation, uint8_t revision, uint32_t tki) {
  if (generation == kGenerationCV3) return !((revision >= 17 && (tki == 3 || tki == 4)) || (revision == 16 && tki == 3));
  if (generation == kGenerationMoravel) return tki >= revision;
  return true;
}

// The eight CV2 components from the image, in order; a failure ends the
// update with status 166.
uint32_t update_cv2(const FlashTarget& target, const char* path) {
  for (const FlashComponent& row : kCv2Components) {
    if (row.optype == kBootCodeOptype && (target.transport == TAVO_VIA_ISCSI || target.transport == TAVO_VIA_NIC) &&
        if_required_redboot_flash(target.port, path, target.domain, target.phys_port, target.transport) == 0) {
      pdebug(TAVO_LOG_BACKEND, 5, "%s: the boot code is already in flash\n", __func__);
      continue;
    }
    uint8_t* data = nullptr;
    const uint32_t read = ProcessFlashFirmwareCmd(path, row.flash_offset, row.size, &data);
    base::Counted<uint8_t> owned(data);
    if (read != 0) {
      set_status(kUpgradeFailed);
      return read;
    }
    base::Counted<FlashWriteRequest> request = new_component(row.optype, 0, row.size);
    if (!request) {
      set_status(kUpgradeFailed);
      return 1;
    }
    memcpy(component_data(request.get()), data, row.size);
    const uint32_t sent = send_component(target, request.get(), 0);
    if (sent != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: optype %u failed with %u\n", __func__, static_cast<unsigned>(row.optype),
             static_cast<unsigned>(sent));
      set_status(kUpgradeFailed);
      return sent;
    }
  }
  set_status(kRebootToActivate);
  return 0;
}

// The Galtor update: the object file checked, then written to "/prg".
uint32_t update_galtor(TavoNode* controller, const FlashTarget& target, const char* path) {
  if (process_galtor_flash(path) != 0) return 1;
  const uint32_t result =
      TAVO_galtor_fw_download(controller, target.port, path, target.domain, target.phys_port, target.transport);
  if (result == 0) return 0;
  if (result == kRebootToActivate) {
    set_status(kRebootToActivate);
    return 0;
  }
  set_status(kUpgradeFailed);
  return result;
}

}  // namespace

bool flash_target(TavoNode* controller, TavoNode* action, FlashTarget* target) {
  if (controller == nullptr) return false;
  const tree::HandlerContext c = action != nullptr ? tree::handler_context(action)
                                                   : tree::handler_context(controller, tree::Commands::OfController);
  if (!c) return false;
  *target = FlashTarget{c.number, c.domain, c.port, controller::controller_transport(controller),
                        controller::controller_instance(controller)};
  return true;
}

std::string param_text(const char* params, int i) {
  if (params == nullptr || i < 0 || i >= TAVO_MAX_PARAMS) return "";
  const char* text = params + static_cast<size_t>(i) * TAVO_VALUE_SIZE;
  if (static_cast<uint8_t>(text[0]) == TAVO_NOT_GIVEN) return "";
  return std::string(text, strnlen(text, TAVO_VALUE_SIZE));
}

uint32_t read_whole_file(const char* path, base::Counted<uint8_t>* bytes, uint32_t* length, bool fallback) {
  FILE* file = image_open(path, fallback);
  if (file == nullptr) return kImageUnreadable;
  uint64_t size = 0;
  if (!image_length(file, &size) || size >= UINT32_MAX) {
    TAVO_file_close(file);
    return kUpgradeFailed;
  }
  base::Counted<uint8_t> buffer(static_cast<uint8_t*>(tavo_dmalloc(static_cast<size_t>(size))));
  const bool read = buffer && image_read_at(file, 0, buffer.get(), static_cast<size_t>(size));
  TAVO_file_close(file);
  if (!buffer) return kNoBuffer;
  if (!read) return kUpgradeFailed;
  *bytes = std::move(buffer);
  *length = static_cast<uint32_t>(size);
  return 0;
}

base::Counted<FlashWriteRequest> new_component(uint32_t optype, uint32_t flash_offset, uint32_t size) {
  // The head, the data and one zero word, as the chunks carry it.
  auto request = base::counted_zeroed<FlashWriteRequest>(sizeof(FlashWriteRequest) + size_t{size} + 4);
  if (!request) return request;
  request->operation = kFlashOperationLast;
  request->optype = optype;
  request->length = size;
  request->offset = flash_offset;
  return request;
}

uint32_t send_component(const FlashTarget& target, const FlashWriteRequest* request, uint8_t offset_mode) {
  return ioctl_upgrade_flash(target.port, request, target.domain, target.phys_port, target.transport, offset_mode);
}

bool active_firmware_version(TavoNode* controller, char* text) {
  text[0] = '\0';
  return internal_get_property(controller, "ActiveFirmwareVersion", text) == 0;
}

}  // namespace tavo::firmware

uint32_t if_required_redboot_flash(uint32_t port, const char* path, uint8_t domain, uint8_t phys_port,
                                   uint32_t transport) {
  FILE* file = tavo::firmware::image_open(path, true);
  if (file == nullptr) return 0;
  uint32_t crc = 0;
  const bool read = tavo::firmware::image_read_at(
      file, uint64_t{tavo::kUfiHeaderCv2Size} + tavo::firmware::kBootCodeCrcOffset, &crc, sizeof crc);
  TAVO_file_close(file);
  if (!read) return 1;
  uint32_t words[6] = {tavo::firmware::kQueryOperation, tavo::firmware::kBootCodeOptype, 4,
                       tavo::firmware::kBootCodeCrcOffset, 0, 0};
  const uint32_t status = ioctl_get_flash_component_details(port, words, domain, phys_port, transport);
  pdebug(TAVO_LOG_BACKEND, 5, "%s: status %u, flashed CRC 0x%x, image CRC 0x%x\n", __func__,
         static_cast<unsigned>(status), static_cast<unsigned>(words[4]), static_cast<unsigned>(crc));
  return status == 0 && words[4] == crc ? 0 : 1;
}

uint32_t do_UpgradeFlashROM(TavoNode* controller, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (vm_flag) {
    set_status(tavo::firmware::kNotOnVirtualFunction);
    return 1;
  }
  FlashTarget target;
  if (controller == nullptr || params == nullptr || !tavo::firmware::flash_target(controller, action, &target)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the controller has no function\n", __func__);
    return 1;
  }
  char path[TAVO_VALUE_SIZE + 1] = "";
  snprintf(path, sizeof path, "%.*s", TAVO_VALUE_SIZE, params);
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) return tavo::firmware::update_galtor(controller, target, path);

  uint32_t tki = 0;
  const uint32_t image = TAVO_get_ufi_type(path, &tki, generation);
  if (image == tavo::firmware::kImageUnreadable) {
    set_status(tavo::firmware::kImageUnreadable);
    return 1;
  }
  if (image != generation || image == tavo::kGenerationUnknown) {
    set_status(tavo::firmware::kImageIncompatible);
    return 1;
  }
  tavo::FirmwareConfig config{};
  const uint32_t read = ioctl_get_fw_config(target.port, &config, target.domain, target.phys_port, target.transport);
  if (read != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: the firmware configuration read failed with %u\n", __func__,
           static_cast<unsigned>(read));
    return 1;
  }
  if (!tavo::firmware::update_compatible(generation, config.asic_revision, tki)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: ASIC revision %u refuses TKI type %u\n", __func__,
           static_cast<unsigned>(config.asic_revision), static_cast<unsigned>(tki));
    set_status(tavo::firmware::kImageIncompatible);
    return 1;
  }
  if (generation == tavo::kGenerationCV2) return tavo::firmware::update_cv2(target, path);

  const uint32_t result =
      TAVO_fw_download(controller, target.port, path, target.domain, target.phys_port, target.transport, generation);
  switch (result) {
    case 0:
      set_status(tavo::firmware::kRebootToActivate);
      break;
    case tavo::firmware::kDownloadTwice:
    case tavo::firmware::kSignatureInvalid:
    case tavo::firmware::kSignatureMissing:
      set_status(result);
      break;
    default:
      set_status(tavo::firmware::kUpgradeFailed);
      break;
  }
  return result;
}
