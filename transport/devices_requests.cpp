// Device requests that are not mailbox commands: the NIC driver's VF table,
// MTU data and PCI configuration reads, and the iSCSI driver's vmhba name.
// Every NIC request is preceded by the NIC-count check of the refresh and
// followed by closing the NIC device.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

#include "platform/host.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/firmware_records.h"
#include "transport/nic_set_check.h"
#include "transport/status_map.h"
#include "transport/glob_access.h"
#include "tavo/tavo.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

using tavo::NicCharInfo;
using tavo::PciConfigRequest;
using tavo::kPciConfigSpaceSize;
using tavo::kPciConfigDataOffset;
using tavo::kNicPciConfigRequest;
using tavo::kNicVfTableRequest;
using tavo::kNicMtuRequest;
using tavo::kNicVfCountOffset;
using tavo::kMaxNicVfEntries;
using tavo::kVmhbaNameSize;
using tavo::kIscsiVmhbaNameRequest;

namespace {

constexpr int kRequestsRebuilt = -2;
constexpr size_t kPciConfigBufferSize = 1039;
constexpr size_t kPciConfigMaxData = std::min<size_t>(kPciConfigSpaceSize, kPciConfigBufferSize - kPciConfigDataOffset);

// Sends request on the NIC device opened by the refresh and closes it
// again; kRequestsRebuilt when the tree is being rebuilt (nothing sent).
int requests_nic_send(unsigned long request, void* record) {
  if (tavo::transport::check_nic_function_set() != 0) return kRequestsRebuilt;
  const int result = tavo::platform::host().device_ioctl(tavo_glob.nic_handles[0], request, record);
  os_put_nic_port_instances(tavo_glob.nic_handles, TAVO_MAX_FUNCTIONS);
  return result;
}

// Requests 4 and 7: the 980-byte record with the function's address.
int requests_char_info(uint32_t nic_function, unsigned long request, uint8_t* answer, NicCharInfo* info) {
  memset(info, 0, sizeof *info);
  const NicFunctionRecord& rec = tavo_glob.nic_functions[nic_function - 1];
  info->bus = rec.bus;
  info->device = rec.device;
  info->function = rec.function;
  const int result = requests_nic_send(request, info);
  if (result == 0) memcpy(answer, info->answer, sizeof info->answer);
  return result;
}

// Request 8 into a cleared buffer; answers the number of data bytes that may
// be read from the buffer's data area, or -1. Whatever length the driver
// answers, no more than the configuration space and the data area are read.
int requests_pci_config(uint32_t nic_function, uint32_t offset, uint32_t length, uint8_t* buffer) {
  // The driver reads the data's address from a 32-bit field: an address
  // that does not fit (a 64-bit process) would send it somewhere else.
  const uintptr_t data_address = reinterpret_cast<uintptr_t>(buffer + kPciConfigDataOffset);
  if (static_cast<uintptr_t>(static_cast<uint32_t>(data_address)) != data_address) {
    pdebug(TAVO_LOG_BACKEND, 3, "PCI configuration data address %p does not fit 32 bits: request not sent\n",
           static_cast<void*>(buffer + kPciConfigDataOffset));
    tavo::transport::kPciAddressRefused.set();
    return -1;
  }
  const NicFunctionRecord& rec = tavo_glob.nic_functions[nic_function - 1];
  PciConfigRequest req;
  req.bus = rec.bus;
  req.device = rec.device;
  req.function = rec.function;
  req.offset = offset;
  req.data_length = static_cast<uint32_t>(std::min<size_t>(length, kPciConfigMaxData));
  req.address = static_cast<uint32_t>(data_address);
  memcpy(buffer, &req, sizeof req);
  pdebug(TAVO_LOG_BACKEND, 6,
         "Before sending ioctl, offset = %d,data_length = %d, pci_conf_params.pci_data = %d,%d,%d\n",
         static_cast<int>(offset), static_cast<int>(req.data_length), rec.bus, rec.device, rec.function);
  const int result = requests_nic_send(kNicPciConfigRequest, buffer);
  if (result == kRequestsRebuilt) return -1;
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "status = %d Unable to process command\n", result);
    return -1;
  }
  memcpy(&req, buffer, sizeof req);
  return static_cast<int>(std::min<size_t>(req.data_length, kPciConfigMaxData));
}

}  // namespace

uint32_t ioctl_get_virt_f_info(uint32_t nic_function, uint8_t* answer, uint32_t* vf_count) {
  TAVO_LIBRARY_LOCK;
  if (answer == nullptr || vf_count == nullptr || !tavo::transport::valid_nic_function(nic_function)) return 1;
  NicCharInfo info;
  const int result = requests_char_info(nic_function, kNicVfTableRequest, answer, &info);
  if (result == kRequestsRebuilt) return 1;
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "status = %d Unable to process command\n", result);
    return 1;
  }
  const uint8_t reported = answer[kNicVfCountOffset - offsetof(NicCharInfo, answer)];
  *vf_count = std::min<uint32_t>(reported, kMaxNicVfEntries);
  pdebug(TAVO_LOG_BACKEND, 6, "char_info.dinfo.vf_table.number_vfs = %d\n", reported);
  return 0;
}

uint32_t ioctl_get_mtu(uint32_t nic_function, uint8_t* answer) {
  TAVO_LIBRARY_LOCK;
  if (answer == nullptr || !tavo::transport::valid_nic_function(nic_function)) return 1;
  NicCharInfo info;
  return requests_char_info(nic_function, kNicMtuRequest, answer, &info) == 0 ? 0 : 1;
}

uint32_t ioctl_galtor_read_pci_conf(uint32_t nic_function, uint8_t domain, uint8_t port_number, uint32_t* value) {
  TAVO_LIBRARY_LOCK;
  (void)domain;
  (void)port_number;
  if (value == nullptr || !tavo::transport::valid_nic_function(nic_function)) return 1;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kPciConfigBufferSize]());
  if (!buffer) return 1;
  const int n = requests_pci_config(nic_function, tavo::kGaltorPcieLinkWordOffset, sizeof *value, buffer.get());
  if (n < 0) return 1;
  uint32_t word = 0;
  memcpy(&word, buffer.get() + kPciConfigDataOffset, sizeof word);
  *value = word;
  return 0;
}

uint32_t TAVO_get_galtor_pci_data(uint32_t nic_function, uint32_t offset, uint32_t length, char* text) {
  TAVO_LIBRARY_LOCK;
  if (text == nullptr || !tavo::transport::valid_nic_function(nic_function)) return 1;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kPciConfigBufferSize]());
  if (!buffer) {
    pdebug(TAVO_LOG_BACKEND, 3, "memory allocation failed\n");
    return 1;
  }
  if (requests_pci_config(nic_function, offset, length, buffer.get()) < 0) return 1;
  const size_t shown = std::min<size_t>(length, kPciConfigSpaceSize);
  char out[3 * kPciConfigSpaceSize + kPciConfigSpaceSize / 16 + 1];
  size_t used = 0;
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0 && i % 16 == 0) out[used++] = '\n';
    used += static_cast<size_t>(
        snprintf(out + used, sizeof out - used, "%02x ", buffer[kPciConfigDataOffset + i]));
  }
  out[used] = '\0';
  snprintf(text, 600, "%.599s", out);
  return 0;
}

uint32_t ioctl_get_vmhba_name(uint32_t iscsi_function, char* name) {
  TAVO_LIBRARY_LOCK;
  if (name == nullptr || !tavo::transport::valid_iscsi_function(iscsi_function)) return 1;
  char area[kVmhbaNameSize] = {};
  const int result = tavo::platform::host().device_ioctl(tavo_glob.iscsi_handles[iscsi_function - 1],
                                                         kIscsiVmhbaNameRequest, area);
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "ioctl failed with status = %d\n", result);
    return 1;
  }
  area[kVmhbaNameSize - 1] = '\0';
  memcpy(name, area, kVmhbaNameSize);
  return 0;
}
