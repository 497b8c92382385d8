// Local time and the user's locale date and time formats (ICU).
#pragma once

#include <string>

namespace platform {

struct LocalTime {
  int year = 1899, month = 12, day = 30;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

LocalTime GetLocalTime();
// Full-style date ("Tuesday, June 2, 2015") and medium-style time
// ("3:04:05 PM", U+202F turned into a plain space) in the given ICU locale;
// empty on failure.
std::u16string FormatLongDate(const LocalTime& time, const std::string& localeName);
std::u16string FormatTime(const LocalTime& time, const std::string& localeName);

}  // namespace platform
