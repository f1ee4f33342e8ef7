// The parsed view of a saved file read in two parts, as when a writer
// appended to it between two reads, holds what a read of the whole holds.
#include "iscsi/targets/saved_view.h"

#include <gtest/gtest.h>

namespace tavo::test {
namespace {

using targets::Saved;
using targets::SavedView;

TEST(SavedView, AppendedPartsReadAsTheWhole) {
  const std::string good = "Corvane0,iSCSIPhysicalHBA0,LogicalHBA0,Yes,Yes,None,None,None,,,,,P,P,P";
  const std::string text = good + "\n\nbroken\n" + good + "x\n" + "Corvane1," + good.substr(9);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SavedView whole(Saved::Initiator), parts(Saved::Initiator);
    whole.load(text);
    parts.load(text.substr(0, cut));
    // A lookup before the second part: its index must follow the lines.
    const std::vector<targets::Match> key = {{targets::Field::Logical, "logicalhba0"}};
    parts.find(key);
    const size_t feed = text.rfind('\n', cut == 0 ? 0 : cut - 1);
    parts.append(text.substr(cut == 0 || feed == std::string::npos ? 0 : feed + 1));
    ASSERT_EQ(parts.lines().size(), 4u) << cut;
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(parts.lines()[i]->text, whole.lines()[i]->text) << cut;
      EXPECT_EQ(parts.lines()[i]->fields.empty(), i == 1) << cut;  // "broken" has no fields
    }
    EXPECT_EQ(parts.find(key, true), parts.lines()[3].get()) << cut;
  }
}

}  // namespace
}  // namespace tavo::test
