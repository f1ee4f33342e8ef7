// The boot region's records as the library edits them, through the
// exported copy operations: pads, boot-target records built from a
// session's record and removed again, and the initiator's CHAP records.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/memory.h"
#include "iscsi/sessions/sessions.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using RegionCopy = base::Counted<IscsiRegion>;

// A region of a made-up header and these record bytes.
RegionCopy region_of(const Bytes& records) {
  RegionCopy r(static_cast<IscsiRegion*>(tavo_dmalloc(sizeof(IscsiRegion) + records.size() + 1)));
  *r = IscsiRegion{0x11223344, static_cast<uint32_t>(records.size()), {1, 2, 3, 4, 5, 6, 7, 8}};
  if (!records.empty())
    memcpy(reinterpret_cast<uint8_t*>(r.get()) + sizeof(IscsiRegion), records.data(), records.size());
  return r;
}

// The records of a copy; its header must be the made-up one.
Bytes records_of(const IscsiRegion* r) {
  if (r == nullptr) return {0xEE};
  EXPECT_EQ(r->word0, 0x11223344u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(r) + sizeof *r;
  return Bytes(bytes, bytes + r->tlv_length);
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Session {
  std::string name = "iqn.2026-12.com.example:thirty-chars";
  Bytes address = {10, 0, 0, 50};
  uint32_t flags = kSessionBoot;
  std::string chap, secret, mutual, mutual_secret;
};

FirmwareSessionRecord record_of(const Session& s) {
  FirmwareSessionRecord r{};
  r.isid[4] = 0x12;
  r.isid[5] = 0x34;
  r.flags = s.flags;
  snprintf(r.target_name, sizeof r.target_name, "%s", s.name.c_str());
  r.connection.destination_port = 3260;
  r.connection.destination_type = s.address.size() == 4 ? kLoginAddressIPv4 : kLoginAddressIPv6;
  memcpy(r.connection.destination_address, s.address.data(), s.address.size());
  ConnectionLoginOptions& o = r.connection.options;
  o.header_digest = 1;
  o.authentication = s.chap.empty() ? 0 : 1;
  o.chap_direction = s.mutual.empty() ? 0 : 1;
  memcpy(o.target_chap_name, s.chap.data(), s.chap.size());
  memcpy(o.target_secret, s.secret.data(), s.secret.size());
  memcpy(o.initiator_chap_name, s.mutual.data(), s.mutual.size());
  memcpy(o.initiator_secret, s.mutual_secret.data(), s.mutual_secret.size());
  o.target_chap_name_length = static_cast<uint16_t>(s.chap.size());
  o.target_secret_length = static_cast<uint16_t>(s.secret.size());
  o.initiator_chap_name_length = static_cast<uint16_t>(s.mutual.size());
  o.initiator_secret_length = static_cast<uint16_t>(s.mutual_secret.size());
  return r;
}

Bytes boot_record(const Session& s, uint8_t priority = 1, uint8_t number = 2) {
  const FirmwareSessionRecord r = record_of(s);
  base::Counted<BootTargetTlv> t(TAVO_create_TLV(&r, nullptr, priority, number));
  if (!t) return {};
  const auto* bytes = reinterpret_cast<const uint8_t*>(t.get());
  return Bytes(bytes, bytes + 3 + t->head.length);
}

TEST(BootRegionTest, PadsMakeTheRecordsAMultipleOfFour) {
  const Bytes six = {1, 3, 0, 7, 8, 9};
  const struct {
    Bytes records, padded;
  } rows[] = {
      {six, six + Bytes{0xFF, 3, 0, 0, 0, 0}},
      {six + six + Bytes{2, 0, 0}, six + six + Bytes{2, 0, 0, 0xFF, 2, 0, 0, 0}},
      {six + Bytes{2, 4, 0, 1, 2, 3, 4}, six + Bytes{2, 4, 0, 1, 2, 3, 4, 0xFF, 0, 0}},
      {six + six + Bytes{2, 1, 0, 5}, six + six + Bytes{2, 1, 0, 5}},
      {{}, {}},
  };
  for (const auto& r : rows) {
    RegionCopy region = region_of(r.records);
    RegionCopy padded(TAVO_add_pad_tlv(region.get()));
    EXPECT_EQ(records_of(padded.get()), r.padded);
    RegionCopy stripped(TAVO_remove_pad_tlv(padded.get()));
    EXPECT_EQ(records_of(stripped.get()), r.records);
    RegionCopy again(TAVO_remove_pad_tlv(region.get()));
    EXPECT_EQ(records_of(again.get()), r.records);
  }
  // Records that run past the TLV length, or bytes that hold no record.
  for (const Bytes& bad : {Bytes{1, 9, 0, 1}, six + Bytes{1, 0}, Bytes{0xFF, 4, 0, 0}}) {
    RegionCopy region = region_of(bad);
    EXPECT_EQ(TAVO_add_pad_tlv(region.get()), nullptr);
    EXPECT_EQ(TAVO_remove_pad_tlv(region.get()), nullptr);
    EXPECT_EQ(TAVO_remove_boot_tlv(region.get(), nullptr, 1), nullptr);
  }
}

TEST(BootRegionTest, BootTargetRecordsCarryTheSessionsValues) {
  Session plain;
  plain.name = "iqn.2026-12.com.example:thirty";
  ASSERT_EQ(plain.name.size(), 30u);
  Bytes r = boot_record(plain, 1, 2);
  ASSERT_EQ(r.size(), 63u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 27),
            (Bytes{3, 60, 0, 3, 2, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 1, 0, 0xBC, 0x0C, 0, 30, 0, 0}));
  EXPECT_EQ(Bytes(r.begin() + 27, r.end()), (Bytes{10, 0, 0, 50} + text(plain.name) + Bytes{0, 0}));
  Session v6 = plain;
  v6.address = Bytes(16, 0xFE);
  v6.chap = "chapname";
  v6.secret = "secret123456";
  r = boot_record(v6);
  ASSERT_EQ(r.size(), 95u);
  EXPECT_EQ(r[1] | r[2] << 8, 92);
  EXPECT_EQ(Bytes({r[16], r[23], r[25], r[26]}), (Bytes{1, 1, 8, 12}));
  EXPECT_EQ(Bytes(r.begin() + 27, r.end()),
            (Bytes(16, 0xFE) + text(plain.name) + text("chapname") + text("secret123456") + Bytes{0, 0}));
  Session mutual = v6;
  mutual.mutual = "ini";
  mutual.mutual_secret = "isecret12345";
  r = boot_record(mutual);
  EXPECT_EQ(r[16], 2);
  EXPECT_EQ(Bytes(r.end() - 17, r.end()), (Bytes{3, 12} + text("ini") + text("isecret12345")));
  // A length its byte or field cannot hold is refused.
  Session too_long = v6;
  too_long.chap = std::string(256, 'c');
  EXPECT_TRUE(boot_record(too_long).empty());
}

TEST(BootRegionTest, RemovalTakesOnlyTheSessionsRecords) {
  Session a, b;
  b.name = "iqn.2026-12.com.example:v6";
  b.address = Bytes(16, 0xFE);
  const Bytes other = {9, 2, 0, 1, 2};
  Bytes a_other = boot_record(a);
  a_other[0] = kTlvBootTargetOther;
  RegionCopy region = region_of(other + boot_record(a) + boot_record(b) + a_other);
  const struct {
    Session session;
    uint32_t flags, mode;
    Bytes kept;
  } rows[] = {
      {a, kSessionBoot, 1, other},
      {a, 0, 2, other + boot_record(a) + boot_record(b) + a_other},
      {a, kSessionBoot, 2, other + boot_record(b) + a_other},
      {a, kSessionBoot | kSessionBootOther, 2, other + boot_record(b)},
      {b, kSessionBoot, 2, other + boot_record(a) + a_other},
      {a, kSessionBoot, 3, other + boot_record(a) + boot_record(b) + a_other},
  };
  for (const auto& r : rows) {
    Session s = r.session;
    s.flags = r.flags;
    const FirmwareSessionRecord fw = record_of(s);
    RegionCopy kept(TAVO_remove_boot_tlv(region.get(), &fw, r.mode));
    EXPECT_EQ(records_of(kept.get()), r.kept) << s.name << " " << r.flags << " " << r.mode;
  }
  // The initiator's CHAP records: appended, then taken out alone.
  Session m = a;
  m.mutual = "ini-m";
  m.mutual_secret = "isecret123456";
  const FirmwareSessionRecord fw = record_of(m);
  RegionCopy with(TAVO_add_initiator_chap_tlv(region_of(other).get(), &fw));
  EXPECT_EQ(records_of(with.get()),
            (other + Bytes{2, 6, 0, 3} + text("ini-m") + Bytes{3, 14, 0, 3} + text("isecret123456")));
  RegionCopy without(TAVO_delete_initiator_chap_tlv(with.get()));
  EXPECT_EQ(records_of(without.get()), other);
}

}  // namespace
}  // namespace tavo::test
