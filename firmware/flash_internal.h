// What the update's steps share, and the log and dump actions with them:
// where a controller's commands go, the action's parameters, the image
// file reads and the whole-component requests.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/memory.h"
#include "transport/flash_personality.h"
#include "tree/tree.h"

namespace tavo::firmware {

// Where a controller's flash, log and dump commands go: the function
// number of its first iSCSI, else NIC, function, the domain and port of the
// action (of that function for none), the controller's transport and its
// instance (the argument of the commands that follow its protocol bits).
struct FlashTarget {
  uint32_t port = 0;
  uint8_t domain = 0;
  uint8_t phys_port = 0;
  uint32_t transport = 0;
  uint32_t instance = 0;
};
// False when the controller has no function to send through.
bool flash_target(TavoNode* controller, TavoNode* action, FlashTarget* target);

// Parameter i of an action's six 256-byte texts; "" when not given.
std::string param_text(const char* params, int i);

// The image file for reading (TAVO_file_open); with fallback, a path that
// does not open is tried under /opt/Quorvel/Tessmark/ (every open of a
// firmware image or object file does so, so a bare name is found there).
// NULL when neither opens.
FILE* image_open(const char* path, bool fallback);
// n bytes at offset; false when fewer could be read.
bool image_read_at(FILE* file, uint64_t offset, void* out, size_t n);
// The file's length; false when it cannot be told.
bool image_length(FILE* file, uint64_t* length);

// The whole host file in counted memory (with fallback as image_open): 0,
// or the status of the failure (39 no file, 31 no memory, 166 a short read
// or a file of 4 GiB or more).
uint32_t read_whole_file(const char* path, base::Counted<uint8_t>* bytes, uint32_t* length, bool fallback = false);

// A whole component as the flash write takes it: the head (operation 1,
// optype, size, flash offset) and size zeroed data bytes; empty when it
// cannot be allocated.
base::Counted<FlashWriteRequest> new_component(uint32_t optype, uint32_t flash_offset, uint32_t size);
inline uint8_t* component_data(FlashWriteRequest* request) { return reinterpret_cast<uint8_t*>(request + 1); }
// Sends it with mailbox 7/1: 0 or the transport's result.
uint32_t send_component(const FlashTarget& target, const FlashWriteRequest* request, uint8_t offset_mode);

// One row of a fixed component table: where the component lies in flash,
// its optype and size, and (CV3) the image type the directory must list.
struct FlashComponent {
  uint32_t flash_offset;
  uint32_t optype;
  uint32_t size;
  uint32_t image_type;
};

// The controller's ActiveFirmwareVersion into text[256]; false when it
// cannot be read.
bool active_firmware_version(TavoNode* controller, char* text);

}  // namespace tavo::firmware
