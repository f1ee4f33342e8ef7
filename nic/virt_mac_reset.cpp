// The return of every configured partition to its factory MAC addresses:
// each ConfiguredProfile Function's NIC region, read, patched and written
// back whole.
#include <string.h>

#include "base/memory.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "nic/nic.h"
#include "transport/object_records.h"

using tavo::NicRegionHeader;
using tavo::NicRegionMac;
using tavo::NicRegionRecord;
using tavo::tree::next_instance;

namespace {

// Puts the factory MAC into every MAC record (types 32-34) long enough to
// hold one. The walk never leaves the records the header counts.
void region_patch_macs(uint8_t* region, const uint8_t factory[6]) {
  NicRegionHeader header;
  memcpy(&header, region, sizeof header);
  const size_t end = sizeof header + header.length;
  size_t at = sizeof header;
  while (end - at >= sizeof(NicRegionRecord)) {
    NicRegionRecord record;
    memcpy(&record, region + at, sizeof record);
    const size_t value_at = at + sizeof record;
    if (record.length > end - value_at) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: record of type %d runs past the region\n", __func__, record.type);
      return;
    }
    if (record.type >= tavo::kRegionNicMac && record.type <= tavo::kRegionFcoeMac) {
      NicRegionMac mac;
      if (record.length < sizeof mac) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s: MAC record of type %d too short\n", __func__, record.type);
      } else {
        memcpy(&mac, region + value_at, sizeof mac);
        const uint8_t* m = mac.mac;
        pdebug(TAVO_LOG_BACKEND, 6, "%s: type %d MAC %02x-%02x-%02x-%02x-%02x-%02x\n", __func__, record.type, m[0],
               m[1], m[2], m[3], m[4], m[5]);
        if (memcmp(mac.mac, factory, sizeof mac.mac) != 0) {
          mac.replaced = 1;
          memcpy(mac.mac, factory, sizeof mac.mac);
          memcpy(region + value_at, &mac, sizeof mac);
        } else {
          pdebug(TAVO_LOG_BACKEND, 6, "%s: type %d already holds the factory MAC\n", __func__, record.type);
        }
      }
    }
    at = value_at + record.length;
  }
}

// The factory MAC of a ConfiguredProfile Function, read through this
// branch's own property; 0, 1 when it could not be read, 2 when it is no
// MAC.
int region_factory_mac(TavoNode* function, uint8_t mac[6]) {
  char text[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(function, "MACAddress", text) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: failed to read the MACAddress of Function%d\n", __func__,
           tavo::tree::instance_number(function));
    return 1;
  }
  if (validateMACAddress(text, mac) != 1) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: invalid MAC address %s\n", __func__, text);
    return 2;
  }
  return 0;
}

}  // namespace

uint32_t TAVO_reset_virt_mac(TavoNode* controller, uint32_t skip_first) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  const tavo::tree::HandlerContext nic = tavo::tree::handler_context(get_first_instance(controller, "NICPhysicalHBA"));
  if (!nic) return 1;
  TavoNode* profiles = internal_get_node(controller, "ProfileManagement", TAVO_KIND_GROUP);
  TavoNode* configured = internal_get_node(profiles, "ConfiguredProfile", TAVO_KIND_GROUP);
  TavoNode* first_port = get_first_instance(configured, "Port");
  if (first_port == nullptr) return 1;
  // Every partition is tried; one that failed makes the whole answer 1.
  tavo::controller::FirstFailure first;
  for (TavoNode* port = first_port; port != nullptr; port = next_instance(port)) {
    const auto name_port = static_cast<uint32_t>(tavo::tree::instance_number(port));
    TavoNode* first_function = get_first_instance(port, "Function");
    if (first_function == nullptr) return 1;
    for (TavoNode* function = first_function; function != nullptr; function = next_instance(function)) {
      const int32_t k = tavo::tree::instance_number(function);
      if (skip_first == 1 && k == 0) continue;
      uint8_t factory[6];
      const int mac = region_factory_mac(function, factory);
      if (mac != 0) {
        first.note(mac == 1 ? 1 : 0);
        continue;
      }
      const auto partition = static_cast<uint32_t>(k + 1);
      tavo::base::Counted<uint8_t> region(TAVO_read_nic_region(nic.number, nic.domain, nic.port, name_port, partition));
      NicRegionHeader header{};
      if (region) memcpy(&header, region.get(), sizeof header);
      if (!region || header.length == 0) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s: no NIC region for port %u partition %u\n", __func__,
               static_cast<unsigned>(name_port), static_cast<unsigned>(partition));
        continue;
      }
      region_patch_macs(region.get(), factory);
      if (TAVO_write_nic_region(nic.number, nic.domain, nic.port, name_port, partition, region.get()) != 0) {
        pdebug(TAVO_LOG_BACKEND, 3, "%s: writing the NIC region of port %u partition %u failed\n", __func__,
               static_cast<unsigned>(name_port), static_cast<unsigned>(partition));
        first.note(1);
      }
    }
  }
  return first.finish();
}
