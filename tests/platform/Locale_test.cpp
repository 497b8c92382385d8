#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/ScopedEnv.h"

namespace {

using tests::ScopedEnv;

TEST(Locale, LanguageIdFromLocaleName) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"zh_CN.UTF-8", 2052}, {"zh_CN", 2052}, {"zh_SG.GBK", 2052}, {"zh_CN.GB18030@stroke", 2052},
      {"zh_TW.UTF-8", 1028}, {"zh_HK.UTF-8", 3076}, {"zh-cn", 2052}, {"en_US.UTF-8", 1033},
      {"en_GB", 1033}, {"de_DE.UTF-8", 1033}, {"zh", 1033}, {"C.UTF-8", 1033}, {"POSIX", 1033},
      {"", 1033}};
  for (const auto& [name, lcid] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::LcidFromLocaleName(name), lcid);
  }
}

TEST(Locale, EnvironmentOrderAndTestSeam) {
  struct Case {
    const char* name;
    std::optional<std::string> all, messages, lang;
    uint32_t lcid;
    std::string localeName;
  };
  const Case cases[] = {
      {"LC_ALL first", "zh_CN.UTF-8", "zh_TW.UTF-8", "zh_HK.UTF-8", 2052, "zh_CN"},
      {"empty LC_ALL skipped", "", "zh_TW.UTF-8", "en_US.UTF-8", 1028, "zh_TW"},
      {"LANG last", std::nullopt, std::nullopt, "zh_HK.Big5@x", 3076, "zh_HK"},
      {"none set", std::nullopt, std::nullopt, std::nullopt, 1033, "en_US"},
      {"C locale", std::nullopt, std::nullopt, "C.UTF-8", 1033, "en_US"},
      {"POSIX locale", "POSIX", std::nullopt, std::nullopt, 1033, "en_US"},
      {"other language", std::nullopt, "de_DE.UTF-8", std::nullopt, 1033, "de_DE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv all("LC_ALL", c.all), messages("LC_MESSAGES", c.messages), lang("LANG", c.lang);
    EXPECT_EQ(platform::GetUserDefaultLCID(), c.lcid);
    EXPECT_EQ(platform::GetUserLocaleName(), c.localeName);
    platform::SetUserDefaultLCIDForTest(2052);
    EXPECT_EQ(platform::GetUserDefaultLCID(), 2052u);
    platform::SetUserDefaultLCIDForTest(0);
    EXPECT_EQ(platform::GetUserDefaultLCID(), c.lcid);
  }
}

TEST(Locale, NoUserLcidSetting) {
  uint32_t value = 7;
  EXPECT_FALSE(platform::ReadUserLcidSetting(u"Software\\QenNote", value));
  EXPECT_EQ(value, 7u);
}

TEST(Locale, CodePageFromCodeset) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"UTF-8", 65001}, {"utf8", 65001}, {"GBK", 936}, {"GB18030", 936}, {"GB2312", 936},
      {"EUC-CN", 936}, {"BIG5", 950}, {"BIG5-HKSCS", 950}, {"EUC-KR", 949}, {"SHIFT_JIS", 932},
      {"EUC-JP", 20932}, {"ISO-8859-1", 1252}, {"ANSI_X3.4-1968", 1252}, {"ASCII", 1252},
      {"KOI8-R", 20866}, {"ISO-8859-2", 28592}, {"ISO-8859-9", 28599}, {"ISO-8859-15", 28605},
      {"ISO-8859-13", 28603}, {"ISO-8859-11", 65001}, {"CP1251", 1251}, {"WINDOWS-1252", 1252},
      {"CP1259", 65001}, {"", 65001}, {"nonsense", 65001}};
  for (const auto& [codeset, codePage] : cases) {
    SCOPED_TRACE(codeset);
    EXPECT_EQ(platform::CodePageFromCodeset(codeset), codePage);
  }
}

TEST(Locale, AnsiCodePageSeam) {
  const uint32_t fromLocale = platform::GetACP();
  EXPECT_NE(fromLocale, 0u);
  platform::SetACPForTest(936);
  EXPECT_EQ(platform::GetACP(), 936u);
  platform::SetACPForTest(0);
  EXPECT_EQ(platform::GetACP(), fromLocale);
}

}  // namespace
