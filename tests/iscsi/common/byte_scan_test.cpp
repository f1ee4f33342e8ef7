// The scan that splits saved lines finds what a plain byte-by-byte scan
// finds, wherever the bytes fall against its sixteen- and eight-byte steps.
#include "iscsi/common/byte_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "iscsi/common/saved_records.h"

namespace tavo::test {
namespace {

using namespace std::string_literals;

std::vector<size_t> plain_places(std::string_view text, char c) {
  std::vector<size_t> out;
  for (size_t at = 0; at < text.size(); ++at)
    if (text[at] == c) out.push_back(at);
  return out;
}

std::vector<std::pair<std::string, bool>> plain_lines(std::string_view text) {
  std::vector<std::pair<std::string, bool>> out;
  std::string line;
  for (const char c : text) {
    if (c != '\n') {
      line.push_back(c);
      continue;
    }
    out.emplace_back(line, true);
    line.clear();
  }
  if (!line.empty()) out.emplace_back(line, false);
  return out;
}

std::vector<std::string> plain_fields(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (line.find(',') == std::string_view::npos) return {};
  std::vector<std::string> out(1);
  for (const char c : line) {
    if (c == ',')
      out.emplace_back();
    else
      out.back().push_back(c);
  }
  return out;
}

// The texts: a separator at every place of texts up to three steps of
// sixteen, each of them at every length; the bytes one above a separator
// (which the eight-byte step flags without a separator there) beside one;
// NULs; bytes of 0x80 and above, those a separator with its top bit set
// among them; empty lines; no last line feed; files of one byte.
std::vector<std::string> texts() {
  std::vector<std::string> out = {"", "a", "\n", ",", "\0"s, "\x80", "\xac", "\x8a", "\xff"};
  for (size_t length = 1; length <= 49; ++length)
    for (size_t at = 0; at < length; ++at) {
      std::string t(length, 'x');
      t[at] = '\n';
      out.push_back(t);
      t[at] = ',';
      out.push_back(t);
      t[at] = '\0';
      out.push_back(t);
    }
  for (size_t at = 0; at < 40; ++at) {
    std::string t(at, 'y');
    out.push_back(t + ",-,-" + t);
    out.push_back(t + "\n\x0b\n\x0b" + t);
    out.push_back(t + "\0\x01\0\x01"s + t);
    out.push_back(t + "\xac\x8a\x80,\n\xff\xfe" + t);
  }
  out.push_back("\n\n\n");
  out.push_back("a,b\n\nc,d\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\ne,f");
  out.push_back(std::string(33, ',') + "\n" + std::string(31, '\n'));
  out.push_back("Corvane0,iSCSIPhysicalHBA0,LogicalHBA0,iqn.2001-04.com.example:t\xe9,10.0.0.1,3260\n");
  return out;
}

TEST(ByteScan, FindsEveryPlaceAPlainScanFinds) {
  for (const std::string& text : texts())
    for (const char c : {'\n', ',', '\0', '\x80', '\xac', '-'}) {
      SCOPED_TRACE(testing::PrintToString(text) + " byte " + std::to_string(static_cast<unsigned char>(c)));
      const std::vector<size_t> want = plain_places(text, c);
      std::vector<size_t> got;
      iscsi::each_byte(text, c, [&](size_t at) {
        got.push_back(at);
        return true;
      });
      EXPECT_EQ(got, want);
      // Stopped after each count of places: the places up to it, no more.
      for (size_t stop = 1; stop < want.size(); ++stop) {
        std::vector<size_t> first;
        iscsi::each_byte(text, c, [&](size_t at) {
          first.push_back(at);
          return first.size() < stop;
        });
        EXPECT_EQ(first, std::vector<size_t>(want.begin(), want.begin() + static_cast<ptrdiff_t>(stop)));
      }
    }
}

// The splitters that use it give what plain ones give: a file's lines, a
// last one without its line feed told apart, and a line's fields.
TEST(ByteScan, LinesAndFieldsSplitAsByPlainScans) {
  for (const std::string& text : texts()) {
    SCOPED_TRACE(testing::PrintToString(text));
    std::vector<std::pair<std::string, bool>> lines;
    iscsi::for_each_line(text, [&](std::string_view line, bool complete) { lines.emplace_back(line, complete); });
    EXPECT_EQ(lines, plain_lines(text));
    const auto fields = iscsi::split_fields(text);
    EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.end()), plain_fields(text));
    std::string_view room[3];
    const std::vector<std::string> want = plain_fields(text);
    ASSERT_EQ(iscsi::split_fields(text, room), want.size());
    for (size_t i = 0; i < std::size(room) && i < want.size(); ++i) EXPECT_EQ(room[i], want[i]);
  }
}

}  // namespace
}  // namespace tavo::test
