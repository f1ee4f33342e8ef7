// The plug-in's road into the tree: lookups by name, instance lists, the
// action parameter block, id lists, and the texts that cross over.
#include <arpa/inet.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

namespace tavo::cvima {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A byte from up to two hexadecimal characters; what is not a digit ends it.
uint8_t hex_byte(const char* text, size_t n) {
  unsigned value = 0;
  for (size_t i = 0; i < n; ++i) {
    const int d = hex_digit(text[i]);
    if (d < 0) break;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return static_cast<uint8_t>(value);
}

uint32_t property_tag(uint32_t group, const char* property, uint32_t* tag) {
  return TAVO_get_node_tag(group, property, tag, TAVO_KIND_PROPERTY);
}

}  // namespace

uint32_t group_tag(uint32_t parent, const char* name, uint32_t* tag) {
  return TAVO_get_node_tag(parent, name, tag, TAVO_KIND_GROUP);
}

uint32_t set_property(uint32_t group, const char* property, const char* value) {
  uint32_t ptag = 0;
  if (const uint32_t status = property_tag(group, property, &ptag)) return status;
  return TAVO_set_property_val(group, ptag, value, TAVO_VALUE_SIZE);
}

uint32_t parent_of(uint32_t tag, uint32_t* parent) { return TAVO_get_parent_tag(tag, parent); }

uint32_t ancestors(uint32_t tag, std::initializer_list<uint32_t*> out) {
  for (uint32_t* parent : out) {
    if (const uint32_t status = parent_of(tag, parent)) return status;
    tag = *parent;
  }
  return 0;
}

uint32_t associated_ids(uint32_t portal, uint32_t* parent, IMA_OID* node, IMA_OID* lhba) {
  uint32_t lhba_tag = 0, phba = 0;
  if (const uint32_t status = ancestors(portal, {parent, &lhba_tag, &phba})) return status;
  *lhba = make_oid(IMA_OBJECT_TYPE_LHBA, lhba_tag);
  *node = make_oid(IMA_OBJECT_TYPE_NODE, phba);
  return 0;
}

uint32_t instance_number(uint32_t tag, const char* prefix, int* number) {
  char name[TAVO_NAME_SIZE] = "";
  if (const uint32_t status = TAVO_get_node_name(tag, name, TAVO_KIND_GROUP)) return status;
  const size_t n = strlen(prefix);
  if (strncmp(name, prefix, n) != 0) return 1;
  *number = atoi(name + n);
  return 0;
}

uint32_t lhba_of(const IMA_OID& oid, uint32_t* lhba) {
  const uint32_t tag = oid_tag(oid);
  uint32_t up = 0;
  switch (oid.objectType) {
    case IMA_OBJECT_TYPE_LHBA:
      *lhba = tag;
      return 0;
    case IMA_OBJECT_TYPE_PNP:  // NICConfiguration < Network < iSCSIPhysicalHBA
      if (const uint32_t status = parent_of(tag, &up)) return status;
      if (const uint32_t status = parent_of(up, &up)) return status;
      return group_tag(up, "LogicalHBA0", lhba);
    case IMA_OBJECT_TYPE_TARGET:  // TargetPortal < Target < LogicalHBA
    case IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET:
    case IMA_OBJECT_TYPE_DISCOVERY_ADDRESS:  // SendTargetPortal < Discovery < LogicalHBA
      if (const uint32_t status = parent_of(tag, &up)) return status;
      return parent_of(up, lhba);
    default:
      *lhba = 0;
      return 0;
  }
}

uint32_t present_children(uint32_t tag, const char* group, Tags* out) {
  uint32_t numbers[TAVO_MAX_INSTANCES];
  uint32_t count = 0;
  out->count = 0;
  if (const uint32_t status = TAVO_get_valid_instances(tag, group, numbers, &count)) return status;
  for (uint32_t i = 0; i < count && i < TAVO_MAX_INSTANCES; ++i) {
    char name[TAVO_VALUE_SIZE];
    snprintf(name, sizeof name, "%s%u", group, numbers[i]);
    if (group_tag(tag, name, &out->tag[out->count]) == 0) ++out->count;
  }
  return 0;
}

uint32_t phba_of(const IMA_OID& oid, uint32_t* phba) {
  *phba = oid_tag(oid);
  int levels = 0;
  if (oid.objectType == IMA_OBJECT_TYPE_LHBA) levels = 1;
  if (oid.objectType == IMA_OBJECT_TYPE_NETWORK_PORTAL || oid.objectType == IMA_OBJECT_TYPE_PNP) levels = 2;
  while (levels-- > 0)
    if (const uint32_t status = parent_of(*phba, phba)) return status;
  return 0;
}

uint32_t network_of(const IMA_OID& oid, uint32_t* network) {
  if (oid.objectType == IMA_OBJECT_TYPE_NETWORK_PORTAL || oid.objectType == IMA_OBJECT_TYPE_PNP)
    return parent_of(oid_tag(oid), network);
  uint32_t phba = 0;
  if (const uint32_t status = phba_of(oid, &phba)) return status;
  return group_tag(phba, "Network", network);
}

uint32_t last_status_code() {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE];
  TAVO_get_last_status(&code, text);
  return code;
}

ActionParams::ActionParams() { memset(block_, 0, sizeof block_); }

ActionParams::~ActionParams() { explicit_bzero(block_, sizeof block_); }

void ActionParams::set(int slot, const char* text) {
  snprintf(block_ + slot * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%s", text);
}

void ActionParams::set_number(int slot, long value) {
  snprintf(block_ + slot * TAVO_VALUE_SIZE, TAVO_VALUE_SIZE, "%ld", value);
}

void ActionParams::not_given(int slot) {
  memset(block_ + slot * TAVO_VALUE_SIZE, 0, TAVO_VALUE_SIZE);
  block_[slot * TAVO_VALUE_SIZE] = static_cast<char>(TAVO_NOT_GIVEN);
}

uint32_t find_action(uint32_t group, const char* action, uint32_t* tag) {
  return TAVO_get_node_tag(group, action, tag, TAVO_KIND_ACTION);
}

uint32_t run_action(uint32_t group, const char* action, const ActionParams& params) {
  uint32_t action_tag = 0;
  if (const uint32_t status = find_action(group, action, &action_tag)) return status;
  return TAVO_do_action(group, action_tag, params.block(), nullptr);
}

IMA_STATUS hand_out_list(IMA_OBJECT_TYPE type, const uint32_t* tags, uint32_t count, IMA_OID_LIST** list) {
  auto* made = static_cast<IMA_OID_LIST*>(calloc(1, offsetof(IMA_OID_LIST, oids) + sizeof(IMA_OID) * count));
  if (made == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  for (uint32_t i = 0; i < count; ++i) made->oids[i] = make_oid(type, tags[i]);
  made->oidCount = count;
  *list = made;
  return IMA_STATUS_SUCCESS;
}

void text_to_address(const char* text, IMA_IP_ADDRESS* address) {
  memset(address->ipAddress, 0, sizeof address->ipAddress);
  if (strchr(text, ':') != nullptr) {
    address->ipv4Address = 0;
    // Any valid form; else each group's first and next two digits.
    if (inet_pton(AF_INET6, text, address->ipAddress) == 1) return;
    const char* group = text;
    for (int g = 0; g < 8 && group != nullptr; ++g) {
      const char* end = strchr(group, ':');
      const size_t n = end ? static_cast<size_t>(end - group) : strlen(group);
      address->ipAddress[2 * g] = hex_byte(group, n < 2 ? n : 2);
      address->ipAddress[2 * g + 1] = n > 2 ? hex_byte(group + 2, n - 2 < 2 ? n - 2 : 2) : 0;
      group = end ? end + 1 : nullptr;
    }
    return;
  }
  // IPv4: the first four bytes; a missing part counts as 0.
  address->ipv4Address = 1;
  const char* part = text;
  for (int i = 0; i < 4; ++i) {
    address->ipAddress[i] = part != nullptr ? static_cast<uint8_t>(atoi(part)) : 0;
    if (part != nullptr && (part = strchr(part, '.')) != nullptr) ++part;
  }
}

void address_to_text(const IMA_IP_ADDRESS& address, char* text) {
  const uint8_t* a = address.ipAddress;
  if (address.ipv4Address == 1)
    snprintf(text, TAVO_VALUE_SIZE, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
  else
    IMA_copy_ipv6_addr(text, &address);
}

namespace {

// The address a text stands for in either family, false for a text that
// is no address.
bool address_bytes(const char* text, uint8_t out[16], int* family) {
  memset(out, 0, 16);
  for (const int f : {AF_INET, AF_INET6}) {
    if (inet_pton(f, text, out) == 1) {
      *family = f;
      return true;
    }
  }
  return false;
}

// A port text as the tree reads numbers (automatic base, a sign allowed);
// -1 for a text that is no port.
long port_number(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = strtol(text, &end, 0);
  if (end == text || *end != '\0' || errno != 0 || value < 0 || value > 65535) return -1;
  return value;
}

}  // namespace

bool same_portal(const char* address_a, const char* port_a, const char* address_b, const char* port_b) {
  const long a = port_number(port_a);
  if (a < 0 || a != port_number(port_b)) return false;
  if (same_text_nocase(address_a, address_b)) return true;
  uint8_t bytes_a[16], bytes_b[16];
  int family_a = 0, family_b = 0;
  return address_bytes(address_a, bytes_a, &family_a) && address_bytes(address_b, bytes_b, &family_b) &&
         family_a == family_b && memcmp(bytes_a, bytes_b, sizeof bytes_a) == 0;
}

uint32_t decimal(const char* text) { return static_cast<uint32_t>(strtoul(text, nullptr, 10)); }

bool same_text_nocase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

}  // namespace tavo::cvima

using namespace tavo::cvima;

extern "C" {

uint32_t GetTavoPropertyVal(uint32_t tag, const char* property, char* value) {
  if (property == nullptr || value == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(value, 0, TAVO_VALUE_SIZE);
  uint32_t ptag = 0;
  if (const uint32_t status = property_tag(tag, property, &ptag)) return status;
  return TAVO_get_property_val(tag, ptag, value, TAVO_VALUE_SIZE);
}

uint32_t GetTavoVal(uint32_t tag, const char* group, const char* property, char* value) {
  if (group == nullptr || property == nullptr || value == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  memset(value, 0, TAVO_VALUE_SIZE);
  uint32_t gtag = 0;
  if (const uint32_t status = group_tag(tag, group, &gtag)) return status;
  return GetTavoPropertyVal(gtag, property, value);
}

uint32_t SetTavoPropertyVal(uint32_t tag, const char* group, const char* property, const char* value) {
  if (group == nullptr || property == nullptr || value == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t gtag = 0;
  if (const uint32_t status = group_tag(tag, group, &gtag)) return status;
  return set_property(gtag, property, value);
}

uint32_t Tavo_Get_Child_Tags(uint32_t tag, const char* group, uint32_t* tags, uint32_t* count) {
  if (group == nullptr || tags == nullptr || count == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t numbers[TAVO_MAX_INSTANCES] = {};
  uint32_t found = 0;
  *count = 0;
  if (const uint32_t status = TAVO_get_valid_instances(tag, group, numbers, &found)) return status;
  if (found > TAVO_MAX_INSTANCES) found = TAVO_MAX_INSTANCES;
  for (uint32_t i = 0; i < found; ++i) {
    char name[TAVO_VALUE_SIZE];
    snprintf(name, sizeof name, "%s%u", group, numbers[i]);
    // A group gone between the two calls fails the list, not a hole in it.
    if (const uint32_t status = group_tag(tag, name, &tags[i])) return status;
  }
  *count = found;
  return 0;
}

uint32_t Tavo_Get_TargetPortal_Tags(const uint32_t* target_tags, uint32_t* portal_tags, uint32_t target_count,
                                    uint32_t* portal_count) {
  if (portal_tags == nullptr || portal_count == nullptr || (target_tags == nullptr && target_count > 0))
    return IMA_ERROR_INVALID_PARAMETER;
  *portal_count = 0;
  uint32_t total = 0;
  for (uint32_t t = 0; t < target_count; ++t) {
    Tags portals;
    if (const uint32_t status = child_tags(target_tags[t], "TargetPortal", &portals)) return status;
    if (portals.count > TAVO_MAX_INSTANCES - total) return IMA_ERROR_FAILED;
    memcpy(portal_tags + total, portals.tag, sizeof(uint32_t) * portals.count);
    total += portals.count;
  }
  *portal_count = total;
  return 0;
}

uint32_t Get_Target_tag(uint32_t tag, uint32_t* parent_tag) {
  return parent_tag != nullptr && parent_of(tag, parent_tag) == 0 ? 0 : 1;
}

IMA_STATUS Covert_Hex_To_Bin(IMA_BYTE* bytes, const char* text, int32_t length, int32_t max_bytes) {
  if (bytes == nullptr || text == nullptr) return IMA_ERROR_FAILED;
  for (int32_t made = 0, at = 0; made < max_bytes && length - at >= 2; ++made, at += 2)
    bytes[made] = hex_byte(text + at, 2);
  return IMA_STATUS_SUCCESS;
}

uint32_t IMA_copy_ipv6_addr(char* text, const IMA_IP_ADDRESS* address) {
  if (text == nullptr || address == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  const uint8_t* a = address->ipAddress;
  snprintf(text, TAVO_VALUE_SIZE,
           "%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x:%02x%02x", a[0], a[1], a[2], a[3],
           a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12], a[13], a[14], a[15]);
  return 0;
}

}  // extern "C"
