// The parsed view of a saved file read in two parts, as when a writer
// appended to it between two reads, holds what a read of the whole holds.
#include "iscsi/common/saved_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"

namespace tavo::test {
namespace {

using iscsi::Saved;
using iscsi::SavedView;

TEST(SavedView, AppendedPartsReadAsTheWhole) {
  const std::string good = "Corvane0,iSCSIPhysicalHBA0,LogicalHBA0,Yes,Yes,None,None,None,,,,,P,P,Preferred";
  const std::string text = good + "\n\nbroken\n" + good + "x\n" + "Corvane1," + good.substr(9);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SavedView whole(Saved::Initiator), parts(Saved::Initiator);
    whole.load(text);
    parts.load(text.substr(0, cut));
    // A lookup before the second part: its index must follow the lines.
    const std::vector<iscsi::Match> key = {{iscsi::Field::Logical, "logicalhba0"}};
    parts.find(key);
    const size_t feed = text.rfind('\n', cut == 0 ? 0 : cut - 1);
    parts.append(text.substr(cut == 0 || feed == std::string::npos ? 0 : feed + 1));
    ASSERT_EQ(parts.lines().size(), 4u) << cut;
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(parts.lines()[i]->text, whole.lines()[i]->text) << cut;
      EXPECT_EQ(parts.lines()[i]->fields().empty(), i == 1) << cut;  // "broken" has no fields
    }
    EXPECT_EQ(parts.find(key, true), parts.lines()[3]) << cut;
  }
}

// Two texts of a field compare alike exactly when their comparable texts
// are the same, and then hash alike: ports by number (those saved in
// decimal taken as they are), names without case, across the pieces a
// long text is folded in.
TEST(SavedRecords, TextsThatCompareAlikeHashAlike) {
  using iscsi::Compare;
  const std::string upper(100, 'Q'), lower(100, 'q');
  const std::string late = lower.substr(0, 70) + "r" + lower.substr(71);
  const struct {
    Compare compare;
    std::string a, b;
    bool alike;
  } cases[] = {
      {Compare::Port, "3260", "3260", true},     {Compare::Port, "0xCBC", "3260", true},
      {Compare::Port, "+3260", "3260", true},    {Compare::Port, "03260", "1712", true},
      {Compare::Port, "0", "00", true},          {Compare::Port, "65535", "0xFFFF", true},
      {Compare::Port, "65536", "0x10000", false}, {Compare::Port, "3260", "3261", false},
      {Compare::Port, "32a0", "32a0", true},     {Compare::NoCase, upper, lower, true},
      {Compare::NoCase, upper, late, false},     {Compare::NoCase, "Iqn.A", "iqn.a", true},
      {Compare::Exact, "Iqn.A", "iqn.a", false}, {Compare::NoCase, "", "", true},
      // Names folded eight bytes at a time: the letters' neighbours stay,
      // other bytes than ASCII as a byte at a time folds them.
      {Compare::NoCase, "@[`{", "`{@[", false},  {Compare::NoCase, "IQN.1234Z", "iqn.1234z", true},
      {Compare::NoCase, "iQN.\xC3\x89T", "Iqn.\xC3\x89t", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(iscsi::comparable(c.compare, c.a) == iscsi::comparable(c.compare, c.b), c.alike);
    EXPECT_EQ(iscsi::same_comparable(c.compare, c.a, c.b), c.alike);
    if (c.alike) {
      EXPECT_EQ(iscsi::comparable_hash(c.compare, c.a), iscsi::comparable_hash(c.compare, c.b));
    }
  }
  EXPECT_EQ(iscsi::decimal_port("0x10000"), "0x10000");  // no port: kept as given
  EXPECT_EQ(iscsi::decimal_port("+80"), "80");
}

// A port reads as the tree reads a number (automatic base, a sign), from 0
// to 65535: digits as ports are saved, read without a parse, alike.
TEST(SavedRecords, PortsReadAsTheTreeReadsANumber) {
  const struct {
    std::string text;
    bool port;
    uint32_t number;
  } cases[] = {
      {"3260", true, 3260},  {"0", true, 0},        {"65535", true, 65535}, {"65536", false, 0},
      {"99999", false, 0},   {"100000", false, 0},  {"00", true, 0},        {"010", true, 8},
      {"08", false, 0},      {"0x50", true, 80},    {"+80", true, 80},      {"-1", false, 0},
      {"", false, 0},        {"80 ", false, 0},     {std::string("80\0", 3), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t number = 12345;
    EXPECT_EQ(iscsi::port_number(c.text, &number), c.port);
    EXPECT_EQ(number, c.port ? c.number : 12345u);
  }
}

// A line's fields: split at every comma, the empty ones kept, none without
// a comma; room for fewer fields takes the first and counts them all.
TEST(SavedRecords, FieldsSplitAtEveryComma) {
  const struct {
    std::string line;
    std::vector<std::string> fields;
  } cases[] = {
      {"", {}},
      {"no comma\n", {}},
      {",", {"", ""}},
      {"a,-b,,c-,\n", {"a", "-b", "", "c-", ""}},  // a byte after a comma
      {"1234567,9abcdef,", {"1234567", "9abcdef", ""}},  // commas at the end of eight bytes
      {",,,,,,,,,x", {"", "", "", "", "", "", "", "", "", "x"}},
      // commas at the end and the start of sixteen bytes
      {"0123456789abcde,0123456789abcdef,,x", {"0123456789abcde", "0123456789abcdef", "", "x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::vector<std::string>& want = c.fields;
    const auto got = iscsi::split_fields(c.line);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), want);
    std::string_view room[2];
    EXPECT_EQ(iscsi::split_fields(c.line, room), want.size());
    for (size_t i = 0; i < 2 && i < want.size(); ++i) EXPECT_EQ(room[i], want[i]);
  }
}

// The lookups asked before a reread, an append, an edit that drops lines
// and one that changes a line's key keep answering as a view freshly read
// from the same lines does, without being asked anew; also when every key
// hashes alike, so that only comparing the texts tells them apart. The
// fields of every line stay those of its text.
class SavedViewIndexTest : public SimTest, public testing::WithParamInterface<bool> {
 protected:
  void TearDown() override {
    SavedView::colliding_keys_for_tests(false);
    SimTest::TearDown();
  }
};

INSTANTIATE_TEST_SUITE_P(Hashes, SavedViewIndexTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Colliding" : "Spread"; });

TEST_P(SavedViewIndexTest, LookupsFollowEveryChangeOfTheLines) {
  const bool colliding = GetParam();
  // Initiator lines, logical HBA k of controller c.
  const auto line = [](int c, int k, const char* r2t = "Yes") {
    return "Corvane" + std::to_string(c) + ",iSCSIPhysicalHBA0,LogicalHBA" + std::to_string(k) + "," + r2t +
           ",Yes,None,None,None,,,,,P,P,P";
  };
  const auto text = [](const std::vector<std::string>& lines) {
    std::string t;
    for (const std::string& l : lines) t += l + "\n";
    return t;
  };
  using iscsi::Field;
  const std::vector<std::vector<iscsi::Match>> lookups = {
      {{Field::Logical, "logicalhba1"}},
      {{Field::Controller, "corvane0"}, {Field::Logical, "logicalhba2"}},
      {{Field::Controller, "corvane1"}},
  };
  SavedView::colliding_keys_for_tests(colliding);
  SavedView view(Saved::Initiator);
  for (const auto& l : lookups) view.find(l);  // every lookup indexed before the changes
  struct Step {
    const char* what;
    std::function<void()> change;
  } steps[] = {
      {"read", [&] { view.load(text({line(0, 1), line(0, 2), line(1, 1), line(0, 2, "No"), line(1, 3)})); }},
      {"appended, the last line without its feed",
       [&] { view.append(line(0, 1, "No") + "\n" + line(1, 2).substr(0, 20)); }},
      {"its line completed", [&] { view.append(line(1, 2) + "\n"); }},
      {"lines dropped", [&] { view.edited({}, {0, 3}, 0); }},
      {"a line moved to another key", [&] { view.edited({{0, line(1, 1, "No")}}, {}, 0); }},
      {"read again, one key on several lines",
       [&] {
         view.load(text({line(0, 2), line(0, 1), line(0, 2, "No"), line(1, 1), line(0, 2), line(0, 1, "No"),
                         line(0, 2, "No")}));
       }},
      {"the first and the last of a key dropped, one between kept", [&] { view.edited({}, {0, 6}, 0); }},
      {"a line moved into a key whose lines lie before and after it",
       [&] { view.edited({{2, line(0, 2, "Yes")}}, {}, 0); }},
      {"lines changed and dropped at once", [&] { view.edited({{0, line(1, 3)}, {3, line(0, 1)}}, {1, 4}, 0); }},
      {"appended after the drops", [&] { view.append(line(0, 2) + "\n" + line(1, 1, "No") + "\n"); }},
      {"every line dropped", [&] { view.edited({}, {0, 1, 2, 3, 4}, 0); }},
      {"appended to nothing", [&] { view.append(line(0, 1) + "\n" + line(0, 2) + "\n"); }},
      {"read again, many keys and many lines of one key",
       [&] {
         std::vector<std::string> many;
         for (int i = 0; i < 1500; ++i) many.push_back(line(i % 2, i % 500, i % 3 == 0 ? "No" : "Yes"));
         view.load(text(many));
       }},
      {"all but a few of them dropped",
       [&] {
         std::vector<uint32_t> dropped;
         for (uint32_t i = 0; i < 1500; ++i)
           if (i != 1 && i != 2 && i != 501 && i != 1499) dropped.push_back(i);
         view.edited({}, dropped, 0);
       }},
      {"appended after them", [&] { view.append(line(0, 1) + "\n" + line(1, 2, "No") + "\n"); }},
      {"read again", [&] { view.load(text({line(1, 1), line(0, 2)})); }},
      {"a line longer than its places can tell appended and changed",
       [&] {
         view.append(line(0, 2, std::string(70000, 'Y').c_str()) + "\n" + line(1, 3) + "\n");
         view.edited({{3, line(1, 3, std::string(65536, 'N').c_str())}}, {}, 0);
       }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    SavedView::colliding_keys_for_tests(colliding);
    step.change();
    std::vector<const SavedView::Line*> got;
    for (const auto& l : lookups)
      for (bool last : {false, true}) got.push_back(view.find(l, last));
    for (const SavedView::Line* l : view.lines()) {  // the fields follow their line's bytes wherever they go
      const auto split = iscsi::split_fields(l->text);
      const bool well_formed = iscsi::well_formed(Saved::Initiator, split);
      EXPECT_TRUE(std::ranges::equal(l->fields(), well_formed ? split : decltype(split)())) << l->text;
      for (size_t i = 0; well_formed && i < split.size(); ++i) EXPECT_EQ(l->field(i), split[i]) << l->text;
    }
    // The answers a view with its keys spread gives.
    SavedView::colliding_keys_for_tests(false);
    std::vector<std::string> lines;
    for (const auto& l : view.lines()) lines.emplace_back(l->text);
    SavedView fresh(Saved::Initiator);
    fresh.load(text(lines));
    size_t i = 0;
    for (const auto& l : lookups)
      for (bool last : {false, true}) {
        const SavedView::Line* want = fresh.find(l, last);
        EXPECT_EQ(got[i] != nullptr ? got[i]->text : "none", want != nullptr ? want->text : "none") << l[0].value;
        ++i;
      }
  }
}

}  // namespace
}  // namespace tavo::test
