#include "global/TimeUtils.h"

#include "platform/Locale.h"

std::u16string GetDateText(const platform::LocalTime& time) {
  return platform::FormatLongDate(time, platform::GetUserLocaleName());
}

std::u16string GetTimeText(const platform::LocalTime& time) {
  return platform::FormatTime(time, platform::GetUserLocaleName());
}

std::u16string GetDateTimeText(const platform::LocalTime& time) {
  return GetDateText(time) + u" " + GetTimeText(time);
}
