// The texts a DCBX or LLDP read stores, at the edges of their fields:
// counters past INT_MAX read as signed, bitmaps keep their digits, text
// fields stop at their end or at 255 characters.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>

#include "port/record_texts.h"

namespace tavo::test {
namespace {

using port::PropertyTexts;

std::string text_of(const PropertyTexts& t, const char* name) {
  for (int i = 0; i < t.count; ++i)
    if (strcmp(t.items[i].name, name) == 0) return t.items[i].text;
  return "<none>";
}

struct DcbxRow {
  const char* group;
  int32_t instance;
  std::function<void(DcbxConfigRecordV1*)> plant;
  const char* property;
  const char* text;
};

TEST(RecordTextsTest, DcbxNumbersAndBitmaps) {
  const DcbxRow rows[] = {
      {"ApplicationTLV", 1, [](DcbxConfigRecordV1* r) { r->base.applications[1].protocol_id = 5; }, "ProtocolID",
       "0x05"},
      {"ApplicationTLV", 1, [](DcbxConfigRecordV1* r) { r->base.applications[1].protocol_id = 0xcbe; },
       "ProtocolID", "0xcbe"},
      {"ApplicationTLV", 0, [](DcbxConfigRecordV1* r) { r->base.applications[0].oui = 0; }, "OUI", "0x00"},
      {"ApplicationTLV", 0, [](DcbxConfigRecordV1* r) { r->base.applications[0].oui = 0xffffffff; }, "OUI",
       "0xffffffff"},
      {"ApplicationTLV", 2, [](DcbxConfigRecordV1* r) { r->base.applications[2].protocol_selector = 255; },
       "ProtocolSelector", "255"},
      {"PG", 3, [](DcbxConfigRecordV1* r) { r->base.pg_bandwidth[3] = 0; }, "Bandwidth", "0"},
      {"PG", 3, [](DcbxConfigRecordV1* r) { r->base.pg_membership[7][0] = 3; }, "PriorityMembership", "0x80"},
      {"AdministratorPFCSetting", 0, [](DcbxConfigRecordV1* r) { r->base.pfc_enable[0] = 1; }, "PriorityBitMap",
       "0x01"},
      {"OperationalPFCSettings", 0, [](DcbxConfigRecordV1*) {}, "PriorityBitMap", "N/A"},
      {"AdministratorPGSetting", 0, [](DcbxConfigRecordV1* r) { r->base.pg_supported = 8; }, "NumPGSupported", "8"},
      {"AdministratorQCNSetting", 0, [](DcbxConfigRecordV1* r) { r->cnpv_bitmap = 0; }, "CNPVBitMap", "0x0"},
      {"PeerQCNSetting", 0, [](DcbxConfigRecordV1* r) { r->ready_bitmap = 0xab; }, "ReadyBitMap", "0xab"},
  };
  for (const DcbxRow& row : rows) {
    SCOPED_TRACE(std::string(row.group) + "/" + row.property);
    DcbxConfigRecordV1 r{};
    row.plant(&r);
    PropertyTexts t;
    if (strstr(row.group, "QCN") != nullptr)
      ASSERT_TRUE(port::qcn_view_texts(row.group, r, &t));
    else
      ASSERT_TRUE(port::dcbx_view_texts(row.group, row.instance, r.base, &t));
    EXPECT_EQ(text_of(t, row.property), row.text);
  }
}

TEST(RecordTextsTest, CountersReadAsSignedNumbers) {
  const struct {
    uint32_t value;
    const char* text;
  } rows[] = {{0, "0"}, {7, "7"}, {0x7fffffff, "2147483647"}, {0x80000000, "-2147483648"}, {0xffffffff, "-1"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    DcbxMibRecord mib{};
    mib.sequence = row.value;
    PropertyTexts vars, stats;
    port::dcbx_mib_texts(mib, &vars, &stats);
    EXPECT_EQ(text_of(vars, "SequenceNumber"), row.text);
    LldpStatsRecord lldp{};
    lldp.dropped = row.value;
    PropertyTexts t;
    port::lldp_stats_texts(lldp, &t);
    EXPECT_EQ(text_of(t, "NumPacketsDropped"), row.text);
  }
}

TEST(RecordTextsTest, LldpTextFieldsStopAtTheirEnd) {
  LldpConfigRecord r{};
  memset(r.chassis_id, 'c', sizeof r.chassis_id);                    // no NUL: 255 of it
  memset(r.system_description, 'd', sizeof r.system_description);    // longer than a value
  memcpy(r.port_id, "port\0hidden", 11);
  r.ttl = 0xffffffff;
  PropertyTexts t;
  port::lldp_texts(false, r, &t);
  EXPECT_EQ(text_of(t, "ChassisId"), std::string(TAVO_VALUE_SIZE - 1, 'c'));
  EXPECT_EQ(text_of(t, "SystemDescription"), std::string(TAVO_VALUE_SIZE - 1, 'd'));
  EXPECT_EQ(text_of(t, "PortId"), "port");
  EXPECT_EQ(text_of(t, "SystemName"), "");
  EXPECT_EQ(text_of(t, "TTL"), "-1");
}

}  // namespace
}  // namespace tavo::test
