// The helpers every iSCSI branch uses.
#include "iscsi/common/iscsi_common.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <vector>

#include "base/status_registry.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "transport/device_ids.h"
#include "transport/iscsi_records.h"

namespace tavo::iscsi {
bool read_text(TavoNode* group, const char* name, char out[TAVO_VALUE_SIZE]) {
  out[0] = '\0';
  return group != nullptr && internal_get_property(group, name, out) == 0;
}

bool is_word(const char* text, const char* word) { return text != nullptr && strcasecmp(text, word) == 0; }

bool full_address(char address[TAVO_VALUE_SIZE]) {
  return strchr(address, ':') == nullptr || validateIPv6Address(address) == 0;
}

void put_text(char* field, size_t size, const char* text) {
  memset(field, 0, size);
  if (text != nullptr) memcpy(field, text, strnlen(text, size - 1));
}

void copy_field(char* out, size_t size, const char* field, size_t length) {
  size_t n = strnlen(field, length);
  if (n > size - 1) n = size - 1;
  memmove(out, field, n);
  out[n] = '\0';
}

Buffer zeroed_buffer(size_t size) {
  Buffer b(static_cast<uint8_t*>(tavo_dmalloc(size)));
  if (b == nullptr)
    base::set_status(16);
  else
    memset(b.get(), 0, size);
  return b;
}

bool below_lhba(const tree::HandlerContext& c) {
  return c.lhba != nullptr && c.controller != nullptr && c.number != 0 &&
         tree::group_above(c.lhba, "iSCSIPhysicalHBA") != nullptr;
}

bool put_portal(const char* address, const char* port, uint8_t* type, uint8_t* bytes, uint16_t* port_number) {
  if (strlen(address) < 16) {
    unsigned parts[4] = {};
    if (sscanf(address, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]) != 4) return false;
    *type = kLoginAddressIPv4;
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(parts[i]);
  } else {
    *type = kLoginAddressIPv6;
    StrToU8IPv6(address, bytes);
  }
  *port_number = static_cast<uint16_t>(strtoul(port, nullptr, 10));
  return true;
}

uint32_t generation_of(const tree::HandlerContext& c) { return get_cv_type(c.controller); }

bool small_generation(uint32_t generation) { return generation == kGenerationCV2 || generation == kGenerationCV3; }

uint32_t delete_with_records(TavoNode* group) { return tree::delete_with_handles(group); }

}  // namespace tavo::iscsi
