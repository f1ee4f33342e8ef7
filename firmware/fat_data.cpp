// FAT data the firmware keeps in non-volatile memory after a failure: its
// presence, its retrieval into a file in pieces (68/1) and its clearing.
// Galtor keeps it as the flash object "/dbg/dump.bin" instead.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "controller/controller.h"
#include "firmware/firmware.h"
#include "firmware/flash_update.h"
#include "firmware/flash_internal.h"
#include "firmware/output_file.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/log_records.h"
#include "transport/mailbox.h"
#include "transport/object_records.h"
#include "tree/handler_context.h"

using tavo::FatLogRequest;
using tavo::firmware::set_status;

namespace {

constexpr char kGaltorFatObject[] = "/dbg/dump.bin";
// FAT data lives in the adapter's flash: a size beyond it is no answer.
constexpr uint32_t kFatSizeMax = tavo::kFlashImageSize;

// Galtor's object commands go to the NIC device, so through one of the
// controller's NIC functions: its number, or 0 for none.
uint32_t fat_galtor_function(TavoNode* controller) {
  return tavo::tree::handler_context(get_first_instance(controller, "NICPhysicalHBA")).number;
}

// The FAT data's size (a size request): 0, or the command's status.
uint32_t fat_size(const tavo::firmware::FlashTarget& t, uint32_t* size) {
  FatLogRequest request{};
  request.operation = tavo::kFatSize;
  const uint32_t status = ioctl_retrieve_fat(t.port, &request, t.domain, t.phys_port, t.instance);
  *size = request.operation;  // the answer's first word
  return status;
}

// Whether "/dbg/dump.bin" holds data: 0 with *present, or 1.
uint32_t fat_galtor_present(TavoNode* controller, TavoNode* node, bool* present) {
  const uint32_t function = fat_galtor_function(controller);
  const tavo::tree::HandlerContext at = tavo::tree::handler_context(node);
  auto request = tavo::base::counted_zeroed<tavo::ObjectReadRequest>();
  if (function == 0 || !request) return 1;
  snprintf(request->name, sizeof request->name, "%s", kGaltorFatObject);
  const uint32_t status =
      ioctl_common_read_object_v1(function, request.get(), sizeof *request, at.domain, at.port, TAVO_VIA_NIC);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: status of ioctl_common_read_object = %d\n", "handle_FATDataValid",
           static_cast<int>(status));
    return 1;
  }
  *present = request->length != 0;
  return 0;
}

// The whole FAT data of size bytes into data, in pieces: 0, or the failing
// command's status (65; 16 when there is no memory).
uint32_t fat_read(const tavo::firmware::FlashTarget& t, uint8_t* data, uint32_t size) {
  auto request = tavo::base::counted_zeroed<uint8_t>(sizeof(FatLogRequest) + tavo::kFatPieceMax);
  if (!request) {
    set_status(tavo::firmware::kNoMemory);
    return 1;
  }
  for (uint32_t offset = 0; offset < size;) {
    const uint32_t piece = std::min(size - offset, tavo::kFatPieceMax);
    memset(request.get(), 0, sizeof(FatLogRequest) + piece);
    const FatLogRequest head{tavo::kFatRead, offset, piece, piece, 0};
    memcpy(request.get(), &head, sizeof head);
    const uint32_t status = ioctl_retrieve_fat(t.port, request.get(), t.domain, t.phys_port, t.instance);
    if (status != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: piece at %u failed with %u\n", "do_RetrieveFATData",
             static_cast<unsigned>(offset), static_cast<unsigned>(status));
      set_status(tavo::firmware::kObjectReadFailed);
      return status;
    }
    memcpy(data + offset, request.get() + tavo::kFatAnswerData, piece);
    offset += piece;
  }
  return 0;
}

}  // namespace

uint32_t handle_FATDataValid(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr || op != TAVO_PROPERTY_GET) return 1;
  TavoNode* controller = tavo::tree::handler_context(property).controller;
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  // Inside a virtual function a failed query leaves "N/A".
  if (vm_flag) snprintf(buf, TAVO_VALUE_SIZE, "N/A");
  bool present = false;
  if (generation == tavo::kGenerationGaltor) {
    if (fat_galtor_present(controller, property, &present) != 0) return 1;
  } else {
    tavo::firmware::FlashTarget t;
    if (!tavo::firmware::flash_target(controller, property, &t)) return 1;
    uint32_t size = 0;
    if (fat_size(t, &size) != 0) {
      set_status(tavo::firmware::kObjectReadFailed);
      return 1;
    }
    present = size != 0;
  }
  return tavo::controller::store_and_answer(property, present ? "Yes" : "No", buf);
}

uint32_t do_RetrieveFATData(TavoNode* fat, TavoNode* action, char* params) {
  using namespace tavo::firmware;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (fat == nullptr || params == nullptr) return 1;
  const std::string path = param_text(params, 0);
  char valid[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(fat, "FATDataValid", valid) != 0) return 1;
  if (strcasecmp(valid, "No") == 0) {
    set_status(kNoFatData);
    return 0;
  }
  TavoNode* controller = fat->parent;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  if (generation == tavo::kGenerationGaltor) {
    // Appended to what the file holds.
    const tavo::tree::HandlerContext at = tavo::tree::handler_context(action);
    const uint32_t function = fat_galtor_function(controller);
    return function != 0 && galtor_get_read_object(controller, function, path.c_str(), at.domain, at.port, TAVO_VIA_NIC,
                                                   TAVO_OBJECT_DUMP) == 0
               ? 0
               : 1;
  }
  FlashTarget t;
  if (!flash_target(controller, action, &t)) return 1;
  uint32_t size = 0;
  if (fat_size(t, &size) != 0) {
    set_status(kObjectReadFailed);
    return 1;
  }
  if (size == 0) {
    set_status(kNoFatData);
    return 0;
  }
  if (size > kFatSizeMax) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: FAT data of %u bytes is more than the flash holds\n", __func__,
           static_cast<unsigned>(size));
    set_status(kObjectReadFailed);
    return 1;
  }
  auto data = tavo::base::counted_zeroed<uint8_t>(size);
  if (!data) {
    set_status(kNoMemory);
    return 1;
  }
  const uint32_t read = fat_read(t, data.get(), size);
  if (read != 0) return read;
  // The file leaves out the data's first four bytes.
  const size_t skipped = std::min<size_t>(size, 4);
  if (output_write(path.c_str(), data.get() + skipped, size - skipped) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot write %s: %s\n", __func__, path.c_str(), strerror(errno));
    set_status(kFatFileInvalid);
    return 1;
  }
  return 0;
}

uint32_t do_ClearFATData(TavoNode* fat, TavoNode* action, char*) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::firmware::FlashTarget t;
  if (fat == nullptr || !tavo::firmware::flash_target(fat->parent, action, &t)) return 1;
  FatLogRequest request{};
  request.operation = tavo::kFatClear;
  if (ioctl_clear_fat(t.port, &request, t.domain, t.phys_port, t.instance) == 0) return 0;
  set_status(tavo::firmware::kObjectReadFailed);
  return 1;
}
