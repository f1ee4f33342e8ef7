// LLDP records into property texts, and an enable switched in an update.
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "port/record_texts.h"

namespace tavo::port {
namespace {

const char* enabled(uint8_t byte, uint8_t bit) { return (byte & bit) != 0 ? "Enabled" : "Disabled"; }

// A text field, never read past its end and at most 255 characters.
template <size_t N>
std::string_view field_text(const char (&field)[N]) {
  return {field, strnlen(field, std::min<size_t>(N, TAVO_VALUE_SIZE - 1))};
}

const char* chassis_type(uint32_t subtype) {
  static const char* const kTypes[] = {"Chassis Component", "Interface Alias", "Port Component", "MAC Address",
                                       "Network Address",   "Interface Name",  "Locally Assigned"};
  return subtype >= 1 && subtype <= 7 ? kTypes[subtype - 1] : "Unknown";
}

const char* port_type(uint32_t subtype) {
  static const char* const kTypes[] = {"Interface Alias", "Port Component",   "MAC Address",     "Network Address",
                                       "Interface Name",  "Agent Circuit Id", "Locally Assigned"};
  return subtype >= 1 && subtype <= 7 ? kTypes[subtype - 1] : "Unknown";
}

// The lowest capability bit set names the system.
const char* capability(uint32_t bits) {
  static const char* const kNames[] = {"Other", "Repeater", "Bridge", "WLAN", "Router", "Telephone", "Docsis", "Station"};
  for (int b = 0; b < 8; ++b)
    if ((bits >> b & 1) != 0) return kNames[b];
  return "Unknown";
}

// The enable properties of the local agent: its byte and bit.
struct Enable {
  const char* property;
  size_t byte;
  uint8_t bit;
};
constexpr Enable kEnables[] = {
    {"TxState", 0, kLldpTransmit},         {"RxState", 0, kLldpReceive},       {"PortDescriptionTLV", 1, 1},
    {"SystemNameTLV", 2, 1},               {"SystemDescriptionTLV", 3, 1},     {"SystemCapabilitiesTLV", 4, 1},
};

}  // namespace

void lldp_texts(bool local, const LldpConfigRecord& r, PropertyTexts* out) {
  if (local)
    for (const Enable& e : kEnables) out->put(e.property, enabled(r.enables[e.byte], e.bit));
  out->put("ChassisId", field_text(r.chassis_id));
  out->put("ChassisType", chassis_type(r.chassis_subtype));
  out->put("PortId", field_text(r.port_id));
  out->put("PortType", port_type(r.port_subtype));
  out->put("PortDescription", field_text(r.port_description));
  out->put("SystemName", field_text(r.system_name));
  out->put("SystemDescription", field_text(r.system_description));
  out->put("SystemCapabilities", capability(r.capabilities));
  out->put_decimal("TTL", static_cast<int>(r.ttl));
}

void lldp_stats_texts(const LldpStatsRecord& r, PropertyTexts* out) {
  out->put_decimal("TxPacketCount", static_cast<int>(r.tx_frames));
  out->put_decimal("RxPacketCount", static_cast<int>(r.rx_frames));
  out->put_decimal("UnrecognizedTLVs", static_cast<int>(r.unrecognized_tlvs));
  out->put_decimal("NumPacketsDropped", static_cast<int>(r.dropped));
  out->put_decimal("OrganizationalTLVCount", static_cast<int>(r.organizational_tlvs));
}

bool lldp_update(const LldpConfigRecord& answer, const char* property, const char* value, LldpConfigUpdate* out) {
  for (const Enable& e : kEnables) {
    if (property == nullptr || strcasecmp(property, e.property) != 0) continue;
    *out = LldpConfigUpdate{};
    memcpy(out->enables, answer.enables, sizeof out->enables);
    if (value != nullptr && strcasecmp(value, "Enabled") == 0)
      out->enables[e.byte] = static_cast<uint8_t>(out->enables[e.byte] | e.bit);
    else
      out->enables[e.byte] = static_cast<uint8_t>(out->enables[e.byte] & ~e.bit);
    return true;
  }
  return false;
}

}  // namespace tavo::port
