// The NIC functions behind the NIC device: their PCI addresses from the
// driver's chip information and their host names from esx.conf.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/host.h"
#include "transport/device_layout.h"
#include "transport/devices.h"
#include "transport/glob.h"
#include "base/debug_log.h"
#include "base/library_lock.h"
#include "base/last_status.h"
#include "base/memory.h"

using tavo::NicChipInfo;
using tavo::NicChipEntry;
using tavo::kMaxNicChips;
using tavo::kMaxNicChipFunctions;
using tavo::kNicChipInfoRequest;

namespace {

constexpr size_t kNicInfoMaxNameLength = 9;

// The vmkname of the first line holding key: the text between the first two
// double quotes of the value (after the first '=', up to the next '=').
void nic_info_name_from_line(const char* line, char* name) {
  const char* value = strchr(line, '=');
  if (value == nullptr) return;
  ++value;
  const char* value_end = strchr(value, '=');
  if (value_end == nullptr) value_end = value + strlen(value);
  const char* open = static_cast<const char*>(memchr(value, '"', static_cast<size_t>(value_end - value)));
  if (open == nullptr) return;
  ++open;
  const char* close = static_cast<const char*>(memchr(open, '"', static_cast<size_t>(value_end - open)));
  if (close == nullptr) return;
  size_t n = static_cast<size_t>(close - open);
  if (n > kNicInfoMaxNameLength) n = kNicInfoMaxNameLength;
  memcpy(name, open, n);
  name[n] = '\0';
}

}  // namespace

int32_t ioctl_get_chipinfo(int32_t descriptor, uint8_t* reply) {
  TAVO_LIBRARY_LOCK;
  if (reply == nullptr || descriptor < 1 || descriptor > TAVO_MAX_FUNCTIONS) return 1;
  const int result =
      tavo::platform::host().device_ioctl(tavo_glob.nic_handles[descriptor - 1], kNicChipInfoRequest, reply);
  if (result < 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "ioctl_get_chipinfo failed\n");
    return 1;
  }
  return result;
}

int32_t enumerate_cv_nics(int32_t first) {
  TAVO_LIBRARY_LOCK;
  uint8_t raw[sizeof(NicChipInfo)] = {};
  const int32_t result = ioctl_get_chipinfo(1, raw);
  if (result != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "ioctl_get_chipinfo failed with status = %d\n", result);
    return 0;
  }
  NicChipInfo info;
  memcpy(&info, raw, sizeof info);
  int32_t index = first < 0 ? 0 : first;
  // Counts from the driver are clamped to what the reply and the table hold.
  const int chips = info.chip_count > kMaxNicChips ? kMaxNicChips : info.chip_count;
  for (int c = 0; c < chips; ++c) {
    const NicChipEntry chip = info.chips[c];
    const int functions = chip.function_count > kMaxNicChipFunctions ? kMaxNicChipFunctions : chip.function_count;
    for (int f = 0; f < functions && index < TAVO_MAX_FUNCTIONS; ++f, ++index) {
      NicFunctionRecord& rec = tavo_glob.nic_functions[index];
      rec.bus = chip.bus;
      rec.device = chip.device;
      rec.function = chip.functions[f];
    }
  }
  return index;
}

int32_t TAVO_get_interface_names(int32_t count, int32_t first) {
  TAVO_LIBRARY_LOCK;
  memset(tavo_glob.if_names, 0, sizeof tavo_glob.if_names);
  if (count > TAVO_MAX_FUNCTIONS) count = TAVO_MAX_FUNCTIONS;
  if (first < 0) first = 0;
  if (first >= count) return count;
  // esx.conf is read once for all functions, in the pieces a 100-byte line
  // buffer takes, and each function's key is looked for in that order.
  FILE* conf = tavo::platform::open_stream(tavo::platform::fixed_path("/etc/vmware/esx.conf"), "r");
  if (conf == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "Failed to open /etc/vmware/esx.conf\n");
    return 0;
  }
  std::vector<std::string> lines;
  char line[100];
  while (fgets(line, sizeof line, conf) != nullptr) {
    line[strcspn(line, "\n")] = '\0';
    lines.emplace_back(line);
  }
  fclose(conf);
  for (int32_t i = first; i < count; ++i) {
    const NicFunctionRecord& rec = tavo_glob.nic_functions[i];
    char key[64];
    snprintf(key, sizeof key, "%03d:%02d.%d/vmkname", rec.bus, rec.device, rec.function);
    for (const std::string& l : lines) {
      if (l.find(key) == std::string::npos) continue;
      nic_info_name_from_line(l.c_str(), tavo_glob.if_names[i]);
      break;
    }
    pdebug(TAVO_LOG_BACKEND, 6, "ifname = %s bus = 0x%x dev = 0x%x fun = 0x%x and i = %d\n", tavo_glob.if_names[i],
           rec.bus, rec.device, rec.function, i);
  }
  return count;
}
