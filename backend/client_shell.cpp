// Client operations that ask the host's shell tools: the PCI address of a
// NIC function's interface, the adapter's iSCSI PCI functions, and which
// NIC driver the host runs. Every word from outside is checked or quoted,
// and output is read straight from the command, never from a file.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "backend/backend.h"
#include "base/shell_args.h"
#include "platform/host.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "tree/api_guard.h"

namespace {

using tavo::base::shell_quote;

// PCI addresses kept per iSCSI function: "dddd:bb:dd.f" and its NUL.
constexpr size_t kMaxPciIdLength = sizeof tavo_glob.iscsi_pci_ids[0] - 1;

int shell_exit_status(int wait_status) { return wait_status < 0 ? -1 : (wait_status >> 8) & 255; }

bool shell_hex(const std::string& text, unsigned long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = strtoul(text.c_str(), &end, 16);
  return *end == '\0';
}

// "[domain:]bus:device.function" into its numbers; false for anything else.
bool shell_parse_bus_info(const std::string& line, unsigned long* domain, bool* has_domain, unsigned long* bus,
                          unsigned long* function) {
  const size_t colons = static_cast<size_t>(std::count(line.begin(), line.end(), ':'));
  if (colons < 1 || colons > 2) return false;
  std::string rest = line;
  *has_domain = colons == 2;
  if (*has_domain) {
    if (!shell_hex(rest.substr(0, rest.find(':')), domain)) return false;
    rest = rest.substr(rest.find(':') + 1);
  }
  const size_t colon = rest.find(':'), point = rest.find('.', colon);
  if (point == std::string::npos) return false;
  unsigned long device = 0;
  return shell_hex(rest.substr(0, colon), bus) && shell_hex(rest.substr(colon + 1, point - colon - 1), &device) &&
         shell_hex(rest.substr(point + 1), function);
}

}  // namespace

uint32_t TAVO_backend_client_nic_bdf(uint32_t function_number, char* bus, char* pci_function, uint32_t* domain) {
  TAVO_API_GUARD;
  if (bus == nullptr || pci_function == nullptr) return 1;
  if (function_number < 1 || function_number > TAVO_MAX_FUNCTIONS) return 0;
  // Interface names come from esx.conf: anything but a plain name runs no
  // command.
  const char* name = tavo_glob.if_names[function_number - 1];
  if (!tavo::base::valid_shell_name(name)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Invalid interface name for function %u.\n", __func__, function_number);
    return 0;
  }
  std::string output;
  const std::string command =
      "ethtool -i " + shell_quote(name) + " 2>/dev/null | grep bus-info | cut -d\" \" -f2";
  tavo::platform::host().shell_output(command, &output);
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long domain_value = 0, bus_value = 0, function_value = 0;
    bool has_domain = false;
    if (!shell_parse_bus_info(line, &domain_value, &has_domain, &bus_value, &function_value)) continue;
    if (has_domain && domain != nullptr) *domain = static_cast<uint32_t>(domain_value);
    snprintf(bus, TAVO_VALUE_SIZE, "0x%lx", bus_value);
    snprintf(pci_function, TAVO_VALUE_SIZE, "0x%lx", function_value);
  }
  return 0;
}

// At most the table's 128 addresses are kept; a line too long for its
// entry is no address of ours and is passed over.
uint32_t TAVO_get_all_iscsi_devices(void) {
  TAVO_API_GUARD;
  uint32_t count = 0;
  for (uint16_t vendor : tavo::kVendorIds) {
    for (uint16_t device : tavo::kIscsiDeviceIds) {
      char ids[16];
      snprintf(ids, sizeof ids, "%04x:%04x", vendor, device);
      std::string output;
      const std::string command = "lspci -D -d " + std::string(ids) + " 2> /dev/null | cut -d \" \" -f1 2> /dev/null";
      if (shell_exit_status(tavo::platform::host().shell_output(command, &output)) != 0) continue;
      std::istringstream lines(output);
      std::string line;
      while (std::getline(lines, line) && count < TAVO_MAX_FUNCTIONS) {
        if (line.empty() || line.size() > kMaxPciIdLength) continue;
        snprintf(tavo_glob.iscsi_pci_ids[count++], sizeof tavo_glob.iscsi_pci_ids[0], "%s", line.c_str());
      }
    }
  }
  return count;
}

void TAVO_get_nic_driver_type(void) {
  TAVO_API_GUARD;
  const int status = tavo::platform::host().shell(
      "modinfo cv2net 2> /dev/null | grep \"supported:\" | grep \"external\" > /dev/null");
  if (shell_exit_status(status) == 1) TAVO_NIC_INBOX_DRIVER_LOADED = 1;
}
