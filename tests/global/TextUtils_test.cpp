#include "global/TextUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <climits>

#include "platform/Utf.h"

namespace {

using ::testing::ElementsAreArray;
using Texts = std::vector<std::u16string>;

std::string Show(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

TEST(SplitText, PartsFollowTheSeparatorRules) {
  struct Case {
    const char* name;
    std::u16string text;
    char16_t sep;
    Texts expected;
  };
  const Case cases[] = {
      {"leading and trailing separators, empty middle part", u",a,,b,", u',', {u"a", u"", u"b"}},
      {"one letter", u"a", u',', {u"a"}},
      {"empty text", u"", u',', {}},
      {"only the separator", u",", u',', {u""}},
      {"two separators", u",,", u',', {u""}},
      {"CR LF lines", u"x\r\ny\r\n", u'\n', {u"x", u"y"}},
      {"only one CR dropped", u"a\r\r\nb", u'\n', {u"a\r", u"b"}},
      {"empty CR LF line kept", u"a\r\n\r\nb", u'\n', {u"a", u"", u"b"}},
      {"one leading line feed skipped", u"\n\nx", u'\n', {u"", u"x"}},
      {"CR kept for other separators", u"a\r,b", u',', {u"a\r", u"b"}},
      {"address parts", u"192.0.2.1", u'.', {u"192", u"0", u"2", u"1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Texts parts;
    EXPECT_TRUE(SplitText(c.text, c.sep, parts));
    EXPECT_THAT(parts, ElementsAreArray(c.expected));
  }
}

TEST(SplitText, AppendsToTheList) {
  Texts parts = {u"old"};
  SplitText(u"a,b", u',', parts);
  EXPECT_THAT(parts, ElementsAreArray(Texts{u"old", u"a", u"b"}));
}

TEST(JoinLines, UsesCrLfBetweenNeighboursOnly) {
  EXPECT_EQ(JoinLines({}), u"");
  EXPECT_EQ(JoinLines({u"a"}), u"a");
  EXPECT_EQ(JoinLines({u"a", u"", u"b"}), u"a\r\n\r\nb");
}

TEST(GetLineValue, FindsTheFirstKeyLine) {
  const Texts lines = {u"HTTP/1.1 200 OK", u"  Content-Type= text/html ; charset=utf-8 \t",
                       u"X=1", u"x=2", u"=empty key", u"Spaced =no"};
  struct Case {
    const char* name;
    std::u16string key;
    std::u16string expected;
  };
  const Case cases[] = {
      {"key in other case, value trimmed", u"content-type", u"text/html ; charset=utf-8"},
      {"key with a trailing blank finds nothing", u"content-type ", u""},
      {"key prefix without '=' finds nothing", u"Content", u""},
      {"first match wins", u"x", u"1"},
      {"empty key matches a line starting with '='", u"", u"empty key"},
      {"blank before '=' never matches", u"Spaced", u""},
      {"missing key", u"Server", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Show(GetLineValue(lines, c.key)), Show(c.expected));
  }
  EXPECT_EQ(GetLineValue({}, u"x"), u"");
}

TEST(IntToText, SignedDecimalWithoutGrouping) {
  const std::pair<int32_t, std::u16string> cases[] = {
      {0, u"0"}, {-1, u"-1"}, {12029, u"12029"}, {INT32_MAX, u"2147483647"},
      {INT32_MIN, u"-2147483648"}};
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(IntToText(value), expected);
  }
}

TEST(FormatText, FillsPlaceholdersWithoutRescanning) {
  struct Case {
    const char* name;
    std::u16string format;
    std::u16string p1, p2, p3;
    std::u16string expected;
  };
  const Case cases[] = {
      {"%4-%9 empty, %a dropped, lone % stays", u"%1 and %2 and %5%a%", u"x", u"y", u"", u"x and y and %"},
      {"inserted text not rescanned", u"%1%2", u"%2", u"B", u"", u"%2B"},
      {"inserted %a not removed", u"%1", u"%a", u"", u"", u"%a"},
      {"third parameter", u"%3%2%1", u"a", u"b", u"c", u"cba"},
      {"missing parameter is empty", u"[%2]", u"a", u"", u"", u"[]"},
      {"trailing percent", u"100%", u"", u"", u"", u"100%"},
      {"double percent", u"%%1", u"x", u"", u"", u"%x"},
      {"%0 and other letters stay", u"%0%b%A", u"x", u"", u"", u"%0%b%A"},
      {"%a then placeholder", u"%a%1", u"z", u"", u"", u"z"},
      {"only %a", u"%a", u"", u"", u"", u""},
      {"empty format", u"", u"x", u"", u"", u""},
      {"format in use", u"GetLastError()=%1", u"87", u"", u"", u"GetLastError()=87"},
      {"placeholder at the end", u"Failed to send request: %1", u"timeout", u"", u"",
       u"Failed to send request: timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Show(FormatText(c.format, c.p1, c.p2, c.p3)), Show(c.expected));
  }
  EXPECT_EQ(FormatText(u"%1|%2|%3"), u"||");
}

TEST(IsWideSpace, MatchesIcuSpaceClassification) {
  for (uint32_t ch = 0; ch <= 0xFFFF; ++ch) {
    ASSERT_EQ(IsWideSpace(static_cast<char16_t>(ch)), static_cast<bool>(u_isspace(ch)))
        << "U+" << std::hex << ch;
  }
}

TEST(TrimText, RemovesWideSpaceAtBothEnds) {
  EXPECT_EQ(TrimText(u"\t\r\n x y \u3000\u00A0"), u"x y");
  EXPECT_EQ(TrimText(u" \t "), u"");
  EXPECT_EQ(TrimText(u"\u200Bx"), u"\u200Bx");  // zero width space is no space
}

TEST(CaseInsensitiveCompare, FoldsAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase(u"Content-TYPE", u"content-type"));
  EXPECT_FALSE(EqualsNoCase(u"\u00C9", u"\u00E9"));
  EXPECT_FALSE(EqualsNoCase(u"abc", u"ab"));
  EXPECT_TRUE(StartsWithNoCase(u"STATIC ip", u"static"));
  EXPECT_FALSE(StartsWithNoCase(u"st", u"static"));
  EXPECT_EQ(ToLowerText(u"StAtIc \u00C9"), u"static \u00C9");
}

}  // namespace
