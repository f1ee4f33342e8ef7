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

// Round trips of every text are the fuzzer's; these are the limits.
TEST(ImaCodeset, DecodesOneSequence) {
  const std::pair<std::string, uint32_t> rows[] = {  // the bytes, then length << 24 | code point
      {"\xC2\x80", 2u << 24 | 0x80},   {"\xF0\x9F\x98\x80", 4u << 24 | 0x1F600},
      {"\xED\xA0\x80", 3u << 24 | 0xD800},          // an encoded surrogate passes
      {"\xF4\x90\x80\x80", 4u << 24 | 0x110000},   // so does what F4 can carry
      {"\xC0\x80", 0}, {"\xE0\x80\x80", 0}, {"\xF0\x80\x80\x80", 0},  // overlong forms
      {"\xE2\x82", 0}, {"\x80", 0}, {"\xF5\x80\x80\x80", 0}, {"\xE2\x28\xA1", 0},
  };
  for (const auto& [bytes, expected] : rows) {
    uint32_t code_point = 0;
    const uint32_t length = Iscsi_CodeSetOldGetUtf8(bytes.data(), bytes.data() + bytes.size(), &code_point);
    EXPECT_EQ(length << 24 | (length ? code_point : 0), expected) << bytes;
  }
  const std::pair<const char*, int32_t> lengths[] = {{"", 0}, {"a\xE2\x82\xAC", 2}, {"a\xC0\x80", -1}};
  for (const auto& [text, count] : lengths) EXPECT_EQ(Iscsi_CodeSet_LengthInCodePoints(text), count) << text;
}

TEST(ImaCodeset, EncodesUpTo10FFFF) {
  const uint32_t top[] = {0x10FFFF, 0}, beyond[] = {'a', 0x110000, 0};
  char* text = nullptr;
  ASSERT_EQ(Iscsi_CodeSet_UTF32ToUTF8(top, &text), 1);
  EXPECT_EQ(std::string(text), "\xF4\x8F\xBF\xBF");
  free(text);
  EXPECT_EQ(Iscsi_CodeSet_UTF32ToUTF8(beyond, &text), 0);
  EXPECT_EQ(text, nullptr);
  uint32_t* units = reinterpret_cast<uint32_t*>(1);
  EXPECT_EQ(Iscsi_CodeSet_UTF8ToUTF32("\xC0\x80", &units), 0);
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
  const std::pair<std::vector<IMA_WCHAR>, uint32_t> rows[] = {
      {repeated(255, 'x'), 0},
      {repeated(256, 'x'), IMA_ERROR_CONVERSION_FAILED},
      {repeated(85, 0x20AC), 0},  // 255 bytes
      {repeated(86, 0x20AC), IMA_ERROR_CONVERSION_FAILED},
      {{'a', -1, 0}, IMA_ERROR_CONVERSION_FAILED},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text.size());
    char buffer[TAVO_VALUE_SIZE];
    memset(buffer, 0x5A, sizeof buffer);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Sample_Iscsi_ToUtf8(buffer, text.data(), sizeof buffer), expected);
    const bool printed = testing::internal::GetCapturedStdout().find("Sample_Iscsi_ToUtf8:") == 0;
    EXPECT_EQ(printed, expected != 0);
    // Left as it was, or the text and NULs to the end.
    const size_t length = expected != 0 ? 0 : strlen(buffer);
    EXPECT_EQ(std::string(buffer + length, sizeof buffer - length),
              std::string(sizeof buffer - length, expected != 0 ? 0x5A : '\0'));
  }
}

TEST(ImaCodeset, LengthsComparisonsAndLocaleConversions) {
  const std::vector<IMA_WCHAR> name = {'i', 'q', 'n', 0x20AC, 0}, beyond = {'a', 0x110000, 0};
  EXPECT_EQ(Sample_Iscsi_WideLength(name.data()), 4);
  EXPECT_EQ(Sample_Iscsi_WideLength(beyond.data()), -1);
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(name.data(), "IQN\xE2\x82\xAC", 4), IMA_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(name.data(), "iqn\xE2\x82\xAC-more", 1), 0u);  // 4 x 1 bytes compared
  EXPECT_EQ(Sample_Iscsi_WideAndUtf8Cmp(beyond.data(), "a", 4), IMA_ERROR_CONVERSION_FAILED);
  EXPECT_NE(Sample_Iscsi_WideCmp(beyond.data(), name.data(), 8), 0);
  // The locale's conversions stop one short of the field and terminate it.
  IMA_WCHAR field[8];
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, "vmware-longer", 100, 8), 0u);
  EXPECT_EQ(narrow(field), "vmware-");
  EXPECT_EQ(Iscsi_Mbsnrtowcs(field, nullptr, 2, 8), IMA_ERROR_CONVERSION_FAILED);
  char bytes[4];
  testing::internal::CaptureStdout();
  EXPECT_EQ(Iscsi_Wcsnrtombs(bytes, name.data() + 3, 10, sizeof bytes), IMA_ERROR_CONVERSION_FAILED);  // no euro in C
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Converting name from wide string failed.\n");
}

}  // namespace
}  // namespace tavo::test
