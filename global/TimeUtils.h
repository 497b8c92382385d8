// Date and time texts in the user's locale for the log's time stamp.
#pragma once

#include <string>

#include "platform/LocalTime.h"

// Long date, time, and the two joined by one blank.
std::u16string GetDateText(const platform::LocalTime& time);
std::u16string GetTimeText(const platform::LocalTime& time);
std::u16string GetDateTimeText(const platform::LocalTime& time);
