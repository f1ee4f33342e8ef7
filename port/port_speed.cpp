// Port speed: the table of modes and speeds with their firmware codes,
// SetPortSpeed with its checks, and Mode, ConfiguredSpeed and
// DACCableLength read back from the firmware.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <iterator>

#include "base/validate.h"
#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"

using tavo::tree::next_instance;

const PortSpeedMode PortSpeedModeTable[] = {
    {"Default", "0", 0},
    {"Force", "1Gb", 2},
    {"Force", "10Gb", 1},
    {"Force", "40Gb", 14},
    {"Force", "100Mb", 12},
    {"Force", "10Mb", 13},
    {"Force", "20Gb", 19},
    {"Auto-Negotiate", "40Gb", 15},
    {"Auto-Negotiate", "10Gb", 3},
    {"Auto-Negotiate", "1Gb", 4},
    {"Auto-Negotiate", "100Mb", 5},
    {"Auto-Negotiate", "10Mb", 9},
    {"Auto-Negotiate", "10Gb/1Gb", 6},
    {"Auto-Negotiate", "1Gb/100Mb", 8},
    {"Auto-Negotiate", "10Gb/1Gb/100Mb", 7},
    {"Auto-Negotiate", "1Gb/100Mb/10Mb", 10},
    {"Auto-Negotiate", "100Mb/10Mb", 11},
    {"Auto-Negotiate", "40Gb/10Gb", 16},
    {"Auto-Negotiate", "40Gb/1Gb", 17},
    {"Auto-Negotiate", "40Gb/10Gb/1Gb", 18},
    {"Auto-Negotiate", "20Gb", 20},
    {"Auto-Negotiate", "20Gb/1Gb", 22},
    {"Auto-Negotiate", "20Gb/10Gb", 21},
    {"Auto-Negotiate", "20Gb/10Gb/1Gb", 23},
};
// The exported table's length.
static_assert(std::size(PortSpeedModeTable) == 24);

namespace {

constexpr uint32_t kNotSupportedVersion = 213;
constexpr uint32_t kSpeedRefused = 229;

// The row of a mode and speed (case ignored); null when none matches.
const PortSpeedMode* speed_row(const char* mode, const char* speed) {
  for (const PortSpeedMode& row : PortSpeedModeTable)
    if (strcasecmp(row.mode, mode) == 0 && strcasecmp(row.speed, speed) == 0) return &row;
  return nullptr;
}

// The row of a firmware code; null past the table.
const PortSpeedMode* speed_row_of(uint16_t code) {
  for (const PortSpeedMode& row : PortSpeedModeTable)
    if (row.mac_speed == code) return &row;
  return nullptr;
}

bool speed_forced(uint16_t code) {
  const PortSpeedMode* row = speed_row_of(code);
  return row != nullptr && strcmp(row->mode, "Force") == 0;
}

// Whether speed is one entry of a comma-separated list (case ignored);
// *entries counts the list's entries.
bool speed_listed(const char* list, const char* speed, int* entries) {
  *entries = 0;
  bool found = false;
  const size_t length = strlen(speed);
  for (const char* at = list; *at != '\0';) {
    const char* comma = strchr(at, ',');
    const size_t n = comma != nullptr ? static_cast<size_t>(comma - at) : strlen(at);
    if (n > 0) ++*entries;
    found |= n == length && n > 0 && strncasecmp(at, speed, n) == 0;
    at += n + (comma != nullptr ? 1 : 0);
  }
  return found;
}

uint32_t speed_store_all(TavoNode* port, const char* configured, const char* mode, const char* dac) {
  uint32_t r = 0;
  if (configured != nullptr) r |= set_prop_val(port, "ConfiguredSpeed", "%s", configured);
  r |= set_prop_val(port, "Mode", "%s", mode);
  r |= set_prop_val(port, "DACCableLength", "%s", dac);
  return r;
}

// What a SetPortSpeed call works with.
struct SpeedRequest {
  tavo::tree::HandlerContext c;  // the port's
  uint32_t path = TAVO_PORT_NO_FUNCTION;
  uint32_t generation = 0;
  const char* speed = "";
  const char* mode = "";
  const char* dac = "";
  char interface_type[TAVO_VALUE_SIZE] = "";
  char force_list[TAVO_VALUE_SIZE] = "";
  char an_list[TAVO_VALUE_SIZE] = "";
  char vnic[TAVO_VALUE_SIZE] = "";
};

// Steps 4 to 6: the port's current settings; 0 to go on, 240 when nothing
// would change, 1 on failure.
uint32_t speed_current(SpeedRequest* s) {
  // One read through the handler refreshes all three.
  char configured[TAVO_VALUE_SIZE] = "", mode[TAVO_VALUE_SIZE] = "", dac[TAVO_VALUE_SIZE] = "";
  char port_text[TAVO_VALUE_SIZE] = "";
  TavoNode* port = s->c.port_group;
  if (internal_get_property(port, "ConfiguredSpeed", configured) != 0) return 1;
  static const char* const kStored[] = {"Mode",       "DACCableLength",       "InterfaceType",
                                        "PortNumber", "ForceSpeedsSupported", "ANSpeedsSupported"};
  char* texts[] = {mode, dac, s->interface_type, port_text, s->force_list, s->an_list};
  for (size_t i = 0; i < sizeof kStored / sizeof kStored[0]; ++i) {
    TavoNode* n = internal_get_node(port, kStored[i], TAVO_KIND_PROPERTY);
    if (n == nullptr) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get %s node\n", "do_SetPortSpeed", kStored[i]);
      return 1;
    }
    snprintf(texts[i], TAVO_VALUE_SIZE, "%s", tavo::tree::property_record(n)->value);
  }
  if (strcasecmp(s->speed, configured) == 0 && strcasecmp(s->mode, mode) == 0 && strcasecmp(s->dac, dac) == 0)
    return 240;
  return 0;
}

// Steps 8 and 9: the vNIC state of the port's NIC function ("" when it has
// none or no vNIC group); false when it cannot be read.
bool speed_vnic_state(SpeedRequest* s) {
  s->vnic[0] = '\0';
  TavoNode* first = get_first_instance(s->c.controller, "NICPhysicalHBA");
  if (first == nullptr) return false;
  char port_text[8];
  snprintf(port_text, sizeof port_text, "%d", s->c.port);
  TavoNode* function = nullptr;
  for (TavoNode* fn = first; fn != nullptr && function == nullptr; fn = next_instance(fn)) {
    char text[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(fn, "PortNumber", text) != 0) return false;
    if (strcmp(text, port_text) == 0) function = fn;
  }
  if (s->generation == tavo::kGenerationGaltor) {
    snprintf(s->vnic, sizeof s->vnic, "False");
    return true;
  }
  TavoNode* vnic = internal_get_node(function, "vNIC", TAVO_KIND_GROUP);
  if (vnic == nullptr) return true;
  return s->generation != TAVO_GENERATION_UNREADABLE && tavo::port::nic_vnic_enabled(vnic, s->vnic);
}

// Steps 10 to 12: the speed against the PHY's lists; 0, or the status.
uint32_t speed_check(const SpeedRequest& s) {
  const bool force = strcasecmp(s.mode, "Force") == 0, autoneg = strcasecmp(s.mode, "Auto-Negotiate") == 0;
  if ((force || autoneg) && s.speed[0] == '\0') return 225;
  int entries = 0;
  if (force && strcasecmp(s.vnic, "False") == 0) {
    const bool listed = speed_listed(s.force_list, s.speed, &entries);
    if (entries == 0) return 1;
    if (!listed) return kSpeedRefused;
    static const char* const kForced[] = {"10Gb", "1Gb", "100Mb", "10Mb", "40Gb", "20Gb"};
    for (const char* f : kForced)
      if (strcasecmp(s.speed, f) == 0) return 0;
    return 223;
  }
  if (force && strcasecmp(s.vnic, "True") == 0) return strcasecmp(s.speed, "1Gb") == 0 ? 260 : 0;
  if (!autoneg) return 0;
  const bool listed = speed_listed(s.an_list, s.speed, &entries);
  if (entries == 0) return 1;
  if (listed) return 0;
  return entries > 1 && speed_row("Auto-Negotiate", s.speed) != nullptr ? 0 : kSpeedRefused;
}

uint32_t speed_send(const SpeedRequest& s) {
  // A pair the table does not know is refused rather than sent as Default.
  const PortSpeedMode* row = speed_row(s.mode, s.speed);
  if (row == nullptr) {
    tavo::port::port_status(kSpeedRefused);
    return 1;
  }
  tavo::PortSpeedRequest r{};
  r.phy_port = r.virtual_port = s.c.port;
  r.mac_speed = row->mac_speed;
  long long dac = 0;
  if ((strcasecmp(s.interface_type, "SFP_PLUS_10GB_TYPE") == 0 || strcasecmp(s.interface_type, "QSFP_TYPE") == 0) &&
      s.dac[0] != '\0' && tavo::base::parse_number(s.dac, &dac) == 0 && dac >= 0 && dac <= 0xFFFF)
    r.dac_cable_length = static_cast<uint16_t>(dac);
  const uint32_t status = ioctl_set_port_speed(s.c.number, &r, s.c.domain, s.c.port, s.path);
  if (status == 0) return 0;
  tavo::port::port_status(status == kSpeedRefused ? kSpeedRefused : 222);
  return 1;
}

}  // namespace

uint32_t do_SetPortSpeed(TavoNode* port, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  SpeedRequest s;
  if (params == nullptr || !tavo::port::port_context(port, &s.c) || s.c.port > 3) return 1;
  s.path = tavo::port::port_path(s.c);
  s.generation = get_cv_type(s.c.controller);
  if (s.generation == tavo::kGenerationCV2) {
    tavo::port::port_status(226);
    return 1;
  }
  s.mode = params + TAVO_VALUE_SIZE;
  s.speed = strcasecmp(s.mode, "Default") == 0 ? "0" : params;
  s.dac = params + 2 * TAVO_VALUE_SIZE;
  const uint32_t current = speed_current(&s);
  if (current == 240) {
    tavo::port::port_status(240);
    return 0;
  }
  if (current != 0) return 1;
  if (strcasecmp(s.interface_type, "SFP_PLUS_10GB_TYPE") == 0 && strcasecmp(s.mode, "Force") == 0 && s.dac[0] == '\0') {
    tavo::port::port_status(224);
    return 1;
  }
  if (!speed_vnic_state(&s)) return 1;
  if (const uint32_t refused = speed_check(s); refused != 0) {
    if (refused != 1) tavo::port::port_status(refused);
    return 1;
  }
  return speed_send(s);
}

uint32_t handle_get_link_speed_properties(TavoNode* property, char* buf, uint32_t) {
  tavo::tree::HandlerContext c;
  uint32_t generation = 0;
  if (!tavo::port::port_handler_begin(property, buf, &c, &generation)) return 1;
  if (generation == tavo::kGenerationCV2) {
    const uint32_t stored = speed_store_all(c.port_group, "N/A", "N/A", "N/A");
    tavo::port::answer_stored(property, buf);
    return stored;
  }
  tavo::LinkSpeedRecord r{};
  r.speed_code = c.port & tavo::kPortFieldMask;
  const uint32_t status = ioctl_get_link_speed(c.number, &r, c.domain, c.port, tavo::port::port_path(c));
  if (status == kNotSupportedVersion) {
    if (speed_store_all(c.port_group, "N/A", "N/A", "N/A") != 0) return 1;
    return tavo::port::answer_stored(property, buf);
  }
  if (status != 0) {
    tavo::port::port_status(230);
    return 1;
  }
  char dac[16];
  snprintf(dac, sizeof dac, "%d", r.dac_cable_length);
  const PortSpeedMode* row = speed_row_of(r.speed_code);
  const char* configured = row == nullptr ? nullptr : r.speed_code == 0 ? "All Supported Speeds" : row->speed;
  const char* mode = r.speed_code == 0 ? "Default" : speed_forced(r.speed_code) ? "Force" : "Auto-Negotiate";
  const uint32_t stored = speed_store_all(c.port_group, configured, mode, dac);
  tavo::port::answer_stored(property, buf);
  return stored;
}
