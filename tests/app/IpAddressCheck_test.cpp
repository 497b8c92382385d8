#include "app/IpAddressCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/Utf.h"

TEST(IsValidIPAddress, AcceptsDottedQuadsWithoutLeadingZeros) {
  const struct {
    const char16_t* text;
    bool valid;
  } kCases[] = {
      {u"192.168.1.5", true},
      {u"0.0.0.0", true},
      {u"255.255.255.255", true},
      {u"255.0.255.0", true},
      {u"192.168.001.5", false},
      {u"192.168.1", false},
      {u"192.168.1.256", false},
      {u"192..168.1", false},
      {u"192.168..1.5", false},
      {u"+1.2.3.4", false},
      {u"-1.2.3.4", false},
      {u"1.2.3.4x", false},
      {u"1.2.3.4.5", false},
      {u"1.2.3.00", false},
      {u"1.2.3.4294967301", false},  // would wrap to 5 without saturation
      {u"1.2. 3.4", false},
      // Trimmed at both ends with the wide white-space classification.
      {u" 192.168.1.5 ", true},
      {u"\t192.168.1.5\r\n", true},
      // One dot at either end is dropped by the split, two are not.
      {u"192.168.1.5.", true},
      {u".192.168.1.5", true},
      {u"..192.168.1.5", false},
      {u"192.168.1.5..", false},
      {u"", false},
      {u"   ", false},
      {u"abc", false},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(row.text));
    EXPECT_EQ(IsValidIPAddress(row.text), row.valid);
  }
}

TEST(WideTextToInt, FollowsTheRuntimeConversion) {
  const struct {
    const char16_t* text;
    int32_t value;
  } kCases[] = {
      {u"131", 131},
      {u"  42", 42},
      {u"+7", 7},
      {u"-12", -12},
      {u"131?x", 131},
      {u"", 0},
      {u"x5", 0},
      {u"- 5", 0},
      {u"2147483647", std::numeric_limits<int32_t>::max()},
      {u"99999999999", std::numeric_limits<int32_t>::max()},
      {u"-2147483648", std::numeric_limits<int32_t>::min()},
      {u"-99999999999", std::numeric_limits<int32_t>::min()},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(row.text));
    EXPECT_EQ(WideTextToInt(row.text), row.value);
  }
}
