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

// What plain scans give: the pieces of text between seps (the last one
// told apart when no sep ends it).
std::vector<std::pair<std::string, bool>> plain_split(std::string_view text, char sep) {
  std::vector<std::pair<std::string, bool>> out(1);
  for (const char c : text) {
    if (c != sep) {
      out.back().first.push_back(c);
      continue;
    }
    out.back().second = true;
    out.emplace_back();
  }
  return out;
}

// The texts: a separator at every place of texts up to three steps of
// sixteen, each of them at every length; the bytes one above a separator
// (which the eight-byte step flags without a separator there) beside one;
// NULs; bytes of 0x80 and above, those a separator with its top bit set
// among them; empty lines; no last line feed; files of one byte.
std::vector<std::string> texts() {
  std::vector<std::string> out = {"", "a", "\n", ",", "\0"s, "\x80", "\xac", "\x8a", "\xff", "\n\n\n"};
  for (size_t length = 1; length <= 49; ++length)
    for (size_t at = 0; at < length; ++at)
      for (const char c : {'\n', ',', '\0'}) out.push_back(std::string(length, 'x').replace(at, 1, 1, c));
  for (size_t at = 0; at < 40; ++at)
    for (const std::string& middle : {",-,-"s, "\n\x0b\n\x0b"s, "\0\x01\0\x01"s, "\xac\x8a\x80,\n\xff\xfe"s})
      out.push_back(std::string(at, 'y') + middle + std::string(at, 'y'));
  out.push_back("a,b\n\nc,d\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\ne,f");
  out.push_back(std::string(33, ',') + "\n" + std::string(31, '\n'));
  out.push_back("Corvane0,iSCSIPhysicalHBA0,LogicalHBA0,iqn.2001-04.com.example:t\xe9,10.0.0.1,3260\n");
  return out;
}

TEST(ByteScan, FindsEveryPlaceAPlainScanFinds) {
  for (const std::string& text : texts())
    for (const char c : {'\n', ',', '\0', '\x80', '\xac', '-'}) {
      SCOPED_TRACE(testing::PrintToString(text) + " byte " + std::to_string(static_cast<unsigned char>(c)));
      std::vector<size_t> want;
      for (size_t at = 0; at < text.size(); ++at)
        if (text[at] == c) want.push_back(at);
      // Stopped after each count of places (all of them last): the places
      // up to it, no more.
      for (size_t stop = 1; stop <= want.size() + 1; ++stop) {
        std::vector<size_t> got;
        iscsi::each_byte(text, c, [&](size_t at) {
          got.push_back(at);
          return got.size() < stop;
        });
        EXPECT_EQ(got, std::vector<size_t>(want.begin(), want.begin() + static_cast<ptrdiff_t>(
                                                                             std::min(stop, want.size()))));
      }
    }
}

// The splitters that use it give what plain ones give: a file's lines, a
// last one without its line feed told apart, and a line's fields.
TEST(ByteScan, LinesAndFieldsSplitAsByPlainScans) {
  for (const std::string& text : texts()) {
    SCOPED_TRACE(testing::PrintToString(text));
    std::vector<std::pair<std::string, bool>> lines, want_lines = plain_split(text, '\n');
    if (want_lines.back().first.empty()) want_lines.pop_back();
    iscsi::for_each_line(text, [&](std::string_view line, bool complete) { lines.emplace_back(line, complete); });
    EXPECT_EQ(lines, want_lines);
    // A line's fields, without its line feed; none without a comma.
    std::vector<std::string> want;
    const std::string_view line = text.ends_with('\n') ? std::string_view(text).substr(0, text.size() - 1) : text;
    if (line.find(',') != std::string_view::npos)
      for (auto& [field, comma] : plain_split(line, ',')) want.push_back(field);
    const auto fields = iscsi::split_fields(text);
    EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.end()), want);
    std::string_view room[3];
    ASSERT_EQ(iscsi::split_fields(text, room), want.size());
    for (size_t i = 0; i < std::size(room) && i < want.size(); ++i) EXPECT_EQ(room[i], want[i]);
  }
}

}  // namespace
}  // namespace tavo::test
