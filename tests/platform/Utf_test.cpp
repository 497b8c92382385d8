#include "platform/Utf.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf, RoundTripsAndReplacesInvalidInput) {
  struct Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"empty", "", u""},
      {"ASCII", "find qenbox", u"find qenbox"},
      {"CJK", "\xE4\xB8\xAD\xE6\x96\x87", u"\u4E2D\u6587"},
      {"outside the BMP", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(platform::Utf16ToUtf8(c.utf16), c.utf8);
  }
  EXPECT_EQ(platform::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(platform::Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");
  EXPECT_EQ(platform::Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
}

}  // namespace
