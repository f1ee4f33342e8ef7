// Records packed for a long wait give back each record as it was pushed.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "iscsi/common/packed_records.h"

namespace tavo::test {
namespace {

struct Record {
  uint8_t bytes[300];
};

// Shapes where zero runs and literal runs meet: empty, full, runs just
// under and at the packer's cut, runs past one count byte (128+), a
// record ending in a few zeros or in a lone non-zero byte.
TEST(PackedRecords, GiveBackEachRecordAsPushed) {
  struct Case {
    const char* shape;
    void (*fill)(Record*);
  };
  const Case cases[] = {
      {"all zeros", [](Record*) {}},
      {"no zeros", [](Record* r) { memset(r->bytes, 0xA5, sizeof r->bytes); }},
      {"name then zeros", [](Record* r) { memcpy(r->bytes + 4, "iqn.2001-04.com.example:t0", 26); }},
      {"gaps of 1 to 5 zeros",
       [](Record* r) {
         for (size_t i = 0, gap = 1; i < sizeof r->bytes; i += gap + 1, gap = gap % 5 + 1) r->bytes[i] = 7;
       }},
      {"last byte alone", [](Record* r) { r->bytes[sizeof r->bytes - 1] = 1; }},
      {"ends in 3 zeros", [](Record* r) { memset(r->bytes, 0xFF, sizeof r->bytes - 3); }},
      {"long literal, long zeros",
       [](Record* r) {
         for (size_t i = 0; i < 140; ++i) r->bytes[i] = static_cast<uint8_t>(i + 1);
       }},
  };
  iscsi::PackedRecords<Record> packed;
  std::vector<Record> pushed;
  // Several rounds, so the buffer grows across records of every shape.
  for (int round = 0; round < 20; ++round)
    for (const Case& c : cases) {
      Record r{};
      c.fill(&r);
      r.bytes[0] = static_cast<uint8_t>(round);
      packed.push_back(r);
      pushed.push_back(r);
    }
  packed.shrink();
  ASSERT_EQ(packed.size(), pushed.size());
  for (size_t i = 0; i < pushed.size(); ++i) {
    const Record r = packed.at(i);
    EXPECT_EQ(memcmp(&r, &pushed[i], sizeof r), 0) << cases[i % std::size(cases)].shape << ", record " << i;
  }
}

}  // namespace
}  // namespace tavo::test
