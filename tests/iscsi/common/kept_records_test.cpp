// The records a read scope keeps, against a map of what was put.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "iscsi/common/record_reads.h"

namespace tavo::test {
namespace {

// Records put, put again and dropped answer as the map does, through the
// table's growth and a dropped record's place taken by the last; keys that
// differ only past their first word share probes. A clear keeps none.
TEST(KeptRecords, AnswerAsAMapOfWhatWasPut) {
  struct Record {
    uint32_t key, step;
  };
  iscsi::reads::KeptRecords<Record> kept;
  std::map<iscsi::RecordKey, uint32_t> model;
  const auto key = [](uint32_t i) { return iscsi::RecordKey{i % 3, 0, 0, i, 0, 0}; };
  const auto agree = [&] {
    for (uint32_t i = 0; i < 300; ++i) {
      const Record* r = kept.find(key(i));
      const auto m = model.find(key(i));
      ASSERT_EQ(r != nullptr, m != model.end()) << i;
      if (r != nullptr) {
        EXPECT_EQ(r->step, m->second) << i;
      }
    }
  };
  uint32_t seed = 7;
  for (uint32_t step = 0; step < 4000; ++step) {
    seed = seed * 1103515245u + 12345u;
    const uint32_t i = (seed >> 16) % 300;
    if ((seed >> 8) % 3 == 0) {
      kept.erase(key(i));
      model.erase(key(i));
    } else {
      kept.put(key(i), Record{i, step});
      model[key(i)] = step;
    }
    if (step % 500 == 0) agree();
  }
  agree();
  kept.clear();
  model.clear();
  agree();
}

// The lists a scope keeps answer as the map of the last list kept at each
// key, lists kept again longer or shorter among them; at the scope's end,
// and outside one, none is.
TEST(KeptLists, AnswerAsAMapOfTheLastListKept) {
  iscsi::ListReads& lists = iscsi::session_list_reads();
  std::map<iscsi::RecordKey, std::vector<uint32_t>> model;
  const auto key = [](uint32_t i) { return iscsi::RecordKey{i, 0, i % 2, 0, 0, 0}; };
  const auto agree = [&] {
    for (uint32_t i = 0; i < 12; ++i) {
      std::vector<uint32_t> got;
      const auto m = model.find(key(i));
      ASSERT_EQ(lists.kept(key(i), &got), m != model.end()) << i;
      EXPECT_EQ(got, m != model.end() ? m->second : std::vector<uint32_t>{}) << i;
    }
  };
  {
    iscsi::ReadScope scope;
    for (uint32_t step = 0, seed = 11; step < 600; ++step) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t i = (seed >> 16) % 12;
      const std::vector<uint32_t> list((seed >> 8) % 6, step);
      lists.keep(key(i), list);
      model[key(i)] = list;
      if (step % 50 == 0) agree();
    }
    agree();
  }
  model.clear();
  agree();
  lists.keep(key(1), {1, 2});
  agree();
}

}  // namespace
}  // namespace tavo::test
