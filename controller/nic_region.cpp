// The NIC region of a port's partition in flash ("/nicdata/Port%d/
// Partition%d/Region1"), read and written whole through the flash object
// commands (171/1, 172/1).
#include <stdio.h>
#include <string.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/mailbox.h"
#include "transport/object_records.h"

using tavo::NicRegionHeader;
using tavo::ObjectReadRequest;

namespace {

uint8_t* region_no_buffer() {
  tavo::controller::controller_status(31);
  return nullptr;
}

}  // namespace

uint8_t* TAVO_read_nic_region(uint32_t port_number, uint8_t domain, uint8_t phba_port, uint32_t name_port,
                              uint32_t partition) {
  auto request = tavo::base::counted_zeroed<ObjectReadRequest>();
  if (!request) return region_no_buffer();
  snprintf(request->name, sizeof request->name, tavo::kNicRegionName, static_cast<int>(name_port),
           static_cast<int>(partition));
  const uint32_t status = ioctl_common_read_object_version1(port_number, request.get(), sizeof(ObjectReadRequest),
                                                            domain, phba_port, TAVO_VIA_NIC);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: reading %s failed with status %d\n", __func__, request->name,
           static_cast<int>(status));
    return nullptr;
  }
  const uint32_t actual = request->length;
  if (actual == 0 || (request->offset & tavo::kObjectEndOfFile) == 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: eof not reached (actual length %u)\n", __func__, static_cast<unsigned>(actual));
    return nullptr;
  }
  // The region must lie in the answer and hold the records its header counts.
  NicRegionHeader header{};
  const uint8_t* data = reinterpret_cast<const uint8_t*>(request.get()) + tavo::kObjectReadData;
  if (actual <= tavo::kObjectReadRoom && actual >= sizeof header) memcpy(&header, data, sizeof header);
  if (actual > tavo::kObjectReadRoom || actual < sizeof header || header.length > actual - sizeof header) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: region of %u bytes with %u bytes of records refused\n", __func__,
           static_cast<unsigned>(actual), static_cast<unsigned>(header.length));
    return nullptr;
  }
  auto* region = static_cast<uint8_t*>(tavo_dmalloc(actual));
  if (region == nullptr) return region_no_buffer();
  memcpy(region, data, actual);
  return region;
}

uint32_t TAVO_write_nic_region(uint32_t port_number, uint8_t domain, uint8_t phba_port, uint32_t name_port,
                               uint32_t partition, const uint8_t* region) {
  if (region == nullptr) return 1;
  NicRegionHeader header;
  memcpy(&header, region, sizeof header);
  // Header and records go in one chunk.
  if (header.length > tavo::kObjectChunkMax - sizeof header) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: %u bytes of records do not fit one chunk\n", __func__,
           static_cast<unsigned>(header.length));
    return 1;
  }
  const uint32_t data_length = static_cast<uint32_t>(sizeof header) + header.length;
  const size_t request_length = header.length + size_t{132};
  auto request = tavo::base::counted_zeroed<uint8_t>(request_length);
  if (!request) {
    region_no_buffer();
    return 1;
  }
  const uint32_t word = data_length | tavo::kObjectEndOfFile;
  memcpy(request.get(), &word, sizeof word);
  snprintf(reinterpret_cast<char*>(request.get()) + offsetof(tavo::ObjectWriteRequest, name), tavo::kObjectNameSize,
           tavo::kNicRegionName, static_cast<int>(name_port), static_cast<int>(partition));
  memcpy(request.get() + offsetof(tavo::ObjectWriteRequest, data), region, data_length);
  const uint32_t status = ioctl_common_write_object_version1(
      port_number, request.get(), static_cast<uint16_t>(request_length), domain, phba_port, TAVO_VIA_NIC);
  uint32_t written;
  memcpy(&written, request.get(), sizeof written);
  pdebug(TAVO_LOG_BACKEND, 6, "%s: status %d, change status %d, actual length %u\n", __func__,
         static_cast<int>(status), request.get()[offsetof(tavo::ObjectWriteRequest, offset)],
         static_cast<unsigned>(written));
  return status;
}
