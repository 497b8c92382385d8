#include "global/TimeUtils.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Utf.h"
#include "tests/support/ScopedEnv.h"

namespace {

std::string Show(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

using tests::ScopedEnv;

platform::LocalTime At(int year, int month, int day, int hour, int minute, int second) {
  platform::LocalTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

TEST(DateTimeText, LongDateOneBlankTimeInTheUserLocale) {
  struct Case {
    const char* locale;
    platform::LocalTime time;
    std::u16string expected;
  };
  const Case cases[] = {
      {"en_US.UTF-8", At(2015, 6, 2, 15, 4, 5), u"Tuesday, June 2, 2015 3:04:05 PM"},
      {"en_US.UTF-8", At(2000, 1, 1, 0, 0, 0), u"Saturday, January 1, 2000 12:00:00 AM"},
      {"zh_CN.UTF-8", At(2015, 6, 2, 15, 4, 5), u"2015\u5E746\u67082\u65E5\u661F\u671F\u4E8C 15:04:05"},
      {"C", At(2015, 6, 2, 15, 4, 5), u"Tuesday, June 2, 2015 3:04:05 PM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    ScopedEnv all("LC_ALL", std::string(c.locale));
    EXPECT_EQ(Show(GetDateTimeText(c.time)), Show(c.expected));
    EXPECT_EQ(GetDateTimeText(c.time), GetDateText(c.time) + u" " + GetTimeText(c.time));
  }
}

TEST(DateTimeText, FieldsOutOfRangeGiveEmptyParts) {
  ScopedEnv all("LC_ALL", std::string("en_US.UTF-8"));
  EXPECT_EQ(GetDateText(At(2015, 13, 2, 0, 0, 0)), u"");
  EXPECT_EQ(GetTimeText(At(2015, 6, 2, 25, 0, 0)), u"");
  EXPECT_EQ(GetDateTimeText(At(2015, 2, 30, 0, 0, 0)), u" ");
}

TEST(DateTimeText, CurrentTimeFormats) {
  const platform::LocalTime now = platform::GetLocalTime();
  EXPECT_GE(now.year, 2020);
  const std::u16string text = GetDateTimeText(now);
  EXPECT_GT(text.size(), 10u);
  EXPECT_LT(text.size(), 260u);
  EXPECT_EQ(text.find(u'\u202F'), std::u16string::npos);
}

}  // namespace
