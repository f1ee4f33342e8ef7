// Whether a host network interface is a physical function of the adapter
// family: its PCI address from ethtool, then the vendor (and rejected
// device) ID bytes in its lspci configuration dump.
#include <stdio.h>
#include <string.h>

#include <string>

#include "transport/device_ids.h"
#include "platform/host.h"
#include "transport/devices.h"
#include "base/shell_args.h"
#include "base/debug_log.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

using tavo::base::shell_quote;

int interface_check_exit_status(const std::string& command) {
  return (tavo::platform::host().shell(command) >> 8) & 255;
}

// The ID as its two bytes in little-endian order, as lspci -x shows them.
std::string interface_check_id_bytes(uint16_t id) {
  char text[8];
  snprintf(text, sizeof text, "%02x %02x", id & 0xFF, id >> 8);
  return text;
}

bool interface_check_dump_holds(const std::string& bus_address, const std::string& pattern) {
  const std::string cmd = "lspci -s " + shell_quote(bus_address) + " -x 2> /dev/null | grep -a 00: | grep -a \"" +
                          pattern + "\" > /dev/null 2>&1";
  return interface_check_exit_status(cmd) == 0;
}

// The last line of the temporary file, newline cut; empty when there is none.
bool interface_check_read_address(const std::string& path, std::string* address) {
  FILE* in = tavo::platform::open_stream(path, "r");
  if (in == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "Failed to Open file\n");
    return false;
  }
  char line[256];
  bool ok = true;
  while (fgets(line, sizeof line, in) != nullptr) {
    if (line[0] == '\0') {
      pdebug(TAVO_LOG_BACKEND, 3, "strlen(buf) is zero\n");
      ok = false;
      break;
    }
    line[strlen(line) - 1] = '\0';
    *address = line;
  }
  fclose(in);
  return ok;
}

uint32_t interface_check_by_address(const std::string& bus_address) {
  if (interface_check_dump_holds(bus_address, interface_check_id_bytes(tavo::kVendorIds[0]))) return 0;
  const char* rejected_pattern = "ff ff ff ff";
  std::string rejected;
  if (interface_check_dump_holds(bus_address, interface_check_id_bytes(tavo::kVendorIds[1]))) {
    rejected = interface_check_id_bytes(tavo::kRejectedDeviceId);
    rejected_pattern = rejected.c_str();
  }
  if (!interface_check_dump_holds(bus_address, rejected_pattern)) return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "Given Interface name is not valid or not PF.\n");
  return 1;
}

}  // namespace

uint32_t TAVO_check_valid_interface(const char* interface_name) {
  // Names reach a shell: anything but a plain interface name is refused
  // before a command is built.
  if (!tavo::base::valid_shell_name(interface_name)) return 1;
  char tmp[35];
  snprintf(tmp, sizeof tmp, "/tmp/ifname_%s", interface_name);
  const std::string path = tavo::platform::fixed_path(tmp);
  const std::string cmd = "ethtool -i " + shell_quote(interface_name) +
                          " 2> /dev/null | grep -a bus-info | cut -d\" \" -f2 > " + shell_quote(path);
  pdebug(TAVO_LOG_BACKEND, 6, "cmd = %s\n", cmd.c_str());
  tavo::platform::host().shell(cmd);
  std::string bus_address;
  const bool read = interface_check_read_address(path, &bus_address);
  // No address (an interface ethtool does not know) is no adapter function.
  const uint32_t result = read && tavo::base::valid_shell_name(bus_address.c_str())
                              ? interface_check_by_address(bus_address)
                              : 1;
  tavo::platform::host().unlink(path);
  return result;
}
