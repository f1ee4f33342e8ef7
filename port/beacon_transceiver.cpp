// The port's beacon (BeaconState, Beacon) and its transceiver pages
// (DumpTransceiverData, handed back as text through the last status).
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "port/port_internal.h"
#include "transport/commands.h"
#include "transport/glob.h"

namespace {

constexpr uint32_t kNotSupported = 149;
constexpr uint32_t kAlreadyActive = 236;
constexpr uint32_t kDumpText = 60;

// A duration as the tree validated it (automatic base, 0-255); an empty
// text is 0.
bool beacon_seconds(const char* text, uint8_t* out) {
  long long v = 0;
  if (text[0] != '\0' && (tavo::base::parse_number(text, &v) != 0 || v < 0 || v > 255)) return false;
  *out = static_cast<uint8_t>(v);
  return true;
}

}  // namespace

uint32_t handle_BeaconState(TavoNode* property, char* buf, uint32_t op) {
  if (op != TAVO_PROPERTY_GET && op != TAVO_PROPERTY_SET) return 0;
  tavo::tree::HandlerContext c;
  if (!tavo::port::port_handler_begin(property, buf, &c, nullptr)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::BeaconRecord r{};
  r.port = c.port;
  const uint32_t status = ioctl_get_beacon_state(c.number, &r, c.domain, c.port, path);
  const char* state = r.port == 1 ? "Enabled" : "Disabled";
  if (status == kNotSupported) {
    state = "Not Supported";
  } else if (status != 0) {
    tavo::port::port_status(120);
    return 1;
  }
  return tavo::port::store_and_answer(property, state, buf);
}

uint32_t do_Beacon(TavoNode* port, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || !tavo::port::port_context(port, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  char current[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(c.port_group, "BeaconState", current) != 0) return 1;
  if (strcasecmp(current, "Not Supported") == 0) {
    tavo::port::port_status(150);
    return 1;
  }
  const char* beacon = params;
  const char* status_duration = params + TAVO_VALUE_SIZE;
  const char* requested = params + 2 * TAVO_VALUE_SIZE;
  const bool enable = strcasecmp(requested, "Enabled") == 0;
  if (!enable && strcasecmp(current, "Disabled") == 0 && strcasecmp(requested, "Disabled") == 0) {
    tavo::port::port_status(244);
    return 0;
  }
  if (enable && (beacon[0] == '\0' || status_duration[0] == '\0')) {
    tavo::port::port_status(134);
    return 1;
  }
  tavo::BeaconRecord r{};
  r.port = c.port;
  r.state = enable ? 1 : 0;
  if (!beacon_seconds(beacon, &r.beacon_duration) || !beacon_seconds(status_duration, &r.status_duration)) {
    tavo::port::kDurationsInvalid.set();
    return 1;
  }
  const uint32_t status = ioctl_set_beacon_state(c.number, &r, c.domain, c.port, path);
  if (status == 0) return 0;
  tavo::port::port_status(status == kAlreadyActive ? kAlreadyActive : status == kNotSupported ? kNotSupported : 119);
  return 1;
}

uint32_t do_DumpTransceiverData(TavoNode* port, TavoNode*, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  tavo::tree::HandlerContext c;
  if (params == nullptr || !tavo::port::port_context(port, &c)) return 1;
  const uint32_t path = tavo::port::port_path(c);
  tavo::TransceiverRecord r{};
  r.wire_address = strcasecmp(params, "A0") == 0 ? tavo::kTransceiverA0 : tavo::kTransceiverA2;
  r.port = c.port & tavo::kPortFieldMask;
  const uint32_t status = ioctl_galtor_read_trans_recv(c.number, &r, c.domain, c.port, path);
  if (status != 0) {
    tavo::port::port_status(status == kNotSupported ? 191 : 64);
    return 1;
  }
  // 64 words of eight digits and a blank, sixteen to a line.
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  size_t at = 0;
  for (size_t w = 0; w < tavo::kTransceiverPageSize / 4; ++w) {
    uint32_t word;
    memcpy(&word, r.data + 4 * w, sizeof word);
    if (w > 0 && w % 16 == 0) text[at++] = '\n';
    at += static_cast<size_t>(snprintf(text + at, sizeof text - at, "%08x ", word));
  }
  tavo_set_last_status(kDumpText, text);
  return 0;
}
