#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cstdlib>

namespace platform {

namespace {

std::atomic<uint32_t> g_testLcid{0};
std::atomic<uint32_t> g_testCodePage{0};

// The locale name the user chose for messages: LC_ALL, then LC_MESSAGES, then LANG.
std::string UserLocaleEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return {};
}

// "zh_CN.UTF-8@modifier" -> "zh_CN".
std::string_view StripCodesetAndModifier(std::string_view name) {
  const size_t end = name.find_first_of(".@");
  return end == std::string_view::npos ? name : name.substr(0, end);
}

char UpperAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch; }

// Upper case without the separators the codeset spellings disagree on.
std::string NormalizeName(std::string_view name) {
  std::string result;
  for (char ch : name) {
    if (ch != '-' && ch != '_' && ch != ' ') {
      result += UpperAscii(ch);
    }
  }
  return result;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Digits only, at most four of them; -1 otherwise.
int SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 4) {
    return -1;
  }
  int value = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') {
      return -1;
    }
    value = value * 10 + (ch - '0');
  }
  return value;
}

uint32_t CodePageOfProcessLocale() {
  // A private locale object reads the environment without changing the
  // locale of the process that other code relies on.
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) {
    locale = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }
  if (locale == static_cast<locale_t>(0)) {
    return 65001;
  }
  const char* codeset = nl_langinfo_l(CODESET, locale);
  const uint32_t codePage = CodePageFromCodeset(codeset != nullptr ? codeset : "");
  freelocale(locale);
  return codePage;
}

}  // namespace

uint32_t LcidFromLocaleName(std::string_view name) {
  const std::string region = NormalizeName(StripCodesetAndModifier(name));
  if (region == "ZHCN" || region == "ZHSG") {
    return 2052;
  }
  if (region == "ZHTW") {
    return 1028;
  }
  if (region == "ZHHK") {
    return 3076;
  }
  return 1033;
}

uint32_t GetUserDefaultLCID() {
  const uint32_t testLcid = g_testLcid.load();
  if (testLcid != 0) {
    return testLcid;
  }
  return LcidFromLocaleName(UserLocaleEnvironment());
}

void SetUserDefaultLCIDForTest(uint32_t lcid) { g_testLcid.store(lcid); }

bool ReadUserLcidSetting(const std::u16string& /*keyName*/, uint32_t& /*value*/) { return false; }

uint32_t CodePageFromCodeset(std::string_view codeset) {
  const std::string name = NormalizeName(codeset);
  struct Entry {
    const char* name;
    uint32_t codePage;
  };
  static constexpr Entry kTable[] = {
      {"UTF8", 65001},       {"GBK", 936},        {"GB18030", 936},     {"GB2312", 936},
      {"EUCCN", 936},        {"CP936", 936},      {"BIG5", 950},        {"BIG5HKSCS", 950},
      {"CP950", 950},        {"EUCKR", 949},      {"CP949", 949},       {"SHIFTJIS", 932},
      {"SJIS", 932},         {"CP932", 932},      {"EUCJP", 20932},     {"ISO88591", 1252},
      {"ANSIX3.41968", 1252}, {"ASCII", 1252},    {"USASCII", 1252},    {"KOI8R", 20866},
      {"KOI8U", 21866},      {"TIS620", 874},
  };
  for (const Entry& entry : kTable) {
    if (name == entry.name) {
      return entry.codePage;
    }
  }
  // ISO-8859-n -> 2859n for the parts Windows has (also 13 -> 28603, 15 -> 28605).
  if (StartsWith(name, "ISO8859")) {
    const int part = SmallNumber(std::string_view(name).substr(7));
    if ((part >= 2 && part <= 9) || part == 13 || part == 15) {
      return static_cast<uint32_t>(28590 + part);
    }
  }
  // CP1250..CP1258 and WINDOWS-1250..1258 are the Windows code pages themselves.
  for (const char* prefix : {"CP", "WINDOWS"}) {
    if (StartsWith(name, prefix)) {
      const int number = SmallNumber(std::string_view(name).substr(std::string_view(prefix).size()));
      if (number >= 1250 && number <= 1258) {
        return static_cast<uint32_t>(number);
      }
    }
  }
  return 65001;
}

uint32_t GetACP() {
  const uint32_t testCodePage = g_testCodePage.load();
  if (testCodePage != 0) {
    return testCodePage;
  }
  static const uint32_t codePage = CodePageOfProcessLocale();
  return codePage;
}

void SetACPForTest(uint32_t codePage) { g_testCodePage.store(codePage); }

std::string GetUserLocaleName() {
  const std::string environment = UserLocaleEnvironment();
  const std::string_view name = StripCodesetAndModifier(environment);
  if (name.empty() || name == "C" || name == "POSIX") {
    return "en_US";
  }
  return std::string(name);
}

}  // namespace platform
