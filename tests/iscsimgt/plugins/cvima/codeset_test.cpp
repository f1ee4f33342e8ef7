// UTF-8 and wide texts: the decoder's limits, the encoder's range, and the
// fixed-length fields of the host's records, which never take a cut text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

std::vector<IMA_WCHAR> repeated(size_t n, IMA_WCHAR c) {
  std::vector<IMA_WCHAR> out(n, c);
  out.push_back(0);
  return out;
}

TEST(ImaCodeset, DecodesOneSequence) {
  struct Row {
    std::string bytes;
    uint32_t length, code_point;
  } rows[] = {
      {"A", 1, 0x41},
      {"\xC2\x80", 2, 0x80},
      {"\xE2\x82\xAC", 3, 0x20AC},
      {"\xF0\x9F\x98\x80", 4, 0x1F600},
      {"\xED\xA0\x80", 3, 0xD800},        // an encoded surrogate passes
      {"\xF4\x90\x80\x80", 4, 0x110000},  // so does what F4 can carry
      {"\xC0\x80", 0, 0},                 // overlong forms
      {"\xE0\x80\x80", 0, 0},
      {"\xF0\x80\x80\x80", 0, 0},
      {"\xE2\x82", 0, 0},  // cut short
      {"\x80", 0, 0},
      {"\xF5\x80\x80\x80", 0, 0},
      {"\xE2\x28\xA1", 0, 0},  // a following byte not of the form 10xxxxxx
  };
  for (const Row& r : rows) {
    uint32_t code_point = 0;
    EXPECT_EQ(Iscsi_CodeSetOldGetUtf8(r.bytes.data(), r.bytes.data() + r.bytes.size(), &code_point), r.length)
        << r.bytes;
    if (r.length != 0) {
      EXPECT_EQ(code_point, r.code_point) << r.bytes;
    }
  }
  const std::pair<const char*, int32_t> lengths[] = {{"", 0}, {"iqn", 3}, {"a\xE2\x82\xAC", 2}, {"a\xC0\x80", -1}};
  for (const auto& [text, count] : lengths) EXPECT_EQ(Iscsi_CodeSet_LengthInCodePoints(text), count) << text;
}

TEST(ImaCodeset, EncodesUpTo10FFFFAndRoundTrips) {
  const std::pair<uint32_t, std::string> rows[] = {
      {0x7F, "\x7F"},           {0x80, "\xC2\x80"},         {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},  {0xD800, "\xED\xA0\x80"},   {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [c, bytes] : rows) {
    const uint32_t units[] = {c, 0};
    char* text = nullptr;
    ASSERT_EQ(Iscsi_CodeSet_UTF32ToUTF8(units, &text), 1) << c;
    EXPECT_EQ(std::string(text), bytes);
    uint32_t* back = nullptr;
    ASSERT_EQ(Iscsi_CodeSet_UTF8ToUTF32(text, &back), 1);
    EXPECT_EQ(back[0], c);
    EXPECT_EQ(back[1], 0u);
    free(text);
    free(back);
  }
  const uint32_t beyond[] = {'a', 0x110000, 0};
  char* text = reinterpret_cast<char*>(1);
  EXPECT_EQ(Iscsi_CodeSet_UTF32ToUTF8(beyond, &text), 0);
  EXPECT_EQ(text, nullptr);
  uint32_t* units = reinterpret_cast<uint32_t*>(1);
  EXPECT_EQ(Iscsi_CodeSet_UTF8ToUTF32("\xC0\x80", &units), 0);
  EXPECT_EQ(units, nullptr);
  EXPECT_EQ(Iscsi_CodeSet_UTF8ToUTF32(nullptr, &units), 1);  // nothing to convert
  EXPECT_EQ(units, nullptr);
}

TEST(ImaCodeset, WideFieldsTakeWholeTextsOnly) {
  struct Row {
    std::string text;
    uint32_t expected;
  } rows[] = {
      {std::string(223, 'a'), 0},
      {std::string(224, 'a'), IMA_ERROR_CONVERSION_FAILED},
      {"", 0},
      {"\xE2\x82\xAC" + std::string(222, 'b'), 0},  // counted in code points
      {"bad\xC0\x80", IMA_ERROR_CONVERSION_FAILED},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text.size());
    IMA_NODE_NAME field;
    for (IMA_WCHAR& c : field) c = 0x5A5A;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Sample_Iscsi_ToWide(field, r.text.c_str(), IMA_NODE_NAME_LENGTH), r.expected);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (r.expected != 0) {
      EXPECT_TRUE(std::regex_match(printed, std::regex("Sample_Iscsi_ToWide:[0-9]+: imaStatus:0x80000004\n")))
          << printed;
      for (IMA_WCHAR c : field) ASSERT_EQ(c, 0x5A5A);  // left as it was
      continue;
    }
    EXPECT_EQ(printed, "");
    char back[TAVO_VALUE_SIZE];
    ASSERT_EQ(Sample_Iscsi_ToUtf8(back, field, sizeof back), 0u);
    EXPECT_EQ(back, r.text);
    for (size_t i = Iscsi_CodeSet_LengthInCodePoints(r.text.c_str()); i < IMA_NODE_NAME_LENGTH; ++i)
      ASSERT_EQ(field[i], 0) << i;
  }
}

TEST(ImaCodeset, Utf8BuffersNeverLoseTheirTerminator) {
  struct Row {
    std::vector<IMA_WCHAR> text;
    uint32_t expected;
  } rows[] = {
      {repeated(255, 'x'), 0},
      {repeated(256, 'x'), IMA_ERROR_CONVERSION_FAILED},
      {repeated(85, 0x20AC), 0},  // 255 bytes
      {repeated(86, 0x20AC), IMA_ERROR_CONVERSION_FAILED},
      {{'a', 0x110000, 0}, IMA_ERROR_CONVERSION_FAILED},
      {{'a', -1, 0}, IMA_ERROR_CONVERSION_FAILED},
      {{0}, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text.size());
    char buffer[TAVO_VALUE_SIZE];
    memset(buffer, 0x5A, sizeof buffer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Sample_Iscsi_ToUtf8(buffer, r.text.data(), sizeof buffer), r.expected);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (r.expected != 0) {
      EXPECT_NE(printed.find("Sample_Iscsi_ToUtf8:"), std::string::npos);
      EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 0x5A));
      continue;
    }
    const size_t length = strlen(buffer);
    EXPECT_EQ(std::string(buffer + length, sizeof buffer - length), std::string(sizeof buffer - length, '\0'));
  }
}

TEST(ImaCodeset, LengthsAndComparisons) {
  const std::vector<IMA_WCHAR> name = {'i', 'q', 'n', 0x20AC, 0};
  EXPECT_EQ(Sample_Iscsi_WideLength(name.data()), 4);
  const std::vector<IMA_WCHAR> beyond = {'a', 0x110000, 0};
  EXPECT_EQ(Sample_Iscsi_WideLength(beyond.data()), -1);
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(name.data(), "iqn\xE2\x82\xAC", 4), 0u);
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(name.data(), "IQN\xE2\x82\xAC", 4), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(name.data(), "iqn\xE2\x82\xAC-more", 1), 0u);  // 4 x 1 bytes compared
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(beyond.data(), "a", 4), IMA_ERROR_CONVERSION_FAILED);
  const std::vector<IMA_WCHAR> other = {'i', 'q', 'o', 0};
  EXPECT_LT(Sample_Iscsi_WideCmp(name.data(), other.data(), 8), 0);
  EXPECT_EQ(Sample_Iscsi_WideCmp(name.data(), name.data(), 8), 0);
  EXPECT_NE(Sample_Iscsi_WideCmp(beyond.data(), name.data(), 8), 0);
}

TEST(ImaCodeset, LocaleConversionsStayInsideTheirBuffers) {
  IMA_WCHAR field[8];
  for (IMA_WCHAR& c : field) c = 0x5A5A;
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, "vmware-longer", 100, 8), 0u);
  EXPECT_EQ(narrow(field), "vmware-");
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, "vmware", 2, 8), 0u);
  EXPECT_EQ(narrow(field), "vm");
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, nullptr, 2, 8), IMA_ERROR_CONVERSION_FAILED);
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, "x", 2, 0), IMA_ERROR_CONVERSION_FAILED);
  char bytes[4];
  const std::vector<IMA_WCHAR> text = {'a', 'b', 'c', 'd', 'e', 0};
  EXPECT_EQ(Iscsi_Wcsnrtombs(bytes, text.data(), 10, sizeof bytes), 0u);
  EXPECT_STREQ(bytes, "abc");
  testing::internal::CaptureStdout();
  const std::vector<IMA_WCHAR> unmappable = {0x20AC, 0};  // the C locale has no euro sign
  EXPECT_EQ(Iscsi_Wcsnrtombs(bytes, unmappable.data(), 10, sizeof bytes), IMA_ERROR_CONVERSION_FAILED);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Converting name from wide string failed.\n");
}

TEST(ImaCodesetDeathTest, BrokenPreconditionsStop) {
  const char text[] = "a";
  EXPECT_DEATH(Iscsi_CodeSetOldGetUtf8(text, text, nullptr),
               "iscsimgt/plugins/cvima/esx50_codeset:[0-9]+: .*Assertion `string < end' failed");
  EXPECT_DEATH(Sample_Iscsi_ToWide(nullptr, "a", 4), "esx50_wrap:[0-9]+: .*Assertion `dest' failed");
}

}  // namespace
}  // namespace tavo::test
