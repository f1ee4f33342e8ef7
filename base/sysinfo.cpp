// What the host is: its name, ESX flavour, OS version and local time.
#include "base/sysinfo.h"

#include <string.h>
#include <time.h>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

constexpr int kSysinfoLine = 256;

struct SysinfoVersion {
  const char* text;
  uint32_t major;
  uint32_t minor;
};

// Tested in this order on each line.
constexpr SysinfoVersion kSysinfoVersions[] = {
    {"6.5", 6, 5}, {"6.0", 6, 0}, {"5.5", 5, 5}, {"5.1", 5, 1}, {"5.0", 5, 0}, {"4.0", 4, 0}, {"4.1", 4, 1},
};

}  // namespace

uint32_t TAVO_get_system_name(char* name) {
  if (name == nullptr) return 1;
  name[0] = '\0';
  if (tavo::platform::host().host_name(name, kSysinfoLine) != 0) name[0] = '\0';
  name[kSysinfoLine - 1] = '\0';
  return 0;
}

uint32_t TAVO_get_esx_version(void) {
  if (FILE* f = TAVO_file_open("/etc/issue.net", "r")) {
    char line[kSysinfoLine];
    bool esxi = false;
    while (!esxi && fgets(line, sizeof line, f) != nullptr) esxi = strstr(line, "ESXi") != nullptr;
    TAVO_file_close(f);
    if (esxi) return 2;
  }
  FILE* banner = TAVO_file_open("/etc/banner", "r");
  if (banner == nullptr) return 3;
  TAVO_file_close(banner);
  return 2;
}

uint32_t TAVO_get_os_info(uint32_t* major, uint32_t* minor, char* name) {
  FILE* f = TAVO_file_open("/etc/banner", "r");
  if (f == nullptr) f = TAVO_file_open("/etc/vmware-release", "r");
  if (f == nullptr) return 1;
  if (name != nullptr) snprintf(name, kSysinfoLine, "%s", "VMWare ESX Server");
  char line[kSysinfoLine];
  while (fgets(line, sizeof line, f) != nullptr) {
    for (const auto& v : kSysinfoVersions) {
      if (strstr(line, v.text) == nullptr) continue;
      if (major != nullptr) *major = v.major;
      if (minor != nullptr) *minor = v.minor;
      TAVO_file_close(f);
      return 0;
    }
  }
  TAVO_file_close(f);
  return 0;
}

uint32_t TAVO_get_system_time(uint16_t* month, uint16_t* year, uint16_t* hour, uint16_t* day, uint16_t* second,
                              uint16_t* minute, uint16_t*, int16_t* utc_bias) {
  time_t t = tavo::platform::host().now();
  struct tm local = {};
  struct tm utc = {};
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);
  utc.tm_isdst = -1;  // the platform decides, as for a local time
  time_t as_local = mktime(&local);
  time_t utc_as_local = mktime(&utc);
  int16_t bias = static_cast<int16_t>(static_cast<long>(difftime(as_local, utc_as_local)) / 60);
  if (utc_bias != nullptr) *utc_bias = bias;
  pdebug(TAVO_LOG_BACKEND, 6, "%s:utc_bias = %d\n", "TAVO_get_system_time", bias);

  t = tavo::platform::host().now();
  localtime_r(&t, &local);
  if (month != nullptr) *month = static_cast<uint16_t>(local.tm_mon + 1);
  if (year != nullptr) *year = static_cast<uint16_t>(local.tm_year + 1900);
  if (hour != nullptr) *hour = static_cast<uint16_t>(local.tm_hour);
  if (day != nullptr) *day = static_cast<uint16_t>(local.tm_mday);
  if (second != nullptr) *second = static_cast<uint16_t>(local.tm_sec);
  if (minute != nullptr) *minute = static_cast<uint16_t>(local.tm_min);
  return 0;
}
