// Opening and closing the drivers' devices. iSCSI devices are packed in
// open order, so iSCSI function n is the n-th device that opened.
#include <fcntl.h>

#include <string>

#include "platform/host.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

using tavo::kIscsiDevicePrefix;
using tavo::kNicDevicePath;

namespace {

int32_t devices_open_clamp(int32_t count) {
  if (count < 0) return 0;
  return count > TAVO_MAX_FUNCTIONS ? TAVO_MAX_FUNCTIONS : count;
}

void devices_open_close_all(int32_t* handles, int32_t count) {
  TAVO_LIBRARY_LOCK;
  if (handles == nullptr) return;
  count = devices_open_clamp(count);
  for (int32_t i = 0; i < count; ++i) {
    if (handles[i] == -1) continue;
    tavo::platform::host().device_close(handles[i]);
    handles[i] = -1;
  }
}

}  // namespace

int32_t os_get_port_instances(int32_t* handles, int32_t count) {
  TAVO_LIBRARY_LOCK;
  if (handles == nullptr) return 0;
  count = devices_open_clamp(count);
  int32_t opened = 0;
  for (int32_t n = 0; n < count; ++n) {
    const std::string path = tavo::platform::fixed_path(kIscsiDevicePrefix + std::to_string(n));
    const int fd = tavo::platform::host().device_open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0) handles[opened++] = fd;
  }
  for (int32_t i = opened; i < count; ++i) handles[i] = -1;
  pdebug(TAVO_LOG_BACKEND, 5, "valid_hba = %d\n", opened);
  return opened;
}

void os_put_port_instances(int32_t* handles, int32_t count) { devices_open_close_all(handles, count); }

void os_put_nic_port_instances(int32_t* handles, int32_t count) { devices_open_close_all(handles, count); }

namespace tavo::transport {

int32_t list_nic_functions(int32_t* handles, int32_t count) {
  TAVO_LIBRARY_LOCK;
  if (handles == nullptr || devices_open_clamp(count) == 0) return 0;
  for (int32_t i = 0; i < devices_open_clamp(count); ++i) handles[i] = -1;
  const std::string path = tavo::platform::fixed_path(kNicDevicePath);
  const int fd = tavo::platform::host().device_open(path, O_RDWR);
  if (fd < 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "could not open device node %s\n", kNicDevicePath);
    return 0;
  }
  handles[0] = fd;
  return enumerate_cv_nics(0);
}

}  // namespace tavo::transport

int32_t os_get_nic_port_instances(int32_t* handles, int32_t count) {
  TAVO_LIBRARY_LOCK;
  int32_t found = tavo::transport::list_nic_functions(handles, count);
  if (found > 0 && TAVO_get_interface_names(found, 0) == 0) {
    tavo::platform::host().device_close(handles[0]);
    handles[0] = -1;
    found = 0;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "valid_hba = %d\n", found);
  return found;
}

uint32_t os_prepare_device_for_removal(void) { return 0; }
