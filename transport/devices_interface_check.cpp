// Whether a host network interface is a physical function of the adapter
// family: its PCI address from ethtool, then the vendor (and rejected
// device) ID bytes in its lspci configuration dump.
#include <ctype.h>
#include <stdio.h>

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

// A PCI address as ethtool gives it, domain:bus:device.function
// ("0000:03:00.0"): the domain 4 to 8 hexadecimal digits, bus and device 2,
// function 0-7. Nothing else reaches lspci.
bool interface_check_well_formed(const std::string& a) {
  const size_t colon = a.find(':');
  if (colon < 4 || colon > 8 || a.size() != colon + 8) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const size_t at = i - colon;  // position after the domain
    const bool ok = i < colon ? isxdigit(static_cast<unsigned char>(a[i])) != 0
                    : at == 0 || at == 3 ? a[i] == ':'
                    : at == 6            ? a[i] == '.'
                    : at == 7            ? a[i] >= '0' && a[i] <= '7'
                                         : isxdigit(static_cast<unsigned char>(a[i])) != 0;
    if (!ok) return false;
  }
  return true;
}

// The bus address: the last line of ethtool's bus-info output, whole (with
// or without a final line feed; a NUL ends a line's text). False, as a line
// without text does, when there is none.
bool interface_check_read_address(const std::string& output, std::string* address) {
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    *address = line.substr(0, line.find('\0'));
    if (address->empty()) {
      pdebug(TAVO_LOG_BACKEND, 3, "strlen(buf) is zero\n");
      return false;
    }
    start = end + 1;
  }
  return !address->empty();
}

uint32_t interface_check_by_address(const std::string& bus_address) {
  if (interface_check_dump_holds(bus_address, interface_check_id_bytes(tavo::kVendorIds[0]))) return 0;
  // Any vendor but the family's second is no function of this adapter; of
  // the second vendor's functions one device ID is refused.
  if (interface_check_dump_holds(bus_address, interface_check_id_bytes(tavo::kVendorIds[1])) &&
      !interface_check_dump_holds(bus_address, interface_check_id_bytes(tavo::kRejectedDeviceId)))
    return 0;
  pdebug(TAVO_LOG_BACKEND, 3, "Given Interface name is not valid or not PF.\n");
  return 1;
}

}  // namespace

uint32_t TAVO_check_valid_interface(const char* interface_name) {
  // Names reach a shell: anything but a plain interface name is refused
  // before a command is built.
  if (!tavo::base::valid_shell_name(interface_name)) return 1;
  // The output is read straight from the command: no temporary file that a
  // planted link could turn against another file.
  const std::string cmd =
      "ethtool -i " + shell_quote(interface_name) + " 2> /dev/null | grep -a bus-info | cut -d\" \" -f2";
  pdebug(TAVO_LOG_BACKEND, 6, "cmd = %s\n", cmd.c_str());
  std::string output;
  tavo::platform::host().shell_output(cmd, &output);
  std::string bus_address;
  // No address (an interface ethtool does not know) is no adapter function.
  if (!interface_check_read_address(output, &bus_address) || !interface_check_well_formed(bus_address)) return 1;
  return interface_check_by_address(bus_address);
}
