// A batch that only appends to a file writes its lines after the file's
// last line as the file is when written, not as the batch last saw it; an
// append after what a write cut short left writes the file without it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "iscsi/common/saved_view.h"
#include "tests/iscsi/targets/targets_fixture.h"

namespace tavo::test {
namespace {

// Another writer changes savetgt.txt between the batch's look at it and
// its write, leaving a last line without its line feed: in place, or a new
// file renamed in. The batch's line still starts a line of its own.
TEST_F(TargetsTest, ABatchAppendFollowsTheFileAsWritten) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t0");
  ASSERT_NE(target, nullptr);
  const struct {
    const char* what;
    std::function<void(const std::string&)> change;
  } changes[] = {
      {"appended in place",
       [&](const std::string& tail) { std::ofstream(saved_path("savetgt.txt"), std::ios::app) << tail; }},
      {"renamed in", [&](const std::string& tail) { put_saved("savetgt.txt", saved("savetgt.txt") + tail); }},
  };
  int n = 0;
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    const std::string name = "iqn.t" + std::to_string(++n);
    const std::string fields = ",10.0.0.9,3260,,iqn.hx,Yes,Yes,None,None,None,,,,,Static,Prohibited,Prohibited,"
                               "Prohibited,True";
    const std::string outside = std::string(kKey) + ",iqn.outside" + std::to_string(n) + fields;
    const std::string before = saved("savetgt.txt");
    iscsi::SavedBatch batch;
    ASSERT_EQ(TAVO_add_target_into_file(lhba, target, name.c_str(), "10.0.0.9", "3260", nullptr, "True"), 0u);
    c.change(outside);
    ASSERT_EQ(batch.commit(), 0u);
    EXPECT_EQ(saved("savetgt.txt"), before + outside + "\n" + kKey + "," + name + fields + "\n");
  }
}

// What a write cut short left at the file's end (a line without its line
// feed, its last field cut) is no line: an append, alone or in a batch,
// writes the file whole without it rather than make a line of it.
TEST_F(TargetsTest, AnAppendAfterALineCutShortLeavesItOut) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = add_target("iqn.t0");
  ASSERT_NE(target, nullptr);
  const std::string fields = ",10.0.0.9,3260,,iqn.hx,Yes,Yes,None,None,None,,,,,Static,Prohibited,Prohibited,"
                             "Prohibited,True";
  const std::string whole = saved("savetgt.txt");
  for (const bool batched : {false, true}) {
    for (const std::string& cut : {std::string(kKey) + ",iqn.cut" + fields.substr(0, fields.size() - 1),
                                   std::string(kKey) + ",iqn.cut,10.0.0"}) {
      SCOPED_TRACE(cut + (batched ? " in a batch" : ""));
      put_saved("savetgt.txt", whole + cut);
      const auto add = [&] {
        return TAVO_add_target_into_file(lhba, target, "iqn.t1", "10.0.0.9", "3260", nullptr, "True");
      };
      if (batched) {
        iscsi::SavedBatch batch;
        ASSERT_EQ(add(), 0u);
      } else {
        ASSERT_EQ(add(), 0u);
      }
      EXPECT_EQ(saved("savetgt.txt"), whole + kKey + ",iqn.t1" + fields + "\n");
    }
  }
}

}  // namespace
}  // namespace tavo::test
