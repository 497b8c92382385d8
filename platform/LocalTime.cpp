#include "platform/LocalTime.h"

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <ctime>
#include <memory>

namespace platform {

namespace {

enum class Kind { kLongDate, kTime };

// One formatter per thread, kind and locale: ICU formatters are not shared
// between threads, and building one per log line is slow.
struct FormatterCache {
  std::string localeName;
  std::unique_ptr<icu::DateFormat> formatter;
};

icu::DateFormat* GetFormatter(Kind kind, const std::string& localeName) {
  thread_local FormatterCache caches[2];
  FormatterCache& cache = caches[kind == Kind::kLongDate ? 0 : 1];
  if (!cache.formatter || cache.localeName != localeName) {
    const icu::Locale locale(localeName.c_str());
    std::unique_ptr<icu::DateFormat> formatter(
        kind == Kind::kLongDate
            ? icu::DateFormat::createDateInstance(icu::DateFormat::kFull, locale)
            : icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
    if (!formatter) {
      return nullptr;
    }
    // The fields are local already: format them as given, without a zone shift.
    formatter->setTimeZone(*icu::TimeZone::getGMT());
    cache.formatter = std::move(formatter);
    cache.localeName = localeName;
  }
  return cache.formatter.get();
}

std::u16string Format(Kind kind, const LocalTime& time, const std::string& localeName) {
  icu::DateFormat* formatter = GetFormatter(kind, localeName);
  if (formatter == nullptr) {
    return {};
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::GregorianCalendar calendar(*icu::TimeZone::getGMT(), status);
  if (U_FAILURE(status)) {
    return {};
  }
  // Out-of-range fields are refused instead of rolled into another date.
  calendar.setLenient(false);
  calendar.clear();
  calendar.set(time.year, time.month - 1, time.day, time.hour, time.minute, time.second);
  const UDate date = calendar.getTime(status);
  if (U_FAILURE(status)) {
    return {};
  }
  icu::UnicodeString text;
  formatter->format(date, text);
  std::u16string result(text.getBuffer(), static_cast<size_t>(text.length()));
  // Narrow and no-break spaces read as a plain blank in the log.
  for (char16_t& ch : result) {
    if (ch == u'\u202F' || ch == u'\u00A0') {
      ch = u' ';
    }
  }
  return result;
}

}  // namespace

LocalTime GetLocalTime() {
  LocalTime result;
  const std::time_t now = std::time(nullptr);
  std::tm fields{};
  if (localtime_r(&now, &fields) == nullptr) {
    return result;
  }
  result.year = fields.tm_year + 1900;
  result.month = fields.tm_mon + 1;
  result.day = fields.tm_mday;
  result.hour = fields.tm_hour;
  result.minute = fields.tm_min;
  result.second = fields.tm_sec;
  return result;
}

std::u16string FormatLongDate(const LocalTime& time, const std::string& localeName) {
  return Format(Kind::kLongDate, time, localeName);
}

std::u16string FormatTime(const LocalTime& time, const std::string& localeName) {
  return Format(Kind::kTime, time, localeName);
}

}  // namespace platform
