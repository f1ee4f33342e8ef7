// FCoELinkSpeed: the FCoE function's share of the port's link, from the
// link speed and the FCoE descriptor's bandwidth in the profile.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include "controller/controller.h"
#include "port/port_internal.h"
#include "transport/device_ids.h"
#include "transport/profile_records.h"

namespace {

constexpr uint64_t kLinkMb[] = {0, 10, 100, 1000, 10000, 20000, 25000, 40000, 100000};
constexpr uint64_t kGbHundredths = 100000;  // one Gb in hundredths of a Mb

// The share of a link of code k (1-8) at percent, as the property shows it.
void fcoe_share_text(uint32_t k, uint32_t percent, char out[TAVO_VALUE_SIZE]) {
  const uint64_t hundredths = kLinkMb[k] * percent;  // the share in hundredths of a Mb
  const bool whole_gb = hundredths % kGbHundredths == 0;
  if (k == 1 && hundredths % 100 != 0)
    snprintf(out, TAVO_VALUE_SIZE, "%.1fMb", static_cast<double>(hundredths) / 100.0);
  else if (k <= 2 || (k == 3 && !whole_gb) || (k < 8 && !whole_gb && hundredths <= kGbHundredths))
    snprintf(out, TAVO_VALUE_SIZE, "%dMb", static_cast<int>(hundredths / 100));
  else if (whole_gb || k == 8)
    snprintf(out, TAVO_VALUE_SIZE, "%dGb", static_cast<int>(hundredths / kGbHundredths));
  else
    snprintf(out, TAVO_VALUE_SIZE, "%.1fGb", static_cast<double>(hundredths) / kGbHundredths);
}

// The multi-channel type that decides which profile holds the FCoE
// bandwidth; false when it cannot be read.
bool fcoe_mc_type(const tavo::tree::HandlerContext& c, uint32_t generation, char out[TAVO_VALUE_SIZE]) {
  out[0] = '\0';
  if (generation == tavo::kGenerationCV3) {
    TavoNode* channels = internal_get_node(c.controller, "ChannelManagement", TAVO_KIND_GROUP);
    return channels != nullptr && tavo::port::read_management_type(channels, "CurrentManagementType", out) == 0;
  }
  if (generation == tavo::kGenerationMoravel) {
    char configured[TAVO_VALUE_SIZE] = "", reboot[TAVO_VALUE_SIZE] = "";
    return TAVO_get_mvk_mc_type(c.controller, c.port_group, out, configured, reboot) == 0;
  }
  return true;
}

// bw_max of the first FCoE descriptor of port p; 0 without one. false when
// the profile cannot be read.
bool fcoe_bandwidth(TavoNode* controller, const char* mc_type, uint32_t p, uint32_t* percent) {
  const bool active = strcasecmp(mc_type, "vNIC1") == 0 || strcasecmp(mc_type, "UFP") == 0;
  const tavo::controller::SharedProfile profile(
      tavo::controller::controller_profile(controller, active ? tavo::kProfileActive : tavo::kProfileConfigured, 0, 0));
  if (!profile) return false;
  *percent = 0;
  tavo::walk_profile_descriptors(
      reinterpret_cast<const uint8_t*>(profile.get()), sizeof(tavo::ProfileConfigBuffer),
      [&](const uint8_t* d, size_t length) {
        tavo::ProfileFcoeDescriptor fcoe;
        if (!tavo::read_profile_descriptor(d, length, tavo::kProfileFcoe, &fcoe) || (fcoe.link & 0x3F) != p)
          return true;
        *percent = fcoe.max_bandwidth;
        return false;
      });
  return true;
}

// Steps 5 to 8: the share of link code k on CV3, Moravel and others.
uint32_t fcoe_shared_speed(const tavo::tree::HandlerContext& c, uint32_t generation, uint32_t k,
                           char text[TAVO_VALUE_SIZE]) {
  char mc_type[TAVO_VALUE_SIZE];
  char port_text[TAVO_VALUE_SIZE] = "";
  if (!fcoe_mc_type(c, generation, mc_type) || internal_get_property(c.port_group, "PortNumber", port_text) != 0)
    return 1;
  const uint32_t p = static_cast<uint32_t>(strtoul(port_text, nullptr, 10));
  uint32_t percent = 0;
  if (!fcoe_bandwidth(c.controller, mc_type, p, &percent)) return 2;
  if (k > tavo::kMaxSpeedCode || percent == 0)
    snprintf(text, TAVO_VALUE_SIZE, "%s", tavo::port::link_speed_name(k));
  else
    fcoe_share_text(k, percent, text);
  return 0;
}

}  // namespace

uint32_t handle_FCoELinkSpeed(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (property == nullptr || buf == nullptr || !tavo::port::port_context(property, &c)) return 1;
  char wwpn[TAVO_VALUE_SIZE] = "";
  if (const uint32_t r = internal_get_property(c.port_group, "FCoEWWPN", wwpn); r != 0) return r;
  if (strcasecmp(wwpn, "00:00:00:00:00:00:00:00") == 0) return tavo::port::store_and_answer(property, "N/A", buf);
  tavo::LinkStatusRecord r;
  const uint32_t status = tavo::port::read_link_status(c.number, c.domain, c.port, tavo::port::port_path(c), 1, &r);
  if (status != 0) {
    tavo::port::port_status(93);
    return status;
  }
  const uint32_t k = r.speed_code;
  const uint32_t generation = get_cv_type(c.controller);
  char text[TAVO_VALUE_SIZE];
  if (k == 0 || generation == tavo::kGenerationCV2 || generation == tavo::kGenerationGaltor) {
    snprintf(text, sizeof text, "%s", tavo::port::link_speed_name(k));
  } else if (const uint32_t failed = fcoe_shared_speed(c, generation, k, text); failed != 0) {
    // Without a profile the stored text is still the answer.
    if (failed == 2) tavo::port::answer_stored(property, buf);
    return 1;
  }
  return tavo::port::store_and_answer(property, text, buf);
}
