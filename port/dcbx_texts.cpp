// DCBX records into property texts, and Administrator settings into write
// requests.
#include <string.h>
#include <strings.h>

#include "base/validate.h"
#include "port/record_texts.h"

namespace tavo::port {
namespace {

bool named(const char* a, const char* b) { return a != nullptr && strcasecmp(a, b) == 0; }

const char* yes_no(uint32_t flags, uint32_t bit) { return (flags & bit) != 0 ? "Yes" : "No"; }
const char* true_false(uint32_t flags) { return (flags & kDcbxFlagEnabled) != 0 ? "True" : "False"; }

// The priorities whose PG number is pg.
uint8_t membership_bitmap(const DcbxConfigRecord& r, uint8_t pg) {
  uint8_t bits = 0;
  for (int p = 0; p < kDcbxPriorities; ++p)
    if (r.pg_membership[p][0] == pg) bits = static_cast<uint8_t>(bits | 1u << p);
  return bits;
}

// Enabled, Advertise and Willing, in the order the Administrator views
// store them.
void admin_flags(uint32_t flags, PropertyTexts* out) {
  out->put("Enabled", yes_no(flags, kDcbxFlagEnabled));
  out->put("Advertise", yes_no(flags, kDcbxFlagAdvertise));
  out->put("Willing", yes_no(flags, kDcbxFlagWilling));
}

void pg_view(const DcbxConfigRecord& r, bool peer, PropertyTexts* out) {
  admin_flags(r.pg_flags, out);
  if (peer) out->put("Error", yes_no(r.pg_flags, kDcbxFlagError));
  out->put_decimal("NumPGSupported", r.pg_supported);
  out->put_hex("PG15PriorityMemberShip", membership_bitmap(r, kDcbxStrictPriorityGroup), 2);
}

// A whole non-negative number in automatic base; its low byte.
bool bitmap_value(const char* value, uint8_t* out) {
  long long v = 0;
  if (value == nullptr || base::parse_number(value, &v) != 0 || v < 0) return false;
  *out = static_cast<uint8_t>(v);
  return true;
}

void set_flag(uint32_t* flags, uint32_t bit, const char* value) {
  if (named(value, "Yes"))
    *flags |= bit;
  else
    *flags &= ~bit;
}

// The flag word of an Administrator view group; null for another group.
uint32_t* admin_flag_word(const char* group, DcbxConfigRecord* r) {
  if (named(group, "AdministratorPFCSetting")) return &r->pfc_flags;
  if (named(group, "AdministratorPGSetting")) return &r->pg_flags;
  if (named(group, "AdministratorTLVSetting")) return &r->app_flags;
  return nullptr;
}

uint32_t flag_bit(const char* property) {
  if (named(property, "Enabled")) return kDcbxFlagEnabled;
  if (named(property, "Advertise")) return kDcbxFlagAdvertise;
  if (named(property, "Willing")) return kDcbxFlagWilling;
  return 0;
}

}  // namespace

void PropertyTexts::put(const char* name, std::string_view text) {
  if (count >= kMax) return;
  Item& item = items[count++];
  item.name = name;
  const size_t n = text.size() < sizeof item.text ? text.size() : sizeof item.text - 1;
  memcpy(item.text, text.data(), n);
  item.text[n] = '\0';
}

void PropertyTexts::put_decimal(const char* name, int64_t value) {
  char digits[24];
  char* at = digits + sizeof digits;
  // The magnitude unsigned: -INT64_MIN has no int64_t.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--at = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--at = '-';
  put(name, std::string_view(at, static_cast<size_t>(digits + sizeof digits - at)));
}

void PropertyTexts::put_hex(const char* name, uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char text[2 + 8] = {'0', 'x'};
  int n = 1;
  while (n < 8 && value >> 4 * n != 0) ++n;
  if (n < digits) n = digits < 8 ? digits : 8;
  for (int i = 0; i < n; ++i) text[2 + i] = kDigits[value >> 4 * (n - 1 - i) & 0xF];
  put(name, std::string_view(text, static_cast<size_t>(2 + n)));
}

uint8_t dcbx_view(const char* group, const char* parent) {
  static const char* const kAdministrator[] = {"AdministratorPFCSetting", "AdministratorPGSetting",
                                               "AdministratorTLVSetting"};
  static const char* const kPeer[] = {"PeerPFCSetting", "PeerPGSetting", "PeerTLVSetting"};
  for (const char* g : kAdministrator)
    if (named(group, g)) return kDcbxAdministrator;
  for (const char* g : kPeer)
    if (named(group, g)) return kDcbxPeer;
  // The PG and ApplicationTLV instances take their view's.
  if (named(parent, "AdministratorPGSetting") || named(parent, "AdministratorTLVSetting")) return kDcbxAdministrator;
  if (named(parent, "PeerPGSetting") || named(parent, "PeerTLVSetting")) return kDcbxPeer;
  return kDcbxOperational;
}

bool dcbx_view_texts(const char* group, int32_t instance, const DcbxConfigRecord& r, PropertyTexts* out) {
  const uint8_t pfc_bitmap = priority_bitmap(r.pfc_enable);
  if (named(group, "DCBXPortVars")) {
    out->put("DCBXState", r.state == 1 ? "Enabled" : "Disabled");
  } else if (named(group, "AdministratorPFCSetting") || named(group, "PeerPFCSetting")) {
    admin_flags(r.pfc_flags, out);
    if (named(group, "PeerPFCSetting")) out->put("Error", yes_no(r.pfc_flags, kDcbxFlagError));
    out->put_hex("PriorityBitMap", pfc_bitmap, 2);
  } else if (named(group, "OperationalPFCSettings")) {
    out->put("OperationalMode", true_false(r.pfc_flags));
    out->put("Error", yes_no(r.pfc_flags, kDcbxFlagError));
    out->put("Synced", yes_no(r.pfc_flags, kDcbxFlagSynced));
    if ((r.pfc_flags & kDcbxFlagEnabled) != 0)
      out->put_hex("PriorityBitMap", pfc_bitmap, 2);
    else
      out->put("PriorityBitMap", "N/A");
  } else if (named(group, "AdministratorPGSetting") || named(group, "PeerPGSetting")) {
    pg_view(r, named(group, "PeerPGSetting"), out);
  } else if (named(group, "OperationalPGSettings")) {
    out->put("Error", yes_no(r.pg_flags, kDcbxFlagError));
    out->put("Synced", yes_no(r.pg_flags, kDcbxFlagSynced));
    out->put_decimal("NumPGSupported", r.pg_supported);
    out->put_hex("PG15PriorityMemberShip", membership_bitmap(r, kDcbxStrictPriorityGroup), 2);
  } else if (named(group, "PG")) {
    if (instance < 0 || instance >= kDcbxPriorities) return false;
    out->put_hex("PriorityMembership", membership_bitmap(r, static_cast<uint8_t>(instance)), 2);
    out->put_decimal("Bandwidth", r.pg_bandwidth[instance]);
  } else if (named(group, "AdministratorTLVSetting") || named(group, "PeerTLVSetting")) {
    admin_flags(r.app_flags, out);
    if (named(group, "PeerTLVSetting")) out->put("Error", yes_no(r.app_flags, kDcbxFlagError));
  } else if (named(group, "OperationalTLVSettings")) {
    out->put("OperationalMode", true_false(r.app_flags));
    out->put("Error", yes_no(r.app_flags, kDcbxFlagError));
    out->put("Synced", yes_no(r.app_flags, kDcbxFlagSynced));
  } else if (named(group, "ApplicationTLV")) {
    if (instance < 0 || instance >= kDcbxApplicationSlots) return false;
    const DcbxApplicationTlvEntry& e = r.applications[instance];
    out->put_decimal("ProtocolSelector", e.protocol_selector);
    out->put_hex("ProtocolID", e.protocol_id, 2);
    out->put_hex("OUI", static_cast<unsigned>(e.oui), 2);
    out->put_hex("PriorityBitMap", priority_bitmap(e.priority_enable), 2);
  } else {
    return false;
  }
  return true;
}

bool qcn_view_texts(const char* group, const DcbxConfigRecordV1& r, PropertyTexts* out) {
  const uint32_t flags = r.base.qcn_flags;
  if (named(group, "AdministratorQCNSetting")) {
    admin_flags(flags, out);
    out->put_hex("CNPVBitMap", r.cnpv_bitmap, 1);
  } else if (named(group, "PeerQCNSetting")) {
    admin_flags(flags, out);
    out->put("Error", yes_no(flags, kDcbxFlagError));
    out->put_hex("CNPVBitMap", r.cnpv_bitmap, 1);
    out->put_hex("ReadyBitMap", r.ready_bitmap, 1);
  } else if (named(group, "OperationalQCNSettings")) {
    out->put("OperationalMode", (flags & kDcbxFlagNotApplicable) != 0 ? "N/A" : true_false(flags));
    out->put("Error", yes_no(flags, kDcbxFlagError));
    out->put("Synced", yes_no(flags, kDcbxFlagSynced));
    out->put_hex("CNPVBitMap", r.cnpv_bitmap, 1);
    out->put_hex("ReadyBitMap", r.ready_bitmap, 1);
  } else {
    return false;
  }
  return true;
}

namespace {

template <typename Mib>
void mib_texts(const Mib& r, PropertyTexts* port_vars, PropertyTexts* statistics) {
  port_vars->put_decimal("OperatingVersion", r.operating_version);
  port_vars->put_decimal("MaxVersion", r.max_version);
  port_vars->put_decimal("SequenceNumber", static_cast<int>(r.sequence));
  port_vars->put_decimal("AckNumber", static_cast<int>(r.ack));
  port_vars->put_decimal("PeerSequenceNumber", static_cast<int>(r.peer_sequence));
  port_vars->put_decimal("PeerAckNumber", static_cast<int>(r.peer_ack));
  port_vars->put_decimal("AppFeatureSequenceNumber", static_cast<int>(r.app_sequence));
  port_vars->put_decimal("PGFeatureSequenceNumber", static_cast<int>(r.pg_sequence));
  port_vars->put_decimal("PFCFeatureSequenceNumber", static_cast<int>(r.pfc_sequence));
  statistics->put_decimal("TxPacketCount", static_cast<int>(r.tx_packets));
  statistics->put_decimal("RxPacketCount", static_cast<int>(r.rx_packets));
  statistics->put_decimal("NumPacketsDropped", static_cast<int>(r.dropped));
}

}  // namespace

void dcbx_mib_texts(const DcbxMibRecord& r, PropertyTexts* port_vars, PropertyTexts* statistics) {
  mib_texts(r, port_vars, statistics);
}

void dcbx_mib_texts(const GaltorDcbxMibRecord& r, PropertyTexts* port_vars, PropertyTexts* statistics) {
  mib_texts(r, port_vars, statistics);
}

DcbxConfigRecord dcbx_write_request(const DcbxConfigRecord& answer) {
  DcbxConfigRecord r{};
  r.state = answer.state;
  r.tlv_count_set = answer.tlv_count;
  r.pg_flags = answer.pg_flags;
  r.pfc_flags = answer.pfc_flags;
  r.app_flags = answer.app_flags;
  constexpr size_t kFrom = offsetof(DcbxConfigRecord, pg_bandwidth);
  memcpy(reinterpret_cast<uint8_t*>(&r) + kFrom, reinterpret_cast<const uint8_t*>(&answer) + kFrom,
         sizeof r - kFrom);
  return r;
}

DcbxConfigRecordV1 dcbx_write_request(const DcbxConfigRecordV1& answer) {
  DcbxConfigRecordV1 r{};
  r.base = dcbx_write_request(answer.base);
  r.base.qcn_flags = answer.base.qcn_flags;
  r.cnpv_bitmap = answer.cnpv_bitmap;
  return r;
}

uint32_t dcbx_apply_setting(const char* property, const char* group, int32_t instance, const char* value,
                            DcbxConfigRecord* request) {
  if (named(property, "DCBXState")) {
    // Anything but "Enabled" switches DCBX off.
    request->state = named(value, "Enabled") ? static_cast<uint8_t>(request->state | 1) : 0;
    return 0;
  }
  if (uint32_t* flags = admin_flag_word(group, request); flags != nullptr && flag_bit(property) != 0) {
    set_flag(flags, flag_bit(property), value);
    return 0;
  }
  const bool pfc_bitmap = named(property, "PriorityBitMap") && named(group, "AdministratorPFCSetting");
  const bool tlv_bitmap = named(property, "PriorityBitMap") && named(group, "ApplicationTLV");
  const bool pg15 = named(property, "PG15PriorityMemberShip") && named(group, "AdministratorPGSetting");
  if (!pfc_bitmap && !tlv_bitmap && !pg15) return 0;
  uint8_t bits = 0;
  if (!bitmap_value(value, &bits)) return TAVO_INVALID_VALUE;
  if (tlv_bitmap && (instance < 0 || instance >= kDcbxApplicationSlots)) return TAVO_INVALID_VALUE;
  for (int p = 0; p < kDcbxPriorities; ++p) {
    const bool set = (bits >> p & 1) != 0;
    if (pfc_bitmap) request->pfc_enable[p] = set ? 1 : 0;
    if (tlv_bitmap) request->applications[instance].priority_enable[p] = set ? 1 : 0;
    // PG15 only takes priorities; the others keep their group.
    if (pg15 && set) request->pg_membership[p][0] = kDcbxStrictPriorityGroup;
  }
  return 0;
}

uint32_t qcn_apply_setting(const char* property, const char* value, DcbxConfigRecordV1* request) {
  if (flag_bit(property) != 0) {
    set_flag(&request->base.qcn_flags, flag_bit(property), value);
    return 0;
  }
  if (!named(property, "CNPVBitMap")) return 0;
  uint8_t bits = 0;
  if (!bitmap_value(value, &bits)) return TAVO_INVALID_VALUE;
  request->cnpv_bitmap = bits;
  return 0;
}

}  // namespace tavo::port
