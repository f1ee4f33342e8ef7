// Arbitrary DCBX and LLDP records through the decoders that turn them into
// property texts, and arbitrary values through the settings that turn them
// into write requests. Every text ends inside its field, a bitmap shown
// reads back as the bits it came from, and a request changes nothing but
// its setting. In memory: no tree, no simulator.
//
// Input: byte 0 picks the instance and setting; byte 1 the value's length
// (mod 32), then the value; the rest is the record, zero-padded.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string>

#include "port/record_texts.h"

namespace {

using tavo::port::PropertyTexts;

void check_texts(const PropertyTexts& t) {
  if (t.count < 0 || t.count > PropertyTexts::kMax) abort();
  for (int i = 0; i < t.count; ++i)
    if (t.items[i].name == nullptr || strnlen(t.items[i].text, sizeof t.items[i].text) >= sizeof t.items[i].text)
      abort();
}

const char* text_of(const PropertyTexts& t, const char* name) {
  for (int i = 0; i < t.count; ++i)
    if (strcmp(t.items[i].name, name) == 0) return t.items[i].text;
  return nullptr;
}

// A bitmap text ("0x%02x") reads back as the bits.
void check_bitmap(const PropertyTexts& t, const char* name, uint8_t bits) {
  const char* text = text_of(t, name);
  if (text == nullptr || strcmp(text, "N/A") == 0) return;
  if (strtoul(text, nullptr, 16) != bits) abort();
}

void decode_dcbx(const tavo::DcbxConfigRecordV1& r, uint8_t pick) {
  static const char* const kGroups[] = {
      "DCBXPortVars",          "AdministratorPFCSetting", "PeerPFCSetting",         "OperationalPFCSettings",
      "AdministratorPGSetting", "PeerPGSetting",          "OperationalPGSettings",  "PG",
      "AdministratorTLVSetting", "PeerTLVSetting",        "OperationalTLVSettings", "ApplicationTLV",
      "NoSuchGroup"};
  const int32_t instance = static_cast<int8_t>(pick) % 17;
  for (const char* g : kGroups) {
    PropertyTexts t;
    tavo::port::dcbx_view_texts(g, instance, r.base, &t);
    check_texts(t);
    if (strcmp(g, "AdministratorPFCSetting") == 0) check_bitmap(t, "PriorityBitMap", tavo::priority_bitmap(r.base.pfc_enable));
    if (strcmp(g, "ApplicationTLV") == 0 && instance >= 0 && instance < tavo::kDcbxApplicationSlots)
      check_bitmap(t, "PriorityBitMap", tavo::priority_bitmap(r.base.applications[instance].priority_enable));
  }
  for (const char* g : {"AdministratorQCNSetting", "PeerQCNSetting", "OperationalQCNSettings", "PG"}) {
    PropertyTexts t;
    tavo::port::qcn_view_texts(g, r, &t);
    check_texts(t);
    check_bitmap(t, "CNPVBitMap", r.cnpv_bitmap);
  }
  tavo::DcbxMibRecord mib;
  tavo::GaltorDcbxMibRecord galtor;
  memcpy(&mib, &r, sizeof mib);
  memcpy(&galtor, &r, sizeof galtor);
  PropertyTexts vars, stats;
  tavo::port::dcbx_mib_texts(mib, &vars, &stats);
  tavo::port::dcbx_mib_texts(galtor, &vars, &stats);
  check_texts(vars);
  check_texts(stats);
}

// The bytes a setting may change: [from, to) and, for the memberships,
// byte 0 of each entry only.
struct Setting {
  const char* property;
  const char* group;
  size_t from, to;
};
constexpr size_t kMembership = offsetof(tavo::DcbxConfigRecord, pg_membership);
constexpr Setting kSettings[] = {
    {"DCBXState", "DCBXPortVars", 0, 1},
    {"Willing", "AdministratorPFCSetting", 8, 12},
    {"Enabled", "AdministratorPGSetting", 4, 8},
    {"Advertise", "AdministratorTLVSetting", 16, 20},
    {"PriorityBitMap", "AdministratorPFCSetting", 64, 72},
    {"PG15PriorityMemberShip", "AdministratorPGSetting", kMembership, kMembership + 32},
    {"PriorityBitMap", "ApplicationTLV", 72, 312},
    {"Enabled", "PeerPGSetting", 0, 0},
};

void apply_settings(const tavo::DcbxConfigRecordV1& answer, uint8_t pick, const char* value) {
  const tavo::DcbxConfigRecord base = tavo::port::dcbx_write_request(answer.base);
  const auto* b = reinterpret_cast<const uint8_t*>(&base);
  // Bytes 2, 3, the QCN flags and offset 20 go out as zero.
  for (size_t i : {2, 3, 12, 13, 14, 15, 20, 21, 22, 23})
    if (b[i] != 0) abort();
  const int32_t instance = pick % 16;
  for (const Setting& s : kSettings) {
    tavo::DcbxConfigRecord request = base;
    const uint32_t status = tavo::port::dcbx_apply_setting(s.property, s.group, instance, value, &request);
    // The bytes it may change put back as they were, the request must be
    // the base again: one comparison, not one per byte.
    auto* after = reinterpret_cast<uint8_t*>(&request);
    if (status == 0)
      for (size_t i = s.from; i < s.to; i += s.from == kMembership ? 4 : 1)
        if (s.from != 72 || (i - 72) / 16 == static_cast<size_t>(instance)) after[i] = b[i];
    if (memcmp(after, b, sizeof request) != 0) abort();
  }
  tavo::DcbxConfigRecordV1 v1 = tavo::port::dcbx_write_request(answer);
  const tavo::DcbxConfigRecordV1 before = v1;
  const uint32_t status = tavo::port::qcn_apply_setting(pick & 1 ? "CNPVBitMap" : "Willing", value, &v1);
  if (status != 0 && memcmp(&v1, &before, sizeof v1) != 0) abort();
  if (memcmp(&v1.base.pg_bandwidth, &before.base.pg_bandwidth, 288) != 0) abort();
}

void decode_lldp(const uint8_t* bytes, size_t size, uint8_t pick, const char* value) {
  tavo::LldpConfigRecord r{};
  memcpy(&r, bytes, std::min(size, sizeof r));
  for (bool local : {true, false}) {
    PropertyTexts t;
    tavo::port::lldp_texts(local, r, &t);
    check_texts(t);
    // A text is the field's start, at most 255 characters.
    const char* chassis = text_of(t, "ChassisId");
    if (chassis == nullptr || strncmp(chassis, r.chassis_id, strlen(chassis)) != 0) abort();
  }
  tavo::LldpStatsRecord stats;
  memcpy(&stats, &r, sizeof stats);
  PropertyTexts t;
  tavo::port::lldp_stats_texts(stats, &t);
  check_texts(t);
  static const char* const kEnables[] = {"TxState", "RxState", "PortDescriptionTLV", "SystemNameTLV",
                                         "SystemDescriptionTLV", "SystemCapabilitiesTLV", "ChassisId"};
  const char* property = kEnables[pick % 7];
  tavo::LldpConfigUpdate u;
  if (!tavo::port::lldp_update(r, property, value, &u)) {
    if (pick % 7 != 6) abort();
    return;
  }
  // One bit of one byte may change; the padding is zero.
  int changed = 0;
  for (size_t i = 0; i < tavo::kLldpEnableBytes; ++i) changed += __builtin_popcount(u.enables[i] ^ r.enables[i]);
  if (changed > 1 || u.reserved5[0] != 0 || u.reserved5[1] != 0 || u.reserved5[2] != 0) abort();
  const bool on = strcasecmp(value, "Enabled") == 0;
  PropertyTexts after;
  tavo::LldpConfigRecord updated = r;
  memcpy(updated.enables, u.enables, sizeof u.enables);
  tavo::port::lldp_texts(true, updated, &after);
  if (strcmp(text_of(after, property), on ? "Enabled" : "Disabled") != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t pick = data[0];
  const size_t value_length = std::min<size_t>(data[1] % 32, size - 2);
  const std::string value(reinterpret_cast<const char*>(data + 2), strnlen(reinterpret_cast<const char*>(data + 2), value_length));
  const uint8_t* record = data + 2 + value_length;
  const size_t record_size = size - 2 - value_length;
  tavo::DcbxConfigRecordV1 r{};
  memcpy(&r, record, std::min(record_size, sizeof r));
  decode_dcbx(r, pick);
  apply_settings(r, pick, value.c_str());
  decode_lldp(record, record_size, pick, value.c_str());
  return 0;
}
