// The distribution of a Linux kernel release, by a table of release texts.
#include <string.h>
#include <sys/utsname.h>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/sysinfo.h"
#include "base/last_status.h"
#include "base/memory.h"

namespace {

struct DistributionRow {
  const char* release;
  int32_t code;
};

// Searched in order; the first row whose text the release contains wins.
constexpr DistributionRow kDistributionRows[] = {
    {"2.6.16.60-0.54.5", 5},  {"2.6.32.12-0.7.1.xs5", 9}, {"2.6.27.42-0.1", 9},  {"2.6.16.60-0.21", 7},
    {"2.6.32.12-0.7", 4},     {"2.6.16.60-0.81.1", 8},    {"2.6.16.60-0.85.1", 8}, {"2.6.18-164", 1},
    {"2.6.18-194", 2},        {"2.6.18-235", 6},          {"2.6.18-238", 6},     {"2.6.18-348", 12},
    {"2.6.32-71", 3},         {"2.6.32-125", 3},          {"2.6.32-131.0.5", 3}, {"2.6.32-131.0.15", 3},
    {"2.6.9-100", 11},        {"2.6.18-262", 10},         {"2.6.18-266", 10},    {"3.0.76-0", 13},
    {"2.6.18-371", 14},       {"3.0.13-0.27", 15},        {"2.6.39-400.206.0", 16}, {"3.8.13-58", 21},
    {"3.8.13-91", 22},        {"3.10.0+0", 18},           {"3.10.0+2", 18},      {"3.10.0", 17},
    {"2.6.32-358", 19},       {"4.1.12-61", 23},          {"4.4.0+1", 24},       {"3.12.28", 20},
    {"4.14.20-1", 25},
};
static_assert(sizeof kDistributionRows / sizeof kDistributionRows[0] == 33);

}  // namespace

int32_t find_os_distribution(void) {
  // The release comes from uname(2): no shell, no shared temporary file.
  struct utsname names = {};
  if (tavo::platform::host().uname(&names) != 0) {
    pdebug(TAVO_LOG_BACKEND, 5, "%s: %s not found\n", "find_os_distribution", "kernel release");
    return -1;
  }
  pdebug(TAVO_LOG_BACKEND, 5, "%s: str = %s\n", "find_os_distribution", names.release);
  int32_t row = 0;
  for (const auto& r : kDistributionRows) {
    pdebug(TAVO_LOG_BACKEND, 6, "%s:os_dist[%d].kernel_name = %s\n", "find_os_distribution", row++, r.release);
    if (strstr(names.release, r.release) != nullptr) return r.code;
  }
  return -1;
}
